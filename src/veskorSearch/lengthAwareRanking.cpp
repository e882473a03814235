#include "veskorSearch/lengthAwareRanking.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "orlBasics/orlThreadLocal.h"
#include "veskorText/germanText.h"

namespace {

double inverseDocumentFrequency(double documents, double holding) {
  return std::log(1 + (documents - holding + 0.5) / (holding + 0.5));
}

// The text as a word of the knowledge base, or "" when it is not one word.
std::string storedWord(const knowledgeBase* akb, const std::string& text) {
  if (text.empty() || text.find(' ') != std::string::npos) return {};
  std::string word = text;
  if (knowledgeBase_getSettings(akb).upperCases()) toUpperGermanInPlace(word.data());
  return word;
}

struct documentScore {
  int32_t document;
  std::size_t firstMet;
  double score = 0;
  std::vector<std::size_t> sentences;  // in the order met
};

// Per seek word: the best match in the document and the sum of the sentences' matches.
struct wordMatches {
  float best = 0;
  double sum = 0;
};

// Kept per thread so that its memory is reused.
struct ScoreScratch {
  std::vector<wordMatches> words;
};

double scoreOf(const std::vector<std::size_t>& members, const std::vector<sentenceHit>& sentences,
               double lengthRatio) {
  std::vector<wordMatches>& words = orl::threadLocal<ScoreScratch>().words;
  words.clear();
  for (std::size_t s : members) {
    for (const wordScore& w : sentences[s].wordScores) {
      auto i = static_cast<std::size_t>(w.wordIndex);
      if (i >= words.size()) words.resize(i + 1);
      words[i].best = std::max(words[i].best, w.contribution);
      words[i].sum += w.contribution;
    }
  }
  double norm = lengthAware_k1 * (1 - lengthAware_b + lengthAware_b * lengthRatio);
  double score = 0;
  for (const wordMatches& w : words) {
    if (w.best <= 0) continue;
    // Matching sentences count by how well they match compared with the best of them.
    double frequency = w.sum / w.best;
    score += w.best * frequency * (lengthAware_k1 + 1) / (frequency + norm);
  }
  return score / (lengthAware_k1 + 1);
}

}  // namespace

double lengthAware_wordWeight(const documentStatistics& statistics, const knowledgeBase* akb,
                              const std::string& searchText, std::span<const knowledgeBaseHit> hits) {
  auto documents = static_cast<double>(statistics.numberDocuments());
  if (documents < 1) return 1;
  int32_t holding = statistics.frequencyOf(storedWord(akb, searchText));
  if (holding < 0) {
    std::unordered_set<int32_t> seen;
    for (const knowledgeBaseHit& hit : hits) {
      int32_t d = statistics.documentOf(hit.index);
      if (d >= 0) seen.insert(d);
    }
    holding = static_cast<int32_t>(seen.size());
  }
  double h = std::clamp(static_cast<double>(holding), 1.0, documents);
  return inverseDocumentFrequency(documents, h) / inverseDocumentFrequency(documents, 1);
}

std::vector<documentResult> lengthAware_rankDocuments(const std::vector<sentenceHit>& sentences,
                                                      const documentStatistics& statistics,
                                                      int32_t numberDocuments) {
  std::vector<documentScore> documents;
  std::unordered_map<int32_t, std::size_t> byDocument;
  for (std::size_t s = 0; s < sentences.size(); ++s) {
    int32_t d = statistics.documentOf(sentences[s].index);
    if (d < 0 || sentences[s].score <= 0) continue;
    auto [at, isNew] = byDocument.try_emplace(d, documents.size());
    if (isNew) documents.push_back({d, s, 0, {}});
    documents[at->second].sentences.push_back(s);
  }
  double average = statistics.averageLength > 0 ? statistics.averageLength : 1;
  for (documentScore& document : documents) {
    double ratio = statistics.length[static_cast<std::size_t>(document.document)] / average;
    document.score = scoreOf(document.sentences, sentences, ratio);
  }
  auto wanted = std::min(static_cast<std::size_t>(std::max(numberDocuments, 0)), documents.size());
  auto better = [](const documentScore& a, const documentScore& b) {
    return a.score != b.score ? a.score > b.score : a.firstMet < b.firstMet;
  };
  std::partial_sort(documents.begin(), documents.begin() + static_cast<std::ptrdiff_t>(wanted), documents.end(),
                    better);
  std::vector<documentResult> results;
  for (std::size_t i = 0; i < wanted && documents[i].score > 0; ++i) {
    documentScore& document = documents[i];
    std::stable_sort(document.sentences.begin(), document.sentences.end(),
                     [&](std::size_t a, std::size_t b) { return sentences[a].score > sentences[b].score; });
    documentResult result{static_cast<float>(std::min(document.score, 1.0)), {}};
    for (std::size_t s : document.sentences) {
      sentenceRecord record;
      if (parseSentenceKey(sentences[s].primaryKey, &record) == 0) continue;
      // The documented ranking's scale: x 100, kept to three decimals.
      record.score = static_cast<float>(std::round(sentences[s].score * 100 * 1000) / 1000);
      record.text = sentences[s].text;
      result.sentences.push_back(std::move(record));
    }
    results.push_back(std::move(result));
  }
  return results;
}
