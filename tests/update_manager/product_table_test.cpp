#include <gtest/gtest.h>

#include "update_manager/ordwin_strings.h"
#include "update_manager/product_table.h"

namespace {

TEST(ProductTable, NewEntriesAreEmptyUntilTheFirstRebuild) {
  CProductTable table;
  for (const CProductEntry& entry : table.Entries()) {
    EXPECT_EQ(entry.code, "");
    EXPECT_EQ(entry.list_index, -1);
    EXPECT_EQ(entry.latest_version, "");
    EXPECT_EQ(entry.download_link, "");
  }
  EXPECT_EQ(table.FindByListIndex(0), nullptr);
}

TEST(ProductTable, RebuildGivesTheNineProductsInOrder) {
  struct Expected {
    const char* code;
    int display_name_id;
    const char* display_text;
  };
  const Expected expected[CProductTable::kEntryCount] = {
      {"OW", -1, ""},
      {"KVSL", 137, "KVSL"},
      {"Pellor", 136, "Pellor"},
      {"Pellor Marlo", 192, "Pellor Marlo"},
      {"QEL", 138, "QEL"},
      {"WZ", 139, "WZ"},
      {"TINDLE", 188, "Pellor Tindle"},
      {"Pellor Ashby", 183, "Pellor Ashby"},
      {"Nerith", 184, "Nerith"},
  };
  CProductTable table;
  table.Rebuild();
  for (int i = 0; i < CProductTable::kEntryCount; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(table[i].code, expected[i].code);
    EXPECT_EQ(table[i].display_name_id, expected[i].display_name_id);
    if (expected[i].display_name_id >= 0) {
      EXPECT_EQ(OrdwinString(static_cast<unsigned>(table[i].display_name_id)),
                expected[i].display_text);
    }
    EXPECT_EQ(table[i].list_index, i == 0 ? -1 : i - 1) << "entry 0 is never listed";
    EXPECT_EQ(table[i].latest_version, i == 0 ? kOrdwinOwnVersion : "");
  }
  EXPECT_STREQ(kOrdwinOwnVersion, "1.1");
}

TEST(ProductTable, RebuildKeepsWhatACheckLearnedButResetsOwnVersion) {
  CProductTable table;
  table.Rebuild();
  for (CProductEntry& entry : table.Entries()) {
    entry.latest_version = "v-" + entry.code;
    entry.download_link = "http://l/" + entry.code;
    entry.list_index = 42;
  }
  table.Rebuild();
  EXPECT_EQ(table[0].latest_version, "1.1");
  EXPECT_EQ(table[0].download_link, "http://l/OW");
  for (int i = 1; i < CProductTable::kEntryCount; ++i) {
    EXPECT_EQ(table[i].latest_version, "v-" + table[i].code);
    EXPECT_EQ(table[i].download_link, "http://l/" + table[i].code);
    EXPECT_GE(table[i].list_index, 0);
  }
}

TEST(ProductTable, FindByListIndexFindsTheListedEntry) {
  CProductTable table;
  table.Rebuild();
  // The list may store other item indices than the marker Rebuild left.
  for (int i = 1; i < CProductTable::kEntryCount; ++i) table[i].list_index = 8 - i;
  EXPECT_EQ(table.FindByListIndex(0), &table[8]);
  EXPECT_EQ(table.FindByListIndex(7), &table[1]);
  EXPECT_EQ(table.FindByListIndex(8), nullptr);
  EXPECT_EQ(table.FindByListIndex(1000), nullptr);
}

}  // namespace
