#pragma once
// The zip archive component: TZABaseArchiver holds the whole engine (properties, events,
// operations), TZipArchiver is the zip archiver an application places on its window.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ZAArchiveItem.h"
#include "ZACommitLock.h"
#include "ZACommitResult.h"
#include "ZAComponent.h"
#include "ZADeferredFlush.h"
#include "ZADirArray.h"
#include "ZAEvents.h"
#include "ZAExcept.h"
#include "ZANameIndex.h"
#include "ZAOptions.h"
#include "ZAStream.h"
#include "ZATypes.h"

namespace zip {

class TZADirManager;
class TZADirHost;

// A file as the file system knows it, whatever name leads to it.
struct TZAFileId {
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
};

// Mode in which the archive file is opened; -1 means it is being created.
inline constexpr std::int16_t ZAFileModeCreate = -1;

class TZABaseArchiver : public TComponent {
 public:
  explicit TZABaseArchiver(TComponent* AOwner = nullptr);
  ~TZABaseArchiver() override;
  TZABaseArchiver(const TZABaseArchiver&) = delete;
  TZABaseArchiver& operator=(const TZABaseArchiver&) = delete;

  // ---- published properties -------------------------------------------------------------
  bool ExtractCorruptedFiles = false;

  TZACompressionLevel CompressionLevel() const { return FCompressionLevel; }
  // Stores the level, sets the matching mode, then chooses the compression method.
  void SetCompressionLevel(TZACompressionLevel level);
  std::uint8_t CompressionMode() const { return FCompressionMode; }
  // Code 5 above 9 (nothing changes); else stores the mode, sets the matching level, then
  // chooses the compression method.
  void SetCompressionMode(int mode);

  std::string CurrentVersion() const;
  void SetCurrentVersion(const std::string&) {}  // the version cannot be written

  // Names and passwords are UTF-8, the platform's code page; a password is taken as its bytes.
  std::string Password;
  std::string FileName;  // writing it opens nothing
  std::string BaseDir;
  std::string TempDir;

  TZASpanningMode SpanningMode() const { return FSpanningMode; }
  // Refused while an archive is open.
  void SetSpanningMode(TZASpanningMode mode);
  TZASpanningOptions& SpanningOptions() { return FSpanningOptions; }
  const TZASpanningOptions& SpanningOptions() const { return FSpanningOptions; }

  std::string SFXStub;

  TZAOptions& Options() { return FOptions; }
  const TZAOptions& Options() const { return FOptions; }

  // The setters copy the given list into the archiver's own.
  TStrings& FileMasks() { return FFileMasks; }
  const TStrings& FileMasks() const { return FFileMasks; }
  void SetFileMasks(const TStrings& masks) { FFileMasks.Assign(masks); }
  TStrings& ExclusionMasks() { return FExclusionMasks; }
  const TStrings& ExclusionMasks() const { return FExclusionMasks; }
  void SetExclusionMasks(const TStrings& masks) { FExclusionMasks.Assign(masks); }
  TStrings& NoCompressionMasks() { return FNoCompressionMasks; }
  const TStrings& NoCompressionMasks() const { return FNoCompressionMasks; }
  void SetNoCompressionMasks(const TStrings& masks) { FNoCompressionMasks.Assign(masks); }

  bool InMemory() const { return FInMemory; }
  // Switches an open archive between memory and the file FileName.
  void SetInMemory(bool value);

  TZip64Mode Zip64Mode = zmAuto;

  // ---- events (fired through the dispatchers below) --------------------------------------
  TZAFileProgressEvent OnFileProgress;
  TZAProgressEvent OnOverallProgress;
  TZACopyTempFileProgressEvent OnCopyTempFileProgress;
  TZAConfirmOverwriteEvent OnConfirmOverwrite;
  TZAConfirmProcessFileEvent OnConfirmProcessFile;
  TNotifyEvent AfterOpen;
  TZAOnPasswordEvent OnPassword;
  TZAProcessFileFailureEvent OnProcessFileFailure;
  TZAOnRequestBlankVolumeEvent OnRequestBlankVolume;
  TZAOnRequestFirstVolumeEvent OnRequestFirstVolume;
  TZAOnRequestLastVolumeEvent OnRequestLastVolume;
  TZAOnRequestMiddleVolumeEvent OnRequestMiddleVolume;
  TZAOnDiskFullEvent OnDiskFull;
  TZAOnStoreFileEvent OnStoreFile;
  TZAOnExtractFileEvent OnExtractFile;

  // ---- dispatchers: the handler when one is assigned, else the built-in answer or dialog ----
  virtual void SelectCompressionMethod();
  virtual void DoOverallProgress(double Progress, TZAProcessOperation Operation,
                                 TZAProgressPhase ProgressPhase, bool& Cancel);
  virtual void DoFileProgress(const std::string& FileName, double Progress,
                              TZAProcessOperation Operation, TZAProgressPhase ProgressPhase,
                              bool& Cancel);
  virtual void DoCopyTempFileProgress(double Progress, TZAProgressPhase ProgressPhase, bool& Cancel);
  virtual void DoConfirmOverwrite(const std::string& SourceFileName, std::string& DestFileName,
                                  bool& Confirm);
  virtual void DoConfirmProcessFile(const std::string& FileName, TZAProcessOperation Operation,
                                    bool& Confirm);
  virtual void DoPassword(const std::string& FileName, std::string& NewPassword, bool& SkipFile);
  virtual void DoProcessFileFailure(const std::string& FileName, TZAProcessOperation Operation,
                                    int NativeError, int ErrorCode, const std::string& ErrorMessage,
                                    TZAAction& Action);
  virtual void DoRequestBlankVolume(int VolumeNumber, std::string& VolumeFileName, bool& Cancel);
  virtual void DoRequestFirstVolume(std::string& VolumeFileName, bool& Cancel);
  virtual void DoRequestLastVolume(std::string& VolumeFileName, bool& Cancel);
  virtual void DoRequestMiddleVolume(int VolumeNumber, std::string& VolumeFileName, bool& Cancel);
  virtual void DoDiskFull(int VolumeNumber, const std::string& VolumeFileName, bool& Cancel);
  virtual void DoInternalEvent(std::uint8_t Kind, std::int32_t A, std::int32_t B, std::int32_t C);
  virtual void DoStoreFile(std::string& FileName, std::uint32_t& FileAttr, std::string& Comment,
                           const std::string& OriginalFileName);
  virtual void DoExtractFile(std::string& FileName, std::uint32_t& FileAttr, const std::string& Comment);

  // ---- state checks and the process-wide lock ----------------------------------------------
  // Code 13 when no archive is open.
  void CheckOpen() const;
  // Code 26 inside an update bracket; false otherwise.
  bool CheckNotInUpdate() const;
  bool InUpdate() const { return FUpdateCount > 0; }
  // One lock for the whole process around every processing run; re-entrant on one thread.
  static void Lock();
  static void Unlock();
  static std::recursive_mutex& ProcessLock();

  // ---- engine state, shared by the engine's parts -----------------------------------------
  bool FOpen = false;
  std::int32_t FUpdateCount = 0;
  bool FZipFormat = false;
  std::int16_t FFileOpenMode = 0;
  std::string FVolumeFileName;
  TZAVolumeNumberInfo FVolumeNumberInfo;
  std::int32_t FProcessedFileNo = 0;
  std::int32_t FProcessedFileCount = 0;
  bool FCancel = false;
  bool FProgressEnabled = false;
  bool FSkipFile = false;
  // How long (ms) a commit waits while another commit on the same archive holds it.
  std::int32_t CommitLockWait = 10000;
  // Held by an archive opened for writing, from before its directory is read until it is closed:
  // the lock on the archive file that keeps other commits on it waiting.
  TZACommitLock FCommitLock;
  // With FlushBuffers: what the running extraction leaves to flush at its end.
  TZADeferredFlush FDeferredFlush;
  bool FOpenDamaged = true;
  std::int16_t FCompressionMethod = -1;  // -1 undefined, 0 stored, 8 deflate
  // The data engine's byte counters for the current item.
  std::int64_t FCurrentItemBytesDone = 0;
  std::int64_t FCurrentItemBytesTotal = 0;
  TZAInternalEvent FInternalEvent;

  // --- read path: begin
  // Opening, finding and extracting, the directory manager, volumes.
  // (The deleters live with the read path, so that this header needs only the declarations.)
  struct TZADirManagerDeleter {
    void operator()(TZADirManager* manager) const;
  };
  struct TZADirHostDeleter {
    void operator()(TZADirHost* host) const;
  };
  std::unique_ptr<TZAStream> FArchiveStream;
  std::unique_ptr<TZADirManager, TZADirManagerDeleter> FDirManager;

  // Opens (or, with -1, creates) the archive FileName with the given file open mode: 32 read only
  // denying writes (what the updater passes), 34 read and write, 64 read only, -1 create.
  void OpenArchive(int Mode);
  // Opens FileName with a mode chosen by the file: read and write when possible, else read only,
  // and creates it when it does not exist.
  void OpenArchiveAuto();
  // Closes the archive; never raises. A failure of the commit it runs, or of writing a new
  // archive's directory and giving it its name, is recorded in LastCommitResult().
  void CloseArchive();
  bool IsOpen() const { return FOpen; }

  bool FindFirstItem(const std::string& FileMask, TZAArchiveItem& Item, const std::string& ExclusionMask,
                     std::int32_t SearchAttr);
  bool FindNextItem(TZAArchiveItem& Item);

  // Extracts every matching item into BaseDir. Per-item failures go to the failure event; how
  // the run ended is in LastResult() afterwards.
  void ExtractFiles(const std::string& FileMask, std::int32_t SearchAttr, const std::string& ExclusionMask);
  const TZAProcessResult& LastResult() const { return FLastResult; }
  void SelectMatchingItems(const std::string& FileMask, std::int32_t SearchAttr, const std::string& ExclusionMask);
  void ProcessFiles(TZAProcessOperation Operation);
  // The end of an extraction with FlushBuffers: what it left pending reaches the disk; a folder
  // that cannot be flushed goes to the failure event.
  void FlushExtractedFiles();
  void ExtractItemToFile(std::int32_t Index, std::string FileName, const std::string& BaseFolder);
  // Decompresses item Index into Stream; code 8 when its data fails the checks.
  void ExtractItemDataToStream(std::int32_t Index, TZAStream& Stream);
  void TestItem(std::int32_t Index, const std::string& FileName);
  // A commit's first step: code 82, with nothing written, when the archive as read does not hold
  // together (its directory rebuilt or misplaced, entries overlapping or cut short).
  void RefuseUpdateOfDamagedArchive();

  // The directory of the open archive (nullptr when closed).
  TZADirArray* CentralDir();
  std::int32_t ItemCount();

  // Volumes.
  // The name of a volume of the archive FileName (volume numbers from 0; -1: the last one).
  void MakeVolumeFileName(std::string& Name, int VolumeNumber, bool TryAlternative);
  // Free bytes available to the caller on the drive that holds Name.
  std::int64_t GetVolumeFreeSpace(const std::string& Name);
  static bool IsExeFileName(const std::string& Name);
  // Makes the archive stream the stream of the volume Info names; code 45 when cancelled.
  void RequestVolume(const TZAVolumeNumberInfo& Info);
  void InternalOpen();
  // Opens the archive held in image (an in-memory archive's bytes) again, in memory.
  void ReopenMemoryImage(std::unique_ptr<TZAStream> image);
  void OpenArchiveStream(const std::string& VolumeFileName);
  void CreateNewArchive();
  void OpenLastVolume();
  void OpenSfxArchive();
  void DetectSpanningMode();
  void DoAfterOpen();

 protected:
  bool ExtractItemToStream(TZAStream& Source, TZAStream& Destination, const TDirItem& Item);
  bool ArchiveCountsAsSfx() const;
  bool FindItem(TZAArchiveItem& Item);
  // A run over a directory that cannot be trusted whole reports that as a failure (code 83) before
  // any item; returns the answer (Abort ends the run).
  TZAAction ReportDirectoryDamage(TZAProcessOperation Operation);
  TZAProcessResult FLastResult;
  std::unique_ptr<TZADirHost, TZADirHostDeleter> FDirHost;

 public:
  // --- read path: end

  // --- write path: begin
  // The update bracket. The outermost BeginUpdate keeps a copy of the directory as the file holds
  // it; the outermost EndUpdate commits the changes (a close commits a bracket left open).
  void BeginUpdate();
  void EndUpdate();
  // Adds the disk files and folders that FileMask names (a path relative to BaseDir whose last part
  // may hold wildcards; folders are walked when Options().Recurse is set). MoveFiles deletes the
  // sources once the archive is complete. A disk name that holds a "\" (which an archive reads as a
  // folder separator) is a failed item of the commit, code 77.
  void AddFiles(const std::string& FileMask);
  void MoveFiles(const std::string& FileMask);
  // Adds an item named StoredName whose data is read from Stream (from its present position).
  void AddFromStream(const std::string& StoredName, std::shared_ptr<TZAStream> Stream,
                     std::uint32_t Attributes = faArchive, std::int32_t DosDateTime = 0);
  // Gives the item OldName the name NewName. Refused: a name with a ".." part or a drive (code 72),
  // and a name the archive holds, or that would come out in the place of another item (code 74).
  void RenameItem(const std::string& OldName, const std::string& NewName);
  // Deletes, freshens (from the files of the same names below BaseDir) or tests the matching items.
  void DeleteFiles(const std::string& FileMask, std::int32_t SearchAttr = 10431);
  void UpdateFiles(const std::string& FileMask, std::int32_t SearchAttr = 10431);
  void TestFiles(const std::string& FileMask, std::int32_t SearchAttr = 10431);
  // How the last commit ended (also after a close, which raises nothing).
  const TZACommitResult& LastCommitResult() const { return FLastCommit; }

  // Item services.
  void FillItemFromFile(std::int32_t Index, const std::string& Path, bool UseFileData);
  TDirItem& ReplaceItemFromFile(std::int32_t Index, const std::string& Path);
  void DeleteDirItem(std::int32_t Index);
  std::string MakeTempFileName();
  void UpdateItem(std::int32_t Index, const std::string& FileName, const std::string& BaseFolder);
  void DeleteItem(std::int32_t Index);

  // Compressing one item's data (the archive position is just after its local header). A write
  // into Destination that falls short is the archive's failure (WriteFailure), not the item's.
  bool CompressItem(TZAStream& Source, TZAStream& Destination, TDirItem& Item);
  // The failure of a write into the archive (or a file the engine writes on its way to it) that
  // fell short: code 84 with the file and the system's reason when the system refused the write
  // (a full disk, a file size limit, an I/O error), code 46 when it gave none.
  EZAException WriteFailure(const TZAStream& Stream) const;
  static std::uint32_t ShareModeFlags(TZAFileShareMode ShareMode);

  // The update commit.
  void CommitUpdate();
  // Before the directory of an archive opened for writing is read: the commit lock, and for a new
  // single-file archive the file beside its name that it is written in (a file under the name
  // stays until the new archive is complete).
  void PrepareArchiveFile();
  // At the close of a new archive not yet under its name: its directory written (an empty one when
  // it has none yet) and the archive given its name; not when its commit failed over a file that
  // had the name, which then stays.
  void CompleteNewArchive();

  // The archive directory written at the end of Stream (nullptr: the archive stream).
  void SaveCentralDirectory(TZAStream* Stream = nullptr);

  // Volumes, writing side.
  // Writes through the volumes of a set (straight into Stream for a single file); returns the bytes
  // written. Reserve: bytes that must fit on the same volume after these (-1: none).
  std::int64_t WriteToVolumes(const void* Buffer, std::size_t Count, TZAStream* TempStream, std::int64_t Reserve,
                              TZAVolumeNumberInfo& Info, TZAStream*& Stream);
  // The same; code 46 when fewer than Count bytes were written.
  void WriteToVolumesOrFail(const void* Buffer, std::size_t Count, TZAStream* TempStream, std::int64_t Reserve,
                            TZAVolumeNumberInfo& Info, TZAStream*& Stream);
  // Copies Count bytes of Source (-1: the rest) through WriteToVolumes; code 46 when the source ends
  // early or a write falls short.
  void CopyToVolumes(TZAStream& Source, TZAStream*& Stream, bool ShowProgress, TZAStream* TempStream,
                     std::int64_t Reserve, std::int64_t Count, bool& Cancel, TZAVolumeNumberInfo& Info);
  // Writes the self-extractor stub SFXStub at the start of a new archive.
  void WriteSfxStub();

  // The current directory back to the copy the bracket kept (its changes dropped).
  void RestoreDirectoryFromBackup();

 protected:
  // Opens a blank volume of a new set (the request loop of a set being written).
  void RequestBlankVolume(const TZAVolumeNumberInfo& Info);
  void AddDiskFiles(const std::string& FileMask, TZAProcessOperation Operation);
  // What the add operations put into the bracket: the disk files FileMask names, one stream.
  void GatherDiskFiles(const std::string& FileMask, TZAProcessOperation Operation);
  void PutStreamItem(const std::string& Name, std::shared_ptr<TZAStream> Stream, std::uint32_t Attributes,
                     std::int32_t DosDateTime);
  // What RenameItem puts into the bracket.
  void RenameOneItem(const std::string& OldName, const std::string& NewName);
  // Runs one operation that fills the update bracket, in a bracket of its own (committed at its
  // end) when none is open. An error while it fills the bracket cancels the whole bracket, one the
  // caller opened included: nothing of it is committed, no moved source is deleted, and
  // LastCommitResult() says why.
  void FillUpdate(const std::function<void()>& fill);
  // Drops every change of the open bracket: the directory goes back to what the file holds.
  void CancelUpdate(std::int32_t ErrorCode, const std::string& Message);
  // The files of the archive itself (the open one, its name, its volumes), which no disk walk adds.
  std::vector<TZAFileId> OwnFileIds();
  // Selects the matching items and runs the operation over them inside a bracket.
  void ProcessMatchingInBracket(const std::string& FileMask, std::int32_t SearchAttr, TZAProcessOperation Operation);
  // An item put at Index of the directory, or appended when Index is -1 (returns its index); the
  // name index follows.
  std::int32_t PutDirItem(std::int32_t Index, const TDirItem& Item);
  // Item Index was named OldName before it was refilled or renamed: the name index follows.
  void NoteItemRenamed(std::int32_t Index, const std::string& OldName);
  TZACommitResult FLastCommit;
  // The folders (file system paths) that the bracket's disk walks could not list: the commit fails
  // their items instead of storing them as folders with fewer files.
  std::unordered_set<std::string> FUnlistedFolders;
  std::vector<std::string> FWrittenVolumes;  // volume files of the set being written, in order
  bool FDirectoryWritten = false;            // the open archive has had its directory written
  // Item names to indexes, for the operations that add, rename and delete items: every change
  // they make to the directory is told to it, and it is built again only when the directory
  // changes as a whole (a new bracket, a restore, a commit).
  TZANameIndex FNameIndex;
  // The first item named exactly Name, -1 when none.
  std::int32_t FindItemByName(const std::string& Name);
  friend class TZAUpdateCommit;

 public:
  // --- write path: end

 private:
  TZACompressionLevel FCompressionLevel = clFastest;
  std::uint8_t FCompressionMode = 1;
  TZASpanningMode FSpanningMode = smNone;
  TZASpanningOptions FSpanningOptions;
  TZAOptions FOptions;
  TStringList FFileMasks;
  TStringList FExclusionMasks;
  TStringList FNoCompressionMasks;
  bool FInMemory = false;
};

class TZipArchiver : public TZABaseArchiver {
 public:
  explicit TZipArchiver(TComponent* AOwner = nullptr);
  ~TZipArchiver() override = default;
  // Deflate (8), or stored (0) when the compression mode is 0.
  void SelectCompressionMethod() override;
};

// Holds the process-wide lock for its lifetime.
class TZAProcessLockGuard {
 public:
  TZAProcessLockGuard() { TZABaseArchiver::Lock(); }
  ~TZAProcessLockGuard() { TZABaseArchiver::Unlock(); }
  TZAProcessLockGuard(const TZAProcessLockGuard&) = delete;
  TZAProcessLockGuard& operator=(const TZAProcessLockGuard&) = delete;
};

}  // namespace zip
