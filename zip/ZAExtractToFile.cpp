// Writing one item to disk: its place under the base folder (never outside it, never through a
// link), the overwrite rules, an unnamed file in the target's folder that gets the target's name
// only once the data passed its checks, the item's date and permissions, and links as a Unix host
// stored them, made only where they lead inside the base folder.
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <string>
#include <utility>
#include <vector>

#include "ZADirManager.h"
#include "ZAFolders.h"
#include "ZAPlatform.h"
#include "ZAStrFunc.h"
#include "ZipArchiver.h"
#include "os/unique_fd.h"

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

// Read once: the mask of the process when it first extracts.
mode_t ProcessUmask() {
  static const mode_t mask = platform::GetUmask();
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

// The non-empty parts of a "/" separated path.
std::vector<std::string> PartsOf(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    auto end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::string JoinParts(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& part : parts) {
    if (!out.empty()) out += '/';
    out += part;
  }
  return out;
}


constexpr int FolderOpenFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

// Opens the folder relative ("/" separated plain names) below the open folder base, creating the
// missing ones. Below base nothing may be a link or anything but a folder: an item written through
// a link that an earlier item created could land anywhere. Invalid when a folder cannot be made or
// something else is in the way.
os::UniqueFd OpenFolderBelow(int base, const std::string& relative) {
  // One call when every folder exists: the kernel refuses a link on the way and a step out of base.
  open_how how{};
  how.flags = FolderOpenFlags;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
  const long opened = ::syscall(SYS_openat2, base, relative.c_str(), &how, sizeof how);
  if (opened >= 0) return os::UniqueFd(static_cast<int>(opened));
  // A folder to make, or a kernel without openat2: folder by folder, never following a link.
  os::UniqueFd folder;
  int at = base;
  for (const std::string& part : PartsOf(relative)) {
    int fd = ::openat(at, part.c_str(), FolderOpenFlags | O_NOFOLLOW);
    if (fd < 0 && errno == ENOENT) {
      if (::mkdirat(at, part.c_str(), 0777) != 0 && errno != EEXIST) return os::UniqueFd();
      fd = ::openat(at, part.c_str(), FolderOpenFlags | O_NOFOLLOW);
    }
    if (fd < 0) return os::UniqueFd();
    folder.reset(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISDIR(st.st_mode)) return os::UniqueFd();
    at = fd;
  }
  return folder;
}

// The folders an extraction run writes into, kept open from one item to the next (the items of a
// folder usually follow each other), so that the folder of an item is found without a look-up.
class TRunFolders {
 public:
  // The base folder of the run, created when asked; -1 when it cannot be opened.
  int Base(const std::string& path, bool create, bool newRun) {
    if (newRun || !FBase.valid() || path != FBasePath) {
      Close();
      const std::string where = path.empty() ? std::string(".") : path;
      std::error_code ec;
      if (create) std::filesystem::create_directories(where, ec);
      FBase.reset(::open(where.c_str(), FolderOpenFlags));
      FBasePath = path;
    }
    return FBase.get();
  }
  // The folder relative ("/" separated, may be empty) below the base folder, made when missing.
  int Below(const std::string& relative) {
    if (relative.empty()) return FBase.get();
    if (!FFolder.valid() || relative != FRelative) {
      FFolder = OpenFolderBelow(FBase.get(), relative);
      FRelative = relative;
    }
    return FFolder.get();
  }
  void Close() {
    FFolder.reset();
    FBase.reset();
    FRelative.clear();
    FBasePath.clear();
  }

 private:
  std::string FBasePath;
  os::UniqueFd FBase;
  std::string FRelative;
  os::UniqueFd FFolder;
};

// The index of the last item a run extracts (-1: none is selected).
std::int32_t LastSelectedItem(TZADirArray& dir) {
  for (std::int32_t i = dir.GetCount() - 1; i >= 0; --i) {
    if (dir.ItemRef(i).Selected) return i;
  }
  return -1;
}

// Of this thread's running extraction; closed after its last selected item.
thread_local TRunFolders RunFolders;
thread_local std::int32_t RunLastItem = -1;

// Where one item goes: an open folder and a name in it, and the folder's path (for messages and
// the run's flush).
struct TPlace {
  int Dir = -1;
  os::UniqueFd Owned;  // the folder's descriptor when it is not one of the run's
  std::string DirPath;
  std::string Leaf;
};

// A folder the application named, created with its parents; links in it are the application's.
bool OpenNamedFolder(TPlace& place, const std::string& folderPath, bool create) {
  const std::string where = folderPath.empty() ? std::string(".") : folderPath;
  std::error_code ec;
  if (create) std::filesystem::create_directories(where, ec);
  place.Owned.reset(::open(where.c_str(), FolderOpenFlags));
  place.Dir = place.Owned.get();
  place.DirPath = folderPath;
  return place.Dir >= 0;
}

// ---- links --------------------------------------------------------------------------------------

constexpr int MaxLinkHops = 40;  // as many links as the kernel follows in one path

std::optional<std::string> ReadLinkAt(int dir, const std::string& path) {
  std::string target(PATH_MAX, '\0');
  const ssize_t n = ::readlinkat(dir, path.c_str(), target.data(), target.size());
  if (n < 0 || static_cast<std::size_t>(n) >= target.size()) return std::nullopt;
  target.resize(static_cast<std::size_t>(n));
  return target;
}

// A link about to be placed (relative to the base folder), seen by the judgement in place of
// what is on disk at its path.
struct TNewLink {
  std::string Path;
  std::string Target;
};

// Whether the link at linkPath ("/" separated, below the base folder, in real folders) to target
// leads inside the base folder, as the kernel would follow it: part by part from the link's
// folder, through every link on disk (and the new one), at most MaxLinkHops of them. Where a part
// does not exist (or is a file with more parts after it), what comes after is taken as written,
// but may not climb: a link or folder made there later must not be able to turn a ".." outwards.
// An absolute target, or one with a backslash or a NUL, never leads inside.
// changeable, when given, receives every path the way passed that is not a real folder on disk:
// the links it went through, the parts it took as written and the file it stopped at. Only at
// those paths can a later link change where this one leads (a real folder is never replaced by
// an extraction, nor written through).
bool LinkLeadsInside(int base, const std::string& linkPath, const std::string& target, const TNewLink& newLink,
                     std::vector<std::string>* changeable = nullptr) {
  const auto plain = [](const std::string& t) {
    return !t.empty() && t.front() != '/' && t.find('\\') == std::string::npos && t.find('\0') == std::string::npos;
  };
  if (!plain(target)) return false;
  std::vector<std::string> at = PartsOf(FolderPrefixOf(linkPath));  // real folders, from the base folder
  std::vector<std::string> ahead = PartsOf(target);               // parts still to follow, last first
  std::reverse(ahead.begin(), ahead.end());
  bool onDisk = true;  // every part so far was found on disk
  int hops = 0;
  while (!ahead.empty()) {
    const std::string part = std::move(ahead.back());
    ahead.pop_back();
    if (part == ".") continue;
    if (part == "..") {
      if (!onDisk || at.empty()) return false;
      at.pop_back();
      continue;
    }
    at.push_back(part);
    const std::string path = JoinParts(at);
    std::optional<std::string> followed;
    if (!onDisk) {
      // Taken as written.
    } else if (path == newLink.Path) {
      followed = newLink.Target;
    } else {
      struct stat st {};
      const bool found = ::fstatat(base, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
      if (found && S_ISDIR(st.st_mode)) continue;
      if (found && S_ISLNK(st.st_mode)) {
        followed = ReadLinkAt(base, path);
      } else {
        onDisk = false;  // missing, or a file with more parts after it
      }
    }
    if (changeable) changeable->push_back(path);
    if (!onDisk) continue;
    // A link: its target continues from the link's own folder.
    if (!followed || !plain(*followed) || ++hops > MaxLinkHops) return false;
    at.pop_back();
    std::vector<std::string> more = PartsOf(*followed);
    ahead.insert(ahead.end(), more.rbegin(), more.rend());
  }
  return true;
}

// The links one extraction run made, and for each path a later link could take, the links whose
// way passes it. A link the run makes at such a path is judged together with those earlier links:
// should one of them lead outside through it, the new link is refused. So no link the run made
// leads outside when the run ends, in any order of the items, at a cost that grows with the links
// of the run and never with what else the target folder holds.
class TRunLinks {
 public:
  // The links of the run below base path basePath; those of another run or base are forgotten.
  void For(const std::string& basePath, bool newRun) {
    if (newRun || basePath != FBasePath) Clear();
    FBasePath = basePath;
  }
  void Clear() {
    FLinks.clear();
    FThrough.clear();
    FBasePath.clear();
  }

  // The earlier links of the run whose way passes newLink's path, judged again with newLink in
  // place; false as soon as one of them would lead outside. again receives, for each of them
  // that still leads inside, its new way, for Add.
  struct TJudged {
    std::size_t Link;
    std::vector<std::string> Changeable;
  };
  bool StayInsideWith(int base, const TNewLink& newLink, std::vector<TJudged>& again) const {
    const auto through = FThrough.find(newLink.Path);
    if (through == FThrough.end()) return true;
    for (const std::size_t id : through->second) {
      const TNewLink& earlier = FLinks[id];
      // One the new link replaces, or one something else took the place of since, is gone.
      if (earlier.Path == newLink.Path || ReadLinkAt(base, earlier.Path) != earlier.Target) continue;
      TJudged judged{id, {}};
      if (!LinkLeadsInside(base, earlier.Path, earlier.Target, newLink, &judged.Changeable)) return false;
      again.push_back(std::move(judged));
    }
    return true;
  }

  // A link the run made, with the paths its way passes; again: what StayInsideWith found for it.
  void Add(const TNewLink& link, const std::vector<std::string>& changeable, const std::vector<TJudged>& again) {
    const std::size_t id = FLinks.size();
    FLinks.push_back(link);
    for (const std::string& path : changeable) FThrough[path].insert(id);
    for (const TJudged& judged : again) {
      for (const std::string& path : judged.Changeable) FThrough[path].insert(judged.Link);
    }
  }

 private:
  std::string FBasePath;
  std::vector<TNewLink> FLinks;
  std::unordered_map<std::string, std::unordered_set<std::size_t>> FThrough;
};

// Of this thread's running extraction, like its folders.
thread_local TRunLinks RunLinks;

// How giving an item its name went: done; the name was found free but is taken now (by something
// that appeared since, which the overwrite rules must judge before it is replaced); or failed.
enum class TNaming { Done, NameTaken, Failed };

// Creates a link to target under the place's name: directly when the name is to be free, else
// under a fresh name beside it that then takes the name's place.
TNaming PlaceLink(const std::string& target, const TPlace& place, bool replace, const timespec* times) {
  if (!replace) {
    if (::symlinkat(target.c_str(), place.Dir, place.Leaf.c_str()) == 0) {
      if (times) ::utimensat(place.Dir, place.Leaf.c_str(), times, AT_SYMLINK_NOFOLLOW);
      return TNaming::Done;
    }
    return errno == EEXIST ? TNaming::NameTaken : TNaming::Failed;
  }
  const std::string base = "." + place.Leaf.substr(0, 100) + ".zl";
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string temp = base + std::to_string(::getpid()) + "." + std::to_string(attempt);
    if (::symlinkat(target.c_str(), place.Dir, temp.c_str()) != 0) {
      if (errno == EEXIST) continue;
      return TNaming::Failed;
    }
    if (times) ::utimensat(place.Dir, temp.c_str(), times, AT_SYMLINK_NOFOLLOW);
    if (::renameat(place.Dir, temp.c_str(), place.Dir, place.Leaf.c_str()) == 0) return TNaming::Done;
    ::unlinkat(place.Dir, temp.c_str(), 0);
    return TNaming::Failed;
  }
  return TNaming::Failed;
}

// ---- new files ----------------------------------------------------------------------------------

// With FlushBuffers, a new file from this size on starts its write-back as soon as it is written,
// so that the run's end has less to wait for; smaller ones reach the disk together when the run
// flushes its file systems (a write-back started for each small file costs more than it saves).
constexpr std::uint64_t WriteBackStartSize = 0x100000;

// Unnamed files are named through /proc/self/fd; without /proc, temporary names serve instead.
bool UnnamedFilesNameable() {
  static const bool nameable = ::access("/proc/self/fd", X_OK) == 0;
  return nameable;
}

// A fresh name beside leaf for a file or link on its way to it.
std::string TemporaryNameFor(const std::string& leaf) {
  static constexpr char Digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string name = "." + leaf.substr(0, 100) + ".za";
  std::uint32_t r = ::arc4random();
  for (int i = 0; i < 6; ++i, r /= 36) name += Digits[r % 36];
  return name;
}

// The file an item's data goes into, in the target's folder: an unnamed file (O_TMPFILE) that gets
// its name only once it is complete, so that no partial file is ever seen under the real name and
// a killed run leaves nothing behind. Where the file system has no unnamed files, a file under a
// temporary name beside the target, renamed when complete and removed otherwise.
class TNewFile {
 public:
  TNewFile(const TPlace& place, mode_t mode) : FDir(place.Dir), FLeaf(place.Leaf) {
    if (UnnamedFilesNameable()) {
      FHandle = ::openat(FDir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
      if (FHandle >= 0) return;
      // EOPNOTSUPP (the file system has none), EISDIR (the kernel has none), ...: a named file.
    }
    for (unsigned attempt = 0; attempt < 100 && FHandle < 0; ++attempt) {
      const std::string name = TemporaryNameFor(FLeaf);
      FHandle = ::openat(FDir, name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC | O_NOFOLLOW, mode);
      if (FHandle >= 0) {
        FTempName = name;
      } else if (errno != EEXIST) {
        break;
      }
    }
  }
  ~TNewFile() {
    if (FHandle >= 0 && FOwned) ::close(FHandle);
    if (!FTempName.empty() && !FCommitted) ::unlinkat(FDir, FTempName.c_str(), 0);
  }
  TNewFile(const TNewFile&) = delete;
  TNewFile& operator=(const TNewFile&) = delete;

  bool Valid() const { return FHandle >= 0; }
  int Handle() const { return FHandle; }
  // The descriptor passes to a stream, which closes it; it stays usable here until then.
  int Release() {
    FOwned = false;
    return FHandle;
  }

  // Gives the complete file the target's name. replace: something is there, which it takes the
  // place of in one rename; else the name is taken only while it is free, and a file that
  // appeared under it meanwhile stays (NameTaken).
  TNaming CommitTo(bool replace) {
    if (FTempName.empty()) {
      if (!replace) {
        if (NameUnnamed(FLeaf)) return Committed();
        return errno == EEXIST ? TNaming::NameTaken : TNaming::Failed;
      }
      for (unsigned attempt = 0; attempt < 100 && FTempName.empty(); ++attempt) {
        const std::string name = TemporaryNameFor(FLeaf);
        if (NameUnnamed(name)) {
          FTempName = name;
        } else if (errno != EEXIST) {
          return TNaming::Failed;
        }
      }
      if (FTempName.empty()) return TNaming::Failed;
    }
    if (!replace) return RenameIfFree();
    if (::renameat(FDir, FTempName.c_str(), FDir, FLeaf.c_str()) != 0) return TNaming::Failed;
    return Committed();
  }

 private:
  bool NameUnnamed(const std::string& name) const {
    char self[40];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", FHandle);
    return ::linkat(AT_FDCWD, self, FDir, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
  }
  TNaming Committed() {
    FCommitted = true;
    return TNaming::Done;
  }
  // The named file takes the name only while no file has it: in one step where the file system
  // can; else as a second name, the temporary one then dropped; else (a file system without
  // either) by a look just before the rename.
  TNaming RenameIfFree() {
    if (::renameat2(FDir, FTempName.c_str(), FDir, FLeaf.c_str(), RENAME_NOREPLACE) == 0) return Committed();
    if (errno == EEXIST) return TNaming::NameTaken;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return TNaming::Failed;
    if (::linkat(FDir, FTempName.c_str(), FDir, FLeaf.c_str(), 0) == 0) {
      ::unlinkat(FDir, FTempName.c_str(), 0);
      FTempName.clear();
      return Committed();
    }
    if (errno == EEXIST) return TNaming::NameTaken;
    struct stat st {};
    if (::fstatat(FDir, FLeaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return TNaming::NameTaken;
    if (::renameat(FDir, FTempName.c_str(), FDir, FLeaf.c_str()) != 0) return TNaming::Failed;
    return Committed();
  }

  int FDir;
  std::string FLeaf;
  int FHandle = -1;
  bool FOwned = true;
  std::string FTempName;  // the named file, or the unnamed one's name on its way to the target
  bool FCommitted = false;
};

}  // namespace

void TZABaseArchiver::ExtractItemToFile(std::int32_t Index, std::string FileName, const std::string& BaseFolder) {
  const TDirItem item = FDirManager->CentralDir.GetItem(Index);
  std::string baseFolder = BaseFolder;
  const bool newRun = FProcessedFileNo == 0;
  if (newRun) RunLastItem = LastSelectedItem(FDirManager->CentralDir);
  // The run's folders stay open from item to item, and close with its last item.
  struct TCloseAfterLast {
    std::int32_t Index;
    ~TCloseAfterLast() {
      if (Index >= RunLastItem) {
        RunFolders.Close();
        RunLinks.Clear();
      }
    }
  } closeAfterLast{Index};

  // The application may change the name and the attributes.
  std::uint32_t fileAttr = item.ExternalAttributes;
  const std::string offered = ToBackslashes(FileName);
  DoExtractFile(FileName, fileAttr, item.Comment);
  const bool renamedByHandler = FileName != offered;

  // A stored name stays inside the base folder; a name the application chose may be a full path.
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

  // The item's folder, made when missing (or, without CreateDirs, the base folder for every item).
  // An archive's name reaches it from the base folder through real folders only.
  TPlace place;
  if (!Options().CreateDirs) {
    FileName = ExtractFileName(FileName);
    diskName = BaseOfPath(diskName);
  }
  std::string folder = FolderPrefixOf(diskName);
  if (!folder.empty()) folder.pop_back();
  const int base = renamedByHandler ? -1 : RunFolders.Base(diskBase, Options().CreateDirs, newRun);
  if (renamedByHandler) {
    OpenNamedFolder(place, diskBase + FolderPrefixOf(diskName), Options().CreateDirs);
  } else if (base >= 0) {
    place.Dir = RunFolders.Below(folder);
    place.DirPath = diskBase + FolderPrefixOf(diskName);
  }
  if (place.Dir < 0) {
    if (Options().CreateDirs) {
      throw EZAException(zaerr::CannotCreateDirectory, this, {baseFolder + ExtractFilePath(FileName)});
    }
    throw EZAException(zaerr::CannotCreateFile, this, {baseFolder + FileName});
  }
  // A folder item is done once its folder exists.
  if (folderItem) return;
  place.Leaf = BaseOfPath(diskName);
  if (FileName.empty() || place.Leaf.empty()) throw EZAException(CodeRefusedName, this, {offered});

  // An existing target and the overwrite rules. The question's answer may send the item to
  // another file, which it then replaces without a further question.
  std::string target = baseFolder + FileName;
  struct stat old {};
  bool exists = ::fstatat(place.Dir, place.Leaf.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
  bool placeChanged = false;
  const auto mayReplace = [&](const struct stat& now, bool mayMove) {
    if (!Options().ReplaceReadOnly && !(now.st_mode & S_IWUSR)) return false;
    const std::uint32_t itemTime = (static_cast<std::uint32_t>(item.ModDate) << 16) | item.ModTime;
    switch (Options().OverwriteMode) {
      case omPrompt: {
        bool confirm = false;
        const std::string offeredTarget = target;
        DoConfirmOverwrite(FileName, target, confirm);
        if (!confirm) return false;
        if (target != offeredTarget) {
          // Once the data is written, the new file is in its folder and cannot move to another.
          if (!mayMove) throw EZAException(zaerr::CannotCreateFile, this, {target});
          // The handler chose another file: its folder as the handler named it.
          const std::string targetPath = platform::ToFileSystemPath(target);
          place = TPlace();
          if (!OpenNamedFolder(place, FolderPrefixOf(targetPath), false)) {
            throw EZAException(zaerr::CannotCreateFile, this, {target});
          }
          place.Leaf = BaseOfPath(targetPath);
          placeChanged = true;
          exists = ::fstatat(place.Dir, place.Leaf.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
        }
        return true;
      }
      case omAlways:
        return true;
      case omNever:
        return false;
      case omIfNewer:
        return itemTime > DosDateTimeOf(now.st_mtime);
      case omIfOlder:
        return itemTime < DosDateTimeOf(now.st_mtime);
    }
    return false;
  };
  if (exists && !mayReplace(old, true)) {
    FSkipFile = true;
    return;
  }
  // The name found free may be taken by the time the item gets it: what took it is judged by the
  // same rules, and stays unless they let the item replace it.
  const auto nameItem = [&](const std::function<TNaming(bool replace)>& name) {
    bool replace = exists;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
      const TNaming done = name(replace);
      if (done == TNaming::Done) return true;
      if (done == TNaming::Failed) throw EZAException(zaerr::CannotCreateFile, this, {target});
      struct stat now {};
      if (::fstatat(place.Dir, place.Leaf.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone again
      if (!mayReplace(now, false)) return false;
      replace = true;
    }
    throw EZAException(zaerr::CannotCreateFile, this, {target});
  };
  const std::optional<std::time_t> when = TimeOfDos(item.ModDate, item.ModTime);
  timespec times[2] = {};
  if (when) {
    times[0].tv_sec = *when;
    times[1] = times[0];
  }

  // A link: its data is the target, which must lead inside the base folder on disk, through the
  // links already there; and the links this run made before must still lead inside with it in
  // place (it may take a name their way passes).
  if (IsSymbolicLinkItem(item)) {
    if (item.GetUncompressedSize() > MaxLinkTarget) throw EZAException(CodeRefusedName, this, {target});
    TZAMemoryStream link;
    ExtractItemDataToStream(Index, link);
    if (FSkipFile || FCancel) return;
    const std::string linkTarget(link.Data().begin(), link.Data().end());
    if (renamedByHandler || placeChanged || !Options().CreateDirs) throw EZAException(CodeRefusedName, this, {target});
    const TNewLink newLink{diskName, linkTarget};
    std::vector<std::string> changeable;
    std::vector<TRunLinks::TJudged> again;
    RunLinks.For(diskBase, newRun);
    if (!LinkLeadsInside(base, diskName, linkTarget, newLink, &changeable) ||
        !RunLinks.StayInsideWith(base, newLink, again)) {
      throw EZAException(zaerr::LinkLeadsOutside, this, {target});
    }
    if (!nameItem([&](bool replace) { return PlaceLink(linkTarget, place, replace, when ? times : nullptr); })) {
      FSkipFile = true;
      return;
    }
    RunLinks.Add(newLink, changeable, again);
    if (Options().FlushBuffers) FDeferredFlush.AddFolder(place.DirPath);
    return;
  }

  // The data goes into a new file in the target's folder; the target stays as it is until then.
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
  TNewFile file(place, mode);
  if (!file.Valid()) throw EZAException(zaerr::CannotCreateFile, this, {target});
  const int fd = file.Handle();
  TZAFileStream stream(file.Release(), place.DirPath + place.Leaf);

  // The data step; its exception passes on once the new file is gone.
  ExtractItemDataToStream(Index, stream);
  // A failure that was not raised (ExtractCorruptedFiles) keeps what came out, as before.
  if (FSkipFile || FCancel) return;

  // Date and exact permissions (the creation is subject to the umask or the folder's default ACL)
  // on the open file, then the file takes the target's name. With FlushBuffers, a file that replaces another
  // reaches the disk before it does; a new one reaches it when the run flushes its file systems
  // and folders at its end.
  if (when) ::futimens(fd, times);
  ::fchmod(fd, mode);
  bool synced = false;
  const auto syncBeforeReplacing = [&] {
    if (synced || !Options().FlushBuffers) return;
    if (::fsync(fd) != 0) throw EZAException(zaerr::CannotCreateFile, this, {target});
    synced = true;
  };
  if (Options().FlushBuffers && !exists && item.GetUncompressedSize() >= WriteBackStartSize) {
    TZADeferredFlush::StartWriteBack(fd);
  }
  if (!nameItem([&](bool replace) {
        if (replace) syncBeforeReplacing();
        return file.CommitTo(replace);
      })) {
    FSkipFile = true;
    return;
  }
  if (Options().FlushBuffers) FDeferredFlush.AddFolder(place.DirPath);
}

}  // namespace zip
