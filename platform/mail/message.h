#pragma once
// A mail message taken apart: the header fields the client shows, and its text decoded from
// its transfer encoding (quoted-printable, base64, uuencode) and its character set into UTF-8.
//
// A message whose content type is "multipart/..." has parts: every leaf of its tree of parts,
// depth first, in order. A part is a text part when its media type is "text" and it is not an
// attachment (no "attachment" disposition, no file name). A multipart none of whose parts
// appears (its boundary is missing or never written) is read as text, as a leaf when nested.
// Any other message has no parts and its body is its text. Text without a declared character
// set is taken as UTF-8 when it is valid UTF-8, else as Windows-1252; an unknown character set
// is taken as Windows-1252 too; in text declared as UTF-8 only the bytes that are not UTF-8
// are replaced (by U+FFFD).
//
// Reading never fails on bad input: a field that cannot be understood is empty (a Date that
// cannot be read gives no date). Reading is bounded whatever the input: a single pass over the
// text finds the parts, multiparts followed 32 levels deep (deeper ones are parts that are not
// text), the first 1000 parts and the first 1048576 lines of their texts (or of the body)
// taken, the first 64 KB
// of a header field of the message kept. vmime then reads the header fields and decodes the
// bodies, from a copy holding only what the model reads.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mail {

// A moment as the date header gives it, in the sender's time and as seconds since 1970 (UTC).
struct MessageDate {
  std::int64_t unixTime = 0;
  bool operator==(const MessageDate&) const = default;
};

struct MessagePart {
  std::string contentType;  // the part's Content-Type value as written ("text/plain" when absent)
  bool isText = false;
  std::vector<std::string> bodyLines;  // decoded, in UTF-8 (text parts only)
};

class Message {
 public:
  // Takes the message (or only its header, as TOP n 0 gives it) apart; replaces what it held.
  void Parse(const std::string& raw);
  // Takes only the header fields apart (the date, subject, sender, content type, organisation
  // and message id), whatever follows them: no parts and no body. The cheap reading for a list.
  void ParseHeader(const std::string& raw);
  void Clear();

  std::optional<MessageDate> Date() const { return date_; }
  const std::string& Subject() const { return subject_; }
  const std::string& FromAddress() const { return fromAddress_; }  // the address of From, as written
  const std::string& ContentType() const { return contentType_; }   // as written, empty when absent
  const std::string& Organization() const { return organization_; }
  const std::string& MessageId() const { return messageId_; }
  const std::vector<MessagePart>& Parts() const { return parts_; }
  // The decoded text of a message without parts (lines joined by CR LF); empty for a
  // multipart message whose parts appear.
  const std::string& Body() const { return body_; }

 // What a reading of the header fields gives (it is made where they are read).
  struct Header;

 private:
  void Take(Header&& header);

  std::optional<MessageDate> date_;
  std::string subject_, fromAddress_, contentType_, organization_, messageId_, body_;
  std::vector<MessagePart> parts_;
};

// Splits a text into lines at CR LF, CR or LF (a last line without an end counts), up to the
// given number of lines.
std::vector<std::string> SplitLines(const std::string& text, std::size_t mostLines = SIZE_MAX);

}  // namespace mail
