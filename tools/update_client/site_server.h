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
  int line = 0;  // where the manifest lists it
};

struct Manifest {
  std::vector<ManifestEntry> products;
};

// Reads a manifest; false with a message naming the line and the reason when it
// is malformed or the site could not serve it so that Ordwin reads back
// exactly each product's version and link: not three fields, an empty code, a
// code with blanks around it or listed twice, a control byte, a double quote,
// "<!--" or "-->" anywhere, a version holding the word "link" (Ordwin would
// take the link from there), a code that Ordwin would find in the comment of
// a shorter code, or a comment that ends beyond the part of the reply
// Ordwin reads.
bool ParseManifest(const std::string& text, Manifest& manifest, std::string& error);
bool LoadManifest(const std::string& path, Manifest& manifest, std::string& error);

// What the site serves as listed but Ordwin will not use as meant, one line
// each ("line N: ..."): a longer code listed without a shorter code of
// Ordwin's that it begins with (Ordwin reads the longer one's version and link
// for that product too), and a link Ordwin will not hand to the desktop.
std::vector<std::string> ManifestWarnings(const Manifest& manifest);

// The reply page of the latest-versions action: one comment per product,
// <!-- CODE version="..." link="..." -->, inside ordinary HTML. The comments
// come first so they fit in the part of the page clients read, shorter codes
// before longer ones: a client finds the first comment that begins with its
// code, so a code that begins with another code is written after it.
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
