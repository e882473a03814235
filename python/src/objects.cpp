#include "objects.h"

#include <unistd.h>
#include <veskor/veskorAPI.h>
#include <veskor/veskorExt.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "engine.h"
#include "hits.h"

namespace py = pybind11;

namespace veskorpy {
namespace {

// Every object still open, in the order opened. Changed only with the GIL held.
std::vector<std::shared_ptr<OpenObject>>& openObjects() {
  // Never destroyed: the interpreter may still release handles while the process exits.
  static auto* objects = new std::vector<std::shared_ptr<OpenObject>>;
  return *objects;
}

void forget(const OpenObject* object) {
  auto& objects = openObjects();
  for (auto it = objects.begin(); it != objects.end(); ++it) {
    if (it->get() == object) {
      objects.erase(it);
      return;
    }
  }
}

// Registry names are the package's business, never the user's: a prefix the package alone uses,
// the kind and a number unique in the process.
std::string newName(const char* kind) {
  static unsigned long long counter = 0;  // the GIL guards it
  return std::string("veskor.py.") + kind + "." + std::to_string(++counter);
}

// Opens a file in the engine under a new name and lists the handle as open.
template <class T>
std::shared_ptr<T> openObject(py::handle path, OpenObject::Kind kind, const char* kindName,
                              int (*openFile)(int, const char*, const char*), int (*closeName)(int, const char*)) {
  const std::string file = fileName(path, "path");
  const int id = connection();
  const std::string name = newName(kindName);
  const int status = withoutGil([&] { return openFile(id, file.c_str(), name.c_str()); });
  check(id, status);
  try {
    auto object = std::make_shared<T>(kind, name, file);
    openObjects().push_back(object);
    return object;
  } catch (...) {
    closeName(id, name.c_str());
    throw;
  }
}

// The engine's status for an object it does not know under the name given.
int unknownNameStatus(OpenObject::Kind kind) {
  return kind == OpenObject::Kind::knowledgeBase ? VESKOR_ERROR_KBNAME : VESKOR_ERROR_WANAME;
}

// Runs a find function without the GIL; null comes back with the thread's latest status. The
// finds with texts name themselves in their messages, while this package has always reported the
// classic functions' messages, which callers may match: on failure the classic call (same checks,
// in the same order) is made too, and its failure becomes the thread's latest error.
template <class List, class Find, class Classic>
std::pair<List*, int> runFind(int connection, Find&& find, Classic&& classic) {
  return withoutGil([&] {
    List* list = find();
    if (list != nullptr) return std::pair<List*, int>(list, 0);
    classic();
    return std::pair<List*, int>(nullptr, veskorGetLatestErrorCode(connection));
  });
}

void addNote(py::error_already_set& error, const std::string& note) {
  py::object value = error.value();
  if (py::hasattr(value, "add_note")) value.attr("add_note")(note);
}

// One (key, text) pair of add_many, converted for the engine; the objects are held so that their
// buffers stay valid while the engine reads them without the GIL.
struct PendingEntry {
  py::object keyObject, textObject;
  EngineText key, text;
};

PendingEntry pendingEntry(py::handle pair, OnUnencodable onUnencodable) {
  if (!PyTuple_Check(pair.ptr()) && !PyList_Check(pair.ptr())) {
    throw py::type_error(std::string("each item must be a (key, text) pair, not ") + Py_TYPE(pair.ptr())->tp_name);
  }
  py::sequence sequence = py::reinterpret_borrow<py::sequence>(pair);
  if (sequence.size() != 2) {
    throw py::type_error("each item must be a (key, text) pair, not a sequence of " +
                         std::to_string(sequence.size()));
  }
  PendingEntry entry;
  entry.keyObject = sequence[0];
  entry.textObject = sequence[1];
  entry.key = EngineText(entry.keyObject, onUnencodable, "key");
  entry.text = EngineText(entry.textObject, onUnencodable, "text");
  return entry;
}

}  // namespace

void classicFindEntry(int connection, const char* wkb, const char* akb, const char* wa, int maxHits,
                      int associationMode, int splitCompounds, const char* seekText) {
  veskorFreeSearchHits(connection, veskorFindEntry(connection, wkb, akb, wa, maxHits, associationMode,
                                                   splitCompounds, seekText));
}

// n as the engine's int; a value beyond int becomes 0, which the engine refuses with its own status.
int numberOfHits(py::handle n) {
  if (!PyLong_Check(n.ptr())) throw py::type_error(std::string("n must be int, not ") + Py_TYPE(n.ptr())->tp_name);
  int overflow = 0;
  const long long value = PyLong_AsLongLongAndOverflow(n.ptr(), &overflow);
  if (value == -1 && PyErr_Occurred()) throw py::error_already_set();
  if (overflow != 0 || value < INT_MIN || value > INT_MAX) return 0;
  return static_cast<int>(value);
}

// ---- OpenObject -------------------------------------------------------------------------------

OpenObject::OpenObject(Kind kind, std::string name, std::string path)
    : kind_(kind), name_(std::move(name)), path_(std::move(path)), owner_(getpid()) {}

OpenObject::~OpenObject() = default;

bool OpenObject::inherited() const { return owner_ != getpid(); }

void OpenObject::requireOpen() const {
  if (!isOpen()) {
    raiseError(unknownNameStatus(kind_), kind_ == Kind::knowledgeBase ? "the knowledge base is closed"
                                                                       : "the word associator is closed");
  }
}

int OpenObject::use() const {
  requireOpen();
  return connection();
}

void OpenObject::save() {
  const int id = use();
  const uint64_t changes = changes_.load();
  const int status = withoutGil([&] {
    return kind_ == Kind::knowledgeBase ? veskorSaveKB(id, name_.c_str()) : veskorSaveWA(id, name_.c_str());
  });
  check(id, status);
  savedChanges_.store(changes);
}

void OpenObject::backup(py::handle path) {
  const std::string file = fileName(path, "path");
  const int id = use();
  const int status = withoutGil([&] {
    return kind_ == Kind::knowledgeBase ? veskorBackupKB(id, file.c_str(), name_.c_str())
                                        : veskorBackupWA(id, file.c_str(), name_.c_str());
  });
  check(id, status);
}

void OpenObject::close(bool saveChanges, bool force) {
  if (!isOpen()) return;
  if (saveChanges && changed() && (force || !inherited())) save();
  if (!open_.exchange(false)) return;
  // The caller holds this object (the Python handle, or closeAll's copy of the list).
  forget(this);
  const int id = connection();
  // Waits for calls of other threads that still use the object.
  const int status = withoutGil([&] {
    return kind_ == Kind::knowledgeBase ? veskorCloseKB(id, name_.c_str()) : veskorCloseWA(id, name_.c_str());
  });
  check(id, status);
}

void OpenObject::closeAll() {
  std::optional<py::error_already_set> first;
  // A copy: closing changes the list.
  const std::vector<std::shared_ptr<OpenObject>> objects = openObjects();
  for (const auto& object : objects) {
    try {
      object->close(true);
    } catch (py::error_already_set& error) {
      if (!first) first = error;
      try {
        object->close(false);
      } catch (py::error_already_set&) {
      }
    }
  }
  if (first) throw *first;
}

// ---- KnowledgeBase ------------------------------------------------------------------------------

std::shared_ptr<KnowledgeBase> KnowledgeBase::open(py::handle path) {
  return openObject<KnowledgeBase>(path, Kind::knowledgeBase, "kb", &veskorOpenKB, &veskorCloseKB);
}

void KnowledgeBase::add(py::handle key, py::handle entryText, py::handle words) {
  const int id = use();
  const EngineText engineKey = text(key, "key");
  const EngineText engineText = text(entryText, "text");
  const char* wkb = nameOf<KnowledgeBase>(words, "words", true);
  const int status = withoutGil(
      [&] { return veskorAddEntry(id, wkb, name().c_str(), engineKey.c_str(), engineText.c_str()); });
  check(id, status);
  noteChange();
}

std::size_t KnowledgeBase::addMany(py::handle pairs, py::handle words, bool skipInvalid) {
  // Large enough that taking the GIL back costs nothing against the adds, small enough that a
  // generator's items are not all held at once.
  constexpr std::size_t kChunk = 4096;
  const int id = use();
  const char* wkb = nameOf<KnowledgeBase>(words, "words", true);
  py::iterator items = py::iter(pairs);
  std::size_t added = 0, position = 0;
  std::vector<PendingEntry> chunk;
  chunk.reserve(kChunk);
  while (true) {
    // An item that cannot be read or converted ends the run after the items before it were added.
    std::optional<py::error_already_set> unreadable;
    chunk.clear();
    try {
      for (; chunk.size() < kChunk && items != py::iterator::sentinel(); ++items) {
        chunk.push_back(pendingEntry(*items, onUnencodable_));
      }
    } catch (py::error_already_set& error) {
      unreadable = error;
    }
    // Adds the chunk; the result is the failing status (or 0), the items passed and those added.
    const auto [status, passed, done] = withoutGil([&] {
      std::size_t stored = 0;
      for (std::size_t i = 0; i < chunk.size(); ++i) {
        const int result = veskorAddEntry(id, wkb, name().c_str(), chunk[i].key.c_str(), chunk[i].text.c_str());
        if (result == VESKOR_OK) {
          ++stored;
        } else if (!skipInvalid || (result != VESKOR_ERROR_ENTRY_NOT_VALID && result != VESKOR_ERROR_KEY_NOT_VALID)) {
          return std::tuple<int, std::size_t, std::size_t>(result, i, stored);
        }
      }
      return std::tuple<int, std::size_t, std::size_t>(VESKOR_OK, chunk.size(), stored);
    });
    if (done > 0) noteChange();
    added += done;
    position += passed;
    if (status != VESKOR_OK || unreadable) {
      const std::string note = "while adding item " + std::to_string(position) + " of the iterable";
      try {
        if (status != VESKOR_OK) raiseEngineError(id, status);
        throw *unreadable;
      } catch (py::error_already_set& error) {
        addNote(error, note);
        throw;
      }
    }
    if (chunk.size() < kChunk) return added;
    // Lets Ctrl-C end a long run between chunks; what was added stays.
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
  }
}

void KnowledgeBase::addDocument(py::handle key, py::handle documentText, py::handle words) {
  const int id = use();
  const EngineText engineKey = text(key, "key");
  const EngineText engineText = text(documentText, "text");
  const char* wkb = nameOf<KnowledgeBase>(words, "words", true);
  const int status = withoutGil(
      [&] { return veskorAddDocument(id, wkb, name().c_str(), engineKey.c_str(), engineText.c_str()); });
  check(id, status);
  noteChange();
}

int KnowledgeBase::deleteEntries(py::handle key) {
  const EngineText engineKey = text(key, "key");
  return countedDelete([&](int id) { return veskorDeleteEntry(id, name().c_str(), engineKey.c_str()); });
}

int KnowledgeBase::deleteDocument(py::handle key) {
  const EngineText engineKey = text(key, "key");
  return countedDelete([&](int id) { return veskorDeleteDocument(id, name().c_str(), engineKey.c_str()); });
}

// The engine does not say how many entries a delete took: the entry counts before and after tell.
template <class Delete>
int KnowledgeBase::countedDelete(Delete&& deleteCall) {
  const int id = use();
  veskorKBInfo before{}, after{};
  const int status = withoutGil([&] {
    int result = veskorGetKBInfo(id, name().c_str(), &before);
    if (result == VESKOR_OK) result = deleteCall(id);
    if (result == VESKOR_OK) result = veskorGetKBInfo(id, name().c_str(), &after);
    return result;
  });
  check(id, status);
  noteChange();
  return std::max(0, before.numberEntries - after.numberEntries);
}

py::tuple KnowledgeBase::info() const {
  const int id = use();
  veskorKBInfo info{};
  const int status = withoutGil([&] { return veskorGetKBInfo(id, name().c_str(), &info); });
  check(id, status);
  return py::make_tuple(info.language, info.encoding, info.entryInformation, info.featureType, info.kind,
                        info.numberEntries);
}

void KnowledgeBase::defragment() {
  const int id = use();
  const int status = withoutGil([&] { return veskorDefragmentKB(id, name().c_str()); });
  check(id, status);
  noteChange();
}

py::list KnowledgeBase::find(py::handle seekText, py::handle n, py::handle words, py::handle associator,
                             int associationMode, int splitCompounds) {
  const int id = use();
  const EngineText query = text(seekText, "text");
  const int hits = numberOfHits(n);
  const char* wkb = nameOf<KnowledgeBase>(words, "words", false);
  const char* wa = nameOf<WordAssociator>(associator, "associator", true);
  const auto [list, status] = runFind<veskorTextSearchHits>(
      id,
      [&] {
        return veskorFindEntryWithText(id, wkb, name().c_str(), wa, hits, associationMode, splitCompounds,
                                       query.c_str());
      },
      [&] { classicFindEntry(id, wkb, name().c_str(), wa, hits, associationMode, splitCompounds, query.c_str()); });
  if (list == nullptr) raiseEngineError(id, status);
  const TextSearchHits owned(list, TextSearchHitsFree{id});
  return entryHits(*list);
}

py::list KnowledgeBase::findDocuments(py::handle seekText, py::handle n, py::handle words,
                                      py::handle associator, int associationMode, int splitCompounds, int ranking) {
  const int id = use();
  const EngineText query = text(seekText, "text");
  const int hits = numberOfHits(n);
  const char* wkb = nameOf<KnowledgeBase>(words, "words", false);
  const char* wa = nameOf<WordAssociator>(associator, "associator", true);
  const auto [list, status] = runFind<veskorTextDocumentSearchHits>(
      id,
      [&] {
        const veskorDocumentSearchOptions options{ranking};
        return veskorFindDocumentWithOptions(id, wkb, name().c_str(), wa, hits, associationMode, splitCompounds,
                                             query.c_str(), &options);
      },
      [&] {
        veskorFreeDocumentSearchHits(id, veskorFindDocument(id, wkb, name().c_str(), wa, hits, associationMode,
                                                            splitCompounds, query.c_str()));
      });
  if (list == nullptr) raiseEngineError(id, status);
  const TextDocumentHits owned(list, TextDocumentHitsFree{id});
  return documentHits(*list);
}

py::list KnowledgeBase::compare(py::handle documentText, py::handle n, py::handle words, int ranking) {
  const int id = use();
  const EngineText document = text(documentText, "text");
  const int hits = numberOfHits(n);
  const char* wkb = nameOf<KnowledgeBase>(words, "words", false);
  const auto [list, status] = runFind<veskorTextDocumentSearchHits>(
      id,
      [&] {
        const veskorDocumentSearchOptions options{ranking};
        return veskorCompareDocumentWithOptions(id, wkb, name().c_str(), hits, document.c_str(), &options);
      },
      [&] {
        veskorFreeDocumentSearchHits(id, veskorCompareDocument(id, wkb, name().c_str(), hits, document.c_str()));
      });
  if (list == nullptr) raiseEngineError(id, status);
  const TextDocumentHits owned(list, TextDocumentHitsFree{id});
  return documentHits(*list);
}

// ---- WordAssociator and files -------------------------------------------------------------------

std::shared_ptr<WordAssociator> WordAssociator::open(py::handle path) {
  return openObject<WordAssociator>(path, Kind::wordAssociator, "wa", &veskorOpenWA, &veskorCloseWA);
}

void createKnowledgeBaseFile(py::handle path, int kind, bool storeTexts, bool phonetic) {
  const std::string file = fileName(path, "path");
  const int id = connection();
  if (!storeTexts && !phonetic) {
    const int forDocuments = kind == 1 ? 1 : 0;
    const int wordKind = kind == 2 ? 1 : 0;
    // Language 1: German, the only language the engine has.
    const int status = withoutGil([&] { return veskorCreateKBFile(id, file.c_str(), 1, forDocuments, wordKind); });
    check(id, status);
    return;
  }
  // The settings veskorCreateKBFile gives each kind, widened by the options.
  int encoding = VESKOR_ENCODING_UPPER_CASE | VESKOR_ENCODING_FRAMED;
  int entryInformation = VESKOR_ENTRY_KEY_REQUIRED;
  int featureType = 1;
  if (kind == 1) {
    encoding = VESKOR_ENCODING_UPPER_CASE;
    featureType = 2;
  } else if (kind == 2) {
    entryInformation |= VESKOR_ENTRY_TEXT_STORED | VESKOR_ENTRY_FEATURES_REQUIRED;
  }
  if (storeTexts) entryInformation |= VESKOR_ENTRY_TEXT_STORED;
  if (phonetic) encoding |= VESKOR_ENCODING_PHONETIC;
  createKnowledgeBaseFileWithSettings(path, 1, encoding, entryInformation, featureType);
}

void createKnowledgeBaseFileWithSettings(py::handle path, int language, int encoding, int entryInformation,
                                         int featureType) {
  const std::string file = fileName(path, "path");
  const int id = connection();
  const int status = withoutGil([&] {
    return veskorCreateKBFileWithSettings(id, file.c_str(), language, encoding, entryInformation, featureType);
  });
  check(id, status);
}

void removeKnowledgeBaseFile(py::handle path) {
  const std::string file = fileName(path, "path");
  const int id = connection();
  const int status = withoutGil([&] { return veskorRemoveKBFile(id, file.c_str()); });
  check(id, status);
}

}  // namespace veskorpy
