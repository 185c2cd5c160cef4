#include "flag_editor/parent_window.h"

#include "platform/qt/x11.h"

#ifdef VELMORA_HAVE_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#endif

void TakeFocus(std::uintptr_t window) {
#ifdef VELMORA_HAVE_XCB
  xcb_connection_t* connection = X11Connection();
  if (!connection || window == 0) return;
  const std::uint32_t above = XCB_STACK_MODE_ABOVE;
  xcb_configure_window(connection, static_cast<xcb_window_t>(window), XCB_CONFIG_WINDOW_STACK_MODE,
                       &above);
  xcb_set_input_focus(connection, XCB_INPUT_FOCUS_PARENT, static_cast<xcb_window_t>(window),
                      XCB_CURRENT_TIME);
  xcb_flush(connection);
#else
  (void)window;
#endif
}

bool FocusIsInParentWindow(std::uint32_t parent) {
#ifdef VELMORA_HAVE_XCB
  if (parent == 0) return false;
  xcb_connection_t* connection = X11Connection();
  if (!connection) return false;
  const auto free_reply = [](void* reply) { std::free(reply); };
  std::unique_ptr<xcb_get_input_focus_reply_t, decltype(free_reply)> focus(
      xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr), free_reply);
  if (!focus) return false;
  // Up from the focused window to the root: is the parent among its ancestors?
  xcb_window_t window = focus->focus;
  for (int depth = 0; window != XCB_NONE && depth < 64; ++depth) {
    if (window == parent) return true;
    std::unique_ptr<xcb_query_tree_reply_t, decltype(free_reply)> tree(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr), free_reply);
    if (!tree || tree->parent == window || window == tree->root) break;
    window = tree->parent;
  }
#else
  (void)parent;
#endif
  return false;
}
