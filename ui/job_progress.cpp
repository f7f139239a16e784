#include "job_progress.h"
#include "window_state.h"

namespace {

// Windows calls a window hung after five seconds without an answer; these keep the dialog
// far from that, and the caption readable, at no cost a job could measure.
constexpr ULONGLONG HandleEvery = 50;
constexpr ULONGLONG QuietStart = 500;
constexpr ULONGLONG RedrawEvery = 250;

}  // namespace

DialogJobProgress::DialogJobProgress(HWND dialog)
    : dialog_(dialog), started_(GetTickCount64()), handledAt_(started_)
{
    char caption[256] = {};
    GetWindowTextA(dialog_, caption, sizeof caption);
    caption_ = caption;
}

DialogJobProgress::~DialogJobProgress() { RestoreCaption(); }

bool DialogJobProgress::Progress(std::uint64_t done, std::uint64_t total)
{
    if (done >= total) {
        RestoreCaption();
        return true;
    }
    ULONGLONG now = GetTickCount64();
    if (now - handledAt_ < HandleEvery) return true;
    handledAt_ = now;
    if (now - started_ >= QuietStart) ShowPercent(static_cast<int>(done * 100 / total), now);
    TakePendingMessages();
    return true;
}

void DialogJobProgress::ShowPercent(int percent, ULONGLONG now)
{
    if (percent == shownPercent_ || now - shownAt_ < RedrawEvery) return;
    shownPercent_ = percent;
    shownAt_ = now;
    SetWindowTextA(dialog_, (std::to_string(percent) + "% - " + caption_).c_str());
}

void DialogJobProgress::RestoreCaption()
{
    if (shownPercent_ < 0) return;
    shownPercent_ = -1;
    SetWindowTextA(dialog_, caption_.c_str());
}
