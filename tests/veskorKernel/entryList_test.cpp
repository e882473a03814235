#include "veskorKernel/entryList.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "kernelTestUtil.h"
#include "support/tempDir.h"

namespace {

int32_t append(entryList* list, const char* key, const char* text, double value = 0.0,
               const unsigned char* block = nullptr) {
  entry e{const_cast<char*>(key), const_cast<char*>(text), value, const_cast<unsigned char*>(block)};
  return entryList_appendEntry(list, &e);
}

std::vector<int32_t> byKey(const entryList* list, const char* pattern, int32_t mode) {
  return entryList_findEntryByKey(list, pattern, mode);
}

std::vector<int32_t> byText(const entryList* list, const char* text) {
  return entryList_findEntryByText(list, text);
}

TEST(EntryList, AppendDeleteAndValidity) {
  orl::EntryListPtr list(entryList_create(3));
  EXPECT_EQ(entryList_getMaxIndex(list.get()), -1);
  const unsigned char block[3] = {1, 2, 3};
  EXPECT_EQ(append(list.get(), "k", "t", 0.5, block), 0);
  const entry* stored = entryList_getEntry(list.get(), 0);
  EXPECT_STREQ(stored->primaryKey, "k");
  EXPECT_EQ(stored->value, 0.5);
  EXPECT_EQ(std::memcmp(stored->syntacticFeatures, block, 3), 0);
  EXPECT_NE(static_cast<const void*>(stored->syntacticFeatures), static_cast<const void*>(block));

  entryList_deleteEntry(list.get(), 0);
  EXPECT_EQ(entryList_getMaxIndex(list.get()), 0);
  EXPECT_FALSE(entryList_isValidEntry(list.get(), 0));
  entryList_deleteEntry(list.get(), 0);   // already deleted: nothing happens
  entryList_deleteEntry(list.get(), 42);  // no such index: nothing happens
  EXPECT_FALSE(entryList_isValidEntry(list.get(), -1));
  EXPECT_FALSE(entryList_isValidEntry(list.get(), 1));
  EXPECT_EQ(append(list.get(), nullptr, "only text"), 1);
  EXPECT_TRUE(entryList_isValidEntry(list.get(), 1));

  EXPECT_RAISES(entryList_getEntry(list.get(), 2), 17, 2, "Index 2 ung\xFCltig in entryList_getEntry");
  EXPECT_RAISES(entryList_getEntry(list.get(), -1), 17, 2, "Index -1 ung\xFCltig in entryList_getEntry");
  EXPECT_RAISES(entryList_create(-1), 17, 1, "pNumberSyntacticFeatures < 0 in entryList_create");
  EXPECT_RAISES(entryList_appendEntry(list.get(), nullptr), 17, 1,
                "pThis == NULL || pEntry == NULL in entryList_appendEntry()");
  EXPECT_RAISES(entryList_getMaxIndex(nullptr), 17, 1, "pThis == NULL in entryList_getMaxIndex");
}

TEST(EntryList, LookUpByKeyInEveryMode) {
  orl::EntryListPtr list(entryList_create(0));
  for (const char* key : {"abc", "ab", "xab", "abab", "b"}) append(list.get(), key, "t");
  append(list.get(), nullptr, "t");
  EXPECT_EQ(byKey(list.get(), "ab", entryList_matchPrefix), (std::vector<int32_t>{0, 1, 3}));
  EXPECT_EQ(byKey(list.get(), "ab", entryList_matchSuffix), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(byKey(list.get(), "ab", 7), (std::vector<int32_t>{1}));
  entryList_deleteEntry(list.get(), 1);
  EXPECT_EQ(byKey(list.get(), "ab", 2), (std::vector<int32_t>{}));
  EXPECT_EQ(strsuf("abab", "ab"), 1);
  EXPECT_EQ(strsuf("ab", "zz"), 1);
  EXPECT_EQ(strpre("ab", "abc"), 1);
  EXPECT_RAISES(strpre(nullptr, "x"), 17, 1, "pString == NULL || pPrefix == NULL in strpre");
}

TEST(EntryList, LookUpByTextFollowsAppendsAndDeletions) {
  orl::EntryListPtr list(entryList_create(0));
  append(list.get(), "a", "HAUS");
  append(list.get(), "b", "MAUS");
  EXPECT_EQ(byText(list.get(), "HAUS"), (std::vector<int32_t>{0}));  // builds the index
  append(list.get(), "c", "HAUS");                                   // goes into the built index
  EXPECT_EQ(byText(list.get(), "HAUS"), (std::vector<int32_t>{0, 2}));
  entryList_deleteEntry(list.get(), 0);  // the entry that created the group
  EXPECT_EQ(byText(list.get(), "HAUS"), (std::vector<int32_t>{2}));
  entryList_deleteEntry(list.get(), 2);
  EXPECT_EQ(byText(list.get(), "HAUS"), (std::vector<int32_t>{}));
  EXPECT_EQ(byText(list.get(), "unknown"), (std::vector<int32_t>{}));
  // The index keeps the groups of deleted entries; they are filtered on the way out.
  EXPECT_EQ(list->entryTextHash.load()->groups.at("HAUS"), (std::vector<int32_t>{0, 2}));
  EXPECT_EQ(list->entryTextHash.load()->groups.at("MAUS"), (std::vector<int32_t>{1}));
}

TEST(EntryListConcurrency, FirstLookUpByTextIsSafeFromManyReaders) {
  orl::EntryListPtr list(entryList_create(0));
  for (int i = 0; i < 20000; ++i) append(list.get(), "k", ("T" + std::to_string(i % 5000)).c_str());
  std::vector<std::thread> readers;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        std::vector<int32_t> found = byText(list.get(), ("T" + std::to_string((i * 7 + t) % 5000)).c_str());
        if (found.size() != 4) ++wrong[t];
      }
    });
  }
  for (std::thread& r : readers) r.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST(EntryList, DefragmentClosesHolesAndReturnsTheMapping) {
  orl::EntryListPtr list(entryList_create(0));
  append(list.get(), "a", "A");
  append(list.get(), "b", "B");
  append(list.get(), "c", "C");
  entryList_deleteEntry(list.get(), 1);
  EXPECT_EQ(entryList_defragment(list.get()), (std::vector<int32_t>{0, -1, 1}));
  EXPECT_EQ(entryList_getMaxIndex(list.get()), 1);
  EXPECT_STREQ(entryList_getEntry(list.get(), 1)->primaryKey, "c");
  EXPECT_EQ(append(list.get(), "d", "D"), 2);
  EXPECT_EQ(byText(list.get(), "C"), (std::vector<int32_t>{1}));

  // Many entries, most of them deleted.
  orl::EntryListPtr big(entryList_create(0));
  for (int i = 0; i < 70000; ++i) append(big.get(), std::to_string(i).c_str(), nullptr);
  for (int i = 0; i < 70000; i += 2) entryList_deleteEntry(big.get(), i);
  std::vector<int32_t> bigMapping = entryList_defragment(big.get());
  EXPECT_EQ(entryList_getMaxIndex(big.get()), 34999);
  EXPECT_EQ(bigMapping.at(69999), 34999);
  EXPECT_STREQ(entryList_getEntry(big.get(), 34999)->primaryKey, "69999");
  EXPECT_EQ(append(big.get(), "new", nullptr), 35000);
  for (int i = 0; i < 35001; ++i) entryList_deleteEntry(big.get(), i);
  entryList_defragment(big.get());
  EXPECT_EQ(entryList_getMaxIndex(big.get()), -1);
  EXPECT_EQ(append(big.get(), "again", nullptr), 0);
}

TEST(EntryList, SavesAndLoadsEveryField) {
  veskortest::TempDir dir;
  std::string file = dir.file("list");
  const unsigned char block[2] = {7, 0};
  {
    orl::EntryListPtr list(entryList_create(2));
    append(list.get(), "k", "text", 0.25, block);
    append(list.get(), "gone", "x");
    entryList_deleteEntry(list.get(), 1);
    append(list.get(), nullptr, "keyless");
    orl::StreamPtr out(stream_createFileOutputStream(file.c_str()));
    entryList_save(list.get(), out.get());
  }
  std::string bytes = veskortest::readFileBytes(file);
  std::string expected("ELST\1\0\0\0\2\0\0\0\3\0\0\0", 16);
  expected += std::string("\1\0\0\0k\4\0\0\0text\2\0\0\0\7\0", 19) + std::string("\0\0\0\0\0\0\xD0\x3F", 8);
  expected += std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\0\0\0\0", 12) + std::string(8, '\0');
  expected += std::string("\xFF\xFF\xFF\xFF\7\0\0\0keyless\0\0\0\0", 19) + std::string(8, '\0');
  EXPECT_EQ(bytes, expected);

  orl::StreamPtr in(stream_createFileInputStream(file.c_str()));
  orl::EntryListPtr loaded(entryList_createFromStream(in.get()));
  EXPECT_EQ(entryList_getMaxIndex(loaded.get()), 2);
  const entry* first = entryList_getEntry(loaded.get(), 0);
  EXPECT_STREQ(first->primaryKey, "k");
  EXPECT_STREQ(first->text, "text");
  EXPECT_EQ(first->value, 0.25);
  EXPECT_EQ(std::memcmp(first->syntacticFeatures, block, 2), 0);
  EXPECT_FALSE(entryList_isValidEntry(loaded.get(), 1));
  EXPECT_STREQ(entryList_getEntry(loaded.get(), 2)->text, "keyless");

  for (std::string bad : {std::string("ELSX\1\0\0\0", 8), std::string("ELST\2\0\0\0", 8)}) {
    veskortest::writeFileBytes(file, bad + std::string(8, '\0'));
    orl::StreamPtr badIn(stream_createFileInputStream(file.c_str()));
    EXPECT_RAISES(entryList_createFromStream(badIn.get()), 17, 3,
                  "Falsches Dateiformat in entryList_createFromStream");
  }
}

}  // namespace
