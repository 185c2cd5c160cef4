#pragma once

#include <iosfwd>

#include "update_client/update_session.h"

// `ordwin --check`: the network part of a check for updates without a window.
// Asks the configured update site for the latest versions, applies the reply to
// a fresh product table and prints the nine entries in table order, one line
// each: code, tab, latest version, tab, download link (a tab, line break or
// backslash inside a value is written \t, \n, \r or \\ so every entry stays on
// its line). Never asks a question and launches nothing. When the site could
// not be reached or did not answer with a 2xx status, one line on err says why;
// the exit code is 0 all the same (an empty reply is a valid reply). Returns 1
// only when out cannot be written.
int RunUpdateCheckCommand(std::ostream& out, std::ostream& err,
                          const TransferTimeouts& timeouts = {});
