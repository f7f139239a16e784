#pragma once
// The program's two dialogs. Both procedures are exported by name with the executable.
#include <windows.h>

extern "C" INT_PTR CALLBACK VELMORDIALOGPROC(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);
extern "C" INT_PTR CALLBACK ABOUTDIALOGPROC(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam);

// Runs the About box modally over owner.
void ShowAboutBox(HWND owner);
