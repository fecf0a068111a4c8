#pragma once
// Commits on one archive run one at a time. A commit holds an exclusive lock on the archive file
// from before it reads the directory until its new archive has the archive's name; another commit
// that finds the lock held waits for it, for a bounded time.
//
// The lock is a write lock of the open file description (fcntl F_OFD_SETLK) on the archive file
// itself, so no file is added to the archive's folder. Such a lock never meets the shared flock()
// that the deny-write opening modes take. As each commit puts a new file under the archive's
// name, the lock moves with the name: the new file is locked before it takes the name, and a
// commit that got the lock of a file that no longer has the name lets it go and waits for the
// file that has it.
#include <chrono>
#include <string>

#include "os/unique_fd.h"

namespace zip {

class TZABaseArchiver;

class TZACommitLock {
 public:
  TZACommitLock() = default;
  explicit TZACommitLock(os::UniqueFd locked) : FFd(std::move(locked)) {}

  // Takes the lock of the file that path (a file system path) leads to, waiting up to wait while
  // another commit holds it; code 76 when the wait ends first. Where there is no file, or one that
  // cannot be opened for writing, nothing is locked (the opening of the archive then fails, or
  // the new archive takes a free name).
  void Take(const TZABaseArchiver& archiver, const std::string& path, std::chrono::milliseconds wait);

  // The lock of a file that no other process can know yet (a new archive before it takes the
  // archive's name), open for writing on fd. Empty where the file system keeps no locks.
  static TZACommitLock OfNewFile(int fd);

  bool Held() const { return FFd.valid(); }
  // The locked file (-1 when none is held).
  int Handle() const { return FFd.get(); }
  void Release() { FFd.reset(); }

 private:
  os::UniqueFd FFd;
};

}  // namespace zip
