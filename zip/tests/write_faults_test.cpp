// Faults injected into the update commit: a write that fails in the middle (the file size limit
// of the process), and a process killed in the middle of a commit. Afterwards the old archive is
// byte for byte what it was, or the new one is complete; nothing else is left in its folder.
#include <gtest/gtest.h>

#include <string>

#include "ZipEngineRun.h"
#include "ZipWriteSupport.h"

namespace {

using namespace ziptest;

const std::string Cli = ZIPWRITE_CLI;

// The archive under test: a few compressible files and one large incompressible one (about 2 MB).
fs::path MakeArchive(const fs::path& folder) {
  fs::create_directories(folder / "src");
  WriteBytes(folder / "src" / "first.bin", RandomBytes(1500000, 1));
  WriteBytes(folder / "src" / "notes.txt", TextBytes(40000, 2));
  WriteBytes(folder / "src" / "more.bin", RandomBytes(600000, 3));
  StampTimes(folder / "src");
  const fs::path archive = folder / "arc" / "a.zip";
  fs::create_directories(archive.parent_path());
  EXPECT_EQ(0, Shell(Quote(Cli) + " create " + Quote(archive.string()) + " '*' --base " +
                     Quote((folder / "src").string()) + " >/dev/null"));
  return archive;
}

// Runs the front end with a file size limit (in KiB), the limit's signal ignored so that the write
// fails instead; returns its exit status.
int RunLimited(const std::string& arguments, int limitKiB) {
  return Shell("bash -c " + Quote("trap '' XFSZ; ulimit -f " + std::to_string(limitKiB) + "; " + Quote(Cli) + " " +
                                  arguments + " >/dev/null 2>&1"));
}

struct FaultCase {
  const char* Name;
  const char* Command;  // ARCH is the archive, SRC the source folder
  int LimitKiB;         // 0: no limit
  int KillAfter;        // 0: no kill
};

const FaultCase FaultCases[] = {
    {"write_fails_rewriting_beside", "delete ARCH first.bin", 500, 0},
    {"write_fails_freshening", "freshen ARCH '*.bin' --base SRC", 1500, 0},
    {"write_fails_appending", "add ARCH big.bin --base SRC", 3500, 0},
    {"killed_rewriting_beside", "freshen ARCH first.bin --base SRC --level 9", 0, 2},
    // An append is written beside the old archive too: a kill leaves the old one whole.
    {"killed_appending", "add ARCH big.bin --base SRC --level 1", 0, 3},
    {"killed_appending_after_the_old_data", "add ARCH big.bin --base SRC --level 1", 0, 4},
    // Copies of stored data count as progress: a delete and a rename are killed in the middle too.
    {"killed_deleting", "delete ARCH first.bin", 0, 2},
    {"killed_renaming", "rename ARCH first.bin renamed.bin", 0, 3},
};

class CommitFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(CommitFaults, OldArchiveIntactOrNewOneComplete) {
  const FaultCase& c = GetParam();
  TTempDir dir;
  const fs::path archive = MakeArchive(dir.Path());
  const auto original = ReadBytes(archive);
  // New data for the freshen and the append.
  WriteBytes(dir / "src" / "first.bin", RandomBytes(1600000, 11));
  WriteBytes(dir / "src" / "more.bin", RandomBytes(700000, 12));
  WriteBytes(dir / "src" / "big.bin", RandomBytes(3 * 1024 * 1024, 13));
  std::string arguments = c.Command;
  arguments.replace(arguments.find("ARCH"), 4, Quote(archive.string()));
  if (auto at = arguments.find("SRC"); at != std::string::npos) arguments.replace(at, 3, Quote((dir / "src").string()));
  int status;
  if (c.LimitKiB > 0) {
    status = RunLimited(arguments, c.LimitKiB);
  } else {
    status = Shell(Quote(Cli) + " " + arguments + " --kill-after " + std::to_string(c.KillAfter) + " >/dev/null 2>&1");
  }
  EXPECT_NE(0, status);
  // Nothing but the archive in its folder: no temporary file, no second copy.
  EXPECT_EQ(std::vector<std::string>{"a.zip"}, ListTree(archive.parent_path()));
  const auto now = ReadBytes(archive);
  EXPECT_TRUE(now == original) << "the archive changed: " << original.size() << " -> " << now.size() << " bytes";
  // The same commit without the fault completes.
  EXPECT_EQ(0, Shell(Quote(Cli) + " " + arguments + " >/dev/null 2>&1"));
  EXPECT_EQ("", PeerCheck(archive));
}

INSTANTIATE_TEST_SUITE_P(Cases, CommitFaults, ::testing::ValuesIn(FaultCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// A failure that rolls the commit back is visible after the close, which raises nothing.
TEST(CommitOutcome, RecordedWhenTheCloseCommits) {
  TTempDir dir;
  const fs::path archive = MakeArchive(dir.Path());
  const auto original = ReadBytes(archive);
  zip::TZipArchiver a;
  a.FileName = EngineName(archive);
  a.BaseDir = EngineName(dir / "src");
  a.OpenArchive(zip::fmOpenReadWriteDenyWrite);
  a.OnProcessFileFailure = [](auto*, const std::string&, zip::TZAProcessOperation, int, int, const std::string&,
                              zip::TZAAction& action) { action = zip::fxaAbort; };
  a.BeginUpdate();
  a.UpdateFiles("notes.txt");
  a.AddFiles("more.bin");
  fs::remove(dir / "src" / "more.bin");
  a.CloseArchive();  // the commit runs here
  EXPECT_EQ(zip::TZACommitState::RolledBack, a.LastCommitResult().State);
  EXPECT_EQ(33, a.LastCommitResult().ErrorCode);
  EXPECT_NE(std::string::npos, a.LastCommitResult().Message.find("more.bin"));
  EXPECT_EQ(original, ReadBytes(archive));
}

// A commit keeps nothing aside in the temporary folder: the new archive is written beside the old
// one, so a temporary folder that does not exist does not matter.
TEST(CommitOutcome, NeedsNoTemporaryFolder) {
  TTempDir dir;
  const fs::path archive = MakeArchive(dir.Path());
  const auto original = ReadBytes(archive);
  zip::TZipArchiver a;
  a.FileName = EngineName(archive);
  a.BaseDir = EngineName(dir / "src");
  a.TempDir = EngineName(dir / "no-such-folder");
  a.OpenArchive(zip::fmOpenReadWriteDenyWrite);
  WriteBytes(dir / "src" / "new.txt", TextBytes(100, 5));
  a.AddFiles("new.txt");
  EXPECT_EQ(zip::TZACommitState::Committed, a.LastCommitResult().State) << a.LastCommitResult().Message;
  EXPECT_EQ(4, a.ItemCount());
  a.CloseArchive();
  EXPECT_EQ(std::vector<std::string>{"a.zip"}, ListTree(archive.parent_path()));
  EXPECT_EQ("", PeerCheck(archive));
  EXPECT_NE(original, ReadBytes(archive));
}

}  // namespace
