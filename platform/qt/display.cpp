#include "platform/qt/display.h"

#include <cstdlib>
#include <string>

#ifdef VELMORA_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

// The first platform of a QT_QPA_PLATFORM value ("xcb", "wayland;xcb",
// "offscreen:fontengine=freetype"), without its options.
std::string FirstPlatform(const std::string& value) {
  return value.substr(0, value.find_first_of(";:"));
}

// The value of a Qt option given as "-name VALUE" or "--name VALUE".
std::string QtOption(int argc, char** argv, const std::string& name) {
  for (int i = 1; i + 1 < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "-" + name || argument == "--" + name) return argv[i + 1];
  }
  return {};
}

}  // namespace

DisplayProbe::DisplayProbe(int argc, char** argv) {
  std::string platform = QtOption(argc, argv, "platform");
  const bool chosen = !platform.empty() || !Environment("QT_QPA_PLATFORM").empty();
  if (platform.empty()) platform = Environment("QT_QPA_PLATFORM");
  if (!platform.empty() && FirstPlatform(platform) != "xcb") {
    found_ = true;
    return;
  }
  const std::string display = QtOption(argc, argv, "display");
#ifdef VELMORA_HAVE_XCB
  xcb_connection_t* connection = xcb_connect(display.empty() ? nullptr : display.c_str(), nullptr);
  connection_ = connection;
  found_ = xcb_connection_has_error(connection) == 0;
#else
  found_ = !display.empty() || !Environment("DISPLAY").empty();
#endif
  // Left to choose, Qt takes a Wayland session where there is one.
  if (!found_ && !chosen && !Environment("WAYLAND_DISPLAY").empty()) found_ = true;
}

DisplayProbe::~DisplayProbe() { Close(); }

void DisplayProbe::Close() {
#ifdef VELMORA_HAVE_XCB
  if (connection_) xcb_disconnect(static_cast<xcb_connection_t*>(connection_));
#endif
  connection_ = nullptr;
}
