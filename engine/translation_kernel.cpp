#include "translation_kernel.h"
#include "kernel_loops.h"
#include "vector_code.h"
#include <immintrin.h>
#include <algorithm>
#include <iterator>
#if defined(_MSC_VER)
#include <intrin.h>
#else
#include <cpuid.h>
#endif

namespace {

struct Processor {
    bool ssse3 = false;
    bool avx2 = false;
    bool avx512Vbmi = false;
};

bool Cpuid(unsigned leaf, unsigned subleaf, unsigned (&r)[4])
{
#if defined(_MSC_VER)
    int v[4];
    __cpuid(v, 0);
    if (static_cast<unsigned>(v[0]) < leaf) return false;
    __cpuidex(v, static_cast<int>(leaf), static_cast<int>(subleaf));
    for (int i = 0; i < 4; ++i) r[i] = static_cast<unsigned>(v[i]);
    return true;
#else
    // On x86-32 this also finds out whether the processor has the instruction at all.
    if (__get_cpuid_max(0, nullptr) < leaf) return false;
    __cpuid_count(leaf, subleaf, r[0], r[1], r[2], r[3]);
    return true;
#endif
}

// The register groups the system saves on a thread switch (XCR0).
unsigned long long SavedRegisterGroups()
{
#if defined(_MSC_VER)
    return _xgetbv(0);
#else
    unsigned low = 0, high = 0;
    __asm__ __volatile__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (static_cast<unsigned long long>(high) << 32) | low;
#endif
}

Processor Probe()
{
    Processor p;
    unsigned r[4] = {};
    if (!Cpuid(1, 0, r)) return p;
    const unsigned features1 = r[2];
    // Every system since Windows XP saves the 128-bit registers, so SSSE3 needs no check of XCR0.
    p.ssse3 = (features1 & (1u << 9)) != 0;
    const bool osSavesExtended = (features1 & (1u << 27)) != 0 && (features1 & (1u << 28)) != 0;
    if (!osSavesExtended) return p;
    const unsigned long long groups = SavedRegisterGroups();
    const bool ymm = (groups & 0x6) == 0x6;
    const bool zmm = (groups & 0xE6) == 0xE6;
    if (!Cpuid(7, 0, r)) return p;
    p.avx2 = ymm && (r[1] & (1u << 5)) != 0;
    const bool avx512fbw = (r[1] & (1u << 16)) != 0 && (r[1] & (1u << 30)) != 0;
    p.avx512Vbmi = zmm && p.avx2 && avx512fbw && (r[2] & (1u << 1)) != 0;
    return p;
}

const Processor& ThisProcessor()
{
    static const Processor processor = Probe();
    return processor;
}

// Two 128-entry permutes, one for each half of the table, each merged into the bytes whose
// bit 7 picks its half. Merging in place keeps the loop to five vector registers, which
// x86-32 code needs: with a separate blend it has too few and spills on every record.
class Avx512VbmiBlock {
public:
    static constexpr std::size_t Size = 64;
    VECTOR_CODE("avx512f,avx512bw,avx512vbmi") explicit Avx512VbmiBlock(const TranslationTables& tables)
        : q0_(_mm512_load_si512(tables.entries)), q1_(_mm512_load_si512(tables.entries + 64)),
          q2_(_mm512_load_si512(tables.entries + 128)), q3_(_mm512_load_si512(tables.entries + 192))
    {
    }
    VECTOR_CODE("avx512f,avx512bw,avx512vbmi") void Translate(const unsigned char* from, unsigned char* to) const
    {
        __m512i bytes = _mm512_loadu_si512(from);
        const __mmask64 upper = _mm512_movepi8_mask(bytes);
        bytes = _mm512_mask2_permutex2var_epi8(q2_, bytes, upper, q3_);
        bytes = _mm512_mask2_permutex2var_epi8(q0_, bytes, _knot_mask64(upper), q1_);
        _mm512_storeu_si512(to, bytes);
    }

private:
    __m512i q0_, q1_, q2_, q3_;
};

unsigned char* PlainRecordLoop(const TranslationTables& tables, const unsigned char* from, std::size_t count,
                               unsigned char* to, RecordCut& cut)
{
    return RecordLoop<PlainBlock>(tables, from, count, to, cut);
}

VECTOR_CODE("avx512f,avx512bw,avx512vbmi") INLINE_HELPERS
void Avx512VbmiLoop(const TranslationTables& tables, const unsigned char* from, unsigned char* to, std::size_t count)
{
    BufferLoop<Avx512VbmiBlock>(tables, from, to, count);
}

VECTOR_CODE("avx512f,avx512bw,avx512vbmi") INLINE_HELPERS
unsigned char* Avx512VbmiRecordLoop(const TranslationTables& tables, const unsigned char* from, std::size_t count,
                                    unsigned char* to, RecordCut& cut)
{
    return RecordLoop<Avx512VbmiBlock>(tables, from, count, to, cut);
}

}  // namespace

const char* TranslationKernelName(TranslationKernel kernel)
{
    switch (kernel) {
    case TranslationKernel::Plain: return "plain";
    case TranslationKernel::Ssse3: return "ssse3";
    case TranslationKernel::Avx2: return "avx2";
    case TranslationKernel::Avx512Vbmi: return "avx512vbmi";
    }
    return "?";
}

bool TranslationKernelRuns(TranslationKernel kernel)
{
    const Processor& p = ThisProcessor();
    switch (kernel) {
    case TranslationKernel::Plain: return true;
    case TranslationKernel::Ssse3: return p.ssse3;
    case TranslationKernel::Avx2: return p.avx2;
    case TranslationKernel::Avx512Vbmi: return p.avx512Vbmi;
    }
    return false;
}

TranslationKernel FastestTranslationKernel()
{
    for (auto kernel = std::rbegin(AllTranslationKernels); kernel != std::rend(AllTranslationKernels); ++kernel)
        if (TranslationKernelRuns(*kernel)) return *kernel;
    return TranslationKernel::Plain;
}

void DeriveTranslationTables(TranslationTables& tables)
{
    const unsigned char* e = tables.entries;
    for (int half = 0; half < 2; ++half)
        for (int k = 0; k < 8; ++k) {
            const unsigned char* row = e + (8 * half + 7 - k) * 16;
            for (int column = 0; column < 32; ++column) {
                int low = column & 15;
                tables.gates[8 * half + k][column] =
                    static_cast<unsigned char>(k == 0 ? row[low] : row[low] ^ row[low + 16]);
            }
        }
    for (int k = 0; k < 8; ++k)
        for (int column = 0; column < 16; ++column)
            tables.gateDifferences[k][column] =
                static_cast<unsigned char>(tables.gates[8 + k][column] ^ tables.gates[k][column]);
    std::fill(std::begin(tables.nextRow), std::end(tables.nextRow), static_cast<unsigned char>(0x10));
    std::fill(std::begin(tables.lowSeven), std::end(tables.lowSeven), static_cast<unsigned char>(0x7F));
}

TranslationLoop TranslationLoopOf(TranslationKernel kernel)
{
    switch (kernel) {
    case TranslationKernel::Plain: return PlainLoop;
    case TranslationKernel::Ssse3: return Ssse3Loop;
    case TranslationKernel::Avx2: return Avx2Loop;
    case TranslationKernel::Avx512Vbmi: return Avx512VbmiLoop;
    }
    return PlainLoop;
}

RecordTranslationLoop RecordTranslationLoopOf(TranslationKernel kernel)
{
    switch (kernel) {
    case TranslationKernel::Plain: return PlainRecordLoop;
    case TranslationKernel::Ssse3: return Ssse3RecordLoop;
    case TranslationKernel::Avx2: return Avx2RecordLoop;
    case TranslationKernel::Avx512Vbmi: return Avx512VbmiRecordLoop;
    }
    return PlainRecordLoop;
}
