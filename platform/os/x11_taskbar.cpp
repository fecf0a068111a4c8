#include "os/x11_taskbar.h"

#if ORVALIS_HAVE_XCB

#include <QGuiApplication>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace os {
namespace {

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  const auto cookie = xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::char_traits<char>::length(name)), name);
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(xcb_intern_atom_reply(c, cookie, nullptr),
                                                                        &std::free);
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

}  // namespace

void SetSkipTaskbar(QWindow& window, bool skip) {
  auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (!app) return;
  auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11) return;
  xcb_connection_t* c = x11->connection();
  if (!c) return;
  const xcb_atom_t state = Atom(c, "_NET_WM_STATE");
  const xcb_atom_t skipTaskbar = Atom(c, "_NET_WM_STATE_SKIP_TASKBAR");
  const xcb_atom_t skipPager = Atom(c, "_NET_WM_STATE_SKIP_PAGER");
  if (state == XCB_ATOM_NONE || skipTaskbar == XCB_ATOM_NONE) return;
  const xcb_setup_t* setup = xcb_get_setup(c);
  const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
  if (!screens.rem) return;

  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = static_cast<xcb_window_t>(window.winId());
  event.type = state;
  event.data.data32[0] = skip ? 1 : 0;  // add or remove
  event.data.data32[1] = skipTaskbar;
  event.data.data32[2] = skipPager;
  event.data.data32[3] = 1;  // from an application
  xcb_send_event(c, 0, screens.data->root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&event));
  xcb_flush(c);
}

}  // namespace os

#else

namespace os {

void SetSkipTaskbar(QWindow&, bool) {}

}  // namespace os

#endif
