#include "flag_editor/flag_editor_dlg.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "flag_editor/about_dlg.h"
#include "flag_editor/commands.h"
#include "flag_editor/find_box.h"
#include "flag_editor/parent_window.h"
#include "hashdb/cp1252.h"
#include "hashdb/default_database.h"
#include "hashdb/talvane_strings.h"
#include "platform/qt/app_icon.h"
#include "platform/qt/dialog_units.h"
#include "platform/qt/x11.h"

namespace {

QString Text(unsigned id) { return QString::fromStdString(TalvaneString(id)); }

QString DecodePath(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

// The file system's bytes for a name from a file dialog, or nullopt when the
// name stands for no bytes exactly: a lone surrogate has none, and a
// replacement character is what the dialogs show for bytes that are not UTF-8,
// so such a name means another file unless a file of exactly that name exists.
std::optional<std::string> EncodePath(const QString& name) {
  const QByteArray bytes = QFile::encodeName(name);
  if (QFile::decodeName(bytes) != name) return std::nullopt;
  if (name.contains(QChar::ReplacementCharacter) && !QFileInfo::exists(name)) return std::nullopt;
  return bytes.toStdString();
}

}  // namespace

void ListProgress::Begin(std::uint64_t total) {
  shift_ = 0;
  while ((total >> shift_) > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) ++shift_;
  bar_->setRange(0, static_cast<int>(total >> shift_));
  bar_->setValue(0);
  bar_->show();
  bar_->repaint();
}

void ListProgress::Advance(std::uint64_t done) {
  // QProgressBar repaints at once when the drawn bar changes.
  bar_->setValue(static_cast<int>(std::min<std::uint64_t>(done >> shift_, bar_->maximum())));
}

void ListProgress::End() { bar_->hide(); }

CFlagEditorDlg::CFlagEditorDlg(MessageBoxes& boxes, FileDialogs& dialogs, Registry& registry,
                               FileSystem* file_system)
    : QDialog(nullptr),
      boxes_(boxes),
      dialogs_(dialogs),
      registry_(registry),
      catalogue_(file_system ? std::make_unique<CHashSetCatalogue>(*file_system)
                             : std::make_unique<CHashSetCatalogue>()) {
  setObjectName("flagEditorDialog");
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  SetCaption(QStringLiteral("Nerith Talvane"));
  setWindowIcon(AppIcon("talvane"));
  setSizeGripEnabled(false);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  BuildMenu();
  layout->setMenuBar(menu_bar_);

  // The client area: the list and the bar are placed by the layout rule, not by
  // a Qt layout, so they keep their margins of 25 pixels at any size.
  client_ = new QWidget(this);
  client_->setObjectName("clientArea");
  client_->setAccessibleName(tr("Hash sets"));
  layout->addWidget(client_);
  client_->installEventFilter(this);

  model_ = new HashSetListModel(this);
  list_ = new HashSetListView(client_);
  list_->setObjectName("hashSetList");
  list_->setAccessibleName(tr("Hash sets"));
  list_->setModel(model_);
  list_->setColumnWidth(HashSetListModel::kAlertColumn, 50);
  list_->setColumnWidth(HashSetListModel::kNameColumn, 500);
  list_->horizontalHeader()->setObjectName("hashSetListHeader");
  list_->horizontalHeader()->setAccessibleName(tr("Columns"));

  progress_ = new QProgressBar(client_);
  progress_->setObjectName("progressBar");
  progress_->setAccessibleName(tr("Saving progress"));
  progress_->setTextVisible(false);
  progress_->hide();

  connect(model_, &HashSetListModel::checkToggled, this, &CFlagEditorDlg::OnItemChanged);
  connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected, const QItemSelection& deselected) {
            // One notification per row whose selection changed, like the list
            // view's item-changed notice.
            std::vector<int> rows;
            for (const auto* part : {&deselected, &selected}) {
              for (const QItemSelectionRange& range : *part) {
                for (int r = range.top(); r <= range.bottom(); ++r) {
                  if (std::find(rows.begin(), rows.end(), r) == rows.end()) rows.push_back(r);
                }
              }
            }
            for (int r : rows) OnItemChanged(r);
          });
  connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current, const QModelIndex& previous) {
            if (previous.isValid()) OnItemChanged(previous.row());
            if (current.isValid()) OnItemChanged(current.row());
          });
  connect(list_->horizontalHeader(), &QHeaderView::sectionClicked, this,
          &CFlagEditorDlg::OnHeaderItemClick);

  const DialogUnits units(fontMetrics());
  resize(units.X(320), units.Y(199) + menu_bar_->sizeHint().height());
}

CFlagEditorDlg::~CFlagEditorDlg() {
  if (find_box_) delete find_box_.data();
  // The rows view names in the catalogue's table, which goes with this object.
  Empty();
}

void CFlagEditorDlg::BuildMenu() {
  menu_bar_ = new QMenuBar(this);
  menu_bar_->setObjectName("menuBar");
  menu_bar_->setAccessibleName(tr("Menu"));
  menu_bar_->setNativeMenuBar(false);

  struct Item {
    const char* menu;
    int command;
    const char* text;
    const char* shortcut;
    const char* object_name;
    void (CFlagEditorDlg::*handler)();
  };
  // The File and Edit menus, plus the Help menu that holds the About item of the
  // system menu.
  static const Item kItems[] = {
      {"&File", ID_FILE_OPEN, "&Open...", "Ctrl+O", "actionFileOpen", &CFlagEditorDlg::OnFileOpen},
      {"&File", ID_FILE_SAVE, "&Save", "Ctrl+S", "actionFileSave", &CFlagEditorDlg::OnFileSave},
      {"&File", ID_FILE_SAVEAS, "Save &as...", "Ctrl+A", "actionFileSaveAs",
       &CFlagEditorDlg::OnFileSaveAs},
      {"&File", ID_FILE_CLOSE, "&Close", "Ctrl+F4", "actionFileClose",
       &CFlagEditorDlg::OnFileClose},
      {"&File", 0, nullptr, nullptr, nullptr, nullptr},
      {"&File", ID_FILE_EXIT, "E&xit", nullptr, "actionFileExit", &CFlagEditorDlg::OnFileExit},
      {"&Edit", ID_EDIT_FIND, "&Find...", "Ctrl-F", "actionEditFind", &CFlagEditorDlg::OnEditFind},
      {"&Edit", ID_EDIT_FINDNEXT, "Find &Next", "F3", "actionEditFindNext",
       &CFlagEditorDlg::OnEditFindNext},
      {"&Edit", ID_EDIT_FINDPREVIOUS, "Find &Previous", "Shift+F3", "actionEditFindPrevious",
       &CFlagEditorDlg::OnEditFindPrevious},
      {"&Help", ID_APP_ABOUT, nullptr, nullptr, "actionAppAbout", &CFlagEditorDlg::OnAppAbout},
  };
  std::map<QString, QMenu*> menus;
  for (const Item& item : kItems) {
    const QString menu_title = QString::fromLatin1(item.menu);
    QMenu*& menu = menus[menu_title];
    if (!menu) {
      menu = menu_bar_->addMenu(menu_title);
      QString plain = menu_title;
      plain.remove('&');
      menu->setObjectName("menu" + plain);
      menu->setAccessibleName(plain);
    }
    if (!item.object_name) {
      menu->addSeparator();
      continue;
    }
    QString text = item.text ? QString::fromLatin1(item.text) : Text(IDS_ABOUTBOX);
    // The text after the tab is shown as the shortcut; the keys themselves go
    // through the keyboard table, which also covers the find box.
    if (item.shortcut) text += '\t' + QString::fromLatin1(item.shortcut);
    QAction* action = menu->addAction(text);
    action->setObjectName(item.object_name);
    action->setData(item.command);
    connect(action, &QAction::triggered, this, item.handler);
    actions_[item.command] = action;
  }
  for (int command : {ID_FILE_SAVE, ID_FILE_SAVEAS, ID_FILE_CLOSE, ID_EDIT_FIND, ID_EDIT_FINDNEXT,
                      ID_EDIT_FINDPREVIOUS}) {
    actions_[command]->setEnabled(false);
  }
}

QAction* CFlagEditorDlg::Action(int command) const {
  const auto it = actions_.find(command);
  return it == actions_.end() ? nullptr : it->second;
}

bool CFlagEditorDlg::OnInitDialog() {
  ApplyLayout(client_->width(), client_->height());

  // Keyboard shortcuts work from now on, in this window and in the find box.
  if (!accelerators_on_) {
    qApp->installEventFilter(this);
    accelerators_on_ = true;
  }

  if (m_bHasParent) {
    setWindowFlag(Qt::WindowMinimizeButtonHint, false);
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
  }

  if (FindDefaultDatabase(*catalogue_, registry_, boxes_)) {
    Fill();
    SetCaptionToPath();
  }
  list_->setFocus();
  return true;
}

void CFlagEditorDlg::setVisible(bool visible) {
  QDialog::setVisible(visible);
  // On X11 the window manager keeps a transient window above its parent. Qt
  // clears WM_TRANSIENT_FOR of a plain top-level window at every show, so it is
  // set once the window is shown.
  if (visible && m_bHasParent && m_nParentWnd != 0) {
    SetX11TransientFor(static_cast<std::uintptr_t>(winId()),
                       static_cast<std::uint32_t>(m_nParentWnd));
  }
}

void CFlagEditorDlg::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && !isActiveWindow()) OnActivate(false);
}

void CFlagEditorDlg::OnActivate(bool active) {
  // Started for another program's window: clicking that window (or anything
  // inside it) leaves Talvane in front and with the focus. Windows it merely
  // owns, and every other window, take the focus as usual.
  if (active || !m_bHasParent) return;
  if (!FocusIsInParentWindow(static_cast<std::uint32_t>(m_nParentWnd))) return;
  activateWindow();
  raise();
  TakeFocus(static_cast<std::uintptr_t>(winId()));
  if (QWidget* focus = focusWidget()) focus->setFocus(Qt::ActiveWindowFocusReason);
}

void CFlagEditorDlg::OnCommand(int command) {
  QAction* action = Action(command);
  if (action && action->isEnabled()) action->trigger();
}

bool CFlagEditorDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == client_ && event->type() == QEvent::Resize) {
    ApplyLayout(client_->width(), client_->height());
    return false;
  }
  if (event->type() == QEvent::KeyPress && accelerators_on_) {
    auto* widget = qobject_cast<QWidget*>(watched);
    QWidget* window = widget ? widget->window() : nullptr;
    if (window && (window == this || (find_box_ && window == find_box_.data()))) {
      const auto* key = static_cast<QKeyEvent*>(event);
      const Qt::KeyboardModifiers modifiers =
          key->modifiers() &
          (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
      for (const Accelerator& accelerator : kAccelerators) {
        if (accelerator.key == key->key() && accelerator.modifiers == modifiers) {
          // A grayed command swallows its key without effect.
          OnCommand(accelerator.command);
          return true;
        }
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

void CFlagEditorDlg::ApplyLayout(int width, int height) {
  const int w = std::max(0, width - 50);
  list_->setGeometry(25, 25, w, std::max(0, height - 50));
  progress_->setGeometry(25, height - 20, w, 12);
}

void CFlagEditorDlg::SetCaption(const QString& caption) {
  caption_ = caption;
  QString shown = caption;
  shown.replace(QLatin1String("[*]"), QLatin1String("[*][*]"));  // Qt's placeholder, kept literal
  setWindowTitle(shown);
  // Screen readers announce the window by this name: the open file and the
  // unsaved mark, as the caption shows them.
  setAccessibleName(caption);
}

void CFlagEditorDlg::SetCaptionToPath() {
  SetCaption(QStringLiteral("Talvane - ") + DecodePath(catalogue_->GetPath()));
}

void CFlagEditorDlg::Ask(const std::string& text, const std::string& caption) {
  boxes_.Show(text, caption, BoxButtons::Ok, BoxIcon::None);
}

void CFlagEditorDlg::ShowFileError(const FileError& error) {
  boxes_.Show(error.Message(), std::string(), BoxButtons::Ok, BoxIcon::Stop);
}

// --- The list -----------------------------------------------------------------

void CFlagEditorDlg::Fill() {
  loading_ = true;
  model_->Fill(*catalogue_);
  loading_ = false;
  EnableDatabaseCommands();
}

void CFlagEditorDlg::Empty() {
  loading_ = true;
  model_->Empty();
  loading_ = false;
}

void CFlagEditorDlg::OnItemChanged(int position) {
  if (loading_ || !catalogue_->IsOpen() || position < 0 || position >= model_->RowCount()) return;
  const HashSetItemData item = model_->Item(position);
  if (item.index < 0 || static_cast<std::uint32_t>(item.index) >= catalogue_->GetCount()) return;
  const bool on = model_->IsChecked(position);
  const bool was_changed = catalogue_->IsChanged();
  // The row's alert is the catalogue's own flag, so storing it is all there is.
  if (catalogue_->SetAlert(static_cast<std::uint32_t>(item.index), on) && !was_changed) {
    SetCaption(caption_ + '*');
  }
}

void CFlagEditorDlg::OnHeaderItemClick(int column) {
  const int c = column == HashSetListModel::kAlertColumn ? 0 : 1;
  const int step = sort_step_[c];
  model_->Sort(step == 0   ? RowOrder::kNameAscending
               : step == 1 ? RowOrder::kNameDescending
                           : RowOrder::kFileOrder);
  SetSortArrow(c, step);
  sort_step_[c] = (step + 1) % 3;
}

void CFlagEditorDlg::SetSortArrow(int column, int step) {
  // The header has one arrow, so setting it on one heading clears the other.
  QHeaderView* header = list_->horizontalHeader();
  if (step == 0 || step == 1) {
    header->setSortIndicator(column, step == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
    header->setSortIndicatorShown(true);
  } else {
    header->setSortIndicatorShown(false);
  }
}

// --- Menu states --------------------------------------------------------------

void CFlagEditorDlg::EnableDatabaseCommands() {
  for (int command : {ID_FILE_SAVE, ID_FILE_SAVEAS, ID_FILE_CLOSE, ID_EDIT_FIND}) {
    actions_[command]->setEnabled(true);
  }
}

void CFlagEditorDlg::DisableDatabaseCommands() {
  for (int command : {ID_FILE_SAVE, ID_FILE_SAVEAS, ID_FILE_CLOSE, ID_EDIT_FIND, ID_EDIT_FINDNEXT,
                      ID_EDIT_FINDPREVIOUS}) {
    actions_[command]->setEnabled(false);
  }
}

void CFlagEditorDlg::EnableFindAgain() {
  actions_[ID_EDIT_FINDNEXT]->setEnabled(true);
  actions_[ID_EDIT_FINDPREVIOUS]->setEnabled(true);
}

void CFlagEditorDlg::DisableFindAgain() {
  actions_[ID_EDIT_FINDNEXT]->setEnabled(false);
  actions_[ID_EDIT_FINDPREVIOUS]->setEnabled(false);
}

// --- File commands ------------------------------------------------------------

void CFlagEditorDlg::CloseDatabase() {
  if (!catalogue_->IsOpen()) return;
  SetCaption(QStringLiteral("Talvane"));
  // The rows view names in the catalogue's table: they go before it does.
  Empty();
  catalogue_->Close();
  DisableDatabaseCommands();
}

bool CFlagEditorDlg::SaveInPlace() {
  const SaveResult result = catalogue_->Save();
  if (result.error) {
    ShowFileError(*result.error);
    return false;
  }
  SetCaptionToPath();
  return result.saved;
}

bool CFlagEditorDlg::SaveBeforeLeaving(unsigned prompt) {
  if (!catalogue_->IsOpen() || !catalogue_->IsChanged()) return true;
  switch (boxes_.Show(TalvaneString(prompt), TalvaneString(IDS_WARNING), BoxButtons::YesNoCancel,
                      BoxIcon::None)) {
    case BoxAnswer::Yes: return SaveInPlace();
    case BoxAnswer::No: return true;
    default: return false;
  }
}

void CFlagEditorDlg::OnFileOpen() {
  if (!SaveBeforeLeaving(IDS_SAVE_BEFORE_CONTINUING)) return;
  const std::optional<QString> name = dialogs_.AskOpenFileName();
  if (!name) return;
  // Before the open database is closed: a name that is no file leaves it open.
  const std::optional<std::string> path = PathOf(*name, QString());
  if (!path) return;
  CloseDatabase();
  const LoadResult result = catalogue_->Load(*path);
  if (result.ok()) {
    Fill();
    SetCaptionToPath();
    return;
  }
  if (result.error) {
    // A read failed after the open: the cause's box, and nothing stays held.
    ShowFileError(*result.error);
    catalogue_->Close();
    return;
  }
  Ask(result.failure ? result.failure->message : std::string());
  Ask(TalvaneString(IDS_ERROR_OPENING), kNoCaption);
}

std::optional<std::string> CFlagEditorDlg::PathOf(const QString& name, const QString& proposed) {
  // The proposed name accepted unchanged is the open database's own file,
  // whatever the dialog could show of its bytes.
  if (!proposed.isEmpty() && name == proposed) return catalogue_->GetPath();
  std::optional<std::string> path = EncodePath(name);
  if (!path) {
    std::string text = TalvaneString(IDS_NAME_NOT_ON_DISK);
    text.replace(text.find("%1"), 2, name.toStdString());
    boxes_.Show(text, std::string(), BoxButtons::Ok, BoxIcon::Stop);
  }
  return path;
}

void CFlagEditorDlg::OnFileSave() {
  if (!catalogue_->IsOpen()) return;
  SaveInPlace();
}

void CFlagEditorDlg::OnFileSaveAs() {
  if (!catalogue_->IsOpen()) return;
  const QString proposed = DecodePath(catalogue_->GetPath());
  const std::optional<QString> name = dialogs_.AskSaveAsFileName(proposed);
  if (!name) return;
  const std::optional<std::string> path = PathOf(*name, proposed);
  if (!path) return;
  // The copy does not return to the event loop: let the window system take the
  // file dialog away and draw the window now, or the place where the dialog was
  // stays stale until the copy ends.
  QGuiApplication::sync();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  repaint();
  ListProgress progress(progress_);
  const SaveResult result = catalogue_->SaveAs(*path, progress);
  progress_->hide();  // also when a file error ended the copy before End
  if (result.error) {
    ShowFileError(*result.error);
    return;
  }
  if (!result.saved) {
    Ask(TalvaneString(IDS_ERROR_SAVING), TalvaneString(IDS_ERROR_CAPTION));
    return;
  }
  SetCaptionToPath();
}

void CFlagEditorDlg::OnFileClose() {
  // Unsaved changes are not dropped without asking.
  if (!SaveBeforeLeaving(IDS_SAVE_BEFORE_CONTINUING)) return;
  CloseDatabase();
}

bool CFlagEditorDlg::EndDialog(int result) {
  if (!SaveBeforeLeaving(IDS_SAVE_BEFORE_EXITING)) return false;
  CloseDatabase();
  if (find_box_) find_box_->close();
  QDialog::done(result);
  return true;
}

void CFlagEditorDlg::OnFileExit() { EndDialog(QDialog::Accepted); }

void CFlagEditorDlg::closeEvent(QCloseEvent* event) {
  event->setAccepted(EndDialog(QDialog::Rejected));
}

void CFlagEditorDlg::reject() {
  // Esc asks about unsaved changes like closing the window does.
  EndDialog(QDialog::Rejected);
}

void CFlagEditorDlg::accept() {}

void CFlagEditorDlg::OnAppAbout() {
  CAboutDlg about(this);
  about.exec();
}

// --- Find ---------------------------------------------------------------------

std::optional<int> CFlagEditorDlg::FindItem(bool whole_word, bool match_case, bool down) const {
  const QModelIndexList selected = list_->selectionModel()->selectedRows();
  const int position = selected.isEmpty() ? -1 : selected.first().row();
  return ::FindItem(*model_, position, Utf8ToCp1252(find_text_.toStdString()),
                    FindOptions{whole_word, match_case, down});
}

void CFlagEditorDlg::ShowFoundItem(int position) {
  QItemSelectionModel* selection = list_->selectionModel();
  // The found row is selected without the focus mark; another row keeps it.
  if (selection->currentIndex().isValid() && selection->currentIndex().row() == position) {
    selection->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
  }
  const QModelIndex row = model_->index(position, HashSetListModel::kAlertColumn);
  selection->select(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  list_->scrollTo(row, QAbstractItemView::EnsureVisible);
  list_->viewport()->update();
  update();
}

void CFlagEditorDlg::OnEditFind() {
  if (find_box_) {
    find_box_->FocusFindWhat();
    return;
  }
  find_box_ = new CFindBox(find_text_, this);
  connect(find_box_.data(), &CFindBox::findNext, this, [this] { OnFindReplace(false); });
  connect(find_box_.data(), &CFindBox::closing, this, [this] { OnFindReplace(true); });
  find_box_->show();
  find_box_->FocusFindWhat();
}

void CFlagEditorDlg::OnFindReplace(bool closing) {
  if (closing) {
    find_box_ = nullptr;
    return;
  }
  if (!find_box_) return;
  find_text_ = find_box_->FindWhat();
  const bool whole_word = find_box_->MatchWholeWord();
  const bool match_case = find_box_->MatchCase();
  const bool down = find_box_->SearchDown();
  if (const std::optional<int> found = FindItem(whole_word, match_case, down)) {
    ShowFoundItem(*found);
    whole_word_ = whole_word;
    match_case_ = match_case;
    direction_down_ = down;
  } else {
    Ask(TalvaneString(IDS_NO_SUCH_ITEM));
  }
  if (!find_text_.isEmpty()) {
    EnableFindAgain();
  } else {
    DisableFindAgain();
  }
}

void CFlagEditorDlg::OnEditFindNext() { FindAgain(true); }

void CFlagEditorDlg::OnEditFindPrevious() { FindAgain(false); }

void CFlagEditorDlg::FindAgain(bool down) {
  // The stored options, never the stored direction.
  if (find_text_.isEmpty()) return;
  if (const std::optional<int> found = FindItem(whole_word_, match_case_, down)) {
    ShowFoundItem(*found);
  } else {
    Ask(TalvaneString(IDS_NO_SUCH_ITEM));
  }
}
