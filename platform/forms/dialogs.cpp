#include "forms/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <atomic>

#include "forms/application.h"
#include "forms/native.h"
#include "forms/screen_text.h"

namespace forms {

using detail::Q;
using detail::S;

TMsgDlgButtons::TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> buttons) {
  for (TMsgDlgBtn b : buttons) Include(b);
}

std::vector<TMsgDlgBtn> TMsgDlgButtons::InOrder() const {
  std::vector<TMsgDlgBtn> out;
  for (int b = mbYes; b <= mbClose; ++b)
    if (Contains(static_cast<TMsgDlgBtn>(b))) out.push_back(static_cast<TMsgDlgBtn>(b));
  return out;
}

TModalResult ModalResultOf(TMsgDlgBtn button) {
  switch (button) {
    case mbYes: return mrYes;
    case mbNo: return mrNo;
    case mbOK: return mrOk;
    case mbCancel: return mrCancel;
    case mbAbort: return mrAbort;
    case mbRetry: return mrRetry;
    case mbIgnore: return mrIgnore;
    case mbAll: return mrAll;
    case mbNoToAll: return mrNoToAll;
    case mbYesToAll: return mrYesToAll;
    case mbHelp: return mrNone;
    case mbClose: return mrClose;
  }
  return mrNone;
}

std::string MsgDlgTitle(TMsgDlgType type) {
  switch (type) {
    case mtWarning: return "Avertissement";
    case mtError: return "Erreur";
    case mtInformation: return "Information";
    case mtConfirmation: return "Confirmation";
    case mtCustom: break;
  }
  return Application ? Application->Title() : std::string();
}

std::string MsgDlgButtonCaption(TMsgDlgBtn button) {
  switch (button) {
    case mbYes: return "&Oui";
    case mbNo: return "&Non";
    case mbOK: return "OK";
    case mbCancel: return "Annuler";
    case mbAbort: return "&Abandonner";
    case mbRetry: return "&Retenter";
    case mbIgnore: return "&Ignorer";
    case mbAll: return "&Tous";
    case mbNoToAll: return "Non &pour tout";
    case mbYesToAll: return "O&ui pour tout";
    case mbHelp: return "&Aide";
    case mbClose: return "&Fermer";
  }
  return {};
}

namespace {

// The window system's dialogs.
// A box's text as the box shows it: it wraps at blanks, a word too long for the box is broken
// where it passes the box's width, and no more rows than fit on the screen are shown.
QString BoxText(const std::string& text, const QFont& font) {
  const QSize screen = detail::ScreenRoom();
  const QSize room(std::min(screen.width() / 2, 480), screen.height() * 2 / 3);
  return detail::FitToRoom(detail::DisplayText(text), font, room, detail::Fit::BreakWords);
}

class RealDialogs : public DialogService {
 public:
  TModalResult Message(const MessageRequest& r) override {
    if (!QApplication::instance()) return mrCancel;
    QMessageBox box;
    box.setWindowTitle(Q(r.Caption));
    // What a box tells often comes from outside (a server's line, a file name): it is shown
    // as the text it is, never read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(BoxText(r.Text, box.font()));
    switch (r.Type) {
      case mtWarning: box.setIcon(QMessageBox::Warning); break;
      case mtError: box.setIcon(QMessageBox::Critical); break;
      case mtInformation: box.setIcon(QMessageBox::Information); break;
      case mtConfirmation: box.setIcon(QMessageBox::Question); break;
      case mtCustom: box.setIcon(QMessageBox::NoIcon); break;
    }
    std::vector<std::pair<QAbstractButton*, TModalResult>> buttons;
    for (TMsgDlgBtn b : r.Buttons.InOrder()) {
      QPushButton* pb = box.addButton(Q(MsgDlgButtonCaption(b)), QMessageBox::ActionRole);
      buttons.emplace_back(pb, ModalResultOf(b));
      if (b == r.DefaultButton) box.setDefaultButton(pb);
    }
    if (buttons.empty()) buttons.emplace_back(box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole), mrOk);
    box.exec();
    for (const auto& [button, result] : buttons)
      if (box.clickedButton() == button) return result;
    return mrCancel;
  }

  bool Input(const InputRequest& r, std::string& value) override {
    if (!QApplication::instance()) return false;
    QInputDialog dlg;
    dlg.setWindowTitle(Q(r.Caption));
    dlg.setLabelText(BoxText(r.Prompt, dlg.font()));
    for (QLabel* label : dlg.findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);
    dlg.setTextValue(Q(r.Value));
    dlg.setOkButtonText(QStringLiteral("OK"));
    dlg.setCancelButtonText(QStringLiteral("Annuler"));
    if (dlg.exec() != QDialog::Accepted) return false;
    value = S(dlg.textValue());
    return true;
  }

  bool OpenFile(const OpenFileRequest& r, std::string& fileName) override {
    if (!QApplication::instance()) return false;
    // "wav|*.wav|Tous|*.*" becomes "wav (*.wav);;Tous (*.*)".
    QStringList parts = Q(r.Filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
      filters << parts[i] + QStringLiteral(" (") + QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')) +
                     QStringLiteral(")");
    QString dir = Q(r.InitialDir);
    if (!r.FileName.empty()) dir = Q(r.FileName);
    const QString chosen = QFileDialog::getOpenFileName(nullptr, Q(r.Title.empty() ? "Ouvrir" : r.Title), dir,
                                                        filters.join(QStringLiteral(";;")));
    if (chosen.isEmpty()) return false;
    fileName = S(chosen);
    return true;
  }
};

RealDialogs& Real() {
  static RealDialogs real;
  return real;
}

std::atomic<DialogService*> current{nullptr};

}  // namespace

DialogService& Dialogs() {
  DialogService* s = current.load();
  return s ? *s : Real();
}

ScopedDialogService::ScopedDialogService(DialogService& service) : previous_(current.exchange(&service)) {}
ScopedDialogService::~ScopedDialogService() { current.store(previous_); }

TModalResult MessageDlg(const std::string& Msg, TMsgDlgType DlgType, const TMsgDlgButtons& Buttons, int) {
  MessageRequest r;
  r.Caption = MsgDlgTitle(DlgType);
  r.Text = Msg;
  r.Type = DlgType;
  r.Buttons = Buttons;
  // The default button is the first of OK, Yes, Yes to all, Retry, Ignore... as the
  // framework chooses: OK or Yes when present, else the first one shown.
  const auto order = Buttons.InOrder();
  if (Buttons.Contains(mbOK)) r.DefaultButton = mbOK;
  else if (Buttons.Contains(mbYes)) r.DefaultButton = mbYes;
  else if (!order.empty()) r.DefaultButton = order.front();
  return Dialogs().Message(r);
}

void ShowMessage(const std::string& Msg) {
  MessageRequest r;
  r.Caption = Application ? Application->Title() : std::string();
  r.Text = Msg;
  r.Type = mtCustom;
  r.Buttons = {mbOK};
  r.DefaultButton = mbOK;
  Dialogs().Message(r);
}

bool InputQuery(const std::string& Caption, const std::string& Prompt, std::string& Value) {
  InputRequest r{Caption, Prompt, Value};
  std::string typed = Value;
  if (!Dialogs().Input(r, typed)) return false;
  Value = typed;
  return true;
}

std::string InputBox(const std::string& Caption, const std::string& Prompt, const std::string& Default) {
  std::string v = Default;
  InputQuery(Caption, Prompt, v);
  return v;
}

bool TOpenDialog::Execute() {
  OpenFileRequest r{title_, filter_, initialDir_, fileName_};
  std::string chosen;
  if (!Dialogs().OpenFile(r, chosen)) return false;
  fileName_ = chosen;
  return true;
}

}  // namespace forms
