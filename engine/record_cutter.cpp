#include "record_cutter.h"
#include "translation_kernel.h"
#include "vector_code.h"
#include <immintrin.h>
#include <algorithm>
#include <cstring>

namespace {

struct CutState {
    std::size_t lrecl;
    std::size_t offset;
    std::int64_t records;
};

// Short records are the common case, and a library call per record costs more than the copy
// itself, so whole records go across in blocks. A block may run past the record's end, but
// only while at least a block more of input follows: what comes next in out covers it.
template <typename Block>
char* CutLoop(const char* in, std::size_t n, char* to, CutState& s)
{
    const std::size_t lrecl = s.lrecl;
    while (n > 0) {
        if (s.offset == 0 && n >= lrecl + Block::Size) {
            std::size_t whole = (n - Block::Size) / lrecl;
            for (std::size_t r = 0; r < whole; ++r) {
                for (std::size_t k = 0; k < lrecl; k += Block::Size) Block::Copy(to + k, in + k);
                to[lrecl] = '\r';
                to[lrecl + 1] = '\n';
                to += lrecl + 2;
                in += lrecl;
            }
            n -= whole * lrecl;
            s.records += static_cast<std::int64_t>(whole);
            continue;
        }
        // A record begun in an earlier piece, or one of the last few of this piece.
        std::size_t take = std::min(n, lrecl - s.offset);
        std::memcpy(to, in, take);
        to += take;
        in += take;
        n -= take;
        s.offset += take;
        if (s.offset == lrecl) {
            *to++ = '\r';
            *to++ = '\n';
            s.offset = 0;
            ++s.records;
        }
    }
    return to;
}

struct PlainBlock {
    static constexpr std::size_t Size = 16;
    static void Copy(char* to, const char* from) { std::memcpy(to, from, Size); }
};

struct Avx2Block {
    static constexpr std::size_t Size = 32;
    VECTOR_CODE("avx2") static void Copy(char* to, const char* from)
    {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(to),
                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from)));
    }
};

using CutFunction = char* (*)(const char* in, std::size_t n, char* to, CutState& s);

char* CutPlain(const char* in, std::size_t n, char* to, CutState& s)
{
    return CutLoop<PlainBlock>(in, n, to, s);
}

VECTOR_CODE("avx2") INLINE_HELPERS
char* CutAvx2(const char* in, std::size_t n, char* to, CutState& s)
{
    return CutLoop<Avx2Block>(in, n, to, s);
}

bool Runs(RecordCopy copy)
{
    return copy == RecordCopy::Plain || TranslationKernelRuns(TranslationKernel::Avx2);
}

CutFunction Chosen = nullptr;

CutFunction CutWith()
{
    if (Chosen == nullptr) UseRecordCopy(Runs(RecordCopy::Avx2) ? RecordCopy::Avx2 : RecordCopy::Plain);
    return Chosen;
}

}  // namespace

bool UseRecordCopy(RecordCopy copy)
{
    if (!Runs(copy)) return false;
    Chosen = copy == RecordCopy::Avx2 ? CutAvx2 : CutPlain;
    return true;
}

RecordCutter::RecordCutter(std::int32_t lrecl) : lrecl_(static_cast<std::size_t>(lrecl)) {}

std::size_t RecordCutter::Cut(const char* in, std::size_t n, char* out, bool last)
{
    CutState state{lrecl_, offset_, records_};
    char* to = CutWith()(in, n, out, state);
    if (last && state.offset > 0) {
        *to++ = '\r';
        *to++ = '\n';
        state.offset = 0;
        ++state.records;
    }
    offset_ = state.offset;
    records_ = state.records;
    return static_cast<std::size_t>(to - out);
}
