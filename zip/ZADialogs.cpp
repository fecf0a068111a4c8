#include "ZADialogs.h"

#include "forms/dialogs.h"

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
  return FromFramework(forms::MessageDlg(std::string(text), forms::mtConfirmation, set, 0));
}

bool ZAInputQuery(std::string_view caption, std::string_view prompt, std::string& value) {
  // The engine's texts are UTF-8 as the framework's are: what the user types is kept as typed.
  std::string typed = value;
  if (!forms::InputQuery(std::string(caption), std::string(prompt), typed)) return false;
  value = typed;
  return true;
}

}  // namespace zip
