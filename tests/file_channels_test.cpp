#include "file_channels.h"
#include "file_search.h"
#include "support.h"
#include <gtest/gtest.h>
#include <vector>

namespace {

// Opens name on number and answers the error number the open left.
int Open(const std::string& name, FileNumber number, std::uint16_t word)
{
    ErrorCell error;
    OpenChannel(name, number, word, 128, error);
    return TakeErrorNumber(error);
}

void Close(FileNumber number)
{
    ErrorCell error;
    CloseChannel(number, error);
}

class FileChannels : public ::testing::Test {
protected:
    ScratchFolder folder;
};

TEST_F(FileChannels, OpeningAMissingNameCreatesAnEmptyFile)
{
    for (std::uint16_t word : {OpenBinaryReadWrite, OpenOutputExplicit}) {
        std::string name = folder / ("new" + std::to_string(word));
        EXPECT_EQ(Open(name, 1, word), 0);
        Close(1);
        EXPECT_TRUE(FileExists(name));
        EXPECT_EQ(ReadWholeFile(name), "");
    }
}

TEST_F(FileChannels, OutputModeEmptiesAndBinaryModeKeeps)
{
    std::string name = folder / "data";
    WriteWholeFile(name, "content");
    ASSERT_EQ(Open(name, 1, OpenBinaryReadWrite), 0);
    Close(1);
    EXPECT_EQ(ReadWholeFile(name), "content");
    ASSERT_EQ(Open(name, 1, OpenOutputExplicit), 0);
    Close(1);
    EXPECT_EQ(ReadWholeFile(name), "");
}

TEST_F(FileChannels, ReadOnlyFileFallsBackToReadingUnlessAccessIsExplicit)
{
    std::string name = folder / "readonly";
    WriteWholeFile(name, "keep");
    SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_READONLY);

    EXPECT_EQ(Open(name, 2, OpenOutputExplicit), 70);
    ASSERT_EQ(Open(name, 1, OpenBinaryReadWrite), 0);
    ErrorCell error;
    std::string bytes;
    ReadChunk(1, 100, bytes, error);
    EXPECT_EQ(bytes, "keep");
    WriteBytes(1, "x", error);
    EXPECT_EQ(TakeErrorNumber(error), 70) << "the retry opened for reading only";
    Close(1);
    EXPECT_EQ(ReadWholeFile(name), "keep");
}

TEST_F(FileChannels, FileHeldWithoutSharingIsRefused)
{
    std::string name = folder / "held";
    WriteWholeFile(name, "x");
    HANDLE other = CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(name, 1, OpenBinaryReadWrite), 70);
    CloseHandle(other);

    ASSERT_EQ(Open(name, 1, OpenBinaryReadWrite), 0);
    EXPECT_EQ(Open(name, 2, OpenBinaryReadWrite), 70) << "held by this process on another channel";
    Close(1);
}

TEST_F(FileChannels, BadNamesAndNumbers)
{
    EXPECT_EQ(Open(folder / "*.dat", 1, OpenBinaryReadWrite), 64);
    EXPECT_EQ(Open(folder / "a?c", 1, OpenOutputExplicit), 64);
    EXPECT_EQ(Open("", 1, OpenBinaryReadWrite), 64);
    EXPECT_EQ(Open(folder / "missing\\file", 1, OpenBinaryReadWrite), 76);
    EXPECT_EQ(Open(folder / "x", -1, OpenBinaryReadWrite), 52);
    EXPECT_FALSE(FileExists(folder / "x"));
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder / "?*.*").c_str(), &entry);
    int entries = 0;
    if (find != INVALID_HANDLE_VALUE) {
        do entries += entry.cFileName[0] != '.';
        while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    EXPECT_EQ(entries, 0) << "nothing was created";
}

// A cut name may be another file: the services take a name of up to 259 bytes whole and
// refuse a longer one, which here is the 259-byte name and one more byte.
TEST_F(FileChannels, NamesOfUpTo259BytesAreTakenWholeLongerOnesAreRefused)
{
    std::string whole = PathOfLength(folder, 259, "n", "");
    std::string longer = whole + "x";
    std::string subfolder = whole.substr(0, whole.rfind('\\'));
    ASSERT_EQ(Open(whole, 1, OpenBinaryReadWrite), 0);
    ErrorCell error;
    WriteBytes(1, "kept", error);
    Close(1);
    EXPECT_EQ(ReadWholeFile(whole), "kept");

    for (std::uint16_t word : {OpenBinaryReadWrite, OpenBinaryExisting, OpenOutputExplicit})
        EXPECT_EQ(Open(longer, 1, word), 64) << word;
    EXPECT_FALSE(CanOpenForWriting(longer));
    EXPECT_EQ(FindFileName(longer, 0, error), "") << "the search must not find the shorter name";
    EXPECT_EQ(FindFileName(whole, 0, error), whole.substr(whole.rfind('\\') + 1));
    DeleteMatchingFiles(longer, error);
    EXPECT_EQ(TakeErrorNumber(error), 64);
    EXPECT_EQ(FolderEntries(subfolder), std::vector<std::string>{whole.substr(subfolder.size() + 1)});
    EXPECT_EQ(ReadWholeFile(whole), "kept") << "nothing was created, emptied or deleted";
}

TEST_F(FileChannels, TheInputOpenNeverCreatesAFile)
{
    std::string name = folder / "vanished.ebc";
    EXPECT_EQ(Open(name, 1, OpenBinaryExisting), 53);
    EXPECT_FALSE(FileExists(name));
    WriteWholeFile(name, "x");
    SetFileAttributesA(name.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(Open(name, 1, OpenBinaryExisting), 0) << "a read-only input still opens for reading";
    Close(1);
}

TEST_F(FileChannels, ATemporaryChannelTakesItsNameOnlyWhenCommitted)
{
    const std::string final = folder / "new.txt";
    auto openAndWrite = [&](const char* bytes) {
        bool existed = FileExists(final);
        std::string before = ReadWholeFile(final);
        ErrorCell error;
        OpenTemporaryChannel(final, 1, error);
        EXPECT_EQ(TakeErrorNumber(error), 0);
        WriteBytes(1, bytes, error);
        EXPECT_EQ(TakeErrorNumber(error), 0);
        EXPECT_EQ(FileExists(final), existed) << "the name is taken before the commit";
        EXPECT_EQ(ReadWholeFile(final), before);
    };
    auto commit = [&](const std::string& name, bool replacing) {
        ErrorCell error;
        CommitTemporaryChannel(1, name, replacing, error);
        EXPECT_EQ(NextFreeFileNumber(), 1) << "the channel stays open";
        return TakeErrorNumber(error);
    };
    openAndWrite("dropped");
    Close(1);
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{}) << "a closed temporary file stays";

    openAndWrite("abc");
    EXPECT_EQ(commit(final, false), 0);
    EXPECT_EQ(ReadWholeFile(final), "abc");
    openAndWrite("de");
    EXPECT_EQ(commit(final, true), 0);
    EXPECT_EQ(ReadWholeFile(final), "de");

    // A file someone made under a new output's name during the job is theirs.
    openAndWrite("ours");
    const std::string theirs = folder / "theirs.txt";
    WriteWholeFile(theirs, "theirs");
    EXPECT_EQ(commit(theirs, false), 75);
    EXPECT_EQ(ReadWholeFile(theirs), "theirs");
    EXPECT_EQ(FolderEntries(folder.Path()), (std::vector<std::string>{"new.txt", "theirs.txt"}));
}

TEST_F(FileChannels, FileNumbers)
{
    EXPECT_EQ(NextFreeFileNumber(), 1);
    ASSERT_EQ(Open(folder / "zero", 0, OpenBinaryReadWrite), 0);
    EXPECT_EQ(NextFreeFileNumber(), 1) << "0 is a channel but never handed out";
    ASSERT_EQ(Open(folder / "one", 1, OpenBinaryReadWrite), 0);
    ASSERT_EQ(Open(folder / "three", 3, OpenBinaryReadWrite), 0);
    EXPECT_EQ(NextFreeFileNumber(), 2);

    ErrorCell error;
    WriteBytes(1, "first", error);
    EXPECT_EQ(Open(folder / "other", 1, OpenBinaryReadWrite), 55);
    Close(1);
    EXPECT_EQ(ReadWholeFile(folder / "one"), "first") << "the open on a busy number left it alone";
    EXPECT_FALSE(FileExists(folder / "other"));
    Close(0);
    Close(3);
    EXPECT_EQ(NextFreeFileNumber(), 1);
}

TEST_F(FileChannels, ReadingToTheEndAndBeyond)
{
    std::string name = folder / "ten";
    WriteWholeFile(name, "0123456789");
    ASSERT_EQ(Open(name, 1, OpenBinaryReadWrite), 0);
    ErrorCell error;
    EXPECT_EQ(ChannelLength(1, error), 10u);
    std::string bytes;
    ReadChunk(1, 4, bytes, error);
    EXPECT_EQ(bytes, "0123");
    ReadChunk(1, 100, bytes, error);
    EXPECT_EQ(bytes, "456789");
    ReadChunk(1, 100, bytes, error);
    EXPECT_EQ(bytes, "");
    EXPECT_EQ(TakeErrorNumber(error), 0);
    Close(1);

    // Into room of the caller's, which is left alone past what arrived.
    ASSERT_EQ(Open(name, 1, OpenBinaryReadWrite), 0);
    char room[] = "----------------";
    EXPECT_EQ(ReadInto(1, 12, room + 2, error), 10u);
    EXPECT_STREQ(room, "--0123456789----");
    EXPECT_EQ(ReadInto(1, 12, room, error), 0u);
    EXPECT_EQ(TakeErrorNumber(error), 0);
    Close(1);

    ASSERT_EQ(Open(folder / "empty", 1, OpenBinaryReadWrite), 0);
    EXPECT_EQ(ChannelLength(1, error), 0u);
    Close(1);
}

TEST_F(FileChannels, WritingAndCutting)
{
    std::string name = folder / "out";
    WriteWholeFile(name, "old contents");
    ASSERT_EQ(Open(name, 1, OpenBinaryReadWrite), 0);
    ErrorCell error;
    WriteBytes(1, "", error);
    EXPECT_EQ(TakeErrorNumber(error), 0);
    WriteBytes(1, "new", error);
    CutAtPosition(1, error);
    EXPECT_EQ(TakeErrorNumber(error), 0);
    Close(1);
    EXPECT_EQ(ReadWholeFile(name), "new");
}

TEST_F(FileChannels, ClosedAndWrongChannels)
{
    ErrorCell error;
    CloseChannel(9, error);
    EXPECT_EQ(TakeErrorNumber(error), 0);
    ASSERT_EQ(Open(folder / "f", 9, OpenBinaryReadWrite), 0);
    CloseChannel(9, error);
    CloseChannel(9, error);
    EXPECT_EQ(TakeErrorNumber(error), 0);

    std::string bytes = "stale";
    ReadChunk(9, 10, bytes, error);
    EXPECT_EQ(TakeErrorNumber(error), 52);
    EXPECT_EQ(bytes, "");
    char room[4];
    EXPECT_EQ(ReadInto(9, 4, room, error), 0u);
    EXPECT_EQ(TakeErrorNumber(error), 52);
    EXPECT_EQ(ChannelLength(9, error), 0u);
    EXPECT_EQ(TakeErrorNumber(error), 52);

    ASSERT_EQ(Open(folder / "g", 4, OpenOutputExplicit), 0);
    WriteBytes(4, "x", error);
    EXPECT_EQ(TakeErrorNumber(error), 54) << "output mode takes no binary writes";
    Close(4);
}

TEST_F(FileChannels, TheCellKeepsTheLatestFailure)
{
    ErrorCell error;
    OpenChannel(folder / "ok", 1, OpenBinaryReadWrite, 128, error);
    EXPECT_EQ(TakeErrorNumber(error), 0);
    OpenChannel(folder / "*", 2, OpenBinaryReadWrite, 128, error);
    OpenChannel(folder / "none\\x", 2, OpenBinaryReadWrite, 128, error);
    EXPECT_EQ(TakeErrorNumber(error), 76);
    EXPECT_EQ(TakeErrorNumber(error), 0);
    Close(1);
}

TEST_F(FileChannels, DeletingByNameOrPattern)
{
    WriteWholeFile(folder / "a.dat", "a");
    WriteWholeFile(folder / "b.dat", "b");
    WriteWholeFile(folder / "c.txt", "c");
    WriteWholeFile(folder / "hidden.dat", "h");
    SetFileAttributesA((folder / "hidden.dat").c_str(), FILE_ATTRIBUTE_HIDDEN);
    CreateDirectoryA((folder / "sub.dat").c_str(), nullptr);
    ErrorCell error;

    DeleteMatchingFiles(folder / "hidden.dat", error);
    EXPECT_EQ(TakeErrorNumber(error), 0);
    EXPECT_TRUE(FileExists(folder / "hidden.dat"));

    DeleteMatchingFiles(folder / "*.dat", error);
    EXPECT_EQ(TakeErrorNumber(error), 0);
    EXPECT_FALSE(FileExists(folder / "a.dat"));
    EXPECT_FALSE(FileExists(folder / "b.dat"));
    EXPECT_TRUE(FileExists(folder / "c.txt"));
    EXPECT_TRUE(FileExists(folder / "hidden.dat"));
    EXPECT_TRUE(FileExists(folder / "sub.dat"));

    DeleteMatchingFiles(folder.Path() + "\\", error);
    EXPECT_FALSE(FileExists(folder / "c.txt")) << "a folder name ending in \\ means all its files";

    DeleteMatchingFiles(folder / "nothing.here", error);
    EXPECT_EQ(TakeErrorNumber(error), 53);
    DeleteMatchingFiles(folder / "nofolder\\x.dat", error);
    EXPECT_EQ(TakeErrorNumber(error), 76);
}

TEST(ErrorNumbers, SystemCodesMapToTheProgramsNumbers)
{
    const std::pair<int, std::vector<DWORD>> groups[] = {
        {0, {0}},
        {7, {8, 14}},
        {27, {28}},
        {51, {6, 11, 12, 13, 22, 24}},
        {53, {2, 18}},
        {61, {39, 112}},
        {62, {38}},
        {67, {4}},
        {68, {15, 20}},
        {70, {5, 19, 32, 33, 36}},
        {71, {21}},
        {72, {23, 25, 26, 27, 29, 30, 31, 34}},
        {74, {17}},
        {75, {1, 16, 35, 37, 40, 123, 183, 0xFFFFFFFF}},
        {76, {3}},
        {241, {7, 9, 10}},
    };
    int covered = 0;
    for (const auto& [number, codes] : groups) {
        for (DWORD code : codes) {
            EXPECT_EQ(MapSystemError(code), number) << "code " << code;
            if (code <= 40) ++covered;
        }
    }
    EXPECT_EQ(covered, 41) << "every code from 0 to 40 is listed once";
}

TEST(NumberText, SignPlaceAndDigits)
{
    const std::pair<double, const char*> cases[] = {
        {0, " 0"}, {7, " 7"}, {255, " 255"}, {53, " 53"}, {-1, "-1"}, {-5, "-5"},
        {5000000, " 5000000"}, {5000000000.0, " 5000000000"}, {999999999999999.0, " 999999999999999"},
    };
    for (auto [value, text] : cases) EXPECT_EQ(NumberToText(value), text) << value;
    EXPECT_EQ(NumberToText(65535, 7), " 65535");
    EXPECT_EQ(NumberToText(12345678, 7), " 1.234568E+07") << "beyond seven digits: exponent form";
}

TEST(ShowMessageSeam, CaptionDefaultAndLowStyleBits)
{
    MessageCapture capture;
    ShowMessage("text", "", 0x40010);
    ShowMessage("other", "Caption", 0x40);
    ASSERT_EQ(capture.Shown().size(), 2u);
    EXPECT_EQ(capture.Shown()[0].caption, "Halvernook");
    EXPECT_EQ(capture.Shown()[0].style, 0x10u);
    EXPECT_EQ(capture.Shown()[1].text, "other");
    EXPECT_EQ(capture.Shown()[1].caption, "Caption");
    EXPECT_EQ(capture.Shown()[1].style, 0x40u);
}

// The real box, on the screen: found by its caption, read and closed as a user would.
struct BoxSeen {
    std::string text;
    bool icon = false;
    bool owned = true;
};

DWORD WINAPI AnswerBox(void* parameter)
{
    auto* seen = static_cast<BoxSeen*>(parameter);
    for (int i = 0; i < 200; ++i) {
        HWND box = FindWindowA(nullptr, "Halvernook");
        if (box != nullptr) {
            char text[256] = {};
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            seen->text = text;
            HWND icon = GetDlgItem(box, 0x0440);
            seen->icon = icon != nullptr && SendMessageA(icon, STM_GETICON, 0, 0) != 0;
            seen->owned = GetWindow(box, GW_OWNER) != nullptr;
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            return 0;
        }
        Sleep(50);
    }
    return 1;
}

TEST(ShowMessageOnScreen, OwnerlessBoxWithStopIcon)
{
    BoxSeen seen;
    HANDLE user = CreateThread(nullptr, 0, AnswerBox, &seen, 0, nullptr);
    int pressed = ShowMessage("Shown for real", "", 0x40010);
    WaitForSingleObject(user, INFINITE);
    CloseHandle(user);
    EXPECT_EQ(pressed, IDOK);
    EXPECT_EQ(seen.text, "Shown for real");
    EXPECT_TRUE(seen.icon);
    EXPECT_FALSE(seen.owned);
}

}  // namespace
