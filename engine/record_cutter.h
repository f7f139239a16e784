#pragma once
// Cuts a stream of translated bytes into records of a fixed length, each followed by CR LF.
#include <cstddef>
#include <cstdint>

// How the bytes of a record are copied; both give the same output.
enum class RecordCopy { Plain, Avx2 };

// Makes every cutter copy this way from now on, instead of the fastest way this machine
// runs; returns false and changes nothing when the machine cannot. A seam for tests and
// measurements.
bool UseRecordCopy(RecordCopy copy);

class RecordCutter {
public:
    explicit RecordCutter(std::int32_t lrecl);

    // Room out needs for n bytes of input.
    std::size_t OutputSize(std::size_t n) const { return n + 2 * (n / lrecl_ + 2); }

    // Copies the next n bytes of the stream from in to out, with CR LF after every record
    // end, in one forward pass. With last set, a partial record at the end is closed too.
    // Returns the bytes put into out.
    std::size_t Cut(const char* in, std::size_t n, char* out, bool last);

    std::int64_t Records() const { return records_; }

private:
    std::size_t lrecl_;
    std::size_t offset_ = 0;  // bytes of the current record already passed
    std::int64_t records_ = 0;
};
