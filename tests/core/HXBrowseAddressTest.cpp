// The addresses a queue item is browsed at: the banner wrapper page that frames the
// live address when a banner page is set and "No Ads" is not, and the saved copy
// under the intranet folder or where a Zip task's archive was unpacked.

#include "core/HXBrowseAddress.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

class HXBrowseAddressTest : public test::THXSandboxTest
{
protected:
    void SetUp() override
    {
        test::THXSandboxTest::SetUp();
        app = std::make_unique<THXApp>(THXEnvironment::UnderHome(Home().Path().string()));
    }

    std::unique_ptr<THXTask> NewTask()
    {
        auto task = std::make_unique<THXTask>(*app);
        task->IntranetMode = true;
        task->Destination = Home().Folder() + "Intranet/Paths/";
        return task;
    }

    std::unique_ptr<THXApp> app;
};

TEST_F(HXBrowseAddressTest, WrapperPageAndBrowsePaths)
{
    // "No Ads" off but no banner page: the address itself, no wrapper page written.
    app->SetNoAds(false);
    const std::string url = "http://127.0.0.1:9/a b.html?x=1&y=\"2\"";
    const std::string wrapper = app->GetTempFolder() + "Harbex.htm";
    EXPECT_EQ(OnlineAddress(*app, url), url);
    EXPECT_FALSE(FileExists(wrapper));
    // A banner page set: the wrapper page frames the address under the banner row.
    app->SetBannerPage("http://127.0.0.1:9/ads/b468_60.htm");
    EXPECT_EQ(OnlineAddress(*app, url), wrapper);
    const std::string page = ReadWholeFile(wrapper).value_or("");
    EXPECT_TRUE(page.starts_with("<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">")) << page;
    EXPECT_NE(page.find("<frameset rows=\"60,*\" frameborder=\"0\" border=\"0\" framespacing=\"0\">"),
              std::string::npos);
    EXPECT_NE(page.find("<frame src=\"http://127.0.0.1:9/ads/b468_60.htm\" marginwidth=\"0\" marginheight=\"0\" "
                        "scrolling=\"no\""),
              std::string::npos)
        << page;
    EXPECT_NE(page.find("src=\"http://127.0.0.1:9/a b.html?x=1&amp;y=&quot;2&quot;\""), std::string::npos) << page;
    EXPECT_NE(page.find("<body bgcolor=\"#FFFFFF\">\r\nYour browser does not support frames."), std::string::npos);
    // The page is replaced for the next address.
    EXPECT_EQ(OnlineAddress(*app, "http://127.0.0.1:9/other.html"), wrapper);
    const std::string again = ReadWholeFile(wrapper).value_or("");
    EXPECT_NE(again.find("<frame src=\"http://127.0.0.1:9/other.html\""), std::string::npos);
    EXPECT_EQ(again.find("a b.html"), std::string::npos);
    // "No Ads" set: the address itself, banner page or not.
    app->SetNoAds(true);
    EXPECT_EQ(OnlineAddress(*app, url), url);

    // The saved copy: under the intranet folder, or where the archive was unpacked.
    auto task = NewTask();
    const std::string item = "http://127.0.0.1:9/sub/page.html";
    EXPECT_EQ(OfflinePath(*task, item, "/unused/"), LocalFileName(task->Destination, "http://127.0.0.1:9/sub/", item));
    task->IntranetMode = false;
    EXPECT_EQ(OfflinePath(*task, item, app->GetTempFolder()),
              LocalFileName(app->GetTempFolder(), "http://127.0.0.1:9/sub/", item));
    EXPECT_TRUE(OfflinePath(*task, item, app->GetTempFolder()).starts_with(app->GetTempFolder()));
}

} // namespace
} // namespace hx
