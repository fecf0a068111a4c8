#include "os/alsa_sound.h"

#include <alsa/asoundlib.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace os {

// Interleaved signed 16-bit frames, read chunk by chunk.
class PcmSource {
 public:
  virtual ~PcmSource() = default;
  virtual int Channels() const = 0;
  virtual unsigned Rate() const = 0;
  // Fills up to `frames` frames; 0 at the end.
  virtual std::size_t Read(std::int16_t* out, std::size_t frames) = 0;
};

namespace {

constexpr std::size_t kChunkFrames = 1024;
constexpr unsigned kLatencyUs = 100000;
constexpr int kMaxChannels = 8;

class WavSource final : public PcmSource {
 public:
  WavSource(SNDFILE* file, const SF_INFO& info) : file_(file, &sf_close), info_(info) {}
  int Channels() const override { return info_.channels; }
  unsigned Rate() const override { return static_cast<unsigned>(info_.samplerate); }
  std::size_t Read(std::int16_t* out, std::size_t frames) override {
    const sf_count_t got = sf_readf_short(file_.get(), out, static_cast<sf_count_t>(frames));
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  }

 private:
  std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file_;
  SF_INFO info_;
};

class ToneSource final : public PcmSource {
 public:
  ToneSource(unsigned frequency, unsigned durationMs)
      : frequency_(frequency), total_(static_cast<std::uint64_t>(kRate) * durationMs / 1000) {}
  int Channels() const override { return 1; }
  unsigned Rate() const override { return kRate; }
  std::size_t Read(std::int16_t* out, std::size_t frames) override {
    std::size_t n = 0;
    const std::uint64_t fade = kRate / 200;  // 5 ms in and out, so the tone does not click
    for (; n < frames && done_ < total_; ++n, ++done_) {
      double sample = 0;
      if (2 * frequency_ < kRate) {
        const double t = static_cast<double>(done_) / kRate;
        sample = std::sin(2 * std::numbers::pi * frequency_ * t);
        const std::uint64_t edge = std::min(done_, total_ - 1 - done_);
        if (edge < fade) sample *= static_cast<double>(edge) / static_cast<double>(fade);
      }
      out[n] = static_cast<std::int16_t>(std::lround(sample * kAmplitude));
    }
    return n;
  }

 private:
  static constexpr unsigned kRate = 48000;
  static constexpr double kAmplitude = 0.4 * 32767;
  unsigned frequency_;
  std::uint64_t total_;
  std::uint64_t done_ = 0;
};

// alsa-lib prints every failure to find a card on stderr; no device is not an error here.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

struct PcmCloser {
  void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The file opened for reading when it is a WAV file this player can play, else null.
std::unique_ptr<PcmSource> OpenWav(const std::string& path) {
  // Only regular files: a FIFO or a device would block or never end.
  if (!IsRegularFile(path)) return nullptr;
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (!file) return nullptr;
  auto source = std::make_unique<WavSource>(file, info);
  const int major = info.format & SF_FORMAT_TYPEMASK;
  const bool wav = major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64;
  if (!wav || info.channels < 1 || info.channels > kMaxChannels || info.samplerate < 1 ||
      info.samplerate > 768000 || info.frames < 0)
    return nullptr;
  return source;
}

}  // namespace

AlsaSound::AlsaSound(std::string device) : device_(std::move(device)) {
  static std::once_flag quiet;
  std::call_once(quiet, [] { snd_lib_error_set_handler(&QuietAlsa); });
}

AlsaSound::~AlsaSound() { Stop(); }

bool AlsaSound::PlaySound(const std::string& file, unsigned flags) {
  if (file.empty()) {
    Stop();
    return true;
  }
  std::unique_ptr<PcmSource> source = OpenWav(file);
  if (!source) return false;
  const bool async = (flags & SND_ASYNC) != 0;
  const bool played = Start(std::move(source), !async);
  // A good file counts as played even where there is no device to hear it.
  return async || played || !LastPlayback().deviceOpened;
}

bool AlsaSound::Beep(unsigned frequency, unsigned durationMs) {
  if (frequency < 37 || frequency > 32767) return false;
  return Start(std::make_unique<ToneSource>(frequency, durationMs), true);
}

AlsaSound::Playback AlsaSound::LastPlayback() const {
  std::lock_guard lock(reportMutex_);
  return last_;
}

void AlsaSound::WaitUntilIdle() {
  std::lock_guard lock(mutex_);
  if (player_.joinable()) player_.join();
}

void AlsaSound::Stop() {
  std::lock_guard lock(mutex_);
  StopLocked();
}

void AlsaSound::StopLocked() {
  stop_ = true;
  if (player_.joinable()) player_.join();
  stop_ = false;
}

bool AlsaSound::Start(std::unique_ptr<PcmSource> source, bool wait) {
  std::lock_guard lock(mutex_);
  StopLocked();
  {
    std::lock_guard report(reportMutex_);
    last_ = Playback{};
  }
  if (wait) return Run(*source);
  player_ = std::thread([this, owned = std::move(source)] { Run(*owned); });
  return true;
}

bool AlsaSound::Run(PcmSource& source) {
  snd_pcm_t* raw = nullptr;
  if (snd_pcm_open(&raw, device_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0 || !raw) return false;
  std::unique_ptr<snd_pcm_t, PcmCloser> pcm(raw);
  if (snd_pcm_nonblock(pcm.get(), 0) < 0) return false;
  if (snd_pcm_set_params(pcm.get(), SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED,
                         static_cast<unsigned>(source.Channels()), source.Rate(), 1, kLatencyUs) < 0)
    return false;
  {
    std::lock_guard report(reportMutex_);
    last_.deviceOpened = true;
    last_.rate = source.Rate();
    last_.channels = source.Channels();
  }

  std::vector<std::int16_t> buffer(kChunkFrames * static_cast<std::size_t>(source.Channels()));
  std::uint64_t written = 0;
  bool failed = false;
  while (!stop_ && !failed) {
    const std::size_t frames = source.Read(buffer.data(), kChunkFrames);
    if (frames == 0) break;
    std::size_t offset = 0;
    while (offset < frames && !stop_) {
      snd_pcm_sframes_t n = snd_pcm_writei(pcm.get(), buffer.data() + offset * source.Channels(), frames - offset);
      if (n < 0) n = snd_pcm_recover(pcm.get(), static_cast<int>(n), 1);
      if (n < 0) {
        failed = true;
        break;
      }
      offset += static_cast<std::size_t>(n);
      written += static_cast<std::uint64_t>(n);
    }
  }
  const bool completed = !stop_ && !failed;
  if (completed)
    snd_pcm_drain(pcm.get());
  else
    snd_pcm_drop(pcm.get());
  std::lock_guard report(reportMutex_);
  last_.framesWritten = written;
  last_.completed = completed;
  return completed;
}

}  // namespace os
