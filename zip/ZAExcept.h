#pragma once
// EZAException: every failure the engine detects itself. Its message is the table text,
// prefixed with the component's name when there is one, followed by " - Native error: "
// and the five-digit code.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

#include "forms/sysutils.h"

namespace zip {

class TZABaseArchiver;

// One argument of a message format: a %s or a %d.
using TZAFormatArg = std::variant<std::string, std::int64_t>;

// The framework's Format over the engine's needs: %s, %d (with an optional width, e.g. %5d) and %%.
// A directive without an argument, or of the wrong kind, is left as it stands.
std::string ZAFormat(std::string_view format, std::initializer_list<TZAFormatArg> args);

// The codes the engine raises (see ZAConst for the table that maps them to texts).
namespace zaerr {
inline constexpr int DirArraySetItem = 1;
inline constexpr int DirArrayGetItem = 2;
inline constexpr int DirArrayItemRef = 3;
inline constexpr int DirArrayRemoveItem = 4;
inline constexpr int InvalidCompressionMode = 5;
inline constexpr int CopyItemNotFound = 7;
inline constexpr int ItemDataCorrupt = 8;
inline constexpr int BlankFileNameAuto = 9;
inline constexpr int BlankFileName = 10;
inline constexpr int ArchiveFileNotFound = 12;
inline constexpr int ArchiveNotOpen = 13;
inline constexpr int ExtractIndexOutOfBounds = 16;
inline constexpr int CannotCreateFile = 19;
inline constexpr int CannotCreateDirectory = 20;
inline constexpr int DeleteIndexOutOfBounds = 21;
inline constexpr int DeleteOutsideUpdate = 22;
inline constexpr int ChangeIndexOutOfBounds = 24;
inline constexpr int ChangeOutsideUpdate = 25;
inline constexpr int NotAllowedInUpdate = 26;
inline constexpr int CannotDeleteFile = 27;
inline constexpr int InMemoryCreateOnly = 28;
inline constexpr int InMemoryBlankFileName = 29;
inline constexpr int CannotOpenSourceFile = 33;
inline constexpr int CompressedSizeMismatch = 34;
inline constexpr int NoLocalHeaderFound = 35;
inline constexpr int Zip64EndRecordMissing = 40;
inline constexpr int Zip64DisabledCompress = 41;
inline constexpr int Zip64DisabledCommit = 43;
inline constexpr int NoEndRecordSpanning = 44;
inline constexpr int VolumeRequestCancelled = 45;
inline constexpr int ShortWrite = 46;
inline constexpr int SfxStubTooLarge = 47;
inline constexpr int ArchiveDamaged = 48;
inline constexpr int Deflate64NotSupported = 55;
// Codes of the write path beyond the original table.
inline constexpr int RenameItemNotFound = 18;
inline constexpr int ReadOnlyArchive = 32;
inline constexpr int MultiVolumeModification = 52;
inline constexpr int FieldTooLong = 70;
inline constexpr int SplitNeedsVolumeSize = 71;
inline constexpr int RenameFailed = 72;
inline constexpr int CannotCreateTempFile = 73;
inline constexpr int RenameTargetExists = 74;
inline constexpr int ArchiveReplaced = 75;
// Another commit on the same archive held it for longer than a commit waits.
inline constexpr int ArchiveBusy = 76;
// Adding: a disk file's name holds a "\", which would read as a folder separator.
inline constexpr int BackslashInName = 77;
// Extracting: a link whose target, followed on disk, leads outside the target folder.
inline constexpr int LinkLeadsOutside = 79;
// Damaged archives: an item whose bytes are also another's, an item cut short, a commit refused on
// an archive that does not hold together, a run over a directory that cannot be trusted whole.
inline constexpr int OverlappingItemData = 80;
inline constexpr int ItemDataIncomplete = 81;
inline constexpr int DamagedArchiveNotUpdated = 82;
inline constexpr int ArchiveDirectoryDamaged = 83;
// The system refused a write (a full disk, a file size limit, an I/O error): of an item's data while
// extracting, of the archive itself while committing (the whole commit is rolled back).
inline constexpr int WriteRefused = 84;
}  // namespace zaerr

class EZAException : public forms::Exception {
 public:
  // The table text unchanged (a placeholder in it stays in the message).
  EZAException(int code, const TZABaseArchiver* archiver = nullptr);
  // The table text formatted with the arguments.
  EZAException(int code, const TZABaseArchiver* archiver, std::initializer_list<TZAFormatArg> args);

  std::int32_t ErrorCode = 0;    // index of the message text; -1 for the codes without one
  std::int32_t NativeError = 0;  // the code the raising operation passed

  const std::string& Message() const { return FMessage; }

  // The message index of a code as the code table gives it (0 for codes outside the table).
  static std::int32_t MessageIndexOf(int code);
  // The message of a code as the exception builds it, for a component name (empty: no prefix).
  static std::string BuildMessage(int code, std::string_view componentName);
  static std::string BuildMessage(int code, std::string_view componentName,
                                  std::initializer_list<TZAFormatArg> args);

 private:
  EZAException(int code, std::string message);
  std::string FMessage;
};

}  // namespace zip
