// The SSSE3 kernel, for processors without AVX2; in a file of its own for the compiler
// options it shares with the AVX2 kernel (CMakeLists.txt).
#include "kernel_loops.h"
#include "vector_code.h"
#include <tmmintrin.h>

namespace {

// The AVX2 kernel's design at 16 bytes a block (avx2_kernel.cpp): two chains of eight
// 16-entry shuffles share an index, the byte's low seven bits plus 16 before each further
// shuffle, and each chain's gates xor together to a row. SSSE3 has no byte blend, so the
// second chain yields the upper half's row xor the lower half's, and a mask of bit 7 lets it
// through: three instructions where choosing between two rows takes four.
//
// A shuffle overwrites its table, so each one takes a fresh copy from memory, which occupies
// no vector port: the loop is bound by its 41 vector instructions a block, not by its loads.
// Two blocks a round fit the eight vector registers of x86-32 code; three or four are no
// faster in x86-64 code.
template <std::size_t Blocks>
class Ssse3Block {
public:
    static constexpr std::size_t Size = 16 * Blocks;
    VECTOR_CODE("ssse3") explicit Ssse3Block(const TranslationTables& tables) : tables_(tables) {}
    VECTOR_CODE("ssse3") void Translate(const unsigned char* from, unsigned char* to) const
    {
        const __m128i lowSeven = Table(tables_.lowSeven);
        __m128i index[Blocks], low[Blocks], upper[Blocks];
        for (std::size_t b = 0; b < Blocks; ++b) index[b] = _mm_and_si128(Load(from + 16 * b), lowSeven);
        for (std::size_t b = 0; b < Blocks; ++b) low[b] = _mm_shuffle_epi8(Table(tables_.gates[0]), index[b]);
        for (std::size_t b = 0; b < Blocks; ++b)
            upper[b] = _mm_shuffle_epi8(Table(tables_.gateDifferences[0]), index[b]);
        for (int k = 1; k < 8; ++k) {
            // Read from memory, so that the compiler sees no constant to fold into each index.
            const __m128i nextRow = Table(tables_.nextRow);
            for (std::size_t b = 0; b < Blocks; ++b) index[b] = _mm_add_epi8(index[b], nextRow);
            for (std::size_t b = 0; b < Blocks; ++b)
                low[b] = _mm_xor_si128(low[b], _mm_shuffle_epi8(Table(tables_.gates[k]), index[b]));
            for (std::size_t b = 0; b < Blocks; ++b)
                upper[b] = _mm_xor_si128(upper[b], _mm_shuffle_epi8(Table(tables_.gateDifferences[k]), index[b]));
        }
        // Reading the bytes again costs a load, where keeping them would cost a register.
        for (std::size_t b = 0; b < Blocks; ++b) {
            const __m128i bit7 = _mm_cmplt_epi8(Load(from + 16 * b), _mm_setzero_si128());
            const __m128i bytes = _mm_xor_si128(low[b], _mm_and_si128(upper[b], bit7));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 16 * b), bytes);
        }
    }

private:
    VECTOR_CODE("ssse3") static __m128i Load(const unsigned char* at)
    {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    }
    VECTOR_CODE("ssse3") static __m128i Table(const unsigned char* at)
    {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(at));
    }

    const TranslationTables& tables_;
};

constexpr std::size_t Ssse3BlocksPerRound = 2;

}  // namespace

VECTOR_CODE("ssse3") INLINE_HELPERS
void Ssse3Loop(const TranslationTables& tables, const unsigned char* from, unsigned char* to, std::size_t count)
{
    BufferLoop<Ssse3Block<Ssse3BlocksPerRound>>(tables, from, to, count);
}

// LRECL 80 is five whole blocks: records go across directly, without the AVX2 kernel's stage.
VECTOR_CODE("ssse3") INLINE_HELPERS
unsigned char* Ssse3RecordLoop(const TranslationTables& tables, const unsigned char* from, std::size_t count,
                               unsigned char* to, RecordCut& cut)
{
    return RecordLoop<Ssse3Block<Ssse3BlocksPerRound>, Ssse3Block<1>>(tables, from, count, to, cut);
}
