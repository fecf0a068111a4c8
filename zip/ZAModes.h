#pragma once
// How the archiver's compression mode (0-9) maps to levels, chunk sizes and zlib headers.
#include <array>
#include <cstddef>
#include <cstdint>

#include "ZATypes.h"

namespace zip {

std::size_t BufferSizeForMode(int mode);
TZACompressionLevel LevelFromMode(int mode);
std::uint8_t ModeFromLevel(TZACompressionLevel level);
// The two header bytes of a zlib stream for the mode, in stream order.
std::array<std::uint8_t, 2> ZlibHeaderForMode(int mode);

}  // namespace zip
