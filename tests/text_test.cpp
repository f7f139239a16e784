#include "support.h"
#include "system_error_text.h"
#include "text.h"
#include <gtest/gtest.h>

namespace {

TEST(FixedTextBuffer, KeepsAtMostSizeLessOneBytes)
{
    FixedText<8> text("1234567890");
    EXPECT_EQ(text.Text(), "1234567");
    text = "ab";
    EXPECT_EQ(text.Text(), "ab");
    EXPECT_EQ(text.CStr()[2], '\0');
    FixedText<40> caption;
    EXPECT_EQ(caption.Text(), "");
}

TEST(TextServices, TextToNumber)
{
    const std::pair<const char*, double> cases[] = {
        {"  42abc", 42}, {"", 0}, {"1E3", 1000}, {"007", 7}, {"abc", 0}, {"\t\n 12", 12},
        {"-3.5", -3.5}, {"+8", 8}, {"2.5e2", 250}, {"1d2", 100}, {"7E", 7}, {"7E+", 7},
        {"1.2.3", 1.2}, {"999999", 999999}, {"&H10", 0}, {"123456789012345678901", 123456789012345678000.0},
    };
    for (auto [text, value] : cases) EXPECT_DOUBLE_EQ(TextToNumber(text), value) << '"' << text << '"';
}

TEST(TextServices, Trimming)
{
    EXPECT_EQ(TrimLeadingBlanks(" 80"), "80");
    EXPECT_EQ(TrimLeadingBlanks("   "), "");
    EXPECT_EQ(TrimLeadingBlanks("\t80"), "\t80");
    EXPECT_EQ(TrimTrailingBlanks("code 6   "), "code 6");
    EXPECT_EQ(TrimTrailingBlanks("   "), "");
    EXPECT_EQ(TrimTrailingBlanks("x\t"), "x\t");
    EXPECT_EQ(TrimLeadingBlanks(std::string(" a\0b ", 5)), std::string("a\0b ", 4));
}

TEST(TextServices, BareFileNameDropsOnlyASurroundingPairOfQuotesAndBlanks)
{
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\in.ebc", "C:\\in.ebc"},
        {"\"C:\\a b\\in.ebc\"", "C:\\a b\\in.ebc"},
        {"  \"C:\\in.ebc\"\t ", "C:\\in.ebc"},
        {"  C:\\in.ebc  ", "C:\\in.ebc"},
        {"\" in.ebc \"", " in.ebc "},              // blanks inside the quotes are the name's
        {"\"\"in.ebc\"\"", "\"in.ebc\""},          // one pair only
        {"\"C:\\in.ebc", "\"C:\\in.ebc"},          // a lone quote stays
        {"C:\\in\".ebc", "C:\\in\".ebc"},
        {"\"", "\""}, {"\"\"", ""}, {"   ", ""}, {"", ""},
    };
    for (auto [typed, bare] : cases) EXPECT_EQ(BareFileName(typed), bare) << '[' << typed << ']';
}

TEST(TextServices, FindTextForwardAndBackward)
{
    const std::string path = "C:\\data\\in\\file.ebc";
    EXPECT_EQ(FindText(1, path, "\\"), 3);
    EXPECT_EQ(FindText(4, path, "\\"), 8);
    EXPECT_EQ(FindText(-1, path, "\\"), 11);
    EXPECT_EQ(FindText(-10, path, "\\"), 8) << "backward from position 10";
    EXPECT_EQ(FindText(1, "name.ebc", "\\"), 0);
    EXPECT_EQ(FindText(1, "abc", "C"), 0) << "case counts";
    EXPECT_EQ(FindText(1, "", "\\"), 0);
    EXPECT_EQ(FindText(3, "abcdef", ""), 3);
    EXPECT_EQ(FindText(7, "abcdef", "f"), 0);
    EXPECT_EQ(FindText(-1, "abab", "ab"), 3);
}

TEST(TextServices, Substring)
{
    EXPECT_EQ(Substring("C:\\data\\x", 1, 8), "C:\\data\\");
    EXPECT_EQ(Substring("abc", 2, 10), "bc");
    EXPECT_EQ(Substring("abc", 0, 2), "");
    EXPECT_EQ(Substring("abc", 4, 1), "");
    EXPECT_EQ(Substring("abc", 1, 0), "");
    EXPECT_EQ(Substring("abc", -1, 2), "");
}

TEST(SystemErrorText, NumberFieldThenTheSystemsWords)
{
    std::string success = SystemErrorMessageText(0);
    EXPECT_EQ(success.substr(0, 5), "    0");
    EXPECT_GT(success.size(), 5u);

    std::string missing = SystemErrorMessageText(2);
    EXPECT_EQ(missing.substr(0, 5), "    2");
    ASSERT_GE(missing.size(), 7u);
    EXPECT_EQ(missing.substr(missing.size() - 2), "\r\n");
    char system[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, system, 255, nullptr);
    EXPECT_EQ(missing.substr(5), system) << "kept exactly as the system words it";

    std::string resource = SystemErrorMessageText(1813);
    EXPECT_EQ(resource.substr(0, 5), " 1813");
    EXPECT_GT(resource.size(), 5u);

    EXPECT_EQ(SystemErrorMessageText(0x2ABCDEF), "44813807") << "no text: the number alone";
    EXPECT_EQ(SystemErrorMessageText(-5).substr(0, 5), "   -5");
}

TEST(SystemErrorText, MessagesWithInsertsDoNotFail)
{
    for (std::int32_t code : {34, 193, 87, 1}) {
        std::string text = SystemErrorMessageText(code);
        char number[8];
        std::snprintf(number, sizeof number, "%5d", code);
        EXPECT_EQ(text.substr(0, 5), number);
        EXPECT_GT(text.size(), 5u) << "code " << code << " has words of its own";
    }
}

}  // namespace
