#include "support.h"
#include "translation_kernel.h"
#include "translation_table.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <array>
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// What every kernel must match: the 256 entries, one byte per call through the plain loop.
const std::array<unsigned char, 256>& Reference()
{
    static const std::array<unsigned char, 256> table = [] {
        TranslationKernel before = TranslationKernelInUse();
        UseTranslationKernel(TranslationKernel::Plain);
        std::array<unsigned char, 256> t{};
        for (int code = 0; code < 256; ++code) {
            unsigned char in = static_cast<unsigned char>(code);
            TranslateBuffer(&in, &t[static_cast<std::size_t>(code)], 1);
        }
        UseTranslationKernel(before);
        return t;
    }();
    return table;
}


// Reproducible bytes that take every value at every position within a vector over a run.
std::vector<unsigned char> NoiseBytes(std::size_t count, std::uint32_t seed)
{
    std::vector<unsigned char> bytes(count);
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(state >> 24);
    }
    return bytes;
}

constexpr std::size_t Guard = 80;    // bytes watched on either side of the written area
constexpr unsigned char Fence = 0xA5;

// Translates length bytes at the given offsets, apart or in place, and reports the first
// byte that differs from the reference or any byte written outside the area.
::testing::AssertionResult TranslatesLikeTheTable(std::size_t sourceOffset, std::size_t destinationOffset,
                                                  std::size_t length, bool inPlace, std::uint32_t seed)
{
    const auto& reference = Reference();
    const std::vector<unsigned char> input = NoiseBytes(length, seed);
    std::vector<unsigned char> source(Guard + sourceOffset + length + Guard, Fence);
    std::copy(input.begin(), input.end(), source.begin() + static_cast<std::ptrdiff_t>(Guard + sourceOffset));
    std::vector<unsigned char> separate(Guard + destinationOffset + length + Guard, Fence);

    unsigned char* from = source.data() + Guard + sourceOffset;
    std::vector<unsigned char>& written = inPlace ? source : separate;
    std::size_t start = Guard + (inPlace ? sourceOffset : destinationOffset);
    std::vector<unsigned char> expected(written.size(), Fence);
    for (std::size_t i = 0; i < length; ++i) expected[start + i] = reference[input[i]];
    TranslateBuffer(from, written.data() + start, static_cast<std::int32_t>(length));

    if (!inPlace && !std::equal(input.begin(), input.end(), from))
        return ::testing::AssertionFailure() << "the source changed (" << TranslationKernelName(TranslationKernelInUse())
                                             << ", length " << length << ")";
    auto differs = std::mismatch(written.begin(), written.end(), expected.begin());
    if (differs.first == written.end()) return ::testing::AssertionSuccess();
    std::size_t i = static_cast<std::size_t>(differs.first - written.begin());
    bool inside = i >= start && i < start + length;
    return ::testing::AssertionFailure()
           << (inside ? "byte " : "outside the area, byte ") << static_cast<long long>(i) - static_cast<long long>(start)
           << " is " << int(written[i]) << ", not " << int(expected[i]) << " ("
           << TranslationKernelName(TranslationKernelInUse()) << ", source offset " << sourceOffset
           << ", destination offset " << destinationOffset << ", length " << length
           << (inPlace ? ", in place" : ", apart") << ")";
}

class EveryKernel : public ::testing::Test {
protected:
    void TearDown() override { UseTranslationKernel(FastestTranslationKernel()); }
};

// Runs first: nothing may have chosen a kernel yet.
TEST(TranslationKernelChoice, FirstCallTakesTheFastestKernelThisMachineRuns)
{
    unsigned char byte = 0xC1;
    TranslateBuffer(&byte, &byte, 1);
    EXPECT_EQ(byte, 'A');
    EXPECT_EQ(TranslationKernelInUse(), FastestTranslationKernel());
    EXPECT_TRUE(TranslationKernelRuns(TranslationKernelInUse()));
    std::cout << "kernel chosen here: " << TranslationKernelName(TranslationKernelInUse()) << "; runnable:";
    for (TranslationKernel kernel : RunnableKernels()) std::cout << ' ' << TranslationKernelName(kernel);
    std::cout << '\n';
}

// Under Wine the Linux kernel's view of the processor can be read back: the probe must agree
// with it, including registers the system does not save (which Linux leaves out of the flags).
TEST(TranslationKernelChoice, ProbeAgreesWithTheSystemsViewOfTheProcessor)
{
    std::string info = ReadWholeFile("Z:\\proc\\cpuinfo");
    std::size_t at = info.find("\nflags");
    if (at == std::string::npos) GTEST_SKIP() << "no processor flags to compare with here";
    std::istringstream flags(info.substr(info.find(':', at) + 1, info.find('\n', at + 1) - info.find(':', at) - 1));
    std::vector<std::string> names;
    for (std::string name; flags >> name;) names.push_back(name);
    auto has = [&](const char* name) { return std::find(names.begin(), names.end(), name) != names.end(); };
    EXPECT_EQ(TranslationKernelRuns(TranslationKernel::Ssse3), has("ssse3"));
    EXPECT_EQ(TranslationKernelRuns(TranslationKernel::Avx2), has("avx2"));
    EXPECT_EQ(TranslationKernelRuns(TranslationKernel::Avx512Vbmi),
              has("avx2") && has("avx512f") && has("avx512bw") && has("avx512vbmi"));
    EXPECT_TRUE(TranslationKernelRuns(TranslationKernel::Plain));
}

// Each kernel is faster than those before it in the list, so a processor with SSSE3 and
// without AVX2 takes SSSE3, and one without SSSE3 the plain loop.
TEST(TranslationKernelChoice, TheChoiceIsTheLastKernelOfTheListThisMachineRuns)
{
    const std::vector<TranslationKernel> runnable = RunnableKernels();
    ASSERT_FALSE(runnable.empty());
    EXPECT_EQ(runnable.front(), TranslationKernel::Plain);
    EXPECT_EQ(FastestTranslationKernel(), runnable.back());
    const std::vector<TranslationKernel> slowestFirst = {TranslationKernel::Plain, TranslationKernel::Ssse3,
                                                         TranslationKernel::Avx2, TranslationKernel::Avx512Vbmi};
    EXPECT_EQ(std::vector<TranslationKernel>(std::begin(AllTranslationKernels), std::end(AllTranslationKernels)),
              slowestFirst);
}

TEST_F(EveryKernel, SelectionTakesEffect)
{
    for (TranslationKernel kernel : RunnableKernels()) {
        ASSERT_TRUE(UseTranslationKernel(kernel));
        EXPECT_EQ(TranslationKernelInUse(), kernel);
    }
}

TEST_F(EveryKernel, EveryByteValue)
{
    const auto& reference = Reference();
    std::vector<unsigned char> all(4 * 256);
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<unsigned char>(i * 151 + i / 256);
    for (TranslationKernel kernel : RunnableKernels()) {
        UseTranslationKernel(kernel);
        std::vector<unsigned char> out(all.size());
        TranslateBuffer(all.data(), out.data(), static_cast<std::int32_t>(all.size()));
        for (std::size_t i = 0; i < all.size(); ++i)
            ASSERT_EQ(out[i], reference[all[i]]) << TranslationKernelName(kernel) << ", EBCDIC " << int(all[i]);
    }
}

TEST_F(EveryKernel, NothingToDoTouchesNothing)
{
    for (TranslationKernel kernel : RunnableKernels()) {
        UseTranslationKernel(kernel);
        std::vector<unsigned char> source(128, 0xC1), destination(128, 7);
        for (std::int32_t count : {0, -1, -64, INT32_MIN}) TranslateBuffer(source.data(), destination.data(), count);
        EXPECT_EQ(destination, std::vector<unsigned char>(128, 7)) << TranslationKernelName(kernel);
        EXPECT_EQ(source, std::vector<unsigned char>(128, 0xC1)) << TranslationKernelName(kernel);
    }
}

TEST_F(EveryKernel, EveryPairOfAlignmentsForShortRuns)
{
    for (TranslationKernel kernel : RunnableKernels()) {
        UseTranslationKernel(kernel);
        for (std::size_t length = 0; length <= 130; ++length)
            for (std::size_t s = 0; s < 64; ++s)
                for (std::size_t d = 0; d < 64; ++d) {
                    auto seed = static_cast<std::uint32_t>(length * 4096 + s * 64 + d);
                    ASSERT_TRUE(TranslatesLikeTheTable(s, d, length, false, seed));
                }
    }
}

TEST_F(EveryKernel, EveryLengthUpToAFewHundredInPlaceAndApart)
{
    for (TranslationKernel kernel : RunnableKernels()) {
        UseTranslationKernel(kernel);
        for (std::size_t length = 0; length <= 400; ++length)
            for (std::size_t s = 0; s < 64; ++s) {
                std::size_t d = (s * 37 + length) % 64;
                auto seed = static_cast<std::uint32_t>(length * 64 + s);
                ASSERT_TRUE(TranslatesLikeTheTable(s, d, length, false, seed));
                ASSERT_TRUE(TranslatesLikeTheTable(s, 0, length, true, seed));
            }
    }
}

TEST_F(EveryKernel, LargeRuns)
{
    const std::size_t step = 0x200000;
    const std::size_t lengths[] = {65536 + 1, 2 * step + 63};
    for (TranslationKernel kernel : RunnableKernels()) {
        UseTranslationKernel(kernel);
        std::uint32_t seed = 1;
        for (std::size_t length : lengths)
            for (std::size_t offset : {std::size_t{0}, std::size_t{33}}) {
                ASSERT_TRUE(TranslatesLikeTheTable(offset, 63 - offset, length, false, ++seed));
                ASSERT_TRUE(TranslatesLikeTheTable(offset, 0, length, true, ++seed));
            }
    }
}

}  // namespace
