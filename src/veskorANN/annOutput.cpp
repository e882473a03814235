#include "veskorANN/annOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

#include "orlBasics/orlException.h"

struct annOutput {
  FILE* file = nullptr;
  bool committed = false;
  std::string targetName;
  std::string tempName;
};

namespace {

constexpr int32_t kGroup = 5000;
thread_local int64_t tWriteBudget = -1;

std::string directoryOf(const std::string& path) {
  std::string::size_type slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::atomic<uint64_t> gTempCounter{0};

// Creates a new temporary file next to the target. open(2) with mode 0666 lets the umask decide
// the permissions, as for a plain create (mkstemp would make the saved file owner-only).
int createTemporary(const std::string& target, std::string* pTempName) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = target + ".tmp" + std::to_string(getpid()) + "." + std::to_string(++gTempCounter);
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      *pTempName = name;
      return fd;
    }
    if (errno != EEXIST) break;
  }
  return -1;
}

[[noreturn]] void cannotCreate(const char* name) {
  ORL_RAISE(kGroup, 6, "Datei \"", name,
            "\" kann nicht zum Schreiben ge\xF6"
            "ffnet werden");
}

}  // namespace

annOutput* annOutput_create(const char* pFileName) {
  if (pFileName == nullptr) ORL_RAISE(kGroup, 1, "pFileName == NULL in annOutput_create()");
  orl::AnnOutputPtr out(new annOutput);
  out->targetName = pFileName;
  struct stat info;
  if (stat(pFileName, &info) == 0 && S_ISDIR(info.st_mode)) cannotCreate(pFileName);
  int fd = createTemporary(out->targetName, &out->tempName);
  if (fd < 0) cannotCreate(pFileName);
  out->file = fdopen(fd, "wb");
  if (out->file == nullptr) {
    ::close(fd);
    cannotCreate(pFileName);
  }
  return out.release();
}

void annOutput_free(annOutput* pThis) noexcept {
  if (pThis == nullptr) return;
  if (pThis->file != nullptr) std::fclose(pThis->file);
  if (!pThis->committed && !pThis->tempName.empty()) std::remove(pThis->tempName.c_str());
  delete pThis;
}

void annOutput_commit(annOutput* pThis) {
  if (pThis == nullptr) ORL_RAISE(kGroup, 1, "pThis == NULL in annOutput_commit()");
  if (pThis->file == nullptr) return;
  bool ok = std::fflush(pThis->file) == 0 && fsync(fileno(pThis->file)) == 0;
  ok = std::fclose(pThis->file) == 0 && ok;
  pThis->file = nullptr;
  ok = ok && std::rename(pThis->tempName.c_str(), pThis->targetName.c_str()) == 0;
  if (!ok) ORL_RAISE(kGroup, 3, "Schreibfehler in annOutput_commit: Datei \"", pThis->targetName, "\"");
  pThis->committed = true;
  // Make the rename itself durable.
  int dir = ::open(directoryOf(pThis->targetName).c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    ::close(dir);
  }
}

void annOutput_writeBytes(annOutput* pThis, const void* pBytes, std::size_t pCount) {
  if (pThis == nullptr || pThis->file == nullptr || (pBytes == nullptr && pCount > 0)) {
    ORL_RAISE(kGroup, 1, "pThis == NULL || pBytes == NULL in annOutput_writeBytes()");
  }
  std::size_t allowed = pCount;
  if (tWriteBudget >= 0 && static_cast<int64_t>(pCount) > tWriteBudget)
    allowed = static_cast<std::size_t>(tWriteBudget);
  std::size_t written = allowed > 0 ? std::fwrite(pBytes, 1, allowed, pThis->file) : 0;
  if (tWriteBudget >= 0) tWriteBudget -= static_cast<int64_t>(written);
  if (written != pCount) {
    ORL_RAISE(kGroup, 3, "Schreibfehler in annOutput_writeBytes: ", static_cast<long long>(written),
              " Bytes von ", static_cast<long long>(pCount), " Bytes geschrieben");
  }
}

void annOutput_writeByte(annOutput* pThis, uint8_t pValue) {
  annOutput_writeBytes(pThis, &pValue, 1);
}
void annOutput_writeInt32(annOutput* pThis, int32_t pValue) {
  annOutput_writeBytes(pThis, &pValue, 4);
}
void annOutput_writeFloat32(annOutput* pThis, float pValue) {
  annOutput_writeBytes(pThis, &pValue, 4);
}
void annOutput_writeFloat64(annOutput* pThis, double pValue) {
  annOutput_writeBytes(pThis, &pValue, 8);
}

void annOutput_setWriteFailureAfter(int64_t pBytes) {
  tWriteBudget = pBytes < 0 ? -1 : pBytes;
}
