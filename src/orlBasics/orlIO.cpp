#include "orlBasics/orlIO.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "orlBasics/errorGroups.h"
#include "orlBasics/orlException.h"

struct orlStream {
  FILE* file = nullptr;
  int descriptor = -1;  // atomic output: the temporary file until `file` owns it
  bool input = false;
  int64_t size = 0;      // input: size of the file when it was opened
  int64_t position = 0;  // input: bytes consumed so far
  bool atomic = false;   // output written to tempName, renamed over targetName on commit
  bool synced = false;
  bool committed = false;
  std::string targetName;
  std::string tempName;
  std::unique_ptr<char[]> buffer;  // the file's stdio buffer; outlives the FILE, closed first
  std::string directoryName;  // of targetName, made beforehand: nothing may fail after the rename
};

namespace {

constexpr int32_t kGroup = orl::errorGroup::stream;
thread_local int64_t tWriteBudget = -1;

// Files are read and written in large pieces: a knowledge base is millions of small values.
constexpr std::size_t kStreamBufferBytes = std::size_t{1} << 18;

void useLargeBuffer(orlStream* s) {
  s->buffer = std::make_unique_for_overwrite<char[]>(kStreamBufferBytes);
  // Without it the stream keeps the default buffer, which works as well.
  if (std::setvbuf(s->file, s->buffer.get(), _IOFBF, kStreamBufferBytes) != 0) s->buffer.reset();
}

// Writes at most the bytes the test hook still allows; returns the number written. A stream is
// used by one thread at a time (its owner holds the object's access), so stdio's lock is left out.
std::size_t writeBytes(orlStream* s, const void* data, std::size_t count) {
  std::size_t allowed = count;
  int64_t budget = tWriteBudget;
  if (budget >= 0 && static_cast<int64_t>(count) > budget) allowed = static_cast<std::size_t>(budget);
  std::size_t written = allowed > 0 ? fwrite_unlocked(data, 1, allowed, s->file) : 0;
  if (budget >= 0) tWriteBudget = budget - static_cast<int64_t>(written);
  return written;
}

std::size_t readBytes(orlStream* s, void* data, std::size_t count) {
  std::size_t got = count > 0 ? fread_unlocked(data, 1, count, s->file) : 0;
  s->position += static_cast<int64_t>(got);
  return got;
}

// Consumes what is left of the file, so that a block that cannot be complete is refused without
// allocating memory for it; returns the bytes consumed.
int64_t consumeRest(orlStream* s) {
  int64_t rest = stream_remainingBytes(s);
  if (rest > 0 && std::fseek(s->file, 0, SEEK_END) == 0) s->position = s->size;
  return rest;
}

void writeScalar(orlStream* s, const void* data, std::size_t count, const char* operation) {
  if (writeBytes(s, data, count) != count) ORL_RAISE(kGroup, 3, "Schreibfehler in ", operation);
}

void readScalar(orlStream* s, void* data, std::size_t count, const char* operation) {
  if (readBytes(s, data, count) != count) ORL_RAISE(kGroup, 4, "Lesefehler in ", operation);
}

void writeBlock(orlStream* s, const void* data, int64_t expected, const char* operation) {
  std::size_t written = expected > 0 ? writeBytes(s, data, static_cast<std::size_t>(expected)) : 0;
  if (static_cast<int64_t>(written) != expected) {
    ORL_RAISE(kGroup, 3, "Schreibfehler in ", operation, ": ", static_cast<long long>(written), " Bytes von ", expected,
              " Bytes geschrieben");
  }
}

[[noreturn]] void shortRead(int64_t got, int64_t expected, const char* operation) {
  ORL_RAISE(kGroup, 4, "Lesefehler in ", operation, ": ", got, " Bytes von ", expected, " Bytes gelesen");
}

// Reads a block of `expected` bytes into new memory (expected >= 1), refusing blocks the file
// cannot hold before allocating anything.
void* readBlock(orlStream* s, int64_t expected, std::size_t extra, const char* operation) {
  if (expected > stream_remainingBytes(s)) shortRead(consumeRest(s), expected, operation);
  void* block = orlMalloc(static_cast<std::size_t>(expected) + extra);
  if (extra > 0) std::memset(block, 0, static_cast<std::size_t>(expected) + extra);
  std::size_t got = readBytes(s, block, static_cast<std::size_t>(expected));
  if (static_cast<int64_t>(got) != expected) {
    orlFree(block);
    shortRead(static_cast<int64_t>(got), expected, operation);
  }
  return block;
}

// A C library call that failed for want of memory is out of memory, not a problem of the file.
void raiseIfOutOfMemory(const char* operation) {
  if (errno == ENOMEM) ORL_RAISE(1, 1, "error: out of memory in ", operation);
}

// The mode a newly created file would get from open(2): 0666 less the process's umask. Read
// without changing the umask, which would race with other threads.
mode_t newFileMode() {
  mode_t mask = 022;
  if (FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
      unsigned int value;
      if (std::sscanf(line, "Umask: %o", &value) == 1) {
        mask = static_cast<mode_t>(value);
        break;
      }
    }
    std::fclose(status);
  }
  return static_cast<mode_t>(0666 & ~mask);
}

std::string directoryOf(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The file a save replaces: the target itself, or the file a symbolic link at the target names.
std::string resolvedTarget(const char* name) {
  struct stat link;
  if (lstat(name, &link) == 0 && S_ISLNK(link.st_mode)) {
    if (char* real = realpath(name, nullptr)) {
      std::string resolved = real;
      std::free(real);
      return resolved;
    }
    // Without memory the link would be replaced by a file instead of written through.
    raiseIfOutOfMemory("stream_createFileOutputStream");
  }
  return name;
}

[[noreturn]] void cannotOpenForWriting(const char* name) {
  ORL_RAISE(kGroup, 6, "Datei \"", name, "\" kann nicht zum Schreiben ge\xF6" "ffnet werden");
}

// Temporary files of a save are named <target>.veskor-tmp.XXXXXX (mkstemp's six characters) and
// locked (flock) by their writer for as long as it writes them. A temporary file of the target
// that nobody locks was left by a writer that died: removing it cannot harm a save.
constexpr const char* kTemporaryMarker = ".veskor-tmp.";
constexpr std::size_t kTemporarySuffixLength = 6;

// Creates the temporary file from the pattern (rewritten in place to its name) and locks it.
// Between creating and locking, another process may take the file for a stale one and remove it:
// then it is made again under a new name. Returns the descriptor, or -1 with errno set.
int createLockedTemporary(std::string& name) {
  std::string::size_type suffix = name.size() - kTemporarySuffixLength;
  for (int attempt = 0; attempt < 100; ++attempt) {
    name.replace(suffix, kTemporarySuffixLength, kTemporarySuffixLength, 'X');
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat info;
    int locked;
    do {
      locked = flock(fd, LOCK_EX);
    } while (locked != 0 && errno == EINTR);
    if (locked == 0 && fstat(fd, &info) == 0 && info.st_nlink > 0) return fd;
    int error = errno;
    if (locked == 0) {
      ::close(fd);  // removed by another process before we locked it
      continue;
    }
    // No locks on this file system: the file is ours all the same, only it cannot be told from a
    // stale one by others.
    if (error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS) return fd;
    std::remove(name.c_str());
    ::close(fd);
    errno = error;
    return -1;
  }
  errno = EEXIST;
  return -1;
}

bool isTemporaryOf(const char* entry, const std::string& base) {
  std::size_t markerLength = std::strlen(kTemporaryMarker);
  std::size_t length = std::strlen(entry);
  return length == base.size() + markerLength + kTemporarySuffixLength &&
         std::memcmp(entry, base.data(), base.size()) == 0 &&
         std::memcmp(entry + base.size(), kTemporaryMarker, markerLength) == 0;
}

// Removes the temporary file if no writer holds it. The lock is taken on what the name opens and
// the name checked to still be that file, so neither a file another writer has just renamed into
// place nor a newer file of the same name is touched.
void removeIfStale(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  struct stat opened, named;
  if (fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
      lstat(path.c_str(), &named) == 0 && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
    ::unlink(path.c_str());
  }
  ::close(fd);
}

// Removes the stale temporary files of `target` (a resolved path) in its directory. Tidying up is
// not worth failing a save or a load for: what cannot be done now is tried again next time.
void removeStaleTemporaries(const std::string& target) noexcept try {
  std::string directory = directoryOf(target);
  std::string::size_type slash = target.rfind('/');
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  DIR* listing = opendir(directory.c_str());
  if (listing == nullptr) return;
  std::vector<std::string> stale;
  try {
    while (const dirent* entry = readdir(listing)) {
      if (isTemporaryOf(entry->d_name, base)) stale.push_back(directory + "/" + entry->d_name);
    }
  } catch (...) {
    closedir(listing);
    throw;
  }
  closedir(listing);
  for (const std::string& path : stale) removeIfStale(path);
} catch (...) {
}

}  // namespace

orlStream* stream_createFileInputStream(const char* pFileName) {
  if (pFileName == nullptr) ORL_RAISE(kGroup, 1, "pFileName == NULL in stream_createFileInputStream()");
  orl::StreamPtr s(new orlStream);
  s->input = true;
  s->file = std::fopen(pFileName, "rb");
  if (s->file == nullptr) raiseIfOutOfMemory("stream_createFileInputStream");
  struct stat info;
  if (s->file == nullptr || fstat(fileno(s->file), &info) != 0 || !S_ISREG(info.st_mode)) {
    ORL_RAISE(kGroup, 6, "Datei \"", pFileName, "\" kann nicht zum Lesen ge\xF6" "ffnet werden");
  }
  s->size = static_cast<int64_t>(info.st_size);
  useLargeBuffer(s.get());
  return s.release();
}

orlStream* stream_createFileOutputStream(const char* pFileName) {
  if (pFileName == nullptr) ORL_RAISE(kGroup, 1, "pFileName == NULL in stream_createFileOutputStream()");
  orl::StreamPtr s(new orlStream);
  s->file = std::fopen(pFileName, "wb");
  if (s->file == nullptr) {
    raiseIfOutOfMemory("stream_createFileOutputStream");
    cannotOpenForWriting(pFileName);
  }
  useLargeBuffer(s.get());
  return s.release();
}

orlStream* stream_createAtomicFileOutputStream(const char* pFileName) {
  if (pFileName == nullptr) ORL_RAISE(kGroup, 1, "pFileName == NULL in stream_createFileOutputStream()");
  orl::StreamPtr s(new orlStream);
  s->atomic = true;
  // A link is written through: the file it names is replaced, the link stays.
  s->targetName = resolvedTarget(pFileName);
  s->directoryName = directoryOf(s->targetName);
  struct stat existing;
  bool exists = stat(s->targetName.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) cannotOpenForWriting(pFileName);
  removeStaleTemporaries(s->targetName);
  // Named in the stream only once it is ours: closing the stream removes the file of that name.
  std::string temporary = s->targetName + kTemporaryMarker + "XXXXXX";
  int fd = createLockedTemporary(temporary);
  if (fd < 0) {
    raiseIfOutOfMemory("stream_createFileOutputStream");
    cannotOpenForWriting(pFileName);
  }
  s->descriptor = fd;
  s->tempName = std::move(temporary);
  // The replacement keeps the permissions (and, where we may, the owner) of the file it replaces.
  if (exists) {
    fchmod(s->descriptor, existing.st_mode & 07777);
    if (fchown(s->descriptor, existing.st_uid, existing.st_gid) != 0) {
      // Not permitted for another user's file: the save still goes ahead, owned by us.
    }
  } else {
    fchmod(s->descriptor, newFileMode());
  }
  s->file = fdopen(s->descriptor, "wb");
  if (s->file == nullptr) {
    raiseIfOutOfMemory("stream_createFileOutputStream");
    cannotOpenForWriting(pFileName);
  }
  s->descriptor = -1;  // closed with the file from now on
  useLargeBuffer(s.get());
  return s.release();
}

void stream_sync(orlStream* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in stream_commit");
  if (pThis->input || pThis->file == nullptr || pThis->synced) return;
  if (std::fflush(pThis->file) != 0 || fsync(fileno(pThis->file)) != 0) {
    const char* name = pThis->atomic ? pThis->targetName.c_str() : "";
    ORL_RAISE(kGroup, 3, "Schreibfehler in stream_commit: Datei \"", name, "\"");
  }
  pThis->synced = true;
}

void stream_commit(orlStream* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in stream_commit");
  if (pThis->input || pThis->file == nullptr) return;
  stream_sync(pThis);
  if (!pThis->atomic) {
    bool closed = std::fclose(pThis->file) == 0;
    pThis->file = nullptr;
    if (!closed) ORL_RAISE(kGroup, 3, "Schreibfehler in stream_commit: Datei \"", "", "\"");
    return;
  }
  // Renamed while the temporary file is still open and locked, so that no other process takes it
  // for a stale one in between. From here on nothing allocates and nothing raises.
  if (std::rename(pThis->tempName.c_str(), pThis->targetName.c_str()) != 0) {
    ORL_RAISE(kGroup, 3, "Schreibfehler in stream_commit: Datei \"", pThis->targetName.c_str(), "\"");
  }
  pThis->committed = true;
  std::fclose(pThis->file);  // flushed and synced already
  pThis->file = nullptr;
  // Make the rename itself durable.
  int dir = ::open(pThis->directoryName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    ::close(dir);
  }
}

void stream_close(orlStream* pThis) noexcept {
  if (pThis == nullptr) return;
  // The temporary file goes before its descriptor (and with it the lock) does.
  if (pThis->atomic && !pThis->committed && !pThis->tempName.empty()) std::remove(pThis->tempName.c_str());
  if (pThis->file != nullptr) std::fclose(pThis->file);
  if (pThis->descriptor >= 0) ::close(pThis->descriptor);
  delete pThis;
}

void stream_removeStaleTemporaryFiles(const char* pFileName) noexcept {
  if (pFileName == nullptr) return;
  try {
    removeStaleTemporaries(resolvedTarget(pFileName));
  } catch (...) {
    // Not even the name could be resolved; the next open or save tries again.
  }
}

void stream_writeInt32(orlStream* pThis, int32_t value) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in stream_writeInt32");
  writeScalar(pThis, &value, sizeof value, "stream_writeInt32");
}

void stream_writeInt32Array(orlStream* pThis, int32_t count, const int32_t* values) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in stream_writeInt32Array");
  if (count > 0 && values == nullptr) ORL_RAISE(kGroup, 5, "Ung\xFCltiges Feld in stream_writeInt32Array");
  stream_writeInt32(pThis, count);
  writeBlock(pThis, values, int64_t{count} * 4, "stream_writeInt32Array");
}

void stream_writeFloat32(orlStream* pThis, float value) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in stream_writeFloat32");
  writeScalar(pThis, &value, sizeof value, "stream_writeFloat32");
}

void stream_writeFloat64(orlStream* pThis, double value) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in stream_writeFloat64");
  writeScalar(pThis, &value, sizeof value, "stream_writeFloat64");
}

void stream_writeByteArray(orlStream* pThis, int32_t count, const void* bytes) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in stream_writeByteArray");
  if (count > 0 && bytes == nullptr) ORL_RAISE(kGroup, 5, "Ung\xFCltiges Feld in stream_writeByteArray");
  stream_writeInt32(pThis, count);
  writeBlock(pThis, bytes, count, "stream_writeByteArray");
}

void stream_writeString(orlStream* pThis, const char* text) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in stream_writeString");
  if (text == nullptr) {
    stream_writeInt32(pThis, -1);
    return;
  }
  std::size_t length = std::strlen(text);
  if (length > INT32_MAX) ORL_RAISE(kGroup, 5, "Ung\xFCltiges Feld in stream_writeString");
  stream_writeInt32(pThis, static_cast<int32_t>(length));
  stream_writeChars(pThis, text);
}

void stream_writeChars(orlStream* pThis, const char* text) {
  if (pThis == nullptr || text == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL || pString == NULL in stream_writeString");
  writeBlock(pThis, text, static_cast<int64_t>(std::strlen(text)), "stream_writeString");
}

void stream_writeRawBytes(orlStream* pThis, const void* bytes, std::size_t count) {
  if (pThis == nullptr || (bytes == nullptr && count > 0)) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pBytes == NULL in stream_writeRawBytes");
  }
  writeBlock(pThis, bytes, static_cast<int64_t>(count), "stream_writeRawBytes");
}

void stream_writeByte(orlStream* pThis, uint8_t value) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in stream_writeByte");
  writeScalar(pThis, &value, 1, "stream_writeByte");
}

int32_t stream_readInt32(orlStream* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in stream_readInt32");
  int32_t value;
  readScalar(pThis, &value, sizeof value, "stream_readInt32");
  return value;
}

int32Array stream_readInt32Array(orlStream* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in stream_readInt32Array");
  int32_t count = stream_readInt32(pThis);
  if (count < 0) shortRead(0, int64_t{count} * 4, "stream_readInt32Array");
  if (count == 0) return {0, nullptr};
  void* values = readBlock(pThis, int64_t{count} * 4, 0, "stream_readInt32Array");
  return {count, static_cast<int32_t*>(values)};
}

float stream_readFloat32(orlStream* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in stream_readFloat32");
  float value;
  readScalar(pThis, &value, sizeof value, "stream_readFloat32");
  return value;
}

double stream_readFloat64(orlStream* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in stream_readFloat64");
  double value;
  readScalar(pThis, &value, sizeof value, "stream_readFloat64");
  return value;
}

byteArray stream_readByteArray(orlStream* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in stream_readByteArray");
  int32_t count = stream_readInt32(pThis);
  if (count < 0) shortRead(0, count, "stream_readByteArray");
  if (count == 0) return {0, nullptr};
  void* bytes = readBlock(pThis, count, 0, "stream_readByteArray");
  return {count, static_cast<unsigned char*>(bytes)};
}

char* stream_readString(orlStream* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in stream_readstring");
  int32_t length = stream_readInt32(pThis);
  if (length == -1) return nullptr;
  return stream_readChars(pThis, length);
}

char* stream_readChars(orlStream* pThis, int32_t pLength) {
  if (pThis == nullptr || pLength < 0) ORL_RAISE(kGroup, 1, "pThis == NULL || pLength < 0 in stream_readString");
  if (pLength == 0) return nullptr;
  return static_cast<char*>(readBlock(pThis, pLength, 1, "stream_readString"));
}

void stream_readCharsInto(orlStream* pThis, int32_t pLength, char* pBuffer) {
  if (pThis == nullptr || pLength < 0 || pBuffer == nullptr)
    ORL_RAISE(kGroup, 1, "pThis == NULL || pLength < 0 in stream_readString");
  if (pLength > stream_remainingBytes(pThis)) shortRead(consumeRest(pThis), pLength, "stream_readString");
  std::size_t got = readBytes(pThis, pBuffer, static_cast<std::size_t>(pLength));
  if (got != static_cast<std::size_t>(pLength)) shortRead(static_cast<int64_t>(got), pLength, "stream_readString");
  pBuffer[pLength] = 0;
}

int64_t stream_remainingBytes(const orlStream* pThis) {
  if (pThis == nullptr || !pThis->input) return 0;
  return pThis->size - pThis->position;
}

void stream_setWriteFailureAfter(int64_t bytes) { tWriteBudget = bytes < 0 ? -1 : bytes; }
