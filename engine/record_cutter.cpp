#include "record_cutter.h"
#include "translation_table.h"

std::size_t RecordCutter::Cut(const char* in, std::size_t n, char* out, bool last)
{
    std::size_t length = TranslateIntoRecords(in, n, out, cut_);
    if (last && cut_.offset > 0) {
        out[length++] = '\r';
        out[length++] = '\n';
        cut_.offset = 0;
        ++cut_.records;
    }
    return length;
}
