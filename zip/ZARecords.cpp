#include "ZARecords.h"

namespace zip {

bool ParseLocalHeader(std::span<const std::uint8_t> bytes, TLocalHeader& out) {
  if (bytes.size() < LocalHeaderSize) return false;
  const std::uint8_t* p = bytes.data();
  out.Signature = GetU32(p);
  out.VersionNeeded = GetU16(p + 4);
  out.Flags = GetU16(p + 6);
  out.Method = GetU16(p + 8);
  out.ModTime = GetU16(p + 10);
  out.ModDate = GetU16(p + 12);
  out.Crc32 = GetU32(p + 14);
  out.CompressedSize = GetU32(p + 18);
  out.UncompressedSize = GetU32(p + 22);
  out.NameLength = GetU16(p + 26);
  out.ExtraLength = GetU16(p + 28);
  return true;
}

bool ParseEndRecord(std::span<const std::uint8_t> bytes, TEndRecord& out) {
  if (bytes.size() < EndRecordSize) return false;
  const std::uint8_t* p = bytes.data();
  out.Signature = GetU32(p);
  out.DiskNumber = GetU16(p + 4);
  out.StartDisk = GetU16(p + 6);
  out.EntriesOnDisk = GetU16(p + 8);
  out.TotalEntries = GetU16(p + 10);
  out.DirectorySize = GetU32(p + 12);
  out.DirectoryOffset = GetU32(p + 16);
  out.CommentLength = GetU16(p + 20);
  return true;
}

bool ParseZip64Locator(std::span<const std::uint8_t> bytes, TZip64Locator& out) {
  if (bytes.size() < Zip64LocatorSize) return false;
  const std::uint8_t* p = bytes.data();
  out.Signature = GetU32(p);
  out.EndRecordDisk = GetU32(p + 4);
  out.EndRecordOffset = GetU64(p + 8);
  out.TotalDisks = GetU32(p + 16);
  return true;
}

bool ParseZip64EndRecord(std::span<const std::uint8_t> bytes, TZip64EndRecord& out) {
  if (bytes.size() < Zip64EndRecordSize) return false;
  const std::uint8_t* p = bytes.data();
  out.Signature = GetU32(p);
  out.RecordSize = GetU64(p + 4);
  out.VersionMadeBy = GetU16(p + 12);
  out.VersionNeeded = GetU16(p + 14);
  out.DiskNumber = GetU32(p + 16);
  out.StartDisk = GetU32(p + 20);
  out.EntriesOnDisk = GetU64(p + 24);
  out.TotalEntries = GetU64(p + 32);
  out.DirectorySize = GetU64(p + 40);
  out.DirectoryOffset = GetU64(p + 48);
  return true;
}

bool ParseDataDescriptor(std::span<const std::uint8_t> bytes, TDataDescriptor& out) {
  if (bytes.size() < DataDescriptorSize) return false;
  const std::uint8_t* p = bytes.data();
  out.Signature = GetU32(p);
  out.Crc32 = GetU32(p + 4);
  out.CompressedSize = GetU32(p + 8);
  out.UncompressedSize = GetU32(p + 12);
  return true;
}

TZip64Values ParseZip64Extra(std::span<const std::uint8_t> block, const TDirItem& header) {
  TZip64Values v;
  std::size_t offset = 0;
  const auto fits = [&](std::size_t width) { return offset < block.size() && block.size() - offset >= width; };
  if (header.UncompressedSize == 0xFFFFFFFFu && fits(8)) {
    v.UncompressedSize = GetU64(block.data() + offset);
    v.HasUncompressed = true;
    offset += 8;
  }
  if (header.CompressedSize == 0xFFFFFFFFu && fits(8)) {
    v.CompressedSize = GetU64(block.data() + offset);
    v.HasCompressed = true;
    offset += 8;
  }
  if (header.LocalHeaderOffset == 0xFFFFFFFFu && fits(8)) {
    v.LocalHeaderOffset = GetU64(block.data() + offset);
    v.HasOffset = true;
    offset += 8;
  }
  if (header.DiskNumberStart == 0xFFFFu && fits(4)) {
    v.DiskNumberStart = GetU32(block.data() + offset);
    v.HasDisk = true;
  }
  return v;
}

}  // namespace zip
