// Waiting for a child while the thread's windows stay drawn.
#pragma once

#include <windows.h>

#include <optional>

namespace tarvelin {

// Waits at most `milliseconds` for `object` (a process handle; null to wait
// for messages only) or for the thread's next message, then dispatches the
// messages that came. A WM_QUIT among them is kept in `quit` (its exit code)
// rather than dispatched, for the caller to post again when it is done.
void WaitDispatchingMessages(HANDLE object, DWORD milliseconds, std::optional<int>* quit);

}  // namespace tarvelin
