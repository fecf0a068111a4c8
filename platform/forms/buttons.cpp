#include "forms/buttons.h"

#include <QAbstractButton>
#include <QEvent>
#include <QCheckBox>
#include <QEnterEvent>
#include <QIcon>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolButton>
#include <algorithm>

#include "forms/dispatcher.h"
#include "forms/imagelist.h"
#include "forms/native.h"

namespace forms {

using detail::Q;

namespace {

QAbstractButton* ButtonOf(const TControl* c) { return static_cast<QAbstractButton*>(c->NativeWidget()); }

QIcon IconFromFile(const std::string& path) { return QIcon(Q(path)); }

QIcon IconFromList(const TImageList& images, int index) {
  const auto* icon = static_cast<const QIcon*>(images.Icon(index));
  return icon ? *icon : QIcon();
}

// The transparent button's widget: a raised-on-hover tool button that draws its glyph grey
// while AutoGray is set and the mouse is elsewhere.
class TransparentButtonWidget : public QToolButton {
 public:
  explicit TransparentButtonWidget(TJvTransparentButton& owner) : owner_(owner) {
    setAutoRaise(true);
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    setIconSize(QSize(32, 32));
  }
  QIcon glyph;
  bool hovered = false;

  void Refresh(bool gray) {
    if (glyph.isNull()) {
      setIcon(QIcon());
      return;
    }
    if (!gray) {
      setIcon(glyph);
      return;
    }
    const QPixmap grey = glyph.pixmap(iconSize(), QIcon::Disabled);
    setIcon(QIcon(grey));
  }

 protected:
  void enterEvent(QEnterEvent* e) override {
    hovered = true;
    Refresh(owner_.GlyphGrayed());
    QToolButton::enterEvent(e);
  }
  void leaveEvent(QEvent* e) override {
    hovered = false;
    Refresh(owner_.GlyphGrayed());
    QToolButton::leaveEvent(e);
  }

 private:
  TJvTransparentButton& owner_;
};

TransparentButtonWidget* TransparentOf(const TControl* c) {
  return static_cast<TransparentButtonWidget*>(c->NativeWidget());
}

}  // namespace

void TButtonControl::SetCaption(const std::string& caption) {
  caption_ = caption;
  ButtonOf(this)->setText(detail::DisplayText(caption));
}

void TButtonControl::UserClick() {
  QAbstractButton* b = ButtonOf(this);
  if (!b->isEnabled() || !Visible()) return;
  b->click();
}

namespace {

// A push button that widens again when its font changes (its own, or its window's).
class PushButtonWidget : public QPushButton {
 public:
  explicit PushButtonWidget(TButton& owner) : owner_(owner) {}

 protected:
  void changeEvent(QEvent* e) override {
    QPushButton::changeEvent(e);
    if (e->type() == QEvent::FontChange) owner_.FitToText();
  }

 private:
  TButton& owner_;
};

// The width a push button needs to show its caption and glyph unclipped: the text and the
// glyph, plus the frame and margins of the style (without the style's usual minimum width,
// which is a matter of looks, not of room).
int NeededWidth(const QPushButton& b) {
  QStyleOptionButton option;
  option.initFrom(&b);
  option.text = b.text();
  option.icon = b.icon();
  option.iconSize = b.iconSize();
  int content = b.fontMetrics().size(Qt::TextShowMnemonic, b.text()).width();
  if (!b.icon().isNull()) content += b.iconSize().width() + 4;
  constexpr int kWide = 1000;  // wide enough that no minimum applies
  const int frame =
      b.style()->sizeFromContents(QStyle::CT_PushButton, &option, QSize(kWide, b.fontMetrics().height()), &b).width() -
      kWide;
  return content + frame;
}

}  // namespace

TButton::TButton(TComponent* Owner, TWinControl* Parent) : TButtonControl(Owner, Parent) {
  auto b = std::make_unique<PushButtonWidget>(*this);
  QPushButton* raw = b.get();
  AttachWidget(std::move(b));
  designWidth_ = raw->width();
  QObject::connect(raw, &QPushButton::clicked, raw, [this] { Click(); });
}

void TButton::SetCaption(const std::string& caption) {
  TButtonControl::SetCaption(caption);
  FitToText();
}

void TButton::SetBounds(int left, int top, int width, int height) {
  designWidth_ = width;
  TButtonControl::SetBounds(left, top, width, height);
  FitToText();
}

void TButton::FitToText() {
  if (Align() != alNone || !NativeWidget()) return;
  const int width = std::max(designWidth_, NeededWidth(*static_cast<QPushButton*>(NativeWidget())));
  if (width != Width()) TButtonControl::SetBounds(Left(), Top(), width, Height());
}

void TBitBtn::SetGlyphFile(const std::string& path) {
  ButtonOf(this)->setIcon(IconFromFile(path));
  FitToText();
}
void TBitBtn::SetGlyph(const TImageList& images, int index) {
  ButtonOf(this)->setIcon(IconFromList(images, index));
  FitToText();
}

TSpeedButton::TSpeedButton(TComponent* Owner, TWinControl* Parent) : TButtonControl(Owner, Parent) {
  auto b = std::make_unique<QToolButton>();
  QToolButton* raw = b.get();
  raw->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  AttachWidget(std::move(b));
  QObject::connect(raw, &QToolButton::clicked, raw, [this] { Click(); });
}

void TSpeedButton::SetCaption(const std::string& caption) { TButtonControl::SetCaption(caption); }

void TSpeedButton::SetFlat(bool f) {
  flat_ = f;
  static_cast<QToolButton*>(NativeWidget())->setAutoRaise(f);
}

void TSpeedButton::SetGlyphFile(const std::string& path) { ButtonOf(this)->setIcon(IconFromFile(path)); }
void TSpeedButton::SetGlyph(const TImageList& images, int index) {
  ButtonOf(this)->setIcon(IconFromList(images, index));
}

TJvTransparentButton::TJvTransparentButton(TComponent* Owner, TWinControl* Parent) : TButtonControl(Owner, Parent) {
  auto b = std::make_unique<TransparentButtonWidget>(*this);
  TransparentButtonWidget* raw = b.get();
  AttachWidget(std::move(b));
  QObject::connect(raw, &QToolButton::clicked, raw, [this] { Click(); });
}

void TJvTransparentButton::SetCaption(const std::string& caption) { TButtonControl::SetCaption(caption); }

void TJvTransparentButton::SetAutoGray(bool v) {
  autoGray_ = v;
  UpdateGlyph();
}

bool TJvTransparentButton::GlyphGrayed() const { return autoGray_ && !TransparentOf(this)->hovered; }

void TJvTransparentButton::SetGlyphFile(const std::string& path) {
  TransparentOf(this)->glyph = IconFromFile(path);
  UpdateGlyph();
}

void TJvTransparentButton::SetGlyph(const TImageList& images, int index) {
  TransparentOf(this)->glyph = IconFromList(images, index);
  UpdateGlyph();
}

void TJvTransparentButton::UpdateGlyph() { TransparentOf(this)->Refresh(GlyphGrayed()); }

TCheckBox::TCheckBox(TComponent* Owner, TWinControl* Parent) : TButtonControl(Owner, Parent) {
  auto b = std::make_unique<QCheckBox>();
  QCheckBox* raw = b.get();
  AttachWidget(std::move(b));
  // A click has already toggled the box.
  QObject::connect(raw, &QCheckBox::clicked, raw, [this](bool checked) {
    checked_ = checked;
    Click();
  });
}

void TCheckBox::SetCaption(const std::string& caption) { TButtonControl::SetCaption(caption); }

void TCheckBox::SetChecked(bool v) {
  if (v == checked_) return;
  checked_ = v;
  ButtonOf(this)->setChecked(v);
  Click();
}

TRadioButton::TRadioButton(TComponent* Owner, TWinControl* Parent) : TButtonControl(Owner, Parent) {
  auto b = std::make_unique<QRadioButton>();
  QRadioButton* raw = b.get();
  // Siblings are unchecked here, so that a button can also be unchecked from code.
  raw->setAutoExclusive(false);
  AttachWidget(std::move(b));
  QObject::connect(raw, &QRadioButton::clicked, raw, [this, raw] {
    if (checked_) {
      raw->setChecked(true);  // a click on a checked button leaves it checked
      return;
    }
    SetChecked(true);
  });
}

void TRadioButton::SetCaption(const std::string& caption) { TButtonControl::SetCaption(caption); }

void TRadioButton::SetChecked(bool v) {
  if (v == checked_) return;
  checked_ = v;
  ButtonOf(this)->setChecked(v);
  if (!v) return;
  if (TWinControl* parent = Parent()) {
    for (int i = 0; i < parent->ControlCount(); ++i) {
      auto* other = dynamic_cast<TRadioButton*>(parent->Controls(i));
      if (other && other != this && other->checked_) {
        other->checked_ = false;
        ButtonOf(other)->setChecked(false);
      }
    }
  }
  Click();
}

}  // namespace forms
