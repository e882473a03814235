// The words of a word associator as a document search meets them. The search asks the associator
// about the text of a seek word's entry in the word knowledge base (WKB), which the WKB stores
// preprocessed (for a WKB made by veskorCreateKBFile: upper-cased and framed with "_", as in
// "_HONIG_"), and uses an associated word only when the WKB holds it. So a word enters an
// associator prepared like the words of added documents and stored in the WKB's preprocessed form,
// and can be registered in the WKB like a document word.
#pragma once

#include <string>

#include "veskorKernel/knowledgeBase.h"

// The word as the WKB would register it from a document: cleaned (cleanWord) and made of letters
// only. Empty when the text is no such word.
std::string associatorWord_prepare(const char* text);

// The form under which the associator holds a prepared word: the text of the WKB entry it makes,
// for pWKB or, when it is null, for a word knowledge base as veskorCreateKBFile makes it. Words
// of one form are one word to the search.
std::string associatorWord_storedForm(const knowledgeBase* pWKB, const std::string& prepared);

// Registers a prepared word as the words of added documents are registered (registerWord), with
// the features it gets inside a sentence: a word starting with a capital is marked as one. 1 when
// it was added, 0 when the WKB already held it.
int associatorWord_register(knowledgeBase* pWKB, const std::string& prepared);
