// Whole transfers against a real nginx, directly and through a real tinyproxy
// (with and without Basic proxy authorization). The servers run on free ports of
// 127.0.0.1; without the programs installed the tests skip.

#include <gtest/gtest.h>

#include <string>

#include "TransferFixture.h"
#include "core/HXApp.h"
#include "net/HXThreadHTTP.h"
#include "support/HXNginxFixture.h"

namespace hx::test
{
namespace
{

std::string Pattern(std::size_t size)
{
    std::string bytes(size, ' ');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('!' + static_cast<char>((i * 7 + i / 251) % 90));
    return bytes;
}

const std::string kRedirects = "    location = /old.html { return 301 /page.html; }\n"
                               "    location = /see.html { return 303 /page.html; }\n"
                               "    location = /temp.html { return 307 /page.html; }\n"
                               "    location = /perm.html { return 308 /page.html; }\n"
                               "    location = /loop.html { return 302 /loop.html; }\n";

class TRealServersTest : public TTransferTest
{
protected:
    void SetUp() override
    {
        TTransferTest::SetUp();
        site = Home().Folder() + "www";
        page = "<html><body>served by nginx</body></html>";
        big = Pattern(3 * 1024 * 1024 + 17);
        ASSERT_TRUE(WriteFileAtomic(site + "/page.html", page));
        ASSERT_TRUE(WriteFileAtomic(site + "/files/big.bin", big));
    }

    std::string site;
    std::string page;
    std::string big;
};

TEST_F(TRealServersTest, TransfersFromNginx)
{
    THXNginx nginx(site, kRedirects);
    if (!nginx.Started())
        GTEST_SKIP() << nginx.Error();

    const std::string pageURL = nginx.URL("/page.html");
    THXQItem* item = AddItem(pageURL);
    ASSERT_TRUE(FetchToEnd(*item));
    EXPECT_EQ(item->State, kStateSaved);
    EXPECT_EQ(item->StatusText, "200 OK");
    EXPECT_EQ(item->Size, static_cast<std::int64_t>(page.size()));
    EXPECT_FALSE(item->LastModified.empty());
    EXPECT_EQ(ReadWholeFile(LocalPath(pageURL)).value_or(""), page);

    const std::string bigURL = nginx.URL("/files/big.bin");
    THXQItem* bigItem = AddItem(bigURL);
    ASSERT_TRUE(FetchToEnd(*bigItem));
    EXPECT_EQ(bigItem->State, kStateSaved);
    EXPECT_EQ(bigItem->Size, static_cast<std::int64_t>(big.size()));
    EXPECT_TRUE(ReadWholeFile(LocalPath(bigURL)).value_or("") == big);

    // Every redirect code nginx sends lands on the page, saved under the item's name.
    for (const std::string name : {"old", "see", "temp", "perm"})
    {
        const std::string url = nginx.URL("/" + name + ".html");
        THXQItem* moved = AddItem(url);
        ASSERT_TRUE(FetchToEnd(*moved));
        EXPECT_EQ(moved->State, kStateSaved) << name;
        EXPECT_EQ(ReadWholeFile(LocalPath(url)).value_or(""), page) << name;
    }
    THXQItem* loop = AddItem(nginx.URL("/loop.html"));
    ASSERT_TRUE(FetchToEnd(*loop));
    EXPECT_EQ(loop->State, kStateError);
    EXPECT_EQ(loop->StatusText.rfind("Too many redirects (302 ", 0), 0u) << loop->StatusText;

    THXQItem* missing = AddItem(nginx.URL("/missing.html"));
    ASSERT_TRUE(FetchToEnd(*missing));
    EXPECT_EQ(missing->State, kStateError);
    EXPECT_EQ(missing->StatusText, "404 Not Found");
    EXPECT_FALSE(FileExists(LocalPath(nginx.URL("/missing.html"))));

    // Unchanged since the saved date: 304, the file stays.
    THXQItem* update = AddItem(pageURL, kModeUpdate, "200 OK", item->LastModified, item->Size);
    ASSERT_TRUE(FetchToEnd(*update));
    EXPECT_EQ(update->State, kStateUpdated);
    EXPECT_EQ(update->StatusText, "304 Not Modified");

    // An incomplete file is completed from the byte it ends on.
    const std::string resumedURL = nginx.URL("/files/big.bin?again");
    const std::size_t had = 1000001;
    std::string partial = big.substr(0, had);
    partial.back() = '#'; // the last byte held is asked for again and overwritten
    ASSERT_TRUE(WriteFileAtomic(LocalPath(resumedURL), partial));
    THXQItem* resumed = AddItem(resumedURL, kModeDownload, "Incomplete (" + std::to_string(had) + " bytes)");
    ASSERT_TRUE(FetchToEnd(*resumed));
    EXPECT_EQ(resumed->State, kStateSaved);
    EXPECT_EQ(resumed->StatusText, "206 Partial Content");
    EXPECT_TRUE(ReadWholeFile(LocalPath(resumedURL)).value_or("") == big);
}

TEST_F(TRealServersTest, TransfersThroughTinyproxy)
{
    THXNginx nginx(site, kRedirects);
    if (!nginx.Started())
        GTEST_SKIP() << nginx.Error();
    THXTinyproxy open;
    if (!open.Started())
        GTEST_SKIP() << open.Error();
    THXTinyproxy guarded("hxuser", "s3cret");
    ASSERT_TRUE(guarded.Started()) << guarded.Error();

    app->SetUseProxy(true);
    app->SetProxyAddress("127.0.0.1");
    app->SetProxyPort(std::to_string(open.Port()));
    const std::string bigURL = nginx.URL("/files/big.bin");
    THXQItem* viaOpen = AddItem(bigURL);
    ASSERT_TRUE(FetchToEnd(*viaOpen));
    EXPECT_EQ(viaOpen->State, kStateSaved);
    EXPECT_TRUE(ReadWholeFile(LocalPath(bigURL)).value_or("") == big);
    THXQItem* movedOpen = AddItem(nginx.URL("/old.html"));
    ASSERT_TRUE(FetchToEnd(*movedOpen));
    EXPECT_EQ(ReadWholeFile(LocalPath(nginx.URL("/old.html"))).value_or(""), page);

    // The guarded proxy lets through only the right credentials.
    app->SetProxyPort(std::to_string(guarded.Port()));
    app->SetProxyAuthorization("hxuser:wrong");
    const std::string pageURL = nginx.URL("/page.html");
    THXQItem* refused = AddItem(pageURL);
    ASSERT_TRUE(FetchToEnd(*refused));
    EXPECT_EQ(refused->State, kStateError);
    // tinyproxy answers a missing or wrong proxy authorization with 401 (some
    // versions with 407).
    EXPECT_TRUE(refused->StatusText.rfind("401 ", 0) == 0 || refused->StatusText.rfind("407 ", 0) == 0)
        << refused->StatusText;
    EXPECT_FALSE(FileExists(LocalPath(pageURL)));

    app->SetProxyAuthorization("hxuser:s3cret");
    task->SetItemState(*refused, kStateNone);
    ASSERT_TRUE(FetchToEnd(*refused));
    EXPECT_EQ(refused->State, kStateSaved);
    EXPECT_EQ(refused->StatusText, "200 OK");
    EXPECT_EQ(ReadWholeFile(LocalPath(pageURL)).value_or(""), page);
}

} // namespace
} // namespace hx::test
