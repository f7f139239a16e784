// velmor.exe: one copy at a time, then the main dialog for the whole life of the process.
#include "dialogs.h"
#include "dll_search.h"
#include "file_search.h"
#include "messages.h"
#include "text.h"
#include <windows.h>

namespace {

const char MutexName[] = "velmor_mutex_object";

// The file Explorer hands over when one is dropped on the program's icon or sent to it: the
// command tail names it, in quotes when it holds a blank. Anything else is ignored.
std::string FileOfCommandTail(const char* tail)
{
    ErrorCell error;
    std::string name = FullFileName(BareFileName(tail != nullptr ? tail : ""), error);
    return IsOrdinaryFile(name) ? name : std::string();
}

}  // namespace

// 1 when no other copy runs. The mutex is never closed: its name must exist for exactly as
// long as this process does, and the system closes the handle at exit.
int CheckSingleInstance()
{
    HANDLE mutex = CreateMutexA(nullptr, FALSE, MutexName);
    DWORD code = GetLastError();
    if (mutex != nullptr) return code == ERROR_ALREADY_EXISTS ? 0 : 1;
    FixedText<260> text("Mutex Create failed with error code" + NumberToText(code));
    ShowMessage(TrimTrailingBlanks(text.Text()), "Oops!", MB_ICONHAND);
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandTail, int)
{
    SearchDllsInSystemFolderOnly();
    try {
        if (CheckSingleInstance() == 0) {
            ShowMessage("Sorry, second instance of this program not allowed.", "VELMOR Error", MB_ICONHAND);
            return 0;
        }
        ErrorCaption = ProgramErrorCaption;
        std::string startFile = FileOfCommandTail(commandTail);
        LPARAM start = startFile.empty() ? 0 : reinterpret_cast<LPARAM>(startFile.c_str());
        return static_cast<int>(DialogBoxParamA(instance, "VELMOR", nullptr, VELMORDIALOGPROC, start));
    } catch (...) {
        return -1;  // out of memory before the dialog could run
    }
}
