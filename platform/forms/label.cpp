#include "forms/label.h"

#include <QLabel>

#include "forms/native.h"
#include "forms/screen_text.h"

namespace forms {

namespace {
QLabel* LabelOf(const TControl* c) { return static_cast<QLabel*>(c->NativeWidget()); }
}  // namespace

TLabel::TLabel(TComponent* Owner, TWinControl* Parent) : TControl(Owner, Parent) {
  AttachWidget(std::make_unique<QLabel>());
  LabelOf(this)->setTextFormat(Qt::PlainText);
  LabelOf(this)->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void TLabel::SetCaption(const std::string& caption) {
  caption_ = caption;
  // What the label shows of a long text is what a screen can hold; Caption keeps it whole.
  LabelOf(this)->setText(detail::FitToRoom(detail::DisplayText(caption), LabelOf(this)->font(), detail::ScreenRoom(16),
                                           detail::Fit::BreakWords));
  Fit();
}

void TLabel::SetWordWrap(bool w) {
  wordWrap_ = w;
  LabelOf(this)->setWordWrap(w);
  Fit();
}

void TLabel::SetAutoSize(bool a) {
  autoSize_ = a;
  Fit();
}

void TLabel::SetTransparent(bool t) {
  transparent_ = t;
  LabelOf(this)->setAutoFillBackground(!t && Color() != clDefault);
}

void TLabel::SetAlignment(TAlignment a) {
  alignment_ = a;
  Qt::Alignment h = a == taCenter ? Qt::AlignHCenter : a == taRightJustify ? Qt::AlignRight : Qt::AlignLeft;
  LabelOf(this)->setAlignment(h | Qt::AlignTop);
}

void TLabel::ApplyFont() {
  TControl::ApplyFont();
  Fit();
}

void TLabel::SetBounds(int left, int top, int width, int height) {
  // Moving the label hands its present width back: only a new width is a design width.
  if (width != Width()) designWidth_ = width;
  TControl::SetBounds(left, top, width, height);
  Fit();
}

void TLabel::Fit() {
  if (!autoSize_ || Align() != alNone) return;
  QLabel* l = LabelOf(this);
  l->setWordWrap(false);  // measured on one line per line break
  const bool tooWide = designWidth_ > 0 && l->sizeHint().width() > designWidth_;
  l->setWordWrap(wordWrap_ || tooWide);
  if (wordWrap_ || tooWide) {
    const int width = designWidth_ > 0 ? designWidth_ : l->width();
    l->resize(width, l->heightForWidth(width));
  } else {
    l->adjustSize();
  }
}

}  // namespace forms
