#pragma once
// What the updater's tests run against: a folder that plays the installation folder, with a
// stand-in client, archives made by Info-ZIP's zip, the stand-in client processes, and the
// process list narrowed to the processes these tests started.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "os/processes.h"
#include "os/sleep.h"

namespace updater::testing {

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  // The folder's path, with a trailing "/".
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
void CopyFile(const std::string& from, const std::string& to, mode_t mode);
bool Exists(const std::string& path);
bool IsExecutable(const std::string& path);
// Local wall-clock time of that day at noon (or at the given hour).
std::time_t LocalTime(int year, int month, int day, int hour = 12);
void SetModificationTime(const std::string& path, std::time_t when);
std::time_t ModificationTime(const std::string& path);

// The names in a folder, hidden ones too, sorted.
std::vector<std::string> FilesIn(const std::string& folder);

// Runs a program (looked up in PATH) in `folder` and waits for it; its exit status.
int RunProgram(const std::vector<std::string>& argv, const std::string& folder);

// The stand-in client programs built beside the tests ("old" and "new" versions).
std::string OldClientProgram();
std::string NewClientProgram();

// Starts a program as a child of the test; its pid.
pid_t Spawn(const std::string& program);
// The same, run under another user id (and that id as group); only root can do it.
pid_t SpawnAsUser(const std::string& program, uid_t uid);
// Waits (at most `limit`) for a child of the test to end; true when it was killed by SIGKILL.
bool WaitKilled(pid_t child, std::chrono::milliseconds limit);
// True while the process exists and is not a zombie.
bool Running(pid_t pid);
// Waits (at most `limit`) until the process ignores the signal; whether it does.
bool WaitUntilIgnored(pid_t pid, int signal, std::chrono::milliseconds limit);

// The test process's file size limit (RLIMIT_FSIZE, as `ulimit -f` sets it) for the object's
// lifetime: a write past it fails with EFBIG, the tests ignoring SIGXFSZ as the programs do.
// Programs started meanwhile inherit it.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::uint64_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  std::uint64_t previous_;
};

// A small file system of its own (tmpfs) mounted over a folder for the object's lifetime, so
// that a test meets a really full disk. Mounting needs root: Mounted() says whether it worked.
class SmallFileSystem {
 public:
  SmallFileSystem(std::string folder, std::uint64_t bytes);
  ~SmallFileSystem();
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;
  bool Mounted() const { return mounted_; }
  // Fills the file system with a file "remplissage" until `bytes` stay free.
  void LeaveFree(std::uint64_t bytes);

 private:
  std::string folder_;
  bool mounted_ = false;
};

// The starts noted by stand-in clients in `folder`'s "client-starts.log": version and pid.
struct ClientStart {
  std::string version;
  pid_t pid = 0;
};
std::vector<ClientStart> ClientStarts(const std::string& folder);
// Waits (at most `limit`) until the log holds `count` starts.
std::vector<ClientStart> WaitForClientStarts(const std::string& folder, std::size_t count,
                                             std::chrono::milliseconds limit);

// The process list as the updater sees it during a test: only the processes whose executable
// lies inside `folder`, so a test never ends anybody else's process. Termination is real.
class OwnProcesses : public os::ProcessList {
 public:
  explicit OwnProcesses(std::string folder);
  ~OwnProcesses() override;
  std::vector<os::ProcessEntry> Snapshot() override;
  bool TerminateProcess(pid_t pid, unsigned exitCode) override;
  bool EmptyWorkingSet(pid_t pid) override;
  // The pids terminated through this list, in order.
  std::vector<pid_t> Terminated() const;
  // Ends every process still running from the folder (the clients the updater restarted).
  void EndAll();

 private:
  std::string folder_;
  mutable std::mutex mutex_;
  std::vector<pid_t> terminated_;
  os::ScopedOverride<os::ProcessList> use_;
};

// Sleeps that do not wait; the lengths asked for are kept.
class NoSleep : public os::Sleeper {
 public:
  NoSleep() : use_(*this) {}
  void Sleep(unsigned ms) override {
    std::lock_guard lock(mutex_);
    asked_.push_back(ms);
  }
  std::vector<unsigned> Asked() const {
    std::lock_guard lock(mutex_);
    return asked_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<unsigned> asked_;
  os::ScopedOverride<os::Sleeper> use_;
};

}  // namespace updater::testing
