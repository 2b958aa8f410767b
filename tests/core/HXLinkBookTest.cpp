#include "core/HXLinkBook.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "core/HXFiles.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

using TPair = THXLinkBook::TPair;

THXLinkBook::TLinks LinksOf(const THXLinkBook& book, TPair target)
{
    THXLinkBook::TLinks found;
    book.ForEach(
        [&](TPair each, const THXLinkBook::TLinks& links)
        {
            if (each == target)
                found = links;
        });
    return found;
}

class HXLinkBookTest : public test::THXSandboxTest
{
};

TEST_F(HXLinkBookTest, EachPageKeepsHowItsOwnLinkIsWritten)
{
    // Page 1 links to the missing item 9; the end of a run gives that link its address.
    THXLinkBook book;
    book.Note(1, 9);
    book.MarkAddressed(9);
    // A page written later (another run, or page 1 parsed again) holds the local name.
    book.Note(2, 9);
    THXLinkBook::TLinks links = LinksOf(book, 9);
    EXPECT_EQ(links.Address, std::vector<TPair>{1});
    EXPECT_EQ(links.Local, std::vector<TPair>{2});
    book.Note(1, 9);
    links = LinksOf(book, 9);
    EXPECT_TRUE(links.Address.empty());
    EXPECT_EQ(links.Local, (std::vector<TPair>{2, 1}));

    // A fetched item is forgotten at once only while no page holds its address.
    book.Note(3, 7);
    book.Fetched(7);
    EXPECT_TRUE(LinksOf(book, 7).Local.empty());
    book.MarkAddressed(9);
    book.Fetched(9);
    EXPECT_EQ(LinksOf(book, 9).Address, (std::vector<TPair>{2, 1}));
}

TEST_F(HXLinkBookTest, TheFileKeepsEachLinksWayAndSkipsWhatItCannotName)
{
    const std::map<TPair, std::string> urls = {
        {1, "http://h/a.html"}, {2, "http://h/b.html"}, {9, "http://h/missing.gif"}};
    THXLinkBook book;
    book.Note(1, 9);
    book.MarkAddressed(9);
    book.Note(2, 9);
    const std::string path = Home().Folder() + "Task.lnk";
    ASSERT_TRUE(book.Save(path, [&](TPair pair) { return urls.at(pair); }));

    // A line of another shape, and one naming an address the queue does not hold.
    std::string text = ReadWholeFile(path).value_or("");
    text += "junk line\n1\thttp://h/gone.gif\thttp://h/a.html\n";
    ASSERT_TRUE(WriteFileAtomic(path, text));
    THXLinkBook loaded;
    loaded.Load(path,
                [&](std::string_view url) -> std::optional<TPair>
                {
                    for (const auto& [pair, each] : urls)
                        if (each == url)
                            return pair;
                    return std::nullopt;
                });
    const THXLinkBook::TLinks links = LinksOf(loaded, 9);
    EXPECT_EQ(links.Address, std::vector<TPair>{1});
    EXPECT_EQ(links.Local, std::vector<TPair>{2});
    int targets = 0;
    loaded.ForEach([&](TPair, const THXLinkBook::TLinks&) { ++targets; });
    EXPECT_EQ(targets, 1);

    // An empty book leaves no file behind.
    ASSERT_TRUE(THXLinkBook().Save(path, [&](TPair pair) { return urls.at(pair); }));
    EXPECT_FALSE(FileExists(path));
}

} // namespace
} // namespace hx
