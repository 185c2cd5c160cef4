#pragma once

#include <Qt>

// Talvane's command numbers and its keyboard table.
enum TalvaneCommand : int {
  ID_APP_ABOUT = 16,  // the About item (the system menu's command number)
  ID_FILE_OPEN = 57601,
  ID_FILE_CLOSE = 57602,
  ID_FILE_SAVE = 57603,
  ID_EDIT_FIND = 57636,
  ID_FILE_EXIT = 32784,
  ID_FILE_SAVEAS = 32785,
  ID_EDIT_FINDNEXT = 32787,
  ID_EDIT_FINDPREVIOUS = 32798,
};

// Control numbers of the main window.
inline constexpr int IDC_HASHSET_LIST = 1000;
inline constexpr int IDC_PROGRESS = 1004;

struct Accelerator {
  Qt::Key key;
  Qt::KeyboardModifiers modifiers;
  int command;
};

// Talvane's keyboard shortcuts. Ctrl+A runs Save as, as the menu item says.
inline constexpr Accelerator kAccelerators[] = {
    {Qt::Key_F, Qt::ControlModifier, ID_EDIT_FIND},
    {Qt::Key_F3, Qt::NoModifier, ID_EDIT_FINDNEXT},
    {Qt::Key_F4, Qt::ControlModifier, ID_FILE_CLOSE},
    {Qt::Key_O, Qt::ControlModifier, ID_FILE_OPEN},
    {Qt::Key_S, Qt::ControlModifier, ID_FILE_SAVE},
    {Qt::Key_A, Qt::ControlModifier, ID_FILE_SAVEAS},
    {Qt::Key_F3, Qt::ShiftModifier, ID_EDIT_FINDPREVIOUS},
};
