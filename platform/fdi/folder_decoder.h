// The fast way through a folder that lies wholly inside one cabinet: our own
// reading of its data blocks (CFDATA) through the caller's pfnread and
// pfnseek, each block's checksum checked when it has one, and each block's
// payload handed to the folder's codec (fdi/block_codec.h). Decoded bytes
// gather in a buffer of several blocks and go to the entry's handle with
// pfnwrite in pieces as large as that buffer; a payload that a codec passes
// through (stored) goes to it a block at a time from where it was read. All
// memory comes from pfnalloc and none of it is sized from the file.
//
// Entries are asked for one at a time, by their offset and length in the
// folder's uncompressed data. Asking for an entry further on decodes (and
// drops) whatever lies between; asking for one before the decoded bytes
// still held starts the folder again from its first block.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fdi/block_codec.h"
#include "fdi/cabinet_directory.h"
#include "fdi/fdi_context.h"

namespace fdi {

class FolderDecoder {
 public:
  explicit FolderDecoder(const Callbacks& callbacks);
  ~FolderDecoder();
  FolderDecoder(const FolderDecoder&) = delete;
  FolderDecoder& operator=(const FolderDecoder&) = delete;

  // Makes the buffers; false when memory runs out.
  bool Prepare();

  // Writes `length` bytes from `offset` of folder `folder`'s data (laid out
  // as `data`) in the cabinet at `path` to `output`, decoding the blocks
  // with `codec` (prepared). MSPACK_ERR_OK, or the libmspack error code that
  // names the failure: MSPACK_ERR_OPEN, MSPACK_ERR_READ, MSPACK_ERR_SEEK,
  // MSPACK_ERR_WRITE, MSPACK_ERR_CHECKSUM, MSPACK_ERR_DATAFORMAT (a block's
  // sizes, or the codec's), MSPACK_ERR_DECRUNCH (an entry past the folder's
  // end, a block the codec cannot decode to its declared size).
  int Extract(BlockCodec& codec, const char* path, std::size_t folder, const FolderData& data,
              std::uint32_t offset, std::uint32_t length, intptr_t output);

 private:
  int Restart(const char* path, std::size_t folder, const FolderData& data);
  int Fill(std::uint64_t end);
  int DecodeBlock();
  int Input(std::size_t count, const unsigned char** bytes);
  void MakeRoom();

  const Callbacks& callbacks_;
  unsigned char* in_ = nullptr;   // kInputBytes read ahead from the cabinet
  unsigned char* out_ = nullptr;  // kOutputBytes (+1) of decoded blocks
  intptr_t handle_ = -1;
  const char* path_ = nullptr;  // the cabinet handle_ is open on

  // The folder being decoded; none after a failure.
  bool started_ = false;
  BlockCodec* codec_ = nullptr;
  bool passes_through_ = false;  // codec_->PassesPayloadThrough()
  std::size_t folder_ = 0;
  FolderData data_;
  std::uint16_t blocks_done_ = 0;
  std::size_t in_begin_ = 0;
  std::size_t in_end_ = 0;
  // The decoded bytes held: out_fill_ bytes at held_ (out_, or the payload
  // passed through, in in_), from folder offset out_position_.
  const unsigned char* held_ = nullptr;
  std::uint64_t out_position_ = 0;
  std::size_t out_fill_ = 0;
};

}  // namespace fdi
