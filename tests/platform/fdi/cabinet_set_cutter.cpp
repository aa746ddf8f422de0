#include "platform/fdi/cabinet_set_cutter.h"

#include <cstdint>
#include <stdexcept>

namespace fdi_test {
namespace {

std::uint32_t Get(const std::string& bytes, std::size_t at, int width) {
  if (at + static_cast<std::size_t>(width) > bytes.size()) throw std::out_of_range("cabinet");
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return value;
}

void Put(std::string& out, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
}

struct Entry {
  std::uint32_t size, offset;
  std::uint16_t date, time, attributes;
  std::string name;
};

struct Block {
  std::string payload;
  std::uint32_t checksum;  // 0 for the parts of a cut block: none recorded
  std::uint16_t uncompressed;
};

}  // namespace

std::vector<std::string> CutCabinet(const std::string& cabinet,
                                    const std::vector<std::string>& names,
                                    const std::vector<std::size_t>& cut_blocks) {
  if (names.size() != cut_blocks.size() + 1) throw std::invalid_argument("one cut per gap");
  const std::uint32_t files_offset = Get(cabinet, 16, 4);
  const std::uint16_t file_count = static_cast<std::uint16_t>(Get(cabinet, 28, 2));
  const std::uint32_t data_offset = Get(cabinet, 36, 4);
  const std::uint16_t block_count = static_cast<std::uint16_t>(Get(cabinet, 40, 2));
  const std::uint16_t compression = static_cast<std::uint16_t>(Get(cabinet, 42, 2));

  std::vector<Entry> entries;
  std::size_t at = files_offset;
  for (unsigned i = 0; i < file_count; ++i) {
    Entry entry{Get(cabinet, at, 4),
                Get(cabinet, at + 4, 4),
                static_cast<std::uint16_t>(Get(cabinet, at + 10, 2)),
                static_cast<std::uint16_t>(Get(cabinet, at + 12, 2)),
                static_cast<std::uint16_t>(Get(cabinet, at + 14, 2)),
                ""};
    std::size_t end = cabinet.find('\0', at + 16);
    entry.name = cabinet.substr(at + 16, end - (at + 16));
    entries.push_back(entry);
    at = end + 1;
  }
  std::vector<Block> blocks;
  std::vector<std::uint32_t> block_start;  // uncompressed offset of each block
  std::uint32_t uncompressed = 0;
  at = data_offset;
  for (unsigned i = 0; i < block_count; ++i) {
    std::uint32_t size = Get(cabinet, at + 4, 2);
    blocks.push_back({cabinet.substr(at + 8, size), Get(cabinet, at, 4),
                      static_cast<std::uint16_t>(Get(cabinet, at + 6, 2))});
    block_start.push_back(uncompressed);
    uncompressed += blocks.back().uncompressed;
    at += 8 + size;
  }

  std::vector<std::string> cabinets;
  for (std::size_t c = 0; c < names.size(); ++c) {
    // Uncompressed data this cabinet completes, and its blocks.
    std::uint32_t low = c == 0 ? 0 : block_start[cut_blocks[c - 1]];
    std::uint32_t high = c + 1 == names.size() ? uncompressed : block_start[cut_blocks[c]];
    std::vector<Block> mine;
    std::size_t first = c == 0 ? 0 : cut_blocks[c - 1];
    std::size_t last = c + 1 == names.size() ? blocks.size() - 1 : cut_blocks[c];
    for (std::size_t b = first; b <= last; ++b) {
      Block block = blocks[b];
      std::size_t half = block.payload.size() / 2;
      if (c > 0 && b == first) {
        block = {block.payload.substr(half), 0, block.uncompressed};
      } else if (c + 1 < names.size() && b == last) {
        block = {block.payload.substr(0, half), 0, 0};
      }
      mine.push_back(block);
    }

    std::string header_names;
    std::uint16_t flags = 0;
    if (c > 0) {
      flags |= 1;
      header_names += names[c - 1] + '\0' + "DISK" + std::to_string(c) + '\0';
    }
    if (c + 1 < names.size()) {
      flags |= 2;
      header_names += names[c + 1] + '\0' + "DISK" + std::to_string(c + 2) + '\0';
    }
    std::string file_table;
    std::uint16_t listed = 0;
    for (const Entry& entry : entries) {
      std::uint32_t begin = entry.offset;
      std::uint32_t end = entry.offset + entry.size;
      bool inside = entry.size == 0 ? begin >= low && begin < high : begin < high && end > low;
      if (!inside) continue;
      bool from_previous = begin < low;
      bool to_next = end > high;
      std::uint16_t folder = from_previous && to_next ? 0xFFFF
                             : from_previous          ? 0xFFFD
                             : to_next                ? 0xFFFE
                                                      : 0;
      Put(file_table, entry.size, 4);
      Put(file_table, entry.offset, 4);
      Put(file_table, folder, 2);
      Put(file_table, entry.date, 2);
      Put(file_table, entry.time, 2);
      Put(file_table, entry.attributes, 2);
      file_table += entry.name + '\0';
      ++listed;
    }
    std::string data;
    for (const Block& block : mine) {
      Put(data, block.checksum, 4);
      Put(data, static_cast<std::uint32_t>(block.payload.size()), 2);
      Put(data, block.uncompressed, 2);
      data += block.payload;
    }
    std::uint32_t new_files_offset = static_cast<std::uint32_t>(36 + header_names.size() + 8);
    std::uint32_t new_data_offset =
        new_files_offset + static_cast<std::uint32_t>(file_table.size());
    std::string out = "MSCF";
    Put(out, 0, 4);
    Put(out, new_data_offset + static_cast<std::uint32_t>(data.size()), 4);
    Put(out, 0, 4);
    Put(out, new_files_offset, 4);
    Put(out, 0, 4);
    Put(out, 0x0103, 2);
    Put(out, 1, 2);
    Put(out, listed, 2);
    Put(out, flags, 2);
    Put(out, 0x5044, 2);
    Put(out, static_cast<std::uint32_t>(c), 2);
    out += header_names;
    Put(out, new_data_offset, 4);
    Put(out, static_cast<std::uint32_t>(mine.size()), 2);
    Put(out, compression, 2);
    out += file_table;
    out += data;
    cabinets.push_back(out);
  }
  return cabinets;
}

}  // namespace fdi_test
