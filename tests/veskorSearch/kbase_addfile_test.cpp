// Adding documents and entry words to knowledge bases.
#include "veskorSearch/kbase_addfile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "orlBasics/orlException.h"
#include "support/tempDir.h"
#include "veskorSearch/wordFeatures.h"
#include "veskorSearch/wordRegistration.h"

namespace {

struct Stored {
  std::string key;
  std::string text;
  std::string features;  // empty when the entry has none
  bool operator==(const Stored&) const = default;
  friend void PrintTo(const Stored& s, std::ostream* out) {
    *out << "{" << ::testing::PrintToString(s.key) << ", " << ::testing::PrintToString(s.text) << ", "
         << ::testing::PrintToString(s.features) << "}";
  }
};

std::vector<Stored> entries(const knowledgeBase* kb) {
  std::vector<Stored> result;
  for (int32_t i = 0; i <= entryList_getMaxIndex(kb->entryList); ++i) {
    if (!entryList_isValidEntry(kb->entryList, i)) continue;
    const entry* e = entryList_getEntry(kb->entryList, i);
    result.push_back(
        {e->primaryKey != nullptr ? e->primaryKey : "", e->text != nullptr ? e->text : "",
         e->syntacticFeatures != nullptr
             ? std::string(reinterpret_cast<const char*>(e->syntacticFeatures), wordFeatures_size)
             : std::string()});
  }
  return result;
}

// A document knowledge base that keeps its texts, and a German word knowledge base, which stores
// its words upper-cased and framed by "_".
orl::KnowledgeBasePtr documentKB() {
  return orl::KnowledgeBasePtr(knowledgeBase_create(0, 0, 3, 2));
}
orl::KnowledgeBasePtr wordKB() {
  return orl::KnowledgeBasePtr(knowledgeBase_create(1, 6, 11, 1));
}

const std::string plain(82, '2');
const std::string capitalised =
    "P\x14"
    "2\x14\x14" +
    std::string(77, '2');

orl::Exception raisedBy(const std::function<void()>& call) {
  try {
    call();
  } catch (const orl::Exception& e) {
    return e;
  }
  ADD_FAILURE() << "no exception";
  return orl::Exception(0, 0, "");
}

std::string randomDocument(std::mt19937& random) {
  static const char* const pieces[] = {"Haus", "Baum", "rot", "Dr.", "z.B.", "E-Mail", "42", ".", "!",   "?",
                                       ",",    " ",    "\n",  "\t",  "\xE4", "\xFF",   "-",  "(", "&#1;"};
  std::string document;
  for (std::size_t i = random() % 150; i > 0; --i) {
    if (random() % 30 == 0) {
      document += std::string(300 + random() % 500, 'x');
    } else if (random() % 30 == 0) {
      document += static_cast<char>(1 + random() % 255);
    } else {
      document += pieces[random() % std::size(pieces)];
    }
  }
  return document;
}

// The spans named by a document's sentence keys, in key order.
std::vector<std::pair<std::size_t, std::size_t>> spansOf(const knowledgeBase* kb,
                                                         const std::string& documentKey) {
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  int expected = 0;
  for (const Stored& s : entries(kb)) {
    if (s.key.rfind(documentKey + "?", 0) != 0) continue;
    int number = -1;
    unsigned long offset = 0, length = 0;
    EXPECT_EQ(std::sscanf(s.key.c_str() + documentKey.size(), "?%d?%lu?%lu", &number, &offset, &length), 3);
    EXPECT_EQ(number, expected++);
    spans.emplace_back(offset, length);
  }
  return spans;
}

}  // namespace

TEST(KbaseAddFile, StoresSentencesAndRegistersEachWordOnce) {
  orl::KnowledgeBasePtr akb = documentKB();
  orl::KnowledgeBasePtr wkb = wordKB();
  EXPECT_EQ(kbase_addFile("D1", "Das Haus ist rot. Der Baum ist gr\xFCn.", akb.get(), wkb.get()), 3);
  EXPECT_EQ(entries(akb.get()),
            (std::vector<Stored>{{"D1?000000?000000?000017", "Das Haus ist rot", ""},
                                 {"D1?000001?000017?000019", "Der Baum ist gr\xFCn", ""}}));
  EXPECT_EQ(entries(wkb.get()), (std::vector<Stored>{{"     0", "_DAS_", plain},
                                                     {"     1", "_HAUS_", capitalised},
                                                     {"     2", "_IST_", plain},
                                                     {"     3", "_ROT_", plain},
                                                     {"     4", "_DER_", plain},
                                                     {"     5", "_BAUM_", capitalised},
                                                     {"     6", "_GR\xDCN_", plain}}));
}

TEST(KbaseAddFile, WordlessSentencesAndDocumentsStoreNothing) {
  orl::KnowledgeBasePtr akb = documentKB();
  EXPECT_EQ(kbase_addFile("K", "Eins. 123 456. Zwei.", akb.get(), nullptr), 3);
  EXPECT_EQ(entries(akb.get()), (std::vector<Stored>{{"K?000000?000000?000005", "Eins", ""},
                                                     {"K?000001?000005?000015", "Zwei", ""}}));
  for (const char* empty : {"", "   \n", "1. 2. 3!", "\x80\xFF. --"}) {
    orl::KnowledgeBasePtr kb = documentKB();
    EXPECT_EQ(kbase_addFile("E", empty, kb.get(), nullptr), 1);
    EXPECT_TRUE(entries(kb.get()).empty());
  }
}

TEST(KbaseAddFile, RefusesBadArgumentsBeforeStoringAnything) {
  orl::KnowledgeBasePtr tuples(knowledgeBase_create(1, 6, 2, 1));
  orl::Exception odd = raisedBy([&] { kbase_addFile("D", "Haus.", tuples.get(), nullptr); });
  EXPECT_EQ(odd.group(), 200);
  EXPECT_EQ(odd.code(), 2);
  EXPECT_EQ(
      odd.message().rfind(
          "invalid feature type of akb in kbase_addFile()\nin file \"veskorSearch/kbase_addfile.cpp\" line ",
          0),
      0u);
  EXPECT_TRUE(entries(tuples.get()).empty());

  orl::KnowledgeBasePtr akb = documentKB();
  orl::Exception null = raisedBy([&] { kbase_addFile(nullptr, "Haus.", akb.get(), nullptr); });
  EXPECT_EQ(null.group(), 200);
  EXPECT_EQ(null.code(), 1);
}

TEST(KbaseAddFile, SentencesStoredBeforeAFailureStay) {
  // The second sentence's length takes seven digits, which pushes its key past the kernel's limit.
  std::string documentKey(1003, 'k');
  std::string document = "Eins. " + std::string(1000000, '7') + " Zwei.";
  orl::KnowledgeBasePtr akb = documentKB();
  orl::Exception tooLong =
      raisedBy([&] { kbase_addFile(documentKey.c_str(), document.c_str(), akb.get(), nullptr); });
  EXPECT_EQ(tooLong.group(), 20);
  EXPECT_EQ(tooLong.code(), 12);
  std::vector<Stored> stored = entries(akb.get());
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].key, documentKey + "?000000?000000?000005");
}

TEST(KbaseAddFile, RandomDocumentsGiveContiguousSpansInsideTheText) {
  std::mt19937 random(7);
  orl::KnowledgeBasePtr akb = documentKB();
  orl::KnowledgeBasePtr wkb = wordKB();
  std::size_t sentences = 0;
  for (int round = 0; round < 60; ++round) {
    std::string document = randomDocument(random);
    std::string key = "R" + std::to_string(round);
    int32_t result = kbase_addFile(key.c_str(), document.c_str(), akb.get(), wkb.get());
    std::vector<std::pair<std::size_t, std::size_t>> spans = spansOf(akb.get(), key);
    ASSERT_EQ(static_cast<int32_t>(spans.size()) + 1, result);
    sentences += spans.size();
    std::size_t end = 0;
    for (auto [offset, length] : spans) {
      EXPECT_EQ(offset, end) << key;
      EXPECT_LE(offset + length, document.size()) << key;
      end = offset + length;
    }
  }
  EXPECT_GT(sentences, 100u);  // the generator must produce sentences
  // Every registered word is unique in the word knowledge base.
  std::vector<Stored> words = entries(wkb.get());
  std::set<std::string> distinct;
  for (const Stored& w : words) distinct.insert(w.text);
  EXPECT_EQ(distinct.size(), words.size());
}

TEST(KbaseAddFile, ParallelAdditionsToDifferentKnowledgeBasesLeaveNoFiles) {
  veskortest::TempDir dir;
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  std::mt19937 random(11);
  std::vector<std::string> documents;
  for (int i = 0; i < 40; ++i) documents.push_back(randomDocument(random) + " Haus ist rot. Der Baum.");

  auto addAll = [&](knowledgeBase* akb, knowledgeBase* wkb) {
    for (std::size_t i = 0; i < documents.size(); ++i) {
      kbase_addFile(("D" + std::to_string(i)).c_str(), documents[i].c_str(), akb, wkb);
    }
  };
  orl::KnowledgeBasePtr expectedAKB = documentKB(), expectedWKB = wordKB();
  addAll(expectedAKB.get(), expectedWKB.get());

  std::vector<orl::KnowledgeBasePtr> akbs, wkbs;
  for (int t = 0; t < 4; ++t) {
    akbs.push_back(documentKB());
    wkbs.push_back(wordKB());
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) threads.emplace_back(addAll, akbs[t].get(), wkbs[t].get());
  for (std::thread& t : threads) t.join();

  bool leftNothing = std::filesystem::is_empty(dir.path());
  std::filesystem::current_path(previous);
  EXPECT_TRUE(leftNothing);
  for (int t = 0; t < 4; ++t) {
    EXPECT_EQ(entries(akbs[t].get()), entries(expectedAKB.get()));
    EXPECT_EQ(entries(wkbs[t].get()), entries(expectedWKB.get()));
  }
}

TEST(WordRegistration, AKnownWordKeepsItsStoredFeatures) {
  orl::KnowledgeBasePtr wkb = wordKB();
  unsigned char features[wordFeatures_size];
  std::memset(features, '2', sizeof features);
  EXPECT_EQ(registerWord(wkb.get(), "Haus", features), 1);

  ASSERT_EQ(computeWordFeatures("Haus", "Das Haus ", features), 1);
  EXPECT_EQ(registerWord(wkb.get(), "haus", features), 0);  // found through the WKB's upper-casing
  EXPECT_EQ(std::string(reinterpret_cast<char*>(features), sizeof features), plain);
  EXPECT_EQ(entries(wkb.get()), (std::vector<Stored>{{"     0", "_HAUS_", plain}}));

  // A document does not change the stored features either.
  orl::KnowledgeBasePtr akb = documentKB();
  kbase_addFile("D", "Das Haus.", akb.get(), wkb.get());
  EXPECT_EQ(entries(wkb.get()),
            (std::vector<Stored>{{"     0", "_HAUS_", plain}, {"     1", "_DAS_", plain}}));
}

TEST(WordRegistration, EntryWordsAreTakenAsNormalisedWithoutCleaning) {
  orl::KnowledgeBasePtr wkb = wordKB();
  registerEntryWords(wkb.get(), "Das ist zum Beispiel ein Test X1 ");
  EXPECT_EQ(entries(wkb.get()), (std::vector<Stored>{{"     0", "_DAS_", plain},
                                                     {"     1", "_IST_", plain},
                                                     {"     2", "_ZUM_", plain},
                                                     {"     3", "_BEISPIEL_", capitalised},
                                                     {"     4", "_EIN_", plain},
                                                     {"     5", "_TEST_", capitalised}}));
  // Document words pass through cleanWord and must occur in the sentence's entry text.
  orl::KnowledgeBasePtr akb = documentKB();
  orl::KnowledgeBasePtr words = wordKB();
  kbase_addFile("D", "Die Bau-Stelle.", akb.get(), words.get());
  EXPECT_EQ(entries(words.get()), (std::vector<Stored>{{"     0", "_DIE_", plain},
                                                       {"     1", "_BAUSTELLE_", capitalised},
                                                       {"     2", "_STELLE_", capitalised},
                                                       {"     3", "_BAU_", capitalised}}));
}
