#pragma once
// What the main dialog's handlers share: the state that lives as long as the dialog, and the
// reading of its fields.
#include <windows.h>
#include <deque>
#include <string>

// The names Process used, newest first, kept in step with a combo box's drop-down list.
class History {
public:
    static constexpr std::size_t Capacity = 10;
    // Puts name on top unless it is already the newest entry (compared byte for byte).
    void Record(HWND combo, const std::string& name);
    const std::deque<std::string>& Names() const { return names_; }

private:
    std::deque<std::string> names_;
};

class DialogJobProgress;

struct DialogState {
    History input;
    History output;
    bool closing = false;  // the dialog is ending: leaving a field checks nothing any more
    DialogJobProgress* job = nullptr;  // while Process converts: the dialog takes no command
    bool closeAfterJob = false;        // the user closed the dialog during the job, which stops
};

// The state hung off the dialog window at its start; null if it could not be made.
inline DialogState* StateOf(HWND hDlg)
{
    return reinterpret_cast<DialogState*>(GetWindowLongPtrA(hDlg, DWLP_USER));
}

// A field's whole text, however long: a file name is judged whole, never cut to a buffer.
std::string FieldText(HWND hDlg, int id);

// The module whose resources the dialog was made from.
HINSTANCE DialogInstance(HWND hDlg);
