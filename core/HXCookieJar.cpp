#include "core/HXCookieJar.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <limits>
#include <tuple>

#include <arpa/inet.h>
#include <libpsl.h>

#include "core/HXFiles.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"

namespace hx
{

namespace
{

// The largest cookies.txt read; a file that big holds far more than the jar keeps.
constexpr std::int64_t kMaxCookieFileBytes = 16 * 1024 * 1024;
// An expiry beyond this is cut to it (about the year 9999), so sums never overflow.
constexpr std::int64_t kLatestExpiry = 253402300799;

struct TRequestParts
{
    bool Secure = false;
    std::string Host; // lower case, IPv6 without brackets
    std::string Path; // from the first "/" up to the query, "/" when empty
};

// Scheme, host and path of an absolute http or https URL.
bool SplitRequestUrl(std::string_view url, TRequestParts& parts)
{
    const auto scheme = url.find("://");
    if (scheme == std::string_view::npos)
        return false;
    const std::string protocol = LowerCase(url.substr(0, scheme));
    if (protocol != "http" && protocol != "https")
        return false;
    parts.Secure = protocol == "https";
    std::string_view rest = url.substr(scheme + 3);
    const auto authorityEnd = std::min(rest.find_first_of("/?#"), rest.size());
    std::string_view authority = rest.substr(0, authorityEnd);
    rest.remove_prefix(authorityEnd);
    if (const auto at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    std::string_view host = authority;
    if (!host.empty() && host.front() == '[')
    {
        const auto close = host.find(']');
        if (close == std::string_view::npos)
            return false;
        host = host.substr(1, close - 1);
    }
    else if (const auto colon = host.find(':'); colon != std::string_view::npos)
    {
        host = host.substr(0, colon);
    }
    if (host.empty())
        return false;
    parts.Host = LowerCase(host);
    while (!parts.Host.empty() && parts.Host.back() == '.')
        parts.Host.pop_back();
    const auto pathEnd = std::min(rest.find_first_of("?#"), rest.size());
    parts.Path = std::string(rest.substr(0, pathEnd));
    if (parts.Path.empty() || parts.Path.front() != '/')
        parts.Path = "/";
    return true;
}

// The path a cookie without a Path attribute gets: the request path up to, not
// including, its last "/" ("/" when that leaves nothing).
std::string DefaultPath(const std::string& requestPath)
{
    if (requestPath.empty() || requestPath.front() != '/')
        return "/";
    const auto last = requestPath.rfind('/');
    if (last == 0)
        return "/";
    return requestPath.substr(0, last);
}

bool DomainMatch(const std::string& host, const std::string& domain)
{
    if (host == domain)
        return true;
    if (IsIPAddressHost(host) || host.size() <= domain.size())
        return false;
    return host.ends_with(domain) && host[host.size() - domain.size() - 1] == '.';
}

bool PathMatch(const std::string& requestPath, const std::string& cookiePath)
{
    if (requestPath == cookiePath)
        return true;
    if (!requestPath.starts_with(cookiePath))
        return false;
    return cookiePath.back() == '/' || requestPath[cookiePath.size()] == '/';
}

bool HostMatches(const THXCookie& cookie, const std::string& host)
{
    return cookie.HostOnly ? host == cookie.Domain : DomainMatch(host, cookie.Domain);
}

bool Live(const THXCookie& cookie, std::int64_t now)
{
    return cookie.Expires == 0 || cookie.Expires > now;
}

// Control characters (tab included) never belong in a name, value, domain or
// path; refusing them keeps header injection out of requests and the file's
// tab-separated lines intact.
bool HasControl(std::string_view text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c)
                       {
                           const auto byte = static_cast<unsigned char>(c);
                           return byte < 0x20 || byte == 0x7F;
                       });
}

// A domain is a host name (letters, digits, '-', '.', '_', or UTF-8 bytes) or an
// IPv6 address (two colons at least; a zone may follow a '%'). Anything else,
// such as brackets, a single colon or a leading '#', reaches no server and would
// not read back from the cookie file as the same domain.
bool PlausibleDomain(std::string_view domain)
{
    const bool ok = std::all_of(domain.begin(), domain.end(),
                                [](char c)
                                {
                                    const auto byte = static_cast<unsigned char>(c);
                                    return byte >= 0x80 || std::isalnum(byte) || c == '-' || c == '.' || c == '_' ||
                                           c == ':' || c == '%';
                                });
    const auto colons = std::count(domain.begin(), domain.end(), ':');
    return ok && colons != 1;
}

std::string_view TrimView(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

bool IsDateDelimiter(unsigned char c)
{
    return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
           (c >= 0x7B && c <= 0x7E);
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads minDigits to maxDigits digits at the token's start; the rest of the token
// must not start with a digit.
bool LeadingNumber(std::string_view token, std::size_t minDigits, std::size_t maxDigits, int& value, std::size_t& used)
{
    std::size_t count = 0;
    value = 0;
    while (count < token.size() && IsDigit(token[count]))
    {
        if (count == maxDigits)
            return false;
        value = value * 10 + (token[count] - '0');
        ++count;
    }
    used = count;
    return count >= minDigits;
}

bool ParseTime(std::string_view token, int& hour, int& minute, int& second)
{
    int fields[3] = {0, 0, 0};
    for (int i = 0; i < 3; ++i)
    {
        std::size_t used = 0;
        if (!LeadingNumber(token, 1, 2, fields[i], used))
            return false;
        token.remove_prefix(used);
        if (i < 2)
        {
            if (token.empty() || token.front() != ':')
                return false;
            token.remove_prefix(1);
        }
    }
    hour = fields[0];
    minute = fields[1];
    second = fields[2];
    return true;
}

std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

int DaysInMonth(int year, int month)
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

} // namespace

std::int64_t ParseCookieDate(std::string_view text)
{
    bool foundTime = false, foundDay = false, foundMonth = false, foundYear = false;
    int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
    static constexpr const char* kMonths[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                                "jul", "aug", "sep", "oct", "nov", "dec"};
    std::size_t pos = 0;
    while (pos < text.size())
    {
        while (pos < text.size() && IsDateDelimiter(static_cast<unsigned char>(text[pos])))
            ++pos;
        const std::size_t start = pos;
        while (pos < text.size() && !IsDateDelimiter(static_cast<unsigned char>(text[pos])))
            ++pos;
        const std::string_view token = text.substr(start, pos - start);
        if (token.empty())
            continue;
        std::size_t used = 0;
        int value = 0;
        if (!foundTime && ParseTime(token, hour, minute, second))
        {
            foundTime = true;
            continue;
        }
        if (!foundDay && LeadingNumber(token, 1, 2, value, used))
        {
            foundDay = true;
            day = value;
            continue;
        }
        if (!foundMonth && token.size() >= 3)
        {
            const std::string prefix = LowerCase(token.substr(0, 3));
            const auto found =
                std::find_if(std::begin(kMonths), std::end(kMonths), [&](const char* name) { return prefix == name; });
            if (found != std::end(kMonths))
            {
                foundMonth = true;
                month = static_cast<int>(found - std::begin(kMonths)) + 1;
                continue;
            }
        }
        if (!foundYear && LeadingNumber(token, 2, 4, value, used))
        {
            foundYear = true;
            year = value;
            continue;
        }
    }
    if (year >= 70 && year <= 99)
        year += 1900;
    else if (year >= 0 && year <= 69)
        year += 2000;
    if (!foundTime || !foundDay || !foundMonth || !foundYear)
        return -1;
    if (day < 1 || day > 31 || year < 1601 || hour > 23 || minute > 59 || second > 59)
        return -1;
    if (day > DaysInMonth(year, month))
        return -1;
    return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 + hour * 3600 +
           minute * 60 + second;
}

bool IsIPAddressHost(std::string_view host)
{
    if (!host.empty() && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    const std::string text(host);
    unsigned char buffer[16];
    return ::inet_pton(AF_INET, text.c_str(), buffer) == 1 || ::inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}

bool IsPublicSuffix(const std::string& domain)
{
    // The list compiled into libpsl: no file to find or trust at run time, and the
    // same answer on every machine the program runs on.
    static const psl_ctx_t* const list = psl_builtin();
    if (list == nullptr || domain.empty())
        return false;
    return psl_is_public_suffix2(list, LowerCase(domain).c_str(), PSL_TYPE_ANY) != 0;
}

std::string CookieFileName(THXTask& task)
{
    return task.CookieFileName();
}

bool OpenTaskCookies(THXTask& task, bool newSession, std::string& error)
{
    const std::int64_t now = CookieClockNow();
    const std::string path = task.CookieFileName();
    task.Cookies.Clear();
    bool read = true;
    if (FileExists(path))
        read = task.Cookies.LoadFile(path, error, now);
    task.Cookies.MarkSaved();
    if (newSession)
        task.Cookies.DropSessionCookies();
    for (THXCookie& cookie : task.CookiesToAdd)
        task.Cookies.Add(std::move(cookie), now);
    task.CookiesToAdd.clear();
    return read;
}

bool SaveTaskCookies(THXTask& task, std::string& error)
{
    // A task that never held a cookie gets no file.
    const std::string path = task.CookieFileName();
    if (task.Cookies.Empty() && !FileExists(path))
    {
        task.Cookies.MarkSaved();
        return true;
    }
    return task.Cookies.SaveFileIfChanged(path, error);
}

std::int64_t CookieClockNow()
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

void THXCookieJar::SetFromHeader(const std::string& requestUrl, std::string_view setCookie, std::int64_t now)
{
    TRequestParts request;
    if (!SplitRequestUrl(requestUrl, request))
        return;
    const auto firstSemicolon = std::min(setCookie.find(';'), setCookie.size());
    const std::string_view pair = setCookie.substr(0, firstSemicolon);
    const auto equals = pair.find('=');
    if (equals == std::string_view::npos)
        return;
    THXCookie cookie;
    cookie.Name = std::string(TrimView(pair.substr(0, equals)));
    cookie.Value = std::string(TrimView(pair.substr(equals + 1)));
    if (cookie.Name.empty())
        return;

    bool haveMaxAge = false;
    std::int64_t maxAgeExpiry = 0;
    std::int64_t expires = 0;
    bool haveExpires = false;
    std::string domainAttribute;
    std::string pathAttribute;
    std::string_view rest = setCookie.substr(firstSemicolon);
    while (!rest.empty())
    {
        rest.remove_prefix(1); // the ";"
        const auto end = std::min(rest.find(';'), rest.size());
        const std::string_view attribute = rest.substr(0, end);
        rest.remove_prefix(end);
        const auto attributeEquals = attribute.find('=');
        const std::string name = LowerCase(TrimView(attribute.substr(0, attributeEquals)));
        const std::string_view value = attributeEquals == std::string_view::npos
                                           ? std::string_view()
                                           : TrimView(attribute.substr(attributeEquals + 1));
        if (name == "expires")
        {
            const std::int64_t date = ParseCookieDate(value);
            if (date >= 0)
            {
                haveExpires = true;
                expires = date;
            }
        }
        else if (name == "max-age")
        {
            if (value.empty() || !(IsDigit(value.front()) || value.front() == '-'))
                continue;
            if (!std::all_of(value.begin() + 1, value.end(), IsDigit))
                continue;
            haveMaxAge = true;
            std::int64_t seconds = 0;
            if (value.front() == '-')
            {
                seconds = -1;
            }
            else
            {
                for (const char digit : value)
                {
                    seconds = std::min<std::int64_t>(seconds * 10 + (digit - '0'), kLatestExpiry);
                }
            }
            maxAgeExpiry = seconds <= 0 ? std::numeric_limits<std::int64_t>::min() : now + seconds;
        }
        else if (name == "domain")
        {
            std::string_view domain = value;
            if (!domain.empty() && domain.front() == '.')
                domain.remove_prefix(1);
            if (!domain.empty())
                domainAttribute = LowerCase(domain);
        }
        else if (name == "path")
        {
            pathAttribute = std::string(value);
        }
        else if (name == "secure")
        {
            cookie.Secure = true;
        }
        else if (name == "httponly")
        {
            cookie.HttpOnly = true;
        }
        // SameSite and anything else: read and ignored. A crawl makes no
        // cross-site requests of the kind SameSite guards against.
    }

    bool expired = false;
    if (haveMaxAge)
    {
        expired = maxAgeExpiry == std::numeric_limits<std::int64_t>::min();
        cookie.Expires = expired ? 0 : std::min(maxAgeExpiry, kLatestExpiry);
    }
    else if (haveExpires)
    {
        expired = expires <= now;
        cookie.Expires = std::clamp<std::int64_t>(expires, 1, kLatestExpiry);
    }

    while (!domainAttribute.empty() && domainAttribute.back() == '.')
        domainAttribute.pop_back();
    if (!domainAttribute.empty() && IsPublicSuffix(domainAttribute))
    {
        // A site may name its own host even when it is a suffix; then the cookie is
        // its own alone. Any other public suffix would hand the cookie to every site.
        if (domainAttribute != request.Host)
            return;
        domainAttribute.clear();
    }
    if (!domainAttribute.empty())
    {
        if (!DomainMatch(request.Host, domainAttribute))
            return;
        cookie.HostOnly = false;
        cookie.Domain = domainAttribute;
    }
    else
    {
        cookie.HostOnly = true;
        cookie.Domain = request.Host;
    }
    // A cookie set with Path takes it as given; otherwise it belongs to the folder
    // of the page that set it.
    cookie.Path = pathAttribute.empty() || pathAttribute.front() != '/' ? DefaultPath(request.Path) : pathAttribute;
    // Only a secure page may set a Secure cookie: a plain http answer could
    // otherwise replace a site's https session.
    if (cookie.Secure && !request.Secure)
        return;

    std::lock_guard lock(m_lock);
    if (expired)
    {
        const auto before = m_cookies.size();
        std::erase_if(
            m_cookies, [&](const THXCookie& stored)
            { return stored.Name == cookie.Name && stored.Domain == cookie.Domain && stored.Path == cookie.Path; });
        if (m_cookies.size() != before)
            ++m_generation;
        return;
    }
    cookie.Created = now;
    StoreLocked(std::move(cookie), now);
}

bool THXCookieJar::Add(THXCookie cookie, std::int64_t now)
{
    if (!cookie.Domain.empty() && cookie.Domain.front() == '.')
    {
        cookie.Domain.erase(0, 1);
        cookie.HostOnly = false;
    }
    cookie.Domain = LowerCase(cookie.Domain);
    if (cookie.Domain.empty() || cookie.Name.empty() || cookie.Path.empty() || cookie.Path.front() != '/')
        return false;
    if (!cookie.HostOnly && IsPublicSuffix(cookie.Domain))
        return false;
    if (cookie.Expires != 0 && cookie.Expires <= now)
        return false;
    cookie.Expires = std::min(cookie.Expires, kLatestExpiry);
    if (cookie.Created == 0)
        cookie.Created = now;
    std::lock_guard lock(m_lock);
    return StoreLocked(std::move(cookie), now);
}

bool THXCookieJar::StoreLocked(THXCookie cookie, std::int64_t now)
{
    if (cookie.Name.size() + cookie.Value.size() > kMaxCookieBytes || HasControl(cookie.Name) ||
        HasControl(cookie.Value) || !PlausibleDomain(cookie.Domain) || HasControl(cookie.Path) ||
        cookie.Name.find_first_of("=;") != std::string::npos || cookie.Value.find(';') != std::string::npos)
        return false;
    std::erase_if(m_cookies, [now](const THXCookie& stored) { return !Live(stored, now); });
    const auto same = std::find_if(m_cookies.begin(), m_cookies.end(),
                                   [&](const THXCookie& stored) {
                                       return stored.Name == cookie.Name && stored.Domain == cookie.Domain &&
                                              stored.Path == cookie.Path;
                                   });
    if (same != m_cookies.end())
    {
        // A replaced cookie keeps its age, as the RFC says.
        cookie.Created = std::min(same->Created, cookie.Created);
        *same = std::move(cookie);
        ++m_generation;
        return true;
    }
    const std::string domain = cookie.Domain;
    m_cookies.push_back(std::move(cookie));
    EvictLocked(domain);
    ++m_generation;
    return true;
}

void THXCookieJar::EvictLocked(const std::string& domain)
{
    auto oldestWhere = [this](auto&& select)
    {
        auto oldest = m_cookies.end();
        for (auto it = m_cookies.begin(); it != m_cookies.end(); ++it)
        {
            if (select(*it) && (oldest == m_cookies.end() || it->Created < oldest->Created))
                oldest = it;
        }
        return oldest;
    };
    auto ofDomain = [&domain](const THXCookie& stored) { return stored.Domain == domain; };
    while (static_cast<std::size_t>(std::count_if(m_cookies.begin(), m_cookies.end(), ofDomain)) > kMaxCookiesPerDomain)
        m_cookies.erase(oldestWhere(ofDomain));
    while (m_cookies.size() > kMaxCookies)
        m_cookies.erase(oldestWhere([](const THXCookie&) { return true; }));
}

std::string THXCookieJar::CookieHeader(const std::string& requestUrl, std::int64_t now) const
{
    TRequestParts request;
    if (!SplitRequestUrl(requestUrl, request))
        return {};
    std::vector<const THXCookie*> matches;
    std::lock_guard lock(m_lock);
    for (const THXCookie& cookie : m_cookies)
    {
        if (Live(cookie, now) && HostMatches(cookie, request.Host) && PathMatch(request.Path, cookie.Path) &&
            (!cookie.Secure || request.Secure))
            matches.push_back(&cookie);
    }
    // Longer paths first, then the older cookie first, as the RFC orders them.
    std::stable_sort(matches.begin(), matches.end(),
                     [](const THXCookie* a, const THXCookie* b)
                     {
                         if (a->Path.size() != b->Path.size())
                             return a->Path.size() > b->Path.size();
                         return a->Created < b->Created;
                     });
    std::string header;
    for (const THXCookie* cookie : matches)
    {
        if (!header.empty())
            header += "; ";
        header += cookie->Name;
        header += '=';
        header += cookie->Value;
    }
    return header;
}

std::vector<THXCookie> THXCookieJar::Cookies() const
{
    std::vector<THXCookie> copy;
    {
        std::lock_guard lock(m_lock);
        copy = m_cookies;
    }
    std::sort(copy.begin(), copy.end(),
              [](const THXCookie& a, const THXCookie& b)
              { return std::tie(a.Domain, a.Path, a.Name) < std::tie(b.Domain, b.Path, b.Name); });
    return copy;
}

bool THXCookieJar::Remove(const std::string& domain, const std::string& path, const std::string& name)
{
    std::string key = LowerCase(domain);
    if (!key.empty() && key.front() == '.')
        key.erase(0, 1);
    std::lock_guard lock(m_lock);
    const auto removed = std::erase_if(m_cookies, [&](const THXCookie& stored)
                                       { return stored.Domain == key && stored.Path == path && stored.Name == name; });
    if (removed != 0)
        ++m_generation;
    return removed != 0;
}

void THXCookieJar::Clear()
{
    std::lock_guard lock(m_lock);
    if (!m_cookies.empty())
        ++m_generation;
    m_cookies.clear();
}

bool THXCookieJar::Empty() const
{
    std::lock_guard lock(m_lock);
    return m_cookies.empty();
}

std::size_t THXCookieJar::Count() const
{
    std::lock_guard lock(m_lock);
    return m_cookies.size();
}

void THXCookieJar::DropSessionCookies()
{
    std::lock_guard lock(m_lock);
    if (std::erase_if(m_cookies, [](const THXCookie& stored) { return stored.Expires == 0; }) != 0)
        ++m_generation;
}

void THXCookieJar::DropExpired(std::int64_t now)
{
    std::lock_guard lock(m_lock);
    if (std::erase_if(m_cookies, [now](const THXCookie& stored) { return !Live(stored, now); }) != 0)
        ++m_generation;
}

std::uint64_t THXCookieJar::Generation() const
{
    std::lock_guard lock(m_lock);
    return m_generation;
}

bool THXCookieJar::LoadFile(const std::string& path, std::string& error, std::int64_t now)
{
    std::string bytes;
    switch (ReadRegularFile(path, kMaxCookieFileBytes, bytes))
    {
    case TFileRead::Read:
        break;
    case TFileRead::Missing:
        error = "Cookie file not found: " + path;
        return false;
    case TFileRead::TooLarge:
        error = "Cookie file too large: " + path;
        return false;
    case TFileRead::NotAFile:
    case TFileRead::Failed:
        error = "Unable to read cookie file: " + path;
        return false;
    }
    std::string_view rest = bytes;
    while (!rest.empty())
    {
        const auto end = std::min(rest.find('\n'), rest.size());
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        bool httpOnly = false;
        if (line.starts_with("#HttpOnly_"))
        {
            httpOnly = true;
            line.remove_prefix(10);
        }
        else if (line.empty() || line.front() == '#')
        {
            continue;
        }
        std::vector<std::string_view> fields;
        while (fields.size() < 6)
        {
            const auto tab = line.find('\t');
            if (tab == std::string_view::npos)
                break;
            fields.push_back(line.substr(0, tab));
            line.remove_prefix(tab + 1);
        }
        if (fields.size() != 6)
            continue;
        fields.push_back(line); // the value, which may itself be empty
        THXCookie cookie;
        cookie.Domain = std::string(fields[0]);
        // wget writes the port of a server on another port than 80 ("127.0.0.1:8080");
        // cookies know no ports (RFC 6265), so the host alone is kept.
        if (cookie.Domain.starts_with('['))
            cookie.Domain = cookie.Domain.substr(1, cookie.Domain.find(']') - 1);
        else if (const auto colon = cookie.Domain.find(':');
                 colon != std::string::npos && cookie.Domain.find(':', colon + 1) == std::string::npos)
            cookie.Domain.resize(colon);
        const bool subdomains = SameTextNoCase(fields[1], "TRUE");
        cookie.HostOnly = !subdomains && !(cookie.Domain.starts_with('.'));
        cookie.Path = std::string(fields[2]);
        cookie.Secure = SameTextNoCase(fields[3], "TRUE");
        std::int64_t expires = 0;
        if (!TryStrToInt64(fields[4], expires) || expires < 0)
            continue;
        cookie.Expires = expires;
        cookie.Name = std::string(fields[5]);
        cookie.Value = std::string(fields[6]);
        cookie.HttpOnly = httpOnly;
        if (!cookie.HostOnly && !cookie.Domain.starts_with('.'))
            cookie.Domain.insert(0, ".");
        Add(std::move(cookie), now);
    }
    return true;
}

bool THXCookieJar::LoadFile(const std::string& path, std::string& error)
{
    return LoadFile(path, error, CookieClockNow());
}

std::string THXCookieJar::FileText(std::int64_t now) const
{
    std::string text = "# Netscape HTTP Cookie File\n"
                       "# Written by Harbex. The values are secrets: keep this file to yourself.\n\n";
    for (const THXCookie& cookie : Cookies())
    {
        if (!Live(cookie, now))
            continue;
        // No "#HttpOnly_" mark: wget takes such a line for a comment and would
        // drop the cookie, and the mark means nothing to a program that runs no
        // scripts. Lines without it are read by every program that reads the format.
        text += cookie.HostOnly ? cookie.Domain : "." + cookie.Domain;
        text += cookie.HostOnly ? "\tFALSE\t" : "\tTRUE\t";
        text += cookie.Path;
        text += cookie.Secure ? "\tTRUE\t" : "\tFALSE\t";
        text += std::to_string(cookie.Expires);
        text += '\t';
        text += cookie.Name;
        text += '\t';
        text += cookie.Value;
        text += '\n';
    }
    return text;
}

bool THXCookieJar::SaveFile(const std::string& path, std::string& error, std::int64_t now) const
{
    if (!WriteFileAtomic(path, FileText(now), TDurability::kFlushed, TFileAccess::kPrivate))
    {
        error = "Unable to write cookie file: " + path;
        return false;
    }
    return true;
}

bool THXCookieJar::SaveFileIfChanged(const std::string& path, std::string& error)
{
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(m_lock);
        if (m_generation == m_savedGeneration)
            return true;
        generation = m_generation;
    }
    if (!SaveFile(path, error))
        return false;
    // A change made while the file was written is saved the next time.
    std::lock_guard lock(m_lock);
    m_savedGeneration = std::max(m_savedGeneration, generation);
    return true;
}

void THXCookieJar::MarkSaved()
{
    std::lock_guard lock(m_lock);
    m_savedGeneration = m_generation;
}

bool THXCookieJar::SaveFile(const std::string& path, std::string& error) const
{
    return SaveFile(path, error, CookieClockNow());
}

} // namespace hx
