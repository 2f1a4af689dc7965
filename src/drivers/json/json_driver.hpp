#pragma once

#include <cstdint>
#include <optional>

#include "drivers/sqlite/staging_driver.hpp"

namespace tabvora {

// Driver for JSON documents and JSON Lines. Errors have the domain
// "JSONDriver".
class JSONDriver : public StagingDriver {
 public:
  explicit JSONDriver(DatabaseFormat format);
  ~JSONDriver() override;

  DatabaseFormat format() const override { return format_; }
  DatabaseMetadata open(const std::filesystem::path& url) override;
  void saveChanges() override;
  void close() noexcept override;

  // JSON Lines only: most lines staged at open; absent means all. Previews set 200.
  std::optional<std::int64_t> previewRowLimit;

 private:
  DatabaseFormat format_;
};

}  // namespace tabvora
