// The console converter, run as a user runs it: arguments in, files, text and exit code out.
#include "record_corpus.h"
#include "support.h"
#include "translation_kernel.h"
#include "translation_table.h"
#include "version.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Velmorc;  // path of velmorc.exe, from the command line

ProgramRun RunVelmorc(const std::string& arguments)
{
    return RunProgram("\"" + Velmorc + "\" " + arguments);
}

class VelmorcTest : public ::testing::Test {
protected:
    ScratchFolder folder;
    std::string in = folder / "in put.ebc";
    std::string out = folder / "out.txt";
    std::string Quoted(const std::string& path) { return "\"" + path + "\""; }
};

TEST_F(VelmorcTest, ConvertsInBothForms)
{
    WriteWholeFile(in, Bytes({0xC8, 0xC5, 0xD3, 0xD3, 0xD6, 0x40, 0xE6, 0xD6, 0xD9, 0xD3, 0xC4}));
    ProgramRun plain = RunVelmorc(Quoted(in) + " " + Quoted(out));
    EXPECT_EQ(plain.exitCode, 0u);
    EXPECT_EQ(plain.output, "Created  11 bytes in output file.\r\n");
    EXPECT_EQ(plain.errors, "");
    EXPECT_EQ(ReadWholeFile(out), "HELLO WORLD");

    ProgramRun records = RunVelmorc(Quoted(in) + " " + Quoted(out) + " 5");
    EXPECT_EQ(records.exitCode, 0u);
    EXPECT_EQ(records.output, "Created  3 5-byte records\r\n");
    EXPECT_EQ(ReadWholeFile(out), "HELLO\r\n WORL\r\nD\r\n");
}

TEST_F(VelmorcTest, RefusesBadEntriesWithTheDialogsMessages)
{
    WriteWholeFile(in, "x");
    struct Case {
        std::string arguments;
        const char* message;
    };
    const Case cases[] = {
        {Quoted(folder / "missing.ebc") + " " + Quoted(out), "Input File Not Found"},
        {Quoted(in) + " " + Quoted(folder / "no\\out.txt"), "Invalid Output File name or path"},
        {Quoted(in) + " " + Quoted(out) + " 0", "LRECL Required if CRLF to be added"},
    };
    for (const Case& c : cases) {
        ProgramRun run = RunVelmorc(c.arguments);
        EXPECT_EQ(run.exitCode, 1u) << c.arguments;
        EXPECT_EQ(run.errors, std::string("EBCDIC-ASCII Error: ") + c.message + "\r\n");
        EXPECT_EQ(run.output, "");
    }
    EXPECT_FALSE(FileExists(folder / "missing.ebc")) << "a mistyped input is not created";
    EXPECT_FALSE(FileExists(out));
}

// 259 bytes is the most a name may have; one byte more is refused, never cut to another file.
// In Cyrillic every letter takes two bytes of UTF-8.
TEST_F(VelmorcTest, NamesOfUpTo259BytesWorkWholeLongerOnesAreRefused)
{
    const std::string created = "Created  11 bytes in output file.\r\n";
    for (const std::string letter : {"n", u8"ж"}) {
        SCOPED_TRACE(letter);
        std::string in259 = PathOfLength(folder, 259, letter, ".ebc");
        std::string out259 = PathOfLength(folder, 259, letter, ".txt");
        WriteWholeFile(in259, Bytes({0xC8, 0xC5, 0xD3, 0xD3, 0xD6, 0x40, 0xE6, 0xD6, 0xD9, 0xD3, 0xC4}));
        ProgramRun whole = RunVelmorc(Quoted(in259) + " " + Quoted(out259));
        EXPECT_EQ(whole.exitCode, 0u) << whole.errors;
        EXPECT_EQ(whole.output, created);
        EXPECT_EQ(ReadWholeFile(out259), "HELLO WORLD");

        // An input that exists under its long name is refused all the same.
        std::string in260 = PathOfLength(folder, 260, letter, ".ebc");
        WriteWholeFile(in260, "x");
        std::string out260 = PathOfLength(folder, 260, letter, ".txt");
        struct Case {
            std::string input, output;
            const char* message;
        };
        for (const Case& c : {Case{in260, out259, "Input File Not Found"},
                              Case{in259, out260, "Invalid Output File name or path"}}) {
            ProgramRun run = RunVelmorc(Quoted(c.input) + " " + Quoted(c.output));
            EXPECT_EQ(run.exitCode, 1u);
            EXPECT_EQ(run.errors, std::string("EBCDIC-ASCII Error: ") + c.message + "\r\n");
        }
        EXPECT_EQ(ReadWholeFile(out259), "HELLO WORLD");
        EXPECT_EQ(FolderEntries(out260.substr(0, out260.rfind('\\'))), std::vector<std::string>{})
            << "a file was made under a cut name";
    }
}

TEST_F(VelmorcTest, JobErrorsGoToStandardErrorAndTheExitCode)
{
    WriteWholeFile(in, "x");
    ProgramRun run = RunVelmorc(Quoted(in) + " " + Quoted(in));
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.errors, "EBCDIC-ASCII Error: Error on Output File, code= 70\r\n");
    EXPECT_EQ(run.output, "Created  0 bytes in output file.\r\n");
    EXPECT_EQ(ReadWholeFile(in), "x");
}

// The length a file's own structure shows, alone and as the job's; a stream file shows none
// and gets no output; a missing input gets its check's message.
TEST_F(VelmorcTest, GuessesTheRecordLengthAloneAndForTheJob)
{
    WriteWholeFile(in, CardImages(300, 5));
    const std::string text = folder / "text.ebc", given = folder / "given.txt";
    WriteWholeFile(text, NewLineText(2000, 5));

    ProgramRun guess = RunVelmorc("--guess " + Quoted(in));
    EXPECT_EQ(guess.exitCode, 0u);
    EXPECT_EQ(guess.output, "80\r\n");
    EXPECT_EQ(guess.errors, "");
    ProgramRun job = RunVelmorc(Quoted(in) + " " + Quoted(out) + " auto");
    EXPECT_EQ(job.exitCode, 0u);
    EXPECT_EQ(job.output, "Created  300 80-byte records\r\n");
    EXPECT_EQ(RunVelmorc(Quoted(in) + " " + Quoted(given) + " 80").exitCode, 0u);
    EXPECT_EQ(ReadWholeFile(out), ReadWholeFile(given)) << "auto gives the file that its length gives";

    struct Case {
        std::string arguments;
        std::string errors;
    };
    const std::string none = "velmorc: no fixed record length found in " + text + "\r\n";
    const std::string missing = "EBCDIC-ASCII Error: Input File Not Found\r\n";
    const Case cases[] = {
        {"--guess " + Quoted(text), none},
        {Quoted(text) + " " + Quoted(folder / "new.txt") + " auto", none},
        {"--guess " + Quoted(folder / "missing.ebc"), missing},
        {Quoted(folder / "missing.ebc") + " " + Quoted(folder / "new.txt") + " auto", missing},
    };
    for (const Case& c : cases) {
        ProgramRun run = RunVelmorc(c.arguments);
        EXPECT_EQ(run.exitCode, 1u) << c.arguments;
        EXPECT_EQ(run.errors, c.errors) << c.arguments;
        EXPECT_EQ(run.output, "") << c.arguments;
    }
    EXPECT_FALSE(FileExists(folder / "new.txt")) << "no output is made for a length the input does not show";
}

TEST_F(VelmorcTest, UsageForBadArguments)
{
    for (const char* arguments : {"", "one", "a b 80x", "a b 1234567", "a b c d", "a b -5", "--progress", "--progress a", "a --progress b",
                                  "--guess", "--guess a b", "a b Auto"}) {
        ProgramRun run = RunVelmorc(arguments);
        EXPECT_EQ(run.exitCode, 2u) << arguments;
        EXPECT_EQ(run.errors.rfind("usage: velmorc [--progress] INPUT OUTPUT [LRECL | auto]", 0), 0u) << arguments;
    }
}

TEST_F(VelmorcTest, ProgressOnRequestOnlyOnStandardError)
{
    // A sparse gibibyte: long enough for several redraws, cheap to make; the output goes to NUL.
    ASSERT_TRUE(MakeSparseFile(in, 1ULL << 30));
    const std::string created = "Created  1073741824 bytes in output file.\r\n";
    ULONGLONG started = GetTickCount64();
    ProgramRun shown = RunVelmorc("--progress " + Quoted(in) + " NUL");
    ULONGLONG elapsed = GetTickCount64() - started;
    EXPECT_EQ(shown.exitCode, 0u);
    EXPECT_EQ(shown.output, created);
    // How many redraws fall between the first and the last depends on the machine's speed (a
    // sparse gibibyte may take well under a second); that each is whole, in order and no more
    // frequent than four a second does not.
    const std::string& e = shown.errors;
    ASSERT_GE(e.size(), 2u);
    EXPECT_EQ(e.substr(e.size() - 2), "\r\n") << "the line is finished";
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < e.size() - 2;) {
        ASSERT_EQ(e[at], '\r') << e;
        std::size_t next = e.find('\r', at + 1);
        lines.push_back(e.substr(at + 1, next - at - 1));
        at = next;
    }
    ASSERT_GE(lines.size(), 2u) << e;
    EXPECT_EQ(lines.front().rfind("0%  0 of 1073741824 bytes", 0), 0u) << lines.front();
    EXPECT_EQ(lines.back().rfind("100%  1073741824 of 1073741824 bytes  ", 0), 0u) << lines.back();
    EXPECT_LE(lines.size(), 3 + elapsed / 250) << "redrawn more often than four times a second";
    unsigned long long lastDone = 0;
    for (const std::string& line : lines) {
        unsigned percent = 0;
        unsigned long long done = 0, total = 0;
        double rate = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%u%%  %llu of %llu bytes  %lf MiB/s", &percent, &done, &total, &rate), 4) << line;
        EXPECT_EQ(total, 1ULL << 30);
        EXPECT_EQ(percent, done * 100 / total) << line;
        EXPECT_GE(done, lastDone) << line;
        lastDone = done;
    }

    ProgramRun quiet = RunVelmorc(Quoted(in) + " NUL");
    EXPECT_EQ(quiet.exitCode, 0u);
    EXPECT_EQ(quiet.output, created);
    EXPECT_EQ(quiet.errors, "") << "no progress without a console or --progress";
}

std::uint64_t FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Utf16(path).c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::uint64_t BytesInFolder(const std::string& folder)
{
    std::uint64_t bytes = 0;
    for (const std::string& name : FolderEntries(folder)) bytes += FileSize(folder + "\\" + name);
    return bytes;
}

// A job stopped from outside, or its process killed, part way through a long input: whatever
// it had written is gone and the output is the old one (or none), unless it had to be written
// in place. The long input is sparse and, with the output, in memory (/dev/shm), which Wine
// shows as Z:\dev\shm; a SIGINT to the program's own process is Wine's Ctrl+C.
TEST(VelmorcStopTest, AJobStoppedOrKilledLeavesTheOutputAsItWas)
{
    DWORD shm = GetFileAttributesW(L"Z:\\dev\\shm");
    if (shm == INVALID_FILE_ATTRIBUTES || !(shm & FILE_ATTRIBUTE_DIRECTORY) || !FileExists("Z:\\bin\\sh"))
        GTEST_SKIP() << "needs Wine's view of /dev/shm and /bin/sh";
    const std::uint64_t inputBytes = 16ULL << 30;
    const char unchanged[] = "velmorc: the job was stopped; the output was left unchanged";
    const char inPlace[] = "velmorc: the job was stopped; the output, written in place, is incomplete";
    const std::string oldWords = "old words";
    enum class Way { CtrlC, Kill };
    struct Case {
        const char* name;
        Way way;
        bool outputExists;
        bool folderTakesNoNewFile;
        bool progress;
        const char* message;  // on standard error's last line, after a Ctrl+C
    };
    const Case cases[] = {
        {"Ctrl+C", Way::CtrlC, true, false, true, unchanged},
        {"Ctrl+C, no output before, no progress line", Way::CtrlC, false, false, false, unchanged},
        {"Ctrl+C, a folder that takes no new file", Way::CtrlC, true, true, false, inPlace},
        {"killed", Way::Kill, true, false, true, nullptr},
        {"killed, no output before", Way::Kill, false, false, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchFolder place("Z:\\dev\\shm");
        std::string in = place / "in.ebc";
        ASSERT_TRUE(MakeSparseFile(in, inputBytes));
        std::string outFolder = place / "out";
        ASSERT_TRUE(CreateDirectoryW(Utf16(outFolder).c_str(), nullptr));
        std::string out = outFolder + "\\old.txt";
        if (c.outputExists) WriteWholeFile(out, oldWords);
        // Only this test's velmorc has the folder's name, followed by its subfolder, on its command line.
        std::string pattern = "[v]elmorc[.]exe.*" + place.Path().substr(place.Path().rfind('\\') + 1) + ".out";
        if (c.folderTakesNoNewFile) {
            ASSERT_EQ(RunUnixCommand("chmod a-w " + UnixPath(outFolder)), 0);
        }

        ULONGLONG stoppedAt = 0, endedAt = 0;
        std::uint64_t writtenBeforeStop = 0;
        ProgramRun run = RunProgram(
            "\"" + Velmorc + "\" " + (c.progress ? "--progress " : "") + "\"" + in + "\" \"" + out + "\"",
            [&](const PROCESS_INFORMATION& process) {
                std::uint64_t before = c.outputExists ? oldWords.size() : 0;
                ULONGLONG startedAt = GetTickCount64();
                while (WaitForSingleObject(process.hProcess, 10) == WAIT_TIMEOUT && BytesInFolder(outFolder) <= before &&
                       GetTickCount64() - startedAt < 10000) {
                }
                std::uint64_t now = BytesInFolder(outFolder);
                writtenBeforeStop = now > before ? now - before : 0;
                stoppedAt = GetTickCount64();
                if (c.way == Way::Kill) {
                    EXPECT_TRUE(TerminateProcess(process.hProcess, 9));
                } else {
                    EXPECT_EQ(RunUnixCommand("pkill -INT -f '" + pattern + "'"), 0) << "no process matched " << pattern;
                }
                // A job that runs on would fill the memory with its output.
                if (WaitForSingleObject(process.hProcess, 3000) == WAIT_TIMEOUT) {
                    ADD_FAILURE() << "still running 3 s after the stop";
                    TerminateProcess(process.hProcess, 9);
                    WaitForSingleObject(process.hProcess, INFINITE);
                }
                endedAt = GetTickCount64();
            });
        if (c.folderTakesNoNewFile) {
            EXPECT_EQ(RunUnixCommand("chmod u+w " + UnixPath(outFolder)), 0);
        }
        std::printf("[ stop     ] %s: ended %llu ms after the stop, %llu bytes written by then\n", c.name,
                    static_cast<unsigned long long>(endedAt - stoppedAt), static_cast<unsigned long long>(writtenBeforeStop));
        EXPECT_GT(writtenBeforeStop, 0u) << "the job was not under way";
        EXPECT_LE(endedAt - stoppedAt, 3000u);

        if (c.message != nullptr) {
            EXPECT_EQ(run.exitCode, 3u) << run.errors;
            EXPECT_EQ(run.output, "");
            const std::string lastLine = std::string(c.message) + "\r\n";
            if (c.progress) {
                EXPECT_EQ(run.errors.rfind("\r0%  0 of 17179869184 bytes", 0), 0u) << run.errors;
                ASSERT_GE(run.errors.size(), lastLine.size() + 2) << run.errors;
                EXPECT_EQ(run.errors.substr(run.errors.size() - lastLine.size() - 2), "\r\n" + lastLine)
                    << "the progress line is finished first: " << run.errors;
            } else {
                EXPECT_EQ(run.errors, lastLine);
            }
        }
        // The temporary file is gone with the job, even with a killed one.
        EXPECT_EQ(FolderEntries(outFolder), c.outputExists ? std::vector<std::string>{"old.txt"} : std::vector<std::string>{});
        if (c.folderTakesNoNewFile) {
            EXPECT_GT(FileSize(out), oldWords.size()) << "written in place";
            EXPECT_LT(FileSize(out), inputBytes);
        } else if (c.outputExists) {
            EXPECT_EQ(ReadWholeFile(out), oldWords);
        }
    }
}

// Sets VELMOR_KERNEL for the programs this test starts, and takes it away again.
class KernelInEnvironment {
public:
    explicit KernelInEnvironment(const char* name) { SetEnvironmentVariableA("VELMOR_KERNEL", name); }
    ~KernelInEnvironment() { SetEnvironmentVariableA("VELMOR_KERNEL", nullptr); }
    KernelInEnvironment(const KernelInEnvironment&) = delete;
    KernelInEnvironment& operator=(const KernelInEnvironment&) = delete;
};

TEST_F(VelmorcTest, EveryKernelThisProcessorRunsGivesTheSameFiles)
{
    std::string bytes(5000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 151 + i / 256);
    WriteWholeFile(in, bytes);
    std::string expected(bytes.size(), '\0');
    TranslateBuffer(bytes.data(), &expected[0], static_cast<std::int32_t>(bytes.size()));
    std::string expectedRecords;
    for (std::size_t at = 0; at < expected.size(); at += 80) expectedRecords += expected.substr(at, 80) + "\r\n";

    for (TranslationKernel kernel : RunnableKernels()) {
        KernelInEnvironment chosen(TranslationKernelName(kernel));
        ProgramRun plain = RunVelmorc(Quoted(in) + " " + Quoted(out));
        EXPECT_EQ(plain.exitCode, 0u) << TranslationKernelName(kernel) << ": " << plain.errors;
        EXPECT_TRUE(ReadWholeFile(out) == expected) << TranslationKernelName(kernel);
        ProgramRun records = RunVelmorc(Quoted(in) + " " + Quoted(out) + " 80");
        EXPECT_EQ(records.output, "Created  63 80-byte records\r\n") << TranslationKernelName(kernel);
        EXPECT_TRUE(ReadWholeFile(out) == expectedRecords) << TranslationKernelName(kernel);
    }
}

TEST_F(VelmorcTest, RefusesAKernelItCannotRunBeforeTouchingAFile)
{
    WriteWholeFile(in, "x");
    std::vector<std::string> refused = {"sse2", "AVX2", " plain"};
    for (TranslationKernel kernel : AllTranslationKernels)
        if (!TranslationKernelRuns(kernel)) refused.push_back(TranslationKernelName(kernel));
    for (const std::string& name : refused) {
        KernelInEnvironment chosen(name.c_str());
        ProgramRun run = RunVelmorc(Quoted(in) + " " + Quoted(out));
        EXPECT_EQ(run.exitCode, 2u) << name;
        EXPECT_EQ(run.errors.rfind("velmorc: VELMOR_KERNEL=" + name + ": ", 0), 0u) << run.errors;
        EXPECT_EQ(run.output, "") << name;
        EXPECT_FALSE(FileExists(out)) << name;
    }
    KernelInEnvironment empty("");
    EXPECT_EQ(RunVelmorc(Quoted(in) + " " + Quoted(out)).exitCode, 0u) << "an empty name means no choice";
}

TEST_F(VelmorcTest, VersionAndHelp)
{
    ProgramRun version = RunVelmorc("--version");
    EXPECT_EQ(version.exitCode, 0u);
    EXPECT_EQ(version.output, "velmorc " VELMOR_VERSION_TEXT "\r\n");
    ProgramRun help = RunVelmorc("--help");
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_EQ(help.output.rfind("usage: velmorc [--progress] INPUT OUTPUT [LRECL | auto]", 0), 0u) << help.output;
    for (const char* exitCode : {"\r\n       velmorc --guess INPUT\r\n", "with auto,\r\n  into records of the length INPUT's own structure shows.",
                                 "exit codes: 0 done, 1 a check failed or the job reported an error, 2 bad arguments",
                                 "\r\n  3 stopped (Ctrl+C, Ctrl+Break, the console closed): the output is left as it was"})
        EXPECT_NE(help.output.find(exitCode), std::string::npos) << exitCode;
    EXPECT_EQ(help.errors, "");
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1) Velmorc = WindowsPath(argv[1]);
    return RUN_ALL_TESTS();
}
