#include "veskorSearch/kbase_seekAndSort.h"

#include <algorithm>
#include <optional>
#include <string>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "veskorSearch/entryDocuments.h"
#include "veskorSearch/kbase_findinfo.h"
#include "veskorSearch/lengthAwareRanking.h"
#include "veskorSearch/reduceDocument.h"

namespace {

constexpr int32_t kCandidatesPerWord = 20;
// A compared document's words are searched only as they are.
constexpr int32_t kCandidatesPerComparedWord = 1;

}  // namespace

std::vector<documentResult> kbase_seekFileSorted(const char* text, const knowledgeBase* akb, const knowledgeBase* wkb,
                                                 const wordAssociator* wa, int32_t associationMode,
                                                 int32_t splitCompounds, int32_t numberDocuments, bool comparing,
                                                 documentRanking ranking) {
  if (text == nullptr || akb == nullptr)
    ORL_RAISE(orl::errorGroup::search, 1, "pSeekString == NULL || pAKB == NULL in kbase_seekFileSorted()");
  if (!knowledgeBase_getSettings(akb).holdsSentences())
    ORL_RAISE(orl::errorGroup::search, 2, "invalid feature type of akb in kbase_seekFileSorted()");
  int32_t numberLists = 0;
  std::shared_ptr<const documentStatistics> statistics;
  if (ranking == documentRanking::lengthAware) statistics = documentStatistics_of(akb);
  std::shared_ptr<const entryDocuments> numbers = entryDocuments_of(akb);
  std::optional<std::vector<sentenceHit>> sentences;
  if (comparing) {
    std::string reduced = reduceDocumentForComparison(text, akb);
    sentences = kbase_findInfo(reduced.c_str(), akb, nullptr, nullptr, 0, 0, kCandidatesPerComparedWord, &numberLists,
                               statistics.get(), numbers.get());
  } else {
    sentences = kbase_findInfo(text, akb, wkb, wa, associationMode, splitCompounds, kCandidatesPerWord, &numberLists,
                               statistics.get(), numbers.get());
  }
  if (!sentences || sentences->empty()) return {};
  if (statistics) return lengthAware_rankDocuments(*sentences, *statistics, numberDocuments);
  std::vector<documentHit> documents = groupSentenceHits(*sentences, *numbers);
  if (documents.empty()) return {};
  int32_t places = std::min(numberDocuments, static_cast<int32_t>(std::min<std::size_t>(documents.size(), INT32_MAX)));
  return rankDocuments(documents, *sentences, places);
}
