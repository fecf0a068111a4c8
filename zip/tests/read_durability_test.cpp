// What an extraction with FlushBuffers asks of the disk, seen through strace: a file that replaces
// another is flushed before it takes its place; no file gets its name before its data is complete;
// after the last file got its name, the file system and each folder that took a file are flushed,
// all before the run reports its end. And a run killed at any of its system calls leaves under
// each name the old file or the complete new one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ZipTestSupport.h"

namespace {

using namespace ziptest;

// (The leak checker of a sanitized build cannot run under strace.)
const std::string Strace = "ASAN_OPTIONS=detect_leaks=0 strace -f -qq ";

// Reads a trace made with -y and checks the order that makes the run durable. Arguments: the
// trace, then "new:PATH" or "old:PATH" for every file the run writes (old: it replaces one).
// Prints what is wrong and exits 1.
const char* const OrderCheck = R"PY(
import re, sys
trace = sys.argv[1]
files = {a.split(':', 1)[1]: a.split(':', 1)[0] for a in sys.argv[2:]}
desc = r'(-?\d+|AT_FDCWD)<([^>]*)>'
open_fds = {}          # number -> the file it holds (its path as strace shows it)
last_write = {}        # file -> index of its last write
synced = {}            # file -> index of its last flush
temps = {}             # temporary name -> file
named = {}             # final path -> (file, index)
folder_syncs = {}      # folder -> indexes of its flushes
syncfs, report, problems = [], None, []
for i, line in enumerate(open(trace)):
  line = re.sub(r'^\d+ +', '', line.strip())
  m = re.match(r'(\w+)\((.*)\) += (.*)$', line)
  if not m: continue
  call, args, result = m.groups()
  fds = re.findall(desc, args)
  if call in ('openat', 'openat2'):
    r = re.match(desc, result)
    if r: open_fds[r.group(1)] = r.group(2)
  elif call == 'close' and fds:
    open_fds.pop(fds[0][0], None)
  elif call in ('write', 'pwrite64', 'writev', 'pwritev') and fds:
    if fds[0][0] == '1' and 'selected' in args: report = i
    last_write[fds[0][1]] = i
    if any(f == fds[0][1] for f, _ in named.values()): problems.append('written after it got its name: ' + line)
  elif call in ('fsync', 'fdatasync') and fds:
    synced[fds[0][1]] = i
    folder_syncs.setdefault(fds[0][1].rstrip('/'), []).append(i)
  elif call == 'syncfs':
    syncfs.append(i)
  elif call == 'linkat' and result == '0':
    n = re.search(r'"/proc/self/fd/(\d+)", ' + desc + r', "([^"]*)"', args)
    src = open_fds.get(n.group(1)) if n else None
    if src is None: problems.append('no file behind ' + line); continue
    dst = n.group(3) + '/' + n.group(4)
    if dst in files: named[dst] = (src, i)
    else: temps[dst] = src
  elif call in ('renameat', 'renameat2') and result == '0':
    n = re.match(desc + r', "([^"]*)", ' + desc + r', "([^"]*)"', args)
    src, dst = n.group(2) + '/' + n.group(3), n.group(5) + '/' + n.group(6)
    if dst in files: named[dst] = (temps.get(src, src), i)
for path, kind in files.items():
  if path not in named: problems.append('never named: ' + path); continue
  f, at = named[path]
  if last_write.get(f, -1) > at: problems.append('data after the name: ' + path)
  if kind == 'old' and not (last_write.get(f, -1) < synced.get(f, -1) < at):
    problems.append('replaced before its data was flushed: ' + path)
if report is None: problems.append('the run reported no end')
else:
  last = max(at for _, at in named.values())
  if not any(last < s < report for s in syncfs): problems.append('no syncfs between the last name and the end')
  for folder in {p.rsplit('/', 1)[0] for p in files}:
    if not any(last < s < report for s in folder_syncs.get(folder, [])):
      problems.append('folder not flushed after the last name: ' + folder)
if problems:
  print('\n'.join(problems)); sys.exit(1)
)PY";

// strace's options that trace the calls; with temporaryNames the run finds no /proc (its access
// fails), and so uses temporary names for its new files instead of unnamed ones.
std::string Tracing(const std::string& calls, bool temporaryNames) {
  return "-e trace=" + calls + (temporaryNames ? ",access -e inject=access:error=ENOENT " : " ");
}

struct TDurabilityCase {
  const char* Name;
  bool Existing[3];  // whether top.txt, one/f0.txt and two/f1.txt are on disk before the run
  bool TemporaryNames;
};

// A fresh folder, a folder whose every file is replaced, and one where some are, with unnamed files
// and with temporary names: the order holds, whatever number of flushes the run makes.
TEST(ExtractionDurability, FilesAreNamedWhenCompleteAndFlushedBeforeTheEnd) {
  if (Shell("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
  TTempDir dir;
  const std::vector<std::string> names = {"top.txt", "one/f0.txt", "two/f1.txt", "one/f2.txt", "two/f3.txt"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    WriteBytes(dir / "src" / names[i], TextBytes(20000 + i * 1000, static_cast<std::uint32_t>(i)));
  }
  StampTimes(dir / "src");
  const fs::path archive = dir / "a.zip";
  ASSERT_EQ(0, Shell("cd " + Quote((dir / "src").string()) + " && zip -q -r -D " + Quote(archive.string()) + " ."));

  for (const TDurabilityCase& c : {TDurabilityCase{"new", {false, false, false}, false},
                                   TDurabilityCase{"replaced", {true, true, true}, false},
                                   TDurabilityCase{"some-replaced", {true, false, true}, false},
                                   TDurabilityCase{"new-named", {false, false, false}, true},
                                   TDurabilityCase{"some-replaced-named", {true, false, true}, true}}) {
    SCOPED_TRACE(c.Name);
    const fs::path out = dir / c.Name;
    std::vector<std::string> args = {(dir / (std::string(c.Name) + ".log")).string()};
    for (std::size_t i = 0; i < names.size(); ++i) {
      const bool old = i < 3 && c.Existing[i];
      if (old) WriteText(out / names[i], "old");
      args.push_back((old ? "old:" : "new:") + (out / names[i]).string());
    }
    if (!fs::exists(out)) fs::create_directories(out);
    ASSERT_EQ(0, Shell(Strace + "-y " +
                       Tracing("openat,openat2,close,write,pwrite64,writev,pwritev,fsync,fdatasync,syncfs,linkat,"
                               "renameat,renameat2", c.TemporaryNames) +
                       "-o " + Quote(args[0]) + " " + Quote(ZIPREAD_CLI) +
                       " extract " + Quote(archive.string()) + " " + Quote(out.string()) + " >/dev/null"));
    EXPECT_EQ("", CompareTrees(dir / "src", out));
    EXPECT_EQ(0, RunPython(OrderCheck, args));
  }
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
    return Shell(Strace + "-o /dev/null -e trace=fsync,syncfs -e inject=" + inject + " " + Quote(ZIPREAD_CLI) +
                 " extract " + Quote(archive.string()) + " " + Quote(out.string()) + " >/dev/null 2>" +
                 Quote((dir / "err.txt").string()));
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

// The calls of a traced run (made with -y) that touch the folder, as kind and ordinal among all
// calls of that kind (what strace's "when=" counts).
std::vector<std::pair<std::string, int>> CallsTouching(const fs::path& trace, const std::string& folder) {
  std::vector<std::pair<std::string, int>> calls;
  std::map<std::string, int> seen;
  std::ifstream in(trace);
  std::string line;
  while (std::getline(in, line)) {
    // "PID name(args) = result"; resumed lines carry no call of their own.
    const auto start = line.find_first_not_of(' ', line.find(' '));
    const auto open = line.find('(', start);
    if (start == std::string::npos || open == std::string::npos || line.find("resumed>") != std::string::npos) continue;
    const std::string name = line.substr(start, open - start);
    const int ordinal = ++seen[name];
    if (line.find(folder) != std::string::npos) calls.emplace_back(name, ordinal);
  }
  return calls;
}

// A run killed on entering any call that touches the target folder: every name holds nothing, the
// old file or the complete new one, never a part. With unnamed files, an unnamed file goes with the
// process, and only a kill between naming a replacement under its temporary name and the rename
// over the old file can leave that temporary name; with temporary names (no /proc), a kill while
// a file is written leaves its temporary name, and never anything else.
TEST(ExtractionDurability, AKillAtAnyCallLeavesOldOrWholeFiles) {
  if (Shell("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
  TTempDir dir;
  const std::vector<std::string> names = {"r.txt", "sub/n.txt", "m.txt"};
  WriteBytes(dir / "src" / names[0], TextBytes(300000, 1));
  WriteBytes(dir / "src" / names[1], TextBytes(200000, 2));
  WriteBytes(dir / "src" / names[2], TextBytes(1000, 3));
  const fs::path archive = dir / "a.zip";
  ASSERT_EQ(0, Shell("cd " + Quote((dir / "src").string()) + " && zip -q -r -D " + Quote(archive.string()) +
                     " r.txt sub m.txt"));
  const std::vector<std::uint8_t> oldR = {'o', 'l', 'd', ' ', 'r'};
  const fs::path out = dir / "out";
  const auto reset = [&] {
    fs::remove_all(out);
    WriteBytes(out / "r.txt", oldR);
  };
  const char* const Calls =
      "openat,openat2,close,pwrite64,write,fsync,sync_file_range,linkat,renameat,renameat2,unlinkat,mkdirat,"
      "utimensat,fchmod,syncfs,newfstatat";
  for (const bool temporaryNames : {false, true}) {
    SCOPED_TRACE(temporaryNames ? "temporary names" : "unnamed files");
    reset();
    const fs::path trace = dir / "trace.txt";
    ASSERT_EQ(0, Shell(Strace + "-y " + Tracing(Calls, temporaryNames) + "-o " + Quote(trace.string()) + " " +
                       Quote(ZIPREAD_CLI) + " extract " + Quote(archive.string()) + " " + Quote(out.string()) +
                       " >/dev/null"));
    const auto points = CallsTouching(trace, out.string());
    ASSERT_GT(points.size(), 20u);
    int completed = 0, leftovers = 0;
    for (const auto& [kind, ordinal] : points) {
      SCOPED_TRACE(kind + " #" + std::to_string(ordinal));
      reset();
      const int status = Shell(Strace + "-o /dev/null " + Tracing(kind, temporaryNames) + "-e inject=" + kind +
                               ":signal=KILL:when=" + std::to_string(ordinal) + " " + Quote(ZIPREAD_CLI) + " extract " +
                               Quote(archive.string()) + " " + Quote(out.string()) + " >/dev/null 2>&1");
      EXPECT_NE(0, status) << "the run was not killed";
      for (const std::string& name : names) {
        if (!fs::exists(out / name)) continue;
        const auto bytes = ReadBytes(out / name);
        const bool old = name == "r.txt" && bytes == oldR;
        EXPECT_TRUE(old || bytes == ReadBytes(dir / "src" / name)) << name << " holds " << bytes.size() << " bytes";
      }
      for (const std::string& entry : ListTree(out)) {
        if (entry == "sub/" || std::find(names.begin(), names.end(), entry) != names.end()) continue;
        ++leftovers;
        const std::string leaf = fs::path(entry).filename().string();
        if (temporaryNames) {
          EXPECT_TRUE(leaf.rfind(".r.txt.za", 0) == 0 || leaf.rfind(".n.txt.za", 0) == 0 ||
                      leaf.rfind(".m.txt.za", 0) == 0)
              << entry << " left behind";
        } else {
          EXPECT_EQ(".r.txt.za", entry.substr(0, 9)) << entry << " left behind";
          EXPECT_EQ("renameat", kind) << entry << " left behind";
        }
      }
      if (ReadBytes(out / "m.txt") == ReadBytes(dir / "src" / "m.txt")) ++completed;
    }
    if (!temporaryNames) {
      EXPECT_LE(leftovers, 1);
    }
    std::printf("%s: %zu kill points, %d with every file in place, %d temporary names left\n",
                temporaryNames ? "temporary names" : "unnamed files", points.size(), completed, leftovers);
  }
}

}  // namespace
