#include "net/HXSignIn.h"

#include <exception>

#include "core/HXCookieJar.h"
#include "core/HXPacing.h"
#include "core/HXURL.h"
#include "net/HXThreadHTTP.h"
#include "net/aghttp.h"

namespace hx
{

namespace
{

constexpr std::string_view kFormType = "application/x-www-form-urlencoded";

} // namespace

TSignInResult SignIn(const TSignInRequest& request, THXCookieJar& jar)
{
    TSignInResult result;
    if (!IsWebURL(request.LoginURL))
    {
        result.Error = "Invalid URL: " + request.LoginURL;
        return result;
    }
    TagHTTP http;
    http.SetCookieJar(&jar);
    http.SetUserAgent(request.UserAgent);
    http.SetProxyUserName(request.ProxyUserName);
    http.SetProxyPassword(request.ProxyPassword);
    http.SetTLSOptions(request.TLS);
    http.SetTimeOut(pacing::kTransferTimeOutSeconds);
    // The pages the answers lead to are not kept: only their cookies matter.
    http.BodyWanted = [] { return false; };
    std::string url = request.LoginURL;
    bool post = true;
    try
    {
        http.SetProxy(request.Proxy);
        for (int hop = 0;; ++hop)
        {
            http.SetURL(url);
            result.FinalURL = url;
            result.Status = post ? http.Post(kFormType, request.PostData) : http.Get();
            if (!IsRedirectStatus(result.Status))
                break;
            const std::string location = http.HeaderValue("Location");
            if (location.empty())
                break;
            if (hop == kMaxTransferHops)
            {
                result.Error = std::string(kTooManyRedirectsText);
                return result;
            }
            // The address as the server wrote it: a sign-in's pages are asked for
            // exactly, not in the crawl's normal form.
            const std::string next = IsWebURL(location) ? location : ResolveLink(location, DirectoryURL(url));
            if (!IsWebURL(next))
            {
                result.Error = "Invalid URL: " + location;
                return result;
            }
            url = next;
            // A 307 or 308 asks for the same request at the new address; the others
            // for the page to show, with a GET.
            post = post && (result.Status == 307 || result.Status == 308);
        }
    }
    catch (const std::exception& error)
    {
        result.Error = error.what();
        return result;
    }
    if (result.Status >= 200 && result.Status < 300)
        result.SignedIn = true;
    else
        result.Error = "The sign-in was answered " +
                       (http.Headers().empty() ? std::to_string(result.Status) : http.Headers().front());
    return result;
}

} // namespace hx
