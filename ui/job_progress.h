#pragma once
#include "convert_file.h"
#include <windows.h>
#include <cstdint>
#include <string>

// What the main dialog does while a job runs. Between steps its thread handles the pending
// messages, so that the system never takes the window for hung. Once the job has run for half
// a second the caption shows the percentage done ("37% - " before the caption) and the
// progress window appears over the dialog: the two names, a bar, what is done, the rate and
// the time left, and Cancel. Only the progress window takes input. The caption is whole again,
// and the progress window gone, when the job ends, however it ends.
class DialogJobProgress final : public ConvertObserver {
public:
    DialogJobProgress(HWND dialog, const std::string& inputName, const std::string& outputName);
    ~DialogJobProgress();
    DialogJobProgress(const DialogJobProgress&) = delete;
    DialogJobProgress& operator=(const DialogJobProgress&) = delete;

    bool Progress(std::uint64_t done, std::uint64_t total) override;
    // Cancel, Esc, Enter and the progress window's close box, or a close of the main dialog:
    // the job stops at its next step.
    void Stop() { stopAsked_ = true; }
    bool StopAsked() const { return stopAsked_; }

private:
    void Show(std::uint64_t done, std::uint64_t total, ULONGLONG now);
    void OpenWindow();
    void RestoreCaption();

    HWND dialog_;
    std::string caption_;
    std::string inputName_;
    std::string outputName_;
    HWND window_ = nullptr;  // the progress window, once shown
    ULONGLONG started_;
    ULONGLONG handledAt_;
    ULONGLONG shownAt_ = 0;
    int shownPercent_ = -1;  // -1: the caption is the dialog's own
    bool stopAsked_ = false;
};

// A size as the progress window shows it: "512 bytes", "1.5 KB", "48.0 GB" (units of 1024).
std::string SizeText(std::uint64_t bytes);
// The progress window's line: "1.2 GB of 48.0 GB, 1.4 GB/s, about 30 s left"; only the first
// part while nothing is done yet.
std::string JobStatusText(std::uint64_t done, std::uint64_t total, ULONGLONG elapsedMs);
