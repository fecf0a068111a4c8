#include "ZABesideFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ZACommitLock.h"
#include "ZADirManager.h"
#include "ZAExcept.h"
#include "ZAFolders.h"
#include "ZAPlatform.h"
#include "ZAStrFunc.h"
#include "ZipArchiver.h"
#include "os/unique_fd.h"

namespace zip {

namespace {

constexpr const char* TempMark = ".FC";
constexpr const char* TempSuffix = ".tmp";
constexpr std::size_t TempTagLength = 12;
// The archive's own name in a temporary name is cut so that the whole stays within NAME_MAX.
constexpr std::size_t MaxBaseInTempName = 200;
constexpr int NameAttempts = 16;

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
std::unique_ptr<TZAFdFile> CreateNamedTempFile(const std::string& target) {
  const std::string folder = FolderOfPath(target);
  for (int attempt = 0; attempt < NameAttempts; ++attempt) {
    const std::string name = TempNameIn(folder, BaseOfPath(target));
    os::UniqueFd fd(::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!fd) {
      if (errno == EEXIST) continue;
      return nullptr;
    }
    (void)::flock(fd.get(), LOCK_EX);
    struct stat mine {}, named {};
    if (::fstat(fd.get(), &mine) == 0 && ::lstat(name.c_str(), &named) == 0 && SameFile(mine, named)) {
      return std::make_unique<TZAFdFile>(fd.release(), name, target, name);
    }
  }
  return nullptr;
}

// Removes name only while it is still the file known by id: never one that another program put
// there.
void RemoveIfSameFile(const std::string& name, const struct stat& id) {
  struct stat named {};
  if (::lstat(name.c_str(), &named) == 0 && SameFile(named, id)) (void)::unlink(name.c_str());
}

// Placing one new archive under its name, step by step.
class TZAPlacement {
 public:
  TZAPlacement(const TZABaseArchiver& archiver, TZAFdFile& file, int oldHandle)
      : A(archiver), File(file), Target(file.Target()), Shown(platform::FromFileSystemPath(Target)) {
    KnownOld = oldHandle >= 0 && ::fstat(oldHandle, &Old) == 0;
  }

  void Run() {
    KeepOwnerAndMode();
    FlushOrFail(A, File);
    if (::fstat(File.Handle(), &Mine) != 0) throw RenameFailed(Target);
    NameForTheSwap();
    if (KnownOld) {
      TradePlacesWithTheOldFile();
    } else {
      TakeTheFreeName();
    }
    File.Keep();
    File.MarkPlaced();
  }

 private:
  EZAException RenameFailed(const std::string& from) const {
    return EZAException(zaerr::RenameFailed, &A, {platform::FromFileSystemPath(from), Shown});
  }

  // Owner and group where this process may give them (the group alone else), then the mode, which
  // a change of owner may have cut. A file new under its name gets the mode a created file gets.
  void KeepOwnerAndMode() const {
    const int fd = File.Handle();
    if (KnownOld) {
      if (::fchown(fd, Old.st_uid, Old.st_gid) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), Old.st_gid);
      (void)::fchmod(fd, Old.st_mode & 07777);
    } else {
      (void)::fchmod(fd, 0666 & ~platform::GetUmask());
    }
  }

  // The unnamed file gets a temporary name of the archive's pattern, the one the rename takes it
  // from (a named file has one already).
  void NameForTheSwap() {
    Staging = File.NamedPath();
    if (!Staging.empty()) return;
    const std::string procPath = "/proc/self/fd/" + std::to_string(File.Handle());
    for (int attempt = 0; attempt < NameAttempts; ++attempt) {
      const std::string name = TempNameIn(FolderOfPath(Target), BaseOfPath(Target));
      if (::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
          (errno != EEXIST && ::linkat(File.Handle(), "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0)) {
        Staging = name;
        return;
      }
      if (errno != EEXIST) throw RenameFailed(name);
    }
    throw RenameFailed(Target);
  }

  // A temporary name this placement linked goes when the placement fails; a named file's own name
  // goes with its stream.
  void DropStagingName() const {
    if (File.NamedPath().empty()) RemoveIfSameFile(Staging, Mine);
  }

  // The new archive and the file under the name trade places in one step, so that what it replaced
  // is known: the old archive, which then goes; or a file another program put there meanwhile,
  // which gets its name back. Where the file system cannot trade places, a plain rename.
  void TradePlacesWithTheOldFile() {
    if (::renameat2(AT_FDCWD, Staging.c_str(), AT_FDCWD, Target.c_str(), RENAME_EXCHANGE) != 0) {
      if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        DropStagingName();
        throw RenameFailed(Staging);
      }
      RenameOver();
      return;
    }
    struct stat displaced {};
    if (::lstat(Staging.c_str(), &displaced) != 0) return;  // gone already: nothing to drop
    if (SameFile(displaced, Old)) {
      (void)::unlink(Staging.c_str());
      return;
    }
    GiveTheNameBack();
  }

  // What had the name was not the old archive: it takes the name again and this placement fails.
  // Should that fail too, the new archive keeps the name and the other file is kept beside it,
  // under a name outside the temporary pattern where it can (so that no cleaner takes it for a
  // killed commit's file), which the message gives.
  [[noreturn]] void GiveTheNameBack() {
    if (::renameat2(AT_FDCWD, Staging.c_str(), AT_FDCWD, Target.c_str(), RENAME_EXCHANGE) != 0) {
      File.Keep();
      File.MarkPlaced();
      const std::string kept = Target + ".displaced-" + NewTag();
      if (::renameat2(AT_FDCWD, Staging.c_str(), AT_FDCWD, kept.c_str(), RENAME_NOREPLACE) == 0) Staging = kept;
      throw RenameFailed(Staging);
    }
    DropStagingName();
    throw EZAException(zaerr::ArchiveReplaced, &A, {Shown});
  }

  // No file had the name when the archive was opened: the name is taken only while it is free, so
  // that a file another program created meanwhile stays.
  void TakeTheFreeName() {
    if (::renameat2(AT_FDCWD, Staging.c_str(), AT_FDCWD, Target.c_str(), RENAME_NOREPLACE) == 0) return;
    if (errno == EEXIST) {
      DropStagingName();
      throw EZAException(zaerr::ArchiveReplaced, &A, {Shown});
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
      DropStagingName();
      throw RenameFailed(Staging);
    }
    RenameOver();
  }

  void RenameOver() {
    if (::rename(Staging.c_str(), Target.c_str()) != 0) {
      DropStagingName();
      throw RenameFailed(Staging);
    }
  }

  const TZABaseArchiver& A;
  TZAFdFile& File;
  const std::string Target;
  const std::string Shown;
  bool KnownOld = false;
  struct stat Old {};
  struct stat Mine {};
  std::string Staging;
};

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
  const std::string folder = FolderOfPath(target);
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd < 0) return CreateNamedTempFile(target);
  // The lock is taken while the file has no name yet: whoever finds it named later sees it held.
  (void)::flock(fd, LOCK_EX);
  return std::make_unique<TZAFdFile>(fd, folder, target);
}

// ---- the archive file of a writing open -----------------------------------------------------------

void TZABaseArchiver::PrepareArchiveFile() {
  FCommitLock.Release();
  if (InMemory() || SpanningMode() != smNone) return;
  if (FFileOpenMode != fmOpenReadWriteDenyWrite && FFileOpenMode != ZAFileModeCreate) return;
  const std::string target = ResolveArchivePath(platform::ToFileSystemPath(FileName));
  FCommitLock.Take(*this, target, std::chrono::milliseconds(std::max<std::int32_t>(CommitLockWait, 0)));
  if (FFileOpenMode != ZAFileModeCreate) return;
  // A file under the name that this process may not write (or a folder) is refused, as a create
  // in place would be.
  if (!FCommitLock.Held()) {
    struct stat named {};
    if (::stat(target.c_str(), &named) == 0) {
      const os::UniqueFd probe(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
      if (!probe) throw EStreamError("Cannot create file \"" + target + "\". " + std::strerror(errno));
    }
  }
  // A file under the name stays until the new archive is complete.
  FArchiveStream = CreateBesideFile(target);
  if (!FArchiveStream) throw EZAException(zaerr::CannotCreateTempFile, this, {ExtractFilePath(FileName)});
}

void TZABaseArchiver::CompleteNewArchive() {
  if (!FArchiveStream || !FDirManager || !FDirManager->Creating) return;
  auto* fresh = dynamic_cast<TZAFdFile*>(FArchiveStream.get());
  const bool unplaced = fresh && !fresh->Placed();
  if (FDirectoryWritten && !unplaced) return;
  // A create whose commit failed leaves the file that had the name as it was.
  const bool failed = FLastCommit.State != TZACommitState::None && !FLastCommit.Succeeded();
  if (unplaced && failed && FCommitLock.Held()) return;
  if (!FDirectoryWritten) SaveCentralDirectory();
  if (!unplaced) return;
  PlaceBesideFile(*this, *fresh, FCommitLock.Handle());
  (void)FlushFolder(FolderOfPath(fresh->Target()));
}

void FlushOrFail(const TZABaseArchiver& archiver, TZAStream& stream) {
  try {
    stream.Flush();
  } catch (const EStreamError&) {
    throw EZAException(zaerr::ShortWrite, &archiver);
  }
}

void PlaceBesideFile(TZABaseArchiver& archiver, TZAFdFile& file, int oldHandle) {
  // The new file is locked before it has the name: a commit that waited for the old file and finds
  // the new one under the name waits for this one.
  TZACommitLock lock = TZACommitLock::OfNewFile(file.Handle());
  TZAPlacement(archiver, file, oldHandle).Run();
  archiver.FCommitLock = std::move(lock);
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
  const std::string base = BaseOfPath(target);
  DIR* dir = ::opendir(FolderOfPath(target).c_str());
  if (!dir) return;
  const int dirFd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (!IsBesideTempName(name, base)) continue;
    const os::UniqueFd fd(::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) continue;
    struct stat held {}, named {};
    // A live commit holds its file's lock until the file has taken the archive's name.
    if (::fstat(fd.get(), &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(held, named)) {
      (void)::unlinkat(dirFd, name.c_str(), 0);
    }
  }
  ::closedir(dir);
}

}  // namespace zip
