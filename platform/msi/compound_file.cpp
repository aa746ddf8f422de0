#include "msi/compound_file.h"

#include <algorithm>
#include <cstring>

#include "files/byte_order.h"

namespace msi {

using files::LoadU16;
using files::LoadU32;
using files::LoadU64;

namespace {

constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::size_t kHeaderDifatEntries = 109;
constexpr std::uint32_t kMiniSectorSize = 64;
constexpr std::uint64_t kMiniStreamCutoff = 4096;

// Follows a chain through `table` from `start`. With `needed` given, takes
// that many links (a longer chain is fine, a shorter one fails); otherwise
// follows it to ENDOFCHAIN. Fails on a link that is not a sector number
// inside the table and on a link back to a sector already taken.
std::optional<std::vector<std::uint32_t>> FollowChain(const std::vector<std::uint32_t>& table,
                                                      std::uint32_t start,
                                                      std::optional<std::uint64_t> needed) {
  std::vector<std::uint32_t> chain;
  if (needed && *needed == 0) return chain;
  if (needed && *needed > table.size()) return std::nullopt;
  std::vector<bool> taken(table.size(), false);
  std::uint32_t sector = start;
  while (true) {
    if (needed && chain.size() == *needed) return chain;
    if (sector == kEndOfChain) {
      if (needed) return std::nullopt;
      return chain;
    }
    if (sector > kMaxRegularSector || sector >= table.size() || taken[sector]) return std::nullopt;
    taken[sector] = true;
    chain.push_back(sector);
    sector = table[sector];
  }
}

std::uint64_t CeilDiv(std::uint64_t value, std::uint64_t unit) {
  return value / unit + (value % unit != 0 ? 1 : 0);
}

void AppendExtent(std::vector<StreamExtent>* extents, std::uint64_t stream_offset,
                  std::uint64_t file_offset, std::uint64_t length) {
  if (!extents->empty()) {
    StreamExtent& last = extents->back();
    if (last.file_offset + last.length == file_offset) {
      last.length += length;
      return;
    }
  }
  extents->push_back({stream_offset, file_offset, length});
}

}  // namespace

std::unique_ptr<CompoundFile> CompoundFile::Open(FileReader file, std::string* error) {
  std::unique_ptr<CompoundFile> cf(new CompoundFile(std::move(file)));
  if (!cf->ReadHeader(error) || !cf->ReadFat(error) || !cf->ReadDirectory(error) ||
      !cf->ReadMiniFat(error)) {
    return nullptr;
  }
  return cf;
}

std::uint64_t CompoundFile::SectorOffset(std::uint32_t sector) const {
  return (static_cast<std::uint64_t>(sector) + 1) << sector_shift_;
}

bool CompoundFile::SectorInFile(std::uint32_t sector) const {
  if (sector > kMaxRegularSector) return false;
  const std::uint64_t offset = SectorOffset(sector);
  return offset <= file_.size() && sector_size_ <= file_.size() - offset;
}

bool CompoundFile::ReadSector(std::uint32_t sector, std::vector<std::uint8_t>* out) const {
  out->resize(sector_size_);
  return SectorInFile(sector) && file_.ReadAt(SectorOffset(sector), out->data(), sector_size_);
}

bool CompoundFile::ReadHeader(std::string* error) {
  std::uint8_t bytes[header_field::kSize];
  if (!file_.ReadAt(0, bytes, header_field::kSize)) {
    *error = "the file is shorter than a compound file header";
    return false;
  }
  if (std::memcmp(bytes + header_field::kSignature, kSignature, sizeof kSignature) != 0) {
    *error = "not a compound file (bad signature)";
    return false;
  }
  major_version_ = LoadU16(bytes + header_field::kMajorVersion);
  if (LoadU16(bytes + header_field::kByteOrder) != 0xFFFE) {
    *error = "bad byte order mark";
    return false;
  }
  sector_shift_ = LoadU16(bytes + header_field::kSectorShift);
  if (!((major_version_ == 3 && sector_shift_ == 9) ||
        (major_version_ == 4 && sector_shift_ == 12))) {
    *error = "unsupported version or sector size";
    return false;
  }
  sector_size_ = 1u << sector_shift_;
  if (file_.size() < sector_size_) {
    *error = "the file is shorter than its header block";
    return false;
  }
  if (LoadU16(bytes + header_field::kMiniSectorShift) != 6) {
    *error = "unsupported mini sector size";
    return false;
  }
  if (LoadU32(bytes + header_field::kMiniStreamCutoff) != kMiniStreamCutoff) {
    *error = "unsupported mini stream cutoff";
    return false;
  }
  first_directory_sector_ = LoadU32(bytes + header_field::kFirstDirectorySector);
  first_mini_fat_sector_ = LoadU32(bytes + header_field::kFirstMiniFatSector);
  first_difat_sector_ = LoadU32(bytes + header_field::kFirstDifatSector);
  for (std::size_t i = 0; i < kHeaderDifatEntries; ++i) {
    header_difat_.push_back(LoadU32(bytes + header_field::kDifat + 4 * i));
  }
  return true;
}

bool CompoundFile::ReadFat(std::string* error) {
  // Sectors that the file really holds bound every count below.
  const std::uint64_t file_sectors = file_.size() >> sector_shift_;
  std::vector<std::uint32_t> fat_sectors;
  auto take = [&](std::uint32_t sector) {
    if (sector == kFreeSector) return true;
    if (!SectorInFile(sector) || fat_sectors.size() >= file_sectors) return false;
    fat_sectors.push_back(sector);
    return true;
  };
  for (std::uint32_t sector : header_difat_) {
    if (!take(sector)) {
      *error = "a FAT sector lies outside the file";
      return false;
    }
  }
  std::vector<bool> difat_seen(file_sectors, false);
  std::uint32_t difat = first_difat_sector_;
  const std::size_t per_sector = sector_size_ / 4;
  std::vector<std::uint8_t> block;
  while (difat != kEndOfChain && difat != kFreeSector) {
    // A sector inside the file has a number below the file's sector count.
    if (!SectorInFile(difat) || difat_seen[difat]) {
      *error = "broken DIFAT chain";
      return false;
    }
    difat_seen[difat] = true;
    if (!ReadSector(difat, &block)) {
      *error = "cannot read a DIFAT sector";
      return false;
    }
    for (std::size_t i = 0; i + 1 < per_sector; ++i) {
      if (!take(LoadU32(block.data() + 4 * i))) {
        *error = "a FAT sector lies outside the file";
        return false;
      }
    }
    difat = LoadU32(block.data() + 4 * (per_sector - 1));
  }
  if (fat_sectors.empty()) {
    *error = "the file has no FAT";
    return false;
  }
  fat_.reserve(fat_sectors.size() * per_sector);
  for (std::uint32_t sector : fat_sectors) {
    if (!ReadSector(sector, &block)) {
      *error = "cannot read a FAT sector";
      return false;
    }
    for (std::size_t i = 0; i < per_sector; ++i) fat_.push_back(LoadU32(block.data() + 4 * i));
  }
  return true;
}

bool CompoundFile::ReadDirectory(std::string* error) {
  auto chain = FollowChain(fat_, first_directory_sector_, std::nullopt);
  if (!chain || chain->empty()) {
    *error = "broken directory chain";
    return false;
  }
  const std::size_t per_sector = sector_size_ / entry_field::kSize;
  entries_.reserve(chain->size() * per_sector);
  std::vector<std::uint8_t> block;
  for (std::uint32_t sector : *chain) {
    if (!ReadSector(sector, &block)) {
      *error = "a directory sector lies outside the file";
      return false;
    }
    for (std::size_t i = 0; i < per_sector; ++i) {
      const std::uint8_t* raw = block.data() + i * entry_field::kSize;
      DirectoryEntry entry;
      entry.type = raw[entry_field::kType];
      const std::uint16_t name_bytes = LoadU16(raw + entry_field::kNameLength);
      if (name_bytes >= 2 && name_bytes <= 64 && name_bytes % 2 == 0 &&
          LoadU16(raw + entry_field::kName + name_bytes - 2) == 0) {
        entry.name_valid = true;
        for (std::size_t u = 0; u + 1 < name_bytes / 2u; ++u) {
          entry.name.push_back(static_cast<char16_t>(LoadU16(raw + entry_field::kName + 2 * u)));
        }
      }
      entry.left = LoadU32(raw + entry_field::kLeft);
      entry.right = LoadU32(raw + entry_field::kRight);
      entry.child = LoadU32(raw + entry_field::kChild);
      std::memcpy(entry.clsid.data(), raw + entry_field::kClassId, 16);
      entry.start = LoadU32(raw + entry_field::kStartSector);
      entry.size = major_version_ == 3 ? LoadU32(raw + entry_field::kStreamSize)
                                       : LoadU64(raw + entry_field::kStreamSize);
      entries_.push_back(std::move(entry));
    }
  }
  if (entries_.front().type != static_cast<std::uint8_t>(EntryType::kRoot)) {
    *error = "the first directory entry is not the root";
    return false;
  }
  return true;
}

bool CompoundFile::ReadMiniFat(std::string* error) {
  std::optional<std::vector<std::uint32_t>> chain;
  if (first_mini_fat_sector_ == kEndOfChain || first_mini_fat_sector_ == kFreeSector) {
    chain.emplace();
  } else {
    chain = FollowChain(fat_, first_mini_fat_sector_, std::nullopt);
  }
  if (!chain) {
    *error = "broken mini FAT chain";
    return false;
  }
  const std::size_t per_sector = sector_size_ / 4;
  mini_fat_.reserve(chain->size() * per_sector);
  std::vector<std::uint8_t> block;
  for (std::uint32_t sector : *chain) {
    if (!ReadSector(sector, &block)) {
      *error = "a mini FAT sector lies outside the file";
      return false;
    }
    for (std::size_t i = 0; i < per_sector; ++i) mini_fat_.push_back(LoadU32(block.data() + 4 * i));
  }
  const DirectoryEntry& root_entry = root();
  auto stream_chain = FollowChain(fat_, root_entry.start, CeilDiv(root_entry.size, sector_size_));
  if (!stream_chain) {
    *error = "the mini stream's chain does not cover its size";
    return false;
  }
  mini_stream_chain_ = std::move(*stream_chain);
  return true;
}

std::vector<std::uint32_t> CompoundFile::RootChildren() const {
  std::vector<std::uint32_t> ordered;
  std::vector<bool> visited(entries_.size(), false);
  visited[0] = true;
  auto usable = [&](std::uint32_t id) {
    if (id >= entries_.size() || visited[id]) return false;
    const std::uint8_t type = entries_[id].type;
    return type == static_cast<std::uint8_t>(EntryType::kStorage) ||
           type == static_cast<std::uint8_t>(EntryType::kStream);
  };
  std::vector<std::uint32_t> stack;
  std::uint32_t current = root().child;
  while (true) {
    while (usable(current)) {
      visited[current] = true;
      stack.push_back(current);
      current = entries_[current].left;
    }
    if (stack.empty()) break;
    const std::uint32_t id = stack.back();
    stack.pop_back();
    ordered.push_back(id);
    current = entries_[id].right;
  }
  return ordered;
}

std::optional<StreamLayout> CompoundFile::Locate(std::uint32_t id, std::string* error) const {
  if (id == 0 || id >= entries_.size() ||
      entries_[id].type != static_cast<std::uint8_t>(EntryType::kStream)) {
    *error = "not a stream";
    return std::nullopt;
  }
  const DirectoryEntry& entry = entries_[id];
  StreamLayout layout;
  layout.size = entry.size;
  const bool mini = entry.size < kMiniStreamCutoff;
  const std::uint64_t unit = mini ? kMiniSectorSize : sector_size_;
  auto chain = FollowChain(mini ? mini_fat_ : fat_, entry.start, CeilDiv(entry.size, unit));
  if (!chain) {
    *error = "the stream's chain is broken or shorter than its size";
    return std::nullopt;
  }
  std::uint64_t stream_offset = 0;
  for (std::uint32_t sector : *chain) {
    const std::uint64_t length = std::min<std::uint64_t>(unit, entry.size - stream_offset);
    std::uint64_t file_offset = 0;
    if (mini) {
      const std::uint64_t mini_offset = static_cast<std::uint64_t>(sector) * kMiniSectorSize;
      if (mini_offset + kMiniSectorSize > root().size) {
        *error = "a mini sector lies outside the mini stream";
        return std::nullopt;
      }
      const std::uint64_t index = mini_offset >> sector_shift_;
      if (index >= mini_stream_chain_.size()) {
        *error = "a mini sector lies outside the mini stream";
        return std::nullopt;
      }
      file_offset = SectorOffset(mini_stream_chain_[index]) + (mini_offset & (sector_size_ - 1));
    } else {
      file_offset = SectorOffset(sector);
    }
    if (file_offset > file_.size() || length > file_.size() - file_offset) {
      *error = "the stream's data lies past the end of the file";
      return std::nullopt;
    }
    AppendExtent(&layout.extents, stream_offset, file_offset, length);
    stream_offset += length;
  }
  return layout;
}

bool CompoundFile::ReadAt(const StreamLayout& layout, std::uint64_t offset, void* buffer,
                          std::size_t length) const {
  if (offset > layout.size || length > layout.size - offset) return false;
  auto* out = static_cast<std::uint8_t*>(buffer);
  auto it = std::upper_bound(
      layout.extents.begin(), layout.extents.end(), offset,
      [](std::uint64_t value, const StreamExtent& extent) { return value < extent.stream_offset; });
  while (length > 0) {
    if (it == layout.extents.begin()) return false;
    const StreamExtent& extent = *(it - 1);
    const std::uint64_t within = offset - extent.stream_offset;
    if (within >= extent.length) return false;
    const std::size_t piece =
        static_cast<std::size_t>(std::min<std::uint64_t>(length, extent.length - within));
    if (!file_.ReadAt(extent.file_offset + within, out, piece)) return false;
    out += piece;
    offset += piece;
    length -= piece;
    ++it;
  }
  return true;
}

std::optional<std::string> CompoundFile::ReadStream(std::uint32_t id, std::string* error) const {
  auto layout = Locate(id, error);
  if (!layout) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(layout->size), '\0');
  if (!ReadAt(*layout, 0, bytes.data(), bytes.size())) {
    *error = "cannot read the stream";
    return std::nullopt;
  }
  return bytes;
}

}  // namespace msi
