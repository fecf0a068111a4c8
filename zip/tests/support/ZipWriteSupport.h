#pragma once
// Test support for the write path: the engine driven in-process, and what the real peers say of
// the archives it writes.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ZAStream.h"
#include "ZipArchiver.h"
#include "ZipTestSupport.h"

namespace ziptest {

// An archiver set up for a test: no built-in dialog can come up (failures are answered with
// Ignore and recorded, volume questions from the disk).
struct TWriteRun {
  std::vector<std::string> Failures;  // "name: code" of every failure event, in order
  std::vector<int> FailureCodes;
};
void PrepareArchiver(zip::TZipArchiver& archiver, TWriteRun& run);

// Opens (or with create, creates) archive, runs actions inside one update bracket and closes it.
// Returns the commit's outcome.
zip::TZACommitResult WriteWithEngine(const fs::path& archive, bool create,
                                     const std::function<void(zip::TZipArchiver&)>& actions,
                                     const std::function<void(zip::TZipArchiver&)>& setup = {},
                                     TWriteRun* run = nullptr);

// What unzip -t, zip -T, 7-Zip's test and Python's zipfile (reading every member) say of an
// archive: empty when all four accept it, else what each reported. sevenZipName is the name 7-Zip
// opens (the first volume's for a split set); skip lists the checks not to run ("zip", "7z").
std::string PeerCheck(const fs::path& archive, const std::string& password = "",
                      const std::vector<std::string>& skip = {});

// Python's view of an archive: "name size crc method flags" per member, one a line.
std::string PythonListing(const fs::path& archive);

// Every member as Python reads it, in directory order: its name (an unflagged name from a Unix
// host taken as UTF-8, as unzip does) and its data as text (the CRC checked; members of one name
// each read on their own).
using TContents = std::vector<std::pair<std::string, std::string>>;
TContents PythonContents(const fs::path& archive);

// The engine name of a path.
std::string EngineName(const fs::path& path);

// A stream that promises more than it has (twice its size): the compressor sees the source end
// early (code 34).
class TShortStream final : public zip::TZAStream {
 public:
  explicit TShortStream(std::vector<std::uint8_t> data) : FInner(std::move(data)) {}
  explicit TShortStream(const std::string& text) : TShortStream(std::vector<std::uint8_t>(text.begin(), text.end())) {}
  std::size_t Read(void* buffer, std::size_t count) override { return FInner.Read(buffer, count); }
  std::size_t Write(const void* buffer, std::size_t count) override { return FInner.Write(buffer, count); }
  void Seek(std::int64_t position) override { FInner.Seek(position); }
  std::int64_t Position() const override { return FInner.Position(); }
  std::int64_t Size() const override { return FInner.Size() * 2; }
  void SetSize(std::int64_t size) override { FInner.SetSize(size); }

 private:
  zip::TZAMemoryStream FInner;
};

}  // namespace ziptest
