#include "core/HXCommaList.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace hx
{
namespace
{

using namespace std::string_literals;

TEST(HXCommaList, WritingQuotesOnlyWhatNeedsIt)
{
    EXPECT_EQ(CommaText({}), "");
    EXPECT_EQ(CommaText({""}), "\"\"");
    EXPECT_EQ(CommaText({"HTML", "Images"}), "HTML,Images");
    EXPECT_EQ(CommaText({"a b", "say \"hi\"", "x,y", "tab\t", "caf\xC3\xA9"}),
              "\"a b\",\"say \"\"hi\"\"\",\"x,y\",\"tab\t\",caf\xC3\xA9");
    EXPECT_EQ(CommaText({"a", ""}), "a,");
    EXPECT_EQ(CommaText({"", "a"}), ",a");
    EXPECT_EQ(CommaText({"nul\0"s}), "\"nul\0\""s);
}

TEST(HXCommaList, ReadingSkipsBlanksAndSplitsUnquotedWords)
{
    EXPECT_TRUE(ParseCommaText("").empty());
    EXPECT_TRUE(ParseCommaText(" \t\r\n").empty());
    EXPECT_EQ(ParseCommaText("\"\""), TStringList{""});
    EXPECT_EQ(ParseCommaText("  a ,\tb  ,c "), (TStringList{"a", "b", "c"}));
    EXPECT_EQ(ParseCommaText("a b"), (TStringList{"a", "b"})); // a blank ends an unquoted word
    EXPECT_EQ(ParseCommaText("a,,b"), (TStringList{"a", "", "b"}));
    EXPECT_EQ(ParseCommaText("a,"), (TStringList{"a", ""}));
    EXPECT_EQ(ParseCommaText("a, "), TStringList{"a"});
    EXPECT_EQ(ParseCommaText("\"x \"\"y\"\", z\",w"), (TStringList{"x \"y\", z", "w"}));
    EXPECT_EQ(ParseCommaText("\"open, never closed"), TStringList{"open, never closed"});
    EXPECT_EQ(ParseCommaText("\"ab\"cd,e"), (TStringList{"ab", "cd", "e"}));
    EXPECT_EQ(ParseCommaText("caf\xC3\xA9,na\xC3\xAFve"), (TStringList{"caf\xC3\xA9", "na\xC3\xAFve"}));
    EXPECT_EQ(ParseCommaText("a\0b"s), (TStringList{"a", "b"}));
}

TEST(HXCommaList, FilterGroupNestsInsideAFilterList)
{
    const std::string group = CommaText({"[PL]cgi", "bin"});
    EXPECT_EQ(group, "[PL]cgi,bin");
    const std::string filterList = CommaText({group, "[RL].exe"});
    EXPECT_EQ(filterList, "\"[PL]cgi,bin\",[RL].exe");

    const TStringList groups = ParseCommaText(filterList);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(ParseCommaText(groups[0]), (TStringList{"[PL]cgi", "bin"}));
    EXPECT_EQ(groups[1], "[RL].exe");
}

TEST(HXCommaList, RoundTripKeepsEveryList)
{
    const std::vector<TStringList> lists = {
        {},
        {""},
        {"", ""},
        {"", "", "a"},
        {"a", "", ""},
        {" ", ""},
        {"\"", ",", "\"\"", "\",\""},
        {"line\r\nbreak", "\0"s, "\x01\x7F", "\xB6\xFF"},
        {std::string(10000, 'q'), std::string(10000, '"')},
    };
    for (const TStringList& list : lists)
        EXPECT_EQ(ParseCommaText(CommaText(list)), list) << CommaText(list);

    const std::string bytes = "ab\" ,\t\0\xC3\xA9"s;
    std::mt19937 random(7);
    std::uniform_int_distribution<std::size_t> pick(0, bytes.size() - 1);
    std::uniform_int_distribution<int> size(0, 5);
    for (int round = 0; round < 2000; ++round)
    {
        TStringList list(static_cast<std::size_t>(size(random)));
        for (std::string& item : list)
        {
            const int length = size(random);
            for (int i = 0; i < length; ++i)
                item.push_back(bytes[pick(random)]);
        }
        ASSERT_EQ(ParseCommaText(CommaText(list)), list) << testing::PrintToString(CommaText(list));
    }
}

} // namespace
} // namespace hx
