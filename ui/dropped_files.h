#pragma once
// Files dropped on the main dialog from Explorer.
#include <windows.h>
#include <shellapi.h>
#include <string>

// Owns a drop for the time its message is handled: the system's memory behind it is given
// back whatever the handler makes of it.
class DroppedFiles {
public:
    explicit DroppedFiles(HDROP drop) : drop_(drop) {}
    ~DroppedFiles() { DragFinish(drop_); }
    DroppedFiles(const DroppedFiles&) = delete;
    DroppedFiles& operator=(const DroppedFiles&) = delete;

    // The first ordinary file in the drop's order; folders, hidden and system files and names
    // longer than a field holds are passed over. Empty when none is left.
    std::string FirstOrdinaryFile() const;
    // Where the drop landed, in the client coordinates of the window that took it.
    POINT Point() const;

private:
    HDROP drop_;
};
