#include "reports/HXHtml.h"

#include <gtest/gtest.h>

namespace hx
{
namespace
{

TEST(HXHtml, EscapingKeepsTheTextAndRemovesMarkup)
{
    EXPECT_EQ(EscapeHtml("Fish & Chips <b>\"big\"</b> 'n'"),
              "Fish &amp; Chips &lt;b&gt;&quot;big&quot;&lt;/b&gt; &#39;n&#39;");
    EXPECT_EQ(EscapeHtml("caf\xC3\xA9"), "caf\xC3\xA9") << "UTF-8 text passes unchanged";
    EXPECT_EQ(EscapeAttribute("a\"onmouseover=\"x"), "a&quot;onmouseover=&quot;x");
    EXPECT_EQ(EscapeHtml(""), "");
}

TEST(HXHtml, LocalLinksArePercentEncoded)
{
    EXPECT_EQ(LocalHref("/home/me/site/!Site_pages_1.htm"), "/home/me/site/!Site_pages_1.htm");
    EXPECT_EQ(LocalHref("/a b/#1?x%y.htm"), "/a%20b/%231%3Fx%25y.htm");
    EXPECT_EQ(LocalHref("/q\"'<>&.htm"), "/q%22%27%3C%3E%26.htm");
    EXPECT_EQ(LocalHref("/\xC3\xA9.htm"), "/%C3%A9.htm");
}

TEST(HXHtml, URLLinksKeepWebSchemesOnly)
{
    EXPECT_EQ(URLHref("http://example.com/a?b=1&c=\"2\""), "http://example.com/a?b=1&amp;c=&quot;2&quot;");
    EXPECT_EQ(URLHref("HTTPS://example.com/"), "HTTPS://example.com/");
    EXPECT_EQ(URLHref(""), "");
    EXPECT_EQ(URLHref("/local/path:1"), "/local/path:1") << "a colon after the first slash is no scheme";
    EXPECT_EQ(URLHref("javascript:alert(1)"), "#");
    EXPECT_EQ(URLHref(" JavaScript:alert(1)"), "#");
    EXPECT_EQ(URLHref("data:text/html,<script>"), "#");
}

} // namespace
} // namespace hx
