#include "window_state.h"

namespace {

bool IsInput(UINT message)
{
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
           (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

bool IsAltF4(const MSG& message)
{
    return message.message == WM_SYSKEYDOWN && message.wParam == VK_F4 && (HIWORD(message.lParam) & KF_ALTDOWN);
}

}  // namespace

void TakePendingMessages(HWND takesInput)
{
    // A window that never validates itself would keep the queue full; the next call goes on.
    MSG message;
    for (int taken = 0; taken < 64 && PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++taken) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        bool forTakesInput = takesInput != nullptr && (message.hwnd == takesInput || IsChild(takesInput, message.hwnd));
        if (forTakesInput && IsDialogMessageA(takesInput, &message)) continue;
        if (!forTakesInput && IsInput(message.message) && !IsAltF4(message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
