// Adding documents and entry words to knowledge bases.
#include "veskorSearch/kbase_addfile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "orlBasics/orlException.h"
#include "support/raises.h"
#include "support/tempDir.h"
#include "veskorKernel/knowledgeBaseRecord.h"
#include "veskorSearch/wordFeatures.h"
#include "veskorSearch/wordRegistration.h"

namespace {

const std::string plain(82, '2');
const std::string capitalised =
    "P\x14"
    "2\x14\x14" +
    std::string(77, '2');

// Each valid entry as key, stored text and feature bytes ("-" when it has none).
using Stored = std::vector<std::string>;

Stored entries(const knowledgeBase* kb) {
  Stored result;
  for (int32_t i = 0; i <= entryList_getMaxIndex(kb->entryList); ++i) {
    if (!entryList_isValidEntry(kb->entryList, i)) continue;
    const entry* e = entryList_getEntry(kb->entryList, i);
    const char* features = reinterpret_cast<const char*>(e->syntacticFeatures);
    result.insert(result.end(), {e->primaryKey, e->text != nullptr ? e->text : "-",
                                 features != nullptr ? std::string(features, wordFeatures_size) : "-"});
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

using veskortest::raisedBy;

}  // namespace

TEST(KbaseAddFile, StoresSentencesAndRegistersEachWordOnce) {
  orl::KnowledgeBasePtr akb = documentKB(), wkb = wordKB();
  EXPECT_EQ(kbase_addFile("D1", "Das Haus ist rot. Der Baum ist gr\xFCn.", akb.get(), wkb.get()), 3);
  EXPECT_EQ(entries(akb.get()), (Stored{"D1?000000?000000?000017", "Das Haus ist rot", "-",  //
                                        "D1?000001?000017?000019", "Der Baum ist gr\xFCn", "-"}));
  EXPECT_EQ(entries(wkb.get()),
            (Stored{"     0", "_DAS_",  plain,    "     1",    "_HAUS_", capitalised, "     2",
                    "_IST_",  plain,    "     3", "_ROT_",     plain,    "     4",    "_DER_",
                    plain,    "     5", "_BAUM_", capitalised, "     6", "_GR\xDCN_", plain}));

  orl::KnowledgeBasePtr numbers = documentKB();
  EXPECT_EQ(kbase_addFile("K", "Eins. 123 456. Zwei.", numbers.get(), nullptr), 3);
  EXPECT_EQ(entries(numbers.get()),
            (Stored{"K?000000?000000?000005", "Eins", "-", "K?000001?000005?000015", "Zwei", "-"}));
  for (const char* wordless : {"", "   \n", "1. 2. 3!", "\x80\xFF. --"}) {
    orl::KnowledgeBasePtr kb = documentKB();
    EXPECT_EQ(kbase_addFile("E", wordless, kb.get(), nullptr), 1);
    EXPECT_TRUE(entries(kb.get()).empty());
  }
}

TEST(KbaseAddFile, FailuresRaiseAndKeepWhatWasStoredBefore) {
  orl::KnowledgeBasePtr tuples(knowledgeBase_create(1, 6, 2, 1));
  orl::Exception odd = raisedBy([&] { kbase_addFile("D", "Haus.", tuples.get(), nullptr); });
  EXPECT_EQ(odd.group() * 10 + odd.code(), 2002);
  EXPECT_EQ(
      odd.message().rfind(
          "invalid feature type of akb in kbase_addFile()\nin file \"veskorSearch/kbase_addfile.cpp\"", 0),
      0u);
  EXPECT_TRUE(entries(tuples.get()).empty());
  orl::Exception null = raisedBy([&] { kbase_addFile(nullptr, "Haus.", tuples.get(), nullptr); });
  EXPECT_EQ(null.group() * 10 + null.code(), 2001);

  // The second sentence's length takes seven digits, which pushes its key past the kernel's limit.
  std::string documentKey(1003, 'k');
  std::string document = "Eins. " + std::string(1000000, '7') + " Zwei.";
  orl::KnowledgeBasePtr akb = documentKB();
  orl::Exception tooLong =
      raisedBy([&] { kbase_addFile(documentKey.c_str(), document.c_str(), akb.get(), nullptr); });
  EXPECT_EQ(tooLong.group() * 100 + tooLong.code(), 2012);
  EXPECT_EQ(entries(akb.get()), (Stored{documentKey + "?000000?000000?000005", "Eins", "-"}));
}

// Documents of random bytes added from several threads to knowledge bases of their own: each
// gets what a lone addition gives, with contiguous spans, and no file appears anywhere.
TEST(KbaseAddFile, ParallelAdditionsOfRandomDocumentsAgreeAndLeaveNoFiles) {
  veskortest::TempDir dir;
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  std::mt19937 random(11);
  std::vector<std::string> documents;
  for (int i = 0; i < 40; ++i) {
    std::string d;
    for (std::size_t n = random() % 2000; n > 0; --n)
      d += static_cast<char>(random() % 4 ? "Ab1 .,-!"[random() % 8] : 1 + random() % 255);
    documents.push_back(d);
  }
  auto addAll = [&](knowledgeBase* akb, knowledgeBase* wkb) {
    for (std::size_t i = 0; i < documents.size(); ++i)
      kbase_addFile(std::to_string(i).c_str(), documents[i].c_str(), akb, wkb);
  };
  orl::KnowledgeBasePtr expectedAKB = documentKB(), expectedWKB = wordKB();
  addAll(expectedAKB.get(), expectedWKB.get());
  std::vector<orl::KnowledgeBasePtr> kbs;
  for (int t = 0; t < 8; ++t) kbs.push_back(t % 2 ? wordKB() : documentKB());
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; t += 2) threads.emplace_back(addAll, kbs[t].get(), kbs[t + 1].get());
  for (std::thread& t : threads) t.join();
  bool leftNothing = std::filesystem::is_empty(dir.path());
  std::filesystem::current_path(previous);
  EXPECT_TRUE(leftNothing);
  for (int t = 0; t < 8; t += 2) {
    EXPECT_EQ(entries(kbs[t].get()), entries(expectedAKB.get()));
    EXPECT_EQ(entries(kbs[t + 1].get()), entries(expectedWKB.get()));
  }

  Stored stored = entries(expectedAKB.get());
  ASSERT_GT(stored.size(), 3u * 200u);
  std::size_t end = 0;
  int document = 0;
  for (std::size_t i = 0; i < stored.size(); i += 3) {
    int number = 0, sentence = 0;
    unsigned long offset = 0, length = 0;
    ASSERT_EQ(std::sscanf(stored[i].c_str(), "%d?%d?%lu?%lu", &number, &sentence, &offset, &length), 4);
    if (number != document) end = 0, document = number;
    EXPECT_EQ(offset, end) << stored[i];
    EXPECT_LE(offset + length, documents[number].size()) << stored[i];
    end = offset + length;
  }
}

TEST(WordRegistration, KnownWordsKeepTheirFeaturesAndEntryWordsAreNotCleaned) {
  orl::KnowledgeBasePtr wkb = wordKB();
  unsigned char features[wordFeatures_size];
  std::memset(features, '2', sizeof features);
  EXPECT_EQ(registerWord(wkb.get(), "Haus", features), 1);
  ASSERT_EQ(computeWordFeatures("Haus", "Das Haus ", features), 1);
  EXPECT_EQ(registerWord(wkb.get(), "haus", features), 0);  // found through the WKB's upper-casing
  EXPECT_EQ(std::string(reinterpret_cast<char*>(features), sizeof features), plain);

  orl::KnowledgeBasePtr akb = documentKB();
  kbase_addFile("D", "Das Haus.", akb.get(), wkb.get());  // does not mark the stored Haus either
  registerEntryWords(wkb.get(), "Das ist ein Test X1 ");
  EXPECT_EQ(entries(wkb.get()),
            (Stored{"     0", "_HAUS_", plain, "     1", "_DAS_", plain, "     2", "_IST_", plain, "     3",
                    "_EIN_", plain, "     4", "_TEST_", capitalised}));

  // Document words pass through cleanWord and must occur in their sentence's entry text.
  orl::KnowledgeBasePtr words = wordKB();
  kbase_addFile("D", "Die Bau-Stelle.", akb.get(), words.get());
  EXPECT_EQ(entries(words.get()),
            (Stored{"     0", "_DIE_", plain, "     1", "_BAUSTELLE_", capitalised, "     2", "_STELLE_",
                    capitalised, "     3", "_BAU_", capitalised}));
}
