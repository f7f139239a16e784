#include "system_error_text.h"
#include <windows.h>
#include <cstdio>

std::string SystemErrorMessageText(std::int32_t code)
{
    char text[256] = {};
    // Inserts are left as they stand: with no values to put in, a message that expects
    // them would otherwise fail or read arguments that were never passed.
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   static_cast<DWORD>(code), 0, text, 255, nullptr);
    char number[16];
    std::snprintf(number, sizeof number, "%5ld", static_cast<long>(code));
    return number + std::string(text);
}
