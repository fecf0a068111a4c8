#include "os/processes.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "os/ascii.h"

namespace os {
namespace {

constexpr std::size_t kMaxExeName = 260;
constexpr std::size_t kMaxProcFile = 64 * 1024;

std::string BaseName(std::string path) {
  const auto slash = path.rfind('/');
  if (slash != std::string::npos) path.erase(0, slash + 1);
  return path;
}

// A small /proc file; whatever could be read when the process goes meanwhile (reads of a
// vanished process fail with ESRCH).
std::string ReadFile(const std::string& path) {
  std::string text;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return text;
  char buf[4096];
  while (text.size() < kMaxProcFile) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return text;
}

// The state letter of /proc/<pid>/stat; the name in parentheses may hold anything, so the
// state is the first field after the last ')'.
char ProcessState(const std::string& procDir) {
  const std::string stat = ReadFile(procDir + "/stat");
  const auto close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) return '?';
  return stat[close + 2];
}

std::string ExeFileOf(const std::string& procDir) {
  std::string name;
  char target[4096];
  const ssize_t n = ::readlink((procDir + "/exe").c_str(), target, sizeof target);
  if (n > 0 && static_cast<std::size_t>(n) < sizeof target) {
    std::string path(target, static_cast<std::size_t>(n));
    static const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
      path.erase(path.size() - deleted.size());
    name = BaseName(path);
  }
  if (name.empty()) {
    const std::string cmdline = ReadFile(procDir + "/cmdline");
    name = BaseName(cmdline.substr(0, cmdline.find('\0')));
  }
  if (name.empty()) {
    name = ReadFile(procDir + "/comm");
    if (!name.empty() && name.back() == '\n') name.pop_back();
  }
  if (name.size() > kMaxExeName) name.resize(kMaxExeName);
  return name;
}

// The real user id from the "Uid:" line of /proc/<pid>/status.
uid_t RealUserOf(const std::string& procDir) {
  const std::string status = ReadFile(procDir + "/status");
  const auto line = status.find("\nUid:");
  if (line == std::string::npos) return static_cast<uid_t>(-1);
  const char* text = status.c_str() + line + 5;
  char* end = nullptr;
  errno = 0;
  const unsigned long value = std::strtoul(text, &end, 10);
  if (errno != 0 || end == text || value >= static_cast<unsigned long>(static_cast<uid_t>(-1)))
    return static_cast<uid_t>(-1);
  return static_cast<uid_t>(value);
}

bool ParsePid(const char* text, pid_t& pid) {
  if (*text < '1' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || value <= 0 || value > 0x3FFFFFFF) return false;
  pid = static_cast<pid_t>(value);
  return true;
}

class ProcFsProcessList final : public ProcessList {
 public:
  std::vector<ProcessEntry> Snapshot() override {
    std::vector<ProcessEntry> entries;
    std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), &::closedir);
    if (!proc) return entries;
    while (const dirent* e = ::readdir(proc.get())) {
      pid_t pid = 0;
      if (!ParsePid(e->d_name, pid)) continue;
      const std::string dir = std::string("/proc/") + e->d_name;
      const char state = ProcessState(dir);
      if (state == '?' || state == 'Z' || state == 'X') continue;  // gone, or only a zombie left
      std::string exe = ExeFileOf(dir);
      if (exe.empty()) continue;  // it went while we looked
      ProcessEntry entry{pid, std::move(exe)};
      entry.uid = RealUserOf(dir);
      struct stat file {};
      if (::stat((dir + "/exe").c_str(), &file) == 0) {
        entry.exeKnown = true;
        entry.exeDevice = file.st_dev;
        entry.exeInode = file.st_ino;
      }
      entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(), [](const ProcessEntry& a, const ProcessEntry& b) { return a.pid < b.pid; });
    return entries;
  }

  bool TerminateProcess(pid_t pid, unsigned /*exitCode*/) override {
    if (pid <= 0) return false;
    return ::kill(pid, SIGKILL) == 0;
  }

  bool EmptyWorkingSet(pid_t pid) override {
    if (pid != ::getpid()) return false;
    ::malloc_trim(0);
    return true;
  }
};

}  // namespace

template <>
ProcessList& RealService<ProcessList>() {
  static ProcFsProcessList real;
  return real;
}

std::optional<pid_t> FindProcessByExeName(std::string_view exeName, NameCase nameCase) {
  for (const ProcessEntry& entry : Use<ProcessList>().Snapshot()) {
    const bool equal = nameCase == NameCase::Exact ? entry.exeFile == exeName
                                                   : ascii::EqualsIgnoringCase(entry.exeFile, exeName);
    if (equal) return entry.pid;
  }
  return std::nullopt;
}

std::optional<pid_t> FindOwnProcessRunningFile(const std::string& path) {
  struct stat file {};
  if (::stat(path.c_str(), &file) != 0) return std::nullopt;
  const uid_t self = ::getuid();
  for (const ProcessEntry& entry : Use<ProcessList>().Snapshot()) {
    if (entry.uid == self && entry.exeKnown && entry.exeDevice == file.st_dev && entry.exeInode == file.st_ino)
      return entry.pid;
  }
  return std::nullopt;
}

std::vector<ProcessEntry> ProcessSnapshot() { return Use<ProcessList>().Snapshot(); }
bool TerminateProcess(pid_t pid, unsigned exitCode) { return Use<ProcessList>().TerminateProcess(pid, exitCode); }
bool EmptyWorkingSet(pid_t pid) { return Use<ProcessList>().EmptyWorkingSet(pid); }

}  // namespace os
