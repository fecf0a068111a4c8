#include "ZACommitLock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "ZAExcept.h"
#include "ZAPlatform.h"

namespace zip {

namespace {

constexpr long PollNanoseconds = 5'000'000;

enum class TLockAttempt { Taken, Busy, Unsupported };

TLockAttempt TryLock(int fd) {
  struct flock whole {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  whole.l_start = 0;
  whole.l_len = 0;
  for (;;) {
    if (::fcntl(fd, F_OFD_SETLK, &whole) == 0) return TLockAttempt::Taken;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EACCES ? TLockAttempt::Busy : TLockAttempt::Unsupported;
  }
}

// Whether the name path still leads to the file open on fd.
bool StillNamed(int fd, const std::string& path) {
  struct stat held {}, named {};
  return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

}  // namespace

void TZACommitLock::Take(const TZABaseArchiver& archiver, const std::string& path, std::chrono::milliseconds wait) {
  Release();
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    os::UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd) return;
    for (;;) {
      const TLockAttempt attempt = TryLock(fd.get());
      if (attempt == TLockAttempt::Unsupported) return;
      if (attempt == TLockAttempt::Taken) break;
      if (std::chrono::steady_clock::now() >= deadline) {
        throw EZAException(zaerr::ArchiveBusy, &archiver, {platform::FromFileSystemPath(path)});
      }
      const timespec pause{0, PollNanoseconds};
      ::nanosleep(&pause, nullptr);
    }
    // The commit that held the lock may have put a new archive under the name meanwhile: then
    // that one is the file to lock.
    if (StillNamed(fd.get(), path)) {
      FFd = std::move(fd);
      return;
    }
  }
}

TZACommitLock TZACommitLock::OfNewFile(int fd) {
  os::UniqueFd own(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
  if (!own || TryLock(own.get()) != TLockAttempt::Taken) return {};
  return TZACommitLock(std::move(own));
}

}  // namespace zip
