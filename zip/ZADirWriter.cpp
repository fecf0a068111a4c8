// Writing the archive directory: the central headers with their Zip64 blocks, the Zip64 end
// record and locator where the counts or positions need them, the end record and the comment,
// and the last volume of a set renamed to the archive's own name.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "ZADirManager.h"
#include "ZAPlatform.h"
#include "ZAWriteRecords.h"
#include "ZipArchiver.h"

namespace zip {

namespace {

constexpr std::uint64_t Zip64EntryThreshold = 0xFFFE;
constexpr std::size_t PendingLimit = 1 << 20;

std::uint16_t Clip16(std::uint64_t v) { return v < Escape16 ? static_cast<std::uint16_t>(v) : Escape16; }
std::uint32_t Clip32(std::uint64_t v) { return v < Escape32 ? static_cast<std::uint32_t>(v) : Escape32; }

}  // namespace

void TZABaseArchiver::SaveCentralDirectory(TZAStream* Stream) {
  TZADirManager& dm = *FDirManager;
  // The directory goes at the end of the given stream (else of the archive stream).
  if (Stream) dm.ArchiveStream = Stream;
  TZAStream* out = dm.ArchiveStream;
  const bool spanning = SpanningMode() != smNone;
  if (dm.Comment.size() > MaxFieldLength) throw EZAException(zaerr::FieldTooLong, this, {FileName});
  // It starts on the volume being written, at its end.
  out->Seek(out->Size());
  TZAVolumeNumberInfo info = FVolumeNumberInfo;
  if (info.VolumeNumber < 0) info.SetNumber(0);
  std::int64_t startDisk = info.VolumeNumber;
  std::int64_t start = out->Position();
  // While spanning the directory gathers in memory and reaches the volumes in pieces.
  TZAMemoryStream buffer;
  TZAStream* temp = spanning ? &buffer : nullptr;
  std::uint64_t directorySize = 0;
  TZADirArray& dir = dm.CentralDir;
  const bool oem = Options().OEMFileNames;
  std::vector<std::uint8_t> pending;
  // What the end records and the comment take (with the Zip64 ones, which a set rarely needs).
  const std::int64_t endRecordsRoom =
      static_cast<std::int64_t>(Zip64EndRecordSize + Zip64LocatorSize + EndRecordSize + dm.Comment.size());
  std::uint64_t entriesOnDisk = static_cast<std::uint64_t>(dir.GetCount());
  if (spanning) entriesOnDisk = 0;
  const auto flushPending = [&] {
    if (pending.empty()) return;
    if (out->Write(pending.data(), pending.size()) != pending.size()) throw WriteFailure(*out);
    pending.clear();
  };
  // One central header per entry, with its name, extra area and comment.
  const auto writeEntries = [&] {
    for (std::int32_t i = 0; i < dir.GetCount(); ++i) {
      TDirItem& item = dir.ItemRef(i);
      const TZAStoredName name = EncodeStoredName(item, oem);
      const std::vector<std::uint8_t> extra = CentralExtraArea(item);
      if (name.Bytes.size() > MaxStoredNameLength || extra.size() > MaxFieldLength ||
          item.Comment.size() > MaxFieldLength) {
        throw EZAException(zaerr::FieldTooLong, this, {item.Name});
      }
      // An entry rebuilt from its local header holds the local signature.
      item.Signature = dm.EndRecord.Signature == sigOwnEndRecord ? sigOwnCentralHeader : sigCentralHeader;
      item.StoredName = name.Bytes;
      item.Flags = static_cast<std::uint16_t>(name.Utf8 ? item.Flags | FlagUtf8 : item.Flags & ~FlagUtf8);
      item.NameLength = static_cast<std::uint16_t>(name.Bytes.size());
      item.ExtraLength = static_cast<std::uint16_t>(extra.size());
      item.CommentLength = static_cast<std::uint16_t>(item.Comment.size());
      const auto header = item.StoreCentralHeader();
      if (!spanning) {
        // A single file takes the directory in large writes.
        pending.insert(pending.end(), header.begin(), header.end());
        pending.insert(pending.end(), name.Bytes.begin(), name.Bytes.end());
        pending.insert(pending.end(), extra.begin(), extra.end());
        pending.insert(pending.end(), item.Comment.begin(), item.Comment.end());
        directorySize += header.size() + name.Bytes.size() + extra.size() + item.Comment.size();
        if (pending.size() >= PendingLimit) flushPending();
        continue;
      }
      const std::int32_t volumeBefore = info.VolumeNumber;
      // The last header keeps room for the end records behind it, so that they share its volume
      // (unless a volume could not hold them all).
      std::int64_t reserve = static_cast<std::int64_t>(extra.size() + name.Bytes.size());
      const std::int64_t withEnd = reserve + static_cast<std::int64_t>(item.Comment.size()) + endRecordsRoom;
      const std::int64_t limit = SpanningOptions().GetVolumeSize(info);
      if (i + 1 == dir.GetCount() && (limit == -1 || withEnd + static_cast<std::int64_t>(header.size()) <= limit)) {
        reserve = withEnd;
      }
      WriteToVolumesOrFail(header.data(), header.size(), temp, reserve, info, out);
      if (info.VolumeNumber != volumeBefore) entriesOnDisk = 0;
      ++entriesOnDisk;
      if (i == 0 && info.VolumeNumber != volumeBefore) {
        // The first header did not fit on the volume the directory was to start on.
        startDisk = info.VolumeNumber;
        start = 0;
      }
      std::vector<std::uint8_t> rest(name.Bytes.begin(), name.Bytes.end());
      rest.insert(rest.end(), extra.begin(), extra.end());
      rest.insert(rest.end(), item.Comment.begin(), item.Comment.end());
      WriteToVolumesOrFail(rest.data(), rest.size(), temp, -1, info, out);
      directorySize += header.size() + rest.size();
    }
  };
  dm.CentralDirStart = start;
  // What gathered in memory is written whether the entries were written or not.
  try {
    writeEntries();
  } catch (...) {
    if (temp && buffer.Size() > 0) {
      TZAStream* s = out;
      WriteToVolumes(buffer.Data().data(), buffer.Data().size(), nullptr, -1, info, s);
    }
    throw;
  }
  if (temp && buffer.Size() > 0) WriteToVolumesOrFail(buffer.Data().data(), buffer.Data().size(), nullptr, -1, info, out);
  flushPending();
  dm.CentralDirStart = start;
  // The end record: where the directory starts and ends, and how many entries it holds.
  const std::uint64_t count = static_cast<std::uint64_t>(dir.GetCount());
  TEndRecord& end = dm.EndRecord;
  end.DiskNumber = Clip16(static_cast<std::uint64_t>(info.VolumeNumber));
  end.StartDisk = Clip16(static_cast<std::uint64_t>(startDisk));
  end.EntriesOnDisk = Clip16(entriesOnDisk);
  end.TotalEntries = Clip16(count);
  end.DirectorySize = Clip32(directorySize);
  end.DirectoryOffset = Clip32(static_cast<std::uint64_t>(start));
  end.CommentLength = static_cast<std::uint16_t>(dm.Comment.size());
  // The Zip64 end record and locator, where counts or positions outgrow the end record.
  TZAByteWriter records;
  dm.IsZip64 = static_cast<std::uint64_t>(out->Position()) >= Escape32 || count > Zip64EntryThreshold;
  // The end records stay whole on one volume within its limit: a volume without room for them
  // leaves them to the next one.
  if (spanning) {
    const std::int64_t need = static_cast<std::int64_t>((dm.IsZip64 ? Zip64EndRecordSize + Zip64LocatorSize : 0) +
                                                        EndRecordSize + dm.Comment.size());
    const std::int64_t limit = SpanningOptions().GetVolumeSize(info);
    std::int64_t free = GetVolumeFreeSpace(FVolumeFileName);
    if (limit != -1) free = std::min(free, limit - out->Size());
    if (free < need && out->Size() > 0) {
      out->Flush();
      info.SetNumber(info.VolumeNumber + 1);
      RequestVolume(info);
      out = FArchiveStream.get();
      entriesOnDisk = 0;
      end.DiskNumber = Clip16(static_cast<std::uint64_t>(info.VolumeNumber));
      end.EntriesOnDisk = 0;
    }
  }
  const std::int64_t position = out->Position();
  if (dm.IsZip64) {
    TZip64EndRecord& z = dm.Zip64EndRecord;
    z.Signature = sigZip64EndRecord;
    z.RecordSize = Zip64EndRecordSize - 12;
    z.VersionMadeBy = VersionZip64;
    z.VersionNeeded = VersionZip64;
    // The real numbers of a set, which readers take the volumes from.
    z.DiskNumber = static_cast<std::uint32_t>(info.VolumeNumber);
    z.StartDisk = static_cast<std::uint32_t>(startDisk);
    z.EntriesOnDisk = entriesOnDisk;
    z.TotalEntries = count;
    z.DirectorySize = directorySize;
    z.DirectoryOffset = static_cast<std::uint64_t>(start);
    PutZip64EndRecord(records, z);
    TZip64Locator& l = dm.Zip64Locator;
    l.Signature = sigZip64Locator;
    l.EndRecordDisk = static_cast<std::uint32_t>(info.VolumeNumber);
    l.EndRecordOffset = static_cast<std::uint64_t>(position);
    l.TotalDisks = static_cast<std::uint32_t>(info.VolumeNumber + 1);
    PutZip64Locator(records, l);
  }
  // The end record and the archive comment close the archive.
  PutEndRecord(records, end);
  records.Bytes(dm.Comment);
  if (out->Write(records.Data().data(), records.Size()) != records.Size()) throw WriteFailure(*out);
  FDirectoryWritten = true;
  // The last volume takes the archive's own name, over any file of that name.
  if (spanning && FVolumeFileName != FileName) {
    std::string last = FileName;
    MakeVolumeFileName(last, -1, false);
    if (last != FVolumeFileName) {
      FArchiveStream.reset();
      dm.ArchiveStream = nullptr;
      const std::string from = platform::ToFileSystemPath(FVolumeFileName);
      const std::string to = platform::ToFileSystemPath(last);
      if (std::rename(from.c_str(), to.c_str()) != 0) {
        FArchiveStream = std::make_unique<TZAFileStream>(from, fmOpenReadWriteDenyWrite);
        dm.ArchiveStream = FArchiveStream.get();
        throw EZAException(zaerr::RenameFailed, this, {FVolumeFileName, last});
      }
      if (!FWrittenVolumes.empty()) FWrittenVolumes.back() = last;
      FArchiveStream = std::make_unique<TZAFileStream>(to, fmOpenReadWriteDenyWrite);
      FArchiveStream->Seek(FArchiveStream->Size());
      FVolumeFileName = last;
      dm.ArchiveStream = FArchiveStream.get();
    }
  }
  FVolumeNumberInfo.VolumeNumber = info.VolumeNumber;
  // The archive exists from now on: a later open of one of its volumes must not create it anew.
  if (FFileOpenMode == ZAFileModeCreate && !InMemory()) FFileOpenMode = fmOpenReadWriteDenyWrite;
}

}  // namespace zip
