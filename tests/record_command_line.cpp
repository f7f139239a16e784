// Stand-in for a launched program: writes its own path and the command line it received
// into the file that VELMOR_RECORD names.
#include <windows.h>
#include <cstdio>

int main()
{
    char record[MAX_PATH];
    if (!GetEnvironmentVariableA("VELMOR_RECORD", record, MAX_PATH)) return 1;
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::FILE* file = std::fopen(record, "wb");
    if (file == nullptr) return 1;
    std::fprintf(file, "%s\n%s", self, GetCommandLineA());
    std::fclose(file);
    return 0;
}
