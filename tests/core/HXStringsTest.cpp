#include "core/HXStrings.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>

#include "support/HXSandbox.h"

namespace hx
{
namespace
{

using namespace std::string_literals;

TEST(HXStrings, CaseMappingTouchesOnlyAsciiLetters)
{
    EXPECT_EQ(UpperCase("abc-XYZ \xC3\xA9\xE9"), "ABC-XYZ \xC3\xA9\xE9");
    EXPECT_EQ(LowerCase("ABC-xyz \xC3\x89\xC9"), "abc-xyz \xC3\x89\xC9");
    EXPECT_TRUE(SameTextNoCase("Content-Type", "content-TYPE"));
    EXPECT_FALSE(SameTextNoCase("\xC3\xA9", "\xC3\x89")); // é and É differ outside ASCII
    EXPECT_FALSE(SameTextNoCase("abc", "abcd"));
    EXPECT_TRUE(StartsWithNoCase("HTTP://host/", "http://"));
    EXPECT_FALSE(StartsWithNoCase("htt", "http"));
    EXPECT_TRUE(EndsWithNoCase("page.HTM", ".htm"));
    EXPECT_FALSE(EndsWithNoCase("m", ".htm"));
}

TEST(HXStrings, NthFieldCountsFromZeroAndKeepsEmptyFields)
{
    const std::string record = "5"s + kFieldSeparator + "" + kFieldSeparator + "HTML" + kFieldSeparator + "x y";
    EXPECT_EQ(NthField(record, kFieldSeparator, 0), "5");
    EXPECT_EQ(NthField(record, kFieldSeparator, 1), "");
    EXPECT_EQ(NthField(record, kFieldSeparator, 2), "HTML");
    EXPECT_EQ(NthField(record, kFieldSeparator, 3), "x y");
    EXPECT_EQ(NthField(record, kFieldSeparator, 4), "");
    EXPECT_EQ(NthField(record, kFieldSeparator, -1), "");
    EXPECT_EQ(NthField("no separator", kFieldSeparator, 0), "no separator");
    EXPECT_EQ(NthField("a,b,", ',', 2), "");
}

TEST(HXStrings, TextBetweenMarkers)
{
    EXPECT_EQ(TextBetween("Every 3 hours, 15 mins", "Every ", " hours"), "3");
    EXPECT_EQ(TextBetween("Every 3 hours, 15 mins", "hours, ", " mins"), "15");
    EXPECT_EQ(TextBetween("x] [a] [b]", "[", "]"), "a"); // end marker searched after the start
    EXPECT_EQ(TextBetween("[a", "[", "]"), "");
    EXPECT_EQ(TextBetween("a]", "[", "]"), "");

    const std::string page = "<html><Title>My \xC3\xA9 Page</tItLe></html>";
    EXPECT_EQ(TextBetweenNoCase(page, "<TITLE>", "</TITLE>"), "My \xC3\xA9 Page");
    EXPECT_EQ(TextBetweenNoCase("<title>untitled", "<TITLE>", "</TITLE>"), "");
    EXPECT_EQ(TextBetweenNoCase("</title><title>x</title>", "<TITLE>", "</TITLE>"), "");
    EXPECT_EQ(TextBetweenNoCase("<title></title>", "<TITLE>", "</TITLE>"), "");
}

TEST(HXStrings, ReplaceTextIgnoresCaseAndNeverRescans)
{
    EXPECT_EQ(ReplaceText("a.ASP?b.asp", ".asp", ".html", false), "a.html?b.asp");
    EXPECT_EQ(ReplaceText("a.ASP?b.asp", ".asp", ".html", true), "a.html?b.html");
    EXPECT_EQ(ReplaceText("&AMP;&amp;amp;", "&amp;", "&", true), "&&amp;");
    EXPECT_EQ(ReplaceText("aaa", "a", "aa", true), "aaaaaa");
    EXPECT_EQ(ReplaceText("abc", "", "x", true), "abc");
    EXPECT_EQ(ReplaceText("abc", "abcd", "x", true), "abc");

    EXPECT_EQ(ReplaceFrom("a/a/a", 2, "a", "b", true), "a/b/b");
    EXPECT_EQ(ReplaceFrom("a/a/a", 3, "a", "b", false), "a/b/a");
    EXPECT_EQ(ReplaceFrom("a/a/a", 0, "a", "b", true), "b/b/b");
    EXPECT_EQ(ReplaceFrom("a/a/a", 99, "a", "b", true), "a/a/a");

    std::string big;
    for (int i = 0; i < 2500; ++i)
        big += "xY\x01Z";
    const std::string replaced = ReplaceText(big, "xy", "-", true);
    EXPECT_EQ(replaced.size(), 2500u * 3);
    EXPECT_EQ(replaced.substr(0, 6), "-\x01Z-\x01Z");
}

TEST(HXStrings, SanitizeAndTrim)
{
    const std::string dirty = " \t\r\nTi\rtle one\n\x01\0"s;
    EXPECT_EQ(SanitizeField(dirty), "Title one");
    // UTF-8 text keeps every byte of its characters ("ö" is C3 B6, "¶" C2 B6): the
    // record separator is escaped when the text is written in the code page.
    EXPECT_EQ(SanitizeField(" Schön Größe ¶\r\n"), "Schön Größe ¶");
    EXPECT_EQ(Trim("\0 a b \x1F\x20"s), "a b");
    EXPECT_EQ(Trim("\xC3\xA9"), "\xC3\xA9"); // bytes above 0x7F are not blanks
    EXPECT_EQ(Trim(""), "");
}

TEST(HXStrings, ContainsAndLastPos)
{
    EXPECT_TRUE(ContainsNoCase("http://Host/CGI-bin/x", "cgi-BIN"));
    EXPECT_FALSE(ContainsNoCase("abc", "abd"));
    EXPECT_FALSE(ContainsNoCase("abc", ""));
    EXPECT_EQ(LastPos("/", "http://h/a/b"), 11);
    EXPECT_EQ(LastPos("ab", "abab"), 3);
    EXPECT_EQ(LastPos("x", "abc"), 0);
    EXPECT_EQ(LastPos("", "abc"), 0);
}

TEST(HXStrings, FormatDurationUsesTheTimeOfDay)
{
    const double second = 1.0 / 86400.0;
    EXPECT_EQ(FormatDuration((3600 + 2 * 60 + 3) * second), "1 Hrs 2 Min 3 Sec");
    EXPECT_EQ(FormatDuration(0.0), "0 Min 0 Sec");
    EXPECT_EQ(FormatDuration(59 * 60 * second + 59 * second), "59 Min 59 Sec");
    EXPECT_EQ(FormatDuration(3.0 + 10 * 3600 * second), "10 Hrs 0 Min 0 Sec"); // whole days ignored
    EXPECT_EQ(FormatDuration(5 * second - 1e-12), "0 Min 5 Sec");              // no truncation to 4
    EXPECT_EQ(FormatDuration(1.0 - 1e-12), "0 Min 0 Sec");                     // rounds to the next day
}

TEST(HXStrings, IntegerConversions)
{
    EXPECT_EQ(StrToIntNoCommas("1,234,567"), 1234567);
    EXPECT_EQ(StrToIntNoCommas(" -12 "), -12);
    EXPECT_EQ(StrToIntNoCommas("12a"), 0);
    EXPECT_EQ(StrToIntNoCommas(""), 0);
    EXPECT_EQ(StrToIntNoCommas("99,999,999,999"), INT32_MAX);
    EXPECT_EQ(StrToIntNoCommas("-99999999999"), INT32_MIN);

    std::int32_t value = 7;
    EXPECT_TRUE(TryStrToInt(" +42 ", value));
    EXPECT_EQ(value, 42);
    EXPECT_TRUE(TryStrToInt("-2147483648", value));
    EXPECT_EQ(value, INT32_MIN);
    EXPECT_TRUE(TryStrToInt("2147483647", value));
    EXPECT_EQ(value, INT32_MAX);
    value = 7;
    for (const char* bad : {"2147483648", "-2147483649", "", "-", "+", "1 2", "0x10", "1,000", "\xEF\xBC\x91"})
    {
        EXPECT_FALSE(TryStrToInt(bad, value)) << bad;
        EXPECT_EQ(value, 7) << bad;
    }
    EXPECT_EQ(StrToIntDef("abc", -1), -1);
    EXPECT_EQ(StrToIntDef("0012", -1), 12);

    std::int64_t wide = 0;
    EXPECT_TRUE(TryStrToInt64(" 5000000000 ", wide));
    EXPECT_EQ(wide, 5000000000LL);
    EXPECT_TRUE(TryStrToInt64("9223372036854775807", wide));
    EXPECT_EQ(wide, INT64_MAX);
    EXPECT_TRUE(TryStrToInt64("-9223372036854775808", wide));
    EXPECT_EQ(wide, INT64_MIN);
    for (const char* bad : {"9223372036854775808", "-9223372036854775809", "99999999999999999999", "12.5", ""})
        EXPECT_FALSE(TryStrToInt64(bad, wide)) << bad;
    EXPECT_EQ(wide, INT64_MIN);
}

TEST(HXStrings, SearchPrimitives)
{
    const std::string text = "<A HREF=x><a href=y>";
    EXPECT_EQ(FindNoCase("href", text, 1), 4);
    EXPECT_EQ(FindNoCase("href", text, 5), 14);
    EXPECT_EQ(FindNoCase("href", text, 15), 0);
    EXPECT_EQ(FindNoCase("href", text, -5), 4);
    EXPECT_EQ(FindNoCase("", text, 1), 0);
    EXPECT_EQ(FindExact("href", text, 1), 14);
    EXPECT_EQ(FindExact("y>", text, 19), 19);
    EXPECT_EQ(FindExact("y>", text, 20), 0);
    EXPECT_EQ(FindExact("a", text, 1000), 0);

    EXPECT_EQ(FindForward(text, "h?ef", 1), 14);
    EXPECT_EQ(FindForward(text, "h?ef", -1), 4);
    EXPECT_EQ(FindForward(text, "h?ef", -5), 14);
    EXPECT_EQ(FindForward(text, "????", 19), 0);
    EXPECT_EQ(FindForward(text, "href", INT_MIN), 0);

    EXPECT_EQ(FindBackward(text, "href", 0), 14);
    EXPECT_EQ(FindBackward(text, "href", 16), 0);  // the lower-case one ends at 17
    EXPECT_EQ(FindBackward(text, "href", 17), 14); // ends exactly at the limit
    EXPECT_EQ(FindBackward(text, "HREF", 16), 4);
    EXPECT_EQ(FindBackward(text, "href", -16), 4);
    EXPECT_EQ(FindBackward(text, "<?", 0), 11);
    EXPECT_EQ(FindBackward(text, "<?", 1), 0);
    EXPECT_EQ(FindBackward(text, "<a", 5000), 11);
    EXPECT_EQ(FindBackward(text, "", 0), 0);
    EXPECT_EQ(FindBackward(text, "href", INT_MIN), 14);

    std::string big(10000, 'x');
    big += "<script";
    EXPECT_EQ(FindBackward(big, "<SCRIPT", -static_cast<int>(big.size())), 10001);
    EXPECT_EQ(FindForward(big, "<s?ript", 1), 10001);
}

TEST(HXStrings, LoadTextFileNormalisesLineEnds)
{
    const test::TTempFolder folder;
    EXPECT_EQ(LoadTextFile(folder.WriteFile("lf.txt", "a\nb\n")), "a\r\nb\r\n");
    EXPECT_EQ(LoadTextFile(folder.WriteFile("crlf.txt", "a\r\n\r\nb")), "a\r\n\r\nb\r\n");
    EXPECT_EQ(LoadTextFile(folder.WriteFile("cr.txt", "a\rb\r")), "a\r\nb\r\n");
    EXPECT_EQ(LoadTextFile(folder.WriteFile("one.txt", "\n")), "\r\n");
    EXPECT_EQ(LoadTextFile(folder.WriteFile("nul.txt", "a\0b\xB6"s)), "a\0b\xB6\r\n"s);
    EXPECT_EQ(LoadTextFile(folder.WriteFile("empty.txt", "")), "");
    EXPECT_EQ(LoadTextFile(folder.Folder() + "missing.txt"), "");
    EXPECT_EQ(LoadTextFile(folder.Folder()), "");

    const std::string big(10000, 'z');
    EXPECT_EQ(LoadTextFile(folder.WriteFile("big.txt", big)), big + "\r\n");
}

TEST(HXStrings, SaveTextFileReplacesWholeFile)
{
    const test::TTempFolder folder;
    const std::string path = folder.WriteFile("page.htm", std::string(5000, 'o'));
    ASSERT_TRUE(SaveTextFile(path, "new\r\n"));
    EXPECT_EQ(folder.ReadFile("page.htm"), "new\r\n");
    ASSERT_TRUE(SaveTextFile(path, ""));
    EXPECT_EQ(folder.ReadFile("page.htm"), "");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 1);

    EXPECT_FALSE(SaveTextFile(path + "/below-a-file.htm", "x"));
    EXPECT_EQ(folder.ReadFile("page.htm"), "");
}

} // namespace
} // namespace hx
