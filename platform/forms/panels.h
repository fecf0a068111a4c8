#pragma once
// Containers: the panel, the group box, the scroll box and the image.
#include <string>

#include "forms/control.h"

namespace forms {

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

class TPanel : public TWinControl {
 public:
  TPanel(TComponent* Owner, TWinControl* Parent);
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut b);

 private:
  std::string caption_;
  TBevelCut bevelOuter_ = bvRaised;
};

class TGroupBox : public TWinControl {
 public:
  TGroupBox(TComponent* Owner, TWinControl* Parent);
  QWidget* NativeContainer() const override;
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);

 private:
  std::string caption_;
};

// One scroll bar of a scroll box: the position is the number of pixels scrolled.
class TControlScrollBar {
 public:
  int Position() const;
  void SetPosition(int position);  // kept within 0 .. Range() - the visible extent
  int Range() const;               // the extent of the box's contents
  bool Visible() const { return visible_; }
  void SetVisible(bool v);

  // For the forms layer.
  TControlScrollBar(class TScrollBox& box, bool vertical) : box_(box), vertical_(vertical) {}

 private:
  TScrollBox& box_;
  bool vertical_;
  bool visible_ = true;
};

// A box whose children may extend beyond it, with scroll bars to move them. The mouse wheel
// does not scroll it: each notch goes to OnMouseWheel, then OnMouseWheelDown or
// OnMouseWheelUp, and the handlers decide.
class TScrollBox : public TWinControl {
 public:
  TScrollBox(TComponent* Owner, TWinControl* Parent);
  ~TScrollBox() override;
  QWidget* NativeContainer() const override;

  TControlScrollBar& VertScrollBar() { return vert_; }
  TControlScrollBar& HorzScrollBar() { return horz_; }

  TMouseWheelEvent OnMouseWheel;
  TMouseWheelUpDownEvent OnMouseWheelDown;
  TMouseWheelUpDownEvent OnMouseWheelUp;

  // The user's road: turns the wheel over the box by `notches` (negative: towards the user,
  // that is down) at a point of the box.
  void UserWheel(int notches, TPoint clientPos = {10, 10});

  // For the forms layer: one wheel event as the window system delivers it.
  void WheelEvent(int delta, TShiftState shift, TPoint screenPos);
  void Realign() override;

 private:
  int wheelAccumulator_ = 0;
  TControlScrollBar vert_{*this, true};
  TControlScrollBar horz_{*this, false};
};

// A picture from a file, drawn at its own size or stretched.
class TImage : public TControl {
 public:
  TImage(TComponent* Owner, TWinControl* Parent);
  void LoadFromFile(const std::string& path);  // throws forms::Exception when unreadable
  bool Stretch() const { return stretch_; }
  void SetStretch(bool s);
  bool Empty() const { return empty_; }

 private:
  bool stretch_ = false;
  bool empty_ = true;
};

}  // namespace forms
