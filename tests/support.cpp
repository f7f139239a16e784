#include "support.h"
#include "handles.h"
#include "translation_table.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <iterator>
#include <sstream>

namespace {

void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
            else DeleteFileW(path.c_str());
        } while (FindNextFileW(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};

// The file's handle, or null when it cannot be opened.
std::unique_ptr<void, HandleCloser> OpenFile(const std::string& path, DWORD access, DWORD disposition)
{
    HANDLE file = CreateFileW(Utf16(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    return std::unique_ptr<void, HandleCloser>(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

}  // namespace

ScratchFolder::ScratchFolder(const std::string& parent)
{
    static unsigned serial = GetTickCount();
    std::string base = parent + "\\";
    if (parent.empty()) {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        base = temp;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        path_ = base + "velmor-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
        if (CreateDirectoryA(path_.c_str(), nullptr)) return;
    }
    ADD_FAILURE() << "cannot create " << path_;
}

ScratchFolder::~ScratchFolder() { RemoveTree(Utf16(path_)); }

std::wstring Utf16(const std::string& utf8)
{
    if (utf8.empty()) return L"";
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
    return wide;
}

std::string Utf8(const std::wstring& wide)
{
    if (wide.empty()) return "";
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], length, nullptr, nullptr);
    return text;
}

std::string PathOfLength(const ScratchFolder& folder, std::size_t length, const std::string& letter,
                         const std::string& ending)
{
    static unsigned serial = 0;
    std::string base = folder.Path() + "\\" + std::to_string(++serial);
    std::size_t room = length - base.size() - ending.size() - 1;  // one backslash between the two
    auto part = [&](std::size_t bytes) {
        std::string text;
        while (text.size() + letter.size() <= bytes) text += letter;
        return text + std::string(bytes - text.size(), 'x');
    };
    std::string subfolder = base + part(room / 2);
    if (!CreateDirectoryW(Utf16(subfolder).c_str(), nullptr)) ADD_FAILURE() << "cannot create " << subfolder;
    return subfolder + "\\" + part(room - room / 2) + ending;
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(Utf16(folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = Utf8(entry.cFileName);
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return names;
}

void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    auto file = OpenFile(path, GENERIC_WRITE, CREATE_ALWAYS);
    DWORD written = 0;
    if (file == nullptr || !WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
        ADD_FAILURE() << "cannot write " << path;
}

std::string ReadWholeFile(const std::string& path)
{
    auto file = OpenFile(path, GENERIC_READ, OPEN_EXISTING);
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (file != nullptr && ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    return bytes;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesW(Utf16(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeSparseFile(const std::string& path, std::uint64_t size)
{
    auto file = OpenFile(path, GENERIC_WRITE, CREATE_ALWAYS);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    return file != nullptr && SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
}

std::string Bytes(std::initializer_list<int> values)
{
    std::string bytes;
    for (int value : values) bytes += static_cast<char>(value);
    return bytes;
}

std::string PatternBytes(std::size_t count, unsigned seed)
{
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((i * 7 + seed + i / 251) & 0xFF);
    return bytes;
}

std::string Translated(const std::string& bytes)
{
    std::string out(bytes.size(), '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) TranslateBuffer(&bytes[i], &out[i], 1);
    return out;
}

std::vector<TranslationKernel> RunnableKernels()
{
    std::vector<TranslationKernel> kernels;
    for (TranslationKernel kernel : AllTranslationKernels)
        if (TranslationKernelRuns(kernel)) kernels.push_back(kernel);
    return kernels;
}

std::string WindowsPath(const std::string& unixPath)
{
    if (unixPath.empty() || unixPath[0] != '/') return unixPath;
    std::string path = "Z:" + unixPath;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string UnixPath(const std::string& windowsPath)
{
    if (windowsPath.size() < 3 || (windowsPath.compare(0, 3, "Z:\\") != 0 && windowsPath.compare(0, 3, "z:\\") != 0))
        return "";
    std::string path = windowsPath.substr(2);
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

int RunUnixCommand(const std::string& command)
{
    if (command.find('"') != std::string::npos) {
        ADD_FAILURE() << "a double quote in " << command;
        return -1;
    }
    // Wine starts a Unix program without a process handle to wait on: the shell leaves its
    // status in a file, whole or not at all.
    ScratchFolder place("Z:\\tmp");
    std::string status = UnixPath(place / "status");
    std::wstring line = Utf16("/bin/sh -c \"(" + command + ") >/dev/null; echo $? >" + status + ".part; mv " + status +
                              ".part " + status + "\"");
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        ADD_FAILURE() << "cannot start /bin/sh (" << GetLastError() << ")";
        return -1;
    }
    KernelHandle process(started.hProcess), thread(started.hThread);
    for (int waited = 0; waited < 10000; waited += 10) {
        std::string text = ReadWholeFile(place / "status");
        if (!text.empty()) return std::atoi(text.c_str());
        Sleep(10);
    }
    return -1;
}

MessageCapture::MessageCapture()
{
    previous_ = SetMessageSink([this](const std::string& text, const std::string& caption, unsigned style) {
        shown_.push_back({text, caption, style});
        return IDOK;
    });
}

MessageCapture::~MessageCapture() { SetMessageSink(previous_); }

namespace {

std::string Drain(HANDLE pipe)
{
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    return text;
}

// Reads a pipe to its end on a thread of its own, so that neither of a program's two pipes can
// fill and hold it up while the other is read or while the caller acts on it.
class PipeReader {
public:
    explicit PipeReader(HANDLE pipe) : pipe_(pipe), thread_(CreateThread(nullptr, 0, &Read, this, 0, nullptr))
    {
        if (!thread_.Valid()) text_ = Drain(pipe_);
    }
    ~PipeReader() { Take(); }
    PipeReader(const PipeReader&) = delete;
    PipeReader& operator=(const PipeReader&) = delete;
    const std::string& Take()
    {
        if (thread_.Valid()) WaitForSingleObject(thread_.Get(), INFINITE);
        return text_;
    }

private:
    static DWORD WINAPI Read(void* self)
    {
        auto* reader = static_cast<PipeReader*>(self);
        reader->text_ = Drain(reader->pipe_);
        return 0;
    }
    HANDLE pipe_;
    std::string text_;
    KernelHandle thread_;
};

}  // namespace

ProgramRun RunProgram(const std::string& commandLine, const std::function<void(const PROCESS_INFORMATION&)>& whileRunning)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    CreatePipe(&outRead, &outWrite, &inherit, 0);
    CreatePipe(&errRead, &errWrite, &inherit, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION started = {};
    std::wstring line = Utf16(commandLine);
    ProgramRun run = {~0u, "", ""};
    BOOL ok = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (!ok) {
        ADD_FAILURE() << "cannot start " << commandLine << " (" << GetLastError() << ")";
    } else {
        PipeReader output(outRead), errors(errRead);
        if (whileRunning) whileRunning(started);
        run.output = output.Take();
        run.errors = errors.Take();
        WaitForSingleObject(started.hProcess, INFINITE);
        GetExitCodeProcess(started.hProcess, &run.exitCode);
        CloseHandle(started.hProcess);
        CloseHandle(started.hThread);
    }
    CloseHandle(outRead);
    CloseHandle(errRead);
    return run;
}
