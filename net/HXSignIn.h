#pragma once

// Signing in before a crawl: one POST of a sign-in form's fields to the site's
// sign-in address, its redirects followed, every answer's cookies kept in a jar.
// The crawl that follows sends them, so pages behind the sign-in are copied.
//
// Threads: runs on the calling thread and blocks until the exchange is over.

#include <string>

#include "net/agtlsstream.h"

namespace hx
{

class THXCookieJar;

struct TSignInRequest
{
    std::string LoginURL;
    // The form's fields as the browser would send them:
    // "user=ann&password=s%20cret" (application/x-www-form-urlencoded).
    std::string PostData;
    std::string UserAgent;
    std::string Proxy; // "host:port", empty for a direct connection
    std::string ProxyUserName;
    std::string ProxyPassword;
    TTLSOptions TLS;
};

struct TSignInResult
{
    bool SignedIn = false;
    // The status code of the last answer, -1 when none came.
    int Status = -1;
    // The address the last answer came from.
    std::string FinalURL;
    // Why the sign-in failed; empty when it did not.
    std::string Error;
};

// Posts the fields and follows the answer's redirects (301, 302 and 303 with a
// GET, 307 and 308 with the POST again; at most kMaxTransferHops of them). The
// sign-in counts as done when the last answer is a 2xx; a 4xx or 5xx answer, no
// answer or too many redirects fail it. The jar keeps every cookie set on the way.
TSignInResult SignIn(const TSignInRequest& request, THXCookieJar& jar);

} // namespace hx
