#include "core/HXEncoding.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace hx
{
namespace
{

using namespace std::string_literals;

std::string Utf8Of(char32_t codePoint)
{
    std::string out;
    AppendUtf8(out, codePoint);
    return out;
}

TEST(HXEncoding, IsValidUtf8RejectsMalformedSequences)
{
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("plain \0 ascii"s));
    EXPECT_TRUE(IsValidUtf8("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"));
    for (const char* bad : {"\xC0\x80", "\xC1\xBF", "\xE0\x80\x80", "\xF0\x80\x80\x80", "\xED\xA0\x80",
                            "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\x80", "\xC3", "\xE2\x82", "\xC3\x28", "\xFF"})
    {
        EXPECT_FALSE(IsValidUtf8(bad)) << testing::PrintToString(bad);
    }
}

TEST(HXEncoding, AppendUtf8Boundaries)
{
    EXPECT_EQ(Utf8Of(0x7F), "\x7F");
    EXPECT_EQ(Utf8Of(0x80), "\xC2\x80");
    EXPECT_EQ(Utf8Of(0x7FF), "\xDF\xBF");
    EXPECT_EQ(Utf8Of(0x800), "\xE0\xA0\x80");
    EXPECT_EQ(Utf8Of(0xFFFF), "\xEF\xBF\xBF");
    EXPECT_EQ(Utf8Of(0x10000), "\xF0\x90\x80\x80");
    EXPECT_EQ(Utf8Of(0x10FFFF), "\xF4\x8F\xBF\xBF");
    EXPECT_EQ(Utf8Of(0xD800), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf8Of(0x110000), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf8Of(0), "\0"s);
}

TEST(HXEncoding, CodePageTableBothWays)
{
    EXPECT_EQ(Cp1252ToUtf8Plain("\x80\x82\x85\x8A\x99\x9F"), "€‚…Š™Ÿ");
    EXPECT_EQ(Cp1252ToUtf8Plain("\x81\x8D\x8F\x90\x9D"), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
    EXPECT_EQ(Cp1252ToUtf8Plain("caf\xE9 \xA0\xFF"), "café \xC2\xA0ÿ");
    EXPECT_EQ(Utf8ToCp1252("€ café ÿ Œ"), "\x80 caf\xE9 \xFF \x8C");

    // Every byte except the pilcrow goes to a character and back to the same byte.
    for (int byte = 0; byte < 256; ++byte)
    {
        const std::string one(1, static_cast<char>(byte));
        const std::string utf8 = Cp1252ToUtf8(one);
        EXPECT_TRUE(IsValidUtf8(utf8)) << byte;
        EXPECT_EQ(Utf8ToCp1252(utf8), byte == 0xB6 ? "&#182;" : one) << byte;
    }
}

TEST(HXEncoding, CharactersOutsideTheCodePageAreEscaped)
{
    EXPECT_EQ(Utf8ToCp1252("snow ☃ 😀"), "snow &#9731; &#128512;");
    EXPECT_EQ(Utf8ToCp1252("\xC2\x80"), "&#128;"); // a C1 control the code page does not hold
    EXPECT_EQ(Utf8ToCp1252("¶"), "&#182;");
    EXPECT_EQ(Utf8ToCp1252("&#65; & &amp; &"), "&#38;#65; & &amp; &");
    EXPECT_EQ(Utf8ToCp1252("a&#"), "a&#38;#");
    EXPECT_EQ(Cp1252ToUtf8("snow &#9731; &#128512; &#38;#65;"), "snow ☃ 😀 &#65;");
    EXPECT_EQ(Cp1252ToUtf8("&#182;\xB6"), "¶¶");
}

TEST(HXEncoding, MalformedEscapesStayLiteral)
{
    EXPECT_EQ(Cp1252ToUtf8("&#65;&#065;"), "AA");
    for (const char* literal :
         {"&#;", "&#x41;", "&#0;", "&#55296;", "&#1114112;", "&#00000065;", "&#65", "&#", "&", "&#-5;", "&# 65;"})
    {
        EXPECT_EQ(Cp1252ToUtf8(literal), literal);
    }
    EXPECT_EQ(Cp1252ToUtf8("&#&#66;"), "&#B");
    EXPECT_EQ(Cp1252ToUtf8Plain("&#66;"), "&#66;");
}

TEST(HXEncoding, InvalidUtf8IsTakenAsCodePageBytes)
{
    // Lone lead byte, stray continuation, raw separator, NUL and controls pass unchanged.
    const std::string raw = "a\xC3 b\x80 c\xB6 d\0\x01\x7F"s;
    EXPECT_EQ(Utf8ToCp1252(raw), raw);
    EXPECT_EQ(Cp1252ToUtf8(Utf8ToCp1252("\xC3")), "Ã");
    EXPECT_EQ(Utf8ToCp1252("\xED\xA0\x80"), "\xED\xA0\x80"); // an encoded surrogate is three bytes
    EXPECT_EQ(PageTextToUtf8("caf\xE9"), "café");
    EXPECT_EQ(PageTextToUtf8("café &#65;"), "café &#65;");
    EXPECT_EQ(Utf8FileTextToUtf8("café &#9731; \xE9"), "café ☃ é");
}

TEST(HXEncoding, RoundTripIsLosslessForAnyValidUtf8)
{
    // Characters chosen to hit every branch: escapes, digits, ampersands, the table,
    // the C1 controls, the pilcrow, NUL and characters of every length.
    const std::u32string alphabet = U"&#;0123456789x\0\r\n\x01 aZ\u0080\u0081\u009D\u00B6\u00E9\u00FF\u20AC\u0152"
                                    U"\u2603\uFFFD\U0001F600\U0010FFFF"s;
    std::mt19937 random(20240229);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> length(0, 40);
    for (int round = 0; round < 3000; ++round)
    {
        std::string text;
        const int count = length(random);
        for (int i = 0; i < count; ++i)
            AppendUtf8(text, alphabet[pick(random)]);
        const std::string file = Utf8ToCp1252(text);
        ASSERT_EQ(file.find('\xB6'), std::string::npos) << testing::PrintToString(text);
        ASSERT_EQ(Cp1252ToUtf8(file), text) << testing::PrintToString(text);
    }

    std::string big;
    for (int i = 0; i < 2000; ++i)
        big += "&#9731;☃";
    EXPECT_EQ(Cp1252ToUtf8(Utf8ToCp1252(big)), big);
}

} // namespace
} // namespace hx
