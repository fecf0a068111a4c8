#include "os/sound.h"

#include "os/alsa_sound.h"

namespace os {

template <>
Sound& RealService<Sound>() {
  static AlsaSound real;
  return real;
}

bool PlaySound(const std::string& file, unsigned flags) { return Use<Sound>().PlaySound(file, flags); }
bool Beep(unsigned frequency, unsigned durationMs) { return Use<Sound>().Beep(frequency, durationMs); }

}  // namespace os
