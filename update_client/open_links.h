#pragma once

#include <string>

// Hands a download link, exactly as the update site reported it, to the desktop
// (which opens it in the web browser) and returns at once. Only http:// and
// https:// links are handed on: links come from the network, and anything else
// (an empty link, a file or program path) is not started. Returns whether a
// process was started; the callers carry on either way.
bool OpenDownloadLink(const std::string& link);

// Asks the desktop to open a page (the maker's product page), the same way.
bool OpenPage(const std::string& address);
