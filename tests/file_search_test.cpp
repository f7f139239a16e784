#include "file_search.h"
#include "output_probe.h"
#include "process_request.h"
#include "support.h"
#include <gtest/gtest.h>

namespace {

std::string RecorderPath;  // the stand-in program, from the command line

class FileSearch : public ::testing::Test {
protected:
    ScratchFolder folder;
};

TEST_F(FileSearch, FindFileNameSeesOrdinaryFilesOnly)
{
    CreateDirectoryA((folder / "adir").c_str(), nullptr);
    WriteWholeFile(folder / "hidden.ebc", "h");
    SetFileAttributesA((folder / "hidden.ebc").c_str(), FILE_ATTRIBUTE_HIDDEN);
    WriteWholeFile(folder / "data.ebc", "d");
    SetFileAttributesA((folder / "data.ebc").c_str(), FILE_ATTRIBUTE_READONLY);

    ErrorCell error;
    error.number = 99;
    EXPECT_EQ(FindFileName(folder.Path() + "\\", 0, error), "data.ebc");
    EXPECT_EQ(error.number, 0) << "the search clears the caller's cell";
    EXPECT_EQ(FindFileName(folder / "data.ebc", 0, error), "data.ebc");
    EXPECT_EQ(FindFileName(folder / "*.ebc", 0, error), "data.ebc");
    EXPECT_EQ(FindFileName(folder / "d?ta.*", 0, error), "data.ebc");
    EXPECT_EQ(FindFileName(folder / "adir", 0, error), "");
    EXPECT_EQ(FindFileName(folder / "hidden.ebc", 0, error), "");
    EXPECT_EQ(FindFileName(folder / "hidden.ebc", FILE_ATTRIBUTE_HIDDEN, error), "hidden.ebc");
    EXPECT_EQ(FindFileName(folder / "adir", FILE_ATTRIBUTE_DIRECTORY, error), "adir");
    EXPECT_EQ(FindFileName(folder / "missing", 0, error), "");
    EXPECT_EQ(FindFileName(folder / "nofolder\\x", 0, error), "");
    EXPECT_EQ(error.number, 0);
    SetFileAttributesA((folder / "data.ebc").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileSearch, CurrentDirectory)
{
    char expected[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, expected);
    ErrorCell error;
    EXPECT_EQ(CurrentDirectory(error), expected);
    EXPECT_EQ(error.number, 0);
}

TEST_F(FileSearch, CanCreateFileAnswersWithoutHarm)
{
    std::string fresh = folder / "fresh.txt";
    EXPECT_EQ(CanCreateFile(fresh), 1);
    EXPECT_FALSE(FileExists(fresh)) << "nothing left behind";

    std::string existing = folder / "existing.txt";
    WriteWholeFile(existing, "contents");
    EXPECT_EQ(CanCreateFile(existing), 1);
    EXPECT_EQ(ReadWholeFile(existing), "contents");

    std::string readOnly = folder / "readonly.txt";
    WriteWholeFile(readOnly, "kept");
    SetFileAttributesA(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(CanCreateFile(readOnly), 0);
    EXPECT_EQ(ReadWholeFile(readOnly), "kept");

    std::string hidden = folder / "hidden.txt";
    WriteWholeFile(hidden, "secret");
    SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
    CanCreateFile(hidden);
    EXPECT_EQ(ReadWholeFile(hidden), "secret");

    std::string held = folder / "held.txt";
    WriteWholeFile(held, "busy");
    HANDLE other = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(CanCreateFile(held), 0);
    CloseHandle(other);
    EXPECT_EQ(ReadWholeFile(held), "busy");

    EXPECT_EQ(CanCreateFile(folder / "nofolder\\out.txt"), 0);
    EXPECT_FALSE(FileExists(folder / "nofolder"));
    EXPECT_EQ(CanCreateFile(folder / "*.txt"), 0);
    EXPECT_EQ(ReadWholeFile(existing), "contents");
    EXPECT_EQ(CanCreateFile(folder.Path()), 0) << "a folder is no file";
    EXPECT_EQ(CanCreateFile(""), 0);
}

TEST_F(FileSearch, ProcessChecksInTheirOrder)
{
    std::string input = folder / "in.ebc";
    WriteWholeFile(input, "x");
    std::string output = folder / "out.txt";
    struct Case {
        std::string in, out;
        std::int32_t fixed, lrecl;
        EntryField field;
        const char* message;
    };
    const Case cases[] = {
        {"", output, 0, 0, EntryField::Input, "Input File Not Found"},
        {folder / "none.ebc", folder / "no\\out", -1, 0, EntryField::Input, "Input File Not Found"},
        {folder.Path(), output, 0, 0, EntryField::Input, "Input File Not Found"},
        {input, folder / "no\\out", -1, 0, EntryField::Output, "Invalid Output File name or path"},
        {input, folder / "o*t", 0, 0, EntryField::Output, "Invalid Output File name or path"},
        {input, output, -1, 0, EntryField::RecordLength, "LRECL Required if CRLF to be added"},
        {input, output, 0, 0, EntryField::None, nullptr},
        {input, input, -1, 80, EntryField::None, nullptr},
        {folder / "*.ebc", output, 0, 0, EntryField::None, nullptr},
    };
    for (const Case& c : cases) {
        EntryCheck check = CheckProcessEntries(c.in, c.out, c.fixed, c.lrecl);
        EXPECT_EQ(check.field, c.field) << c.in << " -> " << c.out;
        EXPECT_STREQ(check.message, c.message) << c.in << " -> " << c.out;
    }
    EXPECT_EQ(ReadWholeFile(input), "x") << "the output probe never harms the input";
}

TEST(ResultsTextTest, BothForms)
{
    EXPECT_EQ(ResultsText(1234, -1, 80), "Created  1234 80-byte records");
    EXPECT_EQ(ResultsText(3, -1, 80), "Created  3 80-byte records");
    EXPECT_EQ(ResultsText(5000, 0, 0), "Created  5000 bytes in output file.");
    EXPECT_EQ(ResultsText(0, 0, 0), "Created  0 bytes in output file.");
    EXPECT_EQ(ResultsText(5000000000, 0, 0), "Created  5000000000 bytes in output file.");
}

// The stand-in program records its own path and command line into VELMOR_RECORD.
class Launching : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(RecorderPath.empty()) << "pass the stand-in program's path";
        SetEnvironmentVariableA("VELMOR_RECORD", record.c_str());
        char path[32768];
        GetEnvironmentVariableA("PATH", path, sizeof path);
        oldPath = path;
        CopyFileA(RecorderPath.c_str(), (trusted / "velmor_probe.exe").c_str(), FALSE);
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("PATH", oldPath.c_str());
        if (oldDirectory[0] != '\0') SetCurrentDirectoryA(oldDirectory);
    }
    std::string Recorded()
    {
        std::string text = ReadWholeFile(record);
        DeleteFileA(record.c_str());
        return text;
    }
    void TrustFolder() { SetEnvironmentVariableA("PATH", (oldPath + ";" + trusted.Path()).c_str()); }

    ScratchFolder trusted;
    ScratchFolder work;
    ScratchFolder planted;  // outlives TearDown, which moves the current folder out of it
    std::string record = work / "record.txt";
    std::string oldPath;
    char oldDirectory[MAX_PATH] = {};
};

TEST_F(Launching, LongCommandLineArrivesWholeAndUnquoted)
{
    TrustFolder();
    std::string name = "C:\\some folder\\" + std::string(280, 'n') + ".txt";
    std::string line = "velmor_probe.exe " + name;
    ErrorCell error;
    DWORD id = LaunchProgram(line, SW_SHOWNORMAL | LaunchWait, error);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(error.number, 0);
    std::string recorded = Recorded();
    EXPECT_EQ(recorded.substr(recorded.find('\n') + 1), line);
}

TEST_F(Launching, BareNamesComeOnlyFromTrustedFolders)
{
    GetCurrentDirectoryA(MAX_PATH, oldDirectory);
    CopyFileA(RecorderPath.c_str(), (planted / "velmor_probe.exe").c_str(), FALSE);
    SetCurrentDirectoryA(planted.Path().c_str());

    ErrorCell error;
    EXPECT_EQ(LaunchProgram("velmor_probe.exe x", SW_SHOWNORMAL | LaunchWait, error), 0u)
        << "a program in the current folder alone is not started";
    EXPECT_EQ(TakeErrorNumber(error), 53);
    EXPECT_FALSE(FileExists(record));

    TrustFolder();
    EXPECT_NE(LaunchProgram("velmor_probe x", SW_SHOWNORMAL | LaunchWait, error), 0u);
    std::string recorded = Recorded();
    EXPECT_EQ(recorded.substr(0, recorded.find('\n')), trusted / "velmor_probe.exe")
        << "the trusted copy ran, not the planted one";
    EXPECT_EQ(recorded.substr(recorded.find('\n') + 1), "velmor_probe x");
}

TEST_F(Launching, ProgramGivenWithItsFolder)
{
    ErrorCell error;
    std::string line = "\"" + trusted / "velmor_probe.exe" + "\" a  b";
    EXPECT_NE(LaunchProgram(line, SW_SHOWNORMAL | LaunchWait, error), 0u);
    std::string recorded = Recorded();
    EXPECT_EQ(recorded.substr(recorded.find('\n') + 1), line);

    EXPECT_EQ(LaunchProgram(work / "missing.exe", SW_SHOWNORMAL, error), 0u);
    EXPECT_EQ(TakeErrorNumber(error), 53);
}

// An ended process stays known by its identifier for as long as anyone holds a handle to it.
TEST_F(Launching, LeavesNoHandleBehind)
{
    TrustFolder();
    ErrorCell error;
    DWORD id = LaunchProgram("velmor_probe once", SW_SHOWNORMAL | LaunchWait, error);
    ASSERT_NE(id, 0u);
    HANDLE ended = nullptr;
    for (int i = 0; i < 40; ++i) {  // the system lets go of an ended process soon, not at once
        ended = OpenProcess(SYNCHRONIZE, FALSE, id);
        if (ended == nullptr) break;
        CloseHandle(ended);
        Sleep(50);
    }
    EXPECT_EQ(ended, nullptr) << "a handle to the ended process is still open";
}

TEST_F(Launching, NotepadIsTheSystemOne)
{
    CopyFileA(RecorderPath.c_str(), (planted / "notepad.exe").c_str(), FALSE);
    GetCurrentDirectoryA(MAX_PATH, oldDirectory);
    SetCurrentDirectoryA(planted.Path().c_str());
    ErrorCell error;
    DWORD id = LaunchProgram("notepad.exe " + work / "none.txt", SW_SHOWMINNOACTIVE, error);
    ASSERT_NE(id, 0u);
    HANDLE editor = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    ASSERT_NE(editor, nullptr);
    TerminateProcess(editor, 0);
    WaitForSingleObject(editor, 5000);
    CloseHandle(editor);
    EXPECT_FALSE(FileExists(record)) << "the planted notepad.exe never ran";
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1) RecorderPath = WindowsPath(argv[1]);
    return RUN_ALL_TESTS();
}
