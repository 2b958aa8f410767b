// Fuzz target: the tag scanner and the rewriting of a page. Every mode of the scanner
// runs over the page, replacing some of the values it finds, and what must hold
// whatever the page is, is checked: the scan ends within a bounded number of finds,
// every value stands in the text where it was reported, positions stay inside the
// text, and the rewritten page is the page with exactly the replaced values changed:
// every byte outside them is as it was. The relinking of a saved page and the banner
// insertion run on the page too.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "HXFuzzSupport.h"
#include "engine/HXParser.h"
#include "engine/HXThreadParseRewrite.h"

namespace
{

using hx::fuzz::Check;

// The value reported last stands in the expected text between ValueStart and ValueEnd.
void CheckValue(const hx::THXParser& parser, const std::string& expected)
{
    if (parser.Value.empty())
        return;
    Check(parser.ValueStart >= 1, "a value starts before the text");
    Check(parser.ValueEnd == parser.ValueStart + static_cast<int>(parser.Value.size()) - 1,
          "a value's end does not match its length");
    Check(static_cast<std::size_t>(parser.ValueEnd) <= expected.size(), "a value ends after the text");
    Check(expected.compare(static_cast<std::size_t>(parser.ValueStart - 1), parser.Value.size(), parser.Value) == 0,
          "a value does not stand where it was reported");
}

void Run(hx::THXParser parser, std::uint8_t replaceEvery)
{
    // The page as it must read after the replacements: the replaced values are changed
    // here the same way, and nothing else is.
    std::string expected = parser.Text;
    const std::size_t maxFinds = parser.TextSize() + 2;
    std::size_t finds = 0;
    int lastNextFrom = 0;
    do
    {
        const std::string value = parser.FindNext();
        Check(++finds <= maxFinds, "the scan does not end");
        Check(parser.NextFrom >= 0 && static_cast<std::size_t>(parser.NextFrom) <= parser.TextSize(),
              "the scan position left the text");
        Check(parser.NextFrom == 0 || parser.NextFrom >= lastNextFrom, "the scan went back");
        Check(parser.TextSize() == expected.size(), "the text changed its length unasked");
        CheckValue(parser, expected);
        if (!value.empty())
        {
            Check(value == parser.Value, "the returned value is not the reported one");
            if (parser.QuoteMode == hx::THXParser::kTagMode)
                Check(parser.TagStart < parser.ValueStart && parser.ValueEnd < parser.TagEndPos,
                      "a tag value stands outside its tag");
        }
        (void)parser.TagText();
        if (replaceEvery != 0 && finds % replaceEvery == 0)
        {
            // Alternately longer and shorter, with bytes the scanner looks for.
            const std::string replacement = finds % 2 ? "../x/\"'<script>/script>" : value.substr(0, 1);
            const int start = parser.ValueStart;
            const std::size_t oldLength = parser.Value.size();
            if (parser.ReplaceValue(replacement))
                expected.replace(static_cast<std::size_t>(start - 1), oldLength, replacement);
            CheckValue(parser, expected);
            Check(parser.NextFrom == 0 || static_cast<std::size_t>(parser.NextFrom) <= parser.TextSize(),
                  "the scan position left the text after a replacement");
        }
        lastNextFrom = parser.NextFrom;
    } while (parser.NextFrom != 0 && parser.Cursor != 0);
    Check(parser.CurrentText() == expected, "bytes outside the replaced values changed");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses how often values are replaced; the rest is the page.
    const std::uint8_t replaceEvery = data[0] % 4;
    const std::string page(reinterpret_cast<const char*>(data + 1), size - 1);

    static const char* const kTable[][2] = {
        {"FRAME", "SRC"},       {"A", "HREF"},          {"IMG", "SRC"},   {"INPUT", "SRC"},   {"META", "URL"},
        {"BODY", "BACKGROUND"}, {"BGSOUND", "SRC"},     {"AREA", "HREF"}, {"APPLET", "CODE"}, {"LINK", "HREF"},
        {"BASE", "HREF"},       {"APPLET", "CODEBASE"}, {"", "SRCSET"}};
    for (const auto& row : kTable)
        Run(hx::THXParser(page, row[0], ">", row[1], hx::THXParser::kTagMode), replaceEvery);
    for (const char* quote : {"'", "\""})
    {
        Run(hx::THXParser(page, quote, quote, "", hx::THXParser::kQuotedInScript), replaceEvery);
        Run(hx::THXParser(page, quote, quote, "", hx::THXParser::kQuotedEverywhere), replaceEvery);
    }

    // A saved page whose links go back to addresses and to local files again.
    std::string saved = page;
    const std::vector<hx::TRelink> links = {
        {"http://example.test/a.html", false}, {"http://example.test/img/b.png", true}, {"http://example.test/", true}};
    const int changed = hx::RelinkSavedPage(saved, "http://example.test/dir/page.html", links);
    Check(changed >= 0, "a negative count of changed links");
    Check(changed > 0 || saved == page, "the page changed without a changed link");

    std::string bannered = page;
    const int pieces = hx::InsertAdBanner(bannered, "http://banner.test/");
    Check(pieces >= 0 && pieces <= 2, "more banner pieces than there are");
    Check((pieces == 0) == (bannered == page), "the banner count does not match the page");
    return 0;
}
