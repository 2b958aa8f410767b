#pragma once

// Writing text into the report pages. Titles, URLs and error texts come from the
// copied sites and from queue files, so every one of them is escaped: a page title
// holding "<script>" or a URL holding a quote shows as the same text and cannot add
// markup to a page the user opens in a browser.

#include <string>
#include <string_view>

namespace hx
{

// Text between tags: & < > " ' become character references.
std::string EscapeHtml(std::string_view text);

// A value inside a double-quoted attribute (the same references; kept separate so
// each call says which context it writes into).
std::string EscapeAttribute(std::string_view text);

// An absolute local path as a link target in a report: bytes that are not plain
// URL path characters (blanks, "#", "?", "%", quotes, non-ASCII ...) are
// percent-encoded, so the link reaches the file whatever its name and the page's
// charset. Ready for an attribute: the result holds no character that needs escaping.
std::string LocalHref(std::string_view path);

// A URL shown in a report as a link to itself: the attribute-escaped URL when it is
// empty, relative or of a web scheme (http, https, ftp); any other scheme
// ("javascript:", "data:" ...) gets no working target.
std::string URLHref(std::string_view url);

} // namespace hx
