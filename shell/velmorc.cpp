// velmorc: the converter for batch files and benchmarks. Same checks, job and results text
// as the dialog's Process command; messages go to standard error instead of a box.
#include "convert_file.h"
#include "messages.h"
#include "process_request.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char Usage[] = "usage: velmorc INPUT OUTPUT [LRECL]\n"
                     "  converts the EBCDIC file INPUT into the PC file OUTPUT; with LRECL (1 to\n"
                     "  999999), into records of LRECL bytes, each followed by CR LF\n";

// The record-length field's rule: at most six digits.
bool ReadRecordLength(const char* text, std::int32_t& lrecl)
{
    std::size_t length = std::strlen(text);
    if (length == 0 || length > 6 || std::strspn(text, "0123456789") != length) return false;
    lrecl = static_cast<std::int32_t>(std::strtol(text, nullptr, 10));
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    std::int32_t fixedRecords = argc == 4 ? -1 : 0;
    std::int32_t lrecl = 0;
    if (argc < 3 || argc > 4 || (argc == 4 && !ReadRecordLength(argv[3], lrecl))) {
        std::fputs(Usage, stderr);
        return 2;
    }
    ErrorCaption = "EBCDIC-ASCII Error";
    bool failed = false;
    SetMessageSink([&failed](const std::string& text, const std::string& caption, unsigned style) {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        if (style & MB_ICONHAND) failed = true;
        return IDOK;
    });

    EntryCheck check = CheckProcessEntries(argv[1], argv[2], fixedRecords, lrecl);
    if (check.message != nullptr) {
        ShowMessage(check.message, ErrorCaption.Text(), MB_ICONHAND);
        return 1;
    }
    std::int64_t count = ConvertFile(nullptr, argv[1], argv[2], fixedRecords, lrecl);
    std::printf("%s\n", ResultsText(count, fixedRecords, lrecl).c_str());
    return failed ? 1 : 0;
}
