// The engine, initialised once per fuzzing process, with a knowledge base of single entries, one of
// documents, a word knowledge base filled by both, and a word associator over some of its words.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzzSupport.h"
#include "support/wordAssociatorFixture.h"
#include "veskor/veskorAPI.h"

namespace veskorfuzz {

[[noreturn]] inline void fail(const char* what, int status) {
  std::fprintf(stderr, "fuzz set-up: %s gave %d\n", what, status);
  std::abort();
}

inline void check(int status, const char* what) {
  if (status != VESKOR_OK) fail(what, status);
}

// Opens the three knowledge bases (from new files) and the word associator; returns the connection.
inline int openEngine() {
  check(veskorInit(), "veskorInit");
  int c = -1;
  check(veskorOpenConnection(&c), "veskorOpenConnection");
  const char* entries[][2] = {{"ort1", "Aachen, Nordrhein-Westfalen"},
                              {"ort2", "Bad Kissingen, Bayern"},
                              {"str1",
                               "Hauptstra\xDF"
                               "e 5, 10115 Berlin"},
                              {"str2", "Gartenweg 3, 80331 M\xFCnchen"}};
  const char* documents[][2] = {
      {"bienen", "Ein Bienenvolk lebt im Stock. Aus dem Nektar entsteht der Honig. Der Imker erntet ihn."},
      {"brot", "Brot braucht Mehl, Wasser und Salz. Der Teig ruht eine Nacht. Im Ofen bekommt er Kruste."}};
  check(veskorCreateKBFile(c, scratchFile("entries.kb").c_str(), 1, 0, 0), "create entries");
  check(veskorCreateKBFile(c, scratchFile("documents.kb").c_str(), 1, 1, 0), "create documents");
  check(veskorCreateKBFile(c, scratchFile("words.kb").c_str(), 1, 0, 1), "create words");
  check(veskorOpenKB(c, scratchFile("entries.kb").c_str(), "akb"), "open entries");
  check(veskorOpenKB(c, scratchFile("documents.kb").c_str(), "dkb"), "open documents");
  check(veskorOpenKB(c, scratchFile("words.kb").c_str(), "wkb"), "open words");
  for (auto& e : entries) check(veskorAddEntry(c, "wkb", "akb", e[0], e[1]), "add entry");
  for (auto& d : documents) check(veskorAddDocument(c, "wkb", "dkb", d[0], d[1]), "add document");
  veskortest::WordAssociatorFixture wa({"_HONIG_", "_IMKER_", "_BIENENVOLK_", "_WASSER_", "_BROT_"});
  wa.connect("_HONIG_", "_IMKER_", 9.0f)
      .connect("_IMKER_", "_BIENENVOLK_", 5.0f)
      .connect("_BROT_", "_WASSER_", 3.0f);
  wa.write(scratchFile("wa"));
  check(veskorOpenWA(c, scratchFile("wa").c_str(), "wa"), "open word associator");
  return c;
}

}  // namespace veskorfuzz
