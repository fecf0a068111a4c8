#include "ZAModes.h"

namespace zip {

std::size_t BufferSizeForMode(int mode) {
  if (mode >= 1 && mode <= 3) return 0x80000;
  if (mode >= 7 && mode <= 9) return 0x180000;
  return 0x100000;
}

TZACompressionLevel LevelFromMode(int mode) {
  if (mode >= 1 && mode <= 3) return clFastest;
  if (mode >= 4 && mode <= 6) return clNormal;
  if (mode >= 7 && mode <= 9) return clMax;
  return clNone;
}

std::uint8_t ModeFromLevel(TZACompressionLevel level) {
  switch (level) {
    case clNone: return 0;
    case clFastest: return 1;
    case clNormal: return 6;
    case clMax: return 9;
  }
  return 0;
}

std::array<std::uint8_t, 2> ZlibHeaderForMode(int mode) {
  if (mode == 0 || (mode >= 7 && mode <= 9)) return {0x78, 0xDA};
  if (mode == 1 || mode == 2) return {0x78, 0x01};
  if (mode == 3 || mode == 4) return {0x78, 0x5E};
  if (mode == 5 || mode == 6) return {0x78, 0x9C};
  return {0x00, 0x00};
}

}  // namespace zip
