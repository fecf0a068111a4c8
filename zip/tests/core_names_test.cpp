// Stored names, path helpers and the platform's name services.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ZAPlatform.h"
#include "ZAStrFunc.h"

namespace zip {
namespace {

namespace fs = std::filesystem;

struct StoredCase {
  const char* FileName;
  const char* BaseDir;
  TZAStorePathMode Mode;
  const char* Expected;
};

TEST(MakeStoredFileName, WindowsNamesInTheFourModes) {
  const StoredCase cases[] = {
      {"C:\\data\\sub\\a.txt", "C:\\data", spNoPath, "a.txt"},
      {"C:\\data\\sub\\a.txt", "C:\\data", spRelativePath, "sub/a.txt"},
      {"C:\\data\\sub\\a.txt", "C:\\data", spFullPath, "data/sub/a.txt"},
      {"C:\\data\\sub\\a.txt", "C:\\data", spFullPathWithDrive, "C:/data/sub/a.txt"},
      // Climbing out of the base keeps the full path.
      {"C:\\other\\a.txt", "C:\\data", spRelativePath, "other/a.txt"},
      // The server goes, the share stays.
      {"\\\\server\\share\\a.txt", "C:\\data", spFullPath, "share/a.txt"},
      {"\\\\server\\share\\a.txt", "C:\\data", spNoPath, "a.txt"},
      // A folder loses its trailing separator.
      {"C:\\data\\sub\\", "C:\\data", spRelativePath, "sub"},
      // The root of a drive has no name.
      {"C:\\", "C:\\data", spNoPath, ""},
      {"C:\\", "C:\\data", spFullPath, ""},
      // A name relative to the base, with "." and ".." in it.
      {"sub\\.\\x\\..\\b.txt", "C:\\data", spRelativePath, "sub/b.txt"},
      {"..\\up.txt", "C:\\data", spRelativePath, "up.txt"},
      // Case does not count between Windows folders.
      {"C:\\DATA\\Sub\\a.txt", "c:\\data", spRelativePath, "Sub/a.txt"},
  };
  for (const StoredCase& c : cases)
    EXPECT_EQ(MakeStoredFileName(c.FileName, c.BaseDir, c.Mode), c.Expected)
        << c.FileName << " in " << c.BaseDir << " mode " << int(c.Mode);
}

TEST(MakeStoredFileName, LocalNamesInTheFourModes) {
  fs::path base = fs::temp_directory_path() / "zanames_base";
  fs::create_directories(base / "sub");
  std::string b = base.string();
  const std::string file = b + "/sub/a.txt";
  std::string full = b.substr(1) + "/sub/a.txt";
  EXPECT_EQ(MakeStoredFileName(file, b, spNoPath), "a.txt");
  EXPECT_EQ(MakeStoredFileName(file, b, spRelativePath), "sub/a.txt");
  EXPECT_EQ(MakeStoredFileName(file, b, spFullPath), full);
  EXPECT_EQ(MakeStoredFileName(file, b, spFullPathWithDrive), "/" + full);
  EXPECT_EQ(MakeStoredFileName("sub/a.txt", b + "/", spRelativePath), "sub/a.txt");
  EXPECT_EQ(MakeStoredFileName("/elsewhere/x.bin", b, spRelativePath), "elsewhere/x.bin");
  fs::remove_all(base);
}

TEST(PathHelpers, DrivesNamesAndRelativePaths) {
  EXPECT_EQ(ExtractFileDrive("C:\\x\\y"), "C:");
  EXPECT_EQ(ExtractFileDrive("\\\\srv\\share\\x"), "\\\\srv\\share");
  EXPECT_EQ(ExtractFileDrive("/tmp/x"), "");
  EXPECT_EQ(ExtractFileName("a/b\\c.txt"), "c.txt");
  EXPECT_EQ(ExtractFilePath("a/b\\c.txt"), "a/b\\");
  EXPECT_EQ(IncludeTrailingBackslash("/tmp"), "/tmp/");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\tmp"), "C:\\tmp\\");
  EXPECT_EQ(IncludeTrailingBackslash("C:\\tmp\\"), "C:\\tmp\\");
  EXPECT_EQ(ExcludeTrailingBackslash("/tmp/"), "/tmp");
  EXPECT_EQ(ExpandFileNameIn("a/../../../b", "/x/y"), "/b");  // never above the root
  EXPECT_EQ(ExpandFileNameIn("C:\\a\\..\\..\\b", "/x"), "C:\\b");
  EXPECT_EQ(ExtractRelativePath("C:\\data\\", "C:\\data\\sub\\a.txt"), "sub\\a.txt");
  EXPECT_EQ(ExtractRelativePath("C:\\data\\", "D:\\a.txt"), "D:\\a.txt");
  EXPECT_EQ(ExtractRelativePath("/a/b/", "/a/c/d.txt"), "../c/d.txt");
  EXPECT_EQ(ToBackslashes("dir/sub/a.txt"), "dir\\sub\\a.txt");
  EXPECT_EQ(ToSlashes("dir\\sub\\a.txt"), "dir/sub/a.txt");
}

// A cut to a byte limit keeps whole characters: the character the limit would split goes; bytes
// that are no UTF-8 there are cut at the limit.
TEST(PathHelpers, CutToCharacterKeepsWholeCharacters) {
  const struct {
    std::string Text;
    std::size_t Limit;
    std::string Expected;
  } cases[] = {
      {"abc", 5, "abc"},
      {"abcdef", 3, "abc"},
      {"a\xC3\xA9" "b", 2, "a"},                       // é split after its first byte
      {"a\xC3\xA9" "b", 3, "a\xC3\xA9"},              // é whole
      {"ab\xE6\x97\xA5", 4, "ab"},                 // 日 split after two of its three bytes
      {"a\xF0\x9F\x8E\x88z", 4, "a"},              // an emoji split after three of its four bytes
      {"a\xF0\x9F\x8E\x88z", 5, "a\xF0\x9F\x8E\x88"},
      {"\xC3\xA9\xC3\xA9", 1, ""},
      {std::string("ab") + std::string(6, '\x80'), 5, std::string("ab") + std::string(3, '\x80')},  // no UTF-8
      {"ab\xE9\xE9", 3, "ab\xE9"},                  // Latin-1 bytes: each one a character
  };
  for (const auto& c : cases) {
    std::string s = c.Text;
    CutToCharacter(s, c.Limit);
    EXPECT_EQ(c.Expected, s) << c.Text << " at " << c.Limit;
  }
}

TEST(PathHelpers, RemovableDrivesOnlyWhereThePlatformSaysSo) {
  EXPECT_TRUE(IsFloppyDrive("a:\\x"));
  EXPECT_TRUE(IsRemovableDrive("B:\\x"));
  EXPECT_FALSE(IsRemovableDrive("E:\\x"));
  EXPECT_FALSE(IsRemovableDrive("/media/usb/x"));
  platform::SetRemovableDrives("e");
  EXPECT_TRUE(IsRemovableDrive("E:\\x"));
  EXPECT_FALSE(IsRemovableDrive("F:\\x"));
  platform::SetRemovableDrives("");
  EXPECT_FALSE(IsRemovableDrive("E:\\x"));
}

TEST(Platform, OemNamesRoundTripThroughWindows1252) {
  // Code page 850 bytes of "Été à Noël.txt" and what Windows-1252 holds for them.
  const std::string oem = "\x90t\x82 \x85 No\x89l.txt";
  const std::string ansi = "\xC9t\xE9 \xE0 No\xEBl.txt";
  EXPECT_EQ(platform::OemToAnsi(oem), ansi);
  EXPECT_EQ(platform::AnsiToOem(ansi), oem);
  // Every byte the two pages share comes back unchanged.
  for (int c = 0; c < 256; ++c) {
    std::string a(1, static_cast<char>(c));
    std::string o = platform::AnsiToOem(a);
    if (platform::OemToAnsi(o) != a) continue;  // no such character in code page 850
    EXPECT_EQ(platform::OemToAnsi(platform::AnsiToOem(a)), a) << c;
  }
  // Box drawing has no Windows-1252 form: a plain stand-in, never a control byte.
  EXPECT_EQ(platform::OemToAnsi("\xC4\xB3\xC5"), "-|+");
  EXPECT_EQ(platform::AnsiToOem("\x80\x96\x93"), "_-\"");  // euro sign, en dash, left quote
  // Engine names are the file system's own (UTF-8): only the separator changes.
  EXPECT_EQ(platform::ToFileSystemPath("dir\\\xC3\xA9t\xC3\xA9.txt"), "dir/\xC3\xA9t\xC3\xA9.txt");
  EXPECT_EQ(platform::FromFileSystemPath("\xE6\x97\xA5/\xC3\xA9"), "\xE6\x97\xA5/\xC3\xA9");
}

TEST(Platform, TemporaryFilesMemoryAndSpace) {
  std::string dir = platform::GetTempPath();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');
  std::string a = platform::CreateTempFile(dir, "FC");
  std::string b = platform::CreateTempFile(dir, "FC");
  ASSERT_FALSE(a.empty());
  EXPECT_NE(a, b);
  EXPECT_EQ(ExtractFileName(a).substr(0, 2), "FC");
  EXPECT_TRUE(platform::FileExists(a));
  EXPECT_EQ(fs::file_size(a), 0u);
  fs::remove(a);
  fs::remove(b);
  EXPECT_EQ(platform::CreateTempFile("/nonexistent-folder-za", "FC"), "");
  EXPECT_GT(platform::GlobalMemoryStatus().AvailPhys, 0u);
  EXPECT_GT(platform::GetDiskFreeSpace(dir + "not-yet-created/file.zip"), 0);
}

}  // namespace
}  // namespace zip
