#include "files/files.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "files/ascii.h"
#include "files/posix_flags.h"
#include "files/unique_dir.h"

namespace files {

namespace {

std::string CurrentFolder() {
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 24)) return {};
    buffer.resize(buffer.size() * 2);
  }
  // A folder that is no longer reachable (removed, or outside the root) is
  // no full path to build on.
  if (buffer[0] != '/') return {};
  return buffer.data();
}

}  // namespace

int NewFileFlags() { return O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC; }

Reason ReasonOf(int error) {
  Reason::Kind kind = Reason::Kind::kOther;
  if (error == EEXIST) kind = Reason::Kind::kExists;
  if (error == ENOSPC || error == EDQUOT) kind = Reason::Kind::kNoRoom;
  if (error == ELOOP) kind = Reason::Kind::kLink;
  return {kind, error};
}

bool CloseHandle(Handle handle) { return ::close(static_cast<int>(handle)) == 0; }

std::string Describe(Reason reason) { return std::strerror(reason.code); }

bool WriteAll(Handle handle, const void* bytes, std::size_t count, Reason* why) {
  const int fd = static_cast<int>(handle);
  const char* from = static_cast<const char*>(bytes);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t put = write(fd, from + done, count - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      *why = ReasonOf(put < 0 ? errno : ENOSPC);
      return false;
    }
    done += static_cast<std::size_t>(put);
  }
  return true;
}

std::string FullPathName(const std::string& path) {
  std::string joined = path;
  if (path.empty() || path[0] != '/') {
    std::string current = CurrentFolder();
    if (current.empty()) return {};
    joined = current + "/" + path;
  }
  const bool trailing_slash = joined.size() > 1 && joined.back() == '/';

  std::vector<std::string> segments;
  std::size_t start = 0;
  while (start <= joined.size()) {
    std::size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    std::string segment = joined.substr(start, end - start);
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(std::move(segment));
    }
    start = end + 1;
  }
  std::string result;
  for (const auto& segment : segments) result += "/" + segment;
  if (result.empty()) return "/";
  if (trailing_slash) result += "/";
  return result;
}

bool FolderExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool CreateFolder(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

std::string FolderPart(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool MakeFolderChain(const std::string& path) {
  // Walk up to the first level that exists, then create the missing ones
  // from the top down.
  std::vector<std::string> missing;
  std::string level = path;
  while (true) {
    if (!level.empty() && level.back() == '/') level.pop_back();
    if (level.empty() || FolderExists(level)) break;
    missing.push_back(level);
    std::size_t slash = level.rfind('/');
    if (slash == std::string::npos) break;
    level.resize(slash + 1);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (!CreateFolder(*it) && !FolderExists(*it)) return false;
  }
  return path.empty() || FolderExists(path);
}

}  // namespace files

namespace files {

std::optional<ReadableFile> OpenRegularFile(const std::string& path) {
  ReadableFile file;
  file.handle = UniqueHandle(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat info {};
  if (!file.handle || fstat(static_cast<int>(file.handle.get()), &info) != 0 ||
      !S_ISREG(info.st_mode))
    return std::nullopt;
  file.size = static_cast<std::uint64_t>(info.st_size);
  file.modified = info.st_mtime;
  return file;
}

long long ReadAt(Handle handle, void* buffer, std::size_t count, std::uint64_t offset) {
  while (true) {
    const ssize_t got = pread(static_cast<int>(handle), buffer, count, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    return got;
  }
}

long long ReadSome(Handle handle, void* buffer, std::size_t count) {
  while (true) {
    const ssize_t got = read(static_cast<int>(handle), buffer, count);
    if (got < 0 && errno == EINTR) continue;
    return got;
  }
}

std::size_t DescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 1u << 20;
  return static_cast<std::size_t>(limit.rlim_cur);
}

int ReadOnlyFlags() { return O_RDONLY; }

bool IsReadOnly(int open_flags) { return (open_flags & O_ACCMODE) == O_RDONLY; }

time_t UtcSeconds(std::tm parts) { return timegm(&parts); }

namespace {

// The entry `name` of `folder` (ending in "/") that `fits`: the exact name
// when it fits, else the first name in byte order that equals it ignoring
// the case of A to Z and fits.
template <typename Fits>
std::optional<std::string> FindIgnoringCase(const std::string& folder, const std::string& name,
                                            Fits fits) {
  if (fits(folder + name)) return name;
  UniqueDir listing = UniqueDir::Open(folder);
  if (!listing) return std::nullopt;
  std::optional<std::string> best;
  while (const dirent* item = readdir(listing.get())) {
    std::string candidate = item->d_name;
    if (EqualIgnoringAsciiCase(candidate, name) && (!best || candidate < *best) &&
        fits(folder + candidate)) {
      best = std::move(candidate);
    }
  }
  return best;
}

}  // namespace

std::optional<std::string> FindFolderIgnoringCase(const std::string& folder,
                                                  const std::string& name) {
  std::optional<std::string> found = FindIgnoringCase(folder, name, FolderExists);
  if (!found) return std::nullopt;
  return folder + *found + "/";
}

std::optional<std::string> FindFileIgnoringCase(const std::string& folder,
                                                const std::string& name) {
  std::optional<std::string> found = FindIgnoringCase(folder, name, FileExists);
  if (!found) return std::nullopt;
  return folder + *found;
}

}  // namespace files
