#pragma once
// TLabel: a text on a form. A CR (or CR LF) in the caption starts a new line.
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

 protected:
  void ApplyFont() override;

 private:
  void Fit();
  std::string caption_;
  bool wordWrap_ = false;
  bool autoSize_ = true;
  bool transparent_ = false;
  TAlignment alignment_ = taLeftJustify;
};

}  // namespace forms
