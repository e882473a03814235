// Chained hash table with automatic growth and shrinkage. Keys and data are the caller's: the
// table never copies or frees them.
#pragma once

#include <cstdint>

#include "orlBasics/orlMemory.h"

typedef unsigned long hashcount_t;
typedef uint32_t hash_val_t;

struct hnode_t {
  hnode_t* next;
  const void* key;
  void* data;
  hash_val_t hkey;
};

typedef int (*hash_comp_t)(const void*, const void*);
typedef hash_val_t (*hash_fun_t)(const void*);
typedef hnode_t* (*hnode_alloc_t)(void*);
typedef void (*hnode_free_t)(hnode_t*, void*);

struct hash_t {
  hnode_t** table;
  hashcount_t nchains;
  hashcount_t nodecount;
  hashcount_t maxcount;
  hashcount_t highmark;
  hashcount_t lowmark;
  hash_comp_t compare;
  hash_fun_t function;
  hnode_alloc_t allocnode;
  hnode_free_t freenode;
  void* context;
  hash_val_t mask;
  int dynamic;
};

struct hash_scan_t {
  hash_t* table;
  hashcount_t chain;
  hnode_t* next;
};

// Null compare / hash functions select byte-wise text comparison and the default text hash.
hash_t* hash_create(hashcount_t maxcount, hash_comp_t compare, hash_fun_t function);
// Frees the chain array and the header; the nodes must have been removed. Null is ignored.
void hash_destroy(hash_t* hash) noexcept;
// Releases every node with the table's releaser.
void hash_free_nodes(hash_t* hash) noexcept;
void hash_free(hash_t* hash) noexcept;
void hash_set_allocator(hash_t* hash, hnode_alloc_t allocnode, hnode_free_t freenode, void* context);
// 0, or -2 when an equal key is present (the node is then not inserted).
int hash_insert(hash_t* hash, hnode_t* node, const void* key);
int hash_alloc_insert(hash_t* hash, const void* key, void* data);
hnode_t* hash_lookup(const hash_t* hash, const void* key);
void hash_delete(hash_t* hash, hnode_t* node);
// Removes the node and releases it with the table's releaser.
void hash_delete_free(hash_t* hash, hnode_t* node);
void hash_scan_begin(hash_scan_t* scan, hash_t* hash);
hnode_t* hash_scan_next(hash_scan_t* scan);
void hash_scan_delete(hash_t* hash, hnode_t* node);
hnode_t* hnode_create(void* data);
hnode_t* hnode_init(hnode_t* node, void* data);
void hnode_destroy(hnode_t* node) noexcept;

inline void* hnode_get(const hnode_t* node) { return node->data; }
inline const void* hnode_getkey(const hnode_t* node) { return node->key; }
inline hashcount_t hash_count(const hash_t* hash) { return hash->nodecount; }

// The default text hash (0 for an empty text).
hash_val_t hash_fun_default(const void* key);
// Byte-wise text comparison, as strcmp.
int hash_comp_default(const void* key1, const void* key2);

namespace orl {
using HashPtr = Owned<hash_t, hash_free>;
}
