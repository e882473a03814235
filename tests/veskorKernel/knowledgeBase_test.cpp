#include "veskorKernel/knowledgeBase.h"

#include <gtest/gtest.h>

#include <map>
#include <span>
#include <string>
#include <thread>

#include "kernelTestUtil.h"

namespace {

using kerneltest::find;
using kerneltest::findByText;
using kerneltest::Hit;

TEST(KnowledgeBase, CreateChecksTheSettingsInOrder) {
  orl::KnowledgeBasePtr wkb(knowledgeBase_create(1, 6, 11, 1));
  EXPECT_EQ(wkb->modificationFlags, knowledgeBase_changed);
  EXPECT_EQ(wkb->fileName, nullptr);
  EXPECT_EQ(wkb->entryList->numberSyntacticFeatures, 82);
  orl::KnowledgeBasePtr other(knowledgeBase_create(0, 3, 2, 2));
  EXPECT_RAISES(knowledgeBase_create(3, 9, 0, 0), 20, 2, "Ung\xFCltige Sprache in knowledgeBase_create");
  EXPECT_RAISES(knowledgeBase_create(0, 8, 0, 0), 20, 3, "Ung\xFCltige Codierung in knowledgeBase_create");
  EXPECT_RAISES(knowledgeBase_create(0, 0, 16, 0), 20, 4,
                "Ung\xFCltige Eintragsinformatione in knowledgeBase_create");
  EXPECT_RAISES(knowledgeBase_create(0, 0, 1, 3), 20, 5, "Ung\xFCltiger Merkmalstyp knowledgeBase_create");
  EXPECT_RAISES(knowledgeBase_create(0, 2, 2, 2), 20, 6,
                "Codierung und Sprache sind inkomaptibel in knowledgeBase_create");
  EXPECT_RAISES(knowledgeBase_create(2, 1, 2, 2), 20, 6,
                "Codierung und Sprache sind inkomaptibel in knowledgeBase_create");
}

TEST(KnowledgeBase, AddChecksEntryInformationAndLengths) {
  orl::KnowledgeBasePtr kb(knowledgeBase_create(1, 6, 15, 1));
  std::vector<unsigned char> block = kerneltest::block(1);
  const char* invalid =
      "Ung\xFCltige Eintragsinformationen \xFC"
      "bergeben in knowledgeBase_addEntry";
  EXPECT_RAISES(knowledgeBase_addEntry(kb.get(), nullptr, "x", block.data(), 0.5), 20, 1, invalid);
  EXPECT_RAISES(knowledgeBase_addEntry(kb.get(), "k", "x", nullptr, 0.5), 20, 1, invalid);
  EXPECT_RAISES(knowledgeBase_addEntry(kb.get(), "k", "x", block.data(), 1.5), 20, 1, invalid);
  EXPECT_RAISES(knowledgeBase_addEntry(kb.get(), "k", "x", block.data(), -0.1), 20, 1, invalid);
  EXPECT_RAISES(knowledgeBase_addEntry(kb.get(), "k", nullptr, block.data(), 0.5), 20, 1,
                "pThis == NULL || pText == NULL in knowledgeBase_addEntry");

  std::string key(1024, 'k');
  std::string text(8192, 't');
  knowledgeBase_addEntry(kb.get(), key.c_str(), text.c_str(), block.data(), 1.0);
  EXPECT_RAISES(knowledgeBase_addEntry(kb.get(), (key + "k").c_str(), "x", block.data(), 0.0), 20, 12,
                "Ung\xFCltige L\xE4nge des Prim\xE4rschl\xFCssels in knowledgeBase_addEntry");
  EXPECT_RAISES(knowledgeBase_addEntry(kb.get(), "k", (text + "t").c_str(), block.data(), 0.0), 20, 11,
                "Ung\xFCltige L\xE4nge des Eintragstexts in knowledgeBase_addEntry");
  EXPECT_RAISES(knowledgeBase_addEntry(kb.get(), "k", "   ", block.data(), 0.0), 20, 11,
                "Ung\xFCltiger Eintragstext in knowledgeBase_preprocessText pText=\"   \"");
  EXPECT_EQ(entryList_getMaxIndex(kb->entryList), 0);

  orl::KnowledgeBasePtr loose(knowledgeBase_create(0, 0, 1, 1));
  knowledgeBase_addEntry(loose.get(), nullptr, "x y", nullptr, 7.0);  // nothing required but the text
  EXPECT_EQ(entryList_getEntry(loose->entryList, 0)->value, 7.0);
}

TEST(KnowledgeBase, WordKnowledgeBaseFindsByWordsAndByText) {
  orl::KnowledgeBasePtr kb(knowledgeBase_create(1, 6, 3, 2));
  knowledgeBase_addEntry(kb.get(), "key", "Haus", nullptr, 0.0);
  EXPECT_STREQ(entryList_getEntry(kb->entryList, 0)->text, "HAUS");
  EXPECT_EQ(findByText(kb.get(), "haus", 1), (std::vector<Hit>{{"key", 1.0}}));
  EXPECT_EQ(find(kb.get(), "rotes Haus", 10), (std::vector<Hit>{{"key", 0.5}}));
  EXPECT_EQ(find(kb.get(), "Maus", 10), (std::vector<Hit>{}));
  EXPECT_EQ(findByText(kb.get(), "rotes haus", 1), (std::vector<Hit>{}));

  knowledgeBaseResultList exact = knowledgeBase_findByText(kb.get(), "HAUS", 1);
  ASSERT_EQ(exact.size(), 1u);
  EXPECT_STREQ(exact[0].text.get(), "HAUS");
  EXPECT_EQ(exact[0].numberFeaturesOfSeekString, 0);
  EXPECT_TRUE(exact[0].syntacticFeatures.empty());

  orl::KnowledgeBasePtr noTexts(knowledgeBase_create(1, 6, 2, 2));
  knowledgeBase_addEntry(noTexts.get(), "key", "Haus", nullptr, 0.0);
  EXPECT_EQ(findByText(noTexts.get(), "haus", 1), (std::vector<Hit>{}));
  EXPECT_EQ(find(noTexts.get(), "haus", 1), (std::vector<Hit>{{"key", 1.0}}));
}

TEST(KnowledgeBase, FindChecksItsArguments) {
  orl::KnowledgeBasePtr kb(knowledgeBase_create(1, 6, 3, 1));
  for (int32_t n : {0, 10001}) {
    EXPECT_RAISES(knowledgeBase_find(kb.get(), "x", n), 20, 13,
                  "Ung\xFCltige Trefferzahl in knowledgeBase_find");
    EXPECT_RAISES(knowledgeBase_findByText(kb.get(), "x", n), 20, 13,
                  "Ung\xFCltige Trefferzahl in knowledgeBase_find");
  }
  EXPECT_RAISES(knowledgeBase_find(kb.get(), nullptr, 1), 20, 1,
                "pThis == NULL || pSeekString == NULL in knowledgeBase_find");
  EXPECT_RAISES(knowledgeBase_findByText(nullptr, "x", 1), 20, 1,
                "pThis == NULL || pSeekString == NULL in knowledgeBase_find");
  EXPECT_RAISES(knowledgeBase_find(kb.get(), " ", 1), 20, 11,
                "Ung\xFCltiger Eintragstext in knowledgeBase_preprocessText pText=\" \"");
  EXPECT_EQ(find(kb.get(), "x", 10000), (std::vector<Hit>{}));   // empty knowledge base
  orl::KnowledgeBasePtr bare(knowledgeBase_create(0, 0, 3, 1));  // no framing: one letter has no tuple
  EXPECT_RAISES(knowledgeBase_find(bare.get(), "x", 1), 19, 4,
                "Leerer Suchstring in featureSpace_findEntries");
}

TEST(KnowledgeBase, MisspeltWordsFindTheirEntryFirst) {
  orl::KnowledgeBasePtr kb(knowledgeBase_create(1, 6, 11, 1));
  std::vector<unsigned char> block = kerneltest::block(9);
  for (const char* word : {"Haus", "Maus",
                           "Stra\xDF"
                           "e",
                           "Schule", "Bahnhof", "Rathaus", "Hausmeister"}) {
    knowledgeBase_addEntry(kb.get(), word, word, block.data(), 0.0);
  }
  EXPECT_EQ(find(kb.get(), "Bahnhoff", 1).at(0).key, "Bahnhof");
  EXPECT_EQ(find(kb.get(), "Schuhle", 1).at(0).key, "Schule");
  EXPECT_EQ(find(kb.get(), "haus", 1), (std::vector<Hit>{{"Haus", 1.0}}));
  std::vector<Hit> haus = find(kb.get(), "Haus", 3);
  EXPECT_EQ(haus[1].key, "Rathaus");  // all 12 tuples but '_H', '_HA', '_HAU': 9 of 12
  EXPECT_DOUBLE_EQ(haus[1].confidence, 0.75);
  EXPECT_EQ(haus[2].key, "Hausmeister");  // 9 of 12 as well: the lower index comes first
  EXPECT_DOUBLE_EQ(haus[2].confidence, 0.75);
  knowledgeBaseResultList full = knowledgeBase_find(kb.get(), "Haus", 1);
  ASSERT_EQ(full.size(), 1u);
  EXPECT_EQ(full[0].numberFeaturesOfSeekString, 12);
  EXPECT_EQ(full[0].syntacticFeatures, block);
  EXPECT_STREQ(full[0].text.get(), "_HAUS_");
}

TEST(KnowledgeBase, DeletingByKeyPrefixRemovesAllSentencesOfADocument) {
  orl::KnowledgeBasePtr kb(knowledgeBase_create(1, 6, 3, 2));
  knowledgeBase_addEntry(kb.get(), "doc1?000000?000000?000010", "Das rote Haus", nullptr, 0.0);
  knowledgeBase_addEntry(kb.get(), "doc2?000000?000000?000010", "Das blaue Haus", nullptr, 0.0);
  knowledgeBase_addEntry(kb.get(), "doc1?000001?000011?000010", "Ein rotes Auto", nullptr, 0.0);
  knowledgeBase_deleteEntry(kb.get(), "nothing", 1);
  EXPECT_EQ(kb->modificationFlags, knowledgeBase_changed);
  knowledgeBase_deleteEntry(kb.get(), "doc1?", 1);
  EXPECT_EQ(kb->modificationFlags, knowledgeBase_changed | knowledgeBase_defragmentationDue);
  EXPECT_EQ(find(kb.get(), "rote Haus Auto", 10), (std::vector<Hit>{{"doc2?000000?000000?000010", 1.0 / 3}}));
  EXPECT_EQ(findByText(kb.get(), "ein rotes auto", 1), (std::vector<Hit>{}));

  knowledgeBase_defragment(kb.get());
  EXPECT_EQ(kb->modificationFlags, knowledgeBase_changed);
  EXPECT_EQ(entryList_getMaxIndex(kb->entryList), 0);
  EXPECT_EQ(find(kb.get(), "blaue", 10), (std::vector<Hit>{{"doc2?000000?000000?000010", 1.0}}));
  knowledgeBase_addEntry(kb.get(), "doc3", "blaue Blume", nullptr, 0.0);
  EXPECT_EQ(find(kb.get(), "blaue Blume", 10),
            (std::vector<Hit>{{"doc3", 1.0}, {"doc2?000000?000000?000010", 0.5}}));
  EXPECT_RAISES(knowledgeBase_deleteEntry(kb.get(), nullptr, 1), 20, 1,
                "pThis == NULL || pPrimaryKey == NULL in knowledgeBase_deleteEntry");
  EXPECT_RAISES(knowledgeBase_defragment(nullptr), 20, 1, "pThis == NULL in knowledgeBase_defragment");
}

TEST(KnowledgeBase, FailedAddLeavesNoEntryBehind) {
  orl::KnowledgeBasePtr kb(knowledgeBase_create(1, 6, 3, 1));
  knowledgeBase_addEntry(kb.get(), "first", "Haus", nullptr, 0.0);
  kb->modificationFlags = 0;
  // Make the feature space refuse the next point after the entry list has taken it.
  kb->featureSpace->highestIndex = 5;
  EXPECT_RAISES(knowledgeBase_addEntry(kb.get(), "second", "Haus", nullptr, 0.0), 19, 1,
                "pIndexEntry <= pThis->highestIndex in featureSpace_addEntry");
  EXPECT_EQ(find(kb.get(), "Haus", 10), (std::vector<Hit>{{"first", 1.0}}));
  EXPECT_EQ(findByText(kb.get(), "haus", 10), (std::vector<Hit>{{"first", 1.0}}));
  EXPECT_TRUE(entryList_findEntryByKey(kb->entryList, "second", 2).empty());
  EXPECT_EQ(kb->modificationFlags, knowledgeBase_defragmentationDue);
  kb->featureSpace->highestIndex = 1;
  knowledgeBase_addEntry(kb.get(), "third", "Haus", nullptr, 0.0);
  knowledgeBase_defragment(kb.get());
  EXPECT_EQ(find(kb.get(), "Haus", 10), (std::vector<Hit>{{"first", 1.0}, {"third", 1.0}}));
}

// Rolling back to a mark takes out every entry added since, a failed one included, with its
// features, its text and the deletion marks of its index; what was there before is untouched.
TEST(KnowledgeBase, RollBackTakesOutWhatWasAddedSinceTheMark) {
  orl::KnowledgeBasePtr kb(knowledgeBase_create(1, 6, 3, 1));
  knowledgeBase_addEntry(kb.get(), "a", "Rotes Haus", nullptr, 0.0);
  knowledgeBase_addEntry(kb.get(), "b", "Blaues Haus", nullptr, 0.0);
  knowledgeBase_deleteEntry(kb.get(), "b", 2);  // deletion marks exist from here on
  kb->modificationFlags = knowledgeBase_defragmentationDue;
  EXPECT_EQ(findByText(kb.get(), "rotes haus", 5), (std::vector<Hit>{{"a", 1.0}}));  // text index built
  const std::vector<Hit> rotesBoot = find(kb.get(), "Rotes Boot", 10);
  const std::vector<Hit> hausBoot = find(kb.get(), "Haus Boot", 10);
  ASSERT_EQ(rotesBoot.size(), 1u);
  knowledgeBaseMark mark = knowledgeBase_mark(kb.get());

  knowledgeBase_addEntry(kb.get(), "c", "Gelbes Boot", nullptr, 0.0);
  knowledgeBase_addEntry(kb.get(), "d", "Rotes Boot", nullptr, 0.0);
  kb->featureSpace->highestIndex = 10;  // the next add fails after the entry list took it
  EXPECT_RAISES(knowledgeBase_addEntry(kb.get(), "e", "Haus", nullptr, 0.0), 19, 1,
                "pIndexEntry <= pThis->highestIndex in featureSpace_addEntry");
  const uint64_t numbering = knowledgeBase_getIndexGeneration(kb.get());
  knowledgeBase_rollBack(kb.get(), mark);
  // The indices taken back change hands: what a search derived per index must not survive.
  EXPECT_NE(knowledgeBase_getIndexGeneration(kb.get()), numbering);

  EXPECT_EQ(entryList_getMaxIndex(kb->entryList), 1);
  EXPECT_EQ(kb->featureSpace->highestIndex, mark.highestPoint);
  EXPECT_EQ(kb->modificationFlags, knowledgeBase_defragmentationDue);
  EXPECT_EQ(featureSpace_findFeature(kb->featureSpace, "BOOT"),
            nullptr);  // only the rolled-back entries had it
  EXPECT_EQ(find(kb.get(), "Rotes Boot", 10), rotesBoot);
  EXPECT_EQ(findByText(kb.get(), "rotes boot", 5), (std::vector<Hit>{}));

  // The indices are used again, as if never taken: a new entry there can be found and deleted.
  knowledgeBase_addEntry(kb.get(), "f", "Rotes Boot", nullptr, 0.0);
  EXPECT_EQ(find(kb.get(), "Rotes Boot", 1), (std::vector<Hit>{{"f", 1.0}}));
  EXPECT_EQ(findByText(kb.get(), "rotes boot", 5), (std::vector<Hit>{{"f", 1.0}}));
  knowledgeBase_deleteEntry(kb.get(), "f", 2);
  knowledgeBase_defragment(kb.get());
  EXPECT_EQ(find(kb.get(), "Haus Boot", 10), hausBoot);
  knowledgeBase_rollBack(nullptr, mark);  // ignored
}

// The hits of knowledgeBase_findEach, with their keys checked to be the stored ones (not copies).
std::vector<Hit> findEach(const knowledgeBase* kb, const char* seek, int32_t n) {
  std::vector<Hit> out;
  int calls = 0;
  knowledgeBase_findEach(kb, seek, n, [&](std::span<const knowledgeBaseHit> hits) {
    ++calls;
    for (const knowledgeBaseHit& hit : hits) {
      const entry* stored = entryList_getEntry(kb->entryList, hit.index);
      EXPECT_EQ(hit.primaryKey, stored->primaryKey);
      out.push_back({hit.primaryKey != nullptr ? hit.primaryKey : "<null>", hit.confidence});
    }
  });
  EXPECT_EQ(calls, 1);
  return out;
}

TEST(KnowledgeBase, FindEachHandsOnWhatFindCopies) {
  orl::KnowledgeBasePtr kb(knowledgeBase_create(1, 6, 1, 1));
  for (const char* word : {"Haus", "Maus", "Rathaus", "Hausmeister", "Laus", "Baum"}) {
    knowledgeBase_addEntry(kb.get(), word, word, nullptr, 0.0);
  }
  knowledgeBase_addEntry(kb.get(), nullptr, "Hauser", nullptr, 0.0);  // an entry without key
  knowledgeBase_deleteEntry(kb.get(), "Laus", 2);
  for (const char* seek : {"Haus", "haus", "Maus", "Baum", "xyz", "Hauser"}) {
    for (int32_t n : {1, 3, 10}) EXPECT_EQ(findEach(kb.get(), seek, n), find(kb.get(), seek, n)) << seek << n;
  }
  EXPECT_EQ(findEach(kb.get(), "xyz", 10), (std::vector<Hit>{}));  // called with no hits as well
  EXPECT_EQ(findEach(kb.get(), "Hauser", 1), (std::vector<Hit>{{"<null>", 1.0}}));

  // A callback may search again: each search has scratch of its own.
  std::vector<Hit> outer, inner;
  knowledgeBase_findEach(kb.get(), "Haus", 10, [&](std::span<const knowledgeBaseHit> hits) {
    inner = findEach(kb.get(), "Baum", 10);
    for (const knowledgeBaseHit& hit : hits)
      outer.push_back({hit.primaryKey ? hit.primaryKey : "<null>", hit.confidence});
  });
  EXPECT_EQ(outer, find(kb.get(), "Haus", 10));
  EXPECT_EQ(inner, find(kb.get(), "Baum", 10));

  // The same checks as knowledgeBase_find, and the callback never runs for a refused search.
  bool called = false;
  auto mark = [&](std::span<const knowledgeBaseHit>) { called = true; };
  EXPECT_RAISES(knowledgeBase_findEach(kb.get(), "x", 0, mark), 20, 13,
                "Ung\xFCltige Trefferzahl in knowledgeBase_find");
  EXPECT_RAISES(knowledgeBase_findEach(nullptr, "x", 1, mark), 20, 1,
                "pThis == NULL || pSeekString == NULL in knowledgeBase_find");
  EXPECT_RAISES(knowledgeBase_findEach(kb.get(), " ", 1, mark), 20, 11,
                "Ung\xFCltiger Eintragstext in knowledgeBase_preprocessText pText=\" \"");
  EXPECT_FALSE(called);
}

TEST(KnowledgeBase, DocumentFrequencySettingsAndEntryCount) {
  orl::KnowledgeBasePtr kb(knowledgeBase_create(1, 2, 2, 2));
  knowledgeBase_addEntry(kb.get(), "d?1", "Das rote Haus", nullptr, 0.0);
  knowledgeBase_addEntry(kb.get(), "d?2", "Ein Haus am See", nullptr, 0.0);
  knowledgeBase_addEntry(kb.get(), "e?1", "Das Haus", nullptr, 0.0);
  EXPECT_EQ(knowledgeBase_getIndexCount(kb.get()), 3);
  EXPECT_EQ(knowledgeBase_getDocumentFrequency(kb.get(), "HAUS"), 3);
  EXPECT_EQ(knowledgeBase_getDocumentFrequency(kb.get(), "DAS"), 2);
  EXPECT_EQ(knowledgeBase_getDocumentFrequency(kb.get(), "Haus"), -1);  // stored upper-cased
  EXPECT_EQ(knowledgeBase_getDocumentFrequency(kb.get(), "BURG"), -1);
  // Deleted entries count until the defragmentation renumbers the sets.
  knowledgeBase_deleteEntry(kb.get(), "d?", 1);
  EXPECT_EQ(knowledgeBase_getIndexCount(kb.get()), 3);
  EXPECT_EQ(knowledgeBase_getNumberEntries(kb.get()), 1);
  EXPECT_EQ(knowledgeBase_getDocumentFrequency(kb.get(), "HAUS"), 3);
  knowledgeBase_defragment(kb.get());
  EXPECT_EQ(knowledgeBase_getIndexCount(kb.get()), 1);
  EXPECT_EQ(knowledgeBase_getNumberEntries(kb.get()), 1);
  EXPECT_EQ(knowledgeBase_getDocumentFrequency(kb.get(), "HAUS"), 1);
  EXPECT_EQ(knowledgeBase_getDocumentFrequency(kb.get(), "ROTE"), -1);
  EXPECT_RAISES(knowledgeBase_getDocumentFrequency(nullptr, "x"), 20, 1,
                "pThis == NULL in knowledgeBase_getDocumentFrequency");
  // Every feature once, with the entries that have it: what the document frequency counts.
  knowledgeBase_addEntry(kb.get(), "f?1", "Haus Haus Burg", nullptr, 0.0);
  knowledgeBase_deleteEntry(kb.get(), "e?1", 2);
  std::map<std::string, std::vector<int32_t>> features;
  knowledgeBase_forEachFeature(kb.get(), [&](const char* feature, std::span<const int32_t> entries) {
    EXPECT_TRUE(features.emplace(feature, std::vector<int32_t>(entries.begin(), entries.end())).second)
        << feature;
  });
  EXPECT_EQ(features,
            (std::map<std::string, std::vector<int32_t>>{{"BURG", {1}}, {"DAS", {0}}, {"HAUS", {0, 1}}}));
  EXPECT_FALSE(knowledgeBase_isValidEntry(kb.get(), 0));  // deleted, still in the sets
  EXPECT_TRUE(knowledgeBase_isValidEntry(kb.get(), 1));
  EXPECT_FALSE(knowledgeBase_isValidEntry(kb.get(), 2));

  knowledgeBaseSettings documents = knowledgeBase_getSettings(kb.get());
  EXPECT_EQ(documents.language, 1);
  EXPECT_EQ(documents.encoding, 2);
  EXPECT_TRUE(documents.holdsSentences());
  EXPECT_TRUE(documents.upperCases());
  EXPECT_FALSE(documents.frames());
  orl::KnowledgeBasePtr words(knowledgeBase_create(1, 6, 11, 1));
  knowledgeBaseSettings wordSettings = knowledgeBase_getSettings(words.get());
  EXPECT_FALSE(wordSettings.holdsSentences());
  EXPECT_TRUE(wordSettings.frames());
  EXPECT_TRUE(wordSettings.has(kbEntryInformation::featureBlockRequired));
  EXPECT_FALSE(wordSettings.has(kbEntryInformation::valueInUnitRange));
  EXPECT_FALSE(wordSettings.has(kbEncoding::phonemeCodes));
  // A file's settings are taken as stored: feature type 3 counts as single entries, framing of
  // words and upper-casing of other languages do not apply.
  EXPECT_FALSE((knowledgeBaseSettings{1, 4, 2, 3}).holdsSentences());
  EXPECT_FALSE((knowledgeBaseSettings{1, 4, 2, 2}).frames());
  EXPECT_FALSE((knowledgeBaseSettings{2, 2, 2, 1}).upperCases());
}

// What a search layer keeps about a knowledge base is valid while the stamp stays: every change
// gives a new one, and no two knowledge bases share one.
TEST(KnowledgeBase, GenerationChangesWithTheContentAndKeysByIndex) {
  orl::KnowledgeBasePtr kb(knowledgeBase_create(1, 2, 2, 2));
  orl::KnowledgeBasePtr other(knowledgeBase_create(1, 2, 2, 2));
  uint64_t made = knowledgeBase_getGeneration(kb.get());
  EXPECT_NE(made, knowledgeBase_getGeneration(other.get()));
  knowledgeBase_addEntry(kb.get(), "d?1?0?3", "Das rote Haus", nullptr, 0.0);
  uint64_t added = knowledgeBase_getGeneration(kb.get());
  EXPECT_NE(added, made);
  knowledgeBase_find(kb.get(), "Haus", 5);
  EXPECT_EQ(knowledgeBase_getGeneration(kb.get()), added);  // a search changes nothing
  knowledgeBase_addEntry(kb.get(), "e?1?0?3", "Ein Haus", nullptr, 0.0);
  EXPECT_STREQ(knowledgeBase_getPrimaryKey(kb.get(), 1), "e?1?0?3");
  uint64_t before = knowledgeBase_getGeneration(kb.get());
  knowledgeBase_deleteEntry(kb.get(), "nothing", 2);
  EXPECT_EQ(knowledgeBase_getGeneration(kb.get()), before);  // nothing deleted, nothing changed
  knowledgeBase_deleteEntry(kb.get(), "d?", 1);
  uint64_t deleted = knowledgeBase_getGeneration(kb.get());
  EXPECT_NE(deleted, before);
  EXPECT_EQ(knowledgeBase_getPrimaryKey(kb.get(), 0), nullptr);  // deleted
  EXPECT_EQ(knowledgeBase_getPrimaryKey(kb.get(), 2), nullptr);  // beyond the last entry
  EXPECT_EQ(knowledgeBase_getPrimaryKey(kb.get(), -1), nullptr);
  uint64_t numbering = knowledgeBase_getIndexGeneration(kb.get());
  EXPECT_EQ(numbering, made);  // adding and deleting keep every index where it was
  EXPECT_NE(numbering, knowledgeBase_getIndexGeneration(other.get()));
  knowledgeBase_defragment(kb.get());
  EXPECT_NE(knowledgeBase_getGeneration(kb.get()), deleted);  // the indices moved
  EXPECT_NE(knowledgeBase_getIndexGeneration(kb.get()), numbering);
  EXPECT_STREQ(knowledgeBase_getPrimaryKey(kb.get(), 0), "e?1?0?3");
  EXPECT_RAISES(knowledgeBase_getGeneration(nullptr), 20, 1, "pThis == NULL in knowledgeBase_getGeneration");
  EXPECT_RAISES(knowledgeBase_getPrimaryKey(nullptr, 0), 20, 1, "pThis == NULL in knowledgeBase_getPrimaryKey");
  EXPECT_RAISES(knowledgeBase_getIndexGeneration(nullptr), 20, 1,
                "pThis == NULL in knowledgeBase_getIndexGeneration");
}

TEST(KnowledgeBaseConcurrency, ReadersSearchingAtOnceGetWhatOneReaderGets) {
  orl::KnowledgeBasePtr kb(knowledgeBase_create(1, 6, 3, 1));
  std::vector<std::string> words;
  for (int i = 0; i < 3000; ++i) {
    words.push_back("Wort" + std::to_string(i * 7919 % 10007) + (i % 3 == 0 ? "haus" : "berg"));
    knowledgeBase_addEntry(kb.get(), words.back().c_str(), words.back().c_str(), nullptr, 0.0);
  }
  knowledgeBase_deleteEntry(kb.get(), "Wort1", 1);
  std::vector<std::vector<Hit>> expected;
  for (int i = 0; i < 100; ++i) expected.push_back(find(kb.get(), (words[i * 29] + "x").c_str(), 1 + i % 40));
  std::vector<int> wrong(4, 0);
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&, t] {
      for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 100; ++i) {
          if (find(kb.get(), (words[i * 29] + "x").c_str(), 1 + i % 40) != expected[i]) ++wrong[t];
          if (findByText(kb.get(), words[(i * 31 + t) % 3000].c_str(), 1).size() > 1) ++wrong[t];
        }
      }
    });
  }
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
