// velmor.exe's Browse buttons as a user meets them: the system's own Open and Save dialogs
// appear, are filled in and answered from this program, and the chosen names land in the
// main dialog.
#include "support.h"
#include "velmor_window_ids.h"
#include "window_driver.h"
#include <gtest/gtest.h>
#include <dlgs.h>
#include <memory>

namespace {

std::string Velmor;  // velmor.exe, from the command line

const char OpenCaption[] = "Select EBCDIC File";
const char SaveCaption[] = "Select ASCII Output File Name";

const int BoxTextId = 0xFFFF;  // the text of a system message box

bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result)
{
    return SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kPatience, result) != 0;
}

std::string ClassOf(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

HWND FindEdit(HWND parent)
{
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) == "Edit") return child;
        if (HWND inner = FindEdit(child)) return inner;
    }
    return nullptr;
}

// The newer file dialogs nest the file-name edit inside the combo box cmb13; the older ones
// have the plain edit edt1.
HWND FileNameBox(HWND fileDialog)
{
    HWND combo = GetDlgItem(fileDialog, cmb13);
    if (combo != nullptr && IsWindowVisible(combo)) return ClassOf(combo) == "Edit" ? combo : FindEdit(combo);
    return GetDlgItem(fileDialog, edt1);
}

// CDM_GETFOLDERPATH is not carried across processes, so its buffer must live in the dialog's.
std::string FolderShown(HWND fileDialog)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(fileDialog, &processId);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (process == nullptr) return "<cannot open the dialog's process>";
    const SIZE_T size = 1024;
    void* remote = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    std::string folder = "<no folder reported>";
    DWORD_PTR length = 0;
    char local[size] = {};
    if (remote != nullptr &&
        Send(fileDialog, CDM_GETFOLDERPATH, size, reinterpret_cast<LPARAM>(remote), &length) &&
        static_cast<LRESULT>(length) > 0 && ReadProcessMemory(process, remote, local, size - 1, nullptr))
        folder = local;
    if (remote != nullptr) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return folder;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list)
{
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

// Dialog windows of the process other than those named, shown or not: a box that is being
// created counts before it is drawn.
std::vector<HWND> OtherDialogs(DWORD processId, HWND known, HWND alsoKnown = nullptr)
{
    std::vector<HWND> all, others;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
    for (HWND window : all) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && window != known && window != alsoKnown && ClassOf(window) == "#32770")
            others.push_back(window);
    }
    return others;
}

void PostButton(HWND window, int id)
{
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

struct Question {
    HWND window = nullptr;
    std::string text;
};

class BrowseTest : public ::testing::Test {
protected:
    ScratchFolder folder;
    std::unique_ptr<StartedProgram> velmor;
    HWND dialog = nullptr;

    void SetUp() override
    {
        ASSERT_FALSE(Velmor.empty()) << "usage: velmor_browse_e2e_test VELMOR.EXE";
        velmor = std::make_unique<StartedProgram>("\"" + Velmor + "\"", folder.Path());
        ASSERT_TRUE(velmor->Started()) << "cannot start " << Velmor << " (" << GetLastError() << ")";
        dialog = WaitForDialog(velmor->Id(), MainCaption);
        ASSERT_NE(dialog, nullptr) << "no \"" << MainCaption << "\" within " << kPatience << " ms";
    }

    void TearDown() override
    {
        if (dialog == nullptr || velmor->HasEnded()) return;
        // A failed step may leave a file dialog or a box open over the main dialog.
        for (HWND window : OtherDialogs(velmor->Id(), dialog)) PostButton(window, IDCANCEL);
        PostCommand(dialog, IdQuit);
        DWORD code = 0;
        EXPECT_TRUE(velmor->WaitForExit(&code)) << "velmor.exe does not quit";
    }

    // Presses a Browse button; null, with a failure, when its dialog does not appear.
    HWND Browse(int button, const char* caption)
    {
        PostCommand(dialog, button);
        HWND fileDialog = WaitForDialog(velmor->Id(), caption);
        EXPECT_NE(fileDialog, nullptr) << "no \"" << caption << "\" after Browse " << button;
        if (fileDialog == nullptr) return nullptr;
        EXPECT_EQ(GetWindow(fileDialog, GW_OWNER), dialog) << "\"" << caption << "\" is not owned by the main dialog";
        // The file list is filled and the name box made after the window shows.
        EXPECT_TRUE(WaitUntil([&] { return FileNameBox(fileDialog) != nullptr && FolderShown(fileDialog)[0] != '<'; }))
            << "\"" << caption << "\" never shows its file-name box and folder";
        return fileDialog;
    }

    void Type(HWND fileDialog, const std::string& name)
    {
        HWND box = FileNameBox(fileDialog);
        DWORD_PTR ignored = 0;
        ASSERT_TRUE(box != nullptr && Send(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()), &ignored));
        ASSERT_EQ(ControlText(box), name);
    }

    // Presses OK or Cancel on a file dialog that is expected to close.
    void Close(HWND fileDialog, int button)
    {
        PostButton(fileDialog, button);
        ASSERT_TRUE(WaitUntil([&] { return !IsWindow(fileDialog); })) << "the file dialog stays after " << button;
    }

    // Once the main dialog answers again, any box of its Browse handler would already exist.
    void ExpectNoOtherWindow()
    {
        DWORD_PTR ignored = 0;
        ASSERT_TRUE(Send(dialog, WM_NULL, 0, 0, &ignored)) << "the main dialog does not answer";
        for (HWND window : OtherDialogs(velmor->Id(), dialog))
            ADD_FAILURE() << "unexpected window \"" << WindowCaption(window) << "\": \""
                          << ControlText(GetDlgItem(window, BoxTextId)) << "\"";
    }

    // A box that the file dialog brings up over itself.
    Question QuestionFrom(HWND fileDialog)
    {
        Question asked;
        bool shown = WaitUntil([&] {
            for (HWND window : OtherDialogs(velmor->Id(), dialog, fileDialog))
                if (IsWindowVisible(window)) asked.window = window;
            return asked.window != nullptr;
        });
        EXPECT_TRUE(shown) << "\"" << WindowCaption(fileDialog) << "\" asks nothing";
        if (!shown) return asked;
        asked.text = ControlText(GetDlgItem(asked.window, BoxTextId));
        EXPECT_EQ(GetWindow(asked.window, GW_OWNER), fileDialog) << "\"" << asked.text << "\"";
        return asked;
    }

    void Answer(const Question& asked, int button)
    {
        if (asked.window == nullptr) return;
        EXPECT_NE(GetDlgItem(asked.window, button), nullptr) << "\"" << asked.text << "\" has no button " << button;
        PostButton(asked.window, button);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(asked.window); })) << "\"" << asked.text << "\" stays";
    }

    std::string Field(int id) { return ControlText(GetDlgItem(dialog, id)); }

    void ExpectField(int id, const std::string& text)
    {
        EXPECT_TRUE(WaitUntil([&] { return Field(id) == text; }, 3000))
            << "field " << id << " holds \"" << Field(id) << "\", expected \"" << text << "\"";
    }

    void ExpectOnlyAllFiles(HWND fileDialog)
    {
        EXPECT_EQ(ComboListItems(fileDialog, cmb1), std::vector<std::string>{"All Files"});
        EXPECT_EQ(ControlText(GetDlgItem(fileDialog, cmb1)), "All Files");
    }
};

TEST_F(BrowseTest, OpenDialogTakesOnlyAnExistingFileAndReopensWhereItWasLeft)
{
    const std::string picked = folder / "input";
    ASSERT_TRUE(CreateDirectoryA(picked.c_str(), nullptr));
    const std::string in = picked + "\\data.ebc";
    WriteWholeFile(in, "\xC1");

    HWND open = Browse(IdBrowseIn, OpenCaption);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(FolderShown(open), folder.Path()) << "the first dialog starts away from the current folder";
    EXPECT_EQ(ControlText(FileNameBox(open)), "");
    ExpectOnlyAllFiles(open);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(open, chx1))) << "the read-only box is offered";

    Type(open, picked + "\\missing.ebc");
    PostButton(open, IDOK);
    Question refused = QuestionFrom(open);
    EXPECT_NE(refused.text, "") << "the Open dialog refuses without a word";
    Answer(refused, IDOK);
    EXPECT_TRUE(IsWindowVisible(open)) << "the Open dialog accepted a file that does not exist";
    EXPECT_EQ(Field(IdInFile), "");

    Type(open, in);
    Close(open, IDOK);
    ExpectField(IdInFile, in);
    ExpectNoOtherWindow();

    // A name typed by hand is the main dialog's own; the file dialog shows its last choice.
    const std::string typed = folder / "typed.ebc";
    WriteWholeFile(typed, "\xC2");
    ASSERT_TRUE(SetControlText(dialog, IdInFile, typed));
    open = Browse(IdBrowseIn, OpenCaption);
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(FolderShown(open), picked) << "the second dialog does not start in the chosen file's folder";
    // The dialog shows the previous path split into its folder and its name.
    EXPECT_EQ(ControlText(FileNameBox(open)), "data.ebc");
    Close(open, IDCANCEL);
    ExpectNoOtherWindow();
    EXPECT_EQ(Field(IdInFile), typed);

    open = Browse(IdBrowseIn, OpenCaption);
    ASSERT_NE(open, nullptr);
    Close(open, IDOK);
    ExpectField(IdInFile, in);
    ExpectNoOtherWindow();

    DWORD_PTR listed = 0;
    EXPECT_TRUE(Send(GetDlgItem(dialog, IdInFile), CB_GETCOUNT, 0, 0, &listed));
    EXPECT_EQ(listed, 0u) << "a browsed name entered the drop-down list";
}

TEST_F(BrowseTest, SaveDialogAsksBeforeReplacingAndAddsNoExtension)
{
    const std::string target = folder / "output";
    ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
    const std::string existing = target + "\\existing.txt";
    WriteWholeFile(existing, "kept");

    HWND save = Browse(IdBrowseOut, SaveCaption);
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(FolderShown(save), folder.Path());
    ExpectOnlyAllFiles(save);

    Type(save, existing);
    PostButton(save, IDOK);
    Question replace = QuestionFrom(save);
    EXPECT_NE(replace.text, "") << "the Save dialog asks without a word";
    Answer(replace, IDNO);
    EXPECT_TRUE(IsWindowVisible(save)) << "No to replacing closed the Save dialog";
    EXPECT_EQ(Field(IdOutFile), "");

    PostButton(save, IDOK);
    Answer(QuestionFrom(save), IDYES);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(save); })) << "Yes to replacing leaves the Save dialog open";
    ExpectField(IdOutFile, existing);
    ExpectNoOtherWindow();
    EXPECT_EQ(ReadWholeFile(existing), "kept");

    save = Browse(IdBrowseOut, SaveCaption);
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(FolderShown(save), target);
    Type(save, "plain");
    Close(save, IDOK);
    ExpectField(IdOutFile, target + "\\plain");
    ExpectNoOtherWindow();

    const std::string typed = folder / "typed.txt";
    ASSERT_TRUE(SetControlText(dialog, IdOutFile, typed));
    save = Browse(IdBrowseOut, SaveCaption);
    ASSERT_NE(save, nullptr);
    Close(save, IDCANCEL);
    ExpectNoOtherWindow();
    EXPECT_EQ(Field(IdOutFile), typed);
    EXPECT_FALSE(FileExists(target + "\\plain"));

    DWORD_PTR listed = 0;
    EXPECT_TRUE(Send(GetDlgItem(dialog, IdOutFile), CB_GETCOUNT, 0, 0, &listed));
    EXPECT_EQ(listed, 0u) << "a browsed name entered the drop-down list";
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1) Velmor = WindowsPath(argv[1]);
    return RUN_ALL_TESTS();
}
