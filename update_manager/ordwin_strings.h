#pragma once

#include <string>

// Ordwin's string table: every text the update manager shows, by its number.
// The window code and the update-site client both take their texts from here.
enum OrdwinStringId : unsigned {
  // Document template: window title, (no file filter), document type name.
  IDR_MAINFRAME = 128,

  // Product list columns.
  IDS_COLUMN_PROGRAM = 132,
  IDS_COLUMN_LATEST_VERSION = 157,
  IDS_SELECT_CHECK_FOR_UPDATES = 175,

  // Display names of the products in the list.
  IDS_PRODUCT_PELLOR = 136,
  IDS_PRODUCT_KVSL = 137,
  IDS_PRODUCT_QEL = 138,
  IDS_PRODUCT_WZ = 139,
  IDS_PRODUCT_PELLOR_ASHBY = 183,
  IDS_PRODUCT_NERITH = 184,
  IDS_PRODUCT_PELLOR_TINDLE = 188,
  IDS_PRODUCT_PELLOR_MARLO = 192,

  // Connection progress steps.
  IDS_STEP_FINDING = 143,
  IDS_STEP_FOUND = 144,
  IDS_STEP_CONNECTING = 145,
  IDS_STEP_CONNECTED = 146,
  IDS_STEP_REQUESTING = 147,
  IDS_STEP_REQUEST_RECEIVED = 148,
  IDS_STEP_RECEIVING = 149,
  IDS_STEP_RECEIVED = 150,
  IDS_STEP_CLOSING = 151,
  IDS_STEP_CLOSED = 152,
  IDS_STEP_COMPLETE = 153,
  IDS_STEP_DOWNLOADING = 155,
  IDS_STEP_COMMUNICATING = 173,

  // Questions of the update checks.
  IDS_STARTUP_OFFER = 174,
  IDS_NEW_ORDWIN_AVAILABLE = 176,
  IDS_DOWNLOAD_NEWEST = 178,

  // Link label caption and the About box's version line.
  IDS_PRODUCT_LINE_CAPTION = 190,
  IDS_VERSION_LINE = 191,

  // Application title, status-bar idle text and the command prompts
  // ("prompt\nshort name").
  IDS_APP_TITLE = 57344,
  IDS_IDLE_MESSAGE = 57345,
  IDS_PROMPT_APP_ABOUT = 57664,
  IDS_PROMPT_APP_EXIT = 57665,
  IDS_PROMPT_VIEW_STATUS_BAR = 59393,
};

// The text of string id, or an empty string when the table has no such entry.
const std::string& OrdwinString(unsigned id);

// Whether the table has an entry for id (a missing entry leaves a step's text as it was).
bool HasOrdwinString(unsigned id);

// The application's name: the caption of every box that has none of its own.
inline constexpr const char* kOrdwinAppName = "Ordwin";
