// A commit killed at every system call it makes that touches the archive's folder (and, for a move,
// the folder of the files it moves): strace delivers SIGKILL on entering the call. Afterwards the old
// archive is there byte for byte or the new one is complete, no moved file is lost, and once the next
// commit on the archive has run nothing is left beside it. For add, move, rename, delete and freshen,
// on an archive made by Info-ZIP and on one of ours, and for a create over an archive.
#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "ZipWriteSupport.h"

namespace {

using namespace ziptest;

const std::string Cli = ZIPWRITE_CLI;

// Every call that can change a folder or a file in it, and those that look for what to remove.
const char* const TracedCalls =
    "openat,open,creat,write,pwrite64,writev,pwritev,pwritev2,copy_file_range,sendfile,fsync,fdatasync,"
    "sync_file_range,rename,renameat,renameat2,link,linkat,unlink,unlinkat,ftruncate,truncate,fallocate,fchmod,"
    "fchmodat,fchown,fchownat,chmod,chown,flock,getdents64,close";

struct TCrashCase {
  const char* Name;
  bool InfoZip;         // the archive is made by Info-ZIP's zip, else by the engine
  const char* Command;  // ARCH is the archive, SRC the sources' folder
};

const TCrashCase CrashCases[] = {
    {"add_infozip", true, "add ARCH extra.txt --base SRC --level 1"},
    {"add_ours", false, "add ARCH extra.txt --base SRC --level 1"},
    {"move_infozip", true, "move ARCH 'moved*.txt' --base SRC --level 1"},
    {"move_ours", false, "move ARCH 'moved*.txt' --base SRC --level 1"},
    {"rename_infozip", true, "rename ARCH notes.txt renamed.txt"},
    {"rename_ours", false, "rename ARCH notes.txt renamed.txt"},
    {"delete_infozip", true, "delete ARCH first.bin"},
    {"delete_ours", false, "delete ARCH first.bin"},
    {"freshen_infozip", true, "freshen ARCH first.bin --base SRC --level 1"},
    {"freshen_ours", false, "freshen ARCH first.bin --base SRC --level 1"},
    // A new archive over an old one of the same name.
    {"create_over_infozip", true, "create ARCH extra.txt notes.txt --base SRC --level 1"},
};

struct TKillPoint {
  std::string Call;
  int Ordinal;  // the how-manieth call of its kind in the process (from 1)
};

// The calls of a trace (strace -y) that name one of the folders, by kind and ordinal.
std::map<std::string, std::vector<int>> CallsTouching(const fs::path& trace, const std::vector<std::string>& folders) {
  std::map<std::string, std::vector<int>> touching;
  std::map<std::string, int> seen;
  std::ifstream in(trace);
  std::string line;
  while (std::getline(in, line)) {
    // "PID name(arguments) = result"
    std::size_t at = line.find_first_not_of("0123456789");
    if (at == 0 || at == std::string::npos) continue;
    at = line.find_first_not_of(' ', at);
    const std::size_t paren = line.find('(', at);
    if (at == std::string::npos || paren == std::string::npos || paren == at) continue;
    const std::string name = line.substr(at, paren - at);
    if (name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") != std::string::npos) continue;
    const int ordinal = ++seen[name];
    for (const std::string& folder : folders) {
      if (line.find(folder + "/") != std::string::npos || line.find(folder + ">") != std::string::npos ||
          line.find(folder + "\"") != std::string::npos) {
        touching[name].push_back(ordinal);
        break;
      }
    }
  }
  return touching;
}

// Every kind of call; of a kind made many times, its first and last ones and some between.
std::vector<TKillPoint> Sample(const std::map<std::string, std::vector<int>>& touching) {
  constexpr std::size_t Edge = 4;
  constexpr std::size_t Between = 8;
  std::vector<TKillPoint> points;
  for (const auto& [name, ordinals] : touching) {
    if (ordinals.size() <= 2 * Edge + Between) {
      for (int o : ordinals) points.push_back({name, o});
      continue;
    }
    for (std::size_t i = 0; i < Edge; ++i) points.push_back({name, ordinals[i]});
    for (std::size_t k = 1; k <= Between; ++k) {
      points.push_back({name, ordinals[Edge + k * (ordinals.size() - 2 * Edge) / (Between + 1)]});
    }
    for (std::size_t i = ordinals.size() - Edge; i < ordinals.size(); ++i) points.push_back({name, ordinals[i]});
  }
  return points;
}

// ".a.zip.FC", twelve letters or digits, ".tmp".
bool IsOurTemporary(const std::string& name) {
  const std::string prefix = ".a.zip.FC";
  const std::string suffix = ".tmp";
  if (name.size() != prefix.size() + 12 + suffix.size()) return false;
  if (name.compare(0, prefix.size(), prefix) != 0) return false;
  if (name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) return false;
  const std::string tag = name.substr(prefix.size(), 12);
  return tag.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ") == std::string::npos;
}

class CommitCrash : public ::testing::TestWithParam<TCrashCase> {};

TEST_P(CommitCrash, OldArchiveOrNewOneAndNothingLeftBeside) {
  const TCrashCase& c = GetParam();
  TTempDir dir;
  const fs::path src = dir / "src";
  const fs::path folder = dir / "arc";
  const fs::path archive = folder / "a.zip";
  fs::create_directories(src);
  fs::create_directories(folder);
  WriteBytes(src / "first.bin", RandomBytes(1500000, 1));
  WriteBytes(src / "notes.txt", TextBytes(40000, 2));
  WriteBytes(src / "more.bin", RandomBytes(300000, 3));
  StampTimes(src);
  if (c.InfoZip) {
    ASSERT_EQ(0, Shell("cd " + Quote(src.string()) + " && zip -q " + Quote(archive.string()) +
                       " first.bin notes.txt more.bin"));
  } else {
    ASSERT_EQ(0, Shell(Quote(Cli) + " create " + Quote(archive.string()) + " '*' --base " + Quote(src.string()) +
                       " >/dev/null"));
  }
  // What the commits take in: a new file, two files to move, a changed file, the next commit's file.
  WriteBytes(src / "extra.txt", TextBytes(120000, 4));
  WriteBytes(src / "moved1.txt", TextBytes(70000, 5));
  WriteBytes(src / "moved2.txt", RandomBytes(50000, 6));
  WriteBytes(src / "first.bin", RandomBytes(1400000, 7));
  WriteBytes(src / "next.txt", TextBytes(100, 8));
  StampTimes(src, 1710000000);
  const std::vector<std::string> moved = {"moved1.txt", "moved2.txt"};
  std::map<std::string, std::vector<std::uint8_t>> movedBytes;
  std::map<std::string, fs::file_time_type> movedTimes;
  for (const auto& m : moved) {
    movedBytes[m] = ReadBytes(src / m);
    movedTimes[m] = fs::last_write_time(src / m);
  }
  const auto restoreMoved = [&] {
    for (const auto& m : moved) {
      if (!fs::exists(src / m)) {
        WriteBytes(src / m, movedBytes[m]);
        fs::last_write_time(src / m, movedTimes[m]);
      }
    }
  };
  const auto old = ReadBytes(archive);
  ASSERT_EQ("", PeerCheck(archive));

  std::string command = c.Command;
  command.replace(command.find("ARCH"), 4, Quote(archive.string()));
  if (auto at = command.find("SRC"); at != std::string::npos) command.replace(at, 3, Quote(src.string()));
  const std::string next = Quote(Cli) + " add " + Quote(archive.string()) + " next.txt --base " + Quote(src.string()) +
                           " >/dev/null 2>&1";
  // (The leak checker of a sanitized build cannot run under strace.)
  const std::string strace = "ASAN_OPTIONS=detect_leaks=0 strace -f -qq ";

  // The commit once, whole, traced: the new archive and the calls to kill at.
  const fs::path trace = dir / "trace.txt";
  ASSERT_EQ(0, Shell(strace + "-y -e trace=" + TracedCalls + " -o " + Quote(trace.string()) + " " + Quote(Cli) + " " +
                     command + " >/dev/null 2>&1"));
  const auto fresh = ReadBytes(archive);
  ASSERT_NE(old, fresh);
  ASSERT_EQ("", PeerCheck(archive));
  const std::string freshListing = PythonListing(archive);
  std::vector<std::string> folders = {folder.string()};
  if (std::string(c.Command).rfind("move", 0) == 0) folders.push_back(src.string());
  const auto touching = CallsTouching(trace, folders);
  std::size_t calls = 0;
  for (const auto& [kind, ordinals] : touching) calls += ordinals.size();
  const std::vector<TKillPoint> points = Sample(touching);
  // Every kind of call a commit makes there is among them.
  std::map<std::string, int> perKind;
  for (const auto& p : points) ++perKind[p.Call];
  // (The new archive takes the name by trading places with the old one: renameat2.)
  for (const char* kind : {"openat", "fsync", "linkat", "renameat2", "fchmod", "close"}) {
    EXPECT_TRUE(perKind.count(kind)) << "no " << kind << " in the archive's folder";
  }
  EXPECT_TRUE(perKind.count("pwrite64") || perKind.count("copy_file_range"));

  int keptOld = 0;
  int tookNew = 0;
  int leftovers = 0;
  for (const TKillPoint& p : points) {
    SCOPED_TRACE(p.Call + " #" + std::to_string(p.Ordinal));
    WriteBytes(archive, old);
    restoreMoved();
    const int status = Shell(strace + "-o /dev/null -e trace=" + p.Call + " -e inject=" + p.Call +
                             ":signal=KILL:when=" + std::to_string(p.Ordinal) + " " + Quote(Cli) + " " + command +
                             " >/dev/null 2>&1");
    EXPECT_NE(0, status) << "the commit was not killed";
    const auto now = ReadBytes(archive);
    if (now == old) {
      ++keptOld;
      // The old archive stands: no moved file may be gone.
      for (const auto& m : moved) EXPECT_TRUE(fs::exists(src / m)) << m << " was deleted";
    } else {
      ++tookNew;
      if (now != fresh) {
        EXPECT_EQ("", PeerCheck(archive));
        EXPECT_EQ(freshListing, PythonListing(archive));
      }
    }
    // Beside the archive at most the killed commit's temporary file...
    for (const std::string& name : ListTree(folder)) {
      if (name == "a.zip") continue;
      EXPECT_TRUE(IsOurTemporary(name)) << name;
      ++leftovers;
    }
    // ...which the next commit removes.
    restoreMoved();
    EXPECT_EQ(0, Shell(next));
    EXPECT_EQ(std::vector<std::string>{"a.zip"}, ListTree(folder));
  }
  // A kill between the temporary name and the rename leaves that name, and it went.
  EXPECT_GT(leftovers, 0);
  EXPECT_GT(keptOld, 0);
  EXPECT_GT(tookNew, 0);
  std::cout << c.Name << ": " << points.size() << " kill points of " << calls << " calls (";
  for (const auto& [kind, n] : perKind) std::cout << kind << " " << n << " ";
  std::cout << "), old archive kept " << keptOld << ", new one in place " << tookNew << "\n";
}

INSTANTIATE_TEST_SUITE_P(Operations, CommitCrash, ::testing::ValuesIn(CrashCases),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
