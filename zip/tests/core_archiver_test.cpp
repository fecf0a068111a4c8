// The archiver component: defaults, the level/mode coupling, the option objects, the volume
// record, state checks and the process-wide lock.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "ZipArchiver.h"

namespace zip {
namespace {

int CodeOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EZAException& e) {
    return e.NativeError;
  }
  return 0;
}

TEST(TZipArchiver, DefaultsAfterCreate) {
  TZipArchiver z;
  EXPECT_FALSE(z.ExtractCorruptedFiles);
  EXPECT_EQ(z.CompressionLevel(), clFastest);
  EXPECT_EQ(z.CompressionMode(), 1);
  EXPECT_EQ(z.CurrentVersion(), "2.65 ");
  EXPECT_EQ(z.Password, "");
  EXPECT_EQ(z.FileName, "");
  EXPECT_EQ(z.BaseDir, "");
  EXPECT_EQ(z.TempDir, "");
  EXPECT_EQ(z.SpanningMode(), smNone);
  EXPECT_EQ(z.SFXStub, "");
  EXPECT_EQ(z.FileMasks().Count(), 0);
  EXPECT_EQ(z.ExclusionMasks().Count(), 0);
  EXPECT_EQ(z.NoCompressionMasks().Count(), 0);
  EXPECT_FALSE(z.InMemory());
  EXPECT_EQ(z.Zip64Mode, zmDisabled);
  EXPECT_TRUE(z.FZipFormat);
  EXPECT_EQ(z.FCompressionMethod, 8);  // the zip archiver's own choice, not the base's
  EXPECT_FALSE(z.FOpen);
  EXPECT_EQ(z.FUpdateCount, 0);
  EXPECT_EQ(z.FFileOpenMode, 0);
  EXPECT_TRUE(z.FOpenDamaged);
  EXPECT_FALSE(z.FCancel);
  EXPECT_FALSE(z.FProgressEnabled);
  EXPECT_FALSE(z.FSkipFile);
  EXPECT_EQ(z.FProcessedFileNo, 0);
  EXPECT_EQ(z.FProcessedFileCount, 0);
  EXPECT_EQ(z.FVolumeNumberInfo.VolumeNumber, -1);
  EXPECT_EQ(z.FVolumeNumberInfo.VolumeKind, TZAVolumeKind::vkUnset);
  EXPECT_EQ(z.FVolumeNumberInfo.LastVolumeNumber, -1);
  EXPECT_FALSE(z.OnFileProgress);
  EXPECT_FALSE(z.OnExtractFile);
  EXPECT_FALSE(z.AfterOpen);

  const TZAOptions& o = z.Options();
  EXPECT_TRUE(o.Recurse);
  EXPECT_EQ(o.StorePath, spRelativePath);
  EXPECT_EQ(o.ShareMode, smShareDenyNone);
  EXPECT_EQ(o.OverwriteMode, omAlways);
  EXPECT_TRUE(o.CreateDirs);
  EXPECT_TRUE(o.ReplaceReadOnly);
  EXPECT_TRUE(o.SetAttributes);
  EXPECT_EQ(o.SearchAttr, 10431);
  EXPECT_EQ(o.SearchAttr, 0x28BF);
  EXPECT_TRUE(o.FlushBuffers);
  EXPECT_TRUE(o.OEMFileNames);

  const TZASpanningOptions& s = z.SpanningOptions();
  EXPECT_TRUE(s.AdvancedNaming);
  EXPECT_EQ(s.FirstVolumeSize, 0);
  EXPECT_EQ(s.VolumeSize, vsAutoDetect);
  EXPECT_EQ(s.CustomVolumeSize(), 0);
}

TEST(TZABaseArchiver, BareBaseHasNoMethodAndAutoZip64) {
  TZABaseArchiver b;
  EXPECT_EQ(b.FCompressionMethod, -1);
  EXPECT_EQ(b.Zip64Mode, zmAuto);
  EXPECT_FALSE(b.FZipFormat);
  EXPECT_EQ(b.CompressionMode(), 1);
  b.SetCompressionMode(0);
  EXPECT_EQ(b.FCompressionMethod, -1);
}

TEST(TZipArchiver, LevelAndModeMoveTogether) {
  struct Row {
    int Mode;
    TZACompressionLevel Level;
    std::int16_t Method;
  };
  const Row byMode[] = {{0, clNone, 0},   {1, clFastest, 8}, {2, clFastest, 8}, {3, clFastest, 8},
                        {4, clNormal, 8}, {5, clNormal, 8},  {6, clNormal, 8},  {7, clMax, 8},
                        {8, clMax, 8},    {9, clMax, 8}};
  TZipArchiver z;
  for (const Row& r : byMode) {
    z.SetCompressionMode(r.Mode);
    EXPECT_EQ(z.CompressionMode(), r.Mode);
    EXPECT_EQ(z.CompressionLevel(), r.Level) << r.Mode;
    EXPECT_EQ(z.FCompressionMethod, r.Method) << r.Mode;
  }
  const std::pair<TZACompressionLevel, int> byLevel[] = {
      {clNone, 0}, {clFastest, 1}, {clNormal, 6}, {clMax, 9}};
  for (auto [level, mode] : byLevel) {
    z.SetCompressionLevel(level);
    EXPECT_EQ(z.CompressionMode(), mode);
    EXPECT_EQ(z.FCompressionMethod, mode == 0 ? 0 : 8);
  }
  // Above 9: code 5, and nothing changes.
  z.SetName("ZipArchiver1");
  z.SetCompressionMode(6);
  for (int bad : {10, 255, -1}) {
    try {
      z.SetCompressionMode(bad);
      ADD_FAILURE() << "no error for " << bad;
    } catch (const EZAException& e) {
      EXPECT_EQ(e.NativeError, 5);
      EXPECT_EQ(e.Message(),
                "ZipArchiver1: Invalid compression mode. Mode must be in [0-9] range - Native error: 00005");
    }
    EXPECT_EQ(z.CompressionMode(), 6);
    EXPECT_EQ(z.CompressionLevel(), clNormal);
  }
}

TEST(TZipArchiver, PropertiesWithSetters) {
  TZipArchiver z;
  z.SetCurrentVersion("x");
  EXPECT_EQ(z.CurrentVersion(), "2.65 ");
  z.SpanningOptions().SetCustomVolumeSize(1000);
  EXPECT_EQ(z.SpanningOptions().CustomVolumeSize(), 65536);
  z.SpanningOptions().SetCustomVolumeSize(65536);
  EXPECT_EQ(z.SpanningOptions().CustomVolumeSize(), 65536);
  z.SpanningOptions().SetCustomVolumeSize(5'000'000'000LL);
  EXPECT_EQ(z.SpanningOptions().CustomVolumeSize(), 5'000'000'000LL);
  TStringList masks({"*.txt", "*.ini"});
  z.SetFileMasks(masks);
  masks.Clear();  // the archiver keeps its own copy
  EXPECT_EQ(z.FileMasks().Count(), 2);
  EXPECT_EQ(z.FileMasks()[1], "*.ini");
  z.SetSpanningMode(smSplitting);
  EXPECT_EQ(z.SpanningMode(), smSplitting);
  // Closed: the in-memory flag is just stored.
  z.SetInMemory(true);
  EXPECT_TRUE(z.InMemory());
  z.SetInMemory(false);
  EXPECT_FALSE(z.InMemory());
}

TEST(TZipArchiver, SpanningModeIsRefusedWhileOpen) {
  TZipArchiver z;
  z.SetInMemory(true);
  z.OpenArchiveAuto();  // a new, empty memory archive
  ASSERT_TRUE(z.FOpen);
  try {
    z.SetSpanningMode(smSpanning);
    ADD_FAILURE() << "no error";
  } catch (const EZAException&) {
    ADD_FAILURE() << "not the framework's plain exception";
  } catch (const forms::Exception& e) {
    EXPECT_STREQ(e.what(), "Cannot set spanning mode on open archive");
  }
  EXPECT_EQ(z.SpanningMode(), smNone);
  // Setting the flag to what it already is leaves the archive open.
  z.SetInMemory(true);
  EXPECT_TRUE(z.FOpen);
  // Switching to a file without a file name: code 29, still open in memory.
  EXPECT_EQ(CodeOf([&] { z.SetInMemory(false); }), 29);
  EXPECT_TRUE(z.FOpen);
  EXPECT_TRUE(z.InMemory());
  z.CloseArchive();
}

TEST(TZipArchiver, InMemorySwitchesBetweenMemoryAndFile) {
  namespace fs = std::filesystem;
  std::string tmpl = (fs::temp_directory_path() / "zamemXXXXXX").string();
  fs::path dir = mkdtemp(tmpl.data());
  TZipArchiver z;
  z.SetInMemory(true);
  z.OpenArchiveAuto();

  // A file that cannot be created: the error of the stream layer, and the archive stays in memory.
  z.FileName = (dir / "missing-folder" / "a.zip").string();
  EXPECT_THROW(z.SetInMemory(false), EStreamError);
  EXPECT_TRUE(z.FOpen);
  EXPECT_TRUE(z.InMemory());

  // To a file: the memory archive, complete with its directory, becomes the file.
  z.FileName = (dir / "mem.zip").string();
  z.SetInMemory(false);
  EXPECT_TRUE(z.FOpen);
  EXPECT_FALSE(z.InMemory());
  std::ifstream in(dir / "mem.zip", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, std::string("PK\x05\x06", 4) + std::string(18, '\0'));  // an empty archive

  // Back to memory: a new, empty memory archive; the file is left as it was.
  std::ofstream(dir / "keep.txt") << "keep";
  if (std::system(("cd '" + dir.string() + "' && zip -q full.zip keep.txt").c_str()) == 0) {
    z.CloseArchive();
    z.SetInMemory(false);
    z.FileName = (dir / "full.zip").string();
    z.OpenArchive(32);
    EXPECT_EQ(z.ItemCount(), 1);
    auto before = fs::file_size(dir / "full.zip");
    z.SetInMemory(true);
    EXPECT_TRUE(z.FOpen);
    EXPECT_EQ(z.ItemCount(), 0);
    EXPECT_EQ(fs::file_size(dir / "full.zip"), before);
  }
  z.CloseArchive();
  fs::remove_all(dir);
}

TEST(TZipArchiver, StateChecks) {
  TZipArchiver z;
  EXPECT_EQ(CodeOf([&] { z.CheckOpen(); }), 13);
  EXPECT_FALSE(z.CheckNotInUpdate());
  EXPECT_FALSE(z.InUpdate());
  z.FUpdateCount = 1;
  EXPECT_TRUE(z.InUpdate());
  EXPECT_EQ(CodeOf([&] { z.CheckNotInUpdate(); }), 26);
  z.FUpdateCount = 0;
}

TEST(TZAOptions, AssignKeepsTheShareMode) {
  TZAOptions src;
  src.Recurse = false;
  src.StorePath = spFullPath;
  src.ShareMode = smShareExclusive;
  src.OverwriteMode = omIfNewer;
  src.CreateDirs = false;
  src.ReplaceReadOnly = false;
  src.SetAttributes = false;
  src.SearchAttr = 0x3F;
  src.FlushBuffers = false;
  src.OEMFileNames = false;
  TZAOptions dst;
  dst.Assign(src);
  EXPECT_FALSE(dst.Recurse);
  EXPECT_EQ(dst.StorePath, spFullPath);
  EXPECT_EQ(dst.ShareMode, smShareDenyNone);
  EXPECT_EQ(dst.OverwriteMode, omIfNewer);
  EXPECT_FALSE(dst.CreateDirs);
  EXPECT_FALSE(dst.ReplaceReadOnly);
  EXPECT_FALSE(dst.SetAttributes);
  EXPECT_EQ(dst.SearchAttr, 0x3F);
  EXPECT_FALSE(dst.FlushBuffers);
  EXPECT_FALSE(dst.OEMFileNames);

  TZASpanningOptions a;
  a.AdvancedNaming = false;
  a.FirstVolumeSize = 7;
  a.VolumeSize = vs650MB;
  TZASpanningOptions b;
  b.Assign(a);
  EXPECT_FALSE(b.AdvancedNaming);
  EXPECT_EQ(b.FirstVolumeSize, 7);
  EXPECT_EQ(b.VolumeSize, vs650MB);
  EXPECT_EQ(b.CustomVolumeSize(), 0);  // copied as it stands, without the setter's minimum
}

TEST(TZASpanningOptions, VolumeSizeLimits) {
  const std::pair<TZAVolumeSize, std::int64_t> sizes[] = {
      {vsAutoDetect, -1},       {vsCustom, 70000},        {vs1_44MB, 1457664},
      {vs100MB, 104857600},     {vs200MB, 209715200},     {vs250MB, 262144000},
      {vs600MB, 629145600},     {vs650MB, 681574400},     {vs700MB, 734003200},
      {vs4700MB, 0x125C00000LL}};
  TZASpanningOptions s;
  s.SetCustomVolumeSize(70000);
  TZAVolumeNumberInfo first, second;
  first.SetFirst(true);
  second.SetNumber(1);
  for (auto [kind, limit] : sizes) {
    s.VolumeSize = kind;
    s.FirstVolumeSize = 0;
    EXPECT_EQ(s.GetVolumeSize(first), limit) << int(kind);
    EXPECT_EQ(s.GetVolumeSize(second), limit) << int(kind);
    s.FirstVolumeSize = 12345;
    EXPECT_EQ(s.GetVolumeSize(first), 12345);
    EXPECT_EQ(s.GetVolumeSize(second), limit);
  }
}

TEST(TZAVolumeNumberInfo, KindsAndSameVolume) {
  TZAVolumeNumberInfo unset;
  EXPECT_FALSE(unset.IsFirst());
  EXPECT_FALSE(unset.IsLast());

  TZAVolumeNumberInfo last;
  last.SetLast(true);  // last volume number unknown: the kind says it
  EXPECT_TRUE(last.IsLast());
  EXPECT_EQ(last.VolumeNumber, -1);
  last.SetLast(false);  // false changes nothing
  EXPECT_TRUE(last.IsLast());

  TZAVolumeNumberInfo known;
  known.LastVolumeNumber = 4;
  known.SetNumber(4);
  EXPECT_TRUE(known.IsLast());  // number 4 of a set whose last is 4
  known.SetNumber(3);
  EXPECT_FALSE(known.IsLast());
  known.SetLast(true);
  EXPECT_EQ(known.VolumeNumber, 4);
  EXPECT_EQ(known.VolumeKind, TZAVolumeKind::vkLast);

  TZAVolumeNumberInfo first;
  first.SetFirst(true);
  EXPECT_TRUE(first.IsFirst());
  EXPECT_EQ(first.VolumeKind, TZAVolumeKind::vkFirst);
  TZAVolumeNumberInfo zero;
  zero.SetNumber(0);
  EXPECT_TRUE(first.SameVolume(zero));
  EXPECT_TRUE(last.SameVolume(known));
  EXPECT_FALSE(last.SameVolume(first));
  TZAVolumeNumberInfo two, otherTwo, three;
  two.SetNumber(2);
  otherTwo.SetNumber(2);
  three.SetNumber(3);
  EXPECT_TRUE(two.SameVolume(otherTwo));
  EXPECT_FALSE(two.SameVolume(three));
  TZAVolumeNumberInfo u1, u2;
  EXPECT_TRUE(u1.SameVolume(u2));  // negative numbers: the kinds decide
  u1.Reset();
  EXPECT_EQ(u1.VolumeKind, TZAVolumeKind::vkUnset);
}

TEST(ProcessLock, TwoThreadsNeverHoldItTogether) {
  std::atomic<int> inside{0};
  std::atomic<int> maxInside{0};
  auto worker = [&] {
    for (int i = 0; i < 50; ++i) {
      TZAProcessLockGuard guard;
      TZAProcessLockGuard again;  // re-entrant on one thread
      int now = ++inside;
      maxInside = std::max(maxInside.load(), now);
      std::this_thread::sleep_for(std::chrono::microseconds(50));
      --inside;
    }
  };
  std::thread a(worker), b(worker);
  a.join();
  b.join();
  EXPECT_EQ(maxInside.load(), 1);
}

}  // namespace
}  // namespace zip
