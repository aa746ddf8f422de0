// The seam between the fast path's reading of a folder's data blocks
// (CFDATA) and the decoding of their payloads. The block reader hands a
// codec each block's payload in folder order, checksum already checked, with
// the number of bytes the block says it decodes to; the codec writes exactly
// that many bytes. A codec keeps whatever history its format carries across
// the blocks of a folder (MSZIP's 32 KiB window, LZX's window, trees and
// repeated offsets) and forgets it at StartFolder.
//
// All memory comes from the caller's pfnalloc; nothing may be sized from the
// file. A codec never reads outside `in` nor writes outside `out`.
#pragma once

#include <cstddef>

namespace fdi {

class BlockCodec {
 public:
  virtual ~BlockCodec() = default;

  // Makes the buffers the codec needs; false when memory runs out or the
  // codec cannot work on this machine (the caller then decodes another way).
  virtual bool Prepare() = 0;

  // Starts a folder: every block after this belongs to it, from its first.
  virtual void StartFolder() = 0;

  // Decodes one block's payload `in` (`in_bytes` long) into `out`, which
  // receives exactly `out_bytes` (1 to 32768) bytes and has room for one
  // more. `last` is true for the folder's last block. Returns MSPACK_ERR_OK,
  // or MSPACK_ERR_DATAFORMAT / MSPACK_ERR_DECRUNCH for damaged data; after a
  // failure the folder is started again before the codec is used.
  virtual int DecodeBlock(const unsigned char* in, std::size_t in_bytes, unsigned char* out,
                          std::size_t out_bytes, bool last) = 0;

  // The output of earlier blocks is about to be overwritten: a codec that
  // refers to it (MSZIP's dictionary) copies what it still needs aside.
  virtual void OutputReused() {}

  // True for a codec whose blocks decode to their payloads unchanged
  // (stored): the block reader then asks CheckBlock instead of DecodeBlock
  // and writes each payload from where it was read, sparing a copy.
  virtual bool PassesPayloadThrough() const { return false; }

  // For such a codec: MSPACK_ERR_OK when a payload of `in_bytes` may stand
  // as a block that decodes to `out_bytes` (1 to 32768), else
  // MSPACK_ERR_DATAFORMAT.
  virtual int CheckBlock(std::size_t /*in_bytes*/, std::size_t /*out_bytes*/) const { return 0; }
};

}  // namespace fdi
