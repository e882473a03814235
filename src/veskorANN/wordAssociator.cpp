// Loading and saving a word associator's three files, and the translation of network statuses.
#include "veskorANN/wordAssociator.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"
#include "orlBasics/orlIO.h"

namespace {

constexpr int32_t kGroup = orl::errorGroup::wordAssociator;
constexpr int32_t kFormatVersion = 1;
constexpr int32_t kWordVectorStep = 1000;

#define CHECK_NETWORK_STATUS(status) wordAssociator_checkNetworkStatus((status), __LINE__)

void expectTag(orlStream* in, const char* tag) {
  orl::OwnedText read(stream_readChars(in, 4));
  if (std::memcmp(read.get(), tag, 4) != 0) {
    ORL_RAISE(kGroup, 9, "Falsches Dateiformat in wordAssociator_createFromFile()");
  }
}

void readHeaderFile(wordAssociator* wa, const char* fileName) {
  orl::StreamPtr in(stream_createFileInputStream(fileName));
  expectTag(in.get(), "WASE");
  wa->version = stream_readInt32(in.get());
  if (wa->version != kFormatVersion)
    ORL_RAISE(kGroup, 9, "Falsches Dateiformat in wordAssociator_createFromFile()");
  wa->headerValue = stream_readInt32(in.get());
}

void readWordTable(wordAssociator* wa, const char* fileName) {
  orl::StreamPtr in(stream_createFileInputStream(fileName));
  expectTag(in.get(), "WALT");
  int32_t numberWords = stream_readInt32(in.get());
  if (numberWords != annNetwork_getNumberNeurons(wa->network.get())) {
    ORL_RAISE(kGroup, 9, "Falsches Dateiformat in wordAssociator_createFromFile()");
  }
  for (int32_t i = 0; i < numberWords; ++i) {
    orl::OwnedText word(stream_readString(in.get()));
    char* text = word.get();
    vector_appendElement(wa->wordVector.get(), &text);
    word.release();
    // An empty word (read back as null) cannot be looked up. A word that occurs twice keeps the
    // neuron of its first occurrence in the table.
    if (text != nullptr) hash_alloc_insert(wa->lookupTable.get(), text, reinterpret_cast<void*>(intptr_t{i}));
  }
}

orlFileTime modificationTime(const char* fileName, const char* operation) {
  orlFileTime time;
  if (!orlGetFileModificationTime(fileName, &time)) {
    ORL_RAISE(kGroup, 7, "Zustand der Datei ", fileName, " kann nicht abgefragt werden in ", operation);
  }
  return time;
}

// Each writer leaves its file written and synced but not yet in place (see wordAssociator_saveAs).
orlStream* writeHeaderFile(const wordAssociator* wa, const char* fileName) {
  orl::StreamPtr out(stream_createAtomicFileOutputStream(fileName));
  wordAssociator_writeHeader(out.get(), wa->version, wa->headerValue);
  stream_sync(out.get());
  return out.release();
}

orlStream* writeWordTable(const wordAssociator* wa, const char* fileName) {
  orl::StreamPtr out(stream_createAtomicFileOutputStream(fileName));
  const int32_t numberWords = vector_getNumberElements(wa->wordVector.get());
  wordAssociator_writeWordTable(out.get(), numberWords,
                                static_cast<const char* const*>(wa->wordVector->buffer));
  stream_sync(out.get());
  return out.release();
}

}  // namespace

std::string wordAssociator_partFileName(const char* pFileName, int32_t pVersion, const char* pExtension) {
  return std::string(pFileName) + ".v" + std::to_string(pVersion) + "." + pExtension;
}

void wordAssociator_writeHeader(orlStream* pStream, int32_t pVersion, int32_t pHeaderValue) {
  stream_writeChars(pStream, "WASE");
  stream_writeInt32(pStream, pVersion);
  stream_writeInt32(pStream, pHeaderValue);
}

void wordAssociator_writeWordTable(orlStream* pStream, int32_t pNumberWords, const char* const* pWords) {
  stream_writeChars(pStream, "WALT");
  stream_writeInt32(pStream, pNumberWords);
  for (int32_t i = 0; i < pNumberWords; ++i) stream_writeString(pStream, pWords[i]);
}

wordAssociator::~wordAssociator() {
  if (wordVector) {
    for (int32_t i = 0; i < wordVector->numberElements; ++i)
      orlFree(orl::vectorAt<char*>(wordVector.get(), i));
  }
}

wordAssociator* wordAssociator_createFromFile(const char* pFileName) {
  if (pFileName == nullptr) ORL_RAISE(kGroup, 1, "pFileName == NULL in wordAssociator_createFromFile()");
  orl::WordAssociatorPtr wa(new wordAssociator);
  readHeaderFile(wa.get(), pFileName);
  for (const char* extension : {"net", "tab"}) {
    stream_removeStaleTemporaryFiles(wordAssociator_partFileName(pFileName, wa->version, extension).c_str());
  }
  stream_removeStaleTemporaryFiles(pFileName);
  wa->fileNameAssociator.reset(orlStrdup(pFileName));
  wa->fileTime = modificationTime(pFileName, "wordAssociator_createFromFile()");
  wa->modified = false;
  wordAssociator_createNciDefinitions(wa.get());
  annNetwork* network = nullptr;
  CHECK_NETWORK_STATUS(
      annNetwork_createFromFile(&network, wa->nciDefinitions.get(),
                                wordAssociator_partFileName(pFileName, wa->version, "net").c_str()));
  wa->network.reset(network);
  wa->sparseIndex.reset(annSparseIndex_create(wa->network.get(), 0));
  wordAssociator_createWordVector(wa.get());
  wordAssociator_createLookupTable(wa.get());
  readWordTable(wa.get(), wordAssociator_partFileName(pFileName, wa->version, "tab").c_str());
  return wa.release();
}

void wordAssociator_free(wordAssociator* pThis) noexcept {
  delete pThis;
}

void wordAssociator_save(wordAssociator* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in wordAssociator_save()");
  const char* fileName = pThis->fileNameAssociator.get();
  if (fileName == nullptr) ORL_RAISE(kGroup, 6, "pThis->fileNameAssociator == NULL in wordAssociator_save()");
  // A missing header file raises the stream's error.
  stream_close(stream_createFileInputStream(fileName));
  if (!(modificationTime(fileName, "wordAssociator_save()") == pThis->fileTime)) {
    ORL_RAISE(kGroup, 8, "Inkonsistenter Zeitpunkt der letzten Sicherung in wordAssociator_save()");
  }
  if (pThis->modified) wordAssociator_saveAs(pThis, fileName);
  pThis->modified = false;
  pThis->fileTime = modificationTime(fileName, "wordAssociator_save()");
}

void wordAssociator_saveAs(const wordAssociator* pThis, const char* pFileName) {
  if (pThis == nullptr || pFileName == nullptr) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pFileName == NULL in wordAssociator_saveAs()");
  }
  std::string networkName = wordAssociator_partFileName(pFileName, pThis->version, "net");
  std::string tableName = wordAssociator_partFileName(pFileName, pThis->version, "tab");
  // All three files are written before any of them replaces its predecessor: a failure (a full
  // disk, no memory) leaves the old three as they were. Only dying between the renames can mix them.
  orl::StreamPtr header(writeHeaderFile(pThis, pFileName));
  orlStream* written = nullptr;
  CHECK_NETWORK_STATUS(annNetwork_writeTemporary(pThis->network.get(), pThis->nciDefinitions.get(),
                                                 networkName.c_str(), &written));
  orl::StreamPtr network(written);
  orl::StreamPtr table(writeWordTable(pThis, tableName.c_str()));
  stream_commit(header.get());
  stream_commit(network.get());
  stream_commit(table.get());
}

nciDefinitions* wordAssociator_createNciDefinitions(wordAssociator* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in wordAssociator_createNciDefinitions()");
  int32_t status = kAnnOk;
  orl::NciDefinitionsPtr definitions(nciDefinitions_create(&status));
  CHECK_NETWORK_STATUS(status);
  pThis->nciDefinitions = std::move(definitions);
  return pThis->nciDefinitions.get();
}

vector* wordAssociator_createWordVector(wordAssociator* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in wordAssociator_createWordVector()");
  if (!pThis->network) {
    ORL_RAISE(kGroup, 3, "Kein Assoziativspeicher im Wortassoziierer in wordAssociator_createWordVector()");
  }
  pThis->wordVector.reset(
      vector_create(sizeof(char*), annNetwork_getNumberNeurons(pThis->network.get()), kWordVectorStep));
  return pThis->wordVector.get();
}

hash_t* wordAssociator_createLookupTable(wordAssociator* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in wordAssociator_createLookupTable()");
  // No size limit; null functions select text hashing and byte-wise comparison.
  pThis->lookupTable.reset(hash_create(static_cast<hashcount_t>(-1), nullptr, nullptr));
  return pThis->lookupTable.get();
}

void wordAssociator_checkNetworkStatus(int32_t pStatus, int32_t pLine) {
  switch (pStatus) {
    case kAnnOk:
      return;
    case kAnnCannotOpen:
      ORL_RAISE(orl::errorGroup::stream, 6, pStatus,
                ":Datei kann nicht ge\xF6"
                "ffnet werden in wordAssociator:",
                pLine);
    case kAnnWriteError:
      ORL_RAISE(orl::errorGroup::stream, 3, pStatus, ":Schreibfehler in wordAssociator:", pLine);
    case kAnnReadError:
      ORL_RAISE(orl::errorGroup::stream, 4, pStatus, ":Lesefehler in wordAssociator:", pLine);
    case kAnnGeneralFailure:
    case kNciOutOfMemory:
    case kAnnOutOfMemory:
      ORL_RAISE(orl::errorGroup::memory, 1, pStatus, ":Kein Speicher mehr in wordAssociator:", pLine);
    default:
      ORL_RAISE(kGroup, 2, pStatus, ":Allgemeiner Fehler in wordAssociator:", pLine);
  }
}
