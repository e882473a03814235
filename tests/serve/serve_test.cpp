// veskor serve through real HTTP on a free loopback port; every test works in a fresh directory
// with knowledge bases built by the tool from the sample data.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/runTool.h"
#include "serve/serveProcess.h"
#include "support/tempDir.h"

namespace {

using nlohmann::json;
using servetest::ServeProcess;
using veskortest::TempDir;

const std::string sampleDir = VESKOR_SAMPLE_DIR;
const httplib::Headers jsonType = {{"Content-Type", "application/json"}};

json parsed(const httplib::Result& result) {
  if (!result) return json{{"transport error", httplib::to_string(result.error())}};
  return json::parse(result->body, nullptr, false);
}

class Serve : public ::testing::Test {
 protected:
  // places.kb: the sample entries; docs.kb: the sample documents, whose words fill words.kb.
  void buildSampleKbs() {
    tool({"create", "places.kb"});
    tool({"import", "places.kb", sampleDir + "/entries.tsv"});
    tool({"create", "docs.kb", "--kind", "documents"});
    tool({"create", "words.kb", "--kind", "words"});
    std::vector<std::string> importDocs = {"import-docs", "docs.kb"};
    for (const auto& file : std::filesystem::directory_iterator(sampleDir + "/docs")) {
      importDocs.push_back(file.path().string());
    }
    importDocs.insert(importDocs.end(), {"--wkb", "words.kb"});
    tool(importDocs);
  }
  std::string tool(const std::vector<std::string>& args) {
    const clitest::ToolResult result = clitest::runTool(args, dir.path().string());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
  }
  int entriesOnDisk(const std::string& kb) {
    return json::parse(tool({"info", kb, "--json"})).at("entries").get<int>();
  }
  std::unique_ptr<ServeProcess> serve(const std::vector<std::string>& args) {
    return std::make_unique<ServeProcess>(dir.path().string(), args);
  }
  TempDir dir;
};

TEST_F(Serve, ListsDescribesAndFindsEntriesDocumentsAndWords) {
  buildSampleKbs();
  // words.kb is served and also the word knowledge base of the document searches.
  const auto server = serve({"places.kb", "docs.kb", "words.kb", "--wkb", "words.kb"});
  const auto client = server->client();

  EXPECT_EQ(parsed(client->Get("/health")), (json{{"status", "ok"}}));
  const json kbs = parsed(client->Get("/v1/kbs"));
  EXPECT_EQ(
      kbs,
      (json{{"knowledgeBases",
             {{{"name", "places"}, {"kind", "entries"}, {"entries", 348}},
              {{"name", "docs"}, {"kind", "documents"}, {"entries", 80}},
              {{"name", "words"}, {"kind", "words"}, {"entries", kbs["knowledgeBases"][2]["entries"]}}}}}));
  EXPECT_GT(kbs["knowledgeBases"][2]["entries"].get<int>(), 500);

  const json places = parsed(client->Get("/v1/kbs/places"));
  EXPECT_EQ(places["kind"], "entries");
  EXPECT_EQ(places["entries"], 348);
  EXPECT_EQ(places["encoding"], 6);
  EXPECT_EQ(places["textsStored"], false);
  EXPECT_EQ(places["unsavedChanges"], false);
  EXPECT_EQ(parsed(client->Get("/v1/kbs/words"))["textsStored"], true);

  // The same hits, order and confidences as the tool's find.
  const json found = parsed(client->Get("/v1/kbs/places/find?q=Rotenburg%20Tauber&n=3"));
  const json cli = json::parse(tool({"find", "places.kb", "Rotenburg Tauber", "-n", "3", "--json"}));
  EXPECT_EQ(found["hits"], cli["hits"]);
  EXPECT_EQ(found["hits"][0]["key"], "ort105");
  EXPECT_EQ(found["knowledgeBase"], "places");
  EXPECT_EQ(found["query"], "Rotenburg Tauber");
  EXPECT_EQ(parsed(client->Get("/v1/kbs/places/find?q=Bad+T%C3%B6lz"))["hits"].size(), 10u);

  // Documents come with their sentence hits; a word knowledge base gives its stored words.
  const json documents = parsed(client->Get("/v1/kbs/docs/find?q=Honig+ernten&n=2"));
  ASSERT_EQ(documents["documents"].size(), 2u);
  EXPECT_EQ(documents["documents"][0]["key"], "bienen");
  EXPECT_EQ(documents["documents"][0]["sentences"][0],
            (json{{"offset", 440},
                  {"length", 45},
                  {"score", documents["documents"][0]["sentences"][0]["score"]},
                  {"text", ""}}));
  // The length-aware ranking on request (the documented one is the default); an unknown ranking is
  // the caller's fault.
  const json lengthAware = parsed(client->Get("/v1/kbs/docs/find?q=Honig+ernten&n=2&ranking=length-aware"));
  ASSERT_FALSE(lengthAware["documents"].empty());
  EXPECT_EQ(lengthAware["documents"][0]["key"], "bienen");
  EXPECT_NE(lengthAware["documents"][0]["confidence"], documents["documents"][0]["confidence"]);
  EXPECT_GT(lengthAware["documents"][0]["confidence"].get<double>(), 0.0);
  EXPECT_LE(lengthAware["documents"][0]["confidence"].get<double>(), 1.0);
  EXPECT_EQ(parsed(client->Get("/v1/kbs/docs/find?q=Honig+ernten&n=2&ranking=documented")), documents);
  const auto badRanking = client->Get("/v1/kbs/docs/find?q=Honig&ranking=bm25");
  ASSERT_TRUE(badRanking);
  EXPECT_EQ(badRanking->status, 400);
  const json words = parsed(client->Get("/v1/kbs/words/find?q=Honik&n=1"));
  EXPECT_EQ(words["hits"][0]["text"], "_HONIG_");

  const std::string entkalken = veskortest::readFileBytes(sampleDir + "/compare/entkalken.txt");
  const json compared =
      parsed(client->Post("/v1/kbs/docs/compare?n=1", json{{"text", entkalken}}.dump(), "application/json"));
  ASSERT_EQ(compared["documents"].size(), 1u);
  EXPECT_EQ(compared["documents"][0]["key"], "kaffeemaschine");
  const json comparedLengthAware = parsed(client->Post("/v1/kbs/docs/compare?n=1&ranking=length-aware",
                                                       json{{"text", entkalken}}.dump(), "application/json"));
  EXPECT_EQ(comparedLengthAware["documents"][0]["key"], "kaffeemaschine");
  // Comparing needs a knowledge base of documents: the engine's refusal comes back with its status.
  const auto refused =
      client->Post("/v1/kbs/places/compare", json{{"text", entkalken}}.dump(), "application/json");
  EXPECT_EQ(refused->status, 422);
  EXPECT_EQ(parsed(refused)["error"]["engineStatus"], 18);

  // The page is self-contained and may not load anything from elsewhere.
  const auto page = client->Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_NE(page->get_header_value("Content-Security-Policy").find("default-src 'none'"), std::string::npos);
  EXPECT_NE(page->body.find("<select id=\"kb\""), std::string::npos);
  EXPECT_EQ(page->body.find(" src="), std::string::npos);
  EXPECT_EQ(page->body.find("http"), std::string::npos);
  EXPECT_EQ(server->stop(), 0);
}

TEST_F(Serve, ChangesAreSavedOnRequestAndCountedInMetrics) {
  buildSampleKbs();
  const auto server = serve({"places.kb", "docs.kb", "--wkb", "words.kb"});
  const auto client = server->client();

  auto added = client->Post("/v1/kbs/places/entries", R"({"key": "neu1", "text": "Zwetschgenallee 4, Bühl"})",
                            "application/json");
  EXPECT_EQ(parsed(added), (json{{"added", 1}, {"entries", 349}}));
  added = client->Post(
      "/v1/kbs/places/entries",
      R"([{"key": "neu2", "text": "Quittenweg 9, Lahr"}, {"key": "neu3", "text": "Mispelgasse 1"}])",
      "application/json");
  EXPECT_EQ(parsed(added), (json{{"added", 2}, {"entries", 351}}));
  EXPECT_EQ(parsed(client->Get("/v1/kbs/places/find?q=Zwetschenallee+Buehl&n=1"))["hits"][0]["key"], "neu1");
  EXPECT_EQ(parsed(client->Get("/v1/kbs/places"))["unsavedChanges"], true);

  // Deleting takes every entry whose key ends with the one given, and says how many went.
  EXPECT_EQ(parsed(client->Delete("/v1/kbs/places/entries/neu3")), (json{{"deleted", 1}, {"entries", 350}}));
  EXPECT_EQ(parsed(client->Delete("/v1/kbs/places/entries/neu3")), (json{{"deleted", 0}, {"entries", 350}}));

  const std::string text = "Der Igel frisst Schnecken. Im Winter schl\u00e4ft er unter Laub.";
  EXPECT_EQ(parsed(client->Post("/v1/kbs/docs/documents", json{{"key", "igel"}, {"text", text}}.dump(),
                                "application/json")),
            (json{{"added", 1}, {"entries", 82}}));
  EXPECT_EQ(parsed(client->Get("/v1/kbs/docs/find?q=Igel+Winterschlaf&n=1"))["documents"][0]["key"], "igel");
  EXPECT_EQ(parsed(client->Delete("/v1/kbs/docs/documents/fahrrad"))["deleted"], 8);

  // Nothing reaches the files before a save; the save includes the words the documents brought.
  EXPECT_EQ(entriesOnDisk("places.kb"), 348);
  const int wordsBefore = entriesOnDisk("words.kb");
  EXPECT_EQ(parsed(client->Post("/v1/kbs/places/save", "", "application/json")),
            (json{{"saved", {"places", "(word knowledge base)"}}}));
  EXPECT_EQ(entriesOnDisk("places.kb"), 350);
  EXPECT_GT(entriesOnDisk("words.kb"), wordsBefore);
  EXPECT_EQ(parsed(client->Get("/v1/kbs/places"))["unsavedChanges"], false);

  const auto metrics = client->Get("/metrics");
  ASSERT_TRUE(metrics);
  EXPECT_EQ(metrics->get_header_value("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
  for (const std::string line :
       {"veskor_http_requests_total{endpoint=\"add_entries\",status=\"200\"} 2\n",
        "veskor_http_requests_total{endpoint=\"delete_entry\",status=\"200\"} 2\n",
        "veskor_http_requests_total{endpoint=\"find\",status=\"200\"} 2\n",
        "veskor_http_request_duration_seconds_count{endpoint=\"find\"} 2\n",
        "veskor_http_request_duration_seconds_bucket{endpoint=\"save\",le=\"+Inf\"} 1\n",
        "veskor_kb_entries{kb=\"places\"} 350\n", "veskor_kb_entries{kb=\"docs\"} 74\n",
        "veskor_kb_unsaved_changes{kb=\"places\"} 0\n"}) {
    EXPECT_NE(metrics->body.find(line), std::string::npos) << line << metrics->body;
  }
  // The documents' changes were not saved by the request; the stop saves them.
  EXPECT_EQ(entriesOnDisk("docs.kb"), 80);
  EXPECT_EQ(server->stop(SIGINT), 0);
  EXPECT_EQ(entriesOnDisk("docs.kb"), 74);
  EXPECT_NE(server->output().find("saved docs.kb\n"), std::string::npos) << server->output();
}

TEST_F(Serve, TokenAndReadOnlyGuardEveryChange) {
  buildSampleKbs();
  veskortest::writeFileBytes(dir.file("token"), "s3cret-token\n");
  {
    const auto server = serve({"places.kb", "--token-file", "token"});
    const auto client = server->client();
    const std::string entry = R"({"key": "t1", "text": "Tokenweg 1"})";
    const auto missing = client->Post("/v1/kbs/places/entries", entry, "application/json");
    EXPECT_EQ(missing->status, 401);
    EXPECT_EQ(missing->get_header_value("WWW-Authenticate"), "Bearer");
    EXPECT_NE(parsed(missing)["error"]["message"].get<std::string>().find("token"), std::string::npos);
    httplib::Headers wrong = {{"Authorization", "Bearer s3cret-tokeN"}};
    EXPECT_EQ(client->Post("/v1/kbs/places/entries", wrong, entry, "application/json")->status, 401);
    EXPECT_EQ(client->Delete("/v1/kbs/places/entries/ort105", wrong)->status, 401);
    EXPECT_EQ(client->Post("/v1/kbs/places/save", wrong, "", "application/json")->status, 401);
    // Reads need no token.
    EXPECT_EQ(client->Get("/v1/kbs/places/find?q=Tokenweg")->status, 200);

    httplib::Headers right = {{"Authorization", "Bearer s3cret-token"}};
    EXPECT_EQ(client->Post("/v1/kbs/places/entries", right, entry, "application/json")->status, 200);
    // A page on another site cannot make changes through a visitor's browser, token or not.
    httplib::Headers crossSite = {{"Authorization", "Bearer s3cret-token"}, {"Origin", "http://example.org"}};
    EXPECT_EQ(client->Delete("/v1/kbs/places/entries/t1", crossSite)->status, 403);
    EXPECT_EQ(parsed(client->Get("/v1/kbs/places"))["entries"], 349);
    // Nor can one that reaches the loopback address under its own host name.
    EXPECT_EQ(
        client->Get("/v1/kbs", {{"Host", "attacker.example:" + std::to_string(server->port())}})->status,
        403);
    EXPECT_EQ(server->stop(), 0);
  }
  EXPECT_EQ(entriesOnDisk("places.kb"), 349);

  const auto server = serve({"places.kb", "--read-only"});
  EXPECT_NE(server->output().find("(read-only)"), std::string::npos);
  const auto client = server->client();
  const auto refused =
      client->Post("/v1/kbs/places/entries", R"({"key": "r", "text": "x"})", "application/json");
  EXPECT_EQ(refused->status, 403);
  EXPECT_EQ(parsed(refused)["error"]["message"], "the service is read-only");
  EXPECT_EQ(client->Delete("/v1/kbs/places/entries/ort105")->status, 403);
  EXPECT_EQ(client->Post("/v1/kbs/places/save", "", "application/json")->status, 403);
  EXPECT_EQ(client->Get("/v1/kbs/places/find?q=Tokenweg&n=1")->status, 200);
  EXPECT_EQ(parsed(client->Get("/v1/kbs/places"))["entries"], 349);
  EXPECT_EQ(server->stop(), 0);

  std::string errors;
  veskortest::writeFileBytes(dir.file("empty-token"), "\n");
  EXPECT_EQ(
      ServeProcess::failingStart(dir.path().string(), {"places.kb", "--token-file", "empty-token"}, errors),
      4);
  EXPECT_NE(errors.find("the token file is empty"), std::string::npos) << errors;
  EXPECT_EQ(ServeProcess::failingStart(dir.path().string(), {"places.kb", "--read-only", "--save-every", "5"},
                                       errors),
            2);
}

TEST_F(Serve, LimitsAndMalformedRequestsGetJsonErrors) {
  buildSampleKbs();
  const auto server = serve({"places.kb"});
  const auto client = server->client();
  const auto expectError = [&](const httplib::Result& result, int status,
                               const std::string& messagePart) -> json {
    if (!result) {
      ADD_FAILURE() << "no answer";
      return json();
    }
    EXPECT_EQ(result->status, status) << result->body;
    EXPECT_EQ(result->get_header_value("Content-Type"), "application/json");
    const json body = parsed(result);
    if (!body.contains("error")) {
      ADD_FAILURE() << result->body;
      return json();
    }
    EXPECT_NE(body["error"]["message"].get<std::string>().find(messagePart), std::string::npos)
        << result->body;
    return body;
  };

  for (const std::string n : {"0", "101", "-1", "abc", "", "99999999999"}) {
    const json body = expectError(client->Get("/v1/kbs/places/find?q=Hamburg&n=" + n), 400, "from 1 to 100");
    EXPECT_EQ(body["error"]["limit"], (json{{"name", "n"}, {"maximum", 100}}));
  }
  EXPECT_EQ(client->Get("/v1/kbs/places/find?q=Hamburg&n=100")->status, 200);
  const json longQuery =
      expectError(client->Get("/v1/kbs/places/find?q=" + std::string(1001, 'a')), 400, "limit of 1000 bytes");
  EXPECT_EQ(longQuery["error"]["limit"]["name"], "q");
  EXPECT_EQ(client->Get("/v1/kbs/places/find?q=" + std::string(1000, 'a'))->status, 200);
  expectError(client->Get("/v1/kbs/places/find"), 400, "q is missing");
  const json blank = expectError(client->Get("/v1/kbs/places/find?q=%20"), 422, "seek string invalid");
  EXPECT_EQ(blank["error"]["engineStatus"], 11);
  expectError(client->Get("/v1/kbs/places/find?q=x&associate=1"), 400, "word associator");
  expectError(client->Get("/v1/kbs/places/find?q=x" + std::string(9000, 'x')), 414, "URL is longer");

  const json tooLarge =
      expectError(client->Post("/v1/kbs/places/entries", std::string((1 << 20) + 1, ' '), "application/json"),
                  413, "limit of 1048576 bytes");
  EXPECT_EQ(tooLarge["error"]["limit"], (json{{"name", "body"}, {"maximum", 1 << 20}}));
  expectError(client->Post("/v1/kbs/places/entries", "{\"key\": ", "application/json"), 400,
              "not valid JSON");
  expectError(client->Post("/v1/kbs/places/entries", R"({"key": "k"})", "application/json"), 400,
              "string \"key\" and \"text\"");
  expectError(client->Post("/v1/kbs/places/entries", "[]", "application/json"), 400, "no entries");
  // A bad entry anywhere in a list stops the whole list before anything is added.
  const json badSecond = expectError(
      client->Post("/v1/kbs/places/entries", R"([{"key": "a", "text": "Gut"}, {"key": "", "text": "x"}])",
                   "application/json"),
      400, "entry[1]: the key is empty");
  EXPECT_EQ(badSecond["error"]["index"], 1);
  expectError(client->Post("/v1/kbs/places/entries", R"({"key": "k", "text": "x"})", "text/plain"), 415,
              "Content-Type: application/json");
  expectError(client->Post("/v1/kbs/places/compare", R"({"document": "x"})", "application/json"), 400,
              "\"text\"");
  expectError(client->Get("/v1/kbs/places/search?q=x"), 404, "no such endpoint");
  EXPECT_EQ(parsed(client->Get("/v1/kbs/places"))["entries"], 348);
  EXPECT_EQ(server->stop(), 0);
}

TEST_F(Serve, RequestsNameServedKnowledgeBasesNeverFiles) {
  buildSampleKbs();
  std::filesystem::create_directory(dir.path() / "sub");
  std::filesystem::copy_file(dir.file("places.kb"), dir.file("sub/places.kb"));
  const auto server = serve({"other=sub/places.kb", "docs.kb"});
  EXPECT_NE(server->output().find("serving other (entries) from sub/places.kb\n"), std::string::npos);
  const auto client = server->client();
  EXPECT_EQ(client->Get("/v1/kbs/other/find?q=Hamburg")->status, 200);
  for (const std::string path :
       {"/v1/kbs/places/find?q=x", "/v1/kbs/sub%2Fplaces.kb/find?q=x", "/v1/kbs/..%2Fdocs.kb/find?q=x",
        "/v1/kbs/%2Fetc%2Fpasswd", "/v1/kbs/docs.kb", "/v1/kbs/kb1/find?q=x", "/v1/kbs/..",
        "/v1/kbs/other/../docs", "/v1/kbs/%2E%2E/find?q=x"}) {
    const auto result = client->Get(path);
    ASSERT_TRUE(result) << path;
    EXPECT_EQ(result->status, 404) << path << " " << result->body;
    EXPECT_TRUE(parsed(result).contains("error")) << path;
  }
  EXPECT_EQ(parsed(client->Get("/v1/kbs/nope"))["error"]["message"],
            "no knowledge base is served as \"nope\"");
  EXPECT_EQ(server->stop(), 0);

  std::string errors;
  EXPECT_EQ(ServeProcess::failingStart(dir.path().string(), {"places.kb", "sub/places.kb"}, errors), 2);
  EXPECT_NE(errors.find("already served as \"places\""), std::string::npos) << errors;
  EXPECT_EQ(ServeProcess::failingStart(dir.path().string(), {"a/b=places.kb"}, errors), 2);
  EXPECT_NE(errors.find("cannot name a knowledge base"), std::string::npos) << errors;
  EXPECT_EQ(ServeProcess::failingStart(dir.path().string(), {"places.kb", "x=places.kb"}, errors), 2);
  EXPECT_EQ(ServeProcess::failingStart(dir.path().string(), {"missing.kb"}, errors), 4);
}

TEST_F(Serve, TextIsUtf8AtTheEdgeAndLatin1Inside) {
  tool({"create", "kb"});
  const auto server = serve({"kb"});
  const auto client = server->client();
  const std::string entries =
      R"([{"key": "straße-1", "text": "Große Bäckerstraße 5, Köln"}, {"key": "weg-2", "text": "Am Mühlbach 3"}])";
  EXPECT_EQ(parsed(client->Post("/v1/kbs/kb/entries", entries, "application/json"))["added"], 2);
  const json found = parsed(client->Get("/v1/kbs/kb/find?q=Grosse%20B%C3%A4ckerstrasse"));
  EXPECT_EQ(found["hits"][0]["key"], "straße-1");
  EXPECT_EQ(found["query"], "Grosse Bäckerstrasse");

  // Characters the engine cannot hold are refused with their code point, malformed UTF-8 too.
  const auto euro = client->Get("/v1/kbs/kb/find?q=Kaffee%20%E2%82%AC");
  EXPECT_EQ(euro->status, 400);
  EXPECT_EQ(parsed(euro)["error"]["message"],
            "q: character U+20AC (€) is outside Latin-1 (the engine's texts are Latin-1)");
  EXPECT_EQ(parsed(euro)["error"]["position"], 7);
  const auto malformed = client->Get("/v1/kbs/kb/find?q=M%FChlbach");
  EXPECT_EQ(malformed->status, 400);
  EXPECT_NE(parsed(malformed)["error"]["message"].get<std::string>().find("malformed UTF-8 (byte 0xFC)"),
            std::string::npos);
  const auto emoji =
      client->Post("/v1/kbs/kb/entries", R"({"key": "e", "text": "Kaffee ☕"})", "application/json");
  EXPECT_EQ(emoji->status, 400);
  EXPECT_NE(parsed(emoji)["error"]["message"].get<std::string>().find("entry.text: character U+2615"),
            std::string::npos);
  // Invalid UTF-8 inside a JSON body is no JSON.
  EXPECT_EQ(
      client->Post("/v1/kbs/kb/entries", "{\"key\": \"k\", \"text\": \"M\xFC\"}", "application/json")->status,
      400);

  EXPECT_EQ(parsed(client->Delete("/v1/kbs/kb/entries/stra%C3%9Fe-1"))["deleted"], 1);
  EXPECT_EQ(parsed(client->Get("/v1/kbs/kb"))["entries"], 1);
  EXPECT_EQ(server->stop(), 0);

  // With --lossy such characters become '?' instead.
  const auto lossy =
      std::make_unique<ServeProcess>(dir.path().string(), std::vector<std::string>{"--lossy", "kb"});
  EXPECT_EQ(lossy->client()->Get("/v1/kbs/kb/find?q=M%C3%BChlbach%20%E2%82%AC")->status, 200);
  EXPECT_EQ(lossy->stop(), 0);
}

// Threads of clients against one service (also run under ThreadSanitizer).
class ServeConcurrency : public Serve {};

// Clients keep adding while the service is told to stop: every add it acknowledged is in the file
// afterwards, and the exit code is 0.
TEST_F(ServeConcurrency, StopSignalFinishesRequestsAndLosesNothing) {
  tool({"create", "kb"});
  const auto server = serve({"kb", "--threads", "4"});
  std::atomic<bool> stopping{false};
  std::vector<std::vector<std::string>> acknowledged(4);
  std::vector<std::thread> clients;
  for (int c = 0; c < 4; ++c) {
    clients.emplace_back([&, c] {
      const auto client = server->client();
      for (int i = 0; i < 100000; ++i) {
        const std::string key = "c" + std::to_string(c) + "n" + std::to_string(i);
        const auto result = client->Post(
            "/v1/kbs/kb/entries", json{{"key", key}, {"text", "Eintrag " + key}}.dump(), "application/json");
        if (!result) {
          if (stopping) return;  // the service has gone
          continue;
        }
        if (result->status == 200) acknowledged[static_cast<size_t>(c)].push_back(key);
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  stopping = true;
  const int exitCode = server->stop(SIGTERM);
  for (auto& client : clients) client.join();
  EXPECT_EQ(exitCode, 0) << server->errors();
  EXPECT_NE(server->output().find("stopping on SIGTERM\nsaved kb\nstopped\n"), std::string::npos)
      << server->output();

  size_t total = 0;
  for (const auto& keys : acknowledged) total += keys.size();
  ASSERT_GT(total, 0u);
  // A request whose answer was lost may still have been carried out, never the other way round.
  EXPECT_GE(entriesOnDisk("kb"), static_cast<int>(total));
  const auto again = serve({"kb"});
  const auto client = again->client();
  for (const auto& keys : acknowledged) {
    for (size_t i = 0; i < keys.size(); i += std::max<size_t>(1, keys.size() / 25)) {
      const json hit = parsed(client->Get("/v1/kbs/kb/find?n=1&q=Eintrag%20" + keys[i]))["hits"][0];
      EXPECT_EQ(hit["key"], keys[i]);
      EXPECT_EQ(hit["confidence"], 1.0);
    }
  }
  EXPECT_EQ(again->stop(SIGINT), 0);
}

TEST_F(Serve, SaveEverySavesChangesWhileRunning) {
  tool({"create", "kb"});
  const auto server = serve({"kb", "--save-every", "1"});
  const auto client = server->client();
  EXPECT_EQ(client->Post("/v1/kbs/kb/entries", R"({"key": "k", "text": "Gespeichert"})", "application/json")
                ->status,
            200);
  int onDisk = 0;
  for (int waited = 0; waited < 5000 && onDisk == 0; waited += 100) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    onDisk = entriesOnDisk("kb");
  }
  EXPECT_EQ(onDisk, 1);
  // Even a service that is killed has kept what was saved periodically.
  EXPECT_EQ(server->stop(SIGKILL), 128 + SIGKILL);
  EXPECT_EQ(entriesOnDisk("kb"), 1);
}

// Parallel finds and changes from several clients: every request succeeds and the counts add up.
TEST_F(ServeConcurrency, ParallelFindsAndChanges) {
  buildSampleKbs();
  const auto server = serve({"places.kb", "docs.kb", "--wkb", "words.kb", "--threads", "6"});
  std::atomic<int> failures{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < 6; ++c) {
    clients.emplace_back([&, c] {
      const auto client = server->client();
      const auto request = [&](int i) {
        if (c < 2) {
          const std::string key = "p" + std::to_string(c) + "-" + std::to_string(i);
          return client->Post("/v1/kbs/places/entries",
                              json{{"key", key}, {"text", "Parallelweg " + std::to_string(i)}}.dump(),
                              "application/json");
        }
        if (c == 2) return client->Get(i % 2 ? "/v1/kbs/docs/find?q=Honig" : "/metrics");
        return client->Get("/v1/kbs/places/find?q=Rotenburg%20Tauber&n=5");
      };
      for (int i = 0; i < 40; ++i) {
        const httplib::Result result = request(i);
        if (!result || result->status != 200) ++failures;
        if (result && c > 2 && parsed(result)["hits"][0]["key"] != "ort105") ++failures;
      }
    });
  }
  for (auto& client : clients) client.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(parsed(server->client()->Get("/v1/kbs/places"))["entries"], 348 + 80);
  EXPECT_EQ(server->stop(), 0) << server->errors();
  EXPECT_EQ(entriesOnDisk("places.kb"), 348 + 80);
}

}  // namespace
