#include "record_cutter.h"
#include "support.h"
#include "translation_kernel.h"
#include <windows.h>
#include <gtest/gtest.h>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t Seed = 20261209;
constexpr char Untouched = 0x5A;

// Room that ends where an inaccessible page begins, so that touching one byte beyond the
// length stops the test with an access violation.
class FencedBytes {
public:
    explicit FencedBytes(std::size_t length)
    {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        const std::size_t page = info.dwPageSize;
        const std::size_t usable = (length + page - 1) / page * page;
        base_ = static_cast<char*>(VirtualAlloc(nullptr, usable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD before = 0;
        if (base_ != nullptr) VirtualProtect(base_ + usable, page, PAGE_NOACCESS, &before);
        data_ = base_ == nullptr ? nullptr : base_ + usable - length;
    }
    ~FencedBytes()
    {
        if (base_ != nullptr) VirtualFree(base_, 0, MEM_RELEASE);
    }
    FencedBytes(const FencedBytes&) = delete;
    FencedBytes& operator=(const FencedBytes&) = delete;
    char* Data() const { return data_; }

private:
    char* base_ = nullptr;
    char* data_ = nullptr;
};

// Each record of the stream translated alone, then CR LF.
std::string OneRecordAtATime(const std::string& stream, std::size_t lrecl)
{
    std::string out;
    for (std::size_t at = 0; at < stream.size(); at += lrecl)
        out.append(Translated(stream.substr(at, lrecl))).append("\r\n");
    return out;
}


// A stream fed in pieces of random sizes, each piece alone in fenced input and output
// room of exactly the promised size: the pieces' outputs joined are the records, no kernel
// reads past its input, and nothing is written past the length a piece returns. A second
// cutter takes the same pieces in one buffer, each behind the room it asks for, as the job
// does: its output must never overrun input it has still to read.
TEST(RecordCutter, PiecesMakeTheRecordsWithinTheirRoom)
{
    const TranslationKernel before = TranslationKernelInUse();
    std::mt19937 engine(Seed);
    auto below = [&engine](std::size_t n) { return static_cast<std::size_t>(engine() % n); };
    const std::size_t lrecls[] = {1, 2, 3, 15, 16, 17, 31, 32, 33, 47, 48, 49, 63, 64, 65,
                                  80, 81, 133, 1024, 1025, 4096, 70000};

    for (TranslationKernel kernel : RunnableKernels()) {
        ASSERT_TRUE(UseTranslationKernel(kernel));
        for (std::size_t lrecl : lrecls) {
            // Long enough for pieces of many records: a kernel may take records in batches.
            std::string stream(3 * lrecl + 200 + below(500) + (lrecl <= 1025 ? 40000 : 0), '\0');
            for (char& b : stream) b = static_cast<char>(engine() >> 24);
            RecordCutter cutter(static_cast<std::int32_t>(lrecl)), inPlace(static_cast<std::int32_t>(lrecl));
            std::string joined, joinedInPlace;
            std::size_t at = 0;
            while (at < stream.size()) {
                std::size_t n = std::min(stream.size() - at, below(2)   ? below(40)
                                                             : below(3) ? below(3 * lrecl + 100)
                                                                        : below(20000));
                bool last = at + n == stream.size();
                const std::size_t room = cutter.OutputSize(n);
                FencedBytes in(n), out(room);
                ASSERT_NE(in.Data(), nullptr);
                ASSERT_NE(out.Data(), nullptr);
                std::memcpy(in.Data(), stream.data() + at, n);
                std::memset(out.Data(), Untouched, room);
                const std::size_t length = cutter.Cut(in.Data(), n, out.Data(), last);
                ASSERT_LE(length, room);
                ASSERT_EQ(std::string(out.Data() + length, room - length).find_first_not_of(Untouched),
                          std::string::npos) << "written past the output's length";
                joined.append(out.Data(), length);

                const std::size_t lead = inPlace.Lead(n);
                FencedBytes shared(lead + n);
                ASSERT_NE(shared.Data(), nullptr);
                std::memcpy(shared.Data() + lead, stream.data() + at, n);
                joinedInPlace.append(shared.Data(), inPlace.Cut(shared.Data() + lead, n, shared.Data(), last));
                at += n;
            }
            const std::string where = "seed " + std::to_string(Seed) + ", kernel " +
                                      TranslationKernelName(kernel) + ", LRECL " + std::to_string(lrecl);
            EXPECT_EQ(joined, OneRecordAtATime(stream, lrecl)) << where;
            EXPECT_EQ(joinedInPlace, joined) << where << ", in place";
            EXPECT_EQ(cutter.Records(), static_cast<std::int64_t>((stream.size() + lrecl - 1) / lrecl)) << where;
        }
    }
    UseTranslationKernel(before);
}

TEST(RecordCutter, LastPieceClosesOnlyAPartialRecord)
{
    // EBCDIC letters a to h are 81 to 88 hex.
    for (TranslationKernel kernel : RunnableKernels()) {
        ASSERT_TRUE(UseTranslationKernel(kernel));
        RecordCutter exact(4);
        char out[32];
        EXPECT_EQ(std::string(out, exact.Cut("\x81\x82\x83\x84\x85\x86\x87\x88", 8, out, true)),
                  "abcd\r\nefgh\r\n");
        EXPECT_EQ(exact.Records(), 2);

        RecordCutter partial(4);
        std::size_t n = partial.Cut("\x81\x82\x83\x84\x85\x86", 6, out, false);
        EXPECT_EQ(std::string(out, n), "abcd\r\nef");
        EXPECT_EQ(std::string(out, partial.Cut("", 0, out, true)), "\r\n");
        EXPECT_EQ(partial.Records(), 2);

        RecordCutter empty(4);
        EXPECT_EQ(empty.Cut("", 0, out, true), 0u);
        EXPECT_EQ(empty.Records(), 0);
    }
}

}  // namespace
