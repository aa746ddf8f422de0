#include "cabinet/cab_extract.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>

#include "console/console.h"
#include "fdi/error_text.h"
#include "fdi/fdi.h"
#include "files/files.h"

namespace {

// The state of the one cabinet being decoded: the callbacks have no
// argument of their own to find it by, and the unit is not re-entrant.
struct CabinetRun {
  const CabinetJob* job = nullptr;
  std::exception_ptr failure;  // raised inside a callback, rethrown after
};
CabinetRun* current_run = nullptr;

bool IsPackageStream(std::string_view path) { return path.starts_with(kPackageStreams); }

// The memory and file callbacks: the program's heap, and the files of
// callback_files.h behind every handle.
void* CabAlloc(unsigned long size) { return std::malloc(size); }
void CabFree(void* block) { std::free(block); }

intptr_t CabOpen(char* name, int flags, int /*mode*/) {
  // The cabinet interface opens cabinets only, for reading.
  if (name == nullptr || !files::IsReadOnly(flags) || current_run == nullptr) return -1;
  try {
    std::unique_ptr<CallbackFile> file;
    std::string_view path(name);
    if (IsPackageStream(path)) {
      file = current_run->job->open_stream(std::string(path.substr(kPackageStreams.size())));
    } else {
      file = CabinetOnDisk::Open(name);
    }
    return file ? file.release()->handle() : -1;
  } catch (...) {
    if (!current_run->failure) current_run->failure = std::current_exception();
    return -1;
  }
}

unsigned CabRead(intptr_t handle, void* buffer, unsigned count) {
  return CallbackFile::FromHandle(handle)->Read(buffer, count);
}

unsigned CabWrite(intptr_t handle, void* buffer, unsigned count) {
  return CallbackFile::FromHandle(handle)->Write(buffer, count);
}

int CabClose(intptr_t handle) {
  std::unique_ptr<CallbackFile> file(CallbackFile::FromHandle(handle));
  return file->Close();
}

long CabSeek(intptr_t handle, long distance, int origin) {
  return CallbackFile::FromHandle(handle)->Seek(distance, origin);
}

// An MS-DOS date and time, read as UTC; nothing for an invalid value.
std::optional<time_t> DosTimeAsUtc(unsigned short date, unsigned short time) {
  std::tm parts{};
  parts.tm_year = 80 + (date >> 9);
  parts.tm_mon = ((date >> 5) & 15) - 1;
  parts.tm_mday = date & 31;
  parts.tm_hour = time >> 11;
  parts.tm_min = (time >> 5) & 63;
  parts.tm_sec = (time & 31) * 2;
  if (parts.tm_mon < 0 || parts.tm_mon > 11 || parts.tm_mday == 0 || parts.tm_hour > 23 ||
      parts.tm_min > 59 || parts.tm_sec > 59) {
    return std::nullopt;
  }
  return files::UtcSeconds(parts);
}

intptr_t CopyFile(const CabinetJob& job, const FDINOTIFICATION& note) {
  const std::string_view name = note.psz1 ? note.psz1 : "";
  const std::optional<std::size_t> found = job.files->FindKey(name);
  if (!found) return 0;
  const std::size_t entry = *found;
  // Entries not selected are skipped; unsafe ones were reported when the
  // run began and never reach the disk.
  if (!job.output->IsWritable(entry)) return 0;
  if (job.verbose) ConsoleLine(std::string(name) + " extracting");
  std::unique_ptr<EntryOutput> output = job.output->Open(entry);
  if (!output) return -1;
  return output.release()->handle();
}

intptr_t CloseFile(const CabinetJob& job, const FDINOTIFICATION& note) {
  std::unique_ptr<EntryOutput> output(static_cast<EntryOutput*>(CallbackFile::FromHandle(note.hf)));
  return job.output->Finish(std::move(output), DosTimeAsUtc(note.date, note.time)) ? 1 : 0;
}

intptr_t NextCabinet(const CabinetJob& job, FDINOTIFICATION& note) {
  // A repeated request means the cabinet could not be opened where we said.
  if (note.fdie != FDIERROR_NONE || note.psz1 == nullptr || note.psz3 == nullptr) return -1;
  const std::string name = note.psz1;
  // A cabinet on disk is followed by the one beside it, when it is there.
  if (!IsPackageStream(note.psz3) && files::FileExists(std::string(note.psz3) + name)) return 0;
  if (!job.find_next_cabinet) return -1;
  std::optional<std::string> folder = job.find_next_cabinet(name);
  if (!folder || folder->size() + 1 > CB_MAX_CAB_PATH) return -1;
  std::memcpy(note.psz3, folder->c_str(), folder->size() + 1);
  return 0;
}

intptr_t CabNotify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION note) {
  auto& run = *static_cast<CabinetRun*>(note->pv);
  try {
    switch (type) {
      case fdintCOPY_FILE:
        return CopyFile(*run.job, *note);
      case fdintCLOSE_FILE_INFO:
        return CloseFile(*run.job, *note);
      case fdintNEXT_CABINET:
        return NextCabinet(*run.job, *note);
      default:
        return 0;
    }
  } catch (...) {
    // Nothing may unwind through the decoder; the failure is raised again
    // once the copy has stopped.
    if (!run.failure) run.failure = std::current_exception();
    return -1;
  }
}

// Sets and clears the unit's state around one cabinet.
class RunScope {
 public:
  explicit RunScope(CabinetRun& run) { current_run = &run; }
  ~RunScope() { current_run = nullptr; }
  RunScope(const RunScope&) = delete;
  RunScope& operator=(const RunScope&) = delete;
};

// The folder and the name that the cabinet interface is handed.
std::pair<std::string, std::string> SplitCabinetPath(const std::string& path) {
  if (IsPackageStream(path)) {
    return {std::string(kPackageStreams), path.substr(kPackageStreams.size())};
  }
  const std::string full_path = files::FullPathName(path);
  std::string folder = files::FolderPart(full_path);
  return {folder, full_path.substr(folder.size())};
}

}  // namespace

int CabExtract(const CabinetJob& job) {
  CabinetRun run;
  run.job = &job;
  RunScope scope(run);

  intptr_t probe = CabOpen(const_cast<char*>(job.cabinet_path.c_str()), files::ReadOnlyFlags(), 0);
  if (probe == -1) {
    if (run.failure) std::rethrow_exception(run.failure);
    return -1;
  }
  ERF error{};
  HFDI context =
      FDICreate(CabAlloc, CabFree, CabOpen, CabRead, CabWrite, CabClose, CabSeek, cpu80386, &error);
  if (context == nullptr) {
    CabClose(probe);
    return -1;
  }
  FDICABINETINFO info{};
  const bool is_cabinet = FDIIsCabinet(context, probe, &info) != 0;
  CabClose(probe);

  int result = -1;
  if (is_cabinet) {
    auto [folder, name] = SplitCabinetPath(job.cabinet_path);
    if (FDICopy(context, name.data(), folder.data(), 0, CabNotify, nullptr, &run) != 0) result = 0;
  }
  if (result != 0 && job.failure_reason != nullptr) {
    *job.failure_reason = !is_cabinet ? std::string(fdi::ErrorText(FDIERROR_NOT_A_CABINET))
                                      : std::string(fdi::ErrorText(error.erfOper));
    if (is_cabinet && error.erfType != 0)
      *job.failure_reason += std::string(": ") + fdi::DecoderErrorText(error.erfType);
  }
  if (FDIDestroy(context) == 0) result = -1;
  if (run.failure) std::rethrow_exception(run.failure);
  return result;
}
