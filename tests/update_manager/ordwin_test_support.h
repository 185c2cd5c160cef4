#pragma once

// Helpers of Ordwin's window tests: a recorder of desktop launches, the
// reference update site on loopback and a fixture that starts the whole
// application offscreen with scripted message boxes (tests/platform's).

#include <QAction>
#include <QApplication>
#include <QWidget>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "tests/platform/scripted_message_boxes.h"
#include "tests/update_client/loopback.h"
#include "update_manager/main_frame.h"
#include "update_manager/ordwin_app.h"
#include "update_manager/ordwin_view.h"
#include "update_manager/product_table.h"

namespace ordwin_test {

// Records the addresses handed to the desktop, through $VELMORA_OPEN_COMMAND:
// a small script that notes its process id and its one argument. Launches do
// not wait for their process, so the order of starting comes from the ids.
class LaunchRecorder {
 public:
  explicit LaunchRecorder(const std::filesystem::path& folder);
  ~LaunchRecorder();

  // The addresses launched so far, in the order they were started.
  std::vector<std::string> Launched() const;
  // Waits until count launches have been recorded; then the addresses.
  std::vector<std::string> WaitFor(std::size_t count) const;

 private:
  std::filesystem::path log_;
};

// The reference update site, in-process on 127.0.0.1, answering from a
// manifest (code TAB version TAB link per line).
class ReferenceSite {
 public:
  explicit ReferenceSite(const std::string& manifest);
  std::string Host() const { return server_.Host(); }

 private:
  testing_support::LoopbackServer server_;
};

// A site that answers the update request with exactly this body.
class RawSite {
 public:
  explicit RawSite(std::string body);
  std::string Host() const { return server_.Host(); }

 private:
  testing_support::LoopbackServer server_;
};

// Sample replies: a newer version for some products, none for others.
extern const char* const kSampleManifest;

// Runs Qt's event loop until done() holds or limit passes.
bool SpinUntil(const std::function<bool()>& done, int limit_ms = 5000);

// A fresh Ordwin for every test: its own settings folder (Ordwin.ini and the
// registry stand-in), a fresh product table, scripted boxes and recorded launches.
class OrdwinTest : public ::testing::Test {
 protected:
  OrdwinTest();
  ~OrdwinTest() override;

  // Writes Ordwin.ini: the update site, a maker host, and extra lines.
  void WriteIni(const std::string& site_host, const std::string& extra = "");
  // WriteIni with the start-up offer switched off.
  void WriteIniNoOffer(const std::string& site_host) {
    WriteIni(site_host, "CheckForUpdateOnStartup=0\n");
  }

  // Starts the application (InitInstance) with this program path.
  COrdwinApp& Start(const std::string& program_path = "/opt/velmora/bin/ordwin");

  template <class T>
  T* Find(const char* name) const {
    T* found = app_->MainFrame()->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  // Triggers a menu command, after checking that it is enabled.
  void Trigger(const char* action_name);
  COrdwinView& View() const { return *app_->View(); }

  // The list cell's text and the rectangle of a cell in the list's viewport.
  QString Cell(int item, int column) const;
  QRect CellRect(int item, int column) const;
  void ClickCell(int item, int column);
  // The tick box of an item, clicked as a user clicks it.
  QRect TickBoxRect(int item) const;
  void ClickTickBox(int item);
  bool Ticked(int item) const;

  std::string RegistryPath() const;
  std::string ReadIni() const;

  testing_support::ScopedConfigFolder config_;
  LaunchRecorder launches_{config_.Path()};
  ScriptedMessageBoxes boxes_;
  CProductTable table_;
  std::unique_ptr<IniFileRegistry> registry_;
  std::unique_ptr<COrdwinApp> app_;
};

}  // namespace ordwin_test
