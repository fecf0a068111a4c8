// Ending the client that is about to be replaced, on real processes started by the test: only
// the one that runs the client file of the updater's folder, under the updater's user.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "ClientProcess.h"
#include "support/UpdaterTestSupport.h"

namespace updater::testing {
namespace {

using namespace std::chrono_literals;

// The updater's folder is "install/" with the client file OrvalisP.exe; each case runs one
// stand-in from the path given (relative to the test's folder) and asks to end the client.
struct RunningCase {
  const char* name;
  const char* running;  // the program that runs
  bool ended;
};

class TerminateClient : public ::testing::TestWithParam<RunningCase> {};

TEST_P(TerminateClient, EndsOnlyTheClientFileOfTheUpdatersFolder) {
  const RunningCase& c = GetParam();
  TempFolder temp;
  OwnProcesses processes(temp.Path());
  const std::string install = temp.Path() + "install/";
  const std::string other = temp.Path() + "ailleurs/";
  ASSERT_EQ(::mkdir(install.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(other.c_str(), 0755), 0);
  CopyFile(OldClientProgram(), install + "OrvalisP.exe", 0755);
  // Same name elsewhere, another letter case beside it, and links to the client file.
  CopyFile(OldClientProgram(), other + "OrvalisP.exe", 0755);
  CopyFile(OldClientProgram(), install + "orvalisp.EXE", 0755);
  ASSERT_EQ(::link((install + "OrvalisP.exe").c_str(), (other + "lien-dur").c_str()), 0);
  ASSERT_EQ(::symlink((install + "OrvalisP.exe").c_str(), (other + "lien").c_str()), 0);

  const std::string program = temp.Path() + c.running;
  // The stand-in notes its start beside the file it runs (a symbolic link leads to install/).
  const std::string folder = std::filesystem::canonical(program).parent_path().string() + "/";
  const pid_t child = Spawn(program);
  ASSERT_EQ(WaitForClientStarts(folder, 1, 5s).size(), 1u);

  EXPECT_EQ(TerminateClientProcess(install + "OrvalisP.exe"), c.ended);

  if (c.ended) {
    EXPECT_TRUE(WaitKilled(child, 5s));
  } else {
    EXPECT_TRUE(Running(child));
    EXPECT_TRUE(processes.Terminated().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Programs, TerminateClient,
    ::testing::Values(RunningCase{"TheClientFile", "install/OrvalisP.exe", true},
                      RunningCase{"SameNameInAnotherFolder", "ailleurs/OrvalisP.exe", false},
                      RunningCase{"OtherCaseBeside", "install/orvalisp.EXE", false},
                      RunningCase{"StartedThroughASymbolicLink", "ailleurs/lien", true},
                      RunningCase{"StartedThroughAHardLink", "ailleurs/lien-dur", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TerminateClientAlone, NoClientRunningIsFalse) {
  TempFolder temp;
  OwnProcesses processes(temp.Path());
  CopyFile(OldClientProgram(), temp.Path() + "OrvalisP.exe", 0755);
  EXPECT_FALSE(TerminateClientProcess(temp.Path() + "OrvalisP.exe"));
  EXPECT_FALSE(TerminateClientProcess(temp.Path() + "absent.exe"));
}

// The same client file run by another user: that user's client is not the updater's to end.
TEST(TerminateClientAlone, AnotherUsersClientIsLeftAlone) {
  if (::getuid() != 0) GTEST_SKIP() << "starting a process as another user needs root";
  TempFolder temp;
  OwnProcesses processes(temp.Path());
  ASSERT_EQ(::chmod(temp.Path().c_str(), 0755), 0);
  const std::string client = temp.Path() + "OrvalisP.exe";
  CopyFile(OldClientProgram(), client, 0755);
  WriteFile(temp.Path() + "client-starts.log", "");
  ASSERT_EQ(::chmod((temp.Path() + "client-starts.log").c_str(), 0666), 0);
  const pid_t theirs = SpawnAsUser(client, 65534);  // nobody
  ASSERT_EQ(WaitForClientStarts(temp.Path(), 1, 5s).size(), 1u);

  EXPECT_FALSE(TerminateClientProcess(client));
  EXPECT_TRUE(Running(theirs));

  const pid_t ours = Spawn(client);
  ASSERT_EQ(WaitForClientStarts(temp.Path(), 2, 5s).size(), 2u);
  EXPECT_TRUE(TerminateClientProcess(client)) << "the updater's own user's client is ended";
  EXPECT_TRUE(WaitKilled(ours, 5s));
  EXPECT_TRUE(Running(theirs));
}

}  // namespace
}  // namespace updater::testing
