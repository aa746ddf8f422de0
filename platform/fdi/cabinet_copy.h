// One FDICopy call: walks the entries of a cabinet, asks the notification
// callback about each and has libmspack decode the chosen ones into the
// handles the callback returns.
//
// Which entries a copy handles: every entry of each folder that begins in
// the named cabinet. When the last such folder goes on in the following
// cabinet (an entry is marked as continued there), that cabinet is asked for
// with fdintNEXT_CABINET and joined to the set with libmspack's append before
// the folder's first entry is decoded (libmspack's decoders read ahead, past
// the entry they decode), as are the cabinets after it as long as an entry
// goes on. When a following cabinet cannot be had, the entries before the
// cut are still decoded from the cabinets at hand (those that the decoder
// can finish without reading past the cut come out whole), and the copy
// then fails. Entries that the following cabinet lists in the continued folder
// besides the continued ones are handled too; libmspack's joining drops such
// entries, though, so for them the copy fails with FDIERROR_CORRUPT_CABINET
// (cabinet makers start a new folder after a cut, so sets do not hold them). Entries of a
// folder that began in an earlier cabinet cannot be decoded from this one
// alone (LZX and MSZIP carry their history across the cut), so they are
// reported with fdintPARTIAL_FILE and left to the copy of the cabinet where
// the folder began. Copying each cabinet of a set in turn therefore writes
// every entry exactly once.
#pragma once

#include <mspack.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

#include "fdi/cabinet_directory.h"
#include "fdi/callback_allocator.h"
#include "fdi/fdi_context.h"
#include "fdi/folder_decoder.h"
#include "fdi/lzx_codec.h"
#include "fdi/mspack_bridge.h"
#include "fdi/mszip_codec.h"
#include "fdi/notification.h"

namespace fdi {

class CabinetCopy {
 public:
  CabinetCopy(Context& context, PFNFDINOTIFY notify, void* user);
  ~CabinetCopy();
  CabinetCopy(const CabinetCopy&) = delete;
  CabinetCopy& operator=(const CabinetCopy&) = delete;

  // Copies the cabinet `folder` + `name`; true when every entry was handled.
  // Otherwise error() and decoder_error() tell why.
  bool Run(const char* name, const char* folder);

  FDIERROR error() const { return error_; }
  int decoder_error() const { return decoder_error_; }

 private:
  // One cabinet of the set, in set order from the one named to Run. The
  // path stays put while libmspack holds on to it.
  struct Cabinet {
    explicit Cabinet(const Callbacks& callbacks)
        : path(CallbackAllocator<char>(callbacks)),
          directory(callbacks),
          decoded_files(CallbackAllocator<mscabd_file*>(callbacks)) {}
    CallbackString path;
    CabinetDirectory directory;
    mscabd_cabinet* decoded = nullptr;  // joined into chain_[0].decoded once appended
    // libmspack's file for each entry of the directory (null for the tails
    // of entries continued from the cabinet before); made at first use.
    CallbackVector<mscabd_file*> decoded_files;
  };

  bool Fail(FDIERROR error, int decoder_error = 0);
  FDIERROR ReadDirectory(Cabinet& cabinet);
  FDIERROR OpenDecoded(Cabinet& cabinet);
  bool CopyEntriesOf(std::size_t cabinet);
  bool CopyEntry(std::size_t cabinet, std::size_t entry);
  // The codec of the fast path for the folder, or null for libmspack.
  BlockCodec* FastCodec(std::size_t cabinet, std::size_t folder);
  bool JoinFollowing(std::size_t cabinet);
  bool EnsureFollowing(std::size_t cabinet, const CabinetEntry& entry);
  bool LoadNext(std::size_t cabinet);
  FDIERROR OpenNext(std::size_t cabinet, const char* name);
  bool FindFolderMatch(const char* name, CallbackString* path);
  mscabd_file* FindDecodedFile(std::size_t cabinet, std::size_t entry);
  bool NotifyCabinetInfo(std::size_t cabinet);

  Context& context_;
  const Callbacks& callbacks_;
  Notifier notifier_;
  MspackBridge bridge_;
  FolderDecoder folders_;
  MszipCodec mszip_;
  bool mszip_ready_ = false;  // folders_ and mszip_ prepared (tried once per copy)
  bool mszip_usable_ = false;
  std::optional<LzxCodec> lzx_;  // for the window size of the last LZX folder
  unsigned lzx_window_bits_ = 0;
  // The folder of the named cabinet that the LZX codec gave up on.
  std::size_t lzx_slow_folder_ = static_cast<std::size_t>(-1);
  bool lzx_usable_ = false;
  CallbackString folder_;  // where the following cabinet is looked for
  std::deque<Cabinet, CallbackAllocator<Cabinet>> chain_;
  mscab_decompressor* decompressor_ = nullptr;
  FDIERROR error_ = FDIERROR_NONE;
  int decoder_error_ = 0;
};

}  // namespace fdi
