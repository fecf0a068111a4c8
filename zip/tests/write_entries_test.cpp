// Which stored data each entry of a rewritten archive carries: its own, found by its place in the
// old directory and never by its name (renames onto a taken name, or onto one no reader could
// place, are refused, two entries of one name each keep theirs, renames may trade names); and
// after a store that failed and was ignored, an entry that was in the archive keeps its old data
// and record.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ZipEngineRun.h"
#include "ZipWriteSupport.h"

namespace {

using namespace ziptest;

// An archive made by Info-ZIP's zip from name/text pairs (in that order).
void MakeZip(const fs::path& archive, const fs::path& src, const TContents& files) {
  std::string names;
  for (const auto& [name, text] : files) {
    WriteText(src / name, text);
    names += " " + Quote(name);
  }
  StampTimes(src);
  ASSERT_EQ(0, Shell("cd " + Quote(src.string()) + " && zip -q " + Quote(archive.string()) + names));
}

std::shared_ptr<zip::TZAStream> Memory(const std::string& text) {
  return std::make_shared<zip::TZAMemoryStream>(std::vector<std::uint8_t>(text.begin(), text.end()));
}

TEST(StoredEntries, RenameOntoATakenOrUnplaceableNameIsRefused) {
  TTempDir dir;
  const fs::path archive = dir / "a.zip";
  // Info-ZIP stores "sub/c.txt" without an entry of its own for the folder "sub".
  MakeZip(archive, dir / "src", {{"a.txt", "alpha"}, {"b.txt", "bravo"}, {"sub/c.txt", "charlie"}});
  const auto before = ReadBytes(archive);
  struct Row {
    const char* From;
    const char* To;
    int Code;  // 74: the name is taken; 72: no reader could place the entry
  };
  // The taken name written otherwise ("//", "." parts); a folder of a file's name, which would
  // come out in the file's place; a name below a file; a file in the place of a folder that has
  // no entry of its own; names that climb out of the folder, or name a drive.
  for (const Row r : {Row{"a.txt", "b.txt", 74}, Row{"b.txt", "sub/c.txt", 74}, Row{"sub/c.txt", "/a.txt", 74},
                      Row{"a.txt", "sub//c.txt", 74}, Row{"a.txt", "./sub/./c.txt", 74}, Row{"a.txt", "sub/c.txt/", 74},
                      Row{"a.txt", "sub/c.txt/n.txt", 74}, Row{"a.txt", "sub", 74}, Row{"a.txt", "../up.txt", 72},
                      Row{"a.txt", "sub/../../up.txt", 72}, Row{"a.txt", "sub/..", 72}, Row{"a.txt", "c:up.txt", 72}}) {
    SCOPED_TRACE(std::string(r.From) + " -> " + r.To);
    int code = 0;
    std::string message;
    const auto result = WriteWithEngine(archive, false, [&](zip::TZipArchiver& a) {
      try {
        a.RenameItem(r.From, r.To);
      } catch (const zip::EZAException& e) {
        code = e.NativeError;
        message = e.Message();
      }
    });
    // The refusal cancels the update it was to be part of.
    EXPECT_EQ(zip::TZACommitState::Cancelled, result.State);
    EXPECT_EQ(r.Code, code);
    EXPECT_EQ(r.Code, result.ErrorCode);
    EXPECT_NE(std::string::npos, message.find(std::string("\"") + r.From + "\"")) << message;
    EXPECT_EQ(before, ReadBytes(archive));
  }
  // A rename into a folder that has no entry of its own is no clash.
  const auto into = WriteWithEngine(archive, false, [&](zip::TZipArchiver& a) { a.RenameItem("b.txt", "sub/b.txt"); });
  EXPECT_TRUE(into.Succeeded()) << into.Message;
  EXPECT_EQ("", PeerCheck(archive));
  EXPECT_EQ((TContents{{"a.txt", "alpha"}, {"sub/b.txt", "bravo"}, {"sub/c.txt", "charlie"}}), PythonContents(archive));
  // Renaming an entry to its own name is no clash.
  const auto same = WriteWithEngine(archive, false, [&](zip::TZipArchiver& a) { a.RenameItem("a.txt", "a.txt"); });
  EXPECT_TRUE(same.Succeeded()) << same.Message;
  EXPECT_EQ((TContents{{"a.txt", "alpha"}, {"sub/b.txt", "bravo"}, {"sub/c.txt", "charlie"}}), PythonContents(archive));
}

TEST(StoredEntries, EntriesOfOneNameKeepTheirOwnData) {
  struct Row {
    const char* What;
    std::function<void(zip::TZipArchiver&)> Change;
    TContents Expected;
  };
  const Row rows[] = {
      {"an unrelated entry deleted", [](zip::TZipArchiver& a) { a.DeleteFiles("other.txt"); },
       {{"dup.txt", "first copy"}, {"dup.txt", "second copy"}, {"last.txt", "last"}}},
      {"the first renamed", [](zip::TZipArchiver& a) { a.RenameItem("dup.txt", "one.txt"); },
       {{"one.txt", "first copy"}, {"other.txt", "other"}, {"dup.txt", "second copy"}, {"last.txt", "last"}}},
      {"an entry added before a rewrite", [](zip::TZipArchiver& a) {
         a.AddFromStream("new.txt", Memory("new"));
         a.DeleteFiles("last.txt");
       },
       {{"dup.txt", "first copy"}, {"other.txt", "other"}, {"dup.txt", "second copy"}, {"new.txt", "new"}}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.What);
    TTempDir dir;
    const fs::path archive = dir / "dup.zip";
    // Python writes a second entry of a name it holds already (with a warning).
    ASSERT_EQ(0, RunPython("import sys, zipfile, warnings\n"
                           "warnings.simplefilter('ignore')\n"
                           "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                           "    for n, d in [('dup.txt', 'first copy'), ('other.txt', 'other'),\n"
                           "                 ('dup.txt', 'second copy'), ('last.txt', 'last')]:\n"
                           "        z.writestr(n, d)\n",
                           {archive.string()}));
    const auto result = WriteWithEngine(archive, false, r.Change);
    ASSERT_TRUE(result.Succeeded()) << result.Message;
    EXPECT_EQ(r.Expected, PythonContents(archive));
    EXPECT_EQ("", PeerCheck(archive));
  }
}

TEST(StoredEntries, RenamesThatTradeNamesInOneBracket) {
  struct Row {
    const char* What;
    std::vector<std::pair<const char*, const char*>> Renames;
    TContents Expected;
  };
  const Row rows[] = {
      {"a swap through a spare name", {{"a.txt", "t.txt"}, {"b.txt", "a.txt"}, {"t.txt", "b.txt"}},
       {{"b.txt", "alpha"}, {"a.txt", "bravo"}, {"z.txt", "zulu"}}},
      {"a name given up, then taken", {{"a.txt", "c.txt"}, {"b.txt", "a.txt"}},
       {{"c.txt", "alpha"}, {"a.txt", "bravo"}, {"z.txt", "zulu"}}},
      {"renamed there and back", {{"a.txt", "x.txt"}, {"x.txt", "a.txt"}, {"z.txt", "b2.txt"}},
       {{"a.txt", "alpha"}, {"b.txt", "bravo"}, {"b2.txt", "zulu"}}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.What);
    TTempDir dir;
    const fs::path archive = dir / "a.zip";
    MakeZip(archive, dir / "src", {{"a.txt", "alpha"}, {"b.txt", "bravo"}, {"z.txt", "zulu"}});
    const auto result = WriteWithEngine(archive, false, [&](zip::TZipArchiver& a) {
      for (const auto& [from, to] : r.Renames) a.RenameItem(from, to);
    });
    ASSERT_TRUE(result.Succeeded()) << result.Message;
    EXPECT_EQ(r.Expected, PythonContents(archive));
    EXPECT_EQ("", PeerCheck(archive));
  }
}

// A store that fails and is answered Ignore: an entry the archive held keeps its old data and
// record (its name, where the bracket renamed it, is the new one); the rest of the commit holds.
TEST(IgnoredStores, AnEntryThatExistedKeepsItsDataAndRecord) {
  struct Row {
    const char* What;
    std::function<void(zip::TZipArchiver&, const fs::path& src)> Change;
    const char* Name;  // the old entry's name afterwards
  };
  const Row rows[] = {
      {"moved over it, the source gone before the commit",
       [](zip::TZipArchiver& a, const fs::path& src) {
         WriteText(src / "x.txt", "the new x");
         a.MoveFiles("x.txt");
         fs::remove(src / "x.txt");
       },
       "x.txt"},
      {"added over it from a stream that ends early",
       [](zip::TZipArchiver& a, const fs::path&) { a.AddFromStream("x.txt", std::make_shared<TShortStream>("short")); },
       "x.txt"},
      {"renamed, then freshened from a file gone before the commit",
       [](zip::TZipArchiver& a, const fs::path& src) {
         a.RenameItem("x.txt", "y.txt");
         WriteText(src / "y.txt", "the new y");
         a.UpdateFiles("y.txt");
         fs::remove(src / "y.txt");
       },
       "y.txt"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.What);
    TTempDir dir;
    const fs::path archive = dir / "a.zip";
    const fs::path src = dir / "src";
    MakeZip(archive, src, {{"first.txt", "first"}, {"x.txt", "the old x, written by zip"}, {"z.txt", "zulu"}});
    fs::remove(src / "x.txt");
    const std::string before = PythonListing(archive);
    TWriteRun run;
    const auto result = WriteWithEngine(
        archive, false, [&](zip::TZipArchiver& a) { r.Change(a, src); },
        [&](zip::TZipArchiver& a) { a.BaseDir = EngineName(src); }, &run);
    EXPECT_TRUE(result.Succeeded()) << result.Message;
    EXPECT_EQ(1, result.Ignored);
    EXPECT_EQ(1u, run.FailureCodes.size());
    EXPECT_EQ((TContents{{"first.txt", "first"}, {r.Name, "the old x, written by zip"}, {"z.txt", "zulu"}}),
              PythonContents(archive));
    // The old record: the same size, CRC, method and flags as before.
    std::string expectedListing = before;
    if (std::string(r.Name) != "x.txt") expectedListing.replace(expectedListing.find("x.txt"), 5, r.Name);
    EXPECT_EQ(expectedListing, PythonListing(archive));
    EXPECT_EQ("", PeerCheck(archive));
  }
}

}  // namespace
