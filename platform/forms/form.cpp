#include "forms/form.h"

#include <QCloseEvent>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include "forms/application.h"
#include "forms/dispatcher.h"
#include "forms/native.h"
#include "forms/screen.h"
#include "os/desktop.h"
#include "os/x11_taskbar.h"

namespace forms {

namespace {

// The window of a form: its close box and minimise button go to the form.
class FormWidget : public QWidget {
 public:
  explicit FormWidget(TForm& form) : form_(form) {}

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();  // the form decides, and hides or frees itself
    form_.SystemClose();
  }
  void changeEvent(QEvent* event) override {
    if (event->type() == QEvent::WindowStateChange) {
      const bool was = static_cast<QWindowStateChangeEvent*>(event)->oldState() & Qt::WindowMinimized;
      if (windowState() & Qt::WindowMinimized)
        form_.SystemMinimized();
      else if (was)
        form_.SystemRestored();  // the user brought it back from the taskbar
    }
    QWidget::changeEvent(event);
  }

 private:
  TForm& form_;
};

}  // namespace

TForm::TForm(TComponent* Owner) : TWinControl(Owner, nullptr) {
  AttachWidget(std::make_unique<FormWidget>(*this));
}

TForm::~TForm() {
  destroying_ = true;
  Fire(this, OnDestroy, this);
  // The controls go before the window that shows them.
  DestroyComponents();
}

void TForm::SetCaption(const std::string& caption) {
  caption_ = caption;
  NativeWidget()->setWindowTitle(detail::Q(caption));
}

int TForm::ClientWidth() const { return NativeWidget()->width(); }
int TForm::ClientHeight() const { return NativeWidget()->height(); }
void TForm::SetClientWidth(int v) { Resize(v, NativeWidget()->height()); }
void TForm::SetClientHeight(int v) { Resize(NativeWidget()->width(), v); }

void TForm::Resize(int width, int height) {
  QWidget* w = NativeWidget();
  width = std::max(0, width);
  height = std::max(0, height);
  if (borderStyle_ == bsNone)
    w->setFixedSize(width, height);
  else
    w->resize(width, height);
}

void TForm::SetBounds(int left, int top, int width, int height) {
  NativeWidget()->move(left, top);
  Resize(width, height);
}

namespace {
void ApplyFlags(QWidget* w, TFormBorderStyle border, TFormStyle style) {
  const bool wasVisible = w->isVisible();
  Qt::WindowFlags f = Qt::Window;
  if (border == bsNone) f |= Qt::FramelessWindowHint;
  if (border == bsToolWindow || border == bsSizeToolWin) f |= Qt::Tool;
  if (border == bsDialog) f |= Qt::Dialog;
  if (style == fsStayOnTop) f |= Qt::WindowStaysOnTopHint;
  if (w->windowFlags() == f) return;
  w->setWindowFlags(f);  // hides the window
  if (wasVisible) w->show();
}
}  // namespace

void TForm::SetBorderStyle(TFormBorderStyle style) {
  borderStyle_ = style;
  QWidget* w = NativeWidget();
  ApplyFlags(w, borderStyle_, formStyle_);
  if (style == bsNone) {
    w->setFixedSize(w->size());
  } else {
    w->setMinimumSize(0, 0);
    w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  }
}

void TForm::SetFormStyle(TFormStyle style) {
  formStyle_ = style;
  ApplyFlags(NativeWidget(), borderStyle_, formStyle_);
}

TWindowState TForm::WindowState() const {
  const Qt::WindowStates s = NativeWidget()->windowState();
  if (s & Qt::WindowMinimized) return wsMinimized;
  if (s & Qt::WindowMaximized) return wsMaximized;
  return wsNormal;
}

void TForm::SetWindowState(TWindowState state) {
  QWidget* w = NativeWidget();
  Qt::WindowStates s = w->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
  if (state == wsMinimized) s |= Qt::WindowMinimized;
  if (state == wsMaximized) s |= Qt::WindowMaximized;
  w->setWindowState(s);
}

void TForm::PlaceOnFirstShow() {
  if (placed_) return;
  placed_ = true;
  QWidget* w = NativeWidget();
  TRect area{0, 0, Screen->Width(), Screen->Height()};
  switch (position_) {
    case poScreenCenter:
    case poDesktopCenter:
      break;
    case poMainFormCenter:
    case poOwnerFormCenter: {
      TForm* main = Application ? Application->MainForm() : nullptr;
      if (!main || main == this) break;
      area = main->BoundsRect();
      break;
    }
    default:
      return;
  }
  w->move(area.Left + (area.Width() - w->width()) / 2, area.Top + (area.Height() - w->height()) / 2);
}

void TForm::SetVisible(bool visible) {
  if (visible == Visible() && visible == NativeWidget()->isVisible()) return;
  if (visible) {
    PlaceOnFirstShow();
    TControl::SetVisible(true);
    // While the application keeps out of the taskbar, so does every window it shows.
    if (QWindow* window = NativeWidget()->windowHandle(); window && !os::Use<os::Desktop>().TaskbarButtonVisible())
      os::SetSkipTaskbar(*window, true);
    Fire(this, OnShow, this);
  } else {
    TControl::SetVisible(false);
    Fire(this, OnHide, this);
  }
}

void TForm::Show() {
  QWidget* w = NativeWidget();
  const bool wasUp = w->isVisible();
  SetVisible(true);
  // A window just mapped comes up as the window system brings up new windows; one that was up
  // already may be behind the window the user clicked last.
  if (!wasUp) return;
  w->raise();
  w->activateWindow();
}

bool TForm::CloseQuery() {
  bool canClose = true;
  if (OnCloseQuery) {
    TCloseQueryEvent handler = OnCloseQuery;
    handler(this, canClose);
  }
  return canClose;
}

void TForm::Close() {
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  if (OnClose) {
    TCloseEvent handler = OnClose;
    handler(this, action);
  }
  if (action == caNone) return;
  if (Application && Application->MainForm() == this) {
    Application->Terminate();
    return;
  }
  switch (action) {
    case caHide: Hide(); break;
    case caMinimize: SetWindowState(wsMinimized); break;
    case caFree: Release(); break;
    case caNone: break;
  }
}

void TForm::Release() {
  Hide();
  TComponent* owner = Owner();
  if (!owner) return;
  QPointer<QWidget> alive(NativeWidget());
  QTimer::singleShot(0, [alive, owner, this] {
    if (alive) owner->DestroyComponent(this);
  });
}

void TForm::SystemClose() {
  Dispatch(this, [this] { Close(); });
}

void TForm::SystemMinimized() {
  if (Application && Application->MainForm() == this) Application->Minimize();
}

void TForm::SystemRestored() {
  if (Application && Application->MainForm() == this) Application->Restore();
}

void TForm::FinishCreation() {
  Dispatch(this, [this] { Loaded(); });
  const int count = ComponentCount();
  for (int i = 0; i < count && i < ComponentCount(); ++i) {
    TComponent* c = Components(i);
    Dispatch(c, [c] { c->Loaded(); });
  }
  Fire(this, OnCreate, this);
}

}  // namespace forms
