#pragma once

#include <string>

// Talvane's string table: the texts the hash-set editor shows, by their numbers.
enum TalvaneStringId : unsigned {
  IDS_ABOUTBOX = 101,
  IDS_COLUMN_ALERT = 102,
  IDS_COLUMN_NAME = 103,
  IDS_SAVE_BEFORE_CONTINUING = 104,
  IDS_WARNING = 105,
  IDS_ERROR_OPENING = 106,
  IDS_ERROR_CAPTION = 107,
  IDS_ERROR_SAVING = 108,
  IDS_SAVE_BEFORE_EXITING = 109,
  IDS_NO_SUCH_ITEM = 110,
  IDS_NO_DEFAULT_DATABASE = 111,
  // Ours: a name from a file dialog that stands for no file name on disk (%1: the name).
  IDS_NAME_NOT_ON_DISK = 112,
};

// The text of string id, or an empty string when the table has no such entry.
const std::string& TalvaneString(unsigned id);

// The application's name: the caption of every box that has none of its own.
inline constexpr const char* kTalvaneAppName = "Talvane";
