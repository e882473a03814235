// Writes the seed corpora of the fuzz targets: small valid files and texts, one directory per
// target. Run once: build-fuzz/bin/fuzz_write_seeds tests/fuzz/corpus (the files are kept in the
// repository beside the regression inputs of faults the fuzzers found).
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "orlBasics/orlException.h"
#include "support/wordAssociatorFixture.h"
#include "veskorKernel/knowledgeBase.h"
#include "veskorSearch/kbase_addfile.h"

namespace fs = std::filesystem;

namespace {

void writeText(const fs::path& file, const std::string& text) {
  std::FILE* out = std::fopen(file.c_str(), "wb");
  if (out == nullptr) throw std::runtime_error("cannot write " + file.string());
  std::fwrite(text.data(), 1, text.size(), out);
  std::fclose(out);
}

void knowledgeBases(const fs::path& dir) {
  {
    orl::KnowledgeBasePtr kb(knowledgeBase_create(1, 6, 2, 1));
    knowledgeBase_saveAs(kb.get(), (dir / "seed-empty.kb").c_str());
    knowledgeBase_addEntry(kb.get(), "ort1", "AACHEN, NORDRHEIN-WESTFALEN", nullptr, 0.0);
    knowledgeBase_addEntry(kb.get(), "str1",
                           "HAUPTSTRA\xDF"
                           "E 5, 10115 BERLIN",
                           nullptr, 0.0);
    knowledgeBase_addEntry(kb.get(), "str2", "GARTENWEG 3", nullptr, 0.0);
    knowledgeBase_deleteEntry(kb.get(), "str2", 2);
    knowledgeBase_saveAs(kb.get(), (dir / "seed-entries.kb").c_str());
  }
  {
    orl::KnowledgeBasePtr words(knowledgeBase_create(1, 6, 11, 1));
    orl::KnowledgeBasePtr documents(knowledgeBase_create(1, 2, 2, 2));
    kbase_addFile("bienen", "Ein Bienenvolk lebt im Stock. Aus dem Nektar entsteht der Honig.",
                  documents.get(), words.get());
    knowledgeBase_saveAs(documents.get(), (dir / "seed-documents.kb").c_str());
    knowledgeBase_saveAs(words.get(), (dir / "seed-words.kb").c_str());
  }
  // Phoneme codes and stored texts, as older files may have them.
  orl::KnowledgeBasePtr phonetic(knowledgeBase_create(1, 7, 15, 1));
  unsigned char features[knowledgeBase_numberSyntacticFeatures] = {1, 2, 3};
  knowledgeBase_addEntry(phonetic.get(), "k", "Meier M\xFCller Schmidt", features, 0.25);
  knowledgeBase_saveAs(phonetic.get(), (dir / "seed-phonetic.kb").c_str());
}

void wordAssociators(const fs::path& root) {
  veskortest::WordAssociatorFixture fixture({"_HONIG_", "_IMKER_", "_BIENE_", "_WASSER_"});
  fixture.connect("_HONIG_", "_IMKER_", 9.0f).connect("_BIENE_", "_HONIG_", 4.0f);
  fixture.connect("_WASSER_", "_BIENE_", 2.0f, kAnnSynapseInhibitory);
  fs::path scratch = fs::temp_directory_path() / "veskor-seeds";
  fs::create_directories(scratch);
  fixture.write((scratch / "wa").string());
  fs::copy_file(scratch / "wa", root / "fuzz_wa_header" / "seed-wa", fs::copy_options::overwrite_existing);
  fs::copy_file(scratch / "wa.v1.net", root / "fuzz_wa_network" / "seed-wa.v1.net",
                fs::copy_options::overwrite_existing);
  fs::copy_file(scratch / "wa.v1.tab", root / "fuzz_wa_words" / "seed-wa.v1.tab",
                fs::copy_options::overwrite_existing);
  fs::remove_all(scratch);
}

void texts(const fs::path& root) {
  const std::vector<std::string> documents = {
      "Ein Bienenvolk lebt im Stock. Aus dem Nektar entsteht der Honig. Der Imker erntet ihn im Sommer.",
      "Dr. M\xFCller kam am 3. Mai um 10.30 Uhr an! War das z.B. p\xFCnktlich? Ja.\n\nNeuer Absatz:\tmit "
      "Tab.",
      "Stra\xDF"
      "enbahnhaltestelle, Kaffeemaschinenentkalkung und \xC4pfel; \"Zitat\" (Klammer) - Strich.",
      "123 456. 7,5 % von 1.000 \x80 sind ... viel?!",
  };
  for (std::size_t i = 0; i < documents.size(); ++i) {
    writeText(root / "fuzz_add_document" / ("seed-" + std::to_string(i)), documents[i]);
  }
  // The first byte picks the function and options (see find_fuzz.cpp).
  const std::vector<std::string> seeks = {
      std::string("\x00", 1) + "Hauptstrasse Berlin",
      "\x05Honig vom Bienenvolk",
      "\x0EHonig Wasserschlauch",
      "\x13Im Sommer erntet der Imker den Honig aus dem Stock.",
      "\xF0M\xFCnchen Gartenweg 3",
      "\x0C"
      "Bienenvolkhonigimker",
  };
  for (std::size_t i = 0; i < seeks.size(); ++i)
    writeText(root / "fuzz_find" / ("seed-" + std::to_string(i)), seeks[i]);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s corpus-directory\n", argv[0]);
    return 2;
  }
  try {
    fs::path root = argv[1];
    for (const char* target : {"fuzz_kb_file", "fuzz_wa_header", "fuzz_wa_network", "fuzz_wa_words",
                               "fuzz_add_document", "fuzz_find"}) {
      fs::create_directories(root / target);
    }
    knowledgeBases(root / "fuzz_kb_file");
    wordAssociators(root);
    texts(root);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
