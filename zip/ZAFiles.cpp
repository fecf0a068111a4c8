#include "ZAFiles.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <memory>

#include "ZAPlatform.h"
#include "ZAStrFunc.h"

namespace zip {

std::string ExtractFileExt(const std::string& name) {
  const std::string fileName = ExtractFileName(name);
  const auto dot = fileName.rfind('.');
  if (dot == std::string::npos) return {};
  return fileName.substr(dot);
}

namespace {
bool IsRegularFile(const std::string& fsPath) {
  struct stat st {};
  return ::stat(fsPath.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}
}  // namespace

std::optional<std::string> FindFileNoCase(const std::string& name) {
  if (name.empty()) return std::nullopt;
  if (IsRegularFile(platform::ToFileSystemPath(name))) return name;
  const std::string folder = ExtractFilePath(name);
  const std::string wanted = platform::ToFileSystemPath(ExtractFileName(name));
  if (wanted.empty()) return std::nullopt;
  const std::string fsFolder = folder.empty() ? std::string(".") : platform::ToFileSystemPath(folder);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(fsFolder.c_str()), ::closedir);
  if (!dir) return std::nullopt;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (::strcasecmp(entry->d_name, wanted.c_str()) != 0) continue;
    std::string found = folder + platform::FromFileSystemPath(entry->d_name);
    if (IsRegularFile(platform::ToFileSystemPath(found))) return found;
  }
  return std::nullopt;
}

bool FileExistsNoCase(const std::string& name) { return FindFileNoCase(name).has_value(); }

}  // namespace zip
