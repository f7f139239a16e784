#pragma once
// The loops every kernel shares, for the kernels' own source files: a kernel is a block class
// that translates Size bytes at a time, and these loops run it over a buffer or a stream of
// records.
#include "translation_kernel.h"
#include <algorithm>
#include <cstddef>

// Each kernel's file compiles its own copy, with its own compiler options: one copy shared
// by the linker would run with the options of whichever file it came from.
namespace {

// Eight bytes in flight per round: the look-ups are independent, so they overlap.
class PlainBlock {
public:
    static constexpr std::size_t Size = 8;
    explicit PlainBlock(const TranslationTables& tables) : table_(tables.entries) {}
    void Translate(const unsigned char* from, unsigned char* to) const
    {
        const unsigned char* t = table_;
        unsigned char a = t[from[0]], b = t[from[1]], c = t[from[2]], d = t[from[3]], e = t[from[4]],
                      f = t[from[5]], g = t[from[6]], h = t[from[7]];
        to[0] = a, to[1] = b, to[2] = c, to[3] = d, to[4] = e, to[5] = f, to[6] = g, to[7] = h;
    }

private:
    const unsigned char* table_;
};

void PlainLoop(const TranslationTables& tables, const unsigned char* from, unsigned char* to, std::size_t count)
{
    const PlainBlock block(tables);
    std::size_t i = 0;
    for (; i + PlainBlock::Size <= count; i += PlainBlock::Size) block.Translate(from + i, to + i);
    for (; i < count; ++i) to[i] = tables.entries[from[i]];
}

// Each block is read whole before it is written, so in place is safe.
template <typename Block>
void BufferLoop(const TranslationTables& tables, const unsigned char* from, unsigned char* to, std::size_t count)
{
    const Block block(tables);
    std::size_t i = 0;
    for (; i + Block::Size <= count; i += Block::Size) block.Translate(from + i, to + i);
    PlainLoop(tables, from + i, to + i, count - i);
}

// A record begun in an earlier piece, or one of the last few of this piece, byte by byte.
void CutRecordPiece(const TranslationTables& tables, const unsigned char*& from, std::size_t& count,
                           unsigned char*& to, RecordCut& cut)
{
    std::size_t take = std::min(count, cut.lrecl - cut.offset);
    PlainLoop(tables, from, to, take);
    to += take;
    from += take;
    count -= take;
    cut.offset += take;
    if (cut.offset == cut.lrecl) {
        *to++ = '\r';
        *to++ = '\n';
        cut.offset = 0;
        ++cut.records;
    }
}

// Puts count whole records across, each followed by CR LF, in blocks that may run past a
// record's end (see RecordLoop); the end of a record shorter than a block takes endBlocks.
template <typename Block, typename EndBlock>
unsigned char* PutRecords(const Block& block, const EndBlock& endBlock, const unsigned char* from, std::size_t count,
                          std::size_t lrecl, unsigned char* to)
{
    const std::size_t wholeBlocks = lrecl - lrecl % Block::Size;
    for (std::size_t r = 0; r < count; ++r) {
        std::size_t k = 0;
        for (; k < wholeBlocks; k += Block::Size) block.Translate(from + k, to + k);
        for (; k < lrecl; k += EndBlock::Size) endBlock.Translate(from + k, to + k);
        to[lrecl] = '\r';
        to[lrecl + 1] = '\n';
        to += lrecl + 2;
        from += lrecl;
    }
    return to;
}

// Short records are the common case, so whole records go across in whole blocks, translated
// on the way; the end of a record that is shorter than a block takes smaller blocks, if the
// kernel has them. A block may run past the record's end, but only while at least a block
// more of input follows: what comes next in the output covers it.
template <typename Block, typename EndBlock = Block>
unsigned char* RecordLoop(const TranslationTables& tables, const unsigned char* from, std::size_t count,
                          unsigned char* to, RecordCut& cut)
{
    static_assert(Block::Size <= MaxTranslationBlock, "the room in front of record input");
    static_assert(EndBlock::Size <= Block::Size, "the input that follows a record");
    const Block block(tables);
    const EndBlock endBlock(tables);
    const std::size_t lrecl = cut.lrecl;
    while (count > 0) {
        if (cut.offset == 0 && count >= lrecl + Block::Size) {
            std::size_t whole = (count - Block::Size) / lrecl;
            to = PutRecords(block, endBlock, from, whole, lrecl, to);
            from += whole * lrecl;
            count -= whole * lrecl;
            cut.records += static_cast<std::int64_t>(whole);
            continue;
        }
        CutRecordPiece(tables, from, count, to, cut);
    }
    return to;
}

}  // namespace

void Avx2Loop(const TranslationTables& tables, const unsigned char* from, unsigned char* to, std::size_t count);
unsigned char* Avx2RecordLoop(const TranslationTables& tables, const unsigned char* from, std::size_t count,
                              unsigned char* to, RecordCut& cut);
void Ssse3Loop(const TranslationTables& tables, const unsigned char* from, unsigned char* to, std::size_t count);
unsigned char* Ssse3RecordLoop(const TranslationTables& tables, const unsigned char* from, std::size_t count,
                               unsigned char* to, RecordCut& cut);
