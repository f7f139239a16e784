#include "dialog_state.h"
#include "dialogs.h"

INT_PTR CALLBACK ABOUTDIALOGPROC(HWND hDlg, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: return TRUE;  // the focus goes to OK, the only tab stop
    case WM_COMMAND:
        if (LOWORD(wParam) != IDOK) return FALSE;  // Esc leaves the box open
        EndDialog(hDlg, 0);
        return TRUE;
    default: return FALSE;
    }
}

void ShowAboutBox(HWND owner)
{
    DialogBoxParamA(DialogInstance(owner), "ABOUT", owner, ABOUTDIALOGPROC, 0);
}
