// An mspack_system whose file and memory work all goes through the caller's
// FDI callbacks, so that libmspack reads cabinets with pfnopen/pfnread/
// pfnseek, writes decoded entries with pfnwrite and allocates with pfnalloc.
#pragma once

#include <mspack.h>

#include <cstdint>

#include "fdi/fdi_context.h"

namespace fdi {

class MspackBridge {
 public:
  explicit MspackBridge(Context& context);
  MspackBridge(const MspackBridge&) = delete;
  MspackBridge& operator=(const MspackBridge&) = delete;

  mspack_system* system() { return &extended_.system; }
  const Callbacks& callbacks() const { return context_.callbacks; }

  // The name under which libmspack is told to write an entry. Opening it
  // does not open anything: it hands libmspack the caller's output handle
  // set with SetOutput, and closing it leaves that handle open for the
  // fdintCLOSE_FILE_INFO notification. The name is recognised by its
  // address, so no real file name can be mistaken for it.
  const char* OutputName() const { return output_name_; }
  void SetOutput(intptr_t handle) { output_handle_ = handle; }
  intptr_t output() const { return output_handle_; }

  // libmspack hands each method the mspack_system it was given; the bridge
  // that owns it is found from there.
  struct Extended {
    mspack_system system;
    MspackBridge* bridge;
  };

 private:
  Context& context_;
  Extended extended_;
  intptr_t output_handle_ = -1;
  char output_name_[1] = {};
};

}  // namespace fdi
