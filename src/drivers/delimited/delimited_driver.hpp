#pragma once

#include <cstdint>
#include <optional>

#include "drivers/sqlite/staging_driver.hpp"

namespace tabvora {

// Driver for comma-, semicolon-, tab- and pipe-separated text. Errors have the domain
// "DelimitedDriver".
class DelimitedDriver : public StagingDriver {
 public:
  explicit DelimitedDriver(DatabaseFormat format);
  ~DelimitedDriver() override;

  DatabaseFormat format() const override { return format_; }
  DatabaseMetadata open(const std::filesystem::path& url) override;
  void saveChanges() override;
  void close() noexcept override;

  // Most data rows staged at open; absent means all. Previews set 200.
  std::optional<std::int64_t> previewRowLimit;

 private:
  DatabaseFormat format_;
};

}  // namespace tabvora
