#include "tools/update_client/site_server.h"

#include <httplib.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

namespace {

constexpr const char* kHtml = "text/html";

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = line.find(separator, start);
    fields.push_back(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
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

bool Blank(const std::string& line) {
  return line.find_first_not_of(" \t") == std::string::npos;
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
    ManifestEntry entry{fields[0], fields[1], fields[2]};
    if (entry.code.empty()) return fail("the code is empty");
    if (!codes.insert(entry.code).second) return fail("the code \"" + entry.code + "\" is listed twice");
    for (const std::string* field : {&entry.code, &entry.version, &entry.link}) {
      if (field->find("-->") != std::string::npos) return fail("\"-->\" cannot be sent in a reply");
    }
    if (entry.version.find('"') != std::string::npos || entry.link.find('"') != std::string::npos) {
      return fail("a version or link cannot hold a double quote");
    }
    parsed.products.push_back(std::move(entry));
  }
  manifest = std::move(parsed);
  return true;
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
  std::vector<ManifestEntry> products = manifest.products;
  // A shorter code is a prefix candidate of a longer one: write shorter first.
  std::stable_sort(products.begin(), products.end(), [](const auto& a, const auto& b) {
    return a.code.size() < b.code.size();
  });
  std::string page = "<html>\n<head><title>Velmora Update Site</title></head>\n<body>\n";
  for (const ManifestEntry& p : products) {
    page += "<!-- " + p.code + " version=\"" + p.version + "\" link=\"" + p.link + "\" -->\n";
  }
  page += "<h1>Velmora Update Site</h1>\n<p>Latest versions of the Velmora products.</p>\n"
          "</body>\n</html>\n";
  return page;
}

std::string RenderProductPage(const Manifest& manifest) {
  std::string page =
      "<html>\n<head><title>Velmora products</title></head>\n<body>\n"
      "<h1>The Velmora product line</h1>\n<table>\n"
      "<tr><th>Product</th><th>Latest version</th><th>Download</th></tr>\n";
  for (const ManifestEntry& p : manifest.products) {
    page += "<tr><td>" + HtmlText(p.code) + "</td><td>" + HtmlText(p.version) + "</td><td><a href=\"" +
            HtmlText(p.link) + "\">" + HtmlText(p.link) + "</a></td></tr>\n";
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
