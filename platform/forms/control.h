#pragma once
// TControl, the base of everything shown in a window, and TWinControl, a control that
// can hold other controls and take the keyboard focus.
//
// Each control is drawn by a widget of the window system that the forms layer creates
// and keeps to itself; client code sees only the properties and events below.
#include <memory>
#include <string>
#include <vector>

#include "forms/classes.h"
#include "forms/events.h"
#include "forms/graphics.h"

class QWidget;

namespace forms {

class TWinControl;
class TPopupMenu;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

namespace detail {
class WidgetHolder;
}

class TControl : public TComponent {
 public:
  // `Parent` is the control this one is shown in (nullptr for a form).
  TControl(TComponent* Owner, TWinControl* Parent);
  ~TControl() override;

  TWinControl* Parent() const { return parent_; }

  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;
  void SetLeft(int v);
  void SetTop(int v);
  void SetWidth(int v);
  void SetHeight(int v);
  virtual void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const { return {Left(), Top(), Left() + Width(), Top() + Height()}; }
  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);

  // The Visible property (the control's own flag; it shows on screen only when all its
  // parents are visible too).
  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool enabled);

  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& hint);
  // Kept as the form describes it: a control's hint shows whenever it has one.
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool show);

  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TFont& Font() { return font_; }
  const TFont& Font() const { return font_; }

  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* menu);

  void Repaint();
  void BringToFront();
  // Converts between this control's client coordinates and the screen's.
  TPoint ClientToScreen(TPoint p) const;
  TPoint ScreenToClient(TPoint p) const;

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;

  // The framework's Click: runs OnClick through the dispatcher.
  virtual void Click();

  // For the forms layer: whether the control's hint is its content's (a list's rows set it as
  // the mouse moves over them), not shown over its scroll bars or header.
  virtual bool HintOnlyOverContent() const { return false; }

  // For the forms layer: the widget that draws this control, and the one its children
  // are placed in (the same for most controls).
  QWidget* NativeWidget() const;
  virtual QWidget* NativeContainer() const { return NativeWidget(); }

 protected:
  // Called by each concrete control's constructor with its newly made widget, which the
  // control then owns (placed in the parent's container).
  void AttachWidget(std::unique_ptr<QWidget> widget);
  // Apply Font() and Color() to the widget (a control may add to it, a label refits).
  virtual void ApplyFont();
  virtual void ApplyColor();

 private:
  friend class detail::WidgetHolder;
  friend class TWinControl;
  TWinControl* parent_ = nullptr;
  std::unique_ptr<detail::WidgetHolder> holder_;
  TAlign align_ = alNone;
  bool visible_ = true;
  bool enabled_ = true;
  std::string hint_;
  bool showHint_ = false;
  TColor color_ = clDefault;
  TFont font_;
  TPopupMenu* popupMenu_ = nullptr;
};

class TWinControl : public TControl {
 public:
  using TControl::TControl;
  ~TWinControl() override;

  void SetFocus();
  bool Focused() const;
  bool CanFocus() const;

  // Child controls shown in this one, in the order they were placed.
  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const;

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyPressEvent OnKeyPress;

  // For the forms layer: children register here, and aligned children are laid out again.
  void AddChild(TControl* child);
  void RemoveChild(TControl* child);
  virtual void Realign();

 private:
  std::vector<TControl*> controls_;
  bool realigning_ = false;
};

}  // namespace forms
