#include "embedded_assets.hpp"

namespace tabvora::workspace {

const EmbeddedAsset* findAsset(std::string_view name) {
  for (const EmbeddedAsset& asset : embeddedAssets()) {
    if (asset.name == name) return &asset;
  }
  return nullptr;
}

std::string_view assetContentType(std::string_view name) {
  if (name.ends_with(".html")) return "text/html; charset=utf-8";
  if (name.ends_with(".css")) return "text/css; charset=utf-8";
  if (name.ends_with(".js")) return "text/javascript; charset=utf-8";
  if (name.ends_with(".svg")) return "image/svg+xml";
  return "application/octet-stream";
}

}  // namespace tabvora::workspace
