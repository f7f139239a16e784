// The AVX2 kernel, in a file of its own for the compiler options it needs (CMakeLists.txt).
#include "kernel_loops.h"
#include "vector_code.h"
#include <immintrin.h>

namespace {

// 256 entries through 16-entry shuffles. A shuffle gives row[index & 15], or 0 when bit 7 of
// the index is set. Each half of the table (bytes below 80 hex, and the rest) takes eight
// shuffles indexed by the byte's low seven bits, with 16 added before each shuffle after the
// first: shuffle k then sees bit 7 set exactly when the byte's row within its half is above
// 7 - k, so it adds its gate (row 7 - k xor row 8 - k; row 7 alone for k = 0) for the bytes of
// row 7 - k and below, and the gates xor together to the byte's own row. Bit 7 of the byte
// then picks its half.
//
// x86-32 code has eight vector registers, too few to keep sixteen tables, so each table is
// loaded as it is needed, and loads limit the loop. Blocks translated in the same round share
// every load; the two halves' chains are independent of each other and of the other block's.
template <std::size_t Blocks>
class Avx2Block {
public:
    static constexpr std::size_t Size = 32 * Blocks;
    VECTOR_CODE("avx2") explicit Avx2Block(const TranslationTables& tables) : tables_(tables) {}
    VECTOR_CODE("avx2") void Translate(const unsigned char* from, unsigned char* to) const
    {
        const __m256i* gate = reinterpret_cast<const __m256i*>(tables_.gates);
        const __m256i lowSeven = _mm256_load_si256(reinterpret_cast<const __m256i*>(tables_.lowSeven));
        __m256i index[Blocks], low[Blocks], high[Blocks];
        for (std::size_t b = 0; b < Blocks; ++b)
            index[b] = _mm256_and_si256(Load(from + 32 * b), lowSeven);
        __m256i table = _mm256_load_si256(gate);
        for (std::size_t b = 0; b < Blocks; ++b) low[b] = _mm256_shuffle_epi8(table, index[b]);
        table = _mm256_load_si256(gate + 8);
        for (std::size_t b = 0; b < Blocks; ++b) high[b] = _mm256_shuffle_epi8(table, index[b]);
        for (int k = 1; k < 8; ++k) {
            // Read from memory, so that the compiler sees no constant to fold into each index.
            const __m256i nextRow = _mm256_load_si256(reinterpret_cast<const __m256i*>(tables_.nextRow));
            for (std::size_t b = 0; b < Blocks; ++b) index[b] = _mm256_add_epi8(index[b], nextRow);
            table = _mm256_load_si256(gate + k);
            for (std::size_t b = 0; b < Blocks; ++b) low[b] = _mm256_xor_si256(low[b], _mm256_shuffle_epi8(table, index[b]));
            table = _mm256_load_si256(gate + 8 + k);
            for (std::size_t b = 0; b < Blocks; ++b) high[b] = _mm256_xor_si256(high[b], _mm256_shuffle_epi8(table, index[b]));
        }
        // Reading the bytes again costs a load, where keeping them would cost a register.
        for (std::size_t b = 0; b < Blocks; ++b)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + 32 * b),
                                _mm256_blendv_epi8(low[b], high[b], Load(from + 32 * b)));
    }

private:
    VECTOR_CODE("avx2") static __m256i Load(const unsigned char* at)
    {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    }

    const TranslationTables& tables_;
};

// Moves bytes as they are, for records staged already translated.
class CopyBlock {
public:
    static constexpr std::size_t Size = 32;
    VECTOR_CODE("avx2") void Translate(const unsigned char* from, unsigned char* to) const
    {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from)));
    }
};

// As many blocks a round as the vector registers hold without spilling.
#if defined(__x86_64__) || defined(_M_X64)
constexpr std::size_t Avx2BlocksPerRound = 4;
#else
constexpr std::size_t Avx2BlocksPerRound = 2;
#endif

// A record that is not a whole number of blocks long wastes part of its last block: at LRECL
// 80 the AVX2 kernel would translate 96 bytes for every 80. Instead, whole records are
// translated many at a time into a stage in the first-level cache, at the speed of the widest
// round, and copied out of it; the copy costs less than the waste it saves. Records longer
// than a quarter of the stage (fewer than four a batch) waste little and go across directly.
constexpr std::size_t StageSize = 4096;
constexpr std::size_t StagedRecordLimit = StageSize / 4;
static_assert(StagedRecordLimit <= StageSize, "a record fits the stage");

template <typename Block>
unsigned char* StagedRecordLoop(const TranslationTables& tables, const unsigned char* from, std::size_t count,
                                unsigned char* to, RecordCut& cut)
{
    static_assert(CopyBlock::Size <= MaxTranslationBlock, "the room in front of record input");
    static_assert(CopyBlock::Size <= Block::Size, "the input that follows a record");
    const Block block(tables);
    const CopyBlock copy;
    const std::size_t lrecl = cut.lrecl;
    const std::size_t most = StageSize / lrecl;
    alignas(32) unsigned char stage[StageSize + Block::Size];
    while (count > 0) {
        if (cut.offset == 0 && count >= lrecl + Block::Size) {
            // The last block may take in bytes of the next record, which follow in the input.
            std::size_t whole = std::min((count - Block::Size) / lrecl, most);
            for (std::size_t k = 0; k < whole * lrecl; k += Block::Size) block.Translate(from + k, stage + k);
            to = PutRecords(copy, copy, stage, whole, lrecl, to);
            from += whole * lrecl;
            count -= whole * lrecl;
            cut.records += static_cast<std::int64_t>(whole);
            continue;
        }
        CutRecordPiece(tables, from, count, to, cut);
    }
    return to;
}

VECTOR_CODE("avx2") INLINE_HELPERS
unsigned char* Avx2StagedRecordLoop(const TranslationTables& tables, const unsigned char* from, std::size_t count,
                                    unsigned char* to, RecordCut& cut)
{
    return StagedRecordLoop<Avx2Block<Avx2BlocksPerRound>>(tables, from, count, to, cut);
}

VECTOR_CODE("avx2") INLINE_HELPERS
unsigned char* Avx2WholeRecordLoop(const TranslationTables& tables, const unsigned char* from, std::size_t count,
                                   unsigned char* to, RecordCut& cut)
{
    return RecordLoop<Avx2Block<2>, Avx2Block<1>>(tables, from, count, to, cut);
}

}  // namespace

VECTOR_CODE("avx2") INLINE_HELPERS
void Avx2Loop(const TranslationTables& tables, const unsigned char* from, unsigned char* to, std::size_t count)
{
    BufferLoop<Avx2Block<Avx2BlocksPerRound>>(tables, from, to, count);
}

// Two functions: compiled into one, the two loops compete for the registers and both spill.
unsigned char* Avx2RecordLoop(const TranslationTables& tables, const unsigned char* from, std::size_t count,
                              unsigned char* to, RecordCut& cut)
{
    return cut.lrecl <= StagedRecordLimit ? Avx2StagedRecordLoop(tables, from, count, to, cut)
                                          : Avx2WholeRecordLoop(tables, from, count, to, cut);
}
