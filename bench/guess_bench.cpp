// How long the record-length guess takes on files of every kind the guess meets, each beside
// reading the same bytes (the sample it reads, through the same channels) in back-to-back
// pairs. The files are written to the current folder and removed again.
// Usage: guess_bench [PAIRS]
#include "bench_clock.h"
#include "file_channels.h"
#include "record_corpus.h"
#include "record_guess.h"
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// What the guess reads, read alone.
void ReadSample(const std::string& name)
{
    ErrorCell error;
    FileNumber number = NextFreeFileNumber();
    OpenChannel(name, number, OpenBinarySharedInput, 128, error);
    std::uint64_t size = ChannelLength(number, error);
    std::string sample(static_cast<std::size_t>(std::min<std::uint64_t>(size, GuessSampleSize)), '\0');
    if (!sample.empty()) ReadInto(number, static_cast<std::int32_t>(sample.size()), &sample[0], error);
    CloseChannel(number, error);
}

bool Write(const std::string& name, const std::string& bytes, std::uint64_t size)
{
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool done = bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    // A file far larger than the sample: only its size counts beyond the sample, so the
    // rest is left to the file system as a hole.
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    done = done && SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return done;
}

}  // namespace

int main(int argc, char** argv)
{
    int pairs = argc > 1 ? std::atoi(argv[1]) : 7;
    if (pairs < 1) pairs = 7;
    struct Input {
        std::string name;
        std::string bytes;
        std::uint64_t size;
    };
    std::vector<Input> inputs;
    // The worst case for a guess that scores every length: a gigabyte of card images.
    std::string cards = CardImages(GuessSampleSize / 80 + 1, 9);
    inputs.push_back({"card images, 1 GiB", cards, 1073741760u});
    std::string periodic(GuessSampleSize, '\0');
    for (std::size_t i = 0; i < periodic.size(); ++i) periodic[i] = static_cast<char>(i % 2 ? 0xC1 : 0xF0);
    inputs.push_back({"two bytes over and over, 2 MiB", periodic, periodic.size()});
    inputs.push_back({"blanks only, 2 MiB", std::string(GuessSampleSize, '\x40'), GuessSampleSize});
    for (unsigned seed : {1u, 2u})
        for (CorpusFile& file : RecordCorpus(seed))
            inputs.push_back({file.name + ", seed " + std::to_string(seed), std::move(file.bytes), 0});

    std::printf("The record-length guess: each file's guess beside reading its sample (at most %u MiB),\n"
                "medians of %d back-to-back pairs.\n",
                static_cast<unsigned>(GuessSampleSize >> 20), pairs);
    std::printf("  %-46s %10s %7s %8s %8s %8s\n", "file", "bytes", "length", "read ms", "guess ms", "slowest");
    double slowest = 0, slowestRatio = 0;
    std::string slowestName;
    for (Input& input : inputs) {
        std::uint64_t size = input.size != 0 ? input.size : input.bytes.size();
        const std::string file = "guess-bench.ebc";
        if (!Write(file, input.bytes, size)) {
            std::fprintf(stderr, "guess_bench: cannot write %s\n", file.c_str());
            return 1;
        }
        std::vector<double> reads, guesses;
        std::int32_t length = 0;
        for (int pair = 0; pair < pairs; ++pair) {
            double start = Now();
            ReadSample(file);
            double read = Now();
            length = GuessRecordLength(file);
            double guessed = Now();
            reads.push_back(read - start);
            guesses.push_back(guessed - read);
        }
        DeleteFileA(file.c_str());
        double most = *std::max_element(guesses.begin(), guesses.end());
        std::printf("  %-46s %10llu %7d %8.2f %8.2f %8.2f\n", input.name.c_str(), static_cast<unsigned long long>(size),
                    static_cast<int>(length), Median(reads) * 1000, Median(guesses) * 1000, most * 1000);
        if (Median(guesses) > slowest) {
            slowest = Median(guesses);
            slowestRatio = Median(guesses) / std::max(Median(reads), 1e-6);
            slowestName = input.name;
        }
    }
    bool met = slowest <= 0.1;
    std::printf("Slowest guess: %.1f ms (%s), %.1f times the reading of its sample; goal <= 100 ms: %s\n",
                slowest * 1000, slowestName.c_str(), slowestRatio, met ? "met" : "NOT met");
    return met ? 0 : 1;
}
