#pragma once

// Whether Qt will find a display to put windows on. Started without one, Qt's
// X11 platform plugin aborts the program with a message about reinstalling
// it; the programs look first and say plainly what is missing instead.
//
// A platform chosen with QT_QPA_PLATFORM or -platform other than xcb (offscreen,
// wayland, vnc, ...) is trusted as it is. Otherwise an X server must answer on
// $DISPLAY (or -display NAME), unless a Wayland session ($WAYLAND_DISPLAY) is
// there for Qt to use. argv is the program's command line, before QApplication
// takes its options out.
//
// The X connection made to look stays open until Close (or the end of the
// object), which comes after QApplication has made its own: an X server with
// no other client resets when its last client leaves, and would refuse Qt's
// connection while it does.
class DisplayProbe {
 public:
  DisplayProbe(int argc, char** argv);
  ~DisplayProbe();
  DisplayProbe(const DisplayProbe&) = delete;
  DisplayProbe& operator=(const DisplayProbe&) = delete;

  bool Found() const { return found_; }
  void Close();

 private:
  bool found_ = false;
  void* connection_ = nullptr;  // xcb_connection_t, when one was made
};
