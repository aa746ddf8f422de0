#include "files/windows/wide_text.h"

#include <windows.h>

#include <vector>

#include "files/handle.h"

namespace files {

std::wstring Widen(std::string_view text) {
  if (text.empty()) return {};
  // Invalid sequences come out as U+FFFD without MB_ERR_INVALID_CHARS.
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string Narrow(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size,
                      nullptr, nullptr);
  return narrow;
}

std::wstring FullWidePath(std::string_view path) {
  std::wstring wide = Widen(path);
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  if (wide.starts_with(L"\\\\?\\")) return wide;
  const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return {};
  std::wstring full(needed, L'\0');
  const DWORD written = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
  if (written == 0 || written >= needed) return {};
  full.resize(written);
  return full;
}

std::wstring LongPath(std::string_view path) {
  // Made full first: a long-path form is taken as it stands, so "." and
  // ".." must be gone from it.
  std::wstring full = FullWidePath(path);
  if (full.empty() || full.starts_with(L"\\\\?\\")) return full;
  if (full.starts_with(L"\\\\.\\")) return full;  // a device: left alone
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

Reason ReasonOfCode(unsigned long code) {
  Reason::Kind kind = Reason::Kind::kOther;
  switch (code) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      kind = Reason::Kind::kExists;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_NOT_ENOUGH_QUOTA:
      kind = Reason::Kind::kNoRoom;
      break;
    case ERROR_CANT_RESOLVE_FILENAME:
      kind = Reason::Kind::kLink;
      break;
    default:
      break;
  }
  return {kind, static_cast<int>(code)};
}

bool CloseHandle(Handle handle) { return ::CloseHandle(reinterpret_cast<HANDLE>(handle)) != 0; }

std::string Describe(Reason reason) {
  wchar_t* text = nullptr;
  const DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  DWORD length = FormatMessageW(flags, nullptr, static_cast<DWORD>(reason.code),
                                MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0)
    length = FormatMessageW(flags, nullptr, static_cast<DWORD>(reason.code), 0,
                            reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0) return "error " + std::to_string(reason.code);
  std::wstring words(text, length);
  LocalFree(text);
  while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' ||
                            words.back() == L' ' || words.back() == L'.'))
    words.pop_back();
  return Narrow(words);
}

}  // namespace files
