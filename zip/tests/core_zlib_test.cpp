// The zlib binding: both stream formats, chunked use, corrupt and truncated input.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include <zlib.h>

#include "ZAInflate.h"
#include "ZAModes.h"
#include "ZAZlib.h"

namespace zip {
namespace {

std::vector<std::uint8_t> MixedData(std::size_t n) {
  std::vector<std::uint8_t> data(n);
  std::mt19937 rng(7);
  for (std::size_t i = 0; i < n; ++i)
    data[i] = (i / 4096) % 2 ? static_cast<std::uint8_t>(rng()) : static_cast<std::uint8_t>("abcabd"[i % 6]);
  return data;
}

std::vector<std::uint8_t> Compress(const std::vector<std::uint8_t>& in, int level, TZAZlibFormat format) {
  TZADeflater d(level, format);
  EXPECT_TRUE(d.Ready());
  std::vector<std::uint8_t> out;
  std::uint8_t buf[1000];
  std::size_t pos = 0;
  for (;;) {
    std::size_t n = std::min<std::size_t>(3000, in.size() - pos);
    bool finish = pos + n == in.size();
    TZAZlibStep s = d.Deflate(in.data() + pos, n, buf, sizeof buf, finish);
    EXPECT_NE(s.Status, TZAZlibStatus::Error);
    pos += s.Consumed;
    out.insert(out.end(), buf, buf + s.Produced);
    if (s.Status == TZAZlibStatus::StreamEnd) break;
  }
  return out;
}

// Inflates in small pieces; returns the output and the last status.
std::pair<std::vector<std::uint8_t>, TZAZlibStatus> Expand(const std::vector<std::uint8_t>& in, TZAZlibFormat format) {
  TZAInflater inf(format);
  EXPECT_TRUE(inf.Ready());
  std::vector<std::uint8_t> out;
  std::uint8_t buf[777];
  std::size_t pos = 0;
  TZAZlibStatus last = TZAZlibStatus::Ok;
  for (int guard = 0; guard < 1'000'000; ++guard) {
    std::size_t n = std::min<std::size_t>(500, in.size() - pos);
    TZAZlibStep s = inf.Inflate(in.data() + pos, n, buf, sizeof buf);
    pos += s.Consumed;
    out.insert(out.end(), buf, buf + s.Produced);
    last = s.Status;
    if (s.Status != TZAZlibStatus::Ok) break;
    if (s.Consumed == 0 && s.Produced == 0) break;  // starved: the input ended early
  }
  return {out, last};
}

TEST(ZAZlib, RoundTripsInBothFormatsAtEveryLevel) {
  auto data = MixedData(100'000);
  for (TZAZlibFormat format : {TZAZlibFormat::Raw, TZAZlibFormat::Zlib}) {
    for (int level : {0, 1, 6, 9}) {
      SCOPED_TRACE(level);
      auto packed = Compress(data, level, format);
      auto [plain, status] = Expand(packed, format);
      EXPECT_EQ(status, TZAZlibStatus::StreamEnd);
      EXPECT_EQ(plain, data);
    }
  }
}

TEST(ZAZlib, HeaderTableGivesValidZlibHeaders) {
  // Put in front of raw deflate data, each header must be one inflate accepts: deflate with a
  // 32 KiB window and a check value that makes the pair a multiple of 31.
  for (int mode = 0; mode <= 9; ++mode) {
    auto h = ZlibHeaderForMode(mode);
    EXPECT_EQ(h[0], 0x78) << mode;
    EXPECT_EQ((h[0] * 256 + h[1]) % 31, 0) << mode;
  }
}

TEST(ZAZlib, CorruptAndTruncatedInputNeverEndsWell) {
  auto packed = Compress(MixedData(50'000), 6, TZAZlibFormat::Raw);
  auto truncated = packed;
  truncated.resize(packed.size() / 2);
  EXPECT_NE(Expand(truncated, TZAZlibFormat::Raw).second, TZAZlibStatus::StreamEnd);
  std::vector<std::uint8_t> garbage(1000, 0xFF);
  EXPECT_EQ(Expand(garbage, TZAZlibFormat::Raw).second, TZAZlibStatus::Error);
  EXPECT_EQ(Expand(packed, TZAZlibFormat::Zlib).second, TZAZlibStatus::Error);  // no zlib header
  EXPECT_NE(std::string(ZlibVersion()), "");
}

// The item inflater (ISA-L) gives zlib's output for zlib's deflate data at every level, fed in
// small and odd pieces into a small output buffer; it stops at the end of the deflate data and
// leaves what follows unconsumed; it reports damaged data.
TEST(ItemInflater, SameOutputAsZlib) {
  const std::vector<std::uint8_t> plain = MixedData(300000);
  for (int level : {0, 1, 6, 9}) {
    SCOPED_TRACE(level);
    std::vector<std::uint8_t> packed = Compress(plain, level, TZAZlibFormat::Raw);
    const std::size_t deflateLength = packed.size();
    packed.insert(packed.end(), {0xDE, 0xAD, 0xBE, 0xEF});  // bytes after the stream
    TZARawInflater inflater;
    std::vector<std::uint8_t> out;
    std::uint8_t buf[777];
    std::size_t pos = 0;
    bool ended = false;
    while (!ended && pos < packed.size()) {
      const std::size_t n = std::min<std::size_t>(1013, packed.size() - pos);
      std::size_t used = 0;
      for (;;) {
        const TZAInflateStep step = inflater.Inflate(packed.data() + pos + used, n - used, buf, sizeof buf);
        ASSERT_NE(TZAInflateStatus::Error, step.Status);
        used += step.Consumed;
        out.insert(out.end(), buf, buf + step.Produced);
        if (step.Status == TZAInflateStatus::StreamEnd) {
          ended = true;
          used -= step.ReadAhead;  // what the inflater took of the bytes after the stream
          break;
        }
        if (used == n && step.Produced < sizeof buf) break;
      }
      pos += used;
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(deflateLength, pos);
    EXPECT_EQ(plain, out);
  }
  std::vector<std::uint8_t> damaged = Compress(plain, 6, TZAZlibFormat::Raw);
  damaged[0] = 0xFF;  // a block type that does not exist
  TZARawInflater inflater;
  std::vector<std::uint8_t> big(plain.size());
  EXPECT_EQ(TZAInflateStatus::Error, inflater.Inflate(damaged.data(), damaged.size(), big.data(), big.size()).Status);
}

TEST(ItemInflater, Crc32AsZlibComputesIt) {
  const std::vector<std::uint8_t> data = MixedData(100003);
  std::uint32_t ours = 0;
  for (std::size_t pos = 0; pos < data.size(); pos += 4099) {
    ours = ZACrc32(ours, data.data() + pos, std::min<std::size_t>(4099, data.size() - pos));
  }
  EXPECT_EQ(static_cast<std::uint32_t>(::crc32(0, data.data(), static_cast<uInt>(data.size()))), ours);
  EXPECT_EQ(0u, ZACrc32(0, nullptr, 0));
}

}  // namespace
}  // namespace zip
