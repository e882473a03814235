#include "veskorSearch/candidateLists.h"

#include <algorithm>
#include <optional>

#include "veskorText/cleanWord.h"
#include "veskorSearch/compoundWords.h"
#include "veskorSearch/wordAssociations.h"
#include "veskorSearch/wordFeatures.h"

// Room for compound parts (3 places) and associations (half the list) is taken from the number
// of similar words asked for; a list too short for that searches without both.
searchSettings searchSettings_make(int32_t limit, bool haveWkbAndWa, int32_t associationMode, int32_t splitCompounds) {
  searchSettings s{std::max(1, std::min(limit, wordCandidate_maxPerWord)), 0, associationMode != 0,
                   splitCompounds != 0};
  if (!haveWkbAndWa) s.associations = s.splitCompounds = false;
  s.wkbHits = s.maxCandidates;
  if (s.splitCompounds) s.wkbHits -= 3;
  if (s.associations) s.wkbHits /= 2;
  if (s.wkbHits <= 0) {
    s.wkbHits = s.maxCandidates;
    s.associations = s.splitCompounds = false;
  }
  return s;
}

namespace {

constexpr int32_t kCompoundPartHits = 1;

wordCandidate seekWordCandidate(const std::string& word, int32_t index) {
  return {word.c_str(), index, {}, nullptr, candidateKind::seekWord, 0.0f, 1.0f};
}

// The seek word's list, or nullopt when none of its WKB hits qualifies.
std::optional<candidateList> candidatesOf(const std::string& word, int32_t index, const knowledgeBase* wkb,
                                          const searchSettings& s) {
  candidateList list{{}, s.maxCandidates, {}};
  if (wkb != nullptr) {
    orl::OwnedText cleaned(cleanWord(word.c_str()));
    // The WKB is asked for the word as it stands in the seek text, the cleaning only vets it.
    if (cleaned) list.wkbHits = knowledgeBase_find(wkb, word.c_str(), s.wkbHits);
  }
  if (list.wkbHits.empty()) {
    list.candidates.push_back(seekWordCandidate(word, index));
    return list;
  }
  std::vector<selectedHit> selected = selectCandidates(list.wkbHits, word.size(), s.maxCandidates);
  if (selected.empty()) return std::nullopt;
  int32_t places = static_cast<int32_t>(selected.size());
  int32_t place = 0;
  // A word without a perfect match in the WKB is also searched as it is.
  if (selected.front().score < 1.0) {
    list.candidates.push_back(seekWordCandidate(word, index));
    place = 1;
    if (places < s.maxCandidates) ++places;
  }
  // Every selected hit gets a place, up to the places of the list; bounding by the number of
  // WKB hits instead would drop the last selected hit whenever the word itself leads.
  for (std::size_t j = 0; place < places && j < selected.size(); ++place, ++j) {
    list.candidates.push_back({word.c_str(),
                               index,
                               {},
                               selected[j].hit,
                               candidateKind::similarWord,
                               0.0f,
                               static_cast<float>(selected[j].score)});
  }
  return list;
}

void addCompoundParts(candidateList& list, const knowledgeBase* wkb) {
  const wordCandidate& first = list.candidates.front();
  if (first.kind != candidateKind::similarWord) return;
  // A lexicon entry is not split. Only bytes above 'Z' count here, one higher than where the
  // selection and the candidate check see a lexicon entry.
  if (wordCandidate_features(first.wkbHit)[wordFeatures_lexiconMark] > 'Z') return;
  std::string parts[2];
  if (segment_word(first.word, wkb, &parts[0], &parts[1]) != 1) return;
  for (const std::string& part : parts) {
    knowledgeBaseResultList hits = knowledgeBase_find(wkb, part.c_str(), kCompoundPartHits);
    if (hits.empty()) continue;
    addCandidate(&hits.front(), part, list, 1.0, candidateKind::compoundPart);
  }
}

}  // namespace

std::vector<candidateList> buildCandidateLists(const std::vector<std::string>& words, const knowledgeBase* wkb,
                                               const wordAssociator* wa, const searchSettings& settings) {
  std::vector<candidateList> lists;
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::optional<candidateList> list = candidatesOf(words[i], static_cast<int32_t>(i), wkb, settings);
    if (list) lists.push_back(std::move(*list));
  }
  if (settings.splitCompounds) {
    for (candidateList& list : lists) addCompoundParts(list, wkb);
  }
  if (settings.associations) wordAssociations_add(lists, wkb, wa);
  return lists;
}
