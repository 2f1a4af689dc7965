#include "tabvora/preview_page.hpp"

#include "preview/preview_provider.hpp"

namespace tabvora {

std::string previewPage(const std::filesystem::path& path) { return PreviewProvider().providePreview(path).data; }

std::string errorPage(std::string_view message) { return PreviewProvider::errorPage(message); }

}  // namespace tabvora
