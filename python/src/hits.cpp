#include "hits.h"

#include "text.h"

namespace py = pybind11;

namespace veskorpy {
namespace {

PyStructSequence_Field gHitFields[] = {
    {"key", "the entry's primary key"},
    {"confidence", "similarity in (0, 1], higher is better"},
    {"text", "the entry's stored text (prepared: upper-cased, \"_\" framing), or None where the knowledge base keeps none"},
    {nullptr, nullptr},
};
PyStructSequence_Desc gHitDesc = {
    "veskor.Hit", "An entry found: Hit(key, confidence); best hits come first.", gHitFields, 2};

PyStructSequence_Field gSentenceFields[] = {
    {"offset", "where the sentence begins, in characters of the document as it was added"},
    {"length", "the sentence's length in characters"},
    {"score", "how well the sentence matched, 0 to 100"},
    {"text", "the sentence entry's stored text (its words, prepared), or None where the knowledge base keeps none"},
    {nullptr, nullptr},
};
PyStructSequence_Desc gSentenceDesc = {
    "veskor.Sentence",
    "A matching sentence of a document: Sentence(offset, length, score). document[offset:offset + length] "
    "is the sentence in the text that was added.",
    gSentenceFields, 3};

PyStructSequence_Field gDocumentHitFields[] = {
    {"key", "the document's key, as given to add_document"},
    {"confidence", "the document's score, higher is better"},
    {"sentences", "the matching sentences (a tuple of Sentence)"},
    {nullptr, nullptr},
};
PyStructSequence_Desc gDocumentHitDesc = {
    "veskor.DocumentHit", "A document found: DocumentHit(key, confidence, sentences); best documents come first.",
    gDocumentHitFields, 3};

// Owned for the life of the process: records may outlive the module's import state.
PyTypeObject* gHitType = nullptr;
PyTypeObject* gSentenceType = nullptr;
PyTypeObject* gDocumentHitType = nullptr;

PyTypeObject* makeType(PyStructSequence_Desc* desc) {
  PyTypeObject* type = PyStructSequence_NewType(desc);
  if (type == nullptr) throw py::error_already_set();
  return type;
}

// A new record of type whose fields are set one by one; a failure frees it.
class Record {
 public:
  explicit Record(PyTypeObject* type) : object_(PyStructSequence_New(type)) {
    if (object_ == nullptr) throw py::error_already_set();
  }
  ~Record() { Py_XDECREF(object_); }
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;

  void set(Py_ssize_t field, PyObject* value) {
    if (value == nullptr) throw py::error_already_set();
    PyStructSequence_SET_ITEM(object_, field, value);
  }
  void setNone(Py_ssize_t field) {
    Py_INCREF(Py_None);
    PyStructSequence_SET_ITEM(object_, field, Py_None);
  }
  PyObject* release() { return std::exchange(object_, nullptr); }

 private:
  PyObject* object_;
};

// A stored text as str; "" (the knowledge base keeps no texts) as None.
void setText(Record& record, Py_ssize_t field, const char* text) {
  if (text == nullptr || *text == '\0') {
    record.setNone(field);
  } else {
    record.set(field, fromLatin1(text).release().ptr());
  }
}

PyObject* sentences(const veskorTextDocumentSearchHit& document) {
  const int count = document.sentenceHits != nullptr ? document.numberSentenceHits : 0;
  py::tuple tuple(count);
  for (int i = 0; i < count; ++i) {
    const veskorTextSentenceSearchHit& hit = document.sentenceHits[i];
    Record sentence(gSentenceType);
    sentence.set(0, PyLong_FromLong(hit.offset));
    sentence.set(1, PyLong_FromLong(hit.length));
    sentence.set(2, PyFloat_FromDouble(hit.confidence));
    setText(sentence, 3, hit.text);
    PyTuple_SET_ITEM(tuple.ptr(), i, sentence.release());
  }
  return tuple.release().ptr();
}

}  // namespace

void defineResultTypes(py::module_& module) {
  if (gHitType == nullptr) {
    gHitType = makeType(&gHitDesc);
    gSentenceType = makeType(&gSentenceDesc);
    gDocumentHitType = makeType(&gDocumentHitDesc);
  }
  module.attr("Hit") = py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject*>(gHitType));
  module.attr("Sentence") = py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject*>(gSentenceType));
  module.attr("DocumentHit") = py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject*>(gDocumentHitType));
}

py::object entryHit(const veskorTextSearchHit& found) {
  Record hit(gHitType);
  hit.set(0, fromLatin1(found.primaryKey).release().ptr());
  hit.set(1, PyFloat_FromDouble(found.confidence));
  setText(hit, 2, found.text);
  return py::reinterpret_steal<py::object>(hit.release());
}

py::list entryHits(const veskorTextSearchHits& hits) {
  const int count = hits.hits != nullptr ? hits.numberHits : 0;
  py::list list(count);
  for (int i = 0; i < count; ++i) PyList_SET_ITEM(list.ptr(), i, entryHit(hits.hits[i]).release().ptr());
  return list;
}

py::list documentHits(const veskorTextDocumentSearchHits& hits) {
  const int count = hits.hits != nullptr ? hits.numberHits : 0;
  py::list list(count);
  for (int i = 0; i < count; ++i) {
    const veskorTextDocumentSearchHit& document = hits.hits[i];
    Record hit(gDocumentHitType);
    hit.set(0, fromLatin1(document.primaryKey).release().ptr());
    hit.set(1, PyFloat_FromDouble(document.confidence));
    hit.set(2, sentences(document));
    PyList_SET_ITEM(list.ptr(), i, hit.release());
  }
  return list;
}

}  // namespace veskorpy
