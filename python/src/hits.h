// The records a search returns: Hit, DocumentHit and Sentence. They are named tuples of the C
// library's kind (like os.stat_result): cheap to build from C++, unpackable, comparable, picklable.
// Hit and Sentence carry a `text` attribute outside the tuple, None until the engine hands out the
// stored texts, so that it can be filled without changing how the records unpack.
#pragma once

#include <pybind11/pybind11.h>
#include <veskor/veskorAPI.h>

namespace veskorpy {

// Creates the three types and adds them to the module.
void defineResultTypes(pybind11::module_& module);

// The engine's lists as Python lists, best first.
pybind11::list entryHits(const veskorSearchHits& hits);
pybind11::list documentHits(const veskorDocumentSearchHits& hits);

}  // namespace veskorpy
