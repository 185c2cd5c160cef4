// The reference site's manifest reader on arbitrary text. A refused manifest
// comes with a reason and changes nothing. An accepted one is rendered to the
// reply page the site serves, and that page, read the way Ordwin reads it (its
// first 4095 bytes), gives every listed product exactly its version and link:
// in tables of the listed codes (nine at a time, as many as a table holds),
// and in Ordwin's own table, where a product the site does not list changes
// only when the site warned that a longer code it lists begins with it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/update_client/site_server.h"
#include "update_client/update_site.h"
#include "update_manager/product_table.h"

static_assert(kClientReadLimit == kMaxReplyLength,
              "the site fits its comments into what Ordwin reads");

namespace {

// What a field held before: no reply value holds a double quote.
const std::string kBefore = "\"before";

void Require(bool holds, const char* what, const std::string& code = std::string()) {
  if (holds) return;
  std::fprintf(stderr, "site_manifest_fuzzer: %s%s%s\n", what, code.empty() ? "" : ": code ",
               code.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Manifest manifest;
  manifest.products.push_back({"kept", "", "", 0});
  std::string error;
  if (!ParseManifest(text, manifest, error)) {
    Require(!error.empty(), "a manifest refused without a reason");
    Require(manifest.products.size() == 1 && manifest.products[0].code == "kept",
            "a refused manifest changed what was read before");
    return 0;
  }
  Require(error.empty(), "an accepted manifest with an error");

  const std::string page = RenderReplyPage(manifest);
  const std::string_view read = std::string_view(page).substr(0, kClientReadLimit);
  const std::vector<ManifestEntry>& products = manifest.products;

  for (std::size_t first = 0; first < products.size(); first += CProductTable::kEntryCount) {
    CProductTable table;
    const std::size_t count =
        std::min<std::size_t>(CProductTable::kEntryCount, products.size() - first);
    for (std::size_t i = 0; i < count; ++i) {
      table[static_cast<int>(i)].code = products[first + i].code;
      table[static_cast<int>(i)].latest_version = kBefore;
      table[static_cast<int>(i)].download_link = kBefore;
    }
    ApplyVersionReply(read, table);
    for (std::size_t i = 0; i < count; ++i) {
      const ManifestEntry& listed = products[first + i];
      const CProductEntry& entry = table[static_cast<int>(i)];
      Require(entry.latest_version == listed.version, "a listed product reads another version",
              listed.code);
      Require(entry.download_link == listed.link, "a listed product reads another link",
              listed.code);
    }
  }

  // Ordwin's own table.
  CProductTable ordwin;
  ordwin.Rebuild();
  for (CProductEntry& entry : ordwin.Entries()) {
    entry.latest_version = kBefore;
    entry.download_link = kBefore;
  }
  ApplyVersionReply(read, ordwin);
  const std::vector<std::string> warnings = ManifestWarnings(manifest);
  for (const CProductEntry& entry : ordwin.Entries()) {
    const ManifestEntry* listed = nullptr;
    for (const ManifestEntry& p : products) {
      if (p.code == entry.code) listed = &p;
    }
    if (listed) {
      Require(entry.latest_version == listed->version && entry.download_link == listed->link,
              "one of Ordwin's products reads other than listed", entry.code);
    } else if (entry.latest_version != kBefore || entry.download_link != kBefore) {
      bool warned = false;
      for (const std::string& warning : warnings) {
        warned =
            warned || warning.find("is listed without \"" + entry.code + "\"") != std::string::npos;
      }
      Require(warned, "one of Ordwin's products not listed changed without a warning", entry.code);
    }
  }
  return 0;
}
