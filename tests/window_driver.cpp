#include "window_driver.h"
#include "support.h"
#include <shlobj.h>
#include <cstring>
#include <fstream>
#include <ostream>

namespace {

// Nothing the driver sends may hang a test on a program that stopped answering.
bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result)
{
    return SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kPatience, result) != 0;
}

bool SendW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result)
{
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kPatience, result) != 0;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list)
{
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> TopLevelWindows()
{
    std::vector<HWND> windows;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

DWORD ProcessOf(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

std::string ClassOf(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// A top-down 32-bit DIB selected into a memory DC, freed with the object.
class PixelCanvas {
public:
    PixelCanvas(int width, int height) : width_(width), height_(height)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        bits_ = static_cast<std::uint32_t*>(bits);
        if (bitmap_ != nullptr) previous_ = SelectObject(dc_, bitmap_);
    }
    ~PixelCanvas()
    {
        if (previous_ != nullptr) SelectObject(dc_, previous_);
        if (bitmap_ != nullptr) DeleteObject(bitmap_);
        if (dc_ != nullptr) DeleteDC(dc_);
    }
    PixelCanvas(const PixelCanvas&) = delete;
    PixelCanvas& operator=(const PixelCanvas&) = delete;

    bool Ready() const { return bits_ != nullptr; }
    HDC Dc() const { return dc_; }
    void Fill(std::uint32_t colour)
    {
        for (std::size_t i = 0; i < Count(); ++i) bits_[i] = colour;
    }
    ScreenImage Image() const
    {
        GdiFlush();
        ScreenImage image;
        image.width = width_;
        image.height = height_;
        image.pixels.assign(bits_, bits_ + Count());
        for (std::uint32_t& pixel : image.pixels) pixel &= 0xFFFFFF;
        return image;
    }

private:
    std::size_t Count() const { return static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_); }
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    std::uint32_t* bits_ = nullptr;
};

bool Near(std::uint32_t a, std::uint32_t b)
{
    for (int shift = 0; shift < 24; shift += 8) {
        int channelA = static_cast<int>((a >> shift) & 0xFF);
        int channelB = static_cast<int>((b >> shift) & 0xFF);
        if (channelA - channelB > 24 || channelB - channelA > 24) return false;
    }
    return true;
}

// The system icon as a static control of this size would draw it over this background.
ScreenImage DrawnSystemIcon(WORD iconId, int width, int height, std::uint32_t background)
{
    PixelCanvas canvas(width, height);
    if (!canvas.Ready()) return {};
    canvas.Fill(background);
    HICON icon = LoadIconA(nullptr, MAKEINTRESOURCEA(iconId));
    if (icon == nullptr) return {};
    DrawIconEx(canvas.Dc(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    return canvas.Image();
}

const int kMessageBoxIconId = 0x0440;
const int kMessageBoxTextId = 0xFFFF;

void WriteLittleEndian(std::ofstream& file, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) file.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

bool WaitUntil(const std::function<bool()>& ready, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (ready()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(20);
    }
}

StartedProgram::StartedProgram(const std::string& commandLine, const std::string& currentFolder)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    std::wstring line = Utf16(commandLine);
    if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, Utf16(currentFolder).c_str(), &startup,
                       &started)) {
        CloseHandle(started.hThread);
        process_ = started.hProcess;
        id_ = started.dwProcessId;
    } else {
        startError_ = GetLastError();
    }
}

StartedProgram::~StartedProgram()
{
    if (process_ == nullptr) return;
    if (!HasEnded()) Kill();
    CloseHandle(process_);
}

bool StartedProgram::HasEnded() const
{
    return process_ == nullptr || WaitForSingleObject(process_, 0) == WAIT_OBJECT_0;
}

bool StartedProgram::WaitForExit(DWORD* exitCode, DWORD timeoutMs) const
{
    if (process_ == nullptr || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return false;
    return GetExitCodeProcess(process_, exitCode) != 0;
}

void StartedProgram::Kill()
{
    if (process_ == nullptr) return;
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, kPatience);
}

std::vector<HWND> DialogsOf(DWORD processId)
{
    std::vector<HWND> dialogs;
    for (HWND window : TopLevelWindows())
        if (ProcessOf(window) == processId && IsWindowVisible(window) && ClassOf(window) == "#32770")
            dialogs.push_back(window);
    return dialogs;
}

HWND FindDialog(DWORD processId, const std::string& caption)
{
    for (HWND dialog : DialogsOf(processId))
        if (WindowCaption(dialog) == caption) return dialog;
    return nullptr;
}

HWND WaitForDialog(DWORD processId, const std::string& caption, DWORD timeoutMs)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindDialog(processId, caption)) != nullptr; }, timeoutMs);
    return found;
}

std::string WindowCaption(HWND window)
{
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return Utf8(text);
}

bool PostDrop(POINT screenPoint, const std::vector<std::string>& files)
{
    HWND target = WindowFromPoint(screenPoint);
    while (target != nullptr && (GetWindowLongW(target, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) == 0)
        target = GetParent(target);
    if (target == nullptr) return false;
    POINT client = screenPoint;
    ScreenToClient(target, &client);
    return PostDropTo(target, client, files);
}

bool PostDropTo(HWND window, POINT clientPoint, const std::vector<std::string>& files)
{
    std::wstring names;
    for (const std::string& file : files) names += Utf16(file) + L'\0';
    names += L'\0';
    DROPFILES header = {};
    header.pFiles = sizeof header;
    header.pt = clientPoint;
    header.fWide = TRUE;
    std::vector<char> block(sizeof header + names.size() * sizeof(wchar_t));
    std::memcpy(block.data(), &header, sizeof header);
    std::memcpy(block.data() + sizeof header, names.data(), names.size() * sizeof(wchar_t));

    // The program's DragFinish hands the block back to its own heap, which knows nothing of
    // it; the few bytes stay until the program ends.
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, ProcessOf(window));
    if (process == nullptr) return false;
    void* remote = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    bool placed = remote != nullptr && WriteProcessMemory(process, remote, block.data(), block.size(), nullptr);
    CloseHandle(process);
    return placed && PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
}

POINT CentreOf(HWND dialog, int id)
{
    RECT place = {};
    GetWindowRect(GetDlgItem(dialog, id), &place);
    return {(place.left + place.right) / 2, (place.top + place.bottom) / 2};
}

std::string ControlText(HWND control)
{
    DWORD_PTR length = 0;
    if (control == nullptr || !SendW(control, WM_GETTEXTLENGTH, 0, 0, &length)) return "";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), &copied)) return "";
    text.resize(copied < length ? copied : length);
    return Utf8(text);
}

bool SetControlText(HWND dialog, int id, const std::string& text)
{
    HWND control = GetDlgItem(dialog, id);
    std::wstring wide = Utf16(text);
    DWORD_PTR result = 0;
    if (control == nullptr || !SendW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()), &result))
        return false;
    return ControlText(control) == text;
}

void PostCommand(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void PostClick(HWND dialog, int id)
{
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void PostMouseClick(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    RECT area;
    GetClientRect(control, &area);
    LPARAM middle = MAKELPARAM((area.right - area.left) / 2, (area.bottom - area.top) / 2);
    PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, middle);
    PostMessageA(control, WM_LBUTTONUP, 0, middle);
}

void PostKey(HWND window, WPARAM virtualKey, bool alt)
{
    UINT scan = MapVirtualKeyA(static_cast<UINT>(virtualKey), MAPVK_VK_TO_VSC);
    LPARAM down = 1 | static_cast<LPARAM>(scan) << 16 | (alt ? 1L << 29 : 0);
    LPARAM up = down | 1L << 30 | static_cast<LPARAM>(1UL << 31);
    PostMessageA(window, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, virtualKey, down);
    PostMessageA(window, alt ? WM_SYSKEYUP : WM_KEYUP, virtualKey, up);
}

void PostFocus(HWND dialog, int id)
{
    PostMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(dialog, id)), TRUE);
}

bool IsChecked(HWND dialog, int id)
{
    DWORD_PTR state = 0;
    return Send(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0, &state) && state == BST_CHECKED;
}

std::vector<std::string> ComboListItems(HWND dialog, int id)
{
    // The ANSI CB_GETLBTEXT loses all but the first character across processes in Wine 8.
    std::vector<std::string> items;
    HWND combo = GetDlgItem(dialog, id);
    DWORD_PTR count = 0;
    if (combo == nullptr || !SendW(combo, CB_GETCOUNT, 0, 0, &count) || static_cast<LRESULT>(count) == CB_ERR)
        return items;
    for (WPARAM i = 0; i < count; ++i) {
        DWORD_PTR length = 0;
        if (!SendW(combo, CB_GETLBTEXTLEN, i, 0, &length) || static_cast<LRESULT>(length) == CB_ERR) break;
        // Generous: the cross-process copy may move more than the item's own length.
        std::wstring wide(length + 1 > 1024 ? length + 1 : 1024, L'\0');
        DWORD_PTR copied = 0;
        if (!SendW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&wide[0]), &copied)) break;
        wide.resize(length);
        items.push_back(Utf8(wide));
    }
    return items;
}

int FocusedControl(HWND dialog)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info)) return 0;
    HWND window = info.hwndFocus;
    if (window == nullptr || !IsChild(dialog, window)) return 0;
    while (GetParent(window) != dialog) window = GetParent(window);
    return GetDlgCtrlID(window);
}

HWND ActiveWindowOf(HWND window)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndActive;
}

std::ostream& operator<<(std::ostream& out, BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::None: return out << "no icon";
    case BoxIcon::Stop: return out << "stop icon";
    case BoxIcon::Information: return out << "information icon";
    case BoxIcon::Warning: return out << "warning icon";
    case BoxIcon::Question: return out << "question icon";
    case BoxIcon::Unknown: break;
    }
    return out << "unrecognised icon";
}

bool IsMessageBox(HWND window)
{
    return ClassOf(window) == "#32770" && GetDlgItem(window, kMessageBoxIconId) != nullptr;
}

HWND FindMessageBox(DWORD processId)
{
    for (HWND dialog : DialogsOf(processId))
        if (IsMessageBox(dialog)) return dialog;
    return nullptr;
}

BoxIcon ShownIcon(HWND box)
{
    // Wine keeps the icon control of a box without icon visible but empty.
    HWND control = GetDlgItem(box, kMessageBoxIconId);
    if (control == nullptr || !IsWindowVisible(control)) return BoxIcon::None;
    DWORD_PTR handle = 0;
    if (!Send(control, STM_GETICON, 0, 0, &handle)) return BoxIcon::Unknown;
    if (handle == 0) return BoxIcon::None;

    RECT area;
    GetClientRect(control, &area);
    MapWindowPoints(control, nullptr, reinterpret_cast<POINT*>(&area), 2);
    ScreenImage shown = CaptureScreen(area);
    if (shown.pixels.empty()) return BoxIcon::Unknown;
    const std::uint32_t background = shown.At(0, 0);

    struct Candidate {
        WORD iconId;
        BoxIcon icon;
    };
    const Candidate candidates[] = {{32513, BoxIcon::Stop},
                                    {32516, BoxIcon::Information},
                                    {32515, BoxIcon::Warning},
                                    {32514, BoxIcon::Question}};
    BoxIcon best = BoxIcon::Unknown;
    std::size_t bestMatches = 0;
    for (const Candidate& candidate : candidates) {
        ScreenImage drawn = DrawnSystemIcon(candidate.iconId, shown.width, shown.height, background);
        if (drawn.pixels.size() != shown.pixels.size()) continue;
        std::size_t matches = 0;
        for (std::size_t i = 0; i < shown.pixels.size(); ++i)
            if (Near(shown.pixels[i], drawn.pixels[i])) ++matches;
        if (matches > bestMatches) {
            bestMatches = matches;
            best = candidate.icon;
        }
    }
    // Short of this the icon is not painted yet, or it is none of the system's.
    return bestMatches * 10 >= shown.pixels.size() * 9 ? best : BoxIcon::Unknown;
}

bool WaitForMessageBox(DWORD processId, MessageBoxView* box, DWORD timeoutMs)
{
    HWND found = nullptr;
    if (!WaitUntil([&] { return (found = FindMessageBox(processId)) != nullptr; }, timeoutMs)) return false;
    box->window = found;
    box->caption = WindowCaption(found);
    box->text = ControlText(GetDlgItem(found, kMessageBoxTextId));
    WaitUntil([&] { return (box->icon = ShownIcon(found)) != BoxIcon::Unknown; });
    return true;
}

bool PressOk(HWND box, DWORD timeoutMs)
{
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    return WaitUntil([&] { return !IsWindow(box); }, timeoutMs);
}

ScreenImage CaptureScreen(const RECT& area)
{
    const int width = static_cast<int>(area.right - area.left);
    const int height = static_cast<int>(area.bottom - area.top);
    if (width <= 0 || height <= 0) return {};
    PixelCanvas canvas(width, height);
    if (!canvas.Ready()) return {};
    HDC screen = GetDC(nullptr);
    BOOL copied = BitBlt(canvas.Dc(), 0, 0, width, height, screen, static_cast<int>(area.left),
                         static_cast<int>(area.top), SRCCOPY | CAPTUREBLT);
    ReleaseDC(nullptr, screen);
    return copied ? canvas.Image() : ScreenImage();
}

bool SaveBitmap24(const ScreenImage& image, const std::string& path)
{
    if (image.width <= 0 || image.height <= 0) return false;
    const std::uint32_t rowBytes = (static_cast<std::uint32_t>(image.width) * 3 + 3) & ~3u;
    const std::uint32_t dataBytes = rowBytes * static_cast<std::uint32_t>(image.height);
    const std::uint32_t headerBytes = 14 + 40;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.put('B');
    file.put('M');
    WriteLittleEndian(file, headerBytes + dataBytes, 4);
    WriteLittleEndian(file, 0, 4);
    WriteLittleEndian(file, headerBytes, 4);
    WriteLittleEndian(file, 40, 4);
    WriteLittleEndian(file, static_cast<std::uint32_t>(image.width), 4);
    WriteLittleEndian(file, static_cast<std::uint32_t>(image.height), 4);
    WriteLittleEndian(file, 1, 2);
    WriteLittleEndian(file, 24, 2);
    WriteLittleEndian(file, BI_RGB, 4);
    WriteLittleEndian(file, dataBytes, 4);
    WriteLittleEndian(file, 2835, 4);
    WriteLittleEndian(file, 2835, 4);
    WriteLittleEndian(file, 0, 4);
    WriteLittleEndian(file, 0, 4);
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) WriteLittleEndian(file, image.At(x, y), 3);
        for (std::uint32_t pad = static_cast<std::uint32_t>(image.width) * 3; pad < rowBytes; ++pad) file.put('\0');
    }
    return static_cast<bool>(file);
}

std::vector<ForeignWindow> VisibleTopLevelWindows()
{
    std::vector<ForeignWindow> windows;
    for (HWND window : TopLevelWindows())
        if (IsWindowVisible(window)) windows.push_back({window, ProcessOf(window), WindowCaption(window)});
    return windows;
}
