#include "forms/panels.h"

#include <QApplication>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "forms/dispatcher.h"
#include "forms/native.h"
#include "forms/sysutils.h"

namespace forms {

using detail::Q;

namespace {

// A panel draws its caption in its middle.
class PanelWidget : public QFrame {
 public:
  QString caption;

 protected:
  void paintEvent(QPaintEvent* e) override {
    QFrame::paintEvent(e);
    if (caption.isEmpty()) return;
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(contentsRect(), Qt::AlignCenter, caption);
  }
};

class ScrollBoxWidget : public QScrollArea {
 public:
  explicit ScrollBoxWidget(TScrollBox& box) : box_(box) {}

 protected:
  void wheelEvent(QWheelEvent* e) override {
    // The box does not scroll by itself: the handlers decide.
    const QPoint global = e->globalPosition().toPoint();
    box_.WheelEvent(e->angleDelta().y(), detail::ShiftOf(e->modifiers(), e->buttons()), {global.x(), global.y()});
    e->accept();
  }
  void resizeEvent(QResizeEvent* e) override {
    QScrollArea::resizeEvent(e);
    box_.Realign();
  }

 private:
  TScrollBox& box_;
};

ScrollBoxWidget* AreaOf(const TScrollBox& box) { return static_cast<ScrollBoxWidget*>(box.NativeWidget()); }

}  // namespace

TPanel::TPanel(TComponent* Owner, TWinControl* Parent) : TWinControl(Owner, Parent) {
  auto w = std::make_unique<PanelWidget>();
  w->setFrameStyle(QFrame::Panel | QFrame::Raised);
  AttachWidget(std::move(w));
}

void TPanel::SetCaption(const std::string& caption) {
  caption_ = caption;
  static_cast<PanelWidget*>(NativeWidget())->caption = detail::DisplayText(caption);
  NativeWidget()->update();
}

void TPanel::SetBevelOuter(TBevelCut b) {
  bevelOuter_ = b;
  auto* f = static_cast<QFrame*>(NativeWidget());
  switch (b) {
    case bvNone: f->setFrameStyle(QFrame::NoFrame); break;
    case bvLowered: f->setFrameStyle(QFrame::Panel | QFrame::Sunken); break;
    case bvRaised: f->setFrameStyle(QFrame::Panel | QFrame::Raised); break;
    case bvSpace: f->setFrameStyle(QFrame::Panel | QFrame::Plain); break;
  }
}

TGroupBox::TGroupBox(TComponent* Owner, TWinControl* Parent) : TWinControl(Owner, Parent) {
  AttachWidget(std::make_unique<QGroupBox>());
}

QWidget* TGroupBox::NativeContainer() const { return NativeWidget(); }

void TGroupBox::SetCaption(const std::string& caption) {
  caption_ = caption;
  static_cast<QGroupBox*>(NativeWidget())->setTitle(Q(caption));
}

int TControlScrollBar::Position() const {
  QScrollArea* a = AreaOf(box_);
  return vertical_ ? a->verticalScrollBar()->value() : a->horizontalScrollBar()->value();
}

void TControlScrollBar::SetPosition(int position) {
  QScrollArea* a = AreaOf(box_);
  (vertical_ ? a->verticalScrollBar() : a->horizontalScrollBar())->setValue(position);
}

int TControlScrollBar::Range() const {
  QWidget* content = AreaOf(box_)->widget();
  return vertical_ ? content->height() : content->width();
}

void TControlScrollBar::SetVisible(bool v) {
  visible_ = v;
  QScrollArea* a = AreaOf(box_);
  const Qt::ScrollBarPolicy p = v ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
  if (vertical_) a->setVerticalScrollBarPolicy(p);
  else a->setHorizontalScrollBarPolicy(p);
}

TScrollBox::TScrollBox(TComponent* Owner, TWinControl* Parent) : TWinControl(Owner, Parent) {
  auto area = std::make_unique<ScrollBoxWidget>(*this);
  area->setWidgetResizable(false);
  area->setWidget(std::make_unique<QWidget>().release());  // the area owns its contents widget
  AttachWidget(std::move(area));
}

TScrollBox::~TScrollBox() = default;

QWidget* TScrollBox::NativeContainer() const { return AreaOf(*this)->widget(); }

void TScrollBox::Realign() {
  ScrollBoxWidget* area = AreaOf(*this);
  QWidget* content = area->widget();
  if (!content) return;
  // The contents reach as far as the farthest child that is not aligned.
  int right = 0, bottom = 0;
  for (int i = 0; i < ControlCount(); ++i) {
    TControl* c = Controls(i);
    if (!c->Visible() || c->Align() != alNone) continue;
    const QRect g = c->NativeWidget()->geometry();
    right = std::max(right, g.right() + 1);
    bottom = std::max(bottom, g.bottom() + 1);
  }
  const QSize view = area->viewport()->size();
  const QSize wanted(std::max(right, view.width()), std::max(bottom, view.height()));
  if (content->size() != wanted) content->resize(wanted);
  TWinControl::Realign();
}

void TScrollBox::WheelEvent(int delta, TShiftState shift, TPoint screenPos) {
  bool handled = false;
  if (OnMouseWheel) {
    TMouseWheelEvent handler = OnMouseWheel;
    Dispatch(this, [&] { handler(this, shift, delta, screenPos, handled); });
  }
  if (handled) return;
  // One call per whole notch (120 units), down for a turn towards the user.
  wheelAccumulator_ += delta;
  while (std::abs(wheelAccumulator_) >= 120) {
    const bool down = wheelAccumulator_ < 0;
    wheelAccumulator_ += down ? 120 : -120;
    bool notchHandled = false;
    const TMouseWheelUpDownEvent& ev = down ? OnMouseWheelDown : OnMouseWheelUp;
    Fire(this, ev, this, shift, screenPos, notchHandled);
  }
}

void TScrollBox::UserWheel(int notches, TPoint clientPos) {
  QWidget* viewport = AreaOf(*this)->viewport();
  const QPointF local(clientPos.X, clientPos.Y);
  const QPointF global = viewport->mapToGlobal(local);
  QWheelEvent e(local, global, QPoint(), QPoint(0, notches * 120), Qt::NoButton, Qt::NoModifier,
                Qt::NoScrollPhase, false);
  QApplication::sendEvent(viewport, &e);
}

TImage::TImage(TComponent* Owner, TWinControl* Parent) : TControl(Owner, Parent) {
  AttachWidget(std::make_unique<QLabel>());
}

void TImage::LoadFromFile(const std::string& path) {
  QPixmap p;
  if (!p.load(Q(path))) throw Exception("Impossible de lire l'image " + path);
  static_cast<QLabel*>(NativeWidget())->setPixmap(p);
  empty_ = false;
}

void TImage::SetStretch(bool s) {
  stretch_ = s;
  static_cast<QLabel*>(NativeWidget())->setScaledContents(s);
}

}  // namespace forms
