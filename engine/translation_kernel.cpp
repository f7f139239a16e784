#include "translation_kernel.h"
#include "vector_code.h"
#include <immintrin.h>
#if defined(_MSC_VER)
#include <intrin.h>
#else
#include <cpuid.h>
#endif

namespace {

struct Processor {
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

void PlainLoop(const TranslationTables& tables, const unsigned char* from, unsigned char* to, std::size_t count)
{
    const unsigned char* table = tables.entries;
    std::size_t i = 0;
    // Eight bytes in flight per round: the look-ups are independent, so they overlap.
    for (; i + 8 <= count; i += 8) {
        unsigned char a = table[from[i]], b = table[from[i + 1]], c = table[from[i + 2]],
                      d = table[from[i + 3]], e = table[from[i + 4]], f = table[from[i + 5]],
                      g = table[from[i + 6]], h = table[from[i + 7]];
        to[i] = a, to[i + 1] = b, to[i + 2] = c, to[i + 3] = d;
        to[i + 4] = e, to[i + 5] = f, to[i + 6] = g, to[i + 7] = h;
    }
    for (; i < count; ++i) to[i] = table[from[i]];
}

// 256 entries through 16-entry shuffles. A shuffle gives row[index & 15], or 0 when bit 7 of
// the index is set. Adding 16 with saturation k times sets bit 7 exactly when the high
// nibble is above 7 - k, so shuffle k picks up row 7 - k's step for every byte whose high
// nibble is at most 7 - k, and the steps xor together to the byte's own row. Bytes of 80 hex and
// above go the same way with their top bit flipped.
VECTOR_CODE("avx2")
void Avx2Loop(const TranslationTables& tables, const unsigned char* from, unsigned char* to, std::size_t count)
{
    const auto* steps = reinterpret_cast<const __m256i*>(tables.rowSteps);
    const __m256i sixteen = _mm256_set1_epi8(16);
    const __m256i top = _mm256_set1_epi8(static_cast<char>(-128));
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i));
        __m256i high = _mm256_xor_si256(low, top);
        __m256i out = _mm256_xor_si256(_mm256_shuffle_epi8(steps[7], low), _mm256_shuffle_epi8(steps[15], high));
        for (int row = 6; row >= 0; --row) {
            low = _mm256_adds_epu8(low, sixteen);
            high = _mm256_adds_epu8(high, sixteen);
            out = _mm256_xor_si256(out, _mm256_shuffle_epi8(steps[row], low));
            out = _mm256_xor_si256(out, _mm256_shuffle_epi8(steps[row + 8], high));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + i), out);
    }
    PlainLoop(tables, from + i, to + i, count - i);
}

// Two 128-entry permutes, one for each half of the table, and bit 7 picks between them.
VECTOR_CODE("avx512f,avx512bw,avx512vbmi")
void Avx512VbmiLoop(const TranslationTables& tables, const unsigned char* from, unsigned char* to, std::size_t count)
{
    const __m512i q0 = _mm512_load_si512(tables.entries);
    const __m512i q1 = _mm512_load_si512(tables.entries + 64);
    const __m512i q2 = _mm512_load_si512(tables.entries + 128);
    const __m512i q3 = _mm512_load_si512(tables.entries + 192);
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        __m512i in = _mm512_loadu_si512(from + i);
        __m512i lower = _mm512_permutex2var_epi8(q0, in, q1);
        __m512i upper = _mm512_permutex2var_epi8(q2, in, q3);
        _mm512_storeu_si512(to + i, _mm512_mask_blend_epi8(_mm512_movepi8_mask(in), lower, upper));
    }
    PlainLoop(tables, from + i, to + i, count - i);
}

}  // namespace

const char* TranslationKernelName(TranslationKernel kernel)
{
    switch (kernel) {
    case TranslationKernel::Plain: return "plain";
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
    case TranslationKernel::Avx2: return p.avx2;
    case TranslationKernel::Avx512Vbmi: return p.avx512Vbmi;
    }
    return false;
}

TranslationKernel FastestTranslationKernel()
{
    const TranslationKernel byPreference[] = {TranslationKernel::Avx512Vbmi, TranslationKernel::Avx2};
    for (TranslationKernel kernel : byPreference)
        if (TranslationKernelRuns(kernel)) return kernel;
    return TranslationKernel::Plain;
}

void DeriveTranslationTables(TranslationTables& tables)
{
    const unsigned char* e = tables.entries;
    for (int row = 0; row < 16; ++row)
        for (int column = 0; column < 32; ++column) {
            int low = column & 15;
            bool last = row == 7 || row == 15;
            tables.rowSteps[row][column] =
                static_cast<unsigned char>(last ? e[row * 16 + low] : e[row * 16 + low] ^ e[(row + 1) * 16 + low]);
        }
}

TranslationLoop TranslationLoopOf(TranslationKernel kernel)
{
    switch (kernel) {
    case TranslationKernel::Plain: return PlainLoop;
    case TranslationKernel::Avx2: return Avx2Loop;
    case TranslationKernel::Avx512Vbmi: return Avx512VbmiLoop;
    }
    return PlainLoop;
}
