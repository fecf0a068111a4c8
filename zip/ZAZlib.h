#pragma once
// The engine's binding to zlib: one deflate and one inflate stream, each owning its zlib state.
// Raw streams carry no zlib header or trailer (as item data in a zip archive); zlib streams do
// (the engine's own block format).
#include <cstddef>
#include <cstdint>
#include <memory>

namespace zip {

enum class TZAZlibFormat { Raw, Zlib };

enum class TZAZlibStatus {
  Ok,         // progress made; call again with more input or more room
  StreamEnd,  // the compressed stream is complete
  Error,      // corrupt data, or a zlib failure
};

struct TZAZlibStep {
  TZAZlibStatus Status = TZAZlibStatus::Ok;
  std::size_t Consumed = 0;  // input bytes taken
  std::size_t Produced = 0;  // output bytes written
};

class TZAInflater {
 public:
  explicit TZAInflater(TZAZlibFormat format = TZAZlibFormat::Raw);
  ~TZAInflater();
  TZAInflater(const TZAInflater&) = delete;
  TZAInflater& operator=(const TZAInflater&) = delete;

  bool Ready() const { return FReady; }
  // Inflates as much of input as fits into output.
  TZAZlibStep Inflate(const std::uint8_t* input, std::size_t inputLength, std::uint8_t* output,
                      std::size_t outputLength);
  // Starts a new stream of the same format.
  void Reset();
  std::uint64_t TotalIn() const;
  std::uint64_t TotalOut() const;

 private:
  struct State;
  std::unique_ptr<State> FState;  // inflateEnd runs in the destructor
  bool FReady = false;
};

class TZADeflater {
 public:
  // level 0 to 9 as the archiver's compression mode gives it.
  TZADeflater(int level, TZAZlibFormat format = TZAZlibFormat::Raw);
  ~TZADeflater();
  TZADeflater(const TZADeflater&) = delete;
  TZADeflater& operator=(const TZADeflater&) = delete;

  bool Ready() const { return FReady; }
  // Compresses input into output; with finish, flushes everything and ends the stream
  // (StreamEnd once all of it was written).
  TZAZlibStep Deflate(const std::uint8_t* input, std::size_t inputLength, std::uint8_t* output,
                      std::size_t outputLength, bool finish);
  // An upper bound of the compressed size of sourceLength bytes.
  std::size_t Bound(std::size_t sourceLength) const;

 private:
  struct State;
  std::unique_ptr<State> FState;  // deflateEnd runs in the destructor
  bool FReady = false;
};

const char* ZlibVersion();

}  // namespace zip
