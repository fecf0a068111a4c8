#include "ZAZlib.h"

#include <zlib.h>

#include <limits>

namespace zip {

namespace {

constexpr std::size_t kMaxChunk = std::numeric_limits<uInt>::max();

int WindowBits(TZAZlibFormat format) { return format == TZAZlibFormat::Raw ? -MAX_WBITS : MAX_WBITS; }

uInt Clamp(std::size_t n) { return static_cast<uInt>(n < kMaxChunk ? n : kMaxChunk); }

}  // namespace

struct TZAInflater::State {
  z_stream Z{};
  TZAZlibFormat Format;
};

TZAInflater::TZAInflater(TZAZlibFormat format) : FState(std::make_unique<State>()) {
  FState->Format = format;
  FReady = inflateInit2(&FState->Z, WindowBits(format)) == Z_OK;
}

TZAInflater::~TZAInflater() {
  if (FReady) inflateEnd(&FState->Z);
}

TZAZlibStep TZAInflater::Inflate(const std::uint8_t* input, std::size_t inputLength,
                                 std::uint8_t* output, std::size_t outputLength) {
  TZAZlibStep step;
  if (!FReady) {
    step.Status = TZAZlibStatus::Error;
    return step;
  }
  z_stream& z = FState->Z;
  z.next_in = const_cast<Bytef*>(input);
  z.avail_in = Clamp(inputLength);
  z.next_out = output;
  z.avail_out = Clamp(outputLength);
  const uInt inBefore = z.avail_in;
  const uInt outBefore = z.avail_out;
  int rc = inflate(&z, Z_NO_FLUSH);
  step.Consumed = inBefore - z.avail_in;
  step.Produced = outBefore - z.avail_out;
  if (rc == Z_STREAM_END)
    step.Status = TZAZlibStatus::StreamEnd;
  else if (rc == Z_OK || (rc == Z_BUF_ERROR && (step.Consumed || step.Produced || inBefore == 0 || outBefore == 0)))
    step.Status = TZAZlibStatus::Ok;
  else
    step.Status = TZAZlibStatus::Error;
  return step;
}

void TZAInflater::Reset() {
  if (FReady) inflateReset(&FState->Z);
}

std::uint64_t TZAInflater::TotalIn() const { return FState->Z.total_in; }
std::uint64_t TZAInflater::TotalOut() const { return FState->Z.total_out; }

struct TZADeflater::State {
  z_stream Z{};
};

TZADeflater::TZADeflater(int level, TZAZlibFormat format) : FState(std::make_unique<State>()) {
  if (level < 0) level = 0;
  if (level > 9) level = 9;
  FReady = deflateInit2(&FState->Z, level, Z_DEFLATED, WindowBits(format), 8, Z_DEFAULT_STRATEGY) == Z_OK;
}

TZADeflater::~TZADeflater() {
  if (FReady) deflateEnd(&FState->Z);
}

TZAZlibStep TZADeflater::Deflate(const std::uint8_t* input, std::size_t inputLength,
                                 std::uint8_t* output, std::size_t outputLength, bool finish) {
  TZAZlibStep step;
  if (!FReady) {
    step.Status = TZAZlibStatus::Error;
    return step;
  }
  z_stream& z = FState->Z;
  z.next_in = const_cast<Bytef*>(input);
  z.avail_in = Clamp(inputLength);
  z.next_out = output;
  z.avail_out = Clamp(outputLength);
  const uInt inBefore = z.avail_in;
  const uInt outBefore = z.avail_out;
  const bool allInput = z.avail_in == inputLength;
  int rc = deflate(&z, finish && allInput ? Z_FINISH : Z_NO_FLUSH);
  step.Consumed = inBefore - z.avail_in;
  step.Produced = outBefore - z.avail_out;
  if (rc == Z_STREAM_END)
    step.Status = TZAZlibStatus::StreamEnd;
  else if (rc == Z_OK || rc == Z_BUF_ERROR)
    step.Status = TZAZlibStatus::Ok;
  else
    step.Status = TZAZlibStatus::Error;
  return step;
}

std::size_t TZADeflater::Bound(std::size_t sourceLength) const {
  return FReady ? deflateBound(&FState->Z, static_cast<uLong>(sourceLength)) : sourceLength + 64;
}

const char* ZlibVersion() { return zlibVersion(); }

}  // namespace zip
