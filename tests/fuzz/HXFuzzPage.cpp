// libFuzzer entry point for the tag scanner: runs every mode over the input bytes,
// replacing some of the values found, and checks what must hold whatever the page is:
// the scan ends, every value stands in the text where it was reported, and the
// positions stay inside the text. Built by hand with clang, for example:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. \
//       tests/engine/HXParserFuzz.cpp engine/HXParser.cpp core/HXStrings.cpp core/HXFiles.cpp

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/HXParser.h"

namespace
{

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// The value reported last stands in the text between ValueStart and ValueEnd. The text
// is read from a copy, so the scan under test keeps its output buffer.
void CheckValue(const hx::THXParser& parser)
{
    if (parser.Value.empty())
        return;
    hx::THXParser copy(parser);
    const std::string& text = copy.CurrentText();
    Check(parser.ValueStart >= 1);
    Check(parser.ValueEnd == parser.ValueStart + static_cast<int>(parser.Value.size()) - 1);
    Check(static_cast<std::size_t>(parser.ValueEnd) <= text.size());
    Check(text.compare(static_cast<std::size_t>(parser.ValueStart - 1), parser.Value.size(), parser.Value) == 0);
}

void Run(hx::THXParser parser, std::uint8_t replaceEvery)
{
    const std::size_t maxFinds = parser.TextSize() + 2;
    std::size_t finds = 0;
    int lastNextFrom = 0;
    do
    {
        const std::string value = parser.FindNext();
        Check(++finds <= maxFinds);
        Check(parser.NextFrom >= 0 && static_cast<std::size_t>(parser.NextFrom) <= parser.TextSize());
        Check(parser.NextFrom == 0 || parser.NextFrom >= lastNextFrom);
        CheckValue(parser);
        if (!value.empty())
        {
            Check(value == parser.Value);
            if (parser.QuoteMode == hx::THXParser::kTagMode)
                Check(parser.TagStart < parser.ValueStart && parser.ValueEnd < parser.TagEndPos);
        }
        (void)parser.TagText();
        if (replaceEvery != 0 && finds % replaceEvery == 0)
        {
            // Alternately longer and shorter, with bytes the scanner looks for.
            const std::string replacement = finds % 2 ? "../x/\"'<script>/script>" : value.substr(0, 1);
            parser.ReplaceValue(replacement);
            CheckValue(parser);
            Check(parser.NextFrom == 0 || static_cast<std::size_t>(parser.NextFrom) <= parser.TextSize());
        }
        lastNextFrom = parser.NextFrom;
    } while (parser.NextFrom != 0 && parser.Cursor != 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses how often values are replaced; the rest is the page.
    const std::uint8_t replaceEvery = data[0] % 4;
    const std::string page(reinterpret_cast<const char*>(data + 1), size - 1);

    static const char* const kTable[][2] = {{"FRAME", "SRC"},   {"A", "HREF"},    {"IMG", "SRC"},
                                            {"INPUT", "SRC"},   {"META", "URL"},  {"BODY", "BACKGROUND"},
                                            {"BGSOUND", "SRC"}, {"AREA", "HREF"}, {"APPLET", "CODE"},
                                            {"LINK", "HREF"},   {"BASE", "HREF"}, {"APPLET", "CODEBASE"}};
    for (const auto& row : kTable)
        Run(hx::THXParser(page, row[0], ">", row[1], hx::THXParser::kTagMode), replaceEvery);
    for (const char* quote : {"'", "\""})
    {
        Run(hx::THXParser(page, quote, quote, "", hx::THXParser::kQuotedInScript), replaceEvery);
        Run(hx::THXParser(page, quote, quote, "", hx::THXParser::kQuotedEverywhere), replaceEvery);
    }
    return 0;
}
