// The "ELST" section of a knowledge-base file.
#include <algorithm>
#include <cstring>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "orlBasics/orlMemory.h"
#include "veskorKernel/entryList.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::entryList;
// Key length, text length, byte count and value: the least a stored entry takes.
constexpr int64_t kMinimumRecordBytes = 4 + 4 + 4 + 8;

[[noreturn]] void wrongFormat() {
  ORL_RAISE(kGroup, 3, "Falsches Dateiformat in entryList_createFromStream");
}

void readTag(orlStream* stream, const char* tag) {
  orl::OwnedText stored(stream_readChars(stream, 4));
  if (stored == nullptr || std::memcmp(stored.get(), tag, 4) != 0) wrongFormat();
}

// A stored text: -1 is null, and unlike a plain string read, length 0 is the empty text. An entry
// added under the key "" keeps it; read back as null it would turn into a hole.
char* readStoredText(orlStream* stream) {
  int32_t length = stream_readInt32(stream);
  if (length == -1) return nullptr;
  if (length == 0) return orlStrdup("");
  return stream_readChars(stream, length);
}

void appendStoredEntry(entryList* list, orlStream* stream) {
  orl::OwnedText key(readStoredText(stream));
  orl::OwnedText text(readStoredText(stream));
  byteArray block = stream_readByteArray(stream);
  std::unique_ptr<unsigned char, orl::FreeWith<orlFree>> ownedBlock(block.bytes);
  double value = stream_readFloat64(stream);
  if (key == nullptr && text == nullptr) {
    ownedBlock.reset();
    value = 0.0;
  } else if (block.count != 0 && block.count != list->numberSyntacticFeatures) {
    // Hits copy numberSyntacticFeatures bytes from every block: a shorter one would be overrun.
    wrongFormat();
  }
  list->entries.push_back(entry{key.get(), text.get(), value, ownedBlock.get()});
  key.release();
  text.release();
  ownedBlock.release();
}

}  // namespace

void entryList_save(const entryList* pThis, orlStream* pStream) {
  if (pThis == nullptr || pStream == nullptr)
    ORL_RAISE(kGroup, 1, "pThis == NULL || pStream == NULL in entryList_save");
  stream_writeChars(pStream, "ELST");
  stream_writeInt32(pStream, pThis->version);
  stream_writeInt32(pStream, pThis->numberSyntacticFeatures);
  int32_t count = entryList_getMaxIndex(pThis) + 1;
  stream_writeInt32(pStream, count);
  for (int32_t i = 0; i < count; ++i) {
    const entry* e = entryList_getEntry(pThis, i);
    stream_writeString(pStream, e->primaryKey);
    stream_writeString(pStream, e->text);
    int32_t blockLength = e->syntacticFeatures != nullptr ? pThis->numberSyntacticFeatures : 0;
    stream_writeByteArray(pStream, blockLength, e->syntacticFeatures);
    stream_writeFloat64(pStream, e->value);
  }
}

entryList* entryList_createFromStream(orlStream* pStream) {
  if (pStream == nullptr) ORL_RAISE(kGroup, 1, "pStream == NULL in entryList_createFromStream");
  readTag(pStream, "ELST");
  if (stream_readInt32(pStream) != 1) wrongFormat();
  int32_t numberSyntacticFeatures = stream_readInt32(pStream);
  int32_t count = stream_readInt32(pStream);
  // A count the rest of the file cannot hold is refused before anything is allocated for it.
  if (numberSyntacticFeatures < 0 || count < 0 ||
      count > stream_remainingBytes(pStream) / kMinimumRecordBytes) {
    wrongFormat();
  }
  orl::EntryListPtr list(new entryList);
  list->numberSyntacticFeatures = numberSyntacticFeatures;
  // count is bounded by the bytes left, so reserving it cannot be a giant allocation.
  list->entries.reserve(static_cast<std::size_t>(count));
  for (int32_t i = 0; i < count; ++i) appendStoredEntry(list.get(), pStream);
  return list.release();
}
