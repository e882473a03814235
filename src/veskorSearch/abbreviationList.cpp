#include "veskorSearch/abbreviationList.h"

#include <cstring>

#include "veskorSearch/germanText.h"
#include "veskorSearch/textBuffer.h"

namespace {

struct Abbreviation {
  const char* abbreviation;
  const char* expansion;
};

// Insertion order is kept as written: the table's chains depend on it.
constexpr Abbreviation kAbbreviations[] = {
    {"Dr", "Doktor"},
    {"u.s.w", "und so weiter"},
    {"usw", "und so weiter"},
    {"Str",
     "Stra\xDF"
     "e"},
    {"Hr", "Herr"},
    {"Fr", "Frau"},
    {"i.A", "im Auftrag"},
    {"i.a", "im Allgemeinen"},
    {"z.B", "zum Beispiel"},
    {"Mr", "Mister"},
    {"Mrs", "Missis"},
    {"etc", "et cetera"},
    {"zB", "zum Beispiel"},
    {"zHd", "zu H\xE4nden"},
    {"Abb", "Abbildung"},
    {"Art", "Artikel"},
    {"Anz", "Anzahl"},
    {"vgl", "vergleiche"},
    {"Nr", "Nummer"},
    {"Abs", "Absatz"},
    {"Buchst", "Buchstabe"},
    {"Ziff", "Ziffer"},
};

}  // namespace

// The word as given first, then its upper-cased form.
const char* findAbbreviationExpansion(const hash_t* list, const char* word) {
  if (list == nullptr || word == nullptr) return nullptr;
  if (hnode_t* node = hash_lookup(list, word)) return static_cast<const char*>(hnode_get(node));
  orl::OwnedText upper(orlStrdup(word));
  toUpperGermanInPlace(upper.get());
  if (hnode_t* node = hash_lookup(list, upper.get())) return static_cast<const char*>(hnode_get(node));
  return nullptr;
}

hash_t* createAbbreviationList() {
  orl::HashPtr list(hash_create(static_cast<hashcount_t>(-1), nullptr, nullptr));
  for (const Abbreviation& a : kAbbreviations) {
    hash_alloc_insert(list.get(), a.abbreviation, const_cast<char*>(a.expansion));
  }
  return list.release();
}

bool isAbbreviation(const char* word, const hash_t* list) {
  return findAbbreviationExpansion(list, word) != nullptr;
}

vector* expandAbbreviation(const hash_t* list, const char* word) {
  if (const char* expansion = findAbbreviationExpansion(list, word)) {
    orl::TextBufferPtr whole(textBuffer_createFromString(expansion));
    // The views keep the storage alive after the owner's own reference is dropped.
    return textBuffer_split(whole.get(), " ");
  }
  orl::TextBufferVectorPtr parts(vector_create(sizeof(textBuffer*), 1, 1));
  orl::TextBufferPtr buffer(textBuffer_createFromString(word != nullptr ? word : ""));
  textBuffer* element = buffer.get();
  vector_appendElement(parts.get(), &element);
  buffer.release();
  return parts.release();
}

void textBufferVector_free(vector* buffers) noexcept {
  if (buffers == nullptr) return;
  for (int32_t i = vector_getNumberElements(buffers) - 1; i >= 0; --i) {
    textBuffer_free(orl::vectorAt<textBuffer*>(buffers, i));
  }
  vector_free(buffers);
}
