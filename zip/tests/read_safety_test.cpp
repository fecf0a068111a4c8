// Where extraction writes and what it leaves: never outside the base folder, never a half-written
// file in place of a good one, and the file modes a Linux user expects.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

#include "ZAPlatform.h"
#include "ZipBuilder.h"
#include "ZipEngineRun.h"
#include "ZipTestSupport.h"

namespace {

using namespace ziptest;

class ExtractionSafety : public ::testing::Test {
 protected:
  TTempDir Dir;
  unsigned ModeOf(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 07777;
  }
};

// Names that climb out of the folder, are absolute or carry a drive or server are refused through
// the failure event; nothing appears outside the target folder, and the harmless items still come.
TEST_F(ExtractionSafety, HostileNamesWriteNothingOutsideTheTarget) {
  const fs::path archive = Dir / "hostile.zip";
  const fs::path absolute = Dir / "abs-target";
  ASSERT_EQ(0, RunPython("import zipfile,sys\n"
                         "names=['../x', sys.argv[2] + '/abs', 'C:\\\\x', '\\\\\\\\srv\\\\s\\\\x', 'a/../../x',\n"
                         "       '..\\\\win', 'sub/../inside.txt', 'ok.txt', 'a/b/../../../../up.txt', 'C:rel.txt']\n"
                         "with zipfile.ZipFile(sys.argv[1],'w') as z:\n"
                         "  for n in names:\n"
                         "    zi=zipfile.ZipInfo(n, (2022,5,6,7,8,10)); zi.external_attr=0o100644<<16; zi.create_system=3\n"
                         "    z.writestr(zi, 'payload of ' + n)\n",
                         {archive.string(), absolute.string()}));
  const fs::path jail = Dir / "jail" / "target";
  fs::create_directories(jail);
  const TEngineRun run = ExtractWithEngine(archive, jail);
  ASSERT_TRUE(run.Opened) << run.OpenMessage;
  EXPECT_EQ(8u, run.Failures.size());
  for (int code : run.FailureCodes) EXPECT_EQ(23, code);
  // "sub/../inside.txt" stays inside and lands as "inside.txt".
  EXPECT_EQ(std::vector<std::string>({"inside.txt", "ok.txt"}), ListTree(jail));
  EXPECT_EQ(std::vector<std::string>({"target/", "target/inside.txt", "target/ok.txt"}),
            ListTree(Dir / "jail"));
  EXPECT_FALSE(fs::exists(absolute));
  EXPECT_FALSE(fs::exists(Dir / "x"));
  EXPECT_FALSE(fs::exists("/x"));
  EXPECT_EQ(8, run.Result.Failed);
  EXPECT_EQ(23, run.Result.LastErrorCode);
}

// An application's own handler may send an item anywhere, a full path included.
TEST_F(ExtractionSafety, NameChangedByTheApplicationMayBeAbsolute) {
  std::vector<TBuildEntry> entries(1);
  entries[0].Name = "report.txt";
  entries[0].Data = TextBytes(300, 1);
  WriteBytes(Dir / "a.zip", BuildZip(entries));
  const fs::path elsewhere = Dir / "elsewhere" / "renamed.txt";
  fs::create_directories(elsewhere.parent_path());
  const TEngineRun run = ExtractWithEngine(Dir / "a.zip", Dir / "out", [&](zip::TZipArchiver& a) {
    a.OnExtractFile = [&](auto*, std::string& name, std::uint32_t&, const std::string&) {
      EXPECT_EQ("report.txt", name);
      name = zip::platform::FromFileSystemPath(elsewhere.string());
    };
  });
  EXPECT_TRUE(run.Failures.empty());
  EXPECT_EQ(entries[0].Data, ReadBytes(elsewhere));
  EXPECT_FALSE(fs::exists(Dir / "out" / "report.txt"));
}

// Modes: recorded Unix permissions are applied; without them a replaced file keeps its mode and a
// new one gets the usual default; the DOS read-only bit takes the write bits away.
TEST_F(ExtractionSafety, FileModes) {
  struct Case {
    const char* Name;
    std::uint16_t MadeBy;
    std::uint32_t Attributes;
    int Existing;  // mode of a file already in place, or -1
    unsigned Expected;
  };
  const mode_t mask = ::umask(022);
  ::umask(mask);
  const Case cases[] = {
      {"unix-exec.sh", (3 << 8) | 30, 0100755u << 16, -1, 0755},
      {"unix-exec-over-plain.sh", (3 << 8) | 30, 0100750u << 16, 0644, 0750},
      {"unix-private.txt", (3 << 8) | 30, 0100600u << 16, -1, 0600},
      {"dos-over-exec.sh", 20, 0x20, 0755, 0755},
      {"dos-new.txt", 20, 0x20, -1, 0666u & ~mask},
      {"dos-readonly.txt", 20, 0x21, -1, (0666u & ~mask) & ~0222u},
      {"sevenzip-style.sh", 20, (0100755u << 16) | 0x8020, -1, 0755},
  };
  std::vector<TBuildEntry> entries;
  const fs::path out = Dir / "out";
  fs::create_directories(out);
  for (const auto& c : cases) {
    TBuildEntry e;
    e.Name = c.Name;
    e.Data = TextBytes(50, 2);
    e.VersionMadeBy = c.MadeBy;
    e.ExternalAttributes = c.Attributes;
    entries.push_back(e);
    if (c.Existing >= 0) {
      WriteText(out / c.Name, "old");
      fs::permissions(out / c.Name, fs::perms(c.Existing));
    }
  }
  WriteBytes(Dir / "modes.zip", BuildZip(entries));
  const TEngineRun run = ExtractWithEngine(Dir / "modes.zip", out);
  ASSERT_TRUE(run.Failures.empty());
  for (const auto& c : cases) {
    EXPECT_EQ(c.Expected, ModeOf(out / c.Name)) << c.Name;
    EXPECT_EQ(entries[0].Data, ReadBytes(out / c.Name)) << c.Name;
  }
}

// The mode a new file gets from the process's mask (an extracted item without a Unix mode, a new
// archive) is read without setting the mask, which every thread of the process shares: under
// strace, the programs make no umask call, and the modes follow the mask they were started with.
TEST_F(ExtractionSafety, ModesFollowTheMaskWithoutChangingIt) {
  if (Shell("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
  TBuildEntry e;
  e.Name = "dos.txt";
  e.Data = TextBytes(50, 2);
  e.VersionMadeBy = 20;
  e.ExternalAttributes = 0x20;
  WriteBytes(Dir / "dos.zip", BuildZip({e}));
  WriteText(Dir / "src/a.txt", "a");
  const fs::path log = Dir / "umask.log";
  const std::string traced = "umask 027 && ASAN_OPTIONS=detect_leaks=0 strace -f -qq -e trace=umask -o " + Quote(log.string()) + " ";
  ASSERT_EQ(0, Shell(traced + Quote(ZIPREAD_CLI) + " extract " + Quote((Dir / "dos.zip").string()) + " " +
                     Quote((Dir / "out").string()) + " >/dev/null"));
  const auto extracting = ReadBytes(log);
  ASSERT_EQ(0, Shell(traced + Quote(ZIPWRITE_CLI) + " create " + Quote((Dir / "new.zip").string()) + " a.txt --base " +
                     Quote((Dir / "src").string()) + " >/dev/null"));
  const auto creating = ReadBytes(log);
  EXPECT_EQ("", std::string(extracting.begin(), extracting.end()));
  EXPECT_EQ("", std::string(creating.begin(), creating.end()));
  EXPECT_EQ(0640u, ModeOf(Dir / "out/dos.txt"));
  EXPECT_EQ(0640u, ModeOf(Dir / "new.zip"));
}

// A replaced file stays as it was whenever its replacement does not come through whole: a failed
// item, a skipped password question, a cancel during the data.
TEST_F(ExtractionSafety, ExistingFileSurvivesAFailedReplacement) {
  std::vector<TBuildEntry> entries(1);
  entries[0].Name = "keep.txt";
  entries[0].Data = TextBytes(3 * 1024 * 1024, 3);
  entries[0].Deflate = true;
  struct Case {
    const char* Name;
    bool Corrupt;
    bool Encrypted;
    bool CancelInData;
  };
  for (const Case c : {Case{"bad crc", true, false, false}, Case{"password skipped", false, true, false},
                       Case{"cancelled", false, false, true}}) {
    SCOPED_TRACE(c.Name);
    TBuildEntry e = entries[0];
    if (c.Corrupt) e.Crc32 = 0x12345678;
    if (c.Encrypted) {
      e.Flags = 1;
      e.RawData = RandomBytes(5000, 4);
    }
    WriteBytes(Dir / "r.zip", BuildZip({e}));
    const fs::path out = Dir / "out";
    WriteText(out / "keep.txt", "precious");
    fs::permissions(out / "keep.txt", fs::perms(0751));
    const TEngineRun run = ExtractWithEngine(Dir / "r.zip", out, [&](zip::TZipArchiver& a) {
      a.OnPassword = [](auto*, const std::string&, std::string&, bool& skip) { skip = true; };
      if (c.CancelInData) {
        a.OnFileProgress = [](auto*, const std::string&, double, zip::TZAProcessOperation,
                              zip::TZAProgressPhase phase, bool& cancel) { cancel = phase == zip::ppProcess; };
      }
    });
    const auto kept = ReadBytes(out / "keep.txt");
    EXPECT_EQ("precious", std::string(kept.begin(), kept.end()));
    EXPECT_EQ(0751u, ModeOf(out / "keep.txt"));
    EXPECT_EQ(std::vector<std::string>{"keep.txt"}, ListTree(out));
    // A skipped password is the user's answer, not a failure; a cancel or a bad item is.
    EXPECT_EQ(c.Encrypted, run.Result.Succeeded());
    EXPECT_EQ(c.CancelInData, run.Result.Cancelled);
    EXPECT_EQ(c.Corrupt ? 1 : 0, run.Result.Failed);
    EXPECT_EQ(c.Encrypted ? 1 : 0, run.Result.Skipped);
  }
}

// Entries that point at the same compressed data (a zip bomb without nesting: fifty names for one
// 10 MB item) are refused through the failure event with code 80, which says that the entry
// overlaps another, as unzip refuses such an archive; nothing is written for them.
TEST_F(ExtractionSafety, OverlappingItemsAreRefused) {
  const fs::path archive = Dir / "overlap.zip";
  ASSERT_EQ(0, RunPython("import struct,sys,zlib\n"
                         "data=bytes(10*1024*1024); c=zlib.compressobj(9,zlib.DEFLATED,-15); packed=c.compress(data)+c.flush()\n"
                         "crc=zlib.crc32(data)\n"
                         "def local(name): return struct.pack('<IHHHHHIIIHH',0x04034b50,20,0,8,0,0x5221,crc,len(packed),len(data),len(name),0)+name\n"
                         "def central(name,off): return struct.pack('<IHHHHHHIIIHHHHHII',0x02014b50,0x031e,20,0,8,0,0x5221,crc,len(packed),len(data),len(name),0,0,0,0,0o100644<<16,off)+name\n"
                         "out=local(b'kernel')+packed\n"
                         "alone=len(out); out+=local(b'alone.txt')+b'fine'\n"
                         "cd=b''.join(central(b'copy%02d.bin'%i,0) for i in range(50))\n"
                         "cd+=struct.pack('<IHHHHHHIIIHHHHHII',0x02014b50,0x031e,10,0,0,0,0x5221,zlib.crc32(b'fine'),4,4,9,0,0,0,0,0o100644<<16,alone)+b'alone.txt'\n"
                         "end=struct.pack('<IHHHHIIH',0x06054b50,0,0,51,51,len(cd),len(out),0)\n"
                         "open(sys.argv[1],'wb').write(out+cd+end)\n",
                         {archive.string()}));
  EXPECT_NE(0, Shell("unzip -tqq " + Quote(archive.string()) + " >/dev/null 2>&1"));  // the peer refuses it too
  const TEngineRun run = ExtractWithEngine(archive, Dir / "out");
  ASSERT_TRUE(run.Opened) << run.OpenMessage;
  EXPECT_EQ(50u, run.Failures.size());
  for (int code : run.FailureCodes) EXPECT_EQ(80, code);
  EXPECT_EQ(80, run.Result.LastErrorCode);
  EXPECT_EQ("ZipArchiver1: Entry \"copy49.bin\" overlaps another entry of the archive - Native error: 00080",
            run.Result.LastErrorMessage);
  EXPECT_EQ(std::vector<std::string>{"alone.txt"}, ListTree(Dir / "out"));
}

}  // namespace
