#include "win32/tool_resource.h"

#include <windows.h>

#include "win32/resource_ids.h"

namespace tarvelin {

std::string_view LoadEmbeddedTool() {
  HRSRC found = FindResourceExW(nullptr, L"CUSTOM", MAKEINTRESOURCEW(TARVELIN_TOOL),
                                MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED));
  if (found == nullptr) return {};
  HGLOBAL loaded = LoadResource(nullptr, found);
  if (loaded == nullptr) return {};
  const void* image = LockResource(loaded);
  const DWORD size = SizeofResource(nullptr, found);
  if (image == nullptr || size == 0) return {};
  return std::string_view(static_cast<const char*>(image), size);
}

}  // namespace tarvelin
