// Writing one item to disk: its place under the base folder (never outside it, never through a
// link), the overwrite rules, a temporary file beside the target that replaces it only once the
// data passed its checks, the item's date and permissions, and links as a Unix host stored them.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ZADirManager.h"
#include "ZAPlatform.h"
#include "ZAStrFunc.h"
#include "ZipArchiver.h"

namespace zip {

namespace {

constexpr int CodeRefusedName = 23;  // "Cannot create file "%s"": a stored name or link that leaves the base folder
constexpr std::size_t MaxLinkTarget = PATH_MAX;

// A stored name made relative and plain: no drive, server or root in front, no step above its top.
// Nothing when the name would leave the folder it is extracted to. The parts are joined with sep;
// a trailing separator stays.
std::optional<std::string> ContainedName(const std::string& name, char sep = '\\') {
  if (name.empty()) return std::string();
  if (name.find(':') != std::string::npos) return std::nullopt;  // a drive ("C:") or a stream
  if (name.front() == '\\' || name.front() == '/') return std::nullopt;  // root or "\\server\share"
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const auto at = name.find_first_of("\\/", start);
    const std::string part = name.substr(start, at == std::string::npos ? std::string::npos : at - start);
    if (part == "..") {
      if (parts.empty()) return std::nullopt;
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    if (at == std::string::npos) break;
    start = at + 1;
  }
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += sep;
    out += parts[i];
  }
  const char last = name.back();
  if ((last == '\\' || last == '/') && !out.empty()) out += sep;
  return out;
}

// ---- dates --------------------------------------------------------------------------------------

// The time zone is read once; the conversions below then use it without going back to the system's
// zone files for every item.
void PrepareTimeZone() {
  static const bool ready = [] {
    ::tzset();
    return true;
  }();
  (void)ready;
}

constexpr std::uint32_t DosTimeFirst = (1u << 21) | (1u << 16);  // 1980-01-01 00:00:00
constexpr std::uint32_t DosTimeLast =
    (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;  // 2107-12-31 23:59:58

// A file time as a DOS date-time in local time, clamped to the range the DOS format can hold. DOS
// date-times are ordered as unsigned numbers: from 2044 on the year's top bit is set.
std::uint32_t DosDateTimeOf(std::time_t t) {
  PrepareTimeZone();
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) return t < 0 ? DosTimeFirst : DosTimeLast;
  if (tm.tm_year < 80) return DosTimeFirst;
  if (tm.tm_year > 80 + 127) return DosTimeLast;
  const std::uint32_t v = (static_cast<std::uint32_t>(tm.tm_year - 80) << 25) |
                          (static_cast<std::uint32_t>(tm.tm_mon + 1) << 21) |
                          (static_cast<std::uint32_t>(tm.tm_mday) << 16) |
                          (static_cast<std::uint32_t>(tm.tm_hour) << 11) |
                          (static_cast<std::uint32_t>(tm.tm_min) << 5) | static_cast<std::uint32_t>(tm.tm_sec / 2);
  return v;
}

// A DOS date-time (local time) as a file time. Fields out of their range are brought into it; nothing
// when the local time cannot be converted, and the file then keeps its own time.
std::optional<std::time_t> TimeOfDos(std::uint16_t date, std::uint16_t time) {
  PrepareTimeZone();
  std::tm tm{};
  tm.tm_year = ((date >> 9) & 0x7F) + 80;
  tm.tm_mon = std::clamp((date >> 5) & 0x0F, 1, 12) - 1;
  static constexpr int DaysIn[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  tm.tm_mday = std::clamp(date & 0x1F, 1, DaysIn[tm.tm_mon]);
  tm.tm_hour = std::min((time >> 11) & 0x1F, 23);
  tm.tm_min = std::min((time >> 5) & 0x3F, 59);
  tm.tm_sec = std::min((time & 0x1F) * 2, 58);
  // The fields read as UTC, then moved by the zone's offset at that moment (looked up twice, so
  // that a date beside a change of the offset takes the offset in force on its side).
  const std::time_t asUtc = ::timegm(&tm);
  if (asUtc == static_cast<std::time_t>(-1)) return std::nullopt;
  std::time_t t = asUtc;
  for (int pass = 0; pass < 2; ++pass) {
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr) return std::nullopt;
    t = asUtc - local.tm_gmtoff;
  }
  return t;
}

// ---- modes --------------------------------------------------------------------------------------

mode_t ProcessUmask() {
  static const mode_t mask = [] {
    const mode_t m = ::umask(022);
    ::umask(m);
    return m;
  }();
  return mask;
}

// The Unix half of the external attributes (type and permissions), when a Unix host wrote it (or
// a tool flagged it as such).
std::optional<std::uint32_t> UnixAttributesOf(std::uint16_t versionMadeBy, std::uint32_t attributes) {
  const std::uint32_t high = attributes >> 16;
  if (high == 0) return std::nullopt;
  if ((versionMadeBy >> 8) != 3 && !(attributes & 0x8000)) return std::nullopt;
  return high;
}

// Only the permission bits are restored: never setuid, setgid or sticky, never a file type.
std::optional<mode_t> UnixModeOf(std::uint16_t versionMadeBy, std::uint32_t attributes) {
  const auto unixBits = UnixAttributesOf(versionMadeBy, attributes);
  if (!unixBits) return std::nullopt;
  return static_cast<mode_t>(*unixBits & 0777);
}

bool IsSymbolicLinkItem(const TDirItem& item) {
  const auto unixBits = UnixAttributesOf(item.VersionMadeBy, item.ExternalAttributes);
  return unixBits && (*unixBits & S_IFMT) == S_IFLNK;
}

// ---- places on disk -----------------------------------------------------------------------------

// The item's real name, as the file system spells it.
std::string RealNameOf(const TDirItem& item) { return item.Name; }

std::string FolderPartOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string FilePartOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Creates base + relative ("/" separated) with every missing folder. Below base nothing may be a
// link: an item written through a link that an earlier item created could land anywhere. False
// when a folder cannot be made or a link is in the way.
bool MakeFoldersBelow(const std::string& base, const std::string& relative, bool firstOfRun) {
  std::error_code ec;
  // The base folder is the same for every item of a run: once the run's first item found it, it
  // is not looked at again.
  thread_local std::string knownBase;
  if (!base.empty() && (firstOfRun || base != knownBase)) {
    std::filesystem::create_directories(base, ec);
    if (!std::filesystem::is_directory(base, ec)) return false;
    knownBase = base;
  }
  std::string path = base;
  bool missing = false;
  std::size_t start = 0;
  while (start < relative.size()) {
    auto end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    if (end > start) {
      path += relative.substr(start, end - start);
      if (!missing) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0) {
          if (!S_ISDIR(st.st_mode)) return false;
        } else if (errno == ENOENT) {
          missing = true;
        } else {
          return false;
        }
      }
      if (missing && ::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return false;
      path += '/';
    }
    start = end + 1;
  }
  return true;
}

// Creates base + folder like MakeFoldersBelow when the name is the archive's, and as the
// application gave it otherwise.
bool MakeFolders(const std::string& base, const std::string& folder, bool checked, bool firstOfRun) {
  if (checked) return MakeFoldersBelow(base, folder, firstOfRun);
  const std::string path = base + folder;
  if (path.empty()) return false;
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  return std::filesystem::is_directory(path, ec);
}

// Whether a link at linkPath (relative to the base folder, "/" separated) to target stays inside
// the base folder: a relative target whose every step, taken from the link's own folder, stays
// below the top.
bool LinkStaysInside(const std::string& linkPath, const std::string& target) {
  if (target.empty() || target.front() == '/' || target.find('\0') != std::string::npos) return false;
  if (target.find('\\') != std::string::npos) return false;
  return ContainedName(FolderPartOf(linkPath) + target, '/').has_value();
}

// The temporary file beside the target, created exclusively and kept open; removed unless it took
// the target's place.
class TTempTarget {
 public:
  explicit TTempTarget(const std::string& targetPath) {
    FPath = FolderPartOf(targetPath) + "." + FilePartOf(targetPath).substr(0, 100) + ".zaXXXXXX";
    FHandle = ::mkostemp(FPath.data(), O_CLOEXEC);
    if (FHandle < 0) FPath.clear();
  }
  ~TTempTarget() {
    if (FHandle >= 0) ::close(FHandle);
    if (!FPath.empty() && !FCommitted) ::unlink(FPath.c_str());
  }
  TTempTarget(const TTempTarget&) = delete;
  TTempTarget& operator=(const TTempTarget&) = delete;
  bool Valid() const { return FHandle >= 0; }
  const std::string& Path() const { return FPath; }
  // The descriptor passes to a stream, which closes it.
  int Release() { return std::exchange(FHandle, -1); }
  int Handle() const { return FHandle; }
  bool CommitTo(const std::string& target) {
    if (::rename(FPath.c_str(), target.c_str()) != 0) return false;
    FCommitted = true;
    return true;
  }

 private:
  std::string FPath;
  int FHandle = -1;
  bool FCommitted = false;
};

// Creates a link to target under a fresh name beside linkPath, then puts it in linkPath's place.
bool PlaceLink(const std::string& target, const std::string& linkPath, const timespec* times) {
  const std::string base = FolderPartOf(linkPath) + "." + FilePartOf(linkPath).substr(0, 100) + ".zl";
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string temp = base + std::to_string(::getpid()) + "." + std::to_string(attempt);
    if (::symlink(target.c_str(), temp.c_str()) != 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    if (times) ::utimensat(AT_FDCWD, temp.c_str(), times, AT_SYMLINK_NOFOLLOW);
    if (::rename(temp.c_str(), linkPath.c_str()) == 0) return true;
    ::unlink(temp.c_str());
    return false;
  }
  return false;
}

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
  // FileName stays the engine's form (messages, events); diskName is the path on disk, "/"
  // separated: the item's real name, every character of it, unless the application chose another.
  std::string diskName;
  if (!renamedByHandler) {
    const auto contained = ContainedName(FileName);
    const auto containedReal = ContainedName(RealNameOf(item), '/');
    if (!contained || !containedReal) throw EZAException(CodeRefusedName, this, {offered});
    FileName = *contained;
    diskName = *containedReal;
  } else {
    if (FileName.find(':') != std::string::npos || FileName.find("\\\\") != std::string::npos ||
        (!FileName.empty() && (FileName.front() == '\\' || FileName.front() == '/'))) {
      baseFolder.clear();
    }
    diskName = platform::ToFileSystemPath(FileName);
  }
  const std::string diskBase = platform::ToFileSystemPath(baseFolder);
  const bool folderItem = (item.ExternalAttributes & faDirectory) != 0 ||
                          (!FileName.empty() && (FileName.back() == '\\' || FileName.back() == '/'));

  // 3. Folders.
  if (Options().CreateDirs) {
    if (!MakeFolders(diskBase, FolderPartOf(diskName), !renamedByHandler, FProcessedFileNo == 0)) {
      throw EZAException(zaerr::CannotCreateDirectory, this, {baseFolder + ExtractFilePath(FileName)});
    }
  } else {
    FileName = ExtractFileName(FileName);
    diskName = FilePartOf(diskName);
  }
  // 4. A folder item is done once its folder exists.
  if (folderItem) return;
  if (FileName.empty() || diskName.empty()) throw EZAException(CodeRefusedName, this, {offered});

  // 5. An existing target and the overwrite rules.
  std::string target = baseFolder + FileName;
  std::string targetPath = diskBase + diskName;
  struct stat old {};
  bool exists = ::lstat(targetPath.c_str(), &old) == 0;
  if (exists) {
    if (!Options().ReplaceReadOnly && !(old.st_mode & S_IWUSR)) {
      FSkipFile = true;
      return;
    }
    const std::uint32_t itemTime = (static_cast<std::uint32_t>(item.ModDate) << 16) | item.ModTime;
    switch (Options().OverwriteMode) {
      case omPrompt: {
        bool confirm = false;
        const std::string offeredTarget = target;
        DoConfirmOverwrite(FileName, target, confirm);
        if (!confirm) {
          FSkipFile = true;
          return;
        }
        if (target != offeredTarget) targetPath = platform::ToFileSystemPath(target);
        exists = ::lstat(targetPath.c_str(), &old) == 0;
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
  const std::optional<std::time_t> when = TimeOfDos(item.ModDate, item.ModTime);
  timespec times[2] = {};
  if (when) {
    times[0].tv_sec = *when;
    times[1] = times[0];
  }

  // A link: its data is the target, which must stay inside the base folder.
  if (IsSymbolicLinkItem(item)) {
    if (item.GetUncompressedSize() > MaxLinkTarget) throw EZAException(CodeRefusedName, this, {target});
    TZAMemoryStream link;
    ExtractItemDataToStream(Index, link);
    if (FSkipFile || FCancel) return;
    const std::string linkTarget(link.Data().begin(), link.Data().end());
    if (renamedByHandler || !Options().CreateDirs || !LinkStaysInside(diskName, linkTarget)) {
      throw EZAException(CodeRefusedName, this, {target});
    }
    if (!PlaceLink(linkTarget, targetPath, when ? times : nullptr)) {
      throw EZAException(zaerr::CannotCreateFile, this, {target});
    }
    if (Options().FlushBuffers) FDeferredFlush.AddFolder(FolderPartOf(targetPath));
    return;
  }

  // 6. The data goes into a new file beside the target; the target stays as it is until then.
  TTempTarget temp(targetPath);
  if (!temp.Valid()) throw EZAException(zaerr::CannotCreateFile, this, {target});
  TZAFileStream stream(temp.Handle(), temp.Path());
  const int fd = temp.Release();

  // 7. The data step; its exception passes on once the temporary file is gone.
  ExtractItemDataToStream(Index, stream);
  // A failure that was not raised (ExtractCorruptedFiles) keeps what came out, as before.
  if (FSkipFile || FCancel) return;

  // 8. Date and permissions on the open file, then the file takes the target's place. With
  // FlushBuffers, a file that replaces another reaches the disk before it does; a new one starts
  // its write-back, and the run flushes it with its folder when it ends.
  if (when) ::futimens(fd, times);
  const std::optional<mode_t> unixMode = UnixModeOf(item.VersionMadeBy, fileAttr);
  mode_t mode;
  if (Options().SetAttributes && unixMode) {
    mode = *unixMode;
  } else if (exists && S_ISREG(old.st_mode)) {
    mode = old.st_mode & 0777;
  } else {
    mode = 0666 & ~ProcessUmask();
  }
  if (Options().SetAttributes && !unixMode && (fileAttr & faReadOnly)) mode &= ~static_cast<mode_t>(0222);
  ::fchmod(fd, mode);
  if (Options().FlushBuffers) {
    if (!exists) {
      TZADeferredFlush::StartWriteBack(fd);
    } else if (::fsync(fd) != 0) {
      throw EZAException(zaerr::CannotCreateFile, this, {target});
    }
  }

  if (!temp.CommitTo(targetPath)) throw EZAException(zaerr::CannotCreateFile, this, {target});
  if (Options().FlushBuffers) FDeferredFlush.AddFolder(FolderPartOf(targetPath));
}

}  // namespace zip
