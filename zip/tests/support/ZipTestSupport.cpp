#include "ZipTestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace ziptest {

TTempDir::TTempDir() {
  std::string pattern = (fs::temp_directory_path() / "zipread-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  FPath = pattern;
}

TTempDir::~TTempDir() {
  std::error_code ec;
  // Read-only files and folders made by tests must go too.
  for (auto it = fs::recursive_directory_iterator(FPath, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(FPath, ec);
}

std::string Quote(const std::string& word) {
  std::string out = "'";
  for (char c : word) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

int Shell(const std::string& commandLine) {
  const int status = std::system(commandLine.c_str());
  if (status == -1) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunPython(const std::string& script, const std::vector<std::string>& args) {
  TTempDir dir;
  const fs::path file = dir / "script.py";
  WriteText(file, script);
  std::string line = "python3 " + Quote(file.string());
  for (const auto& a : args) line += " " + Quote(a);
  return Shell(line);
}

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const fs::path& path, const std::string& text) {
  WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::uint8_t> RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

std::vector<std::uint8_t> TextBytes(std::size_t size, std::uint32_t seed) {
  static const char* words[] = {"rendez-vous ", "secretariat ", "visite ", "message ", "agenda ",
                                "consigne ", "Orvalis ", "Pulse ", "\n", "0123456789 "};
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> out;
  out.reserve(size + 16);
  while (out.size() < size) {
    const char* w = words[rng() % 10];
    out.insert(out.end(), w, w + std::char_traits<char>::length(w));
  }
  out.resize(size);
  return out;
}

namespace {
void SetTime(const fs::path& p, std::time_t t) {
  struct timespec times[2] = {{t, 0}, {t, 0}};
  ::utimensat(AT_FDCWD, p.c_str(), times, 0);
}
}  // namespace

void MakeSampleTree(const fs::path& root) {
  fs::create_directories(root / "docs" / "deep");
  fs::create_directories(root / "empty-folder");
  WriteBytes(root / "readme.txt", TextBytes(5000, 1));
  WriteBytes(root / "random.bin", RandomBytes(70000, 2));
  WriteBytes(root / "empty.dat", {});
  WriteBytes(root / "docs" / "notes.txt", TextBytes(123, 3));
  WriteBytes(root / "docs" / "caf\xC3\xA9 \xC3\xA9t\xC3\xA9.txt", TextBytes(321, 7));  // "café été.txt"
  WriteBytes(root / "docs" / "deep" / "big.txt", TextBytes(3 * 1024 * 1024 + 17, 4));
  WriteBytes(root / "docs" / "deep" / "big.bin", RandomBytes(1024 * 1024 + 5, 5));
  WriteText(root / "run.sh", "#!/bin/sh\necho ok\n");
  fs::permissions(root / "run.sh", fs::perms(0755));
  WriteBytes(root / "private.txt", TextBytes(10, 6));
  fs::permissions(root / "private.txt", fs::perms(0600));
  StampTimes(root);
}

std::uint64_t MakeBenchTree(const fs::path& root) {
  const auto numbered = [](const char* prefix, int i, const char* ext) {
    std::string name(prefix);
    name.append(std::to_string(i)).append(ext);
    return name;
  };
  std::uint64_t bytes = 0;
  fs::create_directories(root / "small");
  for (int i = 0; i < 8; ++i) {
    WriteBytes(root / numbered("text", i, ".txt"), TextBytes(12 * 1024 * 1024, 100 + i));
    bytes += 12 * 1024 * 1024;
  }
  for (int i = 0; i < 4; ++i) {
    WriteBytes(root / numbered("random", i, ".bin"), RandomBytes(16 * 1024 * 1024, 200 + i));
    bytes += 16 * 1024 * 1024;
  }
  for (int i = 0; i < 3000; ++i) {
    WriteBytes(root / "small" / numbered("f", i, ".txt"), TextBytes(3000 + i % 5000, 300 + i));
    bytes += 3000 + i % 5000;
  }
  StampTimes(root);
  return bytes;
}

void StampTimes(const fs::path& root, std::time_t start) {
  std::time_t t = start - start % 2;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) SetTime(entry.path(), t += 3600 * 24 + 2);
  }
}

std::vector<std::string> ListTree(const fs::path& root) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string n = fs::relative(entry.path(), root).generic_string();
    if (entry.is_directory()) n += "/";
    names.push_back(n);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string CompareTrees(const fs::path& expected, const fs::path& actual, bool compareModes) {
  std::ostringstream diff;
  const auto a = ListTree(expected);
  const auto b = ListTree(actual);
  if (a != b) {
    diff << "names differ:";
    for (const auto& n : a) {
      if (!std::binary_search(b.begin(), b.end(), n)) diff << " missing " << n;
    }
    for (const auto& n : b) {
      if (!std::binary_search(a.begin(), a.end(), n)) diff << " extra " << n;
    }
    return diff.str();
  }
  for (const auto& n : a) {
    if (n.back() == '/') continue;
    const fs::path pa = expected / n, pb = actual / n;
    if (ReadBytes(pa) != ReadBytes(pb)) diff << n << ": bytes differ; ";
    struct stat sa {}, sb {};
    ::stat(pa.c_str(), &sa);
    ::stat(pb.c_str(), &sb);
    if (sa.st_mtime != sb.st_mtime) diff << n << ": time " << sa.st_mtime << " vs " << sb.st_mtime << "; ";
    if (compareModes && (sa.st_mode & 07777) != (sb.st_mode & 07777)) {
      diff << n << ": mode " << std::oct << (sa.st_mode & 07777) << " vs " << (sb.st_mode & 07777) << std::dec
           << "; ";
    }
  }
  return diff.str();
}

}  // namespace ziptest
