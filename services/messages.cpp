#include "messages.h"
#include <windows.h>
#include <cstdio>
#include <utility>

FixedText<40> ErrorCaption;

namespace {

MessageSink& CurrentSink()
{
    static MessageSink sink;
    return sink;
}

}  // namespace

std::string NumberToText(double value, int digits)
{
    if (value == 0) value = 0;  // no "-0"
    char digitsText[48];
    std::snprintf(digitsText, sizeof digitsText, "%.*G", digits, value);
    return (value < 0 ? "" : " ") + std::string(digitsText);
}

int ShowMessage(const std::string& text, const std::string& caption, std::uint32_t style)
{
    const std::string& shown = caption.empty() ? std::string("Halvernook") : caption;
    unsigned type = style & 0xFFFFu;
    Sleep(5);
    if (CurrentSink()) return CurrentSink()(text, shown, type);
    return MessageBoxA(nullptr, text.c_str(), shown.c_str(), type);
}

MessageSink SetMessageSink(MessageSink sink)
{
    return std::exchange(CurrentSink(), std::move(sink));
}
