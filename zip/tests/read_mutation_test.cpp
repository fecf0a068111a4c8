// A mutation run over the parsers and the data path: real archives, changed by a fixed-seed
// generator a bounded number of times, are opened and extracted. Whatever the bytes, the engine
// must not crash, hang or write outside the target folder, and must report through its exceptions.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "ZipEngineRun.h"
#include "ZipTestSupport.h"

namespace {

using namespace ziptest;

constexpr int MutantsPerArchive = 2000;

std::vector<std::uint8_t> Mutate(const std::vector<std::uint8_t>& original, std::mt19937& rng) {
  std::vector<std::uint8_t> b = original;
  if (b.empty()) return b;
  const auto anywhere = [&] { return static_cast<std::size_t>(rng() % b.size()); };
  // Most damage goes where the structure is: the last part of the file holds the directory.
  const auto nearEnd = [&] {
    const std::size_t tail = std::min<std::size_t>(b.size(), 2000);
    return b.size() - 1 - static_cast<std::size_t>(rng() % tail);
  };
  const int edits = 1 + static_cast<int>(rng() % 4);
  for (int e = 0; e < edits; ++e) {
    const std::size_t at = (rng() % 3 == 0) ? anywhere() : nearEnd();
    switch (rng() % 7) {
      case 0:
        b[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
        break;
      case 1:
        b[at] = static_cast<std::uint8_t>(rng());
        break;
      case 2: {  // a 16- or 32-bit field set to an extreme
        const std::uint8_t fill = (rng() % 2) ? 0xFF : 0x00;
        for (std::size_t i = at; i < std::min(b.size(), at + ((rng() % 2) ? 2 : 4)); ++i) b[i] = fill;
        break;
      }
      case 3:
        b.resize(at);
        if (b.empty()) return b;
        break;
      case 4: {
        const auto junk = RandomBytes(1 + rng() % 64, rng());
        b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), junk.begin(), junk.end());
        break;
      }
      case 5:
        b.erase(b.begin() + static_cast<std::ptrdiff_t>(at),
                b.begin() + static_cast<std::ptrdiff_t>(std::min(b.size(), at + 1 + rng() % 32)));
        if (b.empty()) return b;
        break;
      default: {  // a small random value into a 32-bit field
        const std::uint32_t v = rng() % 70000;
        for (std::size_t i = 0; i < 4 && at + i < b.size(); ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        break;
      }
    }
  }
  return b;
}

class MutatedArchives : public ::testing::TestWithParam<const char*> {};

TEST_P(MutatedArchives, NeverCrashNorEscape) {
  TTempDir dir;
  const fs::path src = dir / "src";
  fs::create_directories(src / "d" / "e");
  WriteBytes(src / "a.txt", TextBytes(3000, 1));
  WriteBytes(src / "d" / "b.bin", RandomBytes(2000, 2));
  WriteBytes(src / "d" / "e" / "c.txt", TextBytes(5000, 3));
  WriteBytes(src / "empty", {});
  const fs::path archive = dir / "orig.zip";
  std::string command = GetParam();
  command.replace(command.find("ARCH"), 4, Quote(archive.string()));
  ASSERT_EQ(0, Shell("cd " + Quote(src.string()) + " && " + command));
  const auto original = ReadBytes(archive);

  const fs::path jail = dir / "jail";
  std::mt19937 rng(20261210u + static_cast<std::uint32_t>(original.size()));
  int opened = 0;
  for (int i = 0; i < MutantsPerArchive; ++i) {
    const fs::path mutant = dir / "m.zip";
    WriteBytes(mutant, Mutate(original, rng));
    const fs::path out = jail / "out";
    fs::create_directories(out);
    const TEngineRun run = ExtractWithEngine(mutant, out, [](zip::TZipArchiver& a) {
      a.Password = "pw";
      a.OnPassword = [](auto*, const std::string&, std::string&, bool& skip) { skip = true; };
    });
    if (run.Opened) ++opened;
    // Failures are reported as the engine's own codes: bad data, bad sizes, files and folders that
    // cannot be made, an unsupported method, items that overlap or are cut short, a directory that
    // cannot be trusted whole.
    const std::vector<int> known = {8, 19, 20, 23, 34, 55, 80, 81, 83};
    for (int code : run.FailureCodes) EXPECT_NE(known.end(), std::find(known.begin(), known.end(), code)) << code;
    EXPECT_EQ(std::vector<std::string>{"out/"}, std::vector<std::string>{ListTree(jail).front()});
    for (const auto& name : ListTree(jail)) ASSERT_EQ(0u, name.rfind("out/", 0)) << name;
    fs::remove_all(out);
  }
  // Most mutants still open: the run reached past the directory into the data path.
  EXPECT_GT(opened, MutantsPerArchive / 4);
}

INSTANTIATE_TEST_SUITE_P(Archives, MutatedArchives,
                         ::testing::Values("zip -q -r -9 ARCH .", "zip -q -r - . > ARCH", "zip -q -r -fz ARCH .",
                                           "zip -q -r -P pw ARCH .", "7zz a -tzip -bd -bso0 ARCH ."));

}  // namespace
