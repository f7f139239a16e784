#pragma once
// Drives the windows of another program in the same Wine session as a user would: start it,
// find its dialogs, fill fields, press buttons, read message boxes and the screen. Texts are
// UTF-8 and cross to the program through the "W" functions, whatever its code page.
#include <windows.h>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

// How long any one thing may take to happen before a test gives up on it.
constexpr DWORD kPatience = 10000;

// Polls ready() every 20 ms until it answers true or timeoutMs pass; true when it did.
bool WaitUntil(const std::function<bool()>& ready, DWORD timeoutMs = kPatience);

// A program started by the test. Still running at destruction, it is terminated: a failed
// test never leaves it behind.
class StartedProgram {
public:
    StartedProgram(const std::string& commandLine, const std::string& currentFolder);
    ~StartedProgram();
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    bool Started() const { return process_ != nullptr; }
    DWORD StartError() const { return startError_; }
    DWORD Id() const { return id_; }
    bool HasEnded() const;
    // False when it still runs after timeoutMs; exitCode is then left alone.
    bool WaitForExit(DWORD* exitCode, DWORD timeoutMs = kPatience) const;
    void Kill();

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
    DWORD startError_ = 0;
};

// Visible top-level windows of the dialog class "#32770" that belong to processId.
std::vector<HWND> DialogsOf(DWORD processId);
HWND FindDialog(DWORD processId, const std::string& caption);
// Null when no such dialog is visible within timeoutMs.
HWND WaitForDialog(DWORD processId, const std::string& caption, DWORD timeoutMs = kPatience);

std::string WindowCaption(HWND window);
// The text the control itself reports (WM_GETTEXT), also across processes.
std::string ControlText(HWND control);
bool SetControlText(HWND dialog, int id, const std::string& text);
// As the button would report a click; posted, so a modal box in its handler cannot block us.
void PostCommand(HWND dialog, int id);
// A posted mouse click: the button changes its own state first, then tells its dialog.
void PostClick(HWND dialog, int id);
// A click of the left mouse button in the middle of the control, as the mouse sends it: through
// the program's own message loop, which a loop that drops the user's input does not pass on.
void PostMouseClick(HWND dialog, int id);
// A key pressed and released on window, with Alt held when alt is true.
void PostKey(HWND window, WPARAM virtualKey, bool alt = false);
// Moves the keyboard focus to a control as the Tab key does (WM_NEXTDLGCTL, posted).
void PostFocus(HWND dialog, int id);
bool IsChecked(HWND dialog, int id);
// Drops files as Explorer does: the window under the screen point, or the first of its parents
// that accepts files, is posted WM_DROPFILES with a DROPFILES block in its program's memory.
// False when no window there accepts files or the block cannot be placed.
bool PostDrop(POINT screenPoint, const std::vector<std::string>& files);
// The same, straight to window (which a disabled window under the point would not be).
bool PostDropTo(HWND window, POINT clientPoint, const std::vector<std::string>& files);
// The centre of a dialog's control, in screen coordinates.
POINT CentreOf(HWND dialog, int id);
std::vector<std::string> ComboListItems(HWND dialog, int id);
// The ID of the dialog's child that holds the keyboard focus or contains the window that
// does (the edit inside a combo box); 0 when the focus is elsewhere or nowhere.
int FocusedControl(HWND dialog);
// The active window of the thread that owns window; null when none of its windows is active.
HWND ActiveWindowOf(HWND window);

enum class BoxIcon { None, Stop, Information, Warning, Question, Unknown };
std::ostream& operator<<(std::ostream& out, BoxIcon icon);

struct MessageBoxView {
    HWND window = nullptr;
    std::string caption;
    std::string text;
    BoxIcon icon = BoxIcon::Unknown;
};

// A system message box, told apart from other dialogs by its icon control.
bool IsMessageBox(HWND window);
HWND FindMessageBox(DWORD processId);
// Waits for a message box of processId and reads it once its icon is on the screen.
bool WaitForMessageBox(DWORD processId, MessageBoxView* box, DWORD timeoutMs = kPatience);
// The icon as it is drawn on the screen, compared with the system's own icons.
BoxIcon ShownIcon(HWND box);
// Presses OK and waits until the box is gone.
bool PressOk(HWND box, DWORD timeoutMs = kPatience);

// Pixels as 0x00RRGGBB, top row first.
struct ScreenImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};
ScreenImage CaptureScreen(const RECT& area);
bool SaveBitmap24(const ScreenImage& image, const std::string& path);

struct ForeignWindow {
    HWND window;
    DWORD processId;
    std::string caption;
};
// Every visible top-level window with its owner process.
std::vector<ForeignWindow> VisibleTopLevelWindows();
