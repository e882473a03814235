// The knowledge-base file: a "KBSE" record with the entry list and the feature space.
#include <algorithm>
#include <cstring>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "orlBasics/orlIO.h"
#include "orlBasics/orlMemory.h"
#include "veskorKernel/knowledgeBaseRecord.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::knowledgeBase;

[[noreturn]] void wrongFormat() {
  ORL_RAISE(kGroup, 10, "Falsches Dateiformat in knowledgeBase_createFromFile");
}

// The sections are read on their own; together they must describe one set of points.
void checkSectionsAgree(knowledgeBase* kb) {
  if (kb->entryList->numberSyntacticFeatures != knowledgeBase_numberSyntacticFeatures) wrongFormat();
  int32_t maxIndex = entryList_getMaxIndex(kb->entryList);
  if (kb->featureSpace->highestIndex > maxIndex) wrongFormat();
  // Entries without features are points too (deleting one marks it in the feature space).
  kb->featureSpace->highestIndex = maxIndex;
  // A hole stored in the file must not answer searches: its point is deleted, and the next save
  // writes the knowledge base without it.
  for (int32_t i = 0; i <= maxIndex; ++i) {
    if (entryList_isValidEntry(kb->entryList, i)) continue;
    featureSpace_deletePoint(kb->featureSpace, i);
    kb->modificationFlags |= knowledgeBase_defragmentationDue;
  }
}

void writeFile(const knowledgeBase* kb, orlStream* stream) {
  stream_writeChars(stream, "KBSE");
  stream_writeInt32(stream, kb->version);
  stream_writeInt32(stream, kb->encoding);
  stream_writeInt32(stream, kb->language);
  stream_writeInt32(stream, kb->entryInformation);
  stream_writeInt32(stream, kb->featureType);
  entryList_save(kb->entryList, stream);
  featureSpace_save(kb->featureSpace, stream);
}

}  // namespace

knowledgeBase* knowledgeBase_createFromFile(const char* pFileName) {
  if (pFileName == nullptr) ORL_RAISE(kGroup, 1, "pFileName == NULL in knowledgeBase_createFromFile");
  stream_removeStaleTemporaryFiles(pFileName);
  orl::StreamPtr stream(stream_createFileInputStream(pFileName));
  orl::OwnedText tag(stream_readChars(stream.get(), 4));
  if (tag == nullptr || std::memcmp(tag.get(), "KBSE", 4) != 0) wrongFormat();
  if (stream_readInt32(stream.get()) != 1) wrongFormat();
  orl::KnowledgeBasePtr kb(static_cast<knowledgeBase*>(orlMalloc(sizeof(knowledgeBase))));
  *kb = knowledgeBase{1, 0, 0, 0, 0, orlFileTime{}, nullptr, 0, nullptr, nullptr};
  kb->encoding = stream_readInt32(stream.get());
  kb->language = stream_readInt32(stream.get());
  kb->entryInformation = stream_readInt32(stream.get());
  kb->featureType = stream_readInt32(stream.get());
  kb->entryList = entryList_createFromStream(stream.get());
  kb->featureSpace = featureSpace_createFromStream(stream.get());
  checkSectionsAgree(kb.get());
  kb->generation = knowledgeBase_newGeneration();
  kb->indexGeneration = kb->generation;
  kb->fileName = orlStrdup(pFileName);
  if (!orlGetFileModificationTime(pFileName, &kb->lastSaveTime)) {
    ORL_RAISE(kGroup, 8, "Zustand der Datei ", pFileName, " kann nicht abgefragt werden in ",
              " knowledgeBase_createFromFile");
  }
  return kb.release();
}

void knowledgeBase_save(knowledgeBase* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in knowledgeBase_save");
  if (pThis->fileName == nullptr) ORL_RAISE(kGroup, 7, "pThis->fileName == NULL in knowledgeBase_save");
  stream_close(stream_createFileInputStream(pThis->fileName));  // the bound file must still be readable
  orlFileTime current;
  if (!orlGetFileModificationTime(pThis->fileName, &current)) {
    ORL_RAISE(kGroup, 8, "Zustand der Datei ", pThis->fileName,
              " kann nicht abgefragt werden in knowledgeBase_save");
  }
  if (!(current == pThis->lastSaveTime)) {
    ORL_RAISE(kGroup, 9, "Inkonsistenter Zeitpunkt der letzten Sicherung in knowledgeBase_save");
  }
  if (pThis->modificationFlags != 0) knowledgeBase_saveAs(pThis, pThis->fileName);
  pThis->modificationFlags = 0;
  if (!orlGetFileModificationTime(pThis->fileName, &current)) {
    ORL_RAISE(kGroup, 8, "Zustand der Datei ", pThis->fileName,
              " kann nicht abgefragt werden in knowledgeBase_save");
  }
  pThis->lastSaveTime = current;
}

void knowledgeBase_saveAs(knowledgeBase* pThis, const char* pFileName) {
  if (pThis == nullptr || pFileName == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pFileName == NULL in knowledgeBase_saveAs");
  }
  // Written to a temporary file that replaces the target only when complete: a failed save leaves
  // the previous file as it was.
  orl::StreamPtr stream(stream_createAtomicFileOutputStream(pFileName));
  knowledgeBase_defragment(pThis);
  writeFile(pThis, stream.get());
  stream_commit(stream.get());
}
