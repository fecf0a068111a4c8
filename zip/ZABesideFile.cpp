#include "ZABesideFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "ZAExcept.h"
#include "ZAPlatform.h"
#include "ZipArchiver.h"

namespace zip {

namespace {

constexpr const char* TempMark = ".FC";
constexpr const char* TempSuffix = ".tmp";
constexpr std::size_t TempTagLength = 12;
// The archive's own name in a temporary name is cut so that the whole stays within NAME_MAX.
constexpr std::size_t MaxBaseInTempName = 200;
constexpr int NameAttempts = 16;

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TempPrefix(const std::string& base) {
  return "." + base.substr(0, std::min(base.size(), MaxBaseInTempName)) + TempMark;
}

// A fresh tag of letters and digits; only its uniqueness matters, the name is taken exclusively.
std::string NewTag() {
  static std::uint64_t counter = 0;
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  std::uint64_t x = (static_cast<std::uint64_t>(ts.tv_sec) << 32) ^ static_cast<std::uint64_t>(ts.tv_nsec) ^
                    (static_cast<std::uint64_t>(::getpid()) << 40) ^ (++counter * 0x9E3779B97F4A7C15ull);
  static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string tag;
  for (std::size_t i = 0; i < TempTagLength; ++i) {
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    x ^= x >> 31;
    tag += digits[x % 62];
  }
  return tag;
}

std::string TempNameIn(const std::string& folder, const std::string& base) {
  return (folder == "/" ? std::string() : folder) + "/" + TempPrefix(base) + NewTag() + TempSuffix;
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// A named file of the temporary pattern, created and locked (where O_TMPFILE cannot be used). A
// cleaner that removed it before the lock was taken is noticed, and another name is made.
std::unique_ptr<TZAFdFile> CreateNamedTempFile(const std::string& folder, const std::string& base) {
  for (int attempt = 0; attempt < NameAttempts; ++attempt) {
    const std::string name = TempNameIn(folder, base);
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return nullptr;
    }
    (void)::flock(fd, LOCK_EX);
    struct stat mine {}, named {};
    if (::fstat(fd, &mine) == 0 && ::lstat(name.c_str(), &named) == 0 && SameFile(mine, named)) {
      return std::make_unique<TZAFdFile>(fd, name, name);
    }
    ::close(fd);
  }
  return nullptr;
}

}  // namespace

TZAFdFile::~TZAFdFile() {
  if (!FNamedPath.empty()) ::unlink(FNamedPath.c_str());
}

std::string ResolveArchivePath(const std::string& path) {
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) != nullptr) return resolved;
  return path;
}

std::unique_ptr<TZAFdFile> CreateBesideFile(const std::string& target) {
  const std::string folder = FolderOf(target);
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) return CreateNamedTempFile(folder, BaseOf(target));
  // The lock is taken while the file has no name yet: whoever finds it named later sees it held.
  (void)::flock(fd, LOCK_EX);
  return std::make_unique<TZAFdFile>(fd, folder);
}

bool PlaceBesideFile(const TZABaseArchiver& archiver, TZAFdFile& file, int oldHandle, const std::string& target) {
  const int fd = file.Handle();
  const std::string shown = platform::FromFileSystemPath(target);
  // Owner and group where this process may give them (the group alone else), then the mode, which
  // a change of owner may have cut.
  struct stat old {};
  const bool knownOld = oldHandle >= 0 && ::fstat(oldHandle, &old) == 0;
  if (knownOld) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    (void)::fchmod(fd, old.st_mode & 07777);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    (void)::fchmod(fd, 0666 & ~mask);
  }
  try {
    file.Flush();
  } catch (const EStreamError&) {
    throw EZAException(zaerr::ShortWrite, &archiver);
  }
  const std::string folder = FolderOf(target);
  std::string staging = file.NamedPath();
  const bool linked = staging.empty();
  if (linked) {
    const std::string procPath = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < NameAttempts; ++attempt) {
      staging = TempNameIn(folder, BaseOf(target));
      if (::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, staging.c_str(), AT_SYMLINK_FOLLOW) == 0) break;
      if (errno != EEXIST && ::linkat(fd, "", AT_FDCWD, staging.c_str(), AT_EMPTY_PATH) == 0) break;
      if (errno != EEXIST) {
        throw EZAException(zaerr::RenameFailed, &archiver, {platform::FromFileSystemPath(staging), shown});
      }
      staging.clear();
    }
    if (staging.empty()) throw EZAException(zaerr::RenameFailed, &archiver, {shown, shown});
  }
  const auto renameFailed = [&] {
    if (linked) ::unlink(staging.c_str());
    return EZAException(zaerr::RenameFailed, &archiver, {platform::FromFileSystemPath(staging), shown});
  };
  // The new archive and the file under the name trade places in one step, so that what it
  // replaced is known: the old archive, which then goes; or one that another commit put there
  // meanwhile, which takes its place back, and this commit fails (else that commit's work would be
  // lost without a word). Where the file system cannot trade places, a plain rename.
  if (knownOld && ::renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
    struct stat displaced {};
    if (::stat(staging.c_str(), &displaced) == 0 && (displaced.st_dev != old.st_dev || displaced.st_ino != old.st_ino)) {
      (void)::renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE);
      if (linked) ::unlink(staging.c_str());
      throw EZAException(zaerr::ArchiveReplaced, &archiver, {shown});
    }
    (void)::unlink(staging.c_str());
  } else if (knownOld && errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
    throw renameFailed();
  } else if (::rename(staging.c_str(), target.c_str()) != 0) {
    throw renameFailed();
  }
  file.Keep();
  const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return false;
  const bool flushed = ::fsync(dirFd) == 0;
  ::close(dirFd);
  return flushed;
}

bool IsBesideTempName(const std::string& name, const std::string& base) {
  const std::string prefix = TempPrefix(base);
  const std::size_t suffix = std::char_traits<char>::length(TempSuffix);
  if (name.size() != prefix.size() + TempTagLength + suffix) return false;
  if (name.compare(0, prefix.size(), prefix) != 0 || name.compare(name.size() - suffix, suffix, TempSuffix) != 0) {
    return false;
  }
  return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()),
                     name.end() - static_cast<std::ptrdiff_t>(suffix), [](char c) {
                       return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
                     });
}

void RemoveLeftoversBeside(const std::string& target) {
  const std::string base = BaseOf(target);
  DIR* dir = ::opendir(FolderOf(target).c_str());
  if (!dir) return;
  const int dirFd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (!IsBesideTempName(name, base)) continue;
    const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat held {}, named {};
    // A live commit holds its file's lock until the file has taken the archive's name.
    if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(held, named)) {
      (void)::unlinkat(dirFd, name.c_str(), 0);
    }
    ::close(fd);
  }
  ::closedir(dir);
}

}  // namespace zip
