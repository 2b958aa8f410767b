#include "core/HXCookieJar.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include "support/HXSandbox.h"

namespace hx
{
namespace
{

// 1 January 2030, 00:00:00 UTC: every test runs at this fixed time.
constexpr std::int64_t kNow = 1893456000;

TEST(HXCookieJarTest, CookieDatesAreReadAsBrowsersReadThem)
{
    EXPECT_EQ(ParseCookieDate("Sun, 06 Nov 1994 08:49:37 GMT"), 784111777);
    EXPECT_EQ(ParseCookieDate("Sunday, 06-Nov-94 08:49:37 GMT"), 784111777);
    EXPECT_EQ(ParseCookieDate("Sun Nov  6 08:49:37 1994"), 784111777);
    EXPECT_EQ(ParseCookieDate("Wed, 01 Jan 2030 00:00:00 GMT"), kNow);
    // Two-digit years: 70..99 are 19xx, 00..69 are 20xx.
    EXPECT_EQ(ParseCookieDate("01-Jan-30 00:00:00"), kNow);
    // Not dates: a missing part, an impossible day, hour or year.
    EXPECT_EQ(ParseCookieDate("Sun, 06 Nov 08:49:37 GMT"), -1);
    EXPECT_EQ(ParseCookieDate("31 Feb 2030 00:00:00"), -1);
    EXPECT_EQ(ParseCookieDate("01 Jan 2030 24:00:00"), -1);
    EXPECT_EQ(ParseCookieDate("01 Jan 1600 00:00:00"), -1);
    EXPECT_EQ(ParseCookieDate(""), -1);
}

TEST(HXCookieJarTest, HostOnlyAndPathScopedCookiesGoWhereTheRfcSends)
{
    THXCookieJar jar;
    jar.SetFromHeader("http://127.0.0.1:8080/index.html", "session=abc; HttpOnly; SameSite=Lax", kNow);
    // Set by /a/index.html with Path=/a/: sent to /a/1.html, not to /b/.
    jar.SetFromHeader("http://127.0.0.1:8080/a/index.html", "folder=xyz; Path=/a/", kNow);
    // No Path: the folder of the page that set it.
    jar.SetFromHeader("http://127.0.0.1:8080/docs/guide/page.html", "guide=1", kNow);
    EXPECT_EQ(jar.CookieHeader("http://127.0.0.1:8080/", kNow), "session=abc");
    EXPECT_EQ(jar.CookieHeader("http://127.0.0.1:8080/a/1.html", kNow), "folder=xyz; session=abc");
    EXPECT_EQ(jar.CookieHeader("http://127.0.0.1:8080/b/1.html", kNow), "session=abc");
    EXPECT_EQ(jar.CookieHeader("http://127.0.0.1:8080/docs/guide", kNow), "guide=1; session=abc");
    EXPECT_EQ(jar.CookieHeader("http://127.0.0.1:8080/docs/guide/x/y.html?q=1", kNow), "guide=1; session=abc");
    EXPECT_EQ(jar.CookieHeader("http://127.0.0.1:8080/docs/guidebook", kNow), "session=abc");
    // Another host, even on the same machine, gets nothing.
    EXPECT_EQ(jar.CookieHeader("http://127.0.0.2:8080/", kNow), "");
    EXPECT_EQ(jar.CookieHeader("http://localhost:8080/", kNow), "");

    const std::vector<THXCookie> cookies = jar.Cookies();
    ASSERT_EQ(cookies.size(), 3u);
    EXPECT_EQ(cookies[0].Path, "/");
    EXPECT_TRUE(cookies[0].HttpOnly);
    EXPECT_TRUE(cookies[0].HostOnly);
    EXPECT_EQ(cookies[0].Domain, "127.0.0.1");
    EXPECT_EQ(cookies[1].Path, "/a/");
    EXPECT_EQ(cookies[2].Path, "/docs/guide");

    // The same name, domain and path replaces the value and keeps its age.
    jar.SetFromHeader("http://127.0.0.1:8080/", "session=def", kNow + 5);
    EXPECT_EQ(jar.CookieHeader("http://127.0.0.1/", kNow), "session=def");
    EXPECT_EQ(jar.Cookies()[0].Created, kNow);
    // Malformed pairs are ignored.
    jar.SetFromHeader("http://127.0.0.1/", "novalue", kNow);
    jar.SetFromHeader("http://127.0.0.1/", "=x", kNow);
    jar.SetFromHeader("http://127.0.0.1/", "a=b\x01", kNow);
    EXPECT_EQ(jar.Count(), 3u);
}

TEST(HXCookieJarTest, DomainCookiesReachSubdomainsAndPublicSuffixesAreRefused)
{
    THXCookieJar jar;
    jar.SetFromHeader("http://www.example.com/", "d=1; Domain=.Example.COM", kNow);
    jar.SetFromHeader("http://www.example.com/", "h=2", kNow);
    EXPECT_EQ(jar.CookieHeader("http://example.com/", kNow), "d=1");
    EXPECT_EQ(jar.CookieHeader("http://shop.example.com/", kNow), "d=1");
    EXPECT_EQ(jar.CookieHeader("http://www.example.com/", kNow), "d=1; h=2");
    EXPECT_EQ(jar.CookieHeader("http://badexample.com/", kNow), "");

    // A domain the host is not in, and public suffixes, are refused.
    jar.SetFromHeader("http://www.example.com/", "x=1; Domain=other.com", kNow);
    jar.SetFromHeader("http://www.example.com/", "x=2; Domain=com", kNow);
    jar.SetFromHeader("http://www.example.co.uk/", "x=3; Domain=co.uk", kNow);
    jar.SetFromHeader("http://me.github.io/", "x=4; Domain=github.io", kNow);
    EXPECT_EQ(jar.Count(), 2u);
    EXPECT_TRUE(IsPublicSuffix("co.uk"));
    EXPECT_FALSE(IsPublicSuffix("example.co.uk"));
    EXPECT_FALSE(jar.Add({"x", "5", ".co.uk", "/", 0, false}, kNow));
    EXPECT_EQ(jar.Count(), 2u);

    // IP addresses are never domain-matched: Domain=0.0.1 from 127.0.0.1 is refused,
    // and a domain cookie for 127.0.0.1 stays with that address alone.
    jar.SetFromHeader("http://127.0.0.1/", "ip=1; Domain=0.0.1", kNow);
    jar.SetFromHeader("http://127.0.0.1/", "ip=2; Domain=127.0.0.1", kNow);
    EXPECT_EQ(jar.CookieHeader("http://127.0.0.1/", kNow), "ip=2");
    EXPECT_EQ(jar.CookieHeader("http://127.0.0.2/", kNow), "");
    EXPECT_TRUE(IsIPAddressHost("127.0.0.1"));
    EXPECT_TRUE(IsIPAddressHost("[::1]"));
    EXPECT_FALSE(IsIPAddressHost("localhost"));
}

TEST(HXCookieJarTest, ExpiredAndSecureCookiesAreNotSent)
{
    THXCookieJar jar;
    jar.SetFromHeader("https://shop.test/", "s=1; Secure", kNow);
    // A plain http answer may not set a Secure cookie.
    jar.SetFromHeader("http://shop.test/", "t=1; Secure", kNow);
    EXPECT_EQ(jar.CookieHeader("https://shop.test/", kNow), "s=1");
    EXPECT_EQ(jar.CookieHeader("http://shop.test/", kNow), "");

    jar.SetFromHeader("http://shop.test/", "old=1; Expires=Sun, 06 Nov 1994 08:49:37 GMT", kNow);
    jar.SetFromHeader("http://shop.test/", "soon=1; Max-Age=60", kNow);
    jar.SetFromHeader("http://shop.test/", "later=1; Expires=Wed, 01 Jan 2031 00:00:00 GMT", kNow);
    // Max-Age wins over Expires.
    jar.SetFromHeader("http://shop.test/", "both=1; Max-Age=10; Expires=Wed, 01 Jan 2031 00:00:00 GMT", kNow);
    EXPECT_EQ(jar.CookieHeader("http://shop.test/", kNow), "soon=1; later=1; both=1");
    EXPECT_EQ(jar.CookieHeader("http://shop.test/", kNow + 30), "soon=1; later=1");
    EXPECT_EQ(jar.CookieHeader("http://shop.test/", kNow + 61), "later=1");
    // An expired Set-Cookie removes the stored one (how sites sign out).
    jar.SetFromHeader("http://shop.test/", "later=; Max-Age=0", kNow);
    EXPECT_EQ(jar.CookieHeader("http://shop.test/", kNow), "soon=1; both=1");
    // A file's expired cookie is refused.
    EXPECT_FALSE(jar.Add({"gone", "1", "shop.test", "/", kNow - 1}, kNow));

    // Restart of a task keeps what has an expiry and drops the session.
    jar.SetFromHeader("http://shop.test/", "session=1", kNow);
    jar.DropSessionCookies();
    EXPECT_EQ(jar.CookieHeader("http://shop.test/", kNow), "soon=1; both=1");
    jar.DropExpired(kNow + 100);
    EXPECT_TRUE(jar.Empty());
}

TEST(HXCookieJarTest, BoundsEvictTheOldestAndRefuseHugeCookies)
{
    THXCookieJar jar;
    jar.SetFromHeader("http://big.test/", "big=" + std::string(kMaxCookieBytes, 'x'), kNow);
    EXPECT_TRUE(jar.Empty());
    for (int i = 0; i < 60; ++i)
        jar.SetFromHeader("http://many.test/", "c" + std::to_string(i) + "=1", kNow + i);
    EXPECT_EQ(jar.Count(), kMaxCookiesPerDomain);
    EXPECT_EQ(jar.Cookies().front().Name, "c10"); // c0..c9 were the oldest
    for (int host = 0; host < 80; ++host)
        for (int i = 0; i < 40; ++i)
            jar.SetFromHeader("http://h" + std::to_string(host) + ".test/", "c" + std::to_string(i) + "=1",
                              kNow + 100 + host * 40 + i);
    EXPECT_EQ(jar.Count(), kMaxCookies);
    EXPECT_TRUE(jar.CookieHeader("http://many.test/", kNow).empty());
    EXPECT_FALSE(jar.CookieHeader("http://h79.test/", kNow).empty());
}

TEST(HXCookieJarTest, TransferThreadsShareTheJar)
{
    THXCookieJar jar;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(
            [&jar, t]
            {
                for (int i = 0; i < 200; ++i)
                {
                    jar.SetFromHeader("http://t" + std::to_string(t) + ".test/", "n" + std::to_string(i % 20) + "=v",
                                      kNow);
                    jar.CookieHeader("http://t" + std::to_string(t) + ".test/", kNow);
                }
            });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(jar.Count(), 80u);
}

class HXCookieJarFileTest : public test::THXSandboxTest
{
};

TEST_F(HXCookieJarFileTest, NetscapeFilesAreReadAndWrittenPrivately)
{
    const std::string input =
        Home().WriteFile("in.txt", "# Netscape HTTP Cookie File\n"
                                   "# comment line\n"
                                   "\n"
                                   ".example.com\tTRUE\t/\tFALSE\t0\tsid\tabc\n"
                                   "#HttpOnly_www.example.com\tFALSE\t/app\tTRUE\t1924992000\ttok\tq=1\r\n"
                                   "old.example.com\tFALSE\t/\tFALSE\t1000\tgone\t1\n"
                                   "broken line without tabs\n"
                                   ".com\tTRUE\t/\tFALSE\t0\tevil\t1\n"
                                   "www.example.com\tFALSE\t/\tFALSE\t0\tempty\t\n"
                                   "127.0.0.1:8080\tFALSE\t/\tFALSE\t0\tported\t1\n"
                                   "[::1]:8080\tFALSE\t/\tFALSE\t0\tsix\t1\n"
                                   // Domains no server has, which would not read back the same:
                                   "[a:b]\tFALSE\t/\tFALSE\t0\tcolon\t1\n"
                                   "[[a]\tFALSE\t/\tFALSE\t0\tbracket\t1\n"
                                   "#HttpOnly_#mark\tFALSE\t/\tFALSE\t0\tmark\t1\n");
    THXCookieJar jar;
    std::string error;
    ASSERT_TRUE(jar.LoadFile(input, error, kNow)) << error;
    // wget writes the port of the server; cookies know no ports.
    EXPECT_EQ(jar.CookieHeader("http://127.0.0.1:9000/", kNow), "ported=1");
    EXPECT_EQ(jar.CookieHeader("http://[::1]:8080/", kNow), "six=1");
    EXPECT_TRUE(jar.Remove("127.0.0.1", "/", "ported"));
    EXPECT_TRUE(jar.Remove("::1", "/", "six"));
    const std::vector<THXCookie> cookies = jar.Cookies();
    ASSERT_EQ(cookies.size(), 3u);
    EXPECT_EQ(cookies[0].Domain, "example.com");
    EXPECT_FALSE(cookies[0].HostOnly);
    EXPECT_EQ(cookies[0].Expires, 0);
    EXPECT_EQ(cookies[1].Name, "empty");
    EXPECT_EQ(cookies[2].Name, "tok");
    EXPECT_EQ(cookies[2].Value, "q=1");
    EXPECT_TRUE(cookies[2].HttpOnly);
    EXPECT_TRUE(cookies[2].Secure);
    EXPECT_TRUE(cookies[2].HostOnly);
    EXPECT_EQ(jar.CookieHeader("https://www.example.com/app/x", kNow), "tok=q=1; sid=abc; empty=");

    const std::string output = Home().Folder() + "out.cookies";
    ASSERT_TRUE(jar.SaveFile(output, error, kNow)) << error;
    struct stat info
    {
    };
    ASSERT_EQ(::stat(output.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string text = Home().ReadFile("out.cookies");
    EXPECT_NE(text.find(".example.com\tTRUE\t/\tFALSE\t0\tsid\tabc\n"), std::string::npos);
    // Written as a plain line: wget skips "#HttpOnly_" lines as comments.
    EXPECT_NE(text.find("\nwww.example.com\tFALSE\t/app\tTRUE\t1924992000\ttok\tq=1\n"), std::string::npos);
    EXPECT_EQ(text.find("#HttpOnly_"), std::string::npos);

    THXCookieJar again;
    ASSERT_TRUE(again.LoadFile(output, error, kNow));
    EXPECT_EQ(again.FileText(kNow), jar.FileText(kNow));
    EXPECT_EQ(again.CookieHeader("https://www.example.com/app/x", kNow), "tok=q=1; sid=abc; empty=");

    EXPECT_TRUE(again.Remove(".example.com", "/", "sid"));
    EXPECT_FALSE(again.Remove("example.com", "/", "sid"));
    EXPECT_EQ(again.Count(), 2u);
    EXPECT_FALSE(again.LoadFile(Home().Folder() + "missing.txt", error, kNow));
    EXPECT_NE(error.find("missing.txt"), std::string::npos);
}

} // namespace
} // namespace hx
