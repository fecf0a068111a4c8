// Damaged, foreign and unsupported archives: what the engine recovers, what it refuses, and that
// it never takes down more than the item at fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

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
// back with its bytes and date.
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
    EXPECT_TRUE(run.Failures.empty()) << run.Failures.front();
    // The Unix modes lived in the lost directory; names, bytes and dates come back.
    EXPECT_EQ("", CompareTrees(Source(), out, /*compareModes=*/false));
  }
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
  entries[4].CompressedSize = 0x7FFFFFF0;  // runs over the next item's header: refused as overlapping it
  entries[5].Name = "ok.txt";
  entries[5].Data = plain;
  entries[5].Deflate = true;
  WriteBytes(Dir / "sizes.zip", BuildZip(entries));
  const TEngineRun run = ExtractWithEngine(Dir / "sizes.zip", Dir / "out");
  ASSERT_TRUE(run.Opened) << run.OpenMessage;
  EXPECT_EQ((std::vector<std::string>{"deflate-no-data.txt: 8", "encrypted-short.txt: 8", "deflate-claims-more.txt: 8",
                                      "stored-past-end.txt: 34"}),
            run.Failures);
  EXPECT_EQ(std::vector<std::string>({"empty-stored.txt", "ok.txt"}), ListTree(Dir / "out"));
  EXPECT_EQ(plain, ReadBytes(Dir / "out/ok.txt"));
}

}  // namespace
