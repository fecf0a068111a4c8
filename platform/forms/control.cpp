#include "forms/control.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QMouseEvent>
#include <QPalette>
#include <QTextDocument>
#include <QToolTip>
#include <algorithm>

#include "forms/application.h"
#include "forms/dispatcher.h"
#include "forms/menus.h"
#include "forms/native.h"
#include "forms/screen_text.h"

namespace forms {

namespace detail {

// Both conversions go in one pass: QString::replace, which changes the length, moves the rest of
// the text again and again, and takes a minute on a mail of thirty million empty lines.
QString DisplayText(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\r') {
      out += s[i];
      continue;
    }
    out += '\n';
    if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
  }
  return Q(out);
}

std::string FrameworkText(const QString& text) {
  const std::string s = S(text);
  std::string out;
  out.reserve(s.size() + s.size() / 8);
  for (const char c : s) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

namespace {

// What a reader takes in of a hint at a glance: this many rows at most, of about this many
// characters; one line of the text (a long reason) takes a few rows at most, so that the
// lines after it still show.
constexpr int kHintRows = 16;
constexpr int kHintColumns = 60;
constexpr int kRowsPerHintLine = 4;

// What a hint shows of `s` within `room`: its lines wrapped at blanks, each cut after a few
// rows and the whole after a few more, every cut marked by "…". Only what is shown is measured,
// however long the text.
QString ShownHint(const std::string& s, QSize room) {
  const QFont font = QToolTip::font();
  const QFontMetrics fm(font);
  const int lineHeight = std::max(1, fm.lineSpacing());
  const int width = std::max(fm.averageCharWidth() * 2, std::min({room.width(), ScreenRoom(48).width() / 2,
                                                                  kHintColumns * fm.averageCharWidth()}));
  const int rows = std::clamp(room.height() / lineHeight, 1, kHintRows);
  const QString text = DisplayText(s);
  QString shown;
  // One line more than the rows can hold, so that the last pass marks the cut.
  qsizetype i = 0;
  for (int line = 0; line <= rows && i <= text.size(); ++line) {
    qsizetype end = text.indexOf(QLatin1Char('\n'), i);
    if (end < 0) end = text.size();
    if (line > 0) shown += QLatin1Char('\n');
    shown += FitToRoom(text.mid(i, end - i), font, QSize(width, kRowsPerHintLine * lineHeight), Fit::WrapWords);
    i = end + 1;
  }
  const int ellipsis = fm.horizontalAdvance(QChar(0x2026));
  return FitToRoom(shown, font, QSize(width + ellipsis, rows * lineHeight), Fit::BreakLines);
}

QString AsToolTip(const QString& text) {
  if (text.isEmpty()) return text;
  return Qt::convertFromPlainText(text, Qt::WhiteSpacePre);
}

// The room a hint has beside the pointer. The window system puts a tip below the pointer,
// past the pointer's image, or above it when it does not fit there, and pushes it back onto
// the screen when it fits neither way, over the pointer; no taller than the larger of the two
// spaces, a hint always fits one way.
QSize HintRoomAt(QPoint pointer) {
  const QScreen* screen = QGuiApplication::screenAt(pointer);
  if (!screen) screen = QGuiApplication::primaryScreen();
  const QRect g = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
  constexpr int kPointer = 48;  // the tallest pointer image in use
  constexpr int kFrame = 16;    // the tip's frame and margins
  const int below = g.y() + g.height() - pointer.y() - kPointer - kFrame;
  const int above = pointer.y() - g.y() - 24 - kFrame;
  return QSize(g.width() - 2 * kFrame, std::max({below, above, 0}));
}

}  // namespace

QString ToolTipText(const std::string& s) { return AsToolTip(ShownHint(s, ScreenRoom(48))); }

void ShowHint(QPoint pointer, const std::string& hint, QWidget* widget, int hidePause) {
  const QString tip = AsToolTip(ShownHint(hint, HintRoomAt(pointer)));
  // The window system leaves a tip that shows this very text as it is, its timers included:
  // one on its way out (the pointer left a control a moment ago) would go although it was just
  // asked for again. Shown for no control first, it counts as another tip and starts anew.
  if (!tip.isEmpty() && QToolTip::isVisible() && QToolTip::text() == tip)
    QToolTip::showText(pointer, tip, nullptr, QRect(), hidePause);
  QToolTip::showText(pointer, tip, widget, QRect(), hidePause);
}

QColor ToQColor(TColor color) {
  const TColor rgb = ColorToRGB(color);
  return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

QFont ToQFont(const TFont& font, const QFont& base) {
  QFont f = base;
  if (!font.Name().empty()) f.setFamily(Q(font.Name()));
  if (font.Size() > 0) f.setPointSize(font.Size());
  f.setBold((font.Style() & fsBold) != 0);
  f.setItalic((font.Style() & fsItalic) != 0);
  f.setUnderline((font.Style() & fsUnderline) != 0);
  f.setStrikeOut((font.Style() & fsStrikeOut) != 0);
  return f;
}

static const char* const kControlProperty = "orvalis_forms_control";

void Bind(QWidget* widget, TControl* control) {
  widget->setProperty(kControlProperty, QVariant::fromValue(static_cast<void*>(control)));
}

TControl* ControlOf(QWidget* widget) {
  for (QWidget* w = widget; w; w = w->parentWidget()) {
    const QVariant v = w->property(kControlProperty);
    if (v.isValid()) return static_cast<TControl*>(v.value<void*>());
  }
  return nullptr;
}

TShiftState ShiftOf(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons) {
  TShiftState s = 0;
  if (mods & Qt::ShiftModifier) s |= ssShift;
  if (mods & Qt::AltModifier) s |= ssAlt;
  if (mods & Qt::ControlModifier) s |= ssCtrl;
  if (buttons & Qt::LeftButton) s |= ssLeft;
  if (buttons & Qt::RightButton) s |= ssRight;
  if (buttons & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

// Mouse events, popup menus and the layout of aligned children, for every control.
class ControlFilter : public QObject {
 public:
  ControlFilter(TControl& control, QWidget* owner, QWidget* input) : QObject(owner), control_(control), input_(input) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseMove: {
        auto* me = static_cast<QMouseEvent*>(event);
        const QPoint p = me->position().toPoint();
        Fire(&control_, control_.OnMouseMove, &control_, ShiftOf(me->modifiers(), me->buttons()), p.x(), p.y());
        break;
      }
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease: {
        auto* me = static_cast<QMouseEvent*>(event);
        const QPoint p = me->position().toPoint();
        const TMouseButton b = me->button() == Qt::RightButton    ? mbRight
                               : me->button() == Qt::MiddleButton ? mbMiddle
                                                                  : mbLeft;
        const auto& ev = event->type() == QEvent::MouseButtonPress ? control_.OnMouseDown : control_.OnMouseUp;
        Fire(&control_, ev, &control_, b, ShiftOf(me->modifiers(), me->buttons()), p.x(), p.y());
        break;
      }
      case QEvent::MouseButtonDblClick:
        Fire(&control_, control_.OnDblClick, &control_);
        break;
      case QEvent::ToolTip: {
        // The mouse rests on the control: its hint shows for the application's hide pause.
        // The window system's own tooltips (an item view's cells have none) neither replace
        // nor hide a hint that the program shows.
        if (control_.Hint().empty()) break;
        if (control_.HintOnlyOverContent() && watched != input_) {
          // Over the scroll bars or the header: the hint left there is a row's, not theirs.
          QToolTip::hideText();
          return true;
        }
        auto* he = static_cast<QHelpEvent*>(event);
        ShowHint(he->globalPos(), control_.Hint(), control_.NativeWidget(), Application ? Application->HintHidePause() : -1);
        return true;
      }
      case QEvent::Resize:
        if (auto* wc = dynamic_cast<TWinControl*>(&control_);
            wc && watched == wc->NativeContainer())
          wc->Realign();
        break;
      default:
        break;
    }
    return false;
  }

 private:
  TControl& control_;
  QWidget* input_;  // where the mouse input arrives: the control's widget or its viewport
};

}  // namespace detail

using detail::Q;

TControl::TControl(TComponent* Owner, TWinControl* Parent) : TComponent(Owner), parent_(Parent) {
  font_.OnChange = [this] { ApplyFont(); };
}

TControl::~TControl() {
  if (parent_) parent_->RemoveChild(this);
}

QWidget* TControl::NativeWidget() const { return holder_ ? holder_->get() : nullptr; }

void TControl::AttachWidget(std::unique_ptr<QWidget> widget) {
  QWidget* w = widget.get();
  holder_ = std::make_unique<detail::WidgetHolder>(std::move(widget));
  detail::Bind(w, this);
  w->setMouseTracking(true);
  // Input arrives on the viewport of scrolling widgets.
  QWidget* input = w;
  if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) input = area->viewport();
  input->setMouseTracking(true);
  auto* filter = new detail::ControlFilter(*this, w, input);  // owned by the widget
  input->installEventFilter(filter);
  if (input != w) w->installEventFilter(filter);
  w->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(w, &QWidget::customContextMenuRequested, w, [this, input](const QPoint& pos) {
    if (!popupMenu_) return;
    const QPoint global = input->mapToGlobal(pos);
    Dispatch(this, [&] { popupMenu_->Popup(global.x(), global.y()); });
  });
  if (parent_) {
    w->setParent(parent_->NativeContainer());
    parent_->AddChild(this);
    w->setVisible(visible_);
  } else {
    visible_ = false;  // a window starts hidden
  }
}

int TControl::Left() const { return NativeWidget()->x(); }
int TControl::Top() const { return NativeWidget()->y(); }
int TControl::Width() const { return NativeWidget()->width(); }
int TControl::Height() const { return NativeWidget()->height(); }
void TControl::SetLeft(int v) { SetBounds(v, Top(), Width(), Height()); }
void TControl::SetTop(int v) { SetBounds(Left(), v, Width(), Height()); }
void TControl::SetWidth(int v) { SetBounds(Left(), Top(), v, Height()); }
void TControl::SetHeight(int v) { SetBounds(Left(), Top(), Width(), v); }

void TControl::SetBounds(int left, int top, int width, int height) {
  QWidget* w = NativeWidget();
  width = std::max(0, width);
  height = std::max(0, height);
  if (w->isWindow()) {
    w->move(left, top);
    w->resize(width, height);
  } else {
    w->setGeometry(left, top, width, height);
  }
  if (parent_) parent_->Realign();  // aligned siblings and the parent's extent follow
}

void TControl::SetAlign(TAlign align) {
  align_ = align;
  if (parent_) parent_->Realign();
}

void TControl::SetVisible(bool visible) {
  visible_ = visible;
  NativeWidget()->setVisible(visible);
  if (parent_) parent_->Realign();
}

void TControl::SetEnabled(bool enabled) {
  enabled_ = enabled;
  NativeWidget()->setEnabled(enabled);
}

void TControl::SetHint(const std::string& hint) {
  hint_ = hint;
  NativeWidget()->setToolTip(detail::ToolTipText(hint));
}

void TControl::SetShowHint(bool show) { showHint_ = show; }

void TControl::SetColor(TColor color) {
  color_ = color;
  ApplyColor();
}

void TControl::ApplyColor() {
  QWidget* w = NativeWidget();
  if (color_ == clDefault || color_ == clNone) {
    w->setAutoFillBackground(false);
    return;
  }
  QPalette p = w->palette();
  p.setColor(QPalette::Window, detail::ToQColor(color_));
  p.setColor(QPalette::Base, detail::ToQColor(color_));
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

void TControl::ApplyFont() {
  QWidget* w = NativeWidget();
  if (!w) return;
  w->setFont(detail::ToQFont(font_, QApplication::font()));
  // The font's colour is the colour of the text while the control can be used; a disabled
  // control keeps the style's greyed text, so that it shows it cannot be used.
  QPalette p = w->palette();
  const QColor c = detail::ToQColor(font_.Color());
  for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
      p.setColor(group, role, c);
  w->setPalette(p);
}

void TControl::SetPopupMenu(TPopupMenu* menu) { popupMenu_ = menu; }

void TControl::Repaint() {
  QWidget* w = NativeWidget();
  w->repaint();
  // A scrolling control draws its content in its viewport, which is a widget of its own.
  if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) area->viewport()->repaint();
}

void TControl::BringToFront() { NativeWidget()->raise(); }

TPoint TControl::ClientToScreen(TPoint p) const {
  const QPoint g = NativeWidget()->mapToGlobal(QPoint(p.X, p.Y));
  return {g.x(), g.y()};
}

TPoint TControl::ScreenToClient(TPoint p) const {
  const QPoint l = NativeWidget()->mapFromGlobal(QPoint(p.X, p.Y));
  return {l.x(), l.y()};
}

void TControl::Click() { Fire(this, OnClick, this); }

// --- TWinControl

TWinControl::~TWinControl() {
  // Children that outlive this control keep their widgets, out of any window.
  for (TControl* child : controls_) {
    child->parent_ = nullptr;
    if (QWidget* w = child->NativeWidget()) {
      w->hide();
      w->setParent(nullptr);
    }
  }
  controls_.clear();
}

void TWinControl::SetFocus() {
  QWidget* w = NativeWidget();
  w->setFocus(Qt::OtherFocusReason);
}

bool TWinControl::Focused() const {
  QWidget* w = NativeWidget();
  if (w->hasFocus()) return true;
  // Without an active window (offscreen, or the window hidden) the window system keeps
  // no focus; the control asked last for it counts as focused within its window.
  QWidget* window = w->window();
  return !window->isActiveWindow() && window->focusWidget() == w;
}

bool TWinControl::CanFocus() const { return NativeWidget()->isVisible() && NativeWidget()->isEnabled(); }

TControl* TWinControl::Controls(int index) const {
  if (index < 0 || index >= ControlCount()) return nullptr;
  return controls_[static_cast<size_t>(index)];
}

void TWinControl::AddChild(TControl* child) {
  if (std::find(controls_.begin(), controls_.end(), child) == controls_.end()) controls_.push_back(child);
}

void TWinControl::RemoveChild(TControl* child) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), child), controls_.end());
  Realign();
}

void TWinControl::Realign() {
  if (realigning_) return;
  QWidget* container = NativeContainer();
  if (!container) return;
  realigning_ = true;
  QRect r = container->contentsRect();
  auto place = [&](TAlign which) {
    for (TControl* c : controls_) {
      if (c->Align() != which || !c->Visible()) continue;
      QWidget* w = c->NativeWidget();
      switch (which) {
        case alTop:
          w->setGeometry(r.left(), r.top(), r.width(), w->height());
          r.setTop(r.top() + w->height());
          break;
        case alBottom:
          w->setGeometry(r.left(), r.bottom() + 1 - w->height(), r.width(), w->height());
          r.setBottom(r.bottom() - w->height());
          break;
        case alLeft:
          w->setGeometry(r.left(), r.top(), w->width(), r.height());
          r.setLeft(r.left() + w->width());
          break;
        case alRight:
          w->setGeometry(r.right() + 1 - w->width(), r.top(), w->width(), r.height());
          r.setRight(r.right() - w->width());
          break;
        case alClient:
          w->setGeometry(r);
          break;
        case alNone:
          break;
      }
    }
  };
  place(alTop);
  place(alBottom);
  place(alLeft);
  place(alRight);
  place(alClient);
  realigning_ = false;
}

}  // namespace forms
