#include "window_state.h"

namespace {

bool IsInput(UINT message)
{
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

}  // namespace

void TakePendingMessages()
{
    // A window that never validates itself would keep the queue full; the next call goes on.
    MSG message;
    for (int taken = 0; taken < 64 && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++taken) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (IsInput(message.message)) continue;
        DispatchMessageA(&message);
    }
}
