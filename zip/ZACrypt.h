#pragma once
// CRC-32 of the zip format and the traditional PKWARE encryption.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zip {

// The standard table (reflected polynomial 0xEDB88320).
const std::uint32_t* Crc32Table();

// Updates Crc over length bytes, without the start and final complement: callers start at
// 0xFFFFFFFF and complement the final value. No buffer, or a length of 0 or less, returns Crc.
std::uint32_t UpdateCrc32(std::uint32_t crc, const void* buffer, std::int64_t length);
inline void AccumulateCrc32(const void* buffer, std::int64_t length, std::uint32_t& crc) {
  crc = UpdateCrc32(crc, buffer, length);
}
inline std::uint32_t Crc32Byte(std::uint8_t b, std::uint32_t crc) {
  return Crc32Table()[(crc ^ b) & 0xFF] ^ (crc >> 8);
}
// The CRC-32 of a whole block as the zip format stores it.
inline std::uint32_t Crc32Of(const void* buffer, std::int64_t length) {
  return ~UpdateCrc32(0xFFFFFFFFu, buffer, length);
}

struct ZipCryptoKeys {
  std::uint32_t Key0 = 0;
  std::uint32_t Key1 = 0;
  std::uint32_t Key2 = 0;
};

inline constexpr std::size_t ZipCryptoHeaderSize = 12;

// The password is taken byte by byte as the engine holds it (UTF-8, as unzip -P and 7-Zip take a
// password typed on a UTF-8 command line).
void ZipCryptoInitKeys(std::string_view password, ZipCryptoKeys& keys);
inline void ZipCryptoUpdateKeys(std::uint8_t c, ZipCryptoKeys& keys) {
  keys.Key0 = Crc32Byte(c, keys.Key0);
  keys.Key1 = (keys.Key1 + (keys.Key0 & 0xFF)) * 134775813u + 1;
  keys.Key2 = Crc32Byte(static_cast<std::uint8_t>(keys.Key1 >> 24), keys.Key2);
}
inline std::uint8_t ZipCryptoDecryptByte(const ZipCryptoKeys& keys) {
  std::uint32_t t = (keys.Key2 | 2) & 0xFFFF;
  return static_cast<std::uint8_t>((t * (t ^ 1)) >> 8);
}
inline std::uint8_t ZipCryptoEncryptByte(std::uint8_t plain, ZipCryptoKeys& keys) {
  std::uint8_t t = ZipCryptoDecryptByte(keys);
  ZipCryptoUpdateKeys(plain, keys);
  return static_cast<std::uint8_t>(plain ^ t);
}
// Encrypts buffer[start] .. buffer[start + count - 1] in place.
void ZipCryptoEncryptRange(std::size_t count, std::size_t start, std::uint8_t* buffer,
                           ZipCryptoKeys& keys);
// Decrypts count bytes in place.
void ZipCryptoDecryptBuffer(std::uint8_t* buffer, std::size_t count, ZipCryptoKeys& keys);
// Initialises the keys from the password and decrypts the 12-byte header in place.
void ZipCryptoInitDecrypt(std::string_view password, ZipCryptoKeys& keys,
                          std::uint8_t header[ZipCryptoHeaderSize]);

// Hooks of the engine's own block format. Both leave the buffer as it is and return false.
bool TransformNameHook(std::uint8_t mode, std::uint8_t* buffer, std::size_t length,
                       std::string_view key);
bool TransformBlockHook(std::uint8_t mode, std::uint8_t* buffer, std::size_t length,
                        std::string_view key);

}  // namespace zip
