#include "veskorSearch/wordAssociations.h"

#include <algorithm>
#include <string>

#include "orlBasics/orlText.h"
#include "veskorSearch/compoundWords.h"
#include "veskorSearch/wordFeatures.h"

namespace {

// A class byte at least this high puts a word into the waiting classes.
constexpr unsigned char kWaitingClassFrom = 0x4B;

bool isNounSide(associationClass c) {
  return c == associationClass::nounLike || c == associationClass::nounLikeWaiting;
}

bool isWaiting(associationClass c) {
  return c == associationClass::nounLikeWaiting || c == associationClass::verbLikeWaiting;
}

// A group is opened by one side; a word of the other side opens a new one, a waiting class leaves
// it open for the words that follow, a completing class sends it to the word associator.
struct wordGroup {
  bool open = false;
  bool waiting = false;
  bool ofNouns = false;
  std::vector<std::size_t> members;  // list indexes
};

bool opensNewGroup(const wordGroup& group, associationClass wordClass) {
  if (!group.open) return true;
  return group.ofNouns != isNounSide(wordClass);
}

std::string withoutUnderscores(const char* text) {
  std::string result;
  for (const char* c = text; *c != 0; ++c) {
    if (*c != '_') result.push_back(*c);
  }
  return result;
}

bool isBlank(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return orlIsSpace(static_cast<unsigned char>(c)); });
}

void addAssociatedWord(const knowledgeBase* wkb, const wordWeight& association, candidateList& list) {
  std::string word = withoutUnderscores(association.word);
  // The WKB cannot look up a word that has no text left; such an association is no candidate.
  if (isBlank(word)) return;
  knowledgeBaseResultList found = knowledgeBase_findByText(wkb, word.c_str(), 1);
  if (found.empty()) return;
  addCandidate(&found.front(), word, list, association.weight, candidateKind::associatedWord);
}

void sendGroup(const wordGroup& group, std::vector<candidateList>& lists, std::size_t completing,
               const knowledgeBase* wkb, const wordAssociator* wa) {
  orl::VectorPtr words(vector_create(sizeof(wordWeight), static_cast<int32_t>(group.members.size()), 4));
  for (std::size_t member : group.members) {
    const wordCandidate& first = lists[member].candidates.front();
    wordWeight w{first.wkbHit->text.get(), first.score};
    vector_appendElement(words.get(), &w);
  }
  orl::WordWeightsPtr associations(wordAssociator_computeAssociations(wa, words.get(), nullptr, 1));
  std::vector<const wordWeight*> byWeight;
  for (int32_t i = 0; i < vector_getNumberElements(associations.get()); ++i) {
    byWeight.push_back(&orl::vectorAt<wordWeight>(associations.get(), i));
  }
  std::stable_sort(byWeight.begin(), byWeight.end(),
                   [](const wordWeight* a, const wordWeight* b) { return a->weight > b->weight; });
  for (const wordWeight* association : byWeight) {
    if (association->weight > wordAssociations_minWeight && association->word != nullptr) {
      addAssociatedWord(wkb, *association, lists[completing]);
    }
  }
}

}  // namespace

associationClass wordAssociations_wordClass(const candidateList& list) {
  if (list.candidates.empty()) return associationClass::none;
  const knowledgeBaseSearchHit* hit = list.candidates.front().wkbHit;
  const unsigned char* f = wordCandidate_features(hit);
  if (f == nullptr || hit->text == nullptr) return associationClass::none;
  if (f[wordFeatures_thirdClass] >= kWaitingClassFrom) return associationClass::nounLikeWaiting;
  if (f[wordFeatures_fourthClass] >= kWaitingClassFrom) return associationClass::verbLikeWaiting;
  if (f[wordFeatures_class] >= 0x32) return associationClass::nounLike;
  if (f[wordFeatures_secondClass] > 0x31) return associationClass::verbLike;
  return associationClass::none;
}

void wordAssociations_add(std::vector<candidateList>& lists, const knowledgeBase* wkb, const wordAssociator* wa) {
  wordGroup group;
  for (std::size_t i = 0; i < lists.size(); ++i) {
    associationClass wordClass = wordAssociations_wordClass(lists[i]);
    if (wordClass == associationClass::none) {
      group = wordGroup{};
      continue;
    }
    if (opensNewGroup(group, wordClass)) {
      group = wordGroup{true, false, isNounSide(wordClass), {i}};
    } else if (group.waiting) {
      group.members.push_back(i);
    }
    if (isWaiting(wordClass)) {
      group.waiting = true;
    } else {
      sendGroup(group, lists, i, wkb, wa);
      group = wordGroup{};
    }
  }
}

double wordAssociations_scoreFactor(double weight) {
  if (weight <= 0.2) return 0;
  if (weight < 0.3) return 0.3;
  if (weight < 0.4) return 0.4;
  return weight * 0.5;
}
