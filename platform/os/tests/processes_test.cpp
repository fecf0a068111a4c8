#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

#include "os/processes.h"
#include "test_support.h"

namespace {

using os_test::TempDir;

// A copy of /bin/sleep under a made-up name, run as our child and killed at the end.
class NamedChild {
 public:
  NamedChild(const TempDir& dir, const std::string& name) : path_(dir / name) {
    std::filesystem::copy_file("/bin/sleep", path_);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::execl(path_.c_str(), "sleep", "30", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Until it has executed, the child still runs the test's executable.
    os_test::WaitFor([&] { return ExeOf(pid_) == name; });
  }
  ~NamedChild() {
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  pid_t pid() const { return pid_; }
  const std::string& path() const { return path_; }
  int Reap() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    reaped_ = true;
    return status;
  }
  static std::string ExeOf(pid_t pid) {
    for (const auto& e : os::ProcessSnapshot())
      if (e.pid == pid) return e.exeFile;
    return {};
  }

 private:
  std::string path_;
  pid_t pid_ = -1;
  bool reaped_ = false;
};

std::string UniqueName(const char* stem) { return stem + std::to_string(::getpid()) + ".exe"; }

TEST(Processes, SnapshotIsOrderedAndNamesThisProcess) {
  const auto snapshot = os::ProcessSnapshot();
  ASSERT_FALSE(snapshot.empty());
  EXPECT_TRUE(std::is_sorted(snapshot.begin(), snapshot.end(), [](auto& a, auto& b) { return a.pid < b.pid; }));
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(n, 0);
  EXPECT_EQ(NamedChild::ExeOf(::getpid()), std::filesystem::path(std::string(self, n)).filename().string());
}

TEST(Processes, FindByNameExactlyOrWithoutRegardToCase) {
  TempDir dir;
  const std::string name = UniqueName("OrvalisP");  // e.g. OrvalisP1234.exe
  NamedChild child(dir, name);
  ASSERT_EQ(NamedChild::ExeOf(child.pid()), name);

  std::string lower = name, upper = name;
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
  struct Case {
    std::string asked;
    os::NameCase nameCase;
    bool found;
  };
  const Case cases[] = {
      {name, os::NameCase::Exact, true},          {lower, os::NameCase::Exact, false},
      {lower, os::NameCase::Ignore, true},        {upper, os::NameCase::Ignore, true},
      {name + "x", os::NameCase::Ignore, false},  {name.substr(1), os::NameCase::Ignore, false},
      {"", os::NameCase::Ignore, false},
  };
  for (const auto& c : cases) {
    const auto found = os::FindProcessByExeName(c.asked, c.nameCase);
    EXPECT_EQ(found.has_value(), c.found) << c.asked;
    if (c.found && found) {
      EXPECT_EQ(*found, child.pid()) << c.asked;
    }
  }
}

TEST(Processes, FirstOfTwoSameNamedProcessesIsFound) {
  TempDir dirA, dirB;
  const std::string name = UniqueName("Twin");
  NamedChild a(dirA, name);
  NamedChild b(dirB, name);
  EXPECT_EQ(os::FindProcessByExeName(name, os::NameCase::Exact), std::min(a.pid(), b.pid()));
}

TEST(Processes, ReplacedExecutableKeepsItsName) {
  TempDir dir;
  const std::string name = UniqueName("Replaced");
  NamedChild child(dir, name);
  std::filesystem::remove(child.path());
  EXPECT_EQ(NamedChild::ExeOf(child.pid()), name);
}

TEST(Processes, FindsTheProcessThatRunsAFileWhateverItsName) {
  TempDir dirA, dirB;
  const std::string name = UniqueName("Client");
  NamedChild running(dirA, name);
  // The same bytes under the same name elsewhere are another file.
  const std::string copy = dirB / name;
  std::filesystem::copy_file(running.path(), copy);
  const std::string hardLink = dirB / "autre-nom";
  std::filesystem::create_hard_link(running.path(), hardLink);

  EXPECT_EQ(os::FindOwnProcessRunningFile(running.path()), running.pid());
  EXPECT_EQ(os::FindOwnProcessRunningFile(hardLink), running.pid()) << "the same file by another name";
  EXPECT_EQ(os::FindOwnProcessRunningFile(copy), std::nullopt);
  EXPECT_EQ(os::FindOwnProcessRunningFile(running.path() + ".absent"), std::nullopt);
  for (const auto& e : os::ProcessSnapshot()) {
    if (e.pid != running.pid()) continue;
    EXPECT_EQ(e.uid, ::getuid());
    EXPECT_TRUE(e.exeKnown);
  }
}

TEST(Processes, AFileRunByAnotherUserIsNotFound) {
  if (::getuid() != 0) GTEST_SKIP() << "starting a process as another user needs root";
  TempDir dir;
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all & ~std::filesystem::perms::group_write &
                                               ~std::filesystem::perms::others_write);
  const std::string program = dir / UniqueName("Theirs");
  std::filesystem::copy_file("/bin/sleep", program);
  std::filesystem::permissions(program, std::filesystem::perms::all & ~std::filesystem::perms::group_write &
                                            ~std::filesystem::perms::others_write);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::setgid(65534) == 0 && ::setuid(65534) == 0) ::execl(program.c_str(), "sleep", "30", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ASSERT_GT(pid, 0);
  const bool started = os_test::WaitFor([&] {
    for (const auto& e : os::ProcessSnapshot())
      if (e.pid == pid) return e.uid == 65534u && e.exeKnown;
    return false;
  });
  EXPECT_TRUE(started);
  EXPECT_EQ(os::FindOwnProcessRunningFile(program), std::nullopt);
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

TEST(Processes, TerminateEndsTheProcessAtOnceAndItLeavesTheList) {
  TempDir dir;
  const std::string name = UniqueName("Doomed");
  NamedChild child(dir, name);
  ASSERT_TRUE(os::TerminateProcess(child.pid(), 0));
  // Not yet reaped, it is a zombie: already out of the list.
  ASSERT_TRUE(os_test::WaitFor([&] { return !os::FindProcessByExeName(name, os::NameCase::Exact); }));
  const int status = child.Reap();
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGKILL);
}

TEST(Processes, WorkingSetTrimOnlyForThisProcess) {
  EXPECT_TRUE(os::EmptyWorkingSet(::getpid()));
  EXPECT_FALSE(os::EmptyWorkingSet(1));
}

}  // namespace
