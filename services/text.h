#pragma once
// Text values are std::string (any bytes, NUL included). FixedText is the fixed, NUL-ended
// buffer that dialog fields and the error caption use.
#include <windows.h>
#include <commdlg.h>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

template <std::size_t N>
class FixedText {
    static_assert(N > 0, "a fixed text needs room for its NUL");
public:
    FixedText() = default;
    explicit FixedText(std::string_view text) { Store(text); }
    FixedText& operator=(std::string_view text)
    {
        Store(text);
        return *this;
    }

    // A longer text keeps its first N - 1 bytes.
    void Store(std::string_view text)
    {
        std::size_t length = text.size() < N - 1 ? text.size() : N - 1;
        std::memcpy(bytes_, text.data(), length);
        bytes_[length] = '\0';
    }
    std::string Text() const { return std::string(bytes_, strnlen(bytes_, N)); }
    const char* CStr() const { return bytes_; }
    char* Buffer() { return bytes_; }
    static constexpr int Size() { return static_cast<int>(N); }

private:
    char bytes_[N] = {};
};

// The longest file name the program reads, opens, searches for or hands on: what a 260-byte
// buffer holds. A longer name is refused wherever it arrives, never cut, since a cut name
// may well be another file.
constexpr std::size_t MaxFileNameLength = 259;
inline bool FileNameFits(std::string_view name) { return name.size() <= MaxFileNameLength; }

// A file name as people paste it: blanks around it, and one pair of double quotes around it
// (Explorer's "Copy as path"), are not part of it. Windows allows no quote in a name, so no
// real name changes meaning; a lone or inner quote stays and the name fails as typed.
std::string BareFileName(const std::string& typed);

// The platform's FindText macro (the Find dialog) would rename ours wherever both are seen.
#undef FindText

// Reads a number the way the record-length field is read: leading blanks, tabs and line
// feeds skipped, an optional sign, digits with one optional point and an optional exponent
// (E or D); it stops at the first character that does not fit. No digits give 0.
double TextToNumber(const std::string& text);

// Removes the blanks (character 32 only) at the start or the end.
std::string TrimLeadingBlanks(const std::string& text);
std::string TrimTrailingBlanks(const std::string& text);

// 1-based position of searched in text, 0 when absent. A start of 1 or more searches
// forward from there; a negative start searches backward, -1 from the very end.
std::int32_t FindText(std::int32_t start, const std::string& text, const std::string& searched);

// At most length bytes from the 1-based start; empty when start or length is out of range.
std::string Substring(const std::string& text, std::int32_t start, std::int32_t length);
