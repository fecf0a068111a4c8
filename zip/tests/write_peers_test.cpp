// Archives written by the engine, checked by the real peers (unzip -t, zip -T, 7-Zip, Python's
// zipfile) and extracted by unzip: the same bytes, dates and modes as the tree they were made of.
#include <gtest/gtest.h>

#include <string>

#include "SampleTreeSuite.h"
#include "ZAModes.h"
#include "ZipEngineRun.h"
#include "ZipWriteSupport.h"

namespace {

using namespace ziptest;

struct WriteCase {
  const char* Name;
  int Level;
  const char* Password;
  zip::TZip64Mode Zip64;
  bool Sfx;
};

const WriteCase WriteCases[] = {
    {"stored", 0, "", zip::zmDisabled, false},
    {"deflate_fastest", 1, "", zip::zmDisabled, false},
    {"deflate_normal", 6, "", zip::zmDisabled, false},
    {"deflate_best", 9, "", zip::zmDisabled, false},
    {"encrypted_deflate", 6, "pass-word", zip::zmDisabled, false},
    {"encrypted_stored", 0, "pass-word", zip::zmDisabled, false},
    {"zip64_always", 6, "", zip::zmAlways, false},
    {"zip64_always_encrypted", 1, "pass-word", zip::zmAlways, false},
    {"sfx_stub", 6, "", zip::zmDisabled, true},
};

class WrittenArchives : public SampleTreeSuite, public ::testing::WithParamInterface<WriteCase> {
 protected:
  TTempDir Dir;
};

TEST_P(WrittenArchives, PassEveryPeerAndExtractLikeTheTree) {
  const WriteCase& c = GetParam();
  const fs::path archive = Dir / "out.zip";
  if (c.Sfx) WriteBytes(Dir / "stub.bin", RandomBytes(30000, 9));
  const auto result = WriteWithEngine(
      archive, true, [&](zip::TZipArchiver& a) { a.AddFiles("*"); },
      [&](zip::TZipArchiver& a) {
        a.BaseDir = EngineName(Source());
        a.SetCompressionMode(c.Level);
        a.Password = c.Password;
        a.Zip64Mode = c.Zip64;
        if (c.Sfx) a.SFXStub = EngineName(Dir / "stub.bin");
      });
  ASSERT_TRUE(result.Succeeded()) << result.Message;
  EXPECT_EQ("", PeerCheck(archive, c.Password));
  if (c.Sfx) {
    const auto bytes = ReadBytes(archive);
    const auto stub = ReadBytes(Dir / "stub.bin");
    ASSERT_GE(bytes.size(), stub.size());
    EXPECT_TRUE(std::equal(stub.begin(), stub.end(), bytes.begin()));
  }
  const std::string pw = *c.Password ? " -P " + Quote(c.Password) : "";
  ASSERT_EQ(0, Shell("unzip -qq" + pw + " " + Quote(archive.string()) + " -d " + Quote((Dir / "unzipped").string())));
  EXPECT_EQ("", CompareTrees(Source(), Dir / "unzipped"));
  // Our own reader takes back what it wrote.
  const TEngineRun run = ExtractWithEngine(archive, Dir / "engine", [&](zip::TZipArchiver& a) {
    a.Password = c.Password;
  });
  ASSERT_TRUE(run.Opened) << run.OpenMessage;
  EXPECT_TRUE(run.Result.Succeeded());
  EXPECT_EQ("", CompareTrees(Source(), Dir / "engine"));
}

INSTANTIATE_TEST_SUITE_P(Cases, WrittenArchives, ::testing::ValuesIn(WriteCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// Files at the chunk boundaries of each compression mode, empty files and folders alone.
TEST(WrittenItems, ChunkBoundariesEmptyFilesAndFolders) {
  struct ModeCase {
    int Mode;
    const char* Password;
  };
  for (const ModeCase c : {ModeCase{0, ""}, ModeCase{1, ""}, ModeCase{6, ""}, ModeCase{9, ""}, ModeCase{6, "pw"},
                           ModeCase{0, "pw"}}) {
    SCOPED_TRACE(std::to_string(c.Mode) + " " + c.Password);
    TTempDir dir;
    const fs::path src = dir / "src";
    fs::create_directories(src / "only-folder" / "inner");
    WriteBytes(src / "empty.txt", {});
    // The chunks of the mode (stored items read 1 MiB at a time).
    const std::size_t chunk = zip::BufferSizeForMode(c.Mode);
    WriteBytes(src / "one-chunk.txt", TextBytes(chunk, 1));
    WriteBytes(src / "chunk-and-one.txt", TextBytes(chunk + 1, 2));
    WriteBytes(src / "several.bin", RandomBytes(2 * chunk + 100, 3));
    StampTimes(src);
    const fs::path archive = dir / "out.zip";
    const auto result = WriteWithEngine(
        archive, true, [&](zip::TZipArchiver& a) { a.AddFiles("*"); },
        [&](zip::TZipArchiver& a) {
          a.BaseDir = EngineName(src);
          a.SetCompressionMode(c.Mode);
          a.Password = c.Password;
        });
    ASSERT_TRUE(result.Succeeded()) << result.Message;
    EXPECT_EQ("", PeerCheck(archive, c.Password));
    const std::string pw = *c.Password ? std::string(" -P ") + c.Password : "";
    ASSERT_EQ(0, Shell("unzip -qq" + pw + " " + Quote(archive.string()) + " -d " + Quote((dir / "out").string())));
    EXPECT_EQ("", CompareTrees(src, dir / "out"));
    // The empty file is stored (method 0) with CRC 0.
    const std::string listing = PythonListing(archive);
    EXPECT_NE(std::string::npos, listing.find("empty.txt 0 00000000 0 ")) << listing;
  }
}

// A split set, named as Info-ZIP and 7-Zip look for its volumes on a case-sensitive file system
// (arc.z01, ...): 7-Zip tests the set as it stands, zip joins it, and unzip and Python check the
// joined archive; our reader opens the set, whatever the letter case of its volume names.
TEST(WrittenVolumes, SplitSetJoinedByZipPassesThePeers) {
  TTempDir dir;
  MakeSampleTree(dir / "src");
  const fs::path archive = dir / "set" / "arc.zip";
  fs::create_directories(archive.parent_path());
  const auto result = WriteWithEngine(
      archive, true, [&](zip::TZipArchiver& a) { a.AddFiles("*"); },
      [&](zip::TZipArchiver& a) {
        a.BaseDir = EngineName(dir / "src");
        a.SetCompressionMode(6);
        a.SetSpanningMode(zip::smSplitting);
        a.SpanningOptions().AdvancedNaming = false;
        a.SpanningOptions().VolumeSize = zip::vsCustom;
        a.SpanningOptions().SetCustomVolumeSize(300000);
      });
  ASSERT_TRUE(result.Succeeded()) << result.Message;
  const auto names = ListTree(archive.parent_path());
  ASSERT_GE(names.size(), 3u);
  EXPECT_EQ("arc.z01", names[0]);
  EXPECT_EQ("arc.zip", names.back());
  for (const auto& n : names) {
    if (n != "arc.zip") {
      EXPECT_LE(fs::file_size(archive.parent_path() / n), 300000u) << n;
    }
  }
  EXPECT_EQ(0, Shell("cd " + Quote(archive.parent_path().string()) + " && 7zz t -bso0 -bsp0 arc.zip"));
  const fs::path joined = dir / "joined.zip";
  ASSERT_EQ(0, Shell("cd " + Quote(archive.parent_path().string()) + " && zip -q -s 0 arc.zip --out " +
                     Quote(joined.string()) + " </dev/null"));
  EXPECT_EQ("", PeerCheck(joined));
  ASSERT_EQ(0, Shell("unzip -qq " + Quote(joined.string()) + " -d " + Quote((dir / "unzipped").string())));
  EXPECT_EQ("", CompareTrees(dir / "src", dir / "unzipped"));
  const TEngineRun run = ExtractWithEngine(archive, dir / "engine");
  ASSERT_TRUE(run.Opened) << run.OpenMessage;
  EXPECT_TRUE(run.Result.Succeeded());
  EXPECT_EQ("", CompareTrees(dir / "src", dir / "engine"));
  // The same set with upper-case volume names, as other tools write them.
  for (const auto& n : names) {
    if (n != "arc.zip") fs::rename(archive.parent_path() / n, archive.parent_path() / ("arc.Z" + n.substr(5)));
  }
  const TEngineRun upper = ExtractWithEngine(archive, dir / "upper");
  ASSERT_TRUE(upper.Opened) << upper.OpenMessage;
  EXPECT_TRUE(upper.Result.Succeeded());
  EXPECT_EQ("", CompareTrees(dir / "src", dir / "upper"));
}

}  // namespace
