// The records a search returns: Hit, DocumentHit and Sentence. They are named tuples of the C
// library's kind (like os.stat_result): cheap to build from C++, unpackable, comparable, picklable.
// Hit and Sentence carry a `text` attribute outside the tuple (so the records unpack as before): the
// entry's stored text, or None where the knowledge base keeps no texts.
#pragma once

#include <pybind11/pybind11.h>
#include <veskor/veskorAPI.h>
#include <veskor/veskorExt.h>

namespace veskorpy {

// Creates the three types and adds them to the module.
void defineResultTypes(pybind11::module_& module);

// The engine's lists as Python lists, best first.
pybind11::object entryHit(const veskorTextSearchHit& hit);
pybind11::list entryHits(const veskorTextSearchHits& hits);
pybind11::list documentHits(const veskorTextDocumentSearchHits& hits);

}  // namespace veskorpy
