#pragma once
// Translates a stream of EBCDIC bytes into records of a fixed length, each followed by CR LF.
#include "translation_kernel.h"
#include <cstddef>
#include <cstdint>

class RecordCutter {
public:
    explicit RecordCutter(std::int32_t lrecl) : cut_{static_cast<std::size_t>(lrecl), 0, 0} {}

    // Room out needs for n bytes of input.
    std::size_t OutputSize(std::size_t n) const { return n + 2 * (n / cut_.lrecl + 2); }

    // Room in front of n bytes of input that lets Cut write its output into the same
    // buffer: the output starts that far before the input and never overtakes what is
    // still to be read, the widest block of the translation kernel included.
    std::size_t Lead(std::size_t n) const { return OutputSize(n) - n + MaxTranslationBlock; }

    // Translates the next n bytes of the stream from in into out, with CR LF after every
    // record end, in one forward pass; out is apart from in, or in's own buffer Lead(n)
    // bytes before it. With last set, a partial record at the end is closed too. Returns
    // the bytes put into out.
    std::size_t Cut(const char* in, std::size_t n, char* out, bool last);

    std::int64_t Records() const { return cut_.records; }

private:
    RecordCut cut_;
};
