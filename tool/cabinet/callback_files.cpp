#include "cabinet/callback_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "files/files.h"
#include "msi/stream_seek.h"

namespace {

constexpr unsigned kFailed = static_cast<unsigned>(-1);
// Reads smaller than this are served from a buffer of this size.
constexpr std::size_t kReadAheadBytes = 64 * 1024;

}  // namespace

unsigned CallbackFile::Read(void*, unsigned) { return kFailed; }
unsigned CallbackFile::Write(const void*, unsigned) { return kFailed; }
long CallbackFile::Seek(long, int) { return -1; }

CabinetReader::~CabinetReader() = default;

unsigned CabinetReader::Read(void* buffer, unsigned count) {
  auto* out = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < count && position_ < size_) {
    const std::size_t wanted = count - done;
    if (position_ >= ahead_offset_ && position_ < ahead_offset_ + ahead_bytes_) {
      const std::size_t at = static_cast<std::size_t>(position_ - ahead_offset_);
      const std::size_t piece = std::min(wanted, ahead_bytes_ - at);
      std::memcpy(out + done, ahead_.get() + at, piece);
      done += piece;
      position_ += piece;
      continue;
    }
    if (wanted >= kReadAheadBytes) {
      long long got = ReadAt(position_, out + done, wanted);
      if (got < 0) return kFailed;
      if (got == 0) break;
      done += static_cast<std::size_t>(got);
      position_ += static_cast<std::uint64_t>(got);
      continue;
    }
    if (!ahead_) ahead_ = std::make_unique<unsigned char[]>(kReadAheadBytes);
    ahead_bytes_ = 0;
    long long got = ReadAt(position_, ahead_.get(), kReadAheadBytes);
    if (got < 0) return kFailed;
    if (got == 0) break;
    ahead_offset_ = position_;
    ahead_bytes_ = static_cast<std::size_t>(got);
  }
  return static_cast<unsigned>(done);
}

long CabinetReader::Seek(long distance, int origin) {
  std::uint64_t base = 0;
  if (origin == SEEK_CUR) {
    base = position_;
  } else if (origin == SEEK_END) {
    base = size_;
  } else if (origin != SEEK_SET) {
    return -1;
  }
  // The position stays within the cabinet and within what a long can say.
  std::uint64_t target = base;
  if (distance < 0) {
    const std::uint64_t back = static_cast<std::uint64_t>(-(distance + 1)) + 1;
    if (back > base) return -1;
    target -= back;
  } else {
    if (static_cast<std::uint64_t>(distance) > size_ - std::min(base, size_)) return -1;
    target += static_cast<std::uint64_t>(distance);
  }
  if (target > static_cast<std::uint64_t>(std::numeric_limits<long>::max())) return -1;
  position_ = target;
  return static_cast<long>(target);
}

std::unique_ptr<CabinetOnDisk> CabinetOnDisk::Open(const std::string& path) {
  // A pipe named like a cabinet is not waited on.
  std::optional<files::ReadableFile> file = files::OpenRegularFile(path);
  if (!file) return nullptr;
  return std::unique_ptr<CabinetOnDisk>(new CabinetOnDisk(std::move(file->handle), file->size));
}

long long CabinetOnDisk::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
  return files::ReadAt(file_.get(), buffer, count, offset);
}

CabinetInPackage::~CabinetInPackage() { MsiCloseHandle(record_); }

long long CabinetInPackage::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) {
  if (MsiRecordSeekStream(record_, 2, offset) != ERROR_SUCCESS) return -1;
  std::uint32_t size = static_cast<std::uint32_t>(std::min<std::size_t>(count, 1u << 30));
  if (MsiRecordReadStream(record_, 2, static_cast<char*>(buffer), &size) != ERROR_SUCCESS)
    return -1;
  return size;
}
