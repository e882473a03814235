// The text pipeline of a knowledge base: preprocessing, phoneme codes, features (group 20).
// A feature list is a vector of char* to separately allocated texts; the list owns them.
#pragma once

#include "orlBasics/vector.h"

struct knowledgeBase;

// Trimmed, white space runs made single blanks, upper-cased (German, encoding flag 2) and framed
// with "_" (tuple knowledge bases, encoding flag 4). Empty text raises code 11.
char* knowledgeBase_preprocessText(const knowledgeBase* pThis, const char* pText);
// Phoneme codes for German, otherwise a copy.
char* knowledgeBase_computePhonemeCodes(const knowledgeBase* pThis, const char* pText);
// Tuples (feature type 1) or words (otherwise).
vector* knowledgeBase_computeFeatureIDs(const knowledgeBase* pThis, const char* pText);

char* substituteWhiteSpace(const char* pText);
// Runs of non-white-space bytes, up to the first line feed met between words.
vector* getWordsFromText(const char* pText);
// All substrings of 2, then 3, then 4 bytes, in text order.
vector* getTupelFromText(const char* pText);
// Frees repeated strings (the last of equal strings survives) and leaves their slots null.
void stringListRemoveDoubles(vector* pList);

// Frees a feature list with its strings; null is ignored.
void stringList_free(vector* pList) noexcept;
// vector_compress filter that keeps the non-null slots.
int stringList_isNotNull(const void* pSlot);

namespace orl {
using StringListPtr = Owned<vector, stringList_free>;
}
