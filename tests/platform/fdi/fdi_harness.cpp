#include "platform/fdi/fdi_harness.h"

#include <fcntl.h>

#include <cstddef>
#include <cstdlib>
#include <filesystem>

namespace fdi_test {
namespace {

// The callbacks take no context, so their counts live here.
Outstanding outstanding;
long peak_bytes = 0;
long allocations_until_failure = -1;

union BlockHeader {
  unsigned long size;
  std::max_align_t alignment;
};

void* Alloc(unsigned long size) {
  if (allocations_until_failure == 0) {
    allocations_until_failure = -1;
    return nullptr;
  }
  if (allocations_until_failure > 0) --allocations_until_failure;
  auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
  if (header == nullptr) return nullptr;
  header->size = size;
  ++outstanding.blocks;
  outstanding.bytes += static_cast<long>(size);
  if (outstanding.bytes > peak_bytes) peak_bytes = outstanding.bytes;
  return header + 1;
}

void Free(void* block) {
  if (block == nullptr) return;
  BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
  --outstanding.blocks;
  outstanding.bytes -= static_cast<long>(header->size);
  std::free(header);
}

Event Record(FDINOTIFICATIONTYPE type, const FDINOTIFICATION& n) {
  Event event;
  event.type = type;
  if (n.psz1 != nullptr) event.psz1 = n.psz1;
  if (n.psz2 != nullptr) event.psz2 = n.psz2;
  if (n.psz3 != nullptr) event.psz3 = n.psz3;
  event.cb = n.cb;
  event.hf = n.hf;
  event.date = n.date;
  event.time = n.time;
  event.attribs = n.attribs;
  event.setID = n.setID;
  event.iCabinet = n.iCabinet;
  event.iFolder = n.iFolder;
  event.fdie = n.fdie;
  return event;
}

}  // namespace

Outstanding CurrentlyOutstanding() { return outstanding; }
long PeakBytes() { return peak_bytes; }
void ResetPeakBytes() { peak_bytes = outstanding.bytes; }
void FailAllocationAfter(long count) { allocations_until_failure = count; }

intptr_t OpenFile(char* name, int flags, int mode) {
  const intptr_t handle = OpenHostFile(name, flags, mode);
  if (handle == -1) return -1;
  ++outstanding.handles;
  return handle;
}

int CloseFile(intptr_t handle) {
  --outstanding.handles;
  return CloseHostFile(handle);
}

::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure() << "got " << actual.size() << " bytes, expected "
                                       << expected.size() << ", first difference at " << at;
}

std::string Pattern(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned state = seed;
  for (char& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = (state >> 16) % 4 == 0 ? static_cast<char>(state >> 24) : "abcdefgh"[(state >> 20) % 8];
  }
  return bytes;
}

void FdiTest::TearDown() {
  Outstanding left = CurrentlyOutstanding();
  EXPECT_EQ(left.handles, 0) << "handles left open";
  EXPECT_EQ(left.blocks, 0) << "memory blocks not freed";
  FailAllocationAfter(-1);
}

void FdiTest::Place(const std::vector<std::string>& cabinets,
                    const std::vector<std::string>& names) {
  for (std::size_t i = 0; i < cabinets.size(); ++i)
    test_support::WriteFile(cabinet_folder_ / names[i], cabinets[i]);
}

std::pair<std::string, std::string> SplitPath(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {"", path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

Fdi::Fdi() {
  hfdi_ = FDICreate(Alloc, Free, OpenFile, Read, Write, CloseFile, Seek, cpu80386, &erf_);
}

Fdi::~Fdi() {
  if (hfdi_ != nullptr) FDIDestroy(hfdi_);
}

bool Fdi::IsCabinet(const std::string& path, FDICABINETINFO* info) {
  std::string name = path;
  intptr_t handle = OpenFile(name.data(), O_RDONLY, 0);
  if (handle == -1) return false;
  bool result = FDIIsCabinet(hfdi_, handle, info) != 0;
  CloseFile(handle);
  return result;
}

intptr_t Session::OpenOutput(const std::string& name) const {
  std::string path = output_folder_ + "/" + name;
  return OpenFile(path.data(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
}

intptr_t Session::Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION notification) {
  auto* session = static_cast<Session*>(notification->pv);
  session->events_.push_back(Record(type, *notification));
  const Event& event = session->events_.back();
  if (session->answer) {
    if (std::optional<intptr_t> answer = session->answer(event, notification)) return *answer;
  }
  switch (type) {
    case fdintCOPY_FILE:
      return session->OpenOutput(event.psz1);
    case fdintCLOSE_FILE_INFO:
      CloseFile(event.hf);
      return 1;
    case fdintNEXT_CABINET:
      return event.fdie == FDIERROR_NONE ? 0 : -1;
    default:
      return 0;
  }
}

bool Session::Copy(const Fdi& fdi, const std::string& cabinet_name,
                   const std::string& cabinet_folder) {
  std::string name = cabinet_name;
  std::string folder = cabinet_folder;
  return FDICopy(fdi.get(), name.data(), folder.data(), 0, Notify, nullptr, this) != 0;
}

std::vector<Event> Session::EventsOf(FDINOTIFICATIONTYPE type) const {
  std::vector<Event> selected;
  for (const Event& event : events_) {
    if (event.type == type) selected.push_back(event);
  }
  return selected;
}

std::map<std::string, std::string> Session::Written() const {
  std::map<std::string, std::string> files;
  for (const auto& item : std::filesystem::directory_iterator(output_folder_)) {
    files[item.path().filename().string()] = test_support::ReadFile(item.path());
  }
  return files;
}

}  // namespace fdi_test
