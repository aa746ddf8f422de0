#include "fdi/cabinet_copy.h"

#include <fcntl.h>

#include <cstring>
#include <optional>
#include <string>

#include "files/files.h"

namespace fdi {
namespace {

// How often fdintNEXT_CABINET is repeated for a following cabinet that
// cannot be opened before the copy gives up by itself, so that a callee
// that always answers 0 does not keep the copy going forever.
constexpr int kNextCabinetAttempts = 8;

constexpr unsigned kLastCompressionType = MSCAB_COMP_LZX;

FDIERROR FromDecoderError(int error) {
  switch (error) {
    case MSPACK_ERR_OPEN:
      return FDIERROR_CABINET_NOT_FOUND;
    case MSPACK_ERR_SIGNATURE:
      return FDIERROR_NOT_A_CABINET;
    case MSPACK_ERR_NOMEMORY:
      return FDIERROR_ALLOC_FAIL;
    case MSPACK_ERR_WRITE:
      return FDIERROR_TARGET_FILE;
    case MSPACK_ERR_ARGS:
      return FDIERROR_MDI_FAIL;
    default:  // read, seek, format, checksum and decoding errors
      return FDIERROR_CORRUPT_CABINET;
  }
}

bool IsAscii(const char* text) {
  for (; *text != '\0'; ++text) {
    if (static_cast<unsigned char>(*text) >= 0x80) return false;
  }
  return true;
}

// libmspack's entry agrees with ours. Names are compared only when plain
// ASCII, since libmspack may re-encode other names.
bool SameEntry(const mscabd_file& decoded, const CabinetEntry& entry) {
  if (decoded.length != entry.size || decoded.filename == nullptr) return false;
  return !IsAscii(entry.name) || std::strcmp(decoded.filename, entry.name) == 0;
}

// A handle of the caller's that is closed with pfnclose unless released.
class HandleGuard {
 public:
  HandleGuard(const Callbacks& callbacks, intptr_t handle)
      : callbacks_(callbacks), handle_(handle) {}
  ~HandleGuard() {
    if (handle_ != -1) callbacks_.close(handle_);
  }
  HandleGuard(const HandleGuard&) = delete;
  HandleGuard& operator=(const HandleGuard&) = delete;
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
      bridge_(context),
      folders_(context.callbacks),
      mszip_(context.callbacks),
      folder_(CallbackAllocator<char>(context.callbacks)),
      chain_(CallbackAllocator<Cabinet>(context.callbacks)) {}

CabinetCopy::~CabinetCopy() {
  if (decompressor_ == nullptr) return;
  // Closing the first cabinet closes every cabinet appended to it.
  if (!chain_.empty() && chain_.front().decoded != nullptr)
    decompressor_->close(decompressor_, chain_.front().decoded);
  mspack_destroy_cab_decompressor(decompressor_);
}

bool CabinetCopy::Fail(FDIERROR error, int decoder_error) {
  error_ = error;
  decoder_error_ = decoder_error;
  return false;
}

bool CabinetCopy::Run(const char* name, const char* folder) {
  if (name == nullptr) return Fail(FDIERROR_CABINET_NOT_FOUND);
  folder_ = folder != nullptr ? folder : "";

  decompressor_ = mspack_create_cab_decompressor(bridge_.system());
  if (decompressor_ == nullptr) return Fail(FDIERROR_ALLOC_FAIL);
  // A damaged cabinet fails rather than yield repaired or guessed bytes:
  // data block checksums are checked and MSZIP errors are not glossed over.
  decompressor_->set_param(decompressor_, MSCABD_PARAM_SALVAGE, 0);
  decompressor_->set_param(decompressor_, MSCABD_PARAM_FIXMSZIP, 0);

  Cabinet& first = chain_.emplace_back(callbacks_);
  first.path = folder_;
  first.path += name;
  FDIERROR error = ReadDirectory(first);
  if (error == FDIERROR_NONE) error = OpenDecoded(first);
  if (error != FDIERROR_NONE) return Fail(error, decoder_error_);
  if (!NotifyCabinetInfo(0)) return false;

  // chain_ grows while its entries are copied, as folders go on in the
  // following cabinets; each cabinet joins it at most once.
  for (std::size_t cabinet = 0; cabinet < chain_.size(); ++cabinet) {
    if (!CopyEntriesOf(cabinet)) return false;
  }
  return true;
}

FDIERROR CabinetCopy::ReadDirectory(Cabinet& cabinet) {
  intptr_t handle = callbacks_.open(cabinet.path.data(), O_RDONLY, 0);
  if (handle == -1) return FDIERROR_CABINET_NOT_FOUND;
  HandleGuard guard(callbacks_, handle);
  CallbackReader reader(callbacks_, handle);
  return ReadCabinetDirectory(reader, &cabinet.directory);
}

FDIERROR CabinetCopy::OpenDecoded(Cabinet& cabinet) {
  cabinet.decoded = decompressor_->open(decompressor_, cabinet.path.c_str());
  if (cabinet.decoded == nullptr) {
    decoder_error_ = decompressor_->last_error(decompressor_);
    return FromDecoderError(decoder_error_);
  }
  // libmspack's reading of the file table must agree with ours entry by
  // entry, or entries could not be matched up.
  const CallbackVector<CabinetEntry>& entries = cabinet.directory.entries;
  std::size_t count = 0;
  const mscabd_file* file = cabinet.decoded->files;
  for (; file != nullptr && count < entries.size(); file = file->next, ++count) {
    if (!SameEntry(*file, entries[count])) break;
  }
  if (file == nullptr && count == entries.size()) return FDIERROR_NONE;
  decompressor_->close(decompressor_, cabinet.decoded);
  cabinet.decoded = nullptr;
  return FDIERROR_CORRUPT_CABINET;
}

bool CabinetCopy::CopyEntriesOf(std::size_t cabinet) {
  const CabinetDirectory& directory = chain_[cabinet].directory;
  bool first_folder_from_previous = directory.FirstFolderFromPrevious();
  // The folder that may go on in the following cabinet: the last one here,
  // or in a following cabinet the continued first one.
  std::size_t continued_folder = cabinet == 0 ? directory.folder_compression.size() - 1 : 0;
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
  bool join_failed = false;
  FDIERROR join_error = FDIERROR_NONE;
  int join_decoder_error = 0;
  for (std::size_t i = 0; i < directory.entries.size(); ++i) {
    const CabinetEntry& entry = directory.entries[i];
    std::size_t folder = directory.FolderOf(entry);
    if (cabinet == 0) {
      if (folder == 0 && first_folder_from_previous) {
        NotificationSubject subject{.directory = directory, .entry = &entry};
        if (notifier_.Send(fdintPARTIAL_FILE, subject) == -1) return Fail(FDIERROR_USER_ABORT);
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
      if (!JoinFollowing(cabinet)) {
        join_failed = true;
        join_error = error_;
        join_decoder_error = decoder_error_;
      }
    }
    if (join_failed && entry.ToNext()) break;
    if (!CopyEntry(cabinet, i)) {
      if (join_failed) return Fail(join_error, join_decoder_error);
      return false;
    }
  }
  if (join_failed) return Fail(join_error, join_decoder_error);
  return true;
}

bool CabinetCopy::JoinFollowing(std::size_t cabinet) {
  for (const CabinetEntry& entry : chain_[cabinet].directory.entries) {
    if (entry.ToNext() && !EnsureFollowing(cabinet, entry)) return false;
  }
  return true;
}

bool CabinetCopy::CopyEntry(std::size_t cabinet, std::size_t index) {
  const CabinetDirectory& directory = chain_[cabinet].directory;
  const CabinetEntry& entry = directory.entries[index];
  unsigned compression = directory.folder_compression[directory.FolderOf(entry)] & 0x0F;
  if (compression > kLastCompressionType) return Fail(FDIERROR_BAD_COMPR_TYPE);

  intptr_t output =
      notifier_.Send(fdintCOPY_FILE, NotificationSubject{.directory = directory, .entry = &entry});
  if (output == -1) return Fail(FDIERROR_USER_ABORT);
  if (output == 0) return true;
  HandleGuard guard(callbacks_, output);

  std::size_t folder = directory.FolderOf(entry);
  int result = MSPACK_ERR_OK;
  BlockCodec* codec = FastCodec(cabinet, folder);
  if (codec != nullptr) {
    result =
        folders_.Extract(*codec, chain_[cabinet].path.c_str(), folder,
                         directory.folder_data[folder], entry.folder_offset, entry.size, output);
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
    mscabd_file* file = FindDecodedFile(cabinet, index);
    if (file == nullptr) return Fail(FDIERROR_CORRUPT_CABINET);
    bridge_.SetOutput(output);
    result = decompressor_->extract(decompressor_, file, bridge_.OutputName());
    bridge_.SetOutput(-1);
  }
  if (result != MSPACK_ERR_OK) return Fail(FromDecoderError(result), result);

  guard.Release();
  NotificationSubject subject{.directory = directory, .entry = &entry, .output = output};
  if (notifier_.Send(fdintCLOSE_FILE_INFO, subject) == 0) return Fail(FDIERROR_USER_ABORT);
  return true;
}

BlockCodec* CabinetCopy::FastCodec(std::size_t cabinet, std::size_t folder) {
  // Only MSZIP and LZX folders that lie wholly in the cabinet named to the
  // copy: in a set, its first folder may have begun in the cabinet before
  // and its last may go on in the next (even between entries, with a split
  // block), so those stay with libmspack, as does MSZIP when ISA-L is
  // missing.
  const CabinetDirectory& directory = chain_[cabinet].directory;
  if (cabinet != 0) return nullptr;
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

bool CabinetCopy::EnsureFollowing(std::size_t cabinet, const CabinetEntry& entry) {
  // The entry's tail is listed in the following cabinet as continued from
  // the previous one; when it is marked as going on again, the cabinet after
  // that is needed as well. Set indices rise by one per cabinet (checked
  // when each joins), so this ends.
  for (std::size_t current = cabinet;; ++current) {
    if (chain_.size() <= current + 1 && !LoadNext(current)) return false;
    const CabinetEntry* tail = nullptr;
    for (const CabinetEntry& candidate : chain_[current + 1].directory.entries) {
      if (candidate.FromPrevious() && candidate.size == entry.size &&
          std::strcmp(candidate.name, entry.name) == 0) {
        tail = &candidate;
        break;
      }
    }
    if (tail == nullptr) return Fail(FDIERROR_CORRUPT_CABINET);
    if (tail->folder != kFolderPreviousAndNext) return true;
  }
}

bool CabinetCopy::LoadNext(std::size_t cabinet) {
  const CabinetDirectory& directory = chain_[cabinet].directory;
  if ((directory.header.flags & kHeaderHasNext) == 0 || directory.header.index == 0xFFFF)
    return Fail(FDIERROR_CORRUPT_CABINET);

  FDIERROR problem = FDIERROR_NONE;
  for (int attempt = 0; attempt < kNextCabinetAttempts; ++attempt) {
    NotificationSubject subject{.directory = directory, .folder = &folder_, .problem = problem};
    if (notifier_.Send(fdintNEXT_CABINET, subject) == -1) return Fail(FDIERROR_USER_ABORT);
    folder_.assign(notifier_.AnsweredFolder());

    problem = OpenNext(cabinet, directory.next_cabinet);
    if (problem == FDIERROR_NONE) return NotifyCabinetInfo(cabinet + 1);
  }
  return Fail(problem, decoder_error_);
}

FDIERROR CabinetCopy::OpenNext(std::size_t cabinet, const char* name) {
  const CabinetHeader previous = chain_[cabinet].directory.header;
  Cabinet& next = chain_.emplace_back(callbacks_);
  next.path = folder_;
  next.path += name;
  FDIERROR error = ReadDirectory(next);
  if (error == FDIERROR_CABINET_NOT_FOUND && FindFolderMatch(name, &next.path))
    error = ReadDirectory(next);
  if (error == FDIERROR_NONE) {
    const CabinetHeader& header = next.directory.header;
    if (header.set_id != previous.set_id || header.index != previous.index + 1 ||
        (header.flags & kHeaderHasPrevious) == 0)
      error = FDIERROR_WRONG_CABINET;
  }
  if (error == FDIERROR_NONE) error = OpenDecoded(next);
  if (error == FDIERROR_NONE) {
    int result = decompressor_->append(decompressor_, chain_[cabinet].decoded, next.decoded);
    if (result != MSPACK_ERR_OK) {
      decompressor_->close(decompressor_, next.decoded);
      decoder_error_ = result;
      error = FDIERROR_WRONG_CABINET;
    }
  }
  if (error != FDIERROR_NONE) chain_.pop_back();
  return error;
}

bool CabinetCopy::FindFolderMatch(const char* name, CallbackString* path) {
  // File names on this host are case-sensitive while those a cabinet
  // records are not: another spelling of the name in the same folder is
  // taken, the first in name order when there are several.
  if (std::strchr(name, '/') != nullptr) return false;
  std::optional<std::string> found = files::FindFileIgnoringCase(folder_.c_str(), name);
  if (!found) return false;
  path->assign(found->c_str());
  return true;
}

mscabd_file* CabinetCopy::FindDecodedFile(std::size_t cabinet, std::size_t index) {
  // Once cabinets are joined, libmspack lists the first cabinet's entries
  // followed by those of each following cabinet, less the tails of entries
  // continued from the cabinet before. Each cabinet's share of that list is
  // looked up once, so a copy walks the list once per cabinet, not once per
  // entry.
  Cabinet& owner = chain_[cabinet];
  const CallbackVector<CabinetEntry>& entries = owner.directory.entries;
  if (owner.decoded_files.size() != entries.size()) {
    std::size_t position = 0;
    for (std::size_t i = 0; i < cabinet; ++i) {
      for (const CabinetEntry& entry : chain_[i].directory.entries) {
        if (i == 0 || !entry.FromPrevious()) ++position;
      }
    }
    mscabd_file* file = chain_.front().decoded->files;
    for (; file != nullptr && position > 0; --position) file = file->next;
    owner.decoded_files.assign(entries.size(), nullptr);
    for (std::size_t j = 0; j < entries.size() && file != nullptr; ++j) {
      if (cabinet != 0 && entries[j].FromPrevious()) continue;
      owner.decoded_files[j] = file;
      file = file->next;
    }
  }
  mscabd_file* file = owner.decoded_files[index];
  if (file == nullptr || !SameEntry(*file, entries[index])) return nullptr;
  return file;
}

bool CabinetCopy::NotifyCabinetInfo(std::size_t cabinet) {
  NotificationSubject subject{.directory = chain_[cabinet].directory, .folder = &folder_};
  if (notifier_.Send(fdintCABINET_INFO, subject) == -1) return Fail(FDIERROR_USER_ABORT);
  return true;
}

}  // namespace fdi
