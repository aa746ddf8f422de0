#include "fdi/mszip_folder.h"

#include <fcntl.h>
#include <mspack.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "fdi/data_block_checksum.h"

namespace fdi {
namespace {

constexpr std::size_t kBlockBytes = 32768;                 // the most a block decodes to
constexpr std::size_t kMaxCompressedBytes = 32768 + 6144;  // the most a block may hold
constexpr std::size_t kBlockHeaderBytes = 8;
constexpr std::size_t kMaxBlockReserve = 255;
// Read and write sizes: large enough that the callbacks' calls cost little,
// small enough that a copy's memory stays well under a megabyte.
constexpr std::size_t kInputBytes = 256 * 1024;
constexpr std::size_t kOutputBytes = 8 * kBlockBytes;
static_assert(kInputBytes >= kBlockHeaderBytes + kMaxBlockReserve + kMaxCompressedBytes);

// The largest offset and end an entry may have (as for libmspack's path).
constexpr std::uint32_t kMaxFolderBytes = 0x7FFFFFFF;

std::uint16_t U16(const unsigned char* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t U32(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

}  // namespace

MszipFolderDecoder::MszipFolderDecoder(const Callbacks& callbacks) : callbacks_(callbacks) {}

MszipFolderDecoder::~MszipFolderDecoder() {
  if (handle_ != -1) callbacks_.close(handle_);
  if (inflater_ != nullptr) {
    inflater_->~RawInflater();
    callbacks_.free(inflater_);
  }
  callbacks_.free(in_);
  callbacks_.free(out_);
  callbacks_.free(window_);
}

bool MszipFolderDecoder::Prepare() {
  if (inflater_ != nullptr) return inflater_->available();
  void* memory = callbacks_.alloc(sizeof(RawInflater));
  if (memory == nullptr) return false;
  inflater_ = new (memory) RawInflater(callbacks_);
  if (!inflater_->available()) return false;
  in_ = static_cast<unsigned char*>(callbacks_.alloc(kInputBytes));
  out_ = static_cast<unsigned char*>(callbacks_.alloc(kOutputBytes + 1));
  window_ = static_cast<unsigned char*>(callbacks_.alloc(RawInflater::kDictionaryBytes));
  return in_ != nullptr && out_ != nullptr && window_ != nullptr;
}

int MszipFolderDecoder::Extract(const char* path, std::size_t folder, const FolderData& data,
                                std::uint32_t offset, std::uint32_t length, intptr_t output) {
  // The same limits as libmspack's path: an entry may not start past 2 GiB,
  // is cut at 2 GiB, and may not reach past what the folder's blocks hold.
  if (offset > kMaxFolderBytes) return MSPACK_ERR_DATAFORMAT;
  if (length > kMaxFolderBytes - offset) length = kMaxFolderBytes - offset;
  if (std::uint64_t{offset} + length > std::uint64_t{data.block_count} * kBlockBytes)
    return MSPACK_ERR_DECRUNCH;
  if (!started_ || folder != folder_ || offset < out_position_ || path_ == nullptr ||
      std::strcmp(path, path_) != 0) {
    int error = Restart(path, folder, data);
    if (error != MSPACK_ERR_OK) return error;
  }
  std::uint64_t position = offset;
  std::uint64_t end = std::uint64_t{offset} + length;
  while (position < end) {
    // Decode while the entry's bytes are not all there and a block fits.
    while (out_position_ + out_fill_ < end && kOutputBytes - out_fill_ >= kBlockBytes) {
      int error = DecodeBlock();
      if (error != MSPACK_ERR_OK) {
        started_ = false;
        return error;
      }
    }
    std::uint64_t held_end = out_position_ + out_fill_;
    if (position < held_end) {
      std::uint64_t stop = held_end < end ? held_end : end;
      auto count = static_cast<unsigned>(stop - position);
      unsigned put = callbacks_.write(output, out_ + (position - out_position_), count);
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

int MszipFolderDecoder::Restart(const char* path, std::size_t folder, const FolderData& data) {
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
  out_position_ = 0;
  out_fill_ = 0;
  dictionary_ = nullptr;
  started_ = true;
  return MSPACK_ERR_OK;
}

void MszipFolderDecoder::MakeRoom() {
  // The dictionary must outlive the bytes it lies in.
  if (dictionary_ != nullptr && dictionary_ != window_) {
    std::memcpy(window_, dictionary_, RawInflater::kDictionaryBytes);
    dictionary_ = window_;
  }
  out_position_ += out_fill_;
  out_fill_ = 0;
}

int MszipFolderDecoder::Input(std::size_t count, const unsigned char** bytes) {
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

int MszipFolderDecoder::DecodeBlock() {
  if (blocks_done_ >= data_.block_count) return MSPACK_ERR_DATAFORMAT;
  const unsigned char* header = nullptr;
  int error = Input(kBlockHeaderBytes + data_.block_reserve, &header);
  if (error != MSPACK_ERR_OK) return error;
  std::uint32_t checksum = U32(header);
  std::size_t compressed = U16(header + 4);
  std::size_t uncompressed = U16(header + 6);
  // A block of 0 bytes goes on in the next cabinet; such folders are not
  // decoded here, so in this folder it is damage.
  if (compressed > kMaxCompressedBytes || uncompressed == 0 || uncompressed > kBlockBytes)
    return MSPACK_ERR_DATAFORMAT;
  unsigned char sizes[4];
  std::memcpy(sizes, header + 4, sizeof sizes);
  const unsigned char* body = nullptr;
  error = Input(compressed, &body);
  if (error != MSPACK_ERR_OK) return error;
  if (checksum != 0 && DataBlockChecksum(body, compressed, sizes) != checksum)
    return MSPACK_ERR_CHECKSUM;
  if (compressed < 2 || body[0] != 'C' || body[1] != 'K') return MSPACK_ERR_DATAFORMAT;

  unsigned char* target = out_ + out_fill_;
  if (!inflater_->Inflate(dictionary_, body + 2, compressed - 2, target, uncompressed))
    return MSPACK_ERR_DECRUNCH;
  ++blocks_done_;
  out_fill_ += uncompressed;
  if (uncompressed == kBlockBytes) {
    dictionary_ = target;
  } else {
    // A short block overwrites the start of the 32 KiB window only; the
    // rest of the window keeps what was there (nothing at a folder's start).
    if (dictionary_ == nullptr) {
      std::memset(window_, 0, RawInflater::kDictionaryBytes);
    } else if (dictionary_ != window_) {
      std::memcpy(window_ + uncompressed, dictionary_ + uncompressed,
                  RawInflater::kDictionaryBytes - uncompressed);
    }
    std::memcpy(window_, target, uncompressed);
    dictionary_ = window_;
  }
  return MSPACK_ERR_OK;
}

}  // namespace fdi
