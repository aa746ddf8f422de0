// Damaged and hostile packages: truncations, loops, cycles, absurd sizes and
// counts, bad string ids, tables of the wrong size, other kinds of compound
// file. Each must give a failure status or fewer rows, never a crash or a
// hang; the sanitizer build runs these too.
#include <gtest/gtest.h>

#include <random>

#include "api_helpers.h"
#include "exercise.h"
#include "fixtures/package_writer.h"
#include "memory_file.h"
#include "msi/database.h"
#include "support/test_support.h"
#include "test_packages.h"

namespace {

using fixtures::Int;
using fixtures::Str;
using msi_test::ExercisePackage;
using msi_test::ExerciseSummary;

std::uint32_t Get32(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<std::uint8_t>(bytes[offset + i]);
  return value;
}

void Put32(std::string* bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[offset + i] = static_cast<char>(value >> (8 * i));
}

void Put64(std::string* bytes, std::size_t offset, std::uint64_t value) {
  Put32(bytes, offset, static_cast<std::uint32_t>(value));
  Put32(bytes, offset + 4, static_cast<std::uint32_t>(value >> 32));
}

// Where the parts of a (sound) compound file written by the fixture writer
// lie, found by walking it naively: enough to aim the damage.
struct FileMap {
  unsigned shift = 9;
  std::vector<std::size_t> fat_entries;  // file offsets of the FAT's entries
  std::vector<std::size_t> entries;      // file offsets of directory entries
};

FileMap MapFile(const std::string& bytes) {
  FileMap map;
  map.shift = Get32(bytes, 0x1E) & 0xFFFF;
  const std::size_t sector = std::size_t{1} << map.shift;
  auto offset = [&](std::uint32_t s) { return (static_cast<std::size_t>(s) + 1) << map.shift; };
  for (int k = 0; k < 109; ++k) {
    const std::uint32_t fat = Get32(bytes, 0x4C + 4 * k);
    if (fat == 0xFFFFFFFF) break;
    for (std::size_t i = 0; i < sector / 4; ++i) map.fat_entries.push_back(offset(fat) + 4 * i);
  }
  std::uint32_t dir = Get32(bytes, 0x30);
  for (int steps = 0; dir < map.fat_entries.size() && steps < 1000; ++steps) {
    for (std::size_t i = 0; i < sector / 128; ++i) map.entries.push_back(offset(dir) + 128 * i);
    dir = Get32(bytes, map.fat_entries[dir]);
  }
  return map;
}

class MsiHostile : public ::testing::Test {
 protected:
  // Every case also checks that each failing interface call said why.
  ExerciseSummary Exercise(const std::string& bytes) {
    msi_test::MemoryFile file(bytes);
    const ExerciseSummary summary = ExercisePackage(file.path());
    EXPECT_EQ(summary.unexplained_failures, 0u);
    return summary;
  }

  std::string Package(int version = 3) {
    auto package = msi_test::ThingsPackage();
    package.cfb_version = version;
    return fixtures::WritePackage(package);
  }

  test_support::TempDir dir_;
};

TEST_F(MsiHostile, TheUndamagedPackageReadsWhole) {
  for (int version : {3, 4}) {
    const ExerciseSummary summary = Exercise(Package(version));
    EXPECT_TRUE(summary.opened);
    EXPECT_TRUE(summary.api_opened);
    EXPECT_EQ(summary.tables, 3u);
    EXPECT_EQ(summary.rows, 7u);
    EXPECT_EQ(summary.streams_failed, 0u);
    EXPECT_GE(summary.streams_read, 4u);
  }
}

TEST_F(MsiHostile, TruncationsAtManyOffsets) {
  for (int version : {3, 4}) {
    const std::string whole = Package(version);
    const ExerciseSummary full = Exercise(whole);
    const std::size_t sector = std::size_t{1} << (version == 3 ? 9 : 12);
    std::vector<std::size_t> cuts{0, 1, 7, 8, 100, 511, 512, 513};
    for (std::size_t cut = 0; cut < whole.size(); cut += 97) cuts.push_back(cut);
    for (std::size_t s = sector; s < whole.size(); s += sector) {
      cuts.push_back(s - 1);
      cuts.push_back(s + 1);
    }
    for (std::size_t cut : cuts) {
      if (cut >= whole.size()) continue;
      SCOPED_TRACE(cut);
      const ExerciseSummary summary = Exercise(whole.substr(0, cut));
      if (cut < sector) {
        EXPECT_FALSE(summary.opened);
      }
      EXPECT_EQ(summary.opened, summary.api_opened);
      EXPECT_LE(summary.rows, full.rows);
      EXPECT_LE(summary.streams_read, full.streams_read);
    }
  }
}

TEST_F(MsiHostile, LoopsAndBadLinksInTheFat) {
  const std::string whole = Package();
  const FileMap map = MapFile(whole);
  const std::size_t used = whole.size() / 512;
  for (std::size_t i = 0; i < used && i < map.fat_entries.size(); ++i) {
    for (std::uint32_t link : {static_cast<std::uint32_t>(i), 0u, 0xFFFFFFFBu, 0xFFFFFFFDu,
                               0xFFFFFFFFu, 0x7FFFFFFFu, static_cast<std::uint32_t>(used + 5)}) {
      SCOPED_TRACE(std::to_string(i) + " -> " + std::to_string(link));
      std::string bytes = whole;
      Put32(&bytes, map.fat_entries[i], link);
      Exercise(bytes);
    }
  }
}

TEST_F(MsiHostile, CyclesAndBadLinksInTheDirectory) {
  const std::string whole = Package();
  const FileMap map = MapFile(whole);
  ASSERT_GT(map.entries.size(), 4u);
  const std::uint32_t count = static_cast<std::uint32_t>(map.entries.size());
  for (std::uint32_t e = 0; e < count; ++e) {
    for (std::size_t link : {0x44, 0x48, 0x4C}) {
      for (std::uint32_t target : {0u, e, (e + 1) % count, count, 0xFFFFFFFAu}) {
        std::string bytes = whole;
        Put32(&bytes, map.entries[e] + link, target);
        const ExerciseSummary summary = Exercise(bytes);
        EXPECT_LE(summary.rows, 7u);
      }
    }
    // Every entry's type replaced: an unused, a storage, a second root, junk.
    for (char type : {0, 1, 5, 9}) {
      std::string bytes = whole;
      bytes[map.entries[e] + 0x42] = type;
      Exercise(bytes);
    }
    // Malformed name lengths.
    for (std::uint16_t length : {0, 1, 3, 66, 0xFFFF}) {
      std::string bytes = whole;
      bytes[map.entries[e] + 0x40] = static_cast<char>(length & 0xFF);
      bytes[map.entries[e] + 0x41] = static_cast<char>(length >> 8);
      Exercise(bytes);
    }
  }
}

TEST_F(MsiHostile, AbsurdStreamSizes) {
  for (int version : {3, 4}) {
    const std::string whole = Package(version);
    const FileMap map = MapFile(whole);
    for (std::size_t e = 0; e < map.entries.size(); ++e) {
      for (std::uint64_t size :
           {std::uint64_t{0}, std::uint64_t{63}, std::uint64_t{4095}, std::uint64_t{4096},
            std::uint64_t{0xFFFFFFFF}, std::uint64_t{1} << 40, ~std::uint64_t{0}}) {
        std::string bytes = whole;
        Put64(&bytes, map.entries[e] + 0x78, size);
        Exercise(bytes);
      }
    }
  }
}

TEST_F(MsiHostile, BrokenHeaderFields) {
  const std::string whole = Package();
  struct Patch {
    std::size_t offset;
    std::uint32_t value;
  };
  for (const Patch& patch :
       {Patch{0x2C, 0x7FFFFFFF}, Patch{0x30, 0xFFFFFFF0}, Patch{0x30, 0x7FFFF}, Patch{0x3C, 0},
        Patch{0x3C, 0x7FFFF}, Patch{0x40, 0x7FFFFFFF}, Patch{0x44, 0}, Patch{0x44, 1},
        Patch{0x48, 0x7FFFFFFF}, Patch{0x4C, 0xFFFFFFF0}, Patch{0x4C, 0x7FFFFF}, Patch{0x50, 0},
        Patch{0x1A, 0xFFFE0005}, Patch{0x1C, 0x0009FFFF}, Patch{0x1C, 0x000CFFFE}, Patch{0x20, 7},
        Patch{0x38, 512}}) {
    SCOPED_TRACE(patch.offset);
    std::string bytes = whole;
    Put32(&bytes, patch.offset, patch.value);
    Exercise(bytes);
  }
  // A DIFAT chain that loops onto itself, and one that runs off the file.
  for (std::uint32_t difat : {0u, 3u, 0xFFFFFFF0u}) {
    std::string bytes = whole;
    Put32(&bytes, 0x44, difat);
    Put32(&bytes, 0x48, 1);
    Exercise(bytes);
  }
}

TEST_F(MsiHostile, RandomByteDamage) {
  const std::string whole = Package();
  std::mt19937 random(20240611);
  for (int round = 0; round < 1500; ++round) {
    std::string bytes = whole;
    const int changes = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < changes; ++i) {
      bytes[random() % bytes.size()] = static_cast<char>(random());
    }
    Exercise(bytes);
  }
}

TEST_F(MsiHostile, StringIdsOutOfRangeFailThatTableOnly) {
  auto package = msi_test::ThingsPackage();
  // Property's stream replaced: two rows (2 + 2 bytes each) naming id 0xFFFF.
  package.streams.push_back({"Property", std::string("\xFF\xFF\xFF\xFF\x01\x00\x01\x00", 8), true});
  const std::string path = dir_ / "ids.msi";
  fixtures::WritePackageFile(path, package);
  PMSIHANDLE database;
  ASSERT_EQ(MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_READONLY, database.out()), ERROR_SUCCESS);
  MSIHANDLE view = 0;
  EXPECT_NE(MsiDatabaseOpenViewA(database.get(), "select * from Property", &view), ERROR_SUCCESS);
  EXPECT_EQ(view, 0u);
  auto rows = msi_test::QueryRows(database.get(), "select Id from Things", 1);
  ASSERT_TRUE(rows);
  EXPECT_EQ(rows->size(), 4u);
}

TEST_F(MsiHostile, ATableStreamThatIsNotWholeRowsHasNoRows) {
  for (std::size_t size : {1u, 3u, 5u, 7u, 9u}) {
    SCOPED_TRACE(size);
    auto package = msi_test::ThingsPackage();
    // A Property row is 4 bytes; `size` is never a whole number of rows.
    package.streams.push_back({"Property", std::string(size, '\x01'), true});
    const std::string path = dir_ / "rows.msi";
    fixtures::WritePackageFile(path, package);
    std::string error;
    auto database = msi::Database::Open(path, &error);
    ASSERT_TRUE(database) << error;
    EXPECT_FALSE(database->LoadTable("Property", &error));
    EXPECT_TRUE(database->LoadTable("Things", &error)) << error;
  }
}

TEST_F(MsiHostile, ABrokenCatalogEntryFailsItsTableOnly) {
  auto package = msi_test::ThingsPackage();
  package.tables.push_back({"Odd", {{"Id", "i2", true}}, {{Int(1)}}});
  const std::string good = fixtures::WritePackage(package);
  // Odd's only column has the type i2 + key, 0x2502, stored as 0xA502.
  // Each place where those bytes occur is made a 2-byte integer of size 3
  // in turn; in _Columns that breaks Odd and nothing else.
  const std::string i2_key = std::string("\x02\xA5", 2);
  const std::string broken_size = std::string("\x03\xA5", 2);
  std::size_t patched = 0;
  for (std::size_t at = good.find(i2_key); at != std::string::npos;
       at = good.find(i2_key, at + 1)) {
    std::string bytes = good;
    bytes.replace(at, 2, broken_size);
    const ExerciseSummary summary = Exercise(bytes);
    if (summary.opened && summary.tables == 3) ++patched;
  }
  EXPECT_GT(patched, 0u);  // the Odd table failed alone, the others stayed
}

TEST_F(MsiHostile, StringPoolsThatDoNotAddUp) {
  struct Case {
    std::string pool;
    std::string data;
  };
  for (const Case& c : {
           Case{std::string("\xE4\x04\x00\x00\x05\x00\x01", 7), "hello"},      // not whole pairs
           Case{std::string("\xE4\x04\x00\x00\x09\x00\x01\x00", 8), "hello"},  // runs past data
           Case{std::string("\xE4\x04\x00\x00\x00\x00\x02\x00", 8), "hello"},  // long, no 2nd pair
           Case{std::string("\xE4\x04\x00\x00\x00\x00\xFF\xFF\xFF\xFF\xFF\xFF", 12), "x"},
       }) {
    auto package = msi_test::ThingsPackage();
    package.streams.push_back({"_StringPool", c.pool, true});
    package.streams.push_back({"_StringData", c.data, true});
    const std::string path = dir_ / "pool.msi";
    fixtures::WritePackageFile(path, package);
    PMSIHANDLE database;
    EXPECT_NE(MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_READONLY, database.out()), ERROR_SUCCESS);
  }
}

TEST_F(MsiHostile, OnlyTheInstallerDatabaseClassOpens) {
  const std::string patch_class("\x86\x10\x0c\x00\x00\x00\x00\x00\xc0\x00\x00\x00\x00\x00\x00\x46",
                                16);
  const std::string transform_class(
      "\x82\x10\x0c\x00\x00\x00\x00\x00\xc0\x00\x00\x00\x00\x00\x00\x46", 16);
  const std::string word_class("\x06\x09\x02\x00\x00\x00\x00\x00\xc0\x00\x00\x00\x00\x00\x00\x46",
                               16);
  for (const std::string& clsid :
       {patch_class, transform_class, word_class, std::string(16, '\0')}) {
    auto package = msi_test::ThingsPackage();
    package.root_clsid = clsid;
    const ExerciseSummary summary = Exercise(fixtures::WritePackage(package));
    EXPECT_FALSE(summary.opened);
    EXPECT_FALSE(summary.api_opened);
  }
}

TEST_F(MsiHostile, AWordLikeCompoundFileIsNotADatabase) {
  for (bool installer_class : {false, true}) {
    fixtures::PackageDescription document;
    document.omit_system_streams = true;
    if (!installer_class) {
      document.root_clsid =
          std::string("\x06\x09\x02\x00\x00\x00\x00\x00\xc0\x00\x00\x00\x00\x00\x00\x46", 16);
    }
    document.streams = {
        {"WordDocument", std::string(5000, 'w'), false, fixtures::NameForm::kLiteral},
        {"1Table", std::string(700, 't'), false, fixtures::NameForm::kLiteral},
        {"\x01"
         "CompObj",
         std::string(100, 'c'), false, fixtures::NameForm::kLiteral}};
    const ExerciseSummary summary = Exercise(fixtures::WritePackage(document));
    EXPECT_FALSE(summary.opened);
    EXPECT_FALSE(summary.api_opened);
  }
}

TEST_F(MsiHostile, AStreamPastTheEndOfTheFileFailsWhenReadAndNothingElseDoes) {
  auto package = msi_test::ThingsPackage();
  std::string tail(60000, '\0');
  for (std::size_t i = 0; i < tail.size(); ++i) tail[i] = static_cast<char>(i * 31);
  package.streams.push_back({"zz.cab", tail});
  const std::string whole = fixtures::WritePackage(package);
  const std::string path = dir_ / "whole.msi";
  test_support::WriteFile(path, whole);

  // Cut the file inside the stream's last run of sectors, when nothing
  // else lies after it.
  std::string error;
  std::uint64_t cut = 0;
  {
    auto database = msi::Database::Open(path, &error);
    ASSERT_TRUE(database) << error;
    auto entry = database->FindStream("zz.cab");
    ASSERT_TRUE(entry);
    auto layout = database->LocateStream(*entry, &error);
    ASSERT_TRUE(layout) << error;
    const msi::StreamExtent& last = layout->extents.back();
    // Only the unused tail of the last sector may follow the stream.
    ASSERT_LE(last.file_offset + last.length, whole.size());
    ASSERT_LT(whole.size() - (last.file_offset + last.length), 512u)
        << "the writer put something after the stream";
    cut = last.file_offset + last.length - 5000;
  }
  const std::string damaged_path = dir_ / "damaged-tail.msi";
  test_support::WriteFile(damaged_path, whole.substr(0, cut));
  PMSIHANDLE database;
  ASSERT_EQ(MsiOpenDatabaseA(damaged_path.c_str(), MSIDBOPEN_READONLY, database.out()),
            ERROR_SUCCESS);
  auto rows = msi_test::QueryRows(database.get(), "select * from Things", 5);
  ASSERT_TRUE(rows);
  EXPECT_EQ(rows->size(), 4u);
  EXPECT_EQ(msi_test::ReadNamedStream(database.get(), "Binary.Logo", 512), msi_test::LogoBytes());

  PMSIHANDLE view;
  ASSERT_EQ(MsiDatabaseOpenViewA(database.get(), "select * from _Streams where Name='zz.cab'",
                                 view.out()),
            ERROR_SUCCESS);
  ASSERT_EQ(MsiViewExecute(view.get(), 0), ERROR_SUCCESS);
  PMSIHANDLE record;
  ASSERT_EQ(MsiViewFetch(view.get(), record.out()), ERROR_SUCCESS);
  EXPECT_EQ(MsiRecordDataSize(record.get(), 2), tail.size());
  char buffer[100];
  std::uint32_t size = sizeof buffer;
  EXPECT_NE(MsiRecordReadStream(record.get(), 2, buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(MsiLastReason(record.get()).rfind("field 2: ", 0), 0u) << MsiLastReason(record.get());
}

}  // namespace
