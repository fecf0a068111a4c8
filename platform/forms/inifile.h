#pragma once
// TIniFile: an INI file, read and written as the platform's private-profile functions do.
//
// - Each call works on the file as it is on disk: it is read afresh, and every write
//   rewrites it at once and atomically (a temporary file beside it, flushed, then renamed
//   over it), so a crash during a save leaves either the old file or the new one.
// - A file that does not exist yet is created readable and writable by its owner only
//   (it holds passwords); an existing file keeps its permissions.
// - On disk the file is Windows-1252 with CR LF line ends; names and values are UTF-8 here.
// - Sections and keys are found without regard to case; the first of duplicates counts.
// - A value read is the text after the first "=", with surrounding blanks and tabs removed
//   and one pair of enclosing double or single quotes removed, as Windows does. The key is
//   the text before the "=", trimmed the same way. Lines of other forms are kept as they
//   are but never read.
// - A value or key written with a CR or LF in it has each of them turned into a blank, so a
//   value can never start a line of its own.
// - Any write that cannot be done throws EIniFileError (the file stays as it was).
//   Reads never throw: a missing or unreadable file reads as empty.
#include <string>
#include <vector>

#include "forms/sysutils.h"

namespace forms {

class TStrings;

class EIniFileError : public Exception {
 public:
  using Exception::Exception;
};

class TIniFile {
 public:
  explicit TIniFile(std::string fileName);
  const std::string& FileName() const { return fileName_; }

  std::string ReadString(const std::string& Section, const std::string& Ident,
                         const std::string& Default) const;
  void WriteString(const std::string& Section, const std::string& Ident, const std::string& Value);
  // An integer (decimal, or hexadecimal "0x1F"); anything else gives Default.
  int ReadInteger(const std::string& Section, const std::string& Ident, int Default) const;
  void WriteInteger(const std::string& Section, const std::string& Ident, int Value);
  // Read as an integer, non-zero meaning true; written "1" or "0".
  bool ReadBool(const std::string& Section, const std::string& Ident, bool Default) const;
  void WriteBool(const std::string& Section, const std::string& Ident, bool Value);
  // Removes the section and all its keys.
  void EraseSection(const std::string& Section);
  // Removes one key.
  void DeleteKey(const std::string& Section, const std::string& Ident);
  bool SectionExists(const std::string& Section) const;
  bool ValueExists(const std::string& Section, const std::string& Ident) const;
  // The keys of a section, in file order.
  void ReadSection(const std::string& Section, TStrings& Keys) const;
  void ReadSections(TStrings& Sections) const;

 private:
  std::string fileName_;
};

}  // namespace forms
