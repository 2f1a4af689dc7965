// The workspace over loopback: who gets in, and that every route answers what the same
// work through the public API gives.

#include <httplib.h>

#include <future>
#include <nlohmann/json.hpp>

#include "support/test_support.hpp"
#include "tabvora/document.hpp"
#include "workspace/workspace_server.hpp"

namespace tabvora::testing {
namespace {

using nlohmann::json;
using workspace::WorkspaceServer;
using workspace::WorkspaceSession;

constexpr std::string_view kCSV =
    "id,name,score\n1,Ada,90\n2,bob,75\n3,Cy,\n4,dora,88\n5,Ed,60\n6,Fay,75\n7,Gus,99\n8,hal,5\n";

std::string errorOf(const json& answer) { return answer.value("error", ""); }

// A workspace serving `file` in this process, stopped and joined at the end of the test.
class Served {
 public:
  explicit Served(const std::filesystem::path& file, bool readOnly = false,
                  std::optional<std::filesystem::path> layouts = std::nullopt, bool inBackground = false)
      : session(file, readOnly, std::move(layouts), inBackground), server(session, {}), client("127.0.0.1", server.port()) {
    running = std::async(std::launch::async, [this] { return server.run(); });
    origin = "http://127.0.0.1:" + std::to_string(server.port());
    const std::string token = server.url().substr(server.url().find("token=") + 6);
    auto answer = client.Get("/?token=" + token);
    cookie = answer->get_header_value("Set-Cookie");
    cookie = cookie.substr(0, cookie.find(';'));
  }
  ~Served() {
    server.stop();
    running.wait();
  }
  httplib::Headers headers() const { return {{"Cookie", cookie}, {"Origin", origin}}; }
  json get(const std::string& path, const httplib::Params& params = {}, int status = 200) {
    auto answer = client.Get(path, params, headers(), httplib::Progress());
    EXPECT_EQ(answer->status, status) << path << ": " << answer->body;
    return json::parse(answer->body);
  }
  // The loading state once the whole open has ended.
  json loaded() {
    for (int i = 0; i < 1200 && get("/api/loading")["loading"]; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return get("/api/loading");
  }
  json post(const std::string& path, const json& body, int status = 200) {
    auto answer = client.Post(path, headers(), body.dump(), "application/json");
    EXPECT_EQ(answer->status, status) << path << ": " << answer->body;
    return json::parse(answer->body);
  }

  WorkspaceSession session;
  WorkspaceServer server;
  httplib::Client client;
  std::future<std::string> running;
  std::string origin, cookie;
};

TEST(WorkspaceServer, LetsInOnlyItsOwnPageWithItsCookie) {
  TempDir dir;
  Served served(dir.write("people.csv", kCSV));
  const std::string port = std::to_string(served.server.port());
  const std::string self = "127.0.0.1:" + port;
  const std::string cookie = served.cookie;
  const std::string bigBody(WorkspaceServer::kMaxBodyBytes + 1, ' ');
  struct Case {
    const char* what;
    const char* method;
    std::string path, host, cookie, origin, body;
    int status;
  } cases[] = {
      {"no cookie", "GET", "/api/tables", self, "", "", "", 403},
      {"a wrong cookie", "GET", "/api/tables", self, "tabvora_session=00", "", "", 403},
      {"a wrong token", "GET", "/?token=" + std::string(64, '0'), self, "", "", "", 403},
      {"the cookie", "GET", "/api/tables", self, cookie, "", "", 200},
      {"localhost", "GET", "/api/tables", "localhost:" + port, cookie, "", "", 200},
      {"a rebound name", "GET", "/api/tables", "evil.example:" + port, cookie, "", "", 403},
      {"another port", "GET", "/api/tables", "127.0.0.1:1", cookie, "", "", 403},
      {"a POST from elsewhere", "POST", "/api/save", self, cookie, "http://evil.example", "{}", 403},
      {"a POST without origin", "POST", "/api/save", self, cookie, "", "{}", 403},
      {"a PUT", "PUT", "/api/save", self, cookie, "http://" + self, "{}", 405},
      {"a GET of a change", "GET", "/api/save", self, cookie, "", "", 404},
      {"an oversized body", "POST", "/api/query", self, cookie, "http://" + self, bigBody, 413},
      {"an oversized request line", "GET", "/api/tables?x=" + std::string(9000, 'a'), self, cookie, "", "", 414},
      {"an unknown asset", "GET", "/assets/..%2Fsecret", self, cookie, "", "", 404},
      {"a bad parameter", "GET", "/api/rows?table=people&limit=501", self, cookie, "", "", 400},
      {"a bad count", "GET", "/api/rows?table=people&count=now", self, cookie, "", "", 400},
      {"the page", "GET", "/", self, cookie, "", "", 200},
  };
  for (const Case& c : cases) {
    httplib::Request request;
    request.method = c.method;
    request.path = c.path;
    request.body = c.body;
    request.set_header("Host", c.host);
    if (!c.cookie.empty()) request.set_header("Cookie", c.cookie);
    if (!c.origin.empty()) request.set_header("Origin", c.origin);
    if (!c.body.empty()) request.set_header("Content-Type", "application/json");
    auto answer = served.client.send(request);
    ASSERT_TRUE(answer) << c.what;
    EXPECT_EQ(answer->status, c.status) << c.what;
    EXPECT_EQ(answer->get_header_value("X-Content-Type-Options"), "nosniff") << c.what;
    if (answer->status != 413 && answer->status != 414) {
      EXPECT_EQ(answer->get_header_value("Content-Security-Policy"), "default-src 'self'; frame-ancestors 'none'");
    }
    EXPECT_FALSE(answer->has_header("Access-Control-Allow-Origin")) << c.what;
  }
  const std::string token = served.server.url().substr(served.server.url().find("token=") + 6);
  EXPECT_GE(token.size(), 32u);
  auto traded = served.client.Get("/?token=" + token);
  EXPECT_EQ(traded->status, 303);
  EXPECT_EQ(traded->get_header_value("Location"), "/");
  EXPECT_TRUE(contains(traded->get_header_value("Set-Cookie"), "HttpOnly; SameSite=Strict"));
}

TEST(WorkspaceServer, RoutesAnswerAsTheAPIDoes) {
  TempDir dir;
  const auto file = dir.write("people.csv", kCSV);
  Served served(file);
  Document document = Document::open(file);

  const json tables = served.get("/api/tables");
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0]["name"], "people");
  EXPECT_EQ(tables[0]["rows"], 8);

  const std::string filters = R"([{"column":"score","op":"≥","value":"70"},{"column":"name","op":"is empty"}])";
  const httplib::Params params{{"table", "people"}, {"sort", "score"}, {"order", "desc"}, {"filters", filters},
                               {"combine", "Any"},  {"search", "A"},   {"offset", "1"},   {"limit", "2"}};
  PageRequest request;
  request.sortColumn = "score";
  request.ascending = false;
  request.filters = {ColumnFilter("score", ColumnFilter::Operator::greaterOrEqual, "70"),
                     ColumnFilter("name", ColumnFilter::Operator::isEmpty)};
  request.combination = FilterCombination::any;
  request.search = "A";
  request.offset = 1;
  request.limit = 2;
  const Rows expected = document.page("people", request);
  const json page = served.get("/api/rows", params);
  EXPECT_EQ(page["total"], expected.totalRowCount);
  EXPECT_EQ(page["total"], 3);  // Ada 90, dora 88, Fay 75: a score of 70 or more and an "a"
  ASSERT_EQ(page["rows"].size(), expected.rows.size());
  for (std::size_t i = 0; i < expected.rows.size(); ++i)
    EXPECT_EQ(page["rows"][i]["c"][1][1], expected.rows[i][1].text);

  // A filter's first page may come before its count (score 75 or more: 5 rows).
  const httplib::Params high{{"table", "people"}, {"filters", R"([{"column":"score","op":"≥","value":"75"}])"},
                             {"limit", "2"}};
  httplib::Params later = high;
  later.emplace("count", "later");
  const json quick = served.get("/api/rows", later);
  EXPECT_EQ(quick["total"], 3);
  EXPECT_TRUE(quick["totalIsLowerBound"]);
  EXPECT_TRUE(quick["uncounted"]);
  const json counted = served.get("/api/rows", high);
  EXPECT_EQ(counted["rows"], quick["rows"]);
  EXPECT_EQ(counted["total"], 5);
  EXPECT_FALSE(counted["uncounted"]);

  RowSelection selection{request.filters, request.combination, {}, request.sortColumn, false, "A"};
  EXPECT_EQ(served.get("/api/stats", params), json::parse(statisticsJSON(document.statistics("people", selection))));
  std::string csv;
  document.exportTable(
      "people", ExportFormat::csv, [&](std::string_view text) { csv += text; }, selection);
  httplib::Params exportParams = params;
  exportParams.emplace("format", "CSV (.csv)");
  auto exported = served.client.Get("/api/export", exportParams, served.headers(), httplib::Progress());
  EXPECT_EQ(exported->body, csv);
  EXPECT_TRUE(contains(exported->get_header_value("Content-Disposition"), "people.csv"));

  const json schema = served.get("/api/schema", {{"table", "people"}});
  EXPECT_EQ(schema["columns"].size(), 3u);
  EXPECT_TRUE(schema["create"].is_null());  // a text file has no CREATE statement of its own
  const json raw = served.get("/api/raw");
  EXPECT_EQ(raw["text"], kCSV);
  EXPECT_FALSE(raw["cut"]);
  EXPECT_EQ(served.post("/api/query", {{"sql", "SELECT count(*) AS n FROM people"}})["rows"][0]["c"][0][1], "8");
  EXPECT_TRUE(contains(errorOf(served.post("/api/query", {{"sql", "DELETE FROM people"}}, 422)), "changes nothing"));
  EXPECT_EQ(served.get("/api/rows", {{"table", "nope"}}, 404).count("error"), 1u);
  EXPECT_EQ(served.get("/api/tables").size(), 1u);  // failures leave the server serving
}

TEST(WorkspaceServer, EditsAreWrittenOnlyBySaveAndNotOverAChangedFile) {
  TempDir dir;
  const auto file = dir.write("people.csv", kCSV);
  {
    Served served(file);
    const json first = served.get("/api/rows", {{"table", "people"}, {"limit", "1"}})["rows"][0];
    served.post("/api/cell", {{"table", "people"}, {"row", first}, {"column", "name"}, {"value", "Ann"}});
    served.post("/api/insert", {{"table", "people"}, {"values", {{"id", "9"}, {"name", "Ivy"}}}});
    const json last = served.get("/api/rows", {{"table", "people"}, {"offset", "7"}, {"limit", "1"}})["rows"][0];
    served.post("/api/delete", {{"table", "people"}, {"rows", {last}}});
    EXPECT_EQ(readFile(file), kCSV);
    EXPECT_TRUE(served.get("/api/info")["dirty"]);
    served.post("/api/save", json::object());
  }
  EXPECT_EQ(readFile(file),
            "id,name,score\n1,Ann,90\n2,bob,75\n3,Cy,\n4,dora,88\n5,Ed,60\n6,Fay,75\n7,Gus,99\n9,Ivy,\n");

  Served served(file);
  const json first = served.get("/api/rows", {{"table", "people"}, {"limit", "1"}})["rows"][0];
  served.post("/api/cell", {{"table", "people"}, {"row", first}, {"column", "name"}, {"value", "Zed"}});
  writeFile(file, "id,name\n1,changed elsewhere\n");
  EXPECT_TRUE(contains(errorOf(served.post("/api/save", json::object(), 409)), "changed on disk"));
  EXPECT_EQ(readFile(file), "id,name\n1,changed elsewhere\n");
}

TEST(WorkspaceServer, SavesEveryFormatThatSavesInItsOwnForm) {
  struct Case {
    const char* name;
    const char* text;
  } cases[] = {
      {"people.json", R"([{"zeta": 1, "alpha": "x"}, {"zeta": 2, "alpha": "y"}])"},
      {"people.jsonl", "{\"zeta\": 1, \"alpha\": \"x\"}\n{\"zeta\": 2, \"alpha\": \"y\"}\n"},
      {"people.sql", "CREATE TABLE people (zeta INTEGER, alpha TEXT);\nINSERT INTO people VALUES (1, 'x'), (2, 'y');\n"},
      {"people.tsv", "zeta\talpha\n1\tx\n2\ty\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const auto file = dir.write(c.name, c.text);
    {
      Served served(file);
      const std::string table = served.get("/api/tables")[0]["name"];
      const json first = served.get("/api/rows", {{"table", table}, {"limit", "1"}})["rows"][0];
      served.post("/api/cell", {{"table", table}, {"row", first}, {"column", "alpha"}, {"value", "edited"}});
      served.post("/api/save", json::object());
    }
    Document reopened = Document::open(file);
    const Rows rows = reopened.page(reopened.tables()[0].name, 5);
    ASSERT_EQ(rows.rows.size(), 2u) << c.name;
    const std::size_t alpha = rows.columns[0].name == "alpha" ? 0 : 1;  // JSON is saved with sorted keys
    EXPECT_EQ(rows.rows[0][alpha].text, "edited") << c.name;
    EXPECT_EQ(rows.rows[1][alpha].text, "y") << c.name;
  }
}

// A database is edited in a private copy: the file changes only by Save, and one with a
// journal beside it (another program's changes) is only inspected.
TEST(WorkspaceServer, HoldsDatabaseEditsUntilSave) {
  TempDir dir;
  const auto file = dir.copy("sqlite/music.sqlite", "music.sqlite");
  const std::string before = readFile(file);
  {
    Served served(file, false, std::nullopt, true);  // as tabvora open serves it
    const json first = served.get("/api/rows", {{"table", "albums"}, {"limit", "1"}})["rows"][0];
    served.post("/api/cell", {{"table", "albums"}, {"row", first}, {"column", "Title"}, {"value", "Edited"}});
    served.post("/api/insert", {{"table", "artists"}, {"values", {{"Name", "Ivy"}}}});
    EXPECT_EQ(served.get("/api/rows", {{"table", "albums"}, {"limit", "1"}})["rows"][0]["c"][1][1], "Edited");
    EXPECT_EQ(readFile(file), before);
    served.post("/api/save", json::object());
  }
  Document reopened = Document::open(file);
  EXPECT_EQ(reopened.page("albums", 1).rows.at(0).at(1).text, "Edited");
  EXPECT_EQ(reopened.page("artists", 20).rows.size(), 9u);
  writeFile(dir / "music.sqlite-journal", "pending");
  Served journalled(file);
  EXPECT_TRUE(contains(errorOf(journalled.post("/api/insert", {{"table", "artists"}}, 403)), "journal"));
}

TEST(WorkspaceServer, RefusesEditsWhenReadOnlyAndShowsTheDriversRefusal) {
  TempDir dir;
  Served readOnly(dir.write("people.csv", kCSV), true);
  EXPECT_TRUE(contains(errorOf(readOnly.post("/api/insert", {{"table", "people"}}, 403)), "read-only"));
  EXPECT_FALSE(readOnly.get("/api/info")["editable"]);

  const auto workbook = dir.copy("spreadsheet/libreoffice.xlsx", "book.xlsx");
  const std::string before = readFile(workbook);
  Served served(workbook);
  const std::string sheet = served.get("/api/tables")[0]["name"];
  served.post("/api/insert", {{"table", sheet}});
  EXPECT_EQ(served.post("/api/save", json::object(), 409).count("error"), 1u);
  EXPECT_EQ(readFile(workbook), before);
  EXPECT_TRUE(served.get("/api/raw")["hex"]);
}

// Opened in the background, the first rows are served while the whole file loads; what
// needs every row waits, and the whole open then takes their place.
TEST(WorkspaceServer, ServesTheFirstRowsWhileTheWholeFileLoads) {
  TempDir dir;
  std::string csv = "id,name\n";
  for (int i = 1; i <= 200'000; ++i) csv += std::to_string(i) + ",name " + std::to_string(i) + "\n";
  Served served(dir.write("big.csv", csv), false, std::nullopt, true);
  const json during = served.get("/api/rows", {{"table", "big"}, {"limit", "500"}});
  EXPECT_EQ(during["rows"].size(), 500u);
  if (served.get("/api/loading")["loading"]) {
    const json refused[] = {served.get("/api/stats", {{"table", "big"}}, 409),
                            served.post("/api/query", {{"sql", "SELECT 1"}}, 409),
                            served.post("/api/insert", {{"table", "big"}}, 409)};
    if (served.get("/api/loading")["loading"]) {  // else the swap came in between
      for (const json& answer : refused) EXPECT_TRUE(contains(errorOf(answer), "still loading")) << answer;
      EXPECT_FALSE(served.get("/api/info")["editable"]);
      EXPECT_TRUE(during["totalIsLowerBound"]);
    }
  }
  const json loaded = served.loaded();
  EXPECT_TRUE(loaded["failed"].is_null());
  EXPECT_EQ(loaded["done"], csv.size());
  const json whole = served.get("/api/rows", {{"table", "big"}, {"offset", "199999"}});
  EXPECT_EQ(whole["total"], 200'000);
  EXPECT_EQ(whole["rows"][0]["c"][0][1], "200000");
  EXPECT_FALSE(served.get("/api/tables")[0]["rowsIsLowerBound"]);
  EXPECT_TRUE(served.get("/api/info")["editable"]);
  served.post("/api/insert", {{"table", "big"}});
}

// A whole open that fails leaves the first rows browsable, says why, and keeps editing off.
TEST(WorkspaceServer, KeepsTheFirstRowsWhenTheWholeFileCannotBeRead) {
  TempDir dir;  // its gzip stream ends early, far past the first rows
  Served served(dir.copy("compressed/truncated_late.csv.gz", "cut.csv.gz"), false, std::nullopt, true);
  EXPECT_TRUE(contains(served.loaded()["failed"].get<std::string>(), "truncated")) << served.loaded();
  const json page = served.get("/api/rows", {{"table", "cut"}});
  EXPECT_EQ(page["rows"].size(), 500u);
  EXPECT_TRUE(page["totalIsLowerBound"]);
  EXPECT_TRUE(contains(errorOf(served.post("/api/insert", {{"table", "cut"}}, 409)), "Editing is off"));
}

// A console statement cancelled from the page stops; the server goes on answering.
TEST(WorkspaceServer, CancelsTheRunningStatement) {
  TempDir dir;
  Served served(dir.write("people.csv", kCSV));
  EXPECT_FALSE(served.post("/api/cancel", json::object())["cancelled"]);
  auto running = std::async(std::launch::async, [&] {
    httplib::Client client("127.0.0.1", served.server.port());
    client.set_read_timeout(std::chrono::seconds(300));
    const json sql = {{"sql", "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 4e9) "
                              "SELECT count(*) FROM n"}};
    return client.Post("/api/query", served.headers(), sql.dump(), "application/json");
  });
  while (running.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
    served.post("/api/cancel", json::object());
  const auto answer = running.get();
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 409);
  EXPECT_TRUE(contains(answer->body, "cancelled")) << answer->body;
  EXPECT_EQ(served.post("/api/query", {{"sql", "SELECT count(*) FROM people"}})["rows"][0]["c"][0][1], "8");
}

TEST(WorkspaceServer, StopsWhenThePageFallsSilent) {
  TempDir dir;
  WorkspaceSession session(dir.write("people.csv", kCSV), true);
  WorkspaceServer server(session, {.port = std::nullopt, .idleLimit = std::chrono::milliseconds(300)});
  auto running = std::async(std::launch::async, [&] { return server.run(); });
  const std::string url = server.url();
  httplib::Client client("127.0.0.1", server.port());
  const std::string cookie = client.Get(url.substr(url.find("/?token=")))->get_header_value("Set-Cookie");
  const httplib::Headers headers{{"Cookie", cookie.substr(0, cookie.find(';'))},
                                 {"Origin", "http://127.0.0.1:" + std::to_string(server.port())}};
  // Until the page has loaded, silence does not count.
  EXPECT_EQ(running.wait_for(std::chrono::milliseconds(600)), std::future_status::timeout);
  EXPECT_EQ(client.Post("/api/heartbeat", headers, "", "application/json")->status, 200);
  ASSERT_EQ(running.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(running.get(), "idle");
}

TEST(WorkspaceServer, KeepsColumnLayoutsPerFileAndTable) {
  TempDir dir;
  const auto file = dir.write("people.csv", kCSV);
  const json layout = {{"widths", {{"name", 220.5}}}, {"hidden", {"score"}}};
  {
    Served served(file, false, dir / "state");
    EXPECT_EQ(served.get("/api/layout", {{"table", "people"}}), json::parse(R"({"widths":{},"hidden":[]})"));
    served.post("/api/layout", {{"table", "people"}, {"layout", layout}});
    EXPECT_EQ(
        served.post("/api/layout", {{"table", "people"}, {"layout", {{"widths", json::object()}}}}, 400).count("error"),
        1u);
  }
  Served again(file, false, dir / "state");
  EXPECT_EQ(again.get("/api/layout", {{"table", "people"}}), layout);
  Served other(dir.write("other.csv", kCSV), false, dir / "state");
  EXPECT_EQ(other.get("/api/layout", {{"table", "people"}})["hidden"].size(), 0u);
}

}  // namespace
}  // namespace tabvora::testing
