#include "hashdb/talvane_strings.h"

#include <map>

const std::string& TalvaneString(unsigned id) {
  static const std::map<unsigned, std::string> table = {
      {IDS_ABOUTBOX, "&About Talvane..."},
      {IDS_COLUMN_ALERT, "Alert"},
      {IDS_COLUMN_NAME, "Hash Set Name"},
      {IDS_SAVE_BEFORE_CONTINUING, "You've changed alert values.  Save before continuing?"},
      {IDS_WARNING, "Warning"},
      {IDS_ERROR_OPENING, "Error opening file."},
      {IDS_ERROR_CAPTION, "Error!"},
      {IDS_ERROR_SAVING, "Error saving file."},
      {IDS_SAVE_BEFORE_EXITING, "You've changed alert values.  Save before exiting?"},
      {IDS_NO_SUCH_ITEM, "No such item found."},
      {IDS_NO_DEFAULT_DATABASE, "Couldn't load the default database."},
      {IDS_NAME_NOT_ON_DISK,
       "%1 cannot be used: the name does not convert back to the exact name of a file on disk, "
       "so another file would be used. Nothing was opened or saved."},
  };
  static const std::string empty;
  auto it = table.find(id);
  return it == table.end() ? empty : it->second;
}
