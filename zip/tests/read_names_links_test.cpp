// What lands on disk for international names and for Unix links: every character of a name, so
// that two names never become one file; links created only where they stay inside the target
// folder, never written through; modes restored as permission bits only.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ZipEngineRun.h"
#include "ZipTestSupport.h"

namespace {

using namespace ziptest;

class NamesAndLinks : public ::testing::Test {
 protected:
  TTempDir Dir;
  static std::string Text(const fs::path& p) {
    const auto bytes = ReadBytes(p);
    return std::string(bytes.begin(), bytes.end());
  }
};

// Names outside Windows-1252 (UTF-8 ones, and OEM ones whose characters Windows-1252 lacks) each
// get their own file under their real name, which is also what masks and events see.
TEST_F(NamesAndLinks, EveryNameLandsUnderItsRealName) {
  const fs::path archive = Dir / "names.zip";
  ASSERT_EQ(0, RunPython("import zipfile,sys\n"
                         "utf8=[('日本.txt','ja'),('中国.txt','zh'),('Ελλάδα/файл.txt','el'),('café.txt','fr'),\n"
                         "      ('emoji-\\U0001F600.txt','smile')]\n"
                         "# OEM names (code page 850, no UTF-8 flag, a DOS host): written under placeholders first\n"
                         "oem=[('A.txt',b'\\xc9.txt','c9'),('B.txt',b'\\xbb.txt','bb'),('CC.txt',b'\\x82\\x8a.txt','ee')]\n"
                         "with zipfile.ZipFile(sys.argv[1],'w') as z:\n"
                         "  for n,d in utf8:\n"
                         "    zi=zipfile.ZipInfo(n,(2022,5,6,7,8,10)); zi.external_attr=0o100644<<16; zi.create_system=3\n"
                         "    z.writestr(zi,d)\n"
                         "  for n,_,d in oem:\n"
                         "    zi=zipfile.ZipInfo(n,(2022,5,6,7,8,10)); zi.create_system=0\n"
                         "    z.writestr(zi,d)\n"
                         "data=open(sys.argv[1],'rb').read()\n"
                         "for n,raw,_ in oem: data=data.replace(n.encode(),raw)\n"
                         "open(sys.argv[1],'wb').write(data)\n",
                         {archive.string()}));
  const TEngineRun run = ExtractWithEngine(archive, Dir / "out");
  ASSERT_TRUE(run.Opened) << run.OpenMessage;
  EXPECT_TRUE(run.Failures.empty()) << run.Failures.front();
  EXPECT_EQ(8, run.Result.Processed);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"日本.txt", "ja"}, {"中国.txt", "zh"}, {"Ελλάδα/файл.txt", "el"}, {"café.txt", "fr"},
      {"emoji-\U0001F600.txt", "smile"}, {"╔.txt", "c9"}, {"╗.txt", "bb"}, {"éè.txt", "ee"}};
  for (const auto& [name, text] : expected) EXPECT_EQ(text, Text(Dir / "out" / name)) << name;
  EXPECT_EQ(9u, ListTree(Dir / "out").size());  // eight files and the folder

  // The real names are what masks and events see.
  const std::vector<std::string> names = ListWithEngine(archive);
  EXPECT_EQ("日本.txt", names[0]);
  EXPECT_EQ("中国.txt", names[1]);
  EXPECT_EQ("café.txt", names[3]);
}

// A tree whose names Info-ZIP's zip stores as they are on disk comes out as unzip writes it.
TEST_F(NamesAndLinks, InternationalTreeAsUnzipWritesIt) {
  const fs::path src = Dir / "src";
  for (const char* name : {"日本/東京.txt", "中国/北京.txt", "한국어.txt", "Ünïcödé/ß.txt", "עברית.txt"}) {
    fs::create_directories((src / name).parent_path());
    WriteText(src / name, std::string("content of ") + name);
  }
  StampTimes(src);
  ASSERT_EQ(0, Shell("cd " + Quote(src.string()) + " && zip -q -r " + Quote((Dir / "i.zip").string()) + " ."));
  ASSERT_EQ(0, Shell("unzip -qq " + Quote((Dir / "i.zip").string()) + " -d " + Quote((Dir / "unzip").string())));
  const TEngineRun run = ExtractWithEngine(Dir / "i.zip", Dir / "engine");
  ASSERT_TRUE(run.Result.Succeeded()) << (run.Failures.empty() ? run.OpenMessage : run.Failures.front());
  EXPECT_EQ("", CompareTrees(Dir / "unzip", Dir / "engine"));
  EXPECT_EQ("", CompareTrees(src, Dir / "engine"));
}

// Links made by zip -y: a relative link that stays inside the target folder is created as a link;
// an absolute one and one that climbs out are refused through the failure event. None becomes a
// file holding the link's text.
TEST_F(NamesAndLinks, LinksInsideAreCreatedOthersRefused) {
  const fs::path src = Dir / "src";
  fs::create_directories(src / "sub");
  WriteText(src / "target.txt", "the target");
  fs::create_symlink("target.txt", src / "rel-link");
  fs::create_symlink("../target.txt", src / "sub/up-link");
  fs::create_symlink("sub", src / "dir-link");
  fs::create_symlink("/etc/passwd", src / "abs-link");
  fs::create_symlink("../../outside", src / "sub/escape-link");
  ASSERT_EQ(0, Shell("cd " + Quote(src.string()) + " && zip -q -r -y " + Quote((Dir / "l.zip").string()) + " ."));

  const fs::path out = Dir / "jail/out";
  const TEngineRun run = ExtractWithEngine(Dir / "l.zip", out);
  ASSERT_TRUE(run.Opened) << run.OpenMessage;
  std::vector<std::string> failures = run.Failures;
  std::sort(failures.begin(), failures.end());
  EXPECT_EQ((std::vector<std::string>{"abs-link: 79", "sub\\escape-link: 79"}), failures);
  for (const auto& [link, target] : std::vector<std::pair<const char*, const char*>>{
           {"rel-link", "target.txt"}, {"sub/up-link", "../target.txt"}, {"dir-link", "sub"}}) {
    ASSERT_TRUE(fs::is_symlink(out / link)) << link;
    EXPECT_EQ(target, fs::read_symlink(out / link).string());
  }
  EXPECT_EQ("the target", Text(out / "sub/up-link"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(out / "abs-link")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(out / "sub/escape-link")));
  EXPECT_EQ(std::vector<std::string>{"out/"}, std::vector<std::string>{ListTree(Dir / "jail").front()});
}

// A link that is harmless on its own must not carry a later item (or link) out of the folder: nothing
// is written through a link.
TEST_F(NamesAndLinks, NothingIsWrittenThroughALink) {
  const fs::path archive = Dir / "chain.zip";
  ASSERT_EQ(0, RunPython("import zipfile,sys\n"
                         "def link(z,n,t):\n"
                         "  zi=zipfile.ZipInfo(n,(2022,5,6,7,8,10)); zi.external_attr=0o120777<<16; zi.create_system=3\n"
                         "  z.writestr(zi,t)\n"
                         "with zipfile.ZipFile(sys.argv[1],'w') as z:\n"
                         "  link(z,'x','.')\n"          // inside on its own
                         "  link(z,'x/l','..')\n"       // read lexically inside, but x is the folder itself
                         "  z.writestr('x/f.txt','through the link')\n"
                         "  z.writestr('ok.txt','fine')\n",
                         {archive.string()}));
  const fs::path out = Dir / "jail/out";
  const TEngineRun run = ExtractWithEngine(archive, out);
  ASSERT_TRUE(run.Opened) << run.OpenMessage;
  EXPECT_EQ((std::vector<std::string>{"x\\l: 20", "x\\f.txt: 20"}), run.Failures);
  EXPECT_TRUE(fs::is_symlink(out / "x"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(out / "l")));
  EXPECT_FALSE(fs::exists(out / "f.txt"));
  EXPECT_EQ("fine", Text(out / "ok.txt"));
  std::vector<std::string> jail;
  for (const auto& entry : fs::directory_iterator(Dir / "jail")) jail.push_back(entry.path().filename().string());
  EXPECT_EQ(std::vector<std::string>{"out"}, jail);
}

// The links below root that, fully resolved, land outside it (a dangling one by what exists of its
// way; a loop counts as outside).
std::vector<std::string> LinksLeadingOutside(const fs::path& root) {
  std::vector<std::string> outside;
  const fs::path top = fs::canonical(root);
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    if (!it->is_symlink()) continue;
    std::error_code ec;
    const fs::path leads = fs::weakly_canonical(it->path().parent_path() / fs::read_symlink(it->path()), ec);
    const auto rel = leads.lexically_relative(top);
    if (ec || rel.empty() || *rel.begin() == "..") outside.push_back(it->path().lexically_relative(root).string());
  }
  return outside;
}

struct TLinkChain {
  const char* Name;
  // Python list of entries in archive order: ('L', name, target), ('F', name, data), ('D', name).
  const char* Entries;
  std::vector<std::string> Failures;           // "name: code", in order
  std::vector<std::pair<std::string, std::string>> Reads;  // path read through the links, its text
  // Links in the target folder before the run (path, target), put there by someone else.
  std::vector<std::pair<std::string, std::string>> OnDisk = {};
};

// Links that each stay inside as written but lead outside together, through the links made before
// them, are refused with their own message (79); chains that stay inside still work; no file is ever
// written through a link. A link whose way passed a name that did not exist yet (or was a file, or
// a link) is judged again when a later item makes a link there: the later link is refused when the
// earlier one would lead outside through it, whatever was on disk before. The folder beside the
// target ("outside") holds a program a link must never reach.
TEST_F(NamesAndLinks, LinkChainsAreJudgedWhereTheyLeadOnDisk) {
  const std::vector<TLinkChain> cases = {
      {"each-inside-as-written",
       "[('L','b','.'),('L','a','b/..'),('L','OrvalisP.exe','a/../outside/evil.sh')]",
       {"a: 79", "OrvalisP.exe: 79"}, {}},
      {"up-through-a-folder-link",
       "[('D','sub/'),('L','up','sub/..'),('L','x','sub'),('L','y','x/../..')]", {"y: 79"}, {}},
      {"deeper-folder-climbs-through-a-link-to-the-top",
       "[('L','top','.'),('D','d1/d2/'),('L','d1/d2/deep','../../top/..')]", {"d1\\d2\\deep: 79"}, {}},
      {"a-missing-part-then-up",
       "[('L','m','later/../..'),('L','n','later/x')]", {"m: 79"}, {}},
      {"a-replaced-link-would-carry-an-earlier-one-out",
       "[('D','sub/'),('L','x','sub'),('L','c','x/../y'),('L','x','.')]", {"x: 79"}, {}},
      {"a-file-through-an-earlier-link",
       "[('D','sub/'),('L','l','sub'),('F','l/f.txt','through the link'),('F','sub/g.txt','g')]",
       {"l\\f.txt: 20"}, {{"l/g.txt", "g"}}},
      {"a-loop",
       "[('L','p','q'),('L','q','p')]", {"q: 79"}, {}},
      {"a-chain-that-stays-inside",
       "[('D','data/'),('F','data/real.txt','real'),('L','l1','data'),('L','l2','l1/real.txt'),"
       "('D','sub/'),('L','sub/l3','../l2'),('L','sub/l4','../l1/../data/real.txt')]",
       {}, {{"sub/l3", "real"}, {"sub/l4", "real"}, {"l1/real.txt", "real"}}},
      {"a-missing-name-made-a-link-to-one-leading-outside",
       "[('L','x','foo/bar'),('L','foo','sub')]", {"foo: 79"}, {}, {{"sub/bar", "../../outside"}}},
      {"the-updater-program-through-a-link-made-later",
       "[('L','OrvalisP.exe','foo/bar/evil.sh'),('F','ok.txt','ok'),('L','foo','sub')]", {"foo: 79"},
       {{"ok.txt", "ok"}}, {{"sub/bar", "../../outside"}}},
      {"a-file-at-the-name-replaced-by-a-link",
       "[('F','f','plain'),('L','x','f/bar'),('L','f','sub')]", {"f: 79"}, {{"f", "plain"}},
       {{"sub/bar", "../../outside"}}},
      {"a-folder-made-at-the-missing-name-then-a-link-below-it",
       "[('L','x','f/y/bar'),('F','f/z.txt','z'),('L','f/y','../sub')]", {"f\\y: 79"}, {{"f/z.txt", "z"}},
       {{"sub/bar", "../../outside"}}},
      {"a-link-passed-through-a-link-that-met-a-missing-name",
       "[('L','x','foo/bar'),('L','foo','l'),('L','l','sub')]", {"l: 79"}, {}, {{"sub/bar", "../../outside"}}},
      {"a-link-on-disk-replaced-under-an-earlier-link",
       "[('L','x','old/bar'),('L','old','sub')]", {"old: 79"}, {}, {{"sub/bar", "../../outside"}, {"old", "."}}},
      {"a-missing-name-made-a-link-that-stays-inside",
       "[('D','data/bar/'),('F','data/bar/t.txt','t'),('L','x','foo/bar'),('L','foo','data'),"
       "('L','y','foo/bar/t.txt')]",
       {}, {{"x/t.txt", "t"}, {"y", "t"}}, {{"sub/bar", "../../outside"}}},
  };
  for (const TLinkChain& c : cases) {
    SCOPED_TRACE(c.Name);
    const fs::path dir = Dir / c.Name;
    const fs::path archive = dir / "links.zip";
    fs::create_directories(dir);
    ASSERT_EQ(0, RunPython(std::string("import zipfile,sys\n"
                                       "with zipfile.ZipFile(sys.argv[1],'w') as z:\n"
                                       "  for e in ") + c.Entries + ":\n"
                                       "    zi=zipfile.ZipInfo(e[1],(2022,5,6,7,8,10)); zi.create_system=3\n"
                                       "    zi.external_attr={'L':0o120777,'F':0o100644,'D':0o40755}[e[0]]<<16\n"
                                       "    if e[0]=='D': zi.external_attr|=0x10\n"
                                       "    z.writestr(zi, e[2] if len(e)>2 else '')\n",
                           {archive.string()}));
    WriteText(dir / "jail/outside/evil.sh", "#!/bin/sh\necho reached\n");
    const fs::path out = dir / "jail/out";
    for (const auto& [path, target] : c.OnDisk) {
      fs::create_directories((out / path).parent_path());
      fs::create_symlink(target, out / path);
    }
    const std::vector<std::string> theirsOutside = c.OnDisk.empty() ? std::vector<std::string>{} : LinksLeadingOutside(out);
    const TEngineRun run = ExtractWithEngine(archive, out);
    ASSERT_TRUE(run.Opened) << run.OpenMessage;
    EXPECT_EQ(c.Failures, run.Failures);
    EXPECT_EQ(theirsOutside, LinksLeadingOutside(out));
    for (const auto& [path, text] : c.Reads) EXPECT_EQ(text, Text(out / path)) << path;
    EXPECT_EQ(std::vector<std::string>{"evil.sh"}, ListTree(dir / "jail/outside"));
  }
}

// The same chain as Info-ZIP's zip -y stores it from a tree on disk (in the order it finds the
// links), and links already in the target folder: a new link is judged through them too, and a
// file is never written through them.
TEST_F(NamesAndLinks, LinksOnDiskAndFromInfoZipAreJudgedToo) {
  const fs::path src = Dir / "src";
  fs::create_directories(src);
  fs::create_symlink(".", src / "b");
  fs::create_symlink("b/..", src / "a");
  fs::create_symlink("a/../outside/evil.sh", src / "OrvalisP.exe");
  fs::create_symlink("ext/x", src / "via-ext");
  WriteText(src / "ext-file/f.txt", "placeholder");
  ASSERT_EQ(0, Shell("cd " + Quote(src.string()) + " && zip -q -r -y " + Quote((Dir / "y.zip").string()) + " . && " +
                     "python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                     "assert all(i.external_attr>>28==0xA for i in z.infolist() if i.filename in ('a','b','OrvalisP.exe'))\" " +
                     Quote((Dir / "y.zip").string())));
  // Already in the target folder: a link to a folder outside it, and a name the archive's file
  // folder will meet as a link.
  const fs::path out = Dir / "jail/out";
  fs::create_directories(out);
  fs::create_directories(Dir / "jail/outside");
  WriteText(Dir / "jail/outside/evil.sh", "#!/bin/sh\n");
  fs::create_symlink(Dir / "jail/outside", out / "ext");
  fs::create_symlink(Dir / "jail/outside", out / "ext-file");
  const TEngineRun run = ExtractWithEngine(Dir / "y.zip", out);
  ASSERT_TRUE(run.Opened) << run.OpenMessage;
  std::vector<std::string> failures = run.Failures;
  std::sort(failures.begin(), failures.end());
  // b may come first (then it is made) or after a (then a is refused for its missing part).
  EXPECT_EQ((std::vector<std::string>{"OrvalisP.exe: 79", "a: 79", "ext-file\\: 20", "ext-file\\f.txt: 20",
                                      "via-ext: 79"}), failures);
  EXPECT_FALSE(fs::exists(fs::symlink_status(out / "OrvalisP.exe")));
  const std::vector<std::string> outside = LinksLeadingOutside(out);
  // Only the links the test put there lead outside.
  EXPECT_EQ((std::vector<std::string>{"ext", "ext-file"}), [&] {
    auto sorted = outside;
    std::sort(sorted.begin(), sorted.end());
    return sorted;
  }());
  EXPECT_EQ(std::vector<std::string>{"evil.sh"}, ListTree(Dir / "jail/outside"));

  // A later archive may move a link that leads inside, even with those links outside beside it.
  ASSERT_EQ(0, RunPython("import zipfile,sys\n"
                         "with zipfile.ZipFile(sys.argv[1],'w') as z:\n"
                         "  zi=zipfile.ZipInfo('d/',(2022,5,6,7,8,10)); zi.external_attr=(0o40755<<16)|0x10\n"
                         "  zi.create_system=3; z.writestr(zi,'')\n"
                         "  zi=zipfile.ZipInfo('b',(2022,5,6,7,8,10)); zi.external_attr=0o120777<<16\n"
                         "  zi.create_system=3; z.writestr(zi,'d')\n",
                         {(Dir / "moved.zip").string()}));
  const TEngineRun moved = ExtractWithEngine(Dir / "moved.zip", out);
  EXPECT_TRUE(moved.Failures.empty()) << moved.Failures.front();
  EXPECT_EQ("d", fs::read_symlink(out / "b").string());
}

// Links are judged by the ways they take, never by a look through the whole target folder: an
// extraction into a folder that holds many files, and a folder its owner may not read, lists no
// folder at all, and links that replace links (one of this run, one that was on disk) are made,
// not refused for the folder that cannot be read. Run as the folder's unprivileged owner, under
// strace.
TEST_F(NamesAndLinks, LinksAreJudgedWithoutLookingThroughTheFolder) {
  if (::geteuid() != 0) GTEST_SKIP() << "running the extraction as another user needs root";
  if (Shell("strace -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "strace is not installed";
  const fs::path archive = Dir / "links.zip";
  ASSERT_EQ(0, RunPython("import zipfile,sys\n"
                         "with zipfile.ZipFile(sys.argv[1],'w') as z:\n"
                         "  for e in [('D','data/'),('F','data/f.txt','f'),('L','l','data'),('L','y','l/f.txt'),\n"
                         "            ('L','l','./data'),('L','old','data/f.txt')]:\n"
                         "    zi=zipfile.ZipInfo(e[1],(2022,5,6,7,8,10)); zi.create_system=3\n"
                         "    zi.external_attr={'L':0o120777,'F':0o100644,'D':0o40755}[e[0]]<<16\n"
                         "    z.writestr(zi, e[2] if len(e)>2 else '')\n",
                         {archive.string()}));
  const fs::path out = Dir / "home";
  for (int i = 0; i < 3000; ++i) WriteText(out / "big" / ("file" + std::to_string(i)), "x");
  WriteText(out / "locked/private.txt", "private");
  fs::create_symlink("big", out / "old");
  ASSERT_EQ(0, Shell("chown -R -h 65534:65534 " + Quote(Dir.Path().string()) + " && chmod 0755 " +
                     Quote(Dir.Path().string()) + " && chmod 0 " + Quote((out / "locked").string())));
  const fs::path log = Dir / "strace.log";
  const fs::path said = Dir / "said.txt";
  EXPECT_EQ(0, Shell("ASAN_OPTIONS=detect_leaks=0 strace -f -qq -e trace=getdents64,getdents -o " + Quote(log.string()) +
                     " setpriv --reuid=65534 --regid=65534 --clear-groups " + Quote(ZIPREAD_CLI) + " extract " +
                     Quote(archive.string()) + " " + Quote(out.string()) + " >" + Quote(said.string()) + " 2>&1"));
  EXPECT_EQ("selected 6 processed 6 failed 0 skipped 0\n", Text(said));
  EXPECT_EQ("", Text(log));
  EXPECT_EQ("./data", fs::read_symlink(out / "l").string());
  EXPECT_EQ("data/f.txt", fs::read_symlink(out / "old").string());
  EXPECT_EQ("f", Text(out / "y"));
}

// Only the permission bits of a Unix mode are restored: no setuid, setgid or sticky bit, and a file
// type other than a link (a device, a pipe) gives a plain file.
TEST_F(NamesAndLinks, ModesArePermissionBitsOnly) {
  const fs::path archive = Dir / "modes.zip";
  ASSERT_EQ(0, RunPython("import zipfile,sys\n"
                         "with zipfile.ZipFile(sys.argv[1],'w') as z:\n"
                         "  for n,m in [('suid',0o104755),('sgid',0o102750),('sticky',0o101777),('chardev',0o020644),\n"
                         "              ('fifo',0o010600)]:\n"
                         "    zi=zipfile.ZipInfo(n,(2022,5,6,7,8,10)); zi.external_attr=m<<16; zi.create_system=3\n"
                         "    z.writestr(zi,'data of '+n)\n",
                         {archive.string()}));
  const TEngineRun run = ExtractWithEngine(archive, Dir / "out");
  ASSERT_TRUE(run.Result.Succeeded()) << (run.Failures.empty() ? run.OpenMessage : run.Failures.front());
  for (const auto& [name, mode] : std::vector<std::pair<const char*, unsigned>>{
           {"suid", 0755}, {"sgid", 0750}, {"sticky", 0777}, {"chardev", 0644}, {"fifo", 0600}}) {
    struct stat st {};
    ASSERT_EQ(0, ::lstat((Dir / "out" / name).c_str(), &st)) << name;
    EXPECT_TRUE(S_ISREG(st.st_mode)) << name;
    EXPECT_EQ(mode, st.st_mode & 07777) << name;
    EXPECT_EQ(std::string("data of ") + name, Text(Dir / "out" / name));
  }
}

}  // namespace
