// The "FSPC" section of a knowledge-base file.
#include <algorithm>
#include <cstring>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "orlBasics/orlMemory.h"
#include "veskorKernel/featureIndex.h"
#include "veskorKernel/featureMembers.h"
#include "veskorKernel/featureRecord.h"
#include "veskorKernel/featureSpace.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::featureSpace;
// Text length and the four fields of an entry set: the least a stored feature takes.
constexpr int64_t kMinimumRecordBytes = 4 + 4 * 4;

[[noreturn]] void wrongFormat() {
  ORL_RAISE(kGroup, 3, "Falsches Dateiformat in featureSpace_createFromStream");
}

void readTag(orlStream* stream, const char* tag) {
  orl::OwnedText stored(stream_readChars(stream, 4));
  if (stored == nullptr || std::memcmp(stored.get(), tag, 4) != 0) wrongFormat();
}

void readFeature(featureSpace* space, orlStream* stream) {
  orl::OwnedText text(stream_readString(stream));
  if (text == nullptr) wrongFormat();
  veskorKernel::FeatureRecordPtr record(veskorKernel::featureRecord_create(text.get()));
  try {
    entrySet_load(&record->set, stream);
  } catch (const orl::Exception& e) {
    if (!orl::matches(e, {{orl::errorGroup::entrySet, 3}})) throw;
    wrongFormat();
  }
  space->index->reserveOneMore();
  if (hash_alloc_insert(space->features, record->text, record.get()) != 0)
    wrongFormat();  // feature stored twice
  space->index->insert(record.get());
  space->highestIndex = std::max(space->highestIndex, record.release()->set.indexMax);
}

}  // namespace

void featureSpace_save(const featureSpace* pThis, orlStream* pStream) {
  if (pThis == nullptr || pStream == nullptr)
    ORL_RAISE(kGroup, 1, "pThis == NULL || pStream == NULL in featureSpace_save");
  stream_writeChars(pStream, "FSPC");
  stream_writeInt32(pStream, pThis->version);
  stream_writeInt32(pStream, static_cast<int32_t>(hash_count(pThis->features)));
  hash_scan_t scan;
  hash_scan_begin(&scan, pThis->features);
  while (hnode_t* node = hash_scan_next(&scan)) {
    const auto* record = static_cast<const featureRecord*>(hnode_get(node));
    stream_writeString(pStream, record->text);
    entrySet_save(&record->set, pStream);
  }
}

featureSpace* featureSpace_createFromStream(orlStream* pStream) {
  if (pStream == nullptr) ORL_RAISE(kGroup, 1, "pStream == NULL in featureSpace_createFromStream");
  readTag(pStream, "FSPC");
  if (stream_readInt32(pStream) != 1) wrongFormat();
  int32_t count = stream_readInt32(pStream);
  if (count < 0 || count > stream_remainingBytes(pStream) / kMinimumRecordBytes) wrongFormat();
  orl::FeatureSpacePtr space(featureSpace_create());
  for (int32_t i = 0; i < count; ++i) readFeature(space.get(), pStream);
  hash_scan_t scan;
  hash_scan_begin(&scan, space->features);
  while (hnode_t* node = hash_scan_next(&scan)) {
    veskorKernel::featureMembers_rebuild(static_cast<featureRecord*>(hnode_get(node)), space->highestIndex);
  }
  return space.release();
}
