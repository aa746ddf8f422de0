// Round trips through cabinets made by the fixture writer: every
// compression it writes, sets whose entries continue from one cabinet into
// the next, and the protocol for a following cabinet that is not there.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/cabinet_writer.h"
#include "platform/fdi/cabinet_set_cutter.h"
#include "platform/fdi/fdi_harness.h"
#include "support/test_support.h"

namespace fdi_test {
namespace {

using fixtures::CabCompression;
using fixtures::CabFile;
using fixtures::CabinetDescription;

CabinetDescription Description(CabCompression compression) {
  CabinetDescription description;
  description.compression = compression;
  description.files = {
      {"File1", Pattern(40000, 1), 0x4A52, 0x8A4B, 0x20},
      {"Empty", "", 0x3021, 0x0000, 0x01},
      {"File_3.dll", Pattern(70000, 3), 0x5B9C, 0x6F7A, 0x21},
      {"last", "x", 0x2821, 0x1234, 0x20},
  };
  return description;
}

using FdiFixtureTest = FdiTest;

class FdiRoundTripTest : public FdiFixtureTest,
                         public ::testing::WithParamInterface<CabCompression> {};

TEST_P(FdiRoundTripTest, EveryEntryComesBackWithItsBytesAndTimes) {
  CabinetDescription description = Description(GetParam());
  Place({fixtures::WriteCabinet(description)}, {"data.cab"});
  {
    Fdi fdi;
    ASSERT_NE(fdi.get(), nullptr);
    Session session(output_folder_.path().string());
    ASSERT_TRUE(session.Copy(fdi, "data.cab", Folder()));

    // The cabinet first, then each entry's COPY followed by its CLOSE.
    const std::vector<Event>& events = session.events();
    ASSERT_EQ(events.size(), 1 + 2 * description.files.size());
    EXPECT_EQ(events[0].type, fdintCABINET_INFO);
    EXPECT_EQ(events[0].psz1, "");
    EXPECT_EQ(events[0].psz3, Folder());
    EXPECT_EQ(events[0].iCabinet, 0);
    for (std::size_t i = 0; i < description.files.size(); ++i) {
      const CabFile& file = description.files[i];
      const Event& copy = events[1 + 2 * i];
      const Event& close = events[2 + 2 * i];
      EXPECT_EQ(copy.type, fdintCOPY_FILE);
      EXPECT_EQ(copy.psz1, file.name);
      EXPECT_EQ(copy.cb, static_cast<long>(file.data.size()));
      EXPECT_EQ(copy.date, file.dos_date);
      EXPECT_EQ(copy.time, file.dos_time);
      EXPECT_EQ(copy.attribs, file.attributes);
      EXPECT_EQ(close.type, fdintCLOSE_FILE_INFO);
      EXPECT_EQ(close.psz1, file.name);
      EXPECT_EQ(close.date, file.dos_date);
      EXPECT_EQ(close.time, file.dos_time);
      EXPECT_EQ(close.attribs, file.attributes);
      EXPECT_NE(close.hf, 0);
    }
    std::map<std::string, std::string> written = session.Written();
    ASSERT_EQ(written.size(), description.files.size());
    for (const CabFile& file : description.files)
      EXPECT_TRUE(SameBytes(written[file.name], file.data)) << file.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Compressions, FdiRoundTripTest,
                         ::testing::Values(CabCompression::kStored, CabCompression::kMszip,
                                           CabCompression::kLzxUncompressed));

TEST_F(FdiFixtureTest, MemoryDoesNotGrowWithTheEntrySize) {
  CabinetDescription description;
  description.compression = CabCompression::kMszip;
  description.files = {{"Big", Pattern(6 << 20, 7)}};
  Place({fixtures::WriteCabinet(description)}, {"big.cab"});
  Fdi fdi;
  ResetPeakBytes();
  Session session(output_folder_.path().string());
  ASSERT_TRUE(session.Copy(fdi, "big.cab", Folder()));
  EXPECT_TRUE(SameBytes(session.Written()["Big"], description.files[0].data));
  EXPECT_LT(PeakBytes(), 1L << 20);
}

// A set of two cabinets whose last entry crosses from the first into the
// second.
class FdiCabinetSetTest : public FdiFixtureTest {
 protected:
  CabinetDescription SetDescription(CabCompression compression) {
    CabinetDescription description;
    description.compression = compression;
    description.files = {{"Head", Pattern(3000, 11), 0x4A52, 0x8A4B, 0x20},
                         {"Spanning", Pattern(100000, 12), 0x4A53, 0x8A4C, 0x21}};
    return description;
  }
  std::vector<std::string> TwoCabinets(const CabinetDescription& description,
                                       const std::vector<std::string>& names = {"one.cab",
                                                                                "two.cab"}) {
    return CutCabinet(fixtures::WriteCabinet(description), names, {1});
  }
};

TEST_F(FdiCabinetSetTest, AnEntryCrossingIntoTheNextCabinetIsDecodedWhole) {
  for (CabCompression compression :
       {CabCompression::kStored, CabCompression::kMszip, CabCompression::kLzxUncompressed}) {
    SCOPED_TRACE(static_cast<int>(compression));
    CabinetDescription description = SetDescription(compression);
    Place(TwoCabinets(description), {"one.cab", "two.cab"});
    test_support::TempDir output;
    Fdi fdi;
    Session session(output.path().string());
    ASSERT_TRUE(session.Copy(fdi, "one.cab", Folder())) << fdi.erf().erfOper;

    std::vector<Event> next = session.EventsOf(fdintNEXT_CABINET);
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].psz1, "two.cab");
    EXPECT_EQ(next[0].psz2, "DISK2");
    EXPECT_EQ(next[0].psz3, Folder());
    EXPECT_EQ(next[0].fdie, FDIERROR_NONE);
    std::vector<Event> infos = session.EventsOf(fdintCABINET_INFO);
    ASSERT_EQ(infos.size(), 2u);
    EXPECT_EQ(infos[0].psz1, "two.cab");
    EXPECT_EQ(infos[1].iCabinet, 1);

    std::map<std::string, std::string> written = session.Written();
    ASSERT_EQ(written.size(), 2u);
    for (const CabFile& file : description.files)
      EXPECT_TRUE(SameBytes(written[file.name], file.data));
    std::vector<Event> closes = session.EventsOf(fdintCLOSE_FILE_INFO);
    ASSERT_EQ(closes.size(), 2u);
    EXPECT_EQ(closes[1].psz1, "Spanning");
    EXPECT_EQ(closes[1].attribs, 0x21);
  }
}

TEST_F(FdiCabinetSetTest, TheSecondCabinetAloneReportsItsContinuedEntriesAsPartial) {
  CabinetDescription description = SetDescription(CabCompression::kMszip);
  Place(TwoCabinets(description), {"one.cab", "two.cab"});
  Fdi fdi;
  Session session(output_folder_.path().string());
  ASSERT_TRUE(session.Copy(fdi, "two.cab", Folder()));
  std::vector<Event> partial = session.EventsOf(fdintPARTIAL_FILE);
  ASSERT_EQ(partial.size(), 1u);
  EXPECT_EQ(partial[0].psz1, "Spanning");
  EXPECT_EQ(partial[0].psz2, "one.cab");
  EXPECT_EQ(partial[0].psz3, "DISK1");
  EXPECT_TRUE(session.EventsOf(fdintCOPY_FILE).empty());
  EXPECT_TRUE(session.Written().empty());
}

TEST_F(FdiCabinetSetTest, AnEntryCrossingThreeCabinetsIsDecodedWhole) {
  CabinetDescription description;
  description.compression = CabCompression::kMszip;
  description.files = {{"Small", Pattern(100, 21)}, {"Huge", Pattern(200000, 22)}};
  std::vector<std::string> names = {"a.cab", "b.cab", "c.cab"};
  Place(CutCabinet(fixtures::WriteCabinet(description), names, {2, 4}), names);
  Fdi fdi;
  Session session(output_folder_.path().string());
  ASSERT_TRUE(session.Copy(fdi, "a.cab", Folder())) << fdi.erf().erfOper;
  std::vector<Event> next = session.EventsOf(fdintNEXT_CABINET);
  ASSERT_EQ(next.size(), 2u);
  EXPECT_EQ(next[0].psz1, "b.cab");
  EXPECT_EQ(next[1].psz1, "c.cab");
  std::map<std::string, std::string> written = session.Written();
  ASSERT_EQ(written.size(), 2u);
  for (const CabFile& file : description.files)
    EXPECT_TRUE(SameBytes(written[file.name], file.data));
}

TEST_F(FdiCabinetSetTest, AMissingNextCabinetIsAskedForAgainAndMinusOneEndsTheCopy) {
  CabinetDescription description = SetDescription(CabCompression::kMszip);
  Place({TwoCabinets(description)[0]}, {"one.cab"});
  Fdi fdi;
  Session session(output_folder_.path().string());
  EXPECT_FALSE(session.Copy(fdi, "one.cab", Folder()));
  EXPECT_EQ(fdi.erf().erfOper, FDIERROR_USER_ABORT);
  EXPECT_TRUE(fdi.erf().fError);
  std::vector<Event> next = session.EventsOf(fdintNEXT_CABINET);
  ASSERT_EQ(next.size(), 2u);
  EXPECT_EQ(next[0].fdie, FDIERROR_NONE);
  EXPECT_EQ(next[1].fdie, FDIERROR_CABINET_NOT_FOUND);
  // The entry before the cut is still asked for, but its data block is read
  // past into the cut one, so it does not come out.
  ASSERT_EQ(session.EventsOf(fdintCOPY_FILE).size(), 1u);
  EXPECT_EQ(session.EventsOf(fdintCOPY_FILE)[0].psz1, "Head");
  EXPECT_TRUE(session.EventsOf(fdintCLOSE_FILE_INFO).empty());
}

TEST_F(FdiCabinetSetTest, EntriesWellBeforeAMissingCabinetComeOutWhole) {
  for (CabCompression compression :
       {CabCompression::kStored, CabCompression::kMszip, CabCompression::kLzxUncompressed}) {
    SCOPED_TRACE(static_cast<int>(compression));
    CabinetDescription description;
    description.compression = compression;
    description.files = {{"First", Pattern(5000, 21)},
                         {"Second", Pattern(20000, 22)},
                         {"Spanning", Pattern(400000, 23)}};
    test_support::TempDir cabinets;
    test_support::WriteFile(cabinets / "one.cab", CutCabinet(fixtures::WriteCabinet(description),
                                                             {"one.cab", "two.cab"}, {8})[0]);
    test_support::TempDir output;
    Fdi fdi;
    Session session(output.path().string());
    EXPECT_FALSE(session.Copy(fdi, "one.cab", cabinets.path().string() + "/"));
    EXPECT_EQ(fdi.erf().erfOper, FDIERROR_USER_ABORT);
    std::vector<Event> closed = session.EventsOf(fdintCLOSE_FILE_INFO);
    ASSERT_EQ(closed.size(), 2u);
    EXPECT_EQ(closed[0].psz1, "First");
    EXPECT_EQ(closed[1].psz1, "Second");
    EXPECT_TRUE(SameBytes(session.Written()["First"], description.files[0].data));
    EXPECT_TRUE(SameBytes(session.Written()["Second"], description.files[1].data));
  }
}

TEST_F(FdiCabinetSetTest, ACalleeThatAlwaysAnswersZeroIsNotAskedForever) {
  CabinetDescription description = SetDescription(CabCompression::kStored);
  Place({TwoCabinets(description)[0]}, {"one.cab"});
  Fdi fdi;
  Session session(output_folder_.path().string());
  session.answer = [](const Event& event, FDINOTIFICATION*) -> std::optional<intptr_t> {
    if (event.type == fdintNEXT_CABINET) return 0;
    return std::nullopt;
  };
  EXPECT_FALSE(session.Copy(fdi, "one.cab", Folder()));
  EXPECT_EQ(fdi.erf().erfOper, FDIERROR_CABINET_NOT_FOUND);
  EXPECT_EQ(session.EventsOf(fdintNEXT_CABINET).size(), 8u);
}

TEST_F(FdiCabinetSetTest, TheCalleeMayPointToAnotherFolder) {
  CabinetDescription description = SetDescription(CabCompression::kLzxUncompressed);
  std::vector<std::string> cabinets = TwoCabinets(description);
  test_support::TempDir elsewhere;
  Place({cabinets[0]}, {"one.cab"});
  test_support::WriteFile(elsewhere / "two.cab", cabinets[1]);
  std::string other_folder = elsewhere.path().string() + "/";
  Fdi fdi;
  Session session(output_folder_.path().string());
  session.answer = [&](const Event& event, FDINOTIFICATION* n) -> std::optional<intptr_t> {
    if (event.type != fdintNEXT_CABINET) return std::nullopt;
    if (event.fdie == FDIERROR_NONE) return 0;  // the first look goes to the wrong folder
    if (other_folder.size() >= CB_MAX_CAB_PATH) return -1;
    std::snprintf(n->psz3, CB_MAX_CAB_PATH, "%s", other_folder.c_str());
    return 0;
  };
  ASSERT_TRUE(session.Copy(fdi, "one.cab", Folder()));
  std::vector<Event> infos = session.EventsOf(fdintCABINET_INFO);
  ASSERT_EQ(infos.size(), 2u);
  EXPECT_EQ(infos[1].psz3, other_folder);
  EXPECT_TRUE(SameBytes(session.Written()["Spanning"], description.files[1].data));
}

TEST_F(FdiCabinetSetTest, TheNextCabinetIsFoundWhateverTheCaseOfItsName) {
  CabinetDescription description = SetDescription(CabCompression::kMszip);
  Place(TwoCabinets(description, {"one.cab", "Two.Cab"}), {"one.cab", "TWO.CAB"});
  Fdi fdi;
  Session session(output_folder_.path().string());
  ASSERT_TRUE(session.Copy(fdi, "one.cab", Folder()));
  EXPECT_TRUE(SameBytes(session.Written()["Spanning"], description.files[1].data));
}

TEST_F(FdiCabinetSetTest, ACabinetOfAnotherSetIsRefusedAsTheWrongOne) {
  CabinetDescription description = SetDescription(CabCompression::kMszip);
  std::vector<std::string> cabinets = TwoCabinets(description);
  // The first cabinet of the set stands where the second should be: its
  // index within the set is wrong.
  Place({cabinets[0], cabinets[0]}, {"one.cab", "two.cab"});
  Fdi fdi;
  Session session(output_folder_.path().string());
  EXPECT_FALSE(session.Copy(fdi, "one.cab", Folder()));
  std::vector<Event> next = session.EventsOf(fdintNEXT_CABINET);
  ASSERT_EQ(next.size(), 2u);
  EXPECT_EQ(next[1].fdie, FDIERROR_WRONG_CABINET);
}

}  // namespace
}  // namespace fdi_test
