#include "platform/qt/x11.h"

#include <QGuiApplication>

#ifdef VELMORA_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#endif

xcb_connection_t* X11Connection() {
#ifdef VELMORA_HAVE_XCB
  // Only Qt's own X11 platform: the window ids of any other are no X windows.
  if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 ? x11->connection() : nullptr;
#else
  return nullptr;
#endif
}

std::uint32_t X11Atom(xcb_connection_t* connection, const char* name) {
#ifdef VELMORA_HAVE_XCB
  if (!connection) return XCB_ATOM_NONE;
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
      connection,
      xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t atom = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
  std::free(reply);
  return atom;
#else
  (void)connection;
  (void)name;
  return 0;
#endif
}

void ClearX11Title(std::uintptr_t window) {
#ifdef VELMORA_HAVE_XCB
  xcb_connection_t* connection = X11Connection();
  if (!connection || window == 0) return;
  const auto id = static_cast<xcb_window_t>(window);
  const xcb_atom_t name = X11Atom(connection, "_NET_WM_NAME");
  const xcb_atom_t utf8 = X11Atom(connection, "UTF8_STRING");
  if (name != XCB_ATOM_NONE && utf8 != XCB_ATOM_NONE) {
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, name, utf8, 8, 0, nullptr);
  }
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                      0, nullptr);
  xcb_flush(connection);
#else
  (void)window;
#endif
}

void SetX11TransientFor(std::uintptr_t window, std::uint32_t parent) {
#ifdef VELMORA_HAVE_XCB
  xcb_connection_t* connection = X11Connection();
  if (!connection || window == 0 || parent == 0) return;
  const xcb_window_t value = parent;
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window),
                      XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW, 32, 1, &value);
  xcb_flush(connection);
#else
  (void)window;
  (void)parent;
#endif
}
