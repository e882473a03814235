#include "veskorAPI/textHitLists.h"

#include <cstring>

#include "orlBasics/orlMemory.h"

namespace {

const char* orEmpty(const char* text) {
  return text != nullptr ? text : "";
}

std::size_t bytesOf(const char* text) {
  return std::strlen(orEmpty(text)) + 1;
}

std::size_t alignedUp(std::size_t size, std::size_t alignment) {
  return (size + alignment - 1) / alignment * alignment;
}

// A block laid out as the list record, then arrays of hit records each at its alignment, then the
// texts. Offsets are reserved before the block exists; orlMalloc's alignment suits every record.
class listBlock {
 public:
  template <class T>
  std::size_t reserve(std::size_t count) {
    size_ = alignedUp(size_, alignof(T));
    std::size_t at = size_;
    size_ += count * sizeof(T);
    return at;
  }
  void reserveText(const char* text) { textBytes_ += bytesOf(text); }

  // Allocates the block; the texts go after the records.
  void allocate() {
    block_ = static_cast<char*>(orlMalloc(size_ + textBytes_));
    nextText_ = block_ + size_;
  }
  template <class T>
  T* at(std::size_t offset, std::size_t count) const {
    return count == 0 ? nullptr : reinterpret_cast<T*>(block_ + offset);
  }
  const char* putText(const char* text) {
    std::size_t length = bytesOf(text);
    char* copy = nextText_;
    std::memcpy(copy, orEmpty(text), length);
    nextText_ += length;
    return copy;
  }

 private:
  std::size_t size_ = 0;
  std::size_t textBytes_ = 0;
  char* block_ = nullptr;
  char* nextText_ = nullptr;
};

}  // namespace

std::size_t numberOfEntryHits(const std::optional<std::vector<findEntriesResult>>& results) {
  std::size_t count = 0;
  if (results) {
    while (count < results->size() && (*results)[count].confidence > 0) ++count;
  }
  return count;
}

veskorTextSearchHits* textEntryHitList(const std::optional<std::vector<findEntriesResult>>& results) {
  std::size_t count = numberOfEntryHits(results);
  listBlock block;
  std::size_t listAt = block.reserve<veskorTextSearchHits>(1);
  std::size_t hitsAt = block.reserve<veskorTextSearchHit>(count);
  for (std::size_t i = 0; i < count; ++i) {
    block.reserveText((*results)[i].primaryKey.get());
    block.reserveText((*results)[i].text.get());
  }
  block.allocate();
  auto* list = block.at<veskorTextSearchHits>(listAt, 1);
  *list = veskorTextSearchHits{static_cast<int>(count), block.at<veskorTextSearchHit>(hitsAt, count)};
  for (std::size_t i = 0; i < count; ++i) {
    const findEntriesResult& result = (*results)[i];
    const char* key = block.putText(result.primaryKey.get());
    list->hits[i] = veskorTextSearchHit{key, result.confidence, block.putText(result.text.get())};
  }
  return list;
}

veskorTextDocumentSearchHits* textDocumentHitList(const std::vector<documentResult>& documents) {
  listBlock block;
  std::size_t listAt = block.reserve<veskorTextDocumentSearchHits>(1);
  std::size_t hitsAt = block.reserve<veskorTextDocumentSearchHit>(documents.size());
  std::vector<std::size_t> sentencesAt;
  sentencesAt.reserve(documents.size());
  for (const documentResult& document : documents) {
    sentencesAt.push_back(block.reserve<veskorTextSentenceSearchHit>(document.sentences.size()));
    // A document without sentences has no key to give; it keeps "".
    block.reserveText(document.sentences.empty() ? nullptr : document.sentences.front().documentKey.c_str());
    for (const sentenceRecord& sentence : document.sentences) block.reserveText(sentence.text);
  }
  block.allocate();
  auto* list = block.at<veskorTextDocumentSearchHits>(listAt, 1);
  *list = veskorTextDocumentSearchHits{static_cast<int>(documents.size()),
                                       block.at<veskorTextDocumentSearchHit>(hitsAt, documents.size())};
  for (std::size_t d = 0; d < documents.size(); ++d) {
    const documentResult& document = documents[d];
    const char* key =
        block.putText(document.sentences.empty() ? nullptr : document.sentences.front().documentKey.c_str());
    auto* sentences = block.at<veskorTextSentenceSearchHit>(sentencesAt[d], document.sentences.size());
    for (std::size_t s = 0; s < document.sentences.size(); ++s) {
      const sentenceRecord& sentence = document.sentences[s];
      sentences[s] = veskorTextSentenceSearchHit{sentence.offset, sentence.length, sentence.score,
                                                 block.putText(sentence.text)};
    }
    list->hits[d] = veskorTextDocumentSearchHit{key, document.score,
                                                static_cast<int>(document.sentences.size()), sentences};
  }
  return list;
}
