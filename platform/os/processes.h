#pragma once
// The process list, read from /proc: a snapshot of the running processes with the file name
// of each one's executable, finding by name, termination and the working-set trim.
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

#include "os/service.h"

namespace os {

struct ProcessEntry {
  pid_t pid = 0;
  // The file name (no folder) of the process's executable, at most 260 characters: the target
  // of /proc/<pid>/exe (without the " (deleted)" mark of a replaced file); when that cannot be
  // read (another user's process), the file name of argv[0] from /proc/<pid>/cmdline; else
  // /proc/<pid>/comm.
  std::string exeFile;
  // The real user id the process runs under; (uid_t)-1 when it could not be read.
  uid_t uid = static_cast<uid_t>(-1);
  // The file the process runs, as device and inode of /proc/<pid>/exe: the same whether the
  // file was reached by another path or a link. `exeKnown` is false when it could not be
  // looked at (another user's process, or it went meanwhile).
  bool exeKnown = false;
  dev_t exeDevice = 0;
  ino_t exeInode = 0;
};

class ProcessList {
 public:
  virtual ~ProcessList() = default;
  // The live processes (zombies left out) in ascending pid order.
  virtual std::vector<ProcessEntry> Snapshot() = 0;
  // Ends the process at once: it gets SIGKILL, so none of its own closing code runs, and the
  // call does not wait for it to go. Linux cannot give another process an exit status of the
  // killer's choice: its parent sees "killed by signal 9" whatever exitCode says; exitCode is
  // kept so that callers read like the system call. True when the signal was delivered.
  virtual bool TerminateProcess(pid_t pid, unsigned exitCode) = 0;
  // Best effort to give the process's unused memory back to the system. For the calling
  // process this returns the free heap pages (malloc_trim); for another process Linux has no
  // equivalent this layer can use, and nothing happens. True when something was done.
  virtual bool EmptyWorkingSet(pid_t pid) = 0;
};

template <>
ProcessList& RealService<ProcessList>();

enum class NameCase { Exact, Ignore };

// The first process of a snapshot whose exeFile equals `exeName`, exactly or without regard
// to the case of ASCII letters.
std::optional<pid_t> FindProcessByExeName(std::string_view exeName, NameCase nameCase);

// The first process of a snapshot that runs the very file at `path` (same device and inode,
// whatever its name or the path it was started by) under the calling process's real user id.
// Nothing when the file cannot be looked at or no such process runs.
std::optional<pid_t> FindOwnProcessRunningFile(const std::string& path);

// Shortcuts for Use<ProcessList>().
std::vector<ProcessEntry> ProcessSnapshot();
bool TerminateProcess(pid_t pid, unsigned exitCode);
bool EmptyWorkingSet(pid_t pid);

}  // namespace os
