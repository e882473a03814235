// Searching many seek texts in one call: the texts are converted with the GIL, then searched on
// several threads without it, in one or several knowledge bases (the shards of a sharded one, whose
// answers are merged into one ranking), and the hits built with the GIL again.
#pragma once

#include <pybind11/pybind11.h>

namespace veskorpy {

// kbs: a sequence of KnowledgeBaseHandle (one, or the shards in order); queries: an iterable of
// str or bytes; words, associator, associationMode and splitCompounds as for find; threads: None
// (one per core) or a positive int. Returns one list of Hit per query, in order. The first query
// that fails (in input order) raises, with a note naming it.
pybind11::list findMany(pybind11::handle kbs, pybind11::handle queries, pybind11::handle n, pybind11::handle words,
                        pybind11::handle associator, int associationMode, int splitCompounds,
                        pybind11::handle threads);

// The best n of several hit lists (each best first: any records whose item 1 is the confidence,
// Hit or DocumentHit), ranked as one knowledge base of the lists' entries in list order would rank.
pybind11::list mergeHits(pybind11::handle lists, pybind11::handle n);

// The manifest of a sharded knowledge base in directory as a dict (kind, settings, shards, words),
// checked; and written back safely. A bad manifest raises veskor.FormatError.
pybind11::dict readShardManifest(pybind11::handle directory);
void writeShardManifest(pybind11::handle directory, pybind11::handle manifest);

}  // namespace veskorpy
