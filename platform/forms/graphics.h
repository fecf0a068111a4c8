#pragma once
// Colours, fonts, brushes, points and rectangles, and the small canvas that custom-draw
// handlers set their colours on.
#include <cstdint>
#include <functional>
#include <string>

namespace forms {

// A colour as the framework stores it: 0x00BBGGRR for an RGB colour; system colours are
// negative (0x80000000 + the system colour index) and take their value from the desktop
// theme when drawn.
using TColor = std::int32_t;
constexpr TColor RGB(int r, int g, int b) {
  return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(TColor c) { return c & 0xFF; }
constexpr int GetGValue(TColor c) { return (c >> 8) & 0xFF; }
constexpr int GetBValue(TColor c) { return (c >> 16) & 0xFF; }

constexpr TColor clBlack = RGB(0, 0, 0);
constexpr TColor clMaroon = RGB(128, 0, 0);
constexpr TColor clGreen = RGB(0, 128, 0);
constexpr TColor clOlive = RGB(128, 128, 0);
constexpr TColor clNavy = RGB(0, 0, 128);
constexpr TColor clPurple = RGB(128, 0, 128);
constexpr TColor clTeal = RGB(0, 128, 128);
constexpr TColor clGray = RGB(128, 128, 128);
constexpr TColor clSilver = RGB(192, 192, 192);
constexpr TColor clRed = RGB(255, 0, 0);
constexpr TColor clLime = RGB(0, 255, 0);
constexpr TColor clYellow = RGB(255, 255, 0);
constexpr TColor clBlue = RGB(0, 0, 255);
constexpr TColor clFuchsia = RGB(255, 0, 255);
constexpr TColor clAqua = RGB(0, 255, 255);
constexpr TColor clWhite = RGB(255, 255, 255);
constexpr TColor clCream = RGB(255, 251, 240);

constexpr TColor SystemColor(int index) { return static_cast<TColor>(0x80000000u | unsigned(index)); }
constexpr TColor clScrollBar = SystemColor(0);
constexpr TColor clBackground = SystemColor(1);
constexpr TColor clWindow = SystemColor(5);
constexpr TColor clWindowText = SystemColor(8);
constexpr TColor clBtnFace = SystemColor(15);
constexpr TColor clBtnShadow = SystemColor(16);
constexpr TColor clGrayText = SystemColor(17);
constexpr TColor clBtnText = SystemColor(18);
constexpr TColor clBtnHighlight = SystemColor(20);
constexpr TColor cl3DDkShadow = SystemColor(21);
constexpr TColor cl3DLight = SystemColor(22);
constexpr TColor clInfoText = SystemColor(23);
constexpr TColor clInfoBk = SystemColor(24);
constexpr TColor clHotLight = SystemColor(26);
constexpr TColor clHighlight = SystemColor(13);
constexpr TColor clHighlightText = SystemColor(14);
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// The RGB value of any colour, system colours resolved by the theme in use (a fixed classic
// table when no application runs).
TColor ColorToRGB(TColor color);

// Font styles, combined with |.
enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned;

class TFont {
 public:
  const std::string& Name() const { return name_; }
  void SetName(std::string name);
  int Size() const { return size_; }  // points
  void SetSize(int size);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles style);
  bool Bold() const { return (style_ & fsBold) != 0; }
  void Assign(const TFont& other);

  // Called after every change (the control applies the font to itself).
  std::function<void()> OnChange;

 private:
  void Changed();
  std::string name_;  // empty: the desktop's default font
  int size_ = 0;      // 0: the default size
  TColor color_ = clWindowText;
  TFontStyles style_ = 0;
};

class TBrush {
 public:
  TColor Color() const { return color_; }
  void SetColor(TColor color) { color_ = color; }

 private:
  TColor color_ = clWhite;
};

struct TPoint {
  int X = 0;
  int Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

// The canvas a custom-draw handler sets colours on before a row is drawn, and that an
// owner-draw handler paints on. Outside painting, drawing calls only record their colours.
class TCanvas {
 public:
  TCanvas();
  ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  TBrush& Brush() { return brush_; }
  TFont& Font() { return font_; }
  void FillRect(const TRect& rect);
  void TextOut(int x, int y, const std::string& text);

  // For the forms layer: the painter drawing calls go to while a row is painted.
  void* painter = nullptr;

 private:
  TBrush brush_;
  TFont font_;
};

// Keys and mouse buttons held during a mouse or key event.
enum TShiftFlag : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64 };
using TShiftState = unsigned;
enum TMouseButton { mbLeft, mbRight, mbMiddle };

}  // namespace forms
