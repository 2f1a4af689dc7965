#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "model/database_driver.hpp"
#include "model/open_options.hpp"
#include "opening/driver_choice.hpp"

namespace tabvora::internal {

// Decides which driver reads a file: by the extension first (DatabaseFormat's table) and,
// where the extension is ambiguous or unknown, by the first bytes. Stateless; never fails, since the chosen
// driver's open reports whatever is wrong with the file.
class DriverManager {
 public:
  // Bytes the content test looks at; the magic-number checks need the first 16 of them.
  static constexpr std::size_t kContentSniffLength = 1024;
  static constexpr std::size_t kMagicCheckLength = 16;
  // Bytes the workbook test reads (the compound-file magic is the longer signature).
  static constexpr std::size_t kWorkbookSniffLength = 8;

  static const DriverManager& shared();

  // The decision alone, reading at most kContentSniffLength bytes of the file.
  static DriverChoice choose(const std::filesystem::path& url);
  // The same decision for content whose first bytes are at hand (absent when unreadable),
  // by `name`'s extension first; an empty name leaves it to the bytes.
  static DriverChoice choose(const std::filesystem::path& name,
                             std::optional<std::span<const std::uint8_t>> leadingBytes);
  // The driver a named format calls for; absent for InputFormat::detect.
  static std::optional<DriverChoice> chooseFormat(InputFormat format);

  // The decision for a path without a deciding extension, from the file's first bytes
  // (absent when the file cannot be read).
  static DriverChoice chooseByContent(std::optional<std::span<const std::uint8_t>> leadingBytes);
  // The decision for ".xls"/".xlt": a ZIP package is an XLSX workbook, anything else
  // (an unreadable file included) goes to the legacy workbook reader.
  static DriverChoice chooseWorkbook(std::optional<std::span<const std::uint8_t>> leadingBytes);

  // A new, unopened driver for the choice.
  static std::unique_ptr<DatabaseDriver> makeDriver(DriverChoice choice);

  // A new, unopened driver for the file.
  std::unique_ptr<DatabaseDriver> driver(const std::filesystem::path& url) const;
  // The same for a file that the driver may open, checked first: throws DriverError
  // (domain "DriverManager") with openingRefusal's reason when it may not.
  std::unique_ptr<DatabaseDriver> checkedDriver(const std::filesystem::path& url) const;
};

}  // namespace tabvora::internal
