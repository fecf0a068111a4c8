// The name index behind the operations that add, rename and delete items: after any series of
// changes it answers what a walk of the directory from its first item answers (names held twice
// included), and it follows each change instead of being built again, so that filling a bracket
// with many items costs time in step with their number.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "ZANameIndex.h"
#include "ZipEngineRun.h"
#include "ZipWriteSupport.h"

namespace {

using namespace ziptest;

// What the index must answer: the first item of that name.
std::int32_t Walk(const zip::TZADirArray& dir, const std::string& name) {
  for (std::int32_t i = 0; i < dir.GetCount(); ++i)
    if (dir.ItemRef(i).Name == name) return i;
  return -1;
}

bool WalkPrefix(const zip::TZADirArray& dir, const std::string& prefix, std::int32_t except) {
  for (std::int32_t i = 0; i < dir.GetCount(); ++i)
    if (i != except && dir.ItemRef(i).Name.starts_with(prefix)) return true;
  return false;
}

// Names that collide, nest and differ only by case or a trailing "/".
const std::vector<std::string> Pool = {"a", "a/", "A", "a/b", "a/b/", "a/bc", "ab", "b", "b/c", "", "x.txt"};

TEST(NameIndex, FollowsEveryChangeOfTheDirectory) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto pick = [&](std::size_t n) { return static_cast<std::int32_t>(random() % n); };
    zip::TZADirArray dir;
    zip::TZANameIndex index;
    // A directory loaded with names held twice, before the index is first used.
    for (const char* name : {"a", "b", "a", "a/b"}) {
      dir.SetCount(dir.GetCount() + 1);
      dir.ItemRef(dir.GetCount() - 1).Name = name;
    }
    for (int step = 0; step < 400; ++step) {
      const int what = pick(10);
      if (what < 5 || dir.GetCount() == 0) {
        zip::TDirItem item;
        item.Name = Pool[pick(Pool.size())];
        dir.SetCount(dir.GetCount() + 1);
        dir.SetItem(dir.GetCount() - 1, item);
        index.Added(dir, dir.GetCount() - 1);
      } else if (what < 8) {
        const std::int32_t at = pick(dir.GetCount());
        const std::string old = dir.ItemRef(at).Name;
        dir.ItemRef(at).Name = Pool[pick(Pool.size())];
        index.Renamed(dir, at, old);
      } else {
        const std::int32_t at = pick(dir.GetCount());
        const std::string old = dir.ItemRef(at).Name;
        dir.RemoveItem(at);
        index.Removed(dir, at, old);
      }
      for (const std::string& name : Pool) {
        ASSERT_EQ(Walk(dir, name), index.Find(dir, name)) << "step " << step << ", name \"" << name << "\"";
        const std::int32_t except = pick(dir.GetCount() + 1) - 1;
        ASSERT_EQ(WalkPrefix(dir, name + "/", except), index.AnyOtherWithPrefix(dir, name + "/", except))
            << "step " << step << ", prefix \"" << name << "/\" except " << except;
      }
    }
    // Built once, at the first look-up, and kept in step from then on.
    EXPECT_EQ(1, index.Builds());
  }
}

TEST(NameIndex, WholeChangesOfTheDirectoryAreNotMissed) {
  zip::TZADirArray dir;
  zip::TZANameIndex index;
  dir.SetCount(2);
  dir.ItemRef(0).Name = "a";
  dir.ItemRef(1).Name = "b";
  EXPECT_EQ(1, index.Find(dir, "b"));
  // An item appended or removed without a word: the count tells.
  dir.SetCount(3);
  dir.ItemRef(2).Name = "c";
  EXPECT_EQ(2, index.Find(dir, "c"));
  dir.RemoveItem(0);
  EXPECT_EQ(0, index.Find(dir, "b"));
  EXPECT_EQ(-1, index.Find(dir, "a"));
  // An item renamed without a word is found out when its old name is asked for.
  dir.ItemRef(0).Name = "z";
  EXPECT_EQ(-1, index.Find(dir, "b"));
  EXPECT_EQ(0, index.Find(dir, "z"));
  // A directory replaced as a whole, once the index is told.
  zip::TZADirArray other;
  other.SetCount(2);
  other.ItemRef(0).Name = "q";
  other.ItemRef(1).Name = "z";
  dir.CopyFrom(other);
  index.Forget();
  EXPECT_EQ(1, index.Find(dir, "z"));
  EXPECT_EQ(0, index.Find(dir, "q"));
}

// The archiver's own look-up, as its add, rename and delete operations use it.
class TIndexedArchiver : public zip::TZipArchiver {
 public:
  using zip::TZABaseArchiver::FindItemByName;
  std::int64_t IndexBuilds() const { return FNameIndex.Builds(); }
};

void MakeArchiveWithDuplicates(const fs::path& archive) {
  // Python writes a second entry of a name it holds already (with a warning).
  ASSERT_EQ(0, RunPython("import sys, zipfile, warnings\n"
                         "warnings.simplefilter('ignore')\n"
                         "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                         "    for n in ['a', 'b', 'a', 'a/b', 'sub/', 'a']:\n"
                         "        z.writestr(n, n)\n",
                         {archive.string()}));
}

// A random series of the operations a caller makes in one bracket, disk files and streams, files
// and folders, renames refused and taken, deletes by mask and by index: after each one the
// archiver finds every name where a walk of its directory does.
TEST(NameIndex, AnArchiverBracketFindsWhatAWalkFinds) {
  TTempDir dir;
  WriteText(dir / "src" / "x.txt", "x");
  WriteText(dir / "src" / "sub" / "y.txt", "y");
  std::vector<std::string> names = Pool;
  for (const char* more : {"sub", "sub/", "sub/y.txt", "c", "c/"}) names.push_back(more);
  for (unsigned seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto pick = [&](std::size_t n) { return static_cast<std::int32_t>(random() % n); };
    const fs::path archive = dir / ("a" + std::to_string(seed) + ".zip");
    MakeArchiveWithDuplicates(archive);
    TIndexedArchiver a;
    TWriteRun run;
    PrepareArchiver(a, run);
    a.FileName = EngineName(archive);
    a.BaseDir = EngineName(dir / "src");
    a.OpenArchive(zip::fmOpenReadWriteDenyWrite);
    a.BeginUpdate();
    int cancelled = 0;
    for (int step = 0; step < 150; ++step) {
      const std::string name = names[pick(names.size())];
      const std::string other = names[pick(names.size())];
      const int what = pick(12);
      try {
        if (what < 4) {
          if (!name.empty()) a.AddFromStream(name, nullptr, pick(2) ? zip::faDirectory : zip::faArchive);
        } else if (what < 5) {
          a.AddFiles(pick(2) ? "x.txt" : "sub");
        } else if (what < 6) {
          a.UpdateFiles(pick(2) ? "x.txt" : "sub/y.txt");
        } else if (what < 9) {
          a.RenameItem(name, other);
        } else if (what < 10) {
          if (!name.empty()) a.DeleteFiles(name);
        } else if (a.ItemCount() > 0) {
          a.DeleteDirItem(pick(a.ItemCount()));
        }
      } catch (const zip::EZAException&) {
        // A refusal drops the bracket's changes; the series goes on in a new one.
        ++cancelled;
      }
      if (!a.InUpdate()) a.BeginUpdate();
      for (const std::string& n : names) {
        ASSERT_EQ(Walk(*a.CentralDir(), n), a.FindItemByName(n)) << "step " << step << ", name \"" << n << "\"";
      }
    }
    // Built again only after a dropped bracket put the whole directory back.
    EXPECT_LE(a.IndexBuilds(), 1 + cancelled);
    a.CloseArchive();
  }
}

// Thousands of items added, renamed and deleted in one bracket: the index is built once, at the
// first look-up, and follows every change from then on.
TEST(NameIndex, ManyChangesInOneBracketBuildItOnce) {
  TTempDir dir;
  TIndexedArchiver a;
  TWriteRun run;
  PrepareArchiver(a, run);
  a.FileName = EngineName(dir / "many.zip");
  a.OpenArchive(zip::ZAFileModeCreate);
  a.BeginUpdate();
  for (int i = 0; i < 3000; ++i) a.AddFromStream("f" + std::to_string(i), nullptr);
  for (int i = 0; i < 3000; i += 3) a.RenameItem("f" + std::to_string(i), "r/" + std::to_string(i));
  for (int i = 1; i < 3000; i += 3) a.DeleteDirItem(a.FindItemByName("f" + std::to_string(i)));
  for (int i = 0; i < 3000; i += 3) a.AddFromStream("f" + std::to_string(i), nullptr);
  ASSERT_TRUE(a.InUpdate());
  EXPECT_EQ(3000, a.ItemCount());
  EXPECT_EQ(1, a.IndexBuilds());
  for (const char* name : {"r/2997", "f2997", "f2996", "f0"}) {
    EXPECT_NE(-1, a.FindItemByName(name)) << name;
    EXPECT_EQ(Walk(*a.CentralDir(), name), a.FindItemByName(name)) << name;
  }
  EXPECT_EQ(-1, a.FindItemByName("f2998"));
  a.CloseArchive();
  EXPECT_TRUE(a.LastCommitResult().Succeeded()) << a.LastCommitResult().Message;
}

// A folder given by its name with or without the "/" it is stored with is one entry, whichever
// way it is added again.
TEST(StreamFolders, AddedAgainIsOneEntry) {
  TTempDir dir;
  const fs::path archive = dir / "f.zip";
  const auto result = WriteWithEngine(archive, true, [&](zip::TZipArchiver& a) {
    a.AddFromStream("d", nullptr, zip::faDirectory);
    a.AddFromStream("d/", nullptr, zip::faDirectory);
    a.AddFromStream("d", nullptr, zip::faDirectory);
    a.AddFromStream("d/e.txt", std::make_shared<zip::TZAMemoryStream>(std::vector<std::uint8_t>{'e'}));
  });
  ASSERT_TRUE(result.Succeeded()) << result.Message;
  EXPECT_EQ((std::vector<std::string>{"d/", "d/e.txt"}), ListWithEngine(archive));
  EXPECT_EQ("", PeerCheck(archive));
}

}  // namespace
