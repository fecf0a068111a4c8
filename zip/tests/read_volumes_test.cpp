// Sets of volumes on the reading side: the names of volume files, the naming found on disk, and a
// set with a volume missing.
#include <gtest/gtest.h>

#include <string>

#include "ZAVolumeNames.h"
#include "ZipEngineRun.h"
#include "ZipTestSupport.h"

namespace {

using namespace ziptest;

TEST(VolumeNames, EveryForm) {
  struct Case {
    zip::TZASpanningMode Mode;
    bool Advanced, Sfx, Own;
    const char* Name;
    int Volume;
    const char* Expected;
  };
  const Case cases[] = {
      {zip::smSplitting, false, false, false, "C:\\d\\arc.zip", 0, "C:\\d\\arc.z01"},
      {zip::smSplitting, false, false, false, "C:\\d\\arc.zip", 11, "C:\\d\\arc.z12"},
      {zip::smSplitting, false, false, false, "C:\\d\\arc.zip", -1, "C:\\d\\arc.zip"},
      {zip::smSplitting, true, false, false, "/d/arc.zip", 1, "/d/arc_002.zip"},
      {zip::smSplitting, true, false, false, "/d/arc.zip", 1234, "/d/arc_1235.zip"},
      {zip::smSplitting, false, true, false, "arc.exe", 0, "arc.exe"},
      {zip::smSplitting, false, true, false, "arc.exe", 1, "arc.z02"},
      {zip::smSplitting, false, true, false, "arc.exe", -1, "arc.zip"},
      {zip::smSplitting, false, true, true, "arc.exe", -1, "arc.ZA"},
      {zip::smSplitting, false, false, true, "arc.zip", 2, "arc.F03"},
      {zip::smSpanning, false, false, false, "A:\\arc.zip", 4, "A:\\arc.zip"},
      {zip::smSpanning, true, false, false, "A:\\arc.zip", 4, "A:\\arc_005.zip"},
      {zip::smSpanning, false, true, false, "A:\\arc.zip", 4, "A:\\arc.exe"},
      {zip::smNone, true, false, false, "arc.zip", 3, "arc.zip"},
  };
  for (const auto& c : cases) {
    zip::TZAVolumeNaming naming{c.Mode, c.Advanced, c.Sfx, c.Own};
    EXPECT_EQ(c.Expected, zip::MakeVolumeName(c.Name, c.Volume, naming, false, {})) << c.Name << " " << c.Volume;
  }
  // A spanned name that is not there gives way to the other form when that one is.
  const auto exists = [](const std::string& n) { return n == "A:\\arc.zip"; };
  EXPECT_EQ("A:\\arc.zip", zip::MakeVolumeName("A:\\arc.zip", 2, {zip::smSpanning, true, false, false}, true, exists));
  EXPECT_EQ("A:\\arc_003.zip",
            zip::MakeVolumeName("A:\\arc.zip", 2, {zip::smSpanning, true, false, false}, true, [](auto&) { return false; }));
}

class SplitSets : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeSampleTree(Dir / "src");
    Split = Dir / "set" / "arc.zip";
    fs::create_directories(Split.parent_path());
    ASSERT_EQ(0, Shell("cd " + Quote((Dir / "src").string()) + " && zip -q -r -s 256k " + Quote(Split.string()) + " ."));
  }
  TTempDir Dir;
  fs::path Split;
};

// Volumes named arc_001.zip, arc_002.zip, ... with the last one arc.zip are found too.
TEST_F(SplitSets, NumberedNamingFoundOnDisk) {
  for (int n = 1; fs::exists(Dir / "set" / ("arc.z" + std::string(n < 10 ? "0" : "") + std::to_string(n))); ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "arc_%03d.zip", n);
    fs::rename(Dir / "set" / ("arc.z" + std::string(n < 10 ? "0" : "") + std::to_string(n)), Dir / "set" / name);
  }
  ASSERT_TRUE(fs::exists(Dir / "set" / "arc_001.zip"));
  const TEngineRun run = ExtractWithEngine(Split, Dir / "out");
  ASSERT_TRUE(run.Opened) << run.OpenMessage;
  EXPECT_TRUE(run.Result.Succeeded()) << (run.Failures.empty() ? "" : run.Failures[0]);
  EXPECT_EQ("", CompareTrees(Dir / "src", Dir / "out"));
}

// A missing volume cancels the requests for it (code 45): the items on it fail, the others come.
TEST_F(SplitSets, MissingVolumeFailsItsItemsOnly) {
  // Not the volume before the last: without that one the set reads as one spanned over disks.
  ASSERT_TRUE(fs::exists(Dir / "set" / "arc.z03"));
  fs::remove(Dir / "set" / "arc.z01");
  const TEngineRun run = ExtractWithEngine(Split, Dir / "out");
  ASSERT_TRUE(run.Opened) << run.OpenMessage;
  EXPECT_FALSE(run.Failures.empty());
  for (int code : run.FailureCodes) EXPECT_TRUE(code == 45 || code == 8) << code;
  EXPECT_EQ(45, run.FailureCodes.front());
  EXPECT_GT(run.Result.Processed, 0);
  EXPECT_EQ(run.Result.Failed, static_cast<int>(run.Failures.size()));
  // Whatever came out is whole.
  for (const auto& name : ListTree(Dir / "out")) {
    if (name.back() != '/') {
      EXPECT_EQ(ReadBytes(Dir / "src" / name), ReadBytes(Dir / "out" / name)) << name;
    }
  }
}

// A volume handler that answers with no name (and no cancel) names no volume: the request fails
// with code 45, as a cancelled one, and nothing is read from the wrong volume or from none.
TEST_F(SplitSets, EmptyVolumeNameFailsTheRequest) {
  int questions = 0;
  const TEngineRun run = ExtractWithEngine(Split, Dir / "out", [&](zip::TZipArchiver& a) {
    a.OnRequestFirstVolume = [&](auto*, std::string& name, bool& cancel) {
      ++questions;
      name.clear();
      cancel = false;
    };
    a.OnRequestMiddleVolume = [&](auto*, int, std::string& name, bool& cancel) {
      ++questions;
      name.clear();
      cancel = false;
    };
  });
  EXPECT_GT(questions, 0);
  if (run.Opened) {
    ASSERT_FALSE(run.FailureCodes.empty());
    for (int code : run.FailureCodes) EXPECT_EQ(45, code);
  } else {
    EXPECT_EQ(45, run.OpenCode) << run.OpenMessage;
  }
  for (const auto& name : ListTree(Dir / "out")) {
    if (name.back() != '/') {
      EXPECT_EQ(ReadBytes(Dir / "src" / name), ReadBytes(Dir / "out" / name)) << name;
    }
  }
}

}  // namespace
