#pragma once
// The zip records in the form the write path stores them, and the stored form of an item's name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ZADirArray.h"
#include "ZARecords.h"

namespace zip {

inline constexpr std::uint32_t Escape32 = 0xFFFFFFFFu;
inline constexpr std::uint16_t Escape16 = 0xFFFFu;
inline constexpr std::size_t MaxStoredNameLength = 999;
inline constexpr std::size_t MaxFieldLength = 0xFFFF;
inline constexpr std::uint16_t FlagEncrypted = 0x0001;
inline constexpr std::uint16_t FlagDataDescriptor = 0x0008;
inline constexpr std::uint16_t FlagUtf8 = 0x0800;
inline constexpr std::uint8_t HostUnix = 3;
inline constexpr std::uint16_t VersionZip64 = 45;

// Little-endian values appended to a byte vector.
class TZAByteWriter {
 public:
  void U8(std::uint8_t v) { FBytes.push_back(v); }
  void U16(std::uint16_t v);
  void U32(std::uint32_t v);
  void U64(std::uint64_t v);
  void Bytes(const void* data, std::size_t count);
  void Bytes(const std::string& s) { Bytes(s.data(), s.size()); }
  std::vector<std::uint8_t>& Data() { return FBytes; }
  std::size_t Size() const { return FBytes.size(); }

 private:
  std::vector<std::uint8_t> FBytes;
};

void PutLocalHeader(TZAByteWriter& out, const TLocalHeader& header);
void PutEndRecord(TZAByteWriter& out, const TEndRecord& record);
void PutZip64EndRecord(TZAByteWriter& out, const TZip64EndRecord& record);
void PutZip64Locator(TZAByteWriter& out, const TZip64Locator& locator);
// Rewrites the little-endian u16 / u32 at offset of a stored record.
void PatchU16(std::uint8_t* record, std::size_t offset, std::uint16_t v);
void PatchU32(std::uint8_t* record, std::size_t offset, std::uint32_t v);

// The bytes under which an item's name is stored and whether they are UTF-8 (flag bit 11). An
// item that keeps its stored name keeps its bytes; a new or renamed one is encoded from Name:
// plain ASCII as it stands; in the OEM code page when oemFileNames asks for it, every character
// has a byte there and the item does not come from a Unix host (whose names every reader takes
// as the file system's bytes); otherwise UTF-8, flagged.
struct TZAStoredName {
  std::string Bytes;
  bool Utf8 = false;
};
TZAStoredName EncodeStoredName(const TDirItem& item, bool oemFileNames);
bool KeepsStoredName(const TDirItem& item);
// The host byte of an item's "version made by".
inline std::uint8_t HostOf(const TDirItem& item) { return static_cast<std::uint8_t>(item.VersionMadeBy >> 8); }

// Size of the Zip64 block of an item's central header (0 when no field holds its escape value).
std::size_t Zip64ExtraSizeOf(const TDirItem& item);
// The extra field area of an item's central header: the Zip64 block, then every stored block
// but a Zip64 one.
std::vector<std::uint8_t> CentralExtraArea(const TDirItem& item);

}  // namespace zip
