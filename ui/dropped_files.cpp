#include "dropped_files.h"
#include "file_search.h"
#include "text.h"

std::string DroppedFiles::FirstOrdinaryFile() const
{
    UINT count = DragQueryFileA(drop_, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        UINT length = DragQueryFileA(drop_, i, nullptr, 0);
        if (length == 0 || length > MaxFileNameLength) continue;
        std::string name(length + 1, '\0');
        name.resize(DragQueryFileA(drop_, i, &name[0], length + 1));
        if (IsOrdinaryFile(name)) return name;
    }
    return std::string();
}

POINT DroppedFiles::Point() const
{
    POINT point = {};
    DragQueryPoint(drop_, &point);
    return point;
}
