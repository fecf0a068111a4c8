#pragma once
// Text boxes: the one-line edit box (TEdit), the masked edit box (TMaskEdit, used for
// passwords), the memo (TMemo) and the rich-text box (TRichEdit, shown as plain text).
//
// The kinds stay apart as in the framework: a TMaskEdit is not a TEdit and a TRichEdit is
// not a TMemo (both come from the common bases TCustomEdit and TCustomMemo).
// OnChange runs after every change of the text, typed or set from code.
#include <memory>
#include <string>

#include "forms/control.h"
#include "forms/strings.h"

namespace forms {

class TCustomEdit : public TWinControl {
 public:
  TCustomEdit(TComponent* Owner, TWinControl* Parent);

  virtual std::string Text() const;
  virtual void SetText(const std::string& text);
  bool ReadOnly() const { return readOnly_; }
  virtual void SetReadOnly(bool v);
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int n);  // 0: no limit
  // The character shown in place of each typed one ('\0': the text itself), whatever the
  // desktop's style would show.
  char PasswordChar() const { return passwordChar_; }
  void SetPasswordChar(char c);

  TNotifyEvent OnChange;

  // The user's road: types the text at the end, one key after another, as the keyboard
  // would (OnChange after each character).
  virtual void UserType(const std::string& text);
  // The framework's Change: runs OnChange through the dispatcher.
  virtual void Change();

 protected:
  struct MemoTag {};
  TCustomEdit(TComponent* Owner, TWinControl* Parent, MemoTag);

 private:
  bool readOnly_ = false;
  int maxLength_ = 0;
  char passwordChar_ = '\0';
};

class TEdit : public TCustomEdit {
 public:
  using TCustomEdit::TCustomEdit;
};

class TMaskEdit : public TCustomEdit {
 public:
  using TCustomEdit::TCustomEdit;
  // Kept for the form's description; input is not masked.
  const std::string& EditMask() const { return editMask_; }
  void SetEditMask(const std::string& m) { editMask_ = m; }

 private:
  std::string editMask_;
};

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// A multi-line box; Lines() reads and writes its text line by line.
class TCustomMemo : public TCustomEdit {
 public:
  TCustomMemo(TComponent* Owner, TWinControl* Parent);
  ~TCustomMemo() override;

  std::string Text() const override;  // lines joined by CR LF, as the framework gives it
  void SetText(const std::string& text) override;  // CR, LF or CR LF break lines
  void SetReadOnly(bool v) override;
  TStrings& Lines() { return *lines_; }
  const TStrings& Lines() const { return *lines_; }
  // Adds the lines of `text` at the end in one change, as Lines().Add would add them one by
  // one: CR, LF or CR LF end a line, a last line without an end is a line too, and an empty
  // text adds nothing.
  void AppendLines(const std::string& text);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle s);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool w);
  void UserType(const std::string& text) override;

 private:
  std::unique_ptr<TStrings> lines_;
  TScrollStyle scrollBars_ = ssNone;
  bool wordWrap_ = true;
};

class TMemo : public TCustomMemo {
 public:
  using TCustomMemo::TCustomMemo;
};

class TCustomRichEdit : public TCustomMemo {
 public:
  using TCustomMemo::TCustomMemo;
};

class TRichEdit : public TCustomRichEdit {
 public:
  using TCustomRichEdit::TCustomRichEdit;
};

}  // namespace forms
