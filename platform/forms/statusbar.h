#pragma once
// The status bar at the bottom of a form, with its panels.
#include <memory>
#include <string>
#include <vector>

#include "forms/control.h"

namespace forms {

class TStatusBar;

class TStatusPanel {
 public:
  const std::string& Text() const { return text_; }
  void SetText(const std::string& text);
  int Width() const { return width_; }
  void SetWidth(int w);

  // For the forms layer.
  TStatusPanel(TStatusBar& bar, int index) : bar_(bar), index_(index) {}

 private:
  TStatusBar& bar_;
  int index_;
  std::string text_;
  int width_ = 50;
};

class TStatusBar : public TWinControl {
 public:
  TStatusBar(TComponent* Owner, TWinControl* Parent);
  ~TStatusBar() override;
  int PanelCount() const { return static_cast<int>(panels_.size()); }
  // Panel `index`; throws std::out_of_range.
  TStatusPanel& Panels(int index);
  TStatusPanel& AddPanel();
  // Without panels, the bar shows SimpleText.
  const std::string& SimpleText() const { return simpleText_; }
  void SetSimpleText(const std::string& text);

  // For the forms layer.
  void PanelChanged(int index);

 private:
  std::vector<std::unique_ptr<TStatusPanel>> panels_;
  std::string simpleText_;
};

}  // namespace forms
