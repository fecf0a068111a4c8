#include "forms/graphics.h"

#include <QPainter>

#include "forms/native.h"

namespace forms {

TColor ColorToRGB(TColor color) {
  if (color >= 0) return color & 0xFFFFFF;
  // The classic desktop colours: the programs were drawn with them.
  switch (color & 0xFF) {
    case 0: return RGB(200, 200, 200);   // scroll bar
    case 1: return RGB(0, 0, 0);         // background
    case 5: return RGB(255, 255, 255);   // window
    case 8: return RGB(0, 0, 0);         // window text
    case 13: return RGB(51, 153, 255);   // highlight
    case 14: return RGB(255, 255, 255);  // highlight text
    case 15: return RGB(240, 240, 240);  // button face
    case 16: return RGB(160, 160, 160);  // button shadow
    case 17: return RGB(109, 109, 109);  // grey text
    case 18: return RGB(0, 0, 0);        // button text
    case 20: return RGB(255, 255, 255);  // button highlight
    case 21: return RGB(105, 105, 105);  // 3D dark shadow
    case 22: return RGB(227, 227, 227);  // 3D light
    case 23: return RGB(0, 0, 0);        // info text
    case 24: return RGB(255, 255, 225);  // info background
    case 26: return RGB(0, 102, 204);    // hot light
    default: return RGB(0, 0, 0);
  }
}

void TFont::SetName(std::string name) {
  name_ = std::move(name);
  Changed();
}
void TFont::SetSize(int size) {
  size_ = size;
  Changed();
}
void TFont::SetColor(TColor color) {
  color_ = color;
  Changed();
}
void TFont::SetStyle(TFontStyles style) {
  style_ = style;
  Changed();
}
void TFont::Assign(const TFont& other) {
  name_ = other.name_;
  size_ = other.size_;
  color_ = other.color_;
  style_ = other.style_;
  Changed();
}
void TFont::Changed() {
  if (OnChange) OnChange();
}

TCanvas::TCanvas() = default;
TCanvas::~TCanvas() = default;

void TCanvas::FillRect(const TRect& rect) {
  if (!painter) return;
  auto* p = static_cast<QPainter*>(painter);
  p->fillRect(QRect(rect.Left, rect.Top, rect.Width(), rect.Height()), detail::ToQColor(brush_.Color()));
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
  if (!painter) return;
  auto* p = static_cast<QPainter*>(painter);
  p->save();
  p->setFont(detail::ToQFont(font_, p->font()));
  p->setPen(detail::ToQColor(font_.Color()));
  const QFontMetrics fm(p->font());
  p->drawText(QPoint(x, y + fm.ascent()), detail::Q(text));
  p->restore();
}

}  // namespace forms
