#include "core/HXSkins.h"

#include <gtest/gtest.h>

#include "core/HXApp.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

class HXSkinsTest : public test::THXSandboxTest
{
protected:
    std::string Program() const { return Home().Folder(); }
};

TEST_F(HXSkinsTest, ListsEverySkinFolderAlphabeticallyIgnoringCase)
{
    EXPECT_TRUE(ListSkins(Program()).empty());
    Home().WriteFile("Skins/ocean/new.bmp", "x");
    Home().WriteFile("Skins/Default/new.bmp", "x");
    Home().WriteFile("Skins/Autumn/go.bmp", "x");
    Home().WriteFile("Skins/blue Steel/readme.txt", "x");
    // A loose file in the Skins folder is no skin.
    Home().WriteFile("Skins/Zebra.bmp", "x");
    const std::vector<std::string> expected = {"Autumn", "blue Steel", "Default", "ocean"};
    EXPECT_EQ(ListSkins(Program()), expected);
}

TEST_F(HXSkinsTest, PictureComesFromTheSkinThenFromDefaultThenNowhere)
{
    Home().WriteFile("Skins/Default/new.bmp", "default new");
    Home().WriteFile("Skins/Default/go.bmp", "default go");
    Home().WriteFile("Skins/Ocean/new.bmp", "ocean new");
    Home().WriteFile("Skins/Ocean/HELP.BMP", "ocean help");
    const std::string skins = Program() + "Skins/";

    EXPECT_EQ(SkinPicture(Program(), "Ocean", "new.bmp"), skins + "Ocean/new.bmp");
    // Lacking in the skin: the Default skin's picture.
    EXPECT_EQ(SkinPicture(Program(), "Ocean", "go.bmp"), skins + "Default/go.bmp");
    // A name spelt in other letter case in the skin's folder is still its picture.
    EXPECT_EQ(SkinPicture(Program(), "Ocean", "help.bmp"), skins + "Ocean/HELP.BMP");
    // Lacking in both: none, so the window keeps its own picture.
    EXPECT_EQ(SkinPicture(Program(), "Ocean", "open.bmp"), "");
    EXPECT_EQ(SkinPicture(Program(), "Default", "help.bmp"), "");
    // A skin that no longer exists falls back as a whole.
    EXPECT_EQ(SkinPicture(Program(), "Gone", "new.bmp"), skins + "Default/new.bmp");
    // A folder of the picture's name is no picture.
    Home().WriteFile("Skins/Ocean/open.bmp/inside", "x");
    EXPECT_EQ(SkinPicture(Program(), "Ocean", "open.bmp"), "");
}

TEST_F(HXSkinsTest, SkinNameThatIsNoFolderNameCannotReachOutsideTheSkins)
{
    Home().WriteFile("Skins/Default/new.bmp", "default new");
    Home().WriteFile("new.bmp", "outside");
    Home().WriteFile("Skins/new.bmp", "loose");
    Home().WriteFile("Other/new.bmp", "other");
    const std::string fallback = Program() + "Skins/Default/new.bmp";
    for (const std::string skin : {"", ".", "..", "../Other", "Default/../.."})
        EXPECT_EQ(SkinPicture(Program(), skin, "new.bmp"), fallback) << skin;
    EXPECT_EQ(SkinPicture(Program(), "Default", "../new.bmp"), "");
}

TEST_F(HXSkinsTest, SkinInForceIsTheSettingsSkin)
{
    Home().WriteFile("Skins/Default/run.bmp", "default run");
    Home().WriteFile("Skins/Night/run.bmp", "night run");
    THXApp app(THXEnvironment::UnderHome(Home().Path().string()));
    EXPECT_EQ(app.Skin(), "Default");
    EXPECT_EQ(SkinPicture(app, "run.bmp"), Program() + "Skins/Default/run.bmp");
    app.SetSkin("Night");
    EXPECT_EQ(SkinPicture(app, "run.bmp"), Program() + "Skins/Night/run.bmp");
}

} // namespace
} // namespace hx
