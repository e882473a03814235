// The German abbreviations that neither end a sentence nor stay abbreviated in stored text. Keys
// carry no final full stop: callers strip it before the lookup.
#pragma once

#include <string_view>
#include <vector>

#include "kazlib/hash.h"

// A new table of the 22 abbreviation -> expansion pairs; keys and expansions are static texts,
// so hash_free releases everything.
hash_t* createAbbreviationList();

// The expansion (static text) of the word, or of its German upper-cased copy; null when the
// word is no abbreviation or an argument is null.
const char* findAbbreviationExpansion(const hash_t* list, const char* word);

// True when the word, or its German upper-cased copy, is a key of the list.
bool isAbbreviation(const char* word, const hash_t* list);

// The expansion split at blanks when the token is an abbreviation, otherwise the token itself. The
// pieces are views into the static expansion or into the token.
std::vector<std::string_view> expandAbbreviation(const hash_t* list, std::string_view token);
