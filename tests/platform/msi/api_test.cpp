// The installer interface's contract: handles, statuses, field reads in the
// Windows buffer protocol, stream reads in pieces, and the SQL it accepts.
#include <gtest/gtest.h>

#include "api_helpers.h"
#include "fixtures/package_writer.h"
#include "support/test_support.h"
#include "test_packages.h"

namespace {

class MsiApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_ / "things.msi";
    fixtures::WritePackageFile(path_, msi_test::ThingsPackage());
    ASSERT_EQ(MsiOpenDatabaseA(path_.c_str(), MSIDBOPEN_READONLY, database_.out()), ERROR_SUCCESS);
  }

  // The first row of `sql` (executed without parameters).
  PMSIHANDLE FirstRow(const char* sql) {
    PMSIHANDLE view;
    EXPECT_EQ(MsiDatabaseOpenViewA(database_.get(), sql, view.out()), ERROR_SUCCESS) << sql;
    EXPECT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
    PMSIHANDLE record;
    EXPECT_EQ(MsiViewFetch(view.get(), record.out()), ERROR_SUCCESS);
    return record;
  }

  std::vector<std::vector<std::string>> Rows(const std::string& sql, UINT fields,
                                             MSIHANDLE parameters = 0) {
    auto rows = msi_test::QueryRows(database_.get(), sql, fields, parameters);
    EXPECT_TRUE(rows) << sql;
    return rows.value_or(std::vector<std::vector<std::string>>{});
  }

  test_support::TempDir dir_;
  std::string path_;
  PMSIHANDLE database_;
};

TEST(MsiHandles, ClosingNothingOrAnUnknownHandleIsHarmless) {
  EXPECT_EQ(MsiCloseHandle(0), ERROR_INVALID_HANDLE);
  EXPECT_EQ(MsiCloseHandle(0xDEADBEEF), ERROR_INVALID_HANDLE);
  const MSIHANDLE record = MsiCreateRecord(2);
  ASSERT_NE(record, 0u);
  EXPECT_EQ(MsiCloseHandle(record), ERROR_SUCCESS);
  EXPECT_EQ(MsiCloseHandle(record), ERROR_INVALID_HANDLE);
  EXPECT_EQ(MsiRecordSetStringA(record, 1, "x"), ERROR_INVALID_HANDLE);
  EXPECT_EQ(MsiRecordGetInteger(record, 1), MSI_NULL_INTEGER);
  EXPECT_EQ(MsiRecordDataSize(record, 1), 0u);
}

TEST(MsiHandles, PmsihandleClosesWhatItHolds) {
  const MSIHANDLE first = MsiCreateRecord(1);
  { PMSIHANDLE owner(first); }
  EXPECT_EQ(MsiCloseHandle(first), ERROR_INVALID_HANDLE);  // closed already

  PMSIHANDLE owner(MsiCreateRecord(1));
  const MSIHANDLE second = owner.get();
  PMSIHANDLE moved(std::move(owner));
  EXPECT_FALSE(owner);
  EXPECT_EQ(moved.get(), second);
  *moved.out() = MsiCreateRecord(1);  // out() closes the one held first
  EXPECT_EQ(MsiRecordSetStringA(second, 1, "x"), ERROR_INVALID_HANDLE);

  const MSIHANDLE kept = moved.release();
  EXPECT_FALSE(moved);
  EXPECT_EQ(MsiRecordSetStringA(kept, 1, "x"), ERROR_SUCCESS);
  moved.reset(kept);
  moved = PMSIHANDLE();
  EXPECT_EQ(MsiCloseHandle(kept), ERROR_INVALID_HANDLE);
}

TEST(MsiHandles, EveryCallRejectsAHandleOfTheWrongKind) {
  PMSIHANDLE record(MsiCreateRecord(1));
  MSIHANDLE out = 77;
  EXPECT_EQ(MsiDatabaseOpenViewA(record.get(), "select * from `File`", &out), ERROR_INVALID_HANDLE);
  EXPECT_EQ(out, 0u);
  EXPECT_EQ(MsiViewExecute(record.get(), 0), ERROR_INVALID_HANDLE);
  EXPECT_EQ(MsiViewFetch(record.get(), &out), ERROR_INVALID_HANDLE);
  std::uint32_t size = 4;
  char buffer[4];
  EXPECT_EQ(MsiRecordGetStringA(0, 1, buffer, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(MsiRecordReadStream(0, 1, buffer, &size), ERROR_INVALID_HANDLE);
}

TEST(MsiHandles, OpenFailsForWhatIsNotAnInstallerDatabase) {
  test_support::TempDir dir;
  MSIHANDLE database = 99;
  EXPECT_NE(MsiOpenDatabaseA((dir / "missing.msi").c_str(), MSIDBOPEN_READONLY, &database),
            ERROR_SUCCESS);
  EXPECT_EQ(database, 0u);
  EXPECT_EQ(MsiLastReason(0), "cannot open " + (dir / "missing.msi"));
  EXPECT_NE(MsiOpenDatabaseA(dir.path().string().c_str(), MSIDBOPEN_READONLY, &database),
            ERROR_SUCCESS);
  test_support::WriteFile(dir / "empty.msi", "");
  EXPECT_NE(MsiOpenDatabaseA((dir / "empty.msi").c_str(), MSIDBOPEN_READONLY, &database),
            ERROR_SUCCESS);
  EXPECT_EQ(MsiLastReason(0), "the file is shorter than a compound file header");
  test_support::WriteFile(dir / "text.msi", std::string(4096, 'a'));
  EXPECT_NE(MsiOpenDatabaseA((dir / "text.msi").c_str(), MSIDBOPEN_READONLY, &database),
            ERROR_SUCCESS);
  EXPECT_EQ(database, 0u);
  EXPECT_EQ(MsiLastReason(0), "not a compound file (bad signature)");
}

TEST_F(MsiApiTest, OnlyTheReadOnlyModeIsOffered) {
  MSIHANDLE database = 0;
  EXPECT_EQ(MsiOpenDatabaseA(path_.c_str(), "writable", &database), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(database, 0u);
  EXPECT_EQ(MsiLastReason(0), "a package can only be opened read-only");
}

TEST_F(MsiApiTest, EachHandleKeepsTheReasonOfItsLastFailure) {
  // The fixture's open succeeded: handle 0 has nothing to say, nor has the
  // database, on which nothing has failed yet.
  EXPECT_EQ(MsiLastReason(0), "");
  EXPECT_EQ(MsiLastReason(database_.get()), "");
  std::uint32_t size = 5;
  EXPECT_EQ(MsiGetLastReasonA(0xDEADBEEF, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(MsiGetLastReasonA(database_.get(), nullptr, nullptr), ERROR_INVALID_PARAMETER);

  MSIHANDLE view = 0;
  EXPECT_NE(MsiDatabaseOpenViewA(database_.get(), "select * from `Nothing`", &view), ERROR_SUCCESS);
  const std::string reason = "select * from `Nothing`: no table Nothing";
  EXPECT_EQ(MsiLastReason(database_.get()), reason);
  // A call that succeeds leaves the reason in place.
  EXPECT_EQ(Rows("select Id from Things where Id = 'beta'", 1),
            (std::vector<std::vector<std::string>>{{"beta"}}));
  EXPECT_EQ(MsiLastReason(database_.get()), reason);

  // The buffer protocol of MsiRecordGetStringA: length first, then a cut
  // copy with ERROR_MORE_DATA, then the whole.
  size = 0;
  ASSERT_EQ(MsiGetLastReasonA(database_.get(), nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, reason.size());
  char small[7];
  size = sizeof small;
  EXPECT_EQ(MsiGetLastReasonA(database_.get(), small, &size), ERROR_MORE_DATA);
  EXPECT_STREQ(small, "select");
  EXPECT_EQ(size, reason.size());

  // Records keep their own reasons; the database's is untouched.
  PMSIHANDLE record = FirstRow("select `Id`, `Blob` from Things");
  char byte = 0;
  size = 1;
  EXPECT_EQ(MsiRecordReadStream(record.get(), 1, &byte, &size), ERROR_DATATYPE_MISMATCH);
  EXPECT_EQ(MsiLastReason(record.get()), "field 1 is not a stream");
  EXPECT_EQ(MsiRecordSetStringA(record.get(), 3, "x"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MsiLastReason(record.get()), "field 3 is past the record's 2 fields");
  EXPECT_EQ(MsiLastReason(database_.get()), reason);
  // A closed handle has no reason left.
  const MSIHANDLE closed = record.release();
  MsiCloseHandle(closed);
  EXPECT_EQ(MsiGetLastReasonA(closed, nullptr, &size), ERROR_INVALID_HANDLE);
}

TEST_F(MsiApiTest, HandlesAreDistinctAndTheDatabaseOutlivesItsHandle) {
  PMSIHANDLE view;
  ASSERT_EQ(MsiDatabaseOpenViewA(database_.get(), "select * from Things", view.out()),
            ERROR_SUCCESS);
  EXPECT_NE(view.get(), database_.get());
  ASSERT_EQ(MsiCloseHandle(database_.get()), ERROR_SUCCESS);
  database_ = PMSIHANDLE();
  // The view keeps what it needs.
  ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
  PMSIHANDLE record;
  ASSERT_EQ(MsiViewFetch(view.get(), record.out()), ERROR_SUCCESS);
  EXPECT_EQ(msi_test::FieldString(record.get(), 1), "alpha");
}

TEST_F(MsiApiTest, GetStringFollowsTheBufferProtocol) {
  PMSIHANDLE record = FirstRow("select * from Things");  // Id "alpha", Note "first note"
  char buffer[16];
  std::uint32_t size = 4;
  EXPECT_EQ(MsiRecordGetStringA(record.get(), 1, buffer, &size), ERROR_MORE_DATA);
  EXPECT_STREQ(buffer, "alp");
  EXPECT_EQ(size, 5u);

  size = 5;
  EXPECT_EQ(MsiRecordGetStringA(record.get(), 1, buffer, &size), ERROR_MORE_DATA);
  EXPECT_STREQ(buffer, "alph");

  size = 6;
  EXPECT_EQ(MsiRecordGetStringA(record.get(), 1, buffer, &size), ERROR_SUCCESS);
  EXPECT_STREQ(buffer, "alpha");
  EXPECT_EQ(size, 5u);

  size = 0;
  buffer[0] = 'z';
  EXPECT_EQ(MsiRecordGetStringA(record.get(), 1, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(buffer[0], 'z');
  EXPECT_EQ(size, 5u);

  size = 1;
  EXPECT_EQ(MsiRecordGetStringA(record.get(), 4, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(MsiRecordGetStringA(record.get(), 1, buffer, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(MsiApiTest, FieldsReadAsTextIntegersAndSizes) {
  PMSIHANDLE alpha = FirstRow("select * from Things");
  EXPECT_EQ(msi_test::FieldString(alpha.get(), 2), "-2");
  EXPECT_EQ(msi_test::FieldString(alpha.get(), 3), "-70000");
  EXPECT_EQ(MsiRecordGetInteger(alpha.get(), 2), -2);
  EXPECT_EQ(MsiRecordGetInteger(alpha.get(), 3), -70000);
  EXPECT_EQ(MsiRecordGetInteger(alpha.get(), 1), MSI_NULL_INTEGER);  // "alpha"
  EXPECT_EQ(MsiRecordDataSize(alpha.get(), 1), 5u);
  EXPECT_EQ(MsiRecordDataSize(alpha.get(), 2), 4u);
  EXPECT_EQ(MsiRecordDataSize(alpha.get(), 5), 2u);  // the stream "AB"
  EXPECT_EQ(msi_test::FieldString(alpha.get(), 5), "");
  // Field 0 and fields past the end are null.
  EXPECT_EQ(msi_test::FieldString(alpha.get(), 0), "");
  EXPECT_EQ(MsiRecordGetInteger(alpha.get(), 6), MSI_NULL_INTEGER);
  EXPECT_EQ(MsiRecordDataSize(alpha.get(), 6), 0u);

  PMSIHANDLE beta = FirstRow("select * from Things where Id = 'beta'");
  EXPECT_EQ(MsiRecordGetInteger(beta.get(), 2), MSI_NULL_INTEGER);
  EXPECT_EQ(msi_test::FieldString(beta.get(), 2), "");
  EXPECT_EQ(MsiRecordDataSize(beta.get(), 2), 0u);
  EXPECT_EQ(MsiRecordGetInteger(beta.get(), 3), 2147483647);
  EXPECT_EQ(MsiRecordDataSize(beta.get(), 4), 0u);
  EXPECT_EQ(MsiRecordDataSize(beta.get(), 5), 0u);
  std::uint32_t size = 8;
  char buffer[8];
  EXPECT_EQ(MsiRecordReadStream(beta.get(), 5, buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 0u);

  PMSIHANDLE numeric = FirstRow("select `Id` from Things where Large = 42");
  EXPECT_EQ(MsiRecordGetInteger(numeric.get(), 1), 42);  // the text "42"
}

TEST_F(MsiApiTest, StreamsReadInPiecesFromWhereTheLastReadStopped) {
  PMSIHANDLE logo = FirstRow("select `Data` from `Binary` where `Name` = 'Logo'");
  const std::string expected = msi_test::LogoBytes();
  ASSERT_EQ(MsiRecordDataSize(logo.get(), 1), expected.size());
  std::uint32_t left = 0;
  ASSERT_EQ(MsiRecordReadStream(logo.get(), 1, nullptr, &left), ERROR_SUCCESS);
  EXPECT_EQ(left, expected.size());

  char piece[1000];
  std::uint32_t size = 700;
  ASSERT_EQ(MsiRecordReadStream(logo.get(), 1, piece, &size), ERROR_SUCCESS);
  ASSERT_EQ(size, 700u);
  EXPECT_EQ(std::string(piece, 700), expected.substr(0, 700));
  ASSERT_EQ(MsiRecordReadStream(logo.get(), 1, nullptr, &left), ERROR_SUCCESS);
  EXPECT_EQ(left, expected.size() - 700);

  auto rest = msi_test::ReadStreamField(logo.get(), 1, 333);
  ASSERT_TRUE(rest);
  EXPECT_EQ(*rest, expected.substr(700));
  size = sizeof piece;
  EXPECT_EQ(MsiRecordReadStream(logo.get(), 1, piece, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 0u);

  // The same stream through _Streams, and a text field is not a stream.
  EXPECT_EQ(msi_test::ReadNamedStream(database_.get(), "Binary.Logo", 4096), expected);
  PMSIHANDLE name = FirstRow("select `Name` from `Binary`");
  size = sizeof piece;
  EXPECT_EQ(MsiRecordReadStream(name.get(), 1, piece, &size), ERROR_DATATYPE_MISMATCH);
}

TEST_F(MsiApiTest, StreamsTableListsPlainStreamsUnderDecodedNames) {
  auto rows = Rows("select `Name` from `_Streams`", 1);
  std::vector<std::string> names;
  for (const auto& row : rows) names.push_back(row[0]);
  EXPECT_NE(std::find(names.begin(), names.end(), "loose.bin"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "Binary.Logo"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "Things.alpha"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "\x05SummaryInformation"), names.end());
  EXPECT_EQ(std::find(names.begin(), names.end(), "Things"), names.end());
  EXPECT_EQ(std::find(names.begin(), names.end(), "_StringPool"), names.end());
  EXPECT_EQ(msi_test::ReadNamedStream(database_.get(), "loose.bin", 999), std::string(5000, 'L'));
  EXPECT_FALSE(msi_test::ReadNamedStream(database_.get(), "LOOSE.BIN", 999));
  EXPECT_FALSE(msi_test::ReadNamedStream(database_.get(), "Things", 999));
}

TEST_F(MsiApiTest, WhereTakesParametersLiteralsAndNumbers) {
  PMSIHANDLE parameters(MsiCreateRecord(2));
  ASSERT_EQ(MsiRecordSetStringA(parameters.get(), 1, "gamma"), ERROR_SUCCESS);
  ASSERT_EQ(MsiRecordSetStringA(parameters.get(), 2, "5"), ERROR_SUCCESS);
  EXPECT_EQ(Rows("select `Id` from `Things` where `Id`=? and Large=?", 1, parameters.get()),
            (std::vector<std::vector<std::string>>{{"gamma"}}));
  EXPECT_EQ(Rows("select `Id` from `Things` where `Id`=? and Large=6", 1, parameters.get()),
            (std::vector<std::vector<std::string>>{}));
  EXPECT_EQ(Rows("select Id from Things where Small = -2", 1),
            (std::vector<std::vector<std::string>>{{"alpha"}}));
  EXPECT_EQ(Rows("select Id from Things where Note = 'beta'", 1),
            (std::vector<std::vector<std::string>>{{"42"}}));
  EXPECT_EQ(Rows("select Id from Things where Id = 42", 1),
            (std::vector<std::vector<std::string>>{{"42"}}));
  // Comparison is exact: no case folding, no trimming.
  EXPECT_EQ(Rows("select Id from Things where Id = 'Alpha'", 1),
            (std::vector<std::vector<std::string>>{}));
  // A null parameter matches null cells.
  PMSIHANDLE empty(MsiCreateRecord(1));
  EXPECT_EQ(Rows("select Id from Things where Small = ?", 1, empty.get()),
            (std::vector<std::vector<std::string>>{{"beta"}}));
}

TEST_F(MsiApiTest, SqlIsCaseAndSpaceTolerantAndSelectsColumnsInTheGivenOrder) {
  const std::vector<std::vector<std::string>> expected{{"Things", "ProductName"},
                                                       {"Nobody", "Manufacturer"}};
  EXPECT_EQ(Rows("SELECT `Value`, `Property` FROM `Property`", 2), expected);
  EXPECT_EQ(Rows("  select\tValue ,Property\nfrom Property  ", 2), expected);
  EXPECT_EQ(Rows("SeLeCt * FrOm `Property` WhErE `Property` = 'ProductName'", 2),
            (std::vector<std::vector<std::string>>{{"ProductName", "Things"}}));
}

TEST_F(MsiApiTest, BadQueriesFailWhenTheViewIsOpened) {
  for (const char* sql :
       {"select * from `Nothing`", "select Missing from Things",
        "select * from Things where Missing = 1", "select * from", "select * Things",
        "select from Things", "select * from Things where", "select * from Things where Id",
        "select * from Things where Id = ", "select * from Things where Id = 'open",
        "select * from Things order by Id", "select * from Things where Id = 1 or Id = 2",
        "select * from ``", "select * from Things;", "delete from Things", "",
        "select * from Things where Blob = 1", "select * from Things where Large = 99999999999"}) {
    SCOPED_TRACE(sql);
    MSIHANDLE view = 5;
    EXPECT_NE(MsiDatabaseOpenViewA(database_.get(), sql, &view), ERROR_SUCCESS);
    EXPECT_EQ(view, 0u);
    EXPECT_EQ(MsiLastReason(database_.get()).rfind(std::string(sql) + ": ", 0), 0u);
  }
}

TEST_F(MsiApiTest, ViewsMustBeExecutedAndMayBeExecutedAgain) {
  PMSIHANDLE view;
  ASSERT_EQ(MsiDatabaseOpenViewA(database_.get(), "select Id from Things where Id = ?", view.out()),
            ERROR_SUCCESS);
  PMSIHANDLE record;
  EXPECT_NE(MsiViewFetch(view.get(), record.out()), ERROR_SUCCESS);
  EXPECT_EQ(record.get(), 0u);
  EXPECT_EQ(MsiLastReason(view.get()), "the view was fetched before it was executed");
  EXPECT_NE(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);  // "?" needs a record
  EXPECT_EQ(MsiLastReason(view.get()), "the query has a ? but no parameter record was given");

  PMSIHANDLE parameters(MsiCreateRecord(1));
  MsiRecordSetStringA(parameters.get(), 1, "beta");
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(MsiViewExecute(view.get(), parameters.get()), ERROR_SUCCESS);
    PMSIHANDLE row;
    ASSERT_EQ(MsiViewFetch(view.get(), row.out()), ERROR_SUCCESS);
    EXPECT_EQ(msi_test::FieldString(row.get(), 1), "beta");
    PMSIHANDLE none;
    EXPECT_EQ(MsiViewFetch(view.get(), none.out()), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(MsiViewFetch(view.get(), none.out()), ERROR_NO_MORE_ITEMS);
  }
}

TEST(MsiRecords, ParameterRecordsHoldStrings) {
  PMSIHANDLE record(MsiCreateRecord(2));
  ASSERT_NE(record.get(), 0u);
  EXPECT_EQ(MsiRecordSetStringA(record.get(), 2, "hello"), ERROR_SUCCESS);
  EXPECT_EQ(msi_test::FieldString(record.get(), 2), "hello");
  EXPECT_EQ(MsiRecordDataSize(record.get(), 2), 5u);
  EXPECT_EQ(MsiRecordSetStringA(record.get(), 3, "x"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MsiRecordSetStringA(record.get(), 1, "-12"), ERROR_SUCCESS);
  EXPECT_EQ(MsiRecordGetInteger(record.get(), 1), -12);
  EXPECT_EQ(MsiRecordSetStringA(record.get(), 1, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(MsiRecordGetInteger(record.get(), 1), MSI_NULL_INTEGER);
  EXPECT_EQ(MsiCreateRecord(1u << 20), 0u);
}

}  // namespace
