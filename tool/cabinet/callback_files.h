// The files behind the handles that the cabinet unit's callbacks hand to
// the cabinet interface: a cabinet on disk, a cabinet stored in the package
// (read in place from its stream), and an extracted entry being written.
// Every handle is the address of one of these objects, so it is never 0 or
// -1, the two values that mean "skip" and "failure".
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "files/handle.h"
#include "msi/msiquery.h"

class CallbackFile {
 public:
  virtual ~CallbackFile() = default;
  // The byte count, or (unsigned)-1 on failure, as the callbacks answer.
  virtual unsigned Read(void* buffer, unsigned count);
  virtual unsigned Write(const void* buffer, unsigned count);
  // The new position, or -1.
  virtual long Seek(long distance, int origin);
  // Ends the file's use; the object is destroyed right after. 0 on success.
  virtual int Close() { return 0; }

  intptr_t handle() { return reinterpret_cast<intptr_t>(this); }
  static CallbackFile* FromHandle(intptr_t handle) {
    return reinterpret_cast<CallbackFile*>(handle);
  }
};

// A cabinet being read: small reads (the cabinet's tables, entry by entry)
// are served from a read-ahead buffer, large ones (data blocks) go straight
// to the source; seeks only move the position.
class CabinetReader : public CallbackFile {
 public:
  ~CabinetReader() override;
  unsigned Read(void* buffer, unsigned count) override;
  long Seek(long distance, int origin) override;

 protected:
  explicit CabinetReader(std::uint64_t size) : size_(size) {}
  // Reads up to `count` bytes at `offset`; the count read, or -1.
  virtual long long ReadAt(std::uint64_t offset, void* buffer, std::size_t count) = 0;

 private:
  std::uint64_t size_;
  std::uint64_t position_ = 0;
  std::unique_ptr<unsigned char[]> ahead_;
  std::uint64_t ahead_offset_ = 0;
  std::size_t ahead_bytes_ = 0;
};

// A cabinet file on disk.
class CabinetOnDisk : public CabinetReader {
 public:
  // Nothing when the file cannot be opened for reading.
  static std::unique_ptr<CabinetOnDisk> Open(const std::string& path);

 protected:
  long long ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

 private:
  CabinetOnDisk(files::UniqueHandle file, std::uint64_t size)
      : CabinetReader(size), file_(std::move(file)) {}
  files::UniqueHandle file_;
};

// A cabinet stored in the package: the stream field of a `_Streams` row,
// read where it lies.
class CabinetInPackage : public CabinetReader {
 public:
  // Takes over `record` (a fetched `_Streams` row, the stream in field 2).
  CabinetInPackage(MSIHANDLE record, std::uint64_t size) : CabinetReader(size), record_(record) {}
  ~CabinetInPackage() override;

 protected:
  long long ReadAt(std::uint64_t offset, void* buffer, std::size_t count) override;

 private:
  MSIHANDLE record_;
};
