#include "fdi/callback_reader.h"

#include <cstdio>
#include <cstring>

namespace fdi {

bool CallbackReader::Fill() {
  begin_ = 0;
  end_ = 0;
  unsigned got = callbacks_.read(handle_, buffer_, static_cast<unsigned>(sizeof buffer_));
  if (got == static_cast<unsigned>(-1) || got == 0 || got > sizeof buffer_) return false;
  end_ = got;
  return true;
}

bool CallbackReader::Read(void* out, std::size_t count) {
  auto* target = static_cast<unsigned char*>(out);
  while (count > 0) {
    if (begin_ == end_ && !Fill()) return false;
    std::size_t take = end_ - begin_ < count ? end_ - begin_ : count;
    std::memcpy(target, buffer_ + begin_, take);
    begin_ += take;
    target += take;
    count -= take;
  }
  return true;
}

bool CallbackReader::ReadString(char* out, std::size_t capacity) {
  for (std::size_t i = 0; i < capacity; ++i) {
    if (begin_ == end_ && !Fill()) return false;
    out[i] = static_cast<char>(buffer_[begin_++]);
    if (out[i] == '\0') return true;
  }
  return false;
}

bool CallbackReader::Skip(std::size_t count) {
  while (count > 0) {
    if (begin_ == end_ && !Fill()) return false;
    std::size_t take = end_ - begin_ < count ? end_ - begin_ : count;
    begin_ += take;
    count -= take;
  }
  return true;
}

bool CallbackReader::SeekTo(std::uint32_t offset) {
  begin_ = 0;
  end_ = 0;
  return callbacks_.seek(handle_, static_cast<long>(offset), SEEK_SET) == static_cast<long>(offset);
}

}  // namespace fdi
