// The archiver's dispatchers: each fires its event when a handler is assigned, and otherwise
// gives the built-in answer or shows the built-in dialog.
#include "ZAConst.h"
#include "ZADialogs.h"
#include "ZAPlatform.h"
#include "ZAStrFunc.h"
#include "ZipArchiver.h"

namespace zip {

void TZABaseArchiver::DoOverallProgress(double Progress, TZAProcessOperation Operation,
                                        TZAProgressPhase ProgressPhase, bool& Cancel) {
  if (OnOverallProgress)
    OnOverallProgress(this, Progress, Operation, ProgressPhase, Cancel);
  else
    Cancel = false;
}

void TZABaseArchiver::DoFileProgress(const std::string& FileName, double Progress,
                                     TZAProcessOperation Operation, TZAProgressPhase ProgressPhase,
                                     bool& Cancel) {
  if (OnFileProgress)
    OnFileProgress(this, ToBackslashes(FileName), Progress, Operation, ProgressPhase, Cancel);
  else
    Cancel = false;
}

void TZABaseArchiver::DoCopyTempFileProgress(double Progress, TZAProgressPhase ProgressPhase,
                                             bool& Cancel) {
  Cancel = false;
  if (OnCopyTempFileProgress) OnCopyTempFileProgress(this, Progress, ProgressPhase, Cancel);
}

void TZABaseArchiver::DoConfirmOverwrite(const std::string& SourceFileName,
                                         std::string& DestFileName, bool& Confirm) {
  if (OnConfirmOverwrite) {
    OnConfirmOverwrite(this, SourceFileName, DestFileName, Confirm);
    return;
  }
  // The existing target first, the new source second.
  std::string text = ZAFormat(SConfirmOverwrite, {DestFileName, SourceFileName});
  TZADialogResult answer = ZAConfirmDlg(
      text, {TZAButton::Yes, TZAButton::No, TZAButton::NoToAll, TZAButton::YesToAll});
  Confirm = false;
  switch (answer) {
    case TZADialogResult::Yes:
      Confirm = true;
      break;
    case TZADialogResult::No:
      Confirm = false;
      break;
    case TZADialogResult::NoToAll:
      Confirm = false;
      Options().OverwriteMode = omNever;
      break;
    case TZADialogResult::YesToAll:
      Confirm = true;
      Options().OverwriteMode = omAlways;
      break;
    default:
      break;
  }
}

void TZABaseArchiver::DoConfirmProcessFile(const std::string& FileName,
                                           TZAProcessOperation Operation, bool& Confirm) {
  Confirm = true;
  if (OnConfirmProcessFile) OnConfirmProcessFile(this, FileName, Operation, Confirm);
}

void TZABaseArchiver::DoPassword(const std::string& FileName, std::string& NewPassword,
                                 bool& SkipFile) {
  if (OnPassword) {
    OnPassword(this, FileName, NewPassword, SkipFile);
    return;
  }
  std::string caption = ZAFormat(SPasswordTitle, {FileName});
  // The box opens with the current password; OK stores the typed text, Cancel leaves it.
  SkipFile = !ZAInputQuery(caption, SPasswordPrompt, NewPassword);
}

void TZABaseArchiver::DoProcessFileFailure(const std::string& FileName,
                                           TZAProcessOperation Operation, int NativeError,
                                           int ErrorCode, const std::string& ErrorMessage,
                                           TZAAction& Action) {
  Action = fxaIgnore;
  if (OnProcessFileFailure) {
    OnProcessFileFailure(this, FileName, Operation, NativeError, ErrorCode, ErrorMessage, Action);
    return;
  }
  std::string text = ZAFormat(SProcessFileFailure, {ErrorMessage});
  switch (ZAConfirmDlg(text, {TZAButton::Abort, TZAButton::Retry, TZAButton::Ignore})) {
    case TZADialogResult::Retry:
      Action = fxaRetry;
      break;
    case TZADialogResult::Ignore:
      Action = fxaIgnore;
      break;
    default:  // Abort, or the box closed
      Action = fxaAbort;
      break;
  }
}

void TZABaseArchiver::DoRequestBlankVolume(int VolumeNumber, std::string& VolumeFileName,
                                           bool& Cancel) {
  if (VolumeNumber < 0) VolumeNumber = 0;
  MakeVolumeFileName(VolumeFileName, VolumeNumber, false);
  Cancel = false;
  if (OnRequestBlankVolume) {
    OnRequestBlankVolume(this, VolumeNumber + 1, VolumeFileName, Cancel);
  } else if (SpanningMode() == smSpanning) {
    std::string text = ZAFormat(SRequestBlankDisk, {std::int64_t{VolumeNumber} + 1});
    Cancel = ZAConfirmDlg(text, {TZAButton::OK, TZAButton::Cancel}) != TZADialogResult::OK;
  }
}

void TZABaseArchiver::DoRequestFirstVolume(std::string& VolumeFileName, bool& Cancel) {
  const std::string incoming = VolumeFileName;
  MakeVolumeFileName(VolumeFileName, 0, !OnRequestFirstVolume);
  Cancel = false;
  if (OnRequestFirstVolume) {
    OnRequestFirstVolume(this, VolumeFileName, Cancel);
  } else if (SpanningMode() == smSpanning) {
    Cancel = ZAConfirmDlg(SRequestFirstDisk, {TZAButton::OK, TZAButton::Cancel}) !=
             TZADialogResult::OK;
    // The disk is in the drive by now: the alternative name may exist.
    VolumeFileName = incoming;
    MakeVolumeFileName(VolumeFileName, 0, true);
  } else {
    Cancel = !platform::FileExists(VolumeFileName) && FFileOpenMode != ZAFileModeCreate;
  }
}

void TZABaseArchiver::DoRequestLastVolume(std::string& VolumeFileName, bool& Cancel) {
  MakeVolumeFileName(VolumeFileName, -1, true);
  Cancel = false;
  if (OnRequestLastVolume) {
    OnRequestLastVolume(this, VolumeFileName, Cancel);
  } else if (SpanningMode() == smSpanning) {
    bool firstPass = true;
    for (;;) {
      std::string text = firstPass ? std::string(SRequestLastDisk)
                                   : ZAFormat(SFileNotFoundOnDisk, {VolumeFileName});
      firstPass = false;
      Cancel = ZAConfirmDlg(text, {TZAButton::OK, TZAButton::Cancel}) != TZADialogResult::OK;
      bool exists = platform::FileExists(VolumeFileName);
      if (Cancel || exists) break;
    }
  } else {
    Cancel = !platform::FileExists(VolumeFileName);
  }
}

void TZABaseArchiver::DoRequestMiddleVolume(int VolumeNumber, std::string& VolumeFileName,
                                            bool& Cancel) {
  const std::string incoming = VolumeFileName;
  MakeVolumeFileName(VolumeFileName, VolumeNumber, !OnRequestMiddleVolume);
  Cancel = false;
  if (OnRequestMiddleVolume) {
    OnRequestMiddleVolume(this, VolumeNumber + 1, VolumeFileName, Cancel);
    return;
  }
  if (SpanningMode() == smSpanning) {
    std::string text = ZAFormat(SRequestMiddleDisk, {std::int64_t{VolumeNumber} + 1});
    Cancel = ZAConfirmDlg(text, {TZAButton::OK, TZAButton::Cancel}) != TZADialogResult::OK;
  } else {
    Cancel = !platform::FileExists(VolumeFileName);
  }
  VolumeFileName = incoming;
  MakeVolumeFileName(VolumeFileName, VolumeNumber, true);
}

void TZABaseArchiver::DoDiskFull(int VolumeNumber, const std::string& VolumeFileName,
                                 bool& Cancel) {
  Cancel = false;
  if (OnDiskFull) {
    OnDiskFull(this, VolumeNumber + 1, VolumeFileName, Cancel);
  } else if (SpanningMode() == smSpanning) {
    TZAVolumeNumberInfo info;
    info.SetNumber(VolumeNumber);
    std::int64_t required = SpanningOptions().GetVolumeSize(info);
    std::int64_t available = GetVolumeFreeSpace(VolumeFileName);
    std::string text = ZAFormat(SDiskFull, {required, available});
    Cancel = ZAConfirmDlg(text, {TZAButton::OK, TZAButton::Cancel}) != TZADialogResult::OK;
  } else {
    Cancel = true;
  }
}

void TZABaseArchiver::DoInternalEvent(std::uint8_t Kind, std::int32_t A, std::int32_t B,
                                      std::int32_t C) {
  if (FInternalEvent) FInternalEvent(this, Kind, A, B, C);
}

void TZABaseArchiver::DoStoreFile(std::string& FileName, std::uint32_t& FileAttr,
                                  std::string& Comment, const std::string& OriginalFileName) {
  if (!OnStoreFile) return;
  FileName = ToBackslashes(FileName);
  OnStoreFile(this, FileName, FileAttr, Comment, OriginalFileName);
  FileName = ToSlashes(FileName);
}

void TZABaseArchiver::DoExtractFile(std::string& FileName, std::uint32_t& FileAttr,
                                    const std::string& Comment) {
  FileName = ToBackslashes(FileName);
  if (OnExtractFile) OnExtractFile(this, FileName, FileAttr, Comment);
}

}  // namespace zip
