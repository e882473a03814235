#include "kazlib/hash.h"

#include <cstdlib>
#include <cstring>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"

namespace {

constexpr hashcount_t kInitialChains = 64;

hnode_t* defaultAllocNode(void*) { return static_cast<hnode_t*>(orlMalloc(sizeof(hnode_t))); }
void defaultFreeNode(hnode_t* node, void*) { orlFree(node); }

hash_val_t rotateLeft(hash_val_t value, int bits) {
  return static_cast<hash_val_t>((value << bits) | (value >> (32 - bits)));
}

// Doubles the chain array and splits every chain by the newly exposed hash bit.
void growTable(hash_t* hash) {
  hashcount_t oldChains = hash->nchains;
  hash->table = static_cast<hnode_t**>(orlRealloc(hash->table, sizeof(hnode_t*) * oldChains * 2));
  hash_val_t exposedBit = hash->mask ^ ((hash->mask << 1) | 1);
  for (hashcount_t chain = 0; chain < oldChains; ++chain) {
    hnode_t* low = nullptr;
    hnode_t* high = nullptr;
    for (hnode_t* node = hash->table[chain]; node != nullptr;) {
      hnode_t* next = node->next;
      if (node->hkey & exposedBit) {
        node->next = high;
        high = node;
      } else {
        node->next = low;
        low = node;
      }
      node = next;
    }
    hash->table[chain] = low;
    hash->table[chain + oldChains] = high;
  }
  hash->mask = (hash->mask << 1) | 1;
  hash->nchains = oldChains * 2;
  hash->highmark *= 2;
  hash->lowmark *= 2;
}

// Halves the chain array: chain i + half is appended to chain i.
void shrinkTable(hash_t* hash) {
  hashcount_t half = hash->nchains / 2;
  for (hashcount_t chain = 0; chain < half; ++chain) {
    hnode_t* upper = hash->table[chain + half];
    if (upper == nullptr) continue;
    if (hash->table[chain] == nullptr) {
      hash->table[chain] = upper;
    } else {
      hnode_t* last = hash->table[chain];
      while (last->next != nullptr) last = last->next;
      last->next = upper;
    }
  }
  // The chains are merged already: if giving memory back fails, keep the larger array.
  if (void* smaller = std::realloc(hash->table, sizeof(hnode_t*) * half)) hash->table = static_cast<hnode_t**>(smaller);
  hash->nchains = half;
  hash->mask >>= 1;
  hash->highmark /= 2;
  hash->lowmark /= 2;
}

void unlink(hash_t* hash, hnode_t* node) {
  hnode_t** link = &hash->table[node->hkey & hash->mask];
  while (*link != nullptr && *link != node) link = &(*link)->next;
  if (*link == nullptr) return;
  *link = node->next;
  node->next = nullptr;
  --hash->nodecount;
}

}  // namespace

hash_val_t hash_fun_default(const void* key) {
  static const hash_val_t randbox[16] = {
      0x49848f1bU, 0xe6255dbaU, 0x36da5bdcU, 0x47bf94e9U, 0x8cbcce22U, 0x559fc06aU, 0xd268f536U, 0xe10af79aU,
      0xc1af4d69U, 0x1d2917b5U, 0xec4c304dU, 0x9ee5016cU, 0x69232f74U, 0xfead7bb3U, 0xe9089ab6U, 0xf012f6aeU,
  };
  hash_val_t acc = 0;
  for (const unsigned char* c = static_cast<const unsigned char*>(key); *c != 0; ++c) {
    acc ^= randbox[(*c + acc) & 0xf];
    acc = rotateLeft(acc, 1);
    acc ^= randbox[((*c >> 4) + acc) & 0xf];
    acc = rotateLeft(acc, 2);
  }
  return acc;
}

int hash_comp_default(const void* key1, const void* key2) {
  return std::strcmp(static_cast<const char*>(key1), static_cast<const char*>(key2));
}

hash_t* hash_create(hashcount_t maxcount, hash_comp_t compare, hash_fun_t function) {
  orl::HashPtr hash(static_cast<hash_t*>(orlMalloc(sizeof(hash_t))));
  std::memset(hash.get(), 0, sizeof(hash_t));
  hash->table = static_cast<hnode_t**>(orlMalloc(sizeof(hnode_t*) * kInitialChains));
  std::memset(hash->table, 0, sizeof(hnode_t*) * kInitialChains);
  hash->nchains = kInitialChains;
  hash->nodecount = 0;
  hash->maxcount = maxcount;
  hash->highmark = kInitialChains * 2;
  hash->lowmark = kInitialChains / 2;
  hash->compare = compare != nullptr ? compare : hash_comp_default;
  hash->function = function != nullptr ? function : hash_fun_default;
  hash->allocnode = defaultAllocNode;
  hash->freenode = defaultFreeNode;
  hash->context = nullptr;
  hash->mask = static_cast<hash_val_t>(kInitialChains - 1);
  hash->dynamic = 1;
  return hash.release();
}

void hash_destroy(hash_t* hash) noexcept {
  if (hash == nullptr) return;
  orlFree(hash->table);
  orlFree(hash);
}

void hash_free_nodes(hash_t* hash) noexcept {
  if (hash == nullptr) return;
  for (hashcount_t chain = 0; chain < hash->nchains; ++chain) {
    for (hnode_t* node = hash->table[chain]; node != nullptr;) {
      hnode_t* next = node->next;
      node->next = nullptr;
      hash->freenode(node, hash->context);
      node = next;
    }
    hash->table[chain] = nullptr;
  }
  hash->nodecount = 0;
}

void hash_free(hash_t* hash) noexcept {
  hash_free_nodes(hash);
  hash_destroy(hash);
}

void hash_set_allocator(hash_t* hash, hnode_alloc_t allocnode, hnode_free_t freenode, void* context) {
  hash->allocnode = allocnode != nullptr ? allocnode : defaultAllocNode;
  hash->freenode = freenode != nullptr ? freenode : defaultFreeNode;
  hash->context = context;
}

int hash_insert(hash_t* hash, hnode_t* node, const void* key) {
  if (hash_lookup(hash, key) != nullptr) return -2;
  if (hash->dynamic && hash->nodecount >= hash->highmark) growTable(hash);
  hash_val_t hkey = hash->function(key);
  hnode_t** chain = &hash->table[hkey & hash->mask];
  node->key = key;
  node->hkey = hkey;
  node->next = *chain;
  *chain = node;
  ++hash->nodecount;
  return 0;
}

int hash_alloc_insert(hash_t* hash, const void* key, void* data) {
  hnode_t* node = hash->allocnode(hash->context);
  if (node == nullptr) ORL_RAISE(orl::errorGroup::memory, 1, "error: out of memory in hash_alloc_insert");
  hnode_init(node, data);
  int result;
  try {
    result = hash_insert(hash, node, key);
  } catch (...) {
    hash->freenode(node, hash->context);
    throw;
  }
  // A node that was not inserted belongs to nobody: give it back rather than lose it.
  if (result != 0) hash->freenode(node, hash->context);
  return result;
}

hnode_t* hash_lookup(const hash_t* hash, const void* key) {
  hash_val_t hkey = hash->function(key);
  for (hnode_t* node = hash->table[hkey & hash->mask]; node != nullptr; node = node->next) {
    if (node->hkey == hkey && hash->compare(node->key, key) == 0) return node;
  }
  return nullptr;
}

void hash_delete(hash_t* hash, hnode_t* node) {
  if (hash->dynamic && hash->nodecount <= hash->lowmark && hash->nodecount > kInitialChains) shrinkTable(hash);
  unlink(hash, node);
}

void hash_delete_free(hash_t* hash, hnode_t* node) {
  hash_delete(hash, node);
  hash->freenode(node, hash->context);
}

void hash_scan_begin(hash_scan_t* scan, hash_t* hash) {
  scan->table = hash;
  scan->next = nullptr;
  for (scan->chain = 0; scan->chain < hash->nchains; ++scan->chain) {
    if (hash->table[scan->chain] != nullptr) {
      scan->next = hash->table[scan->chain];
      return;
    }
  }
}

hnode_t* hash_scan_next(hash_scan_t* scan) {
  hnode_t* current = scan->next;
  if (current == nullptr) return nullptr;
  if (current->next != nullptr) {
    scan->next = current->next;
    return current;
  }
  scan->next = nullptr;
  hash_t* hash = scan->table;
  for (++scan->chain; scan->chain < hash->nchains; ++scan->chain) {
    if (hash->table[scan->chain] != nullptr) {
      scan->next = hash->table[scan->chain];
      break;
    }
  }
  return current;
}

void hash_scan_delete(hash_t* hash, hnode_t* node) { unlink(hash, node); }

hnode_t* hnode_create(void* data) {
  hnode_t* node = static_cast<hnode_t*>(orlMalloc(sizeof(hnode_t)));
  return hnode_init(node, data);
}

hnode_t* hnode_init(hnode_t* node, void* data) {
  node->data = data;
  node->next = nullptr;
  node->key = nullptr;
  node->hkey = 0;
  return node;
}

void hnode_destroy(hnode_t* node) noexcept { orlFree(node); }
