// The LZX codec against libmspack: each folder's payloads fed to the codec
// block by block must give, for every file, the bytes libmspack extracts
// from the same cabinets (fixture cabinets of every window, block type, E8
// translation and cut sets, and the corpus's real LZX cabinet); damaged and
// hostile streams fail cleanly.
#include "fdi/lzx_codec.h"

#include <gtest/gtest.h>
#include <mspack.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "fixtures/cabinet_writer.h"
#include "fixtures/selftest/mspack_reader.h"
#include "support/test_support.h"

namespace {

using fixtures::CabCompression;
using fixtures::CabinetDescription;
using fixtures::LzxBlockType;

void* Alloc(unsigned long bytes) { return std::malloc(bytes); }
void Free(void* block) { std::free(block); }
fdi::Callbacks MallocCallbacks() {
  return {Alloc, Free, nullptr, nullptr, nullptr, nullptr, nullptr};
}

std::uint32_t Le(const std::string& s, std::size_t at, int bytes) {
  if (at + bytes > s.size()) throw std::out_of_range("cabinet cut short");
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(s[at + i]);
  return v;
}

struct Folder {
  unsigned window_bits = 0;
  std::vector<std::string> payloads;
  std::vector<std::size_t> sizes;  // cbUncomp
};
struct Entry {
  std::string name;
  std::size_t folder;
  std::uint32_t offset, size;
};
struct Parsed {
  std::vector<Folder> folders;
  std::vector<Entry> entries;
};

// The LZX folders and entries of a cabinet set. A folder whose last data
// block has cbUncomp 0 goes on in the next cabinet's first folder, that
// block's payload joined to the next one's.
Parsed ParseSet(const std::vector<std::string>& cabinets) {
  Parsed parsed;
  bool continuing = false;
  for (const std::string& cab : cabinets) {
    const std::uint32_t flags = Le(cab, 30, 2);
    std::size_t at = 36;
    std::uint32_t folder_reserve = 0, data_reserve = 0;
    if (flags & 4) {
      folder_reserve = Le(cab, 38, 1);
      data_reserve = Le(cab, 39, 1);
      at += 4 + Le(cab, 36, 2);
    }
    for (int names = ((flags & 1) ? 2 : 0) + ((flags & 2) ? 2 : 0); names > 0; --names) {
      at = cab.find('\0', at) + 1;
    }
    std::vector<std::size_t> global;
    for (std::uint32_t f = 0; f < Le(cab, 26, 2); ++f, at += 8 + folder_reserve) {
      const bool joins = f == 0 && continuing;
      if (!joins) parsed.folders.push_back({});
      global.push_back(parsed.folders.size() - 1);
      Folder& folder = parsed.folders.back();
      if (!fdi::LzxCodec::WindowBitsOf(static_cast<std::uint16_t>(Le(cab, at + 6, 2)),
                                       &folder.window_bits)) {
        throw std::invalid_argument("not an LZX folder");
      }
      std::size_t data = Le(cab, at, 4);
      for (std::uint32_t b = 0; b < Le(cab, at + 4, 2); ++b) {
        const std::size_t bytes = Le(cab, data + 4, 2);
        const std::string payload = cab.substr(data + 8 + data_reserve, bytes);
        if (joins && b == 0) {
          folder.payloads.back() += payload;
          folder.sizes.back() = Le(cab, data + 6, 2);
        } else {
          folder.payloads.push_back(payload);
          folder.sizes.push_back(Le(cab, data + 6, 2));
        }
        data += 8 + data_reserve + bytes;
      }
      continuing = !folder.sizes.empty() && folder.sizes.back() == 0;
    }
    for (std::uint32_t e = 0, at_file = Le(cab, 16, 4); e < Le(cab, 28, 2); ++e) {
      const std::uint32_t index = Le(cab, at_file + 8, 2);
      const std::size_t name_end = cab.find('\0', at_file + 16);
      if (index < 0xFFFD || index == 0xFFFE) {
        parsed.entries.push_back({cab.substr(at_file + 16, name_end - at_file - 16),
                                  global.at(index == 0xFFFE ? global.size() - 1 : index),
                                  Le(cab, at_file + 4, 4), Le(cab, at_file, 4)});
      }
      at_file = static_cast<std::uint32_t>(name_end + 1);
    }
  }
  return parsed;
}

// Feeds a folder's payloads to a codec; the folder's bytes, or the error.
int DecodeFolder(fdi::LzxCodec& codec, const Folder& folder, std::string* out) {
  codec.StartFolder();
  out->clear();
  std::string block(32769, '\0');
  for (std::size_t b = 0; b < folder.payloads.size(); ++b) {
    const std::string& in = folder.payloads[b];
    const int error = codec.DecodeBlock(reinterpret_cast<const unsigned char*>(in.data()),
                                        in.size(), reinterpret_cast<unsigned char*>(block.data()),
                                        folder.sizes[b], b + 1 == folder.payloads.size());
    if (error != MSPACK_ERR_OK) return error;
    out->append(block, 0, folder.sizes[b]);
  }
  return MSPACK_ERR_OK;
}

// Decodes every folder with the codec, and checks each entry's bytes
// against libmspack's.
void ExpectSameAsLibmspack(const std::vector<std::string>& cabinets) {
  const fixtures_selftest::CabinetContents reference =
      fixtures_selftest::ExtractWithMspack(cabinets);
  ASSERT_EQ(reference.error, 0);
  const Parsed parsed = ParseSet(cabinets);
  const fdi::Callbacks callbacks = MallocCallbacks();
  std::vector<std::string> decoded(parsed.folders.size());
  for (std::size_t f = 0; f < parsed.folders.size(); ++f) {
    fdi::LzxCodec codec(callbacks, parsed.folders[f].window_bits);
    ASSERT_TRUE(codec.Prepare());
    ASSERT_EQ(DecodeFolder(codec, parsed.folders[f], &decoded[f]), MSPACK_ERR_OK) << "folder " << f;
  }
  ASSERT_EQ(parsed.entries.size(), reference.files.size());
  for (const Entry& entry : parsed.entries) {
    const auto found = reference.files.find(entry.name);
    ASSERT_NE(found, reference.files.end()) << entry.name;
    const std::string& ours = decoded[entry.folder];
    ASSERT_LE(std::size_t{entry.offset} + entry.size, ours.size()) << entry.name;
    const std::string mine = ours.substr(entry.offset, entry.size);
    if (mine != found->second) {
      std::size_t first = 0;
      while (first < mine.size() && mine[first] == found->second[first]) ++first;
      ADD_FAILURE() << entry.name << " differs from byte " << first << " of " << mine.size();
    }
  }
}

// Text, binary-like runs with E8 call bytes, repeats near and far.
std::string Mixed(std::size_t size, unsigned seed) {
  std::string out;
  unsigned state = seed * 2654435761u + 7;
  auto next = [&] {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  };
  while (out.size() < size) {
    switch (next() % 6) {
      case 0:
        out += "the line " + std::to_string(next() % 5000) + " of some text\r\n";
        break;
      case 1:
        for (int i = 0; i < 64; ++i) out.push_back(static_cast<char>(next()));
        break;
      case 2: {
        // A call: E8 and an operand near the current position.
        const std::uint32_t target = static_cast<std::uint32_t>(out.size() + next() % 4096 - 2048);
        out.push_back('\xE8');
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(target >> (8 * i)));
        out += "\x8B\x45\xFC\xE8";
        break;
      }
      case 3:
        out += std::string(next() % 300, static_cast<char>(next() % 3));
        break;
      default:
        if (!out.empty()) {
          const std::size_t from = next() % out.size();
          out += out.substr(from, 20 + next() % 400);
        }
    }
  }
  out.resize(size);
  return out;
}

struct LzxCase {
  unsigned window_bits;
  std::uint32_t e8;
  std::vector<LzxBlockType> types;
  std::uint32_t block_size;
  std::size_t bytes;
};

CabinetDescription Describe(const LzxCase& c) {
  CabinetDescription description;
  description.compression = CabCompression::kLzx;
  description.lzx_window_bits = c.window_bits;
  description.lzx = {c.e8, c.types, c.block_size};
  description.files = {{"a", Mixed(c.bytes / 3, c.window_bits)},
                       {"b", ""},
                       {"c", Mixed(c.bytes - c.bytes / 3, c.window_bits + 100)},
                       {"d", "short"}};
  return description;
}

std::vector<LzxCase> Cases() {
  using T = LzxBlockType;
  std::vector<LzxCase> cases;
  for (unsigned bits = 15; bits <= 21; ++bits) {
    cases.push_back({bits, 0, {T::kVerbatim}, 32768, 150000});
    cases.push_back({bits, 1u << 24, {T::kAligned}, 70000, 150000});
    cases.push_back({bits, 3000000, {T::kVerbatim, T::kUncompressed, T::kAligned}, 20001, 150000});
  }
  // Longer than the window: matches reach back into the window's last lap.
  cases.push_back({15, 40000, {T::kAligned, T::kVerbatim}, 50000, 400000});
  cases.push_back({17, 0, {T::kVerbatim, T::kUncompressed}, 300001, 400000});
  cases.push_back({21, 0x7FFFFFFF, {T::kVerbatim, T::kAligned}, 1000000, 4500000});
  // Tiny blocks, and frames shorter than E8 translation covers.
  cases.push_back({16, 100, {T::kUncompressed, T::kVerbatim, T::kAligned}, 7, 3000});
  cases.push_back({18, 5000, {T::kVerbatim}, 32768, 32768 + 9});
  return cases;
}

void PrintTo(const LzxCase& c, std::ostream* os) {
  *os << "window " << c.window_bits << ", E8 " << c.e8 << ", " << c.types.size()
      << " block types, blocks of " << c.block_size << ", " << c.bytes << " bytes";
}

class LzxCodecDifferential : public ::testing::TestWithParam<LzxCase> {};

TEST_P(LzxCodecDifferential, SameBytesAsLibmspack) {
  const CabinetDescription description = Describe(GetParam());
  const std::string cabinet = fixtures::WriteCabinet(description);
  // The fixture compressor's streams hold the files, compressed where they
  // repeat: libmspack gives them back.
  const fixtures_selftest::CabinetContents reference =
      fixtures_selftest::ExtractWithMspack({cabinet});
  std::size_t total = 0;
  for (const fixtures::CabFile& file : description.files) {
    total += file.data.size();
    const auto found = reference.files.find(file.name);
    ASSERT_NE(found, reference.files.end()) << file.name;
    EXPECT_TRUE(found->second == file.data) << file.name;
  }
  if (GetParam().types == std::vector<LzxBlockType>{LzxBlockType::kVerbatim}) {
    EXPECT_LT(cabinet.size(), total / 2);
  }
  ExpectSameAsLibmspack({cabinet});
}

TEST_P(LzxCodecDifferential, CutSetSameBytesAsLibmspack) {
  if (GetParam().bytes < 4 * 32768) GTEST_SKIP() << "too short to cut in three";
  ExpectSameAsLibmspack(fixtures::WriteCabinetSet(Describe(GetParam()), {"1", "2", "3"}));
}

INSTANTIATE_TEST_SUITE_P(WindowsAndBlocks, LzxCodecDifferential, ::testing::ValuesIn(Cases()));

TEST(LzxCodec, CorpusCabinet) {
  SKIP_WITHOUT_CORPUS();
  ExpectSameAsLibmspack({test_support::ReadFile(test_support::CorpusDir() / "vcredis1.cab")});
}

TEST(LzxCodec, WindowBitsOf) {
  unsigned bits = 0;
  EXPECT_TRUE(fdi::LzxCodec::WindowBitsOf(0x1503, &bits));
  EXPECT_EQ(bits, 21u);
  EXPECT_TRUE(fdi::LzxCodec::WindowBitsOf(0x0F03, &bits));
  EXPECT_EQ(bits, 15u);
  for (const std::uint16_t type : {0x0E03, 0x1603, 0x1501, 0x0000, 0x1502}) {
    EXPECT_FALSE(fdi::LzxCodec::WindowBitsOf(type, &bits)) << type;
  }
  const fdi::Callbacks callbacks = MallocCallbacks();
  EXPECT_FALSE(fdi::LzxCodec(callbacks, 22).Prepare());
}

// Hostile streams, written bit by bit: 16-bit little-endian words, each
// from its most significant bit.
class Stream {
 public:
  Stream& Put(std::uint32_t value, unsigned count) {
    for (unsigned i = count; i-- > 0;) {
      word_ = static_cast<std::uint16_t>(word_ << 1 | (i < 32 ? (value >> i) & 1 : 0));
      if (++used_ == 16) Flush();
    }
    return *this;
  }
  Stream& Raw(const std::string& bytes) {
    while (used_ != 0) Put(0, 1);
    out_ += bytes;
    return *this;
  }
  // A pretree of four 2-bit codes: 0 (no change), 16 (0 to 1), 17 and 18
  // (zero runs).
  Stream& Pretree() {
    for (unsigned i = 0; i < 20; ++i) Put(i == 0 || (i >= 16 && i <= 18) ? 2 : 0, 4);
    return *this;
  }
  // Lengths first..last (from all zero): 1 for the symbols in `ones`.
  Stream& Lengths(unsigned first, unsigned last, const std::vector<unsigned>& ones) {
    Pretree();
    for (unsigned x = first; x < last;) {
      unsigned run = 0;
      while (x + run < last && std::find(ones.begin(), ones.end(), x + run) == ones.end()) ++run;
      if (run == 0) {
        Put(1, 2);
        ++x;
      } else if (run >= 20) {
        Put(3, 2).Put(std::min(run, 51u) - 20, 5);
        x += std::min(run, 51u);
      } else if (run >= 4) {
        Put(2, 2).Put(run - 4, 4);
        x += run;
      } else {
        Put(0, 2);
        ++x;
      }
    }
    return *this;
  }
  // A verbatim block whose main tree has the two symbols `a` < `b` (codes 0
  // and 1) and whose length tree is empty; window 2^15.
  Stream& Verbatim(std::uint32_t size, unsigned a, unsigned b) {
    Put(1, 3).Put(size, 24);
    Lengths(0, 256, {a, b}).Lengths(256, 256 + 30 * 8, {a, b}).Lengths(0, 249, {});
    return *this;
  }
  std::string Done() {
    while (used_ != 0) Put(0, 1);
    return out_;
  }

 private:
  void Flush() {
    out_.push_back(static_cast<char>(word_ & 0xFF));
    out_.push_back(static_cast<char>(word_ >> 8));
    word_ = 0;
    used_ = 0;
  }
  std::string out_;
  std::uint16_t word_ = 0;
  unsigned used_ = 0;
};

std::string U32s(std::uint32_t a, std::uint32_t b, std::uint32_t c) {
  std::string out;
  for (const std::uint32_t v : {a, b, c})
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
  return out;
}

struct Hostile {
  const char* what;
  std::string stream;
  std::size_t out_bytes;
  bool last;
  int error;
};

std::vector<Hostile> HostileStreams() {
  constexpr unsigned kA = 'a', kR0Len2 = 256, kR0Len3 = 257;
  std::vector<Hostile> cases;
  // Controls: the same shapes, well formed.
  cases.push_back({"a good verbatim block",
                   Stream().Put(0, 1).Verbatim(10, kA, kR0Len2).Put(0x0F, 6).Done(), 10, true,
                   MSPACK_ERR_OK});
  cases.push_back({"a good uncompressed block",
                   Stream()
                       .Put(0, 1)
                       .Put(3, 3)
                       .Put(1, 24)
                       .Raw(U32s(1, 1, 1) + std::string("x\0", 2))
                       .Verbatim(9, kA, kR0Len2)
                       .Put(0x0F, 5)
                       .Done(),
                   10, true, MSPACK_ERR_OK});
  cases.push_back({"offset before the folder's first byte",
                   Stream().Put(0, 1).Verbatim(10, kA, kR0Len2).Put(1, 1).Done(), 10, true,
                   MSPACK_ERR_DECRUNCH});
  // Slot 4 (one footer bit, base 4): offset 2 or 3, here after one literal.
  cases.push_back(
      {"explicit offset before the folder's first byte",
       Stream().Put(0, 1).Verbatim(10, kA, 256 + 4 * 8).Put(0, 1).Put(1, 1).Put(0, 1).Done(), 10,
       true, MSPACK_ERR_DECRUNCH});
  cases.push_back({"empty main tree",
                   [] {
                     Stream s;
                     s.Put(0, 1).Put(1, 3).Put(10, 24).Lengths(0, 256, {});
                     return s.Lengths(256, 496, {}).Lengths(0, 249, {}).Put(0, 32).Done();
                   }(),
                   10, true, MSPACK_ERR_DECRUNCH});
  cases.push_back({"match longer than its block",
                   Stream().Put(0, 1).Verbatim(2, kA, kR0Len3).Put(0, 1).Put(1, 1).Done(), 10, true,
                   MSPACK_ERR_DECRUNCH});
  Stream across;
  across.Put(0, 1).Verbatim(40000, kA, kR0Len2).Put(0, 1);
  for (int i = 0; i < 16384; ++i) across.Put(1, 1);  // the last one crosses the frame end
  cases.push_back({"match across the frame end", across.Done(), 32768, false, MSPACK_ERR_DECRUNCH});
  cases.push_back({"over-subscribed pretree",
                   [] {
                     Stream s;
                     s.Put(0, 1).Put(1, 3).Put(10, 24);
                     for (int i = 0; i < 20; ++i) s.Put(1, 4);
                     return s.Put(0, 32).Done();
                   }(),
                   10, true, MSPACK_ERR_DECRUNCH});
  cases.push_back({"incomplete main tree",
                   [] {
                     Stream s;
                     s.Put(0, 1).Put(1, 3).Put(10, 24).Lengths(0, 256, {kA});
                     return s.Lengths(256, 496, {}).Lengths(0, 249, {}).Put(0, 16).Done();
                   }(),
                   10, true, MSPACK_ERR_DECRUNCH});
  for (const unsigned type : {0u, 4u, 7u}) {
    cases.push_back({"bad block type", Stream().Put(0, 1).Put(type, 3).Put(10, 24).Done(), 10, true,
                     MSPACK_ERR_DECRUNCH});
  }
  cases.push_back({"R0 of 0 from an uncompressed block",
                   Stream()
                       .Put(0, 1)
                       .Put(3, 3)
                       .Put(1, 24)
                       .Raw(U32s(0, 1, 1) + std::string("x\0", 2))
                       .Verbatim(9, kA, kR0Len2)
                       .Put(1, 1)
                       .Done(),
                   10, true, MSPACK_ERR_DECRUNCH});
  cases.push_back({"R0 past the window",
                   Stream()
                       .Put(0, 1)
                       .Put(3, 3)
                       .Put(1, 24)
                       .Raw(U32s(40000, 1, 1) + std::string("x\0", 2))
                       .Verbatim(9, kA, kR0Len2)
                       .Put(1, 1)
                       .Done(),
                   10, true, MSPACK_ERR_DECRUNCH});
  cases.push_back({"uncompressed bytes cut short",
                   Stream().Put(0, 1).Put(3, 3).Put(100, 24).Raw(U32s(1, 1, 1) + "xy").Done(), 100,
                   true, MSPACK_ERR_DATAFORMAT});
  cases.push_back({"frame cut short before the next block",
                   Stream().Put(0, 1).Verbatim(32768, kA, kR0Len2).Put(0, 100).Done(), 32768, false,
                   MSPACK_ERR_DATAFORMAT});
  cases.push_back({"a block before the last that is not a whole frame",
                   Stream().Put(0, 1).Verbatim(100, kA, kR0Len2).Put(0, 100).Done(), 100, false,
                   MSPACK_ERR_DATAFORMAT});
  return cases;
}

TEST(LzxCodec, HostileStreamsFailCleanly) {
  const fdi::Callbacks callbacks = MallocCallbacks();
  fdi::LzxCodec codec(callbacks, 15);
  ASSERT_TRUE(codec.Prepare());
  std::string out(32769, '\0');
  for (const Hostile& c : HostileStreams()) {
    codec.StartFolder();
    EXPECT_EQ(
        codec.DecodeBlock(reinterpret_cast<const unsigned char*>(c.stream.data()), c.stream.size(),
                          reinterpret_cast<unsigned char*>(out.data()), c.out_bytes, c.last),
        c.error)
        << c.what;
  }
  // The same codec still decodes a good folder afterwards.
  const Parsed good = ParseSet(
      {fixtures::WriteCabinet(Describe({15, 0, {LzxBlockType::kVerbatim}, 50000, 70000}))});
  std::string decoded;
  EXPECT_EQ(DecodeFolder(codec, good.folders[0], &decoded), MSPACK_ERR_OK);
}

// Every payload of a good folder cut short or with a byte changed: the
// codec fails cleanly or decodes (the sanitizer build checks its reads).
TEST(LzxCodec, DamagedPayloadsFailCleanly) {
  const LzxCase shape{
      16,
      1 << 20,
      {LzxBlockType::kAligned, LzxBlockType::kUncompressed, LzxBlockType::kVerbatim},
      20000,
      100000};
  const Parsed parsed = ParseSet({fixtures::WriteCabinet(Describe(shape))});
  const fdi::Callbacks callbacks = MallocCallbacks();
  fdi::LzxCodec codec(callbacks, 16);
  ASSERT_TRUE(codec.Prepare());
  std::string out;
  int failures = 0;
  for (std::size_t b = 0; b < parsed.folders[0].payloads.size(); ++b) {
    for (std::size_t at = 0; at < parsed.folders[0].payloads[b].size(); at += 97) {
      for (const int how : {0, 1, 2}) {
        Folder damaged = parsed.folders[0];
        std::string& payload = damaged.payloads[b];
        if (how == 0) payload.resize(at);
        if (how == 1) payload[at] = static_cast<char>(payload[at] ^ 0x5A);
        if (how == 2) payload[at] = '\xFF';
        const int error = DecodeFolder(codec, damaged, &out);
        EXPECT_TRUE(error == MSPACK_ERR_OK || error == MSPACK_ERR_DATAFORMAT ||
                    error == MSPACK_ERR_DECRUNCH);
        failures += error != MSPACK_ERR_OK;
      }
    }
  }
  EXPECT_GT(failures, 0);
}

}  // namespace
