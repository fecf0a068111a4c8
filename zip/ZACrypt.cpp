#include "ZACrypt.h"

#include <zlib.h>

#include <limits>

namespace zip {

const std::uint32_t* Crc32Table() {
  static_assert(sizeof(z_crc_t) == sizeof(std::uint32_t));
  return reinterpret_cast<const std::uint32_t*>(get_crc_table());
}

std::uint32_t UpdateCrc32(std::uint32_t crc, const void* buffer, std::int64_t length) {
  if (buffer == nullptr || length <= 0) return crc;
  // zlib complements on entry and exit; undo both so the caller keeps the raw register.
  uLong c = ~crc & 0xFFFFFFFFu;
  auto p = static_cast<const Bytef*>(buffer);
  constexpr std::int64_t chunk = std::numeric_limits<uInt>::max() / 2;
  while (length > 0) {
    std::int64_t n = length < chunk ? length : chunk;
    c = crc32(c, p, static_cast<uInt>(n));
    p += n;
    length -= n;
  }
  return ~static_cast<std::uint32_t>(c);
}

void ZipCryptoInitKeys(std::string_view password, ZipCryptoKeys& keys) {
  keys.Key0 = 0x12345678u;
  keys.Key1 = 0x23456789u;
  keys.Key2 = 0x34567890u;
  for (char c : password) ZipCryptoUpdateKeys(static_cast<std::uint8_t>(c), keys);
}

void ZipCryptoEncryptRange(std::size_t count, std::size_t start, std::uint8_t* buffer,
                           ZipCryptoKeys& keys) {
  for (std::size_t i = start; i < start + count; ++i)
    buffer[i] = ZipCryptoEncryptByte(buffer[i], keys);
}

void ZipCryptoDecryptBuffer(std::uint8_t* buffer, std::size_t count, ZipCryptoKeys& keys) {
  for (std::size_t i = 0; i < count; ++i) {
    std::uint8_t p = static_cast<std::uint8_t>(buffer[i] ^ ZipCryptoDecryptByte(keys));
    ZipCryptoUpdateKeys(p, keys);
    buffer[i] = p;
  }
}

void ZipCryptoInitDecrypt(std::string_view password, ZipCryptoKeys& keys,
                          std::uint8_t header[ZipCryptoHeaderSize]) {
  ZipCryptoInitKeys(password, keys);
  ZipCryptoDecryptBuffer(header, ZipCryptoHeaderSize, keys);
}

bool TransformNameHook(std::uint8_t, std::uint8_t*, std::size_t, std::string_view) { return false; }
bool TransformBlockHook(std::uint8_t, std::uint8_t*, std::size_t, std::string_view) { return false; }

}  // namespace zip
