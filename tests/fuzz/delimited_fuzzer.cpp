// The delimited-text driver on arbitrary bytes. They become a file in a private temporary
// folder, which is opened as a preview (200 rows) and in full, and the first page is fetched.
// Besides, the byte splitter runs on the raw bytes with every delimiter (and the first pass in
// two halves must find what one pass finds), and a first-part
// read with small steps must stage exactly what the whole file stages first: that runs the
// growing, the cut at the cap and the checks of the rest on inputs of a few dozen kilobytes.
// Statistics gathered during a full load must be those the staged rows give.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.hpp"
#include "drivers/delimited/delimited_byte_parser.hpp"
#include "drivers/delimited/delimited_driver.hpp"
#include "drivers/delimited/delimited_input.hpp"
#include "drivers/delimited/delimited_schema_scan.hpp"
#include "drivers/delimited/delimited_test_records.hpp"
#include "drivers/delimited/delimiter_detector.hpp"
#include "model/statistics_gatherer.hpp"
#include "platform/binary_content.hpp"
#include "platform/limits.hpp"

namespace {

using namespace tabvora;
using namespace tabvora::internal;

// Steps as small as the delimiter sample allows (it must fit whole in the first one).
constexpr DelimitedInput::Limits kSmallSteps{40'008, 80'016, 4'096};
constexpr std::int64_t kFewRows = 3;

using testing::Records;

void splitRawBytes(std::span<const std::uint8_t> bytes) {
  for (const char delimiter : {',', ';', '\t', '|'}) {
    const auto consume = [](const DelimitedByteParser::Record& record) {
      for (std::size_t i = 0; i < record.size(); ++i) DelimitedByteParser::classify(record.bytes(i));
      if (record.size() > 0) (void)record.text(0);
    };
    DelimitedByteParser::parse(bytes, static_cast<std::uint8_t>(delimiter), consume);
    DelimitedByteParser::parse(bytes, static_cast<std::uint8_t>(delimiter), consume, true);
    // The first pass in two halves finds what one pass finds (for headers the driver takes).
    DelimitedSchemaScan whole(std::nullopt);
    DelimitedByteParser::parse(bytes, static_cast<std::uint8_t>(delimiter), whole);
    const DelimitedSchemaScan halves = DelimitedSchemaScan::ofWholeText(bytes, static_cast<std::uint8_t>(delimiter), 1);
    tabvora::fuzzing::check(whole.columnCount() > limits::kMaxColumns ||
                            (halves.kinds() == whole.kinds() && halves.droppedContent() == whole.droppedContent() &&
                             halves.columnCount() == whole.columnCount()));
  }
}

void compareFirstPartWithWholeFile(const std::filesystem::path& path) {
  const FileReader reader(path);
  const DelimitedInput whole = DelimitedInput::read(reader, DatabaseFormat::fromURL(path), std::nullopt);
  std::optional<DelimitedInput> part;
  if (!tabvora::fuzzing::refusalAllowed(
          [&] { part.emplace(DelimitedInput::read(reader, DatabaseFormat::fromURL(path), kFewRows, kSmallSteps)); }))
    return;  // the header does not end within the cap
  // A part whose text could not fill the delimiter sample (decoding dropped a mass of NULs)
  // may choose another delimiter.
  if (!part->wholeFile() && part->sampleLength() < DelimiterDetector::kSampleBytes) return;
  const Records wholeRecords = testing::firstRecords(whole, kFewRows + 1);
  const Records partRecords = testing::firstRecords(*part, kFewRows + 1);
  // A part the cap cut holds fewer records, each the same.
  tabvora::fuzzing::check(part->delimiter() == whole.delimiter() && partRecords.size() <= wholeRecords.size() &&
                          std::equal(partRecords.begin(), partRecords.end(), wholeRecords.begin()) &&
                          (!part->wholeFile() || partRecords == wholeRecords));
}

// Statistics gathered while the rows load are those the staged rows give.
void compareGatheredStatistics(const std::filesystem::path& path) {
  DelimitedDriver driver(DatabaseFormat::csv);
  OpenOptions options;
  options.gatherStatistics = true;
  if (!tabvora::fuzzing::refusalAllowed([&] { static_cast<DatabaseDriver&>(driver).open(path, options); })) return;
  const std::optional<GatheredStatistics> gathered = driver.takeGatheredStatistics();
  if (!gathered) return;  // a value the load could not vouch for
  const DataTable table = driver.fetchTableData(gathered->table);
  std::vector<StatisticsAccumulator> accumulators = statisticsAccumulators(table.columns);
  for (const DataRow& row : table.rows) {
    for (std::size_t j = 0; j < accumulators.size(); ++j) accumulators[j].add(row.values.at(j));
  }
  tabvora::fuzzing::check(finishStatistics(accumulators) == gathered->columns);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::filesystem::path path = tabvora::fuzzing::privateFolder() / "input.csv";
  tabvora::fuzzing::writeBytes(path, data, size);
  splitRawBytes({data, size});
  // The check that refuses binary content before any text reader sees it: a name only for
  // what it recognises, and the same answer for the bytes past the first block.
  const std::span<const std::uint8_t> bytes(data, size);
  const auto kind = tabvora::internal::binaryContentName(bytes);
  tabvora::fuzzing::check(!kind || !kind->empty());
  tabvora::fuzzing::check(kind == tabvora::internal::binaryContentName(bytes.first(std::min(size, tabvora::internal::kBinarySniffLength))));
  for (const std::optional<std::int64_t> limit : {std::optional<std::int64_t>(200), std::optional<std::int64_t>()}) {
    DelimitedDriver driver(DatabaseFormat::csv);
    driver.previewRowLimit = limit;
    tabvora::fuzzing::refusalAllowed([&] {  // a clear refusal is a fine outcome
      driver.open(path);
      driver.fetchTableData(driver.primaryTableName(), 50, 0, std::nullopt, true, std::nullopt);
    });
  }
  compareFirstPartWithWholeFile(path);
  compareGatheredStatistics(path);
  return 0;
}
