// Reading the archive directory: end records and comments, stubs in front of the data, Zip64
// records, names and extra fields as stored, and end records that describe an impossible directory.
#include <gtest/gtest.h>

#include <algorithm>
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
// included; offsets that count it already stay.
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
    EXPECT_EQ(counted ? 1234u : 1234u + 5000u, m.CentralDir.ItemRef(1).LocalHeaderOffset);
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
  TBuildEntry oem = File("caf\x82.txt");  // code page 850 e acute, from a DOS host
  oem.VersionMadeBy = 20;
  TBuildEntry unix = File("caf\xE9.txt");  // Latin-1 e acute, from a Unix host: kept as stored
  TBuildEntry utf8 = File("caf\xC3\xA9-utf8.txt");
  utf8.Flags = 0x0800;
  TBuildEntry clipped = File("clipped.txt");
  clipped.CentralExtra = {0x55, 0x54, 200, 0, 1, 2, 3};  // says 200 bytes, holds 3
  TBuildEntry last = File("last.txt");
  zip::TZADirManager& m = Open(BuildZip({backslash, zero, longName, oem, utf8, clipped, last, unix}));
  ASSERT_EQ(8, m.CentralDir.GetCount());
  EXPECT_EQ("dir/sub/a.txt", m.CentralDir.ItemRef(0).Name);
  EXPECT_EQ("cut", m.CentralDir.ItemRef(1).Name);
  EXPECT_EQ(std::string(999, 'n'), m.CentralDir.ItemRef(2).Name);
  EXPECT_EQ("caf\xC3\xA9.txt", m.CentralDir.ItemRef(3).Name);
  EXPECT_EQ("caf\xC3\xA9-utf8.txt", m.CentralDir.ItemRef(4).Name);
  const auto& fields = m.CentralDir.ItemRef(5).ExtraFields;
  ASSERT_EQ(1u, fields.size());
  EXPECT_EQ(3, fields[0].Size);
  EXPECT_EQ((std::vector<std::uint8_t>{1, 2, 3}), fields[0].Data);
  EXPECT_EQ("last.txt", m.CentralDir.ItemRef(6).Name);
  EXPECT_EQ("caf\xE9.txt", m.CentralDir.ItemRef(7).Name);
  Archiver.CloseArchive();
  zip::TZADirManager& raw = Open(BuildZip({oem}), /*oemNames=*/false);
  EXPECT_EQ("caf\xE2\x80\x9A.txt", raw.CentralDir.ItemRef(0).Name);  // byte 0x82 of Windows-1252
  Archiver.CloseArchive();
}

// End records whose directory cannot lie in the file are not believed: nothing is allocated for
// them and the archive is read from its local headers.
// A UTF-8 name over the limit, as Python's zipfile stores it, loses its end on a character
// boundary: the file it extracts to has a name that is still UTF-8.
TEST_F(DirectoryLoad, LongUtf8NameCutOnACharacter) {
  // Four folders of 100 "é" and a file name of 104 "é": 1012 bytes, byte 999 inside an "é".
  std::string name;
  for (int folder = 0; folder < 4; ++folder) {
    for (int i = 0; i < 100; ++i) name += "\xC3\xA9";
    name += '/';
  }
  for (int i = 0; i < 104; ++i) name += "\xC3\xA9";
  ASSERT_EQ(1012u, name.size());
  std::string hex;
  for (const unsigned char c : name) {
    hex += "0123456789abcdef"[c >> 4];
    hex += "0123456789abcdef"[c & 15];
  }
  ASSERT_EQ(0, RunPython("import sys, zipfile\n"
                         "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                         "    z.writestr(bytes.fromhex(sys.argv[2]).decode(), 'long')\n",
                         {(Dir / "long.zip").string(), hex}));
  const TEngineRun run = ExtractWithEngine(Dir / "long.zip", Dir / "out");
  EXPECT_TRUE(run.Result.Succeeded());
  const std::string kept = name.substr(0, 998);
  std::vector<std::string> expected;
  for (std::size_t slash = kept.find('/'); slash != std::string::npos; slash = kept.find('/', slash + 1)) {
    expected.push_back(kept.substr(0, slash + 1));
  }
  expected.push_back(kept);
  EXPECT_EQ(expected, ListTree(Dir / "out"));
}

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

// A Zip64 archive (every offset and size in the Zip64 field, the 32-bit ones at the escape value)
// with a stub put in front afterwards: its offsets do not count the stub, as the Zip64 offset
// shows, and are moved by it as unzip moves them.
TEST_F(DirectoryLoad, Zip64OffsetsBehindAStub) {
  const fs::path archive = Dir / "z64.zip";
  ASSERT_EQ(0, RunPython("import zipfile,sys\n"
                         "zipfile.ZIP64_LIMIT=-1\n"  // every offset and size goes to the Zip64 field
                         "with zipfile.ZipFile(sys.argv[1]+'.part','w',zipfile.ZIP_DEFLATED) as z:\n"
                         "  for i in range(3): z.writestr('f%d.txt'%i, ('line %d\\n'%i)*5000)\n"
                         "open(sys.argv[1],'wb').write(b'MZ'+bytes(6000)+open(sys.argv[1]+'.part','rb').read())\n",
                         {archive.string()}));
  // unzip warns about the bytes in front (status 1) and finds no error.
  ASSERT_GE(1, Shell("unzip -tqq " + Quote(archive.string()) + " >/dev/null 2>&1"));
  zip::TZADirManager& m = Open(ReadBytes(archive));
  ASSERT_EQ(3, m.CentralDir.GetCount());
  EXPECT_EQ(0xFFFFFFFFu, m.CentralDir.ItemRef(0).LocalHeaderOffset);
  EXPECT_EQ(6002u, m.CentralDir.ItemRef(0).GetLocalHeaderOffset());
  Archiver.CloseArchive();
  ASSERT_GE(1, Shell("unzip -qq " + Quote(archive.string()) + " -d " + Quote((Dir / "unzip").string()) + " 2>/dev/null"));
  const TEngineRun run = ExtractWithEngine(archive, Dir / "out");
  EXPECT_TRUE(run.Result.Succeeded()) << (run.Failures.empty() ? run.OpenMessage : run.Failures.front());
  EXPECT_EQ(3, run.Result.Processed);
  EXPECT_EQ("", CompareTrees(Dir / "unzip", Dir / "out", false));
}

// Entries whose offsets alone are in the Zip64 field, as a writer leaves them when it learns only
// at the end that an offset needs it: the central headers say version 4.5, the local ones 2.0.
// With a stub put in front afterwards, the offsets still leave the stub out and are moved by it,
// whether or not the archive has Zip64 end records.
TEST_F(DirectoryLoad, Zip64OffsetOnlyBehindAStub) {
  for (const bool endRecords : {false, true}) {
    SCOPED_TRACE(endRecords ? "with Zip64 end records" : "without Zip64 end records");
    const fs::path archive = Dir / (endRecords ? "e.zip" : "n.zip");
    ASSERT_EQ(0, RunPython("import struct,zlib,sys\n"
                           "out=b''; cd=b''; names=['a.txt','d/b.txt','c.txt']\n"
                           "for i,n in enumerate(names):\n"
                           "  data=(('line %d of %s\\n'%(i,n))*3000).encode(); c=zlib.compressobj(6,8,-15)\n"
                           "  comp=c.compress(data)+c.flush(); crc=zlib.crc32(data); off=len(out); nb=n.encode()\n"
                           "  out+=struct.pack('<IHHHHHIIIHH',0x04034b50,20,0,8,0x6000,0x5721,crc,len(comp),len(data),len(nb),0)+nb+comp\n"
                           "  x=struct.pack('<HHQ',1,8,off)\n"
                           "  cd+=struct.pack('<IHHHHHHIIIHHHHHII',0x02014b50,45,45,0,8,0x6000,0x5721,crc,len(comp),len(data),len(nb),len(x),0,0,0,0x20,0xFFFFFFFF)+nb+x\n"
                           "cdoff=len(out); out+=cd\n"
                           "if sys.argv[2]=='1':\n"
                           "  z=len(out); out+=struct.pack('<IQHHIIQQQQ',0x06064b50,44,45,45,0,0,3,3,len(cd),cdoff)\n"
                           "  out+=struct.pack('<IIQI',0x07064b50,0,z,1)\n"
                           "out+=struct.pack('<IHHHHIIH',0x06054b50,0,0,3,3,len(cd),cdoff,0)\n"
                           "open(sys.argv[1],'wb').write(b'MZ'+bytes(6000)+out)\n",
                           {archive.string(), endRecords ? "1" : "0"}));
    // The peers read it (unzip warns about the bytes in front: status 1).
    const fs::path byUnzip = Dir / "unzip", byPython = Dir / "python", byEngine = Dir / "engine";
    fs::remove_all(byUnzip);
    fs::remove_all(byPython);
    fs::remove_all(byEngine);
    ASSERT_GE(1, Shell("unzip -qq " + Quote(archive.string()) + " -d " + Quote(byUnzip.string()) + " 2>/dev/null"));
    ASSERT_EQ(0, RunPython("import zipfile,sys\nzipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])\n",
                           {archive.string(), byPython.string()}));
    zip::TZADirManager& m = Open(ReadBytes(archive));
    EXPECT_EQ(6002, m.SfxStubSize);
    ASSERT_EQ(3, m.CentralDir.GetCount());
    EXPECT_EQ(6002u, m.CentralDir.ItemRef(0).GetLocalHeaderOffset());
    Archiver.CloseArchive();
    const TEngineRun run = ExtractWithEngine(archive, byEngine);
    EXPECT_TRUE(run.Result.Succeeded()) << (run.Failures.empty() ? run.OpenMessage : run.Failures.front());
    EXPECT_EQ(3, run.Result.Processed);
    EXPECT_EQ("", CompareTrees(byUnzip, byEngine, false));
    EXPECT_EQ(ListTree(byPython), ListTree(byEngine));
  }
}

// The entry count of the end record is only a claim: the directory array grows with the entries
// actually read, so a small crafted file cannot ask for many times its size at once.
TEST_F(DirectoryLoad, DirectoryGrowsAsItIsRead) {
  // 40000 claimed entries in a directory area of 0xFF bytes: each header read says its name, extra
  // field and comment fill 64 KiB apiece, so the area ends after a few entries.
  const std::uint32_t count = 40000;
  const std::uint32_t size = count * static_cast<std::uint32_t>(zip::CentralHeaderSize);
  std::vector<std::uint8_t> bytes(size + 22, 0xFF);
  const std::uint8_t end[22] = {0x50, 0x4B, 0x05, 0x06, 0, 0, 0, 0,
                                static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8),
                                static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8),
                                static_cast<std::uint8_t>(size), static_cast<std::uint8_t>(size >> 8),
                                static_cast<std::uint8_t>(size >> 16), static_cast<std::uint8_t>(size >> 24),
                                0, 0, 0, 0, 0, 0};
  std::copy(std::begin(end), std::end(end), bytes.begin() + size);
  // Each header starts with its signature, where the one before it ends.
  const std::size_t entryBytes = zip::CentralHeaderSize + 3 * 0xFFFF;
  for (std::size_t at = 0; at + 4 <= size; at += entryBytes) {
    const std::uint8_t signature[4] = {0x50, 0x4B, 0x01, 0x02};
    std::copy(std::begin(signature), std::end(signature), bytes.begin() + static_cast<std::ptrdiff_t>(at));
  }
  // The manager alone over the bytes, so that what it holds after the failed load can be seen.
  class TMemoryHost final : public zip::TZADirHost {
   public:
    explicit TMemoryHost(zip::TZAStream& s) : FStream(s) {}
    bool ZipFormat() const override { return true; }
    zip::TZASpanningMode Spanning() const override { return zip::smNone; }
    bool OemFileNames() const override { return true; }
    bool OpenDamaged() const override { return true; }
    zip::TZAStream& SwitchToVolume(const zip::TZAVolumeNumberInfo&) override { return FStream; }
    zip::TZAStream* ArchiveStream() override { return &FStream; }
    zip::TZAVolumeNumberInfo& VolumeInfo() override { return FInfo; }

   private:
    zip::TZAStream& FStream;
    zip::TZAVolumeNumberInfo FInfo;
  };
  zip::TZAMemoryStream stream(bytes);
  TMemoryHost host(stream);
  zip::TZADirManager m(&stream, host, false);
  EXPECT_THROW(m.LoadCentralDirectory(), zip::EStreamError);
  EXPECT_LE(m.CentralDir.GetCount(), 10);
  EXPECT_LE(m.CentralDir.Capacity(), 1000);
}

}  // namespace
