#pragma once
// Buttons: the push button (TButton), the button with a glyph (TBitBtn), the flat glyph
// button (TSpeedButton), the transparent page button with its AutoGray look
// (TJvTransparentButton), the check box and the radio button.
//
// UserClick() presses a control the way the user does (nothing happens while it is
// disabled); Click() is the framework's method that runs OnClick.
#include <string>

#include "forms/control.h"

namespace forms {

class TImageList;

class TButtonControl : public TWinControl {
 public:
  using TWinControl::TWinControl;
  const std::string& Caption() const { return caption_; }
  virtual void SetCaption(const std::string& caption);
  // The user's road: a click with the mouse.
  void UserClick();

 private:
  std::string caption_;
};

// A push button is never narrower than its caption (and glyph) need in the font it shows
// them in: the width it is given is a design width, which it widens to when the text would
// be clipped (another font than the design's, a longer text). Aligned buttons keep the width
// their alignment gives.
class TButton : public TButtonControl {
 public:
  TButton(TComponent* Owner, TWinControl* Parent);
  void SetCaption(const std::string& caption) override;
  void SetBounds(int left, int top, int width, int height) override;
  // For the forms layer: the width again, after a change of text, glyph or font.
  void FitToText();

 private:
  int designWidth_ = 0;
};

class TBitBtn : public TButton {
 public:
  using TButton::TButton;
  // A picture shown beside the caption: a file, or an image of an image list.
  void SetGlyphFile(const std::string& path);
  void SetGlyph(const TImageList& images, int index);
};

class TSpeedButton : public TButtonControl {
 public:
  TSpeedButton(TComponent* Owner, TWinControl* Parent);
  void SetCaption(const std::string& caption) override;
  bool Flat() const { return flat_; }
  void SetFlat(bool f);
  void SetGlyphFile(const std::string& path);
  void SetGlyph(const TImageList& images, int index);

 private:
  bool flat_ = false;
};

// A borderless button with its glyph above the caption. With AutoGray its glyph is grey
// until the mouse is over it; without, the glyph shows in colour.
class TJvTransparentButton : public TButtonControl {
 public:
  TJvTransparentButton(TComponent* Owner, TWinControl* Parent);
  void SetCaption(const std::string& caption) override;
  bool AutoGray() const { return autoGray_; }
  void SetAutoGray(bool v);
  void SetGlyphFile(const std::string& path);
  void SetGlyph(const TImageList& images, int index);
  // True while the glyph is drawn grey (AutoGray and the mouse not over the button).
  bool GlyphGrayed() const;

 private:
  void UpdateGlyph();
  bool autoGray_ = true;
};

// Setting Checked from code fires OnClick when the state changes, as the framework does;
// a user click toggles the box, then OnClick.
class TCheckBox : public TButtonControl {
 public:
  TCheckBox(TComponent* Owner, TWinControl* Parent);
  void SetCaption(const std::string& caption) override;
  bool Checked() const { return checked_; }
  void SetChecked(bool v);

 private:
  bool checked_ = false;
};

// Checking a radio button unchecks the other radio buttons of the same parent. OnClick runs
// when the button becomes checked (by the user or from code), not when it is unchecked.
class TRadioButton : public TButtonControl {
 public:
  TRadioButton(TComponent* Owner, TWinControl* Parent);
  void SetCaption(const std::string& caption) override;
  bool Checked() const { return checked_; }
  void SetChecked(bool v);

 private:
  bool checked_ = false;
};

}  // namespace forms
