#include "record_guess.h"
#include "file_channels.h"
#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <new>
#include <vector>

namespace {

constexpr std::size_t MinimumRecords = 10;
// Fewer bytes than this show too little to tell records from a table repeated within one.
constexpr std::size_t MinimumSample = 768;
constexpr int Classes = 8;
// The most rows a length is measured on.
constexpr std::size_t MostRows = 2048;

// What a byte is in EBCDIC text and data: blank, low-value, digit, capital, small letter,
// punctuation, control or binary, and the rest of the high half.
std::array<std::uint8_t, 256> MakeClasses()
{
    std::array<std::uint8_t, 256> classes{};
    for (int b = 0; b < 256; ++b) {
        bool letterRow = (b & 0x0F) >= 1 && (b & 0x0F) <= 9;
        int high = b >> 4;
        std::uint8_t c = 7;
        if (b == 0x40) c = 0;
        else if (b == 0x00) c = 1;
        else if (b >= 0xF0 && b <= 0xF9) c = 2;
        else if ((high == 0xC || high == 0xD || (high == 0xE && b >= 0xE2)) && letterRow) c = 3;
        else if ((high == 0x8 || high == 0x9 || (high == 0xA && b >= 0xA2)) && letterRow) c = 4;
        else if (b > 0x40 && b < 0x80) c = 5;
        else if (b < 0x40) c = 6;
        classes[static_cast<std::size_t>(b)] = c;
    }
    return classes;
}

const std::array<std::uint8_t, 256> ClassOf = MakeClasses();

// How well records of one length fit the sample.
struct Fit {
    bool measured = false;  // false: too few records to name the length, if enough to compare
    double columns = 0;     // how much a byte's column tells of its class, 0 to 1
    double equal = 0;       // how much more often than by chance a byte recurs one record on
    // Whether each is far beyond what chance gives in a file without records. Chance alone
    // gives a few hundredths with few rows, and the neighbours' are compared as they come.
    bool columnsClear = false;
    bool equalClear = false;
    double equalError = 0;  // the standard error of equal
};

class Guess {
public:
    Guess(const unsigned char* bytes, std::size_t size, std::uint64_t fileSize)
        : bytes_(bytes), size_(size), fileSize_(fileSize)
    {
        // The chance that two run starts hold the same byte, had the file no structure.
        std::array<std::size_t, 256> starts{};
        std::size_t total = 0;
        for (std::size_t i = 1; i < size_; ++i)
            if (bytes_[i] != bytes_[i - 1]) {
                ++starts[bytes_[i]];
                ++total;
            }
        for (std::size_t count : starts) {
            double p = total != 0 ? static_cast<double>(count) / static_cast<double>(total) : 0;
            collision_ += p * p;
        }
    }

    std::int32_t Length()
    {
        std::vector<std::int32_t> candidates = Candidates();
        struct Accepted {
            std::int32_t length;
            double strength;
        };
        std::vector<Accepted> accepted;
        for (std::int32_t length : candidates) {
            double strength = Strength(length);
            if (strength > 0) accepted.push_back({length, strength});
        }
        if (accepted.empty()) return 0;
        // A record of L bytes fits 2L as well as L; half of it fits too, but worse. Each length
        // that fits comes down to the smallest of its divisors that shows as much.
        std::vector<Accepted> roots;
        for (const Accepted& one : accepted) {
            Accepted root = one;
            for (std::int32_t d = ShortestGuess; d < one.length; ++d)
                if (one.length % d == 0 && Explains(d, one.length)) {
                    root = {d, Strength(d)};
                    break;
                }
            // A divisor that shows all of it, but not clearly enough to be named: none.
            if (root.strength > 0) roots.push_back(root);
        }
        // A root that a multiple of it fits clearly better is part of a record, not one: of two
        // roots one of which divides the other, the larger; and none where the file is too
        // short to name the multiple.
        std::vector<Accepted> records;
        for (const Accepted& root : roots) {
            bool part = std::any_of(roots.begin(), roots.end(), [&](const Accepted& other) {
                return other.length > root.length && other.length % root.length == 0;
            });
            for (std::int32_t k = 2; k <= 8 && !part && k * root.length <= LongestGuess; ++k)
                part = !Explains(root.length, k * root.length);
            if (!part) records.push_back(root);
        }
        if (records.empty()) return 0;
        Accepted best = *std::max_element(records.begin(), records.end(), [](const Accepted& a, const Accepted& b) {
            return a.strength < b.strength || (a.strength == b.strength && a.length > b.length);
        });
        // Two lengths that fit alike and are no multiples of each other: the file tells neither.
        for (const Accepted& other : records)
            if (other.length != best.length && other.strength >= 0.9 * best.strength) return 0;
        return HasLineEnds(best.length) ? 0 : best.length;
    }

private:
    // Lengths worth measuring: those at which the same landmark recurs (the end of a run of
    // blanks or zeros, a byte rare in the file), and those the file's size is a multiple of.
    // Measuring every length from 2 to 32760 would take seconds.
    std::vector<std::int32_t> Candidates() const
    {
        std::vector<std::uint32_t> recurs(static_cast<std::size_t>(LongestGuess) + 1);
        std::array<std::size_t, 256> frequency{};
        for (std::size_t i = 0; i < size_; ++i) ++frequency[bytes_[i]];
        std::array<bool, 256> rare{};
        for (int b = 0; b < 256; ++b)
            rare[static_cast<std::size_t>(b)] = frequency[static_cast<std::size_t>(b)] >= MinimumRecords &&
                                                frequency[static_cast<std::size_t>(b)] * 512 <= size_;
        // The last few places of each landmark; a landmark's distance to each of them counts.
        // A run's end is keyed by its byte and its length, so that the long filler that ends
        // each record recurs as one landmark even in records far longer than the kept places.
        constexpr std::size_t Kept = 8, LongRun = 63, RareKeys = 256 * (LongRun + 1);
        std::vector<std::array<std::size_t, Kept>> last(RareKeys + 256);
        std::vector<std::size_t> seen(last.size());
        auto landmark = [&](std::size_t key, std::size_t at) {
            std::size_t n = std::min(seen[key], Kept);
            for (std::size_t k = 0; k < n; ++k) {
                std::size_t distance = at - last[key][k];
                if (distance <= static_cast<std::size_t>(LongestGuess)) ++recurs[distance];
            }
            last[key][seen[key]++ % Kept] = at;
        };
        std::size_t run = 1;
        for (std::size_t i = 1; i < size_; ++i) {
            if (bytes_[i] == bytes_[i - 1]) {
                ++run;
            } else {
                if (run >= 2) landmark(static_cast<std::size_t>(bytes_[i - 1]) * (LongRun + 1) + std::min(run, LongRun), i);
                run = 1;
            }
            if (rare[bytes_[i]]) landmark(RareKeys + bytes_[i], i);
        }

        // A length is as likely as its multiples' recurrences say; a long one recurs less often
        // in the same bytes, so the lengths are ranked both ways.
        std::vector<std::pair<std::uint64_t, std::int32_t>> ranked, perRecord;
        for (std::int32_t length = ShortestGuess; length <= LongestGuess; ++length) {
            if (recurs[static_cast<std::size_t>(length)] < 2 || !EnoughRecords(length)) continue;
            std::uint64_t comb = 0;
            for (std::int32_t j = 1; j <= 8 && j * length <= LongestGuess; ++j)
                comb += recurs[static_cast<std::size_t>(j * length)];
            ranked.push_back({comb, length});
            perRecord.push_back({comb * static_cast<std::uint64_t>(length), length});
        }
        std::vector<std::int32_t> candidates;
        for (auto* list : {&ranked, &perRecord}) {
            std::size_t top = std::min<std::size_t>(list->size(), 16);
            std::partial_sort(list->begin(), list->begin() + static_cast<std::ptrdiff_t>(top), list->end(),
                              [](const auto& a, const auto& b) { return a.first > b.first || (a.first == b.first && a.second < b.second); });
            for (std::size_t k = 0; k < top; ++k) candidates.push_back((*list)[k].second);
        }
        // A binary transfer of fixed records is a whole number of them long, but for a short last one.
        for (std::int32_t length = ShortestGuess; length <= LongestGuess && candidates.size() < 64; ++length)
            if (fileSize_ % static_cast<std::uint64_t>(length) == 0 && EnoughRecords(length)) candidates.push_back(length);
        std::sort(candidates.begin(), candidates.end());
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
        return candidates;
    }

    // Text whose lines end in NL, LF or CR LF can fit a length by its words alone; its line
    // ends, frequent and spread evenly over the columns, show it has lines.
    bool HasLineEnds(std::int32_t length) const
    {
        auto l = static_cast<std::size_t>(length);
        for (int end : {0x15, 0x25, 0x0A}) {
            std::vector<std::size_t> columns(l);
            std::size_t count = 0;
            for (std::size_t i = 0; i < size_; ++i)
                if (bytes_[i] == end) {
                    ++count;
                    ++columns[i % l];
                }
            // Binary fields hold these bytes too, but in their own few columns.
            if (count >= MinimumRecords && count * 160 >= size_ &&
                *std::max_element(columns.begin(), columns.end()) <= 3 * count / l + 3)
                return true;
        }
        return false;
    }

    bool EnoughRecords(std::int32_t length) const
    {
        auto l = static_cast<std::uint64_t>(length);
        return size_ >= MinimumSample && fileSize_ / l >= MinimumRecords && size_ / l >= MinimumRecords;
    }

    // Whether records of length bytes show every structure that records of its multiple do,
    // about as strongly.
    bool Explains(std::int32_t length, std::int32_t multiple)
    {
        // Which records pair up at one distance is chance, and a few repeated lines make one
        // distance look better: a record's matches are those of its multiples on average.
        std::int32_t times = multiple / length;
        double equal = 0;
        int measured = 0;
        for (std::int32_t k = 1; k < times && k <= 8; ++k, ++measured) equal += Measure(k * length).equal;
        // Within three standard errors of each other, two shares are alike; but a multiple
        // measured on a few rows only is not thereby like anything.
        double otherEqual = Measure(multiple).equal;
        equal = equal / measured +
                std::min(3 * std::hypot(Measure(length).equalError, Measure(multiple).equalError), 0.2 * std::max(otherEqual, 0.0));
        if (equal < 0.8 * otherEqual - 0.01) return false;
        // What a length shows beyond its neighbours is at most what it shows.
        double otherColumns = ColumnsBeyondNeighbours(multiple);
        if (Measure(length).columns < 0.9 * otherColumns - 0.01) return false;
        double columns = ColumnsBeyondNeighbours(length);
        if (columns < 0.9 * otherColumns - 0.01) return false;
        // A little short on both counts is short too.
        auto share = [](double part, double whole) { return (std::max(part, 0.0) + 0.01) / (std::max(whole, 0.0) + 0.01); };
        return std::min(1.0, share(columns, otherColumns)) * std::min(1.0, share(equal, otherEqual)) >= 0.8;
    }

    // Column structure with few rows looks stronger than it is, and neighbours show how much:
    // what a length shows beyond them compares with what a length with more rows shows.
    double ColumnsBeyondNeighbours(std::int32_t length)
    {
        double neighbours = Measure(length + 1).columns;
        if (length > ShortestGuess) neighbours = std::max(neighbours, Measure(length - 1).columns);
        return Measure(length).columns - neighbours;
    }

    // 0 when length does not clearly fit: it must fit far better than its neighbours L - 1
    // and L + 1, which would fit almost as well if the structure were not the records'.
    double Strength(std::int32_t length)
    {
        const Fit& fit = Measure(length);
        bool columns = fit.columnsClear && fit.columns >= 0.05, equal = fit.equalClear && fit.equal >= 0.08;
        if (!fit.measured || (!columns && !equal)) return 0;
        const Fit& after = Measure(length + 1);
        // No record is one byte long: a single column tells nothing.
        const Fit& before = length > ShortestGuess ? Measure(length - 1) : after;
        // What the length shows beyond its neighbours, as a share of what they leave to show.
        auto gain = [](double value, double neighbour) { return (value - neighbour) / (1 - std::min(neighbour, 0.99)); };
        double columnsNeighbour = std::max(before.columns, after.columns);
        double equalNeighbour = std::max(before.equal, after.equal);
        double strength = 0;
        if (columns && gain(fit.columns, columnsNeighbour) >= 0.1 &&
            fit.columns - columnsNeighbour >= 0.03)
            strength = fit.columns;
        if (equal && gain(fit.equal, equalNeighbour) >= 0.05 &&
            fit.equal - equalNeighbour >= std::max(fit.equal / 4, 3 * fit.equalError))
            strength = std::max(strength, fit.equal);
        return strength;
    }

    const Fit& Measure(std::int32_t length)
    {
        auto found = fits_.find(length);
        if (found != fits_.end()) return found->second;
        Fit& fit = fits_[length];
        if (length < ShortestGuess || length > LongestGuess + 1) return fit;
        auto l = static_cast<std::size_t>(length);
        // Enough rows to tell, and no more: a short record needs many, a long one few.
        std::size_t budget = std::max<std::size_t>(32 * l, std::min<std::size_t>(2048 * l, 64u << 10));
        std::size_t rows = std::min({size_ / l, budget / l, MostRows});
        if (rows < 3) return fit;
        fit.measured = rows >= MinimumRecords;

        // With fewer rows than 32 a column's share of chance structure is too large to tell.
        std::size_t columnRows = std::min(rows, (256u << 10) / l);
        if (columnRows >= 16) fit.columns = ColumnStructure(l, columnRows, fit.columnsClear);
        fit.columnsClear = fit.columnsClear && columnRows >= 32;
        // Row by row, so that the spread of the rows' shares tells how far chance moves the whole.
        std::size_t starts = 0, equal = 0, pairs = 0;
        double shares = 0, squares = 0;
        for (std::size_t r = 0; r + 1 < rows; ++r) {
            std::size_t rowStarts = 0, rowEqual = 0;
            for (std::size_t i = std::max<std::size_t>(1, r * l); i < (r + 1) * l; ++i) {
                if (bytes_[i] == bytes_[i - 1]) continue;  // a run matches itself at any distance
                ++rowStarts;
                rowEqual += bytes_[i] == bytes_[i + l];
            }
            starts += rowStarts;
            equal += rowEqual;
            if (rowStarts == 0) continue;
            double share = static_cast<double>(rowEqual) / static_cast<double>(rowStarts);
            shares += share;
            squares += share * share;
            ++pairs;
        }
        if (pairs >= 2 && collision_ < 1) {
            double mean = shares / static_cast<double>(pairs);
            double variance = std::max(0.0, squares / static_cast<double>(pairs) - mean * mean);
            fit.equalError = std::sqrt(variance / static_cast<double>(pairs)) / (1 - collision_);
        }
        // Only a surplus of matches far beyond what chance gives counts (six standard deviations).
        double expected = static_cast<double>(starts) * collision_;
        fit.equalClear = starts >= 64 && static_cast<double>(equal) - expected >= 6 * std::sqrt(expected) + 4;
        if (starts != 0 && collision_ < 1)
            fit.equal = (static_cast<double>(equal) / static_cast<double>(starts) - collision_) / (1 - collision_);
        return fit;
    }

    // The share of a byte's class that its column tells: mutual information of column and
    // class over the class's entropy, less the bias of so many cells (Miller and Madow).
    double ColumnStructure(std::size_t length, std::size_t rows, bool& clear) const
    {
        static const std::vector<double> xLogX = [] {
            std::vector<double> table(MostRows + 1);
            for (std::size_t x = 1; x <= MostRows; ++x) table[x] = static_cast<double>(x) * std::log(static_cast<double>(x));
            return table;
        }();
        std::vector<std::uint16_t> cells(length * Classes);
        const unsigned char* row = bytes_;
        for (std::size_t r = 0; r < rows; ++r, row += length)
            for (std::size_t c = 0; c < length; ++c) ++cells[c * Classes + ClassOf[row[c]]];
        // n I = sum of cell log cell - n log rows - sum of class log class + n log n.
        std::array<std::uint64_t, Classes> byClass{};
        double cellTerms = 0;
        std::size_t cellsSeen = 0;
        for (std::size_t c = 0; c < length; ++c)
            for (std::size_t k = 0; k < static_cast<std::size_t>(Classes); ++k) {
                std::uint16_t count = cells[c * Classes + k];
                if (count == 0) continue;
                byClass[k] += count;
                ++cellsSeen;
                cellTerms += xLogX[count];
            }
        const double n = static_cast<double>(rows * length);
        double entropy = 0, classTerms = 0;
        std::size_t classesSeen = 0;
        for (std::uint64_t count : byClass) {
            if (count == 0) continue;
            ++classesSeen;
            double c = static_cast<double>(count);
            classTerms += c * std::log(c);
            entropy -= c / n * std::log(c / n);
        }
        if (entropy <= 0) return 0;
        double information = (cellTerms - classTerms) / n - std::log(static_cast<double>(rows)) + std::log(n);
        // Columns that each hold one class leave fewer cells than length + classes - 1.
        double bias = std::max(0.0, static_cast<double>(cellsSeen) - static_cast<double>(length + classesSeen - 1)) / (2 * n);
        // Without column structure, 2n times the information is chi-square distributed with
        // this many degrees of freedom: only far beyond its spread does the structure count.
        double freedom = static_cast<double>((length - 1) * (classesSeen - 1));
        clear = 2 * n * information >= freedom + 6 * std::sqrt(2 * freedom);
        return std::max(0.0, information - bias) / entropy;
    }

    const unsigned char* bytes_;
    std::size_t size_;
    std::uint64_t fileSize_;
    double collision_ = 0;
    std::map<std::int32_t, Fit> fits_;
};

}  // namespace

std::int32_t GuessRecordLength(const unsigned char* sample, std::size_t sampleSize, std::uint64_t fileSize)
{
    try {
        return Guess(sample, static_cast<std::size_t>(std::min<std::uint64_t>(sampleSize, fileSize)), fileSize).Length();
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

std::int32_t GuessRecordLength(const std::string& fileName)
{
    ErrorCell error;
    FileNumber number = NextFreeFileNumber();
    OpenChannel(fileName, number, OpenBinarySharedInput, 128, error);
    if (TakeErrorNumber(error) != 0) return 0;
    if (!ChannelIsDisk(number)) {
        // A device or a pipe may never end, and the caller waits for the guess.
        CloseChannel(number, error);
        return 0;
    }
    std::uint64_t size = ChannelLength(number, error);
    std::int32_t length = 0;
    try {
        std::string sample(static_cast<std::size_t>(std::min<std::uint64_t>(size, GuessSampleSize)), '\0');
        std::size_t got = sample.empty() ? 0 : ReadInto(number, static_cast<std::int32_t>(sample.size()), &sample[0], error);
        if (TakeErrorNumber(error) == 0)
            length = GuessRecordLength(reinterpret_cast<const unsigned char*>(sample.data()), got, size);
    } catch (const std::bad_alloc&) {
        length = 0;
    }
    CloseChannel(number, error);
    return length;
}
