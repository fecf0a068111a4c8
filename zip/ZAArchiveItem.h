#pragma once
// What a find hands to its caller, and what a processing run leaves for it to ask afterwards.
#include <cstdint>
#include <string>

namespace zip {

struct TInternalSearchRec {
  std::int32_t Index = 0;
  char Mask[260] = {};  // the find mask without its drive, "/" separated, NUL-terminated
  std::int32_t SearchAttr = 0;
  std::string ExclusionMask;
};

struct TZAArchiveItem {
  std::string FileName;          // file-name part of the stored name
  std::string StoredFolderName;  // folder part, "\" separated, with a trailing "\" (empty at the root)
  std::int64_t CompressedSize = 0;
  std::int64_t UncompressedSize = 0;
  double CompressionRate = 0.0;
  bool Encrypted = false;
  std::uint16_t LastModFileDate = 0;
  std::uint16_t LastModFileTime = 0;
  std::uint32_t CRC = 0;
  std::uint32_t ExternalFileAttributes = 0;
  std::string Comment;
  TInternalSearchRec InternalSearchRec;
};

// The outcome of the last processing run (ExtractFiles): per-item failures, the abort answer and
// a cancel stay visible to the caller after the run returns.
struct TZAProcessResult {
  std::int32_t Selected = 0;   // items the run was to process
  std::int32_t Processed = 0;  // items whose step ran to its end (skipped ones included)
  std::int32_t Failed = 0;     // items whose last attempt ended in a failure
  std::int32_t Skipped = 0;    // items left alone: not confirmed, not overwritten, password skipped
  bool Aborted = false;        // a failure was answered with Abort
  bool Cancelled = false;      // a progress answer cancelled the run
  // The last failure: the exception's code (NativeError) and message.
  std::int32_t LastErrorCode = 0;
  std::string LastErrorMessage;
  std::string LastFailedFile;

  bool Succeeded() const { return Failed == 0 && !Aborted && !Cancelled; }
};

}  // namespace zip
