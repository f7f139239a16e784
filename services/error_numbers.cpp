#include "error_numbers.h"

namespace {

// Indexed by the operating-system code 0 to 40; entry 40 stands for every larger code.
const std::uint8_t SystemErrorMap[41] = {
    0,   75, 53,  76, 67, 70, 51,  241, 7,  241,  // 0-9
    241, 51, 51,  51, 7,  68, 75,  74,  53, 70,   // 10-19
    68,  71, 51,  72, 51, 72, 72,  72,  27, 72,   // 20-29
    72,  72, 70,  70, 72, 75, 70,  75,  62, 61,   // 30-39
    75,                                           // 40 and above
};

}  // namespace

std::uint8_t MapSystemError(DWORD code)
{
    // A full disk gives either code, depending on the call; the user is told the same.
    if (code == ERROR_DISK_FULL) return 61;
    return SystemErrorMap[code < 40 ? code : 40];
}

std::uint8_t TakeErrorNumber(ErrorCell& cell)
{
    std::uint8_t number = cell.number;
    cell.number = 0;
    return number;
}

SpinLock& SystemCallLock()
{
    static SpinLock lock;
    return lock;
}

SpinLock& OpenLock()
{
    static SpinLock lock;
    return lock;
}
