#pragma once
// TApplication: the program's one application object, reached through `Application`.
// It starts the window system (a Qt application when none exists), owns the forms in
// creation order, runs the message loop, and handles every exception that a handler
// lets out (OnException, or by default an error box with the message).
//
//     int main() {
//       forms::TApplication app;            // sets forms::Application
//       app.SetTitle("Orvalis Pulse");
//       Form1 = &app.CreateForm<TForm1>();  // the first form becomes the main form
//       app.Run();
//     }
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "forms/classes.h"
#include "forms/events.h"
#include "forms/form.h"

namespace forms {

using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;

  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }
  // The first form created, once it is fully created (nullptr during its construction).
  TForm* MainForm() const { return mainForm_; }
  bool ShowMainForm() const { return showMainForm_; }
  void SetShowMainForm(bool show) { showMainForm_ = show; }

  // Creates a form owned by the application: T(TComponent* Owner) builds its components;
  // the form is added to the application's components, Loaded runs on it and each of its
  // components, then its OnCreate; the first form becomes MainForm.
  template <class T, class... Args>
  T& CreateForm(Args&&... args) {
    auto form = std::make_unique<T>(this, std::forward<Args>(args)...);
    T& ref = *form;
    AdoptForm(std::move(form));
    return ref;
  }

  // Shows the main form (when ShowMainForm) and runs the message loop until Terminate.
  void Run();
  // Processes the window messages waiting now, then returns.
  void ProcessMessages();
  void Terminate();
  bool Terminated() const { return terminated_; }

  // Minimise the application (fires OnMinimize), restore it, bring it to the front.
  void Minimize();
  void Restore();
  void BringToFront();
  bool Minimized() const { return minimized_; }

  // Hints: how long a hint stays up (ms), showing the hint of the control under a screen
  // point at once, and cancelling a shown hint.
  int HintHidePause() const { return hintHidePause_; }
  void SetHintHidePause(int ms) { hintHidePause_ = ms; }
  void ActivateHint(TPoint cursorPos);
  void CancelHint();
  // The text of the hint shown by the last ActivateHint, empty once cancelled.
  const std::string& ActiveHint() const { return activeHint_; }

  // The full path of the running executable.
  std::string ExeName() const;

  TExceptionEvent OnException;
  TNotifyEvent OnMinimize;
  TNotifyEvent OnRestore;

  // The default handling of an exception that a handler let out; the dispatcher calls it.
  void HandleException(TObject* Sender, const std::exception& E);
  // The default error box (the exception's message, with a final "." added as the
  // framework does, captioned with the title).
  void ShowException(const std::exception& E);
  // The same box when no application object exists (captioned with the program's name).
  static void ShowExceptionWithoutApplication(const std::exception& E);

 private:
  void AdoptForm(std::unique_ptr<TForm> form);
  struct QtApp;
  std::unique_ptr<QtApp> qt_;
  std::string title_;
  TForm* mainForm_ = nullptr;
  bool showMainForm_ = true;
  bool terminated_ = false;
  bool minimized_ = false;
  bool running_ = false;
  int hintHidePause_ = 2500;
  std::string activeHint_;
};

// The application object of the program (set by TApplication's constructor).
extern TApplication* Application;

}  // namespace forms
