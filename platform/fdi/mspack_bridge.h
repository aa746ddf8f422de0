// An mspack_system whose file and memory work all goes through the caller's
// FDI callbacks, so that libmspack reads cabinets with pfnopen/pfnread/
// pfnseek, writes decoded entries with pfnwrite and allocates with pfnalloc.
//
// libmspack hands its decoders a copy of the mspack_system it is given (with
// read and write of its own), so a method cannot find the bridge by
// extending that structure: the copy's alloc would read past it. Instead
// the bridge names itself as the one at work on its thread for as long as
// it lives (it lives for one FDICopy call), and the methods look it up
// there; a bridge made while another is at work (a copy started from inside
// a callback) hands back to that one when it goes. Files that libmspack
// opens carry their bridge, and memory blocks carry the free callback that
// returns them, since libmspack's free() names no mspack_system.
#pragma once

#include <mspack.h>

#include <cstdint>

#include "fdi/fdi_context.h"

namespace fdi {

// The FDI error that a libmspack error code stands for, with that code;
// success for MSPACK_ERR_OK.
Result FromDecoderError(int mspack_error);

class MspackBridge {
 public:
  explicit MspackBridge(Context& context);
  ~MspackBridge();
  MspackBridge(const MspackBridge&) = delete;
  MspackBridge& operator=(const MspackBridge&) = delete;

  mspack_system* system() { return &system_; }
  const Callbacks& callbacks() const { return context_.callbacks; }

  // The name under which libmspack is told to write an entry. Opening it
  // does not open anything: it hands libmspack the caller's output handle
  // set with SetOutput, and closing it leaves that handle open for the
  // fdintCLOSE_FILE_INFO notification. The name is recognised by its
  // address, so no real file name can be mistaken for it.
  const char* OutputName() const { return output_name_; }
  void SetOutput(intptr_t handle) { output_handle_ = handle; }
  intptr_t output() const { return output_handle_; }

  // The bridge at work on the calling thread, or null.
  static MspackBridge* Active();

 private:
  Context& context_;
  mspack_system system_;
  MspackBridge* previous_;  // the bridge at work before this one
  intptr_t output_handle_ = -1;
  char output_name_[1] = {};
};

}  // namespace fdi
