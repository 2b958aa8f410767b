#include "core/HXFileTypes.h"

#include <gtest/gtest.h>

#include "core/HXApp.h"
#include "core/HXSettingsStore.h"

namespace hx
{
namespace
{

class HXFileTypesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WriteGroup(store, "HTML", ".htm;.html;.asp;");
        WriteGroup(store, "Images", ".gif;.jpg;.jpeg;.png;");
        WriteGroup(store, "Also Images", ".png;.tif");
    }
    THXSettingsStore store;
};

TEST_F(HXFileTypesTest, UrlsAreClassifiedByExtensionAndQuery)
{
    EXPECT_EQ(GroupOfURL(store, "http://h/dir/"), "HTML");
    EXPECT_EQ(GroupOfURL(store, "http://h/"), "HTML");
    EXPECT_EQ(GroupOfURL(store, "http://h/page.HTML"), "HTML");
    EXPECT_EQ(GroupOfURL(store, "http://h/pic.JPG"), "Images");
    EXPECT_EQ(GroupOfURL(store, "http://h/run.cgi?x=1"), "HTML");
    EXPECT_EQ(GroupOfURL(store, "http://h/img.cgi?type=gif"), "Images");
    EXPECT_EQ(GroupOfURL(store, "http://h/img.cgi?type=jpg"), "Images");
    EXPECT_EQ(GroupOfURL(store, "http://h/a.png"), "Images") << "the first group in store order wins";
    EXPECT_EQ(GroupOfURL(store, "http://h/a.tif"), "Also Images") << "the editor appended the missing ';'";
    EXPECT_EQ(GroupOfURL(store, "http://h/song.mp3"), "");
    // ".htm" must not match inside ".html;" of another extension: the ";" anchors it.
    THXSettingsStore narrow;
    WriteGroup(narrow, "Long", ".html;");
    EXPECT_EQ(GroupOfURL(narrow, "http://h/a.htm"), "");
}

TEST_F(HXFileTypesTest, FilesAreClassifiedByTheirExtension)
{
    EXPECT_EQ(GroupOfFile(store, "/x/y/Index.HTM"), "HTML");
    EXPECT_EQ(GroupOfFile(store, "/x/y.d/picture.jpeg"), "Images");
    EXPECT_EQ(GroupOfFile(store, "/x/y.d/noext"), "");
    EXPECT_EQ(GroupOfFile(store, "/x/y.htm/noext"), "");
}

TEST_F(HXFileTypesTest, GroupsAreReadInStoreOrderAndCanBeChanged)
{
    TFileTypeGroups groups = ReadGroups(store);
    EXPECT_EQ(groups.names, (std::vector<std::string>{"HTML", "Images", "Also Images"}));
    EXPECT_EQ(groups.texts[2], ".png;.tif;");
    WriteGroup(store, "Images", ".gif;.jpg");
    EXPECT_EQ(store.ReadString(kFileTypesKey, "Images", ""), ".gif;.jpg;");
    EXPECT_EQ(GroupOfURL(store, "http://h/a.png"), "Also Images");
    DeleteGroup(store, "Also Images");
    EXPECT_EQ(GroupOfURL(store, "http://h/a.png"), "");
    EXPECT_EQ(ReadGroups(store).names, (std::vector<std::string>{"HTML", "Images"}));
    WriteGroup(store, "Empty", "");
    EXPECT_EQ(store.ReadString(kFileTypesKey, "Empty", "?"), "");
}

} // namespace
} // namespace hx
