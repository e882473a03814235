#include "veskorSearch/entryDocuments.h"

#include <list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "veskorSearch/parseSentenceKey.h"

namespace {

// Knowledge bases whose numbers are kept; the one used longest ago makes room. Stamps are never
// reused, so a closed knowledge base's numbers are never taken for another's.
constexpr std::size_t kKeptKnowledgeBases = 8;

struct kept {
  const knowledgeBase* akb;
  uint64_t indexGeneration;
  std::unordered_map<std::string, int32_t> numberOf;  // by document key; only touched under the lock
  std::unordered_map<std::string, int32_t> firstOf;   // first entry index by key; likewise
  std::shared_ptr<const entryDocuments> current;
};

std::mutex keptMutex;
std::list<kept> keptList;  // most recently used first

// Numbers the entries from the first one current does not cover up to the index count.
std::shared_ptr<const entryDocuments> extended(const knowledgeBase* akb, kept& k) {
  auto next = std::make_shared<entryDocuments>(k.current ? *k.current : entryDocuments{});
  const int32_t count = knowledgeBase_getIndexCount(akb);
  next->documentOf.reserve(static_cast<std::size_t>(count));
  next->firstWithKey.reserve(static_cast<std::size_t>(count));
  for (auto i = static_cast<int32_t>(next->documentOf.size()); i < count; ++i) {
    const char* key = knowledgeBase_getPrimaryKey(akb, i);
    next->firstWithKey.push_back(key != nullptr ? k.firstOf.try_emplace(key, i).first->second : -1);
    std::optional<std::string_view> document = key != nullptr ? sentenceKeyDocument(key) : std::nullopt;
    if (!document) {
      next->documentOf.push_back(-1);
      continue;
    }
    auto [at, isNew] = k.numberOf.try_emplace(std::string(*document), static_cast<int32_t>(k.numberOf.size()));
    next->documentOf.push_back(at->second);
  }
  next->numberDocuments = static_cast<int32_t>(k.numberOf.size());
  k.current = next;
  return next;
}

}  // namespace

std::shared_ptr<const entryDocuments> entryDocuments_of(const knowledgeBase* akb) {
  const uint64_t numbering = knowledgeBase_getIndexGeneration(akb);
  const auto count = static_cast<std::size_t>(knowledgeBase_getIndexCount(akb));
  std::lock_guard<std::mutex> lock(keptMutex);
  for (auto it = keptList.begin(); it != keptList.end(); ++it) {
    if (it->akb != akb) continue;
    keptList.splice(keptList.begin(), keptList, it);
    kept& k = keptList.front();
    if (k.current && k.indexGeneration == numbering && k.current->documentOf.size() <= count) {
      return k.current->documentOf.size() == count ? k.current : extended(akb, k);
    }
    keptList.pop_front();
    break;
  }
  keptList.push_front({akb, numbering, {}, {}, nullptr});
  if (keptList.size() > kKeptKnowledgeBases) keptList.pop_back();
  return extended(akb, keptList.front());
}
