#include "ZADialogs.h"

#include "forms/dialogs.h"
#include "os/codepage.h"

namespace zip {

namespace {

forms::TMsgDlgBtn ToFramework(TZAButton b) {
  switch (b) {
    case TZAButton::Yes: return forms::mbYes;
    case TZAButton::No: return forms::mbNo;
    case TZAButton::NoToAll: return forms::mbNoToAll;
    case TZAButton::YesToAll: return forms::mbYesToAll;
    case TZAButton::OK: return forms::mbOK;
    case TZAButton::Cancel: return forms::mbCancel;
    case TZAButton::Abort: return forms::mbAbort;
    case TZAButton::Retry: return forms::mbRetry;
    case TZAButton::Ignore: return forms::mbIgnore;
  }
  return forms::mbOK;
}

TZADialogResult FromFramework(forms::TModalResult r) {
  switch (r) {
    case forms::mrYes: return TZADialogResult::Yes;
    case forms::mrNo: return TZADialogResult::No;
    case forms::mrNoToAll: return TZADialogResult::NoToAll;
    case forms::mrYesToAll: return TZADialogResult::YesToAll;
    case forms::mrOk: return TZADialogResult::OK;
    case forms::mrCancel: return TZADialogResult::Cancel;
    case forms::mrAbort: return TZADialogResult::Abort;
    case forms::mrRetry: return TZADialogResult::Retry;
    case forms::mrIgnore: return TZADialogResult::Ignore;
    default: return TZADialogResult::None;
  }
}

}  // namespace

TZADialogResult ZAConfirmDlg(std::string_view text, std::initializer_list<TZAButton> buttons) {
  forms::TMsgDlgButtons set;
  for (TZAButton b : buttons) set.Include(ToFramework(b));
  return FromFramework(forms::MessageDlg(os::Cp1252ToUtf8(text), forms::mtConfirmation, set, 0));
}

bool ZAInputQuery(std::string_view caption, std::string_view prompt, std::string& value) {
  std::string typed = os::Cp1252ToUtf8(value);
  if (!forms::InputQuery(os::Cp1252ToUtf8(caption), os::Cp1252ToUtf8(prompt), typed)) return false;
  value = os::Utf8ToCp1252(typed);
  return true;
}

}  // namespace zip
