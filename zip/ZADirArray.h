#pragma once
// The in-memory central directory: one TDirItem per archive entry, in stored order.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ZATypes.h"

namespace zip {

class TZAStream;

// One extra field block. Its bytes belong to the record that holds it; copies are independent.
struct TExtraField {
  std::uint16_t Tag = 0;
  std::uint16_t Size = 0;
  std::vector<std::uint8_t> Data;  // exactly Size bytes

  // Bounds-checked little-endian reads inside Data: nullopt when the value does not fit.
  std::optional<std::uint16_t> ReadU16(std::size_t offset) const;
  std::optional<std::uint32_t> ReadU32(std::size_t offset) const;
  std::optional<std::uint64_t> ReadU64(std::size_t offset) const;
};

// Splits a stored extra field area into blocks (tag, size, data). A block whose size runs past
// the end of the area ends the list: nothing outside the area is ever read. ok tells whether the
// whole area was well formed.
std::vector<TExtraField> ParseExtraFields(std::span<const std::uint8_t> area, bool* ok = nullptr);
// The stored form of the blocks, back to back.
std::vector<std::uint8_t> SerializeExtraFields(const std::vector<TExtraField>& fields);
// Removes the blocks that hold an entry's times (extended timestamp 0x5455, NTFS 0x000A, Info-ZIP
// Unix 0x5855): they describe the old data of an entry whose data is replaced.
void DropTimeExtraFields(std::vector<TExtraField>& fields);

inline constexpr std::uint32_t CentralHeaderSignature = 0x02014B50u;
inline constexpr std::uint32_t OwnCentralHeaderSignature = 0x03025C61u;
inline constexpr std::size_t CentralHeaderSize = 46;

struct TDirItem {
  // The 46-byte central directory file header, field by field.
  std::uint32_t Signature = 0;
  std::uint16_t VersionMadeBy = 0;
  std::uint16_t VersionNeeded = 0;
  std::uint16_t Flags = 0;
  std::uint16_t Method = 0;
  std::uint16_t ModTime = 0;
  std::uint16_t ModDate = 0;
  std::uint32_t Crc32 = 0;
  std::uint32_t CompressedSize = 0;
  std::uint32_t UncompressedSize = 0;
  std::uint16_t NameLength = 0;
  std::uint16_t ExtraLength = 0;
  std::uint16_t CommentLength = 0;
  std::uint16_t DiskNumberStart = 0;
  std::uint16_t InternalAttributes = 0;
  std::uint32_t ExternalAttributes = 0;
  std::uint32_t LocalHeaderOffset = 0;

  // The item's real name in UTF-8, every character of it, decoded once from the stored bytes:
  // what masks, events and look-ups see and the path it is extracted to.
  std::string Name;
  // The name's bytes exactly as the central header stores them: written back unchanged for an
  // entry that is not renamed, so the local and central names always agree.
  std::string StoredName;
  std::string Name2;  // set by neither the loader nor the update path; copied with the record
  std::string Comment;
  std::vector<TExtraField> ExtraFields;
  bool HasZip64Extra = false;
  std::uint64_t UncompressedSize64 = 0;
  std::uint64_t CompressedSize64 = 0;
  std::uint64_t LocalHeaderOffset64 = 0;
  std::uint32_t DiskNumberStart64 = 0;
  bool IsNew = false;
  std::string Password;
  // A stream the entry's new data comes from instead of a disk file. When OwnsSourceStream is
  // false the stream belongs to someone else, who keeps a reference of their own.
  std::shared_ptr<TZAStream> SourceStream;
  bool OwnsSourceStream = false;
  std::int64_t SourceStreamStart = 0;
  bool Selected = false;
  std::string SourceFileName;
  // The source's path as the file system spells it (UTF-8); empty: SourceFileName converted.
  std::string SourcePath;
  std::uint8_t CompressionMode = 0;
  std::uint8_t Operation = 0;  // a TZAProcessOperation
  // The entry of the backup directory whose stored data this entry stands for (-1: none, a new
  // entry): a commit copies that entry's data, never another of the same name.
  std::int32_t StoredIndex = -1;

  // Fills the seventeen header fields from 46 stored bytes; false (nothing changed) when
  // fewer than 46 bytes are given.
  bool LoadCentralHeader(std::span<const std::uint8_t> bytes);
  // The seventeen header fields in their stored form.
  std::array<std::uint8_t, CentralHeaderSize> StoreCentralHeader() const;

  // Sizes, offset and volume: the 64-bit value where the 32-bit field holds the escape value.
  std::uint64_t GetUncompressedSize() const;
  std::uint64_t GetCompressedSize() const;
  std::uint64_t GetLocalHeaderOffset() const;
  std::uint32_t GetDiskNumberStart() const;
  bool IsEncrypted() const { return (Flags & 1) != 0; }
  bool IsDirectory() const { return (ExternalAttributes & faDirectory) != 0; }
};

class TZADirArray {
 public:
  TZADirArray() = default;
  TZADirArray(const TZADirArray&) = delete;
  TZADirArray& operator=(const TZADirArray&) = delete;
  ~TZADirArray();

  std::int32_t GetCount() const { return FCount; }
  std::int32_t Capacity() const { return FCapacity; }
  std::int32_t GrowStep() const { return FGrowStep; }
  std::int32_t MaxGrowStep() const { return FMaxGrowStep; }

  // Code 2 outside 0..Count-1.
  void GetItem(std::int32_t index, TDirItem& out) const;
  TDirItem GetItem(std::int32_t index) const;
  // Code 3 outside 0..Count-1.
  TDirItem& ItemRef(std::int32_t index);
  const TDirItem& ItemRef(std::int32_t index) const;
  // Code 1 outside 0..Count-1; the slot gets its own copy of the extra fields.
  void SetItem(std::int32_t index, const TDirItem& item);
  void SetCount(std::int32_t count);
  void Clear();
  void CopyFrom(const TZADirArray& source);
  // Code 4 outside 0..Count-1.
  void RemoveItem(std::int32_t index);
  void ClearSelection();

 private:
  void CheckIndex(std::int32_t index, int code) const;

  std::vector<TDirItem> FItems;  // its size is the capacity
  std::int32_t FGrowStep = 500;
  std::int32_t FMaxGrowStep = 10000;
  std::int32_t FCapacity = 0;
  std::int32_t FCount = 0;
};

}  // namespace zip
