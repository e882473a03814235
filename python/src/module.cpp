// veskor._core: the engine binding under the Python package veskor. The package's modules wrap it;
// nothing here is meant to be used directly.
#include <pybind11/pybind11.h>
#include <veskor/veskorAPI.h>

#include "../../tools/common/shardManifest.h"
#include "../../tools/common/shardMerge.h"
#include "batch.h"
#include "engine.h"
#include "hits.h"
#include "objects.h"

namespace py = pybind11;
using namespace veskorpy;

namespace {

const char* errorsName(OnUnencodable value) { return value == OnUnencodable::raise ? "strict" : "replace"; }

void defineObjectClasses(py::module_& m) {
  py::class_<OpenObject, std::shared_ptr<OpenObject>>(m, "OpenObject",
                                                      "An object the engine holds open under a hidden name.")
      .def_property_readonly("name", &OpenObject::name, "the engine's registry name")
      .def_property_readonly(
          "path", [](const OpenObject& object) { return py::bytes(object.path()); }, "the absolute file name")
      .def_property_readonly("closed", [](const OpenObject& object) { return !object.isOpen(); })
      .def_property_readonly("changed", &OpenObject::changed, "changed since it was opened or last saved")
      .def_property_readonly("inherited", &OpenObject::inherited, "opened by the process that forked this one")
      .def("require_open", &OpenObject::requireOpen)
      .def("save", &OpenObject::save)
      .def("backup", &OpenObject::backup, py::arg("path"))
      .def("close", &OpenObject::close, py::arg("save"), py::arg("force") = false);

  py::class_<KnowledgeBase, OpenObject, std::shared_ptr<KnowledgeBase>>(m, "KnowledgeBaseHandle")
      .def_static("open", &KnowledgeBase::open, py::arg("path"))
      .def_property(
          "errors", [](const KnowledgeBase& kb) { return errorsName(kb.onUnencodable()); },
          [](KnowledgeBase& kb, py::handle errors) { kb.setOnUnencodable(parseErrors(errors)); })
      .def("add", &KnowledgeBase::add)
      .def("add_many", &KnowledgeBase::addMany)
      .def("add_document", &KnowledgeBase::addDocument)
      .def("delete", &KnowledgeBase::deleteEntries)
      .def("delete_document", &KnowledgeBase::deleteDocument)
      .def("defragment", &KnowledgeBase::defragment)
      .def("info", &KnowledgeBase::info)
      .def("find", &KnowledgeBase::find)
      .def("find_documents", &KnowledgeBase::findDocuments)
      .def("compare", &KnowledgeBase::compare);

  py::class_<WordAssociator, OpenObject, std::shared_ptr<WordAssociator>>(m, "WordAssociatorHandle")
      .def_static("open", &WordAssociator::open, py::arg("path"));
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "The engine binding of the veskor package (internal).";
  m.attr("MAX_HITS") = VESKOR_MAX_NUMBER_RESULTS;
  defineResultTypes(m);
  defineObjectClasses(m);
  m.def("create_kb_file", &createKnowledgeBaseFile, py::arg("path"), py::arg("kind"), py::arg("store_texts") = false,
        py::arg("phonetic") = false);
  m.def("create_kb_file_with_settings", &createKnowledgeBaseFileWithSettings, py::arg("path"), py::arg("language"),
        py::arg("encoding"), py::arg("entry_information"), py::arg("feature_type"));
  m.def("find_many", &findMany);
  m.def("merge_hits", &mergeHits, py::arg("lists"), py::arg("n"));
  m.def("shard_file_name", &veskorshards::shardFileName, py::arg("shard"), py::arg("count"));
  m.def("shard_start", &veskorshards::shardStart, py::arg("total"), py::arg("shards"), py::arg("shard"));
  m.def("read_shard_manifest", &readShardManifest, py::arg("directory"));
  m.def("write_shard_manifest", &writeShardManifest, py::arg("directory"), py::arg("manifest"));
  m.def("remove_kb_file", &removeKnowledgeBaseFile, py::arg("path"));
  m.def("close_all", &OpenObject::closeAll, "Closes every open object, saving those this process changed.");
  m.def("shutdown", &shutdownEngine, "Cleans the engine up if this package initialised it; returns its status.");
  m.def("is_shut_down", &engineShutDown);
  m.def("before_fork", &beforeFork);
  m.def("after_fork_in_parent", &afterForkInParent);
  m.def("after_fork_in_child", &afterForkInChild);
}
