// Writes a small word associator (the engine cannot create one) for the tests of the C interface.
#include <cstdio>
#include <exception>
#include <filesystem>

#include "support/wordAssociatorFixture.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s file\n", argv[0]);
    return 2;
  }
  try {
    std::filesystem::create_directories(std::filesystem::path(argv[1]).parent_path());
    veskortest::WordAssociatorFixture fixture({"apfel", "birne", "kirsche"});
    fixture.connect("apfel", "birne", 9.0f);
    fixture.write(argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
