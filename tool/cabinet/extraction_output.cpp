#include "cabinet/extraction_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "cabinet/safe_names.h"
#include "catalogue/names.h"
#include "console/console.h"

namespace {

constexpr int kNewFileFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
// Tries at a free temporary name before a replacement gives up.
constexpr unsigned kTemporaryAttempts = 100;

bool WriteAll(int fd, const void* buffer, std::size_t count, int* error) {
  std::size_t done = 0;
  while (done < count) {
    ssize_t put = write(fd, static_cast<const char*>(buffer) + done, count - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      *error = put < 0 ? errno : ENOSPC;
      return false;
    }
    done += static_cast<std::size_t>(put);
  }
  return true;
}

// Makes one folder level; true when a folder stands there afterwards (a
// level such as "a/./" is there already).
bool MakeFolder(const std::string& path) {
  if (mkdir(path.c_str(), 0777) == 0) return true;
  struct stat info {};
  return errno == EEXIST && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string ParentFolder(const std::string& folder) {
  // "a/b/" -> "a/"; "a/" -> "".
  std::size_t end = folder.size() >= 2 ? folder.rfind('/', folder.size() - 2) : std::string::npos;
  return end == std::string::npos ? std::string() : folder.substr(0, end + 1);
}

}  // namespace

EntryOutput::~EntryOutput() {
  if (fd_ || (mode_ != Mode::kDiscard && !path_.empty())) Abandon();
}

unsigned EntryOutput::Write(const void* buffer, unsigned count) {
  if (mode_ == Mode::kDiscard) return count;
  int error = 0;
  if (!fd_ || !WriteAll(fd_.get(), buffer, count, &error)) {
    owner_.NoteWriteError(error);
    return static_cast<unsigned>(-1);
  }
  return count;
}

long EntryOutput::Seek(long distance, int origin) {
  if (mode_ == Mode::kDiscard) return distance == 0 && origin == SEEK_SET ? 0 : -1;
  if (!fd_) return -1;
  return static_cast<long>(lseek(fd_.get(), distance, origin));
}

int EntryOutput::Close() {
  Abandon();
  return 0;
}

void EntryOutput::Abandon() {
  fd_.reset();
  // The file was made by this run (exclusively, or under a temporary name).
  if (mode_ != Mode::kDiscard && !path_.empty()) unlink(path_.c_str());
  path_.clear();
}

ExtractionOutput::ExtractionOutput(std::string target_folder, const CatalogueStore& catalogue)
    : target_folder_(std::move(target_folder)), catalogue_(catalogue) {
  const std::size_t count = catalogue[kFileKey].Count();
  entries_.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::string& path = catalogue[kSelectedPath].At(i);
    if (path.empty()) continue;
    Entry& entry = entries_[i];
    entry.selected = true;
    const std::string name = LongFileName(catalogue[kFileName].At(i));
    entry.unsafe = !IsSafeFileName(catalogue[kFileKey].At(i)) || !IsSafeTargetPath(path, name);
    entry.folder = path;
    entry.place = path + name;
  }
}

bool ExtractionOutput::IsWritable(std::size_t entry) const {
  return entry < entries_.size() && entries_[entry].selected && !entries_[entry].unsafe;
}

int ExtractionOutput::TakeWriteError() {
  int error = write_error_;
  write_error_ = 0;
  return error;
}

bool ExtractionOutput::EnsureFolder(const std::string& folder) {
  // Each folder is looked at once per run: the missing levels above it are
  // found by walking up, then made from the top down.
  std::vector<std::string> missing;
  std::string level = folder;
  bool exists = false;
  while (!level.empty()) {
    auto known = folders_.find(level);
    if (known != folders_.end()) {
      exists = known->second;
      break;
    }
    const std::string path = target_folder_ + level;
    if (mkdir(path.c_str(), 0777) == 0) {
      folders_[level] = exists = true;
      break;
    }
    if (errno != ENOENT) {
      folders_[level] = exists = MakeFolder(path);
      break;
    }
    missing.push_back(level);
    level = ParentFolder(level);
    if (level.empty()) exists = true;  // the target folder itself
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (exists) exists = MakeFolder(target_folder_ + *it);
    folders_[*it] = exists;
  }
  return folders_[folder];
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

std::unique_ptr<EntryOutput> ExtractionOutput::Open(std::size_t entry) {
  if (!IsWritable(entry)) return nullptr;
  const Entry& info = entries_[entry];
  if (!EnsureFolder(info.folder)) return OpenUnderKey(entry);
  PlaceState& place = places_[info.place];
  if (place.ours && place.writer > entry) {
    // A later entry of the catalogue has this place already and keeps it.
    return std::unique_ptr<EntryOutput>(
        new EntryOutput(*this, entry, EntryOutput::Mode::kDiscard, files::UniqueFd(), {}));
  }
  const std::string path = target_folder_ + info.place;
  if (!place.ours) {
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
  Entry& info = entries_[file.entry_];
  if (file.mode_ == EntryOutput::Mode::kDiscard) {
    info.landed = Landed::kInTree;
    return true;
  }
  if (written) {
    const timespec times[2] = {{0, UTIME_OMIT}, {*written, 0}};
    futimens(file.fd_.get(), times);
  }
  if (!file.fd_.Close()) {
    NoteWriteError(errno);
    file.Abandon();
    return false;
  }
  switch (file.mode_) {
    case EntryOutput::Mode::kUnderKey:
      info.landed = Landed::kUnderKey;
      break;
    case EntryOutput::Mode::kNew:
    case EntryOutput::Mode::kReplace: {
      const std::string place = target_folder_ + info.place;
      if (file.mode_ == EntryOutput::Mode::kNew ||
          std::rename(file.path_.c_str(), place.c_str()) == 0) {
        PlaceState& state = places_[info.place];
        state.ours = true;
        state.writer = file.entry_;
        info.landed = Landed::kInTree;
      } else {
        // Something that is not a file stands at the place: the entry ends
        // under its File key, unless something stands there too.
        const std::string under_key = target_folder_ + catalogue_[kFileKey].At(file.entry_);
        if (link(file.path_.c_str(), under_key.c_str()) == 0) info.landed = Landed::kUnderKey;
        unlink(file.path_.c_str());
      }
      break;
    }
    case EntryOutput::Mode::kDiscard:
      break;
  }
  file.path_.clear();
  return true;
}

std::size_t ExtractionOutput::Place(bool verbose) {
  std::size_t placed = 0;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    Entry& info = entries_[i];
    if (!info.selected) continue;
    ++placed;
    // Reported when extraction began; such an entry never reaches the disk.
    if (info.unsafe) continue;
    EnsureFolder(info.folder);
    bool renamed = false;
    if (info.landed == Landed::kInTree) {
      PlaceState& place = places_[info.place];
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
