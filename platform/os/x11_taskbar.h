#pragma once
// Keeping a mapped window out of the taskbar and the pager on an X11 desktop (the
// _NET_WM_STATE_SKIP_TASKBAR and _NET_WM_STATE_SKIP_PAGER states of the window manager).
// Does nothing on other window systems (Wayland, offscreen). Window thread only.
class QWindow;

namespace os {

void SetSkipTaskbar(QWindow& window, bool skip);

}  // namespace os
