// Ending the client by the name of its executable, on real processes started by the test.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <string>

#include "ClientProcess.h"
#include "support/UpdaterTestSupport.h"

namespace updater::testing {
namespace {

using namespace std::chrono_literals;

struct NameCase {
  const char* name;
  const char* exeName;  // the file name the running process has
  bool ended;
};

class TerminateByName : public ::testing::TestWithParam<NameCase> {};

TEST_P(TerminateByName, MatchesTheNameWithoutRegardToCase) {
  const NameCase& c = GetParam();
  TempFolder temp;
  OwnProcesses processes(temp.Path());
  const std::string program = temp.Path() + c.exeName;
  CopyFile(OldClientProgram(), program, 0755);
  const pid_t child = Spawn(program);
  ASSERT_EQ(WaitForClientStarts(temp.Path(), 1, 5s).size(), 1u);

  EXPECT_EQ(TerminateProcessByExeName("OrvalisP.exe"), c.ended);

  if (c.ended) {
    EXPECT_TRUE(WaitKilled(child, 5s));
  } else {
    EXPECT_TRUE(Running(child));
    EXPECT_TRUE(processes.Terminated().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, TerminateByName,
    ::testing::Values(NameCase{"SameName", "OrvalisP.exe", true},
                      NameCase{"OtherCase", "orvalisp.EXE", true},
                      NameCase{"LongerName", "OrvalisP.exe.old", false},
                      NameCase{"ShorterName", "OrvalisP", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TerminateByNameAlone, NoClientRunningIsFalse) {
  TempFolder temp;
  OwnProcesses processes(temp.Path());
  EXPECT_FALSE(TerminateProcessByExeName("OrvalisP.exe"));
}

}  // namespace
}  // namespace updater::testing
