#include "core/HXSkins.h"

#include <algorithm>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXPaths.h"
#include "core/HXStrings.h"

namespace hx
{

namespace
{

std::string SkinsFolder(const std::string& programFolder)
{
    return IncludeTrailingSlash(programFolder) + "Skins/";
}

bool IsPlainFolderName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

// The picture's file in one folder: the exact name first, else a name that
// differs only in letter case.
std::string PictureIn(const std::string& folder, std::string_view picture)
{
    const std::string exact = folder + std::string(picture);
    if (FileExists(exact))
        return exact;
    for (const std::string& name : ListFiles(folder, picture))
        if (SameTextNoCase(name, picture) && FileExists(folder + name))
            return folder + name;
    return {};
}

} // namespace

std::vector<std::string> ListSkins(const std::string& programFolder)
{
    std::vector<std::string> skins = ListFolders(SkinsFolder(programFolder));
    std::stable_sort(skins.begin(), skins.end(),
                     [](const std::string& a, const std::string& b) { return LowerCase(a) < LowerCase(b); });
    return skins;
}

std::string SkinPicture(const std::string& programFolder, const std::string& skin, std::string_view picture)
{
    if (!IsPlainFolderName(picture))
        return {};
    const std::string skins = SkinsFolder(programFolder);
    if (IsPlainFolderName(skin))
        if (std::string path = PictureIn(skins + skin + "/", picture); !path.empty())
            return path;
    return PictureIn(skins + std::string(kDefaultSkin) + "/", picture);
}

std::string SkinPicture(const THXApp& app, std::string_view picture)
{
    return SkinPicture(app.ProgramFolder(), app.Skin(), picture);
}

} // namespace hx
