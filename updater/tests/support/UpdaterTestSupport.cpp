#include "UpdaterTestSupport.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace updater::testing {
namespace {

using namespace std::chrono_literals;

std::string ExeOf(pid_t pid) {
  char target[PATH_MAX] = {};
  const std::string link = "/proc/" + std::to_string(pid) + "/exe";
  const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
  return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

}  // namespace

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "updater-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern + "/";
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path);
}

void CopyFile(const std::string& from, const std::string& to, mode_t mode) {
  WriteFile(to, ReadFile(from));
  if (::chmod(to.c_str(), mode) != 0) throw std::runtime_error("chmod failed on " + to);
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

bool IsExecutable(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IXUSR) != 0 &&
         ::access(path.c_str(), X_OK) == 0;
}

std::time_t LocalTime(int year, int month, int day, int hour) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

void SetModificationTime(const std::string& path, std::time_t when) {
  const timespec times[2] = {{when, 0}, {when, 0}};
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
    throw std::runtime_error("utimensat failed on " + path);
}

std::time_t ModificationTime(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) throw std::runtime_error("stat failed on " + path);
  return info.st_mtim.tv_sec;
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

int RunProgram(const std::vector<std::string>& argv, const std::string& folder) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int failed = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) throw std::runtime_error("cannot start " + argv[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string OldClientProgram() { return STAND_IN_CLIENT_OLD; }
std::string NewClientProgram() { return STAND_IN_CLIENT_NEW; }

pid_t Spawn(const std::string& program) {
  char* args[] = {const_cast<char*>(program.c_str()), nullptr};
  pid_t pid = 0;
  if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, args, environ) != 0)
    throw std::runtime_error("cannot start " + program);
  return pid;
}

pid_t SpawnAsUser(const std::string& program, uid_t uid) {
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("cannot fork");
  if (pid == 0) {
    char* args[] = {const_cast<char*>(program.c_str()), nullptr};
    if (::setgroups(0, nullptr) == 0 && ::setgid(uid) == 0 && ::setuid(uid) == 0) ::execv(program.c_str(), args);
    ::_exit(127);
  }
  return pid;
}

bool WaitKilled(pid_t child, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == child) return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    if (done < 0) return false;
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(10ms);
  }
}

bool Running(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const auto close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z' &&
         line[close + 2] != 'X';
}

bool WaitUntilIgnored(pid_t pid, int signal, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (!line.starts_with("SigIgn:")) continue;
      const unsigned long long ignored = std::stoull(line.substr(7), nullptr, 16);
      if ((ignored >> (signal - 1)) & 1) return true;
    }
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(10ms);
  }
}

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("getrlimit failed");
  previous_ = limit.rlim_cur;
  limit.rlim_cur = bytes;
  if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("setrlimit failed");
}

FileSizeLimit::~FileSizeLimit() {
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = previous_;
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

SmallFileSystem::SmallFileSystem(std::string folder, std::uint64_t bytes) : folder_(std::move(folder)) {
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
}

SmallFileSystem::~SmallFileSystem() {
  // Detached: a client started from it may still be ending.
  if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
}

void SmallFileSystem::LeaveFree(std::uint64_t bytes) {
  struct statvfs space {};
  if (::statvfs(folder_.c_str(), &space) != 0) throw std::runtime_error("statvfs failed on " + folder_);
  const std::uint64_t available = static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize;
  if (available < bytes) throw std::runtime_error("the file system is too small already");
  WriteFile(folder_ + "/remplissage", std::string(available - bytes, 'f'));
}

std::vector<ClientStart> ClientStarts(const std::string& folder) {
  std::vector<ClientStart> starts;
  std::ifstream log(folder + "client-starts.log");
  ClientStart start;
  while (log >> start.version >> start.pid) starts.push_back(start);
  return starts;
}

std::vector<ClientStart> WaitForClientStarts(const std::string& folder, std::size_t count,
                                             std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    auto starts = ClientStarts(folder);
    if (starts.size() >= count || std::chrono::steady_clock::now() >= until) return starts;
    std::this_thread::sleep_for(10ms);
  }
}

OwnProcesses::OwnProcesses(std::string folder) : folder_(std::move(folder)), use_(*this) {}

OwnProcesses::~OwnProcesses() { EndAll(); }

std::vector<os::ProcessEntry> OwnProcesses::Snapshot() {
  std::vector<os::ProcessEntry> own;
  for (auto& entry : os::RealService<os::ProcessList>().Snapshot())
    if (ExeOf(entry.pid).starts_with(folder_)) own.push_back(entry);
  return own;
}

bool OwnProcesses::TerminateProcess(pid_t pid, unsigned exitCode) {
  if (!ExeOf(pid).starts_with(folder_)) return false;  // never anybody else's
  {
    std::lock_guard lock(mutex_);
    terminated_.push_back(pid);
  }
  return os::RealService<os::ProcessList>().TerminateProcess(pid, exitCode);
}

bool OwnProcesses::EmptyWorkingSet(pid_t) { return false; }

std::vector<pid_t> OwnProcesses::Terminated() const {
  std::lock_guard lock(mutex_);
  return terminated_;
}

void OwnProcesses::EndAll() {
  for (const auto& entry : Snapshot()) ::kill(entry.pid, SIGKILL);
  // Reap the ones that were the test's own children; the detached ones are reaped by init.
  int status = 0;
  while (::waitpid(-1, &status, WNOHANG) > 0) {
  }
}

}  // namespace updater::testing
