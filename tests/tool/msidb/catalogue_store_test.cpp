#include "msidb/catalogue_store.h"

#include <gtest/gtest.h>

TEST(CatalogueStore, HashedColumnsFindTheFirstEqualKeyCaseSensitively) {
  CatalogueStore store;
  TextColumn& keys = store[kDirectoryKey];
  for (int i = 0; i < 1000; ++i) keys.Append("key" + std::to_string(i));
  keys.Append("Dup");
  keys.Append("dup");
  keys.Append("Dup");
  EXPECT_EQ(keys.Count(), 1003u);
  EXPECT_EQ(keys.FindFirst("key999"), 999u);
  EXPECT_EQ(keys.FindFirst("Dup"), 1000u);
  EXPECT_EQ(keys.FindFirst("dup"), 1001u);
  EXPECT_EQ(keys.FindFirst("DUP"), std::nullopt);
  EXPECT_EQ(keys.FindFirst(""), std::nullopt);
  // Appending many more texts must not disturb the index.
  for (int i = 0; i < 100000; ++i) keys.Append(std::string(i % 40, 'z'));
  EXPECT_EQ(keys.At(1002), "Dup");
  EXPECT_EQ(keys.FindFirst("key5"), 5u);
  EXPECT_EQ(keys.FindFirst(""), 1003u);
}

TEST(CatalogueStore, PlainColumnsKeepOrderAndHaveNoIndex) {
  CatalogueStore store;
  store[kFileName].Append("b");
  store[kFileName].Append("a");
  EXPECT_EQ(store[kFileName].At(0), "b");
  EXPECT_EQ(store[kFileName].FindFirst("a"), std::nullopt);
  EXPECT_EQ(store[12].Count(), 0u);
}
