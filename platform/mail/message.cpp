#include "mail/message.h"

#include <vmime/vmime.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <initializer_list>
#include <memory>
#include <string_view>

#include "os/codepage.h"

namespace mail {
namespace {

// What a mail may hold before the rest of it is left unread. No real mail comes near these;
// they keep the time and memory of a reading bounded whatever a sender writes.
constexpr std::size_t kDeepestNesting = 32;        // multipart levels followed, the message's own included
constexpr std::size_t kMostParts = 1000;           // parts taken, in order
constexpr std::size_t kMostLines = 1 << 20;        // lines of text taken from all the parts
constexpr std::size_t kLongestFieldValue = 65536;  // bytes of one header field kept

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char LowerChar(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerChar(c);
  return out;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerChar(a[i]) != LowerChar(b[i])) return false;
  return true;
}

std::string_view TrimBlanks(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

// ---------------------------------------------------------------------------------------------
// Character sets

// The length of the valid UTF-8 sequence at s[i], or 0 when the byte there does not start one.
std::size_t Utf8SequenceAt(std::string_view s, std::size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  std::size_t extra;
  std::uint32_t code;
  if (c < 0x80) return 1;
  if ((c & 0xE0) == 0xC0) {
    extra = 1;
    code = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2;
    code = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3;
    code = c & 0x07;
  } else {
    return 0;
  }
  if (extra >= s.size() - i) return 0;
  for (std::size_t k = 1; k <= extra; ++k) {
    const auto cc = static_cast<unsigned char>(s[i + k]);
    if ((cc & 0xC0) != 0x80) return 0;
    code = (code << 6) | (cc & 0x3F);
  }
  static constexpr std::uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (code < kMin[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return extra + 1;
}

bool IsValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = Utf8SequenceAt(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

// UTF-8 text with every byte that is not part of a valid sequence replaced by U+FFFD.
std::string RepairedUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = Utf8SequenceAt(s, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(s, i, n);
      i += n;
    }
  }
  return out;
}

// Bytes in a character set, as UTF-8. Text without a declared set (or declared as ASCII, which
// mail programs write by default) is UTF-8 when it is valid UTF-8, else Windows-1252. Text
// declared as UTF-8 keeps its valid characters; only its bad bytes become U+FFFD. ASCII and
// Latin-1 are read as Windows-1252, which every mail program writing them really means; an
// unknown set is read as Windows-1252 too, so no text is ever lost.
std::string ToUtf8(std::string_view bytes, std::string_view charsetName) {
  std::string name = Lower(TrimBlanks(charsetName));
  if (const auto star = name.find('*'); star != std::string::npos) name.resize(star);  // RFC 2231 language
  if (name.empty() || name == "us-ascii" || name == "ascii")
    return IsValidUtf8(bytes) ? std::string(bytes) : os::Cp1252ToUtf8(bytes);
  if (name == "utf-8" || name == "utf8") return IsValidUtf8(bytes) ? std::string(bytes) : RepairedUtf8(bytes);
  if (name == "iso-8859-1" || name == "latin1" || name == "iso8859-1" || name == "windows-1252" || name == "cp1252")
    return os::Cp1252ToUtf8(bytes);
  try {
    vmime::charsetConverterOptions options;
    options.silentlyReplaceInvalidSequences = true;
    std::string out;
    vmime::charset::convert(std::string(bytes), out, vmime::charset(name), vmime::charset(vmime::charsets::UTF_8),
                            options);
    return IsValidUtf8(out) ? out : RepairedUtf8(out);
  } catch (const std::exception&) {
  }
  return os::Cp1252ToUtf8(bytes);
}

// ---------------------------------------------------------------------------------------------
// Lines and header fields

// One line of the raw text: [begin, end) without its CR LF or LF; next is where the next starts.
struct Line {
  std::size_t begin, end, next;
};

Line LineAt(std::string_view raw, std::size_t pos) {
  const std::size_t lf = raw.find('\n', pos);
  Line line{pos, lf == std::string_view::npos ? raw.size() : lf, lf == std::string_view::npos ? raw.size() : lf + 1};
  if (line.end > line.begin && raw[line.end - 1] == '\r') --line.end;
  return line;
}

// The first value of each of some header fields, unfolded (each continuation line joins with one
// blank), as written.
class FieldReader {
 public:
  explicit FieldReader(std::initializer_list<std::string_view> names) : names_(names), values_(names_.size()) {}

  // One line of the header block (not the empty line that ends it).
  void Add(std::string_view line) {
    if (!line.empty() && IsBlank(line[0])) {
      if (current_ >= 0) Append(*values_[static_cast<std::size_t>(current_)], TrimBlanks(line), " ");
      return;
    }
    current_ = -1;
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return;
    const std::string_view name = TrimBlanks(line.substr(0, colon));
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (values_[i] || !EqualNoCase(name, names_[i])) continue;
      values_[i].emplace();
      Append(*values_[i], TrimBlanks(line.substr(colon + 1)), "");
      current_ = static_cast<int>(i);
      return;
    }
  }

  std::string Value(std::size_t i) const { return values_[i].value_or(std::string()); }
  bool Has(std::size_t i) const { return values_[i].has_value(); }

 private:
  static void Append(std::string& value, std::string_view text, std::string_view joint) {
    if (text.empty()) return;
    if (!value.empty()) value.append(joint);
    value.append(text.substr(0, kLongestFieldValue - std::min(kLongestFieldValue, value.size())));
  }

  std::vector<std::string_view> names_;
  std::vector<std::optional<std::string>> values_;
  int current_ = -1;
};

// Reads the header block that starts at pos; returns where its body starts (after the empty
// line, or the end of the text when there is none).
std::size_t ReadHeaderBlock(std::string_view raw, std::size_t pos, FieldReader& fields) {
  while (pos < raw.size()) {
    const Line line = LineAt(raw, pos);
    pos = line.next;
    if (line.end == line.begin) break;
    fields.Add(raw.substr(line.begin, line.end - line.begin));
  }
  return pos;
}

// The text without its comments "(...)" (which nest), quoted strings and escapes kept.
std::string WithoutComments(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  int depth = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '\\' && i + 1 < s.size()) {
      if (depth == 0) out.append(s, i, 2);
      ++i;
    } else if (depth == 0 && c == '"') {
      quoted = !quoted;
      out += c;
    } else if (!quoted && c == '(') {
      ++depth;
    } else if (!quoted && depth > 0 && c == ')') {
      if (--depth == 0) out += ' ';
    } else if (depth == 0) {
      out += c;
    }
  }
  return out;
}

// The parts of a structured value separated by `separator` outside quoted strings.
std::vector<std::string_view> SplitOutsideQuotes(std::string_view s, char separator) {
  std::vector<std::string_view> pieces;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\') {
      ++i;
    } else if (s[i] == '"') {
      quoted = !quoted;
    } else if (!quoted && s[i] == separator) {
      pieces.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
  pieces.push_back(s.substr(std::min(start, s.size())));
  return pieces;
}

std::string Unquoted(std::string_view s) {
  s = TrimBlanks(s);
  if (s.size() < 2 || s.front() != '"') return std::string(s);
  std::string out;
  for (std::size_t i = 1; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      out += s[++i];
    } else if (s[i] == '"') {
      break;
    } else {
      out += s[i];
    }
  }
  return out;
}

// A Content-Type or Content-Disposition value: its first token(s) in lower case and its
// parameters. Comments, blanks and folding around the tokens do not matter.
struct FieldValue {
  std::string type, subtype;  // the disposition has only a type
  std::vector<std::pair<std::string, std::string>> parameters;  // names in lower case

  std::string Parameter(std::string_view name) const {
    for (const auto& [n, v] : parameters)
      if (n == name) return v;
    return {};
  }
  // Whether the parameter is there with a value, also split or encoded (RFC 2231: name*, name*0...).
  bool HasParameter(std::string_view name) const {
    for (const auto& [n, v] : parameters)
      if (!v.empty() && n.compare(0, name.size(), name) == 0 && (n.size() == name.size() || n[name.size()] == '*'))
        return true;
    return false;
  }
};

FieldValue ReadFieldValue(std::string_view value) {
  FieldValue f;
  const std::string text = WithoutComments(value);
  const auto pieces = SplitOutsideQuotes(text, ';');
  const std::string_view media = pieces.front();
  const auto slash = media.find('/');
  f.type = Lower(TrimBlanks(media.substr(0, slash)));
  if (slash != std::string_view::npos) f.subtype = Lower(TrimBlanks(media.substr(slash + 1)));
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    const auto equals = pieces[i].find('=');
    if (equals == std::string_view::npos) continue;
    f.parameters.emplace_back(Lower(TrimBlanks(pieces[i].substr(0, equals))), Unquoted(pieces[i].substr(equals + 1)));
  }
  return f;
}

// ---------------------------------------------------------------------------------------------
// Header texts (RFC 2047 encoded words), addresses and dates

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string QDecoded(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '_') {
      out += ' ';
    } else if (s[i] == '=' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// Base64 (RFC 2045): the alphabet's characters, whatever lies between them; "=" ends a group.
std::string Base64Decoded(std::string_view s) {
  std::string out;
  out.reserve(s.size() / 4 * 3);
  std::uint32_t bits = 0;
  int count = 0;
  for (const char c : s) {
    static constexpr auto kValues = [] {
      std::array<std::int8_t, 256> values{};
      values.fill(-1);
      constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
      for (std::size_t i = 0; i < kAlphabet.size(); ++i)
        values[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
      return values;
    }();
    const int v = kValues[static_cast<unsigned char>(c)];
    if (v < 0) {
      if (c == '=') bits = 0, count = 0;
      continue;
    }
    bits = ((bits << 6) | static_cast<std::uint32_t>(v)) & 0xFFFFFF;
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

// A header text as UTF-8: encoded words "=?charset?B|Q?...?=" in their own character set (the
// blanks between two of them dropped), the rest as undeclared text.
std::string HeaderText(std::string_view value) {
  struct Piece {
    std::string bytes, charset;
    bool encoded;
  };
  std::vector<Piece> pieces;
  const auto addPlain = [&pieces](std::string_view text) {
    if (text.empty()) return;
    if (pieces.empty() || pieces.back().encoded) pieces.push_back({std::string(), std::string(), false});
    pieces.back().bytes.append(text);
  };
  std::size_t plainStart = 0, i = 0;
  std::size_t nextClose = 0;  // where the last search found "?=", so that each byte is searched once
  bool closeKnown = false;
  while ((i = value.find("=?", i)) != std::string_view::npos) {
    const std::size_t charsetEnd = value.find('?', i + 2);
    if (charsetEnd == std::string_view::npos) break;
    const std::size_t textStart = charsetEnd + 3;
    if (charsetEnd == i + 2 || charsetEnd - i > 80 || textStart > value.size() || value[charsetEnd + 2] != '?' ||
        std::string_view("BbQq").find(value[charsetEnd + 1]) == std::string_view::npos) {
      i += 2;
      continue;
    }
    if (!closeKnown || nextClose < textStart) {
      nextClose = value.find("?=", textStart);
      closeKnown = true;
    }
    if (nextClose == std::string_view::npos) break;
    if (nextClose - i > 2000) {
      i += 2;
      continue;
    }
    const std::string_view charset = value.substr(i + 2, charsetEnd - i - 2);
    if (charset.find_first_of(" \t") != std::string_view::npos) {
      i += 2;
      continue;
    }
    const std::string_view between = value.substr(plainStart, i - plainStart);
    const bool afterWord = !pieces.empty() && pieces.back().encoded;
    if (!(afterWord && TrimBlanks(between).empty())) addPlain(between);
    const std::string_view text = value.substr(textStart, nextClose - textStart);
    const bool base64 = value[charsetEnd + 1] == 'B' || value[charsetEnd + 1] == 'b';
    const std::string bytes = base64 ? Base64Decoded(text) : QDecoded(text);
    if (!pieces.empty() && pieces.back().encoded && EqualNoCase(pieces.back().charset, charset))
      pieces.back().bytes += bytes;
    else
      pieces.push_back({bytes, std::string(charset), true});
    i = plainStart = nextClose + 2;
  }
  addPlain(value.substr(std::min(plainStart, value.size())));
  std::string out;
  for (const Piece& p : pieces) out += ToUtf8(p.bytes, p.encoded ? p.charset : std::string());
  return out;
}

// The address of the first mailbox of an address field, as written: the text inside its angle
// brackets when it has them, else the address itself; comments and blanks around it dropped.
std::string AddressOf(std::string_view value) {
  std::string text = WithoutComments(value);
  // A group "name: mailbox, ...;" lists its mailboxes after the colon.
  {
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        quoted = !quoted;
      } else if (!quoted && (c == '<' || c == '@' || c == ',')) {
        break;
      } else if (!quoted && c == ':') {
        text.erase(0, i + 1);
        break;
      }
    }
  }
  std::string_view mailbox = SplitOutsideQuotes(text, ',').front();
  mailbox = SplitOutsideQuotes(mailbox, ';').front();
  // The angle brackets, outside quotes.
  bool quoted = false;
  for (std::size_t i = 0; i < mailbox.size(); ++i) {
    if (mailbox[i] == '\\') {
      ++i;
    } else if (mailbox[i] == '"') {
      quoted = !quoted;
    } else if (!quoted && mailbox[i] == '<') {
      mailbox = mailbox.substr(i + 1);
      mailbox = mailbox.substr(0, mailbox.find('>'));
      if (const auto route = mailbox.find(':'); route != std::string_view::npos && mailbox.substr(0, 1) == "@")
        mailbox = mailbox.substr(route + 1);  // an obsolete source route "@a,@b:"
      break;
    }
  }
  std::string address;
  quoted = false;
  for (const char c : mailbox) {
    if (c == '"') quoted = !quoted;
    if (quoted || !(IsBlank(c) || c == '\r' || c == '\n')) address += c;
  }
  return ToUtf8(address, "");
}

std::int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * static_cast<unsigned>(m + (m > 2 ? -3 : 9)) + 2) / 5 + static_cast<unsigned>(d) - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool AllDigits(std::string_view s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// The moment a Date field gives (RFC 5322, its obsolete forms and the asctime form); nothing
// when the day, month or year cannot be read, or a value is out of range.
std::optional<MessageDate> DateOf(std::string_view value) {
  static constexpr std::array<std::string_view, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                               "jul", "aug", "sep", "oct", "nov", "dec"};
  static constexpr std::array<std::pair<std::string_view, int>, 12> kZones = {
      {{"ut", 0}, {"utc", 0}, {"gmt", 0}, {"z", 0}, {"edt", -4 * 60}, {"est", -5 * 60}, {"cdt", -5 * 60},
       {"cst", -6 * 60}, {"mdt", -6 * 60}, {"mst", -7 * 60}, {"pdt", -7 * 60}, {"pst", -8 * 60}}};
  std::string text = WithoutComments(value.substr(0, 1000));
  for (char& c : text)
    if (c == ',') c = ' ';
  int day = -1, month = -1, year = -1, hour = 0, minute = 0, second = 0, zone = 0;
  bool timeSeen = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = text.find_first_not_of(" \t\r\n", pos);
    if (start == std::string::npos) break;
    pos = std::min(text.size(), text.find_first_of(" \t\r\n", start));
    const std::string token = Lower(std::string_view(text).substr(start, pos - start));
    if (!timeSeen && token.find(':') != std::string::npos) {
      const auto fields = SplitOutsideQuotes(token, ':');
      if (fields.size() > 3) return std::nullopt;
      for (const auto& f : fields)
        if (!AllDigits(f) || f.size() > 2) return std::nullopt;
      hour = std::stoi(std::string(fields[0]));
      minute = fields.size() > 1 ? std::stoi(std::string(fields[1])) : -1;
      second = fields.size() > 2 ? std::stoi(std::string(fields[2])) : 0;
      timeSeen = true;
    } else if ((token[0] == '+' || token[0] == '-') && token.size() == 5 && AllDigits(token.substr(1))) {
      const int hh = std::stoi(token.substr(1, 2)), mm = std::stoi(token.substr(3, 2));
      if (mm > 59) return std::nullopt;
      zone = (token[0] == '-' ? -1 : 1) * (hh * 60 + mm);
    } else if (AllDigits(token)) {
      if (token.size() > 4) return std::nullopt;
      const int n = std::stoi(token);
      if (day < 0 && token.size() <= 2) {
        day = n;
      } else if (year < 0) {
        year = token.size() == 2 ? (n < 50 ? 2000 + n : 1900 + n) : token.size() == 3 ? 1900 + n : n;
      }
    } else if (month < 0 && token.size() >= 3 &&
               std::find(kMonths.begin(), kMonths.end(), token.substr(0, 3)) != kMonths.end() &&
               std::isalpha(static_cast<unsigned char>(token[0]))) {
      month = static_cast<int>(std::find(kMonths.begin(), kMonths.end(), token.substr(0, 3)) - kMonths.begin()) + 1;
    } else {
      for (const auto& [name, offset] : kZones)
        if (token == name) zone = offset;
    }
  }
  if (day < 1 || month < 1 || year < 1000 || year > 9999) return std::nullopt;
  static constexpr int kDaysIn[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (day > kDaysIn[month - 1] || (month == 2 && day == 29 && !leap)) return std::nullopt;
  if (hour > 23 || minute < 0 || minute > 59 || second > 60) return std::nullopt;
  return MessageDate{DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second -
                     static_cast<std::int64_t>(zone) * 60};
}

// ---------------------------------------------------------------------------------------------
// Bodies and parts

// Quoted-printable (RFC 2045): "=" and two hex digits is a byte, "=" at the end of a line (blanks
// may follow it) joins the line to the next; any other "=" stays as it is.
std::string QuotedPrintableDecoded(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '=') {
      out += s[i];
      continue;
    }
    if (i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
      i += 2;
      continue;
    }
    std::size_t k = i + 1;
    while (k < s.size() && IsBlank(s[k])) ++k;
    if (k == s.size()) break;  // a soft break at the very end
    if (s[k] == '\n' || (s[k] == '\r' && k + 1 < s.size() && s[k + 1] == '\n')) {
      i = s[k] == '\r' ? k + 1 : k;
      continue;
    }
    out += '=';
  }
  return out;
}

// Uuencode: the lines between "begin ..." and the line of length zero (or "end"); a body
// without a "begin" line stays as it is.
std::string UudecodedOrAsIs(std::string_view s) {
  std::size_t pos = 0;
  bool begun = false;
  std::string out;
  while (pos < s.size()) {
    const Line line = LineAt(s, pos);
    pos = line.next;
    const std::string_view text = s.substr(line.begin, line.end - line.begin);
    if (!begun) {
      begun = text.substr(0, 6) == "begin ";
      continue;
    }
    if (text.empty() || text == "end") break;
    const auto value = [](char c) { return static_cast<std::uint32_t>((c - 0x20) & 0x3F); };
    std::size_t length = value(text[0]);
    if (length == 0) break;
    for (std::size_t k = 1; k < text.size() && length > 0; k += 4) {
      std::uint32_t group = 0;
      for (std::size_t g = 0; g < 4; ++g) group = (group << 6) | (k + g < text.size() ? value(text[k + g]) : 0);
      for (int b = 2; b >= 0 && length > 0; --b, --length) out += static_cast<char>((group >> (8 * b)) & 0xFF);
    }
  }
  return begun ? out : std::string(s);
}

// A body decoded from its transfer encoding; any other encoding leaves it as it is.
std::string TransferDecoded(std::string_view body, std::string_view encodingValue) {
  const std::string name = Lower(TrimBlanks(WithoutComments(encodingValue)));
  if (name == "base64") return Base64Decoded(body);
  if (name == "quoted-printable") return QuotedPrintableDecoded(body);
  if (name == "x-uuencode" || name == "x-uue" || name == "uuencode" || name == "uue") return UudecodedOrAsIs(body);
  return std::string(body);
}

// The header fields of a part that the reader needs.
class PartHeader {
 public:
  enum { kContentType, kTransferEncoding, kDisposition };
  FieldReader fields{"content-type", "content-transfer-encoding", "content-disposition"};

  // Its content type, read once the header is complete.
  const FieldValue& Type() const {
    if (!type) type = ReadFieldValue(fields.Value(kContentType));
    return *type;
  }

 private:
  mutable std::optional<FieldValue> type;
};

// A media type without a readable type is text/plain, as a missing one is (RFC 2045).
bool IsTextType(const FieldValue& type) { return type.type == "text" || type.type.empty() || type.subtype.empty(); }

std::string DecodedText(std::string_view body, const PartHeader& header) {
  return ToUtf8(TransferDecoded(body, header.fields.Value(PartHeader::kTransferEncoding)),
                header.Type().Parameter("charset"));
}

// The tree of parts of a multipart body, read in one pass over its lines: every delimiter line
// is matched against the boundaries of all the multiparts open around it, so each byte is read
// once whatever the depth, and no level is followed deeper than kDeepestNesting.
class PartScan {
 public:
  PartScan(std::string_view raw, std::vector<MessagePart>& parts) : raw_(raw), parts_(parts) {}

  // Reads the body from bodyBegin of a multipart with that boundary; false when none of its
  // parts appears.
  bool Run(std::size_t bodyBegin, const std::string& boundary) {
    levels_.push_back(Level{"--" + boundary, bodyBegin, false, nullptr});
    std::size_t pos = bodyBegin;
    while (pos < raw_.size() && !levels_.empty() && parts_.size() < kMostParts) {
      const Line line = LineAt(raw_, pos);
      pos = line.next;
      bool close = false;
      if (const int k = DelimitedLevel(line, close); k >= 0) {
        EndPart(line.begin);
        while (levels_.size() > static_cast<std::size_t>(k) + 1) EndLevel(line.begin);
        if (close) {
          EndLevel(line.begin);
          state_ = State::Between;
        } else {
          levels_.back().anyPart = true;
          header_ = std::make_unique<PartHeader>();
          state_ = State::Header;
        }
        continue;
      }
      if (state_ != State::Header) continue;
      if (line.end > line.begin) {
        header_->fields.Add(raw_.substr(line.begin, line.end - line.begin));
        continue;
      }
      // The part's header is complete: a multipart opens a level, anything else is a leaf.
      const FieldValue& type = header_->Type();
      const std::string innerBoundary = type.Parameter("boundary");
      if (type.type == "multipart" && !innerBoundary.empty() && levels_.size() < kDeepestNesting) {
        levels_.push_back(Level{"--" + innerBoundary, line.next, false, std::move(header_)});
        state_ = State::Between;
      } else {
        bodyBegin_ = line.next;
        state_ = State::Body;
      }
    }
    EndPart(raw_.size());
    while (!levels_.empty()) EndLevel(raw_.size());
    return topHasParts_;
  }

 private:
  enum class State { Between, Header, Body };  // outside any part (preamble, epilogue), in a part
  struct Level {
    std::string delimiter;  // "--" and the boundary
    std::size_t bodyBegin;
    bool anyPart;
    std::unique_ptr<PartHeader> header;  // the multipart's own (none for the message)
  };

  // The innermost open level whose delimiter the line is, or -1.
  int DelimitedLevel(const Line& line, bool& close) const {
    const std::string_view text = raw_.substr(line.begin, line.end - line.begin);
    if (text.size() < 2 || text[0] != '-' || text[1] != '-') return -1;
    for (std::size_t k = levels_.size(); k-- > 0;) {
      const std::string& d = levels_[k].delimiter;
      if (text.compare(0, d.size(), d) != 0) continue;
      std::string_view rest = text.substr(d.size());
      close = rest.substr(0, 2) == "--";
      if (close) rest.remove_prefix(2);
      if (rest.find_first_not_of(" \t") == std::string_view::npos) return static_cast<int>(k);
    }
    return -1;
  }

  // Where the body before the delimiter line at lineBegin ends: its last line break belongs to
  // the delimiter.
  std::size_t BodyEndBefore(std::size_t lineBegin, std::size_t bodyBegin) const {
    std::size_t end = lineBegin;
    if (end > 0 && raw_[end - 1] == '\n') --end;
    if (end > 0 && raw_[end - 1] == '\r') --end;
    return std::max(end, bodyBegin);
  }

  void EndPart(std::size_t lineBegin) {
    if (state_ == State::Header) AddPart(*header_, std::string_view(), false);
    if (state_ == State::Body) {
      const std::size_t end = lineBegin == raw_.size() ? raw_.size() : BodyEndBefore(lineBegin, bodyBegin_);
      AddPart(*header_, raw_.substr(bodyBegin_, end - bodyBegin_), false);
    }
    header_.reset();
    state_ = State::Between;
  }

  // Ends the innermost level. A multipart none of whose parts appeared reads as text.
  void EndLevel(std::size_t lineBegin) {
    Level& level = levels_.back();
    if (levels_.size() == 1) {
      topHasParts_ = level.anyPart;
    } else if (!level.anyPart) {
      const std::size_t end = lineBegin == raw_.size() ? raw_.size() : BodyEndBefore(lineBegin, level.bodyBegin);
      AddPart(*level.header, raw_.substr(level.bodyBegin, end - level.bodyBegin), true);
    }
    levels_.pop_back();
  }

  void AddPart(const PartHeader& header, std::string_view body, bool asText) {
    if (parts_.size() >= kMostParts) return;
    MessagePart p;
    p.contentType = header.fields.Has(PartHeader::kContentType) ? header.fields.Value(PartHeader::kContentType)
                                                                  : std::string("text/plain");
    const FieldValue& type = header.Type();
    const FieldValue disposition = ReadFieldValue(header.fields.Value(PartHeader::kDisposition));
    const bool attachment = disposition.type == "attachment" || disposition.HasParameter("filename") ||
                            type.HasParameter("name");
    p.isText = (asText || (IsTextType(type) && type.type != "multipart")) && !attachment;
    if (p.isText) {
      p.bodyLines = SplitLines(DecodedText(body, header), linesLeft_);
      linesLeft_ -= p.bodyLines.size();
    }
    parts_.push_back(std::move(p));
  }

  std::string_view raw_;
  std::vector<MessagePart>& parts_;
  std::vector<Level> levels_;
  State state_ = State::Between;
  std::unique_ptr<PartHeader> header_;
  std::size_t bodyBegin_ = 0;
  bool topHasParts_ = false;
  std::size_t linesLeft_ = kMostLines;
};

// The fields of the message's own header.
enum MessageField { kDate, kSubject, kFrom, kOrganization, kMessageId, kContentType, kTransferEncoding };

FieldReader MessageFields() {
  return FieldReader{"date", "subject", "from", "organization", "message-id", "content-type",
                     "content-transfer-encoding"};
}

}  // namespace

std::vector<std::string> SplitLines(const std::string& text, std::size_t mostLines) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size() && lines.size() < mostLines) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    if (end == text.size()) break;
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

void Message::Clear() { *this = Message(); }

void Message::ParseHeader(const std::string& raw) {
  std::string contentType, transferEncoding;
  ReadHeader(raw, contentType, transferEncoding);
}

std::size_t Message::ReadHeader(const std::string& raw, std::string& contentType, std::string& transferEncoding) {
  Clear();
  FieldReader fields = MessageFields();
  const std::size_t bodyBegin = ReadHeaderBlock(raw, 0, fields);
  if (fields.Has(kDate)) date_ = DateOf(fields.Value(kDate));
  subject_ = HeaderText(fields.Value(kSubject));
  organization_ = HeaderText(fields.Value(kOrganization));
  fromAddress_ = AddressOf(fields.Value(kFrom));
  contentType = fields.Value(kContentType);
  contentType_ = ToUtf8(contentType, "");
  messageId_ = fields.Value(kMessageId);
  transferEncoding = fields.Value(kTransferEncoding);
  return bodyBegin;
}

void Message::Parse(const std::string& raw) {
  std::string contentType, transferEncoding;
  const std::size_t bodyBegin = ReadHeader(raw, contentType, transferEncoding);
  const FieldValue type = ReadFieldValue(contentType);
  const std::string_view body = std::string_view(raw).substr(bodyBegin);
  const auto text = [&] { return ToUtf8(TransferDecoded(body, transferEncoding), type.Parameter("charset")); };
  if (type.type == "multipart") {
    const std::string boundary = type.Parameter("boundary");
    // A multipart none of whose parts appears is shown as the text it holds.
    if (boundary.empty() || !PartScan(raw, parts_).Run(bodyBegin, boundary)) body_ = text();
  } else if (IsTextType(type)) {
    body_ = text();
  }
}

}  // namespace mail
