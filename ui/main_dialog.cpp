// The main dialog: its start, the command dispatch, the check box and the file-name fields'
// check when they are left.
#include "browse_for_file.h"
#include "control_ids.h"
#include "dialog_state.h"
#include "dialogs.h"
#include "dropped_files.h"
#include "file_search.h"
#include "job_progress.h"
#include "messages.h"
#include "process_commands.h"
#include "process_request.h"
#include "record_guess.h"
#include "system_error_text.h"
#include "text.h"
#include <new>

namespace {

// startFile, if not null, is the file the program was started with.
void OnInitDialog(HWND hDlg, const char* startFile)
{
    HICON icon = LoadIconA(DialogInstance(hDlg), "PROGRAM");
    DWORD code = GetLastError();
    if (icon == nullptr) {
        ShowMessage(" Error on Load of ICON\r\n" + SystemErrorMessageText(static_cast<std::int32_t>(code)), "", 0);
    } else {
        SendMessageA(hDlg, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
        SendMessageA(hDlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    }
    SetWindowLongPtrA(hDlg, DWLP_USER, reinterpret_cast<LONG_PTR>(new (std::nothrow) DialogState));
    SendDlgItemMessageA(hDlg, ID_LRECL, EM_LIMITTEXT, 6, 0);
    if (startFile != nullptr) SetDlgItemTextA(hDlg, ID_INFILE, startFile);
    DragAcceptFiles(hDlg, TRUE);
}

void EndMainDialog(HWND hDlg)
{
    if (DialogState* state = StateOf(hDlg)) state->closing = true;
    EndDialog(hDlg, 0);
}

bool JobRunning(HWND hDlg)
{
    DialogState* state = StateOf(hDlg);
    return state != nullptr && state->job != nullptr;
}

// A close during a job stops it, and the dialog ends once the job has let go of the output,
// which it leaves as it was.
void OnClose(HWND hDlg)
{
    if (JobRunning(hDlg)) {
        StateOf(hDlg)->closeAfterJob = true;
        StateOf(hDlg)->job->Stop();
        return;
    }
    EndMainDialog(hDlg);
}

// The system ignores a close from the taskbar while the job keeps the dialog disabled; the
// user who asked for it still gets it.
INT_PTR OnSysCommand(HWND hDlg, WPARAM command)
{
    if ((command & 0xFFF0) != SC_CLOSE || !JobRunning(hDlg)) return FALSE;
    OnClose(hDlg);
    return TRUE;
}

void OnProcessPressed(HWND hDlg)
{
    OnProcess(hDlg);
    DialogState* state = StateOf(hDlg);
    if (state != nullptr && state->closeAfterJob) EndMainDialog(hDlg);
}

// Where the user wants records and has given no length, the length that input, which passed
// its check, shows by its own structure, selected so that typing replaces it. Without one
// nothing changes: the guess is never a reason to refuse anything.
void OfferRecordLength(HWND hDlg, const std::string& input)
{
    if (IsDlgButtonChecked(hDlg, ID_FIXED_CRLF) != BST_CHECKED || !FieldText(hDlg, ID_LRECL).empty()) return;
    std::int32_t length = GuessRecordLength(input);
    if (length == 0) return;
    SetDlgItemTextA(hDlg, ID_LRECL, std::to_string(length).c_str());
    SendDlgItemMessageA(hDlg, ID_LRECL, EM_SETSEL, 0, -1);
}

void OnFixedCrlfClicked(HWND hDlg)
{
    UINT checked = IsDlgButtonChecked(hDlg, ID_FIXED_CRLF);
    HWND field = GetDlgItem(hDlg, ID_LRECL);
    EnableWindow(field, checked);
    if (checked != BST_CHECKED) return;
    SetFocus(field);
    std::string input = BareFileName(FieldText(hDlg, ID_INFILE));
    if (InputFileFound(input)) OfferRecordLength(hDlg, input);
}

// A user who leaves a field for Quit, or closes the window, is not stopped by a message
// about the name left behind. The focus has already moved when the field hears of it.
bool LeavingTheDialog(HWND hDlg)
{
    DialogState* state = StateOf(hDlg);
    return (state != nullptr && state->closing) || GetFocus() == GetDlgItem(hDlg, ID_QUIT);
}

// A bare name means a file in the current folder, and the field shows it so. A completion
// that would not fit leaves the name as typed; the input's check then refuses it rather than
// search the current folder for a file the program could never name whole.
void OnFileFieldLeft(HWND hDlg, int id)
{
    if (LeavingTheDialog(hDlg)) return;
    std::string typed = FieldText(hDlg, id);
    std::string name = BareFileName(typed);
    if (name.empty()) return;
    ErrorCell error;
    bool whole = true;
    if (FindText(1, name, "\\") == 0) {
        std::string folder = CurrentDirectory(error);
        std::string completed = folder + "\\" + name;
        whole = !folder.empty() && FileNameFits(completed);
        if (whole) name = completed;
    }
    if (name != typed) SetDlgItemTextA(hDlg, id, name.c_str());
    if (id != ID_INFILE) return;
    if (!whole || !InputFileFound(name)) {
        ShowMessage("Input File Not Found", ErrorCaption.Text(), MB_ICONHAND);
        SetFocus(GetDlgItem(hDlg, ID_INFILE));
        return;
    }
    OfferRecordLength(hDlg, name);
}

// A chosen file becomes the field's text at once; only Process adds it to the history.
void OnBrowse(HWND hDlg, int button)
{
    bool input = button == ID_BROWSE_IN;
    std::string path = BrowseForFile(hDlg, input ? BROWSE_INPUT : BROWSE_OUTPUT);
    if (!path.empty()) SetDlgItemTextA(hDlg, input ? ID_INFILE : ID_OUTFILE, FixedText<260>(path).CStr());
}

// A file dropped on the output field names the output; anywhere else, the input. Like a
// Browse choice it becomes the field's text, and only Process records it. A drop that
// arrives during a job, which the disabled dialog may still be handed, changes nothing.
void OnDropFiles(HWND hDlg, HDROP drop)
{
    DroppedFiles dropped(drop);
    if (JobRunning(hDlg)) return;
    std::string name = dropped.FirstOrdinaryFile();
    if (name.empty()) return;
    HWND target = ChildWindowFromPointEx(hDlg, dropped.Point(), CWP_SKIPINVISIBLE);
    SetDlgItemTextA(hDlg, target == GetDlgItem(hDlg, ID_OUTFILE) ? ID_OUTFILE : ID_INFILE, name.c_str());
}

INT_PTR OnCommand(HWND hDlg, int id, int notification)
{
    // The job disables the dialog, so only a program could send a command now; the fields
    // still hear that they lost the focus, as they always have.
    if (JobRunning(hDlg) && id != ID_INFILE && id != ID_OUTFILE) return TRUE;
    switch (id) {
    case ID_QUIT: EndMainDialog(hDlg); return FALSE;
    case ID_ABOUT: ShowAboutBox(hDlg); return TRUE;
    case ID_BROWSE_IN:
    case ID_BROWSE_OUT:
        if (notification == BN_CLICKED) OnBrowse(hDlg, id);
        return TRUE;
    case ID_INFILE:
    case ID_OUTFILE:
        if (notification == CBN_KILLFOCUS) OnFileFieldLeft(hDlg, id);
        return TRUE;
    case ID_PROCESS: OnProcessPressed(hDlg); return TRUE;
    case ID_VIEW: OnView(hDlg); return TRUE;
    case ID_FIXED_CRLF:
        if (notification != BN_CLICKED) return FALSE;
        OnFixedCrlfClicked(hDlg);
        return TRUE;
    default: return FALSE;  // Esc (IDCANCEL) and Enter (IDOK) among them: neither closes
    }
}

}  // namespace

INT_PTR CALLBACK VELMORDIALOGPROC(HWND hDlg, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Nothing may unwind into the system's dialog manager; a command that runs out of memory
    // simply ends.
    try {
        switch (message) {
        case WM_INITDIALOG: OnInitDialog(hDlg, reinterpret_cast<const char*>(lParam)); return TRUE;
        case WM_CLOSE: OnClose(hDlg); return FALSE;
        case WM_SYSCOMMAND: return OnSysCommand(hDlg, wParam);
        case WM_COMMAND: return OnCommand(hDlg, LOWORD(wParam), HIWORD(wParam));
        case WM_DROPFILES: OnDropFiles(hDlg, reinterpret_cast<HDROP>(wParam)); return TRUE;
        case WM_NCDESTROY:
            delete StateOf(hDlg);
            SetWindowLongPtrA(hDlg, DWLP_USER, 0);
            return FALSE;
        default: return FALSE;
        }
    } catch (...) {
        return FALSE;
    }
}
