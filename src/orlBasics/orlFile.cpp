#include "orlBasics/orlFile.h"

#include <sys/stat.h>

bool orlGetFileModificationTime(const char* pFileName, orlFileTime* pTime) {
  struct stat info;
  if (pFileName == nullptr || pTime == nullptr || stat(pFileName, &info) != 0) return false;
  pTime->seconds = static_cast<int64_t>(info.st_mtim.tv_sec);
  pTime->nanoseconds = static_cast<int64_t>(info.st_mtim.tv_nsec);
  return true;
}
