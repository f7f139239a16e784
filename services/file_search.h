#pragma once
// The current directory, the search for a file by name or pattern, and the launch of
// another program.
#include "error_numbers.h"
#include <cstdint>
#include <string>

std::string CurrentDirectory(ErrorCell& error);

// What a search for pattern looks for: the pattern, or all files of a folder when it ends in
// ":" or "\"; empty for a pattern longer than a file name may be.
std::string SearchPattern(const std::string& pattern);

// The name (without folder) of the first entry that matches pattern and is an ordinary file,
// or empty. Hidden, system and directory entries count only when attributeMask holds their
// attribute. A pattern ending in ":" or "\" searches that folder. Clears the caller's cell.
std::string FindFileName(const std::string& pattern, DWORD attributeMask, ErrorCell& error);

// Whether name, taken as it is and not as a pattern, is an ordinary file: neither a folder
// nor hidden nor a system file, the files the input's check accepts.
bool IsOrdinaryFile(const std::string& name);

// name with the current folder's path before it where it is relative; empty when the system
// cannot make it, or when either is longer than a file name may be.
std::string FullFileName(const std::string& name, ErrorCell& error);

// Launch flags: bits 0-14 the show state of the new program's window, bit 15 wait for it.
constexpr std::uint32_t LaunchWait = 0x8000;

// Starts commandLine and returns the new process's identifier, 0 on failure. A bare program
// name is looked for only in the system folder, the Windows folder and PATH.
DWORD LaunchProgram(const std::string& commandLine, std::uint32_t flags, ErrorCell& error);
