#pragma once

#include <iosfwd>

#include "update_client/update_session.h"

// `ordwin --check`: the network part of a check for updates without a window.
// Asks the configured update site for the latest versions, applies the reply to
// a fresh product table and prints the nine entries in table order, one line
// each: code, tab, latest version, tab, download link (a tab, line break or
// backslash inside a value is written \t, \n, \r or \\ so every entry stays on
// its line). Never asks a question and launches nothing. When the site could
// not be reached or did not answer with a 2xx status, one line on err says why.
// Returns the program's exit code, so scripts can tell whether the check
// reached the site:
inline constexpr int kCheckReachedSite = 0;     // a reply came back with a 2xx status
inline constexpr int kCheckOutputFailed = 1;    // the list could not be written
inline constexpr int kCheckSiteNotReached = 3;  // unreachable, timed out, cancelled,
                                                // another status or a bad host setting
int RunUpdateCheckCommand(std::ostream& out, std::ostream& err,
                          const TransferTimeouts& timeouts = {});
