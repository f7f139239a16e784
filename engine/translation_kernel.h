#pragma once
// The loops behind TranslateBuffer. Each one gives exactly the bytes of the 256-entry
// look-up; they differ in the instructions they need. TranslateBuffer's first call builds
// every kernel's tables from the 256 entries and takes the fastest kernel this processor
// and its system run; Plain runs on every x86 processor.
#include <cstddef>
#include <cstdint>

enum class TranslationKernel { Plain, Ssse3, Avx2, Avx512Vbmi };

// From the slowest to the fastest: the choice is the last one this machine runs.
constexpr TranslationKernel AllTranslationKernels[] = {
    TranslationKernel::Plain, TranslationKernel::Ssse3, TranslationKernel::Avx2, TranslationKernel::Avx512Vbmi,
};

const char* TranslationKernelName(TranslationKernel kernel);
// Whether this processor offers the instructions, and the system saves their registers.
bool TranslationKernelRuns(TranslationKernel kernel);
// The kernel TranslateBuffer's first call takes on this machine.
TranslationKernel FastestTranslationKernel();

// Makes TranslateBuffer use kernel from now on, instead of its own choice; returns false and
// changes nothing when this machine cannot run it. A seam for tests and measurements.
bool UseTranslationKernel(TranslationKernel kernel);
TranslationKernel TranslationKernelInUse();

// What the kernels read, all derived from the 256 entries.
struct TranslationTables {
    alignas(64) unsigned char entries[256];
    // For each half of the table, and k from 0 to 7: row 7 - k xor row 8 - k of that half
    // (row 7 alone for k = 0), each twice for the two 128-bit lanes of AVX2.
    alignas(32) unsigned char gates[16][32];
    // For k from 0 to 7: the upper half's gate xor the lower half's, once.
    alignas(16) unsigned char gateDifferences[8][16];
    alignas(32) unsigned char nextRow[32];   // 10 hex in every byte
    alignas(32) unsigned char lowSeven[32];  // 7F hex in every byte
};

void DeriveTranslationTables(TranslationTables& tables);

using TranslationLoop = void (*)(const TranslationTables& tables, const unsigned char* from,
                                 unsigned char* to, std::size_t count);
TranslationLoop TranslationLoopOf(TranslationKernel kernel);

// Where cutting a stream into records stands between two pieces of it.
struct RecordCut {
    std::size_t lrecl;
    std::size_t offset;  // bytes of the current record already passed
    std::int64_t records;
};

// The most bytes a kernel reads, and then writes, in one go.
constexpr std::size_t MaxTranslationBlock = 64;

// Translates count bytes from from into to, with CR LF after every record end; returns the
// end of what it put into to. to is apart from from, or before it in the same buffer by
// more than MaxTranslationBlock plus 2 bytes for every record that ends on the way: no
// write then reaches input that is still to be read.
using RecordTranslationLoop = unsigned char* (*)(const TranslationTables& tables, const unsigned char* from,
                                                  std::size_t count, unsigned char* to, RecordCut& cut);
RecordTranslationLoop RecordTranslationLoopOf(TranslationKernel kernel);
