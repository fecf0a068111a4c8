#pragma once
// The real sound service: WAV files read with libsndfile, tones made here, both played on an
// ALSA device by one background player. One sound plays at a time; starting one stops the
// one that plays.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "os/sound.h"

namespace os {

class PcmSource;

class AlsaSound final : public Sound {
 public:
  // `device` is an ALSA PCM name; "default" is the desktop's output, "null" discards.
  explicit AlsaSound(std::string device = "default");
  ~AlsaSound() override;
  AlsaSound(const AlsaSound&) = delete;
  AlsaSound& operator=(const AlsaSound&) = delete;

  bool PlaySound(const std::string& file, unsigned flags) override;
  bool Beep(unsigned frequency, unsigned durationMs) override;

  // What became of the last sound started, once it has ended (see WaitUntilIdle).
  struct Playback {
    bool deviceOpened = false;
    bool completed = false;  // played to the end, not stopped
    std::uint64_t framesWritten = 0;
    unsigned rate = 0;
    int channels = 0;
  };
  Playback LastPlayback() const;
  // Waits for the sound that plays to end by itself.
  void WaitUntilIdle();
  // Stops the sound that plays, if any.
  void Stop();

 private:
  bool Start(std::unique_ptr<PcmSource> source, bool wait);
  void StopLocked();
  bool Run(PcmSource& source);

  const std::string device_;
  std::mutex mutex_;  // guards player_ and the start and stop of sounds
  std::thread player_;
  std::atomic<bool> stop_{false};
  mutable std::mutex reportMutex_;
  Playback last_;
};

}  // namespace os
