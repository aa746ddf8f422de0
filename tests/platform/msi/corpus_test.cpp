// Every table and stream of the real packages, against the expected dumps.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "api_helpers.h"
#include "msi/database.h"
#include "msi/idt.h"
#include "support/sha256.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> CorpusPackages() {
  std::vector<fs::path> packages;
  for (const auto& entry : fs::directory_iterator(test_support::CorpusDir())) {
    if (entry.path().extension() == ".msi") packages.push_back(entry.path());
  }
  std::sort(packages.begin(), packages.end());
  return packages;
}

fs::path Expected(const fs::path& package, const std::string& suffix) {
  return test_support::CorpusDir() / "expected" / (package.stem().string() + suffix);
}

TEST(MsiCorpus, EveryTableMatchesItsIdtDump) {
  SKIP_WITHOUT_CORPUS();
  for (const fs::path& package : CorpusPackages()) {
    SCOPED_TRACE(package.filename().string());
    std::string error;
    auto database = msi::Database::Open(package.string(), &error);
    ASSERT_TRUE(database) << error;

    std::set<std::string> expected_tables;
    for (const auto& entry : fs::directory_iterator(Expected(package, ".tables"))) {
      expected_tables.insert(entry.path().stem().string());
    }
    std::set<std::string> tables;
    for (const msi::TableSchema& schema : database->tables()) tables.insert(schema.name);
    EXPECT_EQ(tables, expected_tables);

    for (const msi::TableSchema& schema : database->tables()) {
      SCOPED_TRACE(schema.name);
      auto table = database->LoadTable(schema.name, &error);
      ASSERT_TRUE(table) << error;
      const fs::path idt = Expected(package, ".tables") / (schema.name + ".idt");
      if (!fs::exists(idt)) continue;
      EXPECT_EQ(msi::RenderIdt(*table), test_support::ReadFile(idt));
    }
  }
}

TEST(MsiCorpus, EveryStreamReadsBackThroughTheInterface) {
  SKIP_WITHOUT_CORPUS();
  int checked = 0;
  for (const fs::path& package : CorpusPackages()) {
    SCOPED_TRACE(package.filename().string());
    PMSIHANDLE database;
    ASSERT_EQ(MsiOpenDatabaseA(package.string().c_str(), MSIDBOPEN_READONLY, database.out()),
              ERROR_SUCCESS);
    std::istringstream listing(test_support::ReadFile(Expected(package, ".streams.txt")));
    std::string line;
    while (std::getline(listing, line)) {
      if (line.empty()) continue;
      std::istringstream fields(line);
      std::string name, size, digest;
      std::getline(fields, name, '\t');
      std::getline(fields, size, '\t');
      std::getline(fields, digest, '\t');
      SCOPED_TRACE(name);
      // Odd piece sizes cross every sector and mini sector boundary.
      auto bytes = msi_test::ReadNamedStream(database.get(), name, 4099);
      ASSERT_TRUE(bytes);
      EXPECT_EQ(bytes->size(), std::stoull(size));
      EXPECT_EQ(test_support::Sha256Hex(*bytes), digest);
      ++checked;
    }
  }
  EXPECT_GT(checked, 0);
}

TEST(MsiCorpus, StreamListHoldsEveryExpectedStreamWithItsSize) {
  SKIP_WITHOUT_CORPUS();
  for (const fs::path& package : CorpusPackages()) {
    SCOPED_TRACE(package.filename().string());
    PMSIHANDLE database;
    ASSERT_EQ(MsiOpenDatabaseA(package.string().c_str(), MSIDBOPEN_READONLY, database.out()),
              ERROR_SUCCESS);
    PMSIHANDLE view;
    ASSERT_EQ(MsiDatabaseOpenViewA(database.get(), "SELECT `Name` FROM `_Streams`", view.out()),
              ERROR_SUCCESS);
    ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
    std::set<std::string> names;
    PMSIHANDLE record;
    while (MsiViewFetch(view.get(), record.out()) == ERROR_SUCCESS) {
      names.insert(msi_test::FieldString(record.get(), 1));
      record = PMSIHANDLE();
    }
    std::istringstream listing(test_support::ReadFile(Expected(package, ".streams.txt")));
    std::string line;
    while (std::getline(listing, line)) {
      if (line.empty()) continue;
      EXPECT_TRUE(names.count(line.substr(0, line.find('\t')))) << line;
    }
    EXPECT_TRUE(names.count("\x05SummaryInformation"));
  }
}

}  // namespace
