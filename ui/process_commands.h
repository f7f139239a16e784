#pragma once
#include <windows.h>
#include <cstdint>
#include <string>

// Process: checks the entries, converts, records both names and reports the count.
void OnProcess(HWND hDlg);
// View: opens the file the output field names in the system editor.
void OnView(HWND hDlg);

// The record-length field's text as a 32-bit number; out-of-range values are held at the
// nearest end instead of wrapping.
std::int32_t RecordLengthFromText(const std::string& text);
