// The friends list files on disk, in a temporary folder.
#include "friends_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <unistd.h>
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
  fs::permissions(path_, fs::perms(0640));
  WriteFriendsFile(path_, {"@exemple.fr", "", "z\xC3\xA9ro@x.fr"});
  EXPECT_EQ(ReadBytes(), "@exemple.fr\r\n\r\nz\xE9ro@x.fr\r\n");
  EXPECT_EQ(*ReadFriendsFile(path_), (Entries{"@exemple.fr", "", "z\xC3\xA9ro@x.fr"}));
  EXPECT_EQ(fs::status(path_).permissions(), fs::perms(0640)) << "the new file keeps the old one's permissions";
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1) << "no temporary file left";
}

TEST_F(FriendsFilesTest, AnEmptyListLeavesNoFile) {
  WriteBytes("old\r\n");
  WriteFriendsFile(path_, {});
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_FALSE(ReadFriendsFile(path_).has_value()) << "so the next start keeps its list empty";
  EXPECT_NO_THROW(WriteFriendsFile(path_, {})) << "no file to remove is no failure";
}

TEST_F(FriendsFilesTest, AWriteThatFailsLeavesTheOldFileWhole) {
  // Writing twice never doubles the list.
  WriteFriendsFile(path_, {"a@x.fr", "b@y.fr"});
  WriteFriendsFile(path_, {"a@x.fr", "b@y.fr"});
  EXPECT_EQ(ReadBytes(), "a@x.fr\r\nb@y.fr\r\n");

  // A folder that takes no new file: the old list is still there, whole.
  fs::permissions(dir_, fs::perms(0500));
  const bool enforced = ::access(dir_.c_str(), W_OK) != 0;  // root writes anyway
  if (enforced) {
    EXPECT_THROW(WriteFriendsFile(path_, {"c@z.fr"}), client::EInOutError);
    EXPECT_EQ(ReadBytes(), "a@x.fr\r\nb@y.fr\r\n");
  }
  fs::permissions(dir_, fs::perms(0700));

  // A folder in the file's place cannot be replaced: it stays, and no temporary file is left.
  fs::remove(path_);
  fs::create_directories(fs::path(path_) / "inside");
  EXPECT_THROW(WriteFriendsFile(path_, {"a"}), client::EInOutError);
  EXPECT_TRUE(fs::is_directory(fs::path(path_) / "inside"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(FriendsFilesTest, AWriteThatRunsOutOfSpaceLeavesTheOldFileWhole) {
  WriteBytes("a@x.fr\r\n");
  // A file size limit of 4 bytes stands for a disk that fills up during the write.
  struct rlimit old {};
  ::getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit tiny = old;
  tiny.rlim_cur = 4;
  std::signal(SIGXFSZ, SIG_IGN);
  ::setrlimit(RLIMIT_FSIZE, &tiny);
  EXPECT_THROW(WriteFriendsFile(path_, {"une entr\xC3\xA9" "e bien longue"}), client::EInOutError);
  ::setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(ReadBytes(), "a@x.fr\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(FriendsFilesTest, AFolderThatIsGoneIsAnInputOutputError) {
  const std::string nowhere = (dir_ / "gone" / "base.ami").string();
  try {
    WriteFriendsFile(nowhere, {"a"});
    FAIL() << "no error";
  } catch (const client::EInOutError& e) {
    EXPECT_EQ(e.ErrorCode(), ENOENT);
    EXPECT_STREQ(e.what(), "Erreur d'E/S 2");
  }
}

}  // namespace
