// Packages written by the fixture writer read back cell for cell: every
// column type, codepages, long strings, 3-byte references, version 4.
#include <gtest/gtest.h>

#include "api_helpers.h"
#include "fixtures/package_writer.h"
#include "msi/database.h"
#include "msi/idt.h"
#include "support/test_support.h"

namespace {

using fixtures::Int;
using fixtures::Null;
using fixtures::Str;
using Rows = std::vector<std::vector<std::string>>;

class MsiRoundTrip : public ::testing::Test {
 protected:
  std::shared_ptr<const msi::Database> Open(const fixtures::PackageDescription& package) {
    const std::string path = dir_ / ("p" + std::to_string(count_++) + ".msi");
    fixtures::WritePackageFile(path, package);
    std::string error;
    auto database = msi::Database::Open(path, &error);
    EXPECT_TRUE(database) << error;
    return database;
  }

  static Rows Cells(const msi::Database& database, const std::string& name) {
    std::string error;
    auto table = database.LoadTable(name, &error);
    EXPECT_TRUE(table) << error;
    Rows rows;
    if (!table) return rows;
    for (std::size_t r = 0; r < table->row_count(); ++r) {
      std::vector<std::string> row;
      for (std::size_t c = 0; c < table->columns().size(); ++c)
        row.push_back(table->CellText(r, c));
      rows.push_back(std::move(row));
    }
    return rows;
  }

  // A one-column text table holding `texts`, in a package of `codepage`.
  static fixtures::PackageDescription TextPackage(int codepage, std::vector<std::string> texts) {
    fixtures::PackageDescription package;
    package.codepage = codepage;
    fixtures::Table table{"Texts", {{"Id", "i2", true}, {"Text", "L0"}}, {}};
    for (std::size_t i = 0; i < texts.size(); ++i) {
      table.rows.push_back({Int(static_cast<int>(i) + 1), Str(texts[i])});
    }
    package.tables = {table};
    return package;
  }

  test_support::TempDir dir_;
  int count_ = 0;
};

TEST_F(MsiRoundTrip, EveryColumnTypeKeepsItsValuesTypesAndRowOrder) {
  fixtures::PackageDescription package;
  fixtures::Table table{"Mixed",
                        {{"Name", "s32", true},
                         {"Part", "i2", true},
                         {"Small", "I2"},
                         {"Large", "I4"},
                         {"Plain", "i4"},
                         {"Text", "S0"},
                         {"Local", "l255"},
                         {"OptLocal", "L64"},
                         {"Data", "v0"},
                         {"OptData", "V0"}},
                        {}};
  table.rows.push_back({Str("zeta"), Int(-3), Int(-32767), Int(-2147483647), Int(0), Str("t"),
                        Str("loc"), Null(), Str("d1"), Null()});
  // One binary cell per row: both columns' streams would have the same name.
  table.rows.push_back({Str("alpha"), Int(9), Null(), Null(), Int(2147483647), Null(), Str("x"),
                        Str("y"), Null(), Str("od")});
  package.tables = {table};
  auto database = Open(package);
  ASSERT_TRUE(database);
  std::string error;
  auto loaded = database->LoadTable("Mixed", &error);
  ASSERT_TRUE(loaded) << error;
  EXPECT_EQ(msi::RenderIdt(*loaded),
            "Name\tPart\tSmall\tLarge\tPlain\tText\tLocal\tOptLocal\tData\tOptData\r\n"
            "s32\ti2\tI2\tI4\ti4\tS0\tl255\tL64\tv0\tV0\r\n"
            "Mixed\tName\tPart\r\n"
            "zeta\t-3\t-32767\t-2147483647\t0\tt\tloc\t\tMixed.zeta.-3\t\r\n"
            "alpha\t9\t\t\t2147483647\t\tx\ty\t\tMixed.alpha.9\r\n");
  const msi::CellValue data = loaded->Cell(1, 9);
  ASSERT_EQ(data.kind, msi::CellKind::kStream);
  ASSERT_TRUE(data.stream_entry);
  auto layout = database->LocateStream(*data.stream_entry, &error);
  ASSERT_TRUE(layout) << error;
  std::string bytes(layout->size, '\0');
  ASSERT_TRUE(database->ReadStreamAt(*layout, 0, bytes.data(), bytes.size()));
  EXPECT_EQ(bytes, "od");
}

TEST_F(MsiRoundTrip, TextsArriveAsUtf8FromTheirCodepage) {
  struct Case {
    int codepage;
    std::string text;
  };
  for (const Case& c :
       {Case{1252, "caf\xC3\xA9 \xE2\x82\xAC"}, Case{936, "\xE4\xB8\xAD\xE6\x96\x87"},
        Case{65001, "smile \xF0\x9F\x98\x80 \xC3\xA9"}}) {
    SCOPED_TRACE(c.codepage);
    auto database = Open(TextPackage(c.codepage, {c.text, "plain"}));
    ASSERT_TRUE(database);
    EXPECT_EQ(database->codepage(), c.codepage);
    EXPECT_EQ(Cells(*database, "Texts"), (Rows{{"1", c.text}, {"2", "plain"}}));
  }
}

TEST_F(MsiRoundTrip, CodepageZeroReadsAsWindows1252) {
  auto package = TextPackage(1252, {"\xE2\x82\xAC \xC3\xA9"});
  package.stored_codepage = 0;
  auto database = Open(package);
  ASSERT_TRUE(database);
  EXPECT_EQ(Cells(*database, "Texts"), (Rows{{"1", "\xE2\x82\xAC \xC3\xA9"}}));
}

TEST_F(MsiRoundTrip, UndecodableBytesBecomeReplacementCharacters) {
  const std::string replacement = "\xEF\xBF\xBD";
  struct Case {
    int written;
    int stored;
    std::string text;
    std::string expected;
  };
  for (const Case& c : {
           // GBK 0x81 0x40 read as Windows-1252: 0x81 is not a 1252 character.
           Case{936, 1252, "a\xE4\xB8\x82", "a" + replacement + "@"},
           // A lone 1252 byte read as UTF-8.
           Case{1252, 65001, "\xC3\xA9t\xC3\xA9", replacement + "t" + replacement},
           // A GBK lead byte cut off at the end of the string.
           Case{1252, 936, "x\xC3\x96", "x" + replacement},
           // A codepage nobody knows keeps ASCII only.
           Case{1252, 12345, "ok\xC3\xA9", "ok" + replacement},
       }) {
    SCOPED_TRACE(c.expected);
    auto package = TextPackage(c.written, {c.text, "next"});
    package.stored_codepage = c.stored;
    auto database = Open(package);
    ASSERT_TRUE(database);
    EXPECT_EQ(Cells(*database, "Texts"), (Rows{{"1", c.expected}, {"2", "next"}}));
  }
}

TEST_F(MsiRoundTrip, LongStringsAndTheIdsAfterThemSurvive) {
  std::string long1(70000, 'a');
  std::string long2(200000, 'b');
  long1.back() = 'A';
  long2.back() = 'B';
  auto database = Open(TextPackage(1252, {long1, "between", long2, "after"}));
  ASSERT_TRUE(database);
  EXPECT_EQ(Cells(*database, "Texts"),
            (Rows{{"1", long1}, {"2", "between"}, {"3", long2}, {"4", "after"}}));
}

TEST_F(MsiRoundTrip, ThreeByteReferencesAndVersionFourFiles) {
  for (int version : {3, 4}) {
    SCOPED_TRACE(version);
    std::vector<std::string> texts;
    for (int i = 0; i < 300; ++i) texts.push_back("text " + std::to_string(i));
    auto package = TextPackage(1252, texts);
    package.long_string_refs = true;
    package.cfb_version = version;
    package.streams.push_back({"big.bin", std::string(70000, 'z')});
    auto database = Open(package);
    ASSERT_TRUE(database);
    EXPECT_EQ(database->strings().ref_width(), 3u);
    Rows rows = Cells(*database, "Texts");
    ASSERT_EQ(rows.size(), texts.size());
    EXPECT_EQ(rows[299], (std::vector<std::string>{"300", "text 299"}));
    auto entry = database->FindStream("big.bin");
    ASSERT_TRUE(entry);
    std::string error;
    auto layout = database->LocateStream(*entry, &error);
    ASSERT_TRUE(layout) << error;
    EXPECT_EQ(layout->size, 70000u);
  }
}

TEST_F(MsiRoundTrip, UnusedStringSlotsKeepIdsApart) {
  auto package = TextPackage(1252, {"one", "two"});
  package.unused_string_slots = 4;
  auto database = Open(package);
  ASSERT_TRUE(database);
  EXPECT_EQ(Cells(*database, "Texts"), (Rows{{"1", "one"}, {"2", "two"}}));
}

TEST_F(MsiRoundTrip, ATableWithoutRowsOrStreamIsEmpty) {
  fixtures::PackageDescription package;
  package.tables = {fixtures::StandardTable("Property")};
  auto database = Open(package);
  ASSERT_TRUE(database);
  ASSERT_EQ(database->tables().size(), 1u);
  EXPECT_EQ(Cells(*database, "Property"), Rows{});
  EXPECT_EQ(Cells(*database, "_Tables"), (Rows{{"Property"}}));
  EXPECT_EQ(Cells(*database, "_Columns"),
            (Rows{{"Property", "1", "Property", "11592"}, {"Property", "2", "Value", "3840"}}));
  std::string error;
  EXPECT_FALSE(database->LoadTable("File", &error));
}

TEST_F(MsiRoundTrip, ADuplicateSummaryStreamIsListedTwiceAndThePlainOneIsPreferred) {
  fixtures::PackageDescription package;
  package.tables = {fixtures::StandardTable("Property")};
  package.summary_information = true;
  package.streams.push_back(
      {"\x05SummaryInformation", std::string(552, 's'), false, fixtures::NameForm::kPacked});
  auto database = Open(package);
  ASSERT_TRUE(database);
  int listed = 0;
  for (const msi::StreamInfo& stream : database->streams()) {
    if (stream.name == "\x05SummaryInformation") ++listed;
  }
  EXPECT_EQ(listed, 2);
  auto entry = database->FindStream("\x05SummaryInformation");
  ASSERT_TRUE(entry);
  for (const msi::StreamInfo& stream : database->streams()) {
    if (stream.entry == *entry) {
      EXPECT_FALSE(stream.packed);
    }
  }
}

TEST_F(MsiRoundTrip, TheStandardQueriesOfTheToolWork) {
  fixtures::PackageDescription package;
  for (const char* name : {"File", "Component", "Directory", "Media", "Registry"}) {
    package.tables.push_back(fixtures::StandardTable(name));
  }
  package.tables[3].rows.push_back({Int(1), Int(3), Null(), Str("#data.cab"), Null(), Null()});
  package.tables[4].rows.push_back(
      {Str("reg1"), Int(-1), Str("Software\\X"), Null(), Str("#1"), Str("comp")});
  package.streams.push_back({"data.cab", "MSCF-ish"});
  const std::string path = dir_ / "standard.msi";
  fixtures::WritePackageFile(path, package);
  PMSIHANDLE database;
  ASSERT_EQ(MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_READONLY, database.out()), ERROR_SUCCESS);
  for (const char* sql :
       {"select * from `File`", "select * from `Component`", "select * from `Directory`"}) {
    EXPECT_EQ(msi_test::QueryRows(database.get(), sql, 1), Rows{}) << sql;
  }
  EXPECT_EQ(msi_test::QueryRows(database.get(), "select * from `Media`", 6),
            (Rows{{"1", "3", "", "#data.cab", "", ""}}));
  EXPECT_EQ(msi_test::QueryRows(database.get(), "select * from `Registry`", 6),
            (Rows{{"reg1", "-1", "Software\\X", "", "#1", "comp"}}));
  EXPECT_EQ(msi_test::ReadNamedStream(database.get(), "data.cab", 3), "MSCF-ish");
}

}  // namespace
