#pragma once
// Turning one archive item back into its plain bytes: local header, decryption, inflate through zlib
// or stored copy, reading across volume ends, length and CRC-32 checks. The data streams through
// fixed buffers: the memory used does not depend on the item's size.
#include <cstdint>
#include <functional>
#include <string>

#include "ZAStream.h"

namespace zip {

struct TZAItemDataRequest {
  std::uint16_t Flags = 0;
  std::uint16_t Method = 0;
  std::uint16_t VersionNeeded = 0;
  std::uint32_t Crc32 = 0;              // the directory entry's CRC-32
  std::uint64_t CompressedSize = 0;     // 64-bit values already resolved from the Zip64 fields
  std::uint64_t UncompressedSize = 0;
  std::uint32_t UncompressedSize32 = 0; // the 32-bit field, for the block format's last block
  // When not spanning: the data of an item never reaches into the central directory.
  bool LimitToDirectory = false;
  std::int64_t DirectoryStart = 0;
};

enum class TZAItemDataResult {
  Ok,
  Failed,       // bad data, size or CRC; unreadable source; short write
  Incomplete,   // the data would run past the end of the archive's data (a file cut short)
  Skipped,      // the password question was answered by skipping the item
  Cancelled,    // a progress answer stopped the item
  Deflate64,    // method 9: not supported
};

struct TZAItemDataHooks {
  // Called after each chunk with the compressed bytes consumed and the total; true cancels.
  std::function<bool(std::uint64_t consumed, std::uint64_t total)> Progress;
  // The password check failed: ask for another one (updating password); false skips the item.
  std::function<bool(std::string& password)> AskPassword;
  // The read reached the end of the current volume: returns the stream of the next volume,
  // positioned at its start, or nullptr when there is none. May throw (a cancelled request).
  std::function<TZAStream*()> NextVolume;
};

// Reads the item whose local header starts at source's position and writes its plain bytes to
// destination. password is the archiver's password; the question may replace it.
TZAItemDataResult ExtractItemData(TZAStream& source, TZAStream& destination, const TZAItemDataRequest& item,
                                  std::string& password, const TZAItemDataHooks& hooks);

}  // namespace zip
