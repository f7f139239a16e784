#include "dll_search.h"
#include <windows.h>

void SearchDllsInSystemFolderOnly()
{
    // Windows 7 and Vista without their 2011 update lack it; the folder of the program then
    // stays searched, but the current folder is still taken out below.
    using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    FARPROC found = kernel != nullptr ? GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
    if (found != nullptr) {
        auto setDefault = reinterpret_cast<SetDefaultDirectories>(reinterpret_cast<void (*)()>(found));
        setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    SetDllDirectoryA("");
}
