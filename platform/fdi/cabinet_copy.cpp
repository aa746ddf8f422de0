#include "fdi/cabinet_copy.h"

#include <mspack.h>

#include <cstdint>
#include <cstdio>

namespace fdi {
namespace {

constexpr unsigned kLastCompressionType = MSCAB_COMP_LZX;

// An entry's output handle, closed with pfnclose unless released (to the
// callee, with fdintCLOSE_FILE_INFO).
class OutputGuard {
 public:
  OutputGuard(const Callbacks& callbacks, intptr_t handle)
      : callbacks_(callbacks), handle_(handle) {}
  ~OutputGuard() {
    if (handle_ != -1) callbacks_.close(handle_);
  }
  OutputGuard(const OutputGuard&) = delete;
  OutputGuard& operator=(const OutputGuard&) = delete;
  void Release() { handle_ = -1; }

 private:
  const Callbacks& callbacks_;
  intptr_t handle_;
};

}  // namespace

CabinetCopy::CabinetCopy(Context& context, PFNFDINOTIFY notify, void* user)
    : context_(context),
      callbacks_(context.callbacks),
      notifier_(context.callbacks, notify, user),
      set_(context, notifier_),
      folders_(context.callbacks),
      mszip_(context.callbacks) {}

bool CabinetCopy::Fail(const Result& failure) {
  failure_ = failure;
  return false;
}

bool CabinetCopy::Run(const char* name, const char* folder) {
  Result opened = set_.Open(name, folder);
  if (!opened.ok()) return Fail(opened);
  // The set grows while its entries are copied, as folders go on in the
  // following cabinets; each cabinet joins it at most once.
  for (std::size_t volume = 0; volume < set_.size(); ++volume) {
    if (!CopyEntriesOf(volume)) return false;
  }
  return true;
}

bool CabinetCopy::CopyEntriesOf(std::size_t volume) {
  const CabinetDirectory& directory = set_.directory(volume);
  bool first_folder_from_previous = directory.FirstFolderFromPrevious();
  // The folder that may go on in the following cabinet: the last one here,
  // or in a following cabinet the continued first one.
  std::size_t continued_folder = volume == 0 ? directory.folder_compression.size() - 1 : 0;
  bool folder_continues = false;
  for (const CabinetEntry& entry : directory.entries) {
    if (entry.ToNext() && directory.FolderOf(entry) == continued_folder) folder_continues = true;
  }
  bool joined = false;
  // When a following cabinet cannot be had, the copy ends as a decoder
  // reading in order would end it, at the cut: the entries before it are
  // still decoded from this cabinet alone (each one whose data, with what
  // the decoder reads ahead, lies in whole blocks here comes out whole; the
  // first that reaches the cut fails), then the copy fails with the reason
  // the cabinet was missing.
  Result join;
  for (std::size_t i = 0; i < directory.entries.size(); ++i) {
    const CabinetEntry& entry = directory.entries[i];
    std::size_t folder = directory.FolderOf(entry);
    if (volume == 0) {
      if (folder == 0 && first_folder_from_previous) {
        NotificationSubject subject{.directory = directory, .entry = &entry};
        if (notifier_.Send(fdintPARTIAL_FILE, subject) == -1) return Fail({FDIERROR_USER_ABORT});
        continue;
      }
    } else if (entry.FromPrevious() || folder != 0) {
      // A following cabinet: only the rest of the continued folder is ours;
      // its entries marked as continued were handled in the cabinet before.
      continue;
    }
    // libmspack reads ahead of the entry it decodes, so a folder that goes
    // on in the following cabinets has them joined before its first entry.
    if (folder == continued_folder && folder_continues && !joined) {
      joined = true;
      join = set_.JoinFollowing(volume);
    }
    if (!join.ok() && entry.ToNext()) break;
    if (!CopyEntry(volume, i)) return join.ok() ? false : Fail(join);
  }
  return join.ok() ? true : Fail(join);
}

bool CabinetCopy::CopyEntry(std::size_t volume, std::size_t index) {
  const CabinetDirectory& directory = set_.directory(volume);
  const CabinetEntry& entry = directory.entries[index];
  unsigned compression = directory.folder_compression[directory.FolderOf(entry)] & 0x0F;
  if (compression > kLastCompressionType) return Fail({FDIERROR_BAD_COMPR_TYPE});

  intptr_t output =
      notifier_.Send(fdintCOPY_FILE, NotificationSubject{.directory = directory, .entry = &entry});
  if (output == -1) return Fail({FDIERROR_USER_ABORT});
  if (output == 0) return true;
  OutputGuard guard(callbacks_, output);

  std::size_t folder = directory.FolderOf(entry);
  int result = MSPACK_ERR_OK;
  BlockCodec* codec = FastCodec(volume, folder);
  if (codec != nullptr) {
    result = folders_.Extract(*codec, set_.path(volume), folder, directory.folder_data[folder],
                              entry.folder_offset, entry.size, output);
    // An LZX stream whose frames do not keep to its data blocks is one that
    // libmspack decodes on across them: the entry is written again from its
    // first byte by libmspack, and the rest of the folder stays with it.
    if (result == MSPACK_ERR_DATAFORMAT && codec != &mszip_ &&
        callbacks_.seek(output, 0, SEEK_SET) == 0) {
      lzx_slow_folder_ = folder;
      codec = nullptr;
    }
  }
  if (codec == nullptr) {
    mscabd_file* file = set_.DecodedFile(volume, index);
    if (file == nullptr) return Fail({FDIERROR_CORRUPT_CABINET});
    MspackBridge& bridge = set_.bridge();
    mscab_decompressor* decompressor = set_.decompressor();
    bridge.SetOutput(output);
    result = decompressor->extract(decompressor, file, bridge.OutputName());
    bridge.SetOutput(-1);
  }
  if (result != MSPACK_ERR_OK) return Fail(FromDecoderError(result));

  guard.Release();
  NotificationSubject subject{.directory = directory, .entry = &entry, .output = output};
  if (notifier_.Send(fdintCLOSE_FILE_INFO, subject) == 0) return Fail({FDIERROR_USER_ABORT});
  return true;
}

BlockCodec* CabinetCopy::FastCodec(std::size_t volume, std::size_t folder) {
  // Only MSZIP and LZX folders that lie wholly in the cabinet named to the
  // copy: in a set, its first folder may have begun in the cabinet before
  // and its last may go on in the next (even between entries, with a split
  // block), so those stay with libmspack, as does MSZIP when ISA-L is
  // missing.
  const CabinetDirectory& directory = set_.directory(volume);
  if (volume != 0) return nullptr;
  if ((directory.header.flags & kHeaderHasPrevious) != 0 && folder == 0) return nullptr;
  if ((directory.header.flags & kHeaderHasNext) != 0 &&
      folder + 1 == directory.folder_compression.size())
    return nullptr;
  const std::uint16_t compression = directory.folder_compression[folder];
  unsigned window_bits = 0;
  if ((compression & 0x0F) == MSCAB_COMP_MSZIP && context_.fast_mszip) {
    if (!mszip_ready_) {
      mszip_ready_ = true;
      mszip_usable_ = folders_.Prepare() && mszip_.Prepare();
    }
    return mszip_usable_ ? &mszip_ : nullptr;
  }
  if (context_.fast_lzx && folder != lzx_slow_folder_ &&
      LzxCodec::WindowBitsOf(compression, &window_bits)) {
    if (!lzx_ || lzx_window_bits_ != window_bits) {
      lzx_.reset();
      lzx_.emplace(callbacks_, window_bits);
      lzx_window_bits_ = window_bits;
      lzx_usable_ = folders_.Prepare() && lzx_->Prepare();
    }
    return lzx_usable_ ? &*lzx_ : nullptr;
  }
  return nullptr;
}

}  // namespace fdi
