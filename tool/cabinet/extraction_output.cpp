#include "cabinet/extraction_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string_view>
#include <unordered_map>

#include "cabinet/safe_names.h"
#include "catalogue/names.h"
#include "console/console.h"

namespace {

constexpr int kNewFileFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
// The failure noted when an entry can be given no place at all (not an
// errno).
constexpr int kNoPlace = -1;
// Tries at a free temporary name before a replacement gives up.
constexpr unsigned kTemporaryAttempts = 100;

using FolderState = ExtractionOutput::FolderState;

// Makes one folder level and tells what stands there afterwards (a level
// such as "a/./" stands there already).
FolderState MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0777) == 0) return FolderState::kMade;
  struct stat info {};
  if (errno == EEXIST && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
    return FolderState::kStood;
  return FolderState::kUnusable;
}

std::string ParentFolder(const std::string& folder) {
  // "a/b/" -> "a/"; "a/" -> "".
  std::size_t end = folder.size() >= 2 ? folder.rfind('/', folder.size() - 2) : std::string::npos;
  return end == std::string::npos ? std::string() : folder.substr(0, end + 1);
}

}  // namespace

EntryOutput::EntryOutput(ExtractionOutput& owner, std::size_t entry, Mode mode, files::UniqueFd fd,
                         std::string path)
    : owner_(owner), entry_(entry), mode_(mode) {
  if (mode != Mode::kDiscard) {
    file_ = std::make_shared<WriteBehind::File>();
    file_->fd = std::move(fd);
    file_->path = std::move(path);
    file_->temporary = mode == Mode::kReplace;
    file_->under_key = mode == Mode::kUnderKey;
  }
}

EntryOutput::~EntryOutput() { Abandon(); }

unsigned EntryOutput::Write(const void* buffer, unsigned count) {
  if (mode_ == Mode::kDiscard) return count;
  // A write that failed on the second thread fails the one at hand, so that
  // the cabinet stops as it would have there.
  if (!file_ || owner_.behind_.Failed()) return static_cast<unsigned>(-1);
  owner_.behind_.Write(file_, buffer, count);
  return count;
}

long EntryOutput::Seek(long distance, int origin) {
  if (mode_ == Mode::kDiscard) return distance == 0 && origin == SEEK_SET ? 0 : -1;
  if (!file_) return -1;
  owner_.behind_.Drain();
  return static_cast<long>(lseek(file_->fd.get(), distance, origin));
}

int EntryOutput::Close() {
  Abandon();
  return 0;
}

void EntryOutput::Abandon() {
  if (!file_) return;
  // Only a file this run made is removed (one made exclusively, or under a
  // temporary name).
  auto remove = [file = file_] { file->Remove(); };
  owner_.behind_.Then(remove, remove);
  file_.reset();
}

ExtractionOutput::ExtractionOutput(std::string target_folder, const CatalogueStore& catalogue)
    : target_folder_(std::move(target_folder)), catalogue_(catalogue) {
  const std::size_t count = catalogue[kFileKey].Count();
  entries_.resize(count);
  // Folders and places by number, so that each is looked up once here and
  // not by its name for every entry extracted.
  std::unordered_map<std::string_view, std::size_t> folder_ids;
  std::unordered_map<std::string_view, std::size_t> place_ids;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& path = catalogue[kSelectedPath].At(i);
    if (path.empty()) continue;
    Entry& entry = entries_[i];
    entry.selected = true;
    const std::string name = LongFileName(catalogue[kFileName].At(i));
    entry.unsafe = !IsSafeFileName(catalogue[kFileKey].At(i)) || !IsSafeTargetPath(path, name);
    entry.folder = path;
    entry.place = path + name;
    entry.folder_id = folder_ids.try_emplace(entry.folder, folder_ids.size()).first->second;
    entry.place_id = place_ids.try_emplace(entry.place, place_ids.size()).first->second;
  }
  places_.resize(place_ids.size());
  entry_folders_.resize(folder_ids.size());
}

FolderState ExtractionOutput::EnsureFolderOf(const Entry& entry) {
  std::optional<FolderState>& state = entry_folders_[entry.folder_id];
  if (!state) state = EnsureFolder(entry.folder);
  return *state;
}

bool ExtractionOutput::IsWritable(std::size_t entry) const {
  return entry < entries_.size() && entries_[entry].selected && !entries_[entry].unsafe;
}

ExtractionOutput::WriteFailure ExtractionOutput::TakeWriteFailure() {
  const int error = behind_.TakeFailure();
  if (error == 0) return WriteFailure::kNone;
  return error == kNoPlace ? WriteFailure::kNoPlace : WriteFailure::kNoRoom;
}

FolderState ExtractionOutput::EnsureFolder(const std::string& folder) {
  // Each folder is looked at once per run: the missing levels above it are
  // found by walking up, then made from the top down.
  std::vector<std::string> missing;
  std::string level = folder;
  FolderState state = FolderState::kStood;  // the target folder itself
  while (!level.empty()) {
    auto known = folders_.find(level);
    if (known != folders_.end()) {
      state = known->second;
      break;
    }
    const std::string path = target_folder_ + level;
    if (mkdir(path.c_str(), 0777) == 0) {
      folders_[level] = state = FolderState::kMade;
      break;
    }
    if (errno != ENOENT) {
      folders_[level] = state = MakeFolder(path);
      break;
    }
    missing.push_back(level);
    level = ParentFolder(level);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (state != FolderState::kUnusable) state = MakeFolder(target_folder_ + *it);
    folders_[*it] = state;
  }
  return folder.empty() ? FolderState::kStood : folders_[folder];
}

files::UniqueFd ExtractionOutput::CreateTemporary(const std::string& folder, std::string* path) {
  for (unsigned attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    *path =
        folder + ".pandrel-" + std::to_string(getpid()) + "-" + std::to_string(temporary_count_++);
    files::UniqueFd fd(open(path->c_str(), kNewFileFlags, 0666));
    if (fd || errno != EEXIST) return fd;
  }
  return files::UniqueFd();
}

std::unique_ptr<EntryOutput> ExtractionOutput::OpenUnderKey(std::size_t entry) {
  std::string path = target_folder_ + catalogue_[kFileKey].At(entry);
  files::UniqueFd fd(open(path.c_str(), kNewFileFlags, 0666));
  if (!fd) return nullptr;
  return std::unique_ptr<EntryOutput>(
      new EntryOutput(*this, entry, EntryOutput::Mode::kUnderKey, std::move(fd), std::move(path)));
}

std::unique_ptr<EntryOutput> ExtractionOutput::OpenLater(std::size_t entry,
                                                         const std::string& path) {
  // The place lies in a folder this run made, where only this run's own
  // files stand: the file is created on the second thread, still
  // exclusively, and what a create at once would do follows from there:
  // - should another run have put a file there meanwhile, it is replaced
  //   when whole, as any file that stood at the place;
  // - a place the file system refuses (a name too long for it, a letter it
  //   cannot hold) sends the entry under its File key;
  // - where nothing can be had, the create fails as a write does.
  std::unique_ptr<EntryOutput> output(
      new EntryOutput(*this, entry, EntryOutput::Mode::kNew, files::UniqueFd(), path));
  output->file_->made = false;
  auto create = [this, file = output->file_, entry] {
    file->fd = files::UniqueFd(open(file->path.c_str(), kNewFileFlags, 0666));
    if (!file->fd && errno == EEXIST) {
      file->fd = CreateTemporary(target_folder_ + entries_[entry].folder, &file->path);
      file->temporary = true;
    } else if (!file->fd && (errno == ENOSPC || errno == EDQUOT)) {
      behind_.NoteFailure(errno);
      return;
    }
    if (!file->fd) {
      file->path = target_folder_ + catalogue_[kFileKey].At(entry);
      file->fd = files::UniqueFd(open(file->path.c_str(), kNewFileFlags, 0666));
      file->temporary = false;
      file->under_key = true;
    }
    if (file->fd) {
      file->made = true;
    } else {
      behind_.NoteFailure(kNoPlace);
    }
  };
  behind_.Then(create, nullptr);
  return output;
}

std::unique_ptr<EntryOutput> ExtractionOutput::Open(std::size_t entry) {
  if (!IsWritable(entry)) return nullptr;
  const Entry& info = entries_[entry];
  const FolderState folder = EnsureFolderOf(info);
  if (folder == FolderState::kUnusable) return OpenUnderKey(entry);
  PlaceState& place = places_[info.place_id];
  if (place.ours && place.writer > entry) {
    // A later entry of the catalogue has this place already and keeps it.
    return std::unique_ptr<EntryOutput>(
        new EntryOutput(*this, entry, EntryOutput::Mode::kDiscard, files::UniqueFd(), {}));
  }
  const std::string path = target_folder_ + info.place;
  if (!place.ours) {
    if (folder == FolderState::kMade) return OpenLater(entry, path);
    files::UniqueFd fd(open(path.c_str(), kNewFileFlags, 0666));
    if (fd) {
      return std::unique_ptr<EntryOutput>(
          new EntryOutput(*this, entry, EntryOutput::Mode::kNew, std::move(fd), path));
    }
    if (errno != EEXIST) return OpenUnderKey(entry);
    place.existed_before = true;
    // Only a file is replaced; a folder or other thing of the user's that
    // stands at the place stays, and the entry goes under its File key.
    struct stat standing {};
    if (lstat(path.c_str(), &standing) == 0 && S_ISDIR(standing.st_mode))
      return OpenUnderKey(entry);
  }
  std::string temporary;
  files::UniqueFd fd = CreateTemporary(target_folder_ + info.folder, &temporary);
  if (!fd) return OpenUnderKey(entry);
  return std::unique_ptr<EntryOutput>(new EntryOutput(*this, entry, EntryOutput::Mode::kReplace,
                                                      std::move(fd), std::move(temporary)));
}

bool ExtractionOutput::Finish(std::unique_ptr<EntryOutput> output, std::optional<time_t> written) {
  EntryOutput& file = *output;
  const std::size_t entry = file.entry_;
  if (file.mode_ == EntryOutput::Mode::kDiscard) {
    entries_[entry].landed = Landed::kInTree;
    return true;
  }
  std::shared_ptr<WriteBehind::File> handed = std::move(file.file_);
  if (!handed) return false;
  const EntryOutput::Mode mode = file.mode_;
  if (mode != EntryOutput::Mode::kUnderKey) {
    // The place is this entry's from now on, for the entries that follow.
    PlaceState& state = places_[entries_[entry].place_id];
    state.ours = true;
    state.writer = entry;
  }
  // The paths are made on the second thread, where they are needed; the
  // entries' names do not change while it runs.
  auto end = [this, handed, written, entry] {
    if (written) {
      const timespec times[2] = {{0, UTIME_OMIT}, {*written, 0}};
      futimens(handed->fd.get(), times);
    }
    if (!handed->fd.Close()) {
      behind_.NoteFailure(errno);
      handed->Remove();
      return;
    }
    Landed& landed = entries_[entry].landed;
    // Where the file lies says where it goes: a temporary one over its
    // place, one under its File key nowhere else.
    if (handed->under_key) {
      landed = Landed::kUnderKey;
    } else if (!handed->temporary ||
               std::rename(handed->path.c_str(),
                           (target_folder_ + entries_[entry].place).c_str()) == 0) {
      landed = Landed::kInTree;
    } else {
      // Something that is not a file stands at the place: the entry ends
      // under its File key, unless something stands there too.
      const std::string under_key = target_folder_ + catalogue_[kFileKey].At(entry);
      if (link(handed->path.c_str(), under_key.c_str()) == 0) landed = Landed::kUnderKey;
      unlink(handed->path.c_str());
    }
  };
  auto drop = [handed] { handed->Remove(); };
  behind_.Then(end, drop);
  return !behind_.Failed();
}

std::size_t ExtractionOutput::Place(bool verbose) {
  behind_.Drain();
  std::size_t placed = 0;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    Entry& info = entries_[i];
    if (!info.selected) continue;
    ++placed;
    // Reported when extraction began; such an entry never reaches the disk.
    if (info.unsafe) continue;
    EnsureFolderOf(info);
    bool renamed = false;
    if (info.landed == Landed::kInTree) {
      PlaceState& place = places_[info.place_id];
      renamed = !place.existed_before && !place.reported_filled;
      place.reported_filled = true;
    }
    if (verbose) {
      ConsoleLine(catalogue_[kFileKey].At(i) + " -> " + info.place +
                  (renamed ? " renaming" : " replaceing"));
    }
  }
  return placed;
}
