// Owns one open directory stream (DIR*) and closes it when it goes.
#pragma once

#include <dirent.h>

#include <string>
#include <utility>

namespace files {

class UniqueDir {
 public:
  UniqueDir() = default;
  explicit UniqueDir(DIR* stream) : stream_(stream) {}
  // Opens the folder `path` ("" is the current folder); invalid on failure.
  static UniqueDir Open(const std::string& path) {
    return UniqueDir(opendir(path.empty() ? "." : path.c_str()));
  }
  UniqueDir(UniqueDir&& other) noexcept : stream_(std::exchange(other.stream_, nullptr)) {}
  UniqueDir& operator=(UniqueDir&& other) noexcept {
    if (this != &other) reset(std::exchange(other.stream_, nullptr));
    return *this;
  }
  UniqueDir(const UniqueDir&) = delete;
  UniqueDir& operator=(const UniqueDir&) = delete;
  ~UniqueDir() { reset(); }

  DIR* get() const { return stream_; }
  bool valid() const { return stream_ != nullptr; }
  explicit operator bool() const { return valid(); }

  // Closes the stream held (if any) and takes `stream` in its place.
  void reset(DIR* stream = nullptr) {
    DIR* old = std::exchange(stream_, stream);
    if (old != nullptr) closedir(old);
  }

 private:
  DIR* stream_ = nullptr;
};

}  // namespace files
