// Where the fields of a cabinet's structures lie: the fixed header
// (CFHEADER), a folder (CFFOLDER), a file (CFFILE) and a data block
// (CFDATA), as byte offsets from the start of each structure. All numbers
// are little-endian (files/byte_order.h reads them).
#pragma once

#include <cstddef>

namespace fdi::cab {

// CFHEADER: 36 bytes, then (with kHeaderHasReserve) the reserve sizes.
inline constexpr std::size_t kHeaderBytes = 36;
inline constexpr std::size_t kHeaderSignature = 0x00;  // "MSCF"
inline constexpr std::size_t kHeaderCabinetSize = 0x08;
inline constexpr std::size_t kHeaderFilesOffset = 0x10;
inline constexpr std::size_t kHeaderMinorVersion = 0x18;
inline constexpr std::size_t kHeaderMajorVersion = 0x19;
inline constexpr std::size_t kHeaderFolderCount = 0x1A;
inline constexpr std::size_t kHeaderFileCount = 0x1C;
inline constexpr std::size_t kHeaderFlags = 0x1E;
inline constexpr std::size_t kHeaderSetId = 0x20;
inline constexpr std::size_t kHeaderCabinetIndex = 0x22;

// The reserve sizes after the fixed header.
inline constexpr std::size_t kReserveBytes = 4;
inline constexpr std::size_t kReserveHeader = 0x00;  // 16 bits
inline constexpr std::size_t kReserveFolder = 0x02;  // 8 bits
inline constexpr std::size_t kReserveBlock = 0x03;   // 8 bits

// CFFOLDER: 8 bytes, then its reserved bytes.
inline constexpr std::size_t kFolderBytes = 8;
inline constexpr std::size_t kFolderDataOffset = 0x00;
inline constexpr std::size_t kFolderBlockCount = 0x04;
inline constexpr std::size_t kFolderCompression = 0x06;

// CFFILE: 16 bytes, then the NUL-terminated name.
inline constexpr std::size_t kFileBytes = 16;
inline constexpr std::size_t kFileSize = 0x00;
inline constexpr std::size_t kFileFolderOffset = 0x04;
inline constexpr std::size_t kFileFolder = 0x08;
inline constexpr std::size_t kFileDate = 0x0A;
inline constexpr std::size_t kFileTime = 0x0C;
inline constexpr std::size_t kFileAttributes = 0x0E;

// CFDATA: 8 bytes, its reserved bytes, then the payload.
inline constexpr std::size_t kBlockBytes = 8;
inline constexpr std::size_t kBlockChecksum = 0x00;
inline constexpr std::size_t kBlockCompressedSize = 0x04;
inline constexpr std::size_t kBlockUncompressedSize = 0x06;

}  // namespace fdi::cab
