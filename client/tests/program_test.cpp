// The built OrvalisP.exe, started as a user would start it, from folders of its own (its
// files live beside it) and with a runtime folder of its own (where its single-instance lock
// lives), so that these runs meet neither each other nor a client the developer has open.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = ORVALIS_CLIENT_EXE;
    ASSERT_TRUE(fs::exists(program_)) << program_;
    char pattern[] = "/tmp/orvalisp-run-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    runtime_ = dir_ / "run";
    fs::create_directory(runtime_);
    fs::permissions(runtime_, fs::perms::owner_all, fs::perm_options::replace);
  }
  void TearDown() override {
    for (pid_t pid : children_) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
    fs::remove_all(dir_);
  }

  // A folder holding a copy of the program, as an installation would.
  fs::path Install(const std::string& name) {
    const fs::path folder = dir_ / name;
    fs::create_directory(folder);
    fs::copy_file(program_, folder / "OrvalisP.exe");
    return folder;
  }

  pid_t Start(const fs::path& folder) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      if (entry.rfind("XDG_RUNTIME_DIR=", 0) == 0 || entry.rfind("QT_QPA_PLATFORM=", 0) == 0) continue;
      env.push_back(entry);
    }
    env.push_back("XDG_RUNTIME_DIR=" + runtime_.string());
    env.push_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string path = (folder / "OrvalisP.exe").string();
    char* argv[] = {path.data(), nullptr};
    pid_t pid = 0;
    EXPECT_EQ(::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, envp.data()), 0);
    children_.push_back(pid);
    return pid;
  }

  // True while some process holds the client's lock.
  bool LockHeld() const {
    const int fd = ::open((runtime_ / "OrvalisP.mutex").c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);  // also lets go of the lock if this test took it
    return held;
  }

  bool WaitUntilLocked(std::chrono::seconds limit) const {
    for (auto until = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < until;) {
      if (LockHeld()) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  // The wait status once the process has ended, or nothing when it still runs after `limit`.
  std::optional<int> WaitForExit(pid_t pid, std::chrono::milliseconds limit) {
    for (auto until = std::chrono::steady_clock::now() + limit;;) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) {
        std::erase(children_, pid);
        return status;
      }
      if (std::chrono::steady_clock::now() >= until) return std::nullopt;
      std::this_thread::sleep_for(20ms);
    }
  }

  // Whether the process ignores the signal (its SigIgn mask in /proc).
  static bool IgnoresSignal(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.starts_with("SigIgn:")) return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    }
    return false;
  }

  static std::vector<std::string> FilesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path program_, dir_, runtime_;
  std::vector<pid_t> children_;
};

TEST_F(ProgramTest, ASecondClientEndsAtOnceAndTheFirstKeepsRunning) {
  const fs::path first = Install("first");
  const fs::path other = Install("other");
  const pid_t running = Start(first);
  ASSERT_TRUE(WaitUntilLocked(30s)) << "the first client never took its lock";

  // From another installation and from the same one.
  for (const fs::path& folder : {other, first}) {
    SCOPED_TRACE(folder.filename().string());
    const auto begin = std::chrono::steady_clock::now();
    const auto status = WaitForExit(Start(folder), 15s);
    ASSERT_TRUE(status.has_value()) << "the second client did not end";
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 10s);
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"OrvalisP.exe"}) << "it wrote nothing";
  }

  EXPECT_FALSE(WaitForExit(running, 500ms).has_value()) << "the first client is still running";
  EXPECT_TRUE(LockHeld());
  EXPECT_EQ(FilesIn(first), std::vector<std::string>{"OrvalisP.exe"}) << "and has written nothing before a close";
}

// From its start on, a write past a file size limit (`ulimit -f`) fails with EFBIG instead of
// ending the client by SIGXFSZ; the signal is ignored before the lock is taken.
TEST_F(ProgramTest, TheClientOutlivesAFileSizeLimit) {
  const pid_t client = Start(Install("client"));
  ASSERT_TRUE(WaitUntilLocked(30s));
  EXPECT_TRUE(IgnoresSignal(client, SIGXFSZ));
}

TEST_F(ProgramTest, TheLockGoesWithAClientThatWasKilled) {
  const fs::path folder = Install("client");
  const pid_t killed = Start(folder);
  ASSERT_TRUE(WaitUntilLocked(30s));
  ::kill(killed, SIGKILL);
  ASSERT_TRUE(WaitForExit(killed, 10s).has_value());
  EXPECT_FALSE(LockHeld());

  const pid_t next = Start(folder);
  EXPECT_TRUE(WaitUntilLocked(30s)) << "the next start runs as the only client";
  EXPECT_FALSE(WaitForExit(next, 300ms).has_value());
}

}  // namespace
