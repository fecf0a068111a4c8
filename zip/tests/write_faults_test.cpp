// Faults injected into the update commit: a write that fails in the middle (the file size limit
// of the process, a full disk), a process killed in the middle of a commit, failing flushes, a failing random
// source, a reopen that fails after the rename. Afterwards the old archive is byte for byte what it
// was, or the new one is complete; nothing else is left in its folder. And the commit's file
// machinery: walks that leave the archive out, links, owners, and what killed commits left.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "ZipBuilder.h"
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
    // A new archive over the old one is written beside it as well.
    {"write_fails_creating", "create ARCH big.bin --base SRC --abort", 1500, 0},
    {"killed_creating", "create ARCH big.bin --base SRC --level 1", 0, 3},
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

// The front end, under strace with the given fault injection when it is not empty; its exit status
// and what it printed.
struct TCliRun {
  int Status;
  std::string Output;
};
TCliRun RunCli(const fs::path& dir, const std::string& inject, const std::string& arguments) {
  const fs::path out = dir / "cli-output.txt";
  std::string command = "timeout 120 ";
  // (The leak checker of a sanitized build cannot run under strace.)
  if (!inject.empty()) command += "env ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null " + inject + " ";
  command += Quote(Cli) + " " + arguments + " >" + Quote(out.string()) + " 2>&1";
  const int status = Shell(command);
  const auto bytes = ReadBytes(out);
  fs::remove(out);
  return {status, std::string(bytes.begin(), bytes.end())};
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A disk walk never takes the archive in, nor anything that leads to it: a move of everything in
// its folder keeps the archive and holds the other files.
struct TWalkCase {
  const char* Name;
  const char* ArchiveAt;  // relative to the walked folder
  const char* LinkAt;     // a symbolic link to the archive, or empty
};
const TWalkCase WalkCases[] = {
    {"archive_in_the_walked_folder", "arc.zip", ""},
    {"archive_in_a_subfolder_and_a_link_to_it", "sub/arc.zip", "link.zip"},
};

class WalkLeavesTheArchiveOut : public ::testing::TestWithParam<TWalkCase> {};

TEST_P(WalkLeavesTheArchiveOut, MoveKeepsTheArchive) {
  const TWalkCase& c = GetParam();
  TTempDir dir;
  const fs::path base = dir / "base";
  const fs::path archive = base / c.ArchiveAt;
  fs::create_directories(archive.parent_path());
  WriteBytes(base / "a.txt", TextBytes(3000, 1));
  const std::string create = "create " + Quote(archive.string()) + " a.txt --base " + Quote(base.string());
  ASSERT_EQ(0, RunCli(dir.Path(), "", create).Status);
  if (*c.LinkAt) fs::create_symlink(archive, base / c.LinkAt);
  WriteBytes(base / "b.txt", TextBytes(2000, 2));
  const TCliRun run = RunCli(dir.Path(), "", "move " + Quote(archive.string()) + " '*' --base " + Quote(base.string()));
  EXPECT_EQ(0, run.Status) << run.Output;
  ASSERT_TRUE(fs::exists(archive));
  EXPECT_EQ("", PeerCheck(archive));
  const std::string listing = PythonListing(archive);
  EXPECT_TRUE(Has(listing, "a.txt ") && Has(listing, "b.txt ")) << listing;
  EXPECT_FALSE(Has(listing, "arc.zip") || Has(listing, "link.zip")) << listing;
  EXPECT_FALSE(fs::exists(base / "a.txt"));
  EXPECT_FALSE(fs::exists(base / "b.txt"));
  if (*c.LinkAt) {
    EXPECT_TRUE(fs::is_symlink(base / c.LinkAt));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, WalkLeavesTheArchiveOut, ::testing::ValuesIn(WalkCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// A new set written where the volumes of an older one lie: the walk leaves those volumes out (the
// new set takes their names), so the move neither stores nor deletes them.
TEST(WalkLeavesTheArchiveOutOfASet, OldVolumesUnderTheNewSetsNames) {
  TTempDir dir;
  const fs::path base = dir / "base";
  fs::create_directories(base);
  const auto big = RandomBytes(200000, 3);
  WriteBytes(base / "big.bin", big);
  const std::string set = Quote((base / "set.zip").string());
  ASSERT_EQ(0, RunCli(dir.Path(), "", "create " + set + " big.bin --split 70000 --base " + Quote(base.string())).Status);
  const std::size_t volumes = ListTree(base).size() - 1;
  ASSERT_GE(volumes, 3u);
  fs::remove(base / "set.zip");  // the old set's last volume: the next one is a new set
  WriteBytes(base / "a.txt", TextBytes(3000, 1));
  const TCliRun run = RunCli(dir.Path(), "", "move " + set + " '*' --split 70000 --base " + Quote(base.string()));
  EXPECT_EQ(0, run.Status) << run.Output;
  EXPECT_TRUE(Has(run.Output, "stored 2 ")) << run.Output;
  const auto left = ListTree(base);
  EXPECT_EQ(volumes, left.size());
  for (const auto& name : left) EXPECT_EQ("set", name.substr(0, 3)) << name;
  const TEngineRun extracted = ExtractWithEngine(base / "set.zip", dir / "out");
  ASSERT_TRUE(extracted.Opened) << extracted.OpenMessage;
  EXPECT_EQ((std::vector<std::string>{"a.txt", "big.bin"}), ListTree(dir / "out"));
  EXPECT_EQ(big, ReadBytes(dir / "out" / "big.bin"));
}

// A flush that fails fails the commit, and no moved file is deleted: the new file's flush (before
// it takes the archive's name, or of a new archive written in place), or the folder's after the
// rename (the new archive then stands, complete, but the moved files stay).
struct TFlushCase {
  const char* Name;
  bool Existing;   // a move into an existing archive, else into a new one
  int FailingSync; // which fsync fails (1: the file's, 2: the folder's)
  bool NewInPlace; // the new archive stands afterwards
};
const TFlushCase FlushCases[] = {
    {"existing_archive_file_flush", true, 1, false},
    {"existing_archive_folder_flush", true, 2, true},
    {"new_archive_file_flush", false, 1, false},
    {"new_archive_folder_flush", false, 2, true},
};

class FlushFailure : public ::testing::TestWithParam<TFlushCase> {};

TEST_P(FlushFailure, FailsTheCommitAndKeepsTheMovedFiles) {
  const TFlushCase& c = GetParam();
  TTempDir dir;
  const fs::path archive = c.Existing ? MakeArchive(dir.Path()) : dir / "arc" / "a.zip";
  fs::create_directories(archive.parent_path());
  const auto original = c.Existing ? ReadBytes(archive) : std::vector<std::uint8_t>{};
  WriteBytes(dir / "src" / "m1.txt", TextBytes(30000, 21));
  WriteBytes(dir / "src" / "m2.txt", TextBytes(20000, 22));
  const TCliRun run =
      RunCli(dir.Path(), "-e inject=fsync:error=EIO:when=" + std::to_string(c.FailingSync),
             "move " + Quote(archive.string()) + " 'm*.txt' --base " + Quote((dir / "src").string()));
  EXPECT_NE(0, run.Status) << run.Output;
  EXPECT_TRUE(fs::exists(dir / "src" / "m1.txt")) << run.Output;
  EXPECT_TRUE(fs::exists(dir / "src" / "m2.txt")) << run.Output;
  EXPECT_EQ(std::vector<std::string>{"a.zip"}, ListTree(archive.parent_path()));
  if (c.NewInPlace) {
    EXPECT_TRUE(Has(run.Output, "committed stored 2")) << run.Output;
    EXPECT_EQ("", PeerCheck(archive));
    EXPECT_TRUE(Has(PythonListing(archive), "m2.txt ")) << PythonListing(archive);
  } else if (c.Existing) {
    EXPECT_TRUE(Has(run.Output, "rolled back")) << run.Output;
    EXPECT_EQ(original, ReadBytes(archive));
  } else {
    EXPECT_TRUE(Has(run.Output, "rolled back")) << run.Output;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, FlushFailure, ::testing::ValuesIn(FlushCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// The random bytes of an encryption header: a lasting failure of the system's source ends the
// commit (the archive untouched) instead of a loop without end; an interruption is waited out.
struct TRandomCase {
  const char* Name;
  const char* Inject;
  bool Stored;
};
const TRandomCase RandomCases[] = {
    {"lasting_error", "-e inject=getrandom:error=EIO", false},
    {"source_never_ready", "-e inject=getrandom:error=EAGAIN", false},
    {"one_interruption", "-e inject=getrandom:error=EINTR:when=2", true},
};

class RandomSource : public ::testing::TestWithParam<TRandomCase> {};

TEST_P(RandomSource, FailureIsBounded) {
  const TRandomCase& c = GetParam();
  TTempDir dir;
  const fs::path archive = MakeArchive(dir.Path());
  const auto original = ReadBytes(archive);
  WriteBytes(dir / "src" / "secret.txt", TextBytes(5000, 31));
  const TCliRun run = RunCli(dir.Path(), c.Inject,
                             "add " + Quote(archive.string()) + " secret.txt --password pw --base " +
                                 Quote((dir / "src").string()));
  EXPECT_NE(124, run.Status) << "still trying after two minutes";
  EXPECT_EQ(std::vector<std::string>{"a.zip"}, ListTree(archive.parent_path()));
  if (c.Stored) {
    EXPECT_EQ(0, run.Status) << run.Output;
    EXPECT_EQ("", PeerCheck(archive, "pw"));
  } else {
    EXPECT_NE(0, run.Status);
    EXPECT_TRUE(Has(run.Output, "random source") && Has(run.Output, "rolled back")) << run.Output;
    EXPECT_EQ(original, ReadBytes(archive));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RandomSource, ::testing::ValuesIn(RandomCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// A path named without wildcards that does not exist is a failed item, not a silent commit.
TEST(CommitOutcome, MissingPathIsReported) {
  TTempDir dir;
  const fs::path archive = MakeArchive(dir.Path());
  const TCliRun run =
      RunCli(dir.Path(), "", "add " + Quote(archive.string()) + " no-such.txt --base " + Quote((dir / "src").string()));
  EXPECT_EQ(1, run.Status) << run.Output;
  EXPECT_TRUE(Has(run.Output, "ignored 1") && Has(run.Output, "Cannot open file") && Has(run.Output, "no-such.txt"))
      << run.Output;
  EXPECT_EQ("", PeerCheck(archive));
  EXPECT_FALSE(Has(PythonListing(archive), "no-such.txt"));
}

// An error while the items of an update are gathered (a name too long to be stored, met after a
// file that was gathered before it) cancels the whole update: the archive stays byte for byte as
// it was and no moved source is deleted.
TEST(CommitOutcome, ErrorWhileGatheringCommitsNothing) {
  for (const std::string command : {"add", "move"}) {
    SCOPED_TRACE(command);
    TTempDir dir;
    const fs::path archive = MakeArchive(dir.Path());
    const fs::path src = dir / "src";
    WriteText(src / "early.txt", "gathered first");
    fs::path deep = src;
    for (const char c : std::string("defgh")) deep /= std::string(200, c);
    fs::create_directories(deep);
    WriteText(deep / "x.txt", "its stored name has over 1000 bytes");
    const auto before = ReadBytes(archive);
    const TCliRun run = RunCli(dir.Path(), "",
                               command + " " + Quote(archive.string()) + " early.txt " + std::string(200, 'd') +
                                   " notes.txt --base " + Quote(src.string()));
    EXPECT_EQ(2, run.Status) << run.Output;
    EXPECT_TRUE(Has(run.Output, "too long") && Has(run.Output, "cancelled stored 0")) << run.Output;
    EXPECT_EQ(before, ReadBytes(archive));
    EXPECT_EQ(std::vector<std::string>{"a.zip"}, ListTree(archive.parent_path()));
    for (const fs::path& source : {src / "early.txt", deep / "x.txt", src / "notes.txt"}) {
      EXPECT_TRUE(fs::exists(source)) << source;
    }
  }
}

// In a bracket the caller opened, an error cancels all of it, the changes made before the error
// included; the bracket's end and the close then commit nothing.
TEST(CommitOutcome, ErrorInACallersBracketCancelsAllOfIt) {
  TTempDir dir;
  const fs::path archive = MakeArchive(dir.Path());
  WriteText(dir / "src" / "moved.txt", "moved");
  const auto before = ReadBytes(archive);
  int code = 0;
  const auto result = WriteWithEngine(archive, false, [&](zip::TZipArchiver& a) {
    a.BaseDir = EngineName(dir / "src");
    a.MoveFiles("moved.txt");
    a.DeleteFiles("notes.txt");
    try {
      a.RenameItem("no-such.bin", "other.bin");
    } catch (const zip::EZAException& e) {
      code = e.NativeError;
    }
    EXPECT_FALSE(a.InUpdate());
  });
  EXPECT_EQ(18, code);
  EXPECT_EQ(zip::TZACommitState::Cancelled, result.State);
  EXPECT_EQ(18, result.ErrorCode);
  EXPECT_EQ(before, ReadBytes(archive));
  EXPECT_TRUE(fs::exists(dir / "src" / "moved.txt"));
}

// When the new archive has taken the old one's name and cannot be opened again, the commit holds:
// the outcome says so, not "rolled back", and the archive is the new one.
TEST(CommitOutcome, ReopenFailureAfterTheRenameIsNoRollback) {
  TTempDir dir;
  const fs::path archive = MakeArchive(dir.Path());
  // The archive's name is opened three times: for the commit lock, by the open, then by the reopen
  // after the rename.
  const TCliRun run =
      RunCli(dir.Path(), "-P " + Quote(archive.string()) + " -e trace=openat -e inject=openat:error=EMFILE:when=3",
             "delete " + Quote(archive.string()) + " notes.txt");
  EXPECT_NE(0, run.Status);
  EXPECT_TRUE(Has(run.Output, "committed")) << run.Output;
  EXPECT_FALSE(Has(run.Output, "rolled back")) << run.Output;
  EXPECT_EQ(std::vector<std::string>{"a.zip"}, ListTree(archive.parent_path()));
  EXPECT_EQ("", PeerCheck(archive));
  const std::string listing = PythonListing(archive);
  EXPECT_FALSE(Has(listing, "notes.txt")) << listing;
  EXPECT_TRUE(Has(listing, "first.bin")) << listing;
}

// An archive reached through a symbolic link: the commit replaces the link's target (written beside
// the target, in its folder), the link stays, and the target keeps its owner, group and mode.
TEST(CommitBeside, LinkTargetReplacedWithItsOwnerAndMode) {
  TTempDir dir;
  const fs::path archive = MakeArchive(dir.Path());
  // Another owner where this process may give one.
  const uid_t owner = ::geteuid() == 0 ? 4321 : ::geteuid();
  const gid_t group = ::geteuid() == 0 ? 8765 : ::getegid();
  ASSERT_EQ(0, ::chown(archive.c_str(), owner, group));
  ASSERT_EQ(0, ::chmod(archive.c_str(), 0604));
  const fs::path links = dir / "links";
  fs::create_directories(links);
  fs::create_symlink(archive, links / "link.zip");
  WriteBytes(dir / "src" / "new.txt", TextBytes(5000, 41));
  const std::string link = Quote((links / "link.zip").string());
  // An append and a rewrite from the first entry on.
  for (const std::string& command :
       {"add " + link + " new.txt --base " + Quote((dir / "src").string()), "delete " + link + " first.bin"}) {
    SCOPED_TRACE(command);
    const auto before = ReadBytes(archive);
    const TCliRun run = RunCli(dir.Path(), "", command);
    EXPECT_EQ(0, run.Status) << run.Output;
    EXPECT_TRUE(fs::is_symlink(links / "link.zip"));
    EXPECT_EQ(archive, fs::read_symlink(links / "link.zip"));
    std::vector<std::string> inLinks;
    for (const auto& entry : fs::directory_iterator(links)) inLinks.push_back(entry.path().filename().string());
    EXPECT_EQ(std::vector<std::string>{"link.zip"}, inLinks);
    EXPECT_EQ(std::vector<std::string>{"a.zip"}, ListTree(archive.parent_path()));
    EXPECT_NE(before, ReadBytes(archive));
    EXPECT_EQ("", PeerCheck(archive));
    EXPECT_TRUE(Has(PythonListing(archive), "new.txt ")) << PythonListing(archive);
    struct stat st {};
    ASSERT_EQ(0, ::stat(archive.c_str(), &st));
    EXPECT_EQ(owner, st.st_uid);
    EXPECT_EQ(group, st.st_gid);
    EXPECT_EQ(0604u, st.st_mode & 07777);
  }
  EXPECT_FALSE(Has(PythonListing(archive), "first.bin")) << PythonListing(archive);
}

// What killed commits left beside an archive: the next commit removes the temporary files of that
// archive's own pattern that no live process holds, and nothing else.
TEST(CommitBeside, NextCommitRemovesOnlyDeadTemporariesOfItsArchive) {
  TTempDir dir;
  const fs::path archive = MakeArchive(dir.Path());
  const fs::path folder = archive.parent_path();
  const std::vector<std::string> dead = {".a.zip.FCabcdefghijkl.tmp", ".a.zip.FC0123456789AB.tmp"};
  const std::vector<std::string> kept = {
      ".a.zip.FCheldByALive1.tmp",  // a live commit holds it
      ".b.zip.FCabcdefghijkl.tmp",  // another archive's
      ".a.zip.FCshort.tmp",         // not of the pattern
      "a.zip.FCabcdefghijkl.tmp",   // not hidden
      ".FC1234-5678.tmp",           // not of the pattern
  };
  for (const auto& name : dead) WriteText(folder / name, "left by a killed commit");
  for (const auto& name : kept) WriteText(folder / name, "not ours to remove");
  fs::create_directory(folder / ".a.zip.FCfolderNotFile.tmp");
  const int held = ::open((folder / kept[0]).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(0, ::flock(held, LOCK_EX));
  WriteBytes(dir / "src" / "new.txt", TextBytes(5000, 42));
  const TCliRun run =
      RunCli(dir.Path(), "", "add " + Quote(archive.string()) + " new.txt --base " + Quote((dir / "src").string()));
  ::close(held);
  EXPECT_EQ(0, run.Status) << run.Output;
  std::vector<std::string> expected = kept;
  expected.push_back(".a.zip.FCfolderNotFile.tmp/");
  expected.push_back("a.zip");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, ListTree(folder));
  EXPECT_EQ("", PeerCheck(archive));
}

// ---- commits at once on one archive -------------------------------------------------------------

// A front end run in the background: its output and exit status land in files of the test folder.
struct TBackgroundRun {
  fs::path Output;
  fs::path Status;

  TBackgroundRun(const fs::path& dir, const std::string& name)
      : Output(dir / (name + "-output.txt")), Status(dir / (name + "-status.txt")) {}
  // The shell words that start it: prefix (strace and its options, or nothing) before the front end.
  std::string Start(const std::string& prefix, const std::string& arguments) const {
    return "(timeout 120 " + prefix + Quote(Cli) + " " + arguments + " >" + Quote(Output.string()) +
           " 2>&1; echo $? >" + Quote(Status.string()) + ") &";
  }
  int ExitStatus() const {
    const auto bytes = ReadBytes(Status);
    return bytes.empty() ? -1 : std::stoi(std::string(bytes.begin(), bytes.end()));
  }
  std::string Text() const {
    const auto bytes = ReadBytes(Output);
    return std::string(bytes.begin(), bytes.end());
  }
};

// Waits until file holds text (a traced process has entered the call strace holds it in), at most a
// minute; false when it never does.
bool WaitForText(const fs::path& file, const std::string& text) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (std::chrono::steady_clock::now() < deadline) {
    if (fs::exists(file)) {
      const auto bytes = ReadBytes(file);
      if (Has(std::string(bytes.begin(), bytes.end()), text)) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// Whether Python's listing of an archive has a member of that name (and, when given, that size).
bool Lists(const std::string& listing, const std::string& name, const std::string& size = "") {
  const std::string line = name + " " + (size.empty() ? "" : size + " ");
  return listing.rfind(line, 0) == 0 || Has(listing, "\n" + line);
}

// One of the commits that run at once, and how the final archive shows whether it was applied.
struct TConcurrentCommit {
  std::string Name;
  std::string Arguments;  // ARCH is the archive, SRC the sources' folder
  std::function<bool(const std::string&)> Applied;  // given Python's listing of the final archive
  std::function<bool(const std::string&)> NotApplied;
};

std::string WithPaths(std::string arguments, const fs::path& archive, const fs::path& src) {
  arguments.replace(arguments.find("ARCH"), 4, Quote(archive.string()));
  if (auto at = arguments.find("SRC"); at != std::string::npos) arguments.replace(at, 3, Quote(src.string()));
  return arguments;
}

// Commits on one archive at once never lose one that succeeded: one commit is held inside the
// step where its new archive takes the archive's name (strace delays its renameat2) while five
// others (two adds, a rename, a delete, a freshen) start against the same archive. Whatever order
// they run in, every commit that exited 0 has its change in the final archive and every one that
// failed has none; here all of them wait their turn and succeed.
TEST(CommitsAtOnce, EveryCommitThatSucceededIsInTheArchive) {
  constexpr int Rounds = 3;
  for (int round = 0; round < Rounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TTempDir dir;
    const fs::path archive = MakeArchive(dir.Path());
    const fs::path src = dir / "src";
    WriteBytes(src / "slow.txt", TextBytes(4000, 61));
    WriteBytes(src / "quick1.txt", TextBytes(4000, 62));
    WriteBytes(src / "quick2.txt", TextBytes(4000, 63));
    // The freshened file is newer and of another size than the one in the archive (600000).
    WriteBytes(src / "more.bin", RandomBytes(500000, 64));
    fs::last_write_time(src / "more.bin", fs::last_write_time(src / "notes.txt") + std::chrono::hours(48));
    const auto has = [](const std::string& name) {
      return [name](const std::string& listing) { return Lists(listing, name); };
    };
    const auto lacks = [](const std::string& name) {
      return [name](const std::string& listing) { return !Lists(listing, name); };
    };
    const auto sized = [](const std::string& name, const std::string& size) {
      return [name, size](const std::string& listing) { return Lists(listing, name, size); };
    };
    const TConcurrentCommit held{"held", "add ARCH slow.txt --base SRC", has("slow.txt"), lacks("slow.txt")};
    const std::vector<TConcurrentCommit> others = {
        {"add1", "add ARCH quick1.txt --base SRC", has("quick1.txt"), lacks("quick1.txt")},
        {"add2", "add ARCH quick2.txt --base SRC", has("quick2.txt"), lacks("quick2.txt")},
        {"rename", "rename ARCH notes.txt renamed.txt",
         [](const std::string& l) { return Lists(l, "renamed.txt") && !Lists(l, "notes.txt"); },
         [](const std::string& l) { return Lists(l, "notes.txt") && !Lists(l, "renamed.txt"); }},
        {"delete", "delete ARCH first.bin", lacks("first.bin"), has("first.bin")},
        {"freshen", "freshen ARCH more.bin --base SRC", sized("more.bin", "500000"), sized("more.bin", "600000")},
    };
    const fs::path trace = dir / "held-trace.txt";
    const TBackgroundRun heldRun(dir.Path(), held.Name);
    ASSERT_EQ(0, Shell(heldRun.Start("env ASAN_OPTIONS=detect_leaks=0 strace -qq -o " + Quote(trace.string()) +
                                         " -e trace=renameat2 -e inject=renameat2:delay_enter=1500000 ",
                                     WithPaths(held.Arguments, archive, src))));
    // The held commit is inside the call that gives its new archive the name: the others start now.
    ASSERT_TRUE(WaitForText(trace, "renameat2(")) << heldRun.Text();
    std::vector<TBackgroundRun> runs;
    std::string start;
    for (const TConcurrentCommit& c : others) {
      runs.emplace_back(dir.Path(), c.Name);
      start += runs.back().Start("", WithPaths(c.Arguments, archive, src)) + " ";
    }
    ASSERT_EQ(0, Shell(start + "wait"));
    // (The held commit is no child of this shell: its status file tells when it has ended.)
    ASSERT_TRUE(WaitForText(heldRun.Status, "\n")) << heldRun.Text();
    runs.insert(runs.begin(), heldRun);
    std::vector<TConcurrentCommit> all = others;
    all.insert(all.begin(), held);

    EXPECT_EQ(std::vector<std::string>{"a.zip"}, ListTree(archive.parent_path()));
    EXPECT_EQ("", PeerCheck(archive));
    const std::string listing = PythonListing(archive);
    for (std::size_t i = 0; i < all.size(); ++i) {
      SCOPED_TRACE(all[i].Name + ": " + runs[i].Text());
      if (runs[i].ExitStatus() == 0) {
        EXPECT_TRUE(all[i].Applied(listing)) << listing;
      } else {
        EXPECT_TRUE(all[i].NotApplied(listing)) << listing;
      }
      // Each waits its turn; none gives up or finds its archive replaced.
      EXPECT_EQ(0, runs[i].ExitStatus());
    }
  }
}

// A commit that finds another one holding the archive waits for it only so long, then fails with
// a message that says so, and the archive is left as it was.
TEST(CommitsAtOnce, WaitIsBoundedAndSaysWhy) {
  TTempDir dir;
  const fs::path archive = MakeArchive(dir.Path());
  const auto original = ReadBytes(archive);
  WriteBytes(dir / "src" / "late.txt", TextBytes(3000, 71));
  const std::string add = "add " + Quote(archive.string()) + " late.txt --base " + Quote((dir / "src").string());
  {
    // The lock another commit would hold.
    const int holder = ::open(archive.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    ASSERT_EQ(0, ::fcntl(holder, F_OFD_SETLK, &whole));
    const TCliRun run = RunCli(dir.Path(), "", add + " --lock-wait 300");
    ::close(holder);
    EXPECT_EQ(2, run.Status) << run.Output;
    EXPECT_TRUE(Has(run.Output, "is being updated by another program")) << run.Output;
    EXPECT_EQ(original, ReadBytes(archive));
    EXPECT_EQ(std::vector<std::string>{"a.zip"}, ListTree(archive.parent_path()));
  }
  // Once the lock is free, the same commit goes through.
  const TCliRun run = RunCli(dir.Path(), "", add + " --lock-wait 300");
  EXPECT_EQ(0, run.Status) << run.Output;
  EXPECT_TRUE(Has(PythonListing(archive), "late.txt ")) << PythonListing(archive);
}

// A program that takes no lock puts its own archive under the name while a commit is about to
// give its new archive that name: that archive is never removed. It gets the name back and the
// commit fails saying so; where the name cannot be given back, the commit's archive keeps the
// name, the other one stays beside it under the name the message gives.
struct TOutsideCase {
  const char* Name;
  bool GivingBackFails;
};
const TOutsideCase OutsideCases[] = {
    {"given_back", false},
    {"giving_back_fails", true},
};

class OutsideReplacement : public ::testing::TestWithParam<TOutsideCase> {};

TEST_P(OutsideReplacement, ArchiveOfTheOtherProgramIsNeverRemoved) {
  const TOutsideCase& c = GetParam();
  TTempDir dir;
  const fs::path archive = MakeArchive(dir.Path());
  WriteBytes(dir / "src" / "slow.txt", TextBytes(4000, 81));
  // The other program's archive, made beside and renamed over the name as such programs do.
  const fs::path other = dir / "other.zip";
  ASSERT_EQ(0, RunPython("import sys, zipfile\n"
                         "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                         "    z.writestr('outside.txt', 'written by another program')\n",
                         {other.string()}));
  const auto otherBytes = ReadBytes(other);
  const fs::path trace = dir / "trace.txt";
  std::string inject = "-e trace=linkat,renameat2 -e inject=linkat:delay_enter=1500000 ";
  // The first renameat2 trades places; the second would give the name back.
  if (c.GivingBackFails) inject += "-e inject=renameat2:error=EIO:when=2 ";
  const TBackgroundRun run(dir.Path(), "commit");
  ASSERT_EQ(0, Shell(run.Start("env ASAN_OPTIONS=detect_leaks=0 strace -qq -o " + Quote(trace.string()) + " " + inject,
                               "add " + Quote(archive.string()) + " slow.txt --base " +
                                   Quote((dir / "src").string()))));
  ASSERT_TRUE(WaitForText(trace, "linkat(")) << run.Text();
  ASSERT_EQ(0, Shell("cp " + Quote(other.string()) + " " + Quote((archive.parent_path() / "b.zip").string()) +
                     " && mv " + Quote((archive.parent_path() / "b.zip").string()) + " " + Quote(archive.string())));
  ASSERT_TRUE(WaitForText(run.Status, "\n")) << run.Text();
  EXPECT_NE(0, run.ExitStatus()) << run.Text();
  const std::vector<std::string> left = ListTree(archive.parent_path());
  if (!c.GivingBackFails) {
    EXPECT_TRUE(Has(run.Text(), "was replaced by another program")) << run.Text();
    EXPECT_EQ(otherBytes, ReadBytes(archive));
    EXPECT_EQ(std::vector<std::string>{"a.zip"}, left);
    return;
  }
  // The commit's archive has the name; the other one is whole under the name the message gives,
  // and the next commit leaves it there.
  ASSERT_EQ(2u, left.size());
  ASSERT_TRUE(std::find(left.begin(), left.end(), "a.zip") != left.end());
  const std::string kept = left[0] == "a.zip" ? left[1] : left[0];
  EXPECT_EQ(otherBytes, ReadBytes(archive.parent_path() / kept));
  EXPECT_TRUE(Has(run.Text(), kept)) << run.Text();
  EXPECT_EQ("", PeerCheck(archive));
  EXPECT_TRUE(Has(PythonListing(archive), "slow.txt ")) << PythonListing(archive);
  WriteBytes(dir / "src" / "next.txt", TextBytes(100, 82));
  EXPECT_EQ(0, RunCli(dir.Path(), "", "add " + Quote(archive.string()) + " next.txt --base " +
                                          Quote((dir / "src").string()))
                   .Status);
  EXPECT_EQ(otherBytes, ReadBytes(archive.parent_path() / kept));
}

INSTANTIATE_TEST_SUITE_P(Cases, OutsideReplacement, ::testing::ValuesIn(OutsideCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---- a new archive over a file of its name --------------------------------------------------------

// A create whose commit fails keeps the file that had the name byte for byte, whether that file is
// an archive or not: an aborted item, a flush that fails (the commit's own and the close's).
struct TCreateCase {
  const char* Name;
  bool OldIsArchive;
  const char* Inject;     // strace's fault injection, or empty
  const char* Arguments;  // after "create ARCH"
};
const TCreateCase CreateCases[] = {
    {"abort_on_a_missing_source", true, "", "missing.txt --abort"},
    {"abort_over_a_file_that_is_no_archive", false, "", "missing.txt --abort"},
    {"flush_fails", true, "-e inject=fsync:error=EIO:when=1", "extra.txt"},
};

class CreateOverAFile : public ::testing::TestWithParam<TCreateCase> {};

TEST_P(CreateOverAFile, FailureKeepsTheFile) {
  const TCreateCase& c = GetParam();
  TTempDir dir;
  const fs::path archive = MakeArchive(dir.Path());
  if (!c.OldIsArchive) WriteText(archive, "notes that are no archive\n");
  const auto original = ReadBytes(archive);
  WriteBytes(dir / "src" / "extra.txt", TextBytes(30000, 91));
  const std::string base = " --base " + Quote((dir / "src").string());
  const TCliRun run = RunCli(dir.Path(), c.Inject, "create " + Quote(archive.string()) + " " + c.Arguments + base);
  EXPECT_NE(0, run.Status) << run.Output;
  EXPECT_TRUE(Has(run.Output, "rolled back")) << run.Output;
  EXPECT_EQ(original, ReadBytes(archive));
  EXPECT_EQ(std::vector<std::string>{"a.zip"}, ListTree(archive.parent_path()));
  // Without the fault the new archive replaces the file, and holds only what the create gave it.
  EXPECT_EQ(0, RunCli(dir.Path(), "", "create " + Quote(archive.string()) + " extra.txt" + base).Status);
  EXPECT_EQ("", PeerCheck(archive));
  const std::string listing = PythonListing(archive);
  EXPECT_TRUE(Lists(listing, "extra.txt") && std::count(listing.begin(), listing.end(), '\n') == 1) << listing;
}

INSTANTIATE_TEST_SUITE_P(Cases, CreateOverAFile, ::testing::ValuesIn(CreateCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// Where the file system cannot make an unnamed file, the new archive is a named file of the
// archive's pattern, locked from its creation: a commit completes through it, and one killed at
// its rename leaves it for the next commit to remove.
TEST(CommitBeside, NamedFileWhereNoUnnamedOneCanBeMade) {
  TTempDir dir;
  const fs::path archive = MakeArchive(dir.Path());
  const fs::path folder = archive.parent_path();
  const std::string add = "add " + Quote(archive.string()) + " NAME --base " + Quote((dir / "src").string());
  const auto adding = [&](const std::string& name) {
    std::string a = add;
    return a.replace(a.find("NAME"), 4, name);
  };
  WriteBytes(dir / "src" / "one.txt", TextBytes(4000, 51));
  WriteBytes(dir / "src" / "two.txt", TextBytes(4000, 52));
  // Which openat of the commit asks for the unnamed file.
  const fs::path trace = dir / "trace.txt";
  ASSERT_EQ(0, Shell("ASAN_OPTIONS=detect_leaks=0 strace -qq -e trace=openat -o " + Quote(trace.string()) + " " +
                     Quote(Cli) + " " + adding("one.txt") + " >/dev/null 2>&1"));
  int ordinal = 0;
  int unnamed = 0;
  {
    std::ifstream in(trace);
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind("openat(", 0) != 0) continue;
      ++ordinal;
      if (Has(line, "O_TMPFILE")) unnamed = ordinal;
    }
  }
  ASSERT_GT(unnamed, 0);
  const std::string noUnnamed =
      "-e trace=openat,renameat2 -e inject=openat:error=EOPNOTSUPP:when=" + std::to_string(unnamed);
  TCliRun run = RunCli(dir.Path(), noUnnamed, adding("two.txt"));
  EXPECT_EQ(0, run.Status) << run.Output;
  EXPECT_EQ(std::vector<std::string>{"a.zip"}, ListTree(folder));
  EXPECT_EQ("", PeerCheck(archive));
  const auto before = ReadBytes(archive);
  WriteBytes(dir / "src" / "three.txt", TextBytes(4000, 53));
  run = RunCli(dir.Path(), noUnnamed + " -e inject=renameat2:signal=KILL:when=1", adding("three.txt"));
  EXPECT_NE(0, run.Status);
  EXPECT_EQ(before, ReadBytes(archive));
  const auto left = ListTree(folder);
  ASSERT_EQ(2u, left.size());
  EXPECT_EQ(".a.zip.FC", left[0].substr(0, 9));
  run = RunCli(dir.Path(), "", adding("three.txt"));
  EXPECT_EQ(0, run.Status) << run.Output;
  EXPECT_EQ(std::vector<std::string>{"a.zip"}, ListTree(folder));
  EXPECT_EQ("", PeerCheck(archive));
}

// An archive that does not hold together is never written over: every commit onto it (add, delete,
// rename, freshen) fails with code 82 and says why, before anything is done, leaving the file byte
// for byte and nothing beside it, as Info-ZIP refuses with "Zip file structure invalid".
struct TDamageCase {
  const char* Name;
  const char* Why;  // what the message says is wrong
};

// Sets a 32-bit field of the end record (at its offset in the record) to what the change makes of it.
void ChangeEndRecordField(std::vector<std::uint8_t>& bytes, std::size_t field, const std::function<std::uint32_t(std::uint32_t)>& change) {
  const std::uint8_t signature[] = {0x50, 0x4B, 0x05, 0x06};
  const auto at = static_cast<std::size_t>(
      std::find_end(bytes.begin(), bytes.end(), std::begin(signature), std::end(signature)) - bytes.begin());
  ASSERT_LT(at, bytes.size());
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | bytes[at + field + static_cast<std::size_t>(i)];
  v = change(v);
  for (int i = 0; i < 4; ++i) bytes[at + field + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::vector<std::uint8_t> DamagedArchive(const std::string& name, const fs::path& archive) {
  std::vector<std::uint8_t> bytes = ReadBytes(archive);
  std::vector<TBuildEntry> entries(3);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    entries[i].Name = i == 0 ? "first.bin" : i == 1 ? "notes.txt" : "more.bin";
    entries[i].Data = TextBytes(3000 + 1000 * i, static_cast<std::uint32_t>(i));
  }
  if (name == "cut_inside_an_entry") {
    bytes.resize(bytes.size() * 6 / 10);
  } else if (name == "cut_at_100000_bytes") {
    bytes.resize(100000);
  } else if (name == "directory_offset_wrong") {
    ChangeEndRecordField(bytes, 16, [](std::uint32_t v) { return v + 7; });
  } else if (name == "directory_size_wrong") {
    ChangeEndRecordField(bytes, 12, [](std::uint32_t v) { return v + 46; });
  } else if (name == "entry_count_wrong") {
    ChangeEndRecordField(bytes, 8, [](std::uint32_t v) { return v - 0x10001; });  // both counts
  } else if (name == "entries_overlap") {
    entries[0].CompressedSize = 3000 + 40;  // over the next entry's header
    bytes = BuildZip(entries);
  } else if (name == "entry_past_the_end_of_the_data") {
    entries[2].CompressedSize = 5000 + 10;  // into the central directory
    bytes = BuildZip(entries);
  } else if (name == "no_local_header_where_the_directory_says") {
    entries[1].LocalHeaderOffset = 0x7FFFFFF0;  // far past the end of the file
    bytes = BuildZip(entries);
  }
  return bytes;
}

class DamagedArchiveCommits : public ::testing::TestWithParam<TDamageCase> {};

TEST_P(DamagedArchiveCommits, AreRefusedAndLeaveTheFile) {
  const TDamageCase& c = GetParam();
  TTempDir dir;
  const fs::path archive = MakeArchive(dir.Path());
  const auto damaged = DamagedArchive(c.Name, archive);
  WriteBytes(archive, damaged);
  WriteBytes(dir / "src" / "new.txt", TextBytes(500, 9));
  const std::string a = Quote(archive.string());
  const std::string base = " --base " + Quote((dir / "src").string());
  // (first.bin is in every one of them, cut or not.)
  for (const std::string& command : {"add " + a + " new.txt" + base, "delete " + a + " first.bin",
                                     "rename " + a + " first.bin renamed.bin", "freshen " + a + " '*'" + base}) {
    SCOPED_TRACE(command);
    const TCliRun run = RunCli(dir.Path(), "", command);
    EXPECT_NE(0, run.Status);
    EXPECT_TRUE(Has(run.Output, "ZipArchiver1: Zip file structure invalid: " + std::string(c.Why))) << run.Output;
    EXPECT_TRUE(Has(run.Output, "The archive is left as it was - Native error: 00082")) << run.Output;
    EXPECT_FALSE(Has(run.Output, "committed")) << run.Output;
    EXPECT_EQ(damaged, ReadBytes(archive));
    EXPECT_EQ(std::vector<std::string>{"a.zip"}, ListTree(archive.parent_path()));
  }
}

const TDamageCase DamageCases[] = {
    {"cut_inside_an_entry", "it has no end of central directory record"},
    {"cut_at_100000_bytes", "it has no end of central directory record"},
    {"directory_offset_wrong", "the offset of its central directory in the end record is wrong"},
    {"directory_size_wrong", "its central directory is not where the end record puts it"},
    {"entry_count_wrong", "the number of entries and the size of its central directory in the end record disagree"},
    {"entries_overlap", "entry \"first.bin\" overlaps another entry"},
    {"entry_past_the_end_of_the_data", "entry \"more.bin\" runs past the end of the archive's data"},
    {"no_local_header_where_the_directory_says", "entry \"notes.txt\" has no local header where the central directory says"},
};
INSTANTIATE_TEST_SUITE_P(Cases, DamagedArchiveCommits, ::testing::ValuesIn(DamageCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// The check refuses only what is damaged: archives that hold together, by Info-ZIP, by Python
// (Zip64 sizes in every header) and with a stub in front whose offsets do not count it, take
// commits, and the peers accept the result.
TEST(DamagedArchiveCommits, WholeArchivesAreUpdated) {
  TTempDir dir;
  const fs::path src = dir / "src";
  WriteBytes(src / "a.txt", TextBytes(3000, 1));
  WriteBytes(src / "b.bin", RandomBytes(2000, 2));
  WriteBytes(dir / "new.txt", TextBytes(700, 3));
  const fs::path infoZip = dir / "infozip.zip";
  ASSERT_EQ(0, Shell("cd " + Quote(src.string()) + " && zip -q -r " + Quote(infoZip.string()) + " ."));
  const fs::path zip64 = dir / "zip64.zip";
  ASSERT_EQ(0, RunPython("import sys,zipfile\n"
                         "z=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED)\n"
                         "for n in ('a.txt','b.bin'):\n"
                         "  with open(sys.argv[2]+'/'+n,'rb') as i, z.open(n,'w',force_zip64=True) as o: o.write(i.read())\n",
                         {zip64.string(), src.string()}));
  const fs::path stub = dir / "stub.zip";
  auto withStub = RandomBytes(3000, 4);
  const auto plain = ReadBytes(infoZip);
  withStub.insert(withStub.end(), plain.begin(), plain.end());
  WriteBytes(stub, withStub);
  for (const fs::path& archive : {infoZip, zip64, stub}) {
    SCOPED_TRACE(archive.filename().string());
    const TCliRun run = RunCli(dir.Path(), "", "add " + Quote(archive.string()) + " new.txt --base " + Quote(dir.Path().string()));
    EXPECT_EQ(0, run.Status) << run.Output;
    EXPECT_TRUE(Has(run.Output, "committed stored 1 ignored 0")) << run.Output;
    EXPECT_EQ("", PeerCheck(archive));
  }
}


// ---- the archive's own write refused --------------------------------------------------------------

// A small file system of its own (tmpfs) over a folder, for the object's lifetime: a disk that is
// really full. Mounting needs root; Mounted() says whether it worked.
class TSmallDisk {
 public:
  TSmallDisk(fs::path folder, const std::string& size) : FFolder(std::move(folder)) {
    fs::create_directories(FFolder);
    FMounted = ::mount("tmpfs", FFolder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, ("size=" + size).c_str()) == 0;
  }
  ~TSmallDisk() {
    if (FMounted) ::umount2(FFolder.c_str(), MNT_DETACH);
  }
  TSmallDisk(const TSmallDisk&) = delete;
  TSmallDisk& operator=(const TSmallDisk&) = delete;
  bool Mounted() const { return FMounted; }

 private:
  fs::path FFolder;
  bool FMounted = false;
};

// The front end with a file size limit (KiB; 0: none), the limit's signal ignored so that the write
// fails instead, strace's fault injection when inject is not empty, and run by as (a command that
// runs the rest, e.g. as another user) when that is not empty.
TCliRun RunCliLimited(const fs::path& dir, int limitKiB, const std::string& inject, const std::string& arguments,
                      const std::string& as = "") {
  const fs::path out = dir / "cli-output.txt";
  std::string command = "timeout 120 ";
  if (!inject.empty()) command += "env ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null " + inject + " ";
  command += as + Quote(Cli) + " " + arguments;
  if (limitKiB > 0) command = "trap '' XFSZ; ulimit -f " + std::to_string(limitKiB) + "; " + command;
  const int status = Shell("bash -c " + Quote(command) + " >" + Quote(out.string()) + " 2>&1");
  const auto bytes = ReadBytes(out);
  fs::remove(out);
  return {status, std::string(bytes.begin(), bytes.end())};
}

// A write of the archive itself that the system refuses is no failure of the item being written:
// whatever the answer to item failures, the whole commit is rolled back, the old archive stays byte
// for byte, no moved file goes, and the message names the archive and the system's reason. The
// archive holds a 1.3 MB random file; each command needs more room than the disk (2 MB) or the file
// size limit leaves.
struct TRefusedCommand {
  const char* Command;
  const char* Arguments;
  int LimitKiB;  // a limit the old archive fits in and the new one does not
};
const TRefusedCommand RefusedCommands[] = {
    {"create", "r4.bin small.txt", 500},
    {"add", "r4.bin", 1500},
    {"move", "r4.bin small.txt", 1500},
    {"freshen", "r3.bin", 500},
};

class ArchiveWriteRefused : public ::testing::TestWithParam<std::tuple<TRefusedCommand, bool>> {};

TEST_P(ArchiveWriteRefused, RollsTheWholeCommitBackAndSaysWhy) {
  const auto& [c, fullDisk] = GetParam();
  TTempDir dir;
  const fs::path src = dir / "src";
  WriteBytes(src / "r3.bin", RandomBytes(1300000, 41));
  WriteBytes(src / "r4.bin", RandomBytes(1000000, 42));
  WriteBytes(src / "small.txt", TextBytes(3000, 43));
  const fs::path disk = dir / "disk";
  fs::create_directories(disk);
  std::optional<TSmallDisk> small;
  if (fullDisk) {
    small.emplace(disk, "2m");
    if (!small->Mounted()) GTEST_SKIP() << "a tmpfs cannot be mounted here (mounting needs root)";
  }
  const fs::path archive = disk / "x.zip";
  const std::string base = " --base " + Quote(src.string());
  ASSERT_EQ(0, RunCliLimited(dir.Path(), 0, "", "create " + Quote(archive.string()) + " r3.bin" + base).Status);
  const auto original = ReadBytes(archive);
  // New data for the freshen.
  WriteBytes(src / "r3.bin", RandomBytes(1300000, 44));
  const TCliRun run = RunCliLimited(dir.Path(), fullDisk ? 0 : c.LimitKiB, "",
                                    std::string(c.Command) + " " + Quote(archive.string()) + " " + c.Arguments + base);
  EXPECT_EQ(2, run.Status) << run.Output;
  const std::string reason = fullDisk ? "No space left on device" : "File too large";
  EXPECT_TRUE(Has(run.Output, "Cannot write \"" + fs::weakly_canonical(archive).string() + "\": " + reason))
      << run.Output;
  EXPECT_TRUE(Has(run.Output, "rolled back stored 0 ignored 0")) << run.Output;
  EXPECT_EQ(original, ReadBytes(archive)) << "the archive changed: " << original.size() << " -> "
                                          << fs::file_size(archive) << " bytes";
  EXPECT_EQ(std::vector<std::string>{"x.zip"}, ListTree(disk));
  EXPECT_TRUE(fs::exists(src / "r4.bin") && fs::exists(src / "small.txt"));
}

INSTANTIATE_TEST_SUITE_P(Cases, ArchiveWriteRefused,
                         ::testing::Combine(::testing::ValuesIn(RefusedCommands), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).Command) +
                                  (std::get<1>(info.param) ? "_full_disk" : "_file_size_limit");
                         });

// The rollback steps of an entry run while a failure unwinds, and a failure of theirs must not end
// the program: the output that cannot be cut back (every ftruncate fails) after the archive's
// write was refused, and a caller's stream that cannot be put back where it stood after its read
// failed. The commit is rolled back and says why.
TEST(RollbackWhileAFailureUnwinds, CutBackThatFailsEndsNothing) {
  TTempDir dir;
  const fs::path archive = MakeArchive(dir.Path());
  const auto original = ReadBytes(archive);
  WriteBytes(dir / "src" / "big.bin", RandomBytes(3 * 1024 * 1024, 51));
  const TCliRun run = RunCliLimited(dir.Path(), 3500, "-e inject=ftruncate:error=EIO",
                                    "add " + Quote(archive.string()) + " big.bin --base " + Quote((dir / "src").string()));
  EXPECT_EQ(2, run.Status) << run.Output;
  EXPECT_TRUE(Has(run.Output, "Cannot write") && Has(run.Output, "File too large")) << run.Output;
  EXPECT_TRUE(Has(run.Output, "rolled back")) << run.Output;
  EXPECT_EQ(original, ReadBytes(archive));
  EXPECT_EQ(std::vector<std::string>{"a.zip"}, ListTree(archive.parent_path()));
}

// A caller's stream whose reads fail after a while, and which then cannot seek either.
class TBreakingStream final : public zip::TZAStream {
 public:
  explicit TBreakingStream(std::size_t goodBytes) : FInner(RandomBytes(2 * goodBytes, 52)), FGood(goodBytes) {}
  std::size_t Read(void* buffer, std::size_t count) override {
    if (FInner.Position() + static_cast<std::int64_t>(count) > static_cast<std::int64_t>(FGood)) {
      FBroken = true;
      throw zip::EStreamError("the device went away");
    }
    return FInner.Read(buffer, count);
  }
  std::size_t Write(const void* buffer, std::size_t count) override { return FInner.Write(buffer, count); }
  void Seek(std::int64_t position) override {
    if (FBroken) throw zip::EStreamError("the device went away");
    FInner.Seek(position);
  }
  std::int64_t Position() const override { return FInner.Position(); }
  std::int64_t Size() const override { return FInner.Size(); }
  void SetSize(std::int64_t size) override { FInner.SetSize(size); }

 private:
  zip::TZAMemoryStream FInner;
  std::size_t FGood;
  bool FBroken = false;
};

TEST(RollbackWhileAFailureUnwinds, SourceThatCannotBePutBackEndsNothing) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  TTempDir dir;
  const fs::path archive = MakeArchive(dir.Path());
  const auto original = ReadBytes(archive);
  // In a child: a program that ends on the failure ends the child, not the test.
  EXPECT_EXIT(
      {
        zip::TZipArchiver a;
        a.FileName = EngineName(archive);
        a.OpenArchive(zip::fmOpenReadWriteDenyWrite);
        std::string message;
        try {
          a.AddFromStream("stream.bin", std::make_shared<TBreakingStream>(300000));
        } catch (const std::exception& e) {
          message = e.what();
        }
        a.CloseArchive();
        const bool rolledBack = a.LastCommitResult().State == zip::TZACommitState::RolledBack;
        std::_Exit(rolledBack && Has(message, "went away") && ReadBytes(archive) == original ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// What a close commits (pending changes, a new archive's directory and its name) can fail too; the
// close raises nothing, so the failure is in the last commit's outcome, with the system's reason,
// and the file under the archive's name stays as it was.
struct TCloseCase {
  const char* Name;
  bool Create;      // a new archive over the old one, closed without changes; else pending changes
  int LimitBytes;   // the file size limit while the archive closes
};
const TCloseCase CloseCases[] = {
    {"new_archive_directory", true, 10},
    {"pending_changes", false, 1000000},
};

class CloseFailure : public ::testing::TestWithParam<TCloseCase> {};

TEST_P(CloseFailure, IsInTheLastCommitsOutcome) {
  const TCloseCase& c = GetParam();
  TTempDir dir;
  const fs::path archive = MakeArchive(dir.Path());
  const auto original = ReadBytes(archive);
  WriteBytes(dir / "src" / "big.bin", RandomBytes(1500000, 61));
  zip::TZipArchiver a;
  a.FileName = EngineName(archive);
  a.BaseDir = EngineName(dir / "src");
  a.OpenArchive(c.Create ? zip::ZAFileModeCreate : zip::fmOpenReadWriteDenyWrite);
  if (!c.Create) {
    a.BeginUpdate();
    a.AddFiles("big.bin");
  }
  {
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ASSERT_EQ(0, ::getrlimit(RLIMIT_FSIZE, &previous));
    rlimit limit = previous;
    limit.rlim_cur = static_cast<rlim_t>(c.LimitBytes);
    ASSERT_EQ(0, ::setrlimit(RLIMIT_FSIZE, &limit));
    a.CloseArchive();
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
  }
  const zip::TZACommitResult& r = a.LastCommitResult();
  EXPECT_EQ(zip::TZACommitState::RolledBack, r.State);
  EXPECT_EQ(84, r.ErrorCode);
  EXPECT_TRUE(Has(r.Message, "Cannot write \"" + fs::weakly_canonical(archive).string() + "\": File too large"))
      << r.Message;
  EXPECT_EQ(original, ReadBytes(archive));
  EXPECT_EQ(std::vector<std::string>{"a.zip"}, ListTree(archive.parent_path()));
}

INSTANTIATE_TEST_SUITE_P(Cases, CloseFailure, ::testing::ValuesIn(CloseCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// A folder whose files cannot be listed (mode 000, a user other than root) is a failed item, told,
// and the run fails: stored, it would pass for an empty folder. Whether the folder is named, taken
// in by a mask, or only walked through by one.
struct TUnlistedCase {
  const char* Name;
  const char* Arguments;  // after "create ARCH"
  const char* Listed;     // a name the archive holds
};
const TUnlistedCase UnlistedCases[] = {
    {"named_folder", "src --base DIR", "src/a.txt"},
    {"folder_a_mask_takes_in", "'*' --base DIR/src", "a.txt"},
    {"folder_a_mask_walks_through", "'*.txt' --base DIR/src", "a.txt"},
};

class UnlistedFolder : public ::testing::TestWithParam<TUnlistedCase> {};

TEST_P(UnlistedFolder, IsAFailedItem) {
  const TUnlistedCase& c = GetParam();
  TTempDir dir;
  fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  const fs::path src = dir / "src";
  WriteBytes(src / "a.txt", TextBytes(3000, 71));
  WriteBytes(src / "secret" / "hidden.txt", TextBytes(2000, 72));
  const fs::path out = dir / "out";
  fs::create_directories(out);
  fs::permissions(out, fs::perms::all);
  fs::permissions(src / "secret", fs::perms::none);
  const std::string asNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  if (Shell(asNobody + "ls " + Quote((src / "secret").string()) + " >/dev/null 2>&1") == 0) {
    fs::permissions(src / "secret", fs::perms::owner_all);
    GTEST_SKIP() << "the folder stays readable (no other user to run as)";
  }
  std::string arguments = c.Arguments;
  for (std::size_t at; (at = arguments.find("DIR")) != std::string::npos;) arguments.replace(at, 3, dir.Path().string());
  const fs::path archive = out / "c.zip";
  const TCliRun run = RunCliLimited(dir.Path(), 0, "", "create " + Quote(archive.string()) + " " + arguments, asNobody);
  fs::permissions(src / "secret", fs::perms::owner_all);
  EXPECT_EQ(1, run.Status) << run.Output;
  EXPECT_TRUE(Has(run.Output, "Cannot open file") && Has(run.Output, "secret")) << run.Output;
  EXPECT_TRUE(Has(run.Output, "ignored 1")) << run.Output;
  const std::string listing = PythonListing(archive);
  EXPECT_TRUE(Lists(listing, c.Listed)) << listing;
  EXPECT_FALSE(Has(listing, "secret")) << listing;
  EXPECT_EQ("", PeerCheck(archive));
}

INSTANTIATE_TEST_SUITE_P(Cases, UnlistedFolder, ::testing::ValuesIn(UnlistedCases),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
