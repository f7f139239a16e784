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
