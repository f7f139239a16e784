#include "convert_file.h"
#include "support.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

namespace {

constexpr std::uint32_t Seed = 20240611;

// The job's output by the one-record-at-a-time algorithm: each record of the translated
// input, then CR LF; lrecl 0 for the plain form.
std::string Expected(const std::string& input, std::size_t lrecl)
{
    std::string translated = Translated(input);
    if (lrecl == 0) return translated;
    std::string out;
    out.reserve(translated.size() + 2 * (translated.size() / lrecl + 1));
    for (std::size_t at = 0; at < translated.size(); at += lrecl) {
        out.append(translated, at, lrecl);
        out += "\r\n";
    }
    return out;
}

// Draws on the generator's raw output only, so that every standard library draws the same.
class Draw {
public:
    explicit Draw(std::uint32_t seed) : engine_(seed) {}
    std::size_t Below(std::size_t n) { return static_cast<std::size_t>(engine_() % n); }
    std::string BytesOf(std::size_t count)
    {
        std::string bytes(count, '\0');
        for (char& b : bytes) b = static_cast<char>(engine_() >> 24);
        return bytes;
    }

private:
    std::mt19937 engine_;
};

TEST(ConvertRandom, OutputMatchesOneRecordAtATime)
{
    ErrorCaption = "EBCDIC-ASCII Error";
    ScratchFolder folder;
    MessageCapture capture;
    const std::string in = folder / "input.ebc", out = folder / "output.txt";
    const std::size_t step = ConvertStepSize;
    Draw draw(Seed);

    for (int trial = 0; trial < 16; ++trial) {
        // Lengths near a step boundary, within a few bytes or a few records of it.
        std::size_t boundary = step * draw.Below(3);
        std::size_t reach = draw.Below(2) ? 80 : 300000;
        std::size_t length = boundary + draw.Below(2 * reach + 1);
        length = length > reach ? length - reach : draw.Below(reach);
        // Record lengths of one to six digits, each number of digits as likely.
        std::size_t digits = 1 + draw.Below(6), low = 1;
        for (std::size_t k = 1; k < digits; ++k) low *= 10;
        std::size_t lrecl = trial % 4 == 0 ? 0 : low + draw.Below(9 * low);

        const std::string input = draw.BytesOf(length);
        WriteWholeFile(in, input);
        WriteWholeFile(out, std::string(draw.Below(2 * step), 'x'));
        std::int64_t result = ConvertFile(nullptr, in, out, lrecl ? -1 : 0, static_cast<std::int32_t>(lrecl));

        std::string where = "seed " + std::to_string(Seed) + ", trial " + std::to_string(trial) + ": " +
                            std::to_string(length) + " bytes, LRECL " + std::to_string(lrecl);
        std::int64_t expectedResult =
            static_cast<std::int64_t>(lrecl ? (length + lrecl - 1) / lrecl : length);
        EXPECT_EQ(result, expectedResult) << where;
        std::string output = ReadWholeFile(out);
        const std::string expected = Expected(input, lrecl);
        ASSERT_EQ(output.size(), expected.size()) << where;
        std::size_t first = static_cast<std::size_t>(std::mismatch(output.begin(), output.end(), expected.begin()).first -
                                                     output.begin());
        ASSERT_EQ(first, output.size()) << where << ": first difference at output byte " << first;
    }
    EXPECT_TRUE(capture.Shown().empty());
}

}  // namespace
