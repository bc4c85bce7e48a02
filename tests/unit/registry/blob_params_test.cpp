// The argument text of 'B' and 'N' split into its six fields, and what the store
// does with a selector that no command letter gives.
#include "handlers/storage_manager.h"
#include "registry/blob_fields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> fieldsOf(const BlobFields& f) {
  return {f.hive, f.keyPath, f.valueName, f.valueType, f.valueData, f.checkBlob};
}

TEST(BlobParams, SixFieldsTheLastTakesTheRest) {
  Storage_Manager_No_console manager;
  LONG error = 0;
  BlobFields f;
  ASSERT_TRUE(manager.getParams(&error, "C,Software\\A B,Name,S,AAAA,QUJD", &f));
  EXPECT_EQ(fieldsOf(f),
            (std::vector<std::string>{"C", "Software\\A B", "Name", "S", "AAAA", "QUJD"}));
  ASSERT_TRUE(manager.getParams(&error, ",,,,,", &f));
  EXPECT_EQ(fieldsOf(f), std::vector<std::string>(6));
  ASSERT_TRUE(manager.getParams(&error, " C , k ,v,B,AA\n,x,y,\r\n", &f));
  EXPECT_EQ(fieldsOf(f), (std::vector<std::string>{" C ", " k ", "v", "B", "AA\n", "x,y,\r\n"}));
  EXPECT_EQ(error, 0);
}

TEST(BlobParams, MissingCommasAre7020) {
  Storage_Manager_No_console manager;
  for (const char* text : {"", "C", "C,k,v,B,AAAA", "C,k,v,B"}) {
    LONG error = 0;
    BlobFields f;
    EXPECT_FALSE(manager.getParams(&error, text, &f)) << text;
    EXPECT_EQ(error, 7020) << text;
  }
}

TEST(BlobStore, AnUnknownSelectorIs7033AndWritesNothing) {
  Storage_Manager_No_console manager;
  LONG error = 0;
  EXPECT_FALSE(manager.storeBlob(&error, "C,Software\\PwSelector,V,B,AAAA,AAAA", 2));
  EXPECT_EQ(error, 7033);
  HKEY key;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\PwSelector", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
}

}  // namespace
