#pragma once

#include <cstddef>
#include <string>

// The longest link handed to the desktop.
inline constexpr std::size_t kMaxLinkLength = 2048;

// Whether a link may be handed to the desktop: an absolute http:// or https://
// URL (the scheme in any letter case) with a host, as libcurl's URL parser
// reads it and exactly as written (no percent escapes in the host), of at most
// kMaxLinkLength bytes, written with no blank, no control byte and none of the
// characters that quote or delimit an address in text (" < > ` \). Links come
// from the network: anything else could make the desktop open a file, run a
// handler or show the user another address than the one a browser would go to.
bool IsLaunchableLink(const std::string& link);

// Whether a host setting (UpdateSiteHost, MakerWebHost) names a host,
// optionally with a port of 1 to 65535, and nothing else: no path, no user
// name, no blank or control byte.
bool IsValidHostSetting(const std::string& host);

// Hands a download link, exactly as the update site reported it, to the desktop
// (which opens it in the web browser) and returns at once, when it is
// launchable; anything else (an empty link, a file or program path) is not
// started. Returns whether a process was started; the callers carry on either
// way.
bool OpenDownloadLink(const std::string& link);

// Asks the desktop to open a page (the maker's product page), the same way.
bool OpenPage(const std::string& address);
