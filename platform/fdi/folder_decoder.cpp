#include "fdi/folder_decoder.h"

#include <fcntl.h>
#include <mspack.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "fdi/cabinet_format.h"
#include "fdi/data_block_checksum.h"
#include "files/byte_order.h"

namespace fdi {
namespace {

constexpr std::size_t kBlockBytes = 32768;                 // the most a block decodes to
constexpr std::size_t kMaxCompressedBytes = 32768 + 6144;  // the most a block may hold
constexpr std::size_t kBlockHeaderBytes = cab::kBlockBytes;
constexpr std::size_t kMaxBlockReserve = 255;
// Read and write sizes: large enough that the callbacks' calls cost little,
// small enough that a copy's memory stays well under a megabyte.
constexpr std::size_t kInputBytes = 256 * 1024;
constexpr std::size_t kOutputBytes = 8 * kBlockBytes;
static_assert(kInputBytes >= kBlockHeaderBytes + kMaxBlockReserve + kMaxCompressedBytes);

// The largest offset and end an entry may have (as for libmspack's path).
constexpr std::uint32_t kMaxFolderBytes = 0x7FFFFFFF;

}  // namespace

FolderDecoder::FolderDecoder(const Callbacks& callbacks) : callbacks_(callbacks) {}

FolderDecoder::~FolderDecoder() {
  if (handle_ != -1) callbacks_.close(handle_);
  callbacks_.free(in_);
  callbacks_.free(out_);
}

bool FolderDecoder::Prepare() {
  if (in_ == nullptr) in_ = static_cast<unsigned char*>(callbacks_.alloc(kInputBytes));
  if (out_ == nullptr) out_ = static_cast<unsigned char*>(callbacks_.alloc(kOutputBytes + 1));
  return in_ != nullptr && out_ != nullptr;
}

int FolderDecoder::Extract(BlockCodec& codec, const char* path, std::size_t folder,
                           const FolderData& data, std::uint32_t offset, std::uint32_t length,
                           intptr_t output) {
  // The same limits as libmspack's path: an entry may not start past 2 GiB,
  // is cut at 2 GiB, and may not reach past what the folder's blocks hold.
  if (offset > kMaxFolderBytes) return MSPACK_ERR_DATAFORMAT;
  if (length > kMaxFolderBytes - offset) length = kMaxFolderBytes - offset;
  if (std::uint64_t{offset} + length > std::uint64_t{data.block_count} * kBlockBytes)
    return MSPACK_ERR_DECRUNCH;
  if (!started_ || &codec != codec_ || folder != folder_ || offset < out_position_ ||
      path_ == nullptr || std::strcmp(path, path_) != 0) {
    codec_ = &codec;
    int error = Restart(path, folder, data);
    if (error != MSPACK_ERR_OK) return error;
  }
  std::uint64_t position = offset;
  std::uint64_t end = std::uint64_t{offset} + length;
  while (position < end) {
    int error = Fill(end);
    if (error != MSPACK_ERR_OK) {
      started_ = false;
      return error;
    }
    std::uint64_t held_end = out_position_ + out_fill_;
    if (position < held_end) {
      std::uint64_t stop = held_end < end ? held_end : end;
      auto count = static_cast<unsigned>(stop - position);
      // pfnwrite takes the bytes as void*, but only reads them.
      unsigned put = callbacks_.write(
          output, const_cast<unsigned char*>(held_ + (position - out_position_)), count);
      if (put != count) {
        started_ = false;
        return MSPACK_ERR_WRITE;
      }
      position = stop;
    }
    if (position < end) MakeRoom();
  }
  return MSPACK_ERR_OK;
}

int FolderDecoder::Restart(const char* path, std::size_t folder, const FolderData& data) {
  started_ = false;
  if (handle_ == -1 || path_ == nullptr || std::strcmp(path, path_) != 0) {
    if (handle_ != -1) callbacks_.close(handle_);
    path_ = nullptr;
    handle_ = callbacks_.open(const_cast<char*>(path), O_RDONLY, 0);
    if (handle_ == -1) return MSPACK_ERR_OPEN;
    path_ = path;
  }
  if (callbacks_.seek(handle_, static_cast<long>(data.offset), SEEK_SET) !=
      static_cast<long>(data.offset))
    return MSPACK_ERR_SEEK;
  folder_ = folder;
  data_ = data;
  blocks_done_ = 0;
  in_begin_ = 0;
  in_end_ = 0;
  held_ = out_;
  out_position_ = 0;
  out_fill_ = 0;
  passes_through_ = codec_->PassesPayloadThrough();
  codec_->StartFolder();
  started_ = true;
  return MSPACK_ERR_OK;
}

void FolderDecoder::MakeRoom() {
  codec_->OutputReused();
  out_position_ += out_fill_;
  out_fill_ = 0;
  held_ = out_;
}

int FolderDecoder::Fill(std::uint64_t end) {
  // A payload passed through is held alone, until it has all been written.
  if (passes_through_) return out_fill_ == 0 ? DecodeBlock() : MSPACK_ERR_OK;
  // Decode while the entry's bytes are not all there and a block fits.
  while (out_position_ + out_fill_ < end && kOutputBytes - out_fill_ >= kBlockBytes) {
    int error = DecodeBlock();
    if (error != MSPACK_ERR_OK) return error;
  }
  return MSPACK_ERR_OK;
}

int FolderDecoder::Input(std::size_t count, const unsigned char** bytes) {
  if (in_end_ - in_begin_ < count) {
    std::memmove(in_, in_ + in_begin_, in_end_ - in_begin_);
    in_end_ -= in_begin_;
    in_begin_ = 0;
    while (in_end_ < count) {
      unsigned got =
          callbacks_.read(handle_, in_ + in_end_, static_cast<unsigned>(kInputBytes - in_end_));
      if (got == static_cast<unsigned>(-1) || got > kInputBytes - in_end_ || got == 0)
        return MSPACK_ERR_READ;
      in_end_ += got;
    }
  }
  *bytes = in_ + in_begin_;
  in_begin_ += count;
  return MSPACK_ERR_OK;
}

int FolderDecoder::DecodeBlock() {
  if (blocks_done_ >= data_.block_count) return MSPACK_ERR_DATAFORMAT;
  const unsigned char* header = nullptr;
  int error = Input(kBlockHeaderBytes + data_.block_reserve, &header);
  if (error != MSPACK_ERR_OK) return error;
  std::uint32_t checksum = files::LoadU32(header + cab::kBlockChecksum);
  std::size_t compressed = files::LoadU16(header + cab::kBlockCompressedSize);
  std::size_t uncompressed = files::LoadU16(header + cab::kBlockUncompressedSize);
  // A block of 0 bytes goes on in the next cabinet; such folders are not
  // decoded here, so in this folder it is damage.
  if (compressed > kMaxCompressedBytes || uncompressed == 0 || uncompressed > kBlockBytes)
    return MSPACK_ERR_DATAFORMAT;
  unsigned char sizes[4];
  std::memcpy(sizes, header + cab::kBlockCompressedSize, sizeof sizes);
  const unsigned char* body = nullptr;
  error = Input(compressed, &body);
  if (error != MSPACK_ERR_OK) return error;
  if (checksum != 0 && DataBlockChecksum(body, compressed, sizes) != checksum)
    return MSPACK_ERR_CHECKSUM;

  if (passes_through_) {
    // Held where it was read: in_ is not touched again before it is dropped.
    error = codec_->CheckBlock(compressed, uncompressed);
    if (error != MSPACK_ERR_OK) return error;
    held_ = body;
  } else {
    const bool last = blocks_done_ + 1 == data_.block_count;
    error = codec_->DecodeBlock(body, compressed, out_ + out_fill_, uncompressed, last);
    if (error != MSPACK_ERR_OK) return error;
  }
  ++blocks_done_;
  out_fill_ += uncompressed;
  return MSPACK_ERR_OK;
}

}  // namespace fdi
