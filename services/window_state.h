#pragma once
#include <windows.h>

// Keeps a window disabled for the guard's lifetime; a null window is allowed.
class WindowDisabled {
public:
    explicit WindowDisabled(HWND window) : window_(window)
    {
        if (window_ != nullptr) EnableWindow(window_, FALSE);
    }
    ~WindowDisabled()
    {
        if (window_ != nullptr) EnableWindow(window_, TRUE);
    }
    WindowDisabled(const WindowDisabled&) = delete;
    WindowDisabled& operator=(const WindowDisabled&) = delete;

private:
    HWND window_;
};

// Handles what waits in this thread's queue, so that a thread busy with a long job still
// paints and answers the system. Keyboard and mouse input goes to takesInput, a dialog, and
// its controls, with the dialog's keys (Tab, Esc, Enter); other input is dropped, but for
// Alt+F4, with which the user closes a window. A quit request is put back for the loop that
// owns it.
void TakePendingMessages(HWND takesInput = nullptr);
