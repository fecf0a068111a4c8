// Encrypted items from Info-ZIP (zip -P) and 7-Zip (ZipCrypto): the right password, a wrong one
// mended at the question, and the question answered by skipping.
#include <gtest/gtest.h>

#include <string>

#include "ZipEngineRun.h"
#include "ZipTestSupport.h"

namespace {

using namespace ziptest;

struct Maker {
  const char* Name;
  const char* Command;  // in the source folder; ARCH is the archive
};

class EncryptedArchive : public ::testing::TestWithParam<Maker> {
 protected:
  void SetUp() override {
    fs::create_directories(Dir / "src" / "sub");
    WriteBytes(Dir / "src" / "a.txt", TextBytes(20000, 1));
    WriteBytes(Dir / "src" / "sub" / "b.bin", RandomBytes(1500000, 2));
    WriteBytes(Dir / "src" / "empty.txt", {});
    StampTimes(Dir / "src");
    Archive = Dir / "enc.zip";
    // A wrong password passes an item's one-byte header check once in 256: that item is then
    // decrypted into garbage and fails its CRC instead of being asked about. The makers draw each
    // header at random, so an archive that lets one of the wrong passwords below through is made
    // again.
    for (int draw = 0; draw < 8; ++draw) {
      MakeArchive();
      if (!PassesAHeaderCheck("wrong") && !PassesAHeaderCheck("still wrong")) break;
    }
    ASSERT_EQ(0, Shell("unzip -qq -P 's3cr3t pass' " + Quote(Archive.string()) + " -d " + Quote((Dir / "ref").string())));
  }
  // The makers draw each item's encryption header at random.
  void MakeArchive() {
    fs::remove(Archive);
    std::string command = GetParam().Command;
    command.replace(command.find("ARCH"), 4, Quote(Archive.string()));
    ASSERT_EQ(0, Shell("cd " + Quote((Dir / "src").string()) + " && " + command));
  }
  // Whether a wrong password gets past the header of an item (that item then fails).
  bool PassesAHeaderCheck(const std::string& password) {
    const TEngineRun run = ExtractWithEngine(Archive, Dir / "probe", [&](zip::TZipArchiver& a) {
      a.Password = password;
      a.OnPassword = [](auto*, const std::string&, std::string&, bool& skip) { skip = true; };
    });
    fs::remove_all(Dir / "probe");
    return !run.Failures.empty();
  }
  TTempDir Dir;
  fs::path Archive;
};

TEST_P(EncryptedArchive, RightPasswordExtractsLikeUnzip) {
  const TEngineRun run = ExtractWithEngine(Archive, Dir / "out", [](zip::TZipArchiver& a) {
    a.Password = "s3cr3t pass";
    a.OnPassword = [](auto*, const std::string& name, std::string&, bool&) { ADD_FAILURE() << "asked for " << name; };
  });
  EXPECT_TRUE(run.Failures.empty());
  EXPECT_TRUE(run.Result.Succeeded());
  EXPECT_EQ("", CompareTrees(Dir / "ref", Dir / "out"));
}

TEST_P(EncryptedArchive, WrongPasswordMendedAtTheQuestion) {
  int asked = 0;
  std::string finalPassword;
  const TEngineRun run = ExtractWithEngine(Archive, Dir / "out", [&](zip::TZipArchiver& a) {
    a.Password = "wrong";
    a.OnPassword = [&](auto*, const std::string&, std::string& password, bool& skip) {
      EXPECT_EQ(asked == 0 ? "wrong" : "still wrong", password);
      password = asked == 0 ? "still wrong" : "s3cr3t pass";
      skip = false;
      ++asked;
    };
    a.OnOverallProgress = [&](auto* sender, double, zip::TZAProcessOperation, zip::TZAProgressPhase phase, bool&) {
      if (phase == zip::ppEnd) finalPassword = static_cast<zip::TZipArchiver*>(sender)->Password;
    };
  });
  // Asked twice for the first encrypted item; the password then stays for the others.
  EXPECT_EQ(2, asked);
  EXPECT_EQ("s3cr3t pass", finalPassword);
  EXPECT_TRUE(run.Failures.empty());
  EXPECT_EQ("", CompareTrees(Dir / "ref", Dir / "out"));
}

TEST_P(EncryptedArchive, SkippedQuestionLeavesTheItemsOut) {
  int asked = 0;
  const TEngineRun run = ExtractWithEngine(Archive, Dir / "out", [&](zip::TZipArchiver& a) {
    a.Password = "wrong";
    a.OnPassword = [&](auto*, const std::string&, std::string&, bool& skip) {
      skip = true;
      ++asked;
    };
  });
  EXPECT_TRUE(run.Failures.empty()) << run.Failures.front();
  // Every encrypted item was asked about and skipped; nothing of them is on disk.
  EXPECT_EQ(asked, run.Result.Skipped);
  EXPECT_GE(asked, 2);
  for (const auto& name : ListTree(Dir / "out")) {
    EXPECT_TRUE(name.back() == '/' || name == "empty.txt") << name;
  }
}

const Maker Makers[] = {
    {"InfoZip", "zip -q -r -P 's3cr3t pass' ARCH ."},
    {"SevenZipZipCrypto", "7zz a -tzip -bd -bso0 '-ps3cr3t pass' -mem=ZipCrypto ARCH ."},
};
INSTANTIATE_TEST_SUITE_P(Makers, EncryptedArchive, ::testing::ValuesIn(Makers),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
