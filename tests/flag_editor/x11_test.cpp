// Talvane's windows on a real X server, read back as the window manager reads
// them: an Xvfb of the test's own where Xvfb is installed, else $DISPLAY; the
// cases skip where there is neither.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "flag_editor/flag_editor_dlg.h"
#include "platform/qt/qt_message_boxes.h"
#include "platform/qt/x11.h"
#include "platform/registry.h"
#include "tests/flag_editor/scripted_questions.h"
#include "tests/platform/test_files.h"

extern char** environ;

namespace {

pid_t g_xvfb = 0;

// Held open for the whole run: an Xvfb started with -terminate ends when its
// last client goes, so not even a crashed test leaves it running.
xcb_connection_t* g_hold = nullptr;

bool Connect(const char* display) {
  if (!display || !*display) return false;
  g_hold = xcb_connect(display, nullptr);
  if (!xcb_connection_has_error(g_hold)) return true;
  xcb_disconnect(g_hold);
  g_hold = nullptr;
  return false;
}

// Starts Xvfb on the first free display; ":N", or empty when it cannot.
std::string StartXvfb() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1],
                                   3);  // -displayfd 3: where it says which display
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  char* argv[] = {const_cast<char*>("Xvfb"),       const_cast<char*>("-displayfd"),
                  const_cast<char*>("3"),          const_cast<char*>("-screen"),
                  const_cast<char*>("0"),          const_cast<char*>("1024x768x24"),
                  const_cast<char*>("-nolisten"),  const_cast<char*>("tcp"),
                  const_cast<char*>("-terminate"), nullptr};
  const int spawned = posix_spawnp(&g_xvfb, "Xvfb", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  std::string number;
  if (spawned == 0) {
    pollfd ready{fds[0], POLLIN, 0};
    char c = 0;
    while (poll(&ready, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  } else {
    g_xvfb = 0;
  }
  close(fds[0]);
  return number.empty() ? std::string() : ":" + number;
}

void StopXvfb() {
  if (g_xvfb <= 0) return;
  kill(g_xvfb, SIGTERM);
  waitpid(g_xvfb, nullptr, 0);
  g_xvfb = 0;
}

// Another program's connection to the same X server.
class X11 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!qApp) GTEST_SKIP() << "no X server: neither Xvfb nor $DISPLAY";
    connection_ = xcb_connect(nullptr, nullptr);
    ASSERT_FALSE(xcb_connection_has_error(connection_));
  }
  void TearDown() override {
    if (connection_) xcb_disconnect(connection_);
  }

  // A mapped top-level window of that other program.
  xcb_window_t ForeignWindow() {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    const xcb_window_t window = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, screen->root, 10, 10, 300, 200, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_map_window(connection_, window);
    xcb_flush(connection_);
    return window;
  }

  // A property's bytes as the server holds them now; nullopt when it is not set.
  std::optional<std::string> Property(WId window, xcb_atom_t property) {
    QGuiApplication::sync();  // what Qt's connection sent has reached the server
    auto* reply =
        xcb_get_property_reply(connection_,
                               xcb_get_property(connection_, 0, static_cast<xcb_window_t>(window),
                                                property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
                               nullptr);
    std::optional<std::string> value;
    if (reply && reply->type != XCB_ATOM_NONE) {
      const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply));
      value = std::string(
          bytes, static_cast<std::size_t>(xcb_get_property_value_length(reply)));  // in bytes
    }
    std::free(reply);
    return value;
  }
  std::optional<std::uint32_t> TransientFor(WId window) {
    const std::optional<std::string> value = Property(window, XCB_ATOM_WM_TRANSIENT_FOR);
    if (!value || value->size() != 4) return std::nullopt;
    std::uint32_t id = 0;
    std::memcpy(&id, value->data(), 4);
    return id;
  }

  xcb_connection_t* connection_ = nullptr;
};

// With /parent=N the window manager must see Talvane as transient for N, also
// after the window was hidden and shown again; without a parent it is not.
TEST_F(X11, TheWindowIsTransientForItsParent) {
  TempDir folder;
  IniFileRegistry registry(folder / "registry.ini");  // no default database: two boxes, answered
  const xcb_window_t parent = ForeignWindow();
  for (const bool with_parent : {true, false}) {
    SCOPED_TRACE(with_parent ? "/parent=N" : "no parent");
    ScriptedQuestions questions;
    CFlagEditorDlg dlg(questions, questions, registry);
    dlg.m_bHasParent = with_parent;
    dlg.m_nParentWnd = with_parent ? static_cast<std::int32_t>(parent) : 0;
    dlg.OnInitDialog();
    for (int show = 0; show < 2; ++show) {
      dlg.show();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
      const std::optional<std::uint32_t> transient_for = TransientFor(dlg.winId());
      if (with_parent) {
        EXPECT_EQ(transient_for, parent) << "show " << show;
      } else {
        EXPECT_NE(transient_for, parent) << "show " << show;
      }
      dlg.hide();
      QCoreApplication::processEvents();
    }
  }
}

// Qt names a window with an empty title after the application; a box asked for
// no caption must show an empty title bar, the others keep theirs.
TEST_F(X11, ABoxWithoutCaptionHasAnEmptyTitleBar) {
  QtMessageBoxes boxes(QStringLiteral("Talvane"));
  const xcb_atom_t net_wm_name = X11Atom(connection_, "_NET_WM_NAME");
  const std::pair<std::string, std::string> cases[] = {
      {kNoCaption, ""}, {"", "Talvane"}, {"Error!", "Error!"}};
  for (const auto& [caption, title] : cases) {
    SCOPED_TRACE(title);
    std::optional<std::string> net_name, name;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      if (QTest::qWaitForWindowExposed(box)) {
        net_name = Property(box->winId(), net_wm_name);
        name = Property(box->winId(), XCB_ATOM_WM_NAME);
      }
      box->button(QMessageBox::Ok)->click();
    });
    boxes.Show("Error opening file.", caption, BoxButtons::Ok, BoxIcon::None);
    EXPECT_EQ(net_name.value_or("(none)"), title);
    EXPECT_EQ(name.value_or(""), title);
  }
}

}  // namespace

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing |= std::strcmp(argv[i], "--gtest_list_tests") == 0;
  std::unique_ptr<QApplication> application;
  if (!listing) {
    // An X server of our own first: the test's windows then neither appear on a
    // desktop nor meet its window manager.
    const std::string own = StartXvfb();
    if (!own.empty()) setenv("DISPLAY", own.c_str(), 1);
    if (Connect(std::getenv("DISPLAY"))) {
      setenv("QT_QPA_PLATFORM", "xcb", 1);
      application = std::make_unique<QApplication>(argc, argv);
      QApplication::setApplicationName(QStringLiteral("Talvane"));
    }
  }
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  application.reset();
  if (g_hold) xcb_disconnect(g_hold);
  StopXvfb();
  return result;
}
