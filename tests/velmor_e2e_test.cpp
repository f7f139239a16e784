// velmor.exe run as a user runs it: started in a folder of its own, its dialogs filled and
// pressed from this program, its message boxes and its main dialog read off the screen.
#include "record_corpus.h"
#include "support.h"
#include "velmor_window_ids.h"
#include "window_driver.h"
#include <gtest/gtest.h>
#include <tlhelp32.h>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

std::string Velmor;      // velmor.exe, from the command line
std::string ShotFolder;  // where the picture of the main dialog goes
std::string Velmorc;     // velmorc.exe, from the command line

const char AboutCaption[] = "About VELMOR Converter";
const char ErrorCaption[] = "EBCDIC-ASCII Error";
const char ResultsCaption[] = "EBCDIC to ASCII Results";
const char SecondCopyText[] = "Sorry, second instance of this program not allowed.";

const std::string HelloWorld = Bytes({0xC8, 0xC5, 0xD3, 0xD3, 0xD6, 0x40, 0xE6, 0xD6, 0xD9, 0xD3, 0xC4});

struct ProcessEntry {
    DWORD id;
    DWORD parentId;
    std::string exeName;
};

// Every process of the session, by the snapshot's wide form whatever the build's character set.
std::vector<ProcessEntry> Processes()
{
    std::vector<ProcessEntry> entries;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return entries;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        std::string name;
        for (const wchar_t* c = entry.szExeFile; *c != L'\0'; ++c) name += static_cast<char>(*c < 128 ? *c : '?');
        entries.push_back({entry.th32ProcessID, entry.th32ParentProcessID, name});
    }
    CloseHandle(snapshot);
    return entries;
}

ProcessEntry ProcessEntryOf(DWORD processId)
{
    for (const ProcessEntry& entry : Processes())
        if (entry.id == processId) return entry;
    return {processId, 0, ""};
}

std::vector<DWORD> ChildrenOf(DWORD parentId)
{
    std::vector<DWORD> children;
    for (const ProcessEntry& entry : Processes())
        if (entry.parentId == parentId) children.push_back(entry.id);
    return children;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return text;
}

std::string BaseName(const std::string& path)
{
    std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

// Without a window manager, every window that a managed X11 program of Wine hides waits two
// seconds for the manager's answer. Unmanaged, velmor's windows close at once; what the
// program does is the same.
class UnmanagedUnderWine {
public:
    explicit UnmanagedUnderWine(const std::string& exeName)
    {
        if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr) return;
        std::string key;
        for (const std::string& part : {std::string("Software\\Wine\\AppDefaults"), exeName, std::string("X11 Driver")}) {
            key += (key.empty() ? "" : "\\") + part;
            HKEY opened = nullptr;
            DWORD disposition = 0;
            if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened,
                                &disposition) != ERROR_SUCCESS)
                return;
            if (disposition == REG_CREATED_NEW_KEY) created_.push_back(key);
            if (part == "X11 Driver" && disposition == REG_CREATED_NEW_KEY)
                RegSetValueExA(opened, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
            RegCloseKey(opened);
        }
    }
    // Only what this run created goes; a setting someone made stays as it was.
    ~UnmanagedUnderWine()
    {
        for (auto key = created_.rbegin(); key != created_.rend(); ++key) RegDeleteKeyA(HKEY_CURRENT_USER, key->c_str());
    }
    UnmanagedUnderWine(const UnmanagedUnderWine&) = delete;
    UnmanagedUnderWine& operator=(const UnmanagedUnderWine&) = delete;

private:
    std::vector<std::string> created_;
};

void ExpectBox(const MessageBoxView& box, const std::string& caption, const std::string& text, BoxIcon icon)
{
    EXPECT_EQ(box.caption, caption) << "box \"" << box.text << "\"";
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.icon, icon) << "box \"" << box.text << "\"";
}

class VelmorTest : public ::testing::Test {
protected:
    ScratchFolder folder;
    std::unique_ptr<StartedProgram> velmor;
    HWND dialog = nullptr;

    void SetUp() override { ASSERT_FALSE(Velmor.empty()) << "usage: velmor_e2e_test VELMOR.EXE SHOT-FOLDER VELMORC.EXE"; }

    // An editor that View started and a failed test left open would outlive the run. Only
    // while velmor runs is its process ID its own, and so the parent ID of its children.
    void TearDown() override
    {
        if (velmor == nullptr || velmor->HasEnded()) return;
        for (DWORD child : ChildrenOf(velmor->Id())) {
            OwnedHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, child));
            if (process == nullptr) continue;
            TerminateProcess(process.get(), 1);
            WaitForSingleObject(process.get(), kPatience);
        }
    }

    // velmor.exe with the command tail arguments, in currentFolder (the scratch folder if empty).
    std::unique_ptr<StartedProgram> Launch(const std::string& arguments = "", const std::string& currentFolder = "")
    {
        std::string commandLine = "\"" + Velmor + "\"" + (arguments.empty() ? "" : " " + arguments);
        auto program = std::make_unique<StartedProgram>(commandLine, currentFolder.empty() ? folder.Path() : currentFolder);
        EXPECT_TRUE(program->Started()) << "cannot start " << Velmor << " (error " << program->StartError() << ")";
        return program;
    }

    // velmor.exe in the scratch folder, its main dialog on the screen.
    ::testing::AssertionResult Start(const std::string& arguments = "", const std::string& currentFolder = "")
    {
        velmor.reset();  // a copy still running would make the new one a second copy
        velmor = Launch(arguments, currentFolder);
        if (!velmor->Started()) return ::testing::AssertionFailure() << "velmor.exe did not start";
        dialog = WaitForDialog(velmor->Id(), MainCaption);
        if (dialog == nullptr) {
            MessageBoxView unexpected;
            if (WaitForMessageBox(velmor->Id(), &unexpected, 0))
                return ::testing::AssertionFailure() << "instead of the main dialog: \"" << unexpected.text
                                                     << "\" under \"" << unexpected.caption << "\"";
            return ::testing::AssertionFailure() << "no \"" << MainCaption << "\" within " << kPatience << " ms";
        }
        return ::testing::AssertionSuccess();
    }

    void Fill(int id, const std::string& text)
    {
        EXPECT_TRUE(SetControlText(dialog, id, text)) << "control " << id << " does not take \"" << text << "\"";
    }

    void Tick()
    {
        PostClick(dialog, IdFixedCrlf);
        EXPECT_TRUE(WaitUntil([&] { return IsChecked(dialog, IdFixedCrlf); })) << "the check box stays unticked";
    }

    // Presses a button of the main dialog and reads the message box it brings up.
    MessageBoxView Press(int id)
    {
        PostCommand(dialog, id);
        MessageBoxView box;
        EXPECT_TRUE(WaitForMessageBox(velmor->Id(), &box))
            << "no message box after pressing " << id;
        return box;
    }

    void Answer(const MessageBoxView& box)
    {
        if (box.window != nullptr) {
            EXPECT_TRUE(PressOk(box.window)) << "\"" << box.text << "\" stays after OK";
        }
    }

    // Two things of Wine's X11 side, seen under load, are met here rather than judged. A late
    // focus event can leave no window of velmor active after a box closed: the user would
    // click the dialog, which brings back the focus it kept. And the focus may pass through
    // a field once more, so that a field holding a missing name has its own say: that box is
    // answered.
    void ExpectFocusOn(int id)
    {
        int strays = 0, activations = 0;
        bool reached = WaitUntil([&] {
            MessageBoxView stray;
            if (WaitForMessageBox(velmor->Id(), &stray, 0)) {
                if (strays >= 3 || stray.caption != ErrorCaption || stray.text != "Input File Not Found") return false;
                ++strays;
                PressOk(stray.window);
            }
            if (ActiveWindowOf(dialog) == nullptr && activations < 3) {
                ++activations;
                SetForegroundWindow(dialog);
            }
            return FocusedControl(dialog) == id && FindMessageBox(velmor->Id()) == nullptr;
        });
        EXPECT_TRUE(reached) << "focus on control " << FocusedControl(dialog) << ", expected " << id
                             << (FindMessageBox(velmor->Id()) != nullptr ? "; a message box is open" : "");
        if (strays + activations > 0)
            std::printf("note: on the way to control %d, %d field check box(es) answered, %d activation(s)\n", id,
                        strays, activations);
    }

    // Processes in (which holds HelloWorld) into out in plain form.
    void ConvertHelloWorld(const std::string& in, const std::string& out)
    {
        Fill(IdInFile, in);
        Fill(IdOutFile, out);
        MessageBoxView results = Press(IdProcess);
        ExpectBox(results, ResultsCaption, "Created  11 bytes in output file.", BoxIcon::Information);
        Answer(results);
        EXPECT_EQ(ReadWholeFile(out), "HELLO WORLD");
    }

    // Presses View, finds the editor it starts on fileName and closes it again.
    void ViewInTheEditor(const std::string& fileName)
    {
        std::vector<ForeignWindow> before = VisibleTopLevelWindows();
        auto isNew = [&](const ForeignWindow& window) {
            return std::none_of(before.begin(), before.end(),
                                [&](const ForeignWindow& old) { return old.window == window.window; });
        };
        PostCommand(dialog, IdView);

        ForeignWindow editor = {nullptr, 0, ""};
        // The editor's caption begins with the name of the file it shows.
        bool opened = WaitUntil([&] {
            for (const ForeignWindow& window : VisibleTopLevelWindows())
                if (isNew(window) && window.processId != velmor->Id() && window.processId != GetCurrentProcessId() &&
                    window.caption.rfind(fileName + " ", 0) == 0)
                    editor = window;
            return editor.window != nullptr;
        });
        MessageBoxView unexpected;
        EXPECT_FALSE(WaitForMessageBox(velmor->Id(), &unexpected, 0)) << "View showed \"" << unexpected.text << "\"";
        if (!opened) {
            std::string seen;
            for (const ForeignWindow& window : VisibleTopLevelWindows())
                if (isNew(window)) seen += " \"" + window.caption + "\"";
            ADD_FAILURE() << "no editor window names " << fileName << "; new windows:" << seen;
            return;
        }

        OwnedHandle process(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, editor.processId));
        ProcessEntry entry = ProcessEntryOf(editor.processId);
        EXPECT_EQ(Lower(entry.exeName), "notepad.exe");
        EXPECT_EQ(entry.parentId, velmor->Id()) << "the editor was not started by velmor.exe";
        PostMessageA(editor.window, WM_CLOSE, 0, 0);
        if (process != nullptr && WaitForSingleObject(process.get(), kPatience) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "the editor does not close";
            TerminateProcess(process.get(), 1);
            WaitForSingleObject(process.get(), kPatience);
        }
        EXPECT_EQ(FindDialog(velmor->Id(), MainCaption), dialog);
    }

    // Waits for the program to end by itself, answering and reporting any box it shows.
    DWORD ExitCodeOf(StartedProgram& program)
    {
        DWORD code = ~0u;
        bool ended = WaitUntil([&] {
            MessageBoxView box;
            if (WaitForMessageBox(program.Id(), &box, 0)) {
                ADD_FAILURE() << "unexpected box \"" << box.text << "\" under \"" << box.caption << "\"";
                PressOk(box.window);
            }
            return program.HasEnded();
        });
        EXPECT_TRUE(ended) << "the program is still running";
        if (ended) program.WaitForExit(&code, 0);
        return code;
    }
};


std::uint32_t AsPixel(COLORREF colour)
{
    return static_cast<std::uint32_t>(GetRValue(colour)) << 16 | static_cast<std::uint32_t>(GetGValue(colour)) << 8 |
           GetBValue(colour);
}

// The controls of the dialog whose rectangle in the picture holds nothing but the face colour.
std::vector<std::string> UndrawnControls(HWND dialog, const RECT& area, const ScreenImage& shot)
{
    if (shot.width != area.right - area.left || shot.height != area.bottom - area.top) return {"no picture"};
    const std::uint32_t face = AsPixel(GetSysColor(COLOR_BTNFACE));
    std::vector<std::string> undrawn;
    int controls = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        ++controls;
        RECT place;
        GetWindowRect(child, &place);
        bool drawn = false;
        for (LONG y = std::max(place.top, area.top); y < std::min(place.bottom, area.bottom) && !drawn; ++y)
            for (LONG x = std::max(place.left, area.left); x < std::min(place.right, area.right) && !drawn; ++x)
                drawn = shot.At(static_cast<int>(x - area.left), static_cast<int>(y - area.top)) != face;
        if (!drawn) undrawn.push_back(std::to_string(GetDlgCtrlID(child)) + " " + ControlText(child));
    }
    if (controls != 13) undrawn.push_back(std::to_string(controls) + " controls instead of 13");
    return undrawn;
}

TEST_F(VelmorTest, ConvertsInBothFormsAndShowsTheDialogOnTheScreen)
{
    const std::string in = folder / "hello.ebc";
    const std::string out = folder / "hello.txt";
    WriteWholeFile(in, HelloWorld);
    ASSERT_TRUE(Start());
    // The picture is kept for people (README shows it), so it shows names a reader would use;
    // what is asserted is that every control is drawn.
    const std::string exampleInput = "C:\\data\\PAYROLL.EBC";
    Fill(IdInFile, exampleInput);
    Fill(IdOutFile, "C:\\data\\PAYROLL.TXT");
    // The caret after the name, as typing leaves it, and the window active.
    const auto end = static_cast<WORD>(exampleInput.size());
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(GetDlgItem(dialog, IdInFile), CB_SETEDITSEL, 0, MAKELPARAM(end, end), SMTO_ABORTIFHUNG,
                        kPatience, &ignored);
    SetForegroundWindow(dialog);
    WaitUntil([&] { return ActiveWindowOf(dialog) == dialog; });
    RECT area;
    ASSERT_TRUE(GetWindowRect(dialog, &area));
    ScreenImage shot;
    std::vector<std::string> blank;
    EXPECT_TRUE(WaitUntil([&] {
        shot = CaptureScreen(area);
        blank = UndrawnControls(dialog, area, shot);
        return blank.empty();
    })) << "not drawn on the screen: " << ::testing::PrintToString(blank);
    EXPECT_EQ(shot.width, area.right - area.left);
    EXPECT_EQ(shot.height, area.bottom - area.top);
    const std::string shotPath = WindowsPath(ShotFolder) + "\\main-dialog.bmp";
    EXPECT_TRUE(SaveBitmap24(shot, shotPath)) << shotPath;
    Fill(IdInFile, in);
    Fill(IdOutFile, out);

    struct Case {
        bool fixed;
        const char* lrecl;
        const char* results;
        std::string bytes;
    };
    const Case cases[] = {
        {false, "", "Created  11 bytes in output file.", "HELLO WORLD"},
        {true, "5", "Created  3 5-byte records", "HELLO\r\n WORL\r\nD\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.results);
        DeleteFileA(out.c_str());
        if (c.fixed) {
            Tick();
            Fill(IdLrecl, c.lrecl);
        }
        MessageBoxView box = Press(IdProcess);
        ExpectBox(box, ResultsCaption, c.results, BoxIcon::Information);
        Answer(box);
        EXPECT_EQ(ReadWholeFile(out), c.bytes);
    }
    EXPECT_EQ(ReadWholeFile(in), HelloWorld);
}

TEST_F(VelmorTest, RefusesEachFailedCheckAndFocusesItsField)
{
    const std::string in = folder / "in.ebc";
    const std::string out = folder / "out.txt";
    WriteWholeFile(in, HelloWorld);
    WriteWholeFile(out, "kept");
    ASSERT_TRUE(Start());

    struct Case {
        std::string input;
        std::string output;
        bool tick;
        const char* message;
        int focus;
    };
    // The missing input comes last and with the box ticked: its check goes first.
    const Case cases[] = {
        {in, folder / "no such folder\\out.txt", false, "Invalid Output File name or path", IdOutFile},
        {in, out, true, "LRECL Required if CRLF to be added", IdLrecl},
        {folder / "missing.ebc", out, false, "Input File Not Found", IdInFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        // A field is only ever left holding a name that its own check accepts.
        Fill(IdInFile, in);
        if (c.tick) Tick();
        PostFocus(dialog, IdView);
        ExpectFocusOn(IdView);
        Fill(IdInFile, c.input);
        Fill(IdOutFile, c.output);
        MessageBoxView box = Press(IdProcess);
        ExpectBox(box, ErrorCaption, c.message, BoxIcon::Stop);
        Answer(box);
        ExpectFocusOn(c.focus);
        EXPECT_EQ(ReadWholeFile(out), "kept") << "a refused Process must not touch the output file";
        EXPECT_EQ(ComboListItems(dialog, IdInFile), std::vector<std::string>{}) << "refused names are not recorded";
    }
    EXPECT_FALSE(FileExists(folder / "missing.ebc"));
}

TEST_F(VelmorTest, KeepsTheNewestNamesFirstInTheDropDownLists)
{
    struct Run {
        int input;
        int output;
    };
    struct Case {
        const char* name;
        std::vector<Run> runs;
        std::vector<int> inputs;  // the input list afterwards, newest first
        std::vector<int> outputs;
    };
    std::vector<Run> elevenInputs;
    for (int i = 0; i < 11; ++i) elevenInputs.push_back({i, 0});
    const Case cases[] = {
        {"the same names twice are listed once", {{0, 0}, {0, 0}}, {0}, {0}},
        {"only the newest entry is compared", {{0, 0}, {1, 1}, {0, 0}}, {0, 1, 0}, {0, 1, 0}},
        {"eleven names keep the ten newest", elevenInputs, {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}, {0}},
    };
    auto inputName = [&](int i) { return folder / ("in" + std::to_string(i) + ".ebc"); };
    auto outputName = [&](int i) { return folder / ("out" + std::to_string(i) + ".txt"); };
    // Every input has its own length, so each results text names its own run.
    for (int i = 0; i < 11; ++i) WriteWholeFile(inputName(i), PatternBytes(static_cast<std::size_t>(i) + 1));

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Start());
        for (const Run& run : c.runs) {
            Fill(IdInFile, inputName(run.input));
            Fill(IdOutFile, outputName(run.output));
            MessageBoxView box = Press(IdProcess);
            ExpectBox(box, ResultsCaption, "Created  " + std::to_string(run.input + 1) + " bytes in output file.",
                      BoxIcon::Information);
            Answer(box);
        }
        std::vector<std::string> inputs, outputs;
        for (int i : c.inputs) inputs.push_back(inputName(i));
        for (int i : c.outputs) outputs.push_back(outputName(i));
        EXPECT_EQ(ComboListItems(dialog, IdInFile), inputs);
        EXPECT_EQ(ComboListItems(dialog, IdOutFile), outputs);
        PostCommand(dialog, IdQuit);
        EXPECT_EQ(ExitCodeOf(*velmor), 0u);
    }
}

TEST_F(VelmorTest, ASecondCopyRefusesToRunAndLeavesTheFirstAlone)
{
    const std::string in = folder / "in.ebc";
    const std::string out = folder / "out.txt";
    WriteWholeFile(in, HelloWorld);
    ASSERT_TRUE(Start());

    std::unique_ptr<StartedProgram> second = Launch();
    ASSERT_TRUE(second->Started());
    MessageBoxView box;
    ASSERT_TRUE(WaitForMessageBox(second->Id(), &box)) << "the second copy shows nothing";
    ExpectBox(box, "VELMOR Error", SecondCopyText, BoxIcon::Stop);
    EXPECT_EQ(FindDialog(second->Id(), MainCaption), nullptr) << "the second copy shows its own main dialog";
    Answer(box);
    EXPECT_EQ(ExitCodeOf(*second), 0u);

    EXPECT_EQ(FindDialog(velmor->Id(), MainCaption), dialog) << "the first copy's dialog is gone";
    ConvertHelloWorld(in, out);
}

TEST_F(VelmorTest, AnotherObjectHoldingTheMutexNameStopsTheProgram)
{
    OwnedHandle event(CreateEventA(nullptr, TRUE, FALSE, "velmor_mutex_object"));
    const DWORD created = GetLastError();
    ASSERT_NE(event.get(), nullptr) << "error " << created << ": does a copy of velmor.exe still run?";

    velmor = Launch();
    ASSERT_TRUE(velmor->Started());
    struct Expected {
        const char* caption;
        const char* text;
    };
    const Expected boxes[] = {
        {"Oops!", "Mutex Create failed with error code 6"},
        {"VELMOR Error", SecondCopyText},
    };
    for (const Expected& expected : boxes) {
        MessageBoxView box;
        ASSERT_TRUE(WaitForMessageBox(velmor->Id(), &box)) << "no box \"" << expected.text << "\"";
        ExpectBox(box, expected.caption, expected.text, BoxIcon::Stop);
        EXPECT_EQ(FindDialog(velmor->Id(), MainCaption), nullptr);
        Answer(box);
    }
    EXPECT_EQ(ExitCodeOf(*velmor), 0u);
}

TEST_F(VelmorTest, QuitAndTheCloseBoxEndTheProgramWithoutAWord)
{
    struct Case {
        const char* name;
        void (*close)(HWND dialog);
    };
    const Case cases[] = {
        {"Quit", [](HWND window) { PostCommand(window, IdQuit); }},
        {"close box", [](HWND window) { PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(Start());
        ExpectFocusOn(IdInFile);
        // Left by itself, this name would be refused when the field loses the focus.
        Fill(IdInFile, folder / "no such input.ebc");
        c.close(dialog);
        EXPECT_EQ(ExitCodeOf(*velmor), 0u);
    }
}

TEST_F(VelmorTest, AboutBoxClosesOnlyWithOk)
{
    ASSERT_TRUE(Start());
    std::vector<std::string> firstTexts;
    for (int opening = 1; opening <= 2; ++opening) {
        SCOPED_TRACE("opening " + std::to_string(opening));
        PostCommand(dialog, IdAbout);
        HWND about = WaitForDialog(velmor->Id(), AboutCaption);
        ASSERT_NE(about, nullptr) << "About does not open";
        EXPECT_EQ(GetWindow(about, GW_OWNER), dialog);
        EXPECT_FALSE(IsWindowEnabled(dialog)) << "the About box is not modal";

        std::vector<std::string> texts;
        for (HWND child = GetWindow(about, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
            texts.push_back(ControlText(child));
        EXPECT_NE(std::find_if(texts.begin(), texts.end(),
                               [](const std::string& text) {
                                   return text.find("EBCDIC to ASCII Converter v 2.2.0") != std::string::npos;
                               }),
                  texts.end());
        if (opening == 1) {
            firstTexts = texts;
        } else {
            EXPECT_EQ(texts, firstTexts);
        }

        // Sent, not posted: when the call returns the command has been handled.
        DWORD_PTR ignored = 0;
        EXPECT_TRUE(SendMessageTimeoutA(about, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0, SMTO_ABORTIFHUNG,
                                        kPatience, &ignored));
        EXPECT_TRUE(IsWindow(about) && IsWindowVisible(about)) << "Esc closed the About box";

        PostCommand(about, IDOK);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); })) << "OK does not close the About box";
        EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(dialog) != FALSE; }));
    }
}

TEST_F(VelmorTest, ViewOpensTheOutputFileInTheEditor)
{
    const std::string out = folder / "view.txt";
    WriteWholeFile(out, "to be viewed\r\n");
    ASSERT_TRUE(Start());
    Fill(IdOutFile, out);
    ViewInTheEditor("view.txt");
}

TEST_F(VelmorTest, ViewRefusesAMissingOutputFile)
{
    ASSERT_TRUE(Start());
    Fill(IdOutFile, folder / "absent.txt");
    MessageBoxView box = Press(IdView);
    ExpectBox(box, ErrorCaption, "Output File not found for viewing", BoxIcon::Stop);
    // A launch happens before the box could show, so a started editor would be here by now.
    EXPECT_EQ(ChildrenOf(velmor->Id()), std::vector<DWORD>{}) << "an editor was started";
    Answer(box);
}

// Alt and a label's letter move the focus to its field; Alt+F ticks and unticks the box as a
// click does, with all that a click does, and Alt+R reaches the field that a tick enables.
TEST_F(VelmorTest, AccessKeysReachEveryFieldAndTickTheBox)
{
    ASSERT_TRUE(Start());
    PostFocus(dialog, IdView);
    ExpectFocusOn(IdView);
    struct Step {
        const char* keys;
        WPARAM letter;
        int focus;
        bool ticked;
    };
    const Step steps[] = {
        {"Alt+O", 'O', IdOutFile, false}, {"Alt+I", 'I', IdInFile, false}, {"Alt+F", 'F', IdLrecl, true},
        {"Alt+I", 'I', IdInFile, true},   {"Alt+R", 'R', IdLrecl, true},   {"Alt+F", 'F', IdFixedCrlf, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.keys);
        PostKey(GetDlgItem(dialog, FocusedControl(dialog)), step.letter, true);
        ExpectFocusOn(step.focus);
        EXPECT_EQ(IsChecked(dialog, IdFixedCrlf), step.ticked);
        EXPECT_EQ(IsWindowEnabled(GetDlgItem(dialog, IdLrecl)) != FALSE, step.ticked);
    }
}

// Ticking the box, or leaving the input field with it ticked, offers the length the input's
// own structure shows, all of it selected so that typing replaces it; a length already typed,
// or an input without records, leaves the field as it was. No box says anything, and Process
// takes the offered length as a typed one.
TEST_F(VelmorTest, OffersTheRecordLengthTheInputShows)
{
    const std::string cards = folder / "cards.ebc", text = folder / "text.ebc", out = folder / "out.txt";
    WriteWholeFile(cards, CardImages(200, 3));
    WriteWholeFile(text, NewLineText(1000, 3));
    ASSERT_TRUE(Start());
    struct Case {
        const char* what;
        std::string input;
        const char* typed;
        bool leaveInput;  // the input named after the tick, and left for View
        const char* offered;
    };
    // The last leaves the box ticked and the offered length in the field, for Process.
    const Case cases[] = {
        {"a length typed", cards, "133", false, "133"},
        {"a length typed, input left", cards, "72", true, "72"},
        {"a stream file", text, "", false, ""},
        {"a stream file, input left", text, "", true, ""},
        {"ticked", cards, "", false, "80"},
        {"input left", cards, "", true, "80"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (IsChecked(dialog, IdFixedCrlf)) {
            PostClick(dialog, IdFixedCrlf);
            EXPECT_TRUE(WaitUntil([&] { return !IsChecked(dialog, IdFixedCrlf); }));
        }
        Fill(IdLrecl, c.typed);
        Fill(IdInFile, c.leaveInput ? "" : c.input);
        Tick();
        if (c.leaveInput) {
            Fill(IdInFile, c.input);
            PostFocus(dialog, IdInFile);
            ExpectFocusOn(IdInFile);
            PostFocus(dialog, IdView);
        }
        ExpectFocusOn(c.leaveInput ? IdView : IdLrecl);
        HWND field = GetDlgItem(dialog, IdLrecl);
        EXPECT_TRUE(WaitUntil([&] { return ControlText(field) == c.offered; }, 2000)) << "the field holds "" << ControlText(field) << """;
        if (*c.typed == '\0' && *c.offered != '\0') {
            DWORD selection = static_cast<DWORD>(SendMessageW(field, EM_GETSEL, 0, 0));
            EXPECT_EQ(LOWORD(selection), 0u);
            EXPECT_EQ(HIWORD(selection), std::string(c.offered).size()) << "the offered length is not selected whole";
        }
        EXPECT_EQ(FindMessageBox(velmor->Id()), nullptr) << "a box shows";
    }

    Fill(IdOutFile, out);
    MessageBoxView results = Press(IdProcess);
    ExpectBox(results, ResultsCaption, "Created  200 80-byte records", BoxIcon::Information);
    Answer(results);
}

// 259 bytes is the most a name may have; one byte more is refused, never cut to another file.
// In Cyrillic every letter takes two bytes of UTF-8.
TEST_F(VelmorTest, NamesOfUpTo259BytesWorkWholeLongerOnesAreRefused)
{
    for (const std::string letter : {"n", u8"ж"}) {
        SCOPED_TRACE(letter);
        const std::string in = PathOfLength(folder, 259, letter, ".ebc");
        const std::string out = PathOfLength(folder, 259, letter, ".txt");
        const std::string longIn = PathOfLength(folder, 260, letter, ".ebc");
        const std::string longOut = PathOfLength(folder, 260, letter, ".txt");
        WriteWholeFile(in, HelloWorld);
        WriteWholeFile(longIn, HelloWorld);  // there, and refused all the same
        ASSERT_TRUE(Start());
        ConvertHelloWorld(in, out);
        ViewInTheEditor(BaseName(out));

        struct Case {
            std::string input, output;
            int button;
            const char* message;
            int focus;  // the field the refusal puts the focus on; 0 for none
        };
        // The refused input comes last: a field is only ever left holding a name that its own
        // check accepts, and so the input gets a good name back at once.
        const Case cases[] = {
            {in, longOut, IdProcess, "Invalid Output File name or path", IdOutFile},
            {in, longOut, IdView, "Output File not found for viewing", 0},
            {longIn, out, IdProcess, "Input File Not Found", IdInFile},
        };
        for (const Case& c : cases) {
            Fill(IdInFile, c.input);
            Fill(IdOutFile, c.output);
            MessageBoxView box = Press(c.button);
            ExpectBox(box, ErrorCaption, c.message, BoxIcon::Stop);
            Answer(box);
            Fill(IdInFile, in);
            if (c.focus != 0) ExpectFocusOn(c.focus);
        }
        EXPECT_EQ(ChildrenOf(velmor->Id()), std::vector<DWORD>{}) << "an editor was started";
        EXPECT_EQ(FolderEntries(longOut.substr(0, longOut.rfind('\\'))), std::vector<std::string>{})
            << "a file was made under a cut name";
        EXPECT_EQ(ReadWholeFile(out), "HELLO WORLD");
        PostCommand(dialog, IdQuit);
        EXPECT_EQ(ExitCodeOf(*velmor), 0u);
    }
}

// Explorer's "Copy as path" quotes a name; pasted with blanks around it, it still works.
TEST_F(VelmorTest, QuotedNamesWithBlanksAroundThemAreTakenBare)
{
    const std::string in = folder / "in put.ebc";
    const std::string out = folder / "out put.txt";
    WriteWholeFile(in, HelloWorld);
    ASSERT_TRUE(Start());
    Fill(IdInFile, "  \"" + in + "\" ");
    Fill(IdOutFile, "\"" + out + "\"  ");
    MessageBoxView results = Press(IdProcess);
    ExpectBox(results, ResultsCaption, "Created  11 bytes in output file.", BoxIcon::Information);
    Answer(results);
    EXPECT_EQ(ReadWholeFile(out), "HELLO WORLD");
    EXPECT_EQ(ComboListItems(dialog, IdInFile), std::vector<std::string>{in});
    EXPECT_EQ(ComboListItems(dialog, IdOutFile), std::vector<std::string>{out});
    ViewInTheEditor("out put.txt");
}

// A drop lands in the output field on that field, in the input field anywhere else; the
// first ordinary file of the drop counts. A drop that must change nothing is followed by one
// that changes the other field, which shows that the first was handled: posted messages keep
// their order.
TEST_F(VelmorTest, FilesDroppedFromExplorerLandInTheirField)
{
    const std::string in = folder / u8"Отчёт.ebc";
    const std::string out = folder / "out.txt";
    const std::string sub = folder / "a folder";
    WriteWholeFile(in, HelloWorld);
    WriteWholeFile(out, "");
    ASSERT_TRUE(CreateDirectoryW(Utf16(sub).c_str(), nullptr));
    const std::string longName = PathOfLength(folder, 260, "n", ".ebc");
    WriteWholeFile(longName, HelloWorld);
    ASSERT_TRUE(Start());

    RECT outField = {}, checkBox = {};
    GetWindowRect(GetDlgItem(dialog, IdOutFile), &outField);
    GetWindowRect(GetDlgItem(dialog, IdFixedCrlf), &checkBox);
    const POINT freeArea = {checkBox.left, (outField.bottom + checkBox.top) / 2};
    struct Case {
        const char* where;
        POINT point;
        std::vector<std::string> files;
        std::string input, output;  // the fields afterwards
    };
    RECT inField = {};
    GetWindowRect(GetDlgItem(dialog, IdInFile), &inField);
    const POINT inLabel = {inField.left + 10, inField.top - 8};
    const Case cases[] = {
        {"input field", CentreOf(dialog, IdInFile), {in}, in, ""},
        {"output field", CentreOf(dialog, IdOutFile), {sub, out}, in, out},
        {"free area", freeArea, {sub}, in, out},
        {"free area", freeArea, {longName}, in, out},
        {"output field", CentreOf(dialog, IdOutFile), {in}, in, in},
        {"Process button", CentreOf(dialog, IdProcess), {sub, out}, out, in},
        {"Input File label", inLabel, {in}, in, in},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.where);
        ASSERT_TRUE(PostDrop(c.point, c.files)) << "nothing there accepts files";
        EXPECT_TRUE(WaitUntil([&] {
            return ControlText(GetDlgItem(dialog, IdInFile)) == c.input &&
                   ControlText(GetDlgItem(dialog, IdOutFile)) == c.output;
        })) << "fields: \"" << ControlText(GetDlgItem(dialog, IdInFile)) << "\", \""
            << ControlText(GetDlgItem(dialog, IdOutFile)) << "\"";
        EXPECT_EQ(FindMessageBox(velmor->Id()), nullptr);
    }
    EXPECT_EQ(ComboListItems(dialog, IdInFile), std::vector<std::string>{}) << "only Process records names";
    ConvertHelloWorld(in, out);
}

// Explorer starts the program with the file dropped on its icon, or sent to it, as the
// command tail; a tail that names no ordinary file is ignored.
TEST_F(VelmorTest, StartedWithAFileTheInputFieldNamesIt)
{
    const std::string in = folder / "in.ebc";
    const std::string blank = folder / "with blank.ebc";
    WriteWholeFile(in, HelloWorld);
    WriteWholeFile(blank, HelloWorld);
    struct Case {
        std::string tail;
        std::string input;
    };
    const Case cases[] = {
        {in, in},
        {"\"" + blank + "\"", blank},
        {"in.ebc", in},  // relative to the current folder
        {"\"" + folder.Path() + "\"", ""},
        {"missing.ebc", ""},
        {"*.ebc", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail);
        ASSERT_TRUE(Start(c.tail));
        EXPECT_EQ(ControlText(GetDlgItem(dialog, IdInFile)), c.input);
        EXPECT_EQ(FindMessageBox(velmor->Id()), nullptr);
        PostCommand(dialog, IdQuit);
        EXPECT_EQ(ExitCodeOf(*velmor), 0u);
    }

    ASSERT_TRUE(Start(in));
    std::unique_ptr<StartedProgram> second = Launch("\"" + blank + "\"");
    MessageBoxView box;
    ASSERT_TRUE(WaitForMessageBox(second->Id(), &box)) << "the second copy shows nothing";
    ExpectBox(box, "VELMOR Error", SecondCopyText, BoxIcon::Stop);
    Answer(box);
    EXPECT_EQ(ExitCodeOf(*second), 0u);
    EXPECT_EQ(ControlText(GetDlgItem(dialog, IdInFile)), in) << "the first copy was not told of the file";
}

// Where Wine sees the Linux /dev/shm, its files live in memory: a sparse input's holes read at
// memory speed there, and a stopped job's temporary output costs no disk.
bool HasMemoryFolder()
{
    DWORD shm = GetFileAttributesW(L"Z:\\dev\\shm");
    return shm != INVALID_FILE_ATTRIBUTES && (shm & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A file of size bytes that takes no room, in memory where the machine has it.
class SparseInput {
public:
    SparseInput(const ScratchFolder& folder, std::uint64_t size)
        : path_(HasMemoryFolder() ? "Z:\\dev\\shm\\velmor-e2e-" + std::to_string(GetCurrentProcessId()) + ".ebc"
                                  : folder / "sparse.ebc"),
          made_(MakeSparseFile(path_, size))
    {
    }
    ~SparseInput() { DeleteFileW(Utf16(path_).c_str()); }
    SparseInput(const SparseInput&) = delete;
    SparseInput& operator=(const SparseInput&) = delete;
    bool Made() const { return made_; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    bool made_;
};

// 2 GiB in records of one byte: about four seconds of work here, and NUL costs no disk.
constexpr std::uint64_t LongJobBytes = 2ull << 30;
const char LongJobResults[] = "Created  2147483648 1-byte records";

bool IsPercentCaption(const std::string& caption)
{
    const std::string tail = std::string("% - ") + MainCaption;
    std::size_t digits = caption.find_first_not_of("0123456789");
    return digits > 0 && digits <= 3 && digits != std::string::npos && caption.substr(digits) == tail &&
           std::stoi(caption.substr(0, digits)) <= 100;
}

// What another program sees of the dialog while its job runs, probed every 50 ms as Windows'
// hung-window detection does.
struct JobWatch {
    DWORD longestAnswer = 0;  // ms that WM_NULL waited for an answer
    DWORD jobMs = 0;          // from the start of the watch, at the press of Process, to the results box
    int probes = 0;
    int percentCaptions = 0;
    std::vector<std::string> strangeCaptions;
    bool disabledSeen = false;
    bool enabledAgainDuringJob = false;
};

// Probes until a message box of the program shows; onPercent runs once, at the first
// percentage in the caption.
JobWatch WatchJob(HWND dialog, DWORD processId, const std::function<void()>& onPercent = nullptr)
{
    JobWatch watch;
    bool percentSeen = false;
    const DWORD start = GetTickCount();
    while (FindMessageBox(processId) == nullptr && GetTickCount() - start < 120000) {
        DWORD_PTR ignored = 0;
        DWORD asked = GetTickCount();
        SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &ignored);
        watch.longestAnswer = std::max(watch.longestAnswer, GetTickCount() - asked);
        ++watch.probes;
        std::string caption = WindowCaption(dialog);
        if (IsPercentCaption(caption)) {
            ++watch.percentCaptions;
            if (!percentSeen && onPercent) onPercent();
            percentSeen = true;
        } else if (caption != MainCaption) {
            watch.strangeCaptions.push_back(caption);
        }
        bool enabled = IsWindowEnabled(dialog) != FALSE;
        if (!enabled) watch.disabledSeen = true;
        if (enabled && watch.disabledSeen && FindMessageBox(processId) == nullptr) watch.enabledAgainDuringJob = true;
        Sleep(50);
    }
    watch.jobMs = GetTickCount() - start;
    return watch;
}

// An output of a few words that a stopped job must leave as it was, in a folder of its own:
// in memory where the machine has it, since the job's temporary file may reach a gigabyte
// before it goes.
class OldOutput {
public:
    OldOutput() { WriteWholeFile(Path(), Words); }
    std::string Path() const { return folder_ / "old.txt"; }
    std::string Bytes() const { return ReadWholeFile(Path()); }
    // Nothing else in its folder either: no part of the new output, and no temporary file.
    std::vector<std::string> Folder() const { return FolderEntries(folder_.Path()); }
    static constexpr const char* Words = "old words";

private:
    ScratchFolder folder_{HasMemoryFolder() ? "Z:\\dev\\shm" : ""};
};

// Sparse, records of one byte: half a minute of work if nobody stopped it.
constexpr std::uint64_t StoppedJobBytes = 16ull << 30;

class LongJobTest : public VelmorTest {
protected:
    void StartLongJob(const SparseInput& input, const std::string& output = "NUL")
    {
        ASSERT_TRUE(input.Made()) << "cannot make " << input.Path();
        ASSERT_TRUE(Start());
        Fill(IdInFile, input.Path());
        Fill(IdOutFile, output);
        Tick();
        Fill(IdLrecl, "1");
        PostCommand(dialog, IdProcess);
    }

    void ExpectALongJobWasWatched(const JobWatch& watch)
    {
        EXPECT_GE(watch.jobMs, 2000u) << "the job was too short to tell anything: make LongJobBytes larger";
        EXPECT_LE(watch.longestAnswer, 500u) << "the dialog did not answer for " << watch.longestAnswer
                                             << " ms during a job of " << watch.jobMs << " ms";
        EXPECT_GT(watch.percentCaptions, 0) << "no percentage in the caption in " << watch.probes << " probes";
        EXPECT_EQ(watch.strangeCaptions, std::vector<std::string>{});
        EXPECT_TRUE(watch.disabledSeen) << "the dialog was never disabled";
        EXPECT_FALSE(watch.enabledAgainDuringJob) << "the dialog took input during the job";
    }

    // The progress window of the job that runs, read as a user sees it; null when none came.
    HWND ExpectProgressWindow(const std::string& input, const std::string& output)
    {
        HWND progress = WaitForDialog(velmor->Id(), ProgressCaption);
        if (progress == nullptr) {
            ADD_FAILURE() << "no \"" << ProgressCaption << "\" window during the job";
            return nullptr;
        }
        EXPECT_EQ(GetWindow(progress, GW_OWNER), dialog);
        EXPECT_EQ(ControlText(GetDlgItem(progress, IdJobInput)), input);
        EXPECT_EQ(ControlText(GetDlgItem(progress, IdJobOutput)), output);
        wchar_t barClass[64] = {};
        GetClassNameW(GetDlgItem(progress, IdJobBar), barClass, 64);
        EXPECT_EQ(Utf8(barClass), "msctls_progress32");
        EXPECT_TRUE(WaitUntil([&] {
            std::string status = ControlText(GetDlgItem(progress, IdJobStatus));
            return status.find(" of 16.0 GB, ") != std::string::npos && status.size() > 5 &&
                   status.substr(status.size() - 5) == " left";
        })) << "status line \"" << ControlText(GetDlgItem(progress, IdJobStatus)) << "\"";
        DWORD_PTR defaultId = 0;
        SendMessageTimeoutW(progress, DM_GETDEFID, 0, 0, SMTO_NORMAL, kPatience, &defaultId);
        EXPECT_EQ(LOWORD(defaultId), IDCANCEL) << "Cancel is not the default button";
        EXPECT_TRUE(WaitUntil([&] { return FocusedControl(progress) == IDCANCEL; }))
            << "the focus is on " << FocusedControl(progress);
        EXPECT_TRUE(IsPercentCaption(WindowCaption(dialog))) << WindowCaption(dialog);
        EXPECT_FALSE(IsWindowEnabled(dialog));
        return progress;
    }
};

TEST_F(LongJobTest, TheDialogAnswersAndShowsHowFarTheJobHasCome)
{
    SparseInput input(folder, LongJobBytes);
    const std::string dropped = folder / "dropped.ebc";
    WriteWholeFile(dropped, HelloWorld);
    StartLongJob(input);
    // The disabled dialog may still be handed a drop: it must change neither field.
    JobWatch watch = WatchJob(dialog, velmor->Id(), [&] {
        for (int field : {IdInFile, IdOutFile}) {
            POINT centre = CentreOf(dialog, field);
            ScreenToClient(dialog, &centre);
            EXPECT_TRUE(PostDropTo(dialog, centre, {dropped}));
        }
    });
    std::printf("long job: %lu ms, longest answer %lu ms over %d probes, %d with a percentage\n",
                static_cast<unsigned long>(watch.jobMs), static_cast<unsigned long>(watch.longestAnswer), watch.probes,
                watch.percentCaptions);
    ExpectALongJobWasWatched(watch);

    MessageBoxView box;
    ASSERT_TRUE(WaitForMessageBox(velmor->Id(), &box));
    ExpectBox(box, ResultsCaption, LongJobResults, BoxIcon::Information);
    EXPECT_EQ(WindowCaption(dialog), MainCaption);
    EXPECT_TRUE(IsWindowEnabled(dialog)) << "the dialog stays disabled after the job";
    EXPECT_EQ(FindDialog(velmor->Id(), ProgressCaption), nullptr) << "the progress window outlived its job";
    Answer(box);
    EXPECT_EQ(ComboListItems(dialog, IdInFile), std::vector<std::string>{input.Path()});
    EXPECT_EQ(WindowCaption(dialog), MainCaption);
    EXPECT_EQ(ControlText(GetDlgItem(dialog, IdInFile)), input.Path());
    EXPECT_EQ(ControlText(GetDlgItem(dialog, IdOutFile)), "NUL");
}

// Every way the progress window stops a job, one job after another in one run of the program:
// the window goes within half a second, no box says anything, the old output is as it was and
// the dialog is back as it was before Process.
TEST_F(LongJobTest, TheProgressWindowStopsTheJobAndTheOutputStaysAsItWas)
{
    SparseInput input(folder, StoppedJobBytes);
    OldOutput old;
    StartLongJob(input, old.Path());
    struct Way {
        const char* name;
        std::function<void(HWND progress)> stop;
    };
    const Way ways[] = {
        {"a click on Cancel", [](HWND progress) { PostMouseClick(progress, IDCANCEL); }},
        {"Esc", [](HWND progress) { PostKey(GetDlgItem(progress, IDCANCEL), VK_ESCAPE); }},
        {"Enter", [](HWND progress) { PostKey(GetDlgItem(progress, IDCANCEL), VK_RETURN); }},
        {"the close box", [](HWND progress) { PostMessageW(progress, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    bool first = true;
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        if (!first) PostCommand(dialog, IdProcess);
        HWND progress = ExpectProgressWindow(input.Path(), old.Path());
        ASSERT_NE(progress, nullptr);
        EXPECT_EQ(old.Bytes(), OldOutput::Words) << "the old output changed during the job";
        if (first) {
            // The dialog behind it takes no input: a click on Quit and Esc change nothing.
            PostMouseClick(dialog, IdQuit);
            PostKey(GetDlgItem(dialog, IdProcess), VK_ESCAPE);
            Sleep(300);
            EXPECT_FALSE(velmor->HasEnded()) << "a click on the disabled dialog's Quit ended the program";
            EXPECT_TRUE(IsWindow(progress)) << "the job stopped without being asked to";
        }
        DWORD asked = GetTickCount();
        way.stop(progress);
        bool gone = WaitUntil([&] { return !IsWindow(progress); });
        DWORD took = GetTickCount() - asked;
        std::printf("%s: the progress window went %lu ms after the stop was asked for\n", way.name,
                    static_cast<unsigned long>(took));
        ASSERT_TRUE(gone) << "the progress window stays";
        EXPECT_LE(took, 1000u) << "the job took long to stop";
        MessageBoxView box;
        EXPECT_FALSE(WaitForMessageBox(velmor->Id(), &box, 500)) << "a box after the stop: \"" << box.text << "\"";
        EXPECT_EQ(WindowCaption(dialog), MainCaption);
        EXPECT_TRUE(IsWindowEnabled(dialog));
        EXPECT_EQ(old.Bytes(), OldOutput::Words);
        EXPECT_EQ(old.Folder(), std::vector<std::string>{"old.txt"});
        EXPECT_EQ(ControlText(GetDlgItem(dialog, IdInFile)), input.Path());
        EXPECT_EQ(ControlText(GetDlgItem(dialog, IdOutFile)), old.Path());
        EXPECT_EQ(ComboListItems(dialog, IdInFile), std::vector<std::string>{}) << "a stopped job entered the history";
        first = false;
    }
}

// A close of the main window during a job stops the job, as Cancel does, and ends the program:
// from the taskbar once the progress window shows, and Alt+F4 before it does.
TEST_F(LongJobTest, ACloseOfTheMainWindowStopsTheJobAndEndsTheProgram)
{
    SparseInput input(folder, StoppedJobBytes);
    OldOutput old;
    struct Way {
        const char* name;
        bool afterProgressWindow;
        std::function<void(HWND dialog)> close;
    };
    const Way ways[] = {
        {"the taskbar's Close window", true, [](HWND main) { PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Alt+F4", false, [](HWND main) {
             int focused = FocusedControl(main);
             PostKey(focused != 0 ? GetDlgItem(main, focused) : main, VK_F4, true);
         }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        StartLongJob(input, old.Path());
        if (way.afterProgressWindow) {
            ASSERT_NE(ExpectProgressWindow(input.Path(), old.Path()), nullptr);
        } else {
            ASSERT_TRUE(WaitUntil([&] { return !IsWindowEnabled(dialog); })) << "the job did not start";
        }
        way.close(dialog);
        EXPECT_EQ(ExitCodeOf(*velmor), 0u);
        EXPECT_EQ(old.Bytes(), OldOutput::Words);
        EXPECT_EQ(old.Folder(), std::vector<std::string>{"old.txt"});
    }
}

// Names outside the system's 8-bit code page reach the files whole: in the dialog, in the
// editor View starts, and in velmorc.
TEST_F(VelmorTest, FileNamesInAnyScriptWork)
{
    const std::string inName = u8"Отчёт.ebc";
    const std::string outName = u8"日本語.txt";
    const std::string in = folder / inName;
    const std::string out = folder / outName;
    WriteWholeFile(in, HelloWorld);
    ASSERT_TRUE(Start());
    ConvertHelloWorld(in, out);
    EXPECT_EQ(ComboListItems(dialog, IdOutFile), std::vector<std::string>{out});
    ViewInTheEditor(outName);

    ASSERT_FALSE(Velmorc.empty()) << "usage: velmor_e2e_test VELMOR.EXE SHOT-FOLDER VELMORC.EXE";
    const std::string records = folder / u8"Ελληνικά записи.txt";
    ProgramRun run = RunProgram("\"" + Velmorc + "\" \"" + in + "\" \"" + records + "\" 5");
    EXPECT_EQ(run.exitCode, 0u) << run.errors;
    EXPECT_EQ(run.output, "Created  3 5-byte records\r\n");
    EXPECT_EQ(ReadWholeFile(records), "HELLO\r\n WORL\r\nD\r\n");
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1) Velmor = WindowsPath(argv[1]);
    ShotFolder = argc > 2 ? argv[2] : ".";
    if (argc > 3) Velmorc = WindowsPath(argv[3]);
    UnmanagedUnderWine quickClose(BaseName(Velmor));
    return RUN_ALL_TESTS();
}
