// The archiver's read path as an application drives it: open, find, extract, close, and the
// processing loop that walks the selected items with their events.
#include <algorithm>
#include <cstring>

#include "ZADirManager.h"
#include "ZAItemData.h"
#include "ZAMasks.h"
#include "ZAPlatform.h"
#include "ZAStrFunc.h"
#include "ZAUnicode.h"
#include "ZipArchiver.h"

namespace zip {

namespace {

bool FileNamePartEmpty(const std::string& name) { return ExtractFileName(name).empty(); }

std::string Upper(const std::string& s) { return UpperCaseText(s); }

// Folder of a name: the part up to the last "\" with "/" turned into "\".
std::string FolderOf(std::string name) {
  std::replace(name.begin(), name.end(), '/', '\\');
  const auto pos = name.rfind('\\');
  return pos == std::string::npos ? std::string() : name.substr(0, pos);
}

}  // namespace

// ---- open and close ---------------------------------------------------------------------------

void TZABaseArchiver::OpenArchiveAuto() {
  int mode;
  if (!InMemory() && FileNamePartEmpty(FileName)) throw EZAException(zaerr::BlankFileNameAuto, this);
  if (!InMemory() && platform::FileExists(FileName)) {
    try {
      TZAFileStream probe(platform::ToFileSystemPath(FileName), fmOpenReadWriteDenyWrite);
      mode = fmOpenReadWriteDenyWrite;
    } catch (const EStreamError&) {
      mode = fmOpenReadDenyNone;
    }
  } else {
    mode = ZAFileModeCreate;
  }
  OpenArchive(mode);
}

void TZABaseArchiver::OpenArchive(int Mode) {
  if (!InMemory() && FileNamePartEmpty(FileName)) throw EZAException(zaerr::BlankFileName, this);
  if (Mode == ZAFileModeCreate || platform::FileExists(FileName) || SpanningMode() == smSpanning ||
      IsRemovableDrive(FileName)) {
    if (Mode != ZAFileModeCreate && InMemory()) throw EZAException(zaerr::InMemoryCreateOnly, this, {FileName});
    CloseArchive();
    FFileOpenMode = static_cast<std::int16_t>(Mode);
    try {
      PrepareArchiveFile();
      InternalOpen();
    } catch (...) {
      // A failed open leaves the archiver closed.
      FOpen = false;
      FDirManager.reset();
      FArchiveStream.reset();
      FCommitLock.Release();
      throw;
    }
    return;
  }
  throw EZAException(zaerr::ArchiveFileNotFound, this, {FileName});
}

void TZABaseArchiver::CloseArchive() {
  if (FOpen) {
    // Close raises nothing, so what fails here is recorded where the caller reads how the last
    // commit ended: the commit records its own failures; one it could not record (before its steps
    // began, or after it ended) and one of completing a new archive are added here.
    const auto record = [this](const std::exception* e) {
      const auto* z = dynamic_cast<const EZAException*>(e);
      const std::string message = e ? e->what() : "Unknown error";
      if (FLastCommit.Message.find(message) != std::string::npos) return;
      // No outcome yet: nothing of the changes reached the archive's name.
      if (FLastCommit.State == TZACommitState::None) FLastCommit.State = TZACommitState::RolledBack;
      if (FLastCommit.ErrorCode == 0 && z) FLastCommit.ErrorCode = z->NativeError;
      FLastCommit.Message += (FLastCommit.Message.empty() ? "" : "; ") + message;
    };
    try {
      // Pending changes of an update bracket are committed.
      CommitUpdate();
    } catch (const std::exception& e) {
      record(&e);
    } catch (...) {
      record(nullptr);
    }
    try {
      // A new archive not yet under its name gets it, with an empty directory if none was written.
      CompleteNewArchive();
    } catch (const std::exception& e) {
      record(&e);
    } catch (...) {
      record(nullptr);
    }
    FOpen = false;
  }
  FArchiveStream.reset();
  FDirManager.reset();
  FCommitLock.Release();
  FDirectoryWritten = false;
  FWrittenVolumes.clear();
}

TZADirArray* TZABaseArchiver::CentralDir() { return FDirManager ? &FDirManager->CentralDir : nullptr; }

std::int32_t TZABaseArchiver::ItemCount() { return FDirManager ? FDirManager->CentralDir.GetCount() : 0; }

// ---- finding ----------------------------------------------------------------------------------

bool TZABaseArchiver::FindFirstItem(const std::string& FileMask, TZAArchiveItem& Item,
                                    const std::string& ExclusionMask, std::int32_t SearchAttr) {
  std::string mask = FileMask;
  if (Options().StorePath != spFullPathWithDrive) {
    const std::string drive = ExtractFileDrive(mask);
    if (!drive.empty() && mask.compare(0, drive.size(), drive) == 0) mask.erase(0, drive.size());
  }
  std::replace(mask.begin(), mask.end(), '\\', '/');
  // The mask has room for 259 bytes; a longer one is cut there, never inside a character.
  CutToCharacter(mask, sizeof(Item.InternalSearchRec.Mask) - 1);
  std::memset(Item.InternalSearchRec.Mask, 0, sizeof Item.InternalSearchRec.Mask);
  std::memcpy(Item.InternalSearchRec.Mask, mask.data(), mask.size());
  Item.InternalSearchRec.ExclusionMask = ExclusionMask;
  Item.InternalSearchRec.SearchAttr = SearchAttr;
  Item.InternalSearchRec.Index = 0;
  return FindItem(Item);
}

bool TZABaseArchiver::FindNextItem(TZAArchiveItem& Item) {
  Item.InternalSearchRec.Index += 1;
  return FindItem(Item);
}

bool TZABaseArchiver::FindItem(TZAArchiveItem& Item) {
  if (!FDirManager) return false;
  const TZADirArray& dir = FDirManager->CentralDir;
  const std::string mask(Item.InternalSearchRec.Mask);
  const std::string maskFolder = Upper(FolderOf(mask));
  const std::int32_t searchAttr = Item.InternalSearchRec.SearchAttr;
  for (std::int32_t i = std::max(Item.InternalSearchRec.Index, 0); i < dir.GetCount(); ++i) {
    const TDirItem& d = dir.ItemRef(i);
    std::string name = d.Name;
    while (!name.empty() && (name.back() == '/' || name.back() == '\\')) name.pop_back();
    if (!Options().Recurse && Upper(FolderOf(name)) != maskFolder) continue;
    const std::string namePart = ExtractFileName(name);
    if (!NameMatchesMask(name, mask) && !NameMatchesMask(namePart, mask)) continue;
    if ((d.ExternalAttributes & 30u & ~static_cast<std::uint32_t>(searchAttr)) != 0) continue;

    Item.InternalSearchRec.Index = i;
    std::string shown = ToBackslashes(d.Name);
    while (!shown.empty() && shown.back() == '\\') shown.pop_back();
    const auto cut = shown.rfind('\\');
    Item.FileName = cut == std::string::npos ? shown : shown.substr(cut + 1);
    Item.StoredFolderName = cut == std::string::npos ? std::string() : shown.substr(0, cut + 1);
    Item.CompressedSize = static_cast<std::int64_t>(d.GetCompressedSize());
    Item.UncompressedSize = static_cast<std::int64_t>(d.GetUncompressedSize());
    if (Item.UncompressedSize > 0) {
      Item.CompressionRate =
          (1.0 - static_cast<double>(Item.CompressedSize) / static_cast<double>(Item.UncompressedSize)) * 100.0;
      if (Item.CompressionRate < 0) Item.CompressionRate = 0.0;
    } else {
      Item.CompressionRate = 100.0;
    }
    Item.Encrypted = (d.Flags & 1) != 0;
    Item.LastModFileDate = d.ModDate;
    Item.LastModFileTime = d.ModTime;
    Item.CRC = d.Crc32;
    Item.ExternalFileAttributes = d.ExternalAttributes;
    Item.Comment = d.Comment;
    return true;
  }
  return false;
}

// ---- extracting -------------------------------------------------------------------------------

void TZABaseArchiver::SelectMatchingItems(const std::string& FileMask, std::int32_t SearchAttr,
                                          const std::string& ExclusionMask) {
  if (!FDirManager) return;
  TZADirArray& dir = FDirManager->CentralDir;
  dir.ClearSelection();
  TZAArchiveItem item;
  for (bool found = FindFirstItem(FileMask, item, ExclusionMask, SearchAttr); found; found = FindNextItem(item)) {
    dir.ItemRef(item.InternalSearchRec.Index).Selected = true;
  }
}

void TZABaseArchiver::ExtractFiles(const std::string& FileMask, std::int32_t SearchAttr,
                                   const std::string& ExclusionMask) {
  CheckOpen();
  CheckNotInUpdate();
  SelectMatchingItems(FileMask, SearchAttr, ExclusionMask);
  ProcessFiles(poExtract);
}

void TZABaseArchiver::FlushExtractedFiles() {
  TZAAction action;
  do {
    action = fxaIgnore;
    const std::string failed = FDeferredFlush.FlushAll();
    if (failed.empty()) return;
    const EZAException e(zaerr::CannotCreateFile, this, {platform::FromFileSystemPath(failed)});
    ++FLastResult.Failed;
    FLastResult.LastErrorCode = e.NativeError;
    FLastResult.LastErrorMessage = e.Message();
    FLastResult.LastFailedFile = platform::FromFileSystemPath(failed);
    DoProcessFileFailure(FLastResult.LastFailedFile, poExtract, e.NativeError, e.ErrorCode, e.Message(), action);
  } while (action == fxaRetry);
  FDeferredFlush.Clear();
}

TZAAction TZABaseArchiver::ReportDirectoryDamage(TZAProcessOperation Operation) {
  TZAAction action = fxaIgnore;
  if (!FDirManager || FDirManager->DirectoryFault.empty()) return action;
  const EZAException e(zaerr::ArchiveDirectoryDamaged, this, {FDirManager->DirectoryFault});
  ++FLastResult.Failed;
  FLastResult.LastErrorCode = e.NativeError;
  FLastResult.LastErrorMessage = e.Message();
  FLastResult.LastFailedFile = FileName;
  DoProcessFileFailure(FileName, Operation, e.NativeError, e.ErrorCode, e.Message(), action);
  // Nothing can be tried again: Retry goes on as Ignore does.
  return action == fxaAbort ? fxaAbort : fxaIgnore;
}

void TZABaseArchiver::RefuseUpdateOfDamagedArchive() {
  if (!FDirManager) return;
  const std::string fault = FDirManager->StructureFault(FDirManager->BackupDir);
  if (fault.empty()) return;
  // Nothing is written: the bracket's changes are dropped and the file stays as it is.
  FUpdateCount = 0;
  RestoreDirectoryFromBackup();
  const EZAException e(zaerr::DamagedArchiveNotUpdated, this, {fault});
  FLastCommit = TZACommitResult{};
  FLastCommit.State = TZACommitState::RolledBack;
  FLastCommit.ErrorCode = e.NativeError;
  FLastCommit.Message = e.Message();
  throw e;
}

void TZABaseArchiver::ProcessFiles(TZAProcessOperation Operation) {
  // One run at a time in the whole process.
  TZAProcessLockGuard lock;
  FLastResult = TZAProcessResult{};
  // The counters, and the number of items the run is to process.
  FProcessedFileNo = 0;
  FProcessedFileCount = 0;
  FCancel = false;
  FProgressEnabled = true;
  TZADirArray* dir = CentralDir();
  if (dir == nullptr) return;
  FDirManager->ForgetOverlaps();
  for (std::int32_t i = 0; i < dir->GetCount(); ++i) {
    if (dir->ItemRef(i).Selected) ++FProcessedFileCount;
  }
  FLastResult.Selected = FProcessedFileCount;
  FDeferredFlush.Clear();
  const bool extractOrTest = Operation == poExtract || Operation == poTest;
  TZAAction action = fxaIgnore;

  // The start of the run, which its answer may cancel; a directory that cannot be trusted whole is
  // a failure of the run before any item, whose Abort answer ends it there.
  bool runCancelled = false;
  if (extractOrTest) {
    DoOverallProgress(0.0, Operation, ppStart, FCancel);
    runCancelled = FCancel;
    if (!runCancelled) action = ReportDirectoryDamage(Operation);
  }
  // Every selected item in turn; the count is read again each time (a delete removes items).
  for (std::int32_t i = 0; action != fxaAbort && !runCancelled && dir != nullptr && i < dir->GetCount();) {
    if (!dir->ItemRef(i).Selected) {
      ++i;
      continue;
    }
    dir->ItemRef(i).Operation = Operation;
    const std::string storedName = dir->ItemRef(i).Name;
    const std::int32_t countBefore = dir->GetCount();
    bool failed;
    do {
      // One pass over the item, repeated while a failure is answered with Retry.
      action = fxaIgnore;
      failed = false;
      std::string fileName = ToBackslashes(storedName);
      try {
        // The application may pass the item over.
        bool confirm = true;
        DoConfirmProcessFile(fileName, Operation, confirm);
        if (!confirm) {
          ++FLastResult.Skipped;
          break;
        }
        // The folder the names are relative to: BaseDir, else the current one.
        const std::string baseFolder = BaseDirWithBackslash(BaseDir);
        // The item's start, which its answer may cancel.
        if (extractOrTest) {
          DoFileProgress(storedName, 0.0, Operation, ppStart, FCancel);
          if (FCancel) break;
        }
        // The operation's step for this item.
        FSkipFile = false;
        switch (Operation) {
          case poExtract:
            ExtractItemToFile(i, fileName, baseFolder);
            break;
          case poTest:
            TestItem(i, fileName);
            break;
          case poDelete:
            DeleteItem(i);
            break;
          case poUpdate:
            UpdateItem(i, fileName, baseFolder);
            break;
          default:
            break;
        }
        if (FSkipFile) ++FLastResult.Skipped;
        // The item's end.
        if (extractOrTest) {
          // A cancel given before stays set whatever this answer says.
          bool cancel = FCancel;
          DoFileProgress(storedName, 100.0, Operation, ppEnd, cancel);
          FCancel = FCancel || cancel;
        }
        // A cancelled item does not count as processed.
        if (FCancel) break;
        ++FProcessedFileNo;
        ++FLastResult.Processed;
      } catch (const EZAException& e) {
        // The failure goes to the application, whose answer decides: retry, ignore or abort.
        failed = true;
        FLastResult.LastErrorCode = e.NativeError;
        FLastResult.LastErrorMessage = e.Message();
        FLastResult.LastFailedFile = fileName;
        DoProcessFileFailure(fileName, Operation, e.NativeError, e.ErrorCode, e.Message(), action);
      }
    } while (failed && action == fxaRetry);
    if (failed) ++FLastResult.Failed;
    if (action == fxaAbort || FCancel) break;
    // The next item; after a delete the next one has moved into this index.
    dir = CentralDir();
    if (!(Operation == poDelete && dir != nullptr && dir->GetCount() < countBefore)) ++i;
  }
  FLastResult.Aborted = action == fxaAbort;
  // What the run wrote is on the disk before it reports its end.
  FlushExtractedFiles();
  // The end of the run, unless it was cancelled at its start.
  if (extractOrTest && !runCancelled) {
    bool cancel = FCancel;
    DoOverallProgress(100.0, Operation, ppEnd, cancel);
    FCancel = FCancel || cancel;
  }
  FLastResult.Cancelled = FCancel || runCancelled;
  // A run that was cancelled or aborted drops the bracket's changes: the directory goes back to
  // what the file holds.
  if ((FCancel || action == fxaAbort) && FUpdateCount > 0) {
    FUpdateCount = 0;
    RestoreDirectoryFromBackup();
  }
}

void TZABaseArchiver::TestItem(std::int32_t Index, const std::string& FileName) {
  (void)FileName;
  const TDirItem& item = FDirManager->CentralDir.ItemRef(Index);
  if (item.ExternalAttributes & faDirectory) return;
  // Nothing is kept of a test: the data goes through the checks and is dropped.
  class TNullStream final : public TZAStream {
   public:
    std::size_t Read(void*, std::size_t) override { return 0; }
    std::size_t Write(const void*, std::size_t count) override {
      FSize += static_cast<std::int64_t>(count);
      return count;
    }
    void Seek(std::int64_t) override {}
    std::int64_t Position() const override { return FSize; }
    std::int64_t Size() const override { return FSize; }
    void SetSize(std::int64_t size) override { FSize = size; }

   private:
    std::int64_t FSize = 0;
  } sink;
  ExtractItemDataToStream(Index, sink);
}

void TZABaseArchiver::ExtractItemDataToStream(std::int32_t Index, TZAStream& Stream) {
  if (!FDirManager || Index < 0 || Index >= FDirManager->CentralDir.GetCount()) {
    throw EZAException(zaerr::ExtractIndexOutOfBounds, this);
  }
  const TDirItem item = FDirManager->CentralDir.GetItem(Index);
  // An item whose bytes do not all lie in the archive (a file cut short) cannot be read whole; the
  // data step finds the ones the directory alone cannot tell.
  if (FDirManager->ItemDataIncomplete(Index)) throw EZAException(zaerr::ItemDataIncomplete, this, {item.Name});
  // An item whose bytes are also another item's is refused: a directory that points many entries at
  // the same data multiplies what a small file extracts to.
  if (FDirManager->ItemDataOverlaps(Index)) throw EZAException(zaerr::OverlappingItemData, this, {item.Name});
  // The item's volume: its 16-bit disk field, or the Zip64 one when that field is the escape value.
  TZAVolumeNumberInfo info;
  if (FDirManager->IsZip64) {
    info.LastVolumeNumber = FDirManager->LastVolume;
  } else {
    info.LastVolumeNumber = FDirManager->EndRecord.DiskNumber;
  }
  info.SetNumber(static_cast<std::int32_t>(item.GetDiskNumberStart()));
  RequestVolume(info);
  // Its local header, then its data through the checks.
  FArchiveStream->Seek(static_cast<std::int64_t>(std::min<std::uint64_t>(item.GetLocalHeaderOffset(), INT64_MAX)));
  const bool whole = ExtractItemToStream(*FArchiveStream, Stream, item);
  // A write the system refused (a full disk, a file size limit) is told as such, with where it was
  // written and the system's reason, not as damaged data.
  if (const int error = Stream.LastWriteError(); error != 0) {
    const auto* file = dynamic_cast<const TZAFileStream*>(&Stream);
    throw EZAException(zaerr::WriteRefused, this,
                       {file ? platform::FromFileSystemPath(file->Path()) : item.Name, std::string(std::strerror(error))});
  }
  if (!whole && !FCancel && !ExtractCorruptedFiles && !FSkipFile) {
    throw EZAException(zaerr::ItemDataCorrupt, this);
  }
}

bool TZABaseArchiver::ExtractItemToStream(TZAStream& Source, TZAStream& Destination, const TDirItem& Item) {
  TZAItemDataRequest request;
  request.Flags = Item.Flags;
  request.Method = Item.Method;
  request.VersionNeeded = Item.VersionNeeded;
  request.Crc32 = Item.Crc32;
  request.CompressedSize = Item.GetCompressedSize();
  request.UncompressedSize = Item.GetUncompressedSize();
  request.UncompressedSize32 = Item.UncompressedSize;
  request.LimitToDirectory = SpanningMode() == smNone;
  request.DirectoryStart = FDirManager->CentralDirStart;
  FSkipFile = false;
  FCurrentItemBytesDone = 0;
  FCurrentItemBytesTotal = static_cast<std::int64_t>(request.CompressedSize);

  const std::string name = Item.Name;
  const auto operation = static_cast<TZAProcessOperation>(Item.Operation);
  TZAVolumeNumberInfo volume = FVolumeNumberInfo;
  volume.LastVolumeNumber = FDirManager->IsZip64 ? FDirManager->LastVolume : FDirManager->EndRecord.DiskNumber;

  TZAItemDataHooks hooks;
  hooks.Progress = [&](std::uint64_t consumed, std::uint64_t total) {
    if (!FProgressEnabled) return false;
    FCurrentItemBytesDone = static_cast<std::int64_t>(consumed);
    FCurrentItemBytesTotal = static_cast<std::int64_t>(total);
    const double part = total == 0 ? 0.0 : static_cast<double>(consumed) / static_cast<double>(total);
    DoFileProgress(name, part * 100.0, operation, ppProcess, FCancel);
    if (FCancel) return true;
    const double overall =
        FProcessedFileCount == 0 ? 0.0 : (part + FProcessedFileNo) / static_cast<double>(FProcessedFileCount) * 100.0;
    DoOverallProgress(overall, operation, ppProcess, FCancel);
    return FCancel;
  };
  hooks.AskPassword = [&](std::string& password) {
    bool skip = false;
    DoPassword(name, password, skip);
    FSkipFile = skip;
    return !skip;
  };
  hooks.NextVolume = [&]() -> TZAStream* {
    // Only a set of volumes goes on in another file.
    if (SpanningMode() == smNone) return nullptr;
    if (volume.VolumeNumber < 0 || volume.VolumeNumber >= volume.LastVolumeNumber) return nullptr;
    volume.SetNumber(volume.VolumeNumber + 1);
    RequestVolume(volume);
    return FArchiveStream.get();
  };

  switch (ExtractItemData(Source, Destination, request, Password, hooks)) {
    case TZAItemDataResult::Ok:
      return true;
    case TZAItemDataResult::Deflate64:
      throw EZAException(zaerr::Deflate64NotSupported);
    case TZAItemDataResult::Incomplete:
      throw EZAException(zaerr::ItemDataIncomplete, this, {name});
    case TZAItemDataResult::Skipped:
      FSkipFile = true;
      return false;
    case TZAItemDataResult::Cancelled:
    case TZAItemDataResult::Failed:
      return false;
  }
  return false;
}

}  // namespace zip
