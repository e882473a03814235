// Writes a small word associator (the engine cannot create one) for the tests of the C interface
// and of the Python package. Without pairs it holds apfel, birne and kirsche with apfel linked to
// birne; with pairs FROM TO ... it holds their words (as the search looks them up, e.g. _AUTO_)
// with each FROM linked to its TO.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "support/wordAssociatorFixture.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc % 2 != 0) {
    std::fprintf(stderr, "usage: %s file [from to]...\n", argv[0]);
    return 2;
  }
  try {
    std::filesystem::create_directories(std::filesystem::path(argv[1]).parent_path());
    std::vector<std::string> words;
    for (int i = 2; i < argc; ++i) words.emplace_back(argv[i]);
    if (words.empty()) {
      veskortest::WordAssociatorFixture fixture({"apfel", "birne", "kirsche"});
      fixture.connect("apfel", "birne", 9.0f);
      fixture.write(argv[1]);
      return 0;
    }
    veskortest::WordAssociatorFixture fixture(words);
    for (std::size_t i = 0; i + 1 < words.size(); i += 2) fixture.connect(words[i], words[i + 1], 9.0f);
    fixture.write(argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
