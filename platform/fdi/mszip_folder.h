// The fast way through an MSZIP folder that lies wholly inside one cabinet:
// our own reading of its data blocks (CFDATA) through the caller's pfnread
// and pfnseek, each block's checksum checked when it has one, and each
// block inflated by ISA-L with the previous 32 KiB of output as its preset
// dictionary, as MSZIP's history runs across the blocks of a folder.
// Decoded bytes gather in a buffer of several blocks and go to the entry's
// handle with pfnwrite in pieces as large as that buffer; all memory comes
// from pfnalloc and none of it is sized from the file.
//
// Entries are asked for one at a time, by their offset and length in the
// folder's uncompressed data. Asking for an entry further on decodes (and
// drops) whatever lies between; asking for one before the decoded bytes
// still held starts the folder again from its first block.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fdi/cabinet_directory.h"
#include "fdi/fdi_context.h"
#include "fdi/raw_inflater.h"

namespace fdi {

class MszipFolderDecoder {
 public:
  explicit MszipFolderDecoder(const Callbacks& callbacks);
  ~MszipFolderDecoder();
  MszipFolderDecoder(const MszipFolderDecoder&) = delete;
  MszipFolderDecoder& operator=(const MszipFolderDecoder&) = delete;

  // Makes the buffers and the inflater; false (and the caller decodes
  // another way) when ISA-L is missing or memory runs out.
  bool Prepare();

  // Writes `length` bytes from `offset` of folder `folder`'s data (laid out
  // as `data`) in the cabinet at `path` to `output`. MSPACK_ERR_OK, or the
  // libmspack error code that names the failure: MSPACK_ERR_OPEN,
  // MSPACK_ERR_READ, MSPACK_ERR_SEEK, MSPACK_ERR_WRITE, MSPACK_ERR_CHECKSUM,
  // MSPACK_ERR_DATAFORMAT (a block's sizes or signature), MSPACK_ERR_DECRUNCH
  // (an entry past the folder's end, a block that does not inflate to its
  // declared size).
  int Extract(const char* path, std::size_t folder, const FolderData& data, std::uint32_t offset,
              std::uint32_t length, intptr_t output);

 private:
  int Restart(const char* path, std::size_t folder, const FolderData& data);
  int DecodeBlock();
  int Input(std::size_t count, const unsigned char** bytes);
  void MakeRoom();

  const Callbacks& callbacks_;
  RawInflater* inflater_ = nullptr;
  unsigned char* in_ = nullptr;      // kInputBytes read ahead from the cabinet
  unsigned char* out_ = nullptr;     // kOutputBytes (+1) of decoded blocks
  unsigned char* window_ = nullptr;  // the dictionary, when not in out_
  intptr_t handle_ = -1;
  const char* path_ = nullptr;  // the cabinet handle_ is open on

  // The folder being decoded; none after a failure.
  bool started_ = false;
  std::size_t folder_ = 0;
  FolderData data_;
  std::uint16_t blocks_done_ = 0;
  std::size_t in_begin_ = 0;
  std::size_t in_end_ = 0;
  std::uint64_t out_position_ = 0;  // folder offset of out_[0]
  std::size_t out_fill_ = 0;
  const unsigned char* dictionary_ = nullptr;  // the last 32 KiB window, or null
};

}  // namespace fdi
