#include "veskorText/abbreviationList.h"

#include <string>

#include "veskorText/germanText.h"
#include "veskorText/wordPreparation.h"

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

std::vector<std::string_view> expandAbbreviation(const hash_t* list, std::string_view token) {
  if (const char* expansion = findAbbreviationExpansion(list, std::string(token).c_str())) {
    return splitRuns(expansion, ' ');
  }
  return {token};
}
