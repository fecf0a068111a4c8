#pragma once
// Inflating an item's raw deflate data, and the CRC-32 of plain bytes, through Intel's ISA-L: on
// this platform it inflates at about twice zlib's speed with the same output (zlib stays the
// engine's compressor and the inflater of the engine's own block format).
#include <cstddef>
#include <cstdint>
#include <memory>

namespace zip {

enum class TZAInflateStatus {
  Ok,         // progress made; call again with more input or more room
  StreamEnd,  // the deflate data is complete
  Error,      // corrupt data
};

struct TZAInflateStep {
  TZAInflateStatus Status = TZAInflateStatus::Ok;
  std::size_t Consumed = 0;  // input bytes taken
  std::size_t Produced = 0;  // output bytes written
  // At StreamEnd: input bytes after the end of the deflate data that the inflater took in (in this
  // call or an earlier one) without using them. They count in Consumed of the call that took them.
  std::size_t ReadAhead = 0;
};

class TZARawInflater {
 public:
  TZARawInflater();
  ~TZARawInflater();
  TZARawInflater(const TZARawInflater&) = delete;
  TZARawInflater& operator=(const TZARawInflater&) = delete;

  // Inflates as much of input as fits into output.
  TZAInflateStep Inflate(const std::uint8_t* input, std::size_t inputLength, std::uint8_t* output,
                         std::size_t outputLength);

 private:
  struct State;
  std::unique_ptr<State> FState;
};

// CRC-32 (the zip format's, as zlib's crc32 computes it) of data, continuing from crc.
std::uint32_t ZACrc32(std::uint32_t crc, const std::uint8_t* data, std::size_t length);

}  // namespace zip
