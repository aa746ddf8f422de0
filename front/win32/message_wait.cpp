#include "win32/message_wait.h"

namespace tarvelin {

namespace {

// Messages dispatched at most between two looks at the object.
constexpr int kMessagesPerRound = 256;

}  // namespace

void WaitDispatchingMessages(HANDLE object, DWORD milliseconds, std::optional<int>* quit) {
  const DWORD count = object != nullptr ? 1 : 0;
  MsgWaitForMultipleObjectsEx(count, count != 0 ? &object : nullptr, milliseconds, QS_ALLINPUT,
                              MWMO_INPUTAVAILABLE);
  MSG message{};
  for (int i = 0; i < kMessagesPerRound && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (message.message == WM_QUIT) {
      *quit = static_cast<int>(message.wParam);
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace tarvelin
