#include "translation_table.h"
#include "translation_kernel.h"
#include <cstdlib>

namespace {

// The table as its maintainers keep it: one decimal text per EBCDIC code, 00 to FF.
const char* const SourceList[256] = {
    "0", "1", "2", "3", "0", "9", "0", "127", "0", "0", "0", "11", "12", "13", "14", "15",  // 0_
    "16", "17", "18", "19", "0", "0", "8", "0", "24", "25", "0", "0", "28", "29", "30", "31",  // 1_
    "0", "0", "0", "0", "0", "10", "23", "27", "0", "0", "0", "0", "0", "5", "6", "7",  // 2_
    "0", "0", "22", "0", "0", "0", "0", "4", "0", "0", "0", "0", "20", "21", "0", "26",  // 3_
    "32", "32", "131", "132", "133", "160", "166", "134", "135", "164", "91", "46", "60", "40", "43", "124",  // 4_
    "38", "130", "136", "137", "138", "161", "140", "139", "141", "225", "93", "36", "42", "41", "59", "170",  // 5_
    "45", "47", "0", "142", "0", "0", "0", "143", "128", "165", "124", "44", "37", "95", "62", "63",  // 6_
    "237", "144", "0", "0", "0", "0", "0", "0", "0", "96", "58", "35", "64", "39", "61", "34",  // 7_
    "237", "97", "98", "99", "100", "101", "102", "103", "104", "105", "174", "175", "235", "0", "0", "241",  // 8_
    "248", "106", "107", "108", "109", "110", "111", "112", "113", "114", "166", "167", "145", "0", "146", "0",  // 9_
    "230", "126", "115", "116", "117", "118", "119", "120", "121", "122", "173", "168", "0", "89", "0", "0",  // A_
    "94", "156", "157", "250", "0", "21", "20", "172", "171", "0", "91", "93", "0", "0", "39", "0",  // B_
    "123", "65", "66", "67", "68", "69", "70", "71", "72", "73", "45", "147", "148", "149", "162", "167",  // C_
    "125", "74", "75", "76", "77", "78", "79", "80", "81", "82", "0", "150", "129", "151", "163", "152",  // D_
    "92", "246", "83", "84", "85", "86", "87", "88", "89", "90", "253", "0", "153", "0", "0", "0",  // E_
    "48", "49", "50", "51", "52", "53", "54", "55", "56", "57", "0", "150", "154", "0", "0", "0",  // F_
};

TranslationTables Tables;
std::int32_t Built = 0;  // -1 once the tables are filled
TranslationKernel Kernel = TranslationKernel::Plain;
TranslationLoop Loop = nullptr;  // set by the first call, or earlier by UseTranslationKernel
RecordTranslationLoop RecordLoop = nullptr;  // the same kernel's

void BuildTables()
{
    Built = -1;
    for (int k = 0; k < 256; ++k)
        Tables.entries[k] = static_cast<unsigned char>(std::strtol(SourceList[k], nullptr, 10));
    DeriveTranslationTables(Tables);
    if (Loop == nullptr) UseTranslationKernel(FastestTranslationKernel());
}

}  // namespace

bool UseTranslationKernel(TranslationKernel kernel)
{
    if (!TranslationKernelRuns(kernel)) return false;
    Kernel = kernel;
    Loop = TranslationLoopOf(kernel);
    RecordLoop = RecordTranslationLoopOf(kernel);
    return true;
}

TranslationKernel TranslationKernelInUse()
{
    return Loop == nullptr ? FastestTranslationKernel() : Kernel;
}

void TranslateBuffer(const void* source, void* destination, std::int32_t count)
{
    if (!Built) BuildTables();
    if (count <= 0) return;
    Loop(Tables, static_cast<const unsigned char*>(source), static_cast<unsigned char*>(destination),
         static_cast<std::size_t>(count));
}

std::size_t TranslateIntoRecords(const void* source, std::size_t count, void* destination, RecordCut& cut)
{
    if (!Built) BuildTables();
    auto* to = static_cast<unsigned char*>(destination);
    return static_cast<std::size_t>(RecordLoop(Tables, static_cast<const unsigned char*>(source), count, to, cut) - to);
}
