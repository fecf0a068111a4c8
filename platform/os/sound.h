#pragma once
// Sound: PlaySound of a WAV file and Beep, both played through ALSA.
//
// PlaySound(file, SND_ASYNC | SND_FILENAME) checks the file at once: a file that is missing
// or is not a readable WAV returns false with no sound. A good file returns true and plays
// in the background; a new PlaySound or Beep stops the sound that plays. Without SND_ASYNC the
// call returns when the sound has played. An empty file name stops the sound and returns true.
//
// Beep(frequency, ms) plays a sine tone of that frequency (37 to 32767 Hz, as the system
// accepts) and length and returns when it has played, like the system call. Frequencies the
// device cannot render (above half its rate) are silence of the same length.
//
// Where there is no sound device, playback is silent: PlaySound still checks the file and
// reports as above; Beep returns false at once. Nothing ever blocks waiting for a device.
#include <cstdint>
#include <string>

#include "os/service.h"

namespace os {

inline constexpr unsigned SND_SYNC = 0x0000;
inline constexpr unsigned SND_ASYNC = 0x0001;
inline constexpr unsigned SND_FILENAME = 0x00020000;

class Sound {
 public:
  virtual ~Sound() = default;
  virtual bool PlaySound(const std::string& file, unsigned flags) = 0;
  virtual bool Beep(unsigned frequency, unsigned durationMs) = 0;
};

template <>
Sound& RealService<Sound>();

// Shortcuts for Use<Sound>().
bool PlaySound(const std::string& file, unsigned flags);
bool Beep(unsigned frequency, unsigned durationMs);

}  // namespace os
