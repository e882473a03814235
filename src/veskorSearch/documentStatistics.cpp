#include "veskorSearch/documentStatistics.h"

#include <algorithm>
#include <list>
#include <mutex>
#include <utility>

#include "veskorSearch/parseSentenceKey.h"

namespace {

// Knowledge bases whose statistics are kept; the one used longest ago makes room. A closed
// knowledge base's statistics stay until then, but a stamp is never reused, so they are never
// taken for another's.
constexpr std::size_t kKeptKnowledgeBases = 8;

struct keptStatistics {
  const knowledgeBase* akb;
  std::shared_ptr<const documentStatistics> statistics;
};

std::mutex keptMutex;
std::list<keptStatistics> kept;  // most recently used first

bool isCurrent(const documentStatistics& s, const knowledgeBase* akb) {
  // The index count guards against a change that did not renew the stamp.
  return s.generation == knowledgeBase_getGeneration(akb) && s.indexCount == knowledgeBase_getIndexCount(akb);
}

}  // namespace

int32_t documentStatistics::frequencyOf(std::string_view storedWord) const {
  auto at = documentFrequency.find(std::string(storedWord));
  return at != documentFrequency.end() ? at->second : -1;
}

documentStatistics documentStatistics_derive(const knowledgeBase* akb) {
  documentStatistics s;
  s.generation = knowledgeBase_getGeneration(akb);
  s.indexCount = knowledgeBase_getIndexCount(akb);
  s.documentOfEntry.assign(static_cast<std::size_t>(s.indexCount), -1);
  std::unordered_map<std::string, int32_t> numberOf;
  sentenceRecord record;
  for (int32_t i = 0; i < s.indexCount; ++i) {
    const char* key = knowledgeBase_getPrimaryKey(akb, i);
    if (key == nullptr || parseSentenceKey(key, &record) == 0) continue;
    auto [at, isNew] = numberOf.try_emplace(record.documentKey, static_cast<int32_t>(numberOf.size()));
    s.documentOfEntry[static_cast<std::size_t>(i)] = at->second;
  }
  s.length.assign(numberOf.size(), 0.0f);
  // Per document, the last word that counted it, so that a word counts a document once.
  std::vector<int32_t> lastWord(numberOf.size(), -1);
  int32_t word = 0;
  knowledgeBase_forEachFeature(akb, [&](const char* feature, std::span<const int32_t> entries) {
    int32_t documents = 0;
    for (int32_t index : entries) {
      int32_t d = s.documentOf(index);
      if (d < 0 || !knowledgeBase_isValidEntry(akb, index)) continue;
      s.length[static_cast<std::size_t>(d)] += 1;
      if (lastWord[static_cast<std::size_t>(d)] != word) {
        lastWord[static_cast<std::size_t>(d)] = word;
        ++documents;
      }
    }
    if (documents > 0) s.documentFrequency.emplace(feature, documents);
    ++word;
  });
  double total = 0;
  for (float l : s.length) total += l;
  s.averageLength = s.length.empty() ? 0 : total / static_cast<double>(s.length.size());
  return s;
}

std::shared_ptr<const documentStatistics> documentStatistics_of(const knowledgeBase* akb) {
  // Deriving under the lock makes searches that need the same statistics wait for one
  // derivation instead of each doing it.
  std::lock_guard<std::mutex> lock(keptMutex);
  for (auto it = kept.begin(); it != kept.end(); ++it) {
    if (it->akb != akb) continue;
    if (isCurrent(*it->statistics, akb)) {
      kept.splice(kept.begin(), kept, it);
      return kept.front().statistics;
    }
    kept.erase(it);
    break;
  }
  auto derived = std::make_shared<const documentStatistics>(documentStatistics_derive(akb));
  kept.push_front({akb, derived});
  if (kept.size() > kKeptKnowledgeBases) kept.pop_back();
  return derived;
}
