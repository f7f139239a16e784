#pragma once
// Error numbers: every failing service writes a small number into its caller's ErrorCell;
// the caller reads and clears it with TakeErrorNumber. Nothing here throws.
#include <windows.h>
#include <atomic>
#include <cstdint>

struct ErrorCell {
    std::uint8_t number = 0;
};

inline void RecordError(ErrorCell& cell, std::uint8_t number) { cell.number = number; }
std::uint8_t TakeErrorNumber(ErrorCell& cell);

// The program's number for an operating-system error code; codes of 40 and above give 75,
// but for 112 (disk full), which gives 61 as 39 does.
std::uint8_t MapSystemError(DWORD code);

// A failure that left no code behind is still a failure.
inline void RecordSystemError(ErrorCell& cell, DWORD code)
{
    RecordError(cell, code != 0 ? MapSystemError(code) : 51);
}

// A busy-wait lock: the layer is used from one thread, the locks only keep a later
// multi-threaded caller from interleaving the error-mode and last-error steps.
class SpinLock {
public:
    void Lock() { while (held_.exchange(true, std::memory_order_acquire)) {} }
    void Unlock() { held_.store(false, std::memory_order_release); }
private:
    std::atomic<bool> held_{false};
};

class SpinGuard {
public:
    explicit SpinGuard(SpinLock& lock) : lock_(lock) { lock_.Lock(); }
    ~SpinGuard() { lock_.Unlock(); }
    SpinGuard(const SpinGuard&) = delete;
    SpinGuard& operator=(const SpinGuard&) = delete;
private:
    SpinLock& lock_;
};

SpinLock& SystemCallLock();
SpinLock& OpenLock();  // held for a whole OpenChannel and a whole directory search

// Calls the system with critical-error boxes off and a clean last-error code, and hands
// back the code the call left. Callers judge failure by the result where the system
// defines one, since some calls leave a code behind on success.
template <class Call>
auto GuardedSystemCall(Call call, DWORD& code) -> decltype(call())
{
    SpinGuard guard(SystemCallLock());
    UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    SetLastError(0);
    auto result = call();
    code = GetLastError();
    SetErrorMode(previous);
    return result;
}
