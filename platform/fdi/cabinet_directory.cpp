#include "fdi/cabinet_directory.h"

#include <cstring>

#include "fdi/cabinet_format.h"
#include "files/byte_order.h"

namespace fdi {
namespace {

using files::LoadU16;
using files::LoadU32;

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
  unsigned char bytes[cab::kHeaderBytes];
  if (!reader.Read(bytes, sizeof bytes)) return FDIERROR_NOT_A_CABINET;
  if (std::memcmp(bytes + cab::kHeaderSignature, "MSCF", 4) != 0) return FDIERROR_NOT_A_CABINET;
  if (bytes[cab::kHeaderMajorVersion] != 1 || bytes[cab::kHeaderMinorVersion] != 3)
    return FDIERROR_UNKNOWN_CABINET_VERSION;
  header->claimed_size = LoadU32(bytes + cab::kHeaderCabinetSize);
  header->files_offset = LoadU32(bytes + cab::kHeaderFilesOffset);
  header->folder_count = LoadU16(bytes + cab::kHeaderFolderCount);
  header->file_count = LoadU16(bytes + cab::kHeaderFileCount);
  header->flags = LoadU16(bytes + cab::kHeaderFlags);
  header->set_id = LoadU16(bytes + cab::kHeaderSetId);
  header->index = LoadU16(bytes + cab::kHeaderCabinetIndex);
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

FDIERROR ReadCabinetDirectory(CallbackReader& reader, CabinetDirectory* directory) {
  FDIERROR error = ReadCabinetHeader(reader, &directory->header);
  if (error != FDIERROR_NONE) return error;
  const CabinetHeader& header = directory->header;

  std::size_t folder_reserve = 0;
  std::uint8_t block_reserve = 0;
  if (header.flags & kHeaderHasReserve) {
    unsigned char sizes[cab::kReserveBytes];
    if (!reader.Read(sizes, sizeof sizes)) return FDIERROR_CORRUPT_CABINET;
    folder_reserve = sizes[cab::kReserveFolder];
    block_reserve = sizes[cab::kReserveBlock];
    if (!reader.Skip(LoadU16(sizes + cab::kReserveHeader))) return FDIERROR_CORRUPT_CABINET;
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
    unsigned char bytes[cab::kFolderBytes];
    if (!reader.Read(bytes, sizeof bytes) || !reader.Skip(folder_reserve))
      return FDIERROR_CORRUPT_CABINET;
    directory->folder_compression.push_back(LoadU16(bytes + cab::kFolderCompression));
    directory->folder_data.push_back(FolderData{LoadU32(bytes + cab::kFolderDataOffset),
                                                LoadU16(bytes + cab::kFolderBlockCount),
                                                block_reserve});
  }

  if (!reader.SeekTo(header.files_offset)) return FDIERROR_CORRUPT_CABINET;
  for (unsigned i = 0; i < header.file_count; ++i) {
    unsigned char bytes[cab::kFileBytes];
    CabinetEntry entry;
    if (!reader.Read(bytes, sizeof bytes) || !reader.ReadString(entry.name, kMaxNameBytes))
      return FDIERROR_CORRUPT_CABINET;
    entry.size = LoadU32(bytes + cab::kFileSize);
    entry.folder_offset = LoadU32(bytes + cab::kFileFolderOffset);
    entry.folder = LoadU16(bytes + cab::kFileFolder);
    entry.date = LoadU16(bytes + cab::kFileDate);
    entry.time = LoadU16(bytes + cab::kFileTime);
    entry.attributes = LoadU16(bytes + cab::kFileAttributes);
    if (!ValidFolderIndex(entry.folder, header)) return FDIERROR_CORRUPT_CABINET;
    directory->entries.push_back(entry);
  }
  return FDIERROR_NONE;
}

}  // namespace fdi
