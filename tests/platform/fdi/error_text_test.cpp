// The reasons given for FDI's errors: one per FDIERROR value and per
// decoder code, each its own, and a fallback for values FDI never records;
// and the reason that goes with what a failed copy leaves in its ERF.
#include "fdi/error_text.h"

#include <gtest/gtest.h>
#include <mspack.h>

#include <set>
#include <string>
#include <vector>

#include "fixtures/cabinet_writer.h"
#include "platform/fdi/fdi_harness.h"
#include "support/test_support.h"

namespace fdi_test {
namespace {

struct TextCase {
  int value;
  const char* text;
};

const std::vector<TextCase> kErrorTexts = {
    {FDIERROR_NONE, "no error"},
    {FDIERROR_CABINET_NOT_FOUND,
     "the cabinet, or the next cabinet of the set, could not be opened"},
    {FDIERROR_NOT_A_CABINET, "not a cabinet"},
    {FDIERROR_UNKNOWN_CABINET_VERSION, "the cabinet's format version is not supported"},
    {FDIERROR_CORRUPT_CABINET, "the cabinet's data is damaged (checksum or decoding failed)"},
    {FDIERROR_ALLOC_FAIL, "out of memory"},
    {FDIERROR_BAD_COMPR_TYPE, "the cabinet uses an unknown compression type"},
    {FDIERROR_MDI_FAIL, "the decoder could not be used (bad arguments or an internal failure)"},
    {FDIERROR_TARGET_FILE, "a file could not be written"},
    {FDIERROR_RESERVE_MISMATCH, "the cabinet's reserved areas do not match the set's"},
    {FDIERROR_WRONG_CABINET, "the next cabinet found is not the next one of the set"},
    {FDIERROR_USER_ABORT, "the copy was aborted by the caller"},
    {FDIERROR_EOF, "the cabinet ends too early"},
    {-1, "unknown error"},
    {FDIERROR_EOF + 1, "unknown error"},
    {1 << 30, "unknown error"},
};

const std::vector<TextCase> kDecoderTexts = {
    {MSPACK_ERR_OK, "no decoder error"},
    {MSPACK_ERR_ARGS, "the decoder was given bad arguments"},
    {MSPACK_ERR_OPEN, "a file could not be opened"},
    {MSPACK_ERR_READ, "a read failed or ended early"},
    {MSPACK_ERR_WRITE, "a write failed"},
    {MSPACK_ERR_SEEK, "a seek failed"},
    {MSPACK_ERR_NOMEMORY, "out of memory"},
    {MSPACK_ERR_SIGNATURE, "a signature is wrong"},
    {MSPACK_ERR_DATAFORMAT, "the compressed data is malformed"},
    {MSPACK_ERR_CHECKSUM, "a data block's checksum does not match"},
    {MSPACK_ERR_CRUNCH, "compression failed"},
    {MSPACK_ERR_DECRUNCH, "the compressed data does not decode to the sizes recorded"},
    {-7, "unknown decoder error"},
    {MSPACK_ERR_DECRUNCH + 1, "unknown decoder error"},
};

TEST(ErrorTextTest, EachFdiErrorHasItsOwnReason) {
  std::set<std::string> seen;
  for (const TextCase& c : kErrorTexts) {
    SCOPED_TRACE(c.value);
    ASSERT_NE(fdi::ErrorText(c.value), nullptr);
    EXPECT_STREQ(fdi::ErrorText(c.value), c.text);
    if (std::string(c.text) != "unknown error") {
      EXPECT_TRUE(seen.insert(c.text).second);
    }
  }
  // Every value from FDIERROR_NONE to FDIERROR_EOF is in the table.
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(FDIERROR_EOF) + 1);
}

TEST(ErrorTextTest, EachDecoderErrorHasItsOwnReason) {
  std::set<std::string> seen;
  for (const TextCase& c : kDecoderTexts) {
    SCOPED_TRACE(c.value);
    ASSERT_NE(fdi::DecoderErrorText(c.value), nullptr);
    EXPECT_STREQ(fdi::DecoderErrorText(c.value), c.text);
    if (std::string(c.text) != "unknown decoder error") {
      EXPECT_TRUE(seen.insert(c.text).second);
    }
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(MSPACK_ERR_DECRUNCH) + 1);
}

using ErrorTextCopyTest = FdiTest;

// What a failed FDICopy leaves in the ERF reads as the failure it was.
TEST_F(ErrorTextCopyTest, AFailedCopyReadsAsItsReason) {
  fixtures::CabinetDescription description;
  description.files = {{"one", Pattern(5000, 1)}};
  Place({fixtures::WriteCabinet(description), "not a cabinet at all, only text"},
        {"good.cab", "text.cab"});
  struct CopyCase {
    const char* cabinet;
    bool abort;  // answer fdintCOPY_FILE with -1
    const char* reason;
  };
  const std::vector<CopyCase> cases = {
      {"missing.cab", false, "the cabinet, or the next cabinet of the set, could not be opened"},
      {"text.cab", false, "not a cabinet"},
      {"good.cab", true, "the copy was aborted by the caller"},
  };
  for (const CopyCase& c : cases) {
    SCOPED_TRACE(c.cabinet);
    Fdi fdi;
    Session session(Output());
    if (c.abort) {
      session.answer = [](const Event& event, FDINOTIFICATION*) -> std::optional<intptr_t> {
        if (event.type == fdintCOPY_FILE) return -1;
        return std::nullopt;
      };
    }
    EXPECT_FALSE(session.Copy(fdi, c.cabinet, Folder()));
    EXPECT_STREQ(fdi::ErrorText(fdi.erf().erfOper), c.reason);
    EXPECT_STREQ(fdi::DecoderErrorText(fdi.erf().erfType), "no decoder error");
  }
}

}  // namespace
}  // namespace fdi_test
