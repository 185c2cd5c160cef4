// ApplyVersionReply on arbitrary replies. The reply sits in a block of its own
// whose bytes past the 4095th are poisoned, so any look beyond what a client
// reads is caught; afterwards every version and link is either what it was or
// a quote-free piece of the reply text (the first 4095 bytes, up to a NUL).
#include <sanitizer/asan_interface.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "update_client/update_site.h"
#include "update_manager/product_table.h"

namespace {

void Require(bool holds, const char* what, int entry) {
  if (holds) return;
  std::fprintf(stderr, "version_reply_fuzzer: entry %d: %s\n", entry, what);
  std::abort();
}

// What a field held before: a double quote in it means no reply value can equal it.
std::string Before(const char* field, int entry) {
  return std::string("\"before ") + field + " " + std::to_string(entry);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::unique_ptr<char[]> block(new char[size ? size : 1]);
  if (size) std::memcpy(block.get(), data, size);
  const std::size_t readable = size < kMaxReplyLength ? size : kMaxReplyLength;
  ASAN_POISON_MEMORY_REGION(block.get() + readable, size - readable);

  CProductTable table;
  table.Rebuild();
  CProductTable rebuilt;
  rebuilt.Rebuild();
  for (int i = 0; i < CProductTable::kEntryCount; ++i) {
    table[i].latest_version = Before("version", i);
    table[i].download_link = Before("link", i);
  }
  const bool latest_known = ApplyVersionReply(std::string_view(block.get(), size), table);
  ASAN_UNPOISON_MEMORY_REGION(block.get() + readable, size - readable);

  const std::string_view full(block.get(), readable);
  const std::string_view text = full.substr(0, full.find('\0'));
  Require(latest_known, "the reply did not make the latest versions known", -1);
  for (int i = 0; i < CProductTable::kEntryCount; ++i) {
    const CProductEntry& entry = table[i];
    Require(entry.code == rebuilt[i].code && entry.list_index == rebuilt[i].list_index &&
                entry.display_name_id == rebuilt[i].display_name_id,
            "a field other than version and link changed", i);
    for (const auto& [value, field] :
         {std::pair{&entry.latest_version, "version"}, std::pair{&entry.download_link, "link"}}) {
      if (*value == Before(field, i)) continue;
      Require(value->find('"') == std::string::npos, "a value holds a double quote", i);
      Require(text.find(*value) != std::string_view::npos, "a value that is not in the reply text",
              i);
    }
    // The link is looked for only once the version item was found and stored.
    Require(
        entry.download_link == Before("link", i) || entry.latest_version != Before("version", i),
        "a link taken without a version", i);
  }
  return 0;
}
