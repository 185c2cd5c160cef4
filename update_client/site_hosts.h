#pragma once

#include <string>

// The hosts Ordwin talks to, from Ordwin.ini, section "Ordwin": a host name or
// address, optionally with ":port".
inline constexpr const char* kDefaultUpdateSiteHost = "updates.velmora.com";
inline constexpr const char* kDefaultMakerWebHost = "www.velmora.com";

inline constexpr const char* kUpdateSiteHostKey = "UpdateSiteHost";
inline constexpr const char* kMakerWebHostKey = "MakerWebHost";

std::string UpdateSiteHost();  // key UpdateSiteHost
std::string MakerWebHost();    // key MakerWebHost

// The maker's product page: "http://" + MakerWebHost() + "/products.htm".
std::string ProductPageAddress();
