#pragma once
// Builds small zip archives byte by byte, for cases no peer tool writes (damaged fields, odd
// names, stubs, comments, escape values).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ziptest {

struct TBuildEntry {
  std::string Name;
  std::vector<std::uint8_t> Data;  // plain bytes
  bool Deflate = false;            // else stored
  std::uint16_t Flags = 0;
  std::uint16_t VersionMadeBy = (3 << 8) | 20;  // Unix
  std::uint32_t ExternalAttributes = 0100644u << 16;
  std::uint16_t ModTime = 0x6000, ModDate = 0x5221;  // 2021-01-01 12:00:00
  std::vector<std::uint8_t> CentralExtra;
  std::string Comment;
  // Overrides of what the central header states.
  std::optional<std::uint32_t> Crc32, CompressedSize, UncompressedSize, LocalHeaderOffset;
  std::optional<std::uint16_t> DiskNumberStart, Method, VersionNeeded, NameLength;
  // Raw bytes used as the stored data instead of the (compressed) Data.
  std::optional<std::vector<std::uint8_t>> RawData;
};

struct TBuildOptions {
  std::vector<std::uint8_t> Prefix;  // bytes in front of the first entry (a stub)
  bool OffsetsCountPrefix = true;    // offsets count from the start of the file
  std::string ArchiveComment;
  std::optional<std::uint16_t> DiskNumber, StartDisk, TotalEntries;
  std::optional<std::uint32_t> DirectorySize;
  bool Zip64 = false;                // Zip64 end record and locator in front of the end record
  std::vector<std::uint8_t> Trailer; // bytes after the end record
};

std::vector<std::uint8_t> BuildZip(const std::vector<TBuildEntry>& entries, const TBuildOptions& options = {});
std::uint32_t Crc32(const std::vector<std::uint8_t>& data);
std::vector<std::uint8_t> RawDeflate(const std::vector<std::uint8_t>& data);

}  // namespace ziptest
