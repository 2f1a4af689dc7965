// The workspace's reading of what a page sends: query parameters (offset, limit, sort,
// filters as JSON, combination, search), rows and values sent back for an edit, cookies,
// Host and Origin headers. Each is read or refused with a RequestError, never a crash; a
// value read back is the value that was sent.

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "fuzz/fuzz_support.hpp"
#include "workspace/access_guard.hpp"
#include "workspace/cell_json.hpp"
#include "workspace/grid_request.hpp"
#include "workspace/request_error.hpp"

namespace {

using namespace tabvora;
using namespace tabvora::workspace;
using tabvora::fuzzing::check;

// The input's lines as NAME=VALUE parameters.
Parameters parametersOf(const std::string& text) {
  Parameters parameters;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) parameters.emplace(line.substr(0, equals), line.substr(equals + 1));
    start = end + 1;
  }
  return parameters;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const GridRequest request = GridRequest::parse(parametersOf(text));
    check(!request.table.empty());
    check(request.page.limit >= 0 && request.page.limit <= GridRequest::kMaxPageRows && request.page.offset >= 0);
    check(request.page.filters.size() <= GridRequest::kMaxFilters);
  } catch (const RequestError& error) {
    check(error.status() == 400);
  }

  const nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
  if (!parsed.is_discarded()) {
    try {
      const Rows row = rowFromJSON(parsed);
      check(row.rows.size() == 1);
      for (const Value& value : row.rows[0]) {
        const Value again = cellFromJSON(cellJSON(value));
        check(again.kind == value.kind && again.text == value.text);
      }
    } catch (const RequestError& error) {
      check(error.status() == 400);
    }
    try {
      (void)enteredValue(text.size() % 2 ? "INTEGER" : "REAL", parsed);
    } catch (const RequestError&) {
    }
    check(!jsonText(parsed).empty());
  }

  const AccessGuard guard(8080, "token", "session");
  check(!guard.cookieAllowed(text) || text.find("tabvora_session") != std::string::npos);
  check(!guard.hostAllowed(text) || text.ends_with(":8080"));
  check(!guard.originAllowed(text) || text.starts_with("http://"));
  return 0;
}
