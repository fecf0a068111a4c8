#include "forms/inifile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "forms/strings.h"
#include "os/codepage.h"

namespace forms {

namespace {

namespace fs = std::filesystem;

// Case folding of Windows-1252 letters, for names compared without regard to case. In a
// UTF-8 file only ASCII letters fold (a byte beyond ASCII is part of a longer character).
unsigned char Fold(unsigned char c, bool utf8) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (utf8) return c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
  switch (c) {
    case 0x8A: return 0x9A;  // Š
    case 0x8C: return 0x9C;  // Œ
    case 0x8E: return 0x9E;  // Ž
    case 0x9F: return 0xFF;  // Ÿ
    default: return c;
  }
}

std::string TrimBlanks(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";

struct Content {
  std::vector<std::string> lines;  // in the file's encoding, without line ends
  bool readable = true;            // false: the file exists but could not be read
  bool utf8 = false;               // the file starts with a UTF-8 byte-order mark

  bool SameName(const std::string& a, const std::string& b) const {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (Fold(static_cast<unsigned char>(a[i]), utf8) != Fold(static_cast<unsigned char>(b[i]), utf8)) return false;
    return true;
  }
  // A name or value as it goes into the file: in its encoding, and no line break inside.
  std::string ToFile(const std::string& text) const {
    std::string s = utf8 ? text : os::Utf8ToCp1252(text);
    for (char& c : s)
      if (c == '\r' || c == '\n') c = ' ';
    return s;
  }
  std::string FromFile(const std::string& raw) const { return utf8 ? raw : os::Cp1252ToUtf8(raw); }
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
  if (data.starts_with(kUtf8Mark)) {
    c.utf8 = true;
    start = sizeof kUtf8Mark - 1;
  }
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
    if (!SectionName(c.lines[i], name) || !c.SameName(name, section)) continue;
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
      if (KeyLine(c.lines[i], k, v) && c.SameName(k, key)) return i;
    break;  // only the first section of that name is read
  }
  return std::string::npos;
}

// Writes all of `data` at the descriptor's position; false (errno set) when it cannot.
bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The failure of one step of a save, naming the file to be saved and the system's reason.
[[noreturn]] void Fail(const char* step, const fs::path& target) {
  throw EIniFileError(std::string(step) + " du fichier " + target.string() + " : " + std::strerror(errno));
}

constexpr char kWriting[] = "Erreur d'\xC3\xA9" "criture";
constexpr char kOpening[] = "Erreur d'ouverture";

// A file descriptor and the temporary file it writes beside its target, removed unless
// renamed into place.
class TempFile {
 public:
  explicit TempFile(const fs::path& target) : target_(target) {
    path_ = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    fd_ = mkstemp(path_.data());  // created readable and writable by its owner only
    if (fd_ < 0) Fail("Impossible de cr\xC3\xA9" "er un fichier temporaire \xC3\xA0 c\xC3\xB4t\xC3\xA9", target_);
  }
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  void Write(const std::string& data) {
    if (!WriteAll(fd_, data)) Fail(kWriting, target_);
  }
  void KeepMode(mode_t mode) {
    if (::fchmod(fd_, mode & 07777) != 0) Fail("Erreur de droits", target_);
  }
  void Commit() {
    if (::fsync(fd_) != 0) Fail(kWriting, target_);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) Fail(kWriting, target_);
    if (::rename(path_.c_str(), target_.c_str()) != 0) Fail("Erreur de remplacement", target_);
    committed_ = true;
    // The new name itself must reach the disk.
    const int dir = ::open(target_.parent_path().empty() ? "." : target_.parent_path().c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
  }

 private:
  fs::path target_;
  std::string path_;
  int fd_ = -1;
  bool committed_ = false;
};

// Where no temporary file can be made beside it, an existing file is rewritten through its
// own name: the new text over the old one from the start, then the file cut to its length.
// This is not atomic, but it is the only way to save a file that may be written in a folder
// that may not.
void RewriteInPlace(const fs::path& target, const std::string& data) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) Fail(kOpening, target);
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) Fail(kOpening, target);
  if (!WriteAll(fd, data)) Fail(kWriting, target);
  if (::ftruncate(fd, static_cast<off_t>(data.size())) != 0 || ::fsync(fd) != 0) Fail(kWriting, target);
}

void Save(const std::string& fileName, const Content& c) {
  fs::path target(fileName);
  std::error_code ec;
  // Through a symbolic link, the file it points to is replaced.
  if (fs::is_symlink(target, ec)) {
    const fs::path resolved = fs::weakly_canonical(target, ec);
    if (!ec) target = resolved;
  }
  if (target.parent_path().empty()) target = fs::path(".") / target;
  std::string data = c.utf8 ? kUtf8Mark : "";
  for (const auto& line : c.lines) {
    data += line;
    data += "\r\n";
  }
  std::optional<TempFile> temp;
  try {
    temp.emplace(target);
  } catch (const EIniFileError&) {
    if (!fs::is_regular_file(target, ec)) throw;
    RewriteInPlace(target, data);
    return;
  }
  temp->Write(data);
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) temp->KeepMode(st.st_mode);
  temp->Commit();
}

void RefuseUnreadable(const Content& c, const std::string& fileName) {
  if (!c.readable)
    throw EIniFileError("Impossible de lire le fichier " + fileName + " : il ne sera pas réécrit");
}

// Index of the line after the last line of the section that is not blank.
size_t EndOfSection(const Content& c, const Range& r) {
  size_t at = r.end;
  while (at > r.header + 1 && TrimBlanks(c.lines[at - 1]).empty()) --at;
  return at;
}

}  // namespace

struct TIniFile::Held {
  Content content;
  std::vector<std::string> asRead;  // the lines when the pass began
  int depth = 0;
};

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}
TIniFile::~TIniFile() = default;

TIniFile::Pass::Pass(TIniFile& ini) : ini_(ini) {
  if (!ini_.held_) {
    ini_.held_ = std::make_unique<Held>();
    ini_.held_->content = Load(ini_.fileName_);
    ini_.held_->asRead = ini_.held_->content.lines;
  }
  ++ini_.held_->depth;
}

TIniFile::Pass::~Pass() {
  if (--ini_.held_->depth == 0) ini_.held_.reset();
}

void TIniFile::Pass::Commit() {
  Held& held = *ini_.held_;
  if (held.depth > 1 || held.content.lines == held.asRead) return;
  Save(ini_.fileName_, held.content);
  held.asRead = held.content.lines;
}

// A read sees the pass's copy, or else the file as it is now.
template <class Read>
auto TIniFile::Reading(Read read) const {
  if (held_) return read(held_->content);
  const Content c = Load(fileName_);
  return read(c);
}

// A change is made to the pass's copy, or else to the file at once; `change` tells whether
// it changed anything. A file that exists but cannot be read is never written.
template <class Change>
void TIniFile::Changing(Change change) {
  if (held_) {
    RefuseUnreadable(held_->content, fileName_);
    change(held_->content);
    return;
  }
  Content c = Load(fileName_);
  RefuseUnreadable(c, fileName_);
  if (change(c)) Save(fileName_, c);
}

std::string TIniFile::ReadString(const std::string& Section, const std::string& Ident,
                                 const std::string& Default) const {
  return Reading([&](const Content& c) {
    const size_t i = FindKey(c, c.ToFile(Section), c.ToFile(Ident));
    if (i == std::string::npos) return Default;
    std::string k, v;
    KeyLine(c.lines[i], k, v);
    return c.FromFile(ValueOf(v));
  });
}

void TIniFile::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value) {
  Changing([&](Content& c) {
    const std::string section = c.ToFile(Section), key = c.ToFile(Ident);
    const std::string line = key + "=" + c.ToFile(Value);
    const size_t i = FindKey(c, section, key);
    if (i != std::string::npos) {
      c.lines[i] = line;
    } else if (const auto sections = FindSections(c, section); !sections.empty()) {
      c.lines.insert(c.lines.begin() + static_cast<long>(EndOfSection(c, sections.front())), line);
    } else {
      c.lines.push_back("[" + section + "]");
      c.lines.push_back(line);
    }
    return true;
  });
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
  Changing([&](Content& c) {
    const auto sections = FindSections(c, c.ToFile(Section));
    // Every section of that name goes, so that no older copy comes to light.
    for (auto it = sections.rbegin(); it != sections.rend(); ++it)
      c.lines.erase(c.lines.begin() + static_cast<long>(it->header), c.lines.begin() + static_cast<long>(it->end));
    return !sections.empty();
  });
}

void TIniFile::DeleteKey(const std::string& Section, const std::string& Ident) {
  Changing([&](Content& c) {
    const size_t i = FindKey(c, c.ToFile(Section), c.ToFile(Ident));
    if (i == std::string::npos) return false;
    c.lines.erase(c.lines.begin() + static_cast<long>(i));
    return true;
  });
}

bool TIniFile::SectionExists(const std::string& Section) const {
  return Reading([&](const Content& c) { return !FindSections(c, c.ToFile(Section)).empty(); });
}

bool TIniFile::ValueExists(const std::string& Section, const std::string& Ident) const {
  return Reading(
      [&](const Content& c) { return FindKey(c, c.ToFile(Section), c.ToFile(Ident)) != std::string::npos; });
}

void TIniFile::ReadSection(const std::string& Section, TStrings& Keys) const {
  Keys.Clear();
  Reading([&](const Content& c) {
    const auto sections = FindSections(c, c.ToFile(Section));
    if (sections.empty()) return;
    std::string k, v;
    for (size_t i = sections.front().header + 1; i < sections.front().end; ++i)
      if (KeyLine(c.lines[i], k, v)) Keys.Add(c.FromFile(k));
  });
}

void TIniFile::ReadSections(TStrings& Sections) const {
  Sections.Clear();
  Reading([&](const Content& c) {
    std::string name;
    for (const auto& line : c.lines)
      if (SectionName(line, name)) Sections.Add(c.FromFile(name));
  });
}

}  // namespace forms
