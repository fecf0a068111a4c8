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
  bool OldMayBeCut;     // an append in place: a crash leaves the old data for the rebuild
};

const FaultCase FaultCases[] = {
    {"write_fails_rewriting_beside", "delete ARCH first.bin", 500, 0, false},
    {"write_fails_freshening", "freshen ARCH '*.bin' --base SRC", 1500, 0, false},
    {"write_fails_appending", "add ARCH big.bin --base SRC", 3500, 0, false},
    {"killed_rewriting_beside", "freshen ARCH first.bin --base SRC --level 9", 0, 2, false},
    {"killed_appending", "add ARCH big.bin --base SRC --level 1", 0, 3, true},
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
  if (!c.OldMayBeCut) {
    EXPECT_TRUE(now == original) << "the archive changed: " << original.size() << " -> " << now.size() << " bytes";
  } else {
    // The old entries' data are all in place: opening rebuilds the directory from them.
    ASSERT_GE(now.size(), 1500000u);
    const TEngineRun run = ExtractWithEngine(archive, dir / "out");
    ASSERT_TRUE(run.Opened) << run.OpenMessage;
    EXPECT_EQ(RandomBytes(1500000, 1), ReadBytes(dir / "out" / "first.bin"));
    EXPECT_EQ(TextBytes(40000, 2), ReadBytes(dir / "out" / "notes.txt"));
    EXPECT_EQ(RandomBytes(600000, 3), ReadBytes(dir / "out" / "more.bin"));
  }
  if (now == original) {
    EXPECT_EQ("", PeerCheck(archive));
  }
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

// A commit that cannot even keep the old directory aside touches nothing.
TEST(CommitOutcome, NoRoomForTheOldDirectory) {
  TTempDir dir;
  const fs::path archive = MakeArchive(dir.Path());
  const auto original = ReadBytes(archive);
  zip::TZipArchiver a;
  a.FileName = EngineName(archive);
  a.BaseDir = EngineName(dir / "src");
  a.TempDir = EngineName(dir / "no-such-folder");
  a.OpenArchive(zip::fmOpenReadWriteDenyWrite);
  WriteBytes(dir / "src" / "new.txt", TextBytes(100, 5));
  EXPECT_THROW(a.AddFiles("new.txt"), zip::EZAException);
  EXPECT_EQ(zip::TZACommitState::RolledBack, a.LastCommitResult().State);
  EXPECT_EQ(73, a.LastCommitResult().ErrorCode);
  EXPECT_EQ(3, a.ItemCount());
  a.CloseArchive();
  EXPECT_EQ(original, ReadBytes(archive));
}

}  // namespace
