// A word associator's loader with one of its three files replaced by any bytes, the other two
// valid: VESKOR_FUZZ_PART 0 is the header file, 1 the network file, 2 the word table. A word
// associator it accepts must compute associations and save again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzzSupport.h"
#include "orlBasics/orlException.h"
#include "support/wordAssociatorFixture.h"
#include "veskorANN/wordAssociator.h"

#ifndef VESKOR_FUZZ_PART
#error "VESKOR_FUZZ_PART selects the file: 0 header, 1 network, 2 word table"
#endif

namespace {

const char* const kParts[] = {"", ".v1.net", ".v1.tab"};

// The valid files, written once from a small network with connections of both kinds.
const std::string& validFiles() {
  static const std::string name = [] {
    std::string n = veskorfuzz::scratchFile("valid");
    veskortest::WordAssociatorFixture fixture({"_HONIG_", "_IMKER_", "_BIENE_", "_WASSER_"});
    fixture.connect("_HONIG_", "_IMKER_", 9.0f);
    fixture.connect("_BIENE_", "_HONIG_", 4.0f);
    fixture.connect("_WASSER_", "_BIENE_", 2.0f, kAnnSynapseInhibitory);
    fixture.write(n);
    return n;
  }();
  return name;
}

void copyFile(const std::string& from, const std::string& to) {
  std::error_code ignored;
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ignored);
}

void exercise(const wordAssociator* wa) {
  orl::VectorPtr words(vector_create(sizeof(wordWeight), 4, 4));
  char* texts[] = {const_cast<char*>("_HONIG_"), const_cast<char*>("_BIENE_"),
                   const_cast<char*>("_UNBEKANNT_")};
  double weight = 1.0;
  for (char* text : texts) {
    wordWeight w{text, weight};
    weight /= 2;
    vector_appendElement(words.get(), &w);
  }
  orl::WordWeightsPtr associations(wordAssociator_computeAssociations(wa, words.get(), nullptr, 0));
  wordAssociator_saveAs(wa, veskorfuzz::scratchFile("saved").c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const std::string input = veskorfuzz::scratchFile("input");
  for (int part = 0; part < 3; ++part) {
    if (part == VESKOR_FUZZ_PART) {
      veskorfuzz::writeBytes(input + kParts[part], data, size);
    } else {
      copyFile(validFiles() + kParts[part], input + kParts[part]);
    }
  }
  orl::WordAssociatorPtr wa;
  try {
    wa.reset(wordAssociator_createFromFile(input.c_str()));
  } catch (const orl::Exception&) {
    return 0;  // refused: what a corrupt file must get
  }
  try {
    exercise(wa.get());
  } catch (const orl::Exception&) {
    // A network the loader cannot judge (a neuron type the computation refuses) fails here cleanly.
  }
  return 0;
}
