#include "engine.h"

#include <cstdlib>
#include <system_error>

#include "failure.h"

namespace veskorcli {
namespace {

// The engine's read and write errors of its file streams (group 5000, codes 3 and 4).
constexpr int streamWriteError = 500003;
constexpr int streamReadError = 500004;

}  // namespace

int exitCodeForStatus(int status) {
  switch (status) {
    case VESKOR_ERROR_FILE:
    case VESKOR_ERROR_FILENAME:
    case VESKOR_ERROR_FILEFORMAT:
    case streamWriteError:
    case streamReadError:  // a file that ends too early
      return exitFile;
    default:
      return exitEngine;
  }
}

Engine::Engine(const TextCodec& codec, bool verbose) : codec_(codec), verbose_(verbose) {
  const int status = veskorInit();
  if (status != VESKOR_OK) {
    throw Failure(exitEngine,
                  "engine status " + std::to_string(status) + ": the engine could not be initialised");
  }
  const int connectionStatus = veskorOpenConnection(&connection_);
  if (connectionStatus != VESKOR_OK) {
    const std::string message = describe(connectionStatus);
    veskorCleanup();
    throw Failure(exitEngine, message);
  }
}

Engine::Engine(const Engine& initialised, AnotherConnection)
    : codec_(initialised.codec_), verbose_(initialised.verbose_), initialised_(false) {
  const int status = veskorOpenConnection(&connection_);
  if (status != VESKOR_OK) fail(status);
}

Engine::~Engine() {
  veskorCloseConnection(connection_);
  if (initialised_) veskorCleanup();
}

std::string Engine::describe(int status) const {
  return "engine status " + std::to_string(status) + ": " + latestMessage();
}

std::string Engine::latestMessage() const {
  std::string message;
  if (char* text = veskorGetLatestErrorMessage(connection_)) {
    message = text;
    std::free(text);
  }
  if (!verbose_) {
    // The engine ends its messages with the raising source position; users need it only to report bugs.
    const size_t suffix = message.find("\nin file \"");
    if (suffix != std::string::npos) message.erase(suffix);
  }
  // Messages are Latin-1, but may quote a file name that came in as UTF-8.
  if (codec_.encoding() == Encoding::utf8 && !isValidUtf8(message)) message = latin1ToUtf8(message);
  return message;
}

void Engine::check(int status) const {
  if (status != VESKOR_OK) fail(status);
}

void Engine::fail(int status) const {
  const std::string message = latestMessage();
  throw EngineFailure(exitCodeForStatus(status), "engine status " + std::to_string(status) + ": " + message,
                      status, message);
}

const char* kbKindName(int kind) {
  switch (kind) {
    case VESKOR_KB_KIND_ENTRIES:
      return "entries";
    case VESKOR_KB_KIND_DOCUMENTS:
      return "documents";
    case VESKOR_KB_KIND_WORDS:
      return "words";
    default:
      return "other";
  }
}

void createKbFile(const Engine& engine, const std::string& fileName, KbKind kind, KbExtras extras) {
  if (!extras.storeTexts && !extras.phonetic) {
    const int forDocuments = kind == KbKind::documents ? 1 : 0;
    const int kbKind = kind == KbKind::words ? 1 : 0;
    engine.check(veskorCreateKBFile(engine.connection(), fileName.c_str(), 1, forDocuments, kbKind));
    return;
  }
  // The kinds' own settings (those veskorCreateKBFile uses), widened by the extras.
  int encoding = VESKOR_ENCODING_UPPER_CASE | VESKOR_ENCODING_FRAMED;
  int entryInformation = VESKOR_ENTRY_KEY_REQUIRED;
  int featureType = 1;
  if (kind == KbKind::documents) {
    encoding = VESKOR_ENCODING_UPPER_CASE;
    featureType = 2;
  } else if (kind == KbKind::words) {
    entryInformation |= VESKOR_ENTRY_TEXT_STORED | VESKOR_ENTRY_FEATURES_REQUIRED;
  }
  if (extras.storeTexts) entryInformation |= VESKOR_ENTRY_TEXT_STORED;
  if (extras.phonetic) encoding |= VESKOR_ENCODING_PHONETIC;
  engine.check(veskorCreateKBFileWithSettings(engine.connection(), fileName.c_str(), 1, encoding, entryInformation,
                                              featureType));
}

OpenKb::OpenKb(const Engine& engine, const std::string& fileName, std::string name)
    : engine_(engine), name_(std::move(name)) {
  engine.check(veskorOpenKB(engine.connection(), fileName.c_str(), name_.c_str()));
}

OpenKb::~OpenKb() {
  veskorCloseKB(engine_.connection(), name_.c_str());
}

void OpenKb::save() {
  engine_.check(veskorSaveKB(engine_.connection(), name_.c_str()));
}

veskorKBInfo OpenKb::info() const {
  veskorKBInfo info{};
  engine_.check(veskorGetKBInfo(engine_.connection(), name_.c_str(), &info));
  return info;
}

OpenWa::OpenWa(const Engine& engine, const std::string& fileName, std::string name)
    : engine_(engine), name_(std::move(name)) {
  engine.check(veskorOpenWA(engine.connection(), fileName.c_str(), name_.c_str()));
}

OpenWa::~OpenWa() {
  veskorCloseWA(engine_.connection(), name_.c_str());
}

ScratchWordKb::ScratchWordKb(const Engine& engine) {
  std::string pattern = (std::filesystem::temp_directory_path() / "veskor-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw fileError("cannot create a temporary directory in " +
                    std::filesystem::temp_directory_path().string());
  }
  directory_ = pattern;
  try {
    const std::string fileName = (directory_ / "words.kb").string();
    createKbFile(engine, fileName, KbKind::words);
    kb_ = std::make_unique<OpenKb>(engine, fileName, "scratch-words");
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
    throw;
  }
}

ScratchWordKb::~ScratchWordKb() {
  kb_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

}  // namespace veskorcli
