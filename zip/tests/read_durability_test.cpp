// What an extraction with FlushBuffers asks of the disk, seen through strace: a file that replaces
// another is flushed before it takes its place; new files only start their write-back, and the run
// flushes their file system and each folder once, at its end.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>

#include "ZipTestSupport.h"

namespace {

using namespace ziptest;

// The calls that wait for the disk, and the start of a write-back, counted by name.
std::map<std::string, int> TracedSyncCalls(const fs::path& log) {
  std::map<std::string, int> calls;
  std::ifstream in(log);
  std::string line;
  while (std::getline(in, line)) {
    // "PID name(args) = result"; resumed and exit lines carry no call of their own.
    const auto open = line.find('(');
    if (open == std::string::npos || line.find("resumed>") != std::string::npos) continue;
    const auto space = line.rfind(' ', open);
    ++calls[line.substr(space == std::string::npos ? 0 : space + 1, open - (space == std::string::npos ? 0 : space + 1))];
  }
  return calls;
}

TEST(ExtractionDurability, OneFlushPerFolderAndFileSystemNotPerFile) {
  if (Shell("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
  TTempDir dir;
  const int perFolder = 100;
  for (const char* folder : {"one", "two"}) {
    for (int i = 0; i < perFolder; ++i) {
      WriteBytes(dir / "src" / folder / ("f" + std::to_string(i) + ".txt"), TextBytes(2000 + i, i));
    }
  }
  WriteBytes(dir / "src" / "top.txt", TextBytes(5000, 7));
  StampTimes(dir / "src");
  const fs::path archive = dir / "a.zip";
  ASSERT_EQ(0, Shell("cd " + Quote((dir / "src").string()) + " && zip -q -r -D " + Quote(archive.string()) + " ."));
  const int files = 2 * perFolder + 1;
  const int folders = 3;  // the base folder and its two folders

  const auto extract = [&](const fs::path& log) {
    // (The leak checker of a sanitized build cannot run under strace.)
    return Shell("ASAN_OPTIONS=detect_leaks=0 strace -f -qq -e trace=fsync,fdatasync,syncfs,sync,msync,sync_file_range -o " + Quote(log.string()) +
                 " " + Quote(ZIPREAD_CLI) + " extract " + Quote(archive.string()) + " " + Quote((dir / "out").string()) +
                 " >/dev/null");
  };
  // New files: their write-back starts one by one, the waits come once per folder and file system.
  ASSERT_EQ(0, extract(dir / "new.log"));
  EXPECT_EQ("", CompareTrees(dir / "src", dir / "out"));
  auto calls = TracedSyncCalls(dir / "new.log");
  EXPECT_EQ(files, calls["sync_file_range"]);
  EXPECT_EQ(folders, calls["fsync"]);
  EXPECT_EQ(1, calls["syncfs"]);
  EXPECT_EQ(0, calls["fdatasync"] + calls["sync"] + calls["msync"]);

  // The same files again: each replaces one, so each is on the disk before its rename.
  ASSERT_EQ(0, extract(dir / "again.log"));
  EXPECT_EQ("", CompareTrees(dir / "src", dir / "out"));
  calls = TracedSyncCalls(dir / "again.log");
  EXPECT_EQ(0, calls["sync_file_range"]);
  EXPECT_EQ(files + folders, calls["fsync"]);
  EXPECT_EQ(1, calls["syncfs"]);
}

// A flush that fails is a failure of the run, never a silent success: at the end of the run (the
// file system of new files) through the failure event, and before a replacement (the item fails
// and the old file stays).
TEST(ExtractionDurability, FailedFlushesFailTheRun) {
  if (Shell("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
  TTempDir dir;
  WriteBytes(dir / "src" / "a.txt", TextBytes(3000, 1));
  WriteBytes(dir / "src" / "b.txt", TextBytes(3000, 2));
  const fs::path archive = dir / "a.zip";
  ASSERT_EQ(0, Shell("cd " + Quote((dir / "src").string()) + " && zip -q " + Quote(archive.string()) + " a.txt b.txt"));
  const auto extract = [&](const std::string& inject, const fs::path& out) {
    return Shell("ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null -e trace=fsync,syncfs -e inject=" + inject +
                 " " + Quote(ZIPREAD_CLI) + " extract " + Quote(archive.string()) + " " + Quote(out.string()) +
                 " >/dev/null 2>" + Quote((dir / "err.txt").string()));
  };
  // New files whose file system cannot be flushed.
  EXPECT_EQ(1, extract("syncfs:error=EIO", dir / "new"));
  const auto err = ReadBytes(dir / "err.txt");
  EXPECT_NE(std::string::npos, std::string(err.begin(), err.end()).find("Native error: 00019")) << std::string(err.begin(), err.end());
  // A replacement that cannot be flushed: it does not take the old file's place.
  WriteText(dir / "old" / "a.txt", "old a");
  WriteText(dir / "old" / "b.txt", "old b");
  EXPECT_EQ(1, extract("fsync:error=EIO:when=1", dir / "old"));
  int replaced = 0;
  for (const char* n : {"a.txt", "b.txt"}) {
    const auto bytes = ReadBytes(dir / "old" / n);
    if (bytes == ReadBytes(dir / "src" / n)) ++replaced;
  }
  EXPECT_EQ(1, replaced);
  EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt"}), ListTree(dir / "old"));
}

}  // namespace
