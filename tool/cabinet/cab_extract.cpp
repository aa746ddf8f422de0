#include "cabinet/cab_extract.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>

#include "cabinet/safe_names.h"
#include "console/console.h"
#include "fdi/fdi.h"
#include "files/files.h"

FileKeyIndex IndexFileKeys(const CatalogueStore& catalogue) {
  FileKeyIndex index;
  const TextColumn& keys = catalogue[kFileKey];
  for (std::size_t entry = 0; entry < keys.Count(); ++entry) index.emplace(keys.At(entry), entry);
  return index;
}

namespace {

// The memory and file callbacks: the program's heap and POSIX descriptors.
void* CabAlloc(unsigned long size) { return std::malloc(size); }
void CabFree(void* block) { std::free(block); }

intptr_t CabOpen(char* name, int flags, int /*mode*/) {
  return open(name, flags | O_CLOEXEC, 0666);
}

unsigned CabRead(intptr_t handle, void* buffer, unsigned count) {
  std::size_t done = 0;
  while (done < count) {
    ssize_t got = read(static_cast<int>(handle), static_cast<char*>(buffer) + done, count - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return static_cast<unsigned>(-1);
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<unsigned>(done);
}

unsigned CabWrite(intptr_t handle, void* buffer, unsigned count) {
  std::size_t done = 0;
  while (done < count) {
    ssize_t put =
        write(static_cast<int>(handle), static_cast<const char*>(buffer) + done, count - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return static_cast<unsigned>(-1);
    done += static_cast<std::size_t>(put);
  }
  return static_cast<unsigned>(done);
}

int CabClose(intptr_t handle) { return close(static_cast<int>(handle)); }

long CabSeek(intptr_t handle, long distance, int origin) {
  return static_cast<long>(lseek(static_cast<int>(handle), distance, origin));
}

// The state of the one cabinet being decoded, handed to the notifications.
struct CabinetRun {
  const CabinetJob* job = nullptr;
  std::string open_output_path;  // the entry being written, until it is closed
  std::exception_ptr failure;    // raised inside a notification, rethrown after
};

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
  return timegm(&parts);
}

intptr_t CopyFile(CabinetRun& run, const FDINOTIFICATION& note) {
  const CabinetJob& job = *run.job;
  const std::string name = note.psz1 ? note.psz1 : "";
  auto found = job.file_keys->find(name);
  if (found == job.file_keys->end()) return 0;
  const std::size_t entry = found->second;
  const std::string& selected_name = (*job.catalogue)[kSelectedName].At(entry);
  if (selected_name.empty()) return 0;
  // Unsafe names were reported when the run began; they are not written.
  if (!IsSafeFileName(name) ||
      !IsSafeTargetPath((*job.catalogue)[kSelectedPath].At(entry), selected_name)) {
    return 0;
  }
  if (job.verbose) ConsoleLine(name + " extracting");
  if (!files::FolderExists(job.output_folder)) files::CreateFolder(job.output_folder);
  const std::string path = job.output_folder + name;
  int fd = files::CreateFileForWriting(path);
  if (fd < 0) return -1;
  run.open_output_path = path;
  return fd;
}

intptr_t CloseFile(CabinetRun& run, const FDINOTIFICATION& note) {
  if (std::optional<time_t> written = DosTimeAsUtc(note.date, note.time)) {
    const timespec times[2] = {{0, UTIME_OMIT}, {*written, 0}};
    futimens(static_cast<int>(note.hf), times);
  }
  close(static_cast<int>(note.hf));
  run.open_output_path.clear();
  return 1;
}

intptr_t NextCabinet(CabinetRun& run, FDINOTIFICATION& note) {
  // A repeated request means the cabinet could not be opened where we said.
  if (note.fdie != FDIERROR_NONE || note.psz1 == nullptr || note.psz3 == nullptr) return -1;
  const std::string name = note.psz1;
  if (files::FileExists(std::string(note.psz3) + name)) return 0;
  if (!run.job->find_next_cabinet) return -1;
  std::optional<std::string> folder = run.job->find_next_cabinet(name);
  if (!folder || folder->size() + 1 > CB_MAX_CAB_PATH) return -1;
  std::memcpy(note.psz3, folder->c_str(), folder->size() + 1);
  return 0;
}

intptr_t CabNotify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION note) {
  auto& run = *static_cast<CabinetRun*>(note->pv);
  try {
    switch (type) {
      case fdintCOPY_FILE:
        return CopyFile(run, *note);
      case fdintCLOSE_FILE_INFO:
        return CloseFile(run, *note);
      case fdintNEXT_CABINET:
        return NextCabinet(run, *note);
      default:
        return 0;
    }
  } catch (...) {
    // Nothing may unwind through the decoder; the failure is raised again
    // once the copy has stopped.
    run.failure = std::current_exception();
    return -1;
  }
}

bool IsCabinetFile(HFDI context, const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  FDICABINETINFO info{};
  const bool is_cabinet = FDIIsCabinet(context, fd, &info) != 0;
  close(fd);
  return is_cabinet;
}

}  // namespace

int CabExtract(const CabinetJob& job) {
  {
    int probe = open(job.cabinet_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (probe < 0) return -1;
    close(probe);
  }
  ERF error{};
  HFDI context =
      FDICreate(CabAlloc, CabFree, CabOpen, CabRead, CabWrite, CabClose, CabSeek, cpu80386, &error);
  if (context == nullptr) return -1;

  int result = -1;
  CabinetRun run;
  run.job = &job;
  if (IsCabinetFile(context, job.cabinet_path)) {
    const std::string full_path = files::FullPathName(job.cabinet_path);
    std::string folder = files::FolderPart(full_path);
    std::string name = full_path.substr(folder.size());
    if (FDICopy(context, name.data(), folder.data(), 0, CabNotify, nullptr, &run) != 0) {
      result = 0;
    } else if (!run.open_output_path.empty()) {
      // The entry that failed half way is not left truncated.
      unlink(run.open_output_path.c_str());
    }
  }
  if (FDIDestroy(context) == 0) result = -1;
  if (run.failure) std::rethrow_exception(run.failure);
  return result;
}
