#include "flag_editor/flag_editor_dlg.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <fstream>
#include <memory>

#include "flag_editor/find_box.h"
#include "hashdb/talvane_strings.h"
#include "platform/file_error.h"
#include "platform/registry.h"
#include "tests/flag_editor/scripted_questions.h"
#include "tests/hashdb/database_bytes.h"
#include "tests/platform/fault_file_system.h"
#include "tests/platform/test_files.h"

namespace {

std::uint32_t AlertWordOnDisk(const std::string& path, std::uint32_t index) {
  const std::string bytes = ReadBytes(path);
  const std::uint64_t at = AlertOffset(index);
  if (bytes.size() < at + 4) return 0xFFFFFFFF;
  std::uint32_t word = 0;
  for (int i = 3; i >= 0; --i) word = (word << 8) | static_cast<unsigned char>(bytes[at + i]);
  return word;
}

std::string Tail(std::size_t size) {
  std::string tail(size, '\0');
  for (std::size_t i = 0; i < size; ++i) tail[i] = static_cast<char>(i * 7 % 251);
  return tail;
}

const std::vector<TestRecord> kFruit = {{0, "apple"}, {0, "Zeta"}, {1, "Apple"}, {0, "apple2"}};

class TalvaneWindow : public ::testing::Test {
 protected:
  // Writes a database into the test folder and returns its path.
  std::string Database(const std::string& name, const std::vector<TestRecord>& sets,
                       std::size_t tail = 0) {
    const std::string path = folder / name;
    WriteBytes(path, DatabaseBytes(sets, Tail(tail)));
    return path;
  }
  void RegisterDefault(const std::string& path) {
    std::ofstream((folder / "registry.ini"))
        << "[HKEY_LOCAL_MACHINE\\Software\\Velmora\\Velmora Nerith Database]\nPath=" << path
        << "\n";
  }
  void Start() {
    registry = std::make_unique<IniFileRegistry>((folder / "registry.ini"));
    dlg = std::make_unique<CFlagEditorDlg>(questions, questions, *registry, &files);
    dlg->OnInitDialog();
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
  }
  // Starts on a default database made of sets.
  std::string StartOn(const std::vector<TestRecord>& sets, std::size_t tail = 0) {
    const std::string path = Database("a.hdb", sets, tail);
    RegisterDefault(path);
    Start();
    return path;
  }

  QAction* Act(const char* name) {
    auto* action = dlg->findChild<QAction*>(name);
    EXPECT_NE(action, nullptr) << name;
    return action;
  }
  // Triggers an action the way a user can: only when it is enabled.
  void Trigger(const char* name) {
    QAction* action = Act(name);
    ASSERT_TRUE(action && action->isEnabled()) << name;
    action->trigger();
  }
  std::vector<std::string> EnabledActions() {
    std::vector<std::string> names;
    for (QAction* a : dlg->findChildren<QAction*>()) {
      if (a->isEnabled() && a->objectName().startsWith("action")) {
        names.push_back(a->objectName().toStdString());
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  QTableView* List() { return dlg->findChild<QTableView*>("hashSetList"); }
  std::vector<std::string> RowNames() {
    std::vector<std::string> names;
    QAbstractItemModel* m = List()->model();
    for (int r = 0; r < m->rowCount(); ++r)
      names.push_back(m->index(r, 1).data().toString().toStdString());
    return names;
  }
  int SelectedRow() {
    const auto rows = List()->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
  }
  void ClickCheckBox(int row) {
    QTableView* list = List();
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.rect = list->visualRect(list->model()->index(row, 0));
    option.features = QStyleOptionViewItem::HasCheckIndicator;
    const QRect box =
        list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
  }
  void ClickName(int row) {
    QTableView* list = List();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(row, 1)).center());
  }
  void ClickHeading(int column) {
    QHeaderView* header = List()->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 10, header->height() / 2));
  }
  std::string Caption() { return dlg->Caption().toStdString(); }
  bool Ended() { return !dlg->isVisible(); }
  // Another window takes the activation and gives it back, as a closing file
  // dialog or find box does: the list gets the focus again.
  void Reactivate() {
    {
      QWidget other;
      other.setObjectName("otherWindow");
      other.show();
      other.activateWindow();
      ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    }
    dlg->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    QCoreApplication::processEvents();
  }

  TempDir folder;
  ScriptedQuestions questions;
  FaultFileSystem files;
  std::unique_ptr<IniFileRegistry> registry;
  std::unique_ptr<CFlagEditorDlg> dlg;
};

// --- Start-up -----------------------------------------------------------------

TEST_F(TalvaneWindow, StartsWithoutDefaultDatabase) {
  const std::string missing = (folder / "missing.hdb");
  RegisterDefault(missing);
  Start();
  // The candidate's failure, then IDS_NO_DEFAULT_DATABASE, both before the window shows.
  ASSERT_EQ(questions.asked.size(), 2u);
  EXPECT_EQ(questions.asked[0].text, FileErrorMessage(2, missing));
  EXPECT_EQ(questions.asked[1].text, "Couldn't load the default database.");
  for (const auto& box : questions.asked) {
    EXPECT_EQ(box.caption, "");
    EXPECT_EQ(box.buttons, BoxButtons::Ok);
    EXPECT_EQ(box.icon, BoxIcon::None);
  }
  EXPECT_EQ(Caption(), "Nerith Talvane");
  EXPECT_EQ(dlg->windowTitle(), "Nerith Talvane");
  EXPECT_EQ(EnabledActions(),
            (std::vector<std::string>{"actionAppAbout", "actionFileExit", "actionFileOpen"}));
  EXPECT_EQ(List()->model()->rowCount(), 0);
  // Shortcuts of grayed items do nothing.
  QTest::keyClick(List(), Qt::Key_S, Qt::ControlModifier);
  QTest::keyClick(List(), Qt::Key_F4, Qt::ControlModifier);
  QTest::keyClick(List(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(questions.asked.size(), 2u);
}

TEST_F(TalvaneWindow, StartsOnTheDefaultDatabaseInFileOrder) {
  const std::string path = StartOn(kFruit);
  EXPECT_TRUE(questions.asked.empty());
  EXPECT_EQ(Caption(), "Talvane - " + path);
  EXPECT_EQ(RowNames(), (std::vector<std::string>{"apple", "Zeta", "Apple", "apple2"}));
  EXPECT_EQ(List()->model()->index(2, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
  EXPECT_EQ(List()->model()->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
  EXPECT_EQ(EnabledActions(),
            (std::vector<std::string>{"actionAppAbout", "actionEditFind", "actionFileClose",
                                      "actionFileExit", "actionFileOpen", "actionFileSave",
                                      "actionFileSaveAs"}));
  EXPECT_EQ(SelectedRow(), -1);
  EXPECT_TRUE(List()->hasFocus() || QApplication::focusWidget() == List());
}

TEST_F(TalvaneWindow, MenusCarryTheirTextsAndShortcutTexts) {
  StartOn(kFruit);
  const std::vector<std::pair<const char*, const char*>> expected = {
      {"actionFileOpen", "&Open...\tCtrl+O"},
      {"actionFileSave", "&Save\tCtrl+S"},
      {"actionFileSaveAs", "Save &as...\tCtrl+A"},
      {"actionFileClose", "&Close\tCtrl+F4"},
      {"actionFileExit", "E&xit"},
      {"actionEditFind", "&Find...\tCtrl-F"},
      {"actionEditFindNext", "Find &Next\tF3"},
      {"actionEditFindPrevious", "Find &Previous\tShift+F3"},
      {"actionAppAbout", "&About Talvane..."}};
  for (const auto& [name, text] : expected) EXPECT_EQ(Act(name)->text().toStdString(), text);
  auto* header = List()->horizontalHeader();
  EXPECT_EQ(header->model()->headerData(0, Qt::Horizontal).toString(), "Alert");
  EXPECT_EQ(header->model()->headerData(1, Qt::Horizontal).toString(), "Hash Set Name");
  EXPECT_EQ(header->sectionSize(0), 50);
  EXPECT_EQ(header->sectionSize(1), 500);
}

TEST_F(TalvaneWindow, AParentWindowTakesTheMinimizeAndMaximizeButtons) {
  StartOn(kFruit);
  EXPECT_TRUE(dlg->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(dlg->windowFlags() & Qt::WindowMaximizeButtonHint);
  // "/parent" alone gives no window to stay in front of; a number here names no
  // X window (no X11 on this platform). Neither may fail, shown or hidden.
  for (const std::int32_t parent : {0, 12345}) {
    SCOPED_TRACE(parent);
    dlg.reset();
    dlg = std::make_unique<CFlagEditorDlg>(questions, questions, *registry, &files);
    dlg->m_bHasParent = true;
    dlg->m_nParentWnd = parent;
    dlg->OnInitDialog();
    EXPECT_FALSE(dlg->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(dlg->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(dlg->windowFlags() & Qt::WindowCloseButtonHint);
    dlg->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    dlg->hide();
    dlg->show();
    EXPECT_TRUE(dlg->isVisible());
  }
}

TEST_F(TalvaneWindow, EveryControlHasAnObjectAndAnAccessibleName) {
  StartOn(kFruit);
  QTest::keyClick(List(), Qt::Key_F, Qt::ControlModifier);
  ASSERT_NE(dlg->FindBox(), nullptr);
  for (QWidget* top : {static_cast<QWidget*>(dlg.get()), static_cast<QWidget*>(dlg->FindBox())}) {
    EXPECT_FALSE(top->objectName().isEmpty());
    EXPECT_FALSE(top->accessibleName().isEmpty());
    for (QWidget* w : top->findChildren<QWidget*>()) {
      const bool ours = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                        qobject_cast<QTableView*>(w) || qobject_cast<QProgressBar*>(w) ||
                        qobject_cast<QMenu*>(w) || qobject_cast<QMenuBar*>(w) ||
                        qobject_cast<QGroupBox*>(w);
      // Qt's own helpers (the menu bar's overflow button and its menu, the
      // table's corner button) are not ours to name.
      bool qt_internal = false;
      for (QObject* o = w; o && o != top; o = o->parent()) {
        qt_internal |=
            o->objectName().startsWith("qt_") ||
            QLatin1String(o->metaObject()->className()) == QLatin1String("QTableCornerButton");
      }
      if (auto* ext = top->findChild<QToolButton*>("qt_menubar_ext_button")) {
        qt_internal |= w == ext->menu();
      }
      if (!ours || qt_internal) continue;
      EXPECT_FALSE(w->objectName().isEmpty()) << w->metaObject()->className();
      EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
    }
  }
  for (QAction* a : dlg->findChildren<QAction*>()) {
    if (a->isSeparator() || a->menu()) continue;
    EXPECT_TRUE(a->objectName().startsWith("action")) << a->text().toStdString();
  }
}

TEST_F(TalvaneWindow, LayoutFollowsTheClientArea) {
  StartOn(kFruit);
  const int menu = dlg->ClientArea().y();
  dlg->resize(600, 400 + menu);
  QCoreApplication::processEvents();
  ASSERT_EQ(dlg->ClientArea().size(), QSize(600, 400));
  EXPECT_EQ(List()->geometry(), QRect(25, 25, 550, 350));
  EXPECT_EQ(dlg->ProgressBar().geometry(), QRect(25, 380, 550, 12));
  EXPECT_FALSE(dlg->ProgressBar().isVisible());
}

TEST_F(TalvaneWindow, EnterNeverEndsTheWindowAndEscWithoutChangesEndsIt) {
  StartOn(kFruit);
  QTest::keyClick(List(), Qt::Key_Return);
  QTest::keyClick(List(), Qt::Key_Enter);
  EXPECT_FALSE(Ended());
  QTest::keyClick(List(), Qt::Key_Escape);
  EXPECT_TRUE(Ended());
  EXPECT_EQ(dlg->result(), QDialog::Rejected);
  EXPECT_TRUE(questions.asked.empty());
}

TEST_F(TalvaneWindow, AboutBoxShowsTheVersion) {
  StartOn(kFruit);
  std::string title, text;
  QTimer::singleShot(0, [&] {
    QWidget* about = QApplication::activeModalWidget();
    ASSERT_NE(about, nullptr);
    title = about->windowTitle().toStdString();
    if (auto* label = about->findChild<QLabel*>("versionText")) text = label->text().toStdString();
    if (auto* ok = about->findChild<QPushButton*>("ok")) ok->click();
  });
  Trigger("actionAppAbout");
  EXPECT_EQ(title, "About Talvane");
  EXPECT_EQ(text, "Talvane Version 1.0");
}

// --- Ticking --------------------------------------------------------------------

TEST_F(TalvaneWindow, TickingARowChangesTheCatalogueAndTheCaptionOnce) {
  const std::string path = StartOn(kFruit);
  ClickCheckBox(1);
  EXPECT_TRUE(dlg->Catalogue().GetAlert(1));
  EXPECT_EQ(Caption(), "Talvane - " + path + "*");
  ClickCheckBox(1);
  EXPECT_FALSE(dlg->Catalogue().GetAlert(1));
  EXPECT_TRUE(dlg->Catalogue().IsChanged());
  EXPECT_EQ(Caption(), "Talvane - " + path + "*");

  // The keyboard: Space toggles the focused row.
  QTest::keyClick(List(), Qt::Key_Down);
  QTest::keyClick(List(), Qt::Key_Down);
  const int row = List()->currentIndex().row();
  QTest::keyClick(List(), Qt::Key_Space);
  EXPECT_NE(dlg->Catalogue().GetAlert(row), kFruit[row].alert != 0u);
  EXPECT_EQ(Caption(), "Talvane - " + path + "*");

  QTest::keyClick(List(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(Caption(), "Talvane - " + path);
  EXPECT_EQ(AlertWordOnDisk(path, row), dlg->Catalogue().GetAlert(row) ? 1u : 0u);
}

TEST_F(TalvaneWindow, SelectingARowWithAlertWordTwoStoresOne) {
  const std::string path = StartOn({{0, "first"}, {2, "odd word"}, {0, "last"}});
  EXPECT_EQ(Caption(), "Talvane - " + path);
  EXPECT_EQ(List()->model()->index(1, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
  ClickName(1);
  EXPECT_TRUE(dlg->Catalogue().IsChanged());
  EXPECT_EQ(Caption(), "Talvane - " + path + "*");
  Trigger("actionFileSave");
  EXPECT_EQ(AlertWordOnDisk(path, 1), 1u);
}

// A screen reader names the window by its accessible name: the open file and
// the unsaved mark must reach it as the caption shows them.
TEST_F(TalvaneWindow, TheAccessibleNameFollowsTheCaption) {
  const std::string path = Database("a[*].hdb", kFruit);  // Qt's title placeholder, kept literal
  RegisterDefault(path);
  Start();
  const auto follows = [&](const std::string& caption) {
    EXPECT_EQ(Caption(), caption);
    EXPECT_EQ(dlg->accessibleName().toStdString(), caption);
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(dlg.get());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->text(QAccessible::Name).toStdString(), caption);
  };
  follows("Talvane - " + path);
  ClickCheckBox(0);
  follows("Talvane - " + path + "*");
  Trigger("actionFileSave");
  follows("Talvane - " + path);
  Trigger("actionFileClose");
  follows("Talvane");
}

// Row 0's stored alert word is 2: any notification about row 0 would store 1
// and mark the caption, so each step shows whether a row got the focus or the
// selection by itself.
const std::vector<TestRecord> kOddFirst = {{2, "odd word"}, {0, "b"}, {1, "c"}};

TEST_F(TalvaneWindow, NothingChangesWithoutAUserAction) {
  const std::string path = StartOn(kOddFirst);
  const std::string other = Database("b.hdb", kOddFirst);
  const std::string copy = (folder / "copy.hdb");
  std::string shown = path;
  const auto untouched = [&](const char* after) {
    SCOPED_TRACE(after);
    Reactivate();
    EXPECT_EQ(Caption(), "Talvane - " + shown);
    EXPECT_FALSE(dlg->Catalogue().IsChanged());
    EXPECT_FALSE(List()->currentIndex().isValid());
    EXPECT_EQ(SelectedRow(), -1);
  };
  ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
  EXPECT_EQ(QApplication::focusWidget(), List());
  untouched("the first show");

  questions.file_names = {other};
  Trigger("actionFileOpen");
  shown = other;
  untouched("Open");

  questions.file_names = {copy};
  Trigger("actionFileSaveAs");
  shown = copy;
  untouched("Save as");
  EXPECT_EQ(ReadBytes(copy), ReadBytes(other));  // the word 2 copied as it was

  ClickHeading(1);
  untouched("a sort");

  QTest::keyClick(List(), Qt::Key_F, Qt::ControlModifier);
  ASSERT_NE(dlg->FindBox(), nullptr);
  QTest::keyClick(dlg->FindBox(), Qt::Key_Escape);
  QCoreApplication::processEvents();
  untouched("the find box closing");

  QTest::keyClick(List(), Qt::Key_Escape);  // nothing to ask about
  EXPECT_TRUE(Ended());
  EXPECT_TRUE(questions.BoxTexts().empty());
  EXPECT_EQ(AlertWordOnDisk(copy, 0), 2u);
}

// With no focused row, the first key places the focus mark on a row the user
// then sees; only then does Space tick. Placing it is the user's action, so
// the row's state reaches the catalogue as the written rule says.
TEST_F(TalvaneWindow, TheFirstKeyPlacesTheFocusMark) {
  struct Case {
    const char* what;
    Qt::Key key;
    int selected_before;  // -1: none
    int focused;
  };
  const Case cases[] = {{"Down", Qt::Key_Down, -1, 0},
                        {"Space", Qt::Key_Space, -1, 0},
                        {"Space on a found row", Qt::Key_Space, 2, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    dlg.reset();
    const std::string path = StartOn(kOddFirst);
    Reactivate();
    ASSERT_FALSE(List()->currentIndex().isValid());
    if (c.selected_before >= 0) dlg->ShowFoundItem(c.selected_before);
    QTest::keyClick(List(), c.key);
    EXPECT_EQ(List()->currentIndex().row(), c.focused);
    EXPECT_EQ(SelectedRow(), c.focused);
    for (std::size_t i = 0; i < kOddFirst.size(); ++i) {
      EXPECT_EQ(dlg->Catalogue().GetAlert(i), kOddFirst[i].alert != 0u) << i;  // nothing ticked
    }
    EXPECT_EQ(dlg->Catalogue().IsChanged(), c.focused == 0);  // only row 0 holds a word 2
    QTest::keyClick(List(), Qt::Key_Space);
    EXPECT_NE(dlg->Catalogue().GetAlert(c.focused), kOddFirst[c.focused].alert != 0u);
    EXPECT_EQ(Caption(), "Talvane - " + path + "*");
  }
}

// --- Sorting --------------------------------------------------------------------

TEST_F(TalvaneWindow, HeadingClicksCycleEachColumnWithItsArrow) {
  StartOn(kFruit);
  QHeaderView* header = List()->horizontalHeader();
  const std::vector<std::string> ascending = {"Apple", "Zeta", "apple", "apple2"};
  const std::vector<std::string> descending = {"apple2", "apple", "Zeta", "Apple"};
  const std::vector<std::string> file_order = {"apple", "Zeta", "Apple", "apple2"};
  const auto arrow = [&]() -> std::string {
    if (!header->isSortIndicatorShown()) return "none";
    return std::to_string(header->sortIndicatorSection()) +
           (header->sortIndicatorOrder() == Qt::AscendingOrder ? " up" : " down");
  };

  ClickName(1);  // "Zeta" selected: the selection travels with its row
  ASSERT_EQ(SelectedRow(), 1);
  struct Step {
    int column;
    std::vector<std::string> rows;
    std::string arrow;
  };
  // clang-format off
  const std::vector<Step> steps = {
      {1, ascending, "1 up"},
      {1, descending, "1 down"},
      {1, file_order, "none"},
      {1, ascending, "1 up"},
      {0, ascending, "0 up"},     // "Alert" sorts by name too, from its own step
      {1, descending, "1 down"},  // the name column goes on from its own step
      {0, descending, "0 down"},
      {0, file_order, "none"}};
  // clang-format on
  for (std::size_t i = 0; i < steps.size(); ++i) {
    ClickHeading(steps[i].column);
    EXPECT_EQ(RowNames(), steps[i].rows) << "click " << i;
    EXPECT_EQ(arrow(), steps[i].arrow) << "click " << i;
    ASSERT_GE(SelectedRow(), 0);
    EXPECT_EQ(RowNames()[SelectedRow()], "Zeta") << "click " << i;
  }
  // Sorting never touches the catalogue; ticking a sorted row reaches its own set.
  ClickHeading(0);
  ASSERT_EQ(RowNames(), ascending);
  ClickCheckBox(0);  // "Apple", index 2, was on
  EXPECT_FALSE(dlg->Catalogue().GetAlert(2));
  EXPECT_FALSE(dlg->Catalogue().GetAlert(0));

  // A newly opened database shows file order while the arrow stays.
  const std::string other = Database("b.hdb", {{0, "zz"}, {0, "aa"}});
  questions.answers = {BoxAnswer::No};
  questions.file_names = {other};
  Trigger("actionFileOpen");
  EXPECT_EQ(RowNames(), (std::vector<std::string>{"zz", "aa"}));
  EXPECT_EQ(arrow(), "0 up");
}

TEST_F(TalvaneWindow, NamesSharingLongPrefixesSortByEveryByte) {
  StartOn({{0, "Known Good - Office Z"},
           {0, "Known Good - Office A"},
           {0, "Known Good - Office"},
           {0, "Known Good - Office AB"},
           {0, "Known Good - Offic\xE9"},
           {0, "Known Good - OfficE"}});
  ClickHeading(1);
  EXPECT_EQ(RowNames()[0], "Known Good - OfficE");
  std::vector<std::string> bytes;
  for (int r = 0; r < List()->model()->rowCount(); ++r) {
    bytes.push_back(std::string(dlg->ListModel().Item(r).name));
  }
  EXPECT_EQ(bytes, (std::vector<std::string>{"Known Good - OfficE", "Known Good - Office",
                                             "Known Good - Office A", "Known Good - Office AB",
                                             "Known Good - Office Z", "Known Good - Offic\xE9"}));
  ClickHeading(1);
  EXPECT_EQ(std::string(dlg->ListModel().Item(0).name), "Known Good - Offic\xE9");
}

TEST_F(TalvaneWindow, AnEmptyDatabaseStillCyclesTheArrow) {
  StartOn({});
  ClickHeading(1);
  EXPECT_TRUE(List()->horizontalHeader()->isSortIndicatorShown());
  EXPECT_EQ(List()->model()->rowCount(), 0);
}

// --- Unsaved-change prompts -----------------------------------------------------

enum class Leave { kOpen, kClose, kExit, kEsc, kCloseWindow };

struct PromptCase {
  const char* what;
  Leave leave;
  BoxAnswer answer;
  std::string prompt;
  bool saved;       // the change reached the file
  bool still_open;  // the database is still open afterwards
  int ended;        // -1: window stays, else its result
};

void PrintTo(const PromptCase& c, std::ostream* os) { *os << c.what; }

const std::string k104 = "You've changed alert values.  Save before continuing?";
const std::string k109 = "You've changed alert values.  Save before exiting?";

class PromptTest : public TalvaneWindow, public ::testing::WithParamInterface<PromptCase> {
 protected:
  void Leaving(Leave leave) {
    switch (leave) {
      case Leave::kOpen: Trigger("actionFileOpen"); break;
      case Leave::kClose: Trigger("actionFileClose"); break;
      case Leave::kExit: Trigger("actionFileExit"); break;
      case Leave::kEsc: QTest::keyClick(List(), Qt::Key_Escape); break;
      case Leave::kCloseWindow: dlg->close(); break;
    }
  }
};

TEST_P(PromptTest, AsksAndDoesWhatTheAnswerSays) {
  const PromptCase& c = GetParam();
  const std::string path = StartOn(kFruit);
  ClickCheckBox(0);
  ASSERT_TRUE(dlg->Catalogue().IsChanged());
  questions.answers = {c.answer};
  questions.file_names = {std::nullopt};  // Open's file dialog, when it comes: cancelled
  Leaving(c.leave);

  ASSERT_GE(questions.asked.size(), 1u);
  EXPECT_EQ(questions.asked[0].text, c.prompt);
  EXPECT_EQ(questions.asked[0].caption, "Warning");
  EXPECT_EQ(questions.asked[0].buttons, BoxButtons::YesNoCancel);
  const bool dialog_shown = questions.asked.size() > 1 && questions.asked[1].kind == "open";
  EXPECT_EQ(dialog_shown, c.leave == Leave::kOpen && c.answer != BoxAnswer::Cancel);
  EXPECT_EQ(AlertWordOnDisk(path, 0), c.saved ? 1u : 0u);
  EXPECT_EQ(dlg->Catalogue().IsOpen(), c.still_open);
  if (c.ended < 0) {
    EXPECT_FALSE(Ended());
    if (c.still_open) {
      EXPECT_EQ(Caption(), "Talvane - " + path + (c.saved ? "" : "*"));
    } else {
      EXPECT_EQ(Caption(), "Talvane");
      EXPECT_EQ(List()->model()->rowCount(), 0);
    }
  } else {
    EXPECT_TRUE(Ended());
    EXPECT_EQ(dlg->result(), c.ended);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, PromptTest,
    ::testing::Values(
        PromptCase{"OpenYes", Leave::kOpen, BoxAnswer::Yes, k104, true, true, -1},
        PromptCase{"OpenNo", Leave::kOpen, BoxAnswer::No, k104, false, true, -1},
        PromptCase{"OpenCancel", Leave::kOpen, BoxAnswer::Cancel, k104, false, true, -1},
        PromptCase{"CloseYes", Leave::kClose, BoxAnswer::Yes, k104, true, false, -1},
        PromptCase{"CloseNo", Leave::kClose, BoxAnswer::No, k104, false, false, -1},
        PromptCase{"CloseCancel", Leave::kClose, BoxAnswer::Cancel, k104, false, true, -1},
        PromptCase{"ExitYes", Leave::kExit, BoxAnswer::Yes, k109, true, false, QDialog::Accepted},
        PromptCase{"ExitNo", Leave::kExit, BoxAnswer::No, k109, false, false, QDialog::Accepted},
        PromptCase{"ExitCancel", Leave::kExit, BoxAnswer::Cancel, k109, false, true, -1},
        PromptCase{"EscYes", Leave::kEsc, BoxAnswer::Yes, k109, true, false, QDialog::Rejected},
        PromptCase{"EscNo", Leave::kEsc, BoxAnswer::No, k109, false, false, QDialog::Rejected},
        PromptCase{"EscCancel", Leave::kEsc, BoxAnswer::Cancel, k109, false, true, -1},
        PromptCase{"WindowYes", Leave::kCloseWindow, BoxAnswer::Yes, k109, true, false,
                   QDialog::Rejected},
        PromptCase{"WindowNo", Leave::kCloseWindow, BoxAnswer::No, k109, false, false,
                   QDialog::Rejected},
        PromptCase{"WindowCancel", Leave::kCloseWindow, BoxAnswer::Cancel, k109, false, true, -1}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(TalvaneWindow, WithoutChangesNothingIsAsked) {
  const std::string path = StartOn(kFruit);
  const std::string other = Database("b.hdb", {{0, "only"}});
  questions.file_names = {other};
  Trigger("actionFileOpen");
  EXPECT_EQ(Caption(), "Talvane - " + other);
  Trigger("actionFileClose");
  EXPECT_EQ(Caption(), "Talvane");
  EXPECT_EQ(EnabledActions(),
            (std::vector<std::string>{"actionAppAbout", "actionFileExit", "actionFileOpen"}));
  Trigger("actionFileExit");
  EXPECT_TRUE(Ended());
  ASSERT_EQ(questions.asked.size(), 1u);
  EXPECT_EQ(questions.asked[0].kind, "open");
}

TEST_F(TalvaneWindow, AFileErrorInTheSaveOfYesStopsTheCommand) {
  const std::string path = StartOn(kFruit);
  ClickCheckBox(0);
  files.FailOn(FileCall::kWrite, 1, 13);
  questions.answers = {BoxAnswer::Yes, BoxAnswer::Yes};
  Trigger("actionFileExit");
  files.FailOn(FileCall::kWrite, 1, 13);
  Trigger("actionFileOpen");  // no file dialog after the failed save
  ASSERT_EQ(questions.asked.size(), 4u);
  EXPECT_EQ(questions.asked[0].text, k109);
  EXPECT_EQ(questions.asked[1].text, FileErrorMessage(13, path));
  EXPECT_EQ(questions.asked[1].icon, BoxIcon::Stop);
  EXPECT_EQ(questions.asked[1].caption, "");
  EXPECT_EQ(questions.asked[2].text, k104);
  EXPECT_EQ(questions.asked[3].icon, BoxIcon::Stop);
  EXPECT_FALSE(Ended());
  EXPECT_TRUE(dlg->Catalogue().IsChanged());
  EXPECT_EQ(Caption(), "Talvane - " + path + "*");
}

TEST_F(TalvaneWindow, AFailedOpenShowsBothBoxesAndLeavesNoDatabase) {
  StartOn(kFruit);
  const std::string missing = (folder / "gone.hdb");
  questions.file_names = {missing};
  Trigger("actionFileOpen");
  EXPECT_EQ(questions.BoxTexts(),
            (std::vector<std::string>{FileErrorMessage(2, missing), "Error opening file."}));
  // The catalogue's message carries the application's name, the second box no caption at all.
  EXPECT_EQ(questions.asked[1].caption, "");
  EXPECT_EQ(questions.asked[2].caption, kNoCaption);
  EXPECT_EQ(questions.asked[2].icon, BoxIcon::None);
  EXPECT_FALSE(dlg->Catalogue().IsOpen());
  EXPECT_EQ(Caption(), "Talvane");
  EXPECT_EQ(List()->model()->rowCount(), 0);
  EXPECT_FALSE(Act("actionFileSave")->isEnabled());
}

// Records what the bar showed each time it was painted.
struct PaintsSeen : QObject {
  struct Paint {
    int value;
    int maximum;
  };
  explicit PaintsSeen(QProgressBar& bar) { bar.installEventFilter(this); }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      auto* bar = static_cast<QProgressBar*>(watched);
      paints.push_back({bar->value(), bar->maximum()});
    }
    return false;
  }
  std::vector<Paint> paints;
};

// --- Save as --------------------------------------------------------------------

TEST_F(TalvaneWindow, SaveAsCopiesWithTheProgressBarAndMovesToTheCopy) {
  const std::string path = StartOn(kFruit, 300 * 1024);
  ClickCheckBox(0);
  const std::string copy = (folder / "copy");  // no extension is added
  PaintsSeen seen(dlg->ProgressBar());
  questions.file_names = {copy};
  QTest::keyClick(List(), Qt::Key_A, Qt::ControlModifier);  // Ctrl+A runs Save as

  ASSERT_EQ(questions.asked.size(), 1u);
  EXPECT_EQ(questions.asked[0].kind, "saveas");
  EXPECT_EQ(questions.asked[0].text, path);
  EXPECT_EQ(Caption(), "Talvane - " + copy);
  EXPECT_FALSE(dlg->Catalogue().IsChanged());
  EXPECT_FALSE(dlg->ProgressBar().isVisible());
  const std::string source = ReadBytes(path);
  std::string expected = source;
  expected[20] = 1;  // the ticked alert word, only in the copy
  EXPECT_EQ(ReadBytes(copy), expected);
  EXPECT_EQ(AlertWordOnDisk(path, 0), 0u);

  // The bar showed the whole file's length as its range and moved with the tail.
  const int total = static_cast<int>(source.size());
  int last = -1;
  bool moved = false;
  ASSERT_FALSE(seen.paints.empty());  // drawn during the copy, without the event loop
  for (const auto& s : seen.paints) {
    EXPECT_EQ(s.maximum, total);
    EXPECT_GE(s.value, last);
    moved |= s.value > 0;
    last = s.value;
  }
  EXPECT_TRUE(moved);
  EXPECT_LT(last, total);
}

TEST_F(TalvaneWindow, SaveAsOntoItsOwnPathSavesInPlaceWithoutTheBar) {
  const std::string path = StartOn(kFruit, 100 * 1024);
  ClickCheckBox(0);
  PaintsSeen seen(dlg->ProgressBar());
  questions.file_names = {path};
  Trigger("actionFileSaveAs");
  EXPECT_TRUE(seen.paints.empty());
  EXPECT_EQ(Caption(), "Talvane - " + path);
  EXPECT_EQ(AlertWordOnDisk(path, 0), 1u);
}

// A path that is not UTF-8 (Latin-1 here, as registry.ini may name it) is
// shown by the dialogs with a replacement character, which stands for no bytes.
TEST_F(TalvaneWindow, PathsThatAreNotUtf8AreNeverTurnedIntoOtherFiles) {
  const std::string path = Database("lat\xE4.hdb", kFruit);
  const std::string other = Database("b\xE4.hdb", {{0, "other"}});
  RegisterDefault(path);
  Start();
  ASSERT_TRUE(dlg->Catalogue().IsOpen());
  EXPECT_EQ(dlg->Catalogue().GetPath(), path);
  const std::string listing = ListFolder(folder.path());

  // The proposed name accepted unchanged is the database's own file.
  ClickCheckBox(0);
  questions.file_names = {ScriptedName::Proposed()};
  Trigger("actionFileSaveAs");
  ASSERT_EQ(questions.asked.size(), 1u);
  EXPECT_EQ(questions.asked[0].text, (folder / "lat\uFFFD.hdb"));
  EXPECT_TRUE(questions.BoxTexts().empty());
  EXPECT_EQ(ListFolder(folder.path()), listing);
  EXPECT_EQ(AlertWordOnDisk(path, 0), 1u);
  EXPECT_EQ(dlg->Catalogue().GetPath(), path);
  EXPECT_FALSE(dlg->Catalogue().IsChanged());

  // Names that do not come back to the same text from bytes: nothing is
  // written, closed or opened, and the user is told why.
  struct Case {
    const char* what;
    const char* command;
    QString name;
  };
  const Case cases[] = {
      {"Open, another Latin-1 file", "actionFileOpen",
       QFile::decodeName(QByteArray::fromStdString(other))},
      {"Save as, another Latin-1 file", "actionFileSaveAs",
       QFile::decodeName(QByteArray::fromStdString(other))},
      {"Save as, a new name", "actionFileSaveAs", QString::fromStdString(folder / "new\uFFFD.hdb")},
      {"Save as, a lone surrogate", "actionFileSaveAs",
       QString::fromStdString(folder / "x") + QChar(0xD800) + QStringLiteral(".hdb")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ClickCheckBox(1);
    questions.asked.clear();
    questions.file_names = {c.name};
    const bool open = std::string(c.command) == "actionFileOpen";
    if (open) questions.answers = {BoxAnswer::No};  // drop the changes: still nothing may close
    Trigger(c.command);
    ASSERT_EQ(questions.asked.size(), open ? 3u : 2u);
    EXPECT_EQ(questions.asked.back().icon, BoxIcon::Stop);
    EXPECT_EQ(questions.asked.back().text,
              c.name.toStdString() +
                  " cannot be used: the name does not convert back to the exact name of a "
                  "file on disk, so another file would be used. Nothing was opened or saved.");
    EXPECT_EQ(ListFolder(folder.path()), listing);
    EXPECT_EQ(ReadBytes(other), DatabaseBytes({{0, "other"}}, ""));
    EXPECT_EQ(dlg->Catalogue().GetPath(), path);
    EXPECT_TRUE(dlg->Catalogue().IsChanged());
    EXPECT_EQ(List()->model()->rowCount(), static_cast<int>(kFruit.size()));
  }
}

TEST_F(TalvaneWindow, OpeningTheOpenDatabaseReloadsItFromItsFile) {
  const std::string path = StartOn(kFruit);
  ClickCheckBox(0);
  questions.answers = {BoxAnswer::No};
  questions.file_names = {path};
  Trigger("actionFileOpen");
  EXPECT_EQ(Caption(), "Talvane - " + path);
  EXPECT_FALSE(dlg->Catalogue().IsChanged());
  EXPECT_FALSE(dlg->Catalogue().GetAlert(0));
  EXPECT_EQ(List()->model()->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
}

TEST(ListProgress, TotalsBeyondTheBarsRangeAreScaledNotWrapped) {
  QWidget parent;
  QProgressBar bar(&parent);
  parent.show();
  ListProgress progress(&bar);
  const std::uint64_t total = 5ull << 30;  // 5 GiB: more than an int holds
  progress.Begin(total);
  EXPECT_TRUE(bar.isVisible());
  EXPECT_EQ(bar.value(), 0);
  ASSERT_GT(bar.maximum(), 0);
  progress.Advance(4ull << 30);
  EXPECT_NEAR(static_cast<double>(bar.value()) / bar.maximum(), 0.8, 1e-6);
  progress.Advance(total);
  EXPECT_EQ(bar.value(), bar.maximum());
  progress.End();
  EXPECT_FALSE(bar.isVisible());
}

TEST_F(TalvaneWindow, SaveAsThatCannotCreateTheCopyChangesNothing) {
  const std::string path = StartOn(kFruit, 1000);
  ClickCheckBox(0);
  questions.file_names = {(folder / "no/such/folder.hdb")};
  Trigger("actionFileSaveAs");
  ASSERT_EQ(questions.asked.size(), 2u);
  EXPECT_EQ(questions.asked[1].text, "Error saving file.");
  EXPECT_EQ(questions.asked[1].caption, "Error!");
  EXPECT_EQ(questions.asked[1].icon, BoxIcon::None);
  EXPECT_EQ(dlg->Catalogue().GetPath(), path);
  EXPECT_TRUE(dlg->Catalogue().IsChanged());
  EXPECT_EQ(Caption(), "Talvane - " + path + "*");
  EXPECT_FALSE(dlg->ProgressBar().isVisible());
}

TEST_F(TalvaneWindow, AFileErrorDuringTheCopyHidesTheBarAndStaysOnTheSource) {
  const std::string path = StartOn(kFruit, 300 * 1024);
  ClickCheckBox(0);
  files.SetFreeSpace(20 + 260 * kFruit.size() + 100 * 1024);  // full in the middle of the tail
  questions.file_names = {(folder / "copy.hdb")};
  Trigger("actionFileSaveAs");
  ASSERT_EQ(questions.asked.size(), 2u);
  EXPECT_EQ(questions.asked[1].icon, BoxIcon::Stop);
  EXPECT_NE(questions.asked[1].text.find("Disk full"), std::string::npos);
  EXPECT_FALSE(dlg->ProgressBar().isVisible());
  EXPECT_EQ(dlg->Catalogue().GetPath(), path);
  EXPECT_EQ(Caption(), "Talvane - " + path + "*");
}

// --- Find -----------------------------------------------------------------------

class FindTest : public TalvaneWindow {
 protected:
  void SetUp() override {
    StartOn({{0, "hash sets"}, {0, "Known set 2"}, {0, "HASHES"}, {0, "MyHashSet"}, {0, "set-2"}});
  }
  CFindBox* OpenFindBox() {
    QTest::keyClick(List(), Qt::Key_F, Qt::ControlModifier);
    CFindBox* box = dlg->FindBox();
    EXPECT_NE(box, nullptr);
    return box;
  }
  void Search(CFindBox* box, const QString& text, bool whole, bool match_case, bool down) {
    box->findChild<QLineEdit*>("findWhat")->setText(text);
    box->findChild<QCheckBox*>("matchWholeWord")->setChecked(whole);
    box->findChild<QCheckBox*>("matchCase")->setChecked(match_case);
    box->findChild<QRadioButton*>(down ? "directionDown" : "directionUp")->setChecked(true);
    QPushButton* next = box->findChild<QPushButton*>("findNext");
    ASSERT_TRUE(next->isEnabled());
    next->click();
  }
  void KeyInBox(CFindBox* box, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    QTest::keyClick(box->findChild<QLineEdit*>("findWhat"), key, modifiers);
  }
  const std::string kNone = "No such item found.";
};

TEST_F(FindTest, FindNextAndPreviousNeverWrapNorLookAtTheSelection) {
  CFindBox* box = OpenFindBox();
  Search(box, "hash", false, false, true);
  EXPECT_EQ(SelectedRow(), 0);  // no selection: from the first row
  EXPECT_TRUE(Act("actionEditFindNext")->isEnabled());
  EXPECT_TRUE(Act("actionEditFindPrevious")->isEnabled());
  QWidget* focus = QApplication::focusWidget();
  KeyInBox(box, Qt::Key_F3);  // works while the find box has the focus
  EXPECT_EQ(SelectedRow(), 2);
  EXPECT_EQ(box->focusWidget(), box->findChild<QLineEdit*>("findWhat"));
  EXPECT_EQ(QApplication::focusWidget(), focus);  // a hit does not move the focus
  KeyInBox(box, Qt::Key_F3);
  EXPECT_EQ(SelectedRow(), 3);
  KeyInBox(box, Qt::Key_F3);  // nothing below, no wrap
  EXPECT_EQ(SelectedRow(), 3);
  EXPECT_EQ(questions.BoxTexts(), std::vector<std::string>{kNone});
  KeyInBox(box, Qt::Key_F3, Qt::ShiftModifier);
  EXPECT_EQ(SelectedRow(), 2);

  // The only match is the selected row: neither direction finds it.
  Search(box, "set-2", false, false, true);
  EXPECT_EQ(SelectedRow(), 4);
  QTest::keyClick(List(), Qt::Key_F3);
  QTest::keyClick(List(), Qt::Key_F3, Qt::ShiftModifier);
  EXPECT_EQ(questions.BoxTexts(), (std::vector<std::string>{kNone, kNone, kNone}));
  EXPECT_EQ(SelectedRow(), 4);
}

TEST_F(FindTest, UpIsStoredButF3GoesDownAndAMissKeepsTheOptions) {
  CFindBox* box = OpenFindBox();
  Search(box, "set", true, false, true);  // whole word: "Known set 2"
  EXPECT_EQ(SelectedRow(), 1);
  Search(box, "hash", false, false, false);  // up from row 1 finds row 0, stores Up
  EXPECT_EQ(SelectedRow(), 0);
  QTest::keyClick(List(), Qt::Key_F3);  // still down
  EXPECT_EQ(SelectedRow(), 2);

  // A miss with match case on keeps the stored options; F3 uses the new text.
  Search(box, "HASHSET", false, true, true);
  EXPECT_EQ(questions.BoxTexts(), std::vector<std::string>{kNone});
  QTest::keyClick(List(), Qt::Key_F3);  // match case still off
  EXPECT_EQ(SelectedRow(), 3);
}

TEST_F(FindTest, TheFoundRowIsSelectedWhileTheFocusMarkStays) {
  ClickName(4);
  QTest::keyClick(List(), Qt::Key_Up);  // focus and selection on row 3
  List()->selectionModel()->select(List()->model()->index(0, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  CFindBox* box = OpenFindBox();
  Search(box, "set-2", false, false, true);
  EXPECT_EQ(SelectedRow(), 4);
  EXPECT_EQ(List()->currentIndex().row(), 3);
}

// Records the focus frames the list asks its style to draw.
class FocusFrames : public QProxyStyle {
 public:
  struct Frame {
    QRect rect;
    QStyle::State state;
  };
  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    if (element == PE_FrameFocusRect) frames.push_back({option->rect, option->state});
    QProxyStyle::drawPrimitive(element, option, painter, widget);
  }
  mutable std::vector<Frame> frames;
};

TEST_F(FindTest, TheFocusMarkIsDrawnOnItsRowApartFromTheSelection) {
  auto* style = new FocusFrames;
  style->setParent(dlg.get());
  List()->setStyle(style);
  ClickName(4);
  QTest::keyClick(List(), Qt::Key_Up);  // the focus mark on row 3
  CFindBox* box = OpenFindBox();
  Search(box, "set-2", false, false, true);  // row 4 selected, the find box has the focus
  ASSERT_EQ(SelectedRow(), 4);
  ASSERT_EQ(List()->currentIndex().row(), 3);
  List()->clearFocus();  // as when the find box has it

  // Seen also while the list has no focus, framing the whole row, and in a
  // state every style draws (some draw focus frames only after keyboard use).
  style->frames.clear();
  List()->viewport()->grab();
  ASSERT_FALSE(style->frames.empty());
  QRect framed;
  for (const auto& frame : style->frames) {
    EXPECT_EQ(List()->rowAt(frame.rect.center().y()), 3);
    EXPECT_TRUE(frame.state & QStyle::State_KeyboardFocusChange);
    framed |= frame.rect;
  }
  const QRect row = List()->visualRect(List()->model()->index(3, 0)) |
                    List()->visualRect(List()->model()->index(3, 1));
  EXPECT_TRUE(framed.contains(row.adjusted(1, 1, -1, -1))) << framed.x() << "," << framed.width();

  // Space ticks the row with the mark, not the selected one.
  List()->setFocus();
  QTest::keyClick(List(), Qt::Key_Space);
  EXPECT_TRUE(dlg->Catalogue().GetAlert(3));
  EXPECT_FALSE(dlg->Catalogue().GetAlert(4));
  List()->setStyle(nullptr);
}

TEST_F(FindTest, AReopenedBoxShowsTheLastTextWithOptionsReset) {
  CFindBox* box = OpenFindBox();
  Search(box, "Known", true, true, false);
  QTest::keyClick(box, Qt::Key_Escape);
  QCoreApplication::processEvents();
  EXPECT_EQ(dlg->FindBox(), nullptr);
  box = OpenFindBox();
  EXPECT_EQ(box->FindWhat(), "Known");
  EXPECT_FALSE(box->MatchWholeWord());
  EXPECT_FALSE(box->MatchCase());
  EXPECT_TRUE(box->SearchDown());
  EXPECT_EQ(OpenFindBox(), box);  // a second Find only gives it the focus
}

TEST_F(FindTest, TheFindBoxWithoutADatabase) {
  CFindBox* box = OpenFindBox();
  KeyInBox(box, Qt::Key_F4, Qt::ControlModifier);  // Close, from the find box
  ASSERT_FALSE(dlg->Catalogue().IsOpen());
  EXPECT_FALSE(Act("actionEditFindNext")->isEnabled());
  // Ctrl+A belongs to the grayed Save as: swallowed, not "select all" in the box.
  QLineEdit* what = box->findChild<QLineEdit*>("findWhat");
  what->setText("hash");
  what->deselect();
  KeyInBox(box, Qt::Key_A, Qt::ControlModifier);
  EXPECT_TRUE(what->selectedText().isEmpty());
  KeyInBox(box, Qt::Key_F3);  // grayed: swallowed
  EXPECT_TRUE(questions.BoxTexts().empty());

  Search(box, "hash", false, false, true);
  EXPECT_EQ(questions.BoxTexts(), std::vector<std::string>{kNone});
  EXPECT_TRUE(Act("actionEditFindNext")->isEnabled());
  KeyInBox(box, Qt::Key_F3);
  EXPECT_EQ(questions.BoxTexts(), (std::vector<std::string>{kNone, kNone}));
}

}  // namespace
