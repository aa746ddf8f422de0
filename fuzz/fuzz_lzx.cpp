// libFuzzer target: fdi::LzxCodec on one folder's payloads, checked against
// libmspack on the same folder written as a cabinet. Byte 0: window bits
// (15 + low 3 bits mod 7), bit 3 picks the mode, bits 4-5 the number of
// data blocks (1 to 4); bytes 1-2 the last block's output size.
//   Raw mode: the rest is the LZX stream, cut into the blocks evenly.
//   Compress mode: byte 3 picks block types and E8 translation, bytes 4-5
//   the LZX block size, bytes 6-8 a byte to damage and how (byte 6's top
//   bits also repeat the data, up to 126 KiB, so that small inputs make
//   several frames and reach back across the window); the rest is data that
//   the fixture compressor turns into the stream.
// When both decoders succeed their bytes must agree; an undamaged stream
// must decode to its data.
#include <mspack.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fdi/lzx_codec.h"
#include "fixtures/byte_writer.h"
#include "fixtures/lzx_compressor.h"
#include "scratch_folder.h"

namespace {

constexpr std::size_t kFrame = 32768;

void* Alloc(unsigned long bytes) { return std::malloc(bytes); }
void Free(void* block) { std::free(block); }

// A cabinet of one LZX folder with one file of `total` bytes; checksums 0.
std::string Cabinet(unsigned window_bits, const std::vector<std::string>& payloads,
                    std::size_t total) {
  const std::size_t data_offset = 36 + 8 + 16 + 2;
  std::string out = "MSCF";
  std::string data;
  for (std::size_t b = 0; b < payloads.size(); ++b) {
    fixtures::PutU32(data, 0);
    fixtures::PutU16(data, static_cast<std::uint16_t>(payloads[b].size()));
    const std::size_t bytes = b + 1 < payloads.size() ? kFrame : total - kFrame * b;
    fixtures::PutU16(data, static_cast<std::uint16_t>(bytes));
    data += payloads[b];
  }
  fixtures::PutU32(out, 0);
  fixtures::PutU32(out, static_cast<std::uint32_t>(data_offset + data.size()));
  fixtures::PutU32(out, 0);
  fixtures::PutU32(out, 36 + 8);
  fixtures::PutU32(out, 0);
  fixtures::PutU16(out, 0x0103);
  fixtures::PutU16(out, 1);  // folders
  fixtures::PutU16(out, 1);  // files
  fixtures::PutU16(out, 0);
  fixtures::PutU16(out, 0);
  fixtures::PutU16(out, 0);
  fixtures::PutU32(out, static_cast<std::uint32_t>(data_offset));
  fixtures::PutU16(out, static_cast<std::uint16_t>(payloads.size()));
  fixtures::PutU16(out, static_cast<std::uint16_t>(3 | window_bits << 8));
  fixtures::PutU32(out, static_cast<std::uint32_t>(total));
  fixtures::PutU32(out, 0);
  fixtures::PutU16(out, 0);
  fixtures::PutU16(out, 0x4A52);
  fixtures::PutU16(out, 0x8A4B);
  fixtures::PutU16(out, 0x20);
  out += std::string("f\0", 2);
  return out + data;
}

// libmspack's bytes for the cabinet's file; false when it fails.
bool ExtractWithMspack(const std::string& cabinet, std::string* out) {
  const std::string in_path = (fuzz_support::ScratchFolder() / "lzx.cab").string();
  const std::string out_path = (fuzz_support::ScratchFolder() / "lzx.out").string();
  std::ofstream(in_path, std::ios::binary) << cabinet;
  mscab_decompressor* d = mspack_create_cab_decompressor(nullptr);
  if (d == nullptr) std::abort();
  mscabd_cabinet* cab = d->open(d, const_cast<char*>(in_path.c_str()));
  bool ok = false;
  if (cab != nullptr) {
    ok = d->extract(d, cab->files, const_cast<char*>(out_path.c_str())) == MSPACK_ERR_OK;
    d->close(d, cab);
  }
  mspack_destroy_cab_decompressor(d);
  if (ok) {
    std::ifstream in(out_path, std::ios::binary);
    out->assign(std::istreambuf_iterator<char>(in), {});
  }
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const unsigned window_bits = 15 + (data[0] & 7) % 7;
  const bool compress = (data[0] & 8) != 0;
  std::size_t blocks = 1 + ((data[0] >> 4) & 3);
  std::size_t total = kFrame * (blocks - 1) + (data[1] | data[2] << 8) % kFrame + 1;
  std::vector<std::string> payloads;
  std::string expected;
  bool damaged = false;
  if (compress) {
    if (size < 9) return 0;
    using T = fixtures::LzxBlockType;
    fixtures::LzxOptions options;
    const T kinds[] = {T::kVerbatim, T::kAligned, T::kUncompressed, T::kAligned};
    options.block_types = {kinds[data[3] & 3], kinds[(data[3] >> 2) & 3]};
    options.e8_translation_size = (data[3] & 16) ? 1u << (data[3] >> 5 << 2) : 0;
    options.block_size = 1 + (data[4] | data[5] << 8) * 3;
    const std::string tail(reinterpret_cast<const char*>(data) + 9, size - 9);
    if (tail.empty() || tail.size() > 4 * kFrame) return 0;
    const std::size_t target = static_cast<std::size_t>(data[6] >> 2) * 2048;
    for (unsigned copy = 0; expected.size() < target || copy == 0; ++copy) {
      expected += tail;
      expected.push_back(static_cast<char>(copy));
    }
    // Tiny blocks each carry whole trees: keep their data short.
    expected.resize(std::min(expected.size(), options.block_size < 1024 ? 4096 : 4 * kFrame));
    payloads = fixtures::CompressLzx(expected, window_bits, options);
    blocks = payloads.size();
    total = expected.size();
    std::string& victim = payloads[(data[6] & 3) % blocks];
    if (data[8] != 0 && !victim.empty()) {
      victim[data[7] % victim.size()] ^= static_cast<char>(data[8]);
      damaged = true;
    }
  } else {
    const std::string stream(reinterpret_cast<const char*>(data) + 3, size - 3);
    for (std::size_t b = 0; b < blocks; ++b) {
      payloads.push_back(
          stream.substr(stream.size() * b / blocks,
                        stream.size() * (b + 1) / blocks - stream.size() * b / blocks));
    }
    damaged = true;
  }
  for (const std::string& payload : payloads) {
    if (payload.size() > 0xFFFF) return 0;
  }

  const fdi::Callbacks callbacks{Alloc, Free, nullptr, nullptr, nullptr, nullptr, nullptr};
  fdi::LzxCodec codec(callbacks, window_bits);
  if (!codec.Prepare()) std::abort();
  codec.StartFolder();
  std::string ours;
  bool ok = true;
  std::vector<unsigned char> out(kFrame + 1);
  for (std::size_t b = 0; b < blocks && ok; ++b) {
    const std::size_t bytes = b + 1 < blocks ? kFrame : total - kFrame * b;
    const int error = codec.DecodeBlock(reinterpret_cast<const unsigned char*>(payloads[b].data()),
                                        payloads[b].size(), out.data(), bytes, b + 1 == blocks);
    if (error != MSPACK_ERR_OK && error != MSPACK_ERR_DATAFORMAT && error != MSPACK_ERR_DECRUNCH)
      std::abort();
    ok = error == MSPACK_ERR_OK;
    if (ok) ours.append(reinterpret_cast<const char*>(out.data()), bytes);
  }
  if (!damaged && (!ok || ours != expected)) std::abort();
  std::string theirs;
  if (ok && ExtractWithMspack(Cabinet(window_bits, payloads, total), &theirs) && theirs != ours)
    std::abort();
  return 0;
}
