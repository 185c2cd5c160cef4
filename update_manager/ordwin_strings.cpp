#include "update_manager/ordwin_strings.h"

#include <map>

namespace {

const std::map<unsigned, std::string>& Table() {
  static const std::map<unsigned, std::string> table = {
      {IDR_MAINFRAME, "Ordwin\n\nOrdwin\n\n\nOrdwin.Document\nOrdwin.Document"},
      {IDS_COLUMN_PROGRAM, "Program"},
      {IDS_COLUMN_LATEST_VERSION, "Latest Version"},
      {IDS_SELECT_CHECK_FOR_UPDATES, "Select \"Check for updates...\""},
      {IDS_PRODUCT_PELLOR, "Pellor"},
      {IDS_PRODUCT_KVSL, "KVSL"},
      {IDS_PRODUCT_QEL, "QEL"},
      {IDS_PRODUCT_WZ, "WZ"},
      {IDS_PRODUCT_PELLOR_ASHBY, "Pellor Ashby"},
      {IDS_PRODUCT_NERITH, "Nerith"},
      {IDS_PRODUCT_PELLOR_TINDLE, "Pellor Tindle"},
      {IDS_PRODUCT_PELLOR_MARLO, "Pellor Marlo"},
      {IDS_STEP_FINDING, "Finding Velmora..."},
      {IDS_STEP_FOUND, "Found Velmora..."},
      {IDS_STEP_CONNECTING, "Connecting to Velmora Update Site..."},
      {IDS_STEP_CONNECTED, "Connected to Velmora Update Site..."},
      {IDS_STEP_REQUESTING, "Requesting information from Velmora Update Site..."},
      {IDS_STEP_REQUEST_RECEIVED, "Request revieved by Velmora Update Site..."},
      {IDS_STEP_RECEIVING, "Receiving data from Velmora Update Site..."},
      {IDS_STEP_RECEIVED, "Information received from Velmora Update Site..."},
      {IDS_STEP_CLOSING, "Closing connection with Velmora Update Site..."},
      {IDS_STEP_CLOSED, "Successfully closed connection with Velmora Update site..."},
      {IDS_STEP_COMPLETE, "Communication with Velmora Update Site complete."},
      {IDS_STEP_DOWNLOADING, "Downloading update from Velmora server..."},
      {IDS_STEP_COMMUNICATING, "Communicating with Velmora Update Site..."},
      {IDS_STARTUP_OFFER,
       "Would you like to check the Velmora Update site for the latest versions of Velmora "
       "applications?\nYou must be connected to the internet in order to perform this check\n\n"
       "Click Yes to check the update site,  No to continue without checking, or Cancel to never "
       "check on startup again."},
      {IDS_NEW_ORDWIN_AVAILABLE,
       "There is a new version of Ordwin available. Would you like to download and install it "
       "now?"},
      {IDS_DOWNLOAD_NEWEST, "Would you like to download the newest version(s) from Velmora?"},
      {IDS_PRODUCT_LINE_CAPTION, "View the complete\nVelmora product line at"},
      {IDS_VERSION_LINE, "Ordwin Version "},
      {IDS_APP_TITLE, "Ordwin"},
      {IDS_IDLE_MESSAGE, "Ready"},
      {IDS_PROMPT_APP_ABOUT, "Display program information, version number and copyright\nAbout"},
      {IDS_PROMPT_APP_EXIT, "Quit the application; prompts to save documents\nExit"},
      {IDS_PROMPT_VIEW_STATUS_BAR, "Show or hide the status bar\nToggle StatusBar"},
  };
  return table;
}

}  // namespace

const std::string& OrdwinString(unsigned id) {
  static const std::string empty;
  auto it = Table().find(id);
  return it == Table().end() ? empty : it->second;
}

bool HasOrdwinString(unsigned id) { return Table().count(id) != 0; }
