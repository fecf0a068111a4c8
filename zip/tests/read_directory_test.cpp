// Reading the archive directory: end records and comments, stubs in front of the data, Zip64
// records, names and extra fields as stored, and end records that describe an impossible directory.
#include <gtest/gtest.h>

#include <string>

#include "ZADirManager.h"
#include "ZAPlatform.h"
#include "ZipBuilder.h"
#include "ZipEngineRun.h"
#include "ZipTestSupport.h"

namespace {

using namespace ziptest;

class DirectoryLoad : public ::testing::Test {
 protected:
  // Opens the bytes as an archive; the archiver stays open for the test to look at.
  zip::TZADirManager& Open(const std::vector<std::uint8_t>& bytes, bool oemNames = true) {
    WriteBytes(Dir / "t.zip", bytes);
    Archiver.Options().OEMFileNames = oemNames;
    Archiver.FileName = zip::platform::FromFileSystemPath((Dir / "t.zip").string());
    Archiver.OpenArchive(32);
    return *Archiver.FDirManager;
  }
  TBuildEntry File(const std::string& name, std::size_t size = 300) {
    TBuildEntry e;
    e.Name = name;
    e.Data = TextBytes(size, static_cast<std::uint32_t>(name.size()));
    e.Deflate = true;
    return e;
  }
  TTempDir Dir;
  zip::TZipArchiver Archiver;
};

TEST_F(DirectoryLoad, EndRecordAloneAndComments) {
  zip::TZADirManager& empty = Open(BuildZip({}));
  EXPECT_EQ(0, empty.CentralDir.GetCount());
  EXPECT_EQ(0, empty.SfxStubSize);
  Archiver.CloseArchive();

  TBuildOptions commented;
  commented.ArchiveComment = std::string(100, 'c');
  zip::TZADirManager& withComment = Open(BuildZip({File("a.txt"), File("b.txt")}, commented));
  EXPECT_EQ(commented.ArchiveComment, withComment.Comment);
  EXPECT_FALSE(withComment.Rebuilt);
  Archiver.CloseArchive();

  // One byte more after the comment: the end record no longer reaches the end of the file.
  commented.Trailer = {'x'};
  const auto bytes = BuildZip({File("a.txt"), File("b.txt")}, commented);
  zip::TZADirManager& rebuilt = Open(bytes);
  EXPECT_TRUE(rebuilt.Rebuilt);
  EXPECT_EQ(static_cast<std::int64_t>(bytes.size()), rebuilt.CentralDirStart);
  ASSERT_EQ(2, rebuilt.CentralDir.GetCount());
  EXPECT_EQ("b.txt", rebuilt.CentralDir.ItemRef(1).Name);
  Archiver.CloseArchive();
}

// Data put in front of an archive: offsets that do not count it are moved by its size, folders
// excepted; offsets that count it already stay.
TEST_F(DirectoryLoad, StubInFront) {
  for (const bool counted : {false, true}) {
    SCOPED_TRACE(counted ? "offsets count the stub" : "offsets from the zip data");
    TBuildOptions options;
    options.Prefix = RandomBytes(5000, 7);
    options.OffsetsCountPrefix = counted;
    TBuildEntry folder;
    folder.Name = "dir/";
    folder.ExternalAttributes = 0x10;
    folder.LocalHeaderOffset = 1234;
    const std::vector<TBuildEntry> entries = {File("a.txt"), folder, File("dir/b.txt", 70000)};
    zip::TZADirManager& m = Open(BuildZip(entries, options));
    EXPECT_EQ(5000, m.SfxStubSize);
    EXPECT_EQ(5000u, m.CentralDir.ItemRef(0).LocalHeaderOffset);
    EXPECT_EQ(1234u, m.CentralDir.ItemRef(1).LocalHeaderOffset);
    Archiver.CloseArchive();
    const TEngineRun run = ExtractWithEngine(Dir / "t.zip", Dir / (counted ? "o1" : "o2"));
    EXPECT_TRUE(run.Result.Succeeded());
    EXPECT_EQ(entries[2].Data, ReadBytes(Dir / (counted ? "o1" : "o2") / "dir/b.txt"));
  }
}

TEST_F(DirectoryLoad, DiskFieldsOfFFFFMeanOneVolume) {
  TBuildOptions options;
  options.DiskNumber = 0xFFFF;
  options.StartDisk = 0xFFFF;
  WriteBytes(Dir / "d.zip", BuildZip({File("a.txt")}, options));
  const TEngineRun run = ExtractWithEngine(Dir / "d.zip", Dir / "out");
  EXPECT_TRUE(run.Opened) << run.OpenMessage;
  EXPECT_TRUE(run.Result.Succeeded());
}

TEST_F(DirectoryLoad, Zip64RecordsAndExtraField) {
  TBuildEntry big = File("big.txt", 4000);
  // The central header sends both sizes and the offset to the Zip64 block, which stays listed.
  const auto deflated = RawDeflate(big.Data);
  std::vector<std::uint8_t> extra = {0x01, 0x00, 24, 0};
  for (std::uint64_t v : {std::uint64_t(big.Data.size()), std::uint64_t(deflated.size()), std::uint64_t(0)}) {
    for (int i = 0; i < 8; ++i) extra.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  big.CentralExtra = extra;
  big.CompressedSize = 0xFFFFFFFF;
  big.UncompressedSize = 0xFFFFFFFF;
  big.LocalHeaderOffset = 0xFFFFFFFF;
  TBuildOptions options;
  options.Zip64 = true;
  options.TotalEntries = 0xFFFF;  // the counts come from the Zip64 record
  zip::TZADirManager& m = Open(BuildZip({big, File("small.txt")}, options));
  EXPECT_TRUE(m.IsZip64);
  ASSERT_EQ(2, m.CentralDir.GetCount());
  const zip::TDirItem& item = m.CentralDir.ItemRef(0);
  EXPECT_TRUE(item.HasZip64Extra);
  EXPECT_EQ(4000u, item.UncompressedSize64);
  EXPECT_EQ(deflated.size(), item.CompressedSize64);
  ASSERT_EQ(1u, item.ExtraFields.size());
  EXPECT_EQ(1, item.ExtraFields[0].Tag);
  Archiver.CloseArchive();
  const TEngineRun run = ExtractWithEngine(Dir / "t.zip", Dir / "out");
  EXPECT_TRUE(run.Result.Succeeded()) << (run.Failures.empty() ? "" : run.Failures[0]);
  EXPECT_EQ(big.Data, ReadBytes(Dir / "out/big.txt"));

  // A locator whose Zip64 end record is damaged.
  auto bytes = BuildZip({File("a.txt")}, options);
  const std::size_t record = bytes.size() - 22 - 20 - 56;
  bytes[record] ^= 0xFF;
  WriteBytes(Dir / "bad64.zip", bytes);
  const TEngineRun bad = ExtractWithEngine(Dir / "bad64.zip", Dir / "out2");
  EXPECT_FALSE(bad.Opened);
  EXPECT_EQ(40, bad.OpenCode);
  EXPECT_EQ("Cannot find Zip64 directory end record - Native error: 00040", bad.OpenMessage);
}

TEST_F(DirectoryLoad, StoredNamesAndExtraBlocks) {
  TBuildEntry backslash = File("dir\\sub\\a.txt");
  TBuildEntry zero = File(std::string("cut\0here.txt", 12));
  TBuildEntry longName = File(std::string(1200, 'n'));
  TBuildEntry oem = File("caf\x82.txt");  // code page 850 e acute
  TBuildEntry utf8 = File("caf\xC3\xA9-utf8.txt");
  utf8.Flags = 0x0800;
  TBuildEntry clipped = File("clipped.txt");
  clipped.CentralExtra = {0x55, 0x54, 200, 0, 1, 2, 3};  // says 200 bytes, holds 3
  TBuildEntry last = File("last.txt");
  zip::TZADirManager& m = Open(BuildZip({backslash, zero, longName, oem, utf8, clipped, last}));
  ASSERT_EQ(7, m.CentralDir.GetCount());
  EXPECT_EQ("dir/sub/a.txt", m.CentralDir.ItemRef(0).Name);
  EXPECT_EQ("cut", m.CentralDir.ItemRef(1).Name);
  EXPECT_EQ(std::string(999, 'n'), m.CentralDir.ItemRef(2).Name);
  EXPECT_EQ("caf\xE9.txt", m.CentralDir.ItemRef(3).Name);
  EXPECT_EQ("caf\xE9-utf8.txt", m.CentralDir.ItemRef(4).Name);
  const auto& fields = m.CentralDir.ItemRef(5).ExtraFields;
  ASSERT_EQ(1u, fields.size());
  EXPECT_EQ(3, fields[0].Size);
  EXPECT_EQ((std::vector<std::uint8_t>{1, 2, 3}), fields[0].Data);
  EXPECT_EQ("last.txt", m.CentralDir.ItemRef(6).Name);
  Archiver.CloseArchive();
  zip::TZADirManager& raw = Open(BuildZip({oem}), /*oemNames=*/false);
  EXPECT_EQ("caf\x82.txt", raw.CentralDir.ItemRef(0).Name);
  Archiver.CloseArchive();
}

// End records whose directory cannot lie in the file are not believed: nothing is allocated for
// them and the archive is read from its local headers.
TEST_F(DirectoryLoad, ImpossibleDirectoryGeometry) {
  const std::vector<TBuildEntry> entries = {File("a.txt"), File("b.txt")};
  struct Case {
    const char* Name;
    TBuildOptions Options;
  };
  std::vector<Case> cases(3);
  cases[0].Name = "size beyond the file start";
  cases[0].Options.DirectorySize = 0x7FFFFFF0;
  cases[1].Name = "negative size";
  cases[1].Options.DirectorySize = 0x80000010;
  cases[2].Name = "more entries than the size holds";
  cases[2].Options.TotalEntries = 60000;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    zip::TZADirManager& m = Open(BuildZip(entries, c.Options));
    EXPECT_TRUE(m.Rebuilt);
    EXPECT_EQ(2, m.CentralDir.GetCount());
    Archiver.CloseArchive();
  }
}

}  // namespace
