// The files behind the handles that the cabinet unit's callbacks hand to
// the cabinet interface: a cabinet on disk, a cabinet stored in the package
// (read in place from its stream), and an extracted entry being written.
// Every handle is the address of one of these objects, so it is never 0 or
// -1, the two values that mean "skip" and "failure".
#pragma once

#include <cstdint>
#include <memory>
#include <string>

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

// A cabinet file on disk, read through its descriptor.
class CabinetOnDisk : public CallbackFile {
 public:
  // Nothing when the file cannot be opened for reading.
  static std::unique_ptr<CabinetOnDisk> Open(const std::string& path);
  ~CabinetOnDisk() override;
  unsigned Read(void* buffer, unsigned count) override;
  long Seek(long distance, int origin) override;

 private:
  explicit CabinetOnDisk(int fd) : fd_(fd) {}
  int fd_;
};

// A cabinet stored in the package: the stream field of a `_Streams` row,
// read where it lies.
class CabinetInPackage : public CallbackFile {
 public:
  // Takes over `record` (a fetched `_Streams` row, the stream in field 2).
  CabinetInPackage(MSIHANDLE record, std::uint64_t size) : record_(record), size_(size) {}
  ~CabinetInPackage() override;
  unsigned Read(void* buffer, unsigned count) override;
  long Seek(long distance, int origin) override;

 private:
  MSIHANDLE record_;
  std::uint64_t size_;
  std::uint64_t position_ = 0;
};
