// The update commit: the changes of an update bracket written into the archive file.
//
// The archive is never put at risk. A commit on an existing archive writes the new archive beside
// the old one (a file in the same folder: the part before the first change copied in the kernel,
// new entries compressed, unchanged ones copied from the old file), and the new file takes the old
// one's name only when it is complete and on disk; until then the old archive is untouched, and a
// rollback only drops the new file. Only a new archive (nothing written in it yet) and a new set of
// volumes are written in place, where nothing old can be lost.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <unordered_map>
#include <vector>

#include "ZABesideFile.h"
#include "ZADirManager.h"
#include "ZAPlatform.h"
#include "ZAStrFunc.h"
#include "ZAWriteRecords.h"
#include "ZipArchiver.h"

namespace zip {

namespace {

constexpr std::size_t CopyChunk = 1 << 20;
constexpr std::size_t LocalZip64BlockSize = 20;
constexpr std::uint64_t SmallEntryLimit = 1 << 20;
constexpr std::uint16_t VersionOem = 20;
constexpr std::uint16_t VersionAnsi = 0x0B14;

int HandleOf(TZAStream& s) {
  if (auto* f = dynamic_cast<TZAFileStream*>(&s)) return f->Handle();
  return -1;
}

// Copies count bytes from from[fromPos] to the end position of to; false when fewer were copied.
bool CopyRange(TZAStream& from, std::int64_t fromPos, TZAStream& to, std::int64_t count) {
  const std::int64_t toPos = to.Position();
  const int in = HandleOf(from);
  const int out = HandleOf(to);
  std::int64_t done = 0;
  if (in >= 0 && out >= 0) {
    loff_t inOff = fromPos;
    loff_t outOff = toPos;
    while (done < count) {
      const ssize_t n = ::copy_file_range(in, &inOff, out, &outOff, static_cast<std::size_t>(count - done), 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += n;
    }
  }
  if (done < count) {
    std::vector<std::uint8_t> buffer(CopyChunk);
    from.Seek(fromPos + done);
    to.Seek(toPos + done);
    while (done < count) {
      const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(CopyChunk, count - done));
      const std::size_t n = from.Read(buffer.data(), want);
      if (n == 0) break;
      if (to.Write(buffer.data(), n) != n) break;
      done += static_cast<std::int64_t>(n);
    }
  }
  to.Seek(toPos + done);
  return done == count;
}

bool IsAsciiName(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

// The state of one commit, and its steps.
class TZAUpdateCommit {
 public:
  explicit TZAUpdateCommit(TZABaseArchiver& a) : A(a), Dm(*a.FDirManager), Cur(Dm.CentralDir), Bak(Dm.BackupDir) {}

  void Run();

 private:
  enum class TMethod { Beside, InPlace, NewSet };

  std::int32_t FindFirstChangedItem() const;
  void KeepStoredNames();
  void CopyCounted(std::int64_t fromPos, std::int64_t count);
  void ReportCopy(double progress);
  void Rollback();
  void RollbackFor(std::int32_t code, const std::string& message);
  bool StoreNewItem(std::int32_t i);
  void CopyStoredItem(std::int32_t i);
  std::int32_t FindBackupEntry(const TDirItem& item) const;
  void KeepStoredEntry(std::int32_t i);
  void Finish();
  void MovePass();
  TZAProcessOperation OperationOf(const TDirItem& item) const { return static_cast<TZAProcessOperation>(item.Operation); }
  void Check(bool ok) {
    if (!ok) throw EZAException(zaerr::ShortWrite, &A);
  }

  TZABaseArchiver& A;
  TZADirManager& Dm;
  TZADirArray& Cur;
  TZADirArray& Bak;
  TMethod Method = TMethod::InPlace;
  std::int32_t First = 0;
  std::int64_t Cut = 0;
  bool CutDone = false;  // a new archive has been cut back to its stub (in place)
  TZAAction Action = fxaIgnore;
  TZAStream* Old = nullptr;             // the archive as it was
  TZAStream* Out = nullptr;             // where the entries go
  std::unique_ptr<TZAStream> NewFile;   // the new archive beside the old one
  std::string Target;                   // the file the archive's name leads to
  bool Replaced = false;                // the new archive has taken the old one's name
  bool Durable = true;                  // and that is on disk (its folder flushed)
  TZAVolumeNumberInfo Volume;           // the volume being written
  std::vector<std::pair<std::string, bool>> Moved;  // sources of moved entries that were stored
  // What the load left in the manager, for a rollback.
  TEndRecord SavedEnd;
  TZip64EndRecord SavedZip64End;
  TZip64Locator SavedLocator;
  bool SavedIsZip64 = false;
  std::int64_t SavedDirStart = 0;
  bool SavedDirectoryWritten = false;
  std::int32_t LastCode = 0;
  std::string LastMessage;
};

std::int32_t TZAUpdateCommit::FindFirstChangedItem() const {
  const std::int32_t n = std::min(Bak.GetCount(), Cur.GetCount());
  for (std::int32_t i = 0; i < n; ++i) {
    const TDirItem& c = Cur.ItemRef(i);
    if (c.IsNew || c.StoredIndex != i || c.Name != Bak.ItemRef(i).Name) return i;
  }
  return n;
}

// Entries that keep their place keep their name bytes: where the directory loader left none, they
// are read from the entry's local header, so that the names written always equal the local ones.
void TZAUpdateCommit::KeepStoredNames() {
  for (std::int32_t i = 0; i < Cur.GetCount(); ++i) {
    TDirItem& item = Cur.ItemRef(i);
    if (item.IsNew || !item.StoredName.empty() || IsAsciiName(item.Name)) continue;
    std::uint8_t raw[LocalHeaderSize];
    TLocalHeader h;
    const auto offset = static_cast<std::int64_t>(item.GetLocalHeaderOffset());
    if (Old->ReadAt(offset, raw, sizeof raw) != sizeof raw || !ParseLocalHeader(raw, h) ||
        (h.Signature != sigLocalHeader && h.Signature != sigOwnLocalHeader)) {
      continue;
    }
    std::string name(h.NameLength, '\0');
    if (Old->ReadAt(offset + static_cast<std::int64_t>(LocalHeaderSize), name.data(), name.size()) == name.size()) {
      item.StoredName = name;
      item.Flags = static_cast<std::uint16_t>((item.Flags & ~FlagUtf8) | (h.Flags & FlagUtf8));
    }
  }
}

// Copies count bytes of the old archive to the end of the output, reporting the copy's progress
// (a cancel there cancels the commit).
void TZAUpdateCommit::CopyCounted(std::int64_t fromPos, std::int64_t count) {
  constexpr std::int64_t ReportChunk = 8 << 20;
  std::int64_t done = 0;
  while (done < count) {
    const std::int64_t n = std::min(ReportChunk, count - done);
    Check(CopyRange(*Old, fromPos + done, *Out, n));
    done += n;
    ReportCopy(100.0 * static_cast<double>(done) / static_cast<double>(count));
  }
}

void TZAUpdateCommit::ReportCopy(double progress) {
  bool cancel = false;
  A.DoCopyTempFileProgress(progress, ppProcess, cancel);
  if (cancel) A.FCancel = true;
}

// Rolls back and records why; a rollback that fails says so too.
void TZAUpdateCommit::RollbackFor(std::int32_t code, const std::string& message) {
  A.FLastCommit.ErrorCode = code;
  A.FLastCommit.Message = message;
  try {
    Rollback();
    A.FLastCommit.State = TZACommitState::RolledBack;
  } catch (const std::exception& r) {
    A.FLastCommit.State = TZACommitState::RollbackFailed;
    A.FLastCommit.Message += std::string("; ") + r.what();
  }
}

void TZAUpdateCommit::Rollback() {
  A.RestoreDirectoryFromBackup();
  Dm.EndRecord = SavedEnd;
  Dm.Zip64EndRecord = SavedZip64End;
  Dm.Zip64Locator = SavedLocator;
  Dm.IsZip64 = SavedIsZip64;
  Dm.CentralDirStart = SavedDirStart;
  switch (Method) {
    case TMethod::Beside:
      // The old archive was never touched.
      NewFile.reset();
      Dm.ArchiveStream = A.FArchiveStream.get();
      break;
    case TMethod::InPlace:
      // A new archive: back to what it held before the commit (its stub at most).
      Dm.ArchiveStream = A.FArchiveStream.get();
      Old = A.FArchiveStream.get();
      A.FDirectoryWritten = SavedDirectoryWritten;
      if (CutDone) Old->SetSize(Cut);
      break;
    case TMethod::NewSet: {
      // Volumes after the first go; the first is an empty archive again.
      A.FArchiveStream.reset();
      Dm.ArchiveStream = nullptr;
      std::vector<std::string> volumes = A.FWrittenVolumes;
      for (std::size_t v = 1; v < volumes.size(); ++v) std::remove(platform::ToFileSystemPath(volumes[v]).c_str());
      if (volumes.empty()) break;
      A.FWrittenVolumes.resize(1);
      A.FArchiveStream = std::make_unique<TZAFileStream>(platform::ToFileSystemPath(volumes[0]), fmOpenReadWriteDenyWrite);
      A.FVolumeFileName = volumes[0];
      A.FVolumeNumberInfo.SetNumber(0);
      Dm.ArchiveStream = A.FArchiveStream.get();
      A.FArchiveStream->SetSize(Cut);
      A.SaveCentralDirectory(A.FArchiveStream.get());
      A.FArchiveStream->Flush();
      break;
    }
  }
}

std::int32_t TZAUpdateCommit::FindBackupEntry(const TDirItem& item) const {
  // The entry's own stored entry, whatever its name is now or how many others share it.
  return item.StoredIndex >= 0 && item.StoredIndex < Bak.GetCount() ? item.StoredIndex : -1;
}

void TZAUpdateCommit::KeepStoredEntry(std::int32_t i) {
  // The old record comes back with the old data; only a new name given in the bracket stays.
  TDirItem kept = Bak.GetItem(FindBackupEntry(Cur.ItemRef(i)));
  const std::string name = Cur.ItemRef(i).Name;
  if (name != kept.Name) {
    kept.Name2 = kept.Name;
    kept.Name = name;
    kept.IsNew = true;
    kept.Operation = poRename;
  }
  Cur.SetItem(i, kept);
}

void TZAUpdateCommit::CopyStoredItem(std::int32_t i) {
  // 1.
  const std::int32_t j = FindBackupEntry(Cur.ItemRef(i));
  if (j < 0) throw EZAException(zaerr::CopyItemNotFound, &A);
  // 2.
  if (Cur.ItemRef(i).Operation == poUpdate) Cur.SetItem(i, Bak.GetItem(j));
  TDirItem& item = Cur.ItemRef(i);
  const TDirItem& old = Bak.ItemRef(j);
  // 3.
  const auto from = static_cast<std::int64_t>(old.GetLocalHeaderOffset());
  // 4.
  const std::int64_t position = Out->Position();
  if (static_cast<std::uint64_t>(position) >= Escape32 || A.Zip64Mode == zmAlways) {
    if (A.Zip64Mode == zmDisabled) throw EZAException(zaerr::Zip64DisabledCommit, &A, {item.Name});
    item.HasZip64Extra = true;
    item.LocalHeaderOffset = Escape32;
    item.LocalHeaderOffset64 = static_cast<std::uint64_t>(position);
    // Reading the offset takes a reader of Zip64 archives.
    const auto atLeastZip64 = [](std::uint16_t v) {
      return (v & 0xFF) < VersionZip64 ? static_cast<std::uint16_t>((v & 0xFF00) | VersionZip64) : v;
    };
    item.VersionNeeded = atLeastZip64(item.VersionNeeded);
    item.VersionMadeBy = atLeastZip64(item.VersionMadeBy);
  } else {
    item.LocalHeaderOffset = static_cast<std::uint32_t>(position);
  }
  item.DiskNumberStart = 0;
  // 5.
  std::uint8_t raw[LocalHeaderSize];
  TLocalHeader h;
  if (Old->ReadAt(from, raw, sizeof raw) != sizeof raw || !ParseLocalHeader(raw, h) ||
      (h.Signature != sigLocalHeader && h.Signature != sigOwnLocalHeader)) {
    throw EZAException(zaerr::ItemDataCorrupt, &A);
  }
  const std::int64_t nameAt = from + static_cast<std::int64_t>(LocalHeaderSize);
  const std::int64_t extraAt = nameAt + h.NameLength;
  const std::int64_t dataAt = extraAt + h.ExtraLength;
  std::int64_t dataLength = static_cast<std::int64_t>(old.GetCompressedSize());
  // Data descriptors go along, so that readers that stream the archive still find them.
  if (old.Flags & FlagDataDescriptor) {
    std::vector<std::uint8_t> extra(h.ExtraLength);
    Old->ReadAt(extraAt, extra.data(), extra.size());
    bool zip64 = false;
    ForEachExtraBlock(extra, [&](const TExtraBlockView& b) { zip64 = zip64 || b.Tag == Zip64ExtraTag; });
    std::uint8_t sig[4] = {};
    Old->ReadAt(dataAt + dataLength, sig, sizeof sig);
    dataLength += (GetU32(sig) == sigDataDescriptor ? 4 : 0) + 4 + (zip64 ? 16 : 8);
  }
  // 6.
  if (item.IsNew && item.Operation == poRename) {
    const TZAStoredName name = EncodeStoredName(item, A.Options().OEMFileNames);
    if (name.Bytes.size() > MaxStoredNameLength) throw EZAException(zaerr::FieldTooLong, &A, {item.Name});
    const std::uint16_t flags = static_cast<std::uint16_t>(name.Utf8 ? h.Flags | FlagUtf8 : h.Flags & ~FlagUtf8);
    PatchU16(raw, 6, flags);
    PatchU16(raw, 26, static_cast<std::uint16_t>(name.Bytes.size()));
    item.Flags = static_cast<std::uint16_t>(name.Utf8 ? item.Flags | FlagUtf8 : item.Flags & ~FlagUtf8);
    item.StoredName = name.Bytes;
    Check(Out->Write(raw, sizeof raw) == sizeof raw);
    Check(Out->Write(name.Bytes.data(), name.Bytes.size()) == name.Bytes.size());
    Check(CopyRange(*Old, extraAt, *Out, h.ExtraLength + dataLength));
  } else {
    if (item.StoredName.empty()) {
      std::string name(h.NameLength, '\0');
      if (Old->ReadAt(nameAt, name.data(), name.size()) == name.size()) item.StoredName = name;
    }
    Check(CopyRange(*Old, from, *Out, dataAt - from + dataLength));
  }
  ReportCopy(100.0);
}

bool TZAUpdateCommit::StoreNewItem(std::int32_t i) {
  // 1.
  A.SelectCompressionMethod();
  TDirItem& item = Cur.ItemRef(i);
  const TZAProcessOperation operation = OperationOf(item);
  // 2.
  const std::string shown = (operation == poAdd || operation == poMove) ? item.SourceFileName : item.Name;
  A.DoFileProgress(shown, 0.0, operation, ppStart, A.FCancel);
  if (A.FCancel) return false;

  std::unique_ptr<TZAStream> file;
  TZAStream* source = nullptr;
  std::int64_t sourceStart = 0;
  std::int64_t savedPosition = 0;
  const auto release = [&] {
    file.reset();
    if (item.SourceStream) item.SourceStream->Seek(savedPosition);
    source = nullptr;
  };
  std::unique_ptr<TZAStream> spanTemp;
  std::string spanTempName;
  const auto dropSpanTemp = [&] {
    spanTemp.reset();
    if (!spanTempName.empty()) std::remove(platform::ToFileSystemPath(spanTempName).c_str());
    spanTempName.clear();
  };
  const bool spanning = A.SpanningMode() != smNone;
  const std::int64_t entryStart = spanning ? 0 : Out->Size();
  // A failed or cancelled entry leaves nothing behind it.
  const auto dropPartial = [&] {
    if (spanning || !Out) return;
    if (Out->Size() > entryStart) Out->SetSize(entryStart);
    Out->Seek(entryStart);
  };
  try {
    // 3.
    if (item.SourceStream) {
      savedPosition = item.SourceStream->Position();
      item.SourceStream->Seek(item.SourceStreamStart);
      source = item.SourceStream.get();
    } else if (!(item.ExternalAttributes & faDirectory)) {
      const std::string path = item.SourcePath.empty() ? platform::ToFileSystemPath(item.SourceFileName) : item.SourcePath;
      try {
        file = std::make_unique<TZAFileStream>(path, fmOpenReadDenyNone);
      } catch (const EStreamError&) {
        throw EZAException(zaerr::CannotOpenSourceFile, &A, {item.SourceFileName});
      }
      source = file.get();
    }
    if (source) sourceStart = source->Position();
    const std::uint64_t sourceSize =
        source ? static_cast<std::uint64_t>(std::max<std::int64_t>(source->Size() - sourceStart, 0)) : 0;
    // 4.
    item.HasZip64Extra = false;
    const std::int64_t position = spanning ? 0 : Out->Position();
    if (static_cast<std::uint64_t>(position) >= Escape32 || A.Zip64Mode == zmAlways) {
      item.HasZip64Extra = true;
      item.LocalHeaderOffset = Escape32;
      item.LocalHeaderOffset64 = static_cast<std::uint64_t>(position);
    } else {
      item.LocalHeaderOffset = static_cast<std::uint32_t>(position);
    }
    // Where Zip64 may be written, the local block is reserved whenever either size may reach the
    // escape value: deflate can make a file just under it larger, and the encryption header adds
    // its bytes. Without Zip64 only a source that cannot fit is refused here; data that grows past
    // the 32-bit fields is refused once compressed.
    const std::uint64_t worstCompressed = sourceSize + sourceSize / 1000 + 1024;
    const bool reserveZip64 =
        source && A.Zip64Mode != zmDisabled && (worstCompressed >= Escape32 || A.Zip64Mode == zmAlways);
    if (reserveZip64) item.HasZip64Extra = true;
    // 5.
    const std::uint16_t version = item.HasZip64Extra ? VersionZip64 : A.Options().OEMFileNames ? VersionOem : VersionAnsi;
    item.VersionNeeded = version;
    item.VersionMadeBy = HostOf(item) == HostUnix ? static_cast<std::uint16_t>((HostUnix << 8) | (version & 0xFF)) : version;
    // 6.
    if (A.Zip64Mode == zmDisabled && (item.HasZip64Extra || sourceSize >= Escape32)) {
      release();
      throw EZAException(zaerr::Zip64DisabledCommit, &A, {item.SourceFileName});
    }
    // 7.
    TZAStream* output = Out;
    if (spanning) {
      // A small entry gathers in memory; a large one in a temporary file.
      if (sourceSize <= SmallEntryLimit) {
        spanTemp = std::make_unique<TZAMemoryStream>();
      } else {
        spanTempName = A.MakeTempFileName();
        spanTemp = std::make_unique<TZAFileStream>(platform::ToFileSystemPath(spanTempName), fmCreate);
      }
      output = spanTemp.get();
    }
    // 8. The entry's times are the new data's: the old time blocks go.
    DropTimeExtraFields(item.ExtraFields);
    const TZAStoredName name = EncodeStoredName(item, A.Options().OEMFileNames);
    if (name.Bytes.size() > MaxStoredNameLength || item.Comment.size() > MaxFieldLength) {
      throw EZAException(zaerr::FieldTooLong, &A, {item.Name});
    }
    item.Flags = static_cast<std::uint16_t>(name.Utf8 ? item.Flags | FlagUtf8 : item.Flags & ~FlagUtf8);
    item.NameLength = static_cast<std::uint16_t>(name.Bytes.size());
    TLocalHeader h;
    h.Signature = Dm.EndRecord.Signature == sigOwnEndRecord ? sigOwnLocalHeader : sigLocalHeader;
    h.VersionNeeded = version;
    h.Flags = item.Flags;
    h.Method = item.Method;
    h.ModTime = item.ModTime;
    h.ModDate = item.ModDate;
    h.Crc32 = item.Crc32;
    h.CompressedSize = 0;
    h.UncompressedSize = !source ? 0 : reserveZip64 ? Escape32 : static_cast<std::uint32_t>(sourceSize);
    h.NameLength = item.NameLength;
    h.ExtraLength = reserveZip64 ? LocalZip64BlockSize : 0;
    const std::int64_t headerAt = output->Position();
    TZAByteWriter header;
    PutLocalHeader(header, h);
    header.Bytes(name.Bytes);
    if (reserveZip64) header.Data().resize(header.Size() + LocalZip64BlockSize);
    Check(output->Write(header.Data().data(), header.Size()) == header.Size());
    const std::int64_t headerLength = static_cast<std::int64_t>(header.Size());
    // 9.
    if (!source) {
      item.Crc32 = 0;
      item.CompressedSize = item.UncompressedSize = 0;
      if (A.Zip64Mode == zmAlways) {
        item.CompressedSize = item.UncompressedSize = Escape32;
        item.CompressedSize64 = item.UncompressedSize64 = 0;
      }
    } else if (A.CompressItem(*source, *output, item)) {
      h.Crc32 = item.Crc32;
      h.Method = item.Method;
      const std::uint64_t compressed = item.GetCompressedSize();
      h.CompressedSize = reserveZip64 ? Escape32 : item.CompressedSize;
      h.UncompressedSize = reserveZip64 ? Escape32 : item.UncompressedSize;
      TZAByteWriter patch;
      PutLocalHeader(patch, h);
      const std::int64_t endAt = output->Position();
      output->Seek(headerAt);
      Check(output->Write(patch.Data().data(), patch.Size()) == patch.Size());
      if (reserveZip64) {
        TZAByteWriter block;
        block.U16(Zip64ExtraTag);
        block.U16(16);
        block.U64(sourceSize);
        block.U64(compressed);
        output->Seek(headerAt + static_cast<std::int64_t>(LocalHeaderSize + name.Bytes.size()));
        Check(output->Write(block.Data().data(), block.Size()) == block.Size());
      }
      output->Seek(endAt);
    }
    // 10.
    if (A.FCancel) {
      release();
      dropSpanTemp();
      dropPartial();
      return false;
    }
    // 11.
    bool copyCancel = false;
    if (spanning) {
      spanTemp->Seek(0);
      A.CopyToVolumes(*spanTemp, Out, false, nullptr, 0, headerLength, copyCancel, Volume);
      item.DiskNumberStart = static_cast<std::uint16_t>(std::min<std::int32_t>(Volume.VolumeNumber, Escape16));
      if (Volume.VolumeNumber >= Escape16) item.DiskNumberStart64 = static_cast<std::uint32_t>(Volume.VolumeNumber);
      const std::int64_t at = Out->Position() - headerLength;
      if (static_cast<std::uint64_t>(at) >= Escape32 || A.Zip64Mode == zmAlways) {
        item.HasZip64Extra = true;
        item.LocalHeaderOffset = Escape32;
        item.LocalHeaderOffset64 = static_cast<std::uint64_t>(at);
      } else {
        item.LocalHeaderOffset = static_cast<std::uint32_t>(at);
      }
      A.CopyToVolumes(*spanTemp, Out, true, nullptr, -1, -1, copyCancel, Volume);
      dropSpanTemp();
    }
    // 12.
    release();
    A.DoFileProgress(shown, 100.0, operation, ppEnd, A.FCancel);
    // 13.
    if (copyCancel) {
      Action = fxaAbort;
      return false;
    }
    return true;
  } catch (const EZAException& e) {
    // 14.
    release();
    dropSpanTemp();
    dropPartial();
    LastCode = e.NativeError;
    LastMessage = e.Message();
    if (!A.FArchiveStream && !NewFile) {
      Action = fxaAbort;
    } else {
      A.DoProcessFileFailure(operation == poUpdate ? item.Name : item.SourceFileName, operation, e.NativeError,
                             e.ErrorCode, e.Message(), Action);
    }
    return false;
  } catch (...) {
    release();
    dropSpanTemp();
    dropPartial();
    throw;
  }
}

void TZAUpdateCommit::MovePass() {
  for (const auto& [path, isDir] : Moved) {
    if (isDir) continue;
    do {
      Action = fxaIgnore;
      try {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
          throw EZAException(zaerr::CannotDeleteFile, &A, {platform::FromFileSystemPath(path)});
        }
      } catch (const EZAException& e) {
        A.DoProcessFileFailure(platform::FromFileSystemPath(path), poMove, e.NativeError, e.ErrorCode, e.Message(),
                               Action);
      }
    } while (Action == fxaRetry);
    if (Action == fxaAbort) return;
  }
}

namespace {

// Flushes a file's data; a failure fails the commit (code 46).
void FlushOrFail(const TZABaseArchiver& a, TZAStream& s) {
  try {
    s.Flush();
  } catch (const EStreamError&) {
    throw EZAException(zaerr::ShortWrite, &a);
  }
}

// Flushes the folder that holds path; false when that fails.
bool FlushFolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool flushed = ::fsync(fd) == 0;
  ::close(fd);
  return flushed;
}

}  // namespace

// The written archive reaches the disk; a rewritten one takes the old one's place.
void TZAUpdateCommit::Finish() {
  if (Method == TMethod::InPlace) {
    FlushOrFail(A, *Out);
    if (!A.InMemory()) Durable = FlushFolderOf(platform::ToFileSystemPath(A.FileName));
    return;
  }
  if (Method == TMethod::NewSet) {
    // Every volume of the set, not only the last one.
    FlushOrFail(A, *Out);
    for (const std::string& volume : A.FWrittenVolumes) {
      const std::string path = platform::ToFileSystemPath(volume);
      if (path == platform::ToFileSystemPath(A.FVolumeFileName)) continue;
      try {
        TZAFileStream file(path, fmOpenReadDenyNone);
        FlushOrFail(A, file);
      } catch (const EStreamError&) {
        throw EZAException(zaerr::ShortWrite, &A);
      }
    }
    if (!A.FWrittenVolumes.empty()) Durable = FlushFolderOf(platform::ToFileSystemPath(A.FWrittenVolumes.back()));
    return;
  }
  if (A.InMemory()) {
    // The memory archive keeps its stream object (a caller may hold it): the new image goes into it.
    Old->SetSize(0);
    Old->Seek(0);
    Check(CopyRange(*NewFile, 0, *Old, NewFile->Size()));
    NewFile.reset();
    Dm.ArchiveStream = Old;
    return;
  }
  Durable = PlaceBesideFile(A, static_cast<TZAFdFile&>(*NewFile), HandleOf(*Old), Target);
  Replaced = true;
  // From here on the archive is the new file; the old one's stream goes with it.
  NewFile.reset();
  Dm.ArchiveStream = nullptr;
  A.FArchiveStream.reset();
  Old = nullptr;
  A.FArchiveStream = std::make_unique<TZAFileStream>(Target, fmOpenReadWriteDenyWrite);
  Dm.ArchiveStream = A.FArchiveStream.get();
}

void TZAUpdateCommit::Run() {
  // 1.
  A.FUpdateCount = 0;
  A.FLastCommit = TZACommitResult{};
  A.FProcessedFileNo = 0;
  A.FProcessedFileCount = 0;
  for (std::int32_t i = 0; i < Cur.GetCount(); ++i)
    if (Cur.ItemRef(i).IsNew) ++A.FProcessedFileCount;
  A.FCancel = false;
  A.FProgressEnabled = true;
  // 2.
  First = FindFirstChangedItem();
  TZAProcessOperation overall = poDelete;
  for (std::int32_t i = 0; i < Cur.GetCount(); ++i) {
    if (Cur.ItemRef(i).IsNew) {
      overall = OperationOf(Cur.ItemRef(i));
      break;
    }
  }
  // 3.
  A.DoOverallProgress(0.0, overall, ppStart, A.FCancel);
  if (A.FCancel) {
    A.RestoreDirectoryFromBackup();
    A.FLastCommit.State = TZACommitState::Cancelled;
    return;
  }
  // Nothing changed in an archive that has its directory: nothing to write.
  if (First >= Cur.GetCount() && First >= Bak.GetCount() && Bak.GetCount() > 0) {
    A.FLastCommit.State = TZACommitState::Committed;
    A.DoOverallProgress(100.0, overall, ppEnd, A.FCancel);
    return;
  }
  Old = A.FArchiveStream.get();
  SavedEnd = Dm.EndRecord;
  SavedZip64End = Dm.Zip64EndRecord;
  SavedLocator = Dm.Zip64Locator;
  SavedIsZip64 = Dm.IsZip64;
  SavedDirStart = Dm.CentralDirStart;
  SavedDirectoryWritten = A.FDirectoryWritten;
  KeepStoredNames();
  // 4.-5. Where the rewrite begins: the first changed entry, else where the directory really starts.
  if (First < Bak.GetCount()) {
    Cut = static_cast<std::int64_t>(Bak.ItemRef(First).GetLocalHeaderOffset());
  } else if (Bak.GetCount() == 0) {
    Cut = Dm.SfxStubSize;
  } else {
    Cut = Dm.CentralDirStart;
  }
  if (A.SpanningMode() != smNone) {
    Method = TMethod::NewSet;
  } else if (Dm.Creating && !A.FDirectoryWritten) {
    Method = TMethod::InPlace;
  } else {
    Method = TMethod::Beside;
  }
  Cut = std::clamp<std::int64_t>(Cut, 0, Old->Size());
  std::exception_ptr reopenFailure;
  try {
    // 6.
    if (Method == TMethod::Beside) {
      if (A.InMemory()) {
        NewFile = std::make_unique<TZAMemoryStream>();
      } else {
        const std::string archive = A.FVolumeFileName.empty() ? A.FileName : A.FVolumeFileName;
        Target = ResolveArchivePath(platform::ToFileSystemPath(archive));
        // What killed commits left beside this archive goes first.
        RemoveLeftoversBeside(Target);
        NewFile = CreateBesideFile(Target);
        if (!NewFile) throw EZAException(zaerr::CannotCreateTempFile, &A, {ExtractFilePath(archive)});
      }
      Out = NewFile.get();
      CopyCounted(0, Cut);
    } else {
      Old->SetSize(Cut);
      CutDone = true;
      Old->Seek(Cut);
      Out = Old;
    }
    Action = fxaIgnore;
    Volume = A.FVolumeNumberInfo;
    if (Volume.VolumeNumber < 0) Volume.SetNumber(0);
    // 7.
    for (std::int32_t i = First; i < Cur.GetCount() && !A.FCancel;) {
      bool stored;
      do {
        Action = fxaIgnore;
        stored = true;
        const TDirItem& item = Cur.ItemRef(i);
        if (item.IsNew && item.Operation != poRename && item.Operation != poChangeAttr &&
            item.Operation != poChangeComment) {
          stored = StoreNewItem(i);
        } else {
          CopyStoredItem(i);
        }
      } while (!stored && Action == fxaRetry && !A.FCancel);
      if (Action == fxaAbort || A.FCancel) break;
      if (stored) {
        const TDirItem& item = Cur.ItemRef(i);
        if (item.IsNew && item.Operation == poMove) {
          Moved.emplace_back(item.SourcePath.empty() ? platform::ToFileSystemPath(item.SourceFileName) : item.SourcePath,
                             (item.ExternalAttributes & faDirectory) != 0);
        }
        if (item.IsNew) ++A.FLastCommit.Stored;
        ++A.FProcessedFileNo;
        ++i;
        continue;
      }
      ++A.FLastCommit.Ignored;
      // An entry that has no old data to fall back on is left out; one that has keeps it.
      if (FindBackupEntry(Cur.ItemRef(i)) < 0) {
        Cur.RemoveItem(i);
      } else {
        KeepStoredEntry(i);
        CopyStoredItem(i);
        ++i;
      }
    }
    if (!A.FCancel && Action != fxaAbort) {
      A.FVolumeNumberInfo.SetNumber(Volume.VolumeNumber);
      A.SaveCentralDirectory(Out);
      Out = Dm.ArchiveStream;
      Finish();
    }
  } catch (const std::exception& e) {
    const auto* z = dynamic_cast<const EZAException*>(&e);
    if (!Replaced) {
      RollbackFor(z ? z->NativeError : 0, e.what());
      throw;
    }
    // The new archive has the old one's name, complete and on disk: the commit holds; only the
    // archive could not be opened again, and it is closed.
    reopenFailure = std::current_exception();
    LastCode = z ? z->NativeError : zaerr::ArchiveNotOpen;
    LastMessage = e.what();
    A.FArchiveStream.reset();
    Dm.ArchiveStream = nullptr;
  }
  // 8.
  if (A.FCancel || Action == fxaAbort) {
    RollbackFor(LastCode, A.FCancel ? std::string("cancelled") : LastMessage);
    return;
  }
  // 9. The archive is complete and on disk: moved sources may go now (not when its folder could not
  // be flushed: the new name might not outlive a power cut).
  A.FLastCommit.State = TZACommitState::Committed;
  if (!Durable) {
    LastCode = zaerr::ShortWrite;
    LastMessage = EZAException(zaerr::ShortWrite, &A).Message() + "; the moved files are kept";
  }
  A.FLastCommit.ErrorCode = LastCode;
  A.FLastCommit.Message = LastMessage;
  if (Durable) MovePass();
  // The entries are plain stored entries from now on.
  for (std::int32_t i = 0; i < Cur.GetCount(); ++i) {
    TDirItem& item = Cur.ItemRef(i);
    item.IsNew = false;
    item.Name2.clear();
    item.StoredIndex = i;
    item.SourceStream.reset();
    item.OwnsSourceStream = false;
  }
  Bak.CopyFrom(Cur);
  if (reopenFailure) {
    A.FOpen = false;
    std::rethrow_exception(reopenFailure);
  }
  // 10.
  if (!A.FCancel && Action != fxaAbort) A.DoOverallProgress(100.0, overall, ppEnd, A.FCancel);
}

void TZABaseArchiver::CommitUpdate() {
  if (FUpdateCount <= 0) return;
  if (!FDirManager || !FArchiveStream) {
    FUpdateCount = 0;
    return;
  }
  RefuseUpdateOfDamagedArchive();
  FNameIndexCount = -1;
  TZAUpdateCommit commit(*this);
  commit.Run();
}

}  // namespace zip
