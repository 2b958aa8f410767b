// Updates asked with both validators against a real nginx on 127.0.0.1: the ETag a
// copy stored comes back as If-None-Match, so an unchanged file is answered 304
// even without a date, and a changed ETag brings the new content even when the date
// still matches.

#include <gtest/gtest.h>

#include <string>

#include "TransferFixture.h"
#include "core/HXApp.h"
#include "support/HXNginxFixture.h"

namespace hx::test
{
namespace
{

class TValidatorsTest : public TTransferTest
{
};

TEST_F(TValidatorsTest, UpdatesAskWithTheStoredETag)
{
    const std::string site = Home().Folder() + "www";
    const std::string page = "<html><body>first</body></html>";
    ASSERT_TRUE(WriteFileAtomic(site + "/page.html", page));
    THXNginx nginx(site);
    if (!nginx.Started())
        GTEST_SKIP() << nginx.Error();

    // The first copy stores the ETag with the item; the record holds it.
    const std::string url = nginx.URL("/page.html");
    THXQItem* item = AddItem(url);
    ASSERT_TRUE(FetchToEnd(*item));
    ASSERT_EQ(item->State, kStateSaved);
    task->ReloadItem(*item);
    const std::string etag = item->ETag;
    ASSERT_FALSE(etag.empty());
    EXPECT_EQ(etag.front(), '"');
    EXPECT_EQ(task->RecordField(item->Index / 2, 11), etag);

    // An update that knows only the ETag: 304, the file stays.
    THXQItem* byETag = AddItem(url, kModeUpdate, "200 OK", "", item->Size);
    byETag->ETag = etag;
    task->WriteItemRecord(*byETag);
    ASSERT_TRUE(FetchToEnd(*byETag));
    EXPECT_EQ(byETag->State, kStateUpdated);
    EXPECT_EQ(byETag->StatusText, "304 Not Modified");

    // The date matches but the ETag is not the server's: the content comes again.
    ASSERT_TRUE(WriteFileAtomic(LocalPath(url), "stale copy"));
    task->ReloadItem(*item);
    THXQItem* stale = AddItem(url, kModeUpdate, "200 OK", item->LastModified, item->Size);
    stale->ETag = "\"not-the-servers\"";
    task->WriteItemRecord(*stale);
    ASSERT_TRUE(FetchToEnd(*stale));
    EXPECT_EQ(stale->StatusText, "200 OK");
    EXPECT_EQ(ReadWholeFile(LocalPath(url)).value_or(""), page);
    task->ReloadItem(*stale);
    EXPECT_EQ(stale->ETag, etag) << "the new ETag replaces the old one";
}

} // namespace
} // namespace hx::test
