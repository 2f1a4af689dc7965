#include "tabvora/preview_page.hpp"

#include "preview/html_grid_generator.hpp"
#include "preview/preview_provider.hpp"
#include "preview/text_grid_generator.hpp"
#include "tabvora/error.hpp"

namespace tabvora {

// The API is built from the internals below it.
using namespace internal;

std::string previewPage(const std::filesystem::path& path) { return PreviewProvider().providePreview(path).data; }

std::string previewPage(const std::filesystem::path& path, const std::vector<ColumnFilter>& filters,
                        FilterCombination combination) {
  if (filters.empty()) return previewPage(path);
  const PreviewProvider::Content content = PreviewProvider::readContent(path, filters, combination);
  return content.metadata ? HTMLGridGenerator::generateHTML(*content.metadata, content.tableName, content.data)
                          : PreviewProvider::errorPage(content.failure);
}

std::string previewPage(const std::filesystem::path& path, const PreviewOptions& options) {
  const PreviewProvider::Content content = PreviewProvider::readContent(
      path, PreviewProvider::Request{options.filters, options.combination, options.table, options.open});
  return content.metadata ? HTMLGridGenerator::generateHTML(*content.metadata, content.tableName, content.data)
                          : PreviewProvider::errorPage(content.failure);
}

std::string errorPage(std::string_view message) { return PreviewProvider::errorPage(message); }

std::string previewText(const std::filesystem::path& path, const TextGridOptions& options,
                        const std::vector<ColumnFilter>& filters, FilterCombination combination) {
  const PreviewProvider::Content content = PreviewProvider::readContent(path, filters, combination);
  if (!content.metadata) throw Error("PreviewProvider", -1, content.failure);
  return TextGridGenerator::generateText(*content.metadata, content.tableName, content.data, options);
}

std::string previewText(const std::filesystem::path& path, const TextGridOptions& options,
                        const PreviewOptions& preview) {
  const PreviewProvider::Content content = PreviewProvider::readContent(
      path, PreviewProvider::Request{preview.filters, preview.combination, preview.table, preview.open});
  if (!content.metadata) {
    if (content.failureIsUsage) throw Error("PreviewProvider", ErrorCode::invalidArgument, -1, content.failure);
    throw Error("PreviewProvider", -1, content.failure);
  }
  return TextGridGenerator::generateText(*content.metadata, content.tableName, content.data, options);
}

}  // namespace tabvora
