// The working-set trim finds its process by the exact executable name.
#include "liberation_processus.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "os/processes.h"

namespace {

class FakeProcesses final : public os::ProcessList {
 public:
  std::vector<os::ProcessEntry> processes;
  std::vector<pid_t> trimmed;
  bool failSnapshot = false;

  std::vector<os::ProcessEntry> Snapshot() override {
    if (failSnapshot) throw std::runtime_error("no /proc");
    return processes;
  }
  bool TerminateProcess(pid_t, unsigned) override {
    ADD_FAILURE() << "the trim never ends a process";
    return false;
  }
  bool EmptyWorkingSet(pid_t pid) override {
    trimmed.push_back(pid);
    return false;  // a failed trim is not reported either
  }
};

TEST(LiberationProcessusTest, TrimsTheFirstProcessWithExactlyThatName) {
  struct Case {
    const char* name;
    std::vector<pid_t> trimmed;
  };
  const Case cases[] = {
      {"orvalisP.exe", {20}},   // the client's own lookup: the first exact match only
      {"OrvalisP.exe", {10}},
      {"ORVALISP.EXE", {}},     // case counts
      {"orvalisP", {}},
      {"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeProcesses fake;
    fake.processes = {{10, "OrvalisP.exe"}, {20, "orvalisP.exe"}, {30, "orvalisP.exe"}};
    os::ScopedOverride<os::ProcessList> use(fake);
    client::LiberationProcessus(c.name);
    EXPECT_EQ(fake.trimmed, c.trimmed);
  }
}

TEST(LiberationProcessusTest, FailuresAreIgnored) {
  FakeProcesses fake;
  fake.failSnapshot = true;
  os::ScopedOverride<os::ProcessList> use(fake);
  EXPECT_NO_THROW(client::LiberationProcessus(client::kOwnExeName));
  EXPECT_TRUE(fake.trimmed.empty());
}

}  // namespace
