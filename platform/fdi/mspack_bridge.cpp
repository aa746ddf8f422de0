#include "fdi/mspack_bridge.h"

#include <fcntl.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>

namespace fdi {

Result FromDecoderError(int mspack_error) {
  switch (mspack_error) {
    case MSPACK_ERR_OK:
      return {};
    case MSPACK_ERR_OPEN:
      return {FDIERROR_CABINET_NOT_FOUND, mspack_error};
    case MSPACK_ERR_SIGNATURE:
      return {FDIERROR_NOT_A_CABINET, mspack_error};
    case MSPACK_ERR_NOMEMORY:
      return {FDIERROR_ALLOC_FAIL, mspack_error};
    case MSPACK_ERR_WRITE:
      return {FDIERROR_TARGET_FILE, mspack_error};
    case MSPACK_ERR_ARGS:
      return {FDIERROR_MDI_FAIL, mspack_error};
    default:  // read, seek, format, checksum and decoding errors
      return {FDIERROR_CORRUPT_CABINET, mspack_error};
  }
}

namespace {

// What libmspack gets back from open(): the handle and whether it is ours to
// close. Allocated with pfnalloc like everything else.
struct BridgeFile {
  mspack_file base;
  MspackBridge* bridge;
  intptr_t handle;
  bool borrowed;  // the caller's output handle: the caller closes it
};

thread_local MspackBridge* active_bridge = nullptr;

BridgeFile* FileOf(mspack_file* file) { return reinterpret_cast<BridgeFile*>(file); }

// Open flags for each libmspack mode, in POSIX terms (see fdi.h).
bool OpenFlags(int mode, int* flags) {
  switch (mode) {
    case MSPACK_SYS_OPEN_READ:
      *flags = O_RDONLY;
      return true;
    case MSPACK_SYS_OPEN_WRITE:
      *flags = O_WRONLY | O_CREAT | O_TRUNC;
      return true;
    case MSPACK_SYS_OPEN_UPDATE:
      *flags = O_RDWR;
      return true;
    case MSPACK_SYS_OPEN_APPEND:
      *flags = O_RDWR | O_APPEND;
      return true;
    default:
      return false;
  }
}

constexpr int kCreateMode = 0666;  // narrowed by the process's umask

mspack_file* Open(mspack_system*, const char* filename, int mode) {
  MspackBridge* bridge = MspackBridge::Active();
  if (bridge == nullptr) return nullptr;
  const Callbacks& callbacks = bridge->callbacks();
  bool output = filename == bridge->OutputName();
  if (output && (mode != MSPACK_SYS_OPEN_WRITE || bridge->output() == -1)) return nullptr;
  intptr_t handle = bridge->output();
  if (!output) {
    int flags = 0;
    if (!OpenFlags(mode, &flags)) return nullptr;
    handle = callbacks.open(const_cast<char*>(filename), flags, kCreateMode);
    if (handle == -1) return nullptr;
  }
  auto* file = static_cast<BridgeFile*>(callbacks.alloc(sizeof(BridgeFile)));
  if (file == nullptr) {
    if (!output) callbacks.close(handle);
    return nullptr;
  }
  file->base.dummy = 0;
  file->bridge = bridge;
  file->handle = handle;
  file->borrowed = output;
  return &file->base;
}

void Close(mspack_file* opened) {
  if (opened == nullptr) return;
  BridgeFile* file = FileOf(opened);
  const Callbacks& callbacks = file->bridge->callbacks();
  if (!file->borrowed) callbacks.close(file->handle);
  callbacks.free(file);
}

int Read(mspack_file* opened, void* buffer, int bytes) {
  if (bytes < 0) return -1;
  if (bytes == 0) return 0;
  BridgeFile* file = FileOf(opened);
  unsigned got = file->bridge->callbacks().read(file->handle, buffer, static_cast<unsigned>(bytes));
  if (got == static_cast<unsigned>(-1) || got > static_cast<unsigned>(bytes)) return -1;
  return static_cast<int>(got);
}

int Write(mspack_file* opened, void* buffer, int bytes) {
  if (bytes < 0) return -1;
  if (bytes == 0) return 0;
  BridgeFile* file = FileOf(opened);
  unsigned put =
      file->bridge->callbacks().write(file->handle, buffer, static_cast<unsigned>(bytes));
  if (put == static_cast<unsigned>(-1) || put > static_cast<unsigned>(bytes)) return -1;
  return static_cast<int>(put);
}

int Seek(mspack_file* opened, off_t offset, int mode) {
  int origin = SEEK_SET;
  if (mode == MSPACK_SYS_SEEK_CUR) {
    origin = SEEK_CUR;
  } else if (mode == MSPACK_SYS_SEEK_END) {
    origin = SEEK_END;
  } else if (mode != MSPACK_SYS_SEEK_START) {
    return -1;
  }
  if (offset < std::numeric_limits<long>::min() || offset > std::numeric_limits<long>::max())
    return -1;
  BridgeFile* file = FileOf(opened);
  return file->bridge->callbacks().seek(file->handle, static_cast<long>(offset), origin) < 0 ? -1
                                                                                             : 0;
}

off_t Tell(mspack_file* opened) {
  BridgeFile* file = FileOf(opened);
  return static_cast<off_t>(file->bridge->callbacks().seek(file->handle, 0, SEEK_CUR));
}

// libmspack's warnings are not shown: a damaged cabinet shows as a failed
// call with its error record filled.
void Message(mspack_file*, const char*, ...) {}

// libmspack frees a block without naming its mspack_system, so each block
// carries the free callback that returns it in a header of its own.
union BlockHeader {
  PFNFREE free;
  std::max_align_t alignment;
};

void* Alloc(mspack_system*, size_t bytes) {
  MspackBridge* bridge = MspackBridge::Active();
  if (bridge == nullptr) return nullptr;
  if (bytes > std::numeric_limits<unsigned long>::max() - sizeof(BlockHeader)) return nullptr;
  const Callbacks& callbacks = bridge->callbacks();
  void* block = callbacks.alloc(static_cast<unsigned long>(sizeof(BlockHeader) + bytes));
  if (block == nullptr) return nullptr;
  auto* header = static_cast<BlockHeader*>(block);
  header->free = callbacks.free;
  return header + 1;
}

void Free(void* memory) {
  if (memory == nullptr) return;
  BlockHeader* header = static_cast<BlockHeader*>(memory) - 1;
  header->free(header);
}

void Copy(void* source, void* target, size_t bytes) { std::memcpy(target, source, bytes); }

}  // namespace

MspackBridge::MspackBridge(Context& context)
    : context_(context),
      system_{Open, Close, Read, Write, Seek, Tell, Message, Alloc, Free, Copy, nullptr},
      previous_(active_bridge) {
  active_bridge = this;
}

MspackBridge::~MspackBridge() { active_bridge = previous_; }

MspackBridge* MspackBridge::Active() { return active_bridge; }

}  // namespace fdi
