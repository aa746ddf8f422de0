#include "fdi/mszip_codec.h"

#include <mspack.h>

#include <cstring>
#include <new>

namespace fdi {

MszipCodec::~MszipCodec() {
  if (inflater_ != nullptr) {
    inflater_->~RawInflater();
    callbacks_.free(inflater_);
  }
  callbacks_.free(window_);
}

bool MszipCodec::Prepare() {
  if (inflater_ != nullptr) return inflater_->available() && window_ != nullptr;
  void* memory = callbacks_.alloc(sizeof(RawInflater));
  if (memory == nullptr) return false;
  inflater_ = new (memory) RawInflater(callbacks_);
  if (!inflater_->available()) return false;
  window_ = static_cast<unsigned char*>(callbacks_.alloc(RawInflater::kDictionaryBytes));
  return window_ != nullptr;
}

void MszipCodec::OutputReused() {
  // The dictionary must outlive the bytes it lies in.
  if (dictionary_ != nullptr && dictionary_ != window_) {
    std::memcpy(window_, dictionary_, RawInflater::kDictionaryBytes);
    dictionary_ = window_;
  }
}

int MszipCodec::DecodeBlock(const unsigned char* in, std::size_t in_bytes, unsigned char* out,
                            std::size_t out_bytes, bool /*last*/) {
  if (in_bytes < 2 || in[0] != 'C' || in[1] != 'K') return MSPACK_ERR_DATAFORMAT;
  if (!inflater_->Inflate(dictionary_, in + 2, in_bytes - 2, out, out_bytes))
    return MSPACK_ERR_DECRUNCH;
  if (out_bytes == RawInflater::kDictionaryBytes) {
    dictionary_ = out;
  } else {
    // A short block overwrites the start of the 32 KiB window only; the
    // rest of the window keeps what was there (nothing at a folder's start).
    if (dictionary_ == nullptr) {
      std::memset(window_, 0, RawInflater::kDictionaryBytes);
    } else if (dictionary_ != window_) {
      std::memcpy(window_ + out_bytes, dictionary_ + out_bytes,
                  RawInflater::kDictionaryBytes - out_bytes);
    }
    std::memcpy(window_, out, out_bytes);
    dictionary_ = window_;
  }
  return MSPACK_ERR_OK;
}

}  // namespace fdi
