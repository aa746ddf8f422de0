// The handler's database operations, on packages made by the fixture writer.
#include "msidb/msi_handler.h"
#include "msidb/query.h"

#include <gtest/gtest.h>

#include "fixtures/package_writer.h"
#include "support/test_support.h"

namespace {

using fixtures::Int;
using fixtures::Null;
using fixtures::Str;

class HandlerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::PackageDescription package;
    fixtures::Table property = fixtures::StandardTable("Property");
    property.rows = {{Str("Short"), Str(std::string(255, 's'))},
                     {Str("Edge"), Str(std::string(256, 'e'))},
                     {Str("Long"), Str(std::string(3000, 'l'))}};
    fixtures::Table registry = fixtures::StandardTable("Registry");
    registry.rows = {{Str("r1"), Null(), Str("Key"), Null(), Null(), Str("C")}};
    fixtures::Table binary{"Binary", {{"Name", "s72", true}, {"Data", "V0"}}, {}};
    binary.rows = {{Str("empty"), Null()}, {Str("blob"), Str(blob_)}};
    package.tables = {property, registry, binary};
    fixtures::WritePackageFile(path_, package);
  }

  test_support::TempDir dir_;
  std::string path_ = dir_ / "handler.msi";
  std::string blob_ = std::string(100000, '\x01') + "end";
};

TEST_F(HandlerTest, OpenPackageKeepsThePathWhetherOrNotItOpens) {
  TMsiHandler missing;
  EXPECT_FALSE(missing.OpenPackage(dir_ / "absent.msi"));
  EXPECT_EQ(missing.package_path(), dir_ / "absent.msi");

  test_support::WriteFile(dir_ / "text.msi", "not a package at all");
  TMsiHandler text;
  EXPECT_FALSE(text.OpenPackage(dir_ / "text.msi"));

  TMsiHandler good;
  EXPECT_TRUE(good.OpenPackage(path_));
  EXPECT_EQ(good.package_path(), path_);
}

TEST_F(HandlerTest, FieldStringReturnsValuesWhole) {
  TMsiHandler handler;
  ASSERT_TRUE(handler.OpenPackage(path_));
  ASSERT_TRUE(handler.Query("select * from `Property`", 0));
  std::vector<std::size_t> lengths;
  while (handler.FetchRow()) {
    lengths.push_back(handler.FieldString(2).size());
    EXPECT_EQ(handler.FieldString(7), "");  // past the last field
  }
  EXPECT_EQ(lengths, (std::vector<std::size_t>{255, 256, 3000}));
}

TEST_F(HandlerTest, NullFieldsReadAsEmptyAndAsTheNullInteger) {
  TMsiHandler handler;
  ASSERT_TRUE(handler.OpenPackage(path_));
  ASSERT_TRUE(handler.Query("select * from `Registry`", 0));
  ASSERT_TRUE(handler.FetchRow());
  EXPECT_EQ(handler.FieldInteger(2), MSI_NULL_INTEGER);
  EXPECT_EQ(handler.FieldString(4), "");
  EXPECT_EQ(handler.FieldString(3), "Key");
  EXPECT_FALSE(handler.FetchRow());
}

TEST_F(HandlerTest, AQueryOfItsOwnRunsInsideTheHandlersQuery) {
  TMsiHandler handler;
  ASSERT_TRUE(handler.OpenPackage(path_));
  ASSERT_TRUE(handler.Query("select * from `Binary`", 0));
  ASSERT_TRUE(handler.FetchRow());
  {
    Query inner(handler.database(), "select * from `Binary` where Name=?", "blob");
    ASSERT_TRUE(inner.ok());
    ASSERT_TRUE(inner.Next());
    EXPECT_EQ(inner.Text(1), "blob");
    EXPECT_EQ(inner.DataSize(2), blob_.size());
    EXPECT_FALSE(inner.Next());
    EXPECT_FALSE(Query(handler.database(), "select * from `NoSuchTable`").Next());
  }
  EXPECT_TRUE(handler.FetchRow());
  EXPECT_FALSE(handler.FetchRow());
}

TEST_F(HandlerTest, QueryLoopsFollowOneAnotherAndAMissingTableIsNoRows) {
  TMsiHandler handler;
  ASSERT_TRUE(handler.OpenPackage(path_));
  for (int round = 0; round < 3; ++round) {
    int rows = 0;
    if (handler.Query("select * from `Property`", 0)) {
      while (handler.FetchRow()) ++rows;
    }
    EXPECT_EQ(rows, 3);
    EXPECT_FALSE(handler.Query("select * from `Media`", 0));
    EXPECT_FALSE(handler.FetchRow());
  }
}

TEST(Handler, DestroyingAnUnopenedHandlerIsHarmless) {
  auto handler = std::make_unique<TMsiHandler>();
  handler->CloseHandle(0);
  handler->CloseHandle(12345);
  handler.reset();
  SUCCEED();
}

}  // namespace
