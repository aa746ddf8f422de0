// The `x` command's middle stage: the Media table's cabinets, copied out of
// the package or found beside it, each decompressed into the target folder.
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <set>

#include "cabinet/cab_extract.h"
#include "cabinet/safe_names.h"
#include "console/console.h"
#include "console/verbose.h"
#include "files/files.h"
#include "msidb/msi_handler.h"

namespace {

// A record made by the tool for query parameters, closed when it goes.
class ParameterRecord {
 public:
  explicit ParameterRecord(const std::string& value) : handle_(MsiCreateRecord(1)) {
    MsiRecordSetStringA(handle_, 1, value.c_str());
  }
  ~ParameterRecord() { MsiCloseHandle(handle_); }
  ParameterRecord(const ParameterRecord&) = delete;
  ParameterRecord& operator=(const ParameterRecord&) = delete;
  MSIHANDLE handle() const { return handle_; }

 private:
  MSIHANDLE handle_;
};

// The temporary copies of embedded cabinets that this run made. A copy goes
// to the target folder under its stream name; when a file of that name is
// already there it is left alone, and the copy goes into a private folder
// of ours inside the target folder instead, still under its stream name
// (a set of cabinets names its members by their file names).
class CabinetCopies {
 public:
  explicit CabinetCopies(std::string target_folder) : target_folder_(std::move(target_folder)) {}
  ~CabinetCopies() {
    for (const auto& [name, path] : copies_) unlink(path.c_str());
    if (!private_folder_.empty()) rmdir(private_folder_.c_str());
  }
  CabinetCopies(const CabinetCopies&) = delete;
  CabinetCopies& operator=(const CabinetCopies&) = delete;

  // Where the copy of stream `name` goes; nothing when no place can be made.
  std::optional<std::string> PathFor(const std::string& name) {
    auto made = copies_.find(name);
    if (made != copies_.end()) return made->second;
    std::string path = target_folder_ + name;
    if (access(path.c_str(), F_OK) == 0 || errno != ENOENT) {
      if (private_folder_.empty()) {
        std::string pattern = target_folder_ + ".pandrel-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) return std::nullopt;
        private_folder_ = pattern;
      }
      path = private_folder_ + "/" + name;
    }
    return path;
  }
  void Made(const std::string& name, const std::string& path) { copies_[name] = path; }
  void Remove(const std::string& name) {
    auto made = copies_.find(name);
    if (made == copies_.end()) return;
    unlink(made->second.c_str());
    copies_.erase(made);
  }

 private:
  std::string target_folder_;
  std::string private_folder_;
  std::map<std::string, std::string> copies_;  // stream name -> copy
};

// Prints each unsafe name once per run.
class UnsafeNameReport {
 public:
  void operator()(const std::string& name) {
    if (reported_.insert(name).second) ConsoleLine("ERROR: unsafe name \"" + name + "\"");
  }

 private:
  std::set<std::string> reported_;
};

std::string WithSlashes(std::string value) {
  for (char& c : value) {
    if (c == '\\') c = '/';
  }
  return value;
}

std::string LastSegment(const std::string& path) {
  return path.substr(files::FolderPart(path).size());
}

enum class StreamCopy { kNoStream, kWritten, kShortWrite };

}  // namespace

std::vector<std::string> TMsiHandler::LoadMedia() {
  std::vector<std::string> media;
  if (Query("select * from `Media`", 0)) {
    while (FetchRow()) {
      std::string cabinet = FieldString(4);
      if (!cabinet.empty()) media.push_back(std::move(cabinet));
      CloseHandle(record_);
    }
  }
  CloseHandle(view_);
  return media;
}

bool TMsiHandler::SaveStream(const std::string& path) {
  const int fd = files::CreateFileForWriting(path);
  if (fd < 0) return false;
  bool written = true;
  std::vector<char> piece(1 << 20);
  while (written) {
    std::uint32_t size = static_cast<std::uint32_t>(piece.size());
    // A stream that cannot be read to its end is copied as far as it goes;
    // the cabinet's decompression then reports it.
    if (MsiRecordReadStream(record_, 2, piece.data(), &size) != ERROR_SUCCESS || size == 0) break;
    std::size_t done = 0;
    while (written && done < size) {
      ssize_t put = write(fd, piece.data() + done, size - done);
      if (put < 0 && errno == EINTR) continue;
      written = put > 0;
      if (written) done += static_cast<std::size_t>(put);
    }
  }
  if (close(fd) != 0) written = false;
  return written;
}

void TMsiHandler::ExtractCabinets(const std::string& target_folder, const std::string& mask) {
  target_folder_ = target_folder;
  mask_ = mask.empty() ? "*" : mask;
  SelectFiles(mask_, false);

  UnsafeNameReport report_unsafe;
  for (std::size_t entry = 0; entry < catalogue_[kFileKey].Count(); ++entry) {
    const std::string& name = catalogue_[kSelectedName].At(entry);
    if (name.empty()) continue;
    const std::string& key = catalogue_[kFileKey].At(entry);
    const std::string& path = catalogue_[kSelectedPath].At(entry);
    if (!IsSafeFileName(key)) {
      report_unsafe(key);
    } else if (!IsSafeTargetPath(path, name)) {
      report_unsafe(path + name);
    }
  }

  const std::vector<std::string> media = LoadMedia();
  const FileKeyIndex file_keys = IndexFileKeys(catalogue_);
  const std::string package_folder = files::FolderPart(package_path_);
  CabinetCopies copies(target_folder_);

  // Copies the stream `name` out of the package to its temporary place.
  auto copy_stream = [&](const std::string& name, bool announce) -> std::optional<std::string> {
    std::optional<std::string> path = copies.PathFor(name);
    if (!path) return std::nullopt;
    ParameterRecord parameters(name);
    StreamCopy outcome = StreamCopy::kNoStream;
    if (Query("select * from `_Streams` where Name=?", parameters.handle()) && FetchRow()) {
      if (MsiRecordDataSize(record_, 2) > 0) {
        if (announce) ConsoleLine("Extract from inside CAB: " + name);
        copies.Made(name, *path);
        outcome = SaveStream(*path) ? StreamCopy::kWritten : StreamCopy::kShortWrite;
      }
      CloseHandle(record_);
    }
    CloseHandle(view_);
    if (outcome == StreamCopy::kShortWrite) ConsoleLine("ERROR: possibly disk_space not enough");
    if (outcome != StreamCopy::kWritten) return std::nullopt;
    return path;
  };

  // An external cabinet: the exact name beside the package, else the same
  // name in other letter case.
  auto locate_beside_package = [&](const std::string& relative) {
    return files::FindFileIgnoringCase(files::FolderPart(package_folder + relative),
                                       LastSegment(relative));
  };

  // The next cabinet of a set, asked for while a file goes on into it.
  auto find_next_cabinet = [&](const std::string& name) -> std::optional<std::string> {
    if (!IsSafeFileName(name)) return std::nullopt;
    for (const auto& value : media) {
      if (value[0] == '#' && value.substr(1) == name) {
        std::optional<std::string> copy = copy_stream(name, false);
        if (copy) return files::FolderPart(*copy);
      }
    }
    for (const auto& value : media) {
      const std::string relative = WithSlashes(value);
      if (value[0] != '#' && LastSegment(relative) == name && IsSafeRelativePath(relative)) {
        if (auto found = locate_beside_package(relative)) return files::FolderPart(*found);
      }
    }
    if (auto found = locate_beside_package(name)) return files::FolderPart(*found);
    return std::nullopt;
  };

  auto extract_cabinet = [&](const std::string& cabinet_path) {
    CabinetJob job{cabinet_path, target_folder_, Verbose,
                   &catalogue_,  &file_keys,     find_next_cabinet};
    if (CabExtract(job) != 0) {
      ConsoleLine("ERROR: cabinet \"" + cabinet_path + "\" could not be extracted");
    }
  };

  // Pass 1: the cabinets inside the package.
  for (const auto& value : media) {
    if (value[0] != '#') continue;
    const std::string name = value.substr(1);
    if (!IsSafeFileName(name)) {
      report_unsafe(name);
      continue;
    }
    if (std::optional<std::string> copy = copy_stream(name, true)) extract_cabinet(*copy);
  }
  // Pass 2: the copies go, and the cabinets beside the package are read.
  for (const auto& value : media) {
    if (value[0] == '#') {
      copies.Remove(value.substr(1));
      continue;
    }
    const std::string relative = WithSlashes(value);
    if (!IsSafeRelativePath(relative)) {
      report_unsafe(value);
      continue;
    }
    std::optional<std::string> found = locate_beside_package(relative);
    if (!found) {
      ConsoleLine("ERROR: outside CAB \"" + package_folder + relative + "\" not exists");
      continue;
    }
    if (Verbose) ConsoleLine("Extract from outside CAB: " + relative);
    extract_cabinet(*found);
  }
}
