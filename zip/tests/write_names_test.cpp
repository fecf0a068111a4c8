// Names as the engine stores them: characters outside Windows-1252, renames, and the stored bytes
// of unchanged entries, checked by unzip and Python (which compares local and central names).
#include <gtest/gtest.h>

#include <string>

#include "ZipEngineRun.h"
#include "ZipWriteSupport.h"

namespace {

using namespace ziptest;

TEST(StoredNames, CharactersOutsideTheCodePageGoAsUtf8) {
  TTempDir dir;
  const fs::path src = dir / "src";
  fs::create_directories(src / "\xE6\x97\xA5\xE6\x9C\xAC");  // 日本
  WriteBytes(src / "\xE6\x97\xA5\xE6\x9C\xAC" / "\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB.txt", TextBytes(100, 1));
  WriteBytes(src / "\xCE\xA9mega.txt", TextBytes(200, 2));  // Ωmega
  WriteBytes(src / "caf\xC3\xA9.txt", TextBytes(300, 3));   // café
  WriteBytes(src / "plain.txt", TextBytes(400, 4));
  StampTimes(src);
  const fs::path archive = dir / "names.zip";
  const auto result = WriteWithEngine(
      archive, true, [&](zip::TZipArchiver& a) { a.AddFiles("*"); },
      [&](zip::TZipArchiver& a) { a.BaseDir = EngineName(src); });
  ASSERT_TRUE(result.Succeeded()) << result.Message;
  EXPECT_EQ("", PeerCheck(archive));
  const std::string listing = PythonListing(archive);
  for (const char* name : {"\xE6\x97\xA5\xE6\x9C\xAC/\xE3\x83\x95\xE3\x82\xA1\xE3\x82\xA4\xE3\x83\xAB.txt 100",
                           "\xCE\xA9mega.txt 200", "caf\xC3\xA9.txt 300", "plain.txt 400"}) {
    EXPECT_NE(std::string::npos, listing.find(name)) << listing;
  }
  ASSERT_EQ(0, Shell("unzip -qq " + Quote(archive.string()) + " -d " + Quote((dir / "out").string())));
  EXPECT_EQ("", CompareTrees(src, dir / "out"));
}

TEST(StoredNames, RenamesKeepLocalAndCentralNamesEqual) {
  struct Row {
    const char* What;
    bool MadeByZip;     // else by the engine from streams
    const char* From;
    const char* To;     // the name given to the engine (UTF-8)
    const char* Shown;  // the name Python reads
  };
  const Row rows[] = {
      {"zip archive, plain name", true, "a.txt", "b.txt", "b.txt"},
      {"zip archive, accented name", true, "a.txt", "\xC3\xA9t\xC3\xA9.txt", "\xC3\xA9t\xC3\xA9.txt"},
      {"engine archive, accented name", false, "a.txt", "\xC3\xA9t\xC3\xA9.txt", "\xC3\xA9t\xC3\xA9.txt"},
      {"into a folder", false, "a.txt", "sub/deeper/a.txt", "sub/deeper/a.txt"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.What);
    TTempDir dir;
    const fs::path archive = dir / "a.zip";
    if (r.MadeByZip) {
      fs::create_directories(dir / "src");
      WriteBytes(dir / "src" / "a.txt", TextBytes(1000, 1));
      WriteBytes(dir / "src" / "caf\xC3\xA9 after.txt", TextBytes(1000, 2));
      ASSERT_EQ(0, Shell("cd " + Quote((dir / "src").string()) + " && zip -q " + Quote(archive.string()) + " *"));
    } else {
      const auto made = WriteWithEngine(archive, true, [&](zip::TZipArchiver& a) {
        a.AddFromStream("a.txt", std::make_shared<zip::TZAMemoryStream>(TextBytes(1000, 1)));
        a.AddFromStream("caf\xC3\xA9 after.txt", std::make_shared<zip::TZAMemoryStream>(TextBytes(1000, 2)));
      });
      ASSERT_TRUE(made.Succeeded());
    }
    // The entry that stays as it was reads the same before and after (zip's name bytes are kept).
    const std::string before = PythonListing(archive);
    const std::string kept = before.substr(before.find('\n') + 1);
    const auto result = WriteWithEngine(archive, false, [&](zip::TZipArchiver& a) { a.RenameItem(r.From, r.To); });
    ASSERT_TRUE(result.Succeeded()) << result.Message;
    EXPECT_EQ("", PeerCheck(archive));
    const std::string listing = PythonListing(archive);
    EXPECT_NE(std::string::npos, listing.find(std::string(r.Shown) + " 1000")) << listing;
    EXPECT_NE(std::string::npos, listing.find(kept)) << listing << " / " << kept;
    const auto names = ListWithEngine(archive);
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), r.To));
  }
}

// What a folder may hold besides files: pipes and dangling links are left out (a pipe would block
// the commit), odd names are stored as they are.
TEST(StoredNames, HostileFolderContents) {
  TTempDir dir;
  const fs::path src = dir / "src";
  fs::create_directories(src / "deep" / std::string(200, 'd') / std::string(200, 'e'));
  WriteBytes(src / "-dash.txt", TextBytes(10, 1));
  WriteBytes(src / "new\nline.txt", TextBytes(20, 2));
  WriteBytes(src / "deep" / std::string(200, 'd') / std::string(200, 'e') / "leaf.txt", TextBytes(30, 3));
  ASSERT_EQ(0, Shell("mkfifo " + Quote((src / "pipe").string())));
  fs::create_symlink(dir / "missing", src / "dangling");
  const fs::path archive = dir / "odd.zip";
  const auto result = WriteWithEngine(
      archive, true, [&](zip::TZipArchiver& a) { a.AddFiles("*"); },
      [&](zip::TZipArchiver& a) { a.BaseDir = EngineName(src); });
  ASSERT_TRUE(result.Succeeded()) << result.Message;
  EXPECT_EQ(0, result.Ignored);
  const std::string listing = PythonListing(archive);
  EXPECT_NE(std::string::npos, listing.find("-dash.txt 10")) << listing;
  EXPECT_NE(std::string::npos, listing.find("new\nline.txt 20")) << listing;
  EXPECT_NE(std::string::npos, listing.find("/leaf.txt 30")) << listing;
  EXPECT_EQ(std::string::npos, listing.find("pipe")) << listing;
  EXPECT_EQ(std::string::npos, listing.find("dangling")) << listing;
  EXPECT_EQ("", PeerCheck(archive));
}

}  // namespace
