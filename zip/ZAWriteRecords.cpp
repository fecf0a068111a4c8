#include "ZAWriteRecords.h"

#include <cstring>
#include <optional>

#include "ZAUnicode.h"

namespace zip {

void TZAByteWriter::U16(std::uint16_t v) {
  FBytes.push_back(static_cast<std::uint8_t>(v));
  FBytes.push_back(static_cast<std::uint8_t>(v >> 8));
}

void TZAByteWriter::U32(std::uint32_t v) {
  U16(static_cast<std::uint16_t>(v));
  U16(static_cast<std::uint16_t>(v >> 16));
}

void TZAByteWriter::U64(std::uint64_t v) {
  U32(static_cast<std::uint32_t>(v));
  U32(static_cast<std::uint32_t>(v >> 32));
}

void TZAByteWriter::Bytes(const void* data, std::size_t count) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  FBytes.insert(FBytes.end(), p, p + count);
}

void PutLocalHeader(TZAByteWriter& out, const TLocalHeader& h) {
  out.U32(h.Signature);
  out.U16(h.VersionNeeded);
  out.U16(h.Flags);
  out.U16(h.Method);
  out.U16(h.ModTime);
  out.U16(h.ModDate);
  out.U32(h.Crc32);
  out.U32(h.CompressedSize);
  out.U32(h.UncompressedSize);
  out.U16(h.NameLength);
  out.U16(h.ExtraLength);
}

void PutEndRecord(TZAByteWriter& out, const TEndRecord& r) {
  out.U32(r.Signature);
  out.U16(r.DiskNumber);
  out.U16(r.StartDisk);
  out.U16(r.EntriesOnDisk);
  out.U16(r.TotalEntries);
  out.U32(r.DirectorySize);
  out.U32(r.DirectoryOffset);
  out.U16(r.CommentLength);
}

void PutZip64EndRecord(TZAByteWriter& out, const TZip64EndRecord& r) {
  out.U32(r.Signature);
  out.U64(r.RecordSize);
  out.U16(r.VersionMadeBy);
  out.U16(r.VersionNeeded);
  out.U32(r.DiskNumber);
  out.U32(r.StartDisk);
  out.U64(r.EntriesOnDisk);
  out.U64(r.TotalEntries);
  out.U64(r.DirectorySize);
  out.U64(r.DirectoryOffset);
}

void PutZip64Locator(TZAByteWriter& out, const TZip64Locator& l) {
  out.U32(l.Signature);
  out.U32(l.EndRecordDisk);
  out.U64(l.EndRecordOffset);
  out.U32(l.TotalDisks);
}

void PatchU16(std::uint8_t* record, std::size_t offset, std::uint16_t v) {
  record[offset] = static_cast<std::uint8_t>(v);
  record[offset + 1] = static_cast<std::uint8_t>(v >> 8);
}

void PatchU32(std::uint8_t* record, std::size_t offset, std::uint32_t v) {
  PatchU16(record, offset, static_cast<std::uint16_t>(v));
  PatchU16(record, offset + 2, static_cast<std::uint16_t>(v >> 16));
}

namespace {

bool IsAscii(const std::string& s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

bool KeepsStoredName(const TDirItem& item) { return !item.IsNew && !item.StoredName.empty(); }

TZAStoredName EncodeStoredName(const TDirItem& item, bool oemFileNames) {
  if (KeepsStoredName(item)) return {item.StoredName, (item.Flags & FlagUtf8) != 0};
  std::string name = item.Name;
  for (char& c : name)
    if (c == '\\') c = '/';
  if (IsAscii(name)) return {name, false};
  // Readers take the OEM code page only from a DOS or Windows host; an entry marked as made on
  // Unix (it carries a mode) has its names read as the file system's bytes, so it goes as UTF-8.
  if (oemFileNames && HostOf(item) != HostUnix) {
    if (std::optional<std::string> oem = Utf8ToOem(name)) return {*std::move(oem), false};
  }
  // A name that is not UTF-8 (a file system name in another encoding) goes as its bytes, unmarked.
  return {name, IsWellFormedUtf8(name)};
}

std::size_t Zip64ExtraSizeOf(const TDirItem& item) {
  std::size_t n = 0;
  if (item.UncompressedSize == Escape32) n += 8;
  if (item.CompressedSize == Escape32) n += 8;
  if (item.LocalHeaderOffset == Escape32) n += 8;
  if (item.DiskNumberStart == Escape16) n += 4;
  return n == 0 ? 0 : n + 4;
}

std::vector<std::uint8_t> CentralExtraArea(const TDirItem& item) {
  TZAByteWriter out;
  if (const std::size_t size = Zip64ExtraSizeOf(item)) {
    out.U16(Zip64ExtraTag);
    out.U16(static_cast<std::uint16_t>(size - 4));
    if (item.UncompressedSize == Escape32) out.U64(item.UncompressedSize64);
    if (item.CompressedSize == Escape32) out.U64(item.CompressedSize64);
    if (item.LocalHeaderOffset == Escape32) out.U64(item.LocalHeaderOffset64);
    if (item.DiskNumberStart == Escape16) out.U32(item.DiskNumberStart64);
  }
  for (const TExtraField& field : item.ExtraFields) {
    if (field.Tag == Zip64ExtraTag) continue;
    out.U16(field.Tag);
    out.U16(static_cast<std::uint16_t>(field.Data.size()));
    out.Bytes(field.Data.data(), field.Data.size());
  }
  return std::move(out.Data());
}

}  // namespace zip
