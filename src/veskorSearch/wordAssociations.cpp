#include "veskorSearch/wordAssociations.h"

#include <algorithm>
#include <string>

#include "orlBasics/orlText.h"
#include "veskorSearch/compoundWords.h"

namespace {

// Groups pair a noun-like word class with a verb-like one: a group opened by one side waits for
// a word of the other. Classes 4 and 5 leave a group waiting, 1 and 2 complete it.
constexpr int kGroupOfNouns = 1;
constexpr int kGroupOfVerbs = 2;

struct wordGroup {
  bool open = false;
  bool waiting = false;
  int kind = 0;
  std::vector<std::size_t> members;  // list indexes
};

bool opensNewGroup(const wordGroup& group, int wordClass) {
  if (!group.open) return true;
  if (group.kind == kGroupOfNouns) return wordClass == 5 || wordClass == 2;
  return wordClass == 4 || wordClass == 1;
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
  orl::KnowledgeBaseResultListPtr found(knowledgeBase_findByText(wkb, word.c_str(), 1));
  if (knowledgeBaseResultList_getNumberElements(found.get()) == 0) return;
  addCandidate(knowledgeBaseResultList_getElement(found.get(), 0), word, list, association.weight,
               wordCandidate_associatedWord);
}

void sendGroup(const wordGroup& group, std::vector<candidateList>& lists, std::size_t completing,
               const knowledgeBase* wkb, const wordAssociator* wa) {
  orl::VectorPtr words(vector_create(sizeof(wordWeight), static_cast<int32_t>(group.members.size()), 4));
  for (std::size_t member : group.members) {
    const wordCandidate& first = lists[member].candidates.front();
    wordWeight w{first.wkbHit->text, first.score};
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

int wordAssociations_wordClass(const candidateList& list) {
  if (list.candidates.empty()) return wordClass_none;
  const knowledgeBaseSearchHit* hit = list.candidates.front().wkbHit;
  const unsigned char* f = wordCandidate_features(hit);
  if (f == nullptr || hit->text == nullptr) return wordClass_none;
  if (f[3] >= 0x4B) return 4;
  if (f[4] >= 0x4B) return 5;
  if (f[0] >= 0x32) return 1;
  if (f[1] > 0x31) return 2;
  return wordClass_none;
}

void wordAssociations_add(std::vector<candidateList>& lists, const knowledgeBase* wkb, const wordAssociator* wa) {
  wordGroup group;
  for (std::size_t i = 0; i < lists.size(); ++i) {
    int wordClass = wordAssociations_wordClass(lists[i]);
    if (wordClass == wordClass_none) {
      group = wordGroup{};
      continue;
    }
    if (opensNewGroup(group, wordClass)) {
      group = wordGroup{true, false, wordClass == 4 || wordClass == 1 ? kGroupOfNouns : kGroupOfVerbs, {i}};
    } else if (group.waiting) {
      group.members.push_back(i);
    }
    if (wordClass == 4 || wordClass == 5) {
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
