#include "update_manager/product_table.h"

#include "update_manager/ordwin_strings.h"

namespace {

struct Product {
  const char* code;
  std::int32_t display_name_id;
};

constexpr std::array<Product, CProductTable::kEntryCount> kProducts = {{
    {"OW", -1},
    {"KVSL", IDS_PRODUCT_KVSL},
    {"Pellor", IDS_PRODUCT_PELLOR},
    {"Pellor Marlo", IDS_PRODUCT_PELLOR_MARLO},
    {"QEL", IDS_PRODUCT_QEL},
    {"WZ", IDS_PRODUCT_WZ},
    {"TINDLE", IDS_PRODUCT_PELLOR_TINDLE},
    {"Pellor Ashby", IDS_PRODUCT_PELLOR_ASHBY},
    {"Nerith", IDS_PRODUCT_NERITH},
}};

}  // namespace

void CProductTable::Rebuild() {
  for (int i = 0; i < kEntryCount; ++i) {
    CProductEntry& entry = (*this)[i];
    entry.code = kProducts[static_cast<std::size_t>(i)].code;
    entry.display_name_id = kProducts[static_cast<std::size_t>(i)].display_name_id;
    entry.list_index = i == 0 ? -1 : i - 1;
  }
  entries_[0].latest_version = kOrdwinOwnVersion;
}

CProductEntry* CProductTable::FindByListIndex(int n) {
  for (CProductEntry& entry : entries_) {
    if (entry.list_index == n) return &entry;
  }
  return nullptr;
}

const CProductEntry* CProductTable::FindByListIndex(int n) const {
  return const_cast<CProductTable*>(this)->FindByListIndex(n);
}

CProductTable& TheProductTable() {
  static CProductTable table;
  return table;
}
