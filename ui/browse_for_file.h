#pragma once
// The system's Open and Save dialogs behind the Browse buttons. Each purpose keeps its own
// dialog record, last choice and folder for the whole life of the process.
#include <windows.h>
#include <commdlg.h>
#include <cstdint>
#include <string>

constexpr std::int32_t BROWSE_INPUT = 1;   // the EBCDIC input, Open dialog
constexpr std::int32_t BROWSE_OUTPUT = 3;  // the ASCII output, Save dialog

// The chosen full path, or empty text when the user cancelled or the dialog failed (a
// failure has been reported in a message box).
std::string BrowseForFile(HWND owner, std::int32_t purpose);

// The system calls the dialogs are made of; tests put their own in place.
struct FileDialogSystem {
    BOOL(WINAPI* open)(LPOPENFILENAMEA record);
    BOOL(WINAPI* save)(LPOPENFILENAMEA record);
    DWORD(WINAPI* extendedError)();
};
FileDialogSystem SetFileDialogSystem(const FileDialogSystem& calls);
