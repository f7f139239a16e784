// A DLL of a name of our own, which the DLL search test places where a stranger could: beside
// the program and in its current folder. Its export tells it apart from a system DLL that it
// stands in for.
#include <windows.h>

extern "C" __declspec(dllexport) int VelmorDllProbe() { return 1; }
