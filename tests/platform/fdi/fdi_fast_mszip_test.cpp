// The fast stored, MSZIP and LZX paths against libmspack: both decoders
// over the same cabinets (fixture cabinets of many shapes, every LZX window
// size, cut sets and the corpus) must send the same notifications and write the
// same bytes; and damaged data blocks must fail the copy rather than yield
// other bytes.
#include <gtest/gtest.h>
#include <mspack.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "fdi/data_block_checksum.h"
#include "fdi/decoder_choice.h"
#include "fdi/fdi_context.h"
#include "fdi/folder_extractor.h"
#include "fixtures/cabinet_checksum.h"
#include "fixtures/cabinet_writer.h"
#include "platform/fdi/cabinet_set_cutter.h"
#include "platform/fdi/fdi_harness.h"
#include "support/test_support.h"

namespace fdi_test {
namespace {

using fixtures::CabCompression;
using fixtures::CabFile;
using fixtures::CabinetDescription;

// What one FDICopy did: its result, error record, notifications and files.
struct Outcome {
  bool copied = false;
  ERF erf = {};
  std::vector<Event> events;
  std::map<std::string, std::string> written;
};

class FdiFastMszipTest : public FdiTest {
 protected:
  // Copies `name` from the cabinet folder with the fast path on or off,
  // into a fresh output folder. `skip_every` > 0 skips every n-th entry.
  Outcome CopyWith(bool fast, const std::string& name, int skip_every = 0,
                   const std::string& folder = "") {
    test_support::TempDir output;
    Fdi fdi;
    fdi::UseFastMszip(fdi.get(), fast);
    fdi::UseFastLzx(fdi.get(), fast);
    fdi::UseFastStored(fdi.get(), fast);
    Session session(output.path().string());
    int count = 0;
    if (skip_every > 0) {
      session.answer = [&](const Event& event, FDINOTIFICATION*) -> std::optional<intptr_t> {
        if (event.type == fdintCOPY_FILE && ++count % skip_every == 0) return 0;
        return std::nullopt;
      };
    }
    Outcome outcome;
    outcome.copied = session.Copy(fdi, name, folder.empty() ? Folder() : folder);
    outcome.erf = fdi.erf();
    outcome.events = session.events();
    outcome.written = session.Written();
    return outcome;
  }

  // Both decoders over `name`: the same result, notifications and bytes.
  void ExpectSameFromBoth(const std::string& name, int skip_every = 0,
                          const std::string& folder = "") {
    Outcome slow = CopyWith(false, name, skip_every, folder);
    Outcome fast = CopyWith(true, name, skip_every, folder);
    EXPECT_EQ(fast.copied, slow.copied) << name;
    EXPECT_EQ(fast.erf.erfOper, slow.erf.erfOper) << name;
    ASSERT_EQ(fast.events.size(), slow.events.size()) << name;
    for (std::size_t i = 0; i < fast.events.size(); ++i) {
      const Event& a = fast.events[i];
      const Event& b = slow.events[i];
      EXPECT_EQ(a.type, b.type) << name << " event " << i;
      EXPECT_EQ(a.psz1, b.psz1) << name << " event " << i;
      EXPECT_EQ(a.psz2, b.psz2) << name << " event " << i;
      EXPECT_EQ(a.cb, b.cb) << name << " event " << i;
      EXPECT_EQ(a.hf != 0, b.hf != 0) << name << " event " << i;
      EXPECT_EQ(a.date, b.date) << name << " event " << i;
      EXPECT_EQ(a.time, b.time) << name << " event " << i;
      EXPECT_EQ(a.attribs, b.attribs) << name << " event " << i;
      EXPECT_EQ(a.setID, b.setID) << name << " event " << i;
      EXPECT_EQ(a.iCabinet, b.iCabinet) << name << " event " << i;
      EXPECT_EQ(a.iFolder, b.iFolder) << name << " event " << i;
      EXPECT_EQ(a.fdie, b.fdie) << name << " event " << i;
    }
    ASSERT_EQ(fast.written.size(), slow.written.size()) << name;
    for (const auto& [file, bytes] : slow.written)
      EXPECT_TRUE(SameBytes(fast.written[file], bytes)) << name << ": " << file;
  }
};

// Bytes that repeat at long distances, so that back references reach across
// block boundaries into the previous block's window.
std::string FarRepeats(std::size_t size, unsigned seed) {
  std::string unit = Pattern(20000, seed);
  std::string bytes;
  while (bytes.size() < size) bytes += unit;
  bytes.resize(size);
  return bytes;
}

CabinetDescription Mixed(std::uint32_t block_size,
                         CabCompression compression = CabCompression::kMszip) {
  CabinetDescription description;
  description.compression = compression;
  description.block_size = block_size;
  description.files = {{"a", Pattern(100000, 1)},      {"empty", ""},
                       {"b", FarRepeats(150000, 2)},   {"one", "x"},
                       {"c", Pattern(32768, 3)},       {"d", FarRepeats(70001, 4)},
                       {"e", std::string(50000, '\0')}};
  for (int i = 0; i < 40; ++i)
    description.files.push_back({"s" + std::to_string(i), Pattern(777 * i, 10 + i)});
  return description;
}

TEST_F(FdiFastMszipTest, BothDecodersAgreeOnFixtureCabinets) {
  // Full 32 KiB blocks (history across blocks), short blocks (a fresh
  // window each), and blocks of odd sizes; MSZIP and stored.
  for (CabCompression compression : {CabCompression::kMszip, CabCompression::kStored}) {
    for (std::uint32_t block_size : {32768u, 1000u, 32767u, 4096u}) {
      SCOPED_TRACE(block_size);
      SCOPED_TRACE(static_cast<int>(compression));
      Place({fixtures::WriteCabinet(Mixed(block_size, compression))}, {"mixed.cab"});
      ExpectSameFromBoth("mixed.cab");
      // Skipped entries are decoded past, not written.
      ExpectSameFromBoth("mixed.cab", 2);
      ExpectSameFromBoth("mixed.cab", 3);
    }
  }
}

// The fixture writer's cabinets: the header (36 bytes), one CFFOLDER whose
// first 4 bytes give the offset of the first CFDATA, whose header is csum
// (4), cbData (2), cbUncomp (2).
struct Layout {
  static std::size_t FirstBlock(const std::string& cabinet) {
    auto byte = [&](std::size_t at) { return static_cast<unsigned char>(cabinet[at]); };
    return byte(36) | byte(37) << 8 | byte(38) << 16 | static_cast<std::size_t>(byte(39)) << 24;
  }
  static std::size_t NextBlock(const std::string& cabinet, std::size_t block) {
    auto byte = [&](std::size_t at) { return static_cast<unsigned char>(cabinet[at]); };
    return block + 8 + (byte(block + 4) | byte(block + 5) << 8);
  }
  static void PutU16(std::string& cabinet, std::size_t at, unsigned value) {
    cabinet[at] = static_cast<char>(value & 0xFF);
    cabinet[at + 1] = static_cast<char>(value >> 8);
  }
};

// An LZX cabinet whose first frame is split over two data blocks of 16 KiB
// each: libmspack decodes it, the fast path hands the folder over.
std::string LzxFirstFrameSplit() {
  std::string split = fixtures::WriteCabinet(Mixed(32768, CabCompression::kLzx));
  const std::size_t block = Layout::FirstBlock(split);
  const std::size_t payload = Layout::NextBlock(split, block) - block - 8;
  const std::string first = split.substr(block + 8, payload / 2);
  const std::string second = split.substr(block + 8 + payload / 2);
  std::string head(8, '\0'), tail(8, '\0');
  Layout::PutU16(head, 4, static_cast<unsigned>(first.size()));
  Layout::PutU16(head, 6, 16384);
  Layout::PutU16(tail, 4, static_cast<unsigned>(payload - first.size()));
  Layout::PutU16(tail, 6, 16384);
  split = split.substr(0, block) + head + first + tail + second;
  Layout::PutU16(split, 40, (static_cast<unsigned char>(split[40]) | split[41] << 8) + 1);
  return split;
}

TEST_F(FdiFastMszipTest, BothDecodersAgreeOnLzxCabinetsOfEveryWindowSize) {
  // Real LZX streams (verbatim, aligned and uncompressed blocks, repeated
  // offsets, E8 translation) with the window running on across the data
  // blocks, and LZX made of uncompressed blocks only.
  for (unsigned bits = 15; bits <= 21; ++bits) {
    SCOPED_TRACE(bits);
    CabinetDescription description = Mixed(32768, CabCompression::kLzx);
    description.lzx_window_bits = bits;
    Place({fixtures::WriteCabinet(description)}, {"lzx.cab"});
    ExpectSameFromBoth("lzx.cab");
    ExpectSameFromBoth("lzx.cab", 3);
  }
  Place({fixtures::WriteCabinet(Mixed(32768, CabCompression::kLzxUncompressed))}, {"lzx.cab"});
  ExpectSameFromBoth("lzx.cab");
  // A first frame split over two data blocks: the codec gives the folder
  // back to libmspack, which reads on across the blocks.
  Place({LzxFirstFrameSplit()}, {"lzx.cab"});
  const Outcome whole = CopyWith(false, "lzx.cab");
  EXPECT_TRUE(whole.copied);
  ExpectSameFromBoth("lzx.cab");
  ExpectSameFromBoth("lzx.cab", 2);
}

TEST_F(FdiFastMszipTest, BothDecodersAgreeOnCabinetSets) {
  // In a set, the folders that cross stay with libmspack; the copy of each
  // cabinet must still notify and write as before.
  for (CabCompression compression :
       {CabCompression::kMszip, CabCompression::kLzx, CabCompression::kStored}) {
    CabinetDescription description = Mixed(32768, compression);
    description.files.push_back({"crossing", FarRepeats(300000, 9)});
    const std::vector<std::string> names = {"one.cab", "two.cab", "three.cab"};
    std::size_t blocks = 0;
    for (const CabFile& file : description.files) blocks += file.data.size();
    blocks /= 32768;
    Place(CutCabinet(fixtures::WriteCabinet(description), names, {blocks - 6, blocks - 3}), names);
    for (const std::string& name : names) ExpectSameFromBoth(name);
  }
}

TEST_F(FdiFastMszipTest, BothDecodersAgreeOnTheCorpusCabinets) {
  SKIP_WITHOUT_CORPUS();
  for (const auto& item : std::filesystem::directory_iterator(test_support::CorpusDir())) {
    if (item.path().extension() != ".cab") continue;
    ExpectSameFromBoth(item.path().filename().string(), 0,
                       item.path().parent_path().string() + "/");
  }
}

TEST_F(FdiFastMszipTest, DamagedDataBlocksFailTheCopy) {
  struct Damage {
    const char* what;
    std::function<void(std::string&)> apply;
    // The decoder's error for an MSZIP and for a stored folder; 0 where
    // the damage does not apply.
    int mszip_error;
    int stored_error;
  };
  for (CabCompression compression : {CabCompression::kMszip, CabCompression::kStored}) {
    SCOPED_TRACE(static_cast<int>(compression));
    CabinetDescription description;
    description.compression = compression;
    description.files = {{"first", Pattern(30000, 1)}, {"second", Pattern(90000, 2)}};
    const std::string good = fixtures::WriteCabinet(description);
    const std::size_t block0 = Layout::FirstBlock(good);
    const std::size_t block1 = Layout::NextBlock(good, block0);

    // Block 1 with its checksum cleared (so that the damage itself is what
    // the decoder meets) and the 16-bit fields at `field` set to `value`.
    auto unchecked_fields = [&](std::vector<std::pair<std::size_t, unsigned>> fields) {
      return [&, fields](std::string& c) {
        c.replace(block1, 4, 4, '\0');
        for (const auto& [field, value] : fields) Layout::PutU16(c, block1 + field, value);
      };
    };
    auto unchecked_field = [&](std::size_t field, unsigned value) {
      return unchecked_fields({{field, value}});
    };
    const int kAny = MSPACK_ERR_DATAFORMAT;
    const std::vector<Damage> damages = {
        {"a flipped data byte under a checksum",
         [&](std::string& c) { c[block1 + 8 + 100] ^= 0x20; }, MSPACK_ERR_CHECKSUM,
         MSPACK_ERR_CHECKSUM},
        {"a flipped size under a checksum",
         [&](std::string& c) { Layout::PutU16(c, block1 + 6, 32767); }, MSPACK_ERR_CHECKSUM,
         MSPACK_ERR_CHECKSUM},
        {"a declared size one short, no checksum", unchecked_field(6, 32767), MSPACK_ERR_DECRUNCH,
         MSPACK_ERR_DATAFORMAT},
        {"stored bytes one short of the declared size, no checksum", unchecked_field(4, 32767), 0,
         MSPACK_ERR_DATAFORMAT},
        {"a declared size over 32 KiB", unchecked_field(6, 32769), kAny, kAny},
        {"a stored block over 32 KiB, both sizes agreeing",
         unchecked_fields({{4, 32769}, {6, 32769}}), 0, MSPACK_ERR_DATAFORMAT},
        {"a stored block of the largest sizes the fields hold",
         unchecked_fields({{4, 65535}, {6, 65535}}), 0, MSPACK_ERR_DATAFORMAT},
        {"a block continued in a next cabinet that is not there", unchecked_field(6, 0), kAny,
         kAny},
        {"an empty block, no checksum", unchecked_fields({{4, 0}, {6, 0}}), kAny, kAny},
        {"compressed data over 38 KiB", unchecked_field(4, 32768 + 6144 + 1), kAny, kAny},
        {"no CK signature",
         [&](std::string& c) {
           c.replace(block1, 4, 4, '\0');
           c[block1 + 8] = 'X';
         },
         MSPACK_ERR_DATAFORMAT, 0},
        {"a folder claiming fewer blocks than its entries need",
         [&](std::string& c) { Layout::PutU16(c, 40, 2); }, MSPACK_ERR_DECRUNCH,
         MSPACK_ERR_DECRUNCH},
        {"a cabinet cut short inside the data", [&](std::string& c) { c.resize(block1 + 5000); },
         MSPACK_ERR_READ, MSPACK_ERR_READ},
    };
    for (const Damage& damage : damages) {
      const int decoder_error =
          compression == CabCompression::kStored ? damage.stored_error : damage.mszip_error;
      if (decoder_error == 0) continue;
      SCOPED_TRACE(damage.what);
      std::string cabinet = good;
      damage.apply(cabinet);
      Place({cabinet}, {"damaged.cab"});
      Outcome outcome = CopyWith(true, "damaged.cab");
      EXPECT_FALSE(outcome.copied);
      EXPECT_EQ(outcome.erf.erfOper, FDIERROR_CORRUPT_CABINET);
      EXPECT_EQ(outcome.erf.erfType, decoder_error);
      // The first entry lies in the undamaged first block: written whole;
      // the second never gets its fdintCLOSE_FILE_INFO.
      bool second_closed = false;
      for (const Event& event : outcome.events)
        if (event.type == fdintCLOSE_FILE_INFO && event.psz1 == "second") second_closed = true;
      EXPECT_FALSE(second_closed);
      EXPECT_TRUE(SameBytes(outcome.written["first"], description.files[0].data));
    }
  }
}

TEST_F(FdiFastMszipTest, EveryFailedAllocationFailsCleanlyOrIsDecodedAround) {
  for (CabCompression compression : {CabCompression::kMszip, CabCompression::kStored}) {
    SCOPED_TRACE(static_cast<int>(compression));
    Place({fixtures::WriteCabinet(Mixed(32768, compression))}, {"mixed.cab"});
    const Outcome reference = CopyWith(false, "mixed.cab");
    ASSERT_TRUE(reference.copied);
    for (long failing = 0;; ++failing) {
      SCOPED_TRACE(failing);
      FailAllocationAfter(failing);
      Outcome outcome = CopyWith(true, "mixed.cab");
      FailAllocationAfter(-1);
      Outstanding left = CurrentlyOutstanding();
      ASSERT_EQ(left.handles, 0);
      ASSERT_EQ(left.blocks, 0);
      if (!outcome.copied) {
        // Mostly FDIERROR_ALLOC_FAIL; libmspack reports some of its own
        // failed allocations as a cabinet it could not open.
        EXPECT_NE(outcome.erf.erfOper, FDIERROR_NONE);
        continue;
      }
      // A copy that succeeds (the failed allocation fell where the fast
      // path gives way to libmspack, or past the last one) writes every byte.
      ASSERT_EQ(outcome.written.size(), reference.written.size());
      for (const auto& [file, bytes] : reference.written)
        EXPECT_TRUE(SameBytes(outcome.written.at(file), bytes)) << file;
      if (failing > 200) break;
    }
  }
}

TEST_F(FdiFastMszipTest, AFailedWriteEndsTheCopyAndClosesTheHandle) {
  Place({fixtures::WriteCabinet(Mixed(32768))}, {"mixed.cab"});
  test_support::TempDir output;
  const std::string unwritable = (output.path() / "read-only").string();
  test_support::WriteFile(unwritable, "");
  Fdi fdi;
  Session session(output.path().string());
  session.answer = [&](const Event& event, FDINOTIFICATION*) -> std::optional<intptr_t> {
    if (event.type != fdintCOPY_FILE || event.psz1 != "b") return std::nullopt;
    std::string path = unwritable;
    return OpenFile(path.data(), O_RDONLY, 0);
  };
  EXPECT_FALSE(session.Copy(fdi, "mixed.cab", Folder()));
  EXPECT_EQ(fdi.erf().erfOper, FDIERROR_TARGET_FILE);
  EXPECT_EQ(fdi.erf().erfType, MSPACK_ERR_WRITE);
}

// The output of an entry the fast path gave up on is rewound to its first
// byte before libmspack writes the entry again (here over bytes the callee
// left in it); an output that cannot be rewound (a FIFO) keeps the fast
// path's failure, and the copy ends there.
TEST_F(FdiFastMszipTest, AHandedOverEntryIsRewrittenOnlyWhenItsOutputRewinds) {
  Place({LzxFirstFrameSplit()}, {"lzx.cab"});
  test_support::TempDir output;
  const std::string fifo = (output.path() / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    const char* what;
    bool fifo;
  };
  for (const Case& c : {Case{"a file", false}, Case{"a FIFO", true}}) {
    SCOPED_TRACE(c.what);
    Fdi fdi;
    Session session(output.path().string());
    session.answer = [&](const Event& event, FDINOTIFICATION*) -> std::optional<intptr_t> {
      if (event.type != fdintCOPY_FILE) return std::nullopt;
      if (event.psz1 != "a") return 0;  // only the first entry
      // Read and write, and not blocking, so that neither opening nor
      // filling a FIFO waits for a reader.
      std::string path = c.fifo ? fifo : (output.path() / "a").string();
      intptr_t handle = OpenFile(path.data(), O_RDWR | O_CREAT | O_TRUNC | O_NONBLOCK, 0600);
      char left[] = "left by the callee";
      if (handle != -1 && !c.fifo) {
        EXPECT_EQ(write(static_cast<int>(handle), left, 18), 18);
      }
      return handle;
    };
    const bool copied = session.Copy(fdi, "lzx.cab", Folder());
    EXPECT_EQ(copied, !c.fifo);
    EXPECT_EQ(session.EventsOf(fdintCLOSE_FILE_INFO).size(), c.fifo ? 0u : 1u);
    if (c.fifo) {
      EXPECT_EQ(fdi.erf().erfOper, FDIERROR_CORRUPT_CABINET);
      EXPECT_EQ(fdi.erf().erfType, MSPACK_ERR_DATAFORMAT);
    } else {
      EXPECT_TRUE(
          SameBytes(test_support::ReadFile(output.path() / "a"), Mixed(32768).files[0].data));
    }
  }
}

// Rewinding an output goes through the caller's pfnseek to offset 0.
TEST_F(FdiFastMszipTest, RewindOutputMovesAHandleToItsStartWhenItCanSeek) {
  Fdi fdi;
  const fdi::Callbacks& callbacks = static_cast<fdi::Context*>(fdi.get())->callbacks;
  test_support::TempDir folder;
  const std::string file = (folder.path() / "file").string();
  const std::string fifo = (folder.path() / "fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    const char* what;
    std::string path;  // empty: a handle that is not open
    long written;      // bytes written before the rewind
    bool rewinds;
  };
  const std::vector<Case> cases = {
      {"a file at its start", file, 0, true},
      {"a file after a write", file, 5000, true},
      {"a FIFO", fifo, 10, false},
      {"no handle", "", 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = c.path;
    intptr_t handle = path.empty() ? 1000 : OpenFile(path.data(), O_RDWR | O_CREAT, 0600);
    ASSERT_NE(handle, -1);
    std::string bytes(static_cast<std::size_t>(c.written), 'w');
    if (c.written > 0) {
      ASSERT_EQ(callbacks.write(handle, bytes.data(), static_cast<unsigned>(bytes.size())),
                bytes.size());
    }
    EXPECT_EQ(fdi::RewindOutput(callbacks, handle), c.rewinds);
    if (c.rewinds) {
      EXPECT_EQ(callbacks.seek(handle, 0, SEEK_CUR), 0);
    }
    if (!path.empty()) CloseFile(handle);
  }
}

TEST(DataBlockChecksumTest, AgreesWithTheFixtureWriterForEveryLengthAndSeed) {
  const std::string bytes = Pattern(300, 5);
  for (std::size_t length = 0; length <= bytes.size(); ++length) {
    for (std::uint32_t seed : {0u, 0x12345678u, 0xFFFFFFFFu}) {
      const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
      EXPECT_EQ(fdi::ChecksumBytes(data, length, seed),
                fixtures::CabinetChecksum(std::string_view(bytes).substr(0, length), seed))
          << length;
    }
  }
}

}  // namespace
}  // namespace fdi_test
