#include "ZipBuilder.h"

#include <zlib.h>

namespace ziptest {

namespace {
void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Put64(std::vector<std::uint8_t>& out, std::uint64_t v) {
  Put32(out, static_cast<std::uint32_t>(v));
  Put32(out, static_cast<std::uint32_t>(v >> 32));
}
void PutBytes(std::vector<std::uint8_t>& out, const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }
}  // namespace

std::uint32_t Crc32(const std::vector<std::uint8_t>& data) {
  return static_cast<std::uint32_t>(::crc32(0, data.data(), static_cast<uInt>(data.size())));
}

std::vector<std::uint8_t> RawDeflate(const std::vector<std::uint8_t>& data) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::vector<std::uint8_t> out(deflateBound(&z, static_cast<uLong>(data.size())) + 16);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::vector<std::uint8_t> BuildZip(const std::vector<TBuildEntry>& entries, const TBuildOptions& options) {
  std::vector<std::uint8_t> out = options.Prefix;
  const std::uint32_t base = options.OffsetsCountPrefix ? 0 : static_cast<std::uint32_t>(options.Prefix.size());
  std::vector<std::uint32_t> offsets;
  std::vector<std::vector<std::uint8_t>> stored;
  for (const auto& e : entries) {
    std::vector<std::uint8_t> data = e.RawData ? *e.RawData : (e.Deflate ? RawDeflate(e.Data) : e.Data);
    offsets.push_back(static_cast<std::uint32_t>(out.size()) - base);
    const std::uint16_t method = e.Method ? *e.Method : (e.Deflate ? 8 : 0);
    Put32(out, 0x04034B50);
    Put16(out, e.VersionNeeded.value_or(20));
    Put16(out, e.Flags);
    Put16(out, method);
    Put16(out, e.ModTime);
    Put16(out, e.ModDate);
    Put32(out, e.Crc32.value_or(Crc32(e.Data)));
    Put32(out, e.CompressedSize.value_or(static_cast<std::uint32_t>(data.size())));
    Put32(out, e.UncompressedSize.value_or(static_cast<std::uint32_t>(e.Data.size())));
    Put16(out, static_cast<std::uint32_t>(e.Name.size()));
    Put16(out, 0);
    PutBytes(out, e.Name);
    out.insert(out.end(), data.begin(), data.end());
    stored.push_back(std::move(data));
  }
  const std::uint32_t dirStart = static_cast<std::uint32_t>(out.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto& e = entries[i];
    const std::uint16_t method = e.Method ? *e.Method : (e.Deflate ? 8 : 0);
    Put32(out, 0x02014B50);
    Put16(out, e.VersionMadeBy);
    Put16(out, e.VersionNeeded.value_or(20));
    Put16(out, e.Flags);
    Put16(out, method);
    Put16(out, e.ModTime);
    Put16(out, e.ModDate);
    Put32(out, e.Crc32.value_or(Crc32(e.Data)));
    Put32(out, e.CompressedSize.value_or(static_cast<std::uint32_t>(stored[i].size())));
    Put32(out, e.UncompressedSize.value_or(static_cast<std::uint32_t>(e.Data.size())));
    Put16(out, e.NameLength.value_or(static_cast<std::uint16_t>(e.Name.size())));
    Put16(out, static_cast<std::uint32_t>(e.CentralExtra.size()));
    Put16(out, static_cast<std::uint32_t>(e.Comment.size()));
    Put16(out, e.DiskNumberStart.value_or(0));
    Put16(out, 0);
    Put32(out, e.ExternalAttributes);
    Put32(out, e.LocalHeaderOffset.value_or(offsets[i]));
    PutBytes(out, e.Name);
    out.insert(out.end(), e.CentralExtra.begin(), e.CentralExtra.end());
    PutBytes(out, e.Comment);
  }
  const std::uint32_t dirSize = static_cast<std::uint32_t>(out.size()) - dirStart;
  if (options.Zip64) {
    const std::uint64_t recordAt = out.size() - base;
    Put32(out, 0x06064B50);
    Put64(out, 44);
    Put16(out, 45);
    Put16(out, 45);
    Put32(out, 0);
    Put32(out, options.StartDisk.value_or(0));
    Put64(out, entries.size());
    Put64(out, entries.size());
    Put64(out, dirSize);
    Put64(out, dirStart - base);
    Put32(out, 0x07064B50);
    Put32(out, 0);
    Put64(out, recordAt);
    Put32(out, 1);
  }
  Put32(out, 0x06054B50);
  Put16(out, options.DiskNumber.value_or(0));
  Put16(out, options.StartDisk.value_or(0));
  Put16(out, options.TotalEntries.value_or(static_cast<std::uint16_t>(entries.size())));
  Put16(out, options.TotalEntries.value_or(static_cast<std::uint16_t>(entries.size())));
  Put32(out, options.DirectorySize.value_or(dirSize));
  Put32(out, dirStart - base);
  Put16(out, static_cast<std::uint32_t>(options.ArchiveComment.size()));
  PutBytes(out, options.ArchiveComment);
  out.insert(out.end(), options.Trailer.begin(), options.Trailer.end());
  return out;
}

}  // namespace ziptest
