#include "record_corpus.h"
#include "record_guess.h"
#include "support.h"
#include <gtest/gtest.h>
#include <algorithm>

namespace {

std::int32_t GuessOf(const std::string& bytes)
{
    return GuessRecordLength(reinterpret_cast<const unsigned char*>(bytes.data()),
                             std::min(bytes.size(), GuessSampleSize), bytes.size());
}

// Every file of the corpus, made from several seeds: the guess was tuned on the first.
TEST(RecordGuess, NamesTheRecordLengthOfEveryFileWithFixedRecordsAndNoneOfTheOthers)
{
    int right = 0, none = 0, wrong = 0;
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        for (const CorpusFile& file : RecordCorpus(seed)) {
            std::int32_t guessed = GuessOf(file.bytes);
            EXPECT_EQ(guessed, file.recordLength) << file.name << ", seed " << seed << ", " << file.bytes.size() << " bytes";
            if (guessed == file.recordLength) ++right;
            else if (guessed == 0) ++none;
            else ++wrong;
            std::printf("[ guess    ] seed %u, %-40s %8zu bytes: %5d (%s)\n", seed, file.name.c_str(), file.bytes.size(),
                        guessed, guessed == file.recordLength ? "right" : guessed == 0 ? "none" : "WRONG");
        }
    }
    std::printf("[ guess    ] %d right, %d none where a length was due, %d wrong\n", right, none, wrong);
}

}  // namespace
