#pragma once
// The desktop: the screen, its work area (the screen less the panels and taskbars) and the
// application's taskbar button.
//
// The real implementation asks Qt for the primary screen when a QGuiApplication exists;
// without one (or without a screen) the screen is 1024 x 768 with nothing reserved.
// Rectangles are in the desktop's coordinates, those of window positions: the primary
// screen is at (0, 0) on most desktops, but not always when there are several screens.
// Window thread only.
//
// On this desktop every visible top-level window has its own taskbar entry; hiding "the
// application's taskbar button" means keeping all of the application's windows out of the
// taskbar (and the pager) until it is shown again. The real implementation records the
// state, tells the listeners (the form layer adds one that applies it to each window it
// creates), and on X11 sets the skip-taskbar state of the application's mapped windows.
#include <functional>
#include <memory>

#include "os/service.h"

namespace os {

// Screen rectangle as the system gives it: right and bottom are one past the last pixel.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

class Desktop {
 public:
  virtual ~Desktop() = default;
  virtual Rect ScreenRect() = 0;  // the primary screen
  virtual Rect WorkArea() = 0;    // SPI_GETWORKAREA
  // ShowWindow(Application handle, SW_SHOWNORMAL / SW_HIDE).
  virtual void SetTaskbarButtonVisible(bool visible) = 0;
  virtual bool TaskbarButtonVisible() = 0;
};

template <>
Desktop& RealService<Desktop>();

// Called with the new state after each change of the real desktop's taskbar button, on the
// thread that changed it. The listener stays until the returned object is destroyed.
using TaskbarListener = std::function<void(bool visible)>;
[[nodiscard]] std::shared_ptr<void> AddTaskbarListener(TaskbarListener listener);

// Shortcuts for Use<Desktop>().
Rect ScreenRect();
Rect WorkArea();
void SetTaskbarButtonVisible(bool visible);

}  // namespace os
