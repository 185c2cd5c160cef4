#include "tools/update_client/site_server.h"

#include <httplib.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include "update_client/open_links.h"
#include "update_manager/product_table.h"

namespace {

constexpr const char* kHtml = "text/html";

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = line.find(separator, start);
    fields.push_back(
        line.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return fields;
    start = end + 1;
  }
}

std::string HtmlText(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c; break;
    }
  }
  return out;
}

bool Blank(const std::string& line) { return line.find_first_not_of(" \t") == std::string::npos; }

bool HasControlByte(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

// What follows the code in the product's comment.
std::string CommentTail(const ManifestEntry& p) {
  return " version=\"" + p.version + "\" link=\"" + p.link + "\" -->\n";
}

std::string Comment(const ManifestEntry& p) { return "<!-- " + p.code + CommentTail(p); }

// The products in the order of their comments: shorter codes first.
std::vector<ManifestEntry> InPageOrder(const Manifest& manifest) {
  std::vector<ManifestEntry> products = manifest.products;
  std::stable_sort(products.begin(), products.end(),
                   [](const auto& a, const auto& b) { return a.code.size() < b.code.size(); });
  return products;
}

const char kPageHead[] = "<html>\n<head><title>Velmora Update Site</title></head>\n<body>\n";

// Why one product cannot be served as listed, or nothing.
std::optional<std::string> FieldProblem(const ManifestEntry& entry) {
  if (entry.code.empty()) return "the code is empty";
  // Checked first: the messages below show the values, and a terminal must
  // not run what they hold.
  if (HasControlByte(entry.code) || HasControlByte(entry.version) || HasControlByte(entry.link)) {
    return std::string("a code, version or link cannot hold control bytes");
  }
  if (entry.code.front() == ' ' || entry.code.back() == ' ') {
    return "the code \"" + entry.code +
           "\" begins or ends with a blank, which no product's code does";
  }
  for (const std::string* field : {&entry.code, &entry.version, &entry.link}) {
    if (field->find("-->") != std::string::npos)
      return std::string("\"-->\" cannot be sent in a reply");
    if (field->find("<!--") != std::string::npos)
      return std::string("\"<!--\" cannot be sent in a reply");
  }
  if (entry.code.find('"') != std::string::npos)
    return std::string("a code cannot hold a double quote");
  if (entry.version.find('"') != std::string::npos || entry.link.find('"') != std::string::npos) {
    return std::string("a version or link cannot hold a double quote");
  }
  if (entry.version.find("link") != std::string::npos) {
    return "the version \"" + entry.version +
           "\" holds the word \"link\": Ordwin would read the link from there";
  }
  return std::nullopt;
}

// Why the products cannot be served together, or nothing: a client finds the
// first comment that begins with its code, so no code may begin another
// product's comment that comes before its own, and every comment must end
// within what clients read.
std::optional<std::string> PageProblem(const Manifest& manifest) {
  const std::vector<ManifestEntry> products = InPageOrder(manifest);
  for (const ManifestEntry& shorter : products) {
    const std::string comment = shorter.code + CommentTail(shorter);
    for (const ManifestEntry& longer : products) {
      if (longer.code.size() > shorter.code.size() &&
          comment.compare(0, longer.code.size(), longer.code) == 0) {
        return "line " + std::to_string(longer.line) + ": Ordwin would find the code \"" +
               longer.code + "\" in the comment of \"" + shorter.code + "\" (line " +
               std::to_string(shorter.line) + ")";
      }
    }
  }
  std::size_t end = sizeof kPageHead - 1;
  for (const ManifestEntry& p : products) {
    end += Comment(p).size();
    if (end - 1 > kClientReadLimit) {  // the comment's "-->" must lie within the first bytes
      return "line " + std::to_string(p.line) + ": the comment of \"" + p.code +
             "\" ends at byte " + std::to_string(end - 1) + " of the reply, beyond the " +
             std::to_string(kClientReadLimit) + " bytes Ordwin reads";
    }
  }
  return std::nullopt;
}

}  // namespace

bool ParseManifest(const std::string& text, Manifest& manifest, std::string& error) {
  Manifest parsed;
  std::set<std::string> codes;
  std::istringstream in(text);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (Blank(line) || line[line.find_first_not_of(" \t")] == '#') continue;
    auto fail = [&](const std::string& why) {
      error = "line " + std::to_string(number) + ": " + why;
      return false;
    };
    std::vector<std::string> fields = Split(line, '\t');
    if (fields.size() != 3) return fail("expected CODE, VERSION and LINK separated by tabs");
    ManifestEntry entry{fields[0], fields[1], fields[2], number};
    if (auto problem = FieldProblem(entry)) return fail(*problem);
    if (!codes.insert(entry.code).second)
      return fail("the code \"" + entry.code + "\" is listed twice");
    parsed.products.push_back(std::move(entry));
  }
  if (auto problem = PageProblem(parsed)) {
    error = *problem;
    return false;
  }
  manifest = std::move(parsed);
  return true;
}

std::vector<std::string> ManifestWarnings(const Manifest& manifest) {
  std::vector<std::string> warnings;
  std::set<std::string> listed;
  for (const ManifestEntry& p : manifest.products) listed.insert(p.code);
  CProductTable table;
  table.Rebuild();
  for (const ManifestEntry& p : manifest.products) {
    for (const CProductEntry& product : table.Entries()) {
      const std::string& code = product.code;
      if (code.size() < p.code.size() && p.code.compare(0, code.size(), code) == 0 &&
          !listed.count(code)) {
        warnings.push_back("line " + std::to_string(p.line) + ": \"" + p.code +
                           "\" is listed without \"" + code +
                           "\": Ordwin reads its version and link for \"" + code + "\" too");
      }
    }
    if (!p.link.empty() && !IsLaunchableLink(p.link)) {
      warnings.push_back(
          "line " + std::to_string(p.line) + ": Ordwin will not open the link of \"" + p.code +
          "\": it is not an http or https address with a host, or holds blanks or quotes");
    }
  }
  return warnings;
}

bool LoadManifest(const std::string& path, Manifest& manifest, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot be read";
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (!ParseManifest(text.str(), manifest, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

std::string RenderReplyPage(const Manifest& manifest) {
  std::string page = kPageHead;
  for (const ManifestEntry& p : InPageOrder(manifest)) page += Comment(p);
  page +=
      "<h1>Velmora Update Site</h1>\n<p>Latest versions of the Velmora products.</p>\n"
      "</body>\n</html>\n";
  return page;
}

std::string RenderProductPage(const Manifest& manifest) {
  std::string page =
      "<html>\n<head><title>Velmora products</title></head>\n<body>\n"
      "<h1>The Velmora product line</h1>\n<table>\n"
      "<tr><th>Product</th><th>Latest version</th><th>Download</th></tr>\n";
  for (const ManifestEntry& p : manifest.products) {
    page += "<tr><td>" + HtmlText(p.code) + "</td><td>" + HtmlText(p.version) +
            "</td><td><a href=\"" + HtmlText(p.link) + "\">" + HtmlText(p.link) +
            "</a></td></tr>\n";
  }
  page += "</table>\n</body>\n</html>\n";
  return page;
}

std::string NotFoundPage() {
  return "<html>\n<head><title>Not Found</title></head>\n<body>\n<h1>Not Found</h1>\n"
         "<p>The update site does not know this request.</p>\n</body>\n</html>\n";
}

void InstallUpdateSiteRoutes(httplib::Server& server, const Manifest& manifest) {
  const std::string page = RenderReplyPage(manifest);
  server.Get("/index3.php", [page](const httplib::Request& request, httplib::Response& response) {
    if (request.get_param_value("ACTION") == "163") {
      response.set_content(page, kHtml);
    } else {
      response.status = 404;
      response.set_content(NotFoundPage(), kHtml);
    }
  });
  const std::string products = RenderProductPage(manifest);
  server.Get("/products.htm", [products](const httplib::Request&, httplib::Response& response) {
    response.set_content(products, kHtml);
  });
  // Any other path or method: 404 with a page, never an empty body.
  server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
    if (response.body.empty()) response.set_content(NotFoundPage(), kHtml);
  });
}
