// The friends list files on disk, in a temporary folder.
#include "friends_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using client::ReadFriendsFile;
using client::WriteFriendsFile;
using Entries = std::vector<std::string>;

class FriendsFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/friends-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = (dir_ / "base.ami").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  void WriteBytes(const std::string& bytes) { std::ofstream(path_, std::ios::binary) << bytes; }
  std::string ReadBytes() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(FriendsFilesTest, ReadsOneEntryPerLineWhateverTheLineEnds) {
  struct Case {
    std::string bytes;
    Entries entries;
  };
  const Case cases[] = {
      {"", {}},
      {"a@b.fr\r\n", {"a@b.fr"}},
      {"a@b.fr\r\n@c.fr\r\n", {"a@b.fr", "@c.fr"}},
      {"a\nb\rc\r\nd", {"a", "b", "c", "d"}},        // LF, CR, CR LF; the last line without an end
      {"a\r\n\r\nb\r\n", {"a", "", "b"}},            // an empty line is an empty entry
      {"\r\n", {""}},
      {"\n\r", {"", ""}},                            // LF then CR: two line ends
      {"caf\xE9\r\n", {"caf\xC3\xA9"}},              // Windows-1252 on disk, UTF-8 here
      {std::string("a\0b\r\n", 5), {std::string("a\0b", 3)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.bytes));
    WriteBytes(c.bytes);
    const auto entries = ReadFriendsFile(path_);
    ASSERT_TRUE(entries.has_value());
    EXPECT_EQ(*entries, c.entries);
  }
}

TEST_F(FriendsFilesTest, AMissingFileReadsAsNothing) { EXPECT_FALSE(ReadFriendsFile(path_).has_value()); }

TEST_F(FriendsFilesTest, AFolderInPlaceOfTheFileIsAnInputOutputError) {
  fs::create_directory(path_);
  EXPECT_THROW(ReadFriendsFile(path_), client::EInOutError);
}

TEST_F(FriendsFilesTest, WritesEveryEntryWithCrLfInWindows1252) {
  WriteBytes("old entry\r\nanother\r\n");
  std::vector<std::string> reported;
  WriteFriendsFile(path_, {"@exemple.fr", "", "z\xC3\xA9ro@x.fr"}, [&](const std::string& p) { reported.push_back(p); });
  EXPECT_EQ(ReadBytes(), "@exemple.fr\r\n\r\nz\xE9ro@x.fr\r\n");
  EXPECT_TRUE(reported.empty());
  EXPECT_EQ(*ReadFriendsFile(path_), (Entries{"@exemple.fr", "", "z\xC3\xA9ro@x.fr"}));
}

TEST_F(FriendsFilesTest, AnEmptyListLeavesNoFile) {
  WriteBytes("old\r\n");
  WriteFriendsFile(path_, {}, nullptr);
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_FALSE(ReadFriendsFile(path_).has_value()) << "so the next start keeps its list empty";
}

TEST_F(FriendsFilesTest, AFileThatCannotBeDeletedIsToldThenWritingFails) {
  // A folder with something in it stands in for a file that cannot be deleted.
  fs::create_directories(fs::path(path_) / "inside");
  std::vector<std::string> reported;
  EXPECT_THROW(WriteFriendsFile(path_, {"a"}, [&](const std::string& p) { reported.push_back(p); }),
               client::EInOutError);
  EXPECT_EQ(reported, std::vector<std::string>{path_}) << "the message is the full path alone";
}

TEST_F(FriendsFilesTest, AFolderThatIsGoneIsAnInputOutputError) {
  const std::string nowhere = (dir_ / "gone" / "base.ami").string();
  try {
    WriteFriendsFile(nowhere, {"a"}, nullptr);
    FAIL() << "no error";
  } catch (const client::EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), ENOENT);
    EXPECT_STREQ(e.what(), "Erreur d'E/S 2");
  }
}

}  // namespace
