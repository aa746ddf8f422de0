// Owners of the window system's handles that the form and its boxes hold:
// each gives its handle back when it goes.
#pragma once

#include <windows.h>

#include <utility>

namespace tarvelin {

// A font made with CreateFontW.
class UniqueFont {
 public:
  UniqueFont() = default;
  explicit UniqueFont(HFONT font) : font_(font) {}
  UniqueFont(UniqueFont&& other) noexcept : font_(std::exchange(other.font_, nullptr)) {}
  UniqueFont& operator=(UniqueFont&& other) noexcept {
    if (this != &other) {
      Reset();
      font_ = std::exchange(other.font_, nullptr);
    }
    return *this;
  }
  UniqueFont(const UniqueFont&) = delete;
  UniqueFont& operator=(const UniqueFont&) = delete;
  ~UniqueFont() { Reset(); }

  HFONT get() const { return font_; }

 private:
  void Reset() {
    if (font_ != nullptr) DeleteObject(font_);
    font_ = nullptr;
  }
  HFONT font_ = nullptr;
};

// A window's device context, from GetDC.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  ~WindowDc() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }

  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// A GDI object selected into a device context for as long as this lives.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;
  ~Selection() {
    if (old_ != nullptr && old_ != HGDI_ERROR) SelectObject(dc_, old_);
  }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// Memory from LocalAlloc (what CommandLineToArgvW hands back).
template <typename T>
class LocalMemory {
 public:
  explicit LocalMemory(T* memory) : memory_(memory) {}
  LocalMemory(const LocalMemory&) = delete;
  LocalMemory& operator=(const LocalMemory&) = delete;
  ~LocalMemory() {
    if (memory_ != nullptr) LocalFree(memory_);
  }

  T* get() const { return memory_; }

 private:
  T* memory_;
};

}  // namespace tarvelin
