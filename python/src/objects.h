// Knowledge bases and word associators held open in the engine under generated registry names.
//
// The Python classes in veskor/_objects.py wrap these handles. A handle knows whether it is open,
// whether its object changed since the last save, and which process opened it: after os.fork the
// child inherits the engine's copies, but the files belong to the parent, so the child never saves
// an inherited object unless asked to. Every open handle is listed, so that interpreter exit can
// close what the program left open. Handles are created and closed with the GIL held.
#pragma once

#include <pybind11/pybind11.h>
#include <sys/types.h>
#include <veskor/veskorExt.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "text.h"

namespace veskorpy {

class OpenObject {
 public:
  enum class Kind { knowledgeBase, wordAssociator };

  OpenObject(Kind kind, std::string name, std::string path);
  virtual ~OpenObject();
  OpenObject(const OpenObject&) = delete;
  OpenObject& operator=(const OpenObject&) = delete;

  Kind kind() const { return kind_; }
  const std::string& name() const { return name_; }
  // The absolute file name, as the file system names it.
  const std::string& path() const { return path_; }
  bool isOpen() const { return open_.load(); }
  // Opened by another process, which forked this one.
  bool inherited() const;
  bool changed() const { return changes_.load() != savedChanges_.load(); }

  // Raises veskor.ClosedError once the object is closed.
  void requireOpen() const;
  // Connection of the calling thread, after requireOpen().
  int use() const;

  void save();
  void backup(pybind11::handle path);
  // Saves first when saveChanges is set and the object changed (an inherited one only when
  // asked by force); a failing save leaves it open. Closing twice does nothing.
  void close(bool saveChanges, bool force = false);

  // Closes every object still open: saves those with changes that this process opened. Every
  // object is closed even when a save fails; the first failure is raised at the end.
  static void closeAll();

 protected:
  // Counts a completed change; saving records which count reached the file.
  void noteChange() { changes_.fetch_add(1); }

 private:
  const Kind kind_;
  const std::string name_;
  const std::string path_;
  const pid_t owner_;
  std::atomic<bool> open_{true};
  std::atomic<uint64_t> changes_{0};
  std::atomic<uint64_t> savedChanges_{0};
};

class KnowledgeBase : public OpenObject {
 public:
  static std::shared_ptr<KnowledgeBase> open(pybind11::handle path);

  using OpenObject::OpenObject;

  OnUnencodable onUnencodable() const { return onUnencodable_; }
  void setOnUnencodable(OnUnencodable value) { onUnencodable_ = value; }

  // words: another KnowledgeBase handle that collects the words, or None.
  void add(pybind11::handle key, pybind11::handle text, pybind11::handle words);
  // Any iterable of (key, text) pairs, added in order; returns how many were added. On a failure
  // the entries before it stay added, and the error notes which item failed. skipInvalid passes
  // over entries the engine refuses as invalid (key or text empty or too long) instead.
  std::size_t addMany(pybind11::handle pairs, pybind11::handle words, bool skipInvalid);
  void addDocument(pybind11::handle key, pybind11::handle text, pybind11::handle words);
  // Both return how many entries went.
  int deleteEntries(pybind11::handle key);
  int deleteDocument(pybind11::handle key);
  void defragment();
  // (language, encoding, entry information, feature type, kind, entries): veskorGetKBInfo.
  pybind11::tuple info() const;

  // words: a KnowledgeBase handle (required by the engine; the package supplies an empty one),
  // associator: a WordAssociator handle or None.
  pybind11::list find(pybind11::handle text, pybind11::handle n, pybind11::handle words,
                      pybind11::handle associator, int associationMode, int splitCompounds);
  // ranking: a VESKOR_RANKING_* value.
  pybind11::list findDocuments(pybind11::handle text, pybind11::handle n, pybind11::handle words,
                               pybind11::handle associator, int associationMode, int splitCompounds, int ranking);
  pybind11::list compare(pybind11::handle text, pybind11::handle n, pybind11::handle words, int ranking);

  // A text argument in the engine's form, under this knowledge base's errors setting.
  EngineText text(pybind11::handle value, const char* what) const { return {value, onUnencodable_, what}; }

 private:
  template <class Delete>
  int countedDelete(Delete&& deleteCall);

  OnUnencodable onUnencodable_ = OnUnencodable::raise;
};

class WordAssociator : public OpenObject {
 public:
  static std::shared_ptr<WordAssociator> open(pybind11::handle path);

  using OpenObject::OpenObject;
};

// After veskorFindEntryWithText failed: the same search through veskorFindEntry, so that the
// thread's latest error is the classic function's (its message names it), as this package has
// always reported. Call without the GIL.
void classicFindEntry(int connection, const char* wkb, const char* akb, const char* wa, int maxHits,
                      int associationMode, int splitCompounds, const char* seekText);

// n as the engine's int; a value beyond int becomes 0, which the engine refuses with its own status.
int numberOfHits(pybind11::handle n);

// The registry name of an open object passed as an argument; null for None when optional.
template <class T>
const char* nameOf(pybind11::handle object, const char* what, bool optional) {
  if (optional && object.is_none()) return nullptr;
  if (!pybind11::isinstance<T>(object)) {
    throw pybind11::type_error(std::string(what) + " has the wrong type: " + Py_TYPE(object.ptr())->tp_name);
  }
  const T& target = object.cast<const T&>();
  target.requireOpen();
  return target.name().c_str();
}

// Writes a new, empty knowledge-base file: kind 0 entries, 1 documents, 2 words; storeTexts keeps
// each entry's prepared text, phonetic cuts features from German phonetic codes.
void createKnowledgeBaseFile(pybind11::handle path, int kind, bool storeTexts, bool phonetic);
// The same with every setting given (those of veskorCreateKBFileWithSettings).
void createKnowledgeBaseFileWithSettings(pybind11::handle path, int language, int encoding, int entryInformation,
                                         int featureType);

// Owners of the engine's hit lists.
struct TextSearchHitsFree {
  int connection;
  void operator()(veskorTextSearchHits* hits) const { veskorFreeTextSearchHits(connection, hits); }
};
struct TextDocumentHitsFree {
  int connection;
  void operator()(veskorTextDocumentSearchHits* hits) const { veskorFreeTextDocumentSearchHits(connection, hits); }
};
using TextSearchHits = std::unique_ptr<veskorTextSearchHits, TextSearchHitsFree>;
using TextDocumentHits = std::unique_ptr<veskorTextDocumentSearchHits, TextDocumentHitsFree>;
// Deletes a knowledge-base file through the engine.
void removeKnowledgeBaseFile(pybind11::handle path);

}  // namespace veskorpy
