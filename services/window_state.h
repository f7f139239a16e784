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
// paints and answers the system. Keyboard and mouse input is dropped: during a job the user
// has nothing to say to the program. A quit request is put back for the loop that owns it.
void TakePendingMessages();
