// velmorc: the converter for batch files and benchmarks. Same checks, job and results text
// as the dialog's Process command; messages go to standard error instead of a box.
#include "convert_file.h"
#include "dll_search.h"
#include "messages.h"
#include "process_request.h"
#include "record_guess.h"
#include "text.h"
#include "translation_kernel.h"
#include "version.h"
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char Usage[] = "usage: velmorc [--progress] INPUT OUTPUT [LRECL | auto]\n"
                     "       velmorc --guess INPUT\n"
                     "       velmorc --version | --help\n"
                     "  converts the EBCDIC file INPUT into the PC file OUTPUT; with LRECL (1 to\n"
                     "  999999), into records of LRECL bytes, each followed by CR LF; with auto,\n"
                     "  into records of the length INPUT's own structure shows.\n"
                     "  --guess     writes that length (2 to 32760) on standard output; where\n"
                     "              INPUT shows no fixed records clearly, exit code 1\n"
                     "  --progress  show how far the job has come on standard error (the default\n"
                     "              when standard error is a console)\n"
                     "  VELMOR_KERNEL=plain|ssse3|avx2|avx512vbmi in the environment picks the\n"
                     "  translation kernel; without it, the fastest this processor runs does the job.\n"
                     "  exit codes: 0 done, 1 a check failed or the job reported an error, 2 bad arguments,\n"
                     "  3 stopped (Ctrl+C, Ctrl+Break, the console closed): the output is left as it was,\n"
                     "  unless it had to be written in place (standard error then says so).\n";

enum ExitCode { Done = 0, Failed = 1, BadArguments = 2, StoppedEarly = 3 };

// One line on standard error, redrawn in place at most four times a second, so that a
// multi-gigabyte job does not look like a hang.
class ProgressLine {
public:
    void Draw(std::uint64_t done, std::uint64_t total)
    {
        ULONGLONG now = GetTickCount64();
        if (!drawn_) started_ = now;
        bool finished = done >= total;
        if (drawn_ && !finished && now - drawnAt_ < 250) return;
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

// A stop asked for from outside: Ctrl+C, Ctrl+Break, the console closed, logoff or shutdown.
// The system runs the handler on a thread of its own; the job reads the request at its next step.
class StopRequest {
public:
    void Ask() { asked_ = true; }
    bool Asked() const { return asked_; }
    // Said once the job has let go of its output and velmorc has said how it ended.
    void JobEnded() { SetEvent(jobEnded_); }
    // Bounded: the system gives a closing console's handler five seconds.
    void AwaitJobEnd() const { WaitForSingleObject(jobEnded_, 4000); }

private:
    std::atomic<bool> asked_{false};
    // Never closed: a handler may still wait on it while the process ends.
    HANDLE jobEnded_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
};

StopRequest OutsideStop;

BOOL WINAPI OnConsoleControl(DWORD event)
{
    OutsideStop.Ask();
    // After these the system ends the process as soon as the handler returns.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        OutsideStop.AwaitJobEnd();
    return TRUE;
}

// Every job has one, so that a stop request reaches it; it draws the progress line if given one.
class JobObserver final : public ConvertObserver {
public:
    explicit JobObserver(ProgressLine* line) : line_(line) {}
    bool Progress(std::uint64_t done, std::uint64_t total) override
    {
        if (OutsideStop.Asked()) return false;
        if (line_ != nullptr) line_->Draw(done, total);
        return true;
    }
    void Stopped(bool outputAsBefore) override
    {
        stopped_ = true;
        outputAsBefore_ = outputAsBefore;
    }
    bool WasStopped() const { return stopped_; }
    bool OutputAsBefore() const { return outputAsBefore_; }

private:
    ProgressLine* line_;
    bool stopped_ = false;
    bool outputAsBefore_ = true;
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

// The input's check alone, its message on standard error; then the length the input shows,
// or the message that it shows none.
bool GuessFromInput(const char* given, std::int32_t& lrecl)
{
    std::string input = BareFileName(given);
    if (!InputFileFound(input)) {
        ShowMessage("Input File Not Found", ErrorCaption.Text(), MB_ICONHAND);
        return false;
    }
    lrecl = GuessRecordLength(input);
    if (lrecl == 0) std::fprintf(stderr, "velmorc: no fixed record length found in %s\n", given);
    return lrecl != 0;
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
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(Usage, stdout);
        return Done;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("velmorc " VELMOR_VERSION_TEXT);
        return Done;
    }
    bool guess = argc == 3 && std::strcmp(argv[1], "--guess") == 0;
    bool progress = argc > 1 && std::strcmp(argv[1], "--progress") == 0;
    if (progress) {
        --argc;
        ++argv;
    }
    std::int32_t fixedRecords = argc == 4 ? -1 : 0;
    std::int32_t lrecl = 0;
    bool automatic = argc == 4 && std::strcmp(argv[3], "auto") == 0;
    if (!guess && (argc < 3 || argc > 4 || (argc == 4 && !automatic && !ReadRecordLength(argv[3], lrecl)))) {
        std::fputs(Usage, stderr);
        return BadArguments;
    }
    if (!guess && !UseKernelOfTheEnvironment()) return BadArguments;
    ErrorCaption = ProgramErrorCaption;
    bool failed = false;
    ProgressLine line;
    SetMessageSink([&failed, &line](const std::string& text, const std::string& caption, unsigned style) {
        line.Finish();
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        if (style & MB_ICONHAND) failed = true;
        return IDOK;
    });

    if (guess) {
        if (!GuessFromInput(argv[2], lrecl)) return Failed;
        std::printf("%d\n", static_cast<int>(lrecl));
        return Done;
    }
    // No file is made or changed for a length the input does not show.
    if (automatic && !GuessFromInput(argv[1], lrecl)) return Failed;

    std::string input = BareFileName(argv[1]);
    std::string output = BareFileName(argv[2]);
    EntryCheck check = CheckProcessEntries(input, output, fixedRecords, lrecl);
    if (check.message != nullptr) {
        ShowMessage(check.message, ErrorCaption.Text(), MB_ICONHAND);
        return Failed;
    }
    JobObserver observer(progress || StandardErrorIsConsole() ? &line : nullptr);
    std::int64_t count = ConvertFile(nullptr, input, output, fixedRecords, lrecl, &observer);
    line.Finish();
    ExitCode exitCode = failed ? Failed : Done;
    if (observer.WasStopped()) {
        std::fputs(observer.OutputAsBefore() ? "velmorc: the job was stopped; the output was left unchanged\n"
                                             : "velmorc: the job was stopped; the output, written in place, is incomplete\n",
                   stderr);
        exitCode = StoppedEarly;
    } else {
        std::printf("%s\n", ResultsText(count, fixedRecords, lrecl).c_str());
    }
    std::fflush(stdout);
    std::fflush(stderr);
    OutsideStop.JobEnded();
    return exitCode;
}
