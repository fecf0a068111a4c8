// Names as the engine stores them: characters outside Windows-1252, renames, and the stored bytes
// of unchanged entries, checked by unzip and Python (which compares local and central names).
// Names, folders and passwords given on a UTF-8 command line are used as they are.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "ZAWriteRecords.h"
#include "ZipEngineRun.h"
#include "ZipWriteSupport.h"

namespace {

using namespace ziptest;

const std::string WriteCli = ZIPWRITE_CLI;
const std::string ReadCli = ZIPREAD_CLI;

// Runs the write front end; its exit status (0: committed with nothing ignored).
int Zipwrite(const std::string& arguments) { return Shell(Quote(WriteCli) + " " + arguments + " >/dev/null 2>&1"); }

// The names of an archive's entries as Python reads them, sorted.
std::vector<std::string> PythonNames(const fs::path& archive) {
  std::vector<std::string> names;
  std::string listing = PythonListing(archive);
  for (std::size_t start = 0; start < listing.size();) {
    const std::size_t end = listing.find('\n', start);
    const std::string line = listing.substr(start, end - start);
    // "name size crc method flags": the name is all but the last four words.
    std::size_t cut = line.size();
    for (int words = 0; words < 4 && cut != std::string::npos && cut > 0; ++words) cut = line.rfind(' ', cut - 1);
    if (cut != std::string::npos && cut > 0) names.push_back(line.substr(0, cut));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  std::sort(names.begin(), names.end());
  return names;
}

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

// A disk file whose name holds a backslash cannot be stored under its name: an archive takes "\"
// for a folder separator (and so does the engine's own reader), so that "a\b.txt" would pass for
// "a/b.txt" and beside a real one one of the two would be lost. Each such file, and everything
// below such a folder, is a failed item named by its real path; a moved one stays on disk.
TEST(StoredNames, DiskNamesWithABackslashAreFailedItems) {
  for (const std::string command : {"add", "move"}) {
    SCOPED_TRACE(command);
    TTempDir tmp;
    const fs::path src = tmp / "src";
    fs::create_directories(src / "a");
    fs::create_directories(src / "x\\y");
    WriteText(src / "a" / "b.txt", "the real one");
    WriteText(src / "a\\b.txt", "backslash");
    WriteText(src / "x\\y" / "z.txt", "below a backslash");
    WriteText(src / "plain.txt", "plain");
    const fs::path archive = tmp / "b.zip";
    const fs::path out = tmp / "out.txt";
    const int status = Shell(Quote(WriteCli) + " " + command + " " + Quote(archive.string()) + " '*' --base " +
                             Quote(src.string()) + " >" + Quote(out.string()) + " 2>&1");
    const auto bytes = ReadBytes(out);
    const std::string output(bytes.begin(), bytes.end());
    EXPECT_EQ(1, status) << output;
    EXPECT_NE(std::string::npos, output.find("stored 3 ignored 3")) << output;
    for (const fs::path& refused : {src / "a\\b.txt", src / "x\\y", src / "x\\y" / "z.txt"}) {
      EXPECT_NE(std::string::npos, output.find(refused.string() + ": ")) << output;
      EXPECT_TRUE(fs::exists(refused)) << refused;
    }
    EXPECT_EQ((TContents{{"a/", ""}, {"a/b.txt", "the real one"}, {"plain.txt", "plain"}}), PythonContents(archive));
    EXPECT_EQ("", PeerCheck(archive));
  }
}

// The bytes a new or renamed name is stored under: ASCII as it is; the OEM code page where the
// option asks for it, every character has a byte there and the entry is no Unix one; else UTF-8
// with the flag. A name that is not UTF-8 goes as its bytes, unflagged. Unchanged entries keep
// their stored bytes and flag.
TEST(StoredNames, WhichBytesANameIsStoredUnder) {
  struct Row {
    const char* Name;
    bool Oem;
    std::uint16_t MadeBy;
    const char* Bytes;
    bool Utf8;
  };
  const Row rows[] = {
      {"plain/a.txt", true, 0x0014, "plain/a.txt", false},
      {"plain\\a.txt", false, 0x0B14, "plain/a.txt", false},
      {"caf\xC3\xA9.txt", true, 0x0014, "caf\x82.txt", false},               // é in code page 850
      {"caf\xC3\xA9.txt", false, 0x0B14, "caf\xC3\xA9.txt", true},
      {"caf\xC3\xA9.txt", true, 0x0314, "caf\xC3\xA9.txt", true},            // a Unix entry
      {"\xE2\x82\xAC.txt", true, 0x0014, "\xE2\x82\xAC.txt", true},          // € is not in 850
      {"\xE6\x97\xA5\xE6\x9C\xAC.txt", true, 0x0014, "\xE6\x97\xA5\xE6\x9C\xAC.txt", true},
      {"raw\xE9.txt", true, 0x0014, "raw\xE9.txt", false},                 // not UTF-8
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    zip::TDirItem item;
    item.Name = r.Name;
    item.VersionMadeBy = r.MadeBy;
    item.IsNew = true;
    const zip::TZAStoredName stored = zip::EncodeStoredName(item, r.Oem);
    EXPECT_EQ(r.Bytes, stored.Bytes);
    EXPECT_EQ(r.Utf8, stored.Utf8);
  }
  zip::TDirItem kept;
  kept.Name = "caf\xC3\xA9.txt";
  kept.StoredName = "caf\x82.txt";
  const zip::TZAStoredName stored = zip::EncodeStoredName(kept, false);
  EXPECT_EQ("caf\x82.txt", stored.Bytes);
  EXPECT_FALSE(stored.Utf8);
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

const std::string japan = "\xE6\x97\xA5\xE6\x9C\xAC";  // 日本
const std::string china = "\xE4\xB8\xAD\xE5\x9B\xBD";  // 中国
const std::string korea = "\xED\x95\x9C\xEA\xB5\xAD";  // 한국
const std::string smile = "\xF0\x9F\x98\x80.txt";       // 😀.txt
const std::string party = "\xF0\x9F\x8E\x89.txt";       // 🎉.txt
const std::string balloon = "\xF0\x9F\x8E\x88.txt";     // 🎈.txt
const std::string renamed = japan + "/\xE6\x94\xB9\xE5\x90\x8D.txt";  // 日本/改名.txt

// Names that differ only in characters Windows-1252 lacks (and which it would all turn into "?")
// stay apart through create, add, rewrite, rename, delete and extraction, with plain folders and
// with a base folder and an archive path outside Windows-1252 too.
TEST(InternationalNames, NamesThatDifferOnlyOutsideWindows1252StayApart) {
  struct Row {
    const char* Base;     // the folder that holds the tree
    const char* Archive;  // the folder that holds the archive
  };
  // データ and 档案
  for (const Row r : {Row{"plain", "arc"}, Row{"\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF", "\xE6\xA1\xA3\xE6\xA1\x88"}}) {
    SCOPED_TRACE(r.Base);
    TTempDir tmp;
    const fs::path root = tmp / r.Base;
    const fs::path src = root / "src";
    const fs::path archive = tmp / r.Archive / "e.zip";
    fs::create_directories(archive.parent_path());
    for (const std::string& folder : {japan, china, std::string("xy")}) fs::create_directories(src / folder);
    WriteText(src / japan / "ab.txt", "japan");
    WriteText(src / china / "ab.txt", "china");
    WriteText(src / "xy" / "ab.txt", "xy");
    WriteText(src / smile, "smile");
    WriteText(src / party, "party");
    WriteText(src / "plain.txt", "plain");
    StampTimes(src);
    // What the archive holds at each step, as a tree.
    const fs::path expected = tmp / "expected";
    ASSERT_EQ(0, Shell("cp -a " + Quote(src.string()) + " " + Quote(expected.string())));
    const std::string a = Quote(archive.string());
    const std::string base = " --base " + Quote(src.string());
    // Each archive written passes the peers and extracts, by unzip and by our own reader, as the tree.
    const auto check = [&](const std::string& step) {
      SCOPED_TRACE(step);
      EXPECT_EQ("", PeerCheck(archive));
      const fs::path unzipped = tmp / ("unzipped-" + step);
      ASSERT_EQ(0, Shell("unzip -qq " + a + " -d " + Quote(unzipped.string())));
      EXPECT_EQ("", CompareTrees(expected, unzipped));
      const fs::path ours = tmp / ("ours-" + step);
      ASSERT_EQ(0, Shell(Quote(ReadCli) + " extract " + a + " " + Quote(ours.string()) + " >/dev/null"));
      EXPECT_EQ("", CompareTrees(expected, ours));
    };

    EXPECT_EQ(0, Zipwrite("create " + a + " '*'" + base));
    EXPECT_EQ((std::vector<std::string>{"plain.txt", "xy/", "xy/ab.txt", china + "/", china + "/ab.txt", japan + "/",
                                        japan + "/ab.txt", party, smile}),
              PythonNames(archive));
    check("create");

    // Added beside names that read the same in Windows-1252.
    fs::create_directories(src / korea);
    WriteText(src / korea / "ab.txt", "korea");
    WriteText(src / balloon, "balloon");
    for (const fs::path& added : {src / korea / "ab.txt", src / balloon}) {
      fs::last_write_time(added, fs::last_write_time(src / "plain.txt"));  // even seconds, as DOS times
    }
    ASSERT_EQ(0, Shell("cp -a " + Quote((src / korea).string()) + " " + Quote((src / balloon).string()) + " " +
                       Quote(expected.string())));
    EXPECT_EQ(0, Zipwrite("add " + a + " " + Quote(korea + "/ab.txt") + " " + Quote(balloon) + base));
    check("add");

    // A rewrite (an unrelated entry deleted) keeps every entry's own data under its own name.
    EXPECT_EQ(0, Zipwrite("delete " + a + " plain.txt"));
    fs::remove(expected / "plain.txt");
    check("rewrite");

    // Renamed to a name outside Windows-1252.
    EXPECT_EQ(0, Zipwrite("rename " + a + " " + Quote(china + "/ab.txt") + " " + Quote(renamed)));
    fs::rename(expected / china / "ab.txt", expected / renamed);
    const auto names = PythonNames(archive);
    EXPECT_NE(names.end(), std::find(names.begin(), names.end(), renamed));
    check("rename");

    // Deleted by a name outside Windows-1252: that entry and no other.
    EXPECT_EQ(0, Zipwrite("delete " + a + " " + Quote(japan + "/ab.txt")));
    fs::remove(expected / japan / "ab.txt");
    EXPECT_EQ(0, Zipwrite("delete " + a + " " + Quote(smile)));
    fs::remove(expected / smile);
    EXPECT_EQ((std::vector<std::string>{"xy/", "xy/ab.txt", china + "/", japan + "/", renamed,
                                        korea + "/ab.txt", balloon, party}),
              PythonNames(archive));
    check("delete");
  }
}

// A file name that is not UTF-8 (a Latin-1 "café") is stored and read back as its bytes, as unzip
// keeps them: it stays apart from the UTF-8 name its bytes would read as in a code page, and every
// operation by its own name finds it. The same holds for such a name in an archive of Info-ZIP's.
TEST(InternationalNames, NamesThatAreNotUtf8KeepTheirBytes) {
  const std::string latin1 = "caf\xE9";         // café in Latin-1
  const std::string lookalike = "caf\xC3\x9A";  // cafÚ, what 0xE9 reads as in code page 850
  for (const bool infoZip : {false, true}) {
    SCOPED_TRACE(infoZip ? "Info-ZIP" : "ours");
    TTempDir tmp;
    const fs::path src = tmp / "src";
    fs::create_directories(src);
    WriteText(src / latin1, "latin1");
    WriteText(src / lookalike, "utf8");
    StampTimes(src);
    const fs::path archive = tmp / "n.zip";
    const std::string a = Quote(archive.string());
    if (infoZip) {
      ASSERT_EQ(0, Shell("cd " + Quote(src.string()) + " && zip -q " + a + " " + Quote(latin1)));
    } else {
      EXPECT_EQ(0, Zipwrite("create " + a + " " + Quote(latin1) + " --base " + Quote(src.string())));
    }
    // Adding the look-alike adds an entry; adding the same file again replaces its own.
    EXPECT_EQ(0, Zipwrite("add " + a + " " + Quote(lookalike) + " " + Quote(latin1) + " --base " + Quote(src.string())));
    const fs::path out = tmp / "out";
    ASSERT_EQ(0, Shell(Quote(ReadCli) + " extract " + a + " " + Quote(out.string()) + " >/dev/null"));
    EXPECT_EQ((std::vector<std::string>{lookalike, latin1}), ListTree(out));
    const auto text = [](const fs::path& p) {
      const auto bytes = ReadBytes(p);
      return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_EQ("latin1", text(out / latin1));
    EXPECT_EQ("utf8", text(out / lookalike));
    // Deleted by its own name: that entry and no other.
    EXPECT_EQ(0, Zipwrite("delete " + a + " " + Quote(latin1)));
    const fs::path after = tmp / "after";
    ASSERT_EQ(0, Shell(Quote(ReadCli) + " extract " + a + " " + Quote(after.string()) + " >/dev/null"));
    EXPECT_EQ((std::vector<std::string>{lookalike}), ListTree(after));
    EXPECT_EQ("", PeerCheck(archive));
  }
}

// Each operation of the front end on an archive that Info-ZIP's zip made of such names (stored as
// UTF-8): it touches the entry it names and no other, and every entry keeps its own data.
TEST(InternationalNames, EachOperationOnAnInfoZipArchive) {
  // The plain entry comes first: deleting it rewrites all the others.
  const TContents initial = {{"plain.txt", "plain"}, {"xy/ab.txt", "xy"}, {japan + "/ab.txt", "japan"},
                             {china + "/ab.txt", "china"}, {smile, "smile"}, {party, "party"}};
  struct Row {
    const char* What;
    std::string Arguments;  // after "zipwrite", ARCH standing for the archive
    TContents Expected;
  };
  const auto without = [&](const std::string& name) {
    TContents c = initial;
    c.erase(std::remove_if(c.begin(), c.end(), [&](const auto& e) { return e.first == name; }), c.end());
    return c;
  };
  TContents renamedChina = initial;
  renamedChina[3].first = renamed;
  TContents added = initial;
  added.emplace_back(korea + "/ab.txt", "korea");
  added.emplace_back(balloon, "balloon");
  const Row rows[] = {
      {"delete by a name outside Windows-1252", "delete ARCH " + Quote(japan + "/ab.txt"), without(japan + "/ab.txt")},
      {"delete an emoji name", "delete ARCH " + Quote(smile), without(smile)},
      {"a rewrite: an unrelated entry deleted", "delete ARCH plain.txt", without("plain.txt")},
      {"rename to a name outside Windows-1252", "rename ARCH " + Quote(china + "/ab.txt") + " " + Quote(renamed),
       renamedChina},
      {"add names that read the same in Windows-1252", "add ARCH " + Quote(korea + "/ab.txt") + " " + Quote(balloon),
       added},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.What);
    TTempDir tmp;
    const fs::path src = tmp / "src";
    std::string names;
    for (const auto& [name, text] : initial) {
      fs::create_directories((src / name).parent_path());
      WriteText(src / name, text);
      names += " " + Quote(name);
    }
    fs::create_directories(src / korea);
    WriteText(src / korea / "ab.txt", "korea");
    WriteText(src / balloon, "balloon");
    const fs::path archive = tmp / "iz.zip";
    ASSERT_EQ(0, Shell("cd " + Quote(src.string()) + " && zip -q -D " + Quote(archive.string()) + names));
    ASSERT_EQ(initial, PythonContents(archive));
    std::string arguments = r.Arguments;
    arguments.replace(arguments.find("ARCH"), 4, Quote(archive.string()));
    EXPECT_EQ(0, Zipwrite(arguments + " --base " + Quote(src.string())));
    EXPECT_EQ(r.Expected, PythonContents(archive));
    EXPECT_EQ("", PeerCheck(archive));
  }
}

// Names read from an archive are decoded once (the UTF-8 flag, Info-ZIP's Unicode path field,
// else the OEM code page) into the real names that finds and extraction use; a rewrite keeps the
// stored bytes, flags and extra fields of every entry it does not rename.
TEST(InternationalNames, StoredNamesDecodedOnceAndKeptAsStored) {
  TTempDir tmp;
  const fs::path archive = tmp / "stored.zip";
  const char* make =
      "import sys, zipfile, zlib, struct\n"
      "def entry(raw, data, flags=0, extra=b'', host=0):\n"
      "    zi = zipfile.ZipInfo('placeholder', (2022, 5, 6, 7, 8, 10)); zi.create_system = host\n"
      "    zi.filename = raw.decode('utf-8' if flags else 'cp437'); zi.flag_bits |= flags; zi.extra = extra\n"
      "    return zi, data\n"
      "unicode = '\u65e5\u672c.txt'.encode()\n"  // 日本.txt in the Unicode path field
      "field = struct.pack('<HHBI', 0x7075, 5 + len(unicode), 1, zlib.crc32(b'__.txt')) + unicode\n"
      "entries = [entry(b'first.txt', 'first'), entry(b'cafX.txt', 'oem'),\n"
      "           entry(b'__.txt', 'field', extra=field),\n"
      "           entry('\u4e2d\u56fd.txt'.encode(), 'flag', flags=0x800, host=3)]\n"
      "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
      "    for zi, data in entries: z.writestr(zi, data)\n"
      "# the OEM name (code page 850 e acute, no flag) put in place of its placeholder\n"
      "data = open(sys.argv[1], 'rb').read().replace(b'cafX.txt', b'caf\\x82.txt')\n"
      "open(sys.argv[1], 'wb').write(data)\n";
  ASSERT_EQ(0, RunPython(make, {archive.string()}));
  // The stored form of each entry: name bytes, UTF-8 flag and extra field, as Python reads them.
  const auto stored = [&] {
    const fs::path out = tmp / "stored.txt";
    EXPECT_EQ(0, RunPython("import sys, zipfile\n"
                           "with zipfile.ZipFile(sys.argv[1]) as z, open(sys.argv[2], 'w') as o:\n"
                           "    for i in z.infolist():\n"
                           "        raw = i.orig_filename.encode('utf-8' if i.flag_bits & 0x800 else 'cp437')\n"
                           "        o.write(raw.hex() + ' ' + str(i.flag_bits & 0x800) + ' ' + i.extra.hex() + '\\n')\n",
                           {archive.string(), out.string()}));
    const auto bytes = ReadBytes(out);
    std::vector<std::string> lines;
    std::string text(bytes.begin(), bytes.end());
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = text.find('\n', at);
      lines.push_back(text.substr(at, end - at));
      at = end + 1;
    }
    return lines;
  };
  const std::vector<std::string> before = stored();
  const std::vector<std::string> real = {"first.txt", "caf\xC3\xA9.txt", japan + ".txt", china + ".txt"};
  EXPECT_EQ(real, ListWithEngine(archive));
  const auto result = WriteWithEngine(archive, false, [&](zip::TZipArchiver& a) { a.DeleteFiles("first.txt"); });
  ASSERT_TRUE(result.Succeeded()) << result.Message;
  EXPECT_EQ(std::vector<std::string>(before.begin() + 1, before.end()), stored());
  EXPECT_EQ(std::vector<std::string>(real.begin() + 1, real.end()), ListWithEngine(archive));
  EXPECT_EQ("", PeerCheck(archive));
  const TEngineRun run = ExtractWithEngine(archive, tmp / "out");
  EXPECT_TRUE(run.Result.Succeeded());
  EXPECT_EQ((std::vector<std::string>{"caf\xC3\xA9.txt", china + ".txt", japan + ".txt"}), ListTree(tmp / "out"));
}

// A password outside ASCII is its UTF-8 bytes, as unzip -P and 7-Zip take it from a UTF-8
// command line: each side opens what the other encrypted (7-Zip tests ours; it refuses to
// encrypt with such a password itself).
TEST(InternationalNames, Utf8PasswordsAgreeWithThePeers) {
  TTempDir tmp;
  const std::string password = "p\xC3\xA4ssw\xC3\xB6rd-\xE6\x97\xA5\xE6\x9C\xAC";  // pässwörd-日本
  const fs::path src = tmp / "src";
  WriteBytes(src / "secret.txt", TextBytes(5000, 4));
  StampTimes(src);
  const fs::path ours = tmp / "ours.zip";
  ASSERT_EQ(0, Zipwrite("create " + Quote(ours.string()) + " secret.txt --password " + Quote(password) + " --base " +
                        Quote(src.string())));
  EXPECT_EQ(0, Shell("unzip -tqq -P " + Quote(password) + " " + Quote(ours.string()) + " >/dev/null 2>&1"));
  EXPECT_EQ(0, Shell("7zz t -bso0 -bsp0 -p" + Quote(password) + " " + Quote(ours.string()) + " >/dev/null 2>&1"));
  EXPECT_EQ("", PeerCheck(ours, password));

  const fs::path theirs = tmp / "zip.zip";
  ASSERT_EQ(0, Shell("cd " + Quote(src.string()) + " && zip -q -P " + Quote(password) + " " + Quote(theirs.string()) +
                     " secret.txt"));
  const fs::path out = tmp / "out";
  ASSERT_EQ(0, Shell(Quote(ReadCli) + " extract " + Quote(theirs.string()) + " " + Quote(out.string()) + " --password " +
                     Quote(password) + " >/dev/null 2>&1"));
  EXPECT_EQ(TextBytes(5000, 4), ReadBytes(out / "secret.txt"));
}

// A front end reports success only when every item was processed: items skipped at the password
// question (the password given is wrong, no other is known) fail the run, as unzip's exit code 82
// says "no files found due to bad decryption password".
TEST(FrontEnds, SkippedItemsAreNoSuccess) {
  TTempDir tmp;
  const fs::path src = tmp / "src";
  WriteText(src / "secret.txt", "secret");
  WriteText(src / "other.txt", "other");
  const fs::path archive = tmp / "enc.zip";
  ASSERT_EQ(0, Shell("cd " + Quote(src.string()) + " && zip -q -P right " + Quote(archive.string()) +
                     " secret.txt other.txt"));
  EXPECT_EQ(82, Shell("unzip -qq -P wrong " + Quote(archive.string()) + " -d " + Quote((tmp / "unzip").string()) +
                      " >/dev/null 2>&1"));
  const struct {
    std::string Arguments;
    int Status;
  } runs[] = {
      {Quote(ReadCli) + " extract " + Quote(archive.string()) + " " + Quote((tmp / "wrong").string()) + " --password wrong", 1},
      {Quote(ReadCli) + " extract " + Quote(archive.string()) + " " + Quote((tmp / "right").string()) + " --password right", 0},
      {Quote(WriteCli) + " test " + Quote(archive.string()) + " --password wrong", 1},
      {Quote(WriteCli) + " test " + Quote(archive.string()) + " --password right", 0},
  };
  for (const auto& run : runs) {
    EXPECT_EQ(run.Status, Shell(run.Arguments + " >/dev/null 2>&1")) << run.Arguments;
  }
  EXPECT_FALSE(fs::exists(tmp / "wrong" / "secret.txt") || fs::exists(tmp / "wrong" / "other.txt"));
  EXPECT_EQ((std::vector<std::string>{"other.txt", "secret.txt"}), ListTree(tmp / "right"));
}

}  // namespace
