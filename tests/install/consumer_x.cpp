// A program built against an installed Veskor's object layer: creates a knowledge base in the
// directory given as argument, adds three entries, searches with a misspelt query.
#include <veskor/veskorx.hpp>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  try {
    const std::string path = std::string(argv[1]) + "/consumer_x.kb";
    const auto engine = veskorx::Engine::create();
    engine->Initialize();
    engine->AKBCreate(path);
    const auto akb = engine->AKBLoad(path);
    akb->Insert("1", "Hamburg");
    akb->Insert("2", "Augsburg");
    akb->Insert("3", "Bamberg");
    const auto hits = akb->Find("Hamborg");
    for (const auto& hit : *hits) std::printf("%s %.4f\n", hit->Key().c_str(), hit->Confidence());
    return hits->Count() > 0 && hits->Item(1)->Key() == "1" ? 0 : 1;
  } catch (const veskorx::Error& error) {
    std::fprintf(stderr, "%s failed: %s\n", error.source().c_str(), error.description().c_str());
    return 1;
  }
}
