// Compressing one item: the source is read in chunks, its CRC-32 taken, each chunk deflated (or
// copied for the stored method) and, with a password, encrypted behind the 12-byte header.
#include "ZACompress.h"

#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "ZABesideFile.h"
#include "ZACrypt.h"
#include "ZAModes.h"
#include "ZAPlatform.h"
#include "ZAStrFunc.h"
#include "ZAWriteRecords.h"
#include "ZAZlib.h"
#include "ZipArchiver.h"

namespace zip {

namespace {

constexpr std::size_t OutputChunk = 0x40000;

// Reads count bytes (fewer only at the source's end).
std::size_t ReadFully(TZAStream& source, std::uint8_t* buffer, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    const std::size_t n = source.Read(buffer + done, count - done);
    if (n == 0) break;
    done += n;
  }
  return done;
}

// Ten bytes of the system's random source. An interruption or a source not ready yet is waited out
// a bounded number of times; any other failure fails the item.
void RandomHeaderBytes(std::uint8_t* out, std::size_t count) {
  constexpr int Attempts = 100;
  std::size_t done = 0;
  for (int attempt = 0; done < count; ++attempt) {
    const ssize_t n = ::getrandom(out + done, count - done, 0);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EINTR && errno != EAGAIN) break;
    if (attempt >= Attempts) break;
    if (n < 0 && errno == EAGAIN) ::usleep(10000);
  }
  if (done < count) throw EStreamError("Cannot read the system's random source");
}

// The state of one compression.
struct TZACompression {
  TZABaseArchiver& Archiver;
  TZAStream& Source;
  TZAStream& Destination;
  TDirItem& Item;
  std::int64_t Start = 0;
  std::uint64_t SourceSize = 0;
  std::size_t ChunkSize = 0;
  std::uint64_t Read = 0;
  std::uint64_t Written = 0;
  std::uint32_t Crc = 0xFFFFFFFFu;
  std::uint32_t SecondPassCrc = 0xFFFFFFFFu;  // with encryption: the CRC of the data as stored
  bool Encrypt = false;
  ZipCryptoKeys Keys;
  bool WriteFailed = false;

  // Encrypts and writes one piece of output; false when the archive took fewer bytes.
  bool Put(std::uint8_t* data, std::size_t count) {
    if (count == 0) return true;
    if (Encrypt) ZipCryptoEncryptRange(count, 0, data, Keys);
    if (Destination.Write(data, count) != count) {
      WriteFailed = true;
      return false;
    }
    Written += count;
    return true;
  }

  void WriteEncryptionHeader(std::vector<std::uint8_t>& buffer) {
    // A first pass for the CRC: the header's last bytes check the password against it.
    Source.Seek(Start);
    for (std::uint64_t done = 0; done < SourceSize;) {
      const std::size_t n = ReadFully(Source, buffer.data(),
                                      static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), SourceSize - done)));
      if (n == 0) break;
      AccumulateCrc32(buffer.data(), static_cast<std::int64_t>(n), Crc);
      done += n;
    }
    Source.Seek(Start);
    // The keys from the password, then the header: ten random bytes and the CRC's two high bytes.
    ZipCryptoInitKeys(Item.Password, Keys);
    std::uint8_t header[ZipCryptoHeaderSize];
    RandomHeaderBytes(header, 10);
    const std::uint32_t crc = ~Crc;
    header[10] = static_cast<std::uint8_t>(crc >> 16);
    header[11] = static_cast<std::uint8_t>(crc >> 24);
    Put(header, sizeof header);
    // The second pass reads the source again from its start.
    Read = 0;
  }

  bool Progress() {
    if (!Archiver.FProgressEnabled) return true;
    const double part = SourceSize == 0 ? 0.0 : static_cast<double>(Read) / static_cast<double>(SourceSize);
    Archiver.FCurrentItemBytesDone = static_cast<std::int64_t>(Read);
    const auto operation = static_cast<TZAProcessOperation>(Item.Operation);
    Archiver.DoFileProgress(Item.SourceFileName, part * 100.0, operation, ppProcess, Archiver.FCancel);
    if (Archiver.FCancel) return false;
    const double overall = Archiver.FProcessedFileCount == 0
                               ? 0.0
                               : (part + Archiver.FProcessedFileNo) / Archiver.FProcessedFileCount * 100.0;
    Archiver.DoOverallProgress(overall, operation, ppProcess, Archiver.FCancel);
    return !Archiver.FCancel;
  }

  // One chunk through zlib: looped until zlib has taken all of it (and, for the last one, has
  // produced the whole end of the stream).
  bool DeflateChunk(TZADeflater& deflater, const std::uint8_t* input, std::size_t n, bool last,
                    std::vector<std::uint8_t>& output) {
    std::size_t consumed = 0;
    for (;;) {
      const TZAZlibStep step = deflater.Deflate(input + consumed, n - consumed, output.data(), output.size(), last);
      if (step.Status == TZAZlibStatus::Error) throw ECompressionError();
      consumed += step.Consumed;
      if (!Put(output.data(), step.Produced)) return false;
      if (last) {
        if (step.Status == TZAZlibStatus::StreamEnd) return true;
      } else if (consumed == n && step.Produced < output.size()) {
        return true;
      }
      if (step.Consumed == 0 && step.Produced == 0) {
        if (last) throw ECompressionError();  // zlib makes no progress
        return true;
      }
    }
  }

  void DeflateItem() {
    // Buffers no larger than the item needs: archives of many small items are common.
    std::vector<std::uint8_t> input(static_cast<std::size_t>(std::max<std::uint64_t>(std::min<std::uint64_t>(ChunkSize, SourceSize), 1)));
    std::vector<std::uint8_t> output;
    std::unique_ptr<TZADeflater> deflater;
    if (Item.Method != 0 && SourceSize > 0) {
      deflater = std::make_unique<TZADeflater>(Item.CompressionMode);
      if (!deflater->Ready()) throw ECompressionError();
      output.resize(std::min(OutputChunk, deflater->Bound(input.size())));
    }
    if (Encrypt) WriteEncryptionHeader(input);
    if (WriteFailed) return;
    Archiver.FCurrentItemBytesTotal = static_cast<std::int64_t>(SourceSize);
    Source.Seek(Start);
    while (Read < SourceSize) {
      if (!Progress()) break;
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(input.size(), SourceSize - Read));
      if (ReadFully(Source, input.data(), n) != n) break;
      AccumulateCrc32(input.data(), static_cast<std::int64_t>(n), Encrypt ? SecondPassCrc : Crc);
      const bool last = Read + n == SourceSize;
      const bool ok = deflater ? DeflateChunk(*deflater, input.data(), n, last, output) : Put(input.data(), n);
      if (!ok) break;
      Read += n;
    }
    // The header's check bytes and the entry's CRC come from the first pass: data that changed
    // since then would be stored under them, as a damaged entry.
    if (Encrypt && Read == SourceSize && SecondPassCrc != Crc) {
      throw EZAException(zaerr::ItemDataCorrupt, &Archiver);
    }
  }
};

}  // namespace

bool TZABaseArchiver::CompressItem(TZAStream& Source, TZAStream& Destination, TDirItem& Item) {
  // The entry is worked on in a copy, which goes back to the caller once the data is written.
  TDirItem item = Item;
  TZACompression c{*this, Source, Destination, item, 0, 0, 0, 0, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, false, ZipCryptoKeys{}, false};
  c.Start = Source.Position();
  c.SourceSize = static_cast<std::uint64_t>(std::max<std::int64_t>(Source.Size() - c.Start, 0));
  c.ChunkSize = BufferSizeForMode(item.CompressionMode);
  c.Encrypt = !item.Password.empty();
  // Only the zip format has a compressor.
  if (FZipFormat) c.DeflateItem();
  // All of the source went in: its sizes and CRC go into the entry.
  if (c.Read == c.SourceSize && !c.WriteFailed) {
    // A size that reaches the escape value (or every size, with zmAlways) goes into the Zip64 field.
    const auto record = [&](std::uint32_t& field, std::uint64_t& field64, std::uint64_t value) {
      if (value >= Escape32 || Zip64Mode == zmAlways) {
        item.HasZip64Extra = true;
        field = Escape32;
        field64 = value;
      } else {
        field = static_cast<std::uint32_t>(value);
      }
    };
    record(item.CompressedSize, item.CompressedSize64, c.Written);
    record(item.UncompressedSize, item.UncompressedSize64, c.SourceSize);
    item.Crc32 = ~c.Crc;
    if (item.HasZip64Extra && Zip64Mode == zmDisabled) {
      throw EZAException(zaerr::Zip64DisabledCompress, this, {item.SourceFileName});
    }
    if (c.SourceSize == 0) item.Method = 0;
    Item = item;
    return true;
  }
  // The archive refused the data: that fails the archive's write, whatever the item is.
  if (c.WriteFailed) throw WriteFailure(Destination);
  // Cancelled: not a failure. Anything else that stopped early is one.
  if (FCancel) {
    Item = item;
    return false;
  }
  throw EZAException(zaerr::CompressedSizeMismatch, this,
                     {static_cast<std::int64_t>(c.SourceSize), static_cast<std::int64_t>(c.Read)});
}

EZAException TZABaseArchiver::WriteFailure(const TZAStream& Stream) const {
  const int error = Stream.LastWriteError();
  if (error == 0) return EZAException(zaerr::ShortWrite, this);
  // The file the user knows: the archive a new file beside it is to become, else the file itself.
  std::string file = FVolumeFileName.empty() ? FileName : FVolumeFileName;
  if (const auto* fresh = dynamic_cast<const TZAFdFile*>(&Stream)) {
    file = platform::FromFileSystemPath(fresh->Target());
  } else if (const auto* plain = dynamic_cast<const TZAFileStream*>(&Stream)) {
    file = platform::FromFileSystemPath(plain->Path());
  } else {
    file = ExpandFileName(file);
  }
  return EZAException(zaerr::WriteRefused, this, {file, std::string(std::strerror(error))});
}

std::uint32_t TZABaseArchiver::ShareModeFlags(TZAFileShareMode ShareMode) {
  switch (ShareMode) {
    case smShareCompat: return 0;
    case smShareExclusive: return 0x10;
    case smShareDenyWrite: return 0x20;
    case smShareDenyRead: return 0x30;
    case smShareDenyNone: return 0x40;
  }
  return 0x40;
}

}  // namespace zip
