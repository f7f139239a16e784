#include "file_search.h"
#include "handles.h"
#include "text.h"
#include <new>
#include <vector>

namespace {

// What is no ordinary file: the input's check and every name the program is handed skip these.
const DWORD NotOrdinary = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY;

// The first word of a command line, without the quotes around it.
std::string FirstWord(const std::string& commandLine)
{
    if (!commandLine.empty() && commandLine[0] == '"') {
        std::size_t close = commandLine.find('"', 1);
        return commandLine.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return commandLine.substr(0, commandLine.find_first_of(" \t"));
}

std::string FolderOf(UINT (WINAPI *query)(LPSTR, UINT))
{
    char folder[MAX_PATH + 1] = {};
    UINT length = query(folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(folder, length) : std::string();
}

// Where a bare program name may come from: never the current folder, which the file
// dialogs move, nor the program's own folder.
std::string TrustedSearchPath()
{
    std::string path = FolderOf(GetSystemDirectoryA) + ";" + FolderOf(GetWindowsDirectoryA);
    DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
    if (size > 0) {
        std::string variable(size, '\0');
        DWORD length = GetEnvironmentVariableA("PATH", &variable[0], size);
        if (length > 0 && length < size) path += ";" + variable.substr(0, length);
    }
    return path;
}

}  // namespace

std::string SearchPattern(const std::string& pattern)
{
    if (!FileNameFits(pattern)) return std::string();
    std::string search = pattern;
    if (!search.empty() && (search.back() == ':' || search.back() == '\\')) search += "*.*";
    return search;
}

std::string CurrentDirectory(ErrorCell& error)
{
    char folder[260] = {};
    DWORD code = 0;
    DWORD length = GuardedSystemCall([&] { return GetCurrentDirectoryA(sizeof folder, folder); }, code);
    if (length == 0 || length >= sizeof folder) {
        RecordSystemError(error, length == 0 ? code : ERROR_BUFFER_OVERFLOW);
        return std::string();
    }
    return std::string(folder, length);
}

std::string FindFileName(const std::string& pattern, DWORD attributeMask, ErrorCell& error)
{
    SpinGuard open(OpenLock());
    error.number = 0;
    try {
        std::string search = SearchPattern(pattern);
        if (search.empty()) return std::string();
        WIN32_FIND_DATAA entry;
        DWORD code = 0;
        FindHandle find(GuardedSystemCall([&] { return FindFirstFileA(search.c_str(), &entry); }, code));
        if (!find.Valid()) return std::string();
        do {
            std::string name = entry.cFileName;
            bool dots = name == "." || name == "..";
            if (!dots && (entry.dwFileAttributes & NotOrdinary & ~attributeMask) == 0) return name;
        } while (GuardedSystemCall([&] { return FindNextFileA(find.Get(), &entry); }, code));
    } catch (const std::bad_alloc&) {
    }
    return std::string();
}

bool IsOrdinaryFile(const std::string& name)
{
    if (name.empty() || !FileNameFits(name) || name.find_first_of("*?") != std::string::npos) return false;
    DWORD code = 0;
    DWORD attributes = GuardedSystemCall([&] { return GetFileAttributesA(name.c_str()); }, code);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & NotOrdinary) == 0;
}

std::string FullFileName(const std::string& name, ErrorCell& error)
{
    if (name.empty() || !FileNameFits(name)) return std::string();
    char full[MaxFileNameLength + 1] = {};
    DWORD code = 0;
    DWORD length = GuardedSystemCall([&] { return GetFullPathNameA(name.c_str(), sizeof full, full, nullptr); }, code);
    if (length == 0 || length >= sizeof full) {
        RecordSystemError(error, length == 0 ? code : ERROR_FILENAME_EXCED_RANGE);
        return std::string();
    }
    return std::string(full, length);
}

DWORD LaunchProgram(const std::string& commandLine, std::uint32_t flags, ErrorCell& error)
{
    try {
        std::string program = FirstWord(commandLine);
        std::string application;
        if (!program.empty() && program.find_first_of("\\/:") == std::string::npos) {
            std::string searchPath = TrustedSearchPath();
            char found[MAX_PATH] = {};
            DWORD code = 0;
            DWORD length = GuardedSystemCall([&] {
                return SearchPathA(searchPath.c_str(), program.c_str(), ".exe", MAX_PATH, found, nullptr);
            }, code);
            if (length == 0 || length >= MAX_PATH) {
                RecordSystemError(error, length == 0 ? code : ERROR_FILE_NOT_FOUND);
                return 0;
            }
            application.assign(found, length);
        }

        std::vector<char> line(commandLine.begin(), commandLine.end());
        line.push_back('\0');
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(flags & 0x7FFF);
        PROCESS_INFORMATION started = {};
        DWORD code = 0;
        BOOL ok = GuardedSystemCall([&] {
            return CreateProcessA(application.empty() ? nullptr : application.c_str(), line.data(),
                                  nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started);
        }, code);
        if (!ok) {
            RecordSystemError(error, code);
            return 0;
        }
        KernelHandle process(started.hProcess);
        KernelHandle thread(started.hThread);
        if (flags & LaunchWait) WaitForSingleObject(process.Get(), INFINITE);
        return started.dwProcessId;
    } catch (const std::bad_alloc&) {
        RecordError(error, 7);
        return 0;
    }
}
