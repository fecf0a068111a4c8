#pragma once
// TLabel: a text on a form. A CR (or CR LF) in the caption starts a new line.
//
// With AutoSize (the default) the label takes the size of its text. A label that was given a
// width (its design width) keeps to it: a text too long for it wraps at word breaks and the
// label grows downwards, instead of running past its place.
#include <string>

#include "forms/control.h"

namespace forms {

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

class TLabel : public TControl {
 public:
  TLabel(TComponent* Owner, TWinControl* Parent);
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool w);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool a);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool t);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  void SetBounds(int left, int top, int width, int height) override;

 protected:
  void ApplyFont() override;

 private:
  void Fit();
  std::string caption_;
  bool wordWrap_ = false;
  int designWidth_ = 0;  // 0: none given, the label is as wide as its text
  bool autoSize_ = true;
  bool transparent_ = false;
  TAlignment alignment_ = taLeftJustify;
};

}  // namespace forms
