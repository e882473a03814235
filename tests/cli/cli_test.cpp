// The veskor tool through its binary: every test works in a fresh temporary directory.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/runTool.h"
#include "support/tempDir.h"
#include "support/wordAssociatorFixture.h"

namespace {

using clitest::runTool;
using clitest::ToolResult;
using veskortest::TempDir;

const std::string sampleDir = VESKOR_SAMPLE_DIR;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

// The key column of find's text output ("  1  0.8750  key").
std::vector<std::string> hitKeys(const std::string& out) {
  std::vector<std::string> keys;
  const std::regex hitLine(R"(^\s*\d+  [01]\.\d{4}  (.+)$)");
  for (const std::string& line : lines(out)) {
    std::smatch match;
    if (std::regex_match(line, match, hitLine)) keys.push_back(match[1]);
  }
  return keys;
}

class Cli : public ::testing::Test {
 protected:
  ToolResult run(const std::vector<std::string>& args, const std::string& input = "") {
    return runTool(args, dir.path().string(), input);
  }
  // Runs a command that must succeed and returns its standard output.
  std::string ok(const std::vector<std::string>& args, const std::string& input = "") {
    const ToolResult result = run(args, input);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.out;
  }
  int entryCount(const std::string& kb) {
    return nlohmann::json::parse(ok({"info", kb, "--json"})).at("entries").get<int>();
  }
  TempDir dir;
};

TEST_F(Cli, CreateImportFindDeleteRoundTrip) {
  EXPECT_EQ(ok({"create", "places.kb"}), "created places.kb (entries)\n");
  EXPECT_EQ(entryCount("places.kb"), 0);

  const std::string imported = ok({"import", "places.kb", sampleDir + "/entries.tsv"});
  EXPECT_TRUE(imported.starts_with("imported 348 entries from ")) << imported;
  EXPECT_EQ(entryCount("places.kb"), 348);

  // A misspelt and a reordered query find their entries first; an exact one has confidence 1.
  EXPECT_EQ(hitKeys(ok({"find", "places.kb", "Rotenburg Tauber", "-n", "3"})).at(0), "ort105");
  EXPECT_EQ(hitKeys(ok({"find", "places.kb", "Göttingen Adlerweg"})).at(0), "str003");
  const std::vector<std::string> exact = lines(ok({"find", "places.kb", "Bad Tölz", "-n", "5"}));
  ASSERT_EQ(exact.size(), 5u);
  EXPECT_EQ(exact[0], "  1  1.0000  ort004");

  EXPECT_EQ(ok({"delete", "places.kb", "ort105"}), "deleted 1 entry with a key ending in ort105\n");
  EXPECT_EQ(entryCount("places.kb"), 347);
  const std::vector<std::string> after = hitKeys(ok({"find", "places.kb", "Rotenburg Tauber", "-n", "3"}));
  EXPECT_EQ(std::count(after.begin(), after.end(), "ort105"), 0);
  EXPECT_EQ(ok({"delete", "places.kb", "ort105"}), "deleted 0 entries with a key ending in ort105\n");

  EXPECT_EQ(ok({"defrag", "places.kb"}), "defragmented places.kb: 347 entries\n");
}

TEST_F(Cli, InfoShowsTheSettingsOfEachKind) {
  ok({"create", "e.kb"});
  ok({"create", "d.kb", "--kind", "documents"});
  ok({"create", "w.kb", "--kind", "words"});
  const auto info = [&](const std::string& kb) { return nlohmann::json::parse(ok({"info", kb, "--json"})); };
  EXPECT_EQ(info("e.kb")["kind"], "entries");
  EXPECT_EQ(info("e.kb")["encoding"], 6);
  EXPECT_EQ(info("e.kb")["entryInformation"], 2);
  EXPECT_EQ(info("d.kb")["kind"], "documents");
  EXPECT_EQ(info("d.kb")["featureType"], 2);
  EXPECT_EQ(info("w.kb")["kind"], "words");
  EXPECT_EQ(info("w.kb")["entryInformation"], 11);
  EXPECT_EQ(info("w.kb")["language"], 1);

  const std::string text = ok({"info", "d.kb"});
  EXPECT_NE(text.find("kind               documents\n"), std::string::npos) << text;
  EXPECT_NE(text.find("feature type       2 (words)\n"), std::string::npos) << text;

  // An existing file is only replaced on request.
  const ToolResult again = run({"create", "e.kb"});
  EXPECT_EQ(again.exitCode, 4);
  EXPECT_NE(again.err.find("file exists"), std::string::npos);
  EXPECT_EQ(run({"create", "e.kb", "--kind", "words", "--force"}).exitCode, 0);
  EXPECT_EQ(info("e.kb")["kind"], "words");
}

TEST_F(Cli, Utf8InAndOutAndLatin1PassThrough) {
  ok({"create", "kb"});
  EXPECT_EQ(ok({"add", "kb", "straße-1", "Große Bäckerstraße 5, Köln"}), "added straße-1 to kb\n");
  ok({"add", "kb", "weg-2", "Am Mühlbach 3, Bonn"});
  EXPECT_EQ(hitKeys(ok({"find", "kb", "Grosse Bäckerstrasse"})).at(0), "straße-1");

  // Latin-1 mode: the same bytes the engine stores, both ways.
  const std::string latin1Query =
      "Gro\xDF"
      "e B\xE4"
      "ckerstra\xDF"
      "e";
  EXPECT_EQ(hitKeys(ok({"--encoding", "latin1", "find", "kb", latin1Query})).at(0),
            "stra\xDF"
            "e-1");

  // The euro sign has no Latin-1 form: a clear error, or '?' with --lossy.
  const ToolResult euro = run({"add", "kb", "preis", "Kaffee 5 €"});
  EXPECT_EQ(euro.exitCode, 4);
  EXPECT_NE(euro.err.find("argument TEXT: character U+20AC (€) is outside Latin-1"), std::string::npos)
      << euro.err;
  EXPECT_EQ(entryCount("kb"), 2);
  EXPECT_EQ(run({"add", "kb", "preis", "Kaffee 5 €", "--lossy"}).exitCode, 0);
  EXPECT_EQ(entryCount("kb"), 3);

  const ToolResult malformed = run({"find", "kb", "M\xFChlbach"});
  EXPECT_EQ(malformed.exitCode, 4);
  EXPECT_NE(malformed.err.find("malformed UTF-8 (byte 0xFC)"), std::string::npos) << malformed.err;
}

TEST_F(Cli, ImportReportsAndSkipsBadLines) {
  ok({"create", "kb"});
  const std::string input =
      "a1\tHauptstraße 1, Ulm\n"
      "no tab here\n"
      "\tno key\n"
      "a2\t   \n"
      "a3\tPreis in €\n"
      "" +
      std::string(1025, 'k') +
      "\tkey too long\n"
      "a4\tBahnhofstraße 7, Jena\r\n"
      "\n";
  const ToolResult result = run({"import", "kb", "-"}, input);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(result.out.starts_with("imported 2 entries from <stdin> into kb, skipped 5 bad lines"))
      << result.out;
  const std::vector<std::string> errors = lines(result.err);
  ASSERT_EQ(errors.size(), 5u) << result.err;
  EXPECT_EQ(errors[0], "veskor: <stdin>:2: no tab between key and text; line skipped");
  EXPECT_EQ(errors[1], "veskor: <stdin>:3: empty key; line skipped");
  EXPECT_EQ(errors[2], "veskor: <stdin>:4: empty text; line skipped");
  EXPECT_TRUE(errors[3].starts_with("veskor: <stdin>:5: character U+20AC")) << errors[3];
  EXPECT_TRUE(errors[4].starts_with("veskor: <stdin>:6: engine status 10: ")) << errors[4];
  EXPECT_EQ(entryCount("kb"), 2);
  EXPECT_EQ(hitKeys(ok({"find", "kb", "Bahnhofstrasse Jena"})).at(0), "a4");

  // --strict stops at the first bad line and saves nothing.
  ok({"create", "strict.kb"});
  const ToolResult strict = run({"import", "strict.kb", "--strict"}, input);
  EXPECT_EQ(strict.exitCode, 4);
  EXPECT_EQ(strict.err, "veskor: <stdin>:2: no tab between key and text\n");
  EXPECT_EQ(entryCount("strict.kb"), 0);
}

TEST_F(Cli, ExitCodesAndMessages) {
  ok({"create", "kb"});
  EXPECT_EQ(run({}).exitCode, 2);
  EXPECT_EQ(run({"frobnicate"}).exitCode, 2);
  EXPECT_EQ(run({"find", "kb"}).exitCode, 2);
  EXPECT_EQ(run({"find", "kb", "x", "-n", "0"}).exitCode, 2);
  EXPECT_EQ(run({"find", "kb", "x", "-n", "501"}).exitCode, 2);
  EXPECT_EQ(run({"find", "kb", "x", "--associate"}).exitCode, 2);
  EXPECT_EQ(run({"--encoding", "ebcdic", "info", "kb"}).exitCode, 2);

  const ToolResult version = run({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_TRUE(version.out.starts_with("veskor ")) << version.out;
  EXPECT_EQ(run({"find", "--help"}).exitCode, 0);

  // Nothing found is still success.
  EXPECT_EQ(run({"find", "kb", "Nichts"}).exitCode, 0);

  // Files: a missing knowledge base, a file that is not one.
  const ToolResult missing = run({"find", "missing.kb", "x"});
  EXPECT_EQ(missing.exitCode, 4);
  EXPECT_TRUE(missing.err.starts_with("veskor: engine status 4: ")) << missing.err;
  veskortest::writeFileBytes(dir.file("plain.txt"),
                             "just some text, long enough to have a header-sized start");
  EXPECT_EQ(run({"info", "plain.txt"}).exitCode, 4);
  EXPECT_EQ(run({"info", "missing.kb"}).exitCode, 4);
  veskortest::writeFileBytes(dir.file("short.kb"), std::string("KBSE\x01\0\0\0\x06", 9));
  const ToolResult truncated = run({"info", "short.kb"});
  EXPECT_EQ(truncated.exitCode, 4);
  EXPECT_TRUE(truncated.err.starts_with("veskor: engine status 500004: ")) << truncated.err;

  // An engine refusal: the message without the raise location, unless --verbose.
  const ToolResult refused = run({"find-doc", "kb", "Haus"});
  EXPECT_EQ(refused.exitCode, 3);
  EXPECT_TRUE(refused.err.starts_with("veskor: engine status 18: ")) << refused.err;
  EXPECT_EQ(refused.err.find("in file"), std::string::npos) << refused.err;
  const ToolResult verbose = run({"--verbose", "find-doc", "kb", "Haus"});
  EXPECT_EQ(verbose.exitCode, 3);
  EXPECT_NE(verbose.err.find("in file \""), std::string::npos) << verbose.err;
}

TEST_F(Cli, JsonOutputParsesBack) {
  ok({"create", "kb"});
  ok({"import", "kb", sampleDir + "/entries.tsv"});
  const auto found =
      nlohmann::json::parse(ok({"find", "kb", "Schillerstrasse Hamburg", "-n", "4", "--json"}));
  EXPECT_EQ(found["query"], "Schillerstrasse Hamburg");
  EXPECT_EQ(found["knowledgeBase"], "kb");
  ASSERT_EQ(found["hits"].size(), 4u);
  EXPECT_EQ(found["hits"][0]["key"], "str088");
  double previous = 1.0;
  for (const auto& hit : found["hits"]) {
    const double confidence = hit["confidence"].get<double>();
    EXPECT_GT(confidence, 0.0);
    EXPECT_LE(confidence, previous);
    previous = confidence;
  }
  // A threshold between the first two confidences keeps only the first hit.
  const double cut =
      (found["hits"][0]["confidence"].get<double>() + found["hits"][1]["confidence"].get<double>()) / 2;
  const auto filtered = nlohmann::json::parse(ok({"find", "kb", "Schillerstrasse Hamburg", "-n", "4",
                                                  "--json", "--min-confidence", std::to_string(cut)}));
  ASSERT_EQ(filtered["hits"].size(), 1u);
  EXPECT_EQ(filtered["hits"][0], found["hits"][0]);
}

TEST_F(Cli, DocumentsFindCompareAndDelete) {
  ok({"create", "docs.kb", "--kind", "documents"});
  ok({"create", "words.kb", "--kind", "words"});
  std::vector<std::string> args = {"import-docs", "docs.kb", "--wkb", "words.kb"};
  for (const char* name : {"fahrrad", "brot", "kaffeemaschine", "bienen", "garten"}) {
    args.push_back(sampleDir + "/docs/" + name + ".txt");
  }
  EXPECT_TRUE(ok(args).starts_with("imported 5 documents into docs.kb")) << args.size();
  EXPECT_GT(entryCount("words.kb"), 100);

  const auto found = nlohmann::json::parse(ok({"find-doc", "docs.kb", "Schlauch flicken", "--wkb", "words.kb",
                                               "--source", sampleDir + "/docs", "--json"}));
  ASSERT_FALSE(found["documents"].empty());
  const auto& best = found["documents"][0];
  EXPECT_EQ(best["key"], "fahrrad");
  ASSERT_FALSE(best["sentences"].empty());
  // Each sentence's span, cut from the document's file, is a sentence of that file; one of them
  // holds the query's first word.
  const std::string document = veskortest::readFileBytes(sampleDir + "/docs/fahrrad.txt");
  bool queryWordSeen = false;
  for (const auto& sentence : best["sentences"]) {
    const std::string text = sentence["text"];
    EXPECT_TRUE(text.ends_with(".")) << text;
    EXPECT_NE(document.find(text), std::string::npos) << text;
    queryWordSeen = queryWordSeen || text.find("Schlauch") != std::string::npos;
  }
  EXPECT_TRUE(queryWordSeen);

  const std::string compared =
      ok({"compare", "docs.kb", sampleDir + "/compare/entkalken.txt", "--wkb", "words.kb", "-n", "2"});
  EXPECT_EQ(hitKeys(compared).at(0), "kaffeemaschine") << compared;

  // The length-aware ranking finds the same best document, with its sentences; the documented one
  // is the default; other names are refused.
  const auto lengthAware = nlohmann::json::parse(ok({"find-doc", "docs.kb", "Schluach flicken", "--wkb", "words.kb",
                                                     "--ranking", "length-aware", "--json"}));
  ASSERT_FALSE(lengthAware["documents"].empty());
  EXPECT_EQ(lengthAware["documents"][0]["key"], "fahrrad");
  EXPECT_FALSE(lengthAware["documents"][0]["sentences"].empty());
  EXPECT_EQ(ok({"find-doc", "docs.kb", "Schlauch flicken", "--ranking", "documented"}),
            ok({"find-doc", "docs.kb", "Schlauch flicken"}));
  EXPECT_EQ(hitKeys(ok({"compare", "docs.kb", sampleDir + "/compare/entkalken.txt", "--ranking", "length-aware"}))
                .at(0),
            "kaffeemaschine");
  EXPECT_EQ(run({"find-doc", "docs.kb", "Schlauch", "--ranking", "bm25"}).exitCode, 2);

  const int sentences = entryCount("docs.kb");
  const std::string deleted = ok({"delete-doc", "docs.kb", "fahrrad"});
  EXPECT_TRUE(
      std::regex_match(deleted, std::regex("deleted [1-9][0-9]* sentence entries of document fahrrad\n")))
      << deleted;
  EXPECT_LT(entryCount("docs.kb"), sentences);
  const auto after = nlohmann::json::parse(ok({"find-doc", "docs.kb", "Schlauch flicken", "--json"}));
  for (const auto& hit : after["documents"]) EXPECT_NE(hit["key"], "fahrrad");

  // Document operations on a knowledge base of single entries are the engine's refusal.
  ok({"create", "entries.kb"});
  const ToolResult refused = run({"add-doc", "entries.kb", "d1", sampleDir + "/docs/brot.txt"});
  EXPECT_EQ(refused.exitCode, 3);
  EXPECT_EQ(entryCount("entries.kb"), 0);
}

// Hits show what their entries store: a word knowledge base keeps its words framed and
// upper-cased, knowledge bases of entries and documents keep no text. --keys-only is the output
// without texts.
TEST_F(Cli, HitsShowTheirStoredTextsUnlessKeysOnly) {
  ok({"create", "kb"});
  ok({"create", "words.kb", "--kind", "words"});
  ok({"add", "kb", "k1", "Grüne Wiese", "--wkb", "words.kb"});
  EXPECT_EQ(ok({"find", "words.kb", "Wiese", "-n", "1"}), "  1  1.0000       1  _WIESE_\n");
  EXPECT_EQ(ok({"find", "words.kb", "grüne", "-n", "1"}), "  1  1.0000       0  _GRÜNE_\n");
  EXPECT_EQ(ok({"--encoding", "latin1", "find", "words.kb", "gr\xFCne", "-n", "1"}),
            "  1  1.0000       0  _GR\xDCNE_\n");
  EXPECT_EQ(ok({"find", "words.kb", "Wiese", "-n", "1", "--keys-only"}), "  1  1.0000       1\n");
  EXPECT_EQ(ok({"find", "kb", "Wiese", "-n", "1"}), "  1  1.0000  k1\n");

  const auto json = [&](const std::vector<std::string>& args) { return nlohmann::json::parse(ok(args)); };
  EXPECT_EQ(json({"find", "words.kb", "grüne", "-n", "1", "--json"})["hits"][0]["text"], "_GRÜNE_");
  EXPECT_EQ(json({"find", "kb", "Wiese", "--json"})["hits"][0]["text"], "");
  EXPECT_FALSE(json({"find", "kb", "Wiese", "--json", "--keys-only"})["hits"][0].contains("text"));

  // A knowledge base made to keep its texts shows them; a phonetic one finds what sounds alike.
  ok({"create", "texts.kb", "--store-texts"});
  ok({"add", "texts.kb", "k1", "Grüne Wiese"});
  EXPECT_EQ(ok({"find", "texts.kb", "Wiese", "-n", "1"}), "  1  1.0000  k1  _GRÜNE_WIESE_\n");
  ok({"create", "sound.kb", "--phonetic"});
  ok({"add", "sound.kb", "m1", "Meier"});
  EXPECT_EQ(ok({"find", "sound.kb", "Mayer", "-n", "1"}), "  1  1.0000  m1\n");
  EXPECT_NE(ok({"info", "sound.kb"}).find("encoding           7 (phonetic codes"), std::string::npos);

  // Sentences: no stored text to show without the documents' files.
  ok({"create", "docs.kb", "--kind", "documents"});
  veskortest::writeFileBytes(dir.file("D1.txt"), "Die Wiese ist grün. Der Himmel ist blau.");
  ok({"import-docs", "docs.kb", "D1.txt"});
  EXPECT_EQ(ok({"find-doc", "docs.kb", "Himmel"}), "  1  1.0000  D1\n            100.000  @19+21\n");
  const auto sentence = json({"find-doc", "docs.kb", "Himmel", "--json"})["documents"][0]["sentences"][0];
  EXPECT_EQ(sentence["text"], "");
  EXPECT_FALSE(
      json({"find-doc", "docs.kb", "Himmel", "--json", "--keys-only"})["documents"][0]["sentences"][0]
          .contains("text"));
  EXPECT_EQ(json({"find-doc", "docs.kb", "Himmel", "--json", "--source",
                  "."})["documents"][0]["sentences"][0]["text"],
            "Der Himmel ist blau.");
}

TEST_F(Cli, WordAssociatorWidensADocumentSearch) {
  ok({"create", "docs.kb", "--kind", "documents"});
  ok({"create", "words.kb", "--kind", "words"});
  veskortest::writeFileBytes(dir.file("D3.txt"), "Ein Auto steht. Der Wagen rollt.");
  veskortest::writeFileBytes(dir.file("D2.txt"), "Der Wolf heult. Der Tiger jagt.");
  ok({"import-docs", "docs.kb", "D2.txt", "D3.txt", "--wkb", "words.kb"});
  veskortest::WordAssociatorFixture wa({"_AUTO_", "_WAGEN_"});
  wa.connect("_AUTO_", "_WAGEN_", 9.0f);
  wa.write(dir.file("wa"));

  const auto sentences = [&](const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"find-doc", "docs.kb", "Auto", "--wkb", "words.kb", "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    const auto found = nlohmann::json::parse(ok(args));
    EXPECT_EQ(found["documents"].size(), 1u);
    EXPECT_EQ(found["documents"][0]["key"], "D3");
    std::vector<int> offsets;
    for (const auto& sentence : found["documents"][0]["sentences"]) offsets.push_back(sentence["offset"]);
    return offsets;
  };
  EXPECT_EQ(sentences({}), std::vector<int>{0});
  EXPECT_EQ(sentences({"--wa", "wa"}), std::vector<int>{0});  // opened, but not asked to associate
  EXPECT_EQ(sentences({"--wa", "wa", "--associate"}), (std::vector<int>{0, 15}));

  const ToolResult missing = run({"find-doc", "docs.kb", "Auto", "--wa", "nowhere", "--associate"});
  EXPECT_EQ(missing.exitCode, 4) << missing.err;
}

TEST_F(Cli, DemoRunsOnTheSampleData) {
  const ToolResult demo = run({"demo", "--data", sampleDir, "--keep", "demo"});
  EXPECT_EQ(demo.exitCode, 0) << demo.err;
  EXPECT_NE(demo.out.find("== 348 entries"), std::string::npos) << demo.out;
  EXPECT_NE(demo.out.find("== 12 German documents"), std::string::npos) << demo.out;
  EXPECT_EQ(entryCount("demo/entries.kb"), 348);
}

}  // namespace
