#include "ZAItemData.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "ZACrypt.h"
#include "ZAInflate.h"
#include "ZARecords.h"

namespace zip {

namespace {

constexpr std::size_t ReadChunk = 0x100000;   // compressed bytes taken per step
constexpr std::size_t OutputChunk = 0x100000; // plain bytes produced per inflate call
constexpr std::size_t EncryptionHeaderSize = 12;
constexpr std::size_t ReadAheadData = 0x10000;  // item data read with its local header, at most
constexpr std::size_t ReadAheadNames = 512;     // room for the local header's name and extra field

// The compressed bytes of one item: reads continue on the next volume at a volume's end, and never
// take more than the item's compressed size. The first bytes come in one read: the local header,
// its name and extra field and, for a small item, its data.
class TItemSource {
 public:
  TItemSource(TZAStream& source, const TZAItemDataHooks& hooks) : FSource(&source), FHooks(hooks) {}

  // Reads up to count bytes of the current volume ahead, to be served by Read and Skip.
  void ReadAhead(std::size_t count) {
    FAhead.resize(count);
    FAhead.resize(FSource->Read(FAhead.data(), count));
    FAheadAt = 0;
  }

  // Reads exactly count bytes (across volumes); false when the data ends first.
  bool Read(std::uint8_t* buffer, std::size_t count) {
    std::size_t done = TakeAhead(buffer, count);
    while (done < count) {
      const std::size_t n = FSource->Read(buffer + done, count - done);
      done += n;
      if (done == count) break;
      if (n > 0) continue;
      if (!FHooks.NextVolume) return false;
      TZAStream* next = FHooks.NextVolume();
      if (next == nullptr) return false;
      FSource = next;
      FSource->Seek(0);
      // A volume that holds nothing at all cannot carry the rest of the item.
      const std::size_t m = FSource->Read(buffer + done, count - done);
      if (m == 0) return false;
      done += m;
    }
    return true;
  }

  bool Skip(std::uint64_t count) {
    count -= TakeAhead(nullptr, static_cast<std::size_t>(std::min<std::uint64_t>(count, AheadLeft())));
    std::uint8_t scratch[4096];
    while (count > 0) {
      // Skipping inside one volume is a seek; only a volume end needs the reading path.
      const std::int64_t left = FSource->Size() - FSource->Position();
      if (left > 0) {
        const std::uint64_t step = std::min<std::uint64_t>(count, static_cast<std::uint64_t>(left));
        FSource->Seek(FSource->Position() + static_cast<std::int64_t>(step));
        count -= step;
        continue;
      }
      const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(count, sizeof scratch));
      if (!Read(scratch, step)) return false;
      count -= step;
    }
    return true;
  }

  // The position in the current volume of the next byte Read gives.
  std::int64_t Position() const { return FSource->Position() - static_cast<std::int64_t>(AheadLeft()); }

 private:
  std::size_t AheadLeft() const { return FAhead.size() - FAheadAt; }
  // Takes up to count bytes from what was read ahead (into buffer unless it is null).
  std::size_t TakeAhead(std::uint8_t* buffer, std::size_t count) {
    const std::size_t n = std::min(count, AheadLeft());
    if (n > 0 && buffer != nullptr) std::memcpy(buffer, FAhead.data() + FAheadAt, n);
    FAheadAt += n;
    return n;
  }

  TZAStream* FSource;
  const TZAItemDataHooks& FHooks;
  std::vector<std::uint8_t> FAhead;
  std::size_t FAheadAt = 0;
};

// A byte buffer that is not zero-filled: every byte is written before it is read.
class TBuffer {
 public:
  explicit TBuffer(std::size_t size) : FData(size ? new std::uint8_t[size] : nullptr), FSize(size) {}
  std::uint8_t* data() { return FData.get(); }
  std::size_t size() const { return FSize; }

 private:
  std::unique_ptr<std::uint8_t[]> FData;
  std::size_t FSize;
};

bool WriteAll(TZAStream& destination, const std::uint8_t* data, std::size_t count) {
  return destination.Write(data, count) == count;
}

// The check byte of the encryption header: the high byte of the local time when the sizes follow
// in a data descriptor, else the high byte of the local CRC-32.
std::uint8_t PasswordCheckByte(const TLocalHeader& local) {
  if (local.Flags & 0x0008) return static_cast<std::uint8_t>(local.ModTime >> 8);
  return static_cast<std::uint8_t>(local.Crc32 >> 24);
}

// The stored and deflate path. Returns the result of the data step; written and crc report what
// reached the destination.
TZAItemDataResult DecompressItemData(TItemSource& in, TZAStream& destination, const TZAItemDataRequest& item,
                                     const TLocalHeader& local, std::uint64_t compressedSize, std::string& password,
                                     const TZAItemDataHooks& hooks, std::uint64_t& written, std::uint32_t& crc) {
  const bool encrypted = (item.Flags & 0x0001) != 0;
  ZipCryptoKeys keys{};
  if (encrypted) {
    // An encrypted item holds at least its 12-byte header.
    if (compressedSize < EncryptionHeaderSize) return TZAItemDataResult::Failed;
    compressedSize -= EncryptionHeaderSize;
    std::uint8_t stored[EncryptionHeaderSize];
    if (!in.Read(stored, sizeof stored)) return TZAItemDataResult::Failed;
    const std::uint8_t check = PasswordCheckByte(local);
    for (;;) {
      std::uint8_t header[EncryptionHeaderSize];
      std::memcpy(header, stored, sizeof header);
      ZipCryptoInitDecrypt(password, keys, header);
      if (header[EncryptionHeaderSize - 1] == check) break;
      if (!hooks.AskPassword || !hooks.AskPassword(password)) return TZAItemDataResult::Skipped;
    }
  }

  const bool stored = item.Method == 0;
  std::optional<TZARawInflater> inflater;
  if (!stored) inflater.emplace();
  // Buffers no larger than the item needs (small items are the common case), never above a chunk.
  TBuffer input(static_cast<std::size_t>(std::min<std::uint64_t>(ReadChunk, std::max<std::uint64_t>(compressedSize, 1))));
  TBuffer output(stored ? 0 : static_cast<std::size_t>(std::clamp<std::uint64_t>(item.UncompressedSize + 1, 4096, OutputChunk)));
  bool streamEnded = false;

  std::uint64_t consumed = 0;
  while (consumed < compressedSize) {
    if (hooks.Progress && hooks.Progress(consumed, compressedSize)) return TZAItemDataResult::Cancelled;
    const std::size_t t = static_cast<std::size_t>(std::min<std::uint64_t>(input.size(), compressedSize - consumed));
    if (!in.Read(input.data(), t)) return TZAItemDataResult::Failed;
    if (encrypted) ZipCryptoDecryptBuffer(input.data(), t, keys);
    consumed += t;

    if (stored) {
      crc = ZACrc32(crc, input.data(), t);
      if (!WriteAll(destination, input.data(), t)) return TZAItemDataResult::Failed;
      written += t;
      continue;
    }

    // Bytes after the end of the deflate data do not belong to a well-formed item.
    if (streamEnded) return TZAItemDataResult::Failed;
    const std::uint8_t* next = input.data();
    std::size_t left = t;
    // Go on while there is input, and while the inflater filled the whole output buffer: it may
    // still hold output.
    for (;;) {
      const TZAInflateStep step = inflater->Inflate(next, left, output.data(), output.size());
      if (step.Status == TZAInflateStatus::Error) return TZAItemDataResult::Failed;
      next += step.Consumed;
      left -= step.Consumed;
      if (step.Produced > 0) {
        crc = ZACrc32(crc, output.data(), step.Produced);
        if (!WriteAll(destination, output.data(), step.Produced)) return TZAItemDataResult::Failed;
        written += step.Produced;
        // More output than the entry promises is a damaged item; stop before filling the disk.
        if (written > item.UncompressedSize) return TZAItemDataResult::Failed;
      }
      if (step.Status == TZAInflateStatus::StreamEnd) {
        streamEnded = true;
        if (left > 0 || step.ReadAhead > 0) return TZAItemDataResult::Failed;
        break;
      }
      if (step.Consumed == 0 && step.Produced == 0) {
        if (left > 0) return TZAItemDataResult::Failed;  // input it cannot take: not deflate data
        break;  // all taken and all given out: the next input follows
      }
      if (left == 0 && step.Produced < output.size()) break;
    }
  }
  return TZAItemDataResult::Ok;
}

// The engine's own block format: a 50-byte header, then blocks of a 32-bit stored length and data.
// No writer of this format exists here; the reader takes nothing on trust.
TZAItemDataResult ExtractBlockData(TItemSource& in, TZAStream& destination, const TZAItemDataRequest& item,
                                   std::uint64_t compressedSize, const TZAItemDataHooks& hooks,
                                   std::uint64_t& written, std::uint32_t& crc) {
  constexpr std::size_t BlockHeaderSize = 50;
  if (compressedSize < BlockHeaderSize) return TZAItemDataResult::Failed;
  std::uint8_t header[BlockHeaderSize];
  if (!in.Read(header, sizeof header)) return TZAItemDataResult::Failed;
  std::uint64_t consumed = BlockHeaderSize;
  const std::uint32_t blockSize = GetU32(header + 0);
  const std::uint32_t totalPlain = GetU32(header + 8);
  const std::uint32_t blockCount = GetU32(header + 16);
  const bool noInflate = header[20] != 0;
  const bool compressed = header[21] != 0;
  const bool encrypted = GetU16(header + 22) != 0xFFFF;
  if (encrypted) {
    // The transform of this format leaves the check bytes as they are, so no password can make a
    // mismatching check agree: such an item fails instead of asking for ever.
    const std::uint32_t check = static_cast<std::uint32_t>(::crc32(0, header + 28, 16));
    if (check != GetU32(header + 24)) return TZAItemDataResult::Failed;
  }
  const std::uint64_t expectedTotal = item.UncompressedSize32 == 0xFFFFFFFFu ? item.UncompressedSize : totalPlain;

  std::vector<std::uint8_t> input;
  TBuffer output(OutputChunk);
  for (std::uint32_t block = 0; block < blockCount; ++block) {
    if (hooks.Progress && hooks.Progress(consumed, compressedSize)) return TZAItemDataResult::Cancelled;
    std::uint8_t lengthBytes[4];
    if (compressedSize - consumed < 4 || !in.Read(lengthBytes, 4)) return TZAItemDataResult::Failed;
    consumed += 4;
    const std::uint32_t length = GetU32(lengthBytes);
    if (length > compressedSize - consumed) return TZAItemDataResult::Failed;
    const bool last = block + 1 == blockCount;
    if (!last && written + blockSize > expectedTotal) return TZAItemDataResult::Failed;
    const std::uint64_t expected = last ? (expectedTotal >= written ? expectedTotal - written : 0) : blockSize;
    if (expected > item.UncompressedSize) return TZAItemDataResult::Failed;

    if (!compressed) {
      if (length != expected) return TZAItemDataResult::Failed;
      input.resize(std::min<std::size_t>(ReadChunk, std::max<std::size_t>(length, 1)));
      std::uint64_t left = length;
      while (left > 0) {
        const std::size_t t = static_cast<std::size_t>(std::min<std::uint64_t>(left, input.size()));
        if (!in.Read(input.data(), t)) return TZAItemDataResult::Failed;
        crc = static_cast<std::uint32_t>(::crc32(crc, input.data(), static_cast<uInt>(t)));
        if (!WriteAll(destination, input.data(), t)) return TZAItemDataResult::Failed;
        written += t;
        left -= t;
      }
    } else {
      if (noInflate || length == 0) return TZAItemDataResult::Failed;
      // Each block is a zlib stream of its own; its output must be exactly the expected length.
      z_stream z{};
      if (inflateInit(&z) != Z_OK) return TZAItemDataResult::Failed;
      std::unique_ptr<z_stream, void (*)(z_stream*)> guard(&z, [](z_stream* s) { inflateEnd(s); });
      input.resize(std::min<std::size_t>(ReadChunk, length));
      std::uint64_t left = length;
      std::uint64_t produced = 0;
      bool ended = false;
      while (left > 0 && !ended) {
        const std::size_t t = static_cast<std::size_t>(std::min<std::uint64_t>(left, input.size()));
        if (!in.Read(input.data(), t)) return TZAItemDataResult::Failed;
        left -= t;
        z.next_in = input.data();
        z.avail_in = static_cast<uInt>(t);
        for (;;) {
          z.next_out = output.data();
          z.avail_out = static_cast<uInt>(output.size());
          const int rc = ::inflate(&z, Z_NO_FLUSH);
          if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) return TZAItemDataResult::Failed;
          const std::size_t n = output.size() - z.avail_out;
          produced += n;
          if (produced > expected) return TZAItemDataResult::Failed;
          crc = static_cast<std::uint32_t>(::crc32(crc, output.data(), static_cast<uInt>(n)));
          if (n > 0 && !WriteAll(destination, output.data(), n)) return TZAItemDataResult::Failed;
          written += n;
          if (rc == Z_STREAM_END) {
            ended = true;
            break;
          }
          if (rc == Z_BUF_ERROR && n == 0) break;
          if (z.avail_in == 0 && z.avail_out != 0) break;
        }
      }
      if (!ended || left > 0 || produced != expected) return TZAItemDataResult::Failed;
    }
    consumed += length;
  }
  return TZAItemDataResult::Ok;
}

}  // namespace

TZAItemDataResult ExtractItemData(TZAStream& source, TZAStream& destination, const TZAItemDataRequest& item,
                                  std::string& password, const TZAItemDataHooks& hooks) {
  TItemSource in(source, hooks);
  // One read for the header, a name and extra field of common length and a small item's data.
  in.ReadAhead(static_cast<std::size_t>(std::min<std::uint64_t>(item.CompressedSize, ReadAheadData)) +
               LocalHeaderSize + ReadAheadNames);

  // The local header; its own name and extra lengths say where the data starts.
  std::uint8_t raw[LocalHeaderSize];
  if (!in.Read(raw, sizeof raw)) return TZAItemDataResult::Failed;
  TLocalHeader local;
  ParseLocalHeader(raw, local);
  if (local.Signature != sigLocalHeader && local.Signature != sigOwnLocalHeader) return TZAItemDataResult::Failed;
  if (!in.Skip(static_cast<std::uint64_t>(local.NameLength) + local.ExtraLength)) return TZAItemDataResult::Failed;

  // In a single-file archive the data ends before the central directory: data that would run
  // into it is cut short.
  const std::uint64_t compressedSize = item.CompressedSize;
  if (item.LimitToDirectory) {
    const std::int64_t dataStart = in.Position();
    if (dataStart > item.DirectoryStart ||
        compressedSize > static_cast<std::uint64_t>(item.DirectoryStart - dataStart)) {
      return TZAItemDataResult::Incomplete;
    }
  }

  // The data by method: stored or deflated (decrypted first when encrypted), or the engine's own
  // block format.
  std::uint64_t written = 0;
  std::uint32_t crc = 0;
  TZAItemDataResult result;
  if (item.Method == 0 || item.Method == 8) {
    result = DecompressItemData(in, destination, item, local, compressedSize, password, hooks, written, crc);
  } else if (item.Method == 9) {
    return TZAItemDataResult::Deflate64;
  } else if (item.VersionNeeded >= 11) {
    result = ExtractBlockData(in, destination, item, compressedSize, hooks, written, crc);
  } else {
    return TZAItemDataResult::Failed;
  }
  if (result != TZAItemDataResult::Ok) return result;

  // Length and CRC against the directory entry.
  if (written != item.UncompressedSize) return TZAItemDataResult::Failed;
  if (crc != item.Crc32) return TZAItemDataResult::Failed;
  return TZAItemDataResult::Ok;
}

}  // namespace zip
