// LZX decoding. The bit stream is made of 16-bit little-endian words, read
// most significant bit first; the input is kept with each word's two bytes
// swapped, so that it reads as big-endian bytes through a 64-bit buffer
// filled up to seven bytes at a time. Each tree is a canonical Huffman code
// of at most 16 bits, decoded through a table indexed by its next bits (and
// a second table for longer codes). A block header gives its type (3 bits)
// and uncompressed size (24 bits); verbatim and aligned-offset blocks then
// give their trees as changes from the lengths before, through a 20-symbol
// pretree; an uncompressed block pads to the next word (a whole word when
// on one), gives R0 R1 R2 as u32 and its raw bytes, and is followed by a
// pad byte when its size is odd.
#include "fdi/lzx_codec.h"

#include <mspack.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <utility>

namespace fdi {
namespace {

constexpr std::size_t kFrame = 32768;
constexpr std::uint32_t kE8Frames = 32768;  // frames whose E8 calls are translated
constexpr unsigned kMaxSlots = 50;
constexpr unsigned kMainSymbolsMax = 256 + kMaxSlots * 8;
constexpr unsigned kLengthSymbols = 249;
// A pretree run may write up to 50 lengths past the end of its range, into
// the next range (the main tree's slot part) or this slack.
constexpr unsigned kLengthSlack = 64;
// The input kept at once: the rest of earlier payloads and the new one.
constexpr std::size_t kInputCapacity = 3 * 65536;
// Zero bytes after the input: the bit reader loads 8 bytes at a time and
// stops a loop only once it is 16 bytes past the end.
constexpr std::size_t kInputPad = 64;
// Past the end of a folder's last payload, libmspack reads two zero bytes.
constexpr std::size_t kFinalZeros = 2;
constexpr std::size_t kGuard = 16;

// Per position slot: the offset its footer adds to (its base less the 2
// that offsets carry in the stream), and its footer bits. Per main symbol:
// the footer bits of its slot (0 for literals), kept in its table entries.
struct SlotTables {
  std::uint32_t offset_base[kMaxSlots];
  std::uint8_t extra[kMaxSlots];
  std::uint8_t main_extra[kMainSymbolsMax];
};

constexpr SlotTables MakeSlots() {
  SlotTables t{};
  std::uint32_t base = 0;
  for (unsigned s = 0; s < kMaxSlots; ++s) {
    t.extra[s] = static_cast<std::uint8_t>(s < 4 ? 0 : std::min((s - 2) / 2, 17u));
    t.offset_base[s] = base - 2;
    base += 1u << t.extra[s];
  }
  for (unsigned symbol = 256; symbol < kMainSymbolsMax; ++symbol)
    t.main_extra[symbol] = t.extra[(symbol - 256) >> 3];
  return t;
}
constexpr SlotTables kSlots = MakeSlots();

unsigned SlotCount(unsigned window_bits) {
  return window_bits == 21 ? 50 : window_bits == 20 ? 42 : 2 * window_bits;
}

std::uint64_t LoadBe64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return v;
}

// Room after the window's end for the whole pieces of a match copy.
constexpr std::size_t kCopySlack = 32;

// dest[i] = dest[i - distance] for i < len (distance >= 1), reading from
// src: `distance` bytes before dest, or far enough after it (at the end of
// the window's buffer) to reach `len` bytes on without meeting dest. May
// read and write up to 15 bytes past src + len and dest + len: slack, or
// bytes further back than any match reaches.
inline void CopyMatch(std::uint8_t* dest, const std::uint8_t* src, std::size_t distance,
                      std::size_t len) {
  if (distance >= 16) {
    // Most matches are 16 bytes or shorter: one piece.
    std::memcpy(dest, src, 16);
    for (std::size_t i = 16; i < len; i += 16) std::memcpy(dest + i, src + i, 16);
  } else if (distance >= 8) {
    for (std::size_t i = 0; i < len; i += 8) std::memcpy(dest + i, src + i, 8);
  } else if (distance == 1) {
    std::memset(dest, src[0], len);
  } else {
    for (std::size_t i = 0; i < len; ++i) dest[i] = src[i];
  }
}

// dest[i] = src[i] for i < len, where the two, each with 15 bytes more, do
// not overlap. May read and write those 15 bytes past either end.
inline void CopyApart(std::uint8_t* dest, const std::uint8_t* src, std::size_t len) {
  for (std::size_t i = 0; i < len; i += 16) std::memcpy(dest + i, src + i, 16);
}

// Copies `count` bytes from src to dest (apart), the two bytes of each word
// swapped; an odd last byte is copied as it is.
void CopySwapped(std::uint8_t* dest, const std::uint8_t* src, std::size_t count) {
  constexpr std::uint64_t kLow = 0x00FF00FF00FF00FFull;
  std::size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    std::uint64_t v[2];
    std::memcpy(v, src + i, 16);
    v[0] = (v[0] >> 8 & kLow) | (v[0] & kLow) << 8;
    v[1] = (v[1] >> 8 & kLow) | (v[1] & kLow) << 8;
    std::memcpy(dest + i, v, 16);
  }
  for (; i + 2 <= count; i += 2) {
    dest[i] = src[i + 1];
    dest[i + 1] = src[i];
  }
  if (i < count) dest[i] = src[i];
}

std::uint32_t LoadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The next bits of the stream (from input whose words have their bytes
// swapped), most significant first. Bits below the counted ones are zero or
// the stream's own next bits.
struct BitReader {
  const std::uint8_t* p;  // the next byte not yet counted in `buf`
  std::uint64_t buf;
  // The bits counted in `buf` are n's low 6 bits; the rest of n is what
  // DropEntry leaves there and means nothing.
  unsigned n;

  unsigned Count() const { return n & 63; }
  // Leaves at least 56 bits counted. Reads 8 bytes at p.
  void Refill() {
    buf |= LoadBe64(p) >> (n & 63);
    p += ((63 - n) & 63) >> 3;
    n |= 56;  // the count plus the bits of the bytes counted
  }
  void Drop(unsigned count) {
    buf <<= count;
    n -= count;
  }
  // Drops as many bits as a table entry's low byte gives (at most 31).
  void DropEntry(std::uint32_t entry) {
    buf <<= entry & 0xFF;
    n -= entry;
  }
  // `count` 0 to 32 bits.
  std::uint32_t Read(unsigned count) {
    const auto v = static_cast<std::uint32_t>((buf >> (63 - count)) >> 1);
    Drop(count);
    return v;
  }
};

constexpr std::uint32_t kNoSymbol = 0x7FFF;
// Table entries at or above this point to a second-level table.
constexpr std::uint32_t kPointerEntry = 0x80000000;
// Main tree entries below this are literals.
constexpr std::uint32_t kFirstMatchEntry = 256u << 16;

// A decoding table for a canonical code of at most 16 bits: entries give
// symbol << 16 | tag << 8 | length, the tag being the symbol's entry in the
// `tags` given to Build (0 without them, at most 31); an entry with bit 31
// set points to a second-level table (kPointerEntry | start << 16 | its
// index bits << 8). An empty code decodes every bit string to kNoSymbol,
// consuming nothing.
template <unsigned kBits, unsigned kCapacity>
struct HuffTable {
  std::uint32_t entries[kCapacity];

  // False for an over-subscribed or incomplete code; an all-zero one is
  // empty. `lengths` are 0 to 16.
  bool Build(const std::uint8_t* lengths, unsigned count, const std::uint8_t* tags = nullptr) {
    unsigned counts[17] = {};
    for (unsigned s = 0; s < count; ++s) ++counts[lengths[s]];
    if (counts[0] == count) {
      std::fill_n(entries, 1u << kBits, kNoSymbol << 16);
      return true;
    }
    int left = 1;
    for (unsigned len = 1; len <= 16; ++len) {
      left = 2 * left - static_cast<int>(counts[len]);
      if (left < 0) return false;
    }
    if (left != 0) return false;
    // The symbols in canonical order: by length, then by value.
    unsigned first[18] = {};
    for (unsigned len = 1; len <= 16; ++len) first[len + 1] = first[len] + counts[len];
    std::uint16_t order[kMainSymbolsMax];
    unsigned place[17];
    std::copy_n(first, 17, place);
    for (unsigned s = 0; s < count; ++s) {
      if (lengths[s] != 0) order[place[lengths[s]]++] = static_cast<std::uint16_t>(s);
    }
    // Codes of up to kBits bits fill the table from its start, in that order.
    std::uint32_t* at = entries;
    for (unsigned len = 1; len <= kBits; ++len) {
      const unsigned step = 1u << (kBits - len);
      for (unsigned i = first[len]; i < first[len + 1]; ++i, at += step)
        std::fill_n(at, step, Entry(order[i], len, tags));
    }
    if (first[kBits + 1] == first[17]) return true;
    // Longer codes: the rest of the first level points to second-level
    // tables, each as deep as the longest code under it needs.
    unsigned next[17] = {};
    counts[0] = 0;
    for (unsigned len = 1, code = 0; len <= 16; ++len) {
      code = (code + counts[len - 1]) << 1;
      next[len] = code;
    }
    std::uint16_t codes[kMainSymbolsMax];
    std::uint8_t sub_bits[1u << kBits] = {};
    for (unsigned i = first[kBits + 1]; i < first[17]; ++i) {
      const unsigned len = lengths[order[i]];
      const unsigned code = next[len]++;
      codes[i] = static_cast<std::uint16_t>(code);
      std::uint8_t& bits = sub_bits[code >> (len - kBits)];
      bits = static_cast<std::uint8_t>(std::max<unsigned>(bits, len - kBits));
    }
    unsigned free = 1u << kBits;
    for (auto prefix = static_cast<unsigned>(at - entries); prefix < (1u << kBits); ++prefix) {
      if (sub_bits[prefix] == 0) continue;
      if (free + (1u << sub_bits[prefix]) > kCapacity) return false;
      entries[prefix] = kPointerEntry | free << 16 | static_cast<unsigned>(sub_bits[prefix]) << 8;
      free += 1u << sub_bits[prefix];
    }
    for (unsigned i = first[kBits + 1]; i < first[17]; ++i) {
      const unsigned extra = lengths[order[i]] - kBits;
      const std::uint32_t pointer = entries[codes[i] >> extra];
      const unsigned bits = (pointer >> 8) & 0x1F;
      const unsigned low = codes[i] & ((1u << extra) - 1);
      std::fill_n(entries + ((pointer & ~kPointerEntry) >> 16) + (low << (bits - extra)),
                  1u << (bits - extra), Entry(order[i], extra, tags));
    }
    return true;
  }

  static std::uint32_t Entry(unsigned symbol, unsigned length, const std::uint8_t* tags) {
    const unsigned tag = tags != nullptr ? tags[symbol] : 0;
    return symbol << 16 | tag << 8 | length;
  }

  // The first-level entry for the next bits.
  std::uint32_t Peek(const BitReader& in) const { return entries[in.buf >> (64 - kBits)]; }
  // The entry of the next symbol, from its first-level entry `e`; its bits
  // are dropped.
  std::uint32_t Finish(BitReader& in, std::uint32_t e) const {
    if (e >= kPointerEntry) [[unlikely]] {
      in.Drop(kBits);
      e = entries[((e & ~kPointerEntry) >> 16) + (in.buf >> (64 - ((e >> 8) & 0x1F)))];
    }
    in.DropEntry(e);
    return e;
  }
  // The entry of the next symbol, whose bits are dropped. Needs at least 16
  // bits counted in `in`.
  std::uint32_t Lookup(BitReader& in) const { return Finish(in, Peek(in)); }
  unsigned Decode(BitReader& in) const { return Lookup(in) >> 16; }
};

}  // namespace

struct LzxState {
  HuffTable<11, 2048 + 4096> main;
  HuffTable<10, 1024 + 2560> length;
  HuffTable<7, 128> aligned;
  HuffTable<6, 64 + 1088> pretree;
  std::uint8_t main_lengths[kMainSymbolsMax + kLengthSlack];
  std::uint8_t length_lengths[kLengthSymbols + kLengthSlack];
  std::uint8_t aligned_lengths[8];
  std::uint8_t pretree_lengths[20];

  // The window and one frame more, filled frame by frame and then again
  // from its start: the bytes a match reads back to lie behind it, or at
  // the buffer's end from the lap before, and never under the frame being
  // decoded. kCopySlack bytes follow for match copies' overrun.
  std::uint8_t* window = nullptr;
  std::size_t window_size = 0;
  std::size_t window_buffer = 0;  // window_size + kFrame
  unsigned main_symbols = 0;
  std::uint8_t* input = nullptr;
  // The stream's bytes from a word's start, each word's two bytes swapped:
  // stream byte i is input[i ^ 1]. When the size is odd, the zero pad's
  // first byte stands in for the last word's second byte.
  std::size_t input_size = 0;  // bytes of payload in `input`
  std::size_t limit = 0;       // bytes of `input` the stream may use

  BitReader bits{};
  bool byte_mode = false;  // in or right after an uncompressed block
  std::size_t raw_pos = 0;
  bool pad_pending = false;

  bool header_read = false;
  std::int32_t e8_size = 0;
  unsigned block_type = 0;
  std::uint32_t block_remaining = 0;
  std::uint32_t r0 = 1, r1 = 1, r2 = 1;
  std::size_t window_pos = 0;  // where the next frame goes in `window`
  std::uint64_t total = 0;     // bytes of the folder decoded
  std::uint32_t frame_index = 0;
  bool finished = false;

  void Reset() {
    std::memset(main_lengths, 0, sizeof main_lengths);
    std::memset(length_lengths, 0, sizeof length_lengths);
    input_size = limit = 0;
    bits = {input, 0, 0};
    byte_mode = pad_pending = header_read = finished = false;
    raw_pos = 0;
    e8_size = 0;
    block_type = 0;
    block_remaining = 0;
    r0 = r1 = r2 = 1;
    window_pos = 0;
    total = 0;
    frame_index = 0;
  }

  std::size_t ConsumedBits() const {
    return static_cast<std::size_t>(bits.p - input) * 8 - bits.Count();
  }
  bool WithinInput() const { return byte_mode ? raw_pos <= limit : ConsumedBits() <= limit * 8; }
  const std::uint8_t* Guard() const { return input + limit + kGuard; }

  int TakeInput(const unsigned char* in, std::size_t in_bytes, bool last);
  std::uint8_t StreamByte(std::size_t at) const { return input[at ^ 1]; }
  std::uint32_t RawLe32(std::size_t at) const;
  void CopyRaw(std::uint8_t* dest, std::size_t count);
  void AlignToWord();
  int ReadLengths(std::uint8_t* lengths, unsigned first, unsigned last);
  int ReadBlockHeader();
  template <bool kAligned>
  int DecodeRun(std::size_t pos, std::size_t run);
  bool CopyAcrossLap(std::size_t pos, std::size_t offset, std::size_t len);
  int DecodeFrame(std::size_t frame_size);
  void TranslateE8(unsigned char* out, std::size_t size) const;
};

namespace {

int TakeOk(bool ok, int error) { return ok ? MSPACK_ERR_OK : error; }

}  // namespace

// Appends a payload to what the stream has not used yet, from the start of
// the word it is in.
int LzxState::TakeInput(const unsigned char* in, std::size_t in_bytes, bool last) {
  std::size_t from = byte_mode ? raw_pos : ConsumedBits() / 8;
  from = std::min(from, input_size) & ~std::size_t{1};
  const std::size_t keep = input_size - from;
  if (in_bytes > kInputCapacity - keep) return MSPACK_ERR_DATAFORMAT;
  // An odd last byte goes back to its place, to be swapped with the first
  // new one.
  if ((input_size & 1) != 0) input[input_size - 1] = input[input_size];
  std::memmove(input, input + from, keep);
  if ((keep & 1) != 0 && in_bytes != 0) {
    input[keep] = input[keep - 1];
    input[keep - 1] = in[0];
    CopySwapped(input + keep + 1, in + 1, in_bytes - 1);
  } else {
    CopySwapped(input + keep, in, in_bytes);
  }
  input_size = keep + in_bytes;
  std::memset(input + input_size, 0, kInputPad);
  if ((input_size & 1) != 0) std::swap(input[input_size - 1], input[input_size]);
  limit = input_size + (last ? kFinalZeros : 0);
  // Frames end on a word (bit mode) or a byte (byte mode), so the stream
  // goes on at a whole byte.
  if (byte_mode) {
    raw_pos -= from;
  } else {
    bits = {input, 0, 0};
  }
  return MSPACK_ERR_OK;
}

std::uint32_t LzxState::RawLe32(std::size_t at) const {
  return static_cast<std::uint32_t>(StreamByte(at)) |
         static_cast<std::uint32_t>(StreamByte(at + 1)) << 8 |
         static_cast<std::uint32_t>(StreamByte(at + 2)) << 16 |
         static_cast<std::uint32_t>(StreamByte(at + 3)) << 24;
}

// Copies `count` bytes of an uncompressed block from raw_pos on.
void LzxState::CopyRaw(std::uint8_t* dest, std::size_t count) {
  std::size_t at = raw_pos;
  raw_pos += count;
  if ((at & 1) != 0 && count != 0) {
    *dest++ = StreamByte(at++);
    --count;
  }
  const std::size_t whole_words = count & ~std::size_t{1};
  CopySwapped(dest, input + at, whole_words);
  if (whole_words != count) dest[whole_words] = StreamByte(at + whole_words);
}

// Skips to the start of the next word unless at one.
void LzxState::AlignToWord() {
  bits.Refill();
  bits.Drop(static_cast<unsigned>(0 - ConsumedBits()) & 15);
}

int LzxState::ReadLengths(std::uint8_t* lengths, unsigned first, unsigned last) {
  BitReader in = bits;
  for (unsigned i = 0; i < 20; ++i) {
    in.Refill();
    pretree_lengths[i] = static_cast<std::uint8_t>(in.Read(4));
  }
  if (!pretree.Build(pretree_lengths, 20)) return MSPACK_ERR_DECRUNCH;
  const std::uint8_t* const guard = Guard();
  int result = MSPACK_ERR_OK;
  for (unsigned x = first; x < last;) {
    if (in.p > guard) {
      result = MSPACK_ERR_DATAFORMAT;
      break;
    }
    in.Refill();
    const unsigned symbol = pretree.Decode(in);
    unsigned run = 0;
    unsigned value = 0;
    if (symbol <= 16) {
      lengths[x] = static_cast<std::uint8_t>((lengths[x] + 17 - symbol) % 17);
      ++x;
      continue;
    } else if (symbol == 17) {
      run = 4 + in.Read(4);
    } else if (symbol == 18) {
      run = 20 + in.Read(5);
    } else if (symbol == 19) {
      run = 4 + in.Read(1);
      const unsigned change = pretree.Decode(in);
      if (change > 16) {
        result = MSPACK_ERR_DECRUNCH;
        break;
      }
      value = (lengths[x] + 17 - change) % 17;
    } else {
      result = MSPACK_ERR_DECRUNCH;
      break;
    }
    std::memset(lengths + x, static_cast<int>(value), run);
    x += run;
  }
  bits = in;
  if (result == MSPACK_ERR_OK && !WithinInput()) result = MSPACK_ERR_DATAFORMAT;
  return result;
}

int LzxState::ReadBlockHeader() {
  if (byte_mode) {
    raw_pos += pad_pending ? 1 : 0;
    if (raw_pos > limit) return MSPACK_ERR_DATAFORMAT;
    bits = {input + raw_pos, 0, 0};
    byte_mode = pad_pending = false;
  }
  if (bits.p > Guard()) return MSPACK_ERR_DATAFORMAT;
  bits.Refill();
  const unsigned type = bits.Read(3);
  const std::uint32_t size = bits.Read(24);
  int result = MSPACK_ERR_OK;
  switch (type) {
    case 2:
      bits.Refill();
      for (std::uint8_t& len : aligned_lengths) len = static_cast<std::uint8_t>(bits.Read(3));
      if (!aligned.Build(aligned_lengths, 8)) return MSPACK_ERR_DECRUNCH;
      [[fallthrough]];
    case 1:
      if ((result = ReadLengths(main_lengths, 0, 256)) != MSPACK_ERR_OK ||
          (result = ReadLengths(main_lengths, 256, main_symbols)) != MSPACK_ERR_OK) {
        return result;
      }
      if (!main.Build(main_lengths, main_symbols, kSlots.main_extra)) return MSPACK_ERR_DECRUNCH;
      if ((result = ReadLengths(length_lengths, 0, kLengthSymbols)) != MSPACK_ERR_OK) {
        return result;
      }
      if (!length.Build(length_lengths, kLengthSymbols)) return MSPACK_ERR_DECRUNCH;
      break;
    case 3: {
      // 1 to 16 bits of padding up to the next word, then bytes.
      bits.Drop(16 - (ConsumedBits() & 15));
      raw_pos = ConsumedBits() / 8;
      byte_mode = true;
      if (raw_pos + 12 > limit) return MSPACK_ERR_DATAFORMAT;
      r0 = RawLe32(raw_pos);
      r1 = RawLe32(raw_pos + 4);
      r2 = RawLe32(raw_pos + 8);
      raw_pos += 12;
      pad_pending = (size & 1) != 0;
      break;
    }
    default:
      return MSPACK_ERR_DECRUNCH;
  }
  block_type = type;
  block_remaining = size;
  return TakeOk(WithinInput(), MSPACK_ERR_DATAFORMAT);
}

// Decodes `run` bytes of a verbatim or aligned-offset block into the window
// at `pos`; no match may go past them.
template <bool kAligned>
int LzxState::DecodeRun(std::size_t pos, std::size_t run) {
  std::uint8_t* const win = window;
  const std::size_t end = pos + run;
  const std::uint8_t* const guard = Guard();
  // The folder offset of win[0]: 0 on the first lap, else past the window.
  const std::uint64_t lap_start = total - window_pos;
  // What a match that reads before the buffer's start adds to its place:
  // on the first lap, so much that it fails the check for crossing the
  // buffer's end, and is refused there.
  const std::size_t wrap = lap_start == 0 ? std::size_t{1} << 63 : window_buffer;
  // Without a main tree, the first symbol fails (unless the input's end
  // comes first).
  if (main.entries[0] == kNoSymbol << 16)
    return bits.p > guard ? MSPACK_ERR_DATAFORMAT : MSPACK_ERR_DECRUNCH;
  BitReader in = bits;
  std::uint32_t R0 = r0, R1 = r1, R2 = r2;
  int result = MSPACK_ERR_OK;
  while (pos < end) {
    if (in.p > guard) {
      result = MSPACK_ERR_DATAFORMAT;
      break;
    }
    // Literals straight from the first-level table (11 bits at most each),
    // up to three per refill when the run has room for them. The next
    // symbol and what follows it (a match's length symbol and footer) take
    // 53 bits at most.
    in.Refill();
    std::uint32_t e = main.Peek(in);
    if (end - pos >= 3) {
      if (e < kFirstMatchEntry) {
        in.DropEntry(e);
        win[pos] = static_cast<std::uint8_t>(e >> 16);
        e = main.Peek(in);
        if (e < kFirstMatchEntry) {
          in.DropEntry(e);
          win[pos + 1] = static_cast<std::uint8_t>(e >> 16);
          e = main.Peek(in);
          if (e < kFirstMatchEntry) {
            in.DropEntry(e);
            win[pos + 2] = static_cast<std::uint8_t>(e >> 16);
            pos += 3;
            continue;
          }
          ++pos;
        }
        ++pos;
        in.Refill();
      }
    }
    e = main.Finish(in, e);
    if (e < kFirstMatchEntry) {
      win[pos++] = static_cast<std::uint8_t>(e >> 16);
      continue;
    }
    // A symbol of the main tree (not empty) names a slot the window has,
    // whose offsets all lie inside it.
    const unsigned symbol = (e >> 16) - 256;
    std::size_t len = (symbol & 7) + 2;
    const unsigned slot = symbol >> 3;
    if (len == 9) {
      const unsigned more = length.Decode(in);
      if (more >= kLengthSymbols) {
        result = MSPACK_ERR_DECRUNCH;
        break;
      }
      len += more;
    }
    std::uint32_t offset;
    if (slot >= 3) [[likely]] {
      const unsigned extra = (e >> 8) & 0x1F;
      std::uint32_t footer;
      if (kAligned && extra >= 3) {
        footer = in.Read(extra - 3) << 3;
        // Aligned lengths have 3 bits: every code is in the first level.
        const std::uint32_t entry = aligned.Peek(in);
        in.DropEntry(entry);
        const unsigned low = entry >> 16;
        if (low >= 8) {
          result = MSPACK_ERR_DECRUNCH;
          break;
        }
        footer += low;
      } else {
        footer = in.Read(extra);
      }
      offset = kSlots.offset_base[slot] + footer;
      R2 = R1;
      R1 = R0;
      R0 = offset;
    } else if (slot == 0) {
      offset = R0;
    } else if (slot == 1) {
      offset = R1;
      R1 = R0;
      R0 = offset;
    } else {
      offset = R2;
      R2 = R0;
      R0 = offset;
    }
    // A repeated offset (from an uncompressed block's header) may be
    // anything; a match reaches back at most the window.
    if (slot < 3 && offset - 1u >= window_size) {
      result = MSPACK_ERR_DECRUNCH;
      break;
    }
    if (len > end - pos) {
      result = MSPACK_ERR_DECRUNCH;
      break;
    }
    // Before the buffer's start, the match reads from its end (the lap
    // before), and rarely on across it.
    std::size_t from = pos - offset;
    if (offset > pos) from += wrap;
    if (from + len <= window_buffer) [[likely]] {
      CopyMatch(win + pos, win + from, offset, len);
    } else if (!CopyAcrossLap(pos, offset, len)) {
      result = MSPACK_ERR_DECRUNCH;
      break;
    }
    pos += len;
  }
  bits = in;
  r0 = R0;
  r1 = R1;
  r2 = R2;
  if (result == MSPACK_ERR_OK && !WithinInput()) result = MSPACK_ERR_DATAFORMAT;
  return result;
}

// A match that starts reading at the buffer's end, in the lap before (a
// frame or more behind `pos`), and goes on at its start; false, copying
// nothing, for one that reaches back before the folder's start.
bool LzxState::CopyAcrossLap(std::size_t pos, std::size_t offset, std::size_t len) {
  if (offset > total - window_pos + pos) return false;
  const std::size_t from = pos + window_buffer - offset;
  const std::size_t head = window_buffer - from;
  CopyApart(window + pos, window + from, head);
  CopyMatch(window + pos + head, window, offset, len - head);
  return true;
}

int LzxState::DecodeFrame(std::size_t frame_size) {
  if (!header_read) {
    bits.Refill();
    if (bits.Read(1) != 0) {
      const std::uint32_t high = bits.Read(16);
      e8_size = static_cast<std::int32_t>(high << 16 | bits.Read(16));
    }
    header_read = true;
  }
  std::size_t pos = window_pos;
  const std::size_t end = pos + frame_size;
  while (pos < end) {
    int result = MSPACK_ERR_OK;
    if (block_remaining == 0) {
      result = ReadBlockHeader();
      if (result != MSPACK_ERR_OK) return result;
      continue;
    }
    const std::size_t run = std::min<std::size_t>(block_remaining, end - pos);
    if (block_type == 3) {
      if (run > limit - raw_pos) return MSPACK_ERR_DATAFORMAT;
      CopyRaw(window + pos, run);
    } else if (block_type == 2) {
      result = DecodeRun<true>(pos, run);
    } else {
      result = DecodeRun<false>(pos, run);
    }
    if (result != MSPACK_ERR_OK) return result;
    pos += run;
    block_remaining -= static_cast<std::uint32_t>(run);
  }
  // The frame ends on a word.
  if (!byte_mode) AlignToWord();
  return TakeOk(WithinInput(), MSPACK_ERR_DATAFORMAT);
}

// E8 call translation of one frame: an E8 byte followed by an absolute
// operand in [-position, e8_size) gets the operand relative to its position.
void LzxState::TranslateE8(unsigned char* out, std::size_t size) const {
  const std::int64_t frame_start = static_cast<std::int64_t>(frame_index) * kFrame;
  unsigned char* const end = out + size - 10;
  for (unsigned char* at = out; at < end; at += 5) {
    at = static_cast<unsigned char*>(std::memchr(at, 0xE8, static_cast<std::size_t>(end - at)));
    if (at == nullptr) break;
    const std::int64_t position = frame_start + (at - out);
    const std::int64_t absolute = static_cast<std::int32_t>(LoadLe32(at + 1));
    if (absolute >= -position && absolute < e8_size) {
      const std::int64_t relative = absolute >= 0 ? absolute - position : absolute + e8_size;
      const auto value = static_cast<std::uint32_t>(relative);
      at[1] = static_cast<unsigned char>(value);
      at[2] = static_cast<unsigned char>(value >> 8);
      at[3] = static_cast<unsigned char>(value >> 16);
      at[4] = static_cast<unsigned char>(value >> 24);
    }
  }
}

LzxCodec::~LzxCodec() {
  if (state_ == nullptr) return;
  callbacks_.free(state_->window);
  callbacks_.free(state_->input);
  state_->~LzxState();
  callbacks_.free(state_);
}

bool LzxCodec::WindowBitsOf(std::uint16_t compression_type, unsigned* bits) {
  const unsigned window = (compression_type >> 8) & 0x1F;
  if ((compression_type & 0x000F) != 3 || window < 15 || window > 21) return false;
  *bits = window;
  return true;
}

bool LzxCodec::Prepare() {
  if (state_ != nullptr) return state_->window != nullptr && state_->input != nullptr;
  if (window_bits_ < 15 || window_bits_ > 21) return false;
  void* memory = callbacks_.alloc(sizeof(LzxState));
  if (memory == nullptr) return false;
  state_ = new (memory) LzxState();
  state_->window_size = std::size_t{1} << window_bits_;
  state_->window_buffer = state_->window_size + kFrame;
  state_->main_symbols = 256 + 8 * SlotCount(window_bits_);
  state_->window = static_cast<std::uint8_t*>(
      callbacks_.alloc(static_cast<unsigned long>(state_->window_buffer + kCopySlack)));
  state_->input = static_cast<std::uint8_t*>(callbacks_.alloc(kInputCapacity + kInputPad + kGuard));
  if (state_->window == nullptr || state_->input == nullptr) return false;
  std::memset(state_->window + state_->window_buffer, 0, kCopySlack);
  state_->Reset();
  return true;
}

void LzxCodec::StartFolder() {
  if (state_ != nullptr && state_->input != nullptr) state_->Reset();
}

int LzxCodec::DecodeBlock(const unsigned char* in, std::size_t in_bytes, unsigned char* out,
                          std::size_t out_bytes, bool last) {
  if (state_ == nullptr || state_->window == nullptr || state_->input == nullptr)
    return MSPACK_ERR_DATAFORMAT;
  LzxState& s = *state_;
  if (s.finished || out_bytes == 0 || out_bytes > kFrame || (!last && out_bytes != kFrame))
    return MSPACK_ERR_DATAFORMAT;
  int result = s.TakeInput(in, in_bytes, last);
  if (result == MSPACK_ERR_OK) result = s.DecodeFrame(out_bytes);
  if (result != MSPACK_ERR_OK) {
    s.finished = true;
    return result;
  }
  std::memcpy(out, s.window + s.window_pos, out_bytes);
  if (s.e8_size != 0 && s.frame_index < kE8Frames && out_bytes > 10) s.TranslateE8(out, out_bytes);
  s.window_pos += out_bytes;
  if (s.window_pos == s.window_buffer) s.window_pos = 0;
  s.total += out_bytes;
  ++s.frame_index;
  if (last || out_bytes != kFrame) s.finished = true;
  return MSPACK_ERR_OK;
}

}  // namespace fdi
