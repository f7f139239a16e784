#include "browse_for_file.h"
#include "file_search.h"
#include "messages.h"
#include "text.h"
#include <cstddef>
#include <cstring>
#include <utility>

namespace {

// The record as systems before Windows 2000 knew it: 76 bytes in a 32-bit program.
constexpr DWORD RecordSize = offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR);
#ifndef _WIN64
static_assert(RecordSize == 76, "the 32-bit program passes the 76-byte dialog record");
#endif

struct BrowseSlot {
    OPENFILENAMEA dialog;
    std::int32_t started;
    FixedText<48> title;
    FixedText<260> startDirectory;
    char fileName[260];
    char filter[64];
};

// Indexed by the purpose code; zero-filled and made ready together at the first call.
std::int32_t SlotsCreated = 0;
BrowseSlot Slots[BROWSE_OUTPUT + 1];

FileDialogSystem System = {GetOpenFileNameA, GetSaveFileNameA, CommDlgExtendedError};

const char Filter[] = "All Files\0*.*\0";  // the literal's own NUL closes the list

void StartSlot(BrowseSlot& slot, HWND owner, std::int32_t purpose)
{
    slot.started = 1;
    OPENFILENAMEA& record = slot.dialog;
    record.lStructSize = RecordSize;
    record.hwndOwner = owner;
    record.hInstance = nullptr;
    record.lpstrCustomFilter = nullptr;
    record.nMaxCustFilter = 0;
    record.nFilterIndex = 1;
    record.lCustData = 0;
    record.lpfnHook = nullptr;
    record.lpTemplateName = nullptr;
    record.lpstrDefExt = nullptr;
    record.nFileOffset = 0;
    record.nFileExtension = 0;
    ErrorCell error;
    slot.startDirectory = CurrentDirectory(error);
    bool input = purpose == BROWSE_INPUT;
    slot.title = input ? "Select EBCDIC File" : "Select ASCII Output File Name";
    std::memcpy(slot.filter, Filter, sizeof Filter);
    record.lpstrTitle = slot.title.CStr();
    record.lpstrFilter = slot.filter;
    record.Flags = input ? OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_LONGNAMES
                         : OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_LONGNAMES;
}

}  // namespace

std::string BrowseForFile(HWND owner, std::int32_t purpose)
{
    if (purpose != BROWSE_INPUT && purpose != BROWSE_OUTPUT) return std::string();
    if (SlotsCreated == 0) {
        SlotsCreated = 1;
        std::memset(static_cast<void*>(Slots), 0, sizeof Slots);
    }
    BrowseSlot& slot = Slots[purpose];
    OPENFILENAMEA& record = slot.dialog;
    if (slot.started == 0) StartSlot(slot, owner, purpose);
    else record.lpstrInitialDir = slot.startDirectory.CStr();
    record.lpstrFile = slot.fileName;
    record.nMaxFile = sizeof slot.fileName;
    record.hwndOwner = owner;

    BOOL chosen = purpose == BROWSE_INPUT ? System.open(&record) : System.save(&record);
    if (chosen) {
        std::string path(slot.fileName, strnlen(slot.fileName, sizeof slot.fileName));
        slot.startDirectory = Substring(path, 1, FindText(-1, path, "\\"));
        return path;
    }
    DWORD code = System.extendedError();
    if (code != 0)
        ShowMessage("Getopen/SaveFileName failed on error#" + NumberToText(code, 7), ErrorCaption.Text(),
                    MB_ICONINFORMATION);
    return std::string();
}

FileDialogSystem SetFileDialogSystem(const FileDialogSystem& calls)
{
    return std::exchange(System, calls);
}
