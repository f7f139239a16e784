#include "support.h"
#include "translation_table.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = folder + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
            else DeleteFileA(path.c_str());
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

ScratchFolder::ScratchFolder()
{
    static unsigned serial = GetTickCount();
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    for (int attempt = 0; attempt < 100; ++attempt) {
        path_ = std::string(temp) + "velmor-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
        if (CreateDirectoryA(path_.c_str(), nullptr)) return;
    }
    ADD_FAILURE() << "cannot create " << path_;
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) ADD_FAILURE() << "cannot write " << path;
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
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

}  // namespace

ProgramRun RunProgram(const std::string& commandLine)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE outRead, outWrite, errRead, errWrite;
    CreatePipe(&outRead, &outWrite, &inherit, 0);
    CreatePipe(&errRead, &errWrite, &inherit, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION started = {};
    std::string line = commandLine;
    ProgramRun run = {~0u, "", ""};
    BOOL ok = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (!ok) {
        ADD_FAILURE() << "cannot start " << commandLine << " (" << GetLastError() << ")";
    } else {
        // Small outputs: the pipes never fill, so draining one after the other is safe.
        run.output = Drain(outRead);
        run.errors = Drain(errRead);
        WaitForSingleObject(started.hProcess, INFINITE);
        GetExitCodeProcess(started.hProcess, &run.exitCode);
        CloseHandle(started.hProcess);
        CloseHandle(started.hThread);
    }
    CloseHandle(outRead);
    CloseHandle(errRead);
    return run;
}
