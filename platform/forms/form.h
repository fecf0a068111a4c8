#pragma once
// TForm: a top-level window of the program.
//
// Close() and the window's close box take the same road: OnCloseQuery may refuse; then
// OnClose chooses the action (caHide by default). caNone keeps the form; for the main form
// any other action ends the application; for other forms caHide hides, caMinimize
// minimises and caFree destroys the form once the current event is done.
// OnCloseQuery and OnClose are called by Close itself: an exception in them ends the close
// and goes on to the caller (for the close box, to the dispatcher, like any handler's).
#include <functional>
#include <string>

#include "forms/control.h"

namespace forms {

enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter, poMainFormCenter, poOwnerFormCenter };
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

class TForm : public TWinControl {
 public:
  // A form is owned by the application (TApplication::CreateForm) or by another component.
  explicit TForm(TComponent* Owner);
  ~TForm() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);

  int ClientWidth() const;
  int ClientHeight() const;
  void SetClientWidth(int v);
  void SetClientHeight(int v);

  TPosition Position() const { return position_; }
  void SetPosition(TPosition p) { position_ = p; }
  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  // A form without a border (bsNone) has no frame to resize it by: the window system is told
  // that its size is fixed, at each size the program gives it, so that a window manager keeps
  // the size asked for.
  void SetBorderStyle(TFormBorderStyle style);
  TFormStyle FormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle style);
  TWindowState WindowState() const;
  void SetWindowState(TWindowState state);
  bool DoubleBuffered() const { return doubleBuffered_; }
  void SetDoubleBuffered(bool v) { doubleBuffered_ = v; }  // the window system always is

  void SetBounds(int left, int top, int width, int height) override;
  void SetVisible(bool visible) override;
  // Shows the form; one that is up already comes to the front with the focus (it may be
  // behind the window the user clicked last).
  void Show();
  void Hide() { SetVisible(false); }
  // Tries to close the form (see above).
  void Close();
  // Destroys the form once the current event is done (caFree does this).
  void Release();
  bool CloseQuery();

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TCloseEvent OnClose;
  TCloseQueryEvent OnCloseQuery;

  // For the forms layer: the form has been built; Loaded runs on the form and on each of
  // its components in creation order, then OnCreate. TApplication::CreateForm calls it.
  void FinishCreation();
  // The window system's close box and minimise button, and the window brought back from
  // its minimised state by the user.
  void SystemClose();
  void SystemMinimized();
  void SystemRestored();

 private:
  void PlaceOnFirstShow();
  void Resize(int width, int height);
  std::string caption_;
  TPosition position_ = poDesigned;
  TFormBorderStyle borderStyle_ = bsSizeable;
  TFormStyle formStyle_ = fsNormal;
  bool doubleBuffered_ = false;
  bool placed_ = false;
  bool destroying_ = false;
};

}  // namespace forms
