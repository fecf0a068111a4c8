#pragma once
// On-disk records of the zip format as the engine reads them, little-endian throughout.
// Every parser takes a byte span and reads nothing outside it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "ZADirArray.h"

namespace zip {

// Signatures of the zip format and of the engine's second ("own") format.
inline constexpr std::uint32_t sigLocalHeader = 0x04034B50;
inline constexpr std::uint32_t sigCentralHeader = 0x02014B50;
inline constexpr std::uint32_t sigEndRecord = 0x06054B50;
inline constexpr std::uint32_t sigDataDescriptor = 0x08074B50;
inline constexpr std::uint32_t sigZip64EndRecord = 0x06064B50;
inline constexpr std::uint32_t sigZip64Locator = 0x07064B50;
inline constexpr std::uint32_t sigOwnLocalHeader = 0x05045C61;
inline constexpr std::uint32_t sigOwnCentralHeader = 0x03025C61;
inline constexpr std::uint32_t sigOwnEndRecord = 0x06054141;

inline constexpr std::size_t LocalHeaderSize = 30;
inline constexpr std::size_t EndRecordSize = 22;
inline constexpr std::size_t DataDescriptorSize = 16;
inline constexpr std::size_t Zip64LocatorSize = 20;
inline constexpr std::size_t Zip64EndRecordSize = 56;
inline constexpr std::uint16_t Zip64ExtraTag = 0x0001;

inline std::uint16_t GetU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t GetU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t GetU64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(GetU32(p)) | (static_cast<std::uint64_t>(GetU32(p + 4)) << 32);
}

struct TLocalHeader {
  std::uint32_t Signature = 0;
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
};

struct TEndRecord {
  std::uint32_t Signature = 0;
  std::uint16_t DiskNumber = 0;
  std::uint16_t StartDisk = 0;
  std::uint16_t EntriesOnDisk = 0;
  std::uint16_t TotalEntries = 0;
  std::uint32_t DirectorySize = 0;
  std::uint32_t DirectoryOffset = 0;
  std::uint16_t CommentLength = 0;
};

struct TZip64Locator {
  std::uint32_t Signature = 0;
  std::uint32_t EndRecordDisk = 0;
  std::uint64_t EndRecordOffset = 0;
  std::uint32_t TotalDisks = 0;
};

struct TZip64EndRecord {
  std::uint32_t Signature = 0;
  std::uint64_t RecordSize = 0;
  std::uint16_t VersionMadeBy = 0;
  std::uint16_t VersionNeeded = 0;
  std::uint32_t DiskNumber = 0;
  std::uint32_t StartDisk = 0;
  std::uint64_t EntriesOnDisk = 0;
  std::uint64_t TotalEntries = 0;
  std::uint64_t DirectorySize = 0;
  std::uint64_t DirectoryOffset = 0;
};

struct TDataDescriptor {
  std::uint32_t Signature = 0;
  std::uint32_t Crc32 = 0;
  std::uint32_t CompressedSize = 0;
  std::uint32_t UncompressedSize = 0;
};

// Each parser returns false (and leaves the record as it was) when the span is too short.
bool ParseLocalHeader(std::span<const std::uint8_t> bytes, TLocalHeader& out);
bool ParseEndRecord(std::span<const std::uint8_t> bytes, TEndRecord& out);
bool ParseZip64Locator(std::span<const std::uint8_t> bytes, TZip64Locator& out);
bool ParseZip64EndRecord(std::span<const std::uint8_t> bytes, TZip64EndRecord& out);
bool ParseDataDescriptor(std::span<const std::uint8_t> bytes, TDataDescriptor& out);

// Values of a Zip64 extended information block (tag 1): each is taken only when the matching
// 32-bit (16-bit for the disk) field of the central header holds its escape value and the block
// still has room for it.
struct TZip64Values {
  bool HasUncompressed = false, HasCompressed = false, HasOffset = false, HasDisk = false;
  std::uint64_t UncompressedSize = 0;
  std::uint64_t CompressedSize = 0;
  std::uint64_t LocalHeaderOffset = 0;
  std::uint32_t DiskNumberStart = 0;
};
TZip64Values ParseZip64Extra(std::span<const std::uint8_t> block, const TDirItem& header);

// One extra field block as it lies in the stored extra field.
struct TExtraBlockView {
  std::uint16_t Tag = 0;
  std::span<const std::uint8_t> Data;
};
// Splits an extra field into its blocks; a block whose stated size runs past the end is cut to what
// remains, and a trailing piece shorter than a block header is dropped. Calls f(block) for each.
template <typename F>
void ForEachExtraBlock(std::span<const std::uint8_t> extra, F&& f) {
  std::size_t pos = 0;
  while (pos + 4 <= extra.size()) {
    const std::uint16_t tag = GetU16(extra.data() + pos);
    std::size_t size = GetU16(extra.data() + pos + 2);
    pos += 4;
    size = std::min(size, extra.size() - pos);
    f(TExtraBlockView{tag, extra.subspan(pos, size)});
    pos += size;
  }
}

}  // namespace zip
