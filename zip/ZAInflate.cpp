#include "ZAInflate.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <limits>

namespace zip {

struct TZARawInflater::State {
  inflate_state S;
  bool Ended = false;
};

TZARawInflater::TZARawInflater() : FState(new State) {  // no zero fill: the init sets what the inflater reads
  isal_inflate_init(&FState->S);
  FState->S.crc_flag = ISAL_DEFLATE;  // raw deflate: no header, no trailer
}

TZARawInflater::~TZARawInflater() = default;

TZAInflateStep TZARawInflater::Inflate(const std::uint8_t* input, std::size_t inputLength, std::uint8_t* output,
                                       std::size_t outputLength) {
  TZAInflateStep step;
  inflate_state& s = FState->S;
  if (FState->Ended) {
    step.Status = TZAInflateStatus::StreamEnd;
    return step;
  }
  constexpr std::size_t MaxChunk = std::numeric_limits<std::uint32_t>::max();
  s.next_in = const_cast<std::uint8_t*>(input);
  s.avail_in = static_cast<std::uint32_t>(inputLength < MaxChunk ? inputLength : MaxChunk);
  s.next_out = output;
  s.avail_out = static_cast<std::uint32_t>(outputLength < MaxChunk ? outputLength : MaxChunk);
  const std::uint32_t inBefore = s.avail_in;
  const std::uint32_t outBefore = s.avail_out;
  const int rc = isal_inflate(&s);
  step.Consumed = inBefore - s.avail_in;
  step.Produced = outBefore - s.avail_out;
  if (rc < 0) {
    step.Status = TZAInflateStatus::Error;
  } else if (s.block_state == ISAL_BLOCK_FINISH) {
    FState->Ended = true;
    step.Status = TZAInflateStatus::StreamEnd;
    // The inflater reads ahead into its bit buffer: the whole bytes left there follow the deflate
    // data and were not used.
    step.ReadAhead = s.read_in_length > 0 ? static_cast<std::size_t>(s.read_in_length) / 8 : 0;
  }
  return step;
}

std::uint32_t ZACrc32(std::uint32_t crc, const std::uint8_t* data, std::size_t length) {
  return length == 0 ? crc : crc32_gzip_refl(crc, data, length);
}

}  // namespace zip
