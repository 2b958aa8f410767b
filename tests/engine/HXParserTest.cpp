#include "engine/HXParser.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/HXStrings.h"

namespace hx
{
namespace
{

using namespace std::string_literals;
using TValues = std::vector<std::string>;

// Runs the caller's loop: FindNext while NextFrom and Cursor are not 0, with an optional
// replacement after each find. Every find must move on by at least one byte, and the
// whole scan must end before the deadline.
TValues Scan(THXParser& parser, const std::function<void(THXParser&)>& afterFind = {},
             std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max())
{
    TValues found;
    const std::size_t maxFinds = parser.Text.size() + 2;
    std::size_t finds = 0;
    do
    {
        const std::string value = parser.FindNext();
        if (!value.empty())
            found.push_back(value);
        if (afterFind)
            afterFind(parser);
        if (++finds > maxFinds)
        {
            ADD_FAILURE() << "the scan does not end";
            break;
        }
        if (finds % 1024 == 0 && std::chrono::steady_clock::now() > deadline)
        {
            ADD_FAILURE() << "the scan is too slow: " << finds << " finds";
            break;
        }
    } while (parser.NextFrom != 0 && parser.Cursor != 0);
    return found;
}

// The text with every replacement so far, read from a copy so the scan itself is untouched.
std::string Joined(const THXParser& parser)
{
    THXParser copy(parser);
    return copy.CurrentText();
}

TValues Tags(const std::string& page, const std::string& tag, const std::string& attribute)
{
    THXParser parser(page, tag, ">", attribute, THXParser::kTagMode);
    return Scan(parser);
}

TValues Quoted(const std::string& page, char quote, std::uint8_t mode)
{
    THXParser parser(page, std::string(1, quote), std::string(1, quote), "", mode);
    return Scan(parser);
}

TEST(HXParserTag, TakesOnlyValuesThatEndWithADoubleQuote)
{
    EXPECT_EQ(Tags("<a href = \"x.htm\">", "A", "HREF"), TValues{"x.htm"});
    EXPECT_EQ(Tags("<A HREF=x.htm>", "A", "HREF"), TValues{});
    EXPECT_EQ(Tags("<a href='x.htm'>", "A", "HREF"), TValues{});
    // A single-quoted value runs on to the next double quote of the same tag.
    EXPECT_EQ(Tags("<a href='x.htm' class=\"c\">", "A", "HREF"), TValues{"x.htm' class="});
    EXPECT_EQ(Tags("<a href\"x.htm\">", "A", "HREF"), TValues{}); // no "="
    EXPECT_EQ(Tags("<a href=\\\"x.htm\\\">", "A", "HREF"), TValues{"x.htm\\"});
    // A value never reaches past the tag end, even when a double quote follows later.
    EXPECT_EQ(Tags("<a href=x.htm>b \"c\" d</a><a href=\"y.htm\">", "A", "HREF"), TValues{"y.htm"});
    EXPECT_EQ(Tags("<a href=\"x.htm>text</a> <b class=\"y\">", "A", "HREF"), TValues{});
}

TEST(HXParserTag, TagNamesMatchAsPrefixesAfterSkippedBytes)
{
    const std::string page = "<AREA href=\"1\"><applet HREF=\"2\"><abbr href=\"3\"><b href=\"4\">"
                             "< \"a href=\"5\"><\ta href=\"6\"><\r\nframeset src=\"f\"><frame src=\"g\">";
    EXPECT_EQ(Tags(page, "A", "HREF"), (TValues{"1", "2", "3", "5"}));
    EXPECT_EQ(Tags(page, "FRAME", "SRC"), (TValues{"f", "g"}));
    EXPECT_EQ(Tags("<IMG SRC=\"a.gif\"><img src=\"b.gif\"><image src=\"c.gif\">", "img", "src"),
              (TValues{"a.gif", "b.gif"}));
}

TEST(HXParserTag, AttributeNameNeedsABlankQuoteOrEqualsBehindIt)
{
    EXPECT_EQ(Tags("<a hreflang=\"en\" href=\"x.htm\">", "A", "HREF"), TValues{"x.htm"});
    // The name inside another value, followed by a blank, hides the real attribute.
    EXPECT_EQ(Tags("<a title=\"see href here\" href=\"x.htm\">", "A", "HREF"), TValues{});
    EXPECT_EQ(Tags("<a title=\"href=no.htm\" href=\"x.htm\">", "A", "HREF"), TValues{"no.htm"});
    EXPECT_EQ(Tags("<meta http-equiv=\"refresh\" content=\"0; URL=next.htm\">", "META", "URL"), TValues{"next.htm"});
    // CODE is found behind CODEBASE, not inside it.
    EXPECT_EQ(Tags("<applet codebase=\"cls/\" code=\"A.class\">", "APPLET", "CODE"), TValues{"A.class"});

    // An attribute of a later tag is not taken for this one; the scan then goes on there.
    THXParser parser("<a name=x><a href=\"y.htm\">", "A", ">", "HREF", THXParser::kTagMode);
    EXPECT_EQ(parser.FindNext(), "");
    EXPECT_EQ(parser.TagStart, 1);
    EXPECT_EQ(parser.NextFrom, 10);
    EXPECT_EQ(parser.FindNext(), "y.htm");
    EXPECT_EQ(parser.TagStart, 11);
}

TEST(HXParserTag, SingleQuotedAddressInsideADoubleQuotedValueLosesItsQuotes)
{
    // A refresh instruction often quotes its address: the quotes are not part of it.
    const std::string refresh = "<meta http-equiv=\"refresh\" content=\"0; url='target.html'\">";
    EXPECT_EQ(Tags(refresh, "META", "URL"), TValues{"target.html"});
    EXPECT_EQ(Tags("<meta content=\"5;URL = 'a/b.htm' \" http-equiv=\"refresh\">", "META", "URL"), TValues{"a/b.htm"});
    // Without an opening quote a closing one stays; an opening one without a closing one too.
    EXPECT_EQ(Tags("<meta content=\"0; url=c.htm'\">", "META", "URL"), TValues{"c.htm'"});
    EXPECT_EQ(Tags("<meta content=\"0; url='d.htm\">", "META", "URL"), TValues{"d.htm"});

    // A replacement replaces the address between the quotes.
    THXParser parser(refresh + "<meta content=\"1; url='x.htm'\">", "META", ">", "URL", THXParser::kTagMode);
    EXPECT_EQ(parser.FindNext(), "target.html");
    EXPECT_TRUE(parser.ReplaceValue("local/target.html"));
    EXPECT_EQ(parser.FindNext(), "x.htm");
    EXPECT_EQ(Joined(parser), "<meta http-equiv=\"refresh\" content=\"0; url='local/target.html'\">"
                              "<meta content=\"1; url='x.htm'\">");
}

TEST(HXParserTag, ScanLoopReportsPositionsAndEnds)
{
    const std::string page = "<p>x</p><a href=\"one.htm\">One</a>\r\n<A HREF=\"two.htm\">\r\n Two </A>";
    THXParser parser(page, "A", ">", "HREF", THXParser::kTagMode);
    EXPECT_EQ(parser.FindNext(), "one.htm");
    const int tag = static_cast<int>(page.find("<a")) + 1;
    EXPECT_EQ(parser.TagStart, tag);
    EXPECT_EQ(parser.TagEndPos, static_cast<int>(page.find('>', tag)) + 1);
    EXPECT_EQ(parser.NextFrom, parser.TagEndPos);
    EXPECT_EQ(parser.AttrPos, static_cast<int>(page.find("href")) + 1);
    EXPECT_EQ(parser.ValueStart, static_cast<int>(page.find("one.htm")) + 1);
    EXPECT_EQ(parser.ValueEnd, parser.ValueStart + 6);
    EXPECT_EQ(parser.TagText(), "One");
    EXPECT_EQ(parser.FindNext(), "two.htm");
    EXPECT_EQ(parser.TagText(), "Two");
    // Closing tags do not match: "/" is not skipped after "<". No further tag ends the scan.
    EXPECT_EQ(parser.FindNext(), "");
    EXPECT_EQ(parser.NextFrom, 0);
    EXPECT_EQ(parser.Cursor, 0);
    EXPECT_EQ(parser.TagStart, 0);
}

TEST(HXParserTag, JavascriptValuesYieldTheSingleQuotedPart)
{
    THXParser parser("<a href=\"javascript:open('win.htm')\">x</a>", "A", ">", "HREF", THXParser::kTagMode);
    EXPECT_EQ(parser.FindNext(), "win.htm");
    EXPECT_EQ(parser.Text.substr(parser.ValueStart - 1, parser.ValueEnd - parser.ValueStart + 1), "win.htm");
    EXPECT_TRUE(parser.ReplaceValue("sub/win.htm"));
    EXPECT_EQ(parser.CurrentText(), "<a href=\"javascript:open('sub/win.htm')\">x</a>");

    EXPECT_EQ(Tags("<a href=\"javascript:go('a)\">b'</a>", "A", "HREF"), TValues{}); // second quote after the tag
    EXPECT_EQ(Tags("<a href=\"javascript:go()\">", "A", "HREF"), TValues{});
    EXPECT_EQ(Tags("<a href=\"JavaScript:open('w.htm')\">", "A", "HREF"), TValues{"JavaScript:open('w.htm')"});
}

TEST(HXParserTag, FindAttributeMakesOneFindFromTheCursor)
{
    THXParser base("<html><base href=\"http://h/d/\"><a href=\"x.htm\">", "BASE", ">", "HREF", THXParser::kTagMode);
    EXPECT_EQ(base.FindAttribute(), "http://h/d/");
    base.Text.erase(base.TagStart - 1, base.TagEndPos - base.TagStart + 1);
    EXPECT_EQ(base.Text, "<html><a href=\"x.htm\">");

    // A second scanner started one byte before the first one's cursor reads the same tag.
    const std::string page = "<p><applet code=\"A.class\" codebase=\"cls/\"></applet>";
    THXParser code(page, "APPLET", ">", "CODE", THXParser::kTagMode);
    EXPECT_EQ(code.FindNext(), "A.class");
    THXParser codeBase(page, "APPLET", ">", "CODEBASE", THXParser::kTagMode);
    codeBase.Cursor = code.Cursor - 1;
    codeBase.NextFrom = code.NextFrom;
    EXPECT_EQ(codeBase.FindAttribute(), "cls/");
    EXPECT_EQ(codeBase.TagStart, code.TagStart);
}

TEST(HXParserReplace, ScanContinuesAfterTheSameTag)
{
    THXParser parser("<a href=\"a.htm\">A</a><img src=\"i.gif\"><a href=\"b.htm\">B</a><a href=\"c.htm\">C", "A", ">",
                     "HREF", THXParser::kTagMode);
    std::vector<std::string> texts;
    const TValues found = Scan(parser,
                               [&texts](THXParser& p)
                               {
                                   if (p.Value == "a.htm")
                                   {
                                       EXPECT_TRUE(p.ReplaceValue("../longer/path/a.htm"));
                                       EXPECT_EQ(Joined(p)[static_cast<std::size_t>(p.NextFrom - 1)], '>');
                                       EXPECT_EQ(Joined(p)[static_cast<std::size_t>(p.ValueEnd)], '"');
                                       texts.push_back(p.TagText());
                                   }
                                   else if (p.Value == "b.htm")
                                   {
                                       EXPECT_TRUE(p.ReplaceValue("bb"));
                                       EXPECT_TRUE(p.ReplaceValue("b")); // replaces the replacement
                                       EXPECT_EQ(Joined(p)[static_cast<std::size_t>(p.NextFrom - 1)], '>');
                                       texts.push_back(p.TagText());
                                   }
                                   else if (p.Value == "c.htm")
                                   {
                                       EXPECT_FALSE(p.ReplaceValue("c.htm"));
                                   }
                                   else
                                   {
                                       EXPECT_FALSE(p.ReplaceValue("never")); // no value stands in the text
                                   }
                               });
    EXPECT_EQ(found, (TValues{"a.htm", "b.htm", "c.htm"}));
    EXPECT_EQ(texts, (TValues{"A", "B"}));
    EXPECT_EQ(parser.CurrentText(), "<a href=\"../longer/path/a.htm\">A</a><img src=\"i.gif\"><a href=\"b\">B</a>"
                                    "<a href=\"c.htm\">C");

    // Text changed behind the scanner's back: the stale value is not written anywhere.
    THXParser changed("<a href=\"x.htm\">", "A", ">", "HREF", THXParser::kTagMode);
    EXPECT_EQ(changed.FindNext(), "x.htm");
    changed.Text = "<a>";
    EXPECT_FALSE(changed.ReplaceValue("y.htm"));
    EXPECT_EQ(changed.Text, "<a>");
}

TEST(HXParserTagText, LinkTextIsSanitizedAndBounded)
{
    THXParser link("<a href=\"x.htm\">\r\n  Gr\xC3\xB6\xC3\x9F"
                   "e \xB6 here\r\n</a>",
                   "A", ">", "HREF", THXParser::kTagMode);
    EXPECT_EQ(link.FindNext(), "x.htm");
    // Line breaks and blanks go; the page's bytes stay whole (the UTF-8 "ö" ends in
    // 0xB6), to be decoded and escaped when the text is stored.
    EXPECT_EQ(link.TagText(), "Gr\xC3\xB6\xC3\x9F"
                              "e \xB6 here");

    // Quoted-text mode has no tag: the text before the first "<".
    THXParser quoted("  Intro 'a.gif' <b>'x.htm'>", "'", "'", "", THXParser::kQuotedEverywhere);
    EXPECT_EQ(Scan(quoted), (TValues{"a.gif", "x.htm"}));
    EXPECT_EQ(quoted.TagText(), "Intro 'a.gif'");

    // A long run is cut at the limit, never inside a UTF-8 character.
    std::string run = "x";
    for (int i = 0; i < 3000; ++i)
        run += "\xC3\xA9";
    THXParser longText("<a href=\"x\">" + run, "A", ">", "HREF", THXParser::kTagMode);
    EXPECT_EQ(longText.FindNext(), "x");
    const std::string text = longText.TagText();
    EXPECT_LE(text.size(), THXParser::kMaxTagTextBytes);
    EXPECT_EQ(text, run.substr(0, THXParser::kMaxTagTextBytes - 1));

    THXParser open("<a href=\"x\"", "A", ">", "HREF", THXParser::kTagMode);
    EXPECT_EQ(open.FindNext(), "");
    EXPECT_EQ(open.TagText(), "");
}

TEST(HXParserQuoted, WholePageFindsPathsAndRefusesOtherTexts)
{
    const std::string page = "<img src=\"images/a.gif\"><p>see \"pics/b.jpg\" now, or 'b/c.htm'</p>"
                             "<i title=\"two words\"></i><i x=\"a;b.htm\"></i><i x=\"mailto:x@y.z\"></i>"
                             "<i x=\"http://h/p.htm\"></i><script type=\"text/javascript\"></script>"
                             "<link type=\"TEXT/CSS\"><i x=\"noDotOrSlash\"></i><i x=\"\"><i x=\"a<b.htm\">";
    EXPECT_EQ(Quoted(page, '"', THXParser::kQuotedEverywhere),
              (TValues{"images/a.gif", "pics/b.jpg", "http://h/p.htm"}));
    EXPECT_EQ(Quoted(page, '\'', THXParser::kQuotedEverywhere), TValues{"b/c.htm"});

    // A refused text stays in Value; the scan goes on after its closing quote.
    THXParser refused("<i title=\"two words\" x=\"y.gif\">", "\"", "\"", "", THXParser::kQuotedEverywhere);
    EXPECT_EQ(refused.FindNext(), "");
    EXPECT_EQ(refused.Value, "two words");
    EXPECT_EQ(refused.FindNext(), "y.gif");

    // With a ">" before the closing quote, the closing quote opens the next text.
    EXPECT_EQ(Quoted("a \"b>c\"d.gif\" e>", '"', THXParser::kQuotedEverywhere), TValues{"d.gif"});
    // Without any ">" behind it, a quoted text is never taken.
    EXPECT_EQ(Quoted("'a.gif' 'b.gif'", '\'', THXParser::kQuotedEverywhere), TValues{});
}

TEST(HXParserQuoted, ScriptModeOnlyInsideScriptBlocks)
{
    const std::string page = "<p>'out.gif'</p><SCRIPT>x='in.gif';</script><p>'after.gif'</p>"
                             "<script src='s.js'>y='/scripts/a.js'</Script>";
    EXPECT_EQ(Quoted(page, '\'', THXParser::kQuotedInScript), (TValues{"in.gif", "s.js", "/scripts/a.js"}));
    EXPECT_EQ(Quoted(page, '\'', THXParser::kQuotedEverywhere),
              (TValues{"out.gif", "in.gif", "after.gif", "s.js", "/scripts/a.js"}));
    EXPECT_EQ(Quoted("<script>x='a.gif'>", '\'', THXParser::kQuotedInScript), TValues{}); // never closed
}

TEST(HXParserMemo, FastSearchAnswersLikeFindNoCase)
{
    const std::vector<std::string> pieces = {"<script", "<SCRIPT>", "/Script", "sc",       "S",
                                             ">",       "<",        "a",       "\xC3\xA9", "\0"};
    const std::vector<std::string> patterns = {"<script", "/script", ">", "HREF", "s", "", "\xC3\xA9s", "a<"};
    std::mt19937 random(9);
    int hits = 0;
    for (int round = 0; round < 3000; ++round)
    {
        std::string text;
        for (int i = static_cast<int>(random() % 12); i > 0; --i)
            text += pieces[random() % pieces.size()];
        for (const std::string& pattern : patterns)
        {
            for (int from = -1; from <= static_cast<int>(text.size()) + 2; ++from)
            {
                const int expected = FindNoCase(pattern, text, from);
                ASSERT_EQ(detail::FindNoCaseFast(pattern, text, from), expected)
                    << text << " / " << pattern << " @" << from;
                hits += expected != 0 ? 1 : 0;
            }
        }
    }
    EXPECT_GT(hits, 10000);
}

// The remembered search answers must equal a fresh search wherever the position goes
// and whatever is replaced between two searches.
TEST(HXParserMemo, AnswersLikeAFreshSearchAcrossReplacements)
{
    using detail::TSearchMemo;
    const std::vector<std::string> pieces = {"<script", "<SCRIPT>", "/script", "/Script", ">", "a", "<", "t", "/", "x"};
    std::mt19937 random(7);
    const auto pick = [&](int count)
    {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += pieces[random() % pieces.size()];
        return text;
    };
    int hits = 0;
    for (int round = 0; round < 3000; ++round)
    {
        std::string text = pick(static_cast<int>(random() % 30));
        TSearchMemo close(">", false, TSearchMemo::Direction::Forward);
        TSearchMemo scriptEnd("/script", true, TSearchMemo::Direction::Forward);
        TSearchMemo scriptStart("<script", true, TSearchMemo::Direction::Backward);
        int position = 1;
        for (int step = 0; step < 40; ++step)
        {
            const int size = static_cast<int>(text.size());
            position = random() % 4 == 0 ? 1 + static_cast<int>(random() % (size + 2))
                                         : position + static_cast<int>(random() % 5);
            ASSERT_EQ(close.Find(text, position), FindForward(text, ">", position)) << text << " @" << position;
            ASSERT_EQ(scriptEnd.Find(text, position), FindForward(text, "/script", -position))
                << text << " @" << position;
            const int expected = FindBackward(text, "<script", -position);
            ASSERT_EQ(scriptStart.Find(text, position), expected) << text << " @" << position;
            hits += expected != 0 ? 1 : 0;
            if (random() % 2)
            {
                const int start = 1 + static_cast<int>(random() % (size + 1));
                const int oldLength = static_cast<int>(random() % (size - start + 2));
                const std::string replacement = pick(static_cast<int>(random() % 3));
                text.replace(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(oldLength), replacement);
                close.Replaced(text, start, oldLength, static_cast<int>(replacement.size()));
                scriptEnd.Replaced(text, start, oldLength, static_cast<int>(replacement.size()));
                scriptStart.Replaced(text, start, oldLength, static_cast<int>(replacement.size()));
            }
        }
    }
    EXPECT_GT(hits, 10000);
}

// The output buffer must give exactly what replacing in place gives: the same finds at
// the same positions and the same text, SCRIPT blocks included, whatever the replacements
// hold. The reference joins the text after every replacement, which is replacing in place.
TEST(HXParserReplace, OutputBufferAnswersLikeReplacingInPlace)
{
    const std::vector<std::string> pieces = {
        "<script>",     "<SCRIPT", "</script>", "/script",         "'",  "\"", ">",  "a.gif", "/",    "<a href=\"",
        "<A HREF = \"", "x",       " ",         "javascript:go('", "')", "<",  "s/", "cript", "<scr", "ipt"};
    std::mt19937 random(11);
    const auto pick = [&](int count)
    {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += pieces[random() % pieces.size()];
        return text;
    };
    struct TFind
    {
        std::string value;
        int valueStart, valueEnd, nextFrom, cursor, tagStart;
        std::string tagText;
        bool operator==(const TFind&) const = default;
    };
    int replaced = 0;
    int found = 0;
    int foundInScripts = 0;
    for (int round = 0; round < 20000; ++round)
    {
        // Quoted-text mode limited to SCRIPT blocks twice as often: its block test reads
        // back across replaced values.
        const unsigned roll = random() % 4;
        const std::uint8_t mode = static_cast<std::uint8_t>(roll == 3 ? THXParser::kQuotedInScript : roll);
        const std::string page = (mode == THXParser::kQuotedInScript && random() % 2 ? "<script>" : "") +
                                 pick(static_cast<int>(random() % 40));
        const bool tagMode = mode == THXParser::kTagMode;
        // Closing quotes that are themselves the end of a script mark put marks across the
        // seam between a replaced value and the text after it.
        static const std::pair<std::string, std::string> quotes[] = {
            {"'", "'"}, {"\"", "\""}, {"'", "ipt"}, {"\"", "script"}};
        const auto& [open, close] = quotes[random() % 4];
        const unsigned seed = static_cast<unsigned>(random());
        std::vector<TFind> finds[2];
        std::string texts[2];
        for (int reference = 0; reference < 2; ++reference)
        {
            THXParser parser(page, tagMode ? "A" : open, tagMode ? ">" : close, tagMode ? "HREF" : "", mode);
            std::mt19937 choices(seed);
            int guard = 0;
            do
            {
                const std::string value = parser.FindNext();
                finds[reference].push_back({value, parser.ValueStart, parser.ValueEnd, parser.NextFrom, parser.Cursor,
                                            parser.TagStart, parser.TagText()});
                if (!parser.Value.empty() && choices() % 3 != 0)
                {
                    std::string replacement;
                    for (int i = static_cast<int>(choices() % 3); i > 0; --i)
                        replacement += pieces[choices() % pieces.size()];
                    if (parser.ReplaceValue(replacement) && reference == 0)
                        ++replaced;
                    if (reference == 1)
                        parser.CurrentText();
                }
            } while (parser.NextFrom != 0 && parser.Cursor != 0 && ++guard < 1000);
            texts[reference] = parser.CurrentText();
        }
        ASSERT_EQ(finds[0], finds[1]) << "page: " << page << " mode " << int(mode);
        ASSERT_EQ(texts[0], texts[1]) << "page: " << page << " mode " << int(mode);
        for (const TFind& find : finds[0])
        {
            found += find.value.empty() ? 0 : 1;
            foundInScripts += !find.value.empty() && mode == THXParser::kQuotedInScript ? 1 : 0;
        }
    }
    EXPECT_GT(replaced, 3000);
    EXPECT_GT(found, 1000);
    EXPECT_GT(foundInScripts, 100);
}

// A replaced value can end a SCRIPT block or, with the bytes after it, start one: the
// block test reads the text as rewritten, wherever the marks lie.
TEST(HXParserReplace, ScriptMarksFormedByReplacementsCount)
{
    THXParser parser("<script>'aaaaipt 'b.gifipt 'c.gifipt </script>", "'", "ipt", "", THXParser::kQuotedInScript);
    EXPECT_EQ(parser.FindNext(), "");
    EXPECT_EQ(parser.Value, "aaaa");
    // "/script" ends the first block; "<scr" and the closing "ipt" open another.
    EXPECT_TRUE(parser.ReplaceValue("/script<scr"));
    EXPECT_EQ(parser.FindNext(), "b.gif");
    EXPECT_TRUE(parser.ReplaceValue("b2.gif"));
    EXPECT_EQ(parser.FindNext(), "c.gif");
    EXPECT_EQ(parser.CurrentText(), "<script>'/script<scr"
                                    "ipt 'b2.gif"
                                    "ipt 'c.gif"
                                    "ipt </script>");

    // Without the second replacement's mark the block ends inside the first value.
    THXParser ended("<script>'aaaaipt 'b.gifipt </script>", "'", "ipt", "", THXParser::kQuotedInScript);
    EXPECT_EQ(ended.FindNext(), "");
    EXPECT_TRUE(ended.ReplaceValue("/script"));
    EXPECT_EQ(ended.FindNext(), "");
    EXPECT_EQ(ended.Value, "");
}

TEST(HXParserHostile, EdgesOfTheTextEndTheScan)
{
    for (const std::string page : {"", "<", "abc<", "<a", "<a href", "<a href=\"x.htm", "<a href=\"", "'", "'a.gif",
                                   "\"x\"", "x>'", "'a.gif'>'"})
    {
        EXPECT_EQ(Tags(page, "A", "HREF"), TValues{}) << page;
        EXPECT_EQ(Quoted(page, '\'', THXParser::kQuotedEverywhere), page == "'a.gif'>'" ? TValues{"a.gif"} : TValues{})
            << page;
    }
    EXPECT_EQ(Tags("<a href=\"x.htm\">", "", "HREF"), TValues{"x.htm"}); // an empty name matches every tag
    EXPECT_EQ(Tags("<a href=\"x.htm\">", "A", ""), TValues{});
    THXParser noEnd("<a href=\"x.htm\">", "A", "", "HREF", THXParser::kTagMode);
    EXPECT_EQ(Scan(noEnd), TValues{});
    EXPECT_EQ(Quoted("'a.gif'>", '\0', THXParser::kQuotedEverywhere), TValues{});
    THXParser beyond("<a href=\"x.htm\">", "A", ">", "HREF", THXParser::kTagMode);
    beyond.Cursor = 1000;
    EXPECT_EQ(beyond.FindAttribute(), "");
    EXPECT_EQ(beyond.NextFrom, 0);
}

TEST(HXParserHostile, RawBytesPassThroughUntouched)
{
    const std::string value = "a\0\x01\x7F\xFF\xC3(\xE2\x82.gif"s;
    EXPECT_EQ(Tags("<\0a href=\""s + value + "\">", "A", "HREF"), TValues{}); // NUL is not skipped
    EXPECT_EQ(Tags("<\xFF><a href=\"" + value + "\">", "A", "HREF"), TValues{value});
    EXPECT_EQ(Quoted("\0'"s + value + "'\0>"s, '\'', THXParser::kQuotedEverywhere), TValues{value});
    THXParser parser("<a href=\"" + value + "\">\xC3\0text"s, "A", ">", "HREF", THXParser::kTagMode);
    EXPECT_EQ(parser.FindNext(), value);
    EXPECT_EQ(parser.TagText(), "\xC3\0text"s);
}

TEST(HXParserHostile, LargeAdversarialPagesScanInLinearTime)
{
    constexpr std::size_t kSize = 5 * 1024 * 1024;
    const auto repeat = [](const std::string& unit, std::size_t size)
    {
        std::string page;
        page.reserve(size + unit.size());
        while (page.size() < size)
            page += unit;
        return page;
    };
    const auto timed = [](const char* what, THXParser parser, std::size_t expected,
                          const std::function<void(THXParser&)>& afterFind = {})
    {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Scan(parser, afterFind, start + std::chrono::seconds(10)).size(), expected) << what;
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took.count(), 10.0) << what;
        if (std::getenv("HX_PARSER_TIMES") != nullptr)
            std::printf("%-40s %.3f s\n", what, took.count());
    };
    const std::string lessThan = repeat("<", kSize);
    const std::string quotes = repeat("'", kSize);
    const std::string quotedPaths = repeat("'a.b' ", kSize);
    timed("<<<< in tag mode", THXParser(lessThan, "A", ">", "HREF", THXParser::kTagMode), 0);
    timed("<<<< in quoted mode", THXParser(lessThan, "'", "'", "", THXParser::kQuotedEverywhere), 0);
    timed("quotes in tag mode", THXParser(quotes, "A", ">", "HREF", THXParser::kTagMode), 0);
    timed("quotes without >", THXParser(quotes, "'", "'", "", THXParser::kQuotedEverywhere), 0);
    timed("quotes with > at the end", THXParser(quotes + ">", "'", "'", "", THXParser::kQuotedEverywhere), 0);
    timed("tags without the attribute", THXParser(repeat("<a>", kSize), "A", ">", "HREF", THXParser::kTagMode), 0);
    timed("unquoted values", THXParser(repeat("<a href=x>", kSize), "A", ">", "HREF", THXParser::kTagMode), 0);
    timed("unterminated tags", THXParser(repeat("<a href=\"", kSize), "A", ">", "HREF", THXParser::kTagMode), 0);
    timed("quoted paths with > at the end", THXParser(quotedPaths + ">", "'", "'", "", THXParser::kQuotedEverywhere),
          quotedPaths.size() / 6);
    timed("quoted paths outside scripts", THXParser(quotedPaths + ">", "'", "'", "", THXParser::kQuotedInScript), 0);
    timed("quoted paths in a script never closed",
          THXParser("<script>" + quotedPaths + ">", "'", "'", "", THXParser::kQuotedInScript), 0);
    timed("quoted paths in one script",
          THXParser("<script>" + quotedPaths + "</script>", "'", "'", "", THXParser::kQuotedInScript),
          quotedPaths.size() / 6);

    // Replacements go to an output buffer: rewriting every link keeps the scan linear.
    const std::string unit = "<a href=\"a.htm\">x</a> 'p.gif' ";
    const std::string links = repeat(unit, 256 * 1024);
    const std::size_t linkCount = links.size() / unit.size();
    int flip = 0;
    const auto rewrite = [&flip](THXParser& parser)
    {
        if (!parser.Value.empty())
            parser.ReplaceValue(++flip % 2 ? "../a/much/longer/link.htm" : "s");
    };
    timed("tag scan with replacements", THXParser(links, "A", ">", "HREF", THXParser::kTagMode), linkCount, rewrite);
    timed("script scan with replacements",
          THXParser("<script>" + links + "</script>", "'", "'", "", THXParser::kQuotedInScript), linkCount, rewrite);
}

} // namespace
} // namespace hx
