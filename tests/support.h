#pragma once
// What the tests share: scratch folders, whole-file helpers and captured message boxes.
#include "messages.h"
#include "translation_kernel.h"
#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A fresh folder in parent (the temporary folder if none), removed with everything in it.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& parent = "");
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// Paths and texts in the tests are UTF-8 and reach the system through its "W" functions, so
// that a name in any script means the same to every test.
std::wstring Utf16(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

// A path of exactly length bytes in a new subfolder of folder: the subfolder's name and the
// file's are made of letter (one character of any script, in UTF-8) and ASCII to fill, and
// the file's name ends in ending. Makes the subfolder, not the file.
std::string PathOfLength(const ScratchFolder& folder, std::size_t length, const std::string& letter,
                         const std::string& ending);
// The names in a folder, without "." and "..".
std::vector<std::string> FolderEntries(const std::string& folder);

void WriteWholeFile(const std::string& path, const std::string& bytes);
std::string ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);
// A file of size bytes that holds no data: it costs no disk and reads as zeros.
bool MakeSparseFile(const std::string& path, std::uint64_t size);
std::string Bytes(std::initializer_list<int> values);
// count bytes that run through every value 0-255 in turn, offset by seed.
std::string PatternBytes(std::size_t count, unsigned seed = 0);
// The bytes through the table, one at a time: what any form of conversion must produce.
std::string Translated(const std::string& bytes);
// Every translation kernel this machine runs, the plain one first.
std::vector<TranslationKernel> RunnableKernels();
// A path handed over from the Unix side, as Windows sees it.
std::string WindowsPath(const std::string& unixPath);
// A path on Wine's Z: drive as the Unix side sees it; empty for any other path.
std::string UnixPath(const std::string& windowsPath);
// Runs command (no double quotes in it) through the Unix /bin/sh that Wine runs on; its exit
// status, or -1 if it could not start or did not end within ten seconds.
int RunUnixCommand(const std::string& command);

struct ShownMessage {
    std::string text;
    std::string caption;
    unsigned style;
};

// Takes every message box of its lifetime instead of showing it.
class MessageCapture {
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;
    const std::vector<ShownMessage>& Shown() const { return shown_; }

private:
    std::vector<ShownMessage> shown_;
    MessageSink previous_;
};

// A process started with its standard output and error captured; the command line is UTF-8.
struct ProgramRun {
    DWORD exitCode;
    std::string output;
    std::string errors;
};
// whileRunning, if given, is called once the program has started, while its output is read;
// the program is waited for after it returns.
ProgramRun RunProgram(const std::string& commandLine,
                      const std::function<void(const PROCESS_INFORMATION&)>& whileRunning = nullptr);
