#include "fdi/cabinet_set.h"

#include <fcntl.h>
#include <mspack.h>

#include <cstring>
#include <optional>
#include <string>

#include "fdi/callback_reader.h"
#include "files/files.h"

namespace fdi {
namespace {

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

// A handle of the caller's, closed with pfnclose when the guard goes.
class HandleGuard {
 public:
  HandleGuard(const Callbacks& callbacks, intptr_t handle)
      : callbacks_(callbacks), handle_(handle) {}
  ~HandleGuard() { callbacks_.close(handle_); }
  HandleGuard(const HandleGuard&) = delete;
  HandleGuard& operator=(const HandleGuard&) = delete;

 private:
  const Callbacks& callbacks_;
  intptr_t handle_;
};

}  // namespace

CabinetSet::CabinetSet(Context& context, Notifier& notifier)
    : callbacks_(context.callbacks),
      notifier_(notifier),
      bridge_(context),
      folder_(CallbackAllocator<char>(context.callbacks)),
      volumes_(CallbackAllocator<Volume>(context.callbacks)) {}

CabinetSet::~CabinetSet() {
  if (decompressor_ == nullptr) return;
  // Closing the first cabinet closes every cabinet appended to it.
  if (!volumes_.empty() && volumes_.front().decoded != nullptr)
    decompressor_->close(decompressor_, volumes_.front().decoded);
  mspack_destroy_cab_decompressor(decompressor_);
}

Result CabinetSet::Open(const char* name, const char* folder) {
  if (name == nullptr) return {FDIERROR_CABINET_NOT_FOUND};
  folder_ = folder != nullptr ? folder : "";

  decompressor_ = mspack_create_cab_decompressor(bridge_.system());
  if (decompressor_ == nullptr) return {FDIERROR_ALLOC_FAIL};
  // A damaged cabinet fails rather than yield repaired or guessed bytes:
  // data block checksums are checked and MSZIP errors are not glossed over.
  decompressor_->set_param(decompressor_, MSCABD_PARAM_SALVAGE, 0);
  decompressor_->set_param(decompressor_, MSCABD_PARAM_FIXMSZIP, 0);

  Volume& first = volumes_.emplace_back(callbacks_);
  first.path = folder_;
  first.path += name;
  FDIERROR error = ReadDirectory(first);
  if (error == FDIERROR_NONE) error = OpenDecoded(first);
  if (error != FDIERROR_NONE) return {error, decoder_error_};
  return Announce(0);
}

FDIERROR CabinetSet::ReadDirectory(Volume& volume) {
  intptr_t handle = callbacks_.open(volume.path.data(), O_RDONLY, 0);
  if (handle == -1) return FDIERROR_CABINET_NOT_FOUND;
  HandleGuard guard(callbacks_, handle);
  CallbackReader reader(callbacks_, handle);
  return ReadCabinetDirectory(reader, &volume.directory);
}

FDIERROR CabinetSet::OpenDecoded(Volume& volume) {
  volume.decoded = decompressor_->open(decompressor_, volume.path.c_str());
  if (volume.decoded == nullptr) {
    decoder_error_ = decompressor_->last_error(decompressor_);
    return FromDecoderError(decoder_error_).error;
  }
  // libmspack's reading of the file table must agree with ours entry by
  // entry, or entries could not be matched up.
  const CallbackVector<CabinetEntry>& entries = volume.directory.entries;
  std::size_t count = 0;
  const mscabd_file* file = volume.decoded->files;
  for (; file != nullptr && count < entries.size(); file = file->next, ++count) {
    if (!SameEntry(*file, entries[count])) break;
  }
  if (file == nullptr && count == entries.size()) return FDIERROR_NONE;
  decompressor_->close(decompressor_, volume.decoded);
  volume.decoded = nullptr;
  return FDIERROR_CORRUPT_CABINET;
}

Result CabinetSet::Announce(std::size_t volume) {
  NotificationSubject subject{.directory = volumes_[volume].directory, .folder = &folder_};
  if (notifier_.Send(fdintCABINET_INFO, subject) == -1) return {FDIERROR_USER_ABORT};
  return {};
}

Result CabinetSet::JoinFollowing(std::size_t volume) {
  for (const CabinetEntry& entry : volumes_[volume].directory.entries) {
    if (!entry.ToNext()) continue;
    Result result = EnsureFollowing(volume, entry);
    if (!result.ok()) return result;
  }
  return {};
}

Result CabinetSet::EnsureFollowing(std::size_t volume, const CabinetEntry& entry) {
  // The entry's tail is listed in the following cabinet as continued from
  // the previous one; when it is marked as going on again, the cabinet after
  // that is needed as well. Set indices rise by one per cabinet (checked
  // when each joins), so this ends.
  for (std::size_t current = volume;; ++current) {
    if (volumes_.size() <= current + 1) {
      Result loaded = LoadNext(current);
      if (!loaded.ok()) return loaded;
    }
    const CabinetEntry* tail = nullptr;
    for (const CabinetEntry& candidate : volumes_[current + 1].directory.entries) {
      if (candidate.FromPrevious() && candidate.size == entry.size &&
          std::strcmp(candidate.name, entry.name) == 0) {
        tail = &candidate;
        break;
      }
    }
    if (tail == nullptr) return {FDIERROR_CORRUPT_CABINET};
    if (tail->folder != kFolderPreviousAndNext) return {};
  }
}

Result CabinetSet::LoadNext(std::size_t volume) {
  const CabinetDirectory& directory = volumes_[volume].directory;
  if ((directory.header.flags & kHeaderHasNext) == 0 || directory.header.index == 0xFFFF)
    return {FDIERROR_CORRUPT_CABINET};

  FDIERROR problem = FDIERROR_NONE;
  for (int attempt = 0; attempt < kNextCabinetAttempts; ++attempt) {
    NotificationSubject subject{.directory = directory, .folder = &folder_, .problem = problem};
    if (notifier_.Send(fdintNEXT_CABINET, subject) == -1) return {FDIERROR_USER_ABORT};
    folder_.assign(notifier_.AnsweredFolder());

    problem = OpenNext(volume, directory.next_cabinet);
    if (problem == FDIERROR_NONE) return Announce(volume + 1);
  }
  return {problem, decoder_error_};
}

FDIERROR CabinetSet::OpenNext(std::size_t volume, const char* name) {
  const CabinetHeader previous = volumes_[volume].directory.header;
  Volume& next = volumes_.emplace_back(callbacks_);
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
    int result = decompressor_->append(decompressor_, volumes_[volume].decoded, next.decoded);
    if (result != MSPACK_ERR_OK) {
      decompressor_->close(decompressor_, next.decoded);
      decoder_error_ = result;
      error = FDIERROR_WRONG_CABINET;
    }
  }
  if (error != FDIERROR_NONE) volumes_.pop_back();
  return error;
}

bool CabinetSet::FindFolderMatch(const char* name, CallbackString* path) {
  // File names on this host are case-sensitive while those a cabinet
  // records are not: another spelling of the name in the same folder is
  // taken, the first in name order when there are several.
  if (std::strchr(name, '/') != nullptr) return false;
  std::optional<std::string> found = files::FindFileIgnoringCase(folder_.c_str(), name);
  if (!found) return false;
  path->assign(found->c_str());
  return true;
}

mscabd_file* CabinetSet::DecodedFile(std::size_t volume, std::size_t index) {
  // Once cabinets are joined, libmspack lists the first cabinet's entries
  // followed by those of each following cabinet, less the tails of entries
  // continued from the cabinet before. Each cabinet's share of that list is
  // looked up once, so a copy walks the list once per cabinet, not once per
  // entry.
  Volume& owner = volumes_[volume];
  const CallbackVector<CabinetEntry>& entries = owner.directory.entries;
  if (index >= entries.size() || volumes_.front().decoded == nullptr) return nullptr;
  if (owner.decoded_files.size() != entries.size()) {
    std::size_t position = 0;
    for (std::size_t i = 0; i < volume; ++i) {
      for (const CabinetEntry& entry : volumes_[i].directory.entries) {
        if (i == 0 || !entry.FromPrevious()) ++position;
      }
    }
    mscabd_file* file = volumes_.front().decoded->files;
    for (; file != nullptr && position > 0; --position) file = file->next;
    owner.decoded_files.assign(entries.size(), nullptr);
    for (std::size_t j = 0; j < entries.size() && file != nullptr; ++j) {
      if (volume != 0 && entries[j].FromPrevious()) continue;
      owner.decoded_files[j] = file;
      file = file->next;
    }
  }
  mscabd_file* file = owner.decoded_files[index];
  if (file == nullptr || !SameEntry(*file, entries[index])) return nullptr;
  return file;
}

}  // namespace fdi
