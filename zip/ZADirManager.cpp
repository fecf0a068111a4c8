#include "ZADirManager.h"

#include <algorithm>
#include <cstring>
#include <string.h>
#include <vector>

#include <zlib.h>

#include "ZAExcept.h"
#include "ZAStrFunc.h"
#include "ZAUnicode.h"
#include "os/codepage.h"

namespace zip {

namespace {

constexpr std::size_t EndSearchWindow = 65600;
constexpr std::size_t StubSearchWindow = 10000;
constexpr std::size_t HeaderSearchWindow = 65535;
constexpr std::size_t MaxNameLength = 999;
constexpr std::size_t MaxRebuildExtra = 260;
constexpr std::uint16_t UnicodePathExtraTag = 0x7075;
constexpr std::uint16_t UnknownHost = 0xFFFF;  // "version made by" of an entry rebuilt from its local header
constexpr std::size_t Zip64DescriptorSize = 24;  // a data descriptor with 8-byte sizes

// What can be wrong with an archive as a whole, as the messages of the engine tell it.
constexpr const char* FaultNoEndRecord = "it has no end of central directory record";
constexpr const char* FaultImpossibleDirectory = "its end record describes a central directory the file cannot hold";
constexpr const char* FaultNoDirectoryThere = "its central directory is not where the end record puts it";
constexpr const char* FaultRebuiltSuffix = "; its entries were found from their local headers, and some may be missing";
constexpr const char* FaultDirectorySize =
    "the number of entries and the size of its central directory in the end record disagree";
constexpr const char* FaultDirectoryOffset = "the offset of its central directory in the end record is wrong";

std::string EntryFault(const std::string& name, const char* what) { return "entry \"" + name + "\" " + what; }

// Restores a stream's position when a scan ends, however it ends.
class TPositionKeeper {
 public:
  explicit TPositionKeeper(TZAStream& s) : FStream(s), FPosition(s.Position()) {}
  ~TPositionKeeper() { FStream.Seek(FPosition); }
  TPositionKeeper(const TPositionKeeper&) = delete;
  TPositionKeeper& operator=(const TPositionKeeper&) = delete;

 private:
  TZAStream& FStream;
  std::int64_t FPosition;
};

void PutU32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

// Sequential reads of the central directory through one large buffer; a short read is the stream's
// read error.
class TDirReader {
 public:
  explicit TDirReader(TZAStream& s) : FStream(&s), FBuffer(0x10000) {}

  void Read(void* out, std::size_t count) {
    auto* dst = static_cast<std::uint8_t*>(out);
    while (count > 0) {
      if (FPos == FLen) Fill();
      const std::size_t n = std::min(count, FLen - FPos);
      std::memcpy(dst, FBuffer.data() + FPos, n);
      FPos += n;
      dst += n;
      count -= n;
    }
  }
  std::string ReadString(std::size_t count) {
    std::string s(count, '\0');
    if (count > 0) Read(s.data(), count);
    return s;
  }
  std::int64_t Position() const { return FStream->Position() - static_cast<std::int64_t>(FLen - FPos); }
  std::int64_t RemainingInVolume() const { return FStream->Size() - Position(); }
  void Restart(TZAStream& s) {
    FStream = &s;
    FPos = FLen = 0;
  }

 private:
  void Fill() {
    FPos = 0;
    FLen = FStream->Read(FBuffer.data(), FBuffer.size());
    if (FLen == 0) throw EStreamError("Stream read error");
  }

  TZAStream* FStream;
  std::vector<std::uint8_t> FBuffer;
  std::size_t FPos = 0;
  std::size_t FLen = 0;
};

}  // namespace

TZADirManager::TZADirManager(TZAStream* stream, TZADirHost& host, bool creating) : FHost(host) {
  Creating = creating;
  ArchiveStream = stream;
  IsCustomStream = stream != host.ArchiveStream();
  IsZip64 = false;
  SfxStubSize = 0;
  ResetEndRecord();
  if (creating) {
    host.VolumeInfo().SetNumber(0);
    host.VolumeInfo().SetFirst(true);
  }
}

std::uint32_t TZADirManager::LocalSignature() const {
  return FHost.ZipFormat() ? sigLocalHeader : sigOwnLocalHeader;
}

void TZADirManager::ResetEndRecord() {
  CentralDir.SetCount(0);
  EndRecord = TEndRecord{};
  EndRecord.Signature = FHost.ZipFormat() ? sigEndRecord : sigOwnEndRecord;
}

void TZADirManager::SwitchToVolume(const TZAVolumeNumberInfo& info) {
  if (IsCustomStream) return;
  ArchiveStream = &FHost.SwitchToVolume(info);
}

bool TZADirManager::FindEndOfCentralDir(TEndRecord& record, std::int64_t& position, std::uint32_t signature) {
  position = -1;
  Comment.clear();
  record = TEndRecord{};
  TZAStream& s = *ArchiveStream;
  const std::int64_t size = s.Size();
  const std::size_t window = static_cast<std::size_t>(std::min<std::int64_t>(size, EndSearchWindow));
  if (window < EndRecordSize) return false;
  std::vector<std::uint8_t> buffer(window);
  const std::int64_t windowStart = size - static_cast<std::int64_t>(window);
  if (s.ReadAt(windowStart, buffer.data(), window) != window) return false;

  std::uint8_t sig[4];
  PutU32(sig, signature);
  // From the end towards the start: the first record whose comment reaches exactly to the end wins.
  for (std::size_t i = window - 1; i >= 3; --i) {
    if (buffer[i] != sig[3] || buffer[i - 1] != sig[2] || buffer[i - 2] != sig[1] || buffer[i - 3] != sig[0]) continue;
    const std::size_t at = i - 3;
    if (window - at < EndRecordSize) continue;
    TEndRecord candidate;
    ParseEndRecord(std::span<const std::uint8_t>(buffer.data() + at, EndRecordSize), candidate);
    if (window - at - EndRecordSize != candidate.CommentLength) continue;
    record = candidate;
    position = windowStart + static_cast<std::int64_t>(at);
    Comment.assign(reinterpret_cast<const char*>(buffer.data() + at + EndRecordSize), candidate.CommentLength);
    return true;
  }
  return false;
}

bool TZADirManager::LocateEndOfCentralDir() {
  std::int64_t position = -1;
  const bool found = FindEndOfCentralDir(EndRecord, position, FHost.ZipFormat() ? sigEndRecord : sigOwnEndRecord);
  return found || FHost.OpenDamaged();
}

bool TZADirManager::DirectoryFits(std::int64_t start, std::uint64_t size, std::uint64_t count,
                                  std::int64_t endPosition) const {
  if (count > size / CentralHeaderSize) return false;
  if (FHost.Spanning() != smNone) return true;
  return start >= 0 && start <= endPosition && static_cast<std::uint64_t>(endPosition - start) >= size;
}

void TZADirManager::LoadCentralDirectory() {
  // Nothing of the last load stays.
  ForgetOverlaps();
  ResetEndRecord();
  SfxStubSize = 0;
  IsZip64 = false;
  Rebuilt = false;
  DirectoryFault.clear();
  FIncompleteOffsets.clear();
  FirstVolume = LastVolume = 0;
  const bool spanning = FHost.Spanning() != smNone;

  // The end record: the zip signature, or the engine's own one and then the zip one.
  TEndRecord record;
  std::int64_t p = -1;
  bool found;
  if (FHost.ZipFormat()) {
    found = FindEndOfCentralDir(record, p, sigEndRecord);
  } else {
    found = FindEndOfCentralDir(record, p, sigOwnEndRecord) || FindEndOfCentralDir(record, p, sigEndRecord);
  }
  if (!found) {
    RebuildInstead(FaultNoEndRecord);
    return;
  }
  EndRecord = record;
  const std::int64_t endRecordPosition = p;

  // The Zip64 locator just in front of the end record.
  TZAStream& s = *ArchiveStream;
  if (p > static_cast<std::int64_t>(Zip64LocatorSize)) {
    std::uint8_t raw[Zip64LocatorSize];
    if (s.ReadAt(p - static_cast<std::int64_t>(Zip64LocatorSize), raw, sizeof raw) == sizeof raw) {
      TZip64Locator locator;
      ParseZip64Locator(raw, locator);
      if (locator.Signature == sigZip64Locator) {
        Zip64Locator = locator;
        p -= static_cast<std::int64_t>(Zip64LocatorSize);
        IsZip64 = true;
      }
    }
  }

  // The Zip64 end record where the locator says; in a single file whose offsets do not count a
  // stub put in front afterwards, it lies just before the locator.
  if (IsZip64) {
    bool ok = false;
    if (p > static_cast<std::int64_t>(Zip64EndRecordSize)) {
      const auto tryAt = [&](std::int64_t at) {
        std::uint8_t raw[Zip64EndRecordSize];
        if (at < 0 || at > p - static_cast<std::int64_t>(Zip64EndRecordSize)) return false;
        if (s.ReadAt(at, raw, sizeof raw) != sizeof raw) return false;
        TZip64EndRecord z;
        ParseZip64EndRecord(raw, z);
        if (z.Signature != sigZip64EndRecord) return false;
        Zip64EndRecord = z;
        return true;
      };
      const std::uint64_t stated = Zip64Locator.EndRecordOffset;
      if (!spanning && stated <= static_cast<std::uint64_t>(p) && tryAt(static_cast<std::int64_t>(stated))) {
        p = static_cast<std::int64_t>(stated);
        ok = true;
      } else if (tryAt(p - static_cast<std::int64_t>(Zip64EndRecordSize))) {
        p -= static_cast<std::int64_t>(Zip64EndRecordSize);
        ok = true;
      }
    }
    if (!ok) throw EZAException(zaerr::Zip64EndRecordMissing);
  }

  // The volumes of the set: the last one, and the one the directory starts on.
  if (IsZip64) {
    LastVolume = static_cast<std::int32_t>(Zip64Locator.TotalDisks) - 1;
    FirstVolume = static_cast<std::int32_t>(Zip64EndRecord.StartDisk);
  } else {
    if (EndRecord.DiskNumber == 0xFFFF) EndRecord.DiskNumber = 0;
    if (EndRecord.StartDisk == 0xFFFF) EndRecord.StartDisk = 0;
    LastVolume = EndRecord.DiskNumber;
    FirstVolume = EndRecord.StartDisk;
  }
  if (LastVolume < 0) LastVolume = 0;
  TZAVolumeNumberInfo info;
  info.LastVolumeNumber = LastVolume;
  info.SetNumber(FirstVolume);
  if (spanning) SwitchToVolume(info);

  // Where the directory starts and how many items it holds, checked against the file before
  // anything is allocated or read.
  std::int64_t start;
  std::uint64_t dirSize;
  std::uint64_t count;
  std::uint64_t statedOffset;
  if (IsZip64) {
    dirSize = Zip64EndRecord.DirectorySize;
    count = Zip64EndRecord.TotalEntries & 0xFFFFFFFFu;
    statedOffset = Zip64EndRecord.DirectoryOffset;
    if (spanning) {
      start = static_cast<std::int64_t>(std::min<std::uint64_t>(Zip64EndRecord.DirectoryOffset, INT64_MAX));
    } else {
      start = dirSize > static_cast<std::uint64_t>(p) ? -1 : p - static_cast<std::int64_t>(dirSize);
    }
  } else {
    const std::int32_t signedSize = static_cast<std::int32_t>(EndRecord.DirectorySize);
    dirSize = signedSize < 0 ? UINT64_MAX : static_cast<std::uint64_t>(signedSize);
    count = EndRecord.TotalEntries;
    statedOffset = EndRecord.DirectoryOffset;
    start = spanning ? static_cast<std::int64_t>(EndRecord.DirectoryOffset) : p - signedSize;
  }
  if (!DirectoryFits(start, dirSize, count, p)) {
    RebuildInstead(FaultImpossibleDirectory);
    return;
  }
  ArchiveStream->Seek(start);
  const std::optional<std::uint64_t> taken = ReadItems(count, spanning);
  if (!taken) {
    RebuildInstead(FaultNoDirectoryThere);
    return;
  }

  // The stub of a self-extractor, and offsets that do not count it.
  if (LastVolume == 0) DetectSfxStubSize(IsZip64 ? p : endRecordPosition);
  if (!OffsetsIncludeStub()) AdjustOffsetsForStub();

  // A directory read whole must still be as long as the end record says and where it says (its
  // offset counted from the start of the file or of the data after a stub).
  if (SingleFile()) {
    const auto at = static_cast<std::uint64_t>(start);
    if (*taken != dirSize) {
      DirectoryFault = FaultDirectorySize;
    } else if (statedOffset != at && statedOffset + static_cast<std::uint64_t>(SfxStubSize) != at) {
      DirectoryFault = FaultDirectoryOffset;
    }
  }
}

bool TZADirManager::SingleFile() const { return FHost.Spanning() == smNone && LastVolume == 0; }

void TZADirManager::RebuildInstead(const std::string& why) {
  if (FHost.Spanning() != smNone) throw EZAException(zaerr::NoEndRecordSpanning);
  // What the end record said does not describe this archive.
  ResetEndRecord();
  IsZip64 = false;
  FirstVolume = LastVolume = 0;
  RebuildDirectory();
  CentralDirStart = ArchiveStream->Size();
  DirectoryFault = why + FaultRebuiltSuffix;
}

namespace {
bool NameKeptAsStored(std::uint16_t flags, std::uint16_t madeBy) {
  // A name flagged as UTF-8, or one a Unix host stored as its file system has it: UTF-8 when it
  // reads as such, else bytes that stay as they are (as unzip keeps them), so that they come back
  // to the same file and never read as another name. A rebuilt entry does not say which host
  // made it; the same reading applies. Only the names of other hosts are in their code page.
  return (flags & 0x0800) != 0 || (madeBy >> 8) == 3 || madeBy == UnknownHost;
}

void CutAtZero(std::string& bytes) {
  const auto zero = bytes.find('\0');
  if (zero != std::string::npos) bytes.resize(zero);
}
}  // namespace

std::string TZADirManager::StoredNameToUtf8(std::string bytes, std::uint16_t flags, std::uint16_t madeBy) const {
  // Every character of the name, each stored form decoded on its own, so that two different names
  // never become one: UTF-8 as it stands (bytes that are not well-formed stay as they are, as the
  // file system takes them), the OEM code page or Windows-1252 character by character. The name
  // hook of the own format leaves names unchanged.
  CutAtZero(bytes);
  // A name longer than the limit loses its end, never half a character.
  CutToCharacter(bytes, MaxNameLength);
  if (!NameKeptAsStored(flags, madeBy)) bytes = FHost.OemFileNames() ? OemToUtf8(bytes) : os::Cp1252ToUtf8(bytes);
  std::replace(bytes.begin(), bytes.end(), '\\', '/');
  return bytes;
}

std::optional<std::uint64_t> TZADirManager::ReadItems(std::uint64_t count, bool spanning) {
  // The array grows as entries are actually read: the count of the end record is only a claim, and
  // sizing the array from it at once would let a small crafted file ask for many times its size.
  CentralDir.SetCount(0);
  TDirReader reader(*ArchiveStream);
  TZAVolumeNumberInfo info;
  info.LastVolumeNumber = LastVolume;
  info.SetNumber(FirstVolume);
  std::vector<std::uint8_t> extra;
  const std::int64_t first = reader.Position();
  for (std::uint64_t i = 0; i < count; ++i) {
    // A header never straddles two volumes.
    if (spanning && reader.RemainingInVolume() < static_cast<std::int64_t>(CentralHeaderSize)) {
      info.SetNumber(info.VolumeNumber + 1);
      SwitchToVolume(info);
      ArchiveStream->Seek(0);
      reader.Restart(*ArchiveStream);
    }
    if (i == 0) CentralDirStart = reader.Position();
    // The fixed part of the header, which must be a central header.
    std::uint8_t raw[CentralHeaderSize];
    reader.Read(raw, sizeof raw);
    const std::uint32_t signature = GetU32(raw);
    if (signature != CentralHeaderSignature && signature != OwnCentralHeaderSignature) return std::nullopt;
    CentralDir.SetCount(static_cast<std::int32_t>(i + 1));
    TDirItem& item = CentralDir.ItemRef(static_cast<std::int32_t>(i));
    item.LoadCentralHeader(raw);
    // The name, as its host stored it.
    const std::string storedName = reader.ReadString(item.NameLength);
    item.StoredName = storedName;
    item.Name = StoredNameToUtf8(storedName, item.Flags, item.VersionMadeBy);
    // The extra field: every block is kept; the Zip64 one gives the sizes and the offset that
    // the header holds as escape values.
    item.HasZip64Extra = false;
    item.ExtraFields.clear();
    extra.resize(item.ExtraLength);
    if (!extra.empty()) reader.Read(extra.data(), extra.size());
    ForEachExtraBlock(extra, [&](const TExtraBlockView& block) {
      TExtraField field;
      field.Tag = block.Tag;
      field.Size = static_cast<std::uint16_t>(block.Data.size());
      field.Data.assign(block.Data.begin(), block.Data.end());
      if (block.Tag == Zip64ExtraTag) {
        const TZip64Values v = ParseZip64Extra(block.Data, item);
        if (v.HasUncompressed) item.UncompressedSize64 = v.UncompressedSize;
        if (v.HasCompressed) item.CompressedSize64 = v.CompressedSize;
        if (v.HasOffset) item.LocalHeaderOffset64 = v.LocalHeaderOffset;
        if (v.HasDisk) item.DiskNumberStart64 = v.DiskNumberStart;
        item.HasZip64Extra = true;
      }
      // Info-ZIP keeps the name's UTF-8 form in a block of its own, tied to the stored name by its CRC;
      // it is the name the archive's maker saw.
      if (block.Tag == UnicodePathExtraTag && block.Data.size() > 5 && block.Data[0] == 1 &&
          GetU32(block.Data.data() + 1) == static_cast<std::uint32_t>(::crc32(0, reinterpret_cast<const Bytef*>(storedName.data()),
                                                                               static_cast<uInt>(storedName.size())))) {
        const std::string unicodeName(block.Data.begin() + 5, block.Data.end());
        item.Name = StoredNameToUtf8(unicodeName, 0x0800, 0);
      }
      item.ExtraFields.push_back(std::move(field));
    });
    item.Comment = reader.ReadString(item.CommentLength);
  }
  // The bytes the headers took (in one file; a set of volumes spreads them).
  return spanning ? 0 : static_cast<std::uint64_t>(reader.Position() - first);
}

void TZADirManager::DetectSfxStubSize(std::int64_t endPosition) {
  if (EndRecord.TotalEntries == 0 || CentralDir.GetCount() == 0) {
    SfxStubSize = endPosition;
    return;
  }
  const TDirItem& first = CentralDir.ItemRef(0);
  std::int64_t position = static_cast<std::int64_t>(
      std::min<std::uint64_t>(first.LocalHeaderOffset == 0xFFFFFFFFu ? first.LocalHeaderOffset64 : first.LocalHeaderOffset,
                              INT64_MAX));
  std::uint8_t pattern[4];
  PutU32(pattern, LocalSignature());
  const std::int64_t size = ArchiveStream->Size();
  while (position < size) {
    std::int64_t hit;
    if (!FindPattern(position, pattern, sizeof pattern, hit)) return;
    if (CheckLocalHeader(hit)) {
      SfxStubSize = hit;
      return;
    }
    position = hit + 1;
  }
}

bool TZADirManager::CheckLocalHeader(std::int64_t position) {
  if (CentralDir.GetCount() == 0) return false;
  TZAStream& s = *ArchiveStream;
  TPositionKeeper keep(s);
  if (position < 0 || s.Size() - position < static_cast<std::int64_t>(LocalHeaderSize)) return false;
  std::uint8_t raw[LocalHeaderSize];
  if (s.ReadAt(position, raw, sizeof raw) != sizeof raw) return false;
  TLocalHeader local;
  ParseLocalHeader(raw, local);
  if (s.Size() - position - static_cast<std::int64_t>(LocalHeaderSize) < local.NameLength) return false;
  if (local.Signature != sigLocalHeader && local.Signature != sigOwnLocalHeader) return false;
  const TDirItem& item = CentralDir.ItemRef(0);
  // The version needed is not compared: a writer that learns only at the end that an entry's
  // offset needs the Zip64 field raises it in the central header alone.
  if (local.Method != item.Method || local.ModTime != item.ModTime || local.ModDate != item.ModDate) return false;
  // A header written before its data (sizes in a data descriptor) carries no CRC or sizes, and a
  // Zip64 one keeps its sizes in the extra field.
  if (local.Flags & 0x0008) return true;
  if (local.Crc32 != item.Crc32) return false;
  if (local.CompressedSize != 0xFFFFFFFFu && local.CompressedSize != item.GetCompressedSize()) return false;
  if (local.UncompressedSize != 0xFFFFFFFFu && local.UncompressedSize != item.GetUncompressedSize()) return false;
  return true;
}

bool TZADirManager::ForwardScan(std::int64_t start, std::uint32_t signature, std::size_t window, std::int64_t& found) {
  TZAStream& s = *ArchiveStream;
  TPositionKeeper keep(s);
  std::uint8_t pattern[4];
  PutU32(pattern, signature);
  std::vector<std::uint8_t> buffer(window);
  const std::int64_t size = s.Size();
  std::int64_t position = std::max<std::int64_t>(start, 0);
  while (position < size) {
    const std::size_t n = s.ReadAt(position, buffer.data(), window);
    if (n < sizeof pattern) return false;
    const std::uint8_t* hit = static_cast<const std::uint8_t*>(
        memmem(buffer.data(), n, pattern, sizeof pattern));
    if (hit != nullptr) {
      found = position + (hit - buffer.data());
      return true;
    }
    // Windows overlap by the pattern's length less one so that no match is lost at a seam.
    position += static_cast<std::int64_t>(n - (sizeof pattern - 1));
  }
  return false;
}

bool TZADirManager::FindPattern(std::int64_t start, const std::uint8_t* pattern, std::size_t length,
                                std::int64_t& found) {
  if (length != 4) return false;
  return ForwardScan(start, GetU32(pattern), StubSearchWindow, found);
}

std::int64_t TZADirManager::FindLocalHeader(std::int64_t start) {
  std::int64_t found;
  if (!ForwardScan(start, LocalSignature(), HeaderSearchWindow, found)) return -1;
  if (ArchiveStream->Size() - found < static_cast<std::int64_t>(LocalHeaderSize)) return -1;
  return found;
}

void TZADirManager::RebuildDirectory() {
  Rebuilt = true;
  CentralDir.SetCount(0);
  FIncompleteOffsets.clear();
  TZAStream& s = *ArchiveStream;
  std::int64_t p = FindLocalHeader(0);
  if (p < 0) throw EZAException(zaerr::NoLocalHeaderFound);
  while (p >= 0) {
    std::uint8_t raw[LocalHeaderSize];
    TLocalHeader local;
    std::int64_t next = p + 4;
    if (s.ReadAt(p, raw, sizeof raw) == sizeof raw && ParseLocalHeader(raw, local) && local.ExtraLength <= MaxRebuildExtra) {
      // The search goes on after a whole entry's bytes: a stored archive inside the archive is data,
      // not entries of its own.
      const std::int64_t end = AppendRebuiltItem(p, local);
      if (end > p) next = end;
    }
    p = FindLocalHeader(next);
  }
}

namespace {
// The sizes of a local header's Zip64 block: both are there whichever of them the header escapes,
// the uncompressed size first; a shorter block holds only the escaped ones, in that order.
void TakeLocalZip64Sizes(std::span<const std::uint8_t> block, TDirItem& item) {
  if (block.size() >= 16) {
    if (item.UncompressedSize == 0xFFFFFFFFu) item.UncompressedSize64 = GetU64(block.data());
    if (item.CompressedSize == 0xFFFFFFFFu) item.CompressedSize64 = GetU64(block.data() + 8);
  } else {
    const TZip64Values v = ParseZip64Extra(block, item);
    if (v.HasUncompressed) item.UncompressedSize64 = v.UncompressedSize;
    if (v.HasCompressed) item.CompressedSize64 = v.CompressedSize;
  }
  item.HasZip64Extra = true;
}
}  // namespace

std::int64_t TZADirManager::AppendRebuiltItem(std::int64_t p, const TLocalHeader& local) {
  TZAStream& s = *ArchiveStream;
  const std::int64_t size = s.Size();
  const std::int32_t index = CentralDir.GetCount();
  CentralDir.SetCount(index + 1);
  TDirItem& item = CentralDir.ItemRef(index);
  item.Signature = local.Signature;
  item.VersionMadeBy = local.VersionNeeded;
  item.VersionNeeded = local.VersionNeeded;
  item.Flags = local.Flags;
  item.Method = local.Method;
  item.ModTime = local.ModTime;
  item.ModDate = local.ModDate;
  item.Crc32 = local.Crc32;
  item.CompressedSize = local.CompressedSize;
  item.UncompressedSize = local.UncompressedSize;
  item.NameLength = local.NameLength;
  item.ExtraLength = local.ExtraLength;
  item.CommentLength = 0;
  item.DiskNumberStart = 0;
  item.InternalAttributes = 0;
  item.LocalHeaderOffset = p >= 0xFFFFFFFF ? 0xFFFFFFFFu : static_cast<std::uint32_t>(p);
  item.LocalHeaderOffset64 = static_cast<std::uint64_t>(p);
  bool whole = true;

  // The name, as much of it as the file holds (a cut one makes the entry incomplete).
  const std::int64_t nameAt = p + static_cast<std::int64_t>(LocalHeaderSize);
  const std::size_t present = static_cast<std::size_t>(std::clamp<std::int64_t>(size - nameAt, 0, local.NameLength));
  if (present < local.NameLength) whole = false;
  std::string name(std::min(present, MaxNameLength), '\0');
  if (s.ReadAt(nameAt, name.data(), name.size()) != name.size()) name.clear();
  item.StoredName = name;
  item.Name = StoredNameToUtf8(std::move(name), local.Flags, UnknownHost);

  // The extra field: a Zip64 block holds the sizes the header escapes.
  const std::int64_t extraAt = nameAt + local.NameLength;
  const std::int64_t dataStart = extraAt + local.ExtraLength;
  std::vector<std::uint8_t> extra(local.ExtraLength);
  if (dataStart > size || s.ReadAt(extraAt, extra.data(), extra.size()) != extra.size()) {
    whole = false;
  } else if (local.CompressedSize == 0xFFFFFFFFu || local.UncompressedSize == 0xFFFFFFFFu) {
    ForEachExtraBlock(extra, [&](const TExtraBlockView& block) {
      if (block.Tag == Zip64ExtraTag) TakeLocalZip64Sizes(block.Data, item);
    });
  }

  // Where the entry's bytes end: after its data, or after the descriptor that follows data whose
  // sizes the header does not give.
  std::int64_t end = -1;
  if (whole && (local.Flags & 0x0008)) {
    const bool zip64 = local.CompressedSize == 0xFFFFFFFFu || local.UncompressedSize == 0xFFFFFFFFu;
    end = FindDataDescriptor(dataStart, zip64, item);
  } else if (whole && item.GetCompressedSize() <= static_cast<std::uint64_t>(size - dataStart)) {
    end = dataStart + static_cast<std::int64_t>(item.GetCompressedSize());
  }
  if (end < 0) FIncompleteOffsets.push_back(static_cast<std::uint64_t>(p));

  // A folder has no data and no descriptor; an empty file of the same kind keeps its place as a
  // file unless its name says it is a folder.
  const bool folderLike = item.GetUncompressedSize() == 0 && !(local.Flags & 0x0008);
  item.ExternalAttributes = folderLike && (item.Name.empty() || item.Name.back() == '/') ? 0x10 : 0x20;
  return end;
}

std::int64_t TZADirManager::FindDataDescriptor(std::int64_t dataStart, bool zip64, TDirItem& item) {
  TZAStream& s = *ArchiveStream;
  std::int64_t from = dataStart;
  std::int64_t at;
  while (ForwardScan(from, sigDataDescriptor, HeaderSearchWindow, at)) {
    std::uint8_t raw[Zip64DescriptorSize] = {};
    const std::size_t n = s.ReadAt(at, raw, sizeof raw);
    const auto length = static_cast<std::uint64_t>(at - dataStart);
    // The descriptor of this data states the length the data really has; one with 8-byte sizes
    // follows data whose header has a Zip64 block.
    if (zip64 && n >= Zip64DescriptorSize && GetU64(raw + 8) == length) {
      item.Crc32 = GetU32(raw + 4);
      item.CompressedSize = item.UncompressedSize = 0xFFFFFFFFu;
      item.CompressedSize64 = length;
      item.UncompressedSize64 = GetU64(raw + 16);
      item.HasZip64Extra = true;
      return at + static_cast<std::int64_t>(Zip64DescriptorSize);
    }
    if (n >= DataDescriptorSize && GetU32(raw + 8) == length) {
      item.Crc32 = GetU32(raw + 4);
      item.CompressedSize = GetU32(raw + 8);
      item.UncompressedSize = GetU32(raw + 12);
      return at + static_cast<std::int64_t>(DataDescriptorSize);
    }
    from = at + 1;
  }
  return -1;
}

bool TZADirManager::OffsetsIncludeStub() const {
  for (std::int32_t i = 0; i < CentralDir.GetCount(); ++i) {
    const TDirItem& item = CentralDir.ItemRef(i);
    // The real offset: the Zip64 field's where the 32-bit one holds the escape value.
    if (item.CompressedSize != 0) return item.GetLocalHeaderOffset() >= static_cast<std::uint64_t>(SfxStubSize);
  }
  return true;
}

void TZADirManager::AdjustOffsetsForStub() {
  for (std::int32_t i = 0; i < CentralDir.GetCount(); ++i) {
    // Folders too: their offsets are written back when the archive is rewritten, and a folder
    // left pointing into the data in front would make the rewritten archive unreadable.
    TDirItem& item = CentralDir.ItemRef(i);
    // An offset kept in the Zip64 field moves there; adding to the escape value would destroy it.
    if (item.LocalHeaderOffset == 0xFFFFFFFFu) {
      item.LocalHeaderOffset64 += static_cast<std::uint64_t>(SfxStubSize);
      continue;
    }
    item.LocalHeaderOffset = static_cast<std::uint32_t>(item.LocalHeaderOffset + static_cast<std::uint64_t>(SfxStubSize));
  }
}

namespace {
// Per item of dir: whether another item's local header lies inside its bytes. Each item's bytes in
// its volume run from its local header to the end of its data, at least the fixed header and the
// compressed size (the local name and extra only add to it). Folders have no data to read, and new
// items none in the archive yet.
std::vector<bool> OverlapsOf(const TZADirArray& dir) {
  const std::int32_t count = dir.GetCount();
  struct TSpan {
    std::uint32_t Disk;
    std::uint64_t Start, End;
    std::int32_t Index;
  };
  std::vector<TSpan> spans;
  spans.reserve(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) {
    const TDirItem& item = dir.ItemRef(i);
    if (item.IsNew || item.IsDirectory()) continue;
    const std::uint64_t start = item.GetLocalHeaderOffset();
    const std::uint64_t length = LocalHeaderSize + item.GetCompressedSize();
    const std::uint64_t end = start > UINT64_MAX - length ? UINT64_MAX : start + length;
    spans.push_back({item.GetDiskNumberStart(), start, end, i});
  }
  std::sort(spans.begin(), spans.end(), [](const TSpan& a, const TSpan& b) {
    return a.Disk != b.Disk ? a.Disk < b.Disk : a.Start != b.Start ? a.Start < b.Start : a.Index < b.Index;
  });
  std::vector<bool> overlaps(static_cast<std::size_t>(count), false);
  // Entries that share one header all overlap, and so does an entry whose data runs over the next
  // header. The next header in the order of the offsets is the one to look at; the item that begins
  // there keeps its own data unless it, too, reaches further.
  for (std::size_t k = 0; k < spans.size(); ++k) {
    const TSpan& span = spans[k];
    const bool sharesPrevious = k > 0 && spans[k - 1].Disk == span.Disk && spans[k - 1].Start == span.Start;
    const bool reachesNext = k + 1 < spans.size() && spans[k + 1].Disk == span.Disk && spans[k + 1].Start < span.End;
    overlaps[static_cast<std::size_t>(span.Index)] = sharesPrevious || reachesNext;
  }
  return overlaps;
}
}  // namespace

bool TZADirManager::ItemDataOverlaps(std::int32_t index) {
  const std::int32_t count = CentralDir.GetCount();
  if (FOverlaps.size() != static_cast<std::size_t>(count)) FOverlaps = OverlapsOf(CentralDir);
  return index >= 0 && index < count && FOverlaps[static_cast<std::size_t>(index)];
}

std::optional<std::uint64_t> TZADirManager::StoredItemEnd(const TDirItem& item) {
  std::uint8_t raw[LocalHeaderSize];
  TLocalHeader local;
  const std::uint64_t start = item.GetLocalHeaderOffset();
  if (start > static_cast<std::uint64_t>(INT64_MAX) ||
      ArchiveStream->ReadAt(static_cast<std::int64_t>(start), raw, sizeof raw) != sizeof raw || !ParseLocalHeader(raw, local) ||
      (local.Signature != sigLocalHeader && local.Signature != sigOwnLocalHeader)) {
    return std::nullopt;
  }
  const std::uint64_t length = LocalHeaderSize + local.NameLength + local.ExtraLength + item.GetCompressedSize();
  return length < item.GetCompressedSize() || start > UINT64_MAX - length ? UINT64_MAX : start + length;
}

bool TZADirManager::ItemDataIncomplete(std::int32_t index) {
  if (index < 0 || index >= CentralDir.GetCount()) return false;
  const TDirItem& item = CentralDir.ItemRef(index);
  if (item.IsNew) return false;
  if (std::binary_search(FIncompleteOffsets.begin(), FIncompleteOffsets.end(), item.GetLocalHeaderOffset())) return true;
  // In a single file, told from the directory alone: data that would not fit before the central
  // directory even after an empty name and extra field. The data step judges the rest from the
  // local header it reads anyway; an item without a local header is its to refuse.
  if (!SingleFile()) return false;
  const std::uint64_t start = item.GetLocalHeaderOffset();
  const auto dataEnd = static_cast<std::uint64_t>(std::max<std::int64_t>(CentralDirStart, 0));
  return dataEnd >= LocalHeaderSize && start <= dataEnd - LocalHeaderSize &&
         item.GetCompressedSize() > dataEnd - LocalHeaderSize - start;
}

std::string TZADirManager::StructureFault(const TZADirArray& stored) {
  if (!DirectoryFault.empty()) return DirectoryFault;
  if (!SingleFile()) return {};
  const auto overlaps = OverlapsOf(stored);
  for (std::int32_t i = 0; i < stored.GetCount(); ++i) {
    if (overlaps[static_cast<std::size_t>(i)]) return EntryFault(stored.ItemRef(i).Name, "overlaps another entry");
  }
  for (std::int32_t i = 0; i < stored.GetCount(); ++i) {
    const TDirItem& item = stored.ItemRef(i);
    if (item.IsNew || item.IsDirectory()) continue;
    const std::optional<std::uint64_t> end = StoredItemEnd(item);
    if (!end) return EntryFault(item.Name, "has no local header where the central directory says");
    if (*end > static_cast<std::uint64_t>(CentralDirStart)) return EntryFault(item.Name, "runs past the end of the archive's data");
  }
  return {};
}

}  // namespace zip
