#pragma once
// Message boxes, the input box and the open-file dialog. Every one goes through one
// replaceable service: in a real run it shows the window system's dialogs with the
// framework's French titles and button captions; a test puts a ScriptedDialogs
// (scripted_dialogs.h) in place to answer them and read what was asked.
#include <initializer_list>
#include <string>
#include <vector>

#include "forms/classes.h"

namespace forms {

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp, mbClose };

// A set of buttons; they are always shown in the order of TMsgDlgBtn.
class TMsgDlgButtons {
 public:
  TMsgDlgButtons() = default;
  TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> buttons);
  bool Contains(TMsgDlgBtn b) const { return (bits_ >> b) & 1u; }
  void Include(TMsgDlgBtn b) { bits_ |= 1u << b; }
  std::vector<TMsgDlgBtn> InOrder() const;
  friend bool operator==(const TMsgDlgButtons&, const TMsgDlgButtons&) = default;

 private:
  unsigned bits_ = 0;
};
const TMsgDlgButtons mbYesNo = {mbYes, mbNo};
const TMsgDlgButtons mbYesNoCancel = {mbYes, mbNo, mbCancel};
const TMsgDlgButtons mbOKCancel = {mbOK, mbCancel};
const TMsgDlgButtons mbAbortRetryIgnore = {mbAbort, mbRetry, mbIgnore};

using TModalResult = int;
constexpr TModalResult mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5,
                       mrYes = 6, mrNo = 7, mrAll = 8, mrNoToAll = 9, mrYesToAll = 10, mrClose = 11;
TModalResult ModalResultOf(TMsgDlgBtn button);

// The framework's texts: the title of a box of each type (the application's title for
// mtCustom) and the caption of each button ("&Oui", "&Non", "OK", "Annuler", ...).
std::string MsgDlgTitle(TMsgDlgType type);
std::string MsgDlgButtonCaption(TMsgDlgBtn button);

struct MessageRequest {
  std::string Caption;
  std::string Text;
  TMsgDlgType Type = mtCustom;
  TMsgDlgButtons Buttons;
  TMsgDlgBtn DefaultButton = mbOK;
};
struct InputRequest {
  std::string Caption;
  std::string Prompt;
  std::string Value;  // the text the box opens with
};
struct OpenFileRequest {
  std::string Title;
  std::string Filter;  // "description|pattern|description|pattern..."
  std::string InitialDir;
  std::string FileName;
};

class DialogService {
 public:
  virtual ~DialogService() = default;
  // Shows a modal message box and returns the modal result of the button pressed
  // (mrCancel when it was closed otherwise).
  virtual TModalResult Message(const MessageRequest& request) = 0;
  // Shows the input box; true and `value` set when closed with OK.
  virtual bool Input(const InputRequest& request, std::string& value) = 0;
  // Shows the open-file dialog; true and `fileName` set when a file was chosen.
  virtual bool OpenFile(const OpenFileRequest& request, std::string& fileName) = 0;
};

// The service in force (the innermost ScopedDialogService, else the real one).
DialogService& Dialogs();
class ScopedDialogService {
 public:
  explicit ScopedDialogService(DialogService& service);
  ~ScopedDialogService();
  ScopedDialogService(const ScopedDialogService&) = delete;
  ScopedDialogService& operator=(const ScopedDialogService&) = delete;

 private:
  DialogService* previous_;
};

// The framework's functions.
TModalResult MessageDlg(const std::string& Msg, TMsgDlgType DlgType, const TMsgDlgButtons& Buttons,
                        int HelpCtx = 0);
void ShowMessage(const std::string& Msg);  // title: the application's title; OK button
// The input box: caption, prompt and the value it opens with; true when closed with OK,
// which stores the typed text in Value (Cancel leaves it unchanged).
bool InputQuery(const std::string& Caption, const std::string& Prompt, std::string& Value);
std::string InputBox(const std::string& Caption, const std::string& Prompt, const std::string& Default);

// The open-file dialog component.
class TOpenDialog : public TComponent {
 public:
  using TComponent::TComponent;
  const std::string& Filter() const { return filter_; }
  void SetFilter(const std::string& f) { filter_ = f; }
  const std::string& InitialDir() const { return initialDir_; }
  void SetInitialDir(const std::string& d) { initialDir_ = d; }
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& f) { fileName_ = f; }
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& t) { title_ = t; }
  // Shows the dialog; true when a file was chosen (then in FileName).
  bool Execute();

 private:
  std::string filter_, initialDir_, fileName_, title_;
};

}  // namespace forms
