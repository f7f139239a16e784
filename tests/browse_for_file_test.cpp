// The file dialogs' memory per purpose and their handling of the system's answers, with the
// system dialogs replaced by a scripted stand-in; and the Browse buttons of the real dialog.
#include "browse_for_file.h"
#include "control_ids.h"
#include "dialogs.h"
#include "support.h"
#include <gtest/gtest.h>
#include <cstddef>

namespace {

// What the stand-in saw at one call, and what it answers.
struct SeenCall {
    bool save;
    OPENFILENAMEA record;
    std::string title, filter, initialDir, fileBuffer;
    bool initialDirSet;
};

struct Answer {
    BOOL result = FALSE;
    std::string path;         // written into the file buffer on success
    DWORD error = 0;          // CommDlgExtendedError after a FALSE result
    std::string changeDirTo;  // the system dialog may move the current directory
};

std::vector<SeenCall> Seen;
Answer Next;

BOOL Respond(bool save, LPOPENFILENAMEA record)
{
    SeenCall call{save, *record, "", "", "", "", record->lpstrInitialDir != nullptr};
    if (record->lpstrTitle != nullptr) call.title = record->lpstrTitle;
    if (record->lpstrFilter != nullptr) call.filter.assign(record->lpstrFilter, 16);
    if (call.initialDirSet) call.initialDir = record->lpstrInitialDir;
    call.fileBuffer = record->lpstrFile;
    Seen.push_back(call);
    if (!Next.changeDirTo.empty()) SetCurrentDirectoryA(Next.changeDirTo.c_str());
    if (Next.result) lstrcpynA(record->lpstrFile, Next.path.c_str(), static_cast<int>(record->nMaxFile));
    return Next.result;
}
BOOL WINAPI FakeOpen(LPOPENFILENAMEA record) { return Respond(false, record); }
BOOL WINAPI FakeSave(LPOPENFILENAMEA record) { return Respond(true, record); }
DWORD WINAPI FakeError() { return Next.result ? 0 : Next.error; }

class BrowseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous = SetFileDialogSystem({FakeOpen, FakeSave, FakeError});
        Seen.clear();
        ErrorCaption = "EBCDIC-ASCII Error";
        GetCurrentDirectoryA(MAX_PATH, startDir);
    }
    void TearDown() override
    {
        SetFileDialogSystem(previous);
        SetCurrentDirectoryA(startDir);
    }
    std::string Browse(std::int32_t purpose, const Answer& answer)
    {
        Next = answer;
        return BrowseForFile(GetDesktopWindow(), purpose);
    }
    static std::string Current()
    {
        char dir[MAX_PATH] = {};
        GetCurrentDirectoryA(MAX_PATH, dir);
        return dir;
    }

    FileDialogSystem previous{};
    char startDir[MAX_PATH] = {};
    ScratchFolder folder;
    MessageCapture boxes;
};

const DWORD RecordSize = static_cast<DWORD>(offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR));
const std::string Filter("All Files\0*.*\0\0", 16);

// The slots live as long as the process: this test walks both purposes from their first call
// on, so it must run first in this program.
TEST_F(BrowseTest, EachPurposeRemembersItsOwnChoiceAndFolder)
{
    if (sizeof(void*) == 4) {
        EXPECT_EQ(RecordSize, 76u);
    }
    std::string a = folder / "a", c = folder / "c";
    CreateDirectoryA(a.c_str(), nullptr);
    CreateDirectoryA(c.c_str(), nullptr);
    SetCurrentDirectoryA(a.c_str());
    std::string dirA = Current();

    // First input dialog: no initial folder, empty name box, its own title, filter and flags.
    EXPECT_EQ(Browse(BROWSE_INPUT, {TRUE, "Z:\\data\\in.ebc", 0, c}), "Z:\\data\\in.ebc");
    ASSERT_EQ(Seen.size(), 1u);
    const OPENFILENAMEA& first = Seen[0].record;
    EXPECT_FALSE(Seen[0].save);
    EXPECT_EQ(first.lStructSize, RecordSize);
    EXPECT_EQ(first.hwndOwner, GetDesktopWindow());
    EXPECT_EQ(first.hInstance, nullptr);
    EXPECT_FALSE(Seen[0].initialDirSet);
    EXPECT_EQ(Seen[0].title, "Select EBCDIC File");
    EXPECT_EQ(Seen[0].filter, Filter);
    EXPECT_EQ(first.nFilterIndex, 1u);
    EXPECT_EQ(first.lpstrCustomFilter, nullptr);
    EXPECT_EQ(first.lpstrFileTitle, nullptr);
    EXPECT_EQ(first.Flags, 0x201804u);
    EXPECT_EQ(first.lpstrDefExt, nullptr);
    EXPECT_EQ(first.lpfnHook, nullptr);
    EXPECT_EQ(first.nMaxFile, 260u);
    EXPECT_EQ(Seen[0].fileBuffer, "");

    // First output dialog, cancelled: its start folder is the one current now (moved by the
    // input dialog), and nothing is shown.
    std::string dirC = Current();
    EXPECT_EQ(Browse(BROWSE_OUTPUT, {FALSE, "", 0, a}), "");
    ASSERT_EQ(Seen.size(), 2u);
    EXPECT_TRUE(Seen[1].save);
    EXPECT_EQ(Seen[1].title, "Select ASCII Output File Name");
    EXPECT_EQ(Seen[1].filter, Filter);
    EXPECT_EQ(Seen[1].record.Flags, 0x200806u);
    EXPECT_FALSE(Seen[1].initialDirSet);
    EXPECT_TRUE(boxes.Shown().empty());

    // After the cancel, the output dialog starts where it first started.
    EXPECT_EQ(Browse(BROWSE_OUTPUT, {TRUE, "Y:\\out\\result.txt", 0, ""}), "Y:\\out\\result.txt");
    EXPECT_TRUE(Seen[2].initialDirSet);
    EXPECT_EQ(Seen[2].initialDir, dirC);
    EXPECT_NE(dirC, dirA);

    // After a choice, each dialog starts in the chosen file's folder and shows its path; the
    // other purpose does not move it.
    Browse(BROWSE_INPUT, {FALSE, "", 0, ""});
    EXPECT_EQ(Seen[3].initialDir, "Z:\\data\\");
    EXPECT_EQ(Seen[3].fileBuffer, "Z:\\data\\in.ebc");
    EXPECT_EQ(Seen[3].title, "Select EBCDIC File");
    Browse(BROWSE_OUTPUT, {FALSE, "", 0, ""});
    EXPECT_EQ(Seen[4].initialDir, "Y:\\out\\");
    EXPECT_EQ(Seen[4].fileBuffer, "Y:\\out\\result.txt");

    // A path of 259 characters comes back whole; a name without a folder leaves no folder.
    std::string longPath = "X:\\" + std::string(256, 'n');
    EXPECT_EQ(Browse(BROWSE_INPUT, {TRUE, longPath, 0, ""}), longPath);
    EXPECT_EQ(Browse(BROWSE_INPUT, {TRUE, "bare.ebc", 0, ""}), "bare.ebc");
    Browse(BROWSE_INPUT, {FALSE, "", 0, ""});
    EXPECT_TRUE(Seen.back().initialDirSet);
    EXPECT_EQ(Seen.back().initialDir, "");

    // A failing dialog is reported, answers empty text and is tried again with the same record.
    EXPECT_EQ(Browse(BROWSE_OUTPUT, {FALSE, "", FNERR_BUFFERTOOSMALL, ""}), "");
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, "Getopen/SaveFileName failed on error# 12291");
    EXPECT_EQ(boxes.Shown()[0].caption, "EBCDIC-ASCII Error");
    EXPECT_EQ(boxes.Shown()[0].style, static_cast<unsigned>(MB_ICONINFORMATION));
    Browse(BROWSE_OUTPUT, {FALSE, "", 0, ""});
    EXPECT_EQ(Seen.back().initialDir, "Y:\\out\\");
    EXPECT_EQ(boxes.Shown().size(), 1u);
}

TEST_F(BrowseTest, TheButtonsFillTheirFieldButNotTheHistory)
{
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), "VELMOR", nullptr, VELMORDIALOGPROC, 0);
    ASSERT_NE(dialog, nullptr);
    auto press = [&](int id, int notification, const Answer& answer) {
        Next = answer;
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, notification), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    };
    auto text = [&](int id) {
        char buffer[600] = {};
        GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
        return std::string(buffer);
    };
    SetDlgItemTextA(dialog, ID_INFILE, "typed by hand");
    press(ID_BROWSE_IN, BN_SETFOCUS, {TRUE, "Z:\\never.ebc", 0, ""});
    EXPECT_TRUE(Seen.empty()) << "only a click opens the dialog";
    press(ID_BROWSE_IN, BN_CLICKED, {TRUE, "Z:\\picked.ebc", 0, ""});
    EXPECT_EQ(text(ID_INFILE), "Z:\\picked.ebc");
    ASSERT_EQ(Seen.size(), 1u);
    EXPECT_FALSE(Seen[0].save);
    EXPECT_EQ(Seen[0].record.hwndOwner, dialog);
    EXPECT_EQ(Seen[0].fileBuffer.find("typed"), std::string::npos) << "typed text never reaches the dialog";

    SetDlgItemTextA(dialog, ID_OUTFILE, "kept");
    press(ID_BROWSE_OUT, BN_CLICKED, {FALSE, "", 0, ""});
    EXPECT_EQ(text(ID_OUTFILE), "kept") << "a cancelled dialog leaves the field alone";
    ASSERT_EQ(Seen.size(), 2u);
    EXPECT_TRUE(Seen[1].save);
    press(ID_BROWSE_OUT, BN_CLICKED, {TRUE, "Y:\\chosen.txt", 0, ""});
    EXPECT_EQ(text(ID_OUTFILE), "Y:\\chosen.txt");
    EXPECT_EQ(SendDlgItemMessageA(dialog, ID_INFILE, CB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(SendDlgItemMessageA(dialog, ID_OUTFILE, CB_GETCOUNT, 0, 0), 0);
    EXPECT_TRUE(boxes.Shown().empty());
    DestroyWindow(dialog);
}

}  // namespace
