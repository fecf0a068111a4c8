// Zip64 as the engine writes it: an archive of 70000 entries, a file over 4 GiB (sparse on disk,
// so that the disk need not hold it), the refusals when Zip64 is disabled and what it still
// stores then, and a stream that starts past 4 GiB.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "ZARecords.h"
#include "ZipEngineRun.h"
#include "ZipWriteSupport.h"

namespace {

using namespace ziptest;

void MakeSparse(const fs::path& path, std::uint64_t size) {
  const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, ::ftruncate(fd, static_cast<off_t>(size)));
  // A few bytes of data at the start and near the end, so that the CRC sees them.
  ASSERT_EQ(5, ::pwrite(fd, "start", 5, 0));
  ASSERT_EQ(3, ::pwrite(fd, "end", 3, static_cast<off_t>(size - 10)));
  ::close(fd);
}

TEST(Zip64Written, SeventyThousandEntries) {
  TTempDir dir;
  const fs::path archive = dir / "many.zip";
  auto empty = std::make_shared<zip::TZAMemoryStream>();
  const auto result = WriteWithEngine(archive, true, [&](zip::TZipArchiver& a) {
    for (int i = 0; i < 70000; ++i) {
      const std::string name = "d" + std::to_string(i / 1000) + "/f" + std::to_string(i) + ".txt";
      if (i % 997 == 0) {
        a.AddFromStream(name, std::make_shared<zip::TZAMemoryStream>(TextBytes(2000, i)));
      } else {
        a.AddFromStream(name, empty);
      }
    }
  });
  ASSERT_TRUE(result.Succeeded()) << result.Message;
  EXPECT_EQ(70000, result.Stored);
  // The counts go into the Zip64 end record; the end record holds the escape value.
  const auto bytes = ReadBytes(archive);
  const std::uint8_t* end = bytes.data() + bytes.size() - 22;
  EXPECT_EQ(zip::sigEndRecord, zip::GetU32(end));
  EXPECT_EQ(0xFFFF, zip::GetU16(end + 10));
  EXPECT_EQ(zip::sigZip64Locator, zip::GetU32(end - 20));
  EXPECT_EQ("", PeerCheck(archive));
  const auto names = ListWithEngine(archive);
  ASSERT_EQ(70000u, names.size());
  EXPECT_EQ("d69/f69999.txt", names.back());
  // Changing one entry of it rewrites the archive beside the old one and keeps every other.
  const auto changed = WriteWithEngine(archive, false, [&](zip::TZipArchiver& a) { a.DeleteFiles("f0.txt"); });
  ASSERT_TRUE(changed.Succeeded()) << changed.Message;
  EXPECT_EQ(69999u, ListWithEngine(archive).size());
  EXPECT_EQ("", PeerCheck(archive, "", {"zip", "7z"}));
}

TEST(Zip64Written, FileOverFourGiB) {
  TTempDir dir;
  const std::uint64_t size = 0x100000000ull + 123456;
  MakeSparse(dir / "huge.bin", size);
  WriteBytes(dir / "small.txt", TextBytes(1000, 1));
  const fs::path archive = dir / "huge.zip";
  const auto result = WriteWithEngine(
      archive, true,
      [&](zip::TZipArchiver& a) {
        a.AddFiles("small.txt");
        a.AddFiles("huge.bin");
        a.AddFiles("small.txt");  // again: refilled in place, not a second entry
      },
      [&](zip::TZipArchiver& a) {
        a.BaseDir = EngineName(dir.Path());
        a.Zip64Mode = zip::zmAuto;
      });
  ASSERT_TRUE(result.Succeeded()) << result.Message;
  EXPECT_LT(fs::file_size(archive), 20u * 1024 * 1024);
  {
    zip::TZipArchiver a;
    a.FileName = EngineName(archive);
    a.OpenArchive(zip::fmOpenReadDenyWrite);
    ASSERT_EQ(2, a.ItemCount());
    const zip::TDirItem& huge = a.CentralDir()->ItemRef(1);
    EXPECT_EQ(0xFFFFFFFFu, huge.UncompressedSize);
    EXPECT_EQ(size, huge.GetUncompressedSize());
    EXPECT_EQ(45, huge.VersionNeeded & 0xFF);
    // The local header carries both sizes in its Zip64 block.
    const auto bytes = ReadBytes(archive);
    const std::uint8_t* local = bytes.data() + huge.LocalHeaderOffset;
    EXPECT_EQ(0xFFFFFFFFu, zip::GetU32(local + 18));
    EXPECT_EQ(0xFFFFFFFFu, zip::GetU32(local + 22));
    EXPECT_EQ(20, zip::GetU16(local + 28));
    EXPECT_EQ(size, zip::GetU64(local + 30 + 8 + 4));
    a.CloseArchive();
  }
  EXPECT_EQ("", PeerCheck(archive));
}

// Entries copied to an offset in the Zip64 field (every offset with zmAlways, as past 4 GiB) need
// a reader of Zip64 archives: their version needed becomes 4.5, whatever Info-ZIP stored.
TEST(Zip64Written, CopiedEntriesWithZip64OffsetsNeedVersion45) {
  TTempDir dir;
  for (const char* n : {"a.txt", "b.txt", "c.txt"}) WriteBytes(dir / "src" / n, TextBytes(3000, n[0]));
  const fs::path archive = dir / "info.zip";
  ASSERT_EQ(0, Shell("cd " + Quote((dir / "src").string()) + " && zip -q -X " + Quote(archive.string()) + " a.txt b.txt c.txt"));
  const auto result = WriteWithEngine(
      archive, false, [&](zip::TZipArchiver& a) { a.DeleteFiles("a.txt"); },
      [&](zip::TZipArchiver& a) { a.Zip64Mode = zip::zmAlways; });
  ASSERT_TRUE(result.Succeeded()) << result.Message;
  {
    zip::TZipArchiver a;
    a.FileName = EngineName(archive);
    a.OpenArchive(zip::fmOpenReadDenyWrite);
    ASSERT_EQ(2, a.ItemCount());
    for (std::int32_t i = 0; i < a.ItemCount(); ++i) {
      const zip::TDirItem& e = a.CentralDir()->ItemRef(i);
      SCOPED_TRACE(e.Name);
      EXPECT_EQ(0xFFFFFFFFu, e.LocalHeaderOffset);
      EXPECT_EQ(45, e.VersionNeeded & 0xFF);
      EXPECT_LE(45, e.VersionMadeBy & 0xFF);
    }
    a.CloseArchive();
  }
  EXPECT_EQ("", PeerCheck(archive));
}

TEST(Zip64Written, RefusedWhenDisabled) {
  // A source that holds 4 GiB cannot have its size in the 32-bit fields.
  TTempDir dir;
  MakeSparse(dir / "big.bin", 0xFFFFFFFFull);
  TWriteRun run;
  const auto result = WriteWithEngine(
      dir / "a.zip", true, [&](zip::TZipArchiver& a) { a.AddFiles("big.bin"); },
      [&](zip::TZipArchiver& a) { a.BaseDir = EngineName(dir.Path()); }, &run);
  EXPECT_EQ(std::vector<int>{43}, run.FailureCodes);
  EXPECT_EQ(1, result.Ignored);
  EXPECT_EQ(0u, ListWithEngine(dir / "a.zip").size());
}

// Without Zip64, a file just under 4 GiB whose sizes fit the 32-bit fields is stored as the format
// allows: no Zip64 block is reserved for it, in the local header or anywhere else.
TEST(Zip64Written, DisabledStoresWhatFits) {
  TTempDir dir;
  const std::uint64_t size = 4291000000ull;
  MakeSparse(dir / "big.bin", size);
  const fs::path archive = dir / "a.zip";
  TWriteRun run;
  const auto result = WriteWithEngine(
      archive, true, [&](zip::TZipArchiver& a) { a.AddFiles("big.bin"); },
      [&](zip::TZipArchiver& a) {
        a.BaseDir = EngineName(dir.Path());
        a.SetCompressionMode(1);
      },
      &run);
  ASSERT_TRUE(result.Succeeded()) << result.Message;
  EXPECT_TRUE(run.FailureCodes.empty());
  EXPECT_EQ(1, result.Stored);
  std::uint8_t local[30];
  {
    std::FILE* f = std::fopen(archive.c_str(), "rb");
    ASSERT_NE(nullptr, f);
    ASSERT_EQ(sizeof local, std::fread(local, 1, sizeof local, f));
    std::fclose(f);
  }
  EXPECT_EQ(size, zip::GetU32(local + 22));
  EXPECT_EQ(0, zip::GetU16(local + 28));
  {
    zip::TZipArchiver a;
    a.FileName = EngineName(archive);
    a.OpenArchive(zip::fmOpenReadDenyWrite);
    ASSERT_EQ(1, a.ItemCount());
    const zip::TDirItem& big = a.CentralDir()->ItemRef(0);
    EXPECT_EQ(size, big.UncompressedSize);
    EXPECT_FALSE(big.HasZip64Extra);
    EXPECT_GT(45, big.VersionNeeded & 0xFF);
    a.CloseArchive();
  }
  EXPECT_EQ("", PeerCheck(archive));
}

// A stream whose data starts past 4 GiB is read from where it stands.
TEST(Zip64Written, StreamStartingPastFourGiB) {
  TTempDir dir;
  const std::uint64_t start = 0x100000000ull + 65536;
  const std::string payload = "the data past four gibibytes\n";
  {
    const int fd = ::open((dir / "sparse.bin").c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(static_cast<ssize_t>(payload.size()), ::pwrite(fd, payload.data(), payload.size(), static_cast<off_t>(start)));
    ::close(fd);
  }
  auto stream = std::make_shared<zip::TZAFileStream>((dir / "sparse.bin").string(), zip::fmOpenReadDenyNone);
  stream->Seek(static_cast<std::int64_t>(start));
  const fs::path archive = dir / "s.zip";
  const auto result = WriteWithEngine(archive, true, [&](zip::TZipArchiver& a) { a.AddFromStream("tail.txt", stream); });
  ASSERT_TRUE(result.Succeeded()) << result.Message;
  EXPECT_EQ("", PeerCheck(archive));
  ASSERT_EQ(0, Shell("unzip -qq " + Quote(archive.string()) + " -d " + Quote((dir / "out").string())));
  const auto bytes = ReadBytes(dir / "out" / "tail.txt");
  EXPECT_EQ(payload, std::string(bytes.begin(), bytes.end()));
}

}  // namespace
