// The console converter, run as a user runs it: arguments in, files, text and exit code out.
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

TEST_F(VelmorcTest, UsageForBadArguments)
{
    for (const char* arguments : {"", "one", "a b 80x", "a b 1234567", "a b c d", "a b -5", "--progress", "--progress a", "a --progress b"}) {
        ProgramRun run = RunVelmorc(arguments);
        EXPECT_EQ(run.exitCode, 2u) << arguments;
        EXPECT_EQ(run.errors.rfind("usage: velmorc [--progress] INPUT OUTPUT [LRECL]", 0), 0u) << arguments;
    }
}

TEST_F(VelmorcTest, ProgressOnRequestOnlyOnStandardError)
{
    // A sparse gibibyte: long enough for several redraws, cheap to make; the output goes to NUL.
    {
        HANDLE file = CreateFileA(in.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        LARGE_INTEGER size;
        size.QuadPart = 1LL << 30;
        EXPECT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file));
        CloseHandle(file);
    }
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
    EXPECT_EQ(help.output.rfind("usage: velmorc [--progress] INPUT OUTPUT [LRECL]", 0), 0u) << help.output;
    EXPECT_EQ(help.errors, "");
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1) Velmorc = WindowsPath(argv[1]);
    return RUN_ALL_TESTS();
}
