// Fuzz target: the HTTP response reader. The input (after its first byte) is what a
// server sends: status line, header lines, a body with a length, chunked or until the
// end, gzip or deflate coded. The client reads it over an in-memory connection that
// hands it out a few bytes at a time; the first byte chooses the client's features
// (keep-alive, compression, HEAD or GET, where the body goes, how many bytes a read
// gives). Set-Cookie lines go into a cookie jar. Failures are the exceptions the
// client throws; nothing else may happen.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "HXFuzzSupport.h"
#include "core/HXCookieJar.h"
#include "engine/HXRobots.h"
#include "net/aghttp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using hx::fuzz::Check;
    if (size == 0)
        return 0;
    const std::uint8_t choice = data[0];
    const std::string answer(hx::fuzz::InputText(data + 1, size - 1));
    const std::size_t perRead = (choice >> 5) == 0 ? answer.size() + 1 : std::size_t{1} << ((choice >> 5) - 1);

    hx::THXCookieJar jar;
    hx::TSiteFileBody limited(64 * 1024);
    hx::TagHTTP http;
    http.SetURL("http://example.test/dir/page.html");
    http.SetTimeOut(5);
    http.SetCookieJar(&jar);
    http.SetFeatures({.KeepAlive = (choice & 1) != 0, .Compression = (choice & 2) != 0});
    if ((choice & 8) != 0)
    {
        limited.SetClient(&http);
        http.SetBodyTarget(&limited);
    }
    http.SetStreamFactory([&answer, perRead] { return std::make_shared<hx::TBufferStream>(answer, true, perRead); });

    // Two exchanges: with keep-alive the second may go over the first one's connection.
    for (int exchange = 0; exchange < 2; ++exchange)
    {
        try
        {
            const int status = (choice & 4) != 0 ? http.Head() : http.Get();
            Check(status >= -1, "a status below -1");
            Check(http.Headers().size() <= hx::kMaxHeaderLines, "more header lines than the bound");
            (void)http.HeaderValue("Content-Type");
            (void)http.HeaderValue("Location");
            Check(http.BodySize() >= 0, "a negative body size");
            Check((choice & 8) == 0 || limited.Bytes().size() <= 64 * 1024, "a body past its limit");
        }
        catch (const std::exception&)
        {
        }
    }
    (void)jar.CookieHeader("http://example.test/dir/", 0);
    return 0;
}
