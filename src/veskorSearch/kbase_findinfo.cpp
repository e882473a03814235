#include "veskorSearch/kbase_findinfo.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>

#include "orlBasics/orlText.h"
#include "veskorSearch/candidateLists.h"
#include "veskorSearch/compoundWords.h"
#include "veskorSearch/lengthAwareRanking.h"
#include "veskorText/seekWords.h"
#include "veskorSearch/wordAssociations.h"
#include "veskorSearch/wordCandidate.h"

namespace {

constexpr int32_t kWordHitsForEntries = 20;
// A compound part stands for only half of its word, so it scores a little less than a whole word.
constexpr double kCompoundPartFactor = 0.9;
// A candidate found in more sentences than this says less about each of them: its score is damped
// to 1 / (kDampingSpread * hits) + kDampingFloor, which tends to 0.8 for common words.
constexpr std::size_t kUndampedHits = 4;
constexpr double kDampingSpread = 1.25;
constexpr double kDampingFloor = 0.8;

// The text the AKB is searched for, or nullopt when the candidate is not searched.
std::optional<std::string> searchTextOf(const wordCandidate& candidate, const knowledgeBase* akb,
                                        const knowledgeBase* wkb) {
  std::string text;
  switch (candidate.kind) {
    case candidateKind::compoundPart:
    case candidateKind::associatedWord:
      if (checkCandidateWord(wkb, candidate.text.c_str()) == candidateCheck::refused) return std::nullopt;
      text = candidate.text;
      break;
    case candidateKind::seekWord:
      text = candidate.word;
      break;
    case candidateKind::similarWord:
      if (candidate.wkbHit->text == nullptr) return std::nullopt;
      text = candidate.wkbHit->text.get();
  }
  // WKB texts are framed with "_"; only an AKB framed the same way keeps it.
  if (!knowledgeBase_getSettings(akb).has(kbEncoding::framing)) std::erase(text, '_');
  // Nothing left to search (a WKB text of frames only) would only make the kernel raise.
  if (std::all_of(text.begin(), text.end(), [](char c) { return orlIsSpace(static_cast<unsigned char>(c)); })) {
    return std::nullopt;
  }
  return text;
}

float weightedScore(const wordCandidate& candidate, bool associations) {
  float score = candidate.score;
  if (candidate.kind == candidateKind::associatedWord && associations) {
    score = static_cast<float>(score * wordAssociations_scoreFactor(candidate.associationWeight));
  }
  if (candidate.kind == candidateKind::compoundPart) score = static_cast<float>(score * kCompoundPartFactor);
  return score;
}

// Searches every candidate in list order and hands its hits on as they come, so that only one
// candidate's hits are held at a time.
void searchCandidates(const std::vector<candidateList>& lists, const knowledgeBase* akb,
                      const knowledgeBase* wkb, bool associations, const documentStatistics* statistics,
                      sentenceHitCollector& collector) {
  for (const candidateList& list : lists) {
    // Length-aware, a seek word weighs what the first of its candidates that the AKB holds weighs:
    // the word it most likely stands for. Weighing each candidate by its own rarity would let a
    // rare but barely similar word outweigh the right one.
    double listWeight = -1;
    for (const wordCandidate& candidate : list.candidates) {
      std::optional<std::string> text = searchTextOf(candidate, akb, wkb);
      if (!text) continue;
      float score = weightedScore(candidate, associations);
      knowledgeBase_findEach(
          akb, text->c_str(), sentenceHits_perCandidate, [&](std::span<const knowledgeBaseHit> hits) {
            if (statistics != nullptr) {
              if (hits.empty()) return;
              if (listWeight < 0) listWeight = lengthAware_wordWeight(*statistics, akb, *text, hits);
              score = static_cast<float>(score * listWeight);
            } else if (hits.size() > kUndampedHits) {
              auto k = static_cast<double>(hits.size());
              score = static_cast<float>(score * (1 / (kDampingSpread * k) + kDampingFloor));
            }
            for (const knowledgeBaseHit& hit : hits) collector.add(hit, score, candidate.wordIndex);
          });
    }
  }
}

}  // namespace

std::optional<std::vector<sentenceHit>> kbase_findInfo(const char* text, const knowledgeBase* akb,
                                                       const knowledgeBase* wkb, const wordAssociator* wa,
                                                       int32_t associationMode, int32_t splitCompounds,
                                                       int32_t limit, int32_t* pNumberCandidateLists,
                                                       const documentStatistics* statistics,
                                                       const entryDocuments* numbers) {
  if (text == nullptr || std::strlen(text) < 2) return std::nullopt;
  std::vector<std::string> words = seekWords_split(text);
  seekWords_removeDoubles(words);
  searchSettings s = searchSettings_make(limit, wkb != nullptr && wa != nullptr, associationMode, splitCompounds);
  std::vector<candidateList> lists = buildCandidateLists(words, wkb, wa, s);
  sentenceHitCollector collector(static_cast<int32_t>(lists.size()), knowledgeBase_getIndexCount(akb), numbers);
  searchCandidates(lists, akb, wkb, s.associations, statistics, collector);
  if (pNumberCandidateLists != nullptr) *pNumberCandidateLists = static_cast<int32_t>(lists.size());
  return collector.finish(statistics == nullptr);
}

namespace {

std::vector<findEntriesResult> entriesByKernel(const char* text, const knowledgeBase* akb,
                                               int32_t numberHits) {
  std::vector<findEntriesResult> results;
  knowledgeBase_findEach(akb, text, numberHits, [&](std::span<const knowledgeBaseHit> hits) {
    results.reserve(hits.size());
    for (const knowledgeBaseHit& hit : hits) {
      results.push_back({orl::OwnedText(orlStrdup(hit.primaryKey)), static_cast<float>(hit.confidence),
                         orl::OwnedText(orlStrdup(hit.text))});
    }
  });
  return results;
}

// The best numberHits sentences by falling score; of equal scores the one met first.
std::vector<findEntriesResult> bestSentences(const std::vector<sentenceHit>& sentences, int32_t numberHits) {
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < sentences.size(); ++i) {
    if (sentences[i].score > 0) order.push_back(i);
  }
  auto wanted = static_cast<std::size_t>(std::max(numberHits, 0));
  std::size_t taken = std::min(order.size(), wanted);
  std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(taken), order.end(),
                    [&](std::size_t a, std::size_t b) {
                      return sentences[a].score != sentences[b].score ? sentences[a].score > sentences[b].score
                                                                      : a < b;
                    });
  std::vector<findEntriesResult> results;
  results.reserve(wanted);
  for (std::size_t i = 0; i < taken; ++i) {
    const sentenceHit& hit = sentences[order[i]];
    results.push_back({orl::OwnedText(orlStrdup(hit.primaryKey)), hit.score,
                       orl::OwnedText(hit.text != nullptr ? orlStrdup(hit.text) : nullptr)});
  }
  while (results.size() < wanted) results.push_back({nullptr, 0.0f, nullptr});
  return results;
}

}  // namespace

std::optional<std::vector<findEntriesResult>> kbase_findEntries(const char* text, const knowledgeBase* akb,
                                                                const knowledgeBase* wkb, const wordAssociator* wa,
                                                                int32_t associationMode, int32_t splitCompounds,
                                                                int32_t numberHits) {
  if (!knowledgeBase_getSettings(akb).holdsSentences()) return entriesByKernel(text, akb, numberHits);
  int32_t numberLists = 0;
  std::optional<std::vector<sentenceHit>> sentences =
      kbase_findInfo(text, akb, wkb, wa, associationMode, splitCompounds, kWordHitsForEntries, &numberLists);
  if (!sentences) return std::nullopt;
  return bestSentences(*sentences, numberHits);
}
