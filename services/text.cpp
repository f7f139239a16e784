#include "text.h"
#include <cstring>
#include <cstdlib>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double TextToNumber(const std::string& text)
{
    std::size_t i = text.find_first_not_of(" \t\n");
    if (i == std::string::npos) return 0;
    // Copy what fits into a form strtod reads the same everywhere; digits past the 18th
    // significant one count only for their place.
    std::string number;
    if (text[i] == '+' || text[i] == '-') number += text[i++];
    int significant = 0;
    bool point = false;
    bool digits = false;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c == '.' && !point) {
            point = true;
            number += c;
        } else if (IsDigit(c)) {
            digits = true;
            if (significant > 0 || c != '0') ++significant;
            number += significant > 18 ? '0' : c;
        } else {
            break;
        }
    }
    if (!digits) return 0;
    if (i < text.size() && std::strchr("EeDd", text[i]) != nullptr) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
        std::size_t first = j;
        while (j < text.size() && IsDigit(text[j])) exponent += text[j++];
        if (j > first) number += exponent;
    }
    return std::strtod(number.c_str(), nullptr);
}

std::string TrimLeadingBlanks(const std::string& text)
{
    std::size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

std::string TrimTrailingBlanks(const std::string& text)
{
    std::size_t last = text.find_last_not_of(' ');
    return last == std::string::npos ? std::string() : text.substr(0, last + 1);
}

std::string BareFileName(const std::string& typed)
{
    std::size_t first = typed.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    std::size_t last = typed.find_last_not_of(" \t");
    if (last > first && typed[first] == '"' && typed[last] == '"') {
        ++first;
        --last;
    }
    return typed.substr(first, last + 1 - first);
}

std::int32_t FindText(std::int32_t start, const std::string& text, const std::string& searched)
{
    auto length = static_cast<std::int64_t>(text.size());
    if (text.empty() || start == 0 || start > length || -static_cast<std::int64_t>(start) > length)
        return 0;
    if (searched.empty()) return start;
    std::size_t found = start > 0 ? text.find(searched, static_cast<std::size_t>(start - 1))
                                  : text.rfind(searched, static_cast<std::size_t>(length + start));
    return found == std::string::npos ? 0 : static_cast<std::int32_t>(found + 1);
}

std::string Substring(const std::string& text, std::int32_t start, std::int32_t length)
{
    if (start < 1 || length < 1 || static_cast<std::size_t>(start) > text.size()) return std::string();
    return text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(length));
}
