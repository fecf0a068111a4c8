#include "mail/message.h"

#include <vmime/vmime.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <initializer_list>
#include <memory>
#include <random>
#include <string_view>

#include "mail/message_prescan.h"
#include "os/codepage.h"
#include "os/utf8.h"

namespace mail {
namespace {

using namespace prescan;

// ---------------------------------------------------------------------------------------------
// Character sets

// UTF-8 text with every byte that is not part of a valid sequence replaced by U+FFFD.
std::string RepairedUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = os::Utf8SequenceAt(s, i).Length;
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
    return os::IsWellFormedUtf8(bytes) ? std::string(bytes) : os::Cp1252ToUtf8(bytes);
  if (name == "utf-8" || name == "utf8") return os::IsWellFormedUtf8(bytes) ? std::string(bytes) : RepairedUtf8(bytes);
  if (name == "iso-8859-1" || name == "latin1" || name == "iso8859-1" || name == "windows-1252" || name == "cp1252")
    return os::Cp1252ToUtf8(bytes);
  try {
    vmime::charsetConverterOptions options;
    options.silentlyReplaceInvalidSequences = true;
    std::string out;
    vmime::charset::convert(std::string(bytes), out, vmime::charset(name), vmime::charset(vmime::charsets::UTF_8),
                            options);
    return os::IsWellFormedUtf8(out) ? out : RepairedUtf8(out);
  } catch (const std::exception&) {
  }
  return os::Cp1252ToUtf8(bytes);
}


// ---------------------------------------------------------------------------------------------
// Dates

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

// Whether a Date field has the form of a date (RFC 5322, its obsolete forms and the asctime
// form): a day that exists in its month and year, a time within a day. vmime reads any text as
// some date (an unreadable one as 1970, 25:15 as 00:15, an unknown month as February), so its
// reading is taken only for a field of this form.
bool DateIsReadable(std::string_view value) {
  static constexpr std::array<std::string_view, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                               "jul", "aug", "sep", "oct", "nov", "dec"};
  std::string text = WithoutComments(value.substr(0, 1000));
  for (char& c : text)
    if (c == ',') c = ' ';
  int day = -1, month = -1, year = -1, hour = 0, minute = 0, second = 0;
  bool timeSeen = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = text.find_first_not_of(" \t\r\n", pos);
    if (start == std::string::npos) break;
    pos = std::min(text.size(), text.find_first_of(" \t\r\n", start));
    const std::string token = Lower(std::string_view(text).substr(start, pos - start));
    if (!timeSeen && token.find(':') != std::string::npos) {
      const auto fields = SplitOutsideQuotes(token, ':');
      if (fields.size() > 3) return false;
      for (const auto& f : fields)
        if (!AllDigits(f) || f.size() > 2) return false;
      hour = std::stoi(std::string(fields[0]));
      minute = fields.size() > 1 ? std::stoi(std::string(fields[1])) : -1;
      second = fields.size() > 2 ? std::stoi(std::string(fields[2])) : 0;
      timeSeen = true;
    } else if ((token[0] == '+' || token[0] == '-') && token.size() == 5 && AllDigits(token.substr(1))) {
      if (std::stoi(token.substr(3, 2)) > 59) return false;
    } else if (AllDigits(token)) {
      if (token.size() > 4) return false;
      const int n = std::stoi(token);
      if (day < 0 && token.size() <= 2) {
        day = n;
      } else if (year < 0) {
        year = token.size() == 2 ? (n < 50 ? 2000 + n : 1900 + n) : token.size() == 3 ? 1900 + n : n;
      }
    } else if (month < 0 && token.size() >= 3 && std::isalpha(static_cast<unsigned char>(token[0])) &&
               std::find(kMonths.begin(), kMonths.end(), token.substr(0, 3)) != kMonths.end()) {
      month = static_cast<int>(std::find(kMonths.begin(), kMonths.end(), token.substr(0, 3)) - kMonths.begin()) + 1;
    }
  }
  if (day < 1 || month < 1 || year < 1000 || year > 9999) return false;
  static constexpr int kDaysIn[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (day > kDaysIn[month - 1] || (month == 2 && day == 29 && !leap)) return false;
  return hour <= 23 && minute >= 0 && minute <= 59 && second <= 60;
}


// ---------------------------------------------------------------------------------------------
// The copy of the mail given to vmime: the header fields the model reads (no others), each on
// one line; the parts the pre-scan found, in order, as the parts of one multipart whose boundary
// appears nowhere in the mail (so vmime splits exactly where the pre-scan did, and never follows
// a nesting the pre-scan did not); and for each part, instead of its body, its place in the
// list (vmime then parses headers alone, and its decoders are given each body once).

// A boundary found nowhere in the mail.
std::string FreshBoundary(std::string_view raw) {
  static constexpr std::string_view kChars = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 rng{std::random_device{}()};
  for (;;) {
    std::string boundary = "=_";
    for (int i = 0; i < 24; ++i) boundary += kChars[rng() % kChars.size()];
    if (raw.find(boundary) == std::string_view::npos) return boundary;
  }
}

// A parameter value vmime can be given as a token, or empty.
std::string TokenOrEmpty(std::string_view value) {
  for (const char c : value)
    if (!std::isalnum(static_cast<unsigned char>(c)) && std::string_view("-_.:+").find(c) == std::string_view::npos)
      return {};
  return std::string(value.substr(0, 64));
}

class CopyWriter {
 public:
  // One header field on one line (a CR or LF in the value becomes a blank).
  void Field(std::string_view name, std::string_view value, std::size_t longest) {
    out_.append(name).append(": ");
    const std::size_t start = out_.size();
    out_.append(CutAtCharacter(value, longest));
    for (std::size_t i = start; i < out_.size(); ++i)
      if (out_[i] == '\r' || out_[i] == '\n') out_[i] = ' ';
    out_.append("\r\n");
  }

  // The content fields of the message, and its parts.
  void Content(std::string_view raw, const PartFields& message, bool asText, const std::vector<Leaf>& parts) {
    if (parts.empty()) {
      LeafFields(message, asText);
      out_.append("\r\n");
      return;
    }
    const std::string boundary = FreshBoundary(raw);
    Field("Content-Type", "multipart/mixed; boundary=\"" + boundary + "\"", SIZE_MAX);
    out_.append("\r\n");
    for (std::size_t i = 0; i < parts.size(); ++i) {
      out_.append("--").append(boundary).append("\r\n");
      LeafFields(parts[i].fields, parts[i].asText);
      out_.append("\r\n").append(std::to_string(i)).append("\r\n");
    }
    out_.append("--").append(boundary).append("--\r\n");
  }

  std::string& Text() { return out_; }

 private:
  // The content fields of a part that is not followed as a multipart.
  void LeafFields(const PartFields& f, bool asText) {
    if (asText) {
      const std::string charset = TokenOrEmpty(ReadFieldValue(f.type.value_or("")).Parameter("charset"));
      Field("Content-Type", charset.empty() ? "text/plain" : "text/plain; charset=" + charset, SIZE_MAX);
    } else if (f.type && Lower(*f.type).find("multipart") != std::string::npos) {
      Field("Content-Type", "application/octet-stream", SIZE_MAX);  // a multipart not followed
    } else if (f.type) {
      Field("Content-Type", *f.type, kLongestPartFieldValue);
    }
    if (!f.encoding.empty()) Field("Content-Transfer-Encoding", f.encoding, kLongestPartFieldValue);
    if (!f.disposition.empty()) Field("Content-Disposition", f.disposition, kLongestPartFieldValue);
  }

  std::string out_;
};

// ---------------------------------------------------------------------------------------------
// Reading vmime's result

// The words of a header text, each run of words in one character set converted as one, as UTF-8.
std::string TextOf(const vmime::text& text) {
  std::string out, bytes, charset;
  for (std::size_t i = 0; i < text.getWordCount(); ++i) {
    const auto word = text.getWordAt(i);
    const std::string name = word->getCharset().getName();
    if (i > 0 && !EqualNoCase(name, charset)) {
      out += ToUtf8(bytes, charset);
      bytes.clear();
    }
    charset = name;
    bytes += word->getBuffer();
  }
  return out + ToUtf8(bytes, charset);
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

bool IsAttachment(const vmime::header& header) {
  if (auto disposition = header.findFieldValue<vmime::contentDisposition>(vmime::fields::CONTENT_DISPOSITION))
    if (Lower(disposition->getName()) == "attachment") return true;
  return !ParameterOf(header, vmime::fields::CONTENT_DISPOSITION, "filename").empty() ||
         !ParameterOf(header, vmime::fields::CONTENT_TYPE, "name").empty();
}

// Bytes decoded by vmime's decoder of that name.
std::string VmimeDecoded(const std::string& name, const std::string& encoded) {
  const auto decoder = vmime::utility::encoder::encoderFactory::getInstance()->create(name);
  std::string decoded;
  vmime::utility::inputStreamStringAdapter in(encoded);
  vmime::utility::outputStreamStringAdapter out(decoded);
  decoder->decode(in, out);
  out.flush();
  return decoded;
}

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// Quoted-printable as vmime's decoder reads it well: blanks between a soft line break's "=" and
// the line end dropped, any other "=" not followed by two hex digits written as "=3D" (vmime
// makes a NUL or a wrong byte of it), a last lone "=" dropped.
std::string QuotedPrintableForVmime(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '=' || (i + 2 < s.size() && IsHex(s[i + 1]) && IsHex(s[i + 2]))) {
      out += s[i];
      continue;
    }
    std::size_t k = i + 1;
    while (k < s.size() && IsBlank(s[k])) ++k;
    if (k == s.size()) break;
    if (s[k] == '\n' || (s[k] == '\r' && k + 1 < s.size() && s[k + 1] == '\n')) {
      out += '=';
      i = k - 1;  // the line end follows
    } else {
      out += "=3D";
    }
  }
  return out;
}

// Base64 without what is not of its alphabet (vmime's decoder reads such bytes as data).
std::string Base64ForVmime(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (const char c : s)
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '=') out += c;
  return out;
}

bool HasUuencodeBegin(std::string_view s) {
  for (std::size_t pos = 0; pos < s.size();) {
    const Line line = LineAt(s, pos);
    if (s.substr(line.begin, 6) == "begin ") return true;
    pos = line.next;
  }
  return false;
}

// A body decoded from its transfer encoding by vmime; an encoding vmime does not know leaves
// it as it is.
std::string TransferDecoded(std::string_view body, std::string name) {
  name = Lower(TrimBlanks(WithoutComments(name)));
  try {
    if (name.empty() || name == "7bit" || name == "8bit" || name == "binary") return std::string(body);
    if (name == "quoted-printable") return VmimeDecoded(name, QuotedPrintableForVmime(body));
    if (name == "base64") return VmimeDecoded(name, Base64ForVmime(body));
    if (name == "x-uuencode" || name == "x-uue" || name == "uuencode" || name == "uue")
      return HasUuencodeBegin(body) ? VmimeDecoded("uuencode", std::string(body)) : std::string(body);
    return VmimeDecoded(name, std::string(body));
  } catch (const std::exception&) {
  }
  return std::string(body);
}

// The text of a raw body, decoded as the header vmime read says.
std::string DecodedText(std::string_view body, const vmime::header& header) {
  std::string encoding;
  if (auto e = header.findFieldValue<vmime::encoding>(vmime::fields::CONTENT_TRANSFER_ENCODING))
    encoding = e->getName();
  return ToUtf8(TransferDecoded(body, encoding), ParameterOf(header, vmime::fields::CONTENT_TYPE, "charset"));
}

// The parts as vmime read them, each matched to the raw body it stands for.
class PartCollector {
 public:
  PartCollector(std::string_view raw, const std::vector<Leaf>& leaves, std::vector<MessagePart>& parts)
      : raw_(raw), leaves_(leaves), parts_(parts) {}

  void Collect(const vmime::body& body) {
    for (std::size_t i = 0; i < body.getPartCount(); ++i) {
      const vmime::bodyPart& part = *body.getPartAt(i);
      std::string place;
      vmime::utility::outputStreamStringAdapter out(place);
      part.getBody()->getContents()->extractRaw(out);
      out.flush();
      if (place.empty() || place.size() > 4 || !AllDigits(place)) continue;
      const std::size_t index = std::stoul(place);
      if (index < leaves_.size()) Add(leaves_[index], *part.getHeader());
    }
  }

 private:
  void Add(const Leaf& leaf, const vmime::header& header) {
    MessagePart p;
    p.contentType = leaf.ContentType();
    p.isText = (leaf.asText || Lower(MediaTypeOf(header).getType()) == "text") && !IsAttachment(header);
    if (p.isText) {
      const std::string_view body = raw_.substr(leaf.bodyBegin, leaf.bodyEnd - leaf.bodyBegin);
      p.bodyLines = SplitLines(DecodedText(body, header), linesLeft_);
      linesLeft_ -= p.bodyLines.size();
    }
    parts_.push_back(std::move(p));
  }

  std::string_view raw_;
  const std::vector<Leaf>& leaves_;
  std::vector<MessagePart>& parts_;
  std::size_t linesLeft_ = kMostLines;
};

// The text up to the end of its mostLines-th line (ended by CR LF, CR or LF); the rest dropped.
std::string FirstLines(std::string text, std::size_t mostLines) {
  std::size_t lines = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    if (++lines == mostLines) {
      text.resize(i + 1);
      break;
    }
  }
  return text;
}

// ---------------------------------------------------------------------------------------------
// The message's own header

enum MessageField { kDate, kSubject, kFrom, kOrganization, kMessageId, kContentType, kTransferEncoding, kDisposition };

FieldReader MessageFields() {
  return FieldReader{"date",       "subject",      "from", "organization", "message-id", "content-type",
                     "content-transfer-encoding", "content-disposition"};
}

// The fields vmime reads for the model, into the copy.
void WriteHeaderFields(const FieldReader& fields, CopyWriter& copy) {
  if (fields.Has(kDate)) copy.Field("Date", fields.Value(kDate), kLongestFieldValue);
  if (fields.Has(kSubject)) copy.Field("Subject", fields.Value(kSubject), kLongestFieldValue);
  if (fields.Has(kOrganization)) copy.Field("Organization", fields.Value(kOrganization), kLongestFieldValue);
  copy.Field("MIME-Version", "1.0", SIZE_MAX);
}

// The address of the first mailbox of an address field as vmime reads it, as written: vmime
// adds the local host name to an address without a domain, which the sender did not write, and
// keeps an obsolete source route "@a,@b:" in the local part. It is given the value without its
// comments, since it drops the first letter of a mailbox that follows one; they leave no blank,
// which would split "jean(x)@exemple.fr".
std::string AddressOf(const std::string& written) {
  const std::string value = WithoutComments(written, /*blank=*/false);
  vmime::addressList list;
  list.parse(value);
  std::shared_ptr<const vmime::mailbox> mailbox;
  for (std::size_t i = 0; i < list.getAddressCount() && !mailbox; ++i) {
    const auto address = list.getAddressAt(i);
    if (!address->isGroup()) {
      mailbox = vmime::dynamicCast<const vmime::mailbox>(address);
    } else if (const auto group = vmime::dynamicCast<const vmime::mailboxGroup>(address); group->getMailboxCount() > 0) {
      mailbox = group->getMailboxAt(0);
    }
  }
  if (!mailbox) return {};
  std::string local = mailbox->getEmail().getLocalName().getBuffer();
  const std::string domain = mailbox->getEmail().getDomainName().getBuffer();
  if (const auto route = local.rfind(':'); !local.empty() && local[0] == '@' && route != std::string::npos)
    local.erase(0, route + 1);
  std::string compact;
  for (const char c : value)
    if (!IsBlank(c)) compact += LowerChar(c);
  const bool domainWritten = !domain.empty() && compact.find("@" + Lower(domain)) != std::string::npos;
  return ToUtf8(domainWritten ? local + "@" + domain : local, "");
}

}  // namespace

// What vmime read of the fields the pre-scan gave it, and the fields taken as written.
struct Message::Header {
  std::optional<MessageDate> date;
  std::string subject, from, contentType, organization, messageId;
};

namespace {

Message::Header HeaderOf(const FieldReader& fields, const vmime::header& header) {
  Message::Header v;
  v.contentType = ToUtf8(fields.Value(kContentType), "");
  v.messageId = fields.Value(kMessageId);
  try {
    if (auto subject = header.findFieldValue<vmime::text>(vmime::fields::SUBJECT)) v.subject = TextOf(*subject);
    if (auto organization = header.findFieldValue<vmime::text>(vmime::fields::ORGANIZATION))
      v.organization = TextOf(*organization);
    if (auto date = header.findFieldValue<vmime::datetime>(vmime::fields::DATE); date && DateIsReadable(fields.Value(kDate))) {
      const std::int64_t days = DaysFromCivil(date->getYear(), date->getMonth(), date->getDay());
      v.date = MessageDate{days * 86400 + date->getHour() * 3600 + date->getMinute() * 60 + date->getSecond() -
                           static_cast<std::int64_t>(date->getZone()) * 60};
    }
  } catch (const std::exception&) {
  }
  try {
    if (fields.Has(kFrom)) v.from = AddressOf(fields.Value(kFrom));
  } catch (const std::exception&) {
  }
  return v;
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

void Message::Take(Header&& h) {
  date_ = h.date;
  subject_ = std::move(h.subject);
  fromAddress_ = std::move(h.from);
  contentType_ = std::move(h.contentType);
  organization_ = std::move(h.organization);
  messageId_ = std::move(h.messageId);
}

void Message::ParseHeader(const std::string& raw) {
  Clear();
  FieldReader fields = MessageFields();
  ReadHeaderBlock(raw, 0, fields);
  CopyWriter copy;
  WriteHeaderFields(fields, copy);
  copy.Text().append("\r\n");
  vmime::message message;
  try {
    message.parse(copy.Text());
  } catch (const std::exception&) {
  }
  Take(HeaderOf(fields, *message.getHeader()));
}

void Message::Parse(const std::string& raw) {
  Clear();
  FieldReader fields = MessageFields();
  const std::size_t bodyBegin = ReadHeaderBlock(raw, 0, fields);

  // The parts, as the pre-scan finds them.
  PartFields content;
  if (fields.Has(kContentType)) content.type = fields.Value(kContentType);
  content.encoding = fields.Value(kTransferEncoding);
  content.disposition = fields.Value(kDisposition);
  const FieldValue type = ReadFieldValue(content.type.value_or(std::string()));
  std::vector<Leaf> leaves;
  bool multipart = false, asText = false;
  if (type.type == "multipart") {
    // A multipart none of whose parts appears is shown as the text it holds.
    const std::string boundary = type.Parameter("boundary");
    multipart = !boundary.empty() && ScanParts(raw, bodyBegin, boundary, leaves);
    asText = !multipart;
  }

  // vmime reads the copy; its decoders read the raw bodies.
  CopyWriter copy;
  WriteHeaderFields(fields, copy);
  copy.Content(raw, content, asText, leaves);
  vmime::message message;
  bool parsed = true;
  try {
    message.parse(copy.Text());
  } catch (const std::exception&) {
    parsed = false;
  }
  const vmime::header& header = *message.getHeader();
  Take(HeaderOf(fields, header));
  if (!parsed) return;
  try {
    if (multipart) {
      PartCollector(raw, leaves, parts_).Collect(*message.getBody());
    } else if (asText || Lower(MediaTypeOf(header).getType()) == "text") {
      body_ = FirstLines(DecodedText(std::string_view(raw).substr(bodyBegin), header), kMostLines);
    }
  } catch (const std::exception&) {
  }
}

}  // namespace mail
