// What the FDI tests share: FDI callbacks over POSIX that count what they
// hand out, an HFDI made with them, and a notification callback that records
// every notification and writes entries into a folder.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fdi/fdi.h"
#include "support/test_support.h"

namespace fdi_test {

// What the callbacks have handed out and not yet got back.
struct Outstanding {
  int handles = 0;
  long blocks = 0;
  long bytes = 0;
};
Outstanding CurrentlyOutstanding();
// The most bytes allocated at one time since the last reset.
long PeakBytes();
void ResetPeakBytes();
// Makes the allocation after `count` more successful ones fail (once);
// a negative count switches this off.
void FailAllocationAfter(long count);

// An HFDI made with the counting callbacks; destroyed with the object.
class Fdi {
 public:
  Fdi();
  ~Fdi();
  Fdi(const Fdi&) = delete;
  Fdi& operator=(const Fdi&) = delete;
  HFDI get() const { return hfdi_; }
  const ERF& erf() const { return erf_; }
  // FDIIsCabinet on the file at `path`, opened with the callbacks.
  bool IsCabinet(const std::string& path, FDICABINETINFO* info);

 private:
  ERF erf_ = {};
  HFDI hfdi_ = nullptr;
};

// One notification as the callback saw it.
struct Event {
  FDINOTIFICATIONTYPE type = fdintENUMERATE;
  std::string psz1, psz2, psz3;
  long cb = 0;
  intptr_t hf = 0;
  unsigned short date = 0, time = 0, attribs = 0, setID = 0, iCabinet = 0, iFolder = 0;
  FDIERROR fdie = FDIERROR_NONE;
};

// One FDICopy call and what it did. By default each entry is written to
// output folder + name, fdintCLOSE_FILE_INFO closes it and answers 1, and a
// repeated fdintNEXT_CABINET (one with an error) is answered -1.
class Session {
 public:
  explicit Session(std::string output_folder) : output_folder_(std::move(output_folder)) {}

  // Answers a notification instead of the default when it returns a value.
  std::function<std::optional<intptr_t>(const Event&, FDINOTIFICATION*)> answer;

  bool Copy(const Fdi& fdi, const std::string& cabinet_name, const std::string& cabinet_folder);

  const std::vector<Event>& events() const { return events_; }
  std::vector<Event> EventsOf(FDINOTIFICATIONTYPE type) const;
  // The files in the output folder by name, with their bytes.
  std::map<std::string, std::string> Written() const;
  const std::string& output_folder() const { return output_folder_; }

  // Opens output folder + name for writing through the counting callbacks.
  intptr_t OpenOutput(const std::string& name) const;

 private:
  static intptr_t Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION notification);

  std::string output_folder_;
  std::vector<Event> events_;
};

// The counting callbacks themselves, for tests that open handles of their own.
intptr_t OpenFile(char* name, int flags, int mode);
int CloseFile(intptr_t handle);

// The file callbacks on the host's own files (posix/ and windows/ beside
// this file): open and close without counting, read, write and seek.
intptr_t OpenHostFile(char* name, int flags, int mode);
int CloseHostFile(intptr_t handle);
unsigned Read(intptr_t handle, void* buffer, unsigned count);
unsigned Write(intptr_t handle, void* buffer, unsigned count);
long Seek(intptr_t handle, long distance, int origin);

// Equal bytes; a difference is described by sizes and its first offset
// rather than by the bytes themselves.
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected);

// Bytes that compress somewhat: runs of a few letters mixed with noise.
std::string Pattern(std::size_t size, unsigned seed);

// A test with a folder for cabinets and one for output, which checks at its
// end that every handle and memory block FDI took was given back.
class FdiTest : public ::testing::Test {
 protected:
  void TearDown() override;
  // Writes `cabinets[i]` as `names[i]` into the cabinet folder.
  void Place(const std::vector<std::string>& cabinets, const std::vector<std::string>& names);
  // The cabinet folder, ending in "/".
  std::string Folder() const { return cabinet_folder_.path().string() + "/"; }
  std::string Output() const { return output_folder_.path().string(); }

  test_support::TempDir cabinet_folder_;
  test_support::TempDir output_folder_;
};

// Splits "folder/name" into "folder/" and "name".
std::pair<std::string, std::string> SplitPath(const std::string& path);

}  // namespace fdi_test
