#pragma once

#include <QDialog>
#include <QPointer>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "flag_editor/file_dialogs.h"
#include "flag_editor/find_box.h"
#include "flag_editor/hash_set_list.h"
#include "hashdb/hash_set_catalogue.h"
#include "platform/message_boxes.h"

class FileSystem;
class QAction;
class QMenuBar;
class QProgressBar;
class Registry;

// The progress observer of Save as: the bar under the list, drawn at once at
// every step because the copy does not return to the event loop.
class ListProgress : public SaveProgress {
 public:
  explicit ListProgress(QProgressBar* bar) : bar_(bar) {}
  void Begin(std::uint64_t total) override;
  void Advance(std::uint64_t done) override;
  void End() override;

 private:
  QProgressBar* bar_;
  int shift_ = 0;  // the bar's range is int; bigger totals are scaled down by 2^shift_
};

// Talvane's main window: the menu, the list of hash sets and the progress bar.
// It owns the open database; every question goes through the injected boxes
// and file dialogs.
class CFlagEditorDlg : public QDialog {
  Q_OBJECT

 public:
  // file_system replaces the real files for the catalogue (tests inject faults).
  CFlagEditorDlg(MessageBoxes& boxes, FileDialogs& dialogs, Registry& registry,
                 FileSystem* file_system = nullptr);
  ~CFlagEditorDlg() override;

  // Copied from the command line before the window runs.
  std::int32_t m_nParentWnd = 0;
  bool m_bHasParent = false;

  // The rest of the initialisation: the parent rule, the keyboard table, and the
  // default database, whose boxes come before the window is first shown.
  bool OnInitDialog();

  // A command of the menu or the keyboard table; a grayed one does nothing.
  void OnCommand(int command);
  QAction* Action(int command) const;

  void OnFileOpen();
  void OnFileSave();
  void OnFileSaveAs();
  void OnFileClose();
  void OnFileExit();
  void OnEditFind();
  void OnEditFindNext();
  void OnEditFindPrevious();
  void OnAppAbout();

  // The find box's notification: a search request, or its closing.
  void OnFindReplace(bool closing);
  // A row changed (check box, selection or focus): its state goes to the catalogue.
  void OnItemChanged(int position);
  void OnHeaderItemClick(int column);
  // Deactivation with a parent window: taken back when the parent took the focus.
  void OnActivate(bool active);

  std::optional<int> FindItem(bool whole_word, bool match_case, bool down) const;
  void ShowFoundItem(int position);
  void SetSortArrow(int column, int step);
  void EnableDatabaseCommands();
  void DisableDatabaseCommands();
  void EnableFindAgain();
  void DisableFindAgain();
  void CloseDatabase();

  // The layout rule for a client area of width x height pixels.
  void ApplyLayout(int width, int height);

  CHashSetCatalogue& Catalogue() { return *catalogue_; }
  HashSetListModel& ListModel() { return *model_; }
  HashSetListView& ListView() { return *list_; }
  QProgressBar& ProgressBar() { return *progress_; }
  CFindBox* FindBox() const { return find_box_; }
  QWidget& ClientArea() { return *client_; }
  // The caption as the program set it (without Qt's escaping of "[*]").
  const QString& Caption() const { return caption_; }

 public slots:
  void accept() override;  // Enter never ends the window
  void reject() override;  // Esc
  void setVisible(bool visible) override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenu();
  void SetCaption(const QString& caption);
  void SetCaptionToPath();
  void Fill();
  void Empty();
  bool ShowLoadResult(const LoadResult& result);
  void ShowFileError(const FileError& error);
  // Saves in place and sets the caption; false after a file error (shown).
  bool SaveInPlace();
  // The unsaved-change question of prompt when the catalogue is changed; true
  // when the command may go on (Yes with a good save, or No).
  bool SaveBeforeLeaving(unsigned prompt);
  // Closing the window, Exit and Esc: the question, then the end with result.
  bool EndDialog(int result);
  void FindAgain(bool down);
  // The bytes of a name a file dialog returned (proposed: the name it was
  // offered, empty for none); nullopt after telling the user it names no file.
  std::optional<std::string> PathOf(const QString& name, const QString& proposed);
  void Ask(const std::string& text, const std::string& caption = {});

  MessageBoxes& boxes_;
  FileDialogs& dialogs_;
  Registry& registry_;
  std::unique_ptr<CHashSetCatalogue> catalogue_;

  QMenuBar* menu_bar_ = nullptr;
  QWidget* client_ = nullptr;
  HashSetListModel* model_ = nullptr;
  HashSetListView* list_ = nullptr;
  QProgressBar* progress_ = nullptr;
  std::map<int, QAction*> actions_;
  QString caption_;

  bool loading_ = false;
  int sort_step_[2] = {0, 0};

  QString find_text_;
  bool whole_word_ = false;
  bool match_case_ = false;
  bool direction_down_ = false;
  QPointer<CFindBox> find_box_;
  bool accelerators_on_ = false;
};
