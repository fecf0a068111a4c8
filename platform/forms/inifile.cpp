#include "forms/inifile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "forms/strings.h"
#include "os/codepage.h"

namespace forms {

namespace {

namespace fs = std::filesystem;

// Case folding of Windows-1252 letters, for names compared without regard to case.
unsigned char Fold(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
  switch (c) {
    case 0x8A: return 0x9A;  // Š
    case 0x8C: return 0x9C;  // Œ
    case 0x8E: return 0x9E;  // Ž
    case 0x9F: return 0xFF;  // Ÿ
    default: return c;
  }
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Fold(static_cast<unsigned char>(a[i])) != Fold(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

std::string TrimBlanks(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

// A name or value as it goes to disk: Windows-1252, and no line break inside.
std::string ForDisk(const std::string& utf8) {
  std::string s = os::Utf8ToCp1252(utf8);
  for (char& c : s)
    if (c == '\r' || c == '\n') c = ' ';
  return s;
}

struct Content {
  std::vector<std::string> lines;  // Windows-1252, without line ends
  bool readable = true;            // false: the file exists but could not be read
};

Content Load(const std::string& path) {
  Content c;
  std::error_code ec;
  if (!fs::exists(path, ec)) return c;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    c.readable = false;
    return c;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) {
    c.readable = false;
    return c;
  }
  const std::string data = buffer.str();
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find('\n', start);
    if (end == std::string::npos) end = data.size();
    std::string line = data.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    c.lines.push_back(std::move(line));
    start = end + 1;
  }
  return c;
}

// The name of a section header line, or false for any other line.
bool SectionName(const std::string& line, std::string& name) {
  const std::string t = TrimBlanks(line);
  if (t.size() < 2 || t.front() != '[') return false;
  const size_t close = t.find(']');
  if (close == std::string::npos) return false;
  name = TrimBlanks(t.substr(1, close - 1));
  return true;
}

// The key and raw value of a "key=value" line.
bool KeyLine(const std::string& line, std::string& key, std::string& value) {
  const size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  key = TrimBlanks(line.substr(0, eq));
  value = line.substr(eq + 1);
  return true;
}

std::string ValueOf(const std::string& raw) {
  std::string v = TrimBlanks(raw);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return v;
}

struct Range {
  size_t header;  // index of the section's header line
  size_t end;     // one past its last line
};

std::vector<Range> FindSections(const Content& c, const std::string& section) {
  std::vector<Range> out;
  std::string name;
  for (size_t i = 0; i < c.lines.size(); ++i) {
    if (!SectionName(c.lines[i], name) || !SameName(name, section)) continue;
    size_t end = i + 1;
    std::string other;
    while (end < c.lines.size() && !SectionName(c.lines[end], other)) ++end;
    out.push_back({i, end});
  }
  return out;
}

// Index of the first line of the first section holding the key, or npos.
size_t FindKey(const Content& c, const std::string& section, const std::string& key) {
  std::string k, v;
  for (const Range& r : FindSections(c, section)) {
    for (size_t i = r.header + 1; i < r.end; ++i)
      if (KeyLine(c.lines[i], k, v) && SameName(k, key)) return i;
    break;  // only the first section of that name is read
  }
  return std::string::npos;
}

// A file descriptor and the temporary file it writes, removed unless renamed into place.
class TempFile {
 public:
  explicit TempFile(const fs::path& target) {
    path_ = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    fd_ = mkstemp(path_.data());  // created readable and writable by its owner only
    if (fd_ < 0) throw EIniFileError("Impossible de créer un fichier temporaire pour " + target.string() + " : " +
                                     std::strerror(errno));
  }
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  void Write(const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
      const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) Fail("écriture");
      done += static_cast<size_t>(n);
    }
  }
  void KeepMode(mode_t mode) {
    if (::fchmod(fd_, mode & 07777) != 0) Fail("droits");
  }
  void CommitAs(const fs::path& target) {
    if (::fsync(fd_) != 0) Fail("écriture");
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) Fail("écriture");
    if (::rename(path_.c_str(), target.c_str()) != 0) Fail("remplacement");
    committed_ = true;
    // The new name itself must reach the disk.
    const int dir = ::open(target.parent_path().empty() ? "." : target.parent_path().c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
  }

 private:
  [[noreturn]] void Fail(const char* step) {
    throw EIniFileError("Erreur d'" + std::string(step) + " du fichier " + path_ + " : " + std::strerror(errno));
  }
  std::string path_;
  int fd_ = -1;
  bool committed_ = false;
};

void Save(const std::string& fileName, const Content& c) {
  fs::path target(fileName);
  std::error_code ec;
  // Through a symbolic link, the file it points to is replaced.
  if (fs::is_symlink(target, ec)) {
    const fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) target = resolved;
  }
  if (target.parent_path().empty()) target = fs::path(".") / target;
  std::string data;
  for (const auto& line : c.lines) {
    data += line;
    data += "\r\n";
  }
  TempFile temp(target);
  temp.Write(data);
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) temp.KeepMode(st.st_mode);
  temp.CommitAs(target);
}

Content LoadForWrite(const std::string& fileName) {
  Content c = Load(fileName);
  if (!c.readable)
    throw EIniFileError("Impossible de lire le fichier " + fileName + " : il ne sera pas réécrit");
  return c;
}

}  // namespace

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default) const {
  const Content c = Load(fileName_);
  const size_t i = FindKey(c, ForDisk(Section), ForDisk(Ident));
  if (i == std::string::npos) return Default;
  std::string k, v;
  KeyLine(c.lines[i], k, v);
  return os::Cp1252ToUtf8(ValueOf(v));
}

void TIniFile::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) {
  const std::string section = ForDisk(Section), key = ForDisk(Ident);
  Content c = LoadForWrite(fileName_);
  const std::string line = key + "=" + ForDisk(Value);
  const size_t i = FindKey(c, section, key);
  if (i != std::string::npos) {
    c.lines[i] = line;
  } else {
    const auto sections = FindSections(c, section);
    if (!sections.empty()) {
      // After the section's last line that is not blank.
      size_t at = sections.front().end;
      while (at > sections.front().header + 1 && TrimBlanks(c.lines[at - 1]).empty()) --at;
      c.lines.insert(c.lines.begin() + static_cast<long>(at), line);
    } else {
      c.lines.push_back("[" + section + "]");
      c.lines.push_back(line);
    }
  }
  Save(fileName_, c);
}

int TIniFile::ReadInteger(const std::string& Section, const std::string& Ident, int Default) const {
  return StrToIntDef(ReadString(Section, Ident, ""), Default);
}

void TIniFile::WriteInteger(const std::string& Section, const std::string& Ident, int Value) {
  WriteString(Section, Ident, std::to_string(Value));
}

bool TIniFile::ReadBool(const std::string& Section, const std::string& Ident, bool Default) const {
  return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TIniFile::WriteBool(const std::string& Section, const std::string& Ident, bool Value) {
  WriteString(Section, Ident, Value ? "1" : "0");
}

void TIniFile::EraseSection(const std::string& Section) {
  Content c = LoadForWrite(fileName_);
  const auto sections = FindSections(c, ForDisk(Section));
  if (sections.empty()) return;
  // Every section of that name goes, so that no older copy comes to light.
  for (auto it = sections.rbegin(); it != sections.rend(); ++it)
    c.lines.erase(c.lines.begin() + static_cast<long>(it->header), c.lines.begin() + static_cast<long>(it->end));
  Save(fileName_, c);
}

void TIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
  Content c = LoadForWrite(fileName_);
  const size_t i = FindKey(c, ForDisk(Section), ForDisk(Ident));
  if (i == std::string::npos) return;
  c.lines.erase(c.lines.begin() + static_cast<long>(i));
  Save(fileName_, c);
}

bool TIniFile::SectionExists(const std::string& Section) const {
  return !FindSections(Load(fileName_), ForDisk(Section)).empty();
}

bool TIniFile::ValueExists(const std::string& Section, const std::string& Ident) const {
  return FindKey(Load(fileName_), ForDisk(Section), ForDisk(Ident)) != std::string::npos;
}

void TIniFile::ReadSection(const std::string& Section, TStrings& Keys) const {
  Keys.Clear();
  const Content c = Load(fileName_);
  const auto sections = FindSections(c, ForDisk(Section));
  if (sections.empty()) return;
  std::string k, v;
  for (size_t i = sections.front().header + 1; i < sections.front().end; ++i)
    if (KeyLine(c.lines[i], k, v)) Keys.Add(os::Cp1252ToUtf8(k));
}

void TIniFile::ReadSections(TStrings& Sections) const {
  Sections.Clear();
  const Content c = Load(fileName_);
  std::string name;
  for (const auto& line : c.lines)
    if (SectionName(line, name)) Sections.Add(os::Cp1252ToUtf8(name));
}

}  // namespace forms
