#pragma once

#include <filesystem>
#include <memory>

#include "model/database_driver.hpp"
#include "model/database_metadata.hpp"
#include "model/open_options.hpp"
#include "opening/input_source.hpp"

namespace tabvora::internal {

// A file opened by the driver it calls for, with the source of its content, which lives as
// long as the driver reads it (declared first, it is released last).
struct OpenedFile {
  std::unique_ptr<InputSource> input;
  std::unique_ptr<DatabaseDriver> driver;
  DatabaseMetadata metadata;

  // Opens `path` ("-": standard input), compressed or not, as options.inputFormat says or as
  // its name and first bytes call for. A preview (options.previewRowLimit) of a text format
  // streamed from compressed data or a pipe reads a first part of the content, growing it
  // only until the driver has staged its rows; then every table's count is a lower bound.
  // The metadata names the file as given ("sales.csv.gz", "stdin"). Throws DriverError:
  // the driver's own, or the reason the file is refused (domain "DriverManager") or cannot be
  // streamed (domain "InputSource").
  static OpenedFile open(const std::filesystem::path& path, const OpenOptions& options);
};

}  // namespace tabvora::internal
