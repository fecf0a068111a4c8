#pragma once
// Test support for the read path: temporary folders, peer tools (Info-ZIP zip and unzip, 7-Zip,
// Python's zipfile), sample trees and tree comparison.
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace ziptest {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const fs::path& Path() const { return FPath; }
  fs::path operator/(const std::string& name) const { return FPath / name; }

 private:
  fs::path FPath;
};

// Runs a shell command line; returns its exit status (-1 when it could not run).
int Shell(const std::string& commandLine);
// Runs a Python 3 script (given as text) with the arguments; returns its exit status.
int RunPython(const std::string& script, const std::vector<std::string>& args = {});
// Single-quotes a word for the shell.
std::string Quote(const std::string& word);

std::vector<std::uint8_t> ReadBytes(const fs::path& path);
void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes);
void WriteText(const fs::path& path, const std::string& text);

// Deterministic pseudo-random bytes; compressible ones repeat words.
std::vector<std::uint8_t> RandomBytes(std::size_t size, std::uint32_t seed);
std::vector<std::uint8_t> TextBytes(std::size_t size, std::uint32_t seed);

// A small tree of mixed content: text and random files, an empty file, an empty folder, a nested
// folder, a file larger than one read chunk (1 MiB), an executable script, fixed modification times.
void MakeSampleTree(const fs::path& root);

// The benchmarks' tree: text-like data (compresses well), random data (does not) and many small
// files, about 180 MB with fixed modification times. Returns its plain size in bytes.
std::uint64_t MakeBenchTree(const fs::path& root);

// Gives every file below root its own fixed modification time from start on, in even seconds
// (the zip format's DOS times have two-second steps).
void StampTimes(const fs::path& root, std::time_t start = 1700000000);

// Compares two extracted trees: the same names, kinds, bytes, modification times (to the second
// for files) and permission bits. Returns an empty string when equal, else what differs.
std::string CompareTrees(const fs::path& expected, const fs::path& actual, bool compareModes = true);

// Every regular file and folder below root, relative, sorted.
std::vector<std::string> ListTree(const fs::path& root);

}  // namespace ziptest
