#include "files/standard_output.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "files/windows/wide_text.h"

// Standard output is the process's own, so its buffer is too. A console
// window is written its characters (WriteConsoleW), whole lines at a time so
// that no character is cut; anything else is written the bytes unchanged.

namespace files {

namespace {

struct Output {
  HANDLE handle = nullptr;
  bool console = false;
  bool failed = false;
  std::string pending;
};
Output output;

constexpr std::size_t kBufferBytes = 1 << 16;

bool WriteBytes(std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD put = 0;
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
    if (!WriteFile(output.handle, bytes.data(), piece, &put, nullptr) || put == 0) return false;
    bytes.remove_prefix(put);
  }
  return true;
}

bool WriteCharacters(std::string_view bytes) {
  std::wstring_view text;
  const std::wstring wide = Widen(bytes);
  text = wide;
  while (!text.empty()) {
    DWORD put = 0;
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(text.size(), 1u << 14));
    if (!WriteConsoleW(output.handle, text.data(), piece, &put, nullptr) || put == 0) return false;
    text.remove_prefix(put);
  }
  return true;
}

// Writes out the first `count` bytes of what is pending.
bool Push(std::size_t count) {
  if (count == 0) return !output.failed;
  const std::string_view bytes(output.pending.data(), count);
  const bool ok = output.handle != nullptr && output.handle != INVALID_HANDLE_VALUE &&
                  (output.console ? WriteCharacters(bytes) : WriteBytes(bytes));
  output.pending.erase(0, count);
  if (!ok) output.failed = true;
  return ok;
}

}  // namespace

void SetUpStandardOutput() {
  output.handle = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  output.console = output.handle != nullptr && output.handle != INVALID_HANDLE_VALUE &&
                   GetConsoleMode(output.handle, &mode) != 0;
  // Whatever else writes through the C library writes bytes as they are.
  _setmode(_fileno(stdout), _O_BINARY);
  output.pending.reserve(kBufferBytes);
}

bool WriteStandardOutput(std::string_view bytes) {
  if (output.handle == nullptr) SetUpStandardOutput();
  output.pending.append(bytes);
  if (output.pending.size() >= kBufferBytes) {
    // Whole lines only, so that no character is cut in two.
    const std::size_t end = output.pending.rfind('\n');
    Push(end == std::string::npos ? output.pending.size() : end + 1);
  }
  return !output.failed;
}

bool FlushStandardOutput() {
  Push(output.pending.size());
  return !output.failed;
}

void ClearStandardOutputError() { output.failed = false; }

std::optional<std::string> ProcessCommandLine() { return Narrow(GetCommandLineW()); }

}  // namespace files
