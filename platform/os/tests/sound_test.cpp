#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <vector>

#include "os/alsa_sound.h"
#include "test_support.h"

namespace {

using os_test::TempDir;
using Clock = std::chrono::steady_clock;

// Sound files made by Python's own wave and aifc modules, not by the library under test.
class SoundFiles {
 public:
  SoundFiles() {
    const std::string script = dir_ / "make.py";
    os_test::WriteFile(script, R"(import sys, wave, math, struct, warnings
warnings.simplefilter("ignore")
import aifc
d = sys.argv[1]
def sine(n, rate, width, channels):
    out = bytearray()
    for i in range(n):
        v = math.sin(2 * math.pi * 440 * i / rate)
        for c in range(channels):
            if width == 1:
                out += struct.pack('<B', int(128 + 100 * v))
            else:
                out += struct.pack('<h', int(12000 * v * (1 if c == 0 else -1)))
    return bytes(out)
for name, rate, width, channels, n in [("mono16.wav", 22050, 2, 1, 2205), ("stereo16.wav", 44100, 2, 2, 4410),
                                       ("mono8.wav", 8000, 1, 1, 800), ("empty.wav", 8000, 2, 1, 0)]:
    w = wave.open(d + "/" + name, "wb")
    w.setnchannels(channels); w.setsampwidth(width); w.setframerate(rate)
    w.writeframes(sine(n, rate, width, channels)); w.close()
a = aifc.open(d + "/sound.aiff", "wb")
a.setnchannels(1); a.setsampwidth(2); a.setframerate(8000)
a.writeframes(struct.pack('>800h', *([1000] * 800))); a.close()
full = open(d + "/mono16.wav", "rb").read()
open(d + "/truncated.wav", "wb").write(full[:30])
open(d + "/text.wav", "w").write("RIFF? no, just text pretending to be a sound\n")
open(d + "/empty-file.wav", "wb").close()
open(d + "/mono16.pcm", "wb").write(full[44:])
)");
    const std::string command = "python3 '" + script + "' '" + dir_.path().string() + "'";
    ok_ = std::system(command.c_str()) == 0;
    ::mkfifo((dir_ / "fifo.wav").c_str(), 0600);
    std::filesystem::create_directory(dir_ / "folder.wav");
  }
  bool ok() const { return ok_; }
  std::string operator/(const std::string& name) const { return dir_ / name; }

 private:
  TempDir dir_;
  bool ok_ = false;
};

// ALSA's file plugin: a real PCM that writes what is played into a file.
std::string FileDevice(const std::string& path) { return "file:'" + path + "',raw"; }
const char* const kNoDevice = "hw:97";

std::vector<std::int16_t> Samples(const std::string& path) {
  const std::string bytes = os_test::ReadFile(path);
  std::vector<std::int16_t> samples(bytes.size() / 2);
  std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
  return samples;
}

TEST(Sound, FilesThatAreNotPlayableWavFailAtOnce) {
  SoundFiles files;
  ASSERT_TRUE(files.ok());
  os::AlsaSound sound("null");
  const std::string bad[] = {"missing.wav", "folder.wav", "fifo.wav",  "text.wav",
                             "truncated.wav", "empty-file.wav", "sound.aiff"};
  for (const auto& name : bad) {
    for (unsigned flags : {os::SND_ASYNC | os::SND_FILENAME, os::SND_SYNC | os::SND_FILENAME}) {
      const auto start = Clock::now();
      EXPECT_FALSE(sound.PlaySound(files / name, flags)) << name;
      EXPECT_LT(Clock::now() - start, std::chrono::seconds(2)) << name;
    }
  }
}

TEST(Sound, WavIsPlayedSampleForSample) {
  SoundFiles files;
  ASSERT_TRUE(files.ok());
  TempDir out;
  os::AlsaSound sound(FileDevice(out / "played.raw"));
  ASSERT_TRUE(sound.PlaySound(files / "mono16.wav", os::SND_SYNC | os::SND_FILENAME));
  const auto report = sound.LastPlayback();
  EXPECT_TRUE(report.deviceOpened);
  EXPECT_TRUE(report.completed);
  EXPECT_EQ(report.framesWritten, 2205u);
  EXPECT_EQ(report.rate, 22050u);
  EXPECT_EQ(os_test::ReadFile(out / "played.raw"), os_test::ReadFile(files / "mono16.pcm"));
}

TEST(Sound, AsyncReturnsAndPlaysInTheBackground) {
  SoundFiles files;
  ASSERT_TRUE(files.ok());
  struct Case {
    const char* name;
    int channels;
    std::uint64_t frames;
  };
  const Case cases[] = {{"stereo16.wav", 2, 4410}, {"mono8.wav", 1, 800}, {"empty.wav", 1, 0}};
  for (const auto& c : cases) {
    TempDir out;
    os::AlsaSound sound(FileDevice(out / "played.raw"));
    ASSERT_TRUE(sound.PlaySound(files / c.name, os::SND_ASYNC | os::SND_FILENAME)) << c.name;
    sound.WaitUntilIdle();
    const auto report = sound.LastPlayback();
    EXPECT_TRUE(report.completed) << c.name;
    EXPECT_EQ(report.channels, c.channels) << c.name;
    EXPECT_EQ(report.framesWritten, c.frames) << c.name;
    EXPECT_EQ(std::filesystem::file_size(out / "played.raw"), c.frames * 2 * c.channels) << c.name;
  }
}

TEST(Sound, BeepIsAToneOfTheAskedFrequencyAndLength) {
  TempDir out;
  os::AlsaSound sound(FileDevice(out / "beep.raw"));
  ASSERT_TRUE(sound.Beep(200, 500));
  const auto samples = Samples(out / "beep.raw");
  ASSERT_EQ(samples.size(), 24000u);  // 500 ms at 48 kHz
  int crossings = 0;
  int peak = 0;
  for (std::size_t i = 1; i < samples.size(); ++i) {
    if ((samples[i - 1] < 0) != (samples[i] < 0)) ++crossings;
    peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
  }
  EXPECT_NEAR(crossings, 200, 3);  // two per period, 100 periods
  EXPECT_GT(peak, 8000);
  // Faded in and out, so the tone does not click.
  EXPECT_LT(std::abs(samples.front()), 100);
  EXPECT_LT(std::abs(samples.back()), 100);
}

TEST(Sound, BeepFrequencyLimits) {
  TempDir out;
  os::AlsaSound sound(FileDevice(out / "beep.raw"));
  EXPECT_FALSE(sound.Beep(36, 100));
  EXPECT_FALSE(sound.Beep(32768, 100));
  EXPECT_TRUE(sound.Beep(30000, 100));  // beyond what the device renders: silence of that length
  const auto samples = Samples(out / "beep.raw");
  EXPECT_EQ(samples.size(), 4800u);
  for (auto s : samples) ASSERT_EQ(s, 0);
}

TEST(Sound, WithoutADeviceSoundIsSilentAndNothingWaits) {
  SoundFiles files;
  ASSERT_TRUE(files.ok());
  for (const char* device : {kNoDevice, "default"}) {
    os::AlsaSound sound(device);
    const auto start = Clock::now();
    EXPECT_TRUE(sound.PlaySound(files / "mono16.wav", os::SND_ASYNC | os::SND_FILENAME)) << device;
    EXPECT_TRUE(sound.PlaySound(files / "mono16.wav", os::SND_SYNC | os::SND_FILENAME)) << device;
    EXPECT_FALSE(sound.PlaySound(files / "missing.wav", os::SND_ASYNC | os::SND_FILENAME)) << device;
    const bool beeped = sound.Beep(200, 100);
    if (std::string(device) == kNoDevice) {
      EXPECT_FALSE(beeped);
    }
    sound.WaitUntilIdle();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3)) << device;
  }
}

// The header fields of a WAV file that a damaged or hostile file may hold anything in.
TEST(Sound, DamagedHeadersFailOrPlayWhatIsThere) {
  SoundFiles files;
  ASSERT_TRUE(files.ok());
  const std::string good = os_test::ReadFile(files / "mono16.wav");
  ASSERT_EQ(good.size(), 44u + 2205 * 2);
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint32_t value;
    int bytes;
    bool plays;
  };
  const Case cases[] = {
      {"no channels", 22, 0, 2, false},
      {"200 channels", 22, 200, 2, false},
      {"rate 0", 24, 0, 4, false},
      {"0 bits", 34, 0, 2, false},
      {"data longer than the file", 40, 0xFFFFFFFFu, 4, true},
      {"RIFF size wrong", 4, 12, 4, true},
  };
  TempDir dir;
  for (const auto& c : cases) {
    std::string bytes = good;
    for (int i = 0; i < c.bytes; ++i) bytes[c.offset + i] = static_cast<char>((c.value >> (8 * i)) & 0xFF);
    const std::string path = dir / "damaged.wav";
    os_test::WriteFile(path, bytes);
    TempDir out;
    os::AlsaSound sound(FileDevice(out / "played.raw"));
    EXPECT_EQ(sound.PlaySound(path, os::SND_SYNC | os::SND_FILENAME), c.plays) << c.what;
    if (c.plays) {
      EXPECT_EQ(sound.LastPlayback().framesWritten, 2205u) << c.what;
    }
  }
}

TEST(Sound, EmptyNameStopsAndSucceeds) {
  os::AlsaSound sound("null");
  EXPECT_TRUE(sound.PlaySound("", os::SND_ASYNC));
}

}  // namespace
