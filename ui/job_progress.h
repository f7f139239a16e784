#pragma once
#include "convert_file.h"
#include <windows.h>
#include <string>

// What the main dialog does while a job runs. Between steps its thread handles the pending
// messages, so that the system never takes the window for hung; once the job has run for
// about half a second the caption shows the percentage done ("37% - " before the caption).
// The caption is whole again when the job ends, however it ends.
class DialogJobProgress final : public ConvertObserver {
public:
    explicit DialogJobProgress(HWND dialog);
    ~DialogJobProgress();
    DialogJobProgress(const DialogJobProgress&) = delete;
    DialogJobProgress& operator=(const DialogJobProgress&) = delete;

    bool Progress(std::uint64_t done, std::uint64_t total) override;

private:
    void ShowPercent(int percent, ULONGLONG now);
    void RestoreCaption();

    HWND dialog_;
    std::string caption_;
    ULONGLONG started_;
    ULONGLONG handledAt_;
    ULONGLONG shownAt_ = 0;
    int shownPercent_ = -1;  // -1: the caption is the dialog's own
};
