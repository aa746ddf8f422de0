#include "fdi/cabinet_directory.h"

#include <cstring>

namespace fdi {
namespace {

std::uint16_t U16(const unsigned char* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t U32(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

constexpr std::size_t kHeaderBytes = 36;
constexpr std::size_t kFolderBytes = 8;
constexpr std::size_t kFileBytes = 16;

bool ValidFolderIndex(std::uint16_t folder, const CabinetHeader& header) {
  if (folder < kFolderFromPrevious) return folder < header.folder_count;
  if (header.folder_count == 0) return false;
  bool from_previous = folder == kFolderFromPrevious || folder == kFolderPreviousAndNext;
  bool to_next = folder == kFolderToNext || folder == kFolderPreviousAndNext;
  if (from_previous && (header.flags & kHeaderHasPrevious) == 0) return false;
  if (to_next && (header.flags & kHeaderHasNext) == 0) return false;
  return true;
}

}  // namespace

FDIERROR ReadCabinetHeader(CallbackReader& reader, CabinetHeader* header) {
  unsigned char bytes[kHeaderBytes];
  if (!reader.Read(bytes, sizeof bytes)) return FDIERROR_NOT_A_CABINET;
  if (std::memcmp(bytes, "MSCF", 4) != 0) return FDIERROR_NOT_A_CABINET;
  if (bytes[25] != 1 || bytes[24] != 3) return FDIERROR_UNKNOWN_CABINET_VERSION;
  header->claimed_size = U32(bytes + 8);
  header->files_offset = U32(bytes + 16);
  header->folder_count = U16(bytes + 26);
  header->file_count = U16(bytes + 28);
  header->flags = U16(bytes + 30);
  header->set_id = U16(bytes + 32);
  header->index = U16(bytes + 34);
  return FDIERROR_NONE;
}

std::size_t CabinetDirectory::FolderOf(const CabinetEntry& entry) const {
  if (entry.FromPrevious()) return 0;
  if (entry.folder == kFolderToNext) return folder_compression.size() - 1;
  return entry.folder;
}

bool CabinetDirectory::FirstFolderFromPrevious() const {
  for (const CabinetEntry& entry : entries) {
    if (entry.FromPrevious()) return true;
  }
  return false;
}

bool CabinetDirectory::FirstFolderToNext() const {
  for (const CabinetEntry& entry : entries) {
    if (entry.folder == kFolderPreviousAndNext) return true;
    if (entry.folder == kFolderToNext && folder_compression.size() == 1) return true;
  }
  return false;
}

FDIERROR ReadCabinetDirectory(CallbackReader& reader, CabinetDirectory* directory) {
  FDIERROR error = ReadCabinetHeader(reader, &directory->header);
  if (error != FDIERROR_NONE) return error;
  const CabinetHeader& header = directory->header;

  std::size_t folder_reserve = 0;
  std::uint8_t block_reserve = 0;
  if (header.flags & kHeaderHasReserve) {
    unsigned char sizes[4];
    if (!reader.Read(sizes, sizeof sizes)) return FDIERROR_CORRUPT_CABINET;
    folder_reserve = sizes[2];
    block_reserve = sizes[3];
    if (!reader.Skip(U16(sizes))) return FDIERROR_CORRUPT_CABINET;
  }
  if (header.flags & kHeaderHasPrevious) {
    if (!reader.ReadString(directory->previous_cabinet, kMaxNameBytes) ||
        !reader.ReadString(directory->previous_disk, kMaxNameBytes))
      return FDIERROR_CORRUPT_CABINET;
  }
  if (header.flags & kHeaderHasNext) {
    if (!reader.ReadString(directory->next_cabinet, kMaxNameBytes) ||
        !reader.ReadString(directory->next_disk, kMaxNameBytes))
      return FDIERROR_CORRUPT_CABINET;
  }

  for (unsigned i = 0; i < header.folder_count; ++i) {
    unsigned char bytes[kFolderBytes];
    if (!reader.Read(bytes, sizeof bytes) || !reader.Skip(folder_reserve))
      return FDIERROR_CORRUPT_CABINET;
    directory->folder_compression.push_back(U16(bytes + 6));
    directory->folder_data.push_back(FolderData{U32(bytes), U16(bytes + 4), block_reserve});
  }

  if (!reader.SeekTo(header.files_offset)) return FDIERROR_CORRUPT_CABINET;
  for (unsigned i = 0; i < header.file_count; ++i) {
    unsigned char bytes[kFileBytes];
    CabinetEntry entry;
    if (!reader.Read(bytes, sizeof bytes) || !reader.ReadString(entry.name, kMaxNameBytes))
      return FDIERROR_CORRUPT_CABINET;
    entry.size = U32(bytes);
    entry.folder_offset = U32(bytes + 4);
    entry.folder = U16(bytes + 8);
    entry.date = U16(bytes + 10);
    entry.time = U16(bytes + 12);
    entry.attributes = U16(bytes + 14);
    if (!ValidFolderIndex(entry.folder, header)) return FDIERROR_CORRUPT_CABINET;
    directory->entries.push_back(entry);
  }
  return FDIERROR_NONE;
}

}  // namespace fdi
