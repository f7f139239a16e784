// velmorc: the converter for batch files and benchmarks. Same checks, job and results text
// as the dialog's Process command; messages go to standard error instead of a box.
#include "convert_file.h"
#include "dll_search.h"
#include "messages.h"
#include "process_request.h"
#include "text.h"
#include "translation_kernel.h"
#include "version.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char Usage[] = "usage: velmorc [--progress] INPUT OUTPUT [LRECL]\n"
                     "       velmorc --version | --help\n"
                     "  converts the EBCDIC file INPUT into the PC file OUTPUT; with LRECL (1 to\n"
                     "  999999), into records of LRECL bytes, each followed by CR LF.\n"
                     "  --progress  show how far the job has come on standard error (the default\n"
                     "              when standard error is a console)\n"
                     "  VELMOR_KERNEL=plain|ssse3|avx2|avx512vbmi in the environment picks the\n"
                     "  translation kernel; without it, the fastest this processor runs does the job.\n";

// One line on standard error, redrawn in place at most four times a second, so that a
// multi-gigabyte job does not look like a hang.
class ProgressLine final : public ConvertObserver {
public:
    bool Progress(std::uint64_t done, std::uint64_t total) override
    {
        ULONGLONG now = GetTickCount64();
        if (!drawn_) started_ = now;
        bool finished = done >= total;
        if (drawn_ && !finished && now - drawnAt_ < 250) return true;
        drawn_ = true;
        drawnAt_ = now;
        std::uint64_t percent = total == 0 ? 100 : done * 100 / total;
        double seconds = static_cast<double>(now - started_) / 1000.0;
        double mibPerSecond = seconds > 0 ? static_cast<double>(done) / seconds / 1048576.0 : 0.0;
        char rate[32];
        std::snprintf(rate, sizeof rate, "%.1f MiB/s", mibPerSecond);
        std::string line = "\r" + std::to_string(percent) + "%  " + std::to_string(done) + " of " +
                           std::to_string(total) + " bytes  " + rate;
        // Blanks over whatever a longer earlier line left behind.
        std::size_t width = line.size();
        if (width < width_) line.append(width_ - width, ' ');
        width_ = width;
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        return true;
    }
    // Ends the line, so that whatever comes next stands on a line of its own.
    void Finish()
    {
        if (drawn_) std::fputs("\n", stderr);
        drawn_ = false;
    }

private:
    bool drawn_ = false;
    ULONGLONG started_ = 0;
    ULONGLONG drawnAt_ = 0;
    std::size_t width_ = 0;
};

bool StandardErrorIsConsole()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

// The record-length field's rule: at most six digits.
bool ReadRecordLength(const char* text, std::int32_t& lrecl)
{
    std::size_t length = std::strlen(text);
    if (length == 0 || length > 6 || std::strspn(text, "0123456789") != length) return false;
    lrecl = static_cast<std::int32_t>(std::strtol(text, nullptr, 10));
    return true;
}

// Each kernel gives the same bytes; picking one lets a user or a benchmark measure it.
bool UseKernelOfTheEnvironment()
{
    const char* name = std::getenv("VELMOR_KERNEL");
    if (name == nullptr || *name == '\0') return true;
    for (TranslationKernel kernel : AllTranslationKernels) {
        if (std::strcmp(name, TranslationKernelName(kernel)) != 0) continue;
        if (UseTranslationKernel(kernel)) return true;
        std::fprintf(stderr, "velmorc: VELMOR_KERNEL=%s: this processor cannot run that kernel\n", name);
        return false;
    }
    std::string known;
    for (TranslationKernel kernel : AllTranslationKernels)
        known += std::string(known.empty() ? "" : ", ") + TranslationKernelName(kernel);
    std::fprintf(stderr, "velmorc: VELMOR_KERNEL=%s: unknown kernel; the kernels are %s\n", name, known.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    SearchDllsInSystemFolderOnly();
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("velmorc " VELMOR_VERSION_TEXT);
        return 0;
    }
    bool progress = argc > 1 && std::strcmp(argv[1], "--progress") == 0;
    if (progress) {
        --argc;
        ++argv;
    }
    std::int32_t fixedRecords = argc == 4 ? -1 : 0;
    std::int32_t lrecl = 0;
    if (argc < 3 || argc > 4 || (argc == 4 && !ReadRecordLength(argv[3], lrecl))) {
        std::fputs(Usage, stderr);
        return 2;
    }
    if (!UseKernelOfTheEnvironment()) return 2;
    ErrorCaption = ProgramErrorCaption;
    bool failed = false;
    ProgressLine line;
    SetMessageSink([&failed, &line](const std::string& text, const std::string& caption, unsigned style) {
        line.Finish();
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        if (style & MB_ICONHAND) failed = true;
        return IDOK;
    });

    std::string input = BareFileName(argv[1]);
    std::string output = BareFileName(argv[2]);
    EntryCheck check = CheckProcessEntries(input, output, fixedRecords, lrecl);
    if (check.message != nullptr) {
        ShowMessage(check.message, ErrorCaption.Text(), MB_ICONHAND);
        return 1;
    }
    bool showProgress = progress || StandardErrorIsConsole();
    std::int64_t count = ConvertFile(nullptr, input, output, fixedRecords, lrecl, showProgress ? &line : nullptr);
    line.Finish();
    std::printf("%s\n", ResultsText(count, fixedRecords, lrecl).c_str());
    return failed ? 1 : 0;
}
