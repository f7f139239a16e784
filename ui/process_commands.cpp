#include "process_commands.h"
#include "control_ids.h"
#include "convert_file.h"
#include "dialog_state.h"
#include "file_search.h"
#include "job_progress.h"
#include "messages.h"
#include "process_request.h"
#include "text.h"
#include <limits>

namespace {

int FieldOf(EntryField field)
{
    switch (field) {
    case EntryField::Input: return ID_INFILE;
    case EntryField::Output: return ID_OUTFILE;
    default: return ID_LRECL;
    }
}

// Marks the dialog busy for the guard's lifetime: it stays alive during the job, but takes
// no command until the job has ended; a close of the dialog meanwhile stops the job.
class JobRunning {
public:
    JobRunning(DialogState* state, DialogJobProgress* job) : state_(state)
    {
        if (state_ != nullptr) state_->job = job;
    }
    ~JobRunning()
    {
        if (state_ != nullptr) state_->job = nullptr;
    }
    JobRunning(const JobRunning&) = delete;
    JobRunning& operator=(const JobRunning&) = delete;

private:
    DialogState* state_;
};

// False when the user stopped the job: then there is nothing to report.
bool RunJob(HWND hDlg, const std::string& input, const std::string& output, std::int32_t fixedRecords,
            std::int32_t lrecl, std::int64_t& count)
{
    DialogJobProgress progress(hDlg, input, output);
    JobRunning running(StateOf(hDlg), &progress);
    count = ConvertFile(hDlg, input, output, fixedRecords, lrecl, &progress);
    return !progress.StopAsked();
}

}  // namespace

std::int32_t RecordLengthFromText(const std::string& text)
{
    double value = TextToNumber(text);
    if (value >= std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (value <= std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

void OnProcess(HWND hDlg)
{
    std::string input = BareFileName(FieldText(hDlg, ID_INFILE));
    std::string output = BareFileName(FieldText(hDlg, ID_OUTFILE));
    std::int32_t fixedRecords = IsDlgButtonChecked(hDlg, ID_FIXED_CRLF) == BST_CHECKED ? -1 : 0;
    std::int32_t lrecl = fixedRecords != 0 ? RecordLengthFromText(FieldText(hDlg, ID_LRECL)) : 0;

    EntryCheck check = CheckProcessEntries(input, output, fixedRecords, lrecl);
    if (check.message != nullptr) {
        ShowMessage(check.message, ErrorCaption.Text(), MB_ICONHAND);
        SetFocus(GetDlgItem(hDlg, FieldOf(check.field)));
        return;
    }
    std::int64_t count = 0;
    if (!RunJob(hDlg, input, output, fixedRecords, lrecl, count)) return;  // as if never pressed
    if (DialogState* state = StateOf(hDlg)) {
        state->input.Record(GetDlgItem(hDlg, ID_INFILE), input);
        state->output.Record(GetDlgItem(hDlg, ID_OUTFILE), output);
    }
    ShowMessage(ResultsText(count, fixedRecords, lrecl), "EBCDIC to ASCII Results", MB_ICONINFORMATION);
}

void OnView(HWND hDlg)
{
    std::string output = BareFileName(FieldText(hDlg, ID_OUTFILE));
    ErrorCell error;
    if (output.empty() || FindFileName(output, 0, error).empty()) {
        ShowMessage("Output File not found for viewing", ErrorCaption.Text(), MB_ICONHAND);
        return;
    }
    LaunchProgram("notepad.exe " + output, SW_SHOWNORMAL, error);
}
