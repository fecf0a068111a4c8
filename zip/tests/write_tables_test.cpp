// The edge cases of the item services, the compressor, the directory writer and the update
// commit, each group as one table.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>

#include "ZACrypt.h"
#include "ZADirManager.h"
#include "ZAPlatform.h"
#include "ZARecords.h"
#include "ZAWriteRecords.h"
#include "ZipEngineRun.h"
#include "ZipWriteSupport.h"

namespace {

using namespace ziptest;
using zip::TDirItem;

std::shared_ptr<zip::TZAStream> Memory(const std::vector<std::uint8_t>& bytes) {
  return std::make_shared<zip::TZAMemoryStream>(bytes);
}

// An archive of n stream items "f0.txt" .. with distinct contents.
void MakeArchive(const fs::path& archive, int n, std::uint8_t level = 6) {
  const auto result = WriteWithEngine(
      archive, true,
      [&](zip::TZipArchiver& a) {
        for (int i = 0; i < n; ++i) a.AddFromStream("f" + std::to_string(i) + ".txt", Memory(TextBytes(3000 + i * 100, i)));
      },
      [&](zip::TZipArchiver& a) { a.SetCompressionMode(level); });
  ASSERT_TRUE(result.Succeeded()) << result.Message;
}

std::vector<std::string> Names(zip::TZipArchiver& a) {
  std::vector<std::string> names;
  for (std::int32_t i = 0; i < a.ItemCount(); ++i) names.push_back(a.CentralDir()->ItemRef(i).Name);
  return names;
}

// ---- item services ---------------------------------------------------------------------------

TEST(ItemServices, RefillDeleteAndTemporaryFiles) {
  TTempDir dir;
  const fs::path archive = dir / "a.zip";
  MakeArchive(archive, 5);
  fs::create_directories(dir / "folder");
  WriteBytes(dir / "file.txt", TextBytes(100, 1));

  zip::TZipArchiver a;
  TWriteRun run;
  PrepareArchiver(a, run);
  a.FileName = EngineName(archive);
  a.OpenArchive(zip::fmOpenReadWriteDenyWrite);

  // Outside a bracket nothing changes.
  try {
    a.ReplaceItemFromFile(0, EngineName(dir / "file.txt"));
    FAIL();
  } catch (const zip::EZAException& e) {
    EXPECT_EQ(25, e.NativeError);
  }
  try {
    a.DeleteDirItem(3);
    FAIL();
  } catch (const zip::EZAException& e) {
    EXPECT_EQ(22, e.NativeError);
  }
  EXPECT_EQ(5, a.ItemCount());

  a.BeginUpdate();
  for (std::int32_t bad : {-1, 5}) {
    try {
      a.ReplaceItemFromFile(bad, EngineName(dir / "file.txt"));
      FAIL();
    } catch (const zip::EZAException& e) {
      EXPECT_EQ(24, e.NativeError);
    }
    try {
      a.DeleteDirItem(bad);
      FAIL();
    } catch (const zip::EZAException& e) {
      EXPECT_EQ(21, e.NativeError);
    }
  }

  struct Row {
    const char* What;
    std::string Path;
    const char* Password;
    bool Oem;
    const char* Name;  // expected name ("" : unchanged)
    std::uint16_t Method, Flags, VersionNeeded;
    std::uint32_t Crc;
    std::uint8_t Mode;
  };
  const Row rows[] = {
      {"folder, with a password", "folder", "pw", true, "folder/", 0, 2, 0x0014, 0, 0},
      {"file", "file.txt", "", true, "file.txt", 8, 0, 0x0014, 0xFFFFFFFFu, 6},
      {"file, with a password", "file.txt", "pw", true, "file.txt", 8, 1, 0x0014, 0xFFFFFFFFu, 6},
      {"file, ANSI names", "file.txt", "", false, "file.txt", 8, 0, 0x0B14, 0xFFFFFFFFu, 6},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.What);
    a.Password = r.Password;
    a.Options().OEMFileNames = r.Oem;
    a.SetCompressionMode(6);
    const std::string cwd = fs::current_path().string();
    fs::current_path(dir.Path());
    TDirItem& item = a.ReplaceItemFromFile(1, zip::platform::FromFileSystemPath((dir / r.Path).string()));
    fs::current_path(cwd);
    EXPECT_EQ(r.Name, item.Name);
    EXPECT_EQ(r.Method, item.Method);
    EXPECT_EQ(r.Flags, item.Flags);
    EXPECT_EQ(r.VersionNeeded, item.VersionNeeded);
    // The made-by host is Unix: the mode sits in the high half of the attributes.
    EXPECT_EQ(0x0300 | (r.VersionNeeded & 0xFF), item.VersionMadeBy);
    EXPECT_NE(0u, item.ExternalAttributes >> 16);
    EXPECT_EQ(r.Crc, item.Crc32);
    EXPECT_EQ(0u, item.CompressedSize);
    EXPECT_EQ(0u, item.UncompressedSize);
    EXPECT_EQ(r.Mode, item.CompressionMode);
    EXPECT_TRUE(item.IsNew);
    EXPECT_EQ(zip::poUpdate, item.Operation);
  }
  // A path whose stored name comes out empty leaves the item as it was.
  a.Options().StorePath = zip::spNoPath;
  const std::string before = a.CentralDir()->ItemRef(2).Name;
  TDirItem& same = a.ReplaceItemFromFile(2, "/");
  EXPECT_EQ(before, same.Name);
  EXPECT_FALSE(same.IsNew);
  EXPECT_EQ(zip::poUpdate, same.Operation);

  // Deleting item 3 of 5 moves the former item 4 down.
  const std::string fourth = a.CentralDir()->ItemRef(4).Name;
  a.DeleteDirItem(3);
  EXPECT_EQ(4, a.ItemCount());
  EXPECT_EQ(fourth, a.CentralDir()->ItemRef(3).Name);
  a.RestoreDirectoryFromBackup();
  a.FUpdateCount = 0;

  // Temporary files: "FC" names in TempDir, else in the user's temporary folder; none, an error.
  for (const std::string& tempDir : {std::string(), EngineName(dir.Path())}) {
    a.TempDir = tempDir;
    const std::string name = a.MakeTempFileName();
    const fs::path made = zip::platform::ToFileSystemPath(name);
    EXPECT_TRUE(fs::exists(made));
    EXPECT_EQ(0u, made.filename().string().rfind("FC", 0));
    EXPECT_EQ(tempDir.empty() ? fs::path(zip::platform::ToFileSystemPath(zip::platform::GetTempPath())).parent_path()
                              : dir.Path(),
              made.parent_path());
    fs::remove(made);
  }
  a.TempDir = EngineName(dir / "missing");
  try {
    a.MakeTempFileName();
    FAIL();
  } catch (const zip::EZAException& e) {
    EXPECT_EQ(73, e.NativeError);
  }
  a.CloseArchive();
}

// ---- compressing -----------------------------------------------------------------------------

// A stream that takes every byte and keeps them.
TEST(Compressing, EmptyStoredEncryptedZip64AndCancel) {
  struct Row {
    const char* What;
    std::size_t Size;
    int Mode;
    const char* Password;
    zip::TZip64Mode Zip64;
    bool CancelAtFirst;
  };
  const Row rows[] = {
      {"empty", 0, 6, "", zip::zmDisabled, false},
      {"empty, encrypted", 0, 6, "pw", zip::zmDisabled, false},
      {"stored", 5000, 0, "", zip::zmDisabled, false},
      {"stored, encrypted", 5000, 0, "pw", zip::zmDisabled, false},
      {"deflated, encrypted", 300000, 1, "pw", zip::zmDisabled, false},
      {"Zip64 always", 1000, 6, "", zip::zmAlways, false},
      {"cancelled", 2000000, 1, "", zip::zmDisabled, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.What);
    zip::TZipArchiver a;
    a.Zip64Mode = r.Zip64;
    a.FProgressEnabled = true;
    int progress = 0;
    a.OnFileProgress = [&](auto*, const std::string&, double, zip::TZAProcessOperation, zip::TZAProgressPhase,
                           bool& cancel) { cancel = r.CancelAtFirst && ++progress == 1; };
    const auto plain = TextBytes(r.Size, 5);
    zip::TZAMemoryStream source(plain), out;
    TDirItem item;
    item.CompressionMode = static_cast<std::uint8_t>(r.Mode);
    item.Method = r.Mode == 0 ? 0 : 8;
    item.Password = r.Password;
    const bool done = a.CompressItem(source, out, item);
    if (r.CancelAtFirst) {
      EXPECT_FALSE(done);
      EXPECT_EQ(0u, out.Size());
      continue;
    }
    ASSERT_TRUE(done);
    const std::size_t header = *r.Password ? 12 : 0;
    EXPECT_EQ(zip::Crc32Of(plain.data(), static_cast<std::int64_t>(plain.size())), item.Crc32);
    EXPECT_EQ(out.Size(), static_cast<std::int64_t>(item.GetCompressedSize()));
    EXPECT_EQ(r.Size, item.GetUncompressedSize());
    if (r.Zip64 == zip::zmAlways) {
      EXPECT_TRUE(item.HasZip64Extra);
      EXPECT_EQ(0xFFFFFFFFu, item.CompressedSize);
      EXPECT_EQ(0xFFFFFFFFu, item.UncompressedSize);
    }
    if (r.Size == 0) {
      EXPECT_EQ(0, item.Method);
      EXPECT_EQ(header, static_cast<std::size_t>(out.Size()));
    }
    std::vector<std::uint8_t> data = out.Data();
    if (*r.Password) {
      // The header decrypts to the CRC's high bytes (0 for an empty item).
      zip::ZipCryptoKeys keys;
      zip::ZipCryptoInitDecrypt(r.Password, keys, data.data());
      EXPECT_EQ(static_cast<std::uint8_t>(item.Crc32 >> 24), data[11]);
      EXPECT_EQ(static_cast<std::uint8_t>(item.Crc32 >> 16), data[10]);
      zip::ZipCryptoDecryptBuffer(data.data() + 12, data.size() - 12, keys);
      data.erase(data.begin(), data.begin() + 12);
    }
    if (item.Method == 0) {
      EXPECT_EQ(plain, data);
    }
  }
  EXPECT_EQ(0x40u, zip::TZABaseArchiver::ShareModeFlags(zip::smShareDenyNone));
  EXPECT_EQ(0x10u, zip::TZABaseArchiver::ShareModeFlags(zip::smShareExclusive));
}

// An encrypted entry reads its source twice (the CRC for the header, then the data): a source that
// changes between the two reads fails the item instead of being stored under the first CRC, and
// the archive holds only the entries that are sound.
TEST(Compressing, EncryptedSourceThatChangesBetweenItsReads) {
  // A stream whose bytes change once it has been read to its end for the first time.
  class TChangingStream final : public zip::TZAStream {
   public:
    explicit TChangingStream(std::vector<std::uint8_t> data) : FData(std::move(data)) {}
    std::size_t Read(void* buffer, std::size_t count) override {
      const std::size_t n = std::min(count, FData.size() - static_cast<std::size_t>(FPosition));
      std::memcpy(buffer, FData.data() + FPosition, n);
      FPosition += static_cast<std::int64_t>(n);
      if (FPosition == Size() && !FChanged) {
        FChanged = true;
        FData[FData.size() / 2] ^= 0x5A;
      }
      return n;
    }
    std::size_t Write(const void*, std::size_t) override { return 0; }
    void Seek(std::int64_t position) override { FPosition = std::clamp<std::int64_t>(position, 0, Size()); }
    std::int64_t Position() const override { return FPosition; }
    std::int64_t Size() const override { return static_cast<std::int64_t>(FData.size()); }
    void SetSize(std::int64_t) override {}

   private:
    std::vector<std::uint8_t> FData;
    std::int64_t FPosition = 0;
    bool FChanged = false;
  };
  for (const int level : {0, 6}) {
    SCOPED_TRACE(level);
    TTempDir dir;
    const fs::path archive = dir / "enc.zip";
    TWriteRun run;
    const auto result = WriteWithEngine(
        archive, true,
        [&](zip::TZipArchiver& a) {
          a.AddFromStream("sound.txt", Memory(TextBytes(40000, 1)));
          a.AddFromStream("changing.txt", std::make_shared<TChangingStream>(TextBytes(40000, 2)));
        },
        [&](zip::TZipArchiver& a) {
          a.Password = "secret";
          a.SetCompressionMode(level);
        },
        &run);
    EXPECT_EQ(std::vector<int>{8}, run.FailureCodes);
    EXPECT_EQ(1, result.Stored);
    EXPECT_EQ(1, result.Ignored);
    EXPECT_EQ(std::vector<std::string>{"sound.txt"}, ListWithEngine(archive));
    EXPECT_EQ("", PeerCheck(archive, "secret"));
  }
}

// ---- the directory writer --------------------------------------------------------------------

TEST(DirectoryWriter, BlocksCountsPositionsAndNames) {
  // Zip64 block sizes.
  TDirItem item;
  item.UncompressedSize = item.CompressedSize = 0xFFFFFFFFu;
  EXPECT_EQ(20u, zip::Zip64ExtraSizeOf(item));
  item.LocalHeaderOffset = 0xFFFFFFFFu;
  item.DiskNumberStart = 0xFFFF;
  EXPECT_EQ(32u, zip::Zip64ExtraSizeOf(item));
  // A stored Zip64 block is dropped; the others follow the new one.
  zip::TExtraField old64{1, 4, {1, 2, 3, 4}}, other{0x5455, 1, {7}};
  item.ExtraFields = {old64, other};
  const auto area = zip::CentralExtraArea(item);
  ASSERT_EQ(32u + 5u, area.size());
  EXPECT_EQ(0x5455, zip::GetU16(area.data() + 32));
  TDirItem plain;
  plain.ExtraFields = {old64};
  EXPECT_TRUE(zip::CentralExtraArea(plain).empty());

  struct Row {
    const char* What;
    int Entries;
    std::int64_t StartAt;  // the stream's size before the directory (sparse)
    bool Zip64;
  };
  const Row rows[] = {
      {"no entries", 0, 0, false},
      {"65534 entries", 65534, 0, false},
      {"65535 entries", 65535, 0, true},
      {"directory ending past 4 GiB", 1, 0xFFFFFFF0ll, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.What);
    TTempDir dir;
    zip::TZipArchiver a;
    a.FileName = EngineName(dir / "a.zip");
    a.OpenArchive(zip::ZAFileModeCreate);
    a.FArchiveStream->SetSize(r.StartAt);
    zip::TZADirArray& entries = *a.CentralDir();
    entries.SetCount(r.Entries);
    for (int i = 0; i < r.Entries; ++i) {
      TDirItem& e = entries.ItemRef(i);
      e.Signature = zip::CentralHeaderSignature;
      e.Name = "n" + std::to_string(i);
    }
    a.FDirManager->Comment = "the comment";
    a.SaveCentralDirectory();
    // The new archive takes its name at the close.
    a.CloseArchive();
    const fs::path file = dir / "a.zip";
    const std::int64_t size = static_cast<std::int64_t>(fs::file_size(file));
    zip::TZAFileStream s(file.string(), zip::fmOpenReadDenyNone);
    std::uint8_t end[22];
    ASSERT_EQ(22u, s.ReadAt(size - 22 - 11, end, 22));
    zip::TEndRecord rec;
    zip::ParseEndRecord(end, rec);
    EXPECT_EQ(zip::sigEndRecord, rec.Signature);
    EXPECT_EQ(11, rec.CommentLength);
    EXPECT_EQ(std::min(r.Entries, 0xFFFF), rec.TotalEntries);
    EXPECT_EQ(std::min<std::int64_t>(r.StartAt, 0xFFFFFFFFll), rec.DirectoryOffset);
    std::uint8_t loc[4];
    s.ReadAt(size - 22 - 11 - 20, loc, 4);
    EXPECT_EQ(r.Zip64, zip::GetU32(loc) == zip::sigZip64Locator);
    if (r.Entries == 0) {
      EXPECT_EQ(22 + 11, size);
    }
  }
}

TEST(DirectoryWriter, NamesFollowTheCodePageOption) {
  struct Row {
    bool Oem;
    const char* Stored;  // the bytes the name is stored under: OEM, else UTF-8
  };
  for (const Row r : {Row{true, "caf\x82.txt"}, Row{false, "caf\xC3\xA9.txt"}}) {
    SCOPED_TRACE(r.Oem);
    TTempDir dir;
    const fs::path archive = dir / "a.zip";
    const auto result = WriteWithEngine(
        archive, true, [&](zip::TZipArchiver& a) { a.AddFromStream("caf\xC3\xA9.txt", Memory(TextBytes(10, 1))); },
        [&](zip::TZipArchiver& a) { a.Options().OEMFileNames = r.Oem; });
    ASSERT_TRUE(result.Succeeded());
    const auto bytes = ReadBytes(archive);
    const std::string all(bytes.begin(), bytes.end());
    // Local and central header hold the same bytes.
    const auto first = all.find(r.Stored);
    ASSERT_NE(std::string::npos, first);
    EXPECT_NE(std::string::npos, all.find(r.Stored, first + 1));
    EXPECT_EQ("", PeerCheck(archive, "", {"7z"}));
  }
  // Names outside Windows-1252 and over the limits.
  TTempDir dir;
  const fs::path archive = dir / "a.zip";
  zip::TZipArchiver a;
  TWriteRun run;
  PrepareArchiver(a, run);
  a.FileName = EngineName(archive);
  a.OpenArchive(zip::ZAFileModeCreate);
  try {
    a.AddFromStream(std::string(1000, 'n'), Memory({}));
    FAIL();
  } catch (const zip::EZAException& e) {
    EXPECT_EQ(70, e.NativeError);
  }
  a.CloseArchive();
}

TEST(DirectoryWriter, LastVolumeTakesTheFinalNameOverAnOldFile) {
  TTempDir dir;
  WriteBytes(dir / "arc.zip", TextBytes(100, 1));
  const auto result = WriteWithEngine(
      dir / "arc.zip", true, [&](zip::TZipArchiver& a) { a.AddFromStream("big.bin", Memory(RandomBytes(200000, 3))); },
      [&](zip::TZipArchiver& a) {
        a.SetSpanningMode(zip::smSplitting);
        a.SpanningOptions().VolumeSize = zip::vsCustom;
        a.SpanningOptions().SetCustomVolumeSize(65536);
      });
  ASSERT_TRUE(result.Succeeded()) << result.Message;
  EXPECT_EQ((std::vector<std::string>{"arc.zip", "arc_001.zip", "arc_002.zip", "arc_003.zip"}), ListTree(dir.Path()));
  const TEngineRun run = ExtractWithEngine(dir / "arc.zip", dir / "out");
  EXPECT_TRUE(run.Result.Succeeded());
  EXPECT_EQ(RandomBytes(200000, 3), ReadBytes(dir / "out" / "big.bin"));
}

// ---- the update commit -----------------------------------------------------------------------

TEST(UpdateCommit, WhereTheRewriteBeginsAndWhatItKeeps) {
  TTempDir dir;
  const fs::path archive = dir / "a.zip";

  // Appending after n entries leaves them in place and writes the new one where the directory was.
  MakeArchive(archive, 3);
  const auto before = ReadBytes(archive);
  std::int64_t dirStart = 0;
  {
    zip::TZipArchiver a;
    a.FileName = EngineName(archive);
    a.OpenArchive(zip::fmOpenReadWriteDenyWrite);
    dirStart = a.FDirManager->CentralDirStart;
    a.AddFromStream("added.txt", Memory(TextBytes(500, 9)));
    EXPECT_TRUE(a.LastCommitResult().Succeeded());
    EXPECT_EQ(static_cast<std::uint32_t>(dirStart), a.CentralDir()->ItemRef(3).LocalHeaderOffset);
    a.CloseArchive();
  }
  auto after = ReadBytes(archive);
  ASSERT_GT(after.size(), static_cast<std::size_t>(dirStart));
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + dirStart, after.begin()));

  // Deleting entry 1 moves the later ones down and reports poDelete.
  {
    zip::TZipArchiver a;
    a.FileName = EngineName(archive);
    a.OpenArchive(zip::fmOpenReadWriteDenyWrite);
    const std::uint32_t deletedAt = a.CentralDir()->ItemRef(1).LocalHeaderOffset;
    const std::uint32_t nextAt = a.CentralDir()->ItemRef(2).LocalHeaderOffset;
    std::vector<zip::TZAProcessOperation> overall;
    a.OnOverallProgress = [&](auto*, double, zip::TZAProcessOperation op, zip::TZAProgressPhase, bool&) {
      overall.push_back(op);
    };
    a.DeleteFiles("f1.txt");
    EXPECT_EQ((std::vector<std::string>{"f0.txt", "f2.txt", "added.txt"}), Names(a));
    EXPECT_EQ(deletedAt, a.CentralDir()->ItemRef(1).LocalHeaderOffset);
    EXPECT_LT(a.CentralDir()->ItemRef(1).LocalHeaderOffset, nextAt);
    ASSERT_FALSE(overall.empty());
    EXPECT_EQ(zip::poDelete, overall.front());
    a.CloseArchive();
  }
  EXPECT_EQ("", PeerCheck(archive));

  // A new archive with a stub is cut at the stub.
  WriteBytes(dir / "stub.bin", RandomBytes(4000, 4));
  const auto withStub = WriteWithEngine(
      dir / "sfx.zip", true, [&](zip::TZipArchiver& a) { a.AddFromStream("x.txt", Memory(TextBytes(10, 1))); },
      [&](zip::TZipArchiver& a) { a.SFXStub = EngineName(dir / "stub.bin"); });
  EXPECT_TRUE(withStub.Succeeded());
  const auto sfx = ReadBytes(dir / "sfx.zip");
  EXPECT_TRUE(std::equal(sfx.begin(), sfx.begin() + 4000, ReadBytes(dir / "stub.bin").begin()));
  EXPECT_EQ(zip::sigLocalHeader, zip::GetU32(sfx.data() + 4000));

  // Cancel at ppStart leaves the file byte for byte.
  after = ReadBytes(archive);
  {
    zip::TZipArchiver a;
    a.FileName = EngineName(archive);
    a.OpenArchive(zip::fmOpenReadWriteDenyWrite);
    a.OnOverallProgress = [](auto*, double, zip::TZAProcessOperation, zip::TZAProgressPhase phase, bool& cancel) {
      cancel = phase == zip::ppStart;
    };
    a.DeleteFiles("*.*");
    EXPECT_EQ(zip::TZACommitState::Cancelled, a.LastCommitResult().State);
    EXPECT_EQ(3, a.ItemCount());
    a.CloseArchive();
  }
  EXPECT_EQ(after, ReadBytes(archive));

  // Zip64 always: every new entry's offset is escaped, version 45, and sources get the local block.
  const auto z64 = WriteWithEngine(
      dir / "z64.zip", true,
      [&](zip::TZipArchiver& a) {
        a.AddFromStream("dir/", nullptr, zip::faDirectory);
        a.AddFromStream("dir/a.txt", Memory(TextBytes(100, 1)));
      },
      [&](zip::TZipArchiver& a) { a.Zip64Mode = zip::zmAlways; });
  ASSERT_TRUE(z64.Succeeded());
  {
    zip::TZipArchiver a;
    a.FileName = EngineName(dir / "z64.zip");
    a.OpenArchive(zip::fmOpenReadDenyWrite);
    ASSERT_EQ(2, a.ItemCount());
    const auto bytes = ReadBytes(dir / "z64.zip");
    for (int i = 0; i < 2; ++i) {
      const TDirItem& e = a.CentralDir()->ItemRef(i);
      EXPECT_EQ(0xFFFFFFFFu, e.LocalHeaderOffset);
      EXPECT_EQ(45, e.VersionNeeded & 0xFF);
      const std::uint8_t* local = bytes.data() + e.LocalHeaderOffset64;
      EXPECT_EQ(zip::sigLocalHeader, zip::GetU32(local));
      EXPECT_EQ(i == 0 ? 0 : 20, zip::GetU16(local + 28)) << e.Name;
    }
    a.CloseArchive();
  }
  EXPECT_EQ("", PeerCheck(dir / "z64.zip"));
}

TEST(UpdateCommit, FailureAnswersIgnoreRetryAbort) {
  struct Row {
    const char* What;
    bool Freshen;  // else the failing source is a new entry
    std::vector<zip::TZAAction> Answers;
    std::vector<std::string> Names;
    zip::TZACommitState State;
    int Attempts;
  };
  const Row rows[] = {
      {"new entry, Ignore", false, {zip::fxaIgnore}, {"f0.txt", "f1.txt", "f2.txt", "ok.txt"},
       zip::TZACommitState::Committed, 1},
      {"new entry, Retry then Ignore", false, {zip::fxaRetry, zip::fxaIgnore},
       {"f0.txt", "f1.txt", "f2.txt", "ok.txt"}, zip::TZACommitState::Committed, 2},
      {"new entry, Abort", false, {zip::fxaAbort}, {"f0.txt", "f1.txt", "f2.txt"}, zip::TZACommitState::RolledBack, 1},
      {"freshened entry, Ignore", true, {zip::fxaIgnore}, {"f0.txt", "f1.txt", "f2.txt", "ok.txt"},
       zip::TZACommitState::Committed, 1},
      {"freshened entry, Abort", true, {zip::fxaAbort}, {"f0.txt", "f1.txt", "f2.txt"},
       zip::TZACommitState::RolledBack, 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.What);
    TTempDir dir;
    const fs::path archive = dir / "a.zip";
    MakeArchive(archive, 3);
    const auto original = ReadBytes(archive);
    WriteBytes(dir / "f1.txt", TextBytes(50, 1));
    WriteBytes(dir / "ok.txt", TextBytes(50, 2));
    zip::TZipArchiver a;
    a.FileName = EngineName(archive);
    a.BaseDir = EngineName(dir.Path());
    a.OpenArchive(zip::fmOpenReadWriteDenyWrite);
    int attempts = 0;
    a.OnProcessFileFailure = [&](auto*, const std::string&, zip::TZAProcessOperation, int code, int,
                                 const std::string&, zip::TZAAction& action) {
      EXPECT_EQ(33, code);
      action = r.Answers[std::min<std::size_t>(attempts, r.Answers.size() - 1)];
      ++attempts;
    };
    a.BeginUpdate();
    if (r.Freshen) {
      a.UpdateFiles("f1.txt");
      ASSERT_TRUE(a.CentralDir()->ItemRef(1).IsNew);
    } else {
      a.AddFiles("f1.txt");
      a.DeleteFiles("f1.txt");  // the stored f1.txt goes, the new one comes at the end
      a.AddFiles("f1.txt");
    }
    a.AddFiles("ok.txt");
    // The source vanishes before the commit.
    fs::remove(dir / "f1.txt");
    a.EndUpdate();
    EXPECT_EQ(r.State, a.LastCommitResult().State);
    EXPECT_EQ(r.Attempts, attempts);
    std::vector<std::string> names = Names(a);
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected = r.Names;
    if (!r.Freshen && r.State == zip::TZACommitState::Committed) {
      expected.erase(std::find(expected.begin(), expected.end(), "f1.txt"));
    }
    EXPECT_EQ(expected, names);
    a.CloseArchive();
    if (r.State == zip::TZACommitState::RolledBack) {
      EXPECT_EQ(original, ReadBytes(archive));
    } else {
      EXPECT_EQ("", PeerCheck(archive));
      if (r.Freshen) {
        // The old data of f1.txt is still there.
        const TEngineRun run = ExtractWithEngine(archive, dir / "out");
        EXPECT_TRUE(run.Result.Succeeded());
        EXPECT_EQ(TextBytes(3100, 1), ReadBytes(dir / "out" / "f1.txt"));
      }
    }
    // Nothing else appeared beside the archive.
    for (const auto& n : ListTree(dir.Path())) {
      EXPECT_TRUE(n == "a.zip" || n == "ok.txt" || n.rfind("out", 0) == 0) << n;
    }
  }
}

TEST(UpdateCommit, MovedSourcesGoOnlyOnceTheArchiveIsComplete) {
  TTempDir dir;
  fs::create_directories(dir / "src" / "folder");
  WriteBytes(dir / "src" / "folder" / "a.txt", TextBytes(100, 1));
  WriteBytes(dir / "src" / "b.txt", TextBytes(100, 2));
  const fs::path archive = dir / "a.zip";
  bool sourcesThereAtEnd = false;
  zip::TZipArchiver a;
  TWriteRun run;
  PrepareArchiver(a, run);
  a.FileName = EngineName(archive);
  a.BaseDir = EngineName(dir / "src");
  a.OpenArchive(zip::ZAFileModeCreate);
  a.OnFileProgress = [&](auto*, const std::string&, double, zip::TZAProcessOperation, zip::TZAProgressPhase phase,
                         bool&) {
    if (phase == zip::ppEnd) sourcesThereAtEnd = fs::exists(dir / "src" / "b.txt");
  };
  a.MoveFiles("*");
  EXPECT_TRUE(a.LastCommitResult().Succeeded());
  a.CloseArchive();
  EXPECT_TRUE(sourcesThereAtEnd);
  EXPECT_FALSE(fs::exists(dir / "src" / "b.txt"));
  EXPECT_FALSE(fs::exists(dir / "src" / "folder" / "a.txt"));
  // A folder's source stays.
  EXPECT_TRUE(fs::is_directory(dir / "src" / "folder"));
  EXPECT_EQ("", PeerCheck(archive));
}

// A moved source that cannot be deleted goes to the failure event; the archive stays as written.
TEST(UpdateCommit, MovedSourceThatCannotBeDeleted) {
  TTempDir dir;
  fs::create_directories(dir / "src");
  WriteBytes(dir / "src" / "a.txt", TextBytes(100, 1));
  WriteBytes(dir / "src" / "b.txt", TextBytes(100, 2));
  WriteBytes(dir / "src" / "c.txt", TextBytes(100, 3));
  // An immutable file cannot be deleted, even by the superuser.
  const std::string locked = Quote((dir / "src" / "a.txt").string());
  if (Shell("chattr +i " + locked + " 2>/dev/null") != 0) GTEST_SKIP() << "the file system has no immutable files";
  // The folder must be removable at the end, whatever happens in between.
  struct TUnlock {
    std::string File;
    ~TUnlock() { Shell("chattr -i " + File); }
  } unlock{locked};
  for (const zip::TZAAction answer : {zip::fxaIgnore, zip::fxaAbort}) {
    SCOPED_TRACE(static_cast<int>(answer));
    WriteBytes(dir / "src" / "b.txt", TextBytes(100, 2));
    WriteBytes(dir / "src" / "c.txt", TextBytes(100, 3));
    zip::TZipArchiver a;
    a.FileName = EngineName(dir / "moved.zip");
    a.BaseDir = EngineName(dir / "src");
    a.OpenArchive(zip::ZAFileModeCreate);
    std::vector<int> codes;
    a.OnProcessFileFailure = [&](auto*, const std::string&, zip::TZAProcessOperation op, int code, int,
                                 const std::string&, zip::TZAAction& action) {
      EXPECT_EQ(zip::poMove, op);
      codes.push_back(code);
      action = answer;
    };
    a.MoveFiles("*");
    EXPECT_TRUE(a.LastCommitResult().Succeeded());
    a.CloseArchive();
    EXPECT_EQ(std::vector<int>{27}, codes);
    EXPECT_EQ(3u, ListWithEngine(dir / "moved.zip").size());
    EXPECT_TRUE(fs::exists(dir / "src" / "a.txt"));
    // Abort keeps the sources not yet deleted.
    EXPECT_EQ(answer == zip::fxaAbort, fs::exists(dir / "src" / "b.txt"));
  }
}

// An entry written by another tool whose local extra field differs from its central one is
// copied whole, and archives made by zip keep working after we changed them.
TEST(UpdateCommit, ZipArchiveFreshenedRenamedAndDeleted) {
  TTempDir dir;
  MakeSampleTree(dir / "src");
  const fs::path archive = dir / "zip.zip";
  ASSERT_EQ(0, Shell("cd " + Quote((dir / "src").string()) + " && zip -q -r " + Quote(archive.string()) + " ."));
  // The tree as it shall be: one file changed, one renamed, one deleted.
  ASSERT_EQ(0, Shell("cp -a " + Quote((dir / "src").string()) + " " + Quote((dir / "expected").string())));
  WriteBytes(dir / "expected" / "readme.txt", TextBytes(7000, 42));
  fs::last_write_time(dir / "expected" / "readme.txt",
                      fs::last_write_time(dir / "expected" / "run.sh") + std::chrono::hours(24 * 30));
  fs::copy_file(dir / "expected" / "readme.txt", dir / "src" / "readme.txt", fs::copy_options::overwrite_existing);
  fs::last_write_time(dir / "src" / "readme.txt", fs::last_write_time(dir / "expected" / "readme.txt"));
  fs::rename(dir / "expected" / "docs" / "notes.txt", dir / "expected" / "docs" / "renamed.txt");
  fs::remove(dir / "expected" / "random.bin");

  TWriteRun run;
  const auto result = WriteWithEngine(
      archive, false,
      [&](zip::TZipArchiver& a) {
        a.UpdateFiles("readme.txt");
        a.RenameItem("docs/notes.txt", "docs/renamed.txt");
        a.DeleteFiles("random.bin");
      },
      [&](zip::TZipArchiver& a) { a.BaseDir = EngineName(dir / "src"); }, &run);
  ASSERT_TRUE(result.Succeeded()) << result.Message;
  EXPECT_TRUE(run.Failures.empty());
  EXPECT_EQ("", PeerCheck(archive));
  const TEngineRun engine = ExtractWithEngine(archive, dir / "engine");
  ASSERT_TRUE(engine.Opened);
  EXPECT_TRUE(engine.Result.Succeeded());
  EXPECT_EQ("", CompareTrees(dir / "expected", dir / "engine"));
  ASSERT_EQ(0, Shell("unzip -qq " + Quote(archive.string()) + " -d " + Quote((dir / "unzipped").string())));
  EXPECT_EQ("", CompareTrees(dir / "expected", dir / "unzipped"));
}

// A freshened entry of an Info-ZIP archive takes its new data's time: the old time blocks (which
// 7-Zip prefers to the DOS time) go with the old data, while an entry left alone keeps them.
TEST(UpdateCommit, FreshenedEntryTakesTheNewTime) {
  enum class TWay { UpdateFiles, AddFiles, AddFromStream };
  for (const TWay way : {TWay::UpdateFiles, TWay::AddFiles, TWay::AddFromStream}) {
    SCOPED_TRACE(static_cast<int>(way));
    TTempDir dir;
    WriteBytes(dir / "src" / "a.txt", TextBytes(3000, 1));
    WriteBytes(dir / "src" / "b.txt", TextBytes(3000, 2));
    const std::time_t oldTime = 1700000000;
    StampTimes(dir / "src", oldTime);
    const auto mtime = [](const fs::path& p) {
      struct stat st {};
      return ::stat(p.c_str(), &st) == 0 ? st.st_mtime : 0;
    };
    const std::time_t bTime = mtime(dir / "src" / "b.txt");
    const fs::path archive = dir / "info.zip";
    ASSERT_EQ(0, Shell("cd " + Quote((dir / "src").string()) + " && zip -q " + Quote(archive.string()) + " a.txt b.txt"));
    const auto newData = TextBytes(5000, 3);
    WriteBytes(dir / "src" / "a.txt", newData);
    const std::time_t newTime = oldTime + 90 * 24 * 3600;
    const timespec times[2] = {{newTime, 0}, {newTime, 0}};
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, (dir / "src" / "a.txt").c_str(), times, 0));
    std::tm local{};
    localtime_r(&newTime, &local);
    const std::int32_t dosTime = static_cast<std::int32_t>(
        (static_cast<std::uint32_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday) << 16) |
        static_cast<std::uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2)));
    TWriteRun run;
    const auto result = WriteWithEngine(
        archive, false,
        [&](zip::TZipArchiver& a) {
          switch (way) {
            case TWay::UpdateFiles: a.UpdateFiles("a.txt"); break;
            case TWay::AddFiles: a.AddFiles("a.txt"); break;
            case TWay::AddFromStream: a.AddFromStream("a.txt", Memory(newData), zip::faArchive, dosTime); break;
          }
        },
        [&](zip::TZipArchiver& a) { a.BaseDir = EngineName(dir / "src"); }, &run);
    ASSERT_TRUE(result.Succeeded()) << result.Message;
    EXPECT_EQ(1, result.Stored);
    EXPECT_EQ("", PeerCheck(archive));
    ASSERT_EQ(0, Shell("7zz x -bso0 -bsp0 -o" + Quote((dir / "7z").string()) + " " + Quote(archive.string())));
    EXPECT_EQ(newTime, mtime(dir / "7z" / "a.txt"));
    EXPECT_EQ(newData, ReadBytes(dir / "7z" / "a.txt"));
    EXPECT_EQ(bTime, mtime(dir / "7z" / "b.txt"));
  }
}

// A memory archive is changed like a file and written out when it leaves memory.
TEST(UpdateCommit, InMemoryArchiveToFile) {
  TTempDir dir;
  zip::TZipArchiver a;
  TWriteRun run;
  PrepareArchiver(a, run);
  a.SetInMemory(true);
  a.OpenArchive(zip::ZAFileModeCreate);
  for (int i = 0; i < 3; ++i) a.AddFromStream("m" + std::to_string(i) + ".txt", Memory(TextBytes(2000, i)));
  a.DeleteFiles("m0.txt");
  a.BeginUpdate();
  a.RenameItem("m2.txt", "renamed.txt");
  a.FileName = EngineName(dir / "mem.zip");
  a.SetInMemory(false);  // closes (committing the rename) and opens the file
  EXPECT_TRUE(a.LastCommitResult().Succeeded());
  EXPECT_EQ((std::vector<std::string>{"m1.txt", "renamed.txt"}), Names(a));
  a.CloseArchive();
  EXPECT_EQ("", PeerCheck(dir / "mem.zip"));
  const TEngineRun back = ExtractWithEngine(dir / "mem.zip", dir / "out");
  EXPECT_TRUE(back.Result.Succeeded());
  EXPECT_EQ(TextBytes(2000, 2), ReadBytes(dir / "out" / "renamed.txt"));
}

TEST(UpdateCommit, MendedCasesOfTheRewrite) {
  TTempDir dir;
  // A zip archive with other data put in front of it: the rewrite starts where its directory
  // really lies, and the offsets written count from the start of the file.
  MakeSampleTree(dir / "src");
  // Folder entries too: their offsets are moved like the others'.
  ASSERT_EQ(0, Shell("cd " + Quote((dir / "src").string()) + " && zip -q -r " + Quote((dir / "plain.zip").string()) + " ."));
  auto prefixed = RandomBytes(5000, 77);
  const auto plain = ReadBytes(dir / "plain.zip");
  prefixed.insert(prefixed.end(), plain.begin(), plain.end());
  WriteBytes(dir / "prefixed.zip", prefixed);
  const auto appended = WriteWithEngine(dir / "prefixed.zip", false, [&](zip::TZipArchiver& a) {
    a.AddFromStream("added.txt", Memory(TextBytes(500, 1)));
  });
  ASSERT_TRUE(appended.Succeeded()) << appended.Message;
  EXPECT_EQ("", PeerCheck(dir / "prefixed.zip"));
  const auto after = ReadBytes(dir / "prefixed.zip");
  EXPECT_TRUE(std::equal(prefixed.begin(), prefixed.end() - 22 - 2000, after.begin()));

  // Entries written with data descriptors keep them when they are copied.
  ASSERT_EQ(0, Shell("cd " + Quote((dir / "src").string()) + " && zip -q -r - . | cat > " + Quote((dir / "streamed.zip").string())));
  const auto trimmed = WriteWithEngine(dir / "streamed.zip", false, [&](zip::TZipArchiver& a) { a.DeleteFiles("readme.txt"); });
  ASSERT_TRUE(trimmed.Succeeded()) << trimmed.Message;
  EXPECT_EQ("", PeerCheck(dir / "streamed.zip"));
  {
    zip::TZipArchiver a;
    a.FileName = EngineName(dir / "streamed.zip");
    a.OpenArchive(zip::fmOpenReadDenyWrite);
    const auto bytes = ReadBytes(dir / "streamed.zip");
    int descriptors = 0;
    for (std::int32_t i = 0; i < a.ItemCount(); ++i) {
      const TDirItem& e = a.CentralDir()->ItemRef(i);
      if (!(e.Flags & 8)) continue;
      const std::size_t dataEnd = e.LocalHeaderOffset + 30 + zip::GetU16(bytes.data() + e.LocalHeaderOffset + 26) +
                                  zip::GetU16(bytes.data() + e.LocalHeaderOffset + 28) + e.CompressedSize;
      EXPECT_EQ(zip::sigDataDescriptor, zip::GetU32(bytes.data() + dataEnd)) << e.Name;
      EXPECT_EQ(e.Crc32, zip::GetU32(bytes.data() + dataEnd + 4)) << e.Name;
      ++descriptors;
    }
    EXPECT_GT(descriptors, 3);
    a.CloseArchive();
  }

  // An entry whose source ends early (code 34), answered Ignore, leaves no bytes behind it.
  const auto base = WriteWithEngine(dir / "base.zip", true, [&](zip::TZipArchiver& a) {
    a.AddFromStream("one.txt", Memory(TextBytes(3000, 1)));
    a.AddFromStream("two.txt", Memory(TextBytes(3000, 2)));
  });
  ASSERT_TRUE(base.Succeeded());
  TWriteRun run;
  const auto failing = WriteWithEngine(
      dir / "failing.zip", true,
      [&](zip::TZipArchiver& a) {
        a.AddFromStream("one.txt", Memory(TextBytes(3000, 1)));
        a.AddFromStream("short.txt", std::make_shared<TShortStream>(TextBytes(300000, 9)));
        a.AddFromStream("two.txt", Memory(TextBytes(3000, 2)));
      },
      {}, &run);
  EXPECT_EQ(std::vector<int>{34}, run.FailureCodes);
  EXPECT_EQ(1, failing.Ignored);
  // The same bytes but for the dates: the same size.
  EXPECT_EQ(fs::file_size(dir / "base.zip"), fs::file_size(dir / "failing.zip"));
  EXPECT_EQ("", PeerCheck(dir / "failing.zip"));

  // Testing by mask finds a damaged entry.
  {
    auto bytes = ReadBytes(dir / "base.zip");
    bytes[60] ^= 0x55;  // inside the first entry's data
    WriteBytes(dir / "damaged.zip", bytes);
    for (const auto& [file, failed] : {std::pair{"base.zip", 0}, std::pair{"damaged.zip", 1}}) {
      zip::TZipArchiver a;
      TWriteRun r;
      PrepareArchiver(a, r);
      a.FileName = EngineName(dir / file);
      a.OpenArchive(zip::fmOpenReadDenyWrite);
      a.TestFiles("*.*");
      EXPECT_EQ(2, a.LastResult().Selected) << file;
      EXPECT_EQ(failed, a.LastResult().Failed) << file;
      a.CloseArchive();
    }
  }
}

TEST(Compressing, EncryptionHeadersAreRandom) {
  zip::TZipArchiver a;
  std::vector<std::vector<std::uint8_t>> headers;
  for (int i = 0; i < 2; ++i) {
    zip::TZAMemoryStream source(TextBytes(100, 1)), out;
    TDirItem item;
    item.CompressionMode = 6;
    item.Method = 8;
    item.Password = "pw";
    ASSERT_TRUE(a.CompressItem(source, out, item));
    headers.emplace_back(out.Data().begin(), out.Data().begin() + 10);
  }
  EXPECT_NE(headers[0], headers[1]);
}

}  // namespace
