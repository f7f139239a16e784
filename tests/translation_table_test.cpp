#include "support.h"
#include "translation_table.h"
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {

unsigned char Of(int ebcdic)
{
    unsigned char in = static_cast<unsigned char>(ebcdic), out = 0xEE;
    TranslateBuffer(&in, &out, 1);
    return out;
}

TEST(TranslationTable, FirstCallWithNothingToDoLeavesDestinationAlone)
{
    // Runs first in this program: the call that builds the table must not write either.
    unsigned char source[2] = {0xC1, 0xC2};
    unsigned char destination[2] = {7, 9};
    TranslateBuffer(source, destination, 0);
    TranslateBuffer(source, destination, -5);
    EXPECT_EQ(destination[0], 7);
    EXPECT_EQ(destination[1], 9);
    EXPECT_EQ(Of(0xC1), 'A');
}

TEST(TranslationTable, HelloWorld)
{
    std::string text = Bytes({0xC8, 0xC5, 0xD3, 0xD3, 0xD6, 0x40, 0xE6, 0xD6, 0xD9, 0xD3, 0xC4});
    TranslateBuffer(text.data(), &text[0], static_cast<std::int32_t>(text.size()));
    EXPECT_EQ(text, "HELLO WORLD");
}

TEST(TranslationTable, SingleCodes)
{
    const std::pair<int, int> cases[] = {
        {0x40, 32}, {0x41, 32}, {0x4F, 124}, {0x6A, 124}, {0x5A, 93}, {0x25, 10}, {0x0D, 13},
        {0x15, 0},  {0x00, 0},  {0xFF, 0},   {0x05, 9},   {0x07, 127}, {0x81, 'a'}, {0xA9, 'z'},
        {0xE9, 'Z'}, {0xF0, '0'}, {0xF9, '9'}, {0xC0, '{'}, {0xD0, '}'}, {0xE0, '\\'},
    };
    for (auto [ebcdic, pc] : cases) EXPECT_EQ(Of(ebcdic), pc) << "EBCDIC " << std::hex << ebcdic;
}

TEST(TranslationTable, ShapeOfTheWholeTable)
{
    std::map<int, std::set<int>> sources;  // output value -> EBCDIC codes giving it
    int zeros = 0;
    for (int code = 0; code < 256; ++code) {
        int out = Of(code);
        if (out == 0) ++zeros;
        else sources[out].insert(code);
    }
    EXPECT_EQ(zeros, 64);
    EXPECT_EQ(sources.size(), 179u);
    EXPECT_EQ(sources.count('!'), 0u);
    for (int c = 32; c <= 126; ++c)
        if (c != '!') {
            EXPECT_EQ(sources.count(c), 1u) << "printable " << c << " never produced";
        }

    const std::map<int, std::set<int>> twoCodes = {
        {20, {0x3C, 0xB6}}, {21, {0x3D, 0xB5}}, {32, {0x40, 0x41}}, {39, {0x7D, 0xBE}},
        {45, {0x60, 0xCA}}, {89, {0xAD, 0xE8}}, {91, {0x4A, 0xBA}}, {93, {0x5A, 0xBB}},
        {124, {0x4F, 0x6A}}, {150, {0xDB, 0xFB}}, {166, {0x46, 0x9A}}, {167, {0x9B, 0xCF}},
        {237, {0x70, 0x80}},
    };
    for (const auto& [out, codes] : sources) {
        auto expected = twoCodes.find(out);
        if (expected == twoCodes.end()) {
            EXPECT_EQ(codes.size(), 1u) << "output " << out;
        } else {
            EXPECT_EQ(codes, expected->second) << "output " << out;
        }
    }
}

TEST(TranslationTable, InPlaceEqualsSeparateBuffer)
{
    std::string source = PatternBytes(4096);
    std::string separate(source.size(), '\0');
    TranslateBuffer(source.data(), &separate[0], static_cast<std::int32_t>(source.size()));
    std::string inPlace = source;
    TranslateBuffer(inPlace.data(), &inPlace[0], static_cast<std::int32_t>(inPlace.size()));
    EXPECT_EQ(inPlace, separate);
    EXPECT_NE(inPlace, source);
}

TEST(TranslationTable, CountBoundsTheWrite)
{
    std::string buffer = Bytes({0xC1, 0xC2, 0xC3, 0xC4});
    TranslateBuffer(buffer.data(), &buffer[0], 2);
    EXPECT_EQ(buffer, "AB" + Bytes({0xC3, 0xC4}));
}

}  // namespace
