#include "FileAge.h"

#include <sys/stat.h>

#include <ctime>

namespace updater {

bool FileExists(const std::string& Path) {
  struct stat info {};
  return ::stat(Path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool FileAge(const std::string& Path, forms::TDateTime& Age) {
  struct stat info {};
  if (::stat(Path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  std::tm local {};
  const std::time_t seconds = info.st_mtim.tv_sec;
  if (::localtime_r(&seconds, &local) == nullptr) return false;
  try {
    Age = forms::EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
          forms::EncodeTime(local.tm_hour, local.tm_min, local.tm_sec > 59 ? 59 : local.tm_sec);
  } catch (const forms::EConvertError&) {
    return false;  // a date the framework cannot hold
  }
  return true;
}

}  // namespace updater
