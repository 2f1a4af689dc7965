#pragma once

#include <string_view>
#include <vector>

namespace tabvora::workspace {

// One file of the page, compiled into the program from assets/.
struct EmbeddedAsset {
  std::string_view name;  // the file name, as in assets/
  std::string_view bytes;
};

// Every asset, by name in byte order.
const std::vector<EmbeddedAsset>& embeddedAssets();

// The asset of that name, or none.
const EmbeddedAsset* findAsset(std::string_view name);

// The Content-Type of an asset by its name's extension.
std::string_view assetContentType(std::string_view name);

}  // namespace tabvora::workspace
