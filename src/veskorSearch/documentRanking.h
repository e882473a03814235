// Turning sentence hits into ranked documents: sentences are grouped by the document key in
// their sentence keys, their scores merged, and the best documents listed with the places of
// their matching sentences.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "veskorSearch/entryDocuments.h"
#include "veskorSearch/parseSentenceKey.h"
#include "veskorSearch/sentenceHits.h"

// How documents are ranked: the documented ranking merges sentence scores per document; the
// length-aware one weighs matched words by document frequency and normalises by document length
// (lengthAwareRanking.h).
enum class documentRanking { documented, lengthAware };

struct documentHit {
  float score;
  wordScoreList wordScores;  // the best contribution per seek word over the sentences
  // The sentence hits merged into the document, in the order they were merged.
  std::vector<std::size_t> sentences;
};

struct documentResult {
  float score;
  std::vector<sentenceRecord> sentences;  // in the order they were merged, with their stored texts
};

// One document per document key, in the order the keys were first met; hits whose key is no
// sentence key are left out.
std::vector<documentHit> groupSentenceHits(const std::vector<sentenceHit>& sentences);
// The same, reading each sentence's document from the numbers of its entry index; sentences whose
// index the numbers do not cover make it group by keys as above.
std::vector<documentHit> groupSentenceHits(const std::vector<sentenceHit>& sentences, const entryDocuments& numbers);

// The best numberDocuments documents by falling score; of equal scores the one met later ranks
// first, but once every place is taken a document enters only with a higher score than the last.
// Documents after the first without a positive score take no part.
std::vector<documentResult> rankDocuments(const std::vector<documentHit>& documents,
                                          const std::vector<sentenceHit>& sentences, int32_t numberDocuments);

// A document's sentences in text form: the first sentence hit's key and score x 100, then
// "$score?number?offset?length" for every further sentence merged into it.
std::string documentLabel(const documentHit& document, const std::vector<sentenceHit>& sentences);
// The sentence records of a label, scores with the three decimals the label keeps.
std::vector<sentenceRecord> parseDocumentLabel(const std::string& label);
