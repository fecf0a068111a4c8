// Damaged, foreign and unsupported archives: what the engine recovers, what it refuses, and that
// it never takes down more than the item at fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "ZAStream.h"

#include "ZipBuilder.h"
#include "ZipEngineRun.h"
#include "SampleTreeSuite.h"
#include "ZipTestSupport.h"

namespace {

using namespace ziptest;

class DamagedArchives : public SampleTreeSuite {
 protected:

  fs::path Zip(const std::string& options, const std::string& name = "a.zip") {
    const fs::path archive = Dir / name;
    EXPECT_EQ(0, Shell("cd " + Quote(Source().string()) + " && zip -q -r " + options + " " + Quote(archive.string()) + " ."));
    return archive;
  }
  // Offset of the data of one item, as Python's zipfile reads the local header.
  std::size_t DataOffset(const fs::path& archive, const std::string& item) {
    const fs::path result = Dir / "offset.txt";
    EXPECT_EQ(0, RunPython("import zipfile,struct,sys\n"
                           "z=zipfile.ZipFile(sys.argv[1]); i=z.getinfo(sys.argv[2]); f=open(sys.argv[1],'rb')\n"
                           "f.seek(i.header_offset); h=f.read(30); n,e=struct.unpack('<HH',h[26:30])\n"
                           "open(sys.argv[3],'w').write(str(i.header_offset+30+n+e))\n",
                           {archive.string(), item, result.string()}));
    const auto text = ReadBytes(result);
    return std::stoul(std::string(text.begin(), text.end()));
  }
  TTempDir Dir;
};

// Without a usable end record the directory is rebuilt from the local headers; every item comes
// back with its bytes and date, and the run reports the damaged directory as a failure of its own
// (code 83), so that it never reads as a whole archive's.
TEST_F(DamagedArchives, DirectoryRebuiltFromLocalHeaders) {
  struct Case {
    const char* Name;
    const char* ZipOptions;
    bool CutDirectory;  // else garbage is appended after the end record
  };
  const Case cases[] = {{"cut-off directory", "-9", true},
                        {"cut-off directory, streamed with descriptors", nullptr, true},
                        {"trailing garbage", "-1", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const fs::path archive = Dir / (std::string(c.Name) + ".zip");
    if (c.ZipOptions == nullptr) {
      // Info-ZIP writes descriptors when it cannot seek back: let it write to a pipe.
      ASSERT_EQ(0, Shell("cd " + Quote(Source().string()) + " && zip -q -r - . | cat > " + Quote(archive.string())));
    } else {
      Zip(c.ZipOptions, archive.filename().string());
    }
    auto bytes = ReadBytes(archive);
    if (c.CutDirectory) {
      // Keep the first few central headers only.
      const std::uint8_t central[] = {0x50, 0x4B, 0x01, 0x02};
      const auto at = std::search(bytes.begin(), bytes.end(), std::begin(central), std::end(central));
      ASSERT_NE(at, bytes.end());
      bytes.resize(static_cast<std::size_t>(at - bytes.begin()) + 100);
    } else {
      const auto junk = RandomBytes(777, 9);
      bytes.insert(bytes.end(), junk.begin(), junk.end());
    }
    WriteBytes(archive, bytes);
    const fs::path out = Dir / (std::string("out-") + c.Name);
    const TEngineRun run = ExtractWithEngine(archive, out);
    ASSERT_TRUE(run.Opened) << run.OpenMessage;
    EXPECT_EQ(std::vector<std::string>{archive.string() + ": 83"}, run.Failures);
    EXPECT_FALSE(run.Result.Succeeded());
    EXPECT_EQ(1, run.Result.Failed);
    // The Unix modes lived in the lost directory; names, bytes and dates come back.
    EXPECT_EQ("", CompareTrees(Source(), out, /*compareModes=*/false));
  }
}

// An archive inside the archive is data: Info-ZIP stores a .zip as it is, local headers and all,
// and the rebuild goes on after each whole entry's data instead of taking those headers for
// entries of the outer archive.
TEST_F(DamagedArchives, RebuildTakesAnArchiveInsideForData) {
  const fs::path inner = Dir / "inner.zip";
  ASSERT_EQ(0, Shell("cd " + Quote(Source().string()) + " && zip -q -r " + Quote(inner.string()) + " docs readme.txt"));
  const fs::path outer = Dir / "outer.zip";
  ASSERT_EQ(0, Shell("cd " + Quote(Dir.Path().string()) + " && zip -q outer.zip inner.zip && cd " +
                     Quote(Source().string()) + " && zip -q " + Quote(outer.string()) + " readme.txt"));
  auto bytes = ReadBytes(outer);
  bytes.resize(bytes.size() - 30);  // into the directory: no end record
  WriteBytes(outer, bytes);
  EXPECT_EQ((std::vector<std::string>{"inner.zip", "readme.txt"}), ListWithEngine(outer));
  const TEngineRun run = ExtractWithEngine(outer, Dir / "out");
  ASSERT_TRUE(run.Opened) << run.OpenMessage;
  EXPECT_EQ(std::vector<std::string>{outer.string() + ": 83"}, run.Failures);
  EXPECT_EQ((std::vector<std::string>{"inner.zip", "readme.txt"}), ListTree(Dir / "out"));
  EXPECT_EQ(ReadBytes(inner), ReadBytes(Dir / "out/inner.zip"));
}

TEST_F(DamagedArchives, FlippedDataByteFailsThatItemOnly) {
  for (const char* level : {"-0", "-6"}) {
    SCOPED_TRACE(level);
    const fs::path archive = Zip(level, std::string("flip") + level + ".zip");
    auto bytes = ReadBytes(archive);
    bytes[DataOffset(archive, "readme.txt") + 200] ^= 0x5A;
    WriteBytes(archive, bytes);
    const fs::path out = Dir / (std::string("out") + level);
    // An older copy of the damaged file is in place and must survive.
    WriteText(out / "readme.txt", "old contents");
    fs::permissions(out / "readme.txt", fs::perms(0640));
    const TEngineRun run = ExtractWithEngine(archive, out);
    ASSERT_TRUE(run.Opened) << run.OpenMessage;
    ASSERT_EQ(1u, run.Failures.size());
    EXPECT_EQ("readme.txt: 8", run.Failures[0]);
    EXPECT_EQ(1, run.Result.Failed);
    EXPECT_FALSE(run.Result.Succeeded());
    EXPECT_EQ(8, run.Result.LastErrorCode);
    const auto kept = ReadBytes(out / "readme.txt");
    EXPECT_EQ("old contents", std::string(kept.begin(), kept.end()));
    EXPECT_EQ(fs::perms(0640), fs::status(out / "readme.txt").permissions() & fs::perms::mask);
    EXPECT_EQ(ReadBytes(Source() / "docs/deep/big.txt"), ReadBytes(out / "docs/deep/big.txt"));
    // No temporary file is left behind.
    for (const auto& name : ListTree(out)) EXPECT_EQ(std::string::npos, name.find(".za")) << name;
  }
}

TEST_F(DamagedArchives, ForeignFilesAreRefusedWithCode35) {
  const std::vector<std::vector<std::uint8_t>> notArchives = {
      {}, TextBytes(100, 1), RandomBytes(200000, 2), {'P', 'K', 3, 4}};
  for (std::size_t i = 0; i < notArchives.size(); ++i) {
    SCOPED_TRACE(i);
    const fs::path file = Dir / ("not" + std::to_string(i) + ".zip");
    WriteBytes(file, notArchives[i]);
    const TEngineRun run = ExtractWithEngine(file, Dir / "out");
    EXPECT_FALSE(run.Opened);
    EXPECT_EQ(35, run.OpenCode);
    EXPECT_EQ("Invalid archive file. - Native error: 00035", run.OpenMessage);
  }
  EXPECT_FALSE(fs::exists(Dir / "out"));
}

TEST_F(DamagedArchives, UnsupportedMethodsFailTheirItemsOnly) {
  const fs::path archive = Dir / "methods.zip";
  const fs::path text = Source() / "docs/deep/big.txt";
  ASSERT_EQ(0, Shell("cd " + Quote(Source().string()) + " && 7zz a -tzip -mm=Deflate64 -bd -bso0 " +
                     Quote((Dir / "d64.zip").string()) + " docs/deep/big.txt"));
  ASSERT_EQ(0, Shell("cd " + Quote(Source().string()) + " && zip -q -Z bzip2 " + Quote((Dir / "bz.zip").string()) +
                     " readme.txt && zip -q " + Quote((Dir / "bz.zip").string()) + " docs/notes.txt"));
  const TEngineRun deflate64 = ExtractWithEngine(Dir / "d64.zip", Dir / "out64");
  ASSERT_TRUE(deflate64.Opened);
  EXPECT_EQ(std::vector<std::string>{"docs\\deep\\big.txt: 55"}, deflate64.Failures);
  EXPECT_FALSE(fs::exists(Dir / "out64/docs/deep/big.txt"));
  const TEngineRun bzip2 = ExtractWithEngine(Dir / "bz.zip", Dir / "outbz");
  ASSERT_TRUE(bzip2.Opened);
  EXPECT_EQ(std::vector<std::string>{"readme.txt: 8"}, bzip2.Failures);
  EXPECT_EQ(ReadBytes(Source() / "docs/notes.txt"), ReadBytes(Dir / "outbz/docs/notes.txt"));
  (void)text;
}

// Items whose stated sizes or flags cannot hold their data fail cleanly, one by one.
TEST_F(DamagedArchives, ImpossibleSizesFailCleanly) {
  const auto plain = TextBytes(5000, 3);
  std::vector<TBuildEntry> entries(6);
  entries[0].Name = "empty-stored.txt";  // sizes 0 and CRC 0: a fine empty file
  entries[1].Name = "deflate-no-data.txt";
  entries[1].Data = plain;
  entries[1].Deflate = true;
  entries[1].CompressedSize = 0;
  entries[2].Name = "encrypted-short.txt";  // encrypted, but fewer bytes than its 12-byte header
  entries[2].Flags = 1;
  entries[2].RawData = std::vector<std::uint8_t>{1, 2, 3, 4, 5};
  entries[2].Data = {9};
  entries[3].Name = "deflate-claims-more.txt";
  entries[3].Data = plain;
  entries[3].Deflate = true;
  entries[3].UncompressedSize = 4000;  // zlib gives 5000 bytes
  entries[4].Name = "stored-past-end.txt";
  entries[4].Data = plain;
  entries[4].CompressedSize = 0x7FFFFFF0;  // runs past the end of the file: refused as incomplete
  entries[5].Name = "ok.txt";
  entries[5].Data = plain;
  entries[5].Deflate = true;
  WriteBytes(Dir / "sizes.zip", BuildZip(entries));
  const TEngineRun run = ExtractWithEngine(Dir / "sizes.zip", Dir / "out");
  ASSERT_TRUE(run.Opened) << run.OpenMessage;
  EXPECT_EQ((std::vector<std::string>{"deflate-no-data.txt: 8", "encrypted-short.txt: 8", "deflate-claims-more.txt: 8",
                                      "stored-past-end.txt: 81"}),
            run.Failures);
  EXPECT_EQ(std::vector<std::string>({"empty-stored.txt", "ok.txt"}), ListTree(Dir / "out"));
  EXPECT_EQ(plain, ReadBytes(Dir / "out/ok.txt"));
}

// How the archives of the cut tests are made from a folder, by the tools that make them in the wild.
struct TMaker {
  const char* Name;
  const char* Command;  // run in the folder; ARCH is the archive
};
const TMaker Makers[] = {
    {"Info-ZIP", "zip -q -r -X ARCH ."},
    // Info-ZIP writes descriptors when it cannot seek back: let it write to a pipe.
    {"Info-ZIP streamed", "zip -q -r -X - . | cat > ARCH"},
    {"Python zipfile", "python3 -c \"import os,sys,zipfile\nz=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED)\n"
                       "for d,_,fs in sorted(os.walk('.')):\n for f in sorted(fs): z.write(os.path.join(d,f))\n\" ARCH"},
    // Zip64 sizes in every local header (0xFFFFFFFF in the 32-bit fields).
    {"Python zipfile, force_zip64",
     "python3 -c \"import os,sys,zipfile\nz=zipfile.ZipFile(sys.argv[1],'w',zipfile.ZIP_DEFLATED)\n"
     "for d,_,fs in sorted(os.walk('.')):\n for f in sorted(fs):\n  p=os.path.join(d,f)\n"
     "  with open(p,'rb') as i, z.open(zipfile.ZipInfo.from_file(p),'w',force_zip64=True) as o: o.write(i.read())\n\" ARCH"},
    // The same written to a pipe: descriptors with 8-byte sizes after the data.
    {"Python zipfile, force_zip64, to a pipe",
     "python3 -c \"import os,sys,zipfile\nz=zipfile.ZipFile(sys.stdout.buffer,'w',zipfile.ZIP_DEFLATED)\n"
     "for d,_,fs in sorted(os.walk('.')):\n for f in sorted(fs):\n  p=os.path.join(d,f)\n"
     "  with open(p,'rb') as i, z.open(zipfile.ZipInfo.from_file(p),'w',force_zip64=True) as o: o.write(i.read())\n"
     "z.close()\" | cat > ARCH"},
};

fs::path MakeWith(const TMaker& maker, const fs::path& folder, const fs::path& archive) {
  std::string command = maker.Command;
  command.replace(command.find("ARCH"), 4, Quote(archive.string()));
  EXPECT_EQ(0, Shell("cd " + Quote(folder.string()) + " && " + command));
  return archive;
}

// Two small files and a large one, cut inside the large one's data or just before its end: what the
// file still holds whole comes back, an entry that is cut short fails with its own message (code
// 81), and the run reports the rebuilt directory (code 83) so that it never counts as a success.
TEST(CutArchives, WhatIsWholeComesBackAndTheRunFails) {
  TTempDir dir;
  const fs::path src = dir / "src";
  WriteText(src / "a.txt", "first small file\n");
  WriteText(src / "b.txt", "second small file\n");
  WriteBytes(src / "big.bin", RandomBytes(1000000, 4));
  struct Case {
    const TMaker& Maker;
    double Keep;   // part of the archive kept
    bool BigCut;   // the cut falls inside big.bin
  };
  const Case cases[] = {{Makers[0], 0.6, true}, {Makers[1], 0.6, true}, {Makers[3], 0.6, true},
                        {Makers[4], 0.6, true}, {Makers[0], 0.0, false}, {Makers[3], 0.0, false},
                        {Makers[4], 0.0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.Maker.Name) + (c.BigCut ? ", cut at 60%" : ", last byte missing"));
    fs::remove(dir / "cut.zip");
    const fs::path archive = MakeWith(c.Maker, src, dir / "cut.zip");
    auto bytes = ReadBytes(archive);
    bytes.resize(c.BigCut ? static_cast<std::size_t>(static_cast<double>(bytes.size()) * c.Keep) : bytes.size() - 1);
    WriteBytes(archive, bytes);
    const fs::path out = dir / "out";
    fs::remove_all(out);
    const TEngineRun run = ExtractWithEngine(archive, out);
    ASSERT_TRUE(run.Opened) << run.OpenMessage;
    std::vector<std::string> failures = {archive.string() + ": 83"};
    if (c.BigCut) failures.push_back("big.bin: 81");
    EXPECT_EQ(failures, run.Failures);
    EXPECT_FALSE(run.Result.Succeeded());
    EXPECT_EQ(3, run.Result.Selected);
    EXPECT_EQ(ReadBytes(src / "a.txt"), ReadBytes(out / "a.txt"));
    EXPECT_EQ(ReadBytes(src / "b.txt"), ReadBytes(out / "b.txt"));
    if (c.BigCut) {
      EXPECT_EQ((std::vector<std::string>{"a.txt", "b.txt"}), ListTree(out));
      EXPECT_EQ("ZipArchiver1: Entry \"big.bin\" is incomplete: its data runs past the end of the archive - Native error: 00081",
                run.Result.LastErrorMessage);
    } else {
      EXPECT_EQ(ReadBytes(src / "big.bin"), ReadBytes(out / "big.bin"));
    }
  }
}

// Every cut of a few small archives (Info-ZIP's, streamed ones with descriptors, Python's, Zip64
// ones, also streamed), opened in memory to keep the run short: no test of the items succeeds, an
// update of the cut archive is refused (code 82) leaving it byte for byte, and at every twentieth cut,
// nothing an extraction to the disk writes differs from its source.
TEST(CutArchives, EveryCutOfSmallArchives) {
  TTempDir dir;
  const fs::path src = dir / "src";
  WriteBytes(src / "a.txt", TextBytes(300, 1));
  WriteBytes(src / "d" / "b.bin", RandomBytes(100, 2));
  WriteBytes(src / "d" / "e" / "c.txt", TextBytes(600, 3));
  WriteBytes(src / "empty", {});
  StampTimes(src);
  int cuts = 0;
  for (const TMaker& maker : Makers) {
    SCOPED_TRACE(maker.Name);
    const auto whole = ReadBytes(MakeWith(maker, src, dir / (std::string(maker.Name) + ".zip")));
    const fs::path cut = dir / "cut.zip";
    for (std::size_t length = 0; length < whole.size(); ++length, ++cuts) {
      SCOPED_TRACE(length);
      const std::vector<std::uint8_t> bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
      zip::TZipArchiver archiver;
      std::vector<std::string> failures;
      std::vector<int> codes;
      AnswerEventsForTests(archiver, failures, codes, false);
      archiver.SetInMemory(true);
      bool opened = false;
      int code = 0;
      try {
        archiver.ReopenMemoryImage(std::make_unique<zip::TZAMemoryStream>(bytes));
        opened = true;
        archiver.TestFiles("*.*");
        ASSERT_FALSE(archiver.LastResult().Succeeded());
        ASSERT_FALSE(failures.empty());
        archiver.BeginUpdate();
        archiver.AddFromStream("new.txt", std::make_shared<zip::TZAMemoryStream>(TextBytes(100, 5)));
        archiver.EndUpdate();
      } catch (const zip::EZAException& e) {
        code = e.NativeError;
      }
      ASSERT_EQ(opened ? 82 : 35, code);
      if (opened) {
        ASSERT_EQ(bytes, static_cast<const zip::TZAMemoryStream&>(*archiver.FArchiveStream).Data());
      }
      if (length % 20 != 0) continue;
      WriteBytes(cut, bytes);
      const fs::path out = dir / "out";
      fs::remove_all(out);
      const TEngineRun run = ExtractWithEngine(cut, out, [](zip::TZipArchiver& a) { a.Options().FlushBuffers = false; });
      ASSERT_EQ(opened, run.Opened);
      ASSERT_TRUE(!run.Opened || !run.Result.Succeeded());
      if (!fs::exists(out)) continue;
      for (const auto& name : ListTree(out)) {
        if (!fs::is_regular_file(out / name)) continue;
        ASSERT_EQ(ReadBytes(src / name), ReadBytes(out / name)) << name;
      }
    }
  }
  EXPECT_GT(cuts, 3000);
}

}  // namespace
