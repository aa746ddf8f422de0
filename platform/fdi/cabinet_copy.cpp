#include "fdi/cabinet_copy.h"

#include <mspack.h>

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
    : callbacks_(context.callbacks),
      notifier_(context.callbacks, notify, user),
      set_(context, notifier_),
      decoders_(context, set_) {}

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

  Result written = decoders_.Extract(volume, index, output);
  if (!written.ok()) return Fail(written);

  guard.Release();
  NotificationSubject subject{.directory = directory, .entry = &entry, .output = output};
  if (notifier_.Send(fdintCLOSE_FILE_INFO, subject) == 0) return Fail({FDIERROR_USER_ABORT});
  return true;
}

}  // namespace fdi
