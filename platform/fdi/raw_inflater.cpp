#include "fdi/raw_inflater.h"

#include <isa-l/igzip_lib.h>

#ifndef PANDREL_ISAL_LINKED
#include <dlfcn.h>
#endif

#include <new>

namespace fdi {
namespace {

#ifndef PANDREL_ISAL_LINKED
// The shared library's name with its ABI version.
constexpr const char* kLibraryName = "libisal.so.2";

template <class Function>
bool Find(void* library, const char* name, Function* function) {
  void* address = dlsym(library, name);
  *function = reinterpret_cast<Function>(address);
  return address != nullptr;
}
#endif

}  // namespace

RawInflater::RawInflater(const Callbacks& callbacks) : callbacks_(callbacks) {
#ifdef PANDREL_ISAL_LINKED
  functions_ = {isal_inflate_init, isal_inflate_set_dict, isal_inflate};
#else
  library_ = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
  if (library_ == nullptr) return;
  if (!Find(library_, "isal_inflate_init", &functions_.init) ||
      !Find(library_, "isal_inflate_set_dict", &functions_.set_dict) ||
      !Find(library_, "isal_inflate", &functions_.inflate))
    return;
#endif
  void* memory = callbacks_.alloc(sizeof(inflate_state));
  if (memory == nullptr) return;
  state_ = new (memory) inflate_state;
}

RawInflater::~RawInflater() {
  if (state_ != nullptr) callbacks_.free(state_);
#ifndef PANDREL_ISAL_LINKED
  if (library_ != nullptr) dlclose(library_);
#endif
}

bool RawInflater::Inflate(const unsigned char* dictionary, const unsigned char* in,
                          std::size_t in_bytes, unsigned char* out, std::size_t expected) {
  if (state_ == nullptr || in_bytes > UINT32_MAX || expected >= UINT32_MAX) return false;
  functions_.init(state_);
  state_->crc_flag = ISAL_DEFLATE;
  if (dictionary != nullptr &&
      functions_.set_dict(state_, const_cast<unsigned char*>(dictionary),
                          static_cast<std::uint32_t>(kDictionaryBytes)) != COMP_OK)
    return false;
  state_->next_in = const_cast<unsigned char*>(in);
  state_->avail_in = static_cast<std::uint32_t>(in_bytes);
  state_->next_out = out;
  state_->avail_out = static_cast<std::uint32_t>(expected + 1);
  if (functions_.inflate(state_) != ISAL_DECOMP_OK) return false;
  return state_->block_state == ISAL_BLOCK_FINISH && state_->total_out == expected;
}

}  // namespace fdi
