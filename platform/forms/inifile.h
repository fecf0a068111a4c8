#pragma once
// TIniFile: an INI file, read and written as the platform's private-profile functions do.
//
// - Each call works on the file as it is on disk: it is read afresh, and every write
//   rewrites it at once and atomically (a temporary file beside it, flushed, then renamed
//   over it), so a crash during a save leaves either the old file or the new one.
// - A settings pass (TIniFile::Pass) reads the file once; until it ends, every call of that
//   TIniFile reads and changes that copy, and Commit writes the file once, the same way,
//   when the pass changed it. A pass that ends without Commit writes nothing.
// - Where no temporary file can be made beside the file (a file that may be written in a
//   folder that may not), the file is rewritten in place instead.
// - A file that does not exist yet is created readable and writable by its owner only
//   (it holds passwords); an existing file keeps its permissions.
// - On disk the file is Windows-1252 with CR LF line ends; names and values are UTF-8 here.
//   A file that starts with a UTF-8 byte-order mark (one saved by a text editor) is read as
//   UTF-8 and written back so, mark included.
// - Sections and keys are found without regard to case; the first of duplicates counts.
// - A value read is the text after the first "=", with surrounding blanks and tabs removed
//   and one pair of enclosing double or single quotes removed, as Windows does. The key is
//   the text before the "=", trimmed the same way. Lines of other forms are kept as they
//   are but never read.
// - A value or key written with a CR or LF in it has each of them turned into a blank, so a
//   value can never start a line of its own.
// - Any write that cannot be done throws EIniFileError (the file stays as it was).
//   Reads never throw: a missing or unreadable file reads as empty.
#include <memory>
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
  ~TIniFile();
  TIniFile(const TIniFile&) = delete;
  TIniFile& operator=(const TIniFile&) = delete;
  const std::string& FileName() const { return fileName_; }

  // A settings pass on one TIniFile, for the scope of this object (see above). Passes on
  // the same TIniFile nest: an inner one joins the outer one, which alone writes.
  class Pass {
   public:
    explicit Pass(TIniFile& ini);
    ~Pass();
    Pass(const Pass&) = delete;
    Pass& operator=(const Pass&) = delete;
    // Writes the file when the pass changed it; throws EIniFileError when it cannot.
    void Commit();

   private:
    TIniFile& ini_;
  };

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
  struct Held;  // the file's text during a pass
  template <class Read>
  auto Reading(Read read) const;
  template <class Change>
  void Changing(Change change);
  std::string fileName_;
  std::unique_ptr<Held> held_;
};

}  // namespace forms
