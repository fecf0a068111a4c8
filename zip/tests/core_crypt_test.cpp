// CRC-32 and the traditional PKWARE encryption, checked against archives Info-ZIP's zip writes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ZACrypt.h"
#include "ZAModes.h"

namespace zip {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint16_t U16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}
std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return U16(b, at) | (static_cast<std::uint32_t>(U16(b, at + 2)) << 16);
}

class ScratchDir {
 public:
  ScratchDir() {
    std::string tmpl = (fs::temp_directory_path() / "zacryptXXXXXX").string();
    Path = mkdtemp(tmpl.data());
  }
  ~ScratchDir() {
    std::error_code ec;
    fs::remove_all(Path, ec);
  }
  fs::path Path;
};

TEST(Crc32, KnownAnswers) {
  EXPECT_EQ(Crc32Of("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32Of("abc", 3), 0x352441C2u);
  EXPECT_EQ(Crc32Table()[0], 0x00000000u);
  EXPECT_EQ(Crc32Table()[1], 0x77073096u);
  // Piece by piece gives the same as in one go; nothing and non-positive lengths change nothing.
  std::uint32_t crc = 0xFFFFFFFFu;
  AccumulateCrc32("1234", 4, crc);
  AccumulateCrc32("56789", 5, crc);
  AccumulateCrc32(nullptr, 5, crc);
  AccumulateCrc32("x", 0, crc);
  AccumulateCrc32("x", -3, crc);
  EXPECT_EQ(~crc, 0xCBF43926u);
  std::uint32_t byByte = 0xFFFFFFFFu;
  for (char c : std::string("123456789")) byByte = Crc32Byte(static_cast<std::uint8_t>(c), byByte);
  EXPECT_EQ(~byByte, 0xCBF43926u);
}

TEST(ZipCrypto, EncryptThenDecryptRoundTrips) {
  std::vector<std::uint8_t> data(1000);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  std::vector<std::uint8_t> buf = data;
  ZipCryptoKeys enc;
  ZipCryptoInitKeys("p\xE4ss", enc);
  ZipCryptoEncryptRange(buf.size() - 10, 10, buf.data(), enc);
  EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 10, data.begin()));  // before Start: untouched
  EXPECT_NE(buf, data);
  ZipCryptoKeys dec;
  ZipCryptoInitKeys("p\xE4ss", dec);
  ZipCryptoDecryptBuffer(buf.data() + 10, buf.size() - 10, dec);
  EXPECT_EQ(buf, data);
  EXPECT_EQ(dec.Key0, enc.Key0);
  EXPECT_EQ(dec.Key1, enc.Key1);
  EXPECT_EQ(dec.Key2, enc.Key2);
}

// One entry of an archive written by `zip -P`, read from its local header.
struct LocalEntry {
  std::uint16_t Flags, Method, ModTime;
  std::uint32_t Crc;
  std::vector<std::uint8_t> Data;  // the 12-byte header and the data, still encrypted
};

LocalEntry FirstEntry(const std::vector<std::uint8_t>& archive) {
  EXPECT_EQ(U32(archive, 0), 0x04034B50u);
  LocalEntry e{U16(archive, 6), U16(archive, 8), U16(archive, 10), U32(archive, 14), {}};
  std::uint32_t compressed = U32(archive, 18);
  std::size_t dataStart = 30 + U16(archive, 26) + U16(archive, 28);
  if (e.Flags & 8) {
    // Sizes follow in a data descriptor: take them from the central directory instead.
    std::size_t cd = archive.size() - 22;
    std::size_t cdStart = U32(archive, cd + 16);
    e.Crc = U32(archive, cdStart + 16);
    compressed = U32(archive, cdStart + 20);
  }
  e.Data.assign(archive.begin() + static_cast<std::ptrdiff_t>(dataStart),
                archive.begin() + static_cast<std::ptrdiff_t>(dataStart + compressed));
  return e;
}

std::vector<std::uint8_t> Inflate(const std::vector<std::uint8_t>& raw, std::size_t expected) {
  std::vector<std::uint8_t> out(expected + 1);
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, -MAX_WBITS), Z_OK);
  z.next_in = const_cast<Bytef*>(raw.data());
  z.avail_in = static_cast<uInt>(raw.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  inflate(&z, Z_FINISH);
  out.resize(z.total_out);
  inflateEnd(&z);
  return out;
}

// Archivers that write the traditional encryption, each as a command run in the scratch folder.
struct Peer {
  const char* Tool;
  const char* Command;  // ARCH stands for the archive's path
};
const Peer kPeers[] = {
    {"zip", "zip -q -0 -P s3cret ARCH a.txt"},
    {"zip", "zip -q -6 -P s3cret ARCH a.txt"},
    {"7zz", "7zz a -tzip -mm=Copy -mem=ZipCrypto -ps3cret -bd -bso0 ARCH a.txt"},
    {"7zz", "7zz a -tzip -mm=Deflate -mem=ZipCrypto -ps3cret -bd -bso0 ARCH a.txt"},
};

TEST(ZipCrypto, DecryptsWhatPeersEncrypted) {
  ScratchDir dir;
  std::string plain;
  for (int i = 0; i < 3000; ++i) plain += "ligne " + std::to_string(i) + " du fichier\n";
  std::ofstream(dir.Path / "a.txt", std::ios::binary) << plain;
  int run = 0;
  for (const Peer& peer : kPeers) {
    SCOPED_TRACE(peer.Command);
    if (std::system(("command -v " + std::string(peer.Tool) + " >/dev/null 2>&1").c_str()) != 0) {
      ADD_FAILURE() << peer.Tool << " is not installed";
      continue;
    }
    fs::path archive = dir.Path / ("p" + std::to_string(run++) + ".zip");
    std::string cmd = peer.Command;
    cmd.replace(cmd.find("ARCH"), 4, "'" + archive.string() + "'");
    ASSERT_EQ(std::system(("cd '" + dir.Path.string() + "' && " + cmd).c_str()), 0);
    LocalEntry e = FirstEntry(ReadFile(archive));
    ASSERT_TRUE(e.Flags & 1) << "entry not encrypted";
    ASSERT_GE(e.Data.size(), ZipCryptoHeaderSize);

    ZipCryptoKeys keys;
    ZipCryptoInitDecrypt("s3cret", keys, e.Data.data());
    // The header's last byte checks the password: the CRC's high byte, or the time's when the
    // sizes come in a data descriptor.
    std::uint8_t check = (e.Flags & 8) ? static_cast<std::uint8_t>(e.ModTime >> 8)
                                       : static_cast<std::uint8_t>(e.Crc >> 24);
    EXPECT_EQ(e.Data[11], check);
    ZipCryptoDecryptBuffer(e.Data.data() + 12, e.Data.size() - 12, keys);
    std::vector<std::uint8_t> payload(e.Data.begin() + 12, e.Data.end());
    std::vector<std::uint8_t> out = e.Method == 0 ? payload : Inflate(payload, plain.size());
    ASSERT_EQ(out.size(), plain.size());
    EXPECT_TRUE(std::equal(out.begin(), out.end(), plain.begin()));
    EXPECT_EQ(Crc32Of(out.data(), static_cast<std::int64_t>(out.size())), e.Crc);

    // A wrong password gives another key stream, so another header.
    LocalEntry again = FirstEntry(ReadFile(archive));
    ZipCryptoKeys wrong;
    ZipCryptoInitDecrypt("s3creT", wrong, again.Data.data());
    std::vector<std::uint8_t> head(again.Data.begin(), again.Data.begin() + 12);
    EXPECT_NE(head, std::vector<std::uint8_t>(e.Data.begin(), e.Data.begin() + 12));
  }
}

TEST(ModeHelpers, Tables) {
  struct Row {
    int Mode;
    std::size_t Buffer;
    TZACompressionLevel Level;
    std::uint8_t H0, H1;
  };
  const Row rows[] = {
      {0, 0x100000, clNone, 0x78, 0xDA},    {1, 0x80000, clFastest, 0x78, 0x01},
      {2, 0x80000, clFastest, 0x78, 0x01},  {3, 0x80000, clFastest, 0x78, 0x5E},
      {4, 0x100000, clNormal, 0x78, 0x5E},  {5, 0x100000, clNormal, 0x78, 0x9C},
      {6, 0x100000, clNormal, 0x78, 0x9C},  {7, 0x180000, clMax, 0x78, 0xDA},
      {8, 0x180000, clMax, 0x78, 0xDA},     {9, 0x180000, clMax, 0x78, 0xDA},
      {10, 0x100000, clNone, 0x00, 0x00},   {255, 0x100000, clNone, 0x00, 0x00},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Mode);
    EXPECT_EQ(BufferSizeForMode(r.Mode), r.Buffer);
    EXPECT_EQ(LevelFromMode(r.Mode), r.Level);
    auto h = ZlibHeaderForMode(r.Mode);
    EXPECT_EQ(h[0], r.H0);
    EXPECT_EQ(h[1], r.H1);
  }
  EXPECT_EQ(ModeFromLevel(clNone), 0);
  EXPECT_EQ(ModeFromLevel(clFastest), 1);
  EXPECT_EQ(ModeFromLevel(clNormal), 6);
  EXPECT_EQ(ModeFromLevel(clMax), 9);
}

}  // namespace
}  // namespace zip
