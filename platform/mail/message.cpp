#include "mail/message.h"

#include <vmime/vmime.hpp>

#include <algorithm>
#include <cctype>

#include "os/codepage.h"

namespace mail {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string TrimBlanks(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

bool IsValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t extra;
    std::uint32_t code;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
      code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      code = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= s.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      code = (code << 6) | (cc & 0x3F);
    }
    static constexpr std::uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (code < kMin[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

// Bytes in a declared character set, as UTF-8. ASCII and Latin-1 are read as Windows-1252,
// which every mail program writing them really means; what cannot be converted is read as
// Windows-1252 too, so no text is ever lost.
std::string ToUtf8(const std::string& bytes, const std::string& charsetName) {
  const std::string name = Lower(TrimBlanks(charsetName));
  const bool undeclared = name.empty() || name == "us-ascii" || name == "ascii" || name == "utf-8" || name == "utf8";
  if (undeclared) return IsValidUtf8(bytes) ? bytes : os::Cp1252ToUtf8(bytes);
  if (name == "iso-8859-1" || name == "latin1" || name == "iso8859-1" || name == "windows-1252" || name == "cp1252")
    return os::Cp1252ToUtf8(bytes);
  try {
    vmime::charsetConverterOptions options;
    options.silentlyReplaceInvalidSequences = true;
    std::string out;
    vmime::charset::convert(bytes, out, vmime::charset(name), vmime::charset(vmime::charsets::UTF_8), options);
    if (IsValidUtf8(out)) return out;
  } catch (const std::exception&) {
  }
  return os::Cp1252ToUtf8(bytes);
}

// The words of a header text, each from its own character set, as UTF-8.
std::string TextOf(const vmime::text& text) {
  std::string out;
  for (std::size_t i = 0; i < text.getWordCount(); ++i) {
    const auto word = text.getWordAt(i);
    out += ToUtf8(word->getBuffer(), word->getCharset().getName());
  }
  return out;
}

// The fields of a raw header block, unfolded, as written: name (lower case) and value.
std::vector<std::pair<std::string, std::string>> RawFields(std::string_view header) {
  std::vector<std::pair<std::string, std::string>> fields;
  for (const std::string& line : SplitLines(std::string(header))) {
    if (line.empty()) break;
    if ((line[0] == ' ' || line[0] == '\t')) {
      if (!fields.empty()) fields.back().second += " " + TrimBlanks(line);
      continue;
    }
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    fields.emplace_back(Lower(TrimBlanks(line.substr(0, colon))), TrimBlanks(line.substr(colon + 1)));
  }
  return fields;
}

std::string RawField(std::string_view header, const std::string& name) {
  for (const auto& [n, v] : RawFields(header))
    if (n == name) return v;
  return {};
}

// The raw header of a component parsed from `raw`, when vmime kept where it stood.
std::string_view RawHeaderOf(const vmime::header& header, const std::string& raw) {
  const std::size_t offset = header.getParsedOffset();
  const std::size_t length = header.getParsedLength();
  if (offset > raw.size() || length > raw.size() - offset) return {};
  return std::string_view(raw).substr(offset, length);
}

std::string ParameterOf(const vmime::header& header, const char* field, const char* parameter) {
  auto f = header.findField<vmime::parameterizedHeaderField>(field);
  if (!f || !f->hasParameter(parameter)) return {};
  return f->findParameter(parameter)->getValue().getBuffer();
}

vmime::mediaType MediaTypeOf(const vmime::header& header) {
  if (auto type = header.findFieldValue<vmime::mediaType>(vmime::fields::CONTENT_TYPE)) return *type;
  return vmime::mediaType("text", "plain");
}

// The decoded text of a body in its character set.
std::string DecodedText(const vmime::body& body, const vmime::header& header) {
  std::string bytes;
  vmime::utility::outputStreamStringAdapter out(bytes);
  body.getContents()->extract(out);
  out.flush();
  return ToUtf8(bytes, ParameterOf(header, vmime::fields::CONTENT_TYPE, "charset"));
}

bool IsAttachment(const vmime::header& header) {
  if (auto disposition = header.findFieldValue<vmime::contentDisposition>(vmime::fields::CONTENT_DISPOSITION))
    if (Lower(disposition->getName()) == "attachment") return true;
  return !ParameterOf(header, vmime::fields::CONTENT_DISPOSITION, "filename").empty() ||
         !ParameterOf(header, vmime::fields::CONTENT_TYPE, "name").empty();
}

void CollectParts(const vmime::bodyPart& part, const std::string& raw, std::vector<MessagePart>& parts, int depth) {
  const vmime::body& body = *part.getBody();
  if (body.getPartCount() > 0 && depth < 64) {
    for (std::size_t i = 0; i < body.getPartCount(); ++i) CollectParts(*body.getPartAt(i), raw, parts, depth + 1);
    return;
  }
  if (depth == 0) return;  // the message itself is not one of its parts
  const vmime::header& header = *part.getHeader();
  MessagePart p;
  p.contentType = RawField(RawHeaderOf(header, raw), "content-type");
  const vmime::mediaType type = MediaTypeOf(header);
  if (p.contentType.empty()) p.contentType = type.generate();
  p.isText = Lower(type.getType()) == "text" && !IsAttachment(header);
  if (p.isText) p.bodyLines = SplitLines(DecodedText(body, header));
  parts.push_back(std::move(p));
}

std::int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * static_cast<unsigned>(m + (m > 2 ? -3 : 9)) + 2) / 5 + static_cast<unsigned>(d) - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// Parts nest without a limit in MIME, but not in the parser's stack: a message with more
// multipart headers than any real mail has is read for its header alone.
constexpr std::size_t kMostMultiparts = 200;

std::size_t MultipartCount(const std::string& raw) {
  static constexpr std::string_view kWord = "multipart/";
  std::size_t count = 0;
  for (std::size_t i = 0; i + kWord.size() <= raw.size(); ++i) {
    std::size_t k = 0;
    while (k < kWord.size() && std::tolower(static_cast<unsigned char>(raw[i + k])) == kWord[k]) ++k;
    if (k == kWord.size()) ++count;
  }
  return count;
}

std::size_t HeaderEnd(const std::string& raw) {
  const std::size_t crlf = raw.find("\r\n\r\n");
  const std::size_t lf = raw.find("\n\n");
  if (crlf == std::string::npos && lf == std::string::npos) return raw.size();
  if (crlf == std::string::npos) return lf + 2;
  if (lf == std::string::npos) return crlf + 4;
  return std::min(crlf + 4, lf + 2);
}

}  // namespace

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    if (end == text.size()) break;
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

void Message::Clear() { *this = Message(); }

void Message::Parse(const std::string& raw) {
  Clear();
  vmime::message message;
  try {
    message.parse(MultipartCount(raw) > kMostMultiparts ? raw.substr(0, HeaderEnd(raw)) : raw);
  } catch (const std::exception&) {
    return;
  }
  const vmime::header& header = *message.getHeader();
  const std::string_view rawHeader = raw;  // its fields end at the first empty line
  try {
    if (auto subject = header.findFieldValue<vmime::text>(vmime::fields::SUBJECT)) subject_ = TextOf(*subject);
    if (auto organization = header.findFieldValue<vmime::text>(vmime::fields::ORGANIZATION))
      organization_ = TextOf(*organization);
    if (auto from = header.findFieldValue<vmime::mailbox>(vmime::fields::FROM))
      fromAddress_ = ToUtf8(from->getEmail().toString(), "");
    if (auto date = header.findFieldValue<vmime::datetime>(vmime::fields::DATE)) {
      const std::int64_t days = DaysFromCivil(date->getYear(), date->getMonth(), date->getDay());
      date_ = MessageDate{days * 86400 + date->getHour() * 3600 + date->getMinute() * 60 + date->getSecond() -
                          static_cast<std::int64_t>(date->getZone()) * 60};
    }
  } catch (const std::exception&) {
  }
  contentType_ = ToUtf8(RawField(rawHeader, "content-type"), "");
  messageId_ = RawField(rawHeader, "message-id");

  try {
    const vmime::mediaType type = MediaTypeOf(header);
    if (Lower(type.getType()) == "multipart") {
      CollectParts(message, raw, parts_, 0);
    } else if (Lower(type.getType()) == "text") {
      body_ = DecodedText(*message.getBody(), header);
    }
  } catch (const std::exception&) {
  }
}

}  // namespace mail
