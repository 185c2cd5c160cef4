#pragma once

#include <string>
#include <vector>

namespace httplib {
class Server;
}

// The reference update site: what it reports comes from a manifest file, one
// product a line, the fields separated by tabs (codes may hold blanks):
//
//   # comment
//   CODE<TAB>VERSION<TAB>LINK
//
// Blank lines and lines starting with '#' are skipped.
struct ManifestEntry {
  std::string code;
  std::string version;
  std::string link;
};

struct Manifest {
  std::vector<ManifestEntry> products;
};

// Reads a manifest; false with a message naming the line when it is malformed
// (not three fields, an empty code, a code twice, a value the reply format
// cannot carry: a double quote in a version or link, or "-->" anywhere).
bool ParseManifest(const std::string& text, Manifest& manifest, std::string& error);
bool LoadManifest(const std::string& path, Manifest& manifest, std::string& error);

// The reply page of the latest-versions action: one comment per product,
// <!-- CODE version="..." link="..." -->, inside ordinary HTML. The comments
// come first so they fit in the part of the page clients read; a code that
// begins with another code is written after it, so each product's search finds
// its own comment first.
std::string RenderReplyPage(const Manifest& manifest);

// The maker's product page (/products.htm): the products with their versions
// and download links, so the demo's product-page link has a page to open.
std::string RenderProductPage(const Manifest& manifest);

// The page of every other request (status 404).
std::string NotFoundPage();

// How much of a reply clients read.
inline constexpr std::size_t kClientReadLimit = 4095;

// Answers GET /index3.php?ACTION=163 with the reply page and GET /products.htm
// with the product page; everything else gets 404 and an HTML body.
void InstallUpdateSiteRoutes(httplib::Server& server, const Manifest& manifest);
