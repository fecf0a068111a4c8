// The update commit: the changes of an update bracket written into the archive file.
//
// The archive is never put at risk. A commit on an existing archive writes the new archive beside
// the old one (a file in the same folder: the part before the first change copied in the kernel,
// new entries compressed, unchanged ones copied from the old file), and the new file takes the old
// one's name only when it is complete and on disk; until then the old archive is untouched, and a
// rollback only drops the new file. A new archive (nothing written in it yet) is written straight
// into its own file, which was made beside its name and takes the name only when complete; a new
// set of volumes is written in place, where nothing old can be lost.
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
#include "ZAFolders.h"
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

// One new entry on its way into the archive: what its steps share, and what they must give back
// however the entry ends. The destructor releases the source (a caller's stream goes back to where
// it was), removes the spanning temporary file and, unless the entry was stored, cuts the output
// back to where the entry began, so that a failed or cancelled entry leaves nothing behind it.
// The destructor runs while a failure unwinds, so it raises nothing: a source that cannot be put
// back is left where it is, and an output that cannot be cut back is told through cutFailure (the
// archive then holds bytes that belong to no entry, and the commit cannot go on).
struct TZANewEntry {
  TZANewEntry(TDirItem& item, TZAStream*& out, bool spanning, std::exception_ptr& cutFailure)
      : Item(item), Out(out), Spanning(spanning), Start(spanning ? 0 : out->Size()), CutFailure(cutFailure) {}
  ~TZANewEntry() {
    try {
      ReleaseSource();
    } catch (...) {
      Source = nullptr;
    }
    try {
      DropSpanTemp();
    } catch (...) {
    }
    if (Stored) return;
    try {
      DropPartial();
    } catch (...) {
      if (!CutFailure) CutFailure = std::current_exception();
    }
  }
  TZANewEntry(const TZANewEntry&) = delete;
  TZANewEntry& operator=(const TZANewEntry&) = delete;

  void ReleaseSource() {
    File.reset();
    if (StreamMoved && Item.SourceStream) Item.SourceStream->Seek(SavedPosition);
    StreamMoved = false;
    Source = nullptr;
  }
  void DropSpanTemp() {
    SpanTemp.reset();
    if (!SpanTempName.empty()) std::remove(platform::ToFileSystemPath(SpanTempName).c_str());
    SpanTempName.clear();
  }
  void DropPartial() {
    if (Spanning || !Out) return;
    if (Out->Size() > Start) Out->SetSize(Start);
    Out->Seek(Start);
  }

  TDirItem& Item;
  TZAStream*& Out;  // the commit's output, which moves on from volume to volume while spanning
  const bool Spanning;
  const std::int64_t Start;  // where the entry begins in the output (0 while spanning)
  std::unique_ptr<TZAStream> File;  // the source file opened for the entry
  TZAStream* Source = nullptr;      // the data to store; none for a folder
  std::int64_t SavedPosition = 0;   // where a caller's stream stood before the entry
  bool StreamMoved = false;         // and that it has been moved since
  std::int64_t SourceStart = 0;
  std::uint64_t SourceSize = 0;
  std::unique_ptr<TZAStream> SpanTemp;  // while spanning, the entry's bytes gather here first
  std::string SpanTempName;
  std::exception_ptr& CutFailure;  // why the output could not be cut back, when it could not
  TZAStream* Output = nullptr;  // where the entry is written: the archive, or SpanTemp
  bool ReserveZip64 = false;    // the local header has room for a Zip64 block
  std::uint16_t Version = 0;
  TLocalHeader Header;
  TZAStoredName Name;
  std::int64_t HeaderAt = 0;
  std::int64_t HeaderLength = 0;
  bool Stored = false;
};

}  // namespace

// The state of one commit, and its steps.
class TZAUpdateCommit {
 public:
  explicit TZAUpdateCommit(TZABaseArchiver& a) : A(a), Dm(*a.FDirManager), Cur(Dm.CentralDir), Bak(Dm.BackupDir) {}

  void Run();

 private:
  enum class TMethod { Beside, InPlace, NewSet };

  // The steps of the run, in their order.
  void StartCounting();
  std::int32_t FindFirstChangedItem() const;
  TZAProcessOperation OverallOperation() const;
  void SaveLoadedState();
  void KeepStoredNames();
  std::int64_t CutOffset() const;
  TMethod ChooseMethod() const;
  void OpenOutput();
  void WriteEntries();
  void Finish();
  void CompleteCommit();
  void MovePass();
  // One entry: new data stored, or the stored block copied.
  static bool HasNewData(const TDirItem& item);
  bool WriteEntry(std::int32_t i);
  // The steps of storing new data, in their order.
  bool StoreNewItem(std::int32_t i);
  void CheckNewName(const TDirItem& item) const;
  void OpenSource(TZANewEntry& e);
  void PlaceLocalHeader(TZANewEntry& e);
  void SetLocalHeaderOffset(TDirItem& item, std::int64_t position) const;
  void OpenEntryOutput(TZANewEntry& e);
  void WriteLocalHeader(TZANewEntry& e);
  void CompressEntryData(TZANewEntry& e);
  void CopyEntryToVolumes(TZANewEntry& e, bool& copyCancel);
  // An entry that keeps its stored data.
  void CopyStoredItem(std::int32_t i);
  std::int32_t FindBackupEntry(const TDirItem& item) const;
  void KeepStoredEntry(std::int32_t i);
  // Copies of old data, and the way back.
  void CopyCounted(std::int64_t fromPos, std::int64_t count);
  void ReportCopy(double progress);
  void Rollback();
  void RollbackFor(std::int32_t code, const std::string& message);
  void Place(TZAFdFile& file, int oldHandle);
  TZAProcessOperation OperationOf(const TDirItem& item) const { return static_cast<TZAProcessOperation>(item.Operation); }
  // A write into the archive (or the file an entry gathers in) that fell short fails the commit.
  void Check(bool ok, const TZAStream& written) {
    if (!ok) throw A.WriteFailure(written);
  }
  // Failures of the archive's own writes, which are never an item's.
  static bool IsWriteFailure(const EZAException& e) {
    return e.NativeError == zaerr::WriteRefused || e.NativeError == zaerr::ShortWrite;
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
    Check(CopyRange(*Old, fromPos + done, *Out, n), *Out);
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
  // The entry's old record and data.
  const std::int32_t j = FindBackupEntry(Cur.ItemRef(i));
  if (j < 0) throw EZAException(zaerr::CopyItemNotFound, &A);
  // A refill that failed keeps the old record.
  if (Cur.ItemRef(i).Operation == poUpdate) Cur.SetItem(i, Bak.GetItem(j));
  TDirItem& item = Cur.ItemRef(i);
  const TDirItem& old = Bak.ItemRef(j);
  const auto from = static_cast<std::int64_t>(old.GetLocalHeaderOffset());
  // The entry's new place: the end of the output.
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
  // Its stored block: the local header, name, extra field and data.
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
  // A renamed entry gets its new name in the local header; any other is copied whole.
  if (item.IsNew && item.Operation == poRename) {
    const TZAStoredName name = EncodeStoredName(item, A.Options().OEMFileNames);
    if (name.Bytes.size() > MaxStoredNameLength) throw EZAException(zaerr::FieldTooLong, &A, {item.Name});
    const std::uint16_t flags = static_cast<std::uint16_t>(name.Utf8 ? h.Flags | FlagUtf8 : h.Flags & ~FlagUtf8);
    PatchU16(raw, 6, flags);
    PatchU16(raw, 26, static_cast<std::uint16_t>(name.Bytes.size()));
    item.Flags = static_cast<std::uint16_t>(name.Utf8 ? item.Flags | FlagUtf8 : item.Flags & ~FlagUtf8);
    item.StoredName = name.Bytes;
    Check(Out->Write(raw, sizeof raw) == sizeof raw, *Out);
    Check(Out->Write(name.Bytes.data(), name.Bytes.size()) == name.Bytes.size(), *Out);
    Check(CopyRange(*Old, extraAt, *Out, h.ExtraLength + dataLength), *Out);
  } else {
    if (item.StoredName.empty()) {
      std::string name(h.NameLength, '\0');
      if (Old->ReadAt(nameAt, name.data(), name.size()) == name.size()) item.StoredName = name;
    }
    Check(CopyRange(*Old, from, *Out, dataAt - from + dataLength), *Out);
  }
  ReportCopy(100.0);
}

bool TZAUpdateCommit::StoreNewItem(std::int32_t i) {
  A.SelectCompressionMethod();
  TDirItem& item = Cur.ItemRef(i);
  const TZAProcessOperation operation = OperationOf(item);
  // Events name a disk file by its path, every other entry by its name.
  const std::string shown = (operation == poAdd || operation == poMove) ? item.SourceFileName : item.Name;
  A.DoFileProgress(shown, 0.0, operation, ppStart, A.FCancel);
  if (A.FCancel) return false;
  std::exception_ptr cutFailure;
  bool stored = false;
  try {
    TZANewEntry entry(item, Out, A.SpanningMode() != smNone, cutFailure);
    CheckNewName(item);
    OpenSource(entry);
    PlaceLocalHeader(entry);
    OpenEntryOutput(entry);
    WriteLocalHeader(entry);
    if (entry.Source) CompressEntryData(entry);
    if (!A.FCancel) {
      bool copyCancel = false;
      if (entry.Spanning) CopyEntryToVolumes(entry, copyCancel);
      entry.Stored = true;
      entry.ReleaseSource();
      A.DoFileProgress(shown, 100.0, operation, ppEnd, A.FCancel);
      // A cancel while the entry was copied into the volumes ends the commit.
      if (copyCancel) {
        Action = fxaAbort;
      } else {
        stored = true;
      }
    }
  } catch (const EZAException& e) {
    // An archive that could not take the data, or could not be cut back, fails the whole commit,
    // whatever the answer to an item's failure would be.
    if (IsWriteFailure(e)) throw;
    if (cutFailure) std::rethrow_exception(cutFailure);
    // The entry has given back what it held; the failure goes to the failure event.
    LastCode = e.NativeError;
    LastMessage = e.Message();
    if (!A.FArchiveStream && !NewFile) {
      Action = fxaAbort;
    } else {
      A.DoProcessFileFailure(operation == poUpdate ? item.Name : item.SourceFileName, operation, e.NativeError,
                             e.ErrorCode, e.Message(), Action);
    }
    return false;
  }
  if (cutFailure) std::rethrow_exception(cutFailure);
  return stored;
}

// A name the engine itself never makes: a backslash kept from a disk file's name, which every
// reader would take for a folder separator.
void TZAUpdateCommit::CheckNewName(const TDirItem& item) const {
  if (item.Name.find('\\') != std::string::npos) throw EZAException(zaerr::BackslashInName, &A, {item.SourceFileName});
}

// The entry's data: the caller's stream from where its data starts, else the source file (none for
// a folder).
void TZAUpdateCommit::OpenSource(TZANewEntry& e) {
  TDirItem& item = e.Item;
  if (item.SourceStream) {
    e.SavedPosition = item.SourceStream->Position();
    e.StreamMoved = true;
    item.SourceStream->Seek(item.SourceStreamStart);
    e.Source = item.SourceStream.get();
  } else if (!(item.ExternalAttributes & faDirectory)) {
    const std::string path = item.SourcePath.empty() ? platform::ToFileSystemPath(item.SourceFileName) : item.SourcePath;
    try {
      e.File = std::make_unique<TZAFileStream>(path, fmOpenReadDenyNone);
    } catch (const EStreamError&) {
      throw EZAException(zaerr::CannotOpenSourceFile, &A, {item.SourceFileName});
    }
    e.Source = e.File.get();
  } else if (!item.SourcePath.empty() && A.FUnlistedFolders.count(item.SourcePath) != 0) {
    // A folder whose files could not all be listed when it was added.
    throw EZAException(zaerr::CannotOpenSourceFile, &A, {item.SourceFileName});
  }
  if (e.Source) e.SourceStart = e.Source->Position();
  e.SourceSize = e.Source ? static_cast<std::uint64_t>(std::max<std::int64_t>(e.Source->Size() - e.SourceStart, 0)) : 0;
}

// The offset of a new entry's local header: in its Zip64 field from the escape value on, or always
// with zmAlways.
void TZAUpdateCommit::SetLocalHeaderOffset(TDirItem& item, std::int64_t position) const {
  if (static_cast<std::uint64_t>(position) >= Escape32 || A.Zip64Mode == zmAlways) {
    item.HasZip64Extra = true;
    item.LocalHeaderOffset = Escape32;
    item.LocalHeaderOffset64 = static_cast<std::uint64_t>(position);
  } else {
    item.LocalHeaderOffset = static_cast<std::uint32_t>(position);
  }
}

// Where the entry starts, whether it needs Zip64 fields, and the version a reader needs.
void TZAUpdateCommit::PlaceLocalHeader(TZANewEntry& e) {
  TDirItem& item = e.Item;
  item.HasZip64Extra = false;
  SetLocalHeaderOffset(item, e.Spanning ? 0 : Out->Position());
  // Where Zip64 may be written, the local block is reserved whenever either size may reach the
  // escape value: deflate can make a file just under it larger, and the encryption header adds
  // its bytes. Without Zip64 only a source that cannot fit is refused here; data that grows past
  // the 32-bit fields is refused once compressed.
  const std::uint64_t worstCompressed = e.SourceSize + e.SourceSize / 1000 + 1024;
  e.ReserveZip64 = e.Source && A.Zip64Mode != zmDisabled && (worstCompressed >= Escape32 || A.Zip64Mode == zmAlways);
  if (e.ReserveZip64) item.HasZip64Extra = true;
  e.Version = item.HasZip64Extra ? VersionZip64 : A.Options().OEMFileNames ? VersionOem : VersionAnsi;
  item.VersionNeeded = e.Version;
  item.VersionMadeBy =
      HostOf(item) == HostUnix ? static_cast<std::uint16_t>((HostUnix << 8) | (e.Version & 0xFF)) : e.Version;
  if (A.Zip64Mode == zmDisabled && (item.HasZip64Extra || e.SourceSize >= Escape32)) {
    throw EZAException(zaerr::Zip64DisabledCommit, &A, {item.SourceFileName});
  }
}

// While spanning, the entry is written on its own first (a small one in memory, a large one in a
// temporary file) and copied into the volumes once complete; otherwise straight into the archive.
void TZAUpdateCommit::OpenEntryOutput(TZANewEntry& e) {
  e.Output = Out;
  if (!e.Spanning) return;
  if (e.SourceSize <= SmallEntryLimit) {
    e.SpanTemp = std::make_unique<TZAMemoryStream>();
  } else {
    e.SpanTempName = A.MakeTempFileName();
    e.SpanTemp = std::make_unique<TZAFileStream>(platform::ToFileSystemPath(e.SpanTempName), fmCreate);
  }
  e.Output = e.SpanTemp.get();
}

// The local header with the entry's name, sizes still unknown (a Zip64 block reserved when needed).
void TZAUpdateCommit::WriteLocalHeader(TZANewEntry& e) {
  TDirItem& item = e.Item;
  // The entry's times are the new data's: the old time blocks go.
  DropTimeExtraFields(item.ExtraFields);
  e.Name = EncodeStoredName(item, A.Options().OEMFileNames);
  if (e.Name.Bytes.size() > MaxStoredNameLength || item.Comment.size() > MaxFieldLength) {
    throw EZAException(zaerr::FieldTooLong, &A, {item.Name});
  }
  item.Flags = static_cast<std::uint16_t>(e.Name.Utf8 ? item.Flags | FlagUtf8 : item.Flags & ~FlagUtf8);
  item.NameLength = static_cast<std::uint16_t>(e.Name.Bytes.size());
  TLocalHeader& h = e.Header;
  h.Signature = Dm.EndRecord.Signature == sigOwnEndRecord ? sigOwnLocalHeader : sigLocalHeader;
  h.VersionNeeded = e.Version;
  h.Flags = item.Flags;
  h.Method = item.Method;
  h.ModTime = item.ModTime;
  h.ModDate = item.ModDate;
  h.Crc32 = item.Crc32;
  h.CompressedSize = 0;
  h.UncompressedSize = !e.Source ? 0 : e.ReserveZip64 ? Escape32 : static_cast<std::uint32_t>(e.SourceSize);
  h.NameLength = item.NameLength;
  h.ExtraLength = e.ReserveZip64 ? LocalZip64BlockSize : 0;
  e.HeaderAt = e.Output->Position();
  TZAByteWriter header;
  PutLocalHeader(header, h);
  header.Bytes(e.Name.Bytes);
  if (e.ReserveZip64) header.Data().resize(header.Size() + LocalZip64BlockSize);
  Check(e.Output->Write(header.Data().data(), header.Size()) == header.Size(), *e.Output);
  e.HeaderLength = static_cast<std::int64_t>(header.Size());
  if (!e.Source) {
    // A folder: no data, and sizes that are known already.
    item.Crc32 = 0;
    item.CompressedSize = item.UncompressedSize = 0;
    if (A.Zip64Mode == zmAlways) {
      item.CompressedSize = item.UncompressedSize = Escape32;
      item.CompressedSize64 = item.UncompressedSize64 = 0;
    }
  }
}

// The data compressed after the header; the header then gets the CRC, the sizes and the method.
void TZAUpdateCommit::CompressEntryData(TZANewEntry& e) {
  TDirItem& item = e.Item;
  if (!A.CompressItem(*e.Source, *e.Output, item)) return;
  TLocalHeader& h = e.Header;
  h.Crc32 = item.Crc32;
  h.Method = item.Method;
  const std::uint64_t compressed = item.GetCompressedSize();
  h.CompressedSize = e.ReserveZip64 ? Escape32 : item.CompressedSize;
  h.UncompressedSize = e.ReserveZip64 ? Escape32 : item.UncompressedSize;
  TZAByteWriter patch;
  PutLocalHeader(patch, h);
  const std::int64_t endAt = e.Output->Position();
  e.Output->Seek(e.HeaderAt);
  Check(e.Output->Write(patch.Data().data(), patch.Size()) == patch.Size(), *e.Output);
  if (e.ReserveZip64) {
    TZAByteWriter block;
    block.U16(Zip64ExtraTag);
    block.U16(16);
    block.U64(e.SourceSize);
    block.U64(compressed);
    e.Output->Seek(e.HeaderAt + static_cast<std::int64_t>(LocalHeaderSize + e.Name.Bytes.size()));
    Check(e.Output->Write(block.Data().data(), block.Size()) == block.Size(), *e.Output);
  }
  e.Output->Seek(endAt);
}

// The spanned entry into the volumes: its header kept on one volume, then its data with progress;
// the entry starts where its header landed.
void TZAUpdateCommit::CopyEntryToVolumes(TZANewEntry& e, bool& copyCancel) {
  TDirItem& item = e.Item;
  e.SpanTemp->Seek(0);
  A.CopyToVolumes(*e.SpanTemp, Out, false, nullptr, 0, e.HeaderLength, copyCancel, Volume);
  item.DiskNumberStart = static_cast<std::uint16_t>(std::min<std::int32_t>(Volume.VolumeNumber, Escape16));
  if (Volume.VolumeNumber >= Escape16) item.DiskNumberStart64 = static_cast<std::uint32_t>(Volume.VolumeNumber);
  SetLocalHeaderOffset(item, Out->Position() - e.HeaderLength);
  A.CopyToVolumes(*e.SpanTemp, Out, true, nullptr, -1, -1, copyCancel, Volume);
  e.DropSpanTemp();
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

// The complete new archive takes its name (from the file on oldHandle, -1: from no file). Once it
// has the name the commit holds, even when the placement then fails.
void TZAUpdateCommit::Place(TZAFdFile& file, int oldHandle) {
  try {
    PlaceBesideFile(A, file, oldHandle);
  } catch (...) {
    Replaced = file.Placed();
    // Its folder was not flushed: the name might not outlive a power cut.
    Durable = false;
    throw;
  }
  Replaced = true;
}

// The written archive reaches the disk; a rewritten one takes the old one's place.
void TZAUpdateCommit::Finish() {
  if (Method == TMethod::InPlace) {
    if (A.InMemory()) {
      FlushOrFail(A, *Out);
      return;
    }
    // A new archive, written beside its name: it takes the name now (flushed first).
    if (auto* fresh = dynamic_cast<TZAFdFile*>(Out)) {
      Place(*fresh, A.FCommitLock.Handle());
      Durable = FlushFolder(FolderOfPath(fresh->Target()));
    } else {
      FlushOrFail(A, *Out);
      Durable = FlushFolder(FolderOfPath(platform::ToFileSystemPath(A.FileName)));
    }
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
    if (!A.FWrittenVolumes.empty()) Durable = FlushFolder(FolderOfPath(platform::ToFileSystemPath(A.FWrittenVolumes.back())));
    return;
  }
  if (A.InMemory()) {
    // The memory archive keeps its stream object (a caller may hold it): the new image goes into it.
    Old->SetSize(0);
    Old->Seek(0);
    Check(CopyRange(*NewFile, 0, *Old, NewFile->Size()), *Old);
    NewFile.reset();
    Dm.ArchiveStream = Old;
    return;
  }
  Place(static_cast<TZAFdFile&>(*NewFile), HandleOf(*Old));
  Durable = FlushFolder(FolderOfPath(Target));
  // From here on the archive is the new file; the old one's stream goes with it.
  NewFile.reset();
  Dm.ArchiveStream = nullptr;
  A.FArchiveStream.reset();
  Old = nullptr;
  A.FArchiveStream = std::make_unique<TZAFileStream>(Target, fmOpenReadWriteDenyWrite);
  Dm.ArchiveStream = A.FArchiveStream.get();
}

// The counters of the run's events, and no outcome yet.
void TZAUpdateCommit::StartCounting() {
  A.FUpdateCount = 0;
  A.FLastCommit = TZACommitResult{};
  A.FProcessedFileNo = 0;
  A.FProcessedFileCount = 0;
  for (std::int32_t i = 0; i < Cur.GetCount(); ++i)
    if (Cur.ItemRef(i).IsNew) ++A.FProcessedFileCount;
  A.FCancel = false;
  A.FProgressEnabled = true;
}

// The operation the overall progress reports: that of the first entry with new data, else a delete.
TZAProcessOperation TZAUpdateCommit::OverallOperation() const {
  for (std::int32_t i = 0; i < Cur.GetCount(); ++i) {
    if (Cur.ItemRef(i).IsNew) return OperationOf(Cur.ItemRef(i));
  }
  return poDelete;
}

// What the load left in the manager, for a rollback.
void TZAUpdateCommit::SaveLoadedState() {
  SavedEnd = Dm.EndRecord;
  SavedZip64End = Dm.Zip64EndRecord;
  SavedLocator = Dm.Zip64Locator;
  SavedIsZip64 = Dm.IsZip64;
  SavedDirStart = Dm.CentralDirStart;
  SavedDirectoryWritten = A.FDirectoryWritten;
}

// Where the rewrite begins: the first changed entry, else where the directory really starts (the
// stub's end in an archive without entries).
std::int64_t TZAUpdateCommit::CutOffset() const {
  std::int64_t cut;
  if (First < Bak.GetCount()) {
    cut = static_cast<std::int64_t>(Bak.ItemRef(First).GetLocalHeaderOffset());
  } else if (Bak.GetCount() == 0) {
    cut = Dm.SfxStubSize;
  } else {
    cut = Dm.CentralDirStart;
  }
  return std::clamp<std::int64_t>(cut, 0, Old->Size());
}

// A set of volumes is written as a new set; a new archive with nothing written in it, in place;
// every other archive beside the old one.
TZAUpdateCommit::TMethod TZAUpdateCommit::ChooseMethod() const {
  if (A.SpanningMode() != smNone) return TMethod::NewSet;
  if (Dm.Creating && !A.FDirectoryWritten) return TMethod::InPlace;
  return TMethod::Beside;
}

// The output the entries go to, holding the archive up to the cut: a new file beside the archive
// (a new image for one in memory), or the archive itself cut there when it is written in place.
void TZAUpdateCommit::OpenOutput() {
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
}

bool TZAUpdateCommit::HasNewData(const TDirItem& item) {
  return item.IsNew && item.Operation != poRename && item.Operation != poChangeAttr &&
         item.Operation != poChangeComment;
}

// One entry: its new data stored, or its stored block copied; tried again for as long as a failure
// is answered with Retry. False when it was not stored.
bool TZAUpdateCommit::WriteEntry(std::int32_t i) {
  bool stored;
  do {
    Action = fxaIgnore;
    stored = true;
    if (HasNewData(Cur.ItemRef(i))) {
      stored = StoreNewItem(i);
    } else {
      CopyStoredItem(i);
    }
  } while (!stored && Action == fxaRetry && !A.FCancel);
  return stored;
}

// The entries from the first changed one on, until the last one, an abort or a cancel. An entry
// whose failure was ignored is left out when it has no old data to fall back on; one that has
// keeps it.
void TZAUpdateCommit::WriteEntries() {
  Action = fxaIgnore;
  Volume = A.FVolumeNumberInfo;
  if (Volume.VolumeNumber < 0) Volume.SetNumber(0);
  for (std::int32_t i = First; i < Cur.GetCount() && !A.FCancel;) {
    const bool stored = WriteEntry(i);
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
    if (FindBackupEntry(Cur.ItemRef(i)) < 0) {
      Cur.RemoveItem(i);
    } else {
      KeepStoredEntry(i);
      CopyStoredItem(i);
      ++i;
    }
  }
}

// The rewrite is complete and is not undone any more: the outcome is recorded, moved sources go
// (not when the archive's folder could not be flushed: the new name might not outlive a power
// cut), and the entries are plain stored entries from now on.
void TZAUpdateCommit::CompleteCommit() {
  A.FLastCommit.State = TZACommitState::Committed;
  if (!Durable) {
    LastCode = zaerr::ShortWrite;
    LastMessage = EZAException(zaerr::ShortWrite, &A).Message() + "; the moved files are kept";
  }
  A.FLastCommit.ErrorCode = LastCode;
  A.FLastCommit.Message = LastMessage;
  if (Durable) MovePass();
  for (std::int32_t i = 0; i < Cur.GetCount(); ++i) {
    TDirItem& item = Cur.ItemRef(i);
    item.IsNew = false;
    item.Name2.clear();
    item.StoredIndex = i;
    item.SourceStream.reset();
    item.OwnsSourceStream = false;
  }
  Bak.CopyFrom(Cur);
}

void TZAUpdateCommit::Run() {
  StartCounting();
  First = FindFirstChangedItem();
  const TZAProcessOperation overall = OverallOperation();
  A.DoOverallProgress(0.0, overall, ppStart, A.FCancel);
  if (A.FCancel) {
    // Cancelled at its start: the archive file is untouched.
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
  SaveLoadedState();
  KeepStoredNames();
  Cut = CutOffset();
  Method = ChooseMethod();
  std::exception_ptr reopenFailure;
  try {
    OpenOutput();
    WriteEntries();
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
  // Cancelled or aborted while the entries were written: the archive goes back to what it was.
  if (A.FCancel || Action == fxaAbort) {
    RollbackFor(LastCode, A.FCancel ? std::string("cancelled") : LastMessage);
    return;
  }
  CompleteCommit();
  if (reopenFailure) {
    A.FOpen = false;
    std::rethrow_exception(reopenFailure);
  }
  if (!A.FCancel && Action != fxaAbort) A.DoOverallProgress(100.0, overall, ppEnd, A.FCancel);
}

void TZABaseArchiver::CommitUpdate() {
  // What the bracket's walks could not list is of this commit only.
  struct TForgetUnlisted {
    std::unordered_set<std::string>& Folders;
    ~TForgetUnlisted() { Folders.clear(); }
  } forget{FUnlistedFolders};
  if (FUpdateCount <= 0) return;
  if (!FDirManager || !FArchiveStream) {
    FUpdateCount = 0;
    return;
  }
  RefuseUpdateOfDamagedArchive();
  FNameIndex.Forget();
  TZAUpdateCommit commit(*this);
  commit.Run();
}

}  // namespace zip
