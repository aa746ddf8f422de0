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

// Where the fields of the header (the file's first 512 bytes) lie. All
// numbers are little-endian.
namespace header_field {
inline constexpr std::size_t kSignature = 0x00;             // 8 bytes D0 CF 11 E0 A1 B1 1A E1
inline constexpr std::size_t kClassId = 0x08;               // 16 bytes, unused
inline constexpr std::size_t kMinorVersion = 0x18;          // u16
inline constexpr std::size_t kMajorVersion = 0x1A;          // u16: 3 or 4
inline constexpr std::size_t kByteOrder = 0x1C;             // u16: FFFE
inline constexpr std::size_t kSectorShift = 0x1E;           // u16: 9 (version 3) or 12 (4)
inline constexpr std::size_t kMiniSectorShift = 0x20;       // u16: 6
inline constexpr std::size_t kDirectorySectors = 0x28;      // u32, version 4 only
inline constexpr std::size_t kFatSectors = 0x2C;            // u32
inline constexpr std::size_t kFirstDirectorySector = 0x30;  // u32
inline constexpr std::size_t kTransactionSignature = 0x34;  // u32
inline constexpr std::size_t kMiniStreamCutoff = 0x38;      // u32: 4096
inline constexpr std::size_t kFirstMiniFatSector = 0x3C;    // u32
inline constexpr std::size_t kMiniFatSectors = 0x40;        // u32
inline constexpr std::size_t kFirstDifatSector = 0x44;      // u32
inline constexpr std::size_t kDifatSectors = 0x48;          // u32
inline constexpr std::size_t kDifat = 0x4C;                 // 109 u32 FAT sector numbers
inline constexpr std::size_t kSize = 512;
}  // namespace header_field

// Where the fields of a directory entry (128 bytes) lie.
namespace entry_field {
inline constexpr std::size_t kName = 0x00;         // 32 UTF-16 units, NUL-terminated
inline constexpr std::size_t kNameLength = 0x40;   // u16: bytes of the name with its NUL
inline constexpr std::size_t kType = 0x42;         // u8: EntryType
inline constexpr std::size_t kColour = 0x43;       // u8: red-black colour, unused
inline constexpr std::size_t kLeft = 0x44;         // u32: sibling entry id
inline constexpr std::size_t kRight = 0x48;        // u32: sibling entry id
inline constexpr std::size_t kChild = 0x4C;        // u32: first child entry id
inline constexpr std::size_t kClassId = 0x50;      // 16 bytes
inline constexpr std::size_t kStartSector = 0x74;  // u32
inline constexpr std::size_t kStreamSize = 0x78;   // u32 (version 3) or u64 (version 4)
inline constexpr std::size_t kSize = 128;
}  // namespace entry_field

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
