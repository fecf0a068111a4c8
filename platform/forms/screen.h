#pragma once
// Screen: the size of the primary screen and its work area (the screen less the panels
// and taskbars). Both come from the desktop service of the os layer, so a test that puts a
// fake os::Desktop in place (os::ScopedOverride<os::Desktop>) moves Screen with it.
#include "forms/graphics.h"

namespace forms {

class TScreen {
 public:
  constexpr TScreen() = default;
  int Width() const;
  int Height() const;
  TRect WorkAreaRect() const;
  int WorkAreaWidth() const { return WorkAreaRect().Width(); }
  int WorkAreaHeight() const { return WorkAreaRect().Height(); }
  // Where the mouse pointer is, in screen coordinates.
  TPoint CursorPos() const;
};

extern const TScreen* const Screen;

}  // namespace forms
