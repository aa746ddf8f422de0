// FDIIsCabinet and the header checks of FDICopy, one case per kind of
// damage to a sound cabinet: what FDIIsCabinet answers, and the error that
// FDICopy leaves in the ERF's erfOper. A cabinet whose directory cannot be
// read must fail before any entry is handed out.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fixtures/cabinet_writer.h"
#include "platform/fdi/fdi_harness.h"
#include "support/test_support.h"

namespace fdi_test {
namespace {

// Where the fields of a cabinet lie (CFHEADER, then CFFOLDER and CFFILE).
constexpr std::size_t kSignature = 0;
constexpr std::size_t kFilesOffset = 16;  // u32 coffFiles
constexpr std::size_t kMinorVersion = 24;
constexpr std::size_t kMajorVersion = 25;
constexpr std::size_t kFolderCount = 26;  // u16
constexpr std::size_t kFlags = 30;        // u16
constexpr std::size_t kHeaderBytes = 36;
constexpr std::size_t kFolderBytes = 8;
constexpr std::size_t kFileFolder = 8;  // u16 iFolder, inside a CFFILE
constexpr std::size_t kFileBytes = 16;  // without the name
constexpr std::uint16_t kHasReserve = 0x0004;

std::uint32_t Get32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
  return value;
}

void Put16(std::string* bytes, std::size_t at, std::uint16_t value) {
  (*bytes)[at] = static_cast<char>(value & 0xFF);
  (*bytes)[at + 1] = static_cast<char>(value >> 8);
}

void Put32(std::string* bytes, std::size_t at, std::uint32_t value) {
  Put16(bytes, at, static_cast<std::uint16_t>(value));
  Put16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

void AddFlag(std::string* bytes, std::uint16_t flag) {
  const auto flags =
      static_cast<std::uint16_t>(static_cast<std::uint8_t>((*bytes)[kFlags]) |
                                 static_cast<std::uint8_t>((*bytes)[kFlags + 1]) << 8);
  Put16(bytes, kFlags, static_cast<std::uint16_t>(flags | flag));
}

struct HeaderCase {
  const char* name;
  // Damages the sound cabinet; `files` is where its CFFILE table starts.
  std::function<void(std::string* bytes, std::size_t files)> damage;
  bool is_cabinet;
  FDIERROR copy_error;  // FDIERROR_NONE: the copy succeeds
};

const std::vector<HeaderCase>& Cases() {
  static const std::vector<HeaderCase> cases = {
      {"sound", [](std::string*, std::size_t) {}, true, FDIERROR_NONE},
      {"empty file", [](std::string* b, std::size_t) { b->clear(); }, false,
       FDIERROR_NOT_A_CABINET},
      {"no signature", [](std::string* b, std::size_t) { (*b)[kSignature + 3] = 'X'; }, false,
       FDIERROR_NOT_A_CABINET},
      {"header cut", [](std::string* b, std::size_t) { b->resize(kHeaderBytes - 1); }, false,
       FDIERROR_NOT_A_CABINET},
      {"minor version 2", [](std::string* b, std::size_t) { (*b)[kMinorVersion] = 2; }, false,
       FDIERROR_UNKNOWN_CABINET_VERSION},
      {"major version 2", [](std::string* b, std::size_t) { (*b)[kMajorVersion] = 2; }, false,
       FDIERROR_UNKNOWN_CABINET_VERSION},
      {"CFFOLDER table cut",
       [](std::string* b, std::size_t) { b->resize(kHeaderBytes + kFolderBytes - 3); }, true,
       FDIERROR_CORRUPT_CABINET},
      {"CFFILE table cut in its fields",
       [](std::string* b, std::size_t files) { b->resize(files + kFileBytes - 5); }, true,
       FDIERROR_CORRUPT_CABINET},
      {"CFFILE table cut in a name",
       [](std::string* b, std::size_t files) { b->resize(files + kFileBytes + 2); }, true,
       FDIERROR_CORRUPT_CABINET},
      {"CFFILE table past the end",
       [](std::string* b, std::size_t) {
         Put32(b, kFilesOffset, static_cast<std::uint32_t>(b->size() + 100));
       },
       true, FDIERROR_CORRUPT_CABINET},
      {"folder index past the folders",
       [](std::string* b, std::size_t files) { Put16(b, files + kFileFolder, 1); }, true,
       FDIERROR_CORRUPT_CABINET},
      {"no folders at all", [](std::string* b, std::size_t) { Put16(b, kFolderCount, 0); }, true,
       FDIERROR_CORRUPT_CABINET},
      {"continued from a previous cabinet it does not name",
       [](std::string* b, std::size_t files) { Put16(b, files + kFileFolder, 0xFFFD); }, true,
       FDIERROR_CORRUPT_CABINET},
      {"continued in a next cabinet it does not name",
       [](std::string* b, std::size_t files) { Put16(b, files + kFileFolder, 0xFFFE); }, true,
       FDIERROR_CORRUPT_CABINET},
      {"second entry's folder index bad",
       [](std::string* b, std::size_t files) {
         const std::size_t second = files + kFileBytes + std::string("alpha").size() + 1;
         Put16(b, second + kFileFolder, 7);
       },
       true, FDIERROR_CORRUPT_CABINET},
      {"reserve fields cut",
       [](std::string* b, std::size_t) {
         AddFlag(b, kHasReserve);
         b->resize(kHeaderBytes + 2);
       },
       true, FDIERROR_CORRUPT_CABINET},
      {"header reserve past the end",
       [](std::string* b, std::size_t) {
         AddFlag(b, kHasReserve);
         b->insert(kHeaderBytes, std::string("\xFF\xFF\x00\x00", 4));
       },
       true, FDIERROR_CORRUPT_CABINET},
  };
  return cases;
}

using FdiHeaderTest = FdiTest;

TEST_F(FdiHeaderTest, IsCabinetAndCopyAnswerEachDamagedHeader) {
  fixtures::CabinetDescription description;
  description.compression = fixtures::CabCompression::kStored;
  description.files = {{"alpha", Pattern(1000, 7)}, {"beta", "0123456789"}};
  const std::string sound = fixtures::WriteCabinet(description);
  const std::size_t files = Get32(sound, kFilesOffset);
  ASSERT_EQ(files, kHeaderBytes + kFolderBytes);

  for (const HeaderCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    std::string bytes = sound;
    c.damage(&bytes, files);
    Place({bytes}, {"data.cab"});

    Fdi fdi;
    ASSERT_NE(fdi.get(), nullptr);
    FDICABINETINFO info{};
    EXPECT_EQ(fdi.IsCabinet(Folder() + "data.cab", &info), c.is_cabinet);
    if (!c.is_cabinet) {
      EXPECT_EQ(fdi.erf().erfOper, c.copy_error);
      EXPECT_TRUE(fdi.erf().fError);
    }

    test_support::TempDir output;  // a fresh one: nothing written before
    Session session(output.path().string());
    const bool copied = session.Copy(fdi, "data.cab", Folder());
    EXPECT_EQ(copied, c.copy_error == FDIERROR_NONE);
    if (!copied) {
      EXPECT_EQ(fdi.erf().erfOper, c.copy_error);
      EXPECT_TRUE(session.EventsOf(fdintCOPY_FILE).empty());
      EXPECT_TRUE(session.Written().empty());
    }
  }
}

TEST_F(FdiHeaderTest, IsCabinetReportsTheHeaderFields) {
  fixtures::CabinetDescription description;
  description.compression = fixtures::CabCompression::kMszip;
  description.files = {{"one", Pattern(5000, 1)}, {"two", "2"}, {"three", "33"}};
  const std::string cabinet = fixtures::WriteCabinet(description);
  Place({cabinet}, {"data.cab"});
  Fdi fdi;
  FDICABINETINFO info{};
  ASSERT_TRUE(fdi.IsCabinet(Folder() + "data.cab", &info));
  EXPECT_EQ(info.cbCabinet, static_cast<long>(cabinet.size()));
  EXPECT_EQ(info.cFolders, 1);
  EXPECT_EQ(info.cFiles, 3);
  EXPECT_EQ(info.iCabinet, 0);
  EXPECT_FALSE(info.fReserve);
  EXPECT_FALSE(info.hasprev);
  EXPECT_FALSE(info.hasnext);

  // A handle that is not open, or no place for the answer, is no cabinet.
  EXPECT_EQ(FDIIsCabinet(fdi.get(), -1, &info), 0);
  EXPECT_EQ(FDIIsCabinet(nullptr, -1, &info), 0);
}

}  // namespace
}  // namespace fdi_test
