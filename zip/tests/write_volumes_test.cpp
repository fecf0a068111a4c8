// Sets of volumes as the engine writes them: names, limits, headers kept on one volume, the
// self-extractor stub, and the refusals that keep a write from running forever or filling a disk.
#include <gtest/gtest.h>

#include <string>

#include "ZADirManager.h"
#include "ZAPlatform.h"
#include "ZipEngineRun.h"
#include "ZipWriteSupport.h"

namespace {

using namespace ziptest;

struct VolumeCase {
  const char* Name;
  zip::TZASpanningMode Mode;
  bool AdvancedNaming;
  const char* Archive;
  bool Sfx;
  std::vector<std::string> Volumes;  // the files of the set, sorted
};

const VolumeCase VolumeCases[] = {
    {"split_plain_names", zip::smSplitting, false, "arc.zip", false, {"arc.z01", "arc.z02", "arc.zip"}},
    {"split_advanced_names", zip::smSplitting, true, "arc.zip", false,
     {"arc.zip", "arc_001.zip", "arc_002.zip"}},
    {"split_sfx", zip::smSplitting, false, "arc.exe", true, {"arc.exe", "arc.z02", "arc.zip"}},
    {"spanned_advanced_names", zip::smSpanning, true, "arc.zip", false,
     {"arc.zip", "arc_001.zip", "arc_002.zip"}},
};

class WrittenSets : public ::testing::TestWithParam<VolumeCase> {};

TEST_P(WrittenSets, NamesLimitsAndHeadersOnOneVolume) {
  const VolumeCase& c = GetParam();
  TTempDir dir;
  fs::create_directories(dir / "src");
  for (int i = 0; i < 12; ++i) WriteBytes(dir / "src" / ("f" + std::to_string(i) + ".bin"), RandomBytes(14000 + i * 13, i));
  WriteBytes(dir / "stub.bin", RandomBytes(5000, 99));
  StampTimes(dir / "src");
  const fs::path set = dir / "set";
  fs::create_directories(set);
  const std::int64_t limit = 65536;
  std::vector<std::string> blank;
  const auto result = WriteWithEngine(
      set / c.Archive, true, [&](zip::TZipArchiver& a) { a.AddFiles("*"); },
      [&](zip::TZipArchiver& a) {
        a.BaseDir = EngineName(dir / "src");
        a.SetCompressionMode(6);
        a.SetSpanningMode(c.Mode);
        a.SpanningOptions().AdvancedNaming = c.AdvancedNaming;
        a.SpanningOptions().VolumeSize = zip::vsCustom;
        a.SpanningOptions().SetCustomVolumeSize(limit);
        if (c.Sfx) a.SFXStub = EngineName(dir / "stub.bin");
        a.OnRequestBlankVolume = [&](auto*, int number, std::string& name, bool& cancel) {
          blank.push_back(std::to_string(number) + " " + fs::path(name).filename().string());
          cancel = false;
        };
      });
  ASSERT_TRUE(result.Succeeded()) << result.Message;
  EXPECT_EQ(c.Volumes, ListTree(set));
  EXPECT_FALSE(blank.empty());
  EXPECT_EQ(0u, blank.front().rfind("1 ", 0)) << blank.front();  // events count volumes from 1
  for (const auto& n : c.Volumes) EXPECT_LE(fs::file_size(set / n), static_cast<std::uintmax_t>(limit)) << n;
  if (c.Sfx) {
    const auto first = ReadBytes(set / "arc.exe");
    const auto stub = ReadBytes(dir / "stub.bin");
    EXPECT_TRUE(std::equal(stub.begin(), stub.end(), first.begin()));
  }
  // Every local header with its name lies whole on the volume its entry names.
  zip::TZipArchiver a;
  TWriteRun run;
  PrepareArchiver(a, run);
  a.FileName = EngineName(set / c.Archive);
  if (c.Mode == zip::smSpanning) a.SetSpanningMode(zip::smSpanning);
  a.OpenArchive(zip::fmOpenReadDenyWrite);
  ASSERT_EQ(12, a.ItemCount());
  for (std::int32_t i = 0; i < a.ItemCount(); ++i) {
    const zip::TDirItem& e = a.CentralDir()->ItemRef(i);
    std::string volume = a.FileName;
    const bool last = e.DiskNumberStart == a.FDirManager->EndRecord.DiskNumber;
    a.MakeVolumeFileName(volume, last ? -1 : e.DiskNumberStart, false);
    const auto size = fs::file_size(zip::platform::ToFileSystemPath(volume));
    EXPECT_LE(e.LocalHeaderOffset + 30 + e.NameLength, size) << e.Name << " on " << volume;
  }
  a.CloseArchive();
  const TEngineRun back = ExtractWithEngine(set / c.Archive, dir / "out", [&](zip::TZipArchiver& r) {
    if (c.Mode == zip::smSpanning) r.SetSpanningMode(zip::smSpanning);
  });
  ASSERT_TRUE(back.Opened) << back.OpenMessage;
  EXPECT_TRUE(back.Result.Succeeded());
  EXPECT_EQ("", CompareTrees(dir / "src", dir / "out"));
}

INSTANTIATE_TEST_SUITE_P(Cases, WrittenSets, ::testing::ValuesIn(VolumeCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// The end record stays within the volume limit: one stored file whose data and central header end
// the first volume just before, at, or after the point where the end record still fits.
TEST(WrittenSetEnds, EndRecordStaysWithinTheLimit) {
  const std::int64_t limit = 65536;
  // Local header and name (30 + 5), data, central header and name (46 + 5): 65450 bytes of data
  // fill the volume exactly.
  for (const std::size_t size : {65420u, 65429u, 65430u, 65440u, 65450u}) {
    SCOPED_TRACE(size);
    TTempDir dir;
    fs::create_directories(dir / "src");
    WriteBytes(dir / "src" / "f.bin", RandomBytes(size, 7));
    StampTimes(dir / "src");
    const fs::path set = dir / "set";
    fs::create_directories(set);
    const auto result = WriteWithEngine(
        set / "arc.zip", true, [&](zip::TZipArchiver& a) { a.AddFiles("*"); },
        [&](zip::TZipArchiver& a) {
          a.BaseDir = EngineName(dir / "src");
          a.SetCompressionMode(0);
          a.SetSpanningMode(zip::smSplitting);
          a.SpanningOptions().AdvancedNaming = false;
          a.SpanningOptions().VolumeSize = zip::vsCustom;
          a.SpanningOptions().SetCustomVolumeSize(limit);
        });
    ASSERT_TRUE(result.Succeeded()) << result.Message;
    for (const auto& n : ListTree(set)) EXPECT_LE(fs::file_size(set / n), static_cast<std::uintmax_t>(limit)) << n;
    EXPECT_EQ(0, Shell("cd " + Quote(set.string()) + " && 7zz t -bso0 -bsp0 arc.zip"));
    ASSERT_EQ(0, Shell("cd " + Quote(set.string()) + " && zip -q -s 0 arc.zip --out " +
                       Quote((dir / "joined.zip").string()) + " </dev/null"));
    EXPECT_EQ("", PeerCheck(dir / "joined.zip"));
    const TEngineRun back = ExtractWithEngine(set / "arc.zip", dir / "out");
    ASSERT_TRUE(back.Opened) << back.OpenMessage;
    EXPECT_TRUE(back.Result.Succeeded());
    EXPECT_EQ("", CompareTrees(dir / "src", dir / "out"));
  }
}

TEST(WrittenSetRefusals, AutoDetectOnAFixedDiskStubTooLargeAndPiecesThatFitNowhere) {
  TTempDir dir;
  const auto split = [&](zip::TZipArchiver& a, zip::TZAVolumeSize size) {
    a.SetSpanningMode(zip::smSplitting);
    a.SpanningOptions().VolumeSize = size;
    a.SpanningOptions().SetCustomVolumeSize(65536);
  };
  // A limit of -1 would fill the disk: refused before anything is written.
  {
    zip::TZipArchiver a;
    split(a, zip::vsAutoDetect);
    a.FileName = EngineName(dir / "auto.zip");
    try {
      a.OpenArchive(zip::ZAFileModeCreate);
      FAIL();
    } catch (const zip::EZAException& e) {
      EXPECT_EQ(71, e.NativeError);
    }
    EXPECT_FALSE(a.IsOpen());
  }
  // A stub larger than the first volume.
  {
    WriteBytes(dir / "stub.bin", RandomBytes(70000, 1));
    zip::TZipArchiver a;
    split(a, zip::vsCustom);
    a.SFXStub = EngineName(dir / "stub.bin");
    a.FileName = EngineName(dir / "sfx.exe");
    try {
      a.OpenArchive(zip::ZAFileModeCreate);
      FAIL();
    } catch (const zip::EZAException& e) {
      EXPECT_EQ(47, e.NativeError);
    }
  }
  // A central header whose name and extra field cannot fit even an empty volume: code 46, and the
  // set is rolled back to an empty archive instead of asking for volumes forever.
  {
    const fs::path set = dir / "set";
    fs::create_directories(set);
    zip::TZipArchiver a;
    TWriteRun run;
    PrepareArchiver(a, run);
    split(a, zip::vsCustom);
    a.FileName = EngineName(set / "arc.zip");
    a.OpenArchive(zip::ZAFileModeCreate);
    a.BeginUpdate();
    a.AddFromStream("a.bin", std::make_shared<zip::TZAMemoryStream>(RandomBytes(100000, 2)));
    a.AddFromStream(std::string(900, 'n'), std::make_shared<zip::TZAMemoryStream>(RandomBytes(10, 3)));
    zip::TExtraField big{0x6666, 65000, std::vector<std::uint8_t>(65000, 7)};
    a.CentralDir()->ItemRef(1).ExtraFields = {big};
    try {
      a.EndUpdate();
      FAIL();
    } catch (const zip::EZAException& e) {
      EXPECT_EQ(46, e.NativeError);
    }
    EXPECT_EQ(zip::TZACommitState::RolledBack, a.LastCommitResult().State);
    a.CloseArchive();
    EXPECT_EQ(std::vector<std::string>{"arc.zip"}, ListTree(set));
    EXPECT_EQ(0u, ListWithEngine(set / "arc.zip").size());
  }
  // A copy whose source ends early does not wait for the missing bytes.
  {
    zip::TZipArchiver a;
    zip::TZAMemoryStream source(RandomBytes(100, 4));
    zip::TZAMemoryStream target;
    zip::TZAStream* out = &target;
    zip::TZAVolumeNumberInfo info;
    info.SetNumber(0);
    bool cancel = false;
    try {
      a.CopyToVolumes(source, out, false, nullptr, -1, 200, cancel, info);
      FAIL();
    } catch (const zip::EZAException& e) {
      EXPECT_EQ(46, e.NativeError);
    }
  }
}

TEST(WrittenSetCopy, ProgressOfAMillionByteBuffer) {
  zip::TZipArchiver a;
  std::vector<std::string> events;
  a.OnCopyTempFileProgress = [&](auto*, double progress, zip::TZAProgressPhase phase, bool&) {
    events.push_back(std::to_string(static_cast<int>(phase)) + ":" + std::to_string(static_cast<int>(progress)));
  };
  zip::TZAMemoryStream source(RandomBytes(2500000, 5));
  zip::TZAMemoryStream target;
  zip::TZAStream* out = &target;
  zip::TZAVolumeNumberInfo info;
  info.SetNumber(0);
  bool cancel = false;
  a.CopyToVolumes(source, out, true, nullptr, -1, -1, cancel, info);
  EXPECT_EQ((std::vector<std::string>{"0:0", "1:40", "1:80", "1:100", "2:100"}), events);
  EXPECT_EQ(source.Data(), target.Data());
}

// The Zip64 records of a set carry its real disk numbers and count, so that readers find the
// directory's volume: a split set of more than 65535 entries.
TEST(WrittenSetZip64, RecordsCarryTheDisks) {
  TTempDir dir;
  const fs::path set = dir / "set";
  fs::create_directories(set);
  auto empty = std::make_shared<zip::TZAMemoryStream>();
  const auto result = WriteWithEngine(
      set / "arc.zip", true,
      [&](zip::TZipArchiver& a) {
        for (int i = 0; i < 66000; ++i) a.AddFromStream("e" + std::to_string(i), empty);
      },
      [&](zip::TZipArchiver& a) {
        a.SetSpanningMode(zip::smSplitting);
        a.SpanningOptions().AdvancedNaming = false;
        a.SpanningOptions().VolumeSize = zip::vsCustom;
        a.SpanningOptions().SetCustomVolumeSize(1000000);
      });
  ASSERT_TRUE(result.Succeeded()) << result.Message;
  const auto volumes = ListTree(set);
  ASSERT_GE(volumes.size(), 3u);
  const auto last = ReadBytes(set / "arc.zip");
  const std::uint8_t* locator = last.data() + last.size() - 22 - 20;
  ASSERT_EQ(zip::sigZip64Locator, zip::GetU32(locator));
  EXPECT_EQ(volumes.size() - 1, zip::GetU32(locator + 4));  // the disk with the Zip64 end record
  EXPECT_EQ(volumes.size(), zip::GetU32(locator + 16));     // the number of disks
  EXPECT_EQ(66000u, ListWithEngine(set / "arc.zip").size());
  for (const auto& n : volumes) {
    if (n.rfind("arc.Z", 0) == 0) fs::create_symlink(n, set / ("arc.z" + n.substr(5)));
  }
  ASSERT_EQ(0, Shell("cd " + Quote(set.string()) + " && zip -q -s 0 arc.zip --out " + Quote((dir / "joined.zip").string()) +
                     " </dev/null"));
  EXPECT_EQ("", PeerCheck(dir / "joined.zip", "", {"zip", "7z"}));
}

}  // namespace
