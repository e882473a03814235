// Text preparation: how the engine turns text into what it stores and searches. Everything here
// works on 8-bit Latin-1 bytes with German rules and knows nothing of knowledge bases; the kernel
// applies a knowledge base's settings to it (veskorKernel/knowledgeBaseFeatures.h).
//
// How an entry or seek text becomes features
//   1. normaliseEntryText (entryText.h): trimmed, white space collapsed, upper-cased by the German
//      rule and framed with "_" as the knowledge base asks. This is the text an entry stores.
//   2. createPhonemeCodesGerman (germanText.h), when the knowledge base codes phonemes: spellings of
//      one sound get equal codes, and the features are cut from the codes instead.
//   3. cutTuples or cutWords (featureText.h): the 2-, 3- and 4-byte groups, or the words.
//   4. removeDoubleFeatures (featureText.h): each feature once, the last occurrence kept.
//   The features are views into the text of step 1 or 2; featureKey.h gives them cheap hash keys.
//
// How a document becomes sentences and words
//   1. textTokenReader (textTokenReader.h): white-space-delimited tokens of bounded length, with
//      their byte offsets in the document.
//   2. getNextSentence (cAPIAdd_preprocessText.h): tokens up to one that ends a sentence (! : ; ?
//      or a full stop that does not close an abbreviation of abbreviationList.h).
//   3. prepareWord (wordPreparation.h), for every token: abbreviation expansion, hyphen split,
//      HTML entities, punctuation trimmed, the word test. The result is a sentenceWord each.
//   4. cutDocument and buildSentenceText (documentSentences.h): the stored sentences with their
//      entry texts and their spans in the document.
//   5. cleanWord (cleanWord.h): a word made fit for a word knowledge base (DOS letters, one
//      opening and closing character, one inner hyphen).
//   A single entry goes through steps 1 and 3 as one sentence (cAPIAdd_preprocessText), and the
//   words of a seek text for the word-based search come from seekWords.h.
#pragma once

// The stages in pipeline order.
// clang-format off
#include "veskorText/entryText.h"
#include "veskorText/germanText.h"
#include "veskorText/featureKey.h"
#include "veskorText/featureText.h"
#include "veskorText/textTokenReader.h"
#include "veskorText/abbreviationList.h"
#include "veskorText/cAPIAdd_preprocessText.h"
#include "veskorText/wordPreparation.h"
#include "veskorText/sentenceWord.h"
#include "veskorText/documentSentences.h"
#include "veskorText/cleanWord.h"
#include "veskorText/seekWords.h"
// clang-format on
