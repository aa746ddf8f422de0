// The compound file container under an installer database: header, FAT,
// DIFAT, directory, mini FAT and mini stream. Only the tables that describe
// where things are (FAT, mini FAT, directory) are read when the file is
// opened; stream bytes are read from the file when asked for.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "msi/file_reader.h"

namespace msi {

inline constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
inline constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
inline constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

enum class EntryType : std::uint8_t { kUnused = 0, kStorage = 1, kStream = 2, kRoot = 5 };

struct DirectoryEntry {
  std::u16string name;      // raw UTF-16 units, without the terminating NUL
  bool name_valid = false;  // the length field and the NUL were in order
  std::uint8_t type = 0;
  std::uint32_t left = kNoStream;
  std::uint32_t right = kNoStream;
  std::uint32_t child = kNoStream;
  std::array<std::uint8_t, 16> clsid{};
  std::uint32_t start = kEndOfChain;
  std::uint64_t size = 0;
};

// A run of a stream's bytes that lie one after the other in the file.
struct StreamExtent {
  std::uint64_t stream_offset = 0;
  std::uint64_t file_offset = 0;
  std::uint64_t length = 0;
};

// Where every byte of one stream lies in the file; made only for a stream
// whose whole chain is sound and inside the file.
struct StreamLayout {
  std::uint64_t size = 0;
  std::vector<StreamExtent> extents;
};

class CompoundFile {
 public:
  // Reads the header, FAT, directory and mini FAT. Fails, with a message in
  // `error`, for anything that is not a sound compound file.
  static std::unique_ptr<CompoundFile> Open(FileReader file, std::string* error);

  const std::vector<DirectoryEntry>& entries() const { return entries_; }
  const DirectoryEntry& root() const { return entries_.front(); }
  std::uint64_t file_size() const { return file_.size(); }

  // The ids of the root storage's children in the directory's name order.
  // Links out of range, back to an entry seen before, or to an entry that
  // is neither a stream nor a storage are left out.
  std::vector<std::uint32_t> RootChildren() const;

  // Checks the chain of entry `id` (a stream) and that each of its bytes
  // lies within the file, and says where they are.
  std::optional<StreamLayout> Locate(std::uint32_t id, std::string* error) const;

  // Reads `length` bytes from `offset` of a located stream.
  bool ReadAt(const StreamLayout& layout, std::uint64_t offset, void* buffer,
              std::size_t length) const;

  // The whole stream of entry `id`.
  std::optional<std::string> ReadStream(std::uint32_t id, std::string* error) const;

 private:
  explicit CompoundFile(FileReader file) : file_(std::move(file)) {}
  bool ReadHeader(std::string* error);
  bool ReadFat(std::string* error);
  bool ReadDirectory(std::string* error);
  bool ReadMiniFat(std::string* error);
  bool ReadSector(std::uint32_t sector, std::vector<std::uint8_t>* out) const;
  std::uint64_t SectorOffset(std::uint32_t sector) const;
  bool SectorInFile(std::uint32_t sector) const;

  FileReader file_;
  unsigned sector_shift_ = 9;
  std::uint32_t sector_size_ = 512;
  std::uint32_t major_version_ = 3;
  std::uint32_t first_directory_sector_ = kEndOfChain;
  std::uint32_t first_mini_fat_sector_ = kEndOfChain;
  std::uint32_t first_difat_sector_ = kEndOfChain;
  std::vector<std::uint32_t> header_difat_;
  std::vector<std::uint32_t> fat_;
  std::vector<std::uint32_t> mini_fat_;
  std::vector<std::uint32_t> mini_stream_chain_;  // the root entry's regular sectors
  std::vector<DirectoryEntry> entries_;
};

}  // namespace msi
