// Writing one item to disk: its place under the base folder (never outside it), the overwrite
// rules, a temporary file beside the target that replaces it only once the data passed its checks,
// and the item's date and permissions.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "ZADirManager.h"
#include "ZAPlatform.h"
#include "ZAStrFunc.h"
#include "ZipArchiver.h"

namespace zip {

namespace {

constexpr int CodeRefusedName = 23;  // "Cannot create file "%s"": a stored name that leaves the base folder

// A stored name made relative and plain: no drive, server or root in front, no step above its top.
// Nothing when the name would leave the folder it is extracted to. A trailing "\" stays.
std::optional<std::string> ContainedName(const std::string& name) {
  if (name.empty()) return std::string();
  if (name.find(':') != std::string::npos) return std::nullopt;  // a drive ("C:") or a stream
  if (name.front() == '\\' || name.front() == '/') return std::nullopt;  // root or "\\server\share"
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const auto sep = name.find_first_of("\\/", start);
    const std::string part = name.substr(start, sep == std::string::npos ? std::string::npos : sep - start);
    if (part == "..") {
      if (parts.empty()) return std::nullopt;
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    if (sep == std::string::npos) break;
    start = sep + 1;
  }
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += '\\';
    out += parts[i];
  }
  const char last = name.back();
  if ((last == '\\' || last == '/') && !out.empty()) out += '\\';
  return out;
}

std::int32_t DosDateTimeOf(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  if (tm.tm_year < 80) return (0 << 25) | (1 << 21) | (1 << 16);
  const std::uint32_t v = (static_cast<std::uint32_t>(tm.tm_year - 80) << 25) |
                          (static_cast<std::uint32_t>(tm.tm_mon + 1) << 21) |
                          (static_cast<std::uint32_t>(tm.tm_mday) << 16) |
                          (static_cast<std::uint32_t>(tm.tm_hour) << 11) |
                          (static_cast<std::uint32_t>(tm.tm_min) << 5) | static_cast<std::uint32_t>(tm.tm_sec / 2);
  return static_cast<std::int32_t>(v);
}

std::time_t TimeOfDos(std::uint16_t date, std::uint16_t time) {
  std::tm tm{};
  tm.tm_year = ((date >> 9) & 0x7F) + 80;
  tm.tm_mon = std::max(((date >> 5) & 0x0F) - 1, 0);
  tm.tm_mday = std::max(date & 0x1F, 1);
  tm.tm_hour = (time >> 11) & 0x1F;
  tm.tm_min = (time >> 5) & 0x3F;
  tm.tm_sec = (time & 0x1F) * 2;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

mode_t ProcessUmask() {
  static const mode_t mask = [] {
    const mode_t m = ::umask(022);
    ::umask(m);
    return m;
  }();
  return mask;
}

// Unix permissions recorded with the item: the high half of the external attributes, written by a
// Unix host (or flagged as such by tools that mark the Unix half explicitly).
std::optional<mode_t> UnixModeOf(std::uint16_t versionMadeBy, std::uint32_t attributes) {
  const std::uint32_t high = attributes >> 16;
  if (high == 0) return std::nullopt;
  if ((versionMadeBy >> 8) != 3 && !(attributes & 0x8000)) return std::nullopt;
  return static_cast<mode_t>(high & 0777);
}

// The temporary file beside the target; removed unless it took the target's place.
class TTempTarget {
 public:
  explicit TTempTarget(const std::string& targetPath) {
    const auto slash = targetPath.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : targetPath.substr(0, slash + 1);
    const std::string file = slash == std::string::npos ? targetPath : targetPath.substr(slash + 1);
    std::string pattern = folder + "." + file.substr(0, 100) + ".zaXXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return;
    ::close(fd);
    FPath = pattern;
  }
  ~TTempTarget() {
    if (!FPath.empty() && !FCommitted) ::unlink(FPath.c_str());
  }
  TTempTarget(const TTempTarget&) = delete;
  TTempTarget& operator=(const TTempTarget&) = delete;
  bool Valid() const { return !FPath.empty(); }
  const std::string& Path() const { return FPath; }
  bool CommitTo(const std::string& target) {
    if (::rename(FPath.c_str(), target.c_str()) != 0) return false;
    FCommitted = true;
    return true;
  }

 private:
  std::string FPath;
  bool FCommitted = false;
};

}  // namespace

void TZABaseArchiver::ExtractItemToFile(std::int32_t Index, std::string FileName, const std::string& BaseFolder) {
  const TDirItem item = FDirManager->CentralDir.GetItem(Index);
  std::string baseFolder = BaseFolder;

  // 1. The application may change the name and the attributes.
  std::uint32_t fileAttr = item.ExternalAttributes;
  const std::string offered = ToBackslashes(FileName);
  DoExtractFile(FileName, fileAttr, item.Comment);
  const bool renamedByHandler = FileName != offered;

  // 2. A stored name stays inside the base folder; a name the application chose may be a full path.
  if (!renamedByHandler) {
    const auto contained = ContainedName(FileName);
    if (!contained) throw EZAException(CodeRefusedName, this, {offered});
    FileName = *contained;
  } else if (FileName.find(':') != std::string::npos || FileName.find("\\\\") != std::string::npos ||
             (!FileName.empty() && (FileName.front() == '\\' || FileName.front() == '/'))) {
    baseFolder.clear();
  }
  const bool folderItem = (item.ExternalAttributes & faDirectory) != 0 ||
                          (!FileName.empty() && (FileName.back() == '\\' || FileName.back() == '/'));

  // 3. Folders.
  if (Options().CreateDirs) {
    const std::string folder = baseFolder + ExtractFilePath(FileName);
    if (folder.empty() || !platform::ForceDirectories(folder)) {
      throw EZAException(zaerr::CannotCreateDirectory, this, {folder});
    }
  } else {
    FileName = ExtractFileName(FileName);
  }
  // 4. A folder item is done once its folder exists.
  if (folderItem) return;
  if (FileName.empty()) throw EZAException(CodeRefusedName, this, {offered});

  // 5. An existing target and the overwrite rules.
  std::string target = baseFolder + FileName;
  struct stat old {};
  bool exists = ::lstat(platform::ToFileSystemPath(target).c_str(), &old) == 0;
  if (exists) {
    if (!Options().ReplaceReadOnly && !(old.st_mode & S_IWUSR)) {
      FSkipFile = true;
      return;
    }
    const std::int32_t itemTime = static_cast<std::int32_t>((static_cast<std::uint32_t>(item.ModDate) << 16) | item.ModTime);
    switch (Options().OverwriteMode) {
      case omPrompt: {
        bool confirm = false;
        DoConfirmOverwrite(FileName, target, confirm);
        if (!confirm) {
          FSkipFile = true;
          return;
        }
        exists = ::lstat(platform::ToFileSystemPath(target).c_str(), &old) == 0;
        break;
      }
      case omAlways:
        break;
      case omNever:
        FSkipFile = true;
        return;
      case omIfNewer:
        if (!(itemTime > DosDateTimeOf(old.st_mtime))) {
          FSkipFile = true;
          return;
        }
        break;
      case omIfOlder:
        if (!(itemTime < DosDateTimeOf(old.st_mtime))) {
          FSkipFile = true;
          return;
        }
        break;
    }
  }

  // 6. The data goes into a new file beside the target; the target stays as it is until then.
  const std::string targetPath = platform::ToFileSystemPath(target);
  TTempTarget temp(targetPath);
  if (!temp.Valid()) throw EZAException(zaerr::CannotCreateFile, this, {target});
  std::unique_ptr<TZAFileStream> stream;
  try {
    stream = std::make_unique<TZAFileStream>(temp.Path(), fmOpenReadWriteDenyWrite);
  } catch (const EStreamError&) {
    throw EZAException(zaerr::CannotCreateFile, this, {target});
  }

  // 7. The data step; its exception passes on once the temporary file is gone.
  bool ok = true;
  ExtractItemDataToStream(Index, *stream);
  if (FSkipFile || FCancel) ok = false;
  // A failure that was not raised (ExtractCorruptedFiles) keeps what came out, as before.
  stream.reset();
  if (!ok) return;

  // 8. Date and permissions, then the file takes the target's place.
  const std::time_t when = TimeOfDos(item.ModDate, item.ModTime);
  struct timespec times[2];
  times[0].tv_sec = when;
  times[0].tv_nsec = 0;
  times[1] = times[0];
  ::utimensat(AT_FDCWD, temp.Path().c_str(), times, 0);

  const std::optional<mode_t> unixMode = UnixModeOf(item.VersionMadeBy, fileAttr);
  mode_t mode;
  if (Options().SetAttributes && unixMode) {
    mode = *unixMode;
  } else if (exists && S_ISREG(old.st_mode)) {
    mode = old.st_mode & 07777;
  } else {
    mode = 0666 & ~ProcessUmask();
  }
  if (Options().SetAttributes && !unixMode && (fileAttr & faReadOnly)) mode &= ~static_cast<mode_t>(0222);
  ::chmod(temp.Path().c_str(), mode);

  if (!temp.CommitTo(targetPath)) throw EZAException(zaerr::CannotCreateFile, this, {target});
}

}  // namespace zip
