#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "velmora_version.h"

// Ordwin's own version: shown in the About box and compared by the self-update check.
inline constexpr const char* kOrdwinOwnVersion = kOrdwinVersion;

// One product Ordwin knows. Entry 0 of the table is Ordwin itself.
class CProductEntry {
 public:
  virtual ~CProductEntry() = default;

  std::string code;                   // key of the product's section in the update-site reply
  std::int32_t list_index = -1;       // item index in the product list; -1 while not listed
  std::int32_t display_name_id = -1;  // Ordwin string id of the "Program" text; -1 for none
  std::string latest_version;         // as the update site reported it; empty until a check
  std::string download_link;          // as the update site reported it; empty until a check
};

// The fixed table of nine entries. A new table holds nine new entries (empty
// texts, list index -1); the first Rebuild gives them their codes and names.
class CProductTable {
 public:
  static constexpr int kEntryCount = 9;

  virtual ~CProductTable() = default;

  // Brings the table into its listed state: codes and display name ids set,
  // entries 1 to 8 marked to be listed (the list refill replaces the marker with
  // the real item index, here the item index the entry will get), entry 0 not
  // listed and its latest version back to kOrdwinOwnVersion. What a check
  // learned about entries 1 to 8, and entry 0's link, stay.
  void Rebuild();

  // The first entry whose list index equals n, or nullptr.
  CProductEntry* FindByListIndex(int n);
  const CProductEntry* FindByListIndex(int n) const;

  CProductEntry& operator[](int i) { return entries_[static_cast<std::size_t>(i)]; }
  const CProductEntry& operator[](int i) const { return entries_[static_cast<std::size_t>(i)]; }

  std::array<CProductEntry, kEntryCount>& Entries() { return entries_; }
  const std::array<CProductEntry, kEntryCount>& Entries() const { return entries_; }

 private:
  std::array<CProductEntry, kEntryCount> entries_;
};

// The program's one product table, alive for the whole run.
CProductTable& TheProductTable();
