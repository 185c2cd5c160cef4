// Ordwin's start: the start-up offer by the ini value, AppPath in the registry
// stand-in, the frame with its menus and status bar, the form and the About box.
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <fstream>

#include "tests/update_manager/ordwin_test_support.h"
#include "update_manager/ordwin_about_dlg.h"
#include "update_manager/ordwin_strings.h"

namespace ordwin_test {
namespace {

using testing_support::ReadFile;

const std::string kOffer = OrdwinString(IDS_STARTUP_OFFER);

class StartupTest : public OrdwinTest {};

TEST_F(StartupTest, OfferFollowsTheIniValue) {
  struct Case {
    const char* what;
    const char* ini;  // nullptr: no Ordwin.ini at all
    bool asked;
  };
  const Case cases[] = {
      {"no ini file", nullptr, true},
      {"no such key", "[Ordwin]\nMakerWebHost=www.velmora.test\n", true},
      {"key in another section", "[Other]\nCheckForUpdateOnStartup=0\n", true},
      {"1", "[Ordwin]\nCheckForUpdateOnStartup=1\n", true},
      {"any other number", "[Ordwin]\nCheckForUpdateOnStartup=7\n", true},
      {"0", "[Ordwin]\nCheckForUpdateOnStartup=0\n", false},
      {"0 with trailing text", "[Ordwin]\ncheckforupdateonstartup=0 never\n", false},
      {"not a number reads 0", "[Ordwin]\nCheckForUpdateOnStartup=no\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(config_.Path() / "Ordwin.ini");
    if (c.ini != nullptr) config_.WriteOrdwinIni(c.ini);
    boxes_.asked.clear();
    bool frameShownWhileAsked = true;
    boxes_.while_asked = [&](const ScriptedMessageBoxes::Asked&) {
      frameShownWhileAsked = app_->MainFrame()->isVisible();
    };
    if (c.asked) boxes_.answers = {BoxAnswer::No};
    Start();
    ASSERT_EQ(boxes_.asked.size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(boxes_.asked[0].text, kOffer);
      EXPECT_EQ(boxes_.asked[0].caption, "");  // the application's name, "Ordwin"
      EXPECT_EQ(boxes_.asked[0].buttons, BoxButtons::YesNoCancel);
      EXPECT_EQ(boxes_.asked[0].icon, BoxIcon::Question);
      EXPECT_FALSE(frameShownWhileAsked) << "the offer comes before the main window";
    }
    EXPECT_TRUE(app_->MainFrame()->isVisible());
    app_.reset();
  }
}

TEST_F(StartupTest, NoWritesNothingCancelWritesZeroForGood) {
  const std::string ini = "; settings\n[Ordwin]\nMakerWebHost=www.velmora.test\n[Other]\nx=1\n";
  config_.WriteOrdwinIni(ini);
  boxes_.answers = {BoxAnswer::No};
  Start();
  app_.reset();
  EXPECT_EQ(ReadIni(), ini);

  boxes_.answers = {BoxAnswer::Cancel};
  Start();
  app_.reset();
  EXPECT_EQ(ReadIni(),
            "; settings\n[Ordwin]\nMakerWebHost=www.velmora.test\nCheckForUpdateOnStartup=0\n"
            "[Other]\nx=1\n");

  boxes_.asked.clear();
  Start();
  EXPECT_TRUE(boxes_.asked.empty()) << "a later start does not ask";
  EXPECT_TRUE(launches_.Launched().empty());
}

TEST_F(StartupTest, CancelWithUnwritableIniAsksAgainNextTime) {
  // A folder where the ini file should be: nothing can be written there.
  std::filesystem::create_directory(config_.Path() / "Ordwin.ini");
  boxes_.answers = {BoxAnswer::Cancel};
  Start();
  app_.reset();
  boxes_.answers = {BoxAnswer::No};
  Start();
  EXPECT_EQ(boxes_.asked.size(), 2u);
}

TEST_F(StartupTest, AppPathIsRecordedOnceAndKept) {
  WriteIniNoOffer("127.0.0.1:9");
  Start("/opt/velmora/first/ordwin");
  app_.reset();
  Start("/home/analyst/second/ordwin");
  app_.reset();

  IniFileRegistry registry;
  const std::optional<RegistryKey> key =
      registry.OpenKey(kLocalMachine, "software\\Velmora\\Ordwin");
  ASSERT_TRUE(key.has_value());
  EXPECT_EQ(registry.QueryValue(*key, "AppPath", 520), "/opt/velmora/first/ordwin");
  registry.CloseKey(*key);
}

TEST_F(StartupTest, ExistingKeyWithoutAppPathIsLeftAlone) {
  WriteIniNoOffer("127.0.0.1:9");
  const std::string store = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Ordwin]\nOther=1\n";
  std::ofstream(RegistryPath()) << store;
  Start();
  EXPECT_EQ(ReadFile(RegistryPath()), store);
}

TEST_F(StartupTest, UnwritableRegistryStartsNormally) {
  WriteIniNoOffer("127.0.0.1:9");
  std::filesystem::create_directory(RegistryPath());  // cannot be replaced by a file
  Start();
  EXPECT_TRUE(app_->MainFrame()->isVisible());
}

TEST_F(StartupTest, FrameMenusAndStatusBar) {
  WriteIniNoOffer("127.0.0.1:9");
  Start();
  CMainFrame* frame = app_->MainFrame();
  EXPECT_EQ(frame->windowTitle(), "Ordwin");
  EXPECT_EQ(frame->minimumSize(), QSize(510, 310));
  frame->resize(100, 100);
  EXPECT_GE(frame->width(), 510);
  EXPECT_GE(frame->height(), 310);

  QStringList menus;
  for (QAction* a : frame->menuBar()->actions()) menus << a->text();
  EXPECT_EQ(menus, QStringList({"&File", "&View", "&Velmora", "&Help"}));

  struct Command {
    const char* name;
    const char* text;
    const char* prompt;
  };
  const Command commands[] = {
      {"actionExit", "E&xit", "Quit the application; prompts to save documents"},
      {"actionStatusBar", "&Status Bar", "Show or hide the status bar"},
      {"actionCheckForUpdates", "Check for updates...", ""},
      {"actionAbout", "&About Ordwin...",
       "Display program information, version number and copyright"},
  };
  for (const Command& c : commands) {
    QAction* action = Find<QAction>(c.name);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->text(), c.text);
    EXPECT_EQ(action->statusTip(), c.prompt) << c.name;
    EXPECT_TRUE(action->isEnabled()) << c.name;
  }

  auto* idle = Find<QLabel>("statusIdleText");
  EXPECT_EQ(idle->text(), "Ready");
  QStatusBar* status = Find<QStatusBar>("statusBar");
  QAction* toggle = Find<QAction>("actionStatusBar");
  EXPECT_TRUE(toggle->isChecked());
  Trigger("actionStatusBar");
  EXPECT_FALSE(status->isVisible());
  EXPECT_FALSE(toggle->isChecked());
  Trigger("actionStatusBar");
  EXPECT_TRUE(status->isVisible());
  EXPECT_TRUE(toggle->isChecked());

  // Exit closes the frame, which ends the program.
  Trigger("actionExit");
  EXPECT_FALSE(frame->isVisible());
}

TEST_F(StartupTest, FormBeforeAnyCheck) {
  WriteIniNoOffer("127.0.0.1:9");
  Start();
  auto* list = Find<QTreeWidget>("productList");
  ASSERT_EQ(list->columnCount(), 2);
  EXPECT_EQ(list->headerItem()->text(0), "Program");
  EXPECT_EQ(list->headerItem()->text(1), "Latest Version");
  EXPECT_EQ(list->header()->sectionSize(0), 100);
  EXPECT_EQ(list->header()->sectionSize(1), 100);
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);

  const QStringList names = {"KVSL", "Pellor",        "Pellor Marlo", "QEL",
                             "WZ",   "Pellor Tindle", "Pellor Ashby", "Nerith"};
  ASSERT_EQ(list->topLevelItemCount(), names.size());
  for (int i = 0; i < names.size(); ++i) {
    EXPECT_EQ(Cell(i, 0), names[i]);
    EXPECT_EQ(Cell(i, 1), "Select \"Check for updates...\"");
    EXPECT_FALSE(Ticked(i));
    EXPECT_EQ(table_[i + 1].list_index, i);
  }
  EXPECT_EQ(table_[0].list_index, -1);
  EXPECT_EQ(View().TickedMask(), 0u);
  EXPECT_FALSE(View().LatestKnown());
  auto* install = Find<QPushButton>("installButton");
  EXPECT_EQ(install->text(), "Install Newest Versions");
  EXPECT_FALSE(install->isEnabled());
  EXPECT_EQ(Find<QLabel>("productLineCaption")->text(),
            "View the complete\nVelmora product line at");
  EXPECT_EQ(Find<QLabel>("productLink")->text(), "www.velmora.test");
  for (const char* name : {"productList", "installButton", "productLineCaption", "productLink"}) {
    EXPECT_FALSE(Find<QWidget>(name)->accessibleName().isEmpty()) << name;
  }
}

TEST_F(StartupTest, AboutBoxShowsTheOwnVersion) {
  WriteIniNoOffer("127.0.0.1:9");
  Start();
  QString title;
  QString version;
  bool closed = false;
  QTimer::singleShot(0, [&] {
    auto* about = qobject_cast<COrdwinAboutDlg*>(QApplication::activeModalWidget());
    if (about == nullptr) return;
    title = about->windowTitle();
    version = about->findChild<QLabel*>(QStringLiteral("versionLine"))->text();
    auto* ok = about->findChild<QPushButton*>(QStringLiteral("okButton"));
    ok->click();
    closed = true;
  });
  Trigger("actionAbout");
  EXPECT_TRUE(closed);
  EXPECT_EQ(title, "About Ordwin");
  EXPECT_EQ(version, "Ordwin Version 1.1");
}

// The form follows the frame: the list grows, the rest follows the bottom
// edge, and going back restores every control exactly.
TEST_F(StartupTest, FormControlsFollowTheWindowSize) {
  WriteIniNoOffer("127.0.0.1:9");
  Start();
  CMainFrame* frame = app_->MainFrame();
  const char* names[] = {"productList", "installButton", "productLineCaption", "productLink"};
  std::vector<QRect> start;
  for (const char* n : names) start.push_back(Find<QWidget>(n)->geometry());
  const QSize startSize = frame->size();

  frame->resize(startSize + QSize(100, 50));
  ASSERT_TRUE(SpinUntil([&] { return frame->size() == startSize + QSize(100, 50); }));
  EXPECT_EQ(Find<QWidget>(names[0])->geometry(), start[0].adjusted(0, 0, 100, 50));
  for (int i = 1; i < 4; ++i) {
    EXPECT_EQ(Find<QWidget>(names[i])->geometry(), start[i].translated(0, 50)) << names[i];
  }
  frame->resize(startSize);
  ASSERT_TRUE(SpinUntil([&] { return frame->size() == startSize; }));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Find<QWidget>(names[i])->geometry(), start[i]) << names[i];
}

// At the frame's minimum size every control is still inside the form, the
// list above the three controls under it.
TEST_F(StartupTest, FormFitsTheMinimumFrame) {
  WriteIniNoOffer("127.0.0.1:9");
  Start();
  CMainFrame* frame = app_->MainFrame();
  frame->resize(CMainFrame::kMinTrackWidth, CMainFrame::kMinTrackHeight);
  ASSERT_TRUE(SpinUntil([&] { return frame->size() == QSize(510, 310); }));
  // What the frame shows of the form: between the menu bar and the status bar.
  const QRect shown(
      QPoint(0, frame->menuBar()->geometry().bottom() + 1),
      QPoint(frame->width() - 1, Find<QStatusBar>("statusBar")->geometry().top() - 1));
  const QRect list = Find<QWidget>("productList")->geometry();
  for (const char* name : {"productList", "installButton", "productLineCaption", "productLink"}) {
    QWidget* control = Find<QWidget>(name);
    const QRect r = control->geometry();
    EXPECT_TRUE(shown.contains(QRect(control->mapTo(frame, QPoint(0, 0)), control->size())))
        << name;
    if (std::string(name) != "productList") {
      EXPECT_GT(r.top(), list.bottom()) << name;
    }
  }
}

}  // namespace
}  // namespace ordwin_test
