// The paths of a drop from Explorer (WM_DROPFILES).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tarvelin {

// Every path of `drop`, in order; the drop is given back to the system
// (DragFinish) before this returns.
std::vector<std::wstring> TakeDroppedFiles(HDROP drop);

}  // namespace tarvelin
