#include "kazlib/hash.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

std::vector<std::string> makeKeys(int n) {
  std::vector<std::string> keys;
  for (int i = 0; i < n; ++i) keys.push_back("key" + std::to_string(i));
  return keys;
}

TEST(Hash, DefaultTextHash) {
  EXPECT_EQ(hash_fun_default(""), 0u);
  // One byte 'a' (0x61): acc ^= K[1]; rotl 1; acc ^= K[(6 + acc) & 15]; rotl 2.
  hash_val_t acc = 0xe6255dbaU;
  acc = (acc << 1) | (acc >> 31);
  const hash_val_t k[16] = {0x49848f1bU, 0xe6255dbaU, 0x36da5bdcU, 0x47bf94e9U, 0x8cbcce22U, 0x559fc06aU,
                            0xd268f536U, 0xe10af79aU, 0xc1af4d69U, 0x1d2917b5U, 0xec4c304dU, 0x9ee5016cU,
                            0x69232f74U, 0xfead7bb3U, 0xe9089ab6U, 0xf012f6aeU};
  acc ^= k[(6 + acc) & 15];
  acc = (acc << 2) | (acc >> 30);
  EXPECT_EQ(hash_fun_default("a"), acc);
  EXPECT_NE(hash_fun_default("ab"), hash_fun_default("ba"));
  // Bytes above 0x7F are taken unsigned.
  EXPECT_NE(hash_fun_default("\xE4"), hash_fun_default("\x64"));
}

TEST(Hash, GrowsBeforeThe129thInsertAndShrinksOnlyAboveSixtyFourNodes) {
  orl::HashPtr hash(hash_create(~0UL, nullptr, nullptr));
  EXPECT_EQ(hash->nchains, 64u);
  EXPECT_EQ(hash->highmark, 128u);
  EXPECT_EQ(hash->lowmark, 32u);
  std::vector<std::string> keys = makeKeys(300);
  for (int i = 0; i < 128; ++i) ASSERT_EQ(hash_alloc_insert(hash.get(), keys[i].c_str(), nullptr), 0);
  EXPECT_EQ(hash->nchains, 64u);
  ASSERT_EQ(hash_alloc_insert(hash.get(), keys[128].c_str(), nullptr), 0);
  EXPECT_EQ(hash->nchains, 128u);
  EXPECT_EQ(hash->highmark, 256u);
  EXPECT_EQ(hash->lowmark, 64u);
  EXPECT_EQ(hash->mask, 127u);

  // 128 chains never shrink: a deletion would need at most 64 nodes and more than 64.
  for (int i = 128; i >= 10; --i) hash_delete_free(hash.get(), hash_lookup(hash.get(), keys[i].c_str()));
  EXPECT_EQ(hash->nchains, 128u);

  // Grow to 256 chains (lowmark 128), then delete down: the shrink happens on the deletion that
  // finds 128 nodes.
  for (int i = 10; i < 257; ++i) ASSERT_EQ(hash_alloc_insert(hash.get(), keys[i].c_str(), nullptr), 0);
  ASSERT_EQ(hash->nchains, 256u);
  ASSERT_EQ(hash_count(hash.get()), 257u);
  int next = 256;
  while (hash_count(hash.get()) > 129) hash_delete_free(hash.get(), hash_lookup(hash.get(), keys[next--].c_str()));
  EXPECT_EQ(hash->nchains, 256u);
  hash_delete_free(hash.get(), hash_lookup(hash.get(), keys[next--].c_str()));  // count 129 > lowmark
  EXPECT_EQ(hash->nchains, 256u);
  hash_delete_free(hash.get(), hash_lookup(hash.get(), keys[next--].c_str()));  // finds 128: shrinks first
  EXPECT_EQ(hash->nchains, 128u);
  EXPECT_EQ(hash->lowmark, 64u);
  for (int i = 0; i <= next; ++i) EXPECT_NE(hash_lookup(hash.get(), keys[i].c_str()), nullptr) << i;
}

TEST(Hash, DuplicateKeysAreRefusedAndTheTableIsUnchanged) {
  orl::HashPtr hash(hash_create(~0UL, nullptr, nullptr));
  int first = 1;
  int second = 2;
  ASSERT_EQ(hash_alloc_insert(hash.get(), "Haus", &first), 0);
  EXPECT_EQ(hash_alloc_insert(hash.get(), "Haus", &second), -2);
  EXPECT_EQ(hash_count(hash.get()), 1u);
  EXPECT_EQ(hnode_get(hash_lookup(hash.get(), "Haus")), &first);

  hnode_t* node = hnode_create(&second);
  EXPECT_EQ(hash_insert(hash.get(), node, "Haus"), -2);
  hnode_destroy(node);
  EXPECT_EQ(hash_lookup(hash.get(), "Maus"), nullptr);
}

TEST(Hash, ScanVisitsEveryNodeAndScanDeleteIsSafe) {
  orl::HashPtr hash(hash_create(~0UL, nullptr, nullptr));
  std::vector<std::string> keys = makeKeys(500);
  for (const std::string& key : keys) ASSERT_EQ(hash_alloc_insert(hash.get(), key.c_str(), nullptr), 0);
  std::set<std::string> seen;
  hash_scan_t scan;
  hash_scan_begin(&scan, hash.get());
  while (hnode_t* node = hash_scan_next(&scan)) {
    seen.insert(static_cast<const char*>(hnode_getkey(node)));
    hash_scan_delete(hash.get(), node);
    hnode_destroy(node);
  }
  EXPECT_EQ(seen.size(), 500u);
  EXPECT_EQ(hash_count(hash.get()), 0u);
}

int compareIds(const void* a, const void* b) {
  int x = *static_cast<const int*>(a);
  int y = *static_cast<const int*>(b);
  return x < y ? -1 : (x > y ? 1 : 0);
}
hash_val_t hashId(const void* a) { return static_cast<hash_val_t>(*static_cast<const int*>(a)); }

TEST(Hash, CustomComparisonAndHash) {
  orl::HashPtr hash(hash_create(~0UL, compareIds, hashId));
  std::vector<int> ids = {5, 69, 133, 32767};  // 5, 69 and 133 share a chain
  for (int& id : ids) ASSERT_EQ(hash_alloc_insert(hash.get(), &id, &id), 0);
  int probe = 69;
  ASSERT_NE(hash_lookup(hash.get(), &probe), nullptr);
  EXPECT_EQ(*static_cast<int*>(hnode_get(hash_lookup(hash.get(), &probe))), 69);
  hash_delete_free(hash.get(), hash_lookup(hash.get(), &probe));
  EXPECT_EQ(hash_lookup(hash.get(), &probe), nullptr);
  probe = 133;
  EXPECT_NE(hash_lookup(hash.get(), &probe), nullptr);
}

}  // namespace
