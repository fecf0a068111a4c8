#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "os/shell.h"
#include "os/single_instance.h"
#include "test_support.h"

namespace {

using os_test::ScopedEnv;
using os_test::TempDir;

// A runtime folder of our own for each test, as the session gives one.
class SingleInstanceTest : public ::testing::Test {
 protected:
  SingleInstanceTest() : runtime_("XDG_RUNTIME_DIR", dir_.path().string()) {
    std::filesystem::permissions(dir_.path(), std::filesystem::perms::owner_all);
  }
  TempDir dir_;
  ScopedEnv runtime_;
};

// A child process that takes the mutex, says so through a pipe, and waits to be killed.
pid_t StartHolder(const std::string& name) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(ready[0]);
    auto mutex = os::CreateMutex(name);
    const char answer = mutex->AlreadyExisted() ? 'E' : 'N';
    if (::write(ready[1], &answer, 1) != 1) ::_exit(2);
    while (true) ::pause();
  }
  ::close(ready[1]);
  char answer = 0;
  const bool told = ::read(ready[0], &answer, 1) == 1 && answer == 'N';
  ::close(ready[0]);
  if (!told && pid > 0) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
  }
  return pid;
}

TEST_F(SingleInstanceTest, SecondHandleSeesTheFirstUntilItGoes) {
  auto first = os::CreateMutex("OrvalisP");
  EXPECT_FALSE(first->AlreadyExisted());
  EXPECT_TRUE(os::CreateMutex("OrvalisP")->AlreadyExisted());
  EXPECT_FALSE(os::CreateMutex("OtherName")->AlreadyExisted());
  first.reset();
  EXPECT_FALSE(os::CreateMutex("OrvalisP")->AlreadyExisted());
}

TEST_F(SingleInstanceTest, HeldByAnotherProcessAndFreedWhenItIsKilled) {
  const pid_t holder = StartHolder("OrvalisP");
  ASSERT_GT(holder, 0);
  EXPECT_TRUE(os::CreateMutex("OrvalisP")->AlreadyExisted());
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  EXPECT_FALSE(os::CreateMutex("OrvalisP")->AlreadyExisted());
}

TEST_F(SingleInstanceTest, ProgramsStartedFromTheHolderDoNotKeepIt) {
  auto mine = os::CreateMutex("OrvalisP");
  ASSERT_FALSE(mine->AlreadyExisted());
  const std::string marker = dir_ / "started";
  const std::string script = dir_ / "child.sh";
  os_test::WriteFile(script, "#!/bin/sh\necho $$ > \"$1.tmp\"\nmv \"$1.tmp\" \"$1\"\nexec sleep 5\n", true);
  ASSERT_TRUE(os::StartDetached(script, {marker}));
  ASSERT_TRUE(os_test::WaitFor([&] { return std::filesystem::exists(marker); }));
  mine.reset();
  EXPECT_FALSE(os::CreateMutex("OrvalisP")->AlreadyExisted());
  const pid_t child = std::stoi(os_test::ReadFile(marker));
  EXPECT_EQ(::kill(child, 0), 0) << "the started program should still run";
  ::kill(child, SIGKILL);
}

TEST_F(SingleInstanceTest, AnyNameStaysInsideTheRuntimeFolder) {
  const std::string names[] = {"../escape", "Local\\OrvalisP", "a/b/c", ".hidden", "", "é ç"};
  std::vector<std::unique_ptr<os::NamedMutex>> held;
  for (const auto& name : names) {
    held.push_back(os::CreateMutex(name));
    EXPECT_FALSE(held.back()->AlreadyExisted()) << name;
    EXPECT_TRUE(os::CreateMutex(name)->AlreadyExisted()) << name;
  }
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    EXPECT_TRUE(entry.is_regular_file()) << entry.path();
    ++files;
  }
  EXPECT_EQ(files, std::size(names));
  EXPECT_FALSE(std::filesystem::exists(dir_.path().parent_path() / "escape.mutex"));
}

TEST_F(SingleInstanceTest, FailuresOtherThanAHolderLetTheProgramStart) {
  // The lock file's place is taken by a folder: the mutex cannot be made, the program starts.
  std::filesystem::create_directory(dir_ / "Blocked.mutex");
  EXPECT_FALSE(os::CreateMutex("Blocked")->AlreadyExisted());
  EXPECT_FALSE(os::CreateMutex("Blocked")->AlreadyExisted());
}

TEST(SingleInstanceFolder, RuntimeFolderOpenToOthersOrMissingFallsBackToAPrivateOne) {
  TempDir open;
  std::filesystem::permissions(open.path(), std::filesystem::perms::all);
  const std::string fallback = "/tmp/orvalis-" + std::to_string(::geteuid());
  for (const std::optional<std::string>& runtime :
       {std::optional<std::string>(open.path().string()), std::optional<std::string>(),
        std::optional<std::string>("relative/dir")}) {
    ScopedEnv env("XDG_RUNTIME_DIR", runtime);
    EXPECT_EQ(os::MutexFolder(), fallback);
    struct stat st {};
    ASSERT_EQ(::lstat(fallback.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
  }
}

}  // namespace
