#include "convert_file.h"
#include "file_channels.h"
#include "process_request.h"
#include "support.h"
#include <gtest/gtest.h>

namespace {

// The output of the one-record-at-a-time algorithm: each record, then CR LF.
std::string RecordsOf(const std::string& translated, std::size_t lrecl)
{
    std::string out;
    for (std::size_t at = 0; at < translated.size(); at += lrecl) out += translated.substr(at, lrecl) + "\r\n";
    return out;
}

bool OpenExclusively(const std::string& name)
{
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

class ConvertFileTest : public ::testing::Test {
protected:
    void SetUp() override { ErrorCaption = "EBCDIC-ASCII Error"; }

    std::int64_t Convert(std::int32_t lrecl = 0) { return ConvertFile(nullptr, in, out, lrecl > 0 ? -1 : 0, lrecl); }

    void ExpectOneError(const std::string& text)
    {
        ASSERT_EQ(capture.Shown().size(), 1u);
        EXPECT_EQ(capture.Shown()[0].text, text);
        EXPECT_EQ(capture.Shown()[0].caption, "EBCDIC-ASCII Error");
        EXPECT_EQ(capture.Shown()[0].style, static_cast<unsigned>(MB_ICONHAND));
    }

    ScratchFolder folder;
    MessageCapture capture;
    std::string in = folder / "input.ebc";
    std::string out = folder / "output.txt";
};

TEST_F(ConvertFileTest, EmptyInputEmptiesTheOutputInBothForms)
{
    WriteWholeFile(in, "");
    for (std::int32_t lrecl : {0, 80}) {
        WriteWholeFile(out, "previous output");
        EXPECT_EQ(Convert(lrecl), 0);
        EXPECT_EQ(ReadWholeFile(out), "");
    }
    EXPECT_TRUE(capture.Shown().empty());
}

TEST_F(ConvertFileTest, RecordsOfFourBytes)
{
    std::string ten = Bytes({0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xD1});
    WriteWholeFile(in, ten);
    EXPECT_EQ(Convert(4), 3);
    EXPECT_EQ(ReadWholeFile(out), "ABCD\r\nEFGH\r\nIJ\r\n");

    WriteWholeFile(in, ten.substr(0, 8));
    EXPECT_EQ(Convert(4), 2);
    EXPECT_EQ(ReadWholeFile(out), "ABCD\r\nEFGH\r\n");

    WriteWholeFile(in, ten.substr(0, 3));
    EXPECT_EQ(Convert(4), 1);
    EXPECT_EQ(ReadWholeFile(out), "ABC\r\n");
}

TEST_F(ConvertFileTest, PlainFormAcrossSeveralSteps)
{
    std::string input = PatternBytes(5000000);
    WriteWholeFile(in, input);
    WriteWholeFile(out, std::string(6000000, 'x'));
    EXPECT_EQ(Convert(), 5000000);
    std::string output = ReadWholeFile(out);
    EXPECT_EQ(output.size(), 5000000u) << "a longer old output is cut to the new length";
    EXPECT_TRUE(output == Translated(input));
}

// Whole records go through each system call now; the bytes must stay those of the
// one-record-at-a-time algorithm for every record length and input length.
TEST_F(ConvertFileTest, RecordFormMatchesOneRecordAtATime)
{
    const std::size_t step = ConvertStepSize;
    const std::pair<std::int32_t, std::size_t> cases[] = {
        {1, 0}, {1, 1}, {1, 1000}, {2, 7}, {3, 3}, {79, 100000}, {80, 80}, {80, 81}, {80, 79},
        {80, 2 * step + 17}, {81, step}, {4096, step + 4096}, {999999, 3 * 999999 - 1},
        {999999, step + 1}, {static_cast<std::int32_t>(step), step}, {static_cast<std::int32_t>(step) - 1, step + 1},
        {static_cast<std::int32_t>(step) + 1, 2 * step + 3}, {3 * static_cast<std::int32_t>(step), 5 * step + 1},
    };
    for (auto [lrecl, length] : cases) {
        std::string input = PatternBytes(length, static_cast<unsigned>(lrecl));
        WriteWholeFile(in, input);
        std::size_t records = (length + static_cast<std::size_t>(lrecl) - 1) / static_cast<std::size_t>(lrecl);
        EXPECT_EQ(Convert(lrecl), static_cast<std::int64_t>(records)) << "LRECL " << lrecl << ", " << length << " bytes";
        EXPECT_TRUE(ReadWholeFile(out) == RecordsOf(Translated(input), static_cast<std::size_t>(lrecl)))
            << "LRECL " << lrecl << ", " << length << " bytes";
    }
}

TEST_F(ConvertFileTest, InputHeldByAnotherProgram)
{
    WriteWholeFile(in, "x");
    WriteWholeFile(out, "untouched");
    HANDLE other = CreateFileA(in.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(Convert(), 0);
    CloseHandle(other);
    ExpectOneError("Error on Input File, code= 70");
    EXPECT_EQ(ReadWholeFile(out), "untouched");
}

TEST_F(ConvertFileTest, AnInputThatVanishedAfterItsCheckIsReportedNotCreated)
{
    WriteWholeFile(in, "x");
    WriteWholeFile(out, "untouched");
    ASSERT_EQ(CheckProcessEntries(in, out, 0, 0).message, nullptr);
    ASSERT_TRUE(DeleteFileA(in.c_str()));
    EXPECT_EQ(Convert(), 0);
    ExpectOneError("Error on Input File, code= 53");
    EXPECT_FALSE(FileExists(in)) << "the job created the input it was to read";
    EXPECT_EQ(ReadWholeFile(out), "untouched");
}

TEST_F(ConvertFileTest, WildcardInputLeavesTheOutputAlone)
{
    WriteWholeFile(out, "untouched");
    EXPECT_EQ(ConvertFile(nullptr, folder / "*.ebc", out, 0, 0), 0);
    ExpectOneError("Error on Input File, code= 64");
    EXPECT_EQ(ReadWholeFile(out), "untouched");
}

// In any spelling: a temporary file put in the output's place would replace the input itself.
TEST_F(ConvertFileTest, OutputNamingTheInput)
{
    WriteWholeFile(in, Bytes({0xC1, 0xC2}));
    for (const std::string& spelling : {in, folder / "INPUT.EBC", folder / "sub\\..\\input.ebc"}) {
        MessageCapture each;
        EXPECT_EQ(ConvertFile(nullptr, in, spelling, -1, 80), 0) << spelling;
        ASSERT_EQ(each.Shown().size(), 1u) << spelling;
        EXPECT_EQ(each.Shown()[0].text, "Error on Output File, code= 70") << spelling;
        EXPECT_EQ(ReadWholeFile(in), Bytes({0xC1, 0xC2})) << spelling;
        EXPECT_TRUE(OpenExclusively(in)) << "the input was closed again";
        EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"input.ebc"}) << spelling;
    }
}

// The new output takes the old one's place as an overwrite would leave it, attributes and all.
TEST_F(ConvertFileTest, AnExistingOutputIsReplacedKeepingItsAttributes)
{
    WriteWholeFile(in, Bytes({0xC1, 0xC2}));
    WriteWholeFile(out, "a longer old output");
    ASSERT_TRUE(SetFileAttributesA(out.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(Convert(), 2);
    EXPECT_EQ(ReadWholeFile(out), "AB");
    EXPECT_EQ(GetFileAttributesA(out.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE),
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(FolderEntries(folder.Path()), (std::vector<std::string>{"input.ebc", "output.txt"}));
}

// Stops the job at its calls-th report, and hears how it stopped.
class StopAt final : public ConvertObserver {
public:
    explicit StopAt(int calls) : calls_(calls) {}
    bool Progress(std::uint64_t, std::uint64_t) override { return ++seen_ != calls_; }
    void Stopped(bool outputAsBefore) override { stopped_ = outputAsBefore ? 1 : 0; }
    int Stops() const { return stopped_; }  // -1 not stopped, 1 with the output as before, 0 not

private:
    int calls_;
    int seen_ = 0;
    int stopped_ = -1;
};

// Where no temporary name fits, the output is written in place, as an output always was.
TEST_F(ConvertFileTest, AnOutputWithNoRoomForATemporaryNameIsWrittenInPlace)
{
    std::string cramped = folder.Path() + "\\" + std::string(MaxFileNameLength - 14 - folder.Path().size(), 'd');
    ASSERT_TRUE(CreateDirectoryA(cramped.c_str(), nullptr));
    out = cramped + "\\o.txt";
    WriteWholeFile(in, Bytes({0xC1, 0xC2}));
    WriteWholeFile(out, "old words");
    StopAt never(0);
    EXPECT_EQ(ConvertFile(nullptr, in, out, 0, 0, &never), 2);
    EXPECT_EQ(ReadWholeFile(out), "AB");
    EXPECT_EQ(FolderEntries(cramped), std::vector<std::string>{"o.txt"});
}

// Every way a job can end short leaves the output as it was, or absent, and no other file.
TEST_F(ConvertFileTest, AJobThatEndsShortLeavesTheOutputAsItWas)
{
    WriteWholeFile(in, PatternBytes(3 * ConvertStepSize));
    struct Case {
        const char* name;
        bool writing;   // the fault hits a write, else a read
        int faultAt;    // on this call of its kind; 0: no fault
        DWORD code;
        int stopAt;     // the observer answers false on this report; 0: never
        const char* message;
    };
    const Case cases[] = {
        {"disk full at the first write", true, 1, ERROR_DISK_FULL, 0, "Error on Output File, code= 61"},
        {"disk full after a step", true, 2, ERROR_DISK_FULL, 0, "Error on Output File, code= 61"},
        {"handle disk full", true, 3, ERROR_HANDLE_DISK_FULL, 0, "Error on Output File, code= 61"},
        {"bad sector in mid-file", false, 2, ERROR_CRC, 0, "Error on Input File, code= 72"},
        {"stopped before the first step", false, 0, 0, 1, nullptr},
        {"stopped after a step", false, 0, 0, 3, nullptr},
        {"stopped at the last report", false, 0, 0, 4, nullptr},
    };
    for (const Case& c : cases) {
        for (bool existing : {true, false}) {
            for (std::int32_t lrecl : {0, 80}) {
                SCOPED_TRACE(std::string(c.name) + (existing ? ", over an old output" : ", new output") +
                             (lrecl ? ", LRECL 80" : ", plain"));
                DeleteFileA(out.c_str());
                if (existing) WriteWholeFile(out, "old words");
                int calls = 0;
                ChannelFault previous = SetChannelFault([&](FileNumber, bool writing) -> DWORD {
                    return writing == c.writing && ++calls == c.faultAt ? c.code : 0;
                });
                StopAt observer(c.stopAt);
                MessageCapture each;
                EXPECT_EQ(ConvertFile(nullptr, in, out, lrecl ? -1 : 0, lrecl, &observer), 0);
                SetChannelFault(previous);
                if (c.message != nullptr) {
                    ASSERT_EQ(each.Shown().size(), 1u);
                    EXPECT_EQ(each.Shown()[0].text, c.message);
                } else {
                    EXPECT_EQ(each.Shown().size(), 0u) << "a stopped job reports nothing";
                }
                EXPECT_EQ(observer.Stops(), c.stopAt ? 1 : -1);
                EXPECT_EQ(FileExists(out), existing);
                EXPECT_EQ(existing ? ReadWholeFile(out) : "", existing ? "old words" : "");
                std::vector<std::string> expected = {"input.ebc"};
                if (existing) expected.push_back("output.txt");
                EXPECT_EQ(FolderEntries(folder.Path()), expected);
                EXPECT_EQ(NextFreeFileNumber(), 1) << "a channel stayed open";
            }
        }
    }
}

TEST_F(ConvertFileTest, WindowIsDisabledWhileTheJobRunsAndEnabledAfter)
{
    HWND window = CreateWindowExA(0, "STATIC", "job owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    bool enabledDuringBox = true;
    MessageSink previous = SetMessageSink([&](const std::string&, const std::string&, unsigned) {
        enabledDuringBox = IsWindowEnabled(window) != FALSE;
        return IDOK;
    });
    EXPECT_EQ(ConvertFile(window, folder / "a*b", out, 0, 0), 0);
    EXPECT_FALSE(enabledDuringBox);
    EXPECT_TRUE(IsWindowEnabled(window));

    WriteWholeFile(in, "abc");
    EXPECT_EQ(ConvertFile(window, in, out, 0, 0), 3);
    EXPECT_TRUE(IsWindowEnabled(window));
    SetMessageSink(previous);
    DestroyWindow(window);
}

TEST_F(ConvertFileTest, NoFileStaysOpenAfterAJob)
{
    WriteWholeFile(in, PatternBytes(1000));
    EXPECT_EQ(Convert(7), 143);
    EXPECT_TRUE(OpenExclusively(in));
    EXPECT_TRUE(OpenExclusively(out));
    EXPECT_EQ(NextFreeFileNumber(), 1);
}

// A full device refuses the write: the job stops at once and says so. Its folder takes no new
// file, so it is written in place.
TEST_F(ConvertFileTest, WriteFailureStopsTheJob)
{
    WriteWholeFile(in, PatternBytes(3 * ConvertStepSize));
    for (std::int32_t lrecl : {0, 80}) {
        MessageCapture each;
        EXPECT_EQ(ConvertFile(nullptr, in, "Z:\\dev\\full", lrecl ? -1 : 0, lrecl), 0);
        ASSERT_EQ(each.Shown().size(), 1u);
        EXPECT_EQ(each.Shown()[0].text, "Error on Output File, code= 61") << "a full disk is called so";
        EXPECT_TRUE(OpenExclusively(in));
    }
}

// A device attribute whose every read fails, as a disk with a bad sector: the job stops at
// the first failed read and says so.
TEST_F(ConvertFileTest, ReadFailureStopsTheJob)
{
    in = "Z:\\sys\\devices\\system\\cpu\\power\\autosuspend_delay_ms";
    if (!FileExists(in)) GTEST_SKIP() << "no such device attribute here";
    for (std::int32_t lrecl : {0, 80}) {
        MessageCapture each;
        EXPECT_EQ(Convert(lrecl), 0);
        ASSERT_EQ(each.Shown().size(), 1u);
        EXPECT_EQ(each.Shown()[0].text.rfind("Error on Input File, code= ", 0), 0u) << each.Shown()[0].text;
        EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{}) << "a part of the output was left";
    }
}

// A file that is shorter than its measured length, as an input that shrank after the job
// measured it: the job ends where the input really ends.
TEST_F(ConvertFileTest, InputEndingBeforeItsMeasuredLength)
{
    const std::string source = "Z:\\sys\\devices\\system\\cpu\\online";
    std::string real = ReadWholeFile(source);
    ErrorCell error;
    OpenChannel(source, 5, OpenBinaryReadWrite, 128, error);
    std::uint64_t measured = ChannelLength(5, error);
    CloseChannel(5, error);
    if (real.empty() || measured <= real.size()) GTEST_SKIP() << "no file here reports more than it holds";

    in = source;
    EXPECT_EQ(Convert(), static_cast<std::int64_t>(real.size()));
    EXPECT_EQ(ReadWholeFile(out), Translated(real));
    EXPECT_EQ(Convert(80), 1);
    EXPECT_EQ(ReadWholeFile(out), Translated(real) + "\r\n") << "no empty records for the missing bytes";
    EXPECT_TRUE(capture.Shown().empty());
}

// Counts are exact beyond 4 GiB. The input is sparse and the output goes to NUL, so the
// test costs reading time only.
TEST_F(ConvertFileTest, InputsBeyondFourGibibytes)
{
    const std::uint64_t length = (1ull << 32) + 5;
    HANDLE file = CreateFileA(in.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(length - 5);
    SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    DWORD wrote = 0;
    WriteFile(file, "\xC1\xC2\xC3\xC4\xC5", 5, &wrote, nullptr);
    CloseHandle(file);

    out = "NUL";
    EXPECT_EQ(Convert(), static_cast<std::int64_t>(length));
    EXPECT_EQ(Convert(999999), static_cast<std::int64_t>((length + 999998) / 999999));
    EXPECT_TRUE(capture.Shown().empty());
}

}  // namespace
