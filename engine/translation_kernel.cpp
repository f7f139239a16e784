#include "translation_kernel.h"
#include "vector_code.h"
#include <immintrin.h>
#include <algorithm>
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

// Eight bytes in flight per round: the look-ups are independent, so they overlap.
class PlainBlock {
public:
    static constexpr std::size_t Size = 8;
    explicit PlainBlock(const TranslationTables& tables) : table_(tables.entries) {}
    void Translate(const unsigned char* from, unsigned char* to) const
    {
        const unsigned char* t = table_;
        unsigned char a = t[from[0]], b = t[from[1]], c = t[from[2]], d = t[from[3]], e = t[from[4]],
                      f = t[from[5]], g = t[from[6]], h = t[from[7]];
        to[0] = a, to[1] = b, to[2] = c, to[3] = d, to[4] = e, to[5] = f, to[6] = g, to[7] = h;
    }

private:
    const unsigned char* table_;
};

void PlainLoop(const TranslationTables& tables, const unsigned char* from, unsigned char* to, std::size_t count)
{
    const PlainBlock block(tables);
    std::size_t i = 0;
    for (; i + PlainBlock::Size <= count; i += PlainBlock::Size) block.Translate(from + i, to + i);
    for (; i < count; ++i) to[i] = tables.entries[from[i]];
}

// 256 entries through 16-entry shuffles. A shuffle gives row[index & 15], or 0 when bit 7 of
// the index is set. Adding 16 with saturation k times sets bit 7 exactly when the high
// nibble is above 7 - k, so shuffle k picks up row 7 - k's step for every byte whose high
// nibble is at most 7 - k, and the steps xor together to the byte's own row. Bytes of 80 hex and
// above go the same way with their top bit flipped.
class Avx2Block {
public:
    static constexpr std::size_t Size = 32;
    VECTOR_CODE("avx2") explicit Avx2Block(const TranslationTables& tables)
    {
        for (int row = 0; row < 16; ++row)
            steps_[row] = _mm256_load_si256(reinterpret_cast<const __m256i*>(tables.rowSteps[row]));
    }
    VECTOR_CODE("avx2") void Translate(const unsigned char* from, unsigned char* to) const
    {
        const __m256i sixteen = _mm256_set1_epi8(16);
        __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from));
        __m256i high = _mm256_xor_si256(low, _mm256_set1_epi8(static_cast<char>(-128)));
        __m256i out = _mm256_xor_si256(_mm256_shuffle_epi8(steps_[7], low), _mm256_shuffle_epi8(steps_[15], high));
        for (int row = 6; row >= 0; --row) {
            low = _mm256_adds_epu8(low, sixteen);
            high = _mm256_adds_epu8(high, sixteen);
            out = _mm256_xor_si256(out, _mm256_shuffle_epi8(steps_[row], low));
            out = _mm256_xor_si256(out, _mm256_shuffle_epi8(steps_[row + 8], high));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), out);
    }

private:
    __m256i steps_[16];
};

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

// Each block is read whole before it is written, so in place is safe.
template <typename Block>
void BufferLoop(const TranslationTables& tables, const unsigned char* from, unsigned char* to, std::size_t count)
{
    const Block block(tables);
    std::size_t i = 0;
    for (; i + Block::Size <= count; i += Block::Size) block.Translate(from + i, to + i);
    PlainLoop(tables, from + i, to + i, count - i);
}

// Short records are the common case, so whole records go across in whole blocks, translated
// on the way. A block may run past the record's end, but only while at least a block more of
// input follows: what comes next in the output covers it.
template <typename Block>
unsigned char* RecordLoop(const TranslationTables& tables, const unsigned char* from, std::size_t count,
                          unsigned char* to, RecordCut& cut)
{
    static_assert(Block::Size <= MaxTranslationBlock, "the room in front of record input");
    const Block block(tables);
    const std::size_t lrecl = cut.lrecl;
    while (count > 0) {
        if (cut.offset == 0 && count >= lrecl + Block::Size) {
            std::size_t whole = (count - Block::Size) / lrecl;
            for (std::size_t r = 0; r < whole; ++r) {
                for (std::size_t k = 0; k < lrecl; k += Block::Size) block.Translate(from + k, to + k);
                to[lrecl] = '\r';
                to[lrecl + 1] = '\n';
                to += lrecl + 2;
                from += lrecl;
            }
            count -= whole * lrecl;
            cut.records += static_cast<std::int64_t>(whole);
            continue;
        }
        // A record begun in an earlier piece, or one of the last few of this piece.
        std::size_t take = std::min(count, lrecl - cut.offset);
        PlainLoop(tables, from, to, take);
        to += take;
        from += take;
        count -= take;
        cut.offset += take;
        if (cut.offset == lrecl) {
            *to++ = '\r';
            *to++ = '\n';
            cut.offset = 0;
            ++cut.records;
        }
    }
    return to;
}

unsigned char* PlainRecordLoop(const TranslationTables& tables, const unsigned char* from, std::size_t count,
                               unsigned char* to, RecordCut& cut)
{
    return RecordLoop<PlainBlock>(tables, from, count, to, cut);
}

VECTOR_CODE("avx2") INLINE_HELPERS
void Avx2Loop(const TranslationTables& tables, const unsigned char* from, unsigned char* to, std::size_t count)
{
    BufferLoop<Avx2Block>(tables, from, to, count);
}

VECTOR_CODE("avx2") INLINE_HELPERS
unsigned char* Avx2RecordLoop(const TranslationTables& tables, const unsigned char* from, std::size_t count,
                              unsigned char* to, RecordCut& cut)
{
    return RecordLoop<Avx2Block>(tables, from, count, to, cut);
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

RecordTranslationLoop RecordTranslationLoopOf(TranslationKernel kernel)
{
    switch (kernel) {
    case TranslationKernel::Plain: return PlainRecordLoop;
    case TranslationKernel::Avx2: return Avx2RecordLoop;
    case TranslationKernel::Avx512Vbmi: return Avx512VbmiRecordLoop;
    }
    return PlainRecordLoop;
}
