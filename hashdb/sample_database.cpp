#include "hashdb/sample_database.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "hashdb/hdb_format.h"

namespace {

// Known-good reference sets, then the known-bad ones examiners alert on.
constexpr std::array<const char*, 24> kBaseNames = {
    "Known Good - Operating System Files",
    "Known Good - Office Suite 2019",
    "Known Good - Browser Caches (Default Profiles)",
    "Known Good - Printer Drivers",
    "Known Good - Games and Demos",
    "Known Good - Developer Tools",
    "Known Good - Antivirus Definitions",
    "Known Good - Media Codecs",
    "Known Good - Fonts",
    "Known Good - Stock Photo Libraries",
    "Ignorable - Zero-Length and Padding Files",
    "Ignorable - Icons and Cursors",
    "Fälle München – Beweismittel 2021",
    "Œuvres d'art volées — catalogue",
    "Case 2023-0147 Seized Laptop",
    "Case 2024-0032 Evidence USB Drive",
    "Known Bad - Malware Samples",
    "Known Bad - Password Crackers",
    "Known Bad - Steganography Tools",
    "Known Bad - Keyloggers",
    "Known Bad - Ransomware Droppers",
    "Known Bad - Contraband Images (Task Force)",
    "Known Bad - Counterfeit Document Templates",
    "Known Bad - Exfiltration Scripts",
};
constexpr std::uint32_t kFirstKnownBad = 16;

// The names are written here in UTF-8 for legibility and stored in Windows-1252.
std::string ToCp1252(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
      const unsigned code = (c & 0x1F) << 6 | (static_cast<unsigned char>(utf8[++i]) & 0x3F);
      out += static_cast<char>(code == 0x152 ? 0x8C : code);  // Œ, else Latin-1
    } else if ((c & 0xF0) == 0xE0 && i + 2 < utf8.size()) {
      const unsigned code = (c & 0x0F) << 12 |
                            (static_cast<unsigned char>(utf8[i + 1]) & 0x3F) << 6 |
                            (static_cast<unsigned char>(utf8[i + 2]) & 0x3F);
      i += 2;
      out += static_cast<char>(code == 0x2013 ? 0x96 : code == 0x2014 ? 0x97 : '?');
    }
  }
  return out;
}

// splitmix64: fast, and the same seed gives the same tail everywhere.
struct Random {
  std::uint64_t state;
  std::uint64_t Next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
};

}  // namespace

std::string SampleSetName(std::uint32_t index) {
  const std::string base = ToCp1252(kBaseNames[index % kBaseNames.size()]);
  const std::uint32_t round = index / kBaseNames.size();
  if (round == 0) return base;
  return base + " - batch " + std::to_string(round + 1);
}

bool SampleSetAlert(std::uint32_t index) { return index % kBaseNames.size() >= kFirstKnownBad; }

FileStatus WriteSampleDatabase(const std::string& path, const SampleOptions& options,
                               FileSystem& files) {
  FileError error;
  std::unique_ptr<File> file = files.CreateReplacementFor(path, kNewFileMode, error);
  if (!file) return error;
  Random random{options.seed};

  HashDatabaseHeader header;
  const std::uint64_t stamp = random.Next();
  const char magic[8] = {'V', 'L', 'H', 'D', 'B', 0, 2, 0};
  std::copy(magic, magic + 8, header.bytes.begin());
  for (int b = 0; b < 8; ++b) header.bytes[8 + b] = static_cast<std::uint8_t>(stamp >> (8 * b));
  header.set_hash_set_count(options.sets);
  FileStatus status = file->Write(header.bytes.data(), header.bytes.size());

  // Records in blocks, so a million sets do not need a million records in memory.
  std::vector<HashSetRecord> block;
  for (std::uint32_t i = 0; i < options.sets && !status; ++i) {
    HashSetRecord record;
    if (i % 7 == 3) record.set_name(SampleSetName(i) + " - superseded draft");  // leftover bytes
    record.set_name(SampleSetName(i));
    record.set_alert(SampleSetAlert(i) ? 1 : 0);
    block.push_back(record);
    if (block.size() == 4096 || i + 1 == options.sets) {
      status = file->Write(block.data(), block.size() * kRecordSize);
      block.clear();
    }
  }

  std::vector<std::uint64_t> chunk(1 << 17);  // 1 MiB of hash bytes at a time
  std::uint64_t left = options.tail_bytes;
  while (left > 0 && !status) {
    for (auto& word : chunk) word = random.Next();
    const std::size_t size =
        static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size() * 8));
    status = file->Write(chunk.data(), size);
    left -= size;
  }

  if (!status) status = file->Flush();
  if (!status) status = files.ReplaceWith(*file, path);
  if (status) {
    files.Discard(std::move(file));
    return status;
  }
  file->Close();
  return std::nullopt;
}
