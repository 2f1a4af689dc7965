// The desktop entry and the MIME types it offers (the files of packaging/).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <sstream>

#include <libxml/parser.h>

#include "platform/child_process.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using testing::contains;

const std::filesystem::path kPackaging = std::filesystem::path(TABVORA_TEST_DATA) / "../../packaging";

TEST(DesktopFiles, TheEntryValidatesAndOffersEveryTypeTheMimeFileAdds) {
  const std::string entry = testing::readFile(kPackaging / "tabvora.desktop");
  EXPECT_TRUE(contains(entry, "\nName=Preview with Tabvora\n") && contains(entry, "\nExec=tabvora view %f\n"));
  const std::string mime = testing::readFile(kPackaging / "tabvora-mime.xml");
  xmlDocPtr document = xmlReadMemory(mime.data(), static_cast<int>(mime.size()), "tabvora-mime.xml", nullptr,
                                     XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  EXPECT_NE(document, nullptr) << "the MIME file is not well-formed XML";
  xmlFreeDoc(document);
  for (const char* fact : {"<mime-type type=\"application/x-ndjson\">", "<glob pattern=\"*.jsonl\"/>",
                           "<glob pattern=\"*.ndjson\"/>", "<mime-type type=\"application/vnd.apache.parquet\">",
                           "<glob pattern=\"*.parquet\"/>", "<match type=\"string\" offset=\"0\" value=\"PAR1\"/>"}) {
    EXPECT_TRUE(contains(mime, fact)) << fact;
  }
  for (const char* type : {"application/x-ndjson;", "application/vnd.apache.parquet;"}) EXPECT_TRUE(contains(entry, type));

  std::optional<std::filesystem::path> validator;
  std::istringstream folders(std::getenv("PATH") ? std::getenv("PATH") : "");
  for (std::string folder; !validator && std::getline(folders, folder, ':');) {
    if (::access((folder + "/desktop-file-validate").c_str(), X_OK) == 0) validator = folder + "/desktop-file-validate";
  }
  if (!validator) GTEST_SKIP() << "desktop-file-validate is not installed (Debian package desktop-file-utils)";
  const auto result = ChildProcess::run(*validator, {(kPackaging / "tabvora.desktop").string()}, {});
  EXPECT_TRUE(result.succeeded() && result.output.empty()) << result.output << result.errorText;
}

}  // namespace
}  // namespace tabvora::internal
