// velmor.exe's main dialog at 96 DPI and at a higher DPI, started as a user starts it and
// measured from this program. It sets the Wine prefix's DPI (HKCU\Control Panel\Desktop
// LogPixels), which Wine reads at every program's start, so it runs in a prefix and on a
// display of its own (tests/in_own_wine_session.sh), never in the one the other tests share.
#include "support.h"
#include "window_driver.h"
#include <gtest/gtest.h>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Velmor;          // velmor.exe, from the command line
std::vector<UINT> HighDpis;  // from the command line; 144 when none is named

struct Control {
    int id;
    std::string cls;
    std::string text;
    DWORD style;
    RECT place;  // in the dialog's client coordinates
};

// The prefix's DPI is recorded, not asked of the window: across processes Wine answers
// GetDpiForWindow with the asking program's own DPI.
struct Layout {
    UINT dpi = 0;
    RECT client = {};
    std::vector<Control> controls;
};

std::string Describe(const Control& c)
{
    return c.cls + " " + std::to_string(c.id) + " \"" + c.text + "\" at " + std::to_string(c.place.left) + "," +
           std::to_string(c.place.top) + " " + std::to_string(c.place.right - c.place.left) + "x" +
           std::to_string(c.place.bottom - c.place.top);
}

// velmor.exe started at the given DPI, its main dialog measured, and closed again.
Layout LayoutAt(UINT dpi, const std::string& folder)
{
    Layout layout;
    layout.dpi = dpi;
    DWORD value = dpi;
    if (RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &value, sizeof value) !=
        ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot set the prefix's DPI to " << dpi;
        return layout;
    }
    StartedProgram velmor("\"" + Velmor + "\"", folder);
    HWND dialog = WaitForDialog(velmor.Id(), "EBCDIC to ASCII Converter");
    if (dialog == nullptr) {
        ADD_FAILURE() << "no main dialog at " << dpi << " DPI";
        return layout;
    }
    GetClientRect(dialog, &layout.client);
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) continue;
        char cls[64] = {};
        GetClassNameA(child, cls, sizeof cls);
        Control control = {GetDlgCtrlID(child), cls, ControlText(child),
                           static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE)), {}};
        GetWindowRect(child, &control.place);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&control.place), 2);
        layout.controls.push_back(control);
    }
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    DWORD code = 0;
    EXPECT_TRUE(velmor.WaitForExit(&code)) << "velmor.exe did not end at " << dpi << " DPI";
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

// The dialog's font ("MS Sans Serif" 8 points) at a DPI, as the dialog manager makes it.
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

    long Width(const std::string& text) const
    {
        std::wstring wide = Utf16(text);
        SIZE extent = {0, 0};
        GetTextExtentPoint32W(dc_, wide.c_str(), static_cast<int>(wide.size()), &extent);
        return extent.cx;
    }
    long LineHeight() const
    {
        TEXTMETRICW metrics = {};
        GetTextMetricsW(dc_, &metrics);
        return metrics.tmHeight;
    }
    // What a dialog unit is made of: a quarter of the average letter, an eighth of a line.
    double LetterWidth() const { return (Width("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 + 1) / 2; }

private:
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

void ExpectLaidOutForTheDpi(const Layout& at96, const Layout& high)
{
    ASSERT_EQ(high.controls.size(), at96.controls.size()) << "visible controls";
    // The font's pixels are whole (12 pixels a line at 96 DPI, 17 at 144): its units grow by
    // the factor to within a pixel, and the dialog with them.
    DialogFont font96(96), font(high.dpi);
    const double wider = font.LetterWidth() / font96.LetterWidth();
    const double taller = static_cast<double>(font.LineHeight()) / static_cast<double>(font96.LineHeight());
    EXPECT_NEAR(font.LetterWidth(), font96.LetterWidth() * high.dpi / 96.0, 1.0);
    EXPECT_NEAR(font.LineHeight(), font96.LineHeight() * high.dpi / 96.0, 1.0);
    EXPECT_NEAR(high.client.right, at96.client.right * wider, 2.0) << "client width at 96 DPI " << at96.client.right;
    EXPECT_NEAR(high.client.bottom, at96.client.bottom * taller, 2.0) << "client height at 96 DPI " << at96.client.bottom;

    for (const Control& c : high.controls) {
        const Control* before = Find(at96, c);
        if (before == nullptr) {
            ADD_FAILURE() << Describe(c) << " is not in the dialog at 96 DPI";
            continue;
        }
        EXPECT_TRUE(Inside(c.place, high.client)) << Describe(c) << " reaches outside the client area";
        EXPECT_NEAR(c.place.right - c.place.left, (before->place.right - before->place.left) * wider, 1.0)
            << Describe(c) << ", at 96 DPI " << Describe(*before);
        for (const Control& other : high.controls) {
            if (&other <= &c || !Overlap(c.place, other.place)) continue;
            const Control* otherBefore = Find(at96, other);
            if (otherBefore != nullptr && Overlap(before->place, otherBefore->place)) continue;
            ADD_FAILURE() << Describe(c) << " overlaps " << Describe(other) << ", which it does not at 96 DPI";
        }
    }
}

// Labels, push buttons and the check box show their whole text; a push button keeps a border
// and margin of its own, a check box its box and a gap (pixels at 96 DPI).
void ExpectNoTextCut(const Layout& layout)
{
    const DialogFont font(layout.dpi);
    for (const Control& c : layout.controls) {
        int frame = -1;
        if (c.cls == "Static" && (c.style & SS_TYPEMASK) == SS_LEFT) frame = 0;
        if (c.cls == "Button" && (c.style & BS_TYPEMASK) == BS_PUSHBUTTON) frame = 6;
        if (c.cls == "Button" && (c.style & BS_TYPEMASK) == BS_AUTOCHECKBOX) frame = 16;
        if (frame < 0 || c.text.empty()) continue;
        std::string shown = c.text;
        std::size_t mnemonic = shown.find('&');
        if (mnemonic != std::string::npos) shown.erase(mnemonic, 1);
        long room = c.place.right - c.place.left - MulDiv(frame, static_cast<int>(layout.dpi), 96);
        EXPECT_LE(font.Width(shown), room) << Describe(c) << " at " << layout.dpi << " DPI";
        EXPECT_LE(font.LineHeight(), c.place.bottom - c.place.top) << Describe(c) << " at " << layout.dpi << " DPI";
    }
}

}  // namespace

TEST(DialogAtHighDpi, GrowsByTheFactorWithEveryControlInsideUncutAndApart)
{
    ASSERT_FALSE(Velmor.empty()) << "usage: velmor_dpi_test VELMOR.EXE [DPI...]";
    ScratchFolder folder;
    Layout at96 = LayoutAt(96, folder.Path());
    ASSERT_FALSE(at96.controls.empty()) << "no controls at 96 DPI";
    ExpectNoTextCut(at96);
    for (UINT dpi : HighDpis) {
        SCOPED_TRACE(std::to_string(dpi) + " DPI");
        Layout high = LayoutAt(dpi, folder.Path());
        ASSERT_FALSE(high.controls.empty()) << "no controls";
        ExpectLaidOutForTheDpi(at96, high);
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
