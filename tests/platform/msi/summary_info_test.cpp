// The summary information functions: properties of every type read back,
// the buffer protocol, handles, and property sets that do not add up.
#include "msi/summary_info.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "fixtures/package_writer.h"
#include "fixtures/summary_information.h"
#include "support/test_support.h"

namespace {

using fixtures::SummaryI2;
using fixtures::SummaryI4;
using fixtures::SummaryText;

// Closes its handle when it goes.
class OwnedHandle {
 public:
  OwnedHandle() = default;
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;
  ~OwnedHandle() { MsiCloseHandle(handle_); }
  MSIHANDLE get() const { return handle_; }
  MSIHANDLE* out() { return &handle_; }

 private:
  MSIHANDLE handle_ = 0;
};

class SummaryInfoTest : public ::testing::Test {
 protected:
  // Writes a package whose summary stream holds `stream`; none when empty.
  std::string WritePackage(const std::string& stream) {
    fixtures::PackageDescription package;
    package.tables.push_back(fixtures::StandardTable("Property"));
    if (!stream.empty()) package.streams.push_back({"\x05SummaryInformation", stream});
    const std::string path = dir_ / ("p" + std::to_string(++written_) + ".msi");
    fixtures::WritePackageFile(path, package);
    return path;
  }

  // Opens the summary of a package holding `stream`, by path.
  UINT Open(const std::string& stream, OwnedHandle* summary) {
    return MsiGetSummaryInformationA(0, WritePackage(stream).c_str(), 0, summary->out());
  }

  static std::pair<UINT, int> Integer(MSIHANDLE summary, UINT property) {
    UINT type = 99;
    int value = -1;
    EXPECT_EQ(
        MsiSummaryInfoGetPropertyA(summary, property, &type, &value, nullptr, nullptr, nullptr),
        ERROR_SUCCESS);
    return {type, value};
  }

  static std::string Text(MSIHANDLE summary, UINT property) {
    UINT type = 0;
    std::uint32_t size = 0;
    EXPECT_EQ(
        MsiSummaryInfoGetPropertyA(summary, property, &type, nullptr, nullptr, nullptr, &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, VT_LPSTR);
    std::string text(size + 1, '\0');
    size = static_cast<std::uint32_t>(text.size());
    EXPECT_EQ(
        MsiSummaryInfoGetPropertyA(summary, property, &type, nullptr, nullptr, text.data(), &size),
        ERROR_SUCCESS);
    text.resize(size);
    return text;
  }

  test_support::TempDir dir_;
  int written_ = 0;
};

TEST_F(SummaryInfoTest, EveryTypeReadsBackWithTextsInTheSetsCodepage) {
  OwnedHandle summary;
  ASSERT_EQ(Open(fixtures::PropertySetStream({
                     {PID_CODEPAGE, SummaryI2(1252)},
                     {PID_SUBJECT, SummaryText("caf\xE9")},
                     {PID_CREATE_DTM, fixtures::SummaryFileTime(0x01D2'8A1B'2C3D'4E5Full)},
                     {PID_PAGECOUNT, SummaryI4(-5)},
                     {PID_WORDCOUNT, SummaryI4(3)},
                     {PID_WORDCOUNT, SummaryI4(0)},  // a second copy: the first counts
                     {PID_COMMENTS, std::string("\x08\x00\x00\x00"
                                                "abcd",
                                                8)},  // a BSTR
                     {40, SummaryI4(7)},              // beyond the summary's properties
                     {PID_TITLE, SummaryText("")},
                 }),
                 &summary),
            ERROR_SUCCESS);
  EXPECT_EQ(Integer(summary.get(), PID_CODEPAGE), std::make_pair(VT_I2, 1252));
  EXPECT_EQ(Integer(summary.get(), PID_PAGECOUNT), std::make_pair(VT_I4, -5));
  EXPECT_EQ(Integer(summary.get(), PID_WORDCOUNT), std::make_pair(VT_I4, 3));
  EXPECT_EQ(Integer(summary.get(), PID_COMMENTS).first, VT_EMPTY);
  EXPECT_EQ(Integer(summary.get(), PID_AUTHOR).first, VT_EMPTY);
  EXPECT_EQ(Text(summary.get(), PID_SUBJECT), "caf\xC3\xA9");
  EXPECT_EQ(Text(summary.get(), PID_TITLE), "");
  UINT count = 0;
  EXPECT_EQ(MsiSummaryInfoGetPropertyCount(summary.get(), &count), ERROR_SUCCESS);
  EXPECT_EQ(count, 6u);

  UINT type = 0;
  FILETIME time;
  EXPECT_EQ(MsiSummaryInfoGetPropertyA(summary.get(), PID_CREATE_DTM, &type, nullptr, &time,
                                       nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(type, VT_FILETIME);
  EXPECT_EQ(time.dwHighDateTime, 0x01D28A1Bu);
  EXPECT_EQ(time.dwLowDateTime, 0x2C3D4E5Fu);

  // A text that does not fit is cut, and the length it needs is reported.
  char buffer[4];
  std::uint32_t size = sizeof buffer;
  EXPECT_EQ(MsiSummaryInfoGetPropertyA(summary.get(), PID_SUBJECT, &type, nullptr, nullptr, buffer,
                                       &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 5u);
  EXPECT_STREQ(buffer, "caf");
  size = 0;
  EXPECT_EQ(MsiSummaryInfoGetPropertyA(summary.get(), PID_SUBJECT, &type, nullptr, nullptr, buffer,
                                       &size),
            ERROR_MORE_DATA);

  for (UINT unknown : {0u, 20u, 40u}) {
    EXPECT_EQ(MsiSummaryInfoGetPropertyA(summary.get(), unknown, &type, nullptr, nullptr, nullptr,
                                         nullptr),
              ERROR_UNKNOWN_PROPERTY);
  }
}

TEST_F(SummaryInfoTest, TheFixturePackagesSummaryAndHandles) {
  fixtures::PackageDescription package;
  package.tables.push_back(fixtures::StandardTable("Property"));
  package.summary_information = true;
  const std::string path = dir_ / "standard.msi";
  fixtures::WritePackageFile(path, package);

  OwnedHandle database;
  ASSERT_EQ(MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_READONLY, database.out()), ERROR_SUCCESS);
  OwnedHandle summary;
  ASSERT_EQ(MsiGetSummaryInformationA(database.get(), nullptr, 0, summary.out()), ERROR_SUCCESS);
  EXPECT_EQ(Integer(summary.get(), PID_WORDCOUNT), std::make_pair(VT_I4, 2));
  EXPECT_EQ(Integer(summary.get(), PID_PAGECOUNT), std::make_pair(VT_I4, 200));
  EXPECT_EQ(Text(summary.get(), PID_TEMPLATE), "Intel;1033");

  // Handles of the wrong kind, and arguments the read-only summary refuses.
  UINT type = 0;
  EXPECT_EQ(MsiSummaryInfoGetPropertyA(database.get(), PID_TITLE, &type, nullptr, nullptr, nullptr,
                                       nullptr),
            ERROR_INVALID_HANDLE);
  MSIHANDLE out = 77;
  EXPECT_EQ(MsiGetSummaryInformationA(summary.get(), nullptr, 0, &out), ERROR_INVALID_HANDLE);
  EXPECT_EQ(out, 0u);
  EXPECT_EQ(MsiGetSummaryInformationA(database.get(), nullptr, 1, &out), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MsiGetSummaryInformationA(0, nullptr, 0, &out), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(MsiGetSummaryInformationA(0, (dir_ / "none.msi").c_str(), 0, &out), ERROR_OPEN_FAILED);
  EXPECT_EQ(MsiGetSummaryInformationA(database.get(), nullptr, 0, nullptr),
            ERROR_INVALID_PARAMETER);

  // The summary outlives the database's handle; once closed it is gone.
  MsiCloseHandle(database.get());
  EXPECT_EQ(Text(summary.get(), PID_SUBJECT), "pandrel test package");
  const MSIHANDLE closed = summary.get();
  EXPECT_EQ(MsiCloseHandle(closed), ERROR_SUCCESS);
  EXPECT_EQ(
      MsiSummaryInfoGetPropertyA(closed, PID_TITLE, &type, nullptr, nullptr, nullptr, nullptr),
      ERROR_INVALID_HANDLE);
  *summary.out() = 0;
}

TEST_F(SummaryInfoTest, APackageWithoutTheStreamHasAnEmptySummary) {
  OwnedHandle summary;
  ASSERT_EQ(Open("", &summary), ERROR_SUCCESS);
  EXPECT_EQ(Integer(summary.get(), PID_WORDCOUNT).first, VT_EMPTY);
  UINT count = 9;
  EXPECT_EQ(MsiSummaryInfoGetPropertyCount(summary.get(), &count), ERROR_SUCCESS);
  EXPECT_EQ(count, 0u);
}

void PutU32At(std::string& bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
}

TEST_F(SummaryInfoTest, PropertySetsThatDoNotAddUpAreInvalidData) {
  // The section begins at 48 with its size and count, its (id, offset) pairs
  // at 56, Word Count (I4) at 72 and Subject (LPSTR, its length at 84) at 80.
  const std::string good = fixtures::PropertySetStream(
      {{PID_WORDCOUNT, SummaryI4(2)}, {PID_SUBJECT, SummaryText("abc")}});
  ASSERT_EQ(good.size(), 48u + 24u + 8u + 12u);
  struct Case {
    const char* what;
    std::size_t offset;   // where a 32-bit value is patched in
    std::uint32_t value;  // the value
    std::size_t cut = 0;  // or the stream is cut to this length
  };
  const Case cases[] = {
      {"shorter than its header", 0, 0, 20},
      {"no byte order mark", 0, 0xFFFF, 0},
      {"no section", 24, 0, 0},
      {"more sections than the stream holds", 24, 0x7FFFFFFF, 0},
      {"another property set", 28, 0x12345678, 0},
      {"section past the end", 44, 5000, 0},
      {"section size past the end", 48, 5000, 0},
      {"section smaller than its header", 48, 4, 0},
      {"more properties than the section holds", 52, 0x20000000, 0},
      {"property inside the section's header", 60, 4, 0},
      {"property past the section's end", 60, 0xFFFFFFF0, 0},
      {"text longer than the section", 84, 1000, 0},
      {"integer cut at the section's end", 48, 24 + 6, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = good;
    if (c.cut != 0) {
      bytes.resize(c.cut);
    } else {
      PutU32At(bytes, c.offset, c.value);
    }
    OwnedHandle summary;
    EXPECT_EQ(Open(bytes, &summary), ERROR_INVALID_DATA);
    EXPECT_EQ(summary.get(), 0u);
  }
  // The untouched set reads.
  OwnedHandle summary;
  ASSERT_EQ(Open(good, &summary), ERROR_SUCCESS);
  EXPECT_EQ(Text(summary.get(), PID_SUBJECT), "abc");
}

TEST(SummaryInfoCorpus, RealPackagesAreCompressedWithLongNames) {
  SKIP_WITHOUT_CORPUS();
  int checked = 0;
  for (const auto& item : std::filesystem::directory_iterator(test_support::CorpusDir())) {
    if (item.path().extension() != ".msi") continue;
    SCOPED_TRACE(item.path().filename().string());
    OwnedHandle summary;
    ASSERT_EQ(MsiGetSummaryInformationA(0, item.path().string().c_str(), 0, summary.out()),
              ERROR_SUCCESS);
    UINT type = 0;
    int value = 0;
    ASSERT_EQ(MsiSummaryInfoGetPropertyA(summary.get(), PID_WORDCOUNT, &type, &value, nullptr,
                                         nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(type, VT_I4);
    EXPECT_EQ(value, msidbSumInfoSourceTypeCompressed);
    ASSERT_EQ(MsiSummaryInfoGetPropertyA(summary.get(), PID_PAGECOUNT, &type, &value, nullptr,
                                         nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_GE(value, 100);
    EXPECT_LE(value, 300);
    ++checked;
  }
  EXPECT_GE(checked, 3);
}

}  // namespace
