// The header, folder and file tables of one cabinet, read through the
// caller's callbacks. Every count and offset is checked against what the
// file really holds; nothing is sized from what the header claims.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fdi/callback_allocator.h"
#include "fdi/callback_reader.h"

namespace fdi {

// Names in a cabinet (entries, neighbouring cabinets and disks) hold at most
// this many bytes, the terminating NUL included.
inline constexpr std::size_t kMaxNameBytes = 256;

inline constexpr std::uint16_t kHeaderHasPrevious = 0x0001;
inline constexpr std::uint16_t kHeaderHasNext = 0x0002;
inline constexpr std::uint16_t kHeaderHasReserve = 0x0004;

// Folder indices of entries whose data cross into neighbouring cabinets.
inline constexpr std::uint16_t kFolderFromPrevious = 0xFFFD;
inline constexpr std::uint16_t kFolderToNext = 0xFFFE;
inline constexpr std::uint16_t kFolderPreviousAndNext = 0xFFFF;

// The fixed part of the cabinet header (36 bytes).
struct CabinetHeader {
  std::uint32_t claimed_size = 0;
  std::uint32_t files_offset = 0;
  std::uint16_t folder_count = 0;
  std::uint16_t file_count = 0;
  std::uint16_t flags = 0;
  std::uint16_t set_id = 0;
  std::uint16_t index = 0;
};

// Reads and checks the fixed header: FDIERROR_NOT_A_CABINET without the
// signature, FDIERROR_UNKNOWN_CABINET_VERSION for a version other than 1.3.
FDIERROR ReadCabinetHeader(CallbackReader& reader, CabinetHeader* header);

struct CabinetEntry {
  char name[kMaxNameBytes] = {};
  std::uint32_t size = 0;
  std::uint32_t folder_offset = 0;
  std::uint16_t folder = 0;  // as recorded, including the continuation values
  std::uint16_t date = 0;
  std::uint16_t time = 0;
  std::uint16_t attributes = 0;

  bool FromPrevious() const {
    return folder == kFolderFromPrevious || folder == kFolderPreviousAndNext;
  }
  bool ToNext() const { return folder == kFolderToNext || folder == kFolderPreviousAndNext; }
};

// Where a folder's data blocks are and how each is laid out.
struct FolderData {
  std::uint32_t offset = 0;        // of the first CFDATA, from the start of the cabinet
  std::uint16_t block_count = 0;   // cCFData
  std::uint8_t block_reserve = 0;  // cbCFData: reserved bytes in each CFDATA header
};

struct CabinetDirectory {
  explicit CabinetDirectory(const Callbacks& callbacks)
      : folder_compression(CallbackAllocator<std::uint16_t>(callbacks)),
        folder_data(CallbackAllocator<FolderData>(callbacks)),
        entries(CallbackAllocator<CabinetEntry>(callbacks)) {}

  CabinetHeader header;
  char previous_cabinet[kMaxNameBytes] = {};
  char previous_disk[kMaxNameBytes] = {};
  char next_cabinet[kMaxNameBytes] = {};
  char next_disk[kMaxNameBytes] = {};
  CallbackVector<std::uint16_t> folder_compression;  // one per folder
  CallbackVector<FolderData> folder_data;            // one per folder
  CallbackVector<CabinetEntry> entries;              // in recorded order

  // The folder of this cabinet that holds (the start of) an entry's data.
  std::size_t FolderOf(const CabinetEntry& entry) const;
  // The first folder began in the previous cabinet.
  bool FirstFolderFromPrevious() const;
};

// Reads the whole directory of the cabinet that starts at offset 0 of the
// reader's file. FDIERROR_CORRUPT_CABINET when a table is cut short or an
// entry names a folder that is not there.
FDIERROR ReadCabinetDirectory(CallbackReader& reader, CabinetDirectory* directory);

}  // namespace fdi
