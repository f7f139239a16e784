// velmor.exe's main dialog at 96 DPI and at a higher DPI, started as a user starts it and
// measured from this program. It sets the Wine prefix's DPI (HKCU\Control Panel\Desktop
// LogPixels), which Wine reads at every program's start, so it must run in a prefix and on a
// display of its own (tests/in_own_wine_session.sh), never in the one the other tests share.
#include "support.h"
#include <gtest/gtest.h>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Velmor;          // velmor.exe, from the command line
std::vector<UINT> HighDpis;  // from the command line; 144 when none is named

const wchar_t MainCaption[] = L"EBCDIC to ASCII Converter";
const DWORD Patience = 15000;

struct Control {
    int id;
    std::wstring cls;
    std::wstring text;
    DWORD style;
    RECT place;  // in the dialog's client coordinates
};

struct Layout {
    // The prefix's DPI when velmor.exe started. Not GetDpiForWindow: across processes Wine
    // answers it with the asking program's own DPI.
    UINT dpi = 0;
    RECT client = {};
    std::vector<Control> controls;
};

std::string Narrow(const std::wstring& text) { return Utf8(text); }

std::string Describe(const Control& c)
{
    return Narrow(c.cls) + " " + std::to_string(c.id) + " \"" + Narrow(c.text) + "\" at " + std::to_string(c.place.left) +
           "," + std::to_string(c.place.top) + " " + std::to_string(c.place.right - c.place.left) + "x" +
           std::to_string(c.place.bottom - c.place.top);
}

// The value Wine reads for the system DPI when a program starts; put back as it was.
class PrefixDpi {
public:
    PrefixDpi()
    {
        DWORD size = sizeof original_;
        had_ = RegGetValueW(HKEY_CURRENT_USER, Key, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &original_, &size) ==
               ERROR_SUCCESS;
    }
    ~PrefixDpi()
    {
        if (had_) {
            Set(original_);
        } else {
            RegDeleteKeyValueW(HKEY_CURRENT_USER, Key, L"LogPixels");
        }
    }
    PrefixDpi(const PrefixDpi&) = delete;
    PrefixDpi& operator=(const PrefixDpi&) = delete;

    static bool Set(DWORD dpi)
    {
        return RegSetKeyValueW(HKEY_CURRENT_USER, Key, L"LogPixels", REG_DWORD, &dpi, sizeof dpi) == ERROR_SUCCESS;
    }

private:
    static constexpr const wchar_t* Key = L"Control Panel\\Desktop";
    DWORD original_ = 96;
    bool had_ = false;
};

BOOL CALLBACK FindMain(HWND window, LPARAM found)
{
    auto* wanted = reinterpret_cast<std::pair<DWORD, HWND>*>(found);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t caption[64] = {};
    GetWindowTextW(window, caption, 64);
    if (process != wanted->first || !IsWindowVisible(window) || std::wstring(caption) != MainCaption) return TRUE;
    wanted->second = window;
    return FALSE;
}

HWND WaitForMainDialog(DWORD processId)
{
    std::pair<DWORD, HWND> wanted(processId, nullptr);
    for (DWORD waited = 0; wanted.second == nullptr && waited < Patience; waited += 50) {
        EnumWindows(FindMain, reinterpret_cast<LPARAM>(&wanted));
        if (wanted.second == nullptr) Sleep(50);
    }
    return wanted.second;
}

Layout ReadLayout(HWND dialog, UINT dpi)
{
    Layout layout;
    layout.dpi = dpi;
    GetClientRect(dialog, &layout.client);
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) continue;
        Control control = {GetDlgCtrlID(child), {}, {}, static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE)), {}};
        wchar_t text[256] = {};
        GetClassNameW(child, text, 256);
        control.cls = text;
        text[0] = L'\0';
        GetWindowTextW(child, text, 256);
        control.text = text;
        GetWindowRect(child, &control.place);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&control.place), 2);
        layout.controls.push_back(control);
    }
    return layout;
}

// velmor.exe started in a folder of its own at the given DPI, measured and closed again.
Layout LayoutAt(UINT dpi, const std::string& folder)
{
    if (!PrefixDpi::Set(dpi)) {
        ADD_FAILURE() << "cannot set the prefix's DPI to " << dpi;
        return {};
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    std::wstring line = L"\"" + Utf16(Velmor) + L"\"";
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, Utf16(folder).c_str(), &startup,
                        &started)) {
        ADD_FAILURE() << "cannot start " << Velmor << ": error " << GetLastError();
        return {};
    }
    CloseHandle(started.hThread);
    Layout layout;
    HWND dialog = WaitForMainDialog(started.dwProcessId);
    if (dialog == nullptr) {
        ADD_FAILURE() << "no main dialog at " << dpi << " DPI";
    } else {
        layout = ReadLayout(dialog, dpi);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(started.hProcess, Patience) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "velmor.exe did not end at " << dpi << " DPI";
        TerminateProcess(started.hProcess, 1);
        WaitForSingleObject(started.hProcess, Patience);
    }
    CloseHandle(started.hProcess);
    return layout;
}

bool Overlap(const RECT& a, const RECT& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool Inside(const RECT& inner, const RECT& outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

std::wstring WithoutMnemonic(const std::wstring& text)
{
    std::wstring shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size()) ++i;
        shown += text[i];
    }
    return shown;
}

struct TextRoom {
    const wchar_t* cls;
    DWORD typeMask;
    DWORD type;
    int frame;  // pixels at 96 DPI that the control keeps for itself beside its text
};

// Push buttons keep a border and a margin on either side; a check box its box and a gap.
const TextRoom TextRooms[] = {
    {L"Static", SS_TYPEMASK, SS_LEFT, 0},
    {L"Button", BS_TYPEMASK, BS_PUSHBUTTON, 6},
    {L"Button", BS_TYPEMASK, BS_AUTOCHECKBOX, 16},
};

// The dialog's font ("MS Sans Serif" 8 points) at dpi, as the dialog manager makes it.
class DialogFont {
public:
    explicit DialogFont(UINT dpi)
        : dc_(CreateCompatibleDC(nullptr)),
          font_(CreateFontW(-MulDiv(8, static_cast<int>(dpi), 72), 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE,
                            DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_DONTCARE,
                            L"MS Sans Serif")),
          previous_(SelectObject(dc_, font_))
    {
    }
    ~DialogFont()
    {
        SelectObject(dc_, previous_);
        DeleteObject(font_);
        DeleteDC(dc_);
    }
    DialogFont(const DialogFont&) = delete;
    DialogFont& operator=(const DialogFont&) = delete;

    // Its width and its line's height.
    SIZE Extent(const std::wstring& text) const
    {
        SIZE extent = {0, 0};
        GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &extent);
        extent.cy = LineHeight();
        return extent;
    }
    // What a dialog unit is made of: a quarter of the average letter's width, an eighth of a line.
    SIZE BaseUnits() const
    {
        SIZE letters = Extent(L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        return {(letters.cx / 26 + 1) / 2, LineHeight()};
    }

private:
    long LineHeight() const
    {
        TEXTMETRICW metrics = {};
        GetTextMetricsW(dc_, &metrics);
        return metrics.tmHeight;
    }
    HDC dc_;
    HFONT font_;
    HGDIOBJ previous_;
};

const Control* Find(const Layout& layout, const Control& like)
{
    for (const Control& c : layout.controls)
        if (c.id == like.id && c.cls == like.cls && c.text == like.text) return &c;
    return nullptr;
}

void ExpectLaidOutForTheDpi(const Layout& at96, const Layout& high, UINT dpi)
{
    ASSERT_EQ(high.controls.size(), at96.controls.size()) << "visible controls";
    // The font's pixels are whole (12 pixels a line at 96 DPI, 17 at 144): its units grow by
    // the factor to within a pixel, and the dialog with them.
    SIZE units96 = DialogFont(96).BaseUnits();
    SIZE units = DialogFont(dpi).BaseUnits();
    EXPECT_NEAR(units.cx, units96.cx * dpi / 96.0, 1.0) << "letter width, " << units96.cx << " pixels at 96 DPI";
    EXPECT_NEAR(units.cy, units96.cy * dpi / 96.0, 1.0) << "line height, " << units96.cy << " pixels at 96 DPI";
    EXPECT_NEAR(high.client.right, at96.client.right * units.cx / static_cast<double>(units96.cx), 2.0)
        << "client width, " << at96.client.right << " pixels at 96 DPI";
    EXPECT_NEAR(high.client.bottom, at96.client.bottom * units.cy / static_cast<double>(units96.cy), 2.0)
        << "client height, " << at96.client.bottom << " pixels at 96 DPI";

    for (const Control& c : high.controls) {
        const Control* before = Find(at96, c);
        if (before == nullptr) {
            ADD_FAILURE() << Describe(c) << " is not in the dialog at 96 DPI";
            continue;
        }
        EXPECT_TRUE(Inside(c.place, high.client)) << Describe(c) << " reaches outside the client area";
        double width96 = before->place.right - before->place.left;
        EXPECT_NEAR(c.place.right - c.place.left, width96 * units.cx / units96.cx, 1.0)
            << Describe(c) << ", at 96 DPI " << Describe(*before);

        for (const Control& other : high.controls) {
            if (&other <= &c || !Overlap(c.place, other.place)) continue;
            const Control* otherBefore = Find(at96, other);
            if (otherBefore != nullptr && Overlap(before->place, otherBefore->place)) continue;
            ADD_FAILURE() << Describe(c) << " overlaps " << Describe(other) << ", which it does not at 96 DPI";
        }
    }
}

void ExpectNoTextCut(const Layout& layout)
{
    for (const Control& c : layout.controls) {
        for (const TextRoom& room : TextRooms) {
            if (c.cls != room.cls || (c.style & room.typeMask) != room.type || c.text.empty()) continue;
            SIZE text = DialogFont(layout.dpi).Extent(WithoutMnemonic(c.text));
            long width = c.place.right - c.place.left - MulDiv(room.frame, static_cast<int>(layout.dpi), 96);
            EXPECT_LE(text.cx, width) << Describe(c) << ": its text is " << text.cx << " pixels wide at " << layout.dpi
                                      << " DPI";
            EXPECT_LE(text.cy, c.place.bottom - c.place.top)
                << Describe(c) << ": its text is " << text.cy << " pixels high at " << layout.dpi << " DPI";
        }
    }
}

}  // namespace

TEST(DialogAtHighDpi, GrowsByTheFactorWithEveryControlInsideUncutAndApart)
{
    ASSERT_FALSE(Velmor.empty()) << "usage: velmor_dpi_test VELMOR.EXE [DPI...]";
    ScratchFolder folder;
    PrefixDpi restore;
    Layout at96 = LayoutAt(96, folder.Path());
    ASSERT_FALSE(at96.controls.empty()) << "no controls at 96 DPI";
    ExpectNoTextCut(at96);
    for (UINT dpi : HighDpis) {
        SCOPED_TRACE(std::to_string(dpi) + " DPI");
        Layout high = LayoutAt(dpi, folder.Path());
        ASSERT_FALSE(high.controls.empty()) << "no controls";
        ExpectLaidOutForTheDpi(at96, high, dpi);
        ExpectNoTextCut(high);
    }
}

int main(int argc, char** argv)
{
    // Coordinates of other programs' windows in pixels of the screen, whatever this one is.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1) Velmor = WindowsPath(argv[1]);
    for (int i = 2; i < argc; ++i) HighDpis.push_back(static_cast<UINT>(std::strtoul(argv[i], nullptr, 10)));
    if (HighDpis.empty()) HighDpis.push_back(144);
    return RUN_ALL_TESTS();
}
