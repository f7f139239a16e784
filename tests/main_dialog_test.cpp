// The real main dialog, made from the real template and driven through its window messages in
// this process; every box it would show is captured instead.
#include "control_ids.h"
#include "dialogs.h"
#include "job_progress.h"
#include "process_commands.h"
#include "support.h"
#include "system_error_text.h"
#include <gtest/gtest.h>
#include <algorithm>

namespace {

void Pump()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// The current directory for one test, given back afterwards.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::string& path)
    {
        GetCurrentDirectoryA(MAX_PATH, previous_);
        SetCurrentDirectoryA(path.c_str());
    }
    ~CurrentFolder() { SetCurrentDirectoryA(previous_); }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

private:
    char previous_[MAX_PATH] = {};
};

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ErrorCaption = "EBCDIC-ASCII Error";
        dialog = CreateDialogParamA(GetModuleHandleA(nullptr), "VELMOR", nullptr, VELMORDIALOGPROC, 0);
        ASSERT_NE(dialog, nullptr);
        SetForegroundWindow(dialog);
        Pump();
    }
    void TearDown() override
    {
        if (dialog != nullptr) DestroyWindow(dialog);
    }

    HWND Item(int id) const { return GetDlgItem(dialog, id); }
    bool FocusIn(int id) const
    {
        HWND focus = GetFocus();
        return focus != nullptr && (focus == Item(id) || IsChild(Item(id), focus));
    }
    std::string Text(int id) const
    {
        char text[600] = {};
        GetDlgItemTextA(dialog, id, text, sizeof text);
        return text;
    }
    void SetText(int id, const std::string& text) { SetDlgItemTextA(dialog, id, text.c_str()); }
    // Straight to the procedure: the dialog manager does not hand its answer back to a sender.
    INT_PTR Command(int id, int notification)
    {
        INT_PTR result = VELMORDIALOGPROC(dialog, WM_COMMAND, MAKEWPARAM(id, notification),
                                          reinterpret_cast<LPARAM>(Item(id)));
        Pump();
        return result;
    }
    // Leaves a field the way a user does: the focus moves on to the next control. (Wine tells
    // a combo box it lost the focus even when the focus is put back on it.)
    void Leave(int id, int next = ID_BROWSE_OUT)
    {
        if (!FocusIn(id)) SetFocus(Item(id));
        Pump();
        SetFocus(Item(next));
        Pump();
    }
    std::vector<std::string> List(int id) const
    {
        std::vector<std::string> entries;
        LRESULT count = SendDlgItemMessageA(dialog, id, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            char entry[600] = {};
            SendDlgItemMessageA(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry));
            entries.push_back(entry);
        }
        return entries;
    }
    void Tick(bool ticked)
    {
        if ((IsDlgButtonChecked(dialog, ID_FIXED_CRLF) == BST_CHECKED) != ticked)
            SendMessageA(Item(ID_FIXED_CRLF), BM_CLICK, 0, 0);
        Pump();
    }

    ScratchFolder folder;
    MessageCapture boxes;
    HWND dialog = nullptr;
};

TEST_F(MainDialogTest, StartsWithFocusInTheInputFieldAndTheRecordLengthOff)
{
    EXPECT_TRUE(FocusIn(ID_INFILE));
    EXPECT_FALSE(IsWindowEnabled(Item(ID_LRECL)));
    EXPECT_EQ(IsDlgButtonChecked(dialog, ID_FIXED_CRLF), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_EQ(SendDlgItemMessageA(dialog, ID_LRECL, EM_GETLIMITTEXT, 0, 0), 6);
    EXPECT_TRUE(List(ID_INFILE).empty());
    EXPECT_TRUE(List(ID_OUTFILE).empty());
    HICON small = reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0));
    HICON big = reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0));
    EXPECT_NE(small, nullptr);
    EXPECT_EQ(small, big) << "one icon, set as both the small and the big one";
    EXPECT_TRUE(boxes.Shown().empty());
}

// What Windows' accessibility names a field without text of its own by: the first static
// before it in z-order, unless a control that starts a tab group comes first. The "&" of an
// access key is no part of the name.
std::string LabelOf(HWND field)
{
    for (HWND before = GetWindow(field, GW_HWNDPREV); before != nullptr; before = GetWindow(before, GW_HWNDPREV)) {
        char className[16] = "";
        GetClassNameA(before, className, sizeof className);
        LONG style = GetWindowLongA(before, GWL_STYLE);
        if (lstrcmpiA(className, "Static") == 0) {
            char text[64] = "";
            GetWindowTextA(before, text, sizeof text);
            std::string name = text;
            name.erase(std::remove(name.begin(), name.end(), '&'), name.end());
            return name;
        }
        if ((style & (WS_GROUP | WS_TABSTOP)) == (WS_GROUP | WS_TABSTOP)) return "";
    }
    return "";
}

TEST_F(MainDialogTest, EachFieldIsNamedByItsOwnLabelAndTheTabOrderIsAsBefore)
{
    EXPECT_EQ(LabelOf(Item(ID_INFILE)), "Input File");
    EXPECT_EQ(LabelOf(Item(ID_OUTFILE)), "Output File");
    EXPECT_EQ(LabelOf(Item(ID_LRECL)), "Record Length");

    Tick(true);
    const int order[] = {ID_INFILE, ID_BROWSE_IN, ID_OUTFILE, ID_BROWSE_OUT, ID_FIXED_CRLF,
                         ID_LRECL, ID_PROCESS, ID_VIEW, ID_QUIT, ID_ABOUT, ID_INFILE};
    for (std::size_t k = 0; k + 1 < sizeof order / sizeof order[0]; ++k)
        EXPECT_EQ(GetDlgCtrlID(GetNextDlgTabItem(dialog, Item(order[k]), FALSE)), order[k + 1]) << "after " << order[k];
}

TEST_F(MainDialogTest, AnIconThatCannotBeLoadedIsReportedAndTheDialogStillWorks)
{
    // The same template, made on behalf of a module that has no icon "PROGRAM".
    HMODULE own = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(own, "VELMOR", MAKEINTRESOURCEA(5));
    ASSERT_NE(found, nullptr);
    auto dialogTemplate = static_cast<LPCDLGTEMPLATEA>(LockResource(LoadResource(own, found)));
    HMODULE other = GetModuleHandleA("kernel32.dll");
    SetLastError(0);
    ASSERT_EQ(LoadIconA(other, "PROGRAM"), nullptr);
    DWORD code = GetLastError();
    EXPECT_TRUE(code == ERROR_RESOURCE_TYPE_NOT_FOUND || code == ERROR_RESOURCE_NAME_NOT_FOUND) << code;

    HWND iconless = CreateDialogIndirectParamA(other, dialogTemplate, nullptr, VELMORDIALOGPROC, 0);
    ASSERT_NE(iconless, nullptr);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, " Error on Load of ICON\r\n" + SystemErrorMessageText(static_cast<std::int32_t>(code)));
    EXPECT_EQ(boxes.Shown()[0].caption, "Halvernook");
    EXPECT_EQ(boxes.Shown()[0].style, 0u);
    EXPECT_EQ(SendDlgItemMessageA(iconless, ID_LRECL, EM_GETLIMITTEXT, 0, 0), 6);
    DestroyWindow(iconless);
}

TEST_F(MainDialogTest, TheCheckBoxEnablesTheDigitsOnlyRecordLengthField)
{
    Tick(true);
    EXPECT_TRUE(IsWindowEnabled(Item(ID_LRECL)));
    EXPECT_TRUE(FocusIn(ID_LRECL));
    for (char c : std::string("12a34-5678")) SendMessageA(Item(ID_LRECL), WM_CHAR, static_cast<WPARAM>(c), 0);
    EXPECT_EQ(Text(ID_LRECL), "123456") << "digits only, at most six";

    Tick(false);
    EXPECT_FALSE(IsWindowEnabled(Item(ID_LRECL)));
    EXPECT_EQ(Text(ID_LRECL), "123456") << "a disabled field keeps its digits";
    Tick(true);
    EXPECT_EQ(Text(ID_LRECL), "123456");
    EXPECT_EQ(Command(ID_FIXED_CRLF, BN_SETFOCUS), 0) << "other notifications of the box are not handled";
}

TEST_F(MainDialogTest, LeavingAFileFieldCompletesABareNameAndChecksTheInput)
{
    CurrentFolder here(folder.Path());
    WriteWholeFile(folder / "in.ebc", "x");
    WriteWholeFile(folder / "hidden.ebc", "x");
    SetFileAttributesA((folder / "hidden.ebc").c_str(), FILE_ATTRIBUTE_HIDDEN);
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    std::string prefix = std::string(current) + "\\";

    SetText(ID_INFILE, "in.ebc");
    Leave(ID_INFILE);
    EXPECT_EQ(Text(ID_INFILE), prefix + "in.ebc");
    EXPECT_TRUE(boxes.Shown().empty());

    struct Case {
        std::string typed;
        std::string shown;
    };
    const Case missing[] = {
        {"missing.ebc", prefix + "missing.ebc"},
        {"D:data.ebc", prefix + "D:data.ebc"},  // a drive letter without a backslash is bare too
        {"hidden.ebc", prefix + "hidden.ebc"},
        {folder.Path(), folder.Path()},  // a folder is no input file
    };
    for (const Case& c : missing) {
        std::size_t before = boxes.Shown().size();
        SetText(ID_INFILE, c.typed);
        Leave(ID_INFILE);
        EXPECT_EQ(Text(ID_INFILE), c.shown);
        ASSERT_EQ(boxes.Shown().size(), before + 1) << c.typed;
        EXPECT_EQ(boxes.Shown().back().text, "Input File Not Found");
        EXPECT_EQ(boxes.Shown().back().caption, "EBCDIC-ASCII Error");
        EXPECT_EQ(boxes.Shown().back().style, static_cast<unsigned>(MB_ICONHAND));
        EXPECT_TRUE(FocusIn(ID_INFILE)) << c.typed;
    }

    SetText(ID_INFILE, "");
    std::size_t before = boxes.Shown().size();
    SetText(ID_OUTFILE, "new.txt");
    Leave(ID_OUTFILE, ID_FIXED_CRLF);
    EXPECT_EQ(Text(ID_OUTFILE), prefix + "new.txt") << "the output is completed but not judged";
    SetText(ID_OUTFILE, "");
    Leave(ID_OUTFILE, ID_FIXED_CRLF);
    EXPECT_EQ(Text(ID_OUTFILE), "");
    Leave(ID_INFILE);
    EXPECT_EQ(boxes.Shown().size(), before);
}

// A completed name longer than 259 bytes would have to be cut; the field keeps the name as
// typed instead, and the input's check refuses it although the file is there.
TEST_F(MainDialogTest, ABareNameIsCompletedOnlyWhenTheWholeNameFits)
{
    std::string whole = PathOfLength(folder, 259, "n", ".ebc");
    std::size_t slash = whole.rfind('\\');
    std::string bare = whole.substr(slash + 1);
    std::string longer = "x" + bare;
    WriteWholeFile(whole, "x");
    WriteWholeFile(whole.substr(0, slash + 1) + longer, "x");
    CurrentFolder here(whole.substr(0, slash));

    SetText(ID_INFILE, bare);
    Leave(ID_INFILE);
    EXPECT_EQ(Text(ID_INFILE), whole);
    EXPECT_TRUE(boxes.Shown().empty());

    SetText(ID_INFILE, longer);
    Leave(ID_INFILE);
    EXPECT_EQ(Text(ID_INFILE), longer);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown().back().text, "Input File Not Found");
    EXPECT_TRUE(FocusIn(ID_INFILE));

    SetText(ID_INFILE, "");
    SetText(ID_OUTFILE, longer);
    Leave(ID_OUTFILE, ID_FIXED_CRLF);
    EXPECT_EQ(Text(ID_OUTFILE), longer);
    EXPECT_EQ(boxes.Shown().size(), 1u);
}

// Explorer's "Copy as path" puts a name in quotes; the field shows it bare once it is left.
TEST_F(MainDialogTest, QuotesAndBlanksAroundANameAreDroppedWhenTheFieldIsLeft)
{
    CurrentFolder here(folder.Path());
    WriteWholeFile(folder / "in.ebc", "x");
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    std::string prefix = std::string(current) + "\\";
    struct Case {
        int field;
        std::string typed;
        std::string shown;
        bool refused;
    };
    const Case cases[] = {
        {ID_INFILE, "\"in.ebc\"", prefix + "in.ebc", false},
        {ID_INFILE, "  \"" + folder / "in.ebc" + "\"  ", folder / "in.ebc", false},
        {ID_OUTFILE, " \"out.txt\" ", prefix + "out.txt", false},
        {ID_INFILE, "\"in.ebc", prefix + "\"in.ebc", true},  // last: the field keeps a refused name
    };
    for (const Case& c : cases) {
        std::size_t before = boxes.Shown().size();
        SetText(c.field, c.typed);
        Leave(c.field, c.field == ID_INFILE ? ID_BROWSE_OUT : ID_FIXED_CRLF);
        EXPECT_EQ(Text(c.field), c.shown) << c.typed;
        EXPECT_EQ(boxes.Shown().size(), before + (c.refused ? 1 : 0)) << c.typed;
    }
}

TEST_F(MainDialogTest, QuitAndTheCloseBoxEndTheDialogWithoutAFieldMessage)
{
    ASSERT_TRUE(FocusIn(ID_INFILE));
    SetText(ID_INFILE, folder / "missing.ebc");
    Leave(ID_INFILE, ID_QUIT);  // the mouse press on Quit moves the focus first
    EXPECT_TRUE(boxes.Shown().empty());
    EXPECT_EQ(Command(ID_QUIT, BN_CLICKED), 0);
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_TRUE(boxes.Shown().empty());

    HWND second = CreateDialogParamA(GetModuleHandleA(nullptr), "VELMOR", nullptr, VELMORDIALOGPROC, 0);
    SetDlgItemTextA(second, ID_INFILE, (folder / "missing.ebc").c_str());
    HWND secondInput = GetDlgItem(second, ID_INFILE);
    if (!IsChild(secondInput, GetFocus())) SetFocus(secondInput);
    Pump();
    ASSERT_TRUE(IsChild(secondInput, GetFocus()));
    EXPECT_EQ(VELMORDIALOGPROC(second, WM_CLOSE, 0, 0), 0);
    Pump();
    EXPECT_FALSE(IsWindowVisible(second));
    EXPECT_TRUE(boxes.Shown().empty());
    DestroyWindow(second);
}

TEST_F(MainDialogTest, EscEnterAndOtherNotificationsDoNothing)
{
    SetText(ID_INFILE, "typed");
    EXPECT_EQ(Command(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(Command(IDOK, BN_CLICKED), 0);
    EXPECT_EQ(Command(ID_LRECL, EN_CHANGE), 0);
    EXPECT_EQ(Command(ID_INFILE, CBN_EDITCHANGE), 1);
    EXPECT_EQ(Command(ID_BROWSE_IN, BN_SETFOCUS), 1);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(Text(ID_INFILE), "typed");
    EXPECT_TRUE(boxes.Shown().empty());
}

TEST_F(MainDialogTest, AJobThatReportsItsOwnErrorIsStillRecordedAndCounted)
{
    std::string name = folder / "same.ebc";
    WriteWholeFile(name, "keep");
    SetText(ID_INFILE, name);
    SetText(ID_OUTFILE, name);
    Command(ID_PROCESS, BN_CLICKED);
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_EQ(boxes.Shown()[0].text, "Error on Output File, code= 70");
    EXPECT_EQ(boxes.Shown()[1].text, "Created  0 bytes in output file.");
    EXPECT_EQ(boxes.Shown()[1].caption, "EBCDIC to ASCII Results");
    EXPECT_EQ(boxes.Shown()[1].style, static_cast<unsigned>(MB_ICONINFORMATION));
    EXPECT_EQ(ReadWholeFile(name), "keep");
    EXPECT_EQ(List(ID_INFILE), std::vector<std::string>{name});
    EXPECT_EQ(List(ID_OUTFILE), std::vector<std::string>{name});
    EXPECT_TRUE(IsWindowEnabled(dialog));
}

TEST_F(MainDialogTest, TheRecordLengthCountsOnlyWhenTheBoxIsTicked)
{
    std::string in = folder / "in.ebc";
    std::string out = folder / "out.txt";
    WriteWholeFile(in, Bytes({0xC8, 0xC5, 0xD3, 0xD3, 0xD6}));
    SetText(ID_INFILE, in);
    SetText(ID_OUTFILE, out);
    struct Case {
        bool ticked;
        const char* lrecl;
        const char* message;
        const char* output;
    };
    const Case cases[] = {
        {true, "", "LRECL Required if CRLF to be added", nullptr},
        {true, "000", "LRECL Required if CRLF to be added", nullptr},
        {true, "002", "Created  3 2-byte records", "HE\r\nLL\r\nO\r\n"},
        {true, "123456", "Created  1 123456-byte records", "HELLO\r\n"},
        {false, "2", "Created  5 bytes in output file.", "HELLO"},
    };
    for (const Case& c : cases) {
        Tick(true);
        SetText(ID_LRECL, c.lrecl);
        Tick(c.ticked);
        SetFocus(Item(ID_PROCESS));
        Pump();
        std::size_t before = boxes.Shown().size();
        Command(ID_PROCESS, BN_CLICKED);
        ASSERT_EQ(boxes.Shown().size(), before + 1) << c.lrecl;
        EXPECT_EQ(boxes.Shown().back().text, c.message) << c.lrecl;
        if (c.output != nullptr) EXPECT_EQ(ReadWholeFile(out), c.output) << c.lrecl;
        else EXPECT_TRUE(FocusIn(ID_LRECL)) << c.lrecl;
    }
}

// Every caption the dialog is given while it is watched.
class CaptionWatch {
public:
    explicit CaptionWatch(HWND window) : window_(window)
    {
        watching_ = this;
        previous_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CaptionWatch::Procedure)));
    }
    ~CaptionWatch()
    {
        SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        watching_ = nullptr;
    }
    CaptionWatch(const CaptionWatch&) = delete;
    CaptionWatch& operator=(const CaptionWatch&) = delete;
    const std::vector<std::string>& Captions() const { return captions_; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_SETTEXT && lParam != 0) watching_->captions_.push_back(reinterpret_cast<const char*>(lParam));
        return CallWindowProcA(watching_->previous_, window, message, wParam, lParam);
    }

    static CaptionWatch* watching_;
    HWND window_;
    WNDPROC previous_ = nullptr;
    std::vector<std::string> captions_;
};
CaptionWatch* CaptionWatch::watching_ = nullptr;

TEST_F(MainDialogTest, AQuickJobLeavesTheCaptionAlone)
{
    std::string in = folder / "in.ebc";
    WriteWholeFile(in, PatternBytes(3 << 20));
    SetText(ID_INFILE, in);
    SetText(ID_OUTFILE, folder / "out.txt");
    CaptionWatch watch(dialog);
    Command(ID_PROCESS, BN_CLICKED);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].text, "Created  3145728 bytes in output file.");
    EXPECT_EQ(watch.Captions(), std::vector<std::string>{});
    char caption[64] = {};
    GetWindowTextA(dialog, caption, sizeof caption);
    EXPECT_STREQ(caption, "EBCDIC to ASCII Converter");
}

TEST(ProgressWindowText, SizesRatesAndTimeLeft)
{
    const std::pair<std::uint64_t, const char*> sizes[] = {
        {0, "0 bytes"}, {1, "1 byte"}, {1023, "1023 bytes"}, {1024, "1.0 KB"}, {1536, "1.5 KB"},
        {1023 * 1024, "1.0 MB"}, {999 * 1024, "999.0 KB"}, {48ull << 30, "48.0 GB"}, {3ull << 40, "3.0 TB"},
        {5000ull << 40, "5000.0 TB"},
    };
    for (auto [bytes, text] : sizes) EXPECT_EQ(SizeText(bytes), text) << bytes;

    const std::uint64_t gb = 1ull << 30;
    struct Case {
        std::uint64_t done, total;
        ULONGLONG ms;
        const char* text;
    };
    const Case cases[] = {
        {0, 48 * gb, 500, "0 bytes of 48.0 GB"},
        {gb * 12 / 10, 48 * gb, 1000, "1.2 GB of 48.0 GB, 1.2 GB/s, about 39 s left"},
        {gb, 48 * gb, 500, "1.0 GB of 48.0 GB, 2.0 GB/s, about 24 s left"},
        {gb, gb + 1, 1000, "1.0 GB of 1.0 GB, 1.0 GB/s, about 1 s left"},
        {100ull << 20, 48 * gb, 1000, "100.0 MB of 48.0 GB, 100.0 MB/s, about 8 min left"},
        {1ull << 20, 48 * gb, 1000, "1.0 MB of 48.0 GB, 1.0 MB/s, about 13 h 39 min left"},
    };
    for (const Case& c : cases) EXPECT_EQ(JobStatusText(c.done, c.total, c.ms), c.text) << c.done << " in " << c.ms << " ms";
}

TEST(RecordLength, ReadsDigitsAndHoldsFarValuesAtTheEnds)
{
    EXPECT_EQ(RecordLengthFromText(""), 0);
    EXPECT_EQ(RecordLengthFromText("80"), 80);
    EXPECT_EQ(RecordLengthFromText("999999"), 999999);
    EXPECT_EQ(RecordLengthFromText("99999999999"), 2147483647);
    EXPECT_EQ(RecordLengthFromText("-99999999999"), -2147483647 - 1);
}

}  // namespace
