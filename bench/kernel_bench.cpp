// Each translation kernel alone, in memory, without files: 512 MiB of random bytes through one
// 2 MiB buffer, translated in place as a job translates each step, and the same bytes cut
// into records of 80. The AVX2 kernel is measured side by side with the AVX2 block it
// replaced (all sixteen shuffles xored in one chain, one 32-byte block at a time, built with
// the compiler's usual optimisation), kept here as the peer; the SSSE3 kernel side by side
// with the plain loop, which processors without SSSE3 take instead.
// Usage: kernel_bench [ROUNDS [LRECL]]
#include "bench_clock.h"
#include "translation_kernel.h"
#include "translation_table.h"
#include "vector_code.h"
#include <immintrin.h>
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr std::size_t Step = 2 * 1024 * 1024;
constexpr std::size_t Steps = 256;  // 512 MiB
std::size_t Lrecl = 80;

class ChainedAvx2Block {
public:
    static constexpr std::size_t Size = 32;
    VECTOR_CODE("avx2") explicit ChainedAvx2Block(const unsigned char (&rowSteps)[16][32])
    {
        for (int row = 0; row < 16; ++row)
            steps_[row] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rowSteps[row]));
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

struct ChainedTables {
    unsigned char rowSteps[16][32];
};

VECTOR_CODE("avx2") INLINE_HELPERS
void ChainedAvx2Loop(const ChainedTables& tables, const unsigned char* entries, unsigned char* bytes,
                     std::size_t count)
{
    const ChainedAvx2Block block(tables.rowSteps);
    std::size_t i = 0;
    for (; i + ChainedAvx2Block::Size <= count; i += ChainedAvx2Block::Size) block.Translate(bytes + i, bytes + i);
    for (; i < count; ++i) bytes[i] = entries[bytes[i]];
}

// The median of ratios and their spread, as "1.23 (pairs 1.20 to 1.30)".
void PrintRatio(const std::vector<double>& ratios)
{
    std::printf("%.2f (pairs %.2f to %.2f)", Median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
}

struct Bench {
    TranslationTables tables;
    ChainedTables chained;
    std::vector<unsigned char> buffer = std::vector<unsigned char>(Step);
    std::vector<unsigned char> records = std::vector<unsigned char>(Step + Step / Lrecl * 2 + 2);

    Bench()
    {
        for (int code = 0; code < 256; ++code) {
            unsigned char in = static_cast<unsigned char>(code);
            TranslateBuffer(&in, &tables.entries[code], 1);
        }
        DeriveTranslationTables(tables);
        const unsigned char* e = tables.entries;
        for (int row = 0; row < 16; ++row)
            for (int column = 0; column < 32; ++column) {
                int low = column & 15;
                bool last = row == 7 || row == 15;
                chained.rowSteps[row][column] =
                    static_cast<unsigned char>(last ? e[row * 16 + low] : e[row * 16 + low] ^ e[(row + 1) * 16 + low]);
            }
        unsigned state = 12345;
        for (auto& b : buffer) {
            state = state * 1664525u + 1013904223u;
            b = static_cast<unsigned char>(state >> 24);
        }
    }

    double Plain(TranslationKernel kernel)
    {
        TranslationLoop loop = TranslationLoopOf(kernel);
        double start = Now();
        for (std::size_t s = 0; s < Steps; ++s) loop(tables, buffer.data(), buffer.data(), Step);
        return Now() - start;
    }

    double Chained()
    {
        double start = Now();
        for (std::size_t s = 0; s < Steps; ++s) ChainedAvx2Loop(chained, tables.entries, buffer.data(), Step);
        return Now() - start;
    }

    double Records(TranslationKernel kernel)
    {
        RecordTranslationLoop loop = RecordTranslationLoopOf(kernel);
        RecordCut cut{Lrecl, 0, 0};
        double start = Now();
        for (std::size_t s = 0; s < Steps; ++s) loop(tables, buffer.data(), Step, records.data(), cut);
        double seconds = Now() - start;
        if (cut.records != static_cast<std::int64_t>(Steps * Step / Lrecl)) std::abort();
        return seconds;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
    if (rounds < 1) rounds = 1;
    if (argc > 2 && std::atoi(argv[2]) > 0) Lrecl = static_cast<std::size_t>(std::atoi(argv[2]));
    static Bench bench;
    std::printf("Each kernel alone on 512 MiB in memory (2 MiB steps); medians of %d rounds.\n", rounds);
    char recordsHeading[32], ratio[32];
    std::snprintf(recordsHeading, sizeof recordsHeading, "LRECL %u", static_cast<unsigned>(Lrecl));
    std::snprintf(ratio, sizeof ratio, "LRECL %u / plain", static_cast<unsigned>(Lrecl));
    std::printf("%-12s %12s %14s %18s\n", "kernel", "plain", recordsHeading, ratio);
    for (TranslationKernel kernel : AllTranslationKernels) {
        if (!TranslationKernelRuns(kernel)) continue;
        std::vector<double> plain, records, ratios;
        for (int r = 0; r < rounds; ++r) {
            plain.push_back(bench.Plain(kernel));
            records.push_back(bench.Records(kernel));
            ratios.push_back(records.back() / plain.back());
        }
        std::printf("%-12s %10.4f s %12.4f s %18.2f\n", TranslationKernelName(kernel), Median(plain), Median(records),
                    Median(ratios));
    }
    if (TranslationKernelRuns(TranslationKernel::Avx2)) {
        std::vector<double> before, now, ratios;
        for (int r = 0; r < rounds; ++r) {
            before.push_back(bench.Chained());
            now.push_back(bench.Plain(TranslationKernel::Avx2));
            ratios.push_back(before.back() / now.back());
        }
        std::printf("AVX2 block before (one chain, one block a round) %.4f s, now %.4f s: %.2f times as fast"
                    " (goal >= 2; pairs %.2f to %.2f)\n",
                    Median(before), Median(now), Median(ratios), *std::min_element(ratios.begin(), ratios.end()),
                    *std::max_element(ratios.begin(), ratios.end()));
    }
    if (TranslationKernelRuns(TranslationKernel::Ssse3)) {
        std::vector<double> plainForm, recordForm;
        for (int r = 0; r < rounds; ++r) {
            plainForm.push_back(bench.Plain(TranslationKernel::Plain) / bench.Plain(TranslationKernel::Ssse3));
            recordForm.push_back(bench.Records(TranslationKernel::Plain) / bench.Records(TranslationKernel::Ssse3));
        }
        std::printf("SSSE3 kernel against the plain loop, times as fast (goal >= 2.5): plain ");
        PrintRatio(plainForm);
        std::printf(", %s ", recordsHeading);
        PrintRatio(recordForm);
        std::printf("\n");
    }
    return 0;
}
