// Registering the words of added texts in a word knowledge base (WKB): one entry per distinct
// word, keyed by the entry count at the time it was added, carrying its feature vector.
#pragma once

#include "veskorKernel/knowledgeBase.h"
#include "veskorText/sentenceWord.h"

// 1 when the word was added under the key "%6d" of the WKB's entry count; 0 when the WKB already
// holds it: pFeatures (wordFeatures_size bytes) then receives the stored features and the WKB is
// left unchanged.
int registerWord(knowledgeBase* pWKB, const char* word, unsigned char* pFeatures);

// Registers the words of one stored sentence, each cleaned with cleanWord and featured against the
// sentence's entry text.
void registerSentenceWords(knowledgeBase* pWKB, const sentenceWords& words, const char* sentenceText);

// Registers the blank-separated words of an entry text already normalised by
// cAPIAdd_preprocessText, featured against that text; the words are taken as they are.
void registerEntryWords(knowledgeBase* pWKB, const char* normalisedText);
