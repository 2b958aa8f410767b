#include "core/HXBrowseAddress.h"

#include <string_view>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXTask.h"
#include "core/HXURL.h"

namespace hx
{

namespace
{

std::string HtmlAttribute(std::string_view text)
{
    std::string escaped;
    for (char c : text)
    {
        if (c == '&')
            escaped += "&amp;";
        else if (c == '"')
            escaped += "&quot;";
        else if (c == '<')
            escaped += "&lt;";
        else if (c == '>')
            escaped += "&gt;";
        else
            escaped += c;
    }
    return escaped;
}

} // namespace

std::string WriteBannerWrapper(const std::string& folder, const std::string& bannerPage, const std::string& url)
{
    const std::string page = "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\r\n"
                             "<html>\r\n<head>\r\n<title>Harbex</title>\r\n</head>\r\n"
                             "<frameset rows=\"60,*\" frameborder=\"0\" border=\"0\" framespacing=\"0\">\r\n"
                             "<frame src=\"" +
                             HtmlAttribute(bannerPage) +
                             "\" marginwidth=\"0\" marginheight=\"0\" scrolling=\"no\" noresize>\r\n"
                             "<frame src=\"" +
                             HtmlAttribute(url) +
                             "\" marginwidth=\"0\" marginheight=\"0\" scrolling=\"auto\">\r\n"
                             "<noframes>\r\n<body bgcolor=\"#FFFFFF\">\r\nYour browser does not support frames.\r\n"
                             "</body>\r\n</noframes>\r\n</frameset>\r\n</html>\r\n";
    const std::string path = IncludeTrailingSlash(folder) + "Harbex.htm";
    ForceDirectories(IncludeTrailingSlash(folder));
    return WriteFileAtomic(path, page) ? path : std::string();
}

std::string OnlineAddress(THXApp& app, const std::string& url)
{
    const std::string bannerPage = app.BannerPage();
    if (app.NoAds() || bannerPage.empty())
        return url;
    const std::string wrapper = WriteBannerWrapper(app.GetTempFolder(), bannerPage, url);
    return wrapper.empty() ? url : wrapper;
}

std::string OfflinePath(const THXTask& task, const std::string& url, const std::string& unpackedFolder)
{
    const std::string root = task.IntranetMode ? IncludeTrailingSlash(task.Destination) : unpackedFolder;
    return LocalFileName(root, DirectoryURL(url), url);
}

} // namespace hx
