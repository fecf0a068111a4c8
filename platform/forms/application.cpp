#include "forms/application.h"

#include <QApplication>
#include <QToolTip>
#include <QWidget>
#include <filesystem>

#include "forms/dialogs.h"
#include "forms/dispatcher.h"
#include "forms/native.h"
#include "os/environment.h"

namespace forms {

TApplication* Application = nullptr;

namespace {

std::string ExePath() { return os::ExecutablePath(); }

// The framework's error text: a final "." unless the message already ends in a
// character at or below "." (a full stop, a closing bracket, a blank...).
std::string ErrorText(const std::exception& e) {
  std::string msg = e.what();
  if (!msg.empty() && static_cast<unsigned char>(msg.back()) > '.') msg += '.';
  return msg;
}

void ShowErrorBox(const std::string& caption, const std::exception& e) {
  MessageRequest r;
  r.Caption = caption;
  r.Text = ErrorText(e);
  r.Type = mtError;
  r.Buttons = {mbOK};
  r.DefaultButton = mbOK;
  Dialogs().Message(r);
}

}  // namespace

struct TApplication::QtApp {
  // The window system needs arguments that live as long as it does.
  int argc = 1;
  std::string program;
  std::vector<char*> argv;
  std::unique_ptr<QApplication> app;

  QtApp() {
    if (QCoreApplication::instance()) return;
    program = ExePath();
    if (program.empty()) program = "orvalis";
    argv = {program.data(), nullptr};
    app = std::make_unique<QApplication>(argc, argv.data());
  }
};

TApplication::TApplication() : TComponent(nullptr), qt_(std::make_unique<QtApp>()) {
  SetName("Application");
  QApplication::setQuitOnLastWindowClosed(false);
  title_ = std::filesystem::path(ExeName()).stem().string();
  Application = this;
}

TApplication::~TApplication() {
  DestroyComponents();  // the forms, while the window system still runs
  if (Application == this) Application = nullptr;
  qt_.reset();
}

void TApplication::AdoptForm(std::unique_ptr<TForm> form) {
  TForm& ref = *form;
  InsertComponent(std::move(form));
  ref.FinishCreation();
  if (!mainForm_) mainForm_ = &ref;
}

void TApplication::Run() {
  if (terminated_) return;
  if (showMainForm_ && mainForm_) {
    if (minimized_)
      mainForm_->SetWindowState(wsMinimized);
    mainForm_->Show();
  }
  running_ = true;
  while (!terminated_) QApplication::exec();
  running_ = false;
}

void TApplication::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void TApplication::Terminate() {
  terminated_ = true;
  QCoreApplication::exit(0);
}

void TApplication::Minimize() {
  if (minimized_) return;
  minimized_ = true;
  if (mainForm_ && mainForm_->Visible()) mainForm_->SetWindowState(wsMinimized);
  Fire(this, OnMinimize, this);
}

void TApplication::Restore() {
  const bool was = minimized_;
  minimized_ = false;
  if (mainForm_ && mainForm_->WindowState() == wsMinimized) mainForm_->SetWindowState(wsNormal);
  if (was) Fire(this, OnRestore, this);
}

void TApplication::BringToFront() {
  QWidget* w = QApplication::activeWindow();
  if (!w && mainForm_) w = mainForm_->NativeWidget();
  if (!w || !w->isVisible()) return;
  w->raise();
  w->activateWindow();
}

void TApplication::ActivateHint(TPoint cursorPos) {
  const QPoint p(cursorPos.X, cursorPos.Y);
  QWidget* w = QApplication::widgetAt(p);
  TControl* c = w ? detail::ControlOf(w) : nullptr;
  while (c && c->Hint().empty()) c = c->Parent();
  if (!c) return;
  activeHint_ = c->Hint();
  detail::ShowHint(p, activeHint_, c->NativeWidget(), hintHidePause_);
}

void TApplication::CancelHint() {
  activeHint_.clear();
  QToolTip::hideText();
}

std::string TApplication::ExeName() const { return ExePath(); }

void TApplication::HandleException(TObject* Sender, const std::exception& E) {
  if (!OnException) {
    ShowException(E);
    return;
  }
  TExceptionEvent handler = OnException;
  try {
    handler(Sender, E);
  } catch (const std::exception& inner) {
    ShowException(inner);
  }
}

void TApplication::ShowException(const std::exception& E) { ShowErrorBox(title_, E); }

void TApplication::ShowExceptionWithoutApplication(const std::exception& E) {
  ShowErrorBox(std::filesystem::path(ExePath()).stem().string(), E);
}

}  // namespace forms
