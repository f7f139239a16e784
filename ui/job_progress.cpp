#include "job_progress.h"
#include "control_ids.h"
#include "dialog_state.h"
#include "window_state.h"
#include <commctrl.h>
#include <cstdio>

namespace {

// Windows calls a window hung after five seconds without an answer; these keep the dialog
// far from that, a stop asked for well within half a second, and the caption readable, at no
// cost a job could measure.
constexpr ULONGLONG HandleEvery = 50;
constexpr ULONGLONG QuietStart = 500;
constexpr ULONGLONG RedrawEvery = 250;
constexpr int BarSteps = 1000;

DialogJobProgress* JobOf(HWND window)
{
    return reinterpret_cast<DialogJobProgress*>(GetWindowLongPtrA(window, DWLP_USER));
}

// Over the middle of owner, and whole on the owner's screen.
void CentreOver(HWND window, HWND owner)
{
    RECT own, over;
    GetWindowRect(window, &own);
    GetWindowRect(owner, &over);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& screen = monitor.rcWork;
    LONG width = own.right - own.left, height = own.bottom - own.top;
    LONG x = (over.left + over.right - width) / 2, y = (over.top + over.bottom - height) / 2;
    if (x + width > screen.right) x = screen.right - width;
    if (y + height > screen.bottom) y = screen.bottom - height;
    if (x < screen.left) x = screen.left;
    if (y < screen.top) y = screen.top;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        SendDlgItemMessageA(window, ID_JOB_BAR, PBM_SETRANGE32, 0, BarSteps);
        CentreOver(window, GetWindow(window, GW_OWNER));
        return TRUE;  // the focus goes to Cancel, the only tab stop
    case WM_COMMAND:
        // Esc gives IDCANCEL, Enter the default button's, which is Cancel's too.
        if (LOWORD(wParam) != IDCANCEL && LOWORD(wParam) != IDOK) return FALSE;
        if (DialogJobProgress* job = JobOf(window)) job->Stop();
        return TRUE;
    case WM_CLOSE:
        if (DialogJobProgress* job = JobOf(window)) job->Stop();
        return TRUE;  // the job takes the window away when it has stopped
    default: return FALSE;
    }
}

std::string Decimal(double value, const char* unit)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, unit);
    return text;
}

}  // namespace

std::string SizeText(std::uint64_t bytes)
{
    if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    const char* const units[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1024;
    std::size_t unit = 0;
    // Never more than three digits before the point: 1000 KB reads as 1.0 MB.
    while (value >= 999.95 && unit + 1 < sizeof units / sizeof units[0]) {
        value /= 1024;
        ++unit;
    }
    return Decimal(value, units[unit]);
}

std::string JobStatusText(std::uint64_t done, std::uint64_t total, ULONGLONG elapsedMs)
{
    std::string text = SizeText(done) + " of " + SizeText(total);
    if (done == 0 || elapsedMs == 0) return text;
    double perSecond = static_cast<double>(done) * 1000.0 / static_cast<double>(elapsedMs);
    auto left = static_cast<std::uint64_t>(static_cast<double>(total - done) / perSecond + 0.999);
    std::string time;
    if (left < 60) {
        time = std::to_string(left < 1 ? 1 : left) + " s";
    } else if (left < 3600) {
        time = std::to_string((left + 30) / 60) + " min";
    } else {
        std::uint64_t minutes = (left + 30) / 60;
        time = std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) + " min";
    }
    return text + ", " + SizeText(static_cast<std::uint64_t>(perSecond)) + "/s, about " + time + " left";
}

DialogJobProgress::DialogJobProgress(HWND dialog, const std::string& inputName, const std::string& outputName)
    : dialog_(dialog), inputName_(inputName), outputName_(outputName), started_(GetTickCount64()), handledAt_(started_)
{
    char caption[256] = {};
    GetWindowTextA(dialog_, caption, sizeof caption);
    caption_ = caption;
}

DialogJobProgress::~DialogJobProgress()
{
    RestoreCaption();
    // The job has enabled the dialog again by now, so that it is the window the system
    // activates when this one goes.
    if (window_ != nullptr) DestroyWindow(window_);
}

bool DialogJobProgress::Progress(std::uint64_t done, std::uint64_t total)
{
    if (stopAsked_) return false;
    if (done >= total) {
        RestoreCaption();
        return true;
    }
    ULONGLONG now = GetTickCount64();
    if (now - handledAt_ < HandleEvery) return true;
    handledAt_ = now;
    if (now - started_ >= QuietStart) Show(done, total, now);
    TakePendingMessages(window_);
    return !stopAsked_;
}

void DialogJobProgress::Show(std::uint64_t done, std::uint64_t total, ULONGLONG now)
{
    if (shownPercent_ >= 0 && now - shownAt_ < RedrawEvery) return;
    shownAt_ = now;
    auto percent = static_cast<int>(done * 100 / total);
    if (percent != shownPercent_) {
        shownPercent_ = percent;
        SetWindowTextA(dialog_, (std::to_string(percent) + "% - " + caption_).c_str());
    }
    if (window_ == nullptr) OpenWindow();
    if (window_ == nullptr) return;  // the caption still tells how far the job has come
    SendDlgItemMessageA(window_, ID_JOB_BAR, PBM_SETPOS, static_cast<WPARAM>(done * BarSteps / total), 0);
    SetDlgItemTextA(window_, ID_JOB_STATUS, JobStatusText(done, total, now - started_).c_str());
}

void DialogJobProgress::OpenWindow()
{
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&classes);
    window_ = CreateDialogParamA(DialogInstance(dialog_), "PROGRESS", dialog_, ProgressWindowProc,
                                 reinterpret_cast<LPARAM>(this));
    if (window_ == nullptr) return;
    SetDlgItemTextA(window_, ID_JOB_INPUT, inputName_.c_str());
    SetDlgItemTextA(window_, ID_JOB_OUTPUT, outputName_.c_str());
    ShowWindow(window_, SW_SHOW);
}

void DialogJobProgress::RestoreCaption()
{
    if (shownPercent_ < 0) return;
    shownPercent_ = -1;
    SetWindowTextA(dialog_, caption_.c_str());
}
