#pragma once
// The archiver's events: one handler type per question or notice it puts to its user.
#include <cstdint>
#include <functional>
#include <string>

#include "ZAComponent.h"
#include "ZATypes.h"

namespace zip {

using TZAFileProgressEvent =
    std::function<void(TObject* Sender, const std::string& FileName, double Progress,
                       TZAProcessOperation Operation, TZAProgressPhase ProgressPhase, bool& Cancel)>;
using TZAProgressEvent =
    std::function<void(TObject* Sender, double Progress, TZAProcessOperation Operation,
                       TZAProgressPhase ProgressPhase, bool& Cancel)>;
using TZACopyTempFileProgressEvent =
    std::function<void(TObject* Sender, double Progress, TZAProgressPhase ProgressPhase, bool& Cancel)>;
using TZAConfirmOverwriteEvent =
    std::function<void(TObject* Sender, const std::string& SourceFileName, std::string& DestFileName,
                       bool& Confirm)>;
using TZAConfirmProcessFileEvent =
    std::function<void(TObject* Sender, const std::string& FileName, TZAProcessOperation Operation,
                       bool& Confirm)>;
using TZAOnPasswordEvent = std::function<void(TObject* Sender, const std::string& FileName,
                                              std::string& NewPassword, bool& SkipFile)>;
using TZAProcessFileFailureEvent =
    std::function<void(TObject* Sender, const std::string& FileName, TZAProcessOperation Operation,
                       int NativeError, int ErrorCode, const std::string& ErrorMessage,
                       TZAAction& Action)>;
using TZAOnRequestBlankVolumeEvent =
    std::function<void(TObject* Sender, int VolumeNumber, std::string& VolumeFileName, bool& Cancel)>;
using TZAOnRequestFirstVolumeEvent =
    std::function<void(TObject* Sender, std::string& VolumeFileName, bool& Cancel)>;
using TZAOnRequestLastVolumeEvent =
    std::function<void(TObject* Sender, std::string& VolumeFileName, bool& Cancel)>;
using TZAOnRequestMiddleVolumeEvent =
    std::function<void(TObject* Sender, int VolumeNumber, std::string& VolumeFileName, bool& Cancel)>;
using TZAOnDiskFullEvent = std::function<void(TObject* Sender, int VolumeNumber,
                                              const std::string& VolumeFileName, bool& Cancel)>;
using TZAOnStoreFileEvent =
    std::function<void(TObject* Sender, std::string& FileName, std::uint32_t& FileAttr,
                       std::string& Comment, const std::string& OriginalFileName)>;
using TZAOnExtractFileEvent = std::function<void(TObject* Sender, std::string& FileName,
                                                 std::uint32_t& FileAttr, const std::string& Comment)>;
using TZAInternalEvent = std::function<void(TObject* Sender, std::uint8_t Kind, std::int32_t A,
                                            std::int32_t B, std::int32_t C)>;

}  // namespace zip
