#include "forms/inifile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "forms/strings.h"
#include "temp_dir.h"

namespace forms {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

TEST(FormsIniFile, ReadsValuesAsWindowsDoes) {
  TempDir dir;
  const std::string path = dir.File("serie.ini");
  WriteBytes(path,
             "[Form1]\r\n"
             "nom_ov=  dupont  \r\n"
             "  Site_OV = serveur.fr\t\r\n"
             "quoted=\"  a b  \"\r\n"
             "single='x'\r\n"
             "odd=\"abc\r\n"
             "empty=\r\n"
             "eq=a=b\r\n"
             "nom_ov=second copy\r\n"
             "[form1]\n"
             "later=hidden by the first section\n"
             "[Other]\n"
             "nom_ov=other\n");
  const TIniFile ini(path);
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"Form1", "nom_ov", "dupont"},           // surrounding blanks go
      {"FORM1", "site_ov", "serveur.fr"},      // names are not case-sensitive, key trimmed
      {"Form1", "quoted", "  a b  "},          // one pair of quotes goes, what they hold stays
      {"Form1", "single", "x"},
      {"Form1", "odd", "\"abc"},               // quotes that do not pair stay
      {"Form1", "empty", ""},                  // present and empty: not the default
      {"Form1", "eq", "a=b"},                  // the value starts after the first "="
      {"Form1", "later", "<default>"},         // only the first section of a name is read
      {"Other", "nom_ov", "other"},
      {"Missing", "nom_ov", "<default>"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ini.ReadString(c.section, c.key, "<default>"), c.expected) << c.section << "." << c.key;
  EXPECT_TRUE(ini.ValueExists("form1", "EMPTY"));
  EXPECT_FALSE(ini.ValueExists("Form1", "absent"));
}

TEST(FormsIniFile, TheSentinelAndAccentedTextAreWindows1252OnDisk) {
  TempDir dir;
  const std::string path = dir.File("serie.ini");
  TIniFile ini(path);
  ini.WriteString("Form1", "pop_ami", "%ù@à*£");
  ini.WriteString("Form1", "Clé", "été");
  EXPECT_EQ(ReadBytes(path), "[Form1]\r\npop_ami=%\xF9@\xE0*\xA3\r\nCl\xE9=\xE9t\xE9\r\n");
  EXPECT_EQ(ini.ReadString("Form1", "pop_ami", ""), "%ù@à*£");
  EXPECT_EQ(ini.ReadString("Form1", "CLÉ", ""), "été");  // case folding reaches accented letters
}

TEST(FormsIniFile, IntegersAndBooleansReadAsTheFrameworkDoes) {
  TempDir dir;
  const std::string path = dir.File("a.ini");
  struct Case {
    const char* stored;
    int asInteger;  // with the default 7
    bool asBool;    // with the default true
  } cases[] = {
      {"0", 0, false},           {"1", 1, true},        {"-3", -3, true},
      {"+12", 12, true},         {" 42 ", 42, true},    {"0x1F", 31, true},
      {"$10", 16, true},         {"2147483647", 2147483647, true},
      {"2147483648", 7, true},   {"-2147483648", -2147483648, true},
      {"12abc", 7, true},        {"abc", 7, true},      {"", 7, true},
      {"1.5", 7, true},          {"0x", 7, true},
  };
  TIniFile ini(path);
  for (const Case& c : cases) {
    ini.WriteString("S", "k", c.stored);
    EXPECT_EQ(ini.ReadInteger("S", "k", 7), c.asInteger) << c.stored;
    EXPECT_EQ(ini.ReadBool("S", "k", true), c.asBool) << c.stored;
  }
  ini.WriteBool("S", "b", true);
  ini.WriteInteger("S", "i", -5);
  EXPECT_EQ(ini.ReadString("S", "b", ""), "1");
  EXPECT_EQ(ini.ReadString("S", "i", ""), "-5");
  ini.WriteBool("S", "b", false);
  EXPECT_EQ(ini.ReadString("S", "b", ""), "0");
  EXPECT_FALSE(ini.ReadBool("Absent", "b", false));
}

TEST(FormsIniFile, WritesReplaceInPlaceAndNewKeysJoinTheirSection) {
  TempDir dir;
  const std::string path = dir.File("a.ini");
  WriteBytes(path, "; réglages\r\n[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n");
  TIniFile ini(path);
  ini.WriteString("a", "X", "10");  // the existing key, whatever its case
  ini.WriteString("A", "z", "3");   // after the section's last key, before the blank line
  ini.WriteString("C", "w", "4");
  EXPECT_EQ(ReadBytes(path), "; réglages\r\n[A]\r\nX=10\r\nz=3\r\n\r\n[B]\r\ny=2\r\n[C]\r\nw=4\r\n");
}

TEST(FormsIniFile, ALineBreakInAValueCannotStartALineOfItsOwn) {
  TempDir dir;
  const std::string path = dir.File("a.ini");
  TIniFile ini(path);
  ini.WriteString("Form1", "nom_ov", "x\r\n[Form1]\r\npass_ov=volé");
  EXPECT_FALSE(ini.ValueExists("Form1", "pass_ov"));
  EXPECT_EQ(ini.ReadString("Form1", "nom_ov", ""), "x  [Form1]  pass_ov=volé");
}

TEST(FormsIniFile, EraseSectionRemovesEveryCopyAndItsKeys) {
  TempDir dir;
  const std::string path = dir.File("a.ini");
  WriteBytes(path, "[Form1ListBox1]\nL0=a\nL1=b\n[Keep]\nk=v\n[form1listbox1]\nL5=stale\n");
  TIniFile ini(path);
  ini.EraseSection("Form1ListBox1");
  EXPECT_FALSE(ini.SectionExists("Form1ListBox1"));
  EXPECT_EQ(ini.ReadString("Form1ListBox1", "L5", "none"), "none");
  EXPECT_EQ(ini.ReadString("Keep", "k", ""), "v");
  ini.EraseSection("Absent");  // nothing to do, no failure
  TStringList sections;
  ini.ReadSections(sections);
  EXPECT_EQ(sections.ToVector(), std::vector<std::string>{"Keep"});
}

TEST(FormsIniFile, ANewFileIsPrivateAndAnExistingOneKeepsItsMode) {
  TempDir dir;
  const std::string fresh = dir.File("serie.ini");
  TIniFile(fresh).WriteString("Form1", "pass_ov", "secret");
  struct stat st {};
  ASSERT_EQ(stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  const std::string shared = dir.File("shared.ini");
  WriteBytes(shared, "[S]\n");
  ASSERT_EQ(chmod(shared.c_str(), 0644), 0);
  TIniFile(shared).WriteString("S", "k", "v");
  ASSERT_EQ(stat(shared.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

// The file system refuses the write half-way (a file size limit, which binds root too).
TEST(FormsIniFile, AWriteCutShortThrowsAndLeavesTheFileAsItWas) {
  TempDir dir;
  const std::string path = dir.File("serie.ini");
  const std::string before = "[Form1]\r\nnom_ov=dupont\r\n";
  WriteBytes(path, before);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto* previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  TIniFile ini(path);
  EXPECT_THROW(ini.WriteString("Form1", "pop_ami", std::string(200, 'x')), EIniFileError);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(ReadBytes(path), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);  // no temporary left
}

ino_t InodeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// A name of 250 characters is a file name the system takes, but a temporary name made from it
// beside the file is not (too long): the same road as a folder that refuses new files.
TEST(FormsIniFile, AFileThatHasNoRoomForATemporaryBesideItIsRewrittenInPlace) {
  TempDir dir;
  const std::string path = dir.File(std::string(246, 's') + ".ini");
  WriteBytes(path, "[Form1]\r\nnom_ov=dupont\r\nsite_ov=serveur.fr\r\n");
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  const ino_t before = InodeOf(path);
  TIniFile ini(path);
  ini.WriteString("Form1", "nom_ov", "m");  // shorter: the rest of the old text must go
  EXPECT_EQ(ReadBytes(path), "[Form1]\r\nnom_ov=m\r\nsite_ov=serveur.fr\r\n");
  EXPECT_EQ(InodeOf(path), before) << "the file itself was rewritten";
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

  // Without a file to rewrite there is no way to save: the write throws.
  TIniFile absent(dir.File(std::string(246, 'n') + ".ini"));
  EXPECT_THROW(absent.WriteString("Form1", "nom_ov", "dupont"), EIniFileError);
}

TEST(FormsIniFile, AWritableFileInAFolderThatRefusesNewFilesIsRewrittenInPlace) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TempDir dir;
  const std::string path = dir.File("serie.ini");
  WriteBytes(path, "[Form1]\r\nnom_ov=dupont\r\n");
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  TIniFile ini(path);
  ini.WriteString("Form1", "nom_ov", "martin");
  EXPECT_EQ(ini.ReadString("Form1", "nom_ov", ""), "martin");
  ASSERT_EQ(chmod(path.c_str(), 0400), 0);
  EXPECT_THROW(ini.WriteString("Form1", "nom_ov", "durand"), EIniFileError) << "a file that refuses too";
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all);
  EXPECT_EQ(ReadBytes(path), "[Form1]\r\nnom_ov=martin\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);  // no temporary left
}

TEST(FormsIniFile, APassReadsTheFileOnceAndWritesItOnceAtCommit) {
  TempDir dir;
  const std::string path = dir.File("serie.ini");
  const std::string before = "[Form1]\r\nnom_ov=dupont\r\n[Form1Memo1]\r\nL0=old\r\n";
  WriteBytes(path, before);
  TIniFile ini(path);
  {
    TIniFile::Pass pass(ini);
    ini.WriteString("Form1", "nom_ov", "martin");
    ini.EraseSection("Form1Memo1");
    for (int n = 0; n < 500; ++n) ini.WriteString("Form1ListBox1", "L" + std::to_string(n), "ligne " + std::to_string(n));
    ini.WriteInteger("Form1ListBox1", "ItemIndex", -1);
    EXPECT_EQ(ini.ReadString("Form1", "nom_ov", ""), "martin") << "the pass reads its own changes";
    EXPECT_FALSE(ini.SectionExists("Form1Memo1"));
    {
      TIniFile::Pass inner(ini);  // joins the outer pass
      ini.WriteBool("Form1", "bip_ov", true);
      inner.Commit();
    }
    EXPECT_EQ(ReadBytes(path), before) << "nothing reaches the disk before the commit";
    WriteBytes(path, "[Form1]\r\nnom_ov=changed meanwhile\r\n");
    EXPECT_EQ(ini.ReadString("Form1", "nom_ov", ""), "martin") << "the file was read once, at the start";
    pass.Commit();
  }
  TIniFile after(path);
  EXPECT_EQ(after.ReadString("Form1", "nom_ov", ""), "martin");
  EXPECT_TRUE(after.ReadBool("Form1", "bip_ov", false));
  EXPECT_EQ(after.ReadString("Form1ListBox1", "L499", ""), "ligne 499");
  EXPECT_EQ(after.ReadInteger("Form1ListBox1", "ItemIndex", 0), -1);
  EXPECT_FALSE(after.SectionExists("Form1Memo1"));

  // A pass that changes nothing leaves the file alone; one that ends without a commit too.
  const ino_t written = InodeOf(path);
  {
    TIniFile::Pass pass(ini);
    ini.WriteString("Form1", "nom_ov", "martin");
    pass.Commit();
  }
  EXPECT_EQ(InodeOf(path), written);
  const std::string committed = ReadBytes(path);
  {
    TIniFile::Pass pass(ini);
    ini.WriteString("Form1", "nom_ov", "dropped");
  }
  EXPECT_EQ(ReadBytes(path), committed);
  ini.WriteString("Form1", "nom_ov", "durand");  // out of a pass, a write goes through at once
  EXPECT_EQ(TIniFile(path).ReadString("Form1", "nom_ov", ""), "durand");
}

TEST(FormsIniFile, AFileSavedWithAByteOrderMarkIsReadAsUtf8AndKeepsItsForm) {
  TempDir dir;
  const std::string path = dir.File("serie.ini");
  WriteBytes(path, "\xEF\xBB\xBF[Form1]\r\nnom_ov=Zo\xC3\xA9\r\n");
  TIniFile ini(path);
  EXPECT_TRUE(ini.SectionExists("Form1")) << "the mark does not hide the first section";
  EXPECT_EQ(ini.ReadString("Form1", "nom_ov", ""), "Zo\xC3\xA9");
  ini.WriteString("Form1", "site_ov", "caf\xC3\xA9.fr");
  EXPECT_EQ(ReadBytes(path), "\xEF\xBB\xBF[Form1]\r\nnom_ov=Zo\xC3\xA9\r\nsite_ov=caf\xC3\xA9.fr\r\n");
  // Without a mark the file is Windows-1252, as always.
  WriteBytes(path, "[Form1]\r\nnom_ov=Zo\xE9\r\n");
  EXPECT_EQ(ini.ReadString("Form1", "nom_ov", ""), "Zo\xC3\xA9");
}

TEST(FormsIniFile, AFileThatCannotBeReadReadsAsEmptyAndIsNeverOverwritten) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads everything";
  TempDir dir;
  const std::string path = dir.File("serie.ini");
  WriteBytes(path, "[Form1]\nnom_ov=dupont\n");
  ASSERT_EQ(chmod(path.c_str(), 0200), 0);
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("Form1", "nom_ov", "default"), "default");
  EXPECT_THROW(ini.WriteString("Form1", "other", "x"), EIniFileError);
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  EXPECT_EQ(ReadBytes(path), "[Form1]\nnom_ov=dupont\n");
}

TEST(FormsIniFile, ASymbolicLinkKeepsPointingAtTheRewrittenFile) {
  TempDir dir;
  const std::string real = dir.File("real.ini");
  const std::string link = dir.File("serie.ini");
  WriteBytes(real, "[S]\nk=1\n");
  std::filesystem::create_symlink(real, link);
  TIniFile(link).WriteString("S", "k", "2");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(TIniFile(real).ReadString("S", "k", ""), "2");
}

TEST(FormsIniFile, ArbitraryBytesNeverBreakReading) {
  TempDir dir;
  const std::string path = dir.File("junk.ini");
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 131 + 7) % 256);
  junk += "\n[S\n]\n=\n[]\n[ S ]\n=v\nk\n";
  WriteBytes(path, junk);
  TIniFile ini(path);
  EXPECT_EQ(ini.ReadString("S", "", "d"), "v");  // "[ S ]" is section S; "=v" has an empty key
  ini.WriteString("S", "k", "ok");
  EXPECT_EQ(ini.ReadString("S", "k", ""), "ok");
}

}  // namespace
}  // namespace forms
