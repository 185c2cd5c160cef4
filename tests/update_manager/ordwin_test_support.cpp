#include "tests/update_manager/ordwin_test_support.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/settings_folder.h"
#include "tools/update_client/site_server.h"

namespace ordwin_test {

using testing_support::ReadFile;

LaunchRecorder::LaunchRecorder(const std::filesystem::path& folder)
    : log_(folder / "launched.log") {
  const std::filesystem::path script = folder / "record-launch.sh";
  std::ofstream(script) << "#!/bin/sh\n"
                           "# one line per launch: process id, then the one argument\n"
                           "printf '%s %s\\n' \"$$\" \"$1\" >> '"
                        << log_.string() << "'\n";
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  ::setenv("VELMORA_OPEN_COMMAND", script.c_str(), 1);
}

LaunchRecorder::~LaunchRecorder() { ::unsetenv("VELMORA_OPEN_COMMAND"); }

std::vector<std::string> LaunchRecorder::Launched() const {
  std::vector<std::pair<long, std::string>> lines;
  std::istringstream in(ReadFile(log_));
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos) continue;
    lines.emplace_back(std::atol(line.substr(0, blank).c_str()), line.substr(blank + 1));
  }
  std::sort(lines.begin(), lines.end());
  std::vector<std::string> addresses;
  for (auto& l : lines) addresses.push_back(std::move(l.second));
  return addresses;
}

std::vector<std::string> LaunchRecorder::WaitFor(std::size_t count) const {
  testing_support::WaitFor([&] { return Launched().size() >= count; });
  return Launched();
}

ReferenceSite::ReferenceSite(const std::string& manifest_text) {
  Manifest manifest;
  std::string error;
  EXPECT_TRUE(ParseManifest(manifest_text, manifest, error)) << error;
  InstallUpdateSiteRoutes(server_.Routes(), manifest);
  server_.Start();
}

RawSite::RawSite(std::string body) {
  server_.Routes().Get("/index3.php", [body](const httplib::Request&, httplib::Response& res) {
    res.set_content(body, "text/html");
  });
  server_.Start();
}

const char* const kSampleManifest =
    "OW\t1.1\thttps://downloads.velmora.test/ordwin/OrdwinSetup-1.1.exe\n"
    "KVSL\t4.3.1\thttps://downloads.velmora.test/kvsl/KVSLSetup-4.3.1.exe\n"
    "Pellor\t7.2\thttps://downloads.velmora.test/pellor/PellorSetup-7.2.exe\n"
    "QEL\t1.9\thttps://downloads.velmora.test/qel/QELSetup-1.9.exe\n"
    "TINDLE\t3.1\thttps://downloads.velmora.test/tindle/TindleSetup-3.1.exe\n"
    "Pellor Ashby\t5.0 beta\thttps://downloads.velmora.test/ashby/Ashby%20Setup%205.0.exe\n"
    "Nerith\t2026.12\thttps://downloads.velmora.test/nerith/NerithLibrary-2026.12.exe\n";

bool SpinUntil(const std::function<bool()>& done, int limit_ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > limit_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

OrdwinTest::OrdwinTest() = default;

OrdwinTest::~OrdwinTest() {
  app_.reset();
  // Nothing of this test's posted work may reach the next one.
  QCoreApplication::processEvents();
}

void OrdwinTest::WriteIni(const std::string& site_host, const std::string& extra) {
  config_.WriteOrdwinIni("[Ordwin]\nUpdateSiteHost=" + site_host +
                         "\nMakerWebHost=www.velmora.test\n" + extra);
}

COrdwinApp& OrdwinTest::Start(const std::string& program_path) {
  registry_ = std::make_unique<IniFileRegistry>();
  app_ = std::make_unique<COrdwinApp>(boxes_, *registry_, table_, program_path);
  EXPECT_TRUE(app_->InitInstance());
  EXPECT_TRUE(QTest::qWaitForWindowExposed(app_->MainFrame()));
  return *app_;
}

void OrdwinTest::Trigger(const char* action_name) {
  QAction* action = Find<QAction>(action_name);
  ASSERT_NE(action, nullptr);
  ASSERT_TRUE(action->isEnabled()) << action_name;
  action->trigger();
}

QString OrdwinTest::Cell(int item, int column) const {
  auto* list = app_->MainFrame()->findChild<QTreeWidget*>(QStringLiteral("productList"));
  const QTreeWidgetItem* row = list->topLevelItem(item);
  return row != nullptr ? row->text(column) : QString();
}

QRect OrdwinTest::CellRect(int item, int column) const {
  auto* list = app_->MainFrame()->findChild<QTreeWidget*>(QStringLiteral("productList"));
  return list->visualRect(list->model()->index(item, column));
}

void OrdwinTest::ClickCell(int item, int column) {
  auto* list = Find<QTreeWidget>("productList");
  // Right of the tick box, inside the cell.
  const QRect cell = CellRect(item, column);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    QPoint(cell.right() - 10, cell.center().y()));
}

QRect OrdwinTest::TickBoxRect(int item) const {
  auto* list = app_->MainFrame()->findChild<QTreeWidget*>(QStringLiteral("productList"));
  QStyleOptionViewItem option;
  option.initFrom(list->viewport());
  option.rect = CellRect(item, COrdwinView::kColumnProgram);
  option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
  option.text = Cell(item, COrdwinView::kColumnProgram);
  return list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
}

void OrdwinTest::ClickTickBox(int item) {
  auto* list = Find<QTreeWidget>("productList");
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, TickBoxRect(item).center());
}

bool OrdwinTest::Ticked(int item) const {
  auto* list = app_->MainFrame()->findChild<QTreeWidget*>(QStringLiteral("productList"));
  return list->topLevelItem(item)->checkState(COrdwinView::kColumnProgram) == Qt::Checked;
}

std::string OrdwinTest::RegistryPath() const { return RegistryStandInPath(); }

std::string OrdwinTest::ReadIni() const { return ReadFile(config_.Path() / "Ordwin.ini"); }

}  // namespace ordwin_test
