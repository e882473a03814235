// The manifest of a sharded knowledge base: a directory holding S ordinary knowledge-base files
// and manifest.json, which names them in order with the settings they share and what each holds.
//
//   {"format": "veskor-shards", "version": 1, "kind": "entries",
//    "settings": {"language": 1, "encoding": 6, "entryInformation": 2, "featureType": 1},
//    "shards": [{"file": "shard-0.kb", "entries": 89003}, ...],
//    "words": "words.kb"}                       (document knowledge bases: their shared word base)
//
// Shard s holds the entries (or whole documents) that follow those of shards 0 .. s-1 in the
// order they were given. A manifest is untrusted input: every field is checked, and file names
// must be plain names inside the directory.
//
// Header-only, free of the engine: the veskor tool and the Python binding both read and write it.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace veskorshards {

inline constexpr const char* kManifestName = "manifest.json";
inline constexpr const char* kManifestFormat = "veskor-shards";
inline constexpr int kManifestVersion = 1;
// Far more than anyone shards one knowledge base into; bounds what a hostile manifest can ask for.
inline constexpr std::size_t kMaxShards = 4096;

// A manifest that cannot be used; the message names the fault.
class ManifestError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The settings every shard shares (those of veskorCreateKBFileWithSettings).
struct ShardSettings {
  int language = 1;
  int encoding = 6;
  int entryInformation = 2;
  int featureType = 1;
  bool operator==(const ShardSettings&) const = default;
};

struct ShardFile {
  std::string file;          // a plain file name in the directory
  long long entries = 0;     // entries the shard held when it was built
  long long documents = -1;  // documents of a document knowledge base; -1 for other kinds
};

struct ShardManifest {
  std::string kind = "entries";  // "entries" or "documents"
  ShardSettings settings;
  std::vector<ShardFile> shards;
  std::string words;  // the shared word knowledge base of a document knowledge base, or empty

  long long totalEntries() const {
    long long total = 0;
    for (const ShardFile& shard : shards) total += shard.entries;
    return total;
  }
};

// The name of shard s of `count` shards: numbered with as many digits as the largest number, so
// that the files sort in shard order.
inline std::string shardFileName(std::size_t s, std::size_t count) {
  const std::size_t width = std::to_string(count > 0 ? count - 1 : 0).size();
  std::string number = std::to_string(s);
  if (number.size() < width) number.insert(0, width - number.size(), '0');
  return "shard-" + number + ".kb";
}

namespace detail {

inline bool isPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.size() <= 255 &&
         name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

inline const nlohmann::json& member(const nlohmann::json& object, const char* name, const std::string& where) {
  const auto it = object.find(name);
  if (it == object.end()) throw ManifestError(where + ": \"" + name + "\" is missing");
  return *it;
}

inline long long integer(const nlohmann::json& object, const char* name, const std::string& where, long long low,
                         long long high) {
  const nlohmann::json& value = member(object, name, where);
  if (!value.is_number_integer()) throw ManifestError(where + ": \"" + name + "\" is not an integer");
  const long long number = value.get<long long>();
  if (value.is_number_unsigned() && value.get<unsigned long long>() > static_cast<unsigned long long>(high)) {
    throw ManifestError(where + ": \"" + name + "\" is out of range");
  }
  if (number < low || number > high) throw ManifestError(where + ": \"" + name + "\" is out of range");
  return number;
}

inline std::string fileName(const nlohmann::json& value, const std::string& where) {
  if (!value.is_string()) throw ManifestError(where + ": a file name is not a string");
  const std::string name = value.get<std::string>();
  if (!isPlainFileName(name)) throw ManifestError(where + ": \"" + name + "\" is not a plain file name");
  return name;
}

}  // namespace detail

// Reads a manifest's text; `where` names it in messages.
inline ShardManifest parseManifest(const std::string& text, const std::string& where = kManifestName) {
  nlohmann::json json;
  try {
    json = nlohmann::json::parse(text);
  } catch (const nlohmann::json::exception& error) {
    throw ManifestError(where + ": not valid JSON (" + error.what() + ")");
  }
  if (!json.is_object()) throw ManifestError(where + ": not a JSON object");
  const nlohmann::json& format = detail::member(json, "format", where);
  if (!format.is_string() || format.get<std::string>() != kManifestFormat) {
    throw ManifestError(where + ": not the manifest of a sharded knowledge base");
  }
  if (detail::integer(json, "version", where, 1, 1'000'000) != kManifestVersion) {
    throw ManifestError(where + ": version " + json["version"].dump() + " is not supported (this program reads " +
                        std::to_string(kManifestVersion) + ")");
  }
  ShardManifest manifest;
  const nlohmann::json& kind = detail::member(json, "kind", where);
  if (!kind.is_string() || (kind.get<std::string>() != "entries" && kind.get<std::string>() != "documents")) {
    throw ManifestError(where + ": \"kind\" must be \"entries\" or \"documents\"");
  }
  manifest.kind = kind.get<std::string>();
  const nlohmann::json& settings = detail::member(json, "settings", where);
  if (!settings.is_object()) throw ManifestError(where + ": \"settings\" is not an object");
  manifest.settings.language = static_cast<int>(detail::integer(settings, "language", where, 0, 2));
  manifest.settings.encoding = static_cast<int>(detail::integer(settings, "encoding", where, 0, 7));
  manifest.settings.entryInformation = static_cast<int>(detail::integer(settings, "entryInformation", where, 1, 15));
  manifest.settings.featureType = static_cast<int>(detail::integer(settings, "featureType", where, 1, 2));
  if ((manifest.settings.featureType == 2) != (manifest.kind == "documents")) {
    throw ManifestError(where + ": the feature type does not fit the kind");
  }
  const nlohmann::json& shards = detail::member(json, "shards", where);
  if (!shards.is_array() || shards.empty()) throw ManifestError(where + ": \"shards\" is not a list of shards");
  if (shards.size() > kMaxShards) throw ManifestError(where + ": more than " + std::to_string(kMaxShards) + " shards");
  std::set<std::string> names;
  for (const nlohmann::json& shard : shards) {
    if (!shard.is_object()) throw ManifestError(where + ": a shard is not an object");
    ShardFile file;
    file.file = detail::fileName(detail::member(shard, "file", where), where);
    file.entries = detail::integer(shard, "entries", where, 0, 1LL << 40);
    if (shard.contains("documents")) file.documents = detail::integer(shard, "documents", where, 0, 1LL << 40);
    if (!names.insert(file.file).second) throw ManifestError(where + ": \"" + file.file + "\" is named twice");
    manifest.shards.push_back(std::move(file));
  }
  if (json.contains("words")) {
    if (manifest.kind != "documents") throw ManifestError(where + ": only documents have a word knowledge base");
    manifest.words = detail::fileName(json["words"], where);
    if (names.count(manifest.words) != 0) throw ManifestError(where + ": \"" + manifest.words + "\" is named twice");
  }
  return manifest;
}

inline std::string formatManifest(const ShardManifest& manifest) {
  nlohmann::ordered_json shards = nlohmann::ordered_json::array();
  for (const ShardFile& shard : manifest.shards) {
    nlohmann::ordered_json entry = {{"file", shard.file}, {"entries", shard.entries}};
    if (shard.documents >= 0) entry["documents"] = shard.documents;
    shards.push_back(std::move(entry));
  }
  nlohmann::ordered_json json = {{"format", kManifestFormat},
                         {"version", kManifestVersion},
                         {"kind", manifest.kind},
                         {"settings",
                          {{"language", manifest.settings.language},
                           {"encoding", manifest.settings.encoding},
                           {"entryInformation", manifest.settings.entryInformation},
                           {"featureType", manifest.settings.featureType}}},
                         {"shards", shards}};
  if (!manifest.words.empty()) json["words"] = manifest.words;
  return json.dump(2) + "\n";
}

// True when path is a directory with a manifest: a sharded knowledge base, not a file.
inline bool isShardedDirectory(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error) && std::filesystem::exists(path / kManifestName, error);
}

inline ShardManifest readManifest(const std::filesystem::path& directory) {
  const std::filesystem::path path = directory / kManifestName;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ManifestError(path.string() + ": cannot be opened");
  // A manifest is small; a huge file is no manifest and is not read whole.
  constexpr std::streamoff kMaxManifestBytes = 16 << 20;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0 || size > kMaxManifestBytes) throw ManifestError(path.string() + ": too large for a manifest");
  in.seekg(0);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw ManifestError(path.string() + ": read error");
  return parseManifest(text, path.string());
}

// Writes the manifest safely: a temporary file in the directory, flushed to disk, then renamed over
// the old one, so a failure leaves the old manifest or none, never half of one.
inline void writeManifest(const std::filesystem::path& directory, const ShardManifest& manifest) {
  const std::string text = formatManifest(manifest);
  const std::filesystem::path target = directory / kManifestName;
  const std::filesystem::path temporary = directory / (std::string(kManifestName) + ".tmp");
  const auto fail = [&](const std::string& what) {
    const int code = errno;
    ::unlink(temporary.c_str());
    throw ManifestError(target.string() + ": " + what + " (" + std::strerror(code) + ")");
  };
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) fail("cannot be written");
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      fail("cannot be written");
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) {
    ::close(fd);
    fail("cannot be written");
  }
  if (::close(fd) != 0) fail("cannot be written");
  if (::rename(temporary.c_str(), target.c_str()) != 0) fail("cannot be written");
}

}  // namespace veskorshards
