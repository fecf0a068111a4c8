// The volume layer of the archiver, reading side: volume names, volume requests, the internal open
// of a single file, a self-extracting file or a set of volumes, and the detection of the spanning
// mode from what is found on disk.
#include <string>

#include "ZADirManager.h"
#include "ZAFiles.h"
#include "ZAPlatform.h"
#include "ZAStrFunc.h"
#include "ZAVolumeNames.h"
#include "ZipArchiver.h"

namespace zip {

namespace {

// The directory manager's view of its archiver.
class TZAArchiverDirHost final : public TZADirHost {
 public:
  explicit TZAArchiverDirHost(TZABaseArchiver& archiver) : FArchiver(archiver) {}
  bool ZipFormat() const override { return FArchiver.FZipFormat; }
  TZASpanningMode Spanning() const override { return FArchiver.SpanningMode(); }
  bool OemFileNames() const override { return FArchiver.Options().OEMFileNames; }
  bool OpenDamaged() const override { return FArchiver.FOpenDamaged; }
  TZAStream& SwitchToVolume(const TZAVolumeNumberInfo& info) override {
    FArchiver.RequestVolume(info);
    if (!FArchiver.FArchiveStream) throw EZAException(zaerr::VolumeRequestCancelled, &FArchiver);
    return *FArchiver.FArchiveStream;
  }
  TZAStream* ArchiveStream() override { return FArchiver.FArchiveStream.get(); }
  TZAVolumeNumberInfo& VolumeInfo() override { return FArchiver.FVolumeNumberInfo; }

 private:
  TZABaseArchiver& FArchiver;
};

// Keeps the open-damaged flag and clears it until the end of a step, also on an exception.
class TOpenDamagedKeeper {
 public:
  explicit TOpenDamagedKeeper(bool& flag) : FFlag(flag), FSaved(flag) {}
  ~TOpenDamagedKeeper() { FFlag = FSaved; }
  TOpenDamagedKeeper(const TOpenDamagedKeeper&) = delete;
  TOpenDamagedKeeper& operator=(const TOpenDamagedKeeper&) = delete;

 private:
  bool& FFlag;
  bool FSaved;
};

}  // namespace

void TZABaseArchiver::TZADirManagerDeleter::operator()(TZADirManager* manager) const { delete manager; }
void TZABaseArchiver::TZADirHostDeleter::operator()(TZADirHost* host) const { delete host; }

bool TZABaseArchiver::IsExeFileName(const std::string& Name) { return zip::IsExeFileName(Name); }

bool TZABaseArchiver::ArchiveCountsAsSfx() const {
  return (FDirManager && FDirManager->SfxStubSize != 0) || !SFXStub.empty() || IsExeFileName(FileName);
}

void TZABaseArchiver::MakeVolumeFileName(std::string& Name, int VolumeNumber, bool TryAlternative) {
  TZAVolumeNaming naming;
  naming.Mode = SpanningMode();
  naming.AdvancedNaming = SpanningOptions().AdvancedNaming;
  naming.IsSfx = ArchiveCountsAsSfx();
  naming.OwnFormat = FCompressionMethod >= 252;
  Name = MakeVolumeName(Name, VolumeNumber, naming, TryAlternative,
                        [](const std::string& n) { return FileExistsNoCase(n); });
  // Reading a set: tools differ in the letter case of volume names (".z01", ".Z01"); the file on disk
  // is the one meant.
  if (FFileOpenMode != ZAFileModeCreate && naming.Mode != smNone) {
    if (auto found = FindFileNoCase(Name)) Name = *found;
  }
}

std::int64_t TZABaseArchiver::GetVolumeFreeSpace(const std::string& Name) { return platform::GetDiskFreeSpace(Name); }

void TZABaseArchiver::OpenArchiveStream(const std::string& VolumeFileName) {
  FArchiveStream.reset();
  FArchiveStream = std::make_unique<TZAFileStream>(platform::ToFileSystemPath(VolumeFileName), FFileOpenMode);
  FVolumeFileName = VolumeFileName;
}

void TZABaseArchiver::RequestVolume(const TZAVolumeNumberInfo& Info) {
  // A single file: nothing to ask.
  if (SpanningMode() == smNone) {
    if (!FArchiveStream) OpenArchiveStream(FileName);
    FVolumeNumberInfo.VolumeNumber = Info.VolumeNumber;
    FVolumeNumberInfo.VolumeKind = Info.VolumeKind;
    return;
  }
  // Writing a new set: a blank volume.
  if (FFileOpenMode == ZAFileModeCreate) {
    RequestBlankVolume(Info);
    return;
  }
  // Reading a set: the volume already open, or the one the application hands over when asked.
  if (FArchiveStream && FVolumeNumberInfo.SameVolume(Info)) return;
  for (;;) {
    std::string name = FileName;
    bool cancel = true;
    if (Info.IsFirst()) {
      DoRequestFirstVolume(name, cancel);
    } else if (Info.IsLast()) {
      DoRequestLastVolume(name, cancel);
    } else {
      DoRequestMiddleVolume(Info.VolumeNumber, name, cancel);
    }
    if (cancel) break;
    // A handler that answers with no name and no cancel names no volume at all: asking again would
    // get the same answer, and going on would read from no stream (or from the wrong volume).
    if (name.empty()) break;
    const auto found = FFileOpenMode == ZAFileModeCreate ? std::optional<std::string>(name) : FindFileNoCase(name);
    if (found) {
      OpenArchiveStream(*found);
      FVolumeNumberInfo.VolumeNumber = Info.VolumeNumber;
      FVolumeNumberInfo.VolumeKind = Info.VolumeKind;
      return;
    }
  }
  throw EZAException(zaerr::VolumeRequestCancelled, this);
}

void TZABaseArchiver::CreateNewArchive() {
  if (InMemory()) {
    FArchiveStream = std::make_unique<TZAMemoryStream>();
  } else {
    TZAVolumeNumberInfo info;
    info.SetFirst(true);
    RequestVolume(info);
  }
  if (!FDirHost) FDirHost.reset(new TZAArchiverDirHost(*this));
  FDirManager.reset(new TZADirManager(FArchiveStream.get(), *FDirHost, true));
  FDirectoryWritten = false;
  if (!SFXStub.empty()) WriteSfxStub();
}

void TZABaseArchiver::InternalOpen() {
  if (!FDirHost) FDirHost.reset(new TZAArchiverDirHost(*this));
  if (FFileOpenMode == ZAFileModeCreate || InMemory()) {
    CreateNewArchive();
  } else {
    // An existing archive: its last volume (or its self-extracting file) holds the directory.
    SetSpanningMode(smNone);
    FVolumeNumberInfo.Reset();
    if (IsExeFileName(FileName)) {
      OpenSfxArchive();
    } else {
      OpenLastVolume();
    }
    if (FDirManager->LocateEndOfCentralDir() || FOpenDamaged) {
      FDirManager->LoadCentralDirectory();
    } else {
      FArchiveStream.reset();
      throw EZAException(zaerr::ArchiveDamaged, this);
    }
  }
  FOpen = true;
  DoAfterOpen();
}

void TZABaseArchiver::ReopenMemoryImage(std::unique_ptr<TZAStream> image) {
  if (!image) return;
  if (!FDirHost) FDirHost.reset(new TZAArchiverDirHost(*this));
  FArchiveStream = std::move(image);
  FDirManager.reset(new TZADirManager(FArchiveStream.get(), *FDirHost, false));
  FDirManager->LoadCentralDirectory();
  FOpen = true;
}

void TZABaseArchiver::OpenLastVolume() {
  TOpenDamagedKeeper keep(FOpenDamaged);
  FOpenDamaged = false;
  bool found = false;
  do {
    FDirManager.reset();
    FVolumeNumberInfo.Reset();
    TZAVolumeNumberInfo info;
    info.SetLast(true);
    info.VolumeKind = TZAVolumeKind::vkLast;
    if (!platform::FileExists(FileName) && IsRemovableDrive(FileName)) SetSpanningMode(smSpanning);
    RequestVolume(info);
    FDirManager.reset(new TZADirManager(FArchiveStream.get(), *FDirHost, false));
    found = FDirManager->LocateEndOfCentralDir();
    DetectSpanningMode();
  } while (!found && SpanningMode() != smNone);
}

void TZABaseArchiver::OpenSfxArchive() {
  TOpenDamagedKeeper keep(FOpenDamaged);
  TZAVolumeNumberInfo info;
  info.SetLast(true);
  info.VolumeKind = TZAVolumeKind::vkLast;
  RequestVolume(info);
  FDirManager.reset(new TZADirManager(FArchiveStream.get(), *FDirHost, false));
  FOpenDamaged = false;
  if (FDirManager->LocateEndOfCentralDir()) {
    DetectSpanningMode();
    return;
  }
  // Perhaps the first volume of a split self-extracting set, whose last volume is P + B + ".ZIP".
  SetSpanningMode(smSplitting);
  std::string last = FileName;
  MakeVolumeFileName(last, -1, false);
  if (FileExistsNoCase(last)) {
    FVolumeNumberInfo.Reset();
    TZAVolumeNumberInfo lastInfo;
    lastInfo.SetLast(true);
    lastInfo.VolumeKind = TZAVolumeKind::vkLast;
    RequestVolume(lastInfo);
  }
  SetSpanningMode(smNone);
  bool found = false;
  do {
    FDirManager.reset(new TZADirManager(FArchiveStream.get(), *FDirHost, false));
    found = FDirManager->LocateEndOfCentralDir();
    DetectSpanningMode();
  } while (!found && SpanningMode() != smNone);
}

void TZABaseArchiver::DetectSpanningMode() {
  const TEndRecord& end = FDirManager->EndRecord;
  // No end record found: a removable drive may hold one volume of a spanned set.
  if (end.Signature == 0) {
    SetSpanningMode(IsRemovableDrive(FileName) ? smSpanning : smNone);
    return;
  }
  const int d = end.DiskNumber == 0xFFFF ? 0 : end.DiskNumber;
  // The end record on the first volume: a single file.
  if (d == 0) {
    SetSpanningMode(smNone);
    return;
  }
  // A later volume: the volume before the last on disk tells a split set and its naming; without
  // it the set is spanned (or a self-extracting file that merely says so).
  SetSpanningMode(smSplitting);
  std::string probe = FileName;
  MakeVolumeFileName(probe, d - 1, false);
  if (FileExistsNoCase(probe)) return;
  SpanningOptions().AdvancedNaming = !SpanningOptions().AdvancedNaming;
  probe = FileName;
  MakeVolumeFileName(probe, d - 1, false);
  if (FileExistsNoCase(probe)) return;
  SpanningOptions().AdvancedNaming = !SpanningOptions().AdvancedNaming;
  std::string lower = FileName;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.find(".exe") != std::string::npos) {
    SetSpanningMode(smNone);
  } else {
    SetSpanningMode(smSpanning);  // d > 0 here
  }
}

void TZABaseArchiver::DoAfterOpen() {
  if (AfterOpen) AfterOpen(this);
}

}  // namespace zip
