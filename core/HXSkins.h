#pragma once

// Skins: every sub-folder of the program folder's "Skins" folder is a skin named
// after the folder. The "Skin" setting names the skin in force; its folder holds
// the pictures of the main window, the status panel and the reports. A picture the
// skin in force lacks is taken from the "Default" skin; when that lacks it too,
// the window keeps its own built-in picture.

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace hx
{

class THXApp;

// The skin every installation has, and the one whose pictures stand in for a
// picture another skin lacks.
inline constexpr std::string_view kDefaultSkin = "Default";

// The page under the "Home Page Address" setting where more skins can be downloaded.
inline constexpr std::string_view kSkinsPage = "skins/";

// The main window's pictures: the logo animation, the view bar and the buttons
// New, Open, Downloads, the two save modes, the add-to-archive toggle, Help and Go.
inline constexpr std::array<std::string_view, 10> kMainWindowPictures = {
    "hxanim.gif", "screensbar.gif", "new.bmp",      "open.bmp", "dwnloads.bmp",
    "hxmode.bmp", "pimode.bmp",     "addtocur.bmp", "help.bmp", "go.bmp",
};

// The status panel's Run and Stop pictures.
inline constexpr std::array<std::string_view, 2> kStatusPictures = {"run.bmp", "stop.bmp"};

// The skin names: the sub-folders of programFolder + "Skins/", in alphabetical
// order with letter case ignored. Empty when there is no such folder.
std::vector<std::string> ListSkins(const std::string& programFolder);

// The file of a skin's picture: in the folder of `skin`, else in the Default
// skin's folder; empty when neither holds it. Picture names match with letter
// case ignored, as skins made on other systems spell them freely. A skin name that
// is no plain folder name (empty, ".", "..", or holding a slash) has no folder of
// its own, so only the Default skin is asked.
std::string SkinPicture(const std::string& programFolder, const std::string& skin, std::string_view picture);

// The same for the skin in force.
std::string SkinPicture(const THXApp& app, std::string_view picture);

} // namespace hx
