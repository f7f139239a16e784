// What a program may load by a bare DLL name once its start-up code has run: a copy of this
// test program, placed in a folder with DLLs beside it and started in another folder with DLLs
// in it, loads one name and says from where.
#include "dll_search.h"
#include "support.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

std::string ProbeDll;  // the DLL of our own, from the command line

const char ProbeExport[] = "VelmorDllProbe";

// The child's part: "--load NAME [--restrict]"; prints "ours PATH", "system PATH", "none" or
// "already".
int LoadByBareName(const char* name, bool restrict)
{
    if (restrict) SearchDllsInSystemFolderOnly();
    if (GetModuleHandleA(name) != nullptr) {
        std::printf("already\n");  // loaded before: the search is not what answers
        return 0;
    }
    HMODULE module = LoadLibraryA(name);
    if (module == nullptr) {
        std::printf("none\n");
        return 0;
    }
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    bool ours = GetProcAddress(module, ProbeExport) != nullptr;
    std::printf("%s %s\n", ours ? "ours" : "system", Utf8(path).c_str());
    return 0;
}

std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

std::string SystemFolder()
{
    wchar_t folder[MAX_PATH] = {};
    GetSystemDirectoryW(folder, MAX_PATH);
    return Lower(Utf8(folder)) + "\\";
}

struct Case {
    const char* what;
    const char* name;  // the bare name loaded, and the name of our DLL's copies
    bool besideProgram;
    bool inCurrentFolder;
    bool restrict;
    const char* from;  // "program", "current", "system" or "none"
};

const Case Cases[] = {
    // Without the start-up code our DLL is found by its bare name: the cases below can fail.
    {"ours beside the program, unrestricted", "velmor_probe.dll", true, false, false, "program"},
    {"ours in the current folder, unrestricted", "velmor_probe.dll", false, true, false, "current"},
    {"ours beside the program and in the current folder", "velmor_probe.dll", true, true, true, "none"},
    {"ours in the current folder", "velmor_probe.dll", false, true, true, "none"},
    {"a system DLL not loaded yet", "shlwapi.dll", false, false, true, "system"},
    {"a system DLL's name on our DLL, unrestricted", "dwmapi.dll", true, true, false, "program"},
    {"a system DLL's name on our DLL", "dwmapi.dll", true, true, true, "system"},
};

std::string Where(const std::string& answer, const std::string& program, const std::string& current)
{
    if (answer == "none" || answer == "already") return answer;
    std::size_t space = answer.find(' ');
    std::string kind = answer.substr(0, space);
    std::string folder = Lower(answer.substr(space + 1));
    folder = folder.substr(0, folder.find_last_of('\\') + 1);
    if (kind == "system" && folder == SystemFolder()) return "system";
    if (kind == "ours" && folder == Lower(program) + "\\") return "program";
    if (kind == "ours" && folder == Lower(current) + "\\") return "current";
    return answer;
}

TEST(DllSearch, AfterStartUpOnlyTheSystemFolderAnswersABareName)
{
    ASSERT_TRUE(FileExists(ProbeDll)) << "usage: dll_search_test PROBE.DLL; no " << ProbeDll;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    for (const Case& c : Cases) {
        SCOPED_TRACE(c.what);
        ScratchFolder program;
        ScratchFolder current;
        const std::string copy = program / "dll_search_test.exe";
        ASSERT_TRUE(CopyFileW(self, Utf16(copy).c_str(), FALSE));
        const std::pair<bool, const ScratchFolder*> places[] = {{c.besideProgram, &program}, {c.inCurrentFolder, &current}};
        for (const auto& place : places) {
            if (place.first) {
                ASSERT_TRUE(CopyFileW(Utf16(ProbeDll).c_str(), Utf16(*place.second / c.name).c_str(), FALSE));
            }
        }

        wchar_t before[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, before);
        ASSERT_TRUE(SetCurrentDirectoryW(Utf16(current.Path()).c_str()));
        ProgramRun run = RunProgram("\"" + copy + "\" --load " + c.name + (c.restrict ? " --restrict" : ""));
        SetCurrentDirectoryW(before);

        ASSERT_EQ(run.exitCode, 0u) << run.errors;
        std::string answer = run.output.substr(0, run.output.find_first_of("\r\n"));
        EXPECT_EQ(Where(answer, program.Path(), current.Path()), c.from);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--load") == 0)
        return LoadByBareName(argv[2], argc >= 4 && std::strcmp(argv[3], "--restrict") == 0);
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1) ProbeDll = WindowsPath(argv[1]);
    return RUN_ALL_TESTS();
}
