#include "engine/HXSitemaps.h"

#include <algorithm>
#include <exception>
#include <set>
#include <utility>

#include "core/HXEncoding.h"
#include "core/HXOwner.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "engine/HXThreadParseRules.h"
#include "net/HXContentDecoder.h"

namespace hx
{

namespace
{

// Compressed bytes given to the inflater at a time: one piece inflates to at most
// about a thousand times its size, so a file that inflates without end is stopped
// soon after the bound.
constexpr std::size_t kInflatePiece = 16 * 1024;
// Longest entity name looked at ("&#x10FFFF;" and the named ones fit).
constexpr std::size_t kMaxEntityLength = 10;

// The name without its namespace prefix ("sm:loc" is "loc").
std::string_view LocalName(std::string_view name)
{
    const std::size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// A character reference's code point ("#38", "#x26"); 0 when it names none.
char32_t CharacterReference(std::string_view name)
{
    if (name.size() < 2 || name.front() != '#')
        return 0;
    name.remove_prefix(1);
    int base = 10;
    if (name.front() == 'x' || name.front() == 'X')
    {
        base = 16;
        name.remove_prefix(1);
    }
    if (name.empty())
        return 0;
    std::uint32_t value = 0;
    for (const char c : name)
    {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return 0;
        value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
        if (value > 0x10FFFF)
            return 0;
    }
    if (value == 0 || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return value;
}

// Character data with the predefined entities and character references decoded; an
// ampersand that starts no known entity stays as it is.
void AppendDecoded(std::string& out, std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size())
    {
        const std::size_t amp = text.find('&', at);
        out.append(text.substr(at, amp == std::string_view::npos ? std::string_view::npos : amp - at));
        if (amp == std::string_view::npos)
            return;
        const std::size_t semicolon = text.substr(amp, kMaxEntityLength + 2).find(';');
        at = amp + 1;
        if (semicolon == std::string_view::npos)
        {
            out += '&';
            continue;
        }
        const std::string_view name = text.substr(amp + 1, semicolon - 1);
        char decoded = 0;
        if (name == "amp")
            decoded = '&';
        else if (name == "lt")
            decoded = '<';
        else if (name == "gt")
            decoded = '>';
        else if (name == "quot")
            decoded = '"';
        else if (name == "apos")
            decoded = '\'';
        if (decoded != 0)
            out += decoded;
        else if (const char32_t codePoint = CharacterReference(name); codePoint != 0)
            AppendUtf8(out, codePoint);
        else
        {
            out += '&';
            continue;
        }
        at = amp + semicolon + 1;
    }
}

// The '>' that ends a tag whose name starts at `from`, passing over quoted attribute
// values; npos when the text ends first.
std::size_t TagEnd(std::string_view text, std::size_t from)
{
    char quote = 0;
    for (std::size_t at = from; at < text.size(); ++at)
    {
        const char c = text[at];
        if (quote != 0)
        {
            if (c == quote)
                quote = 0;
        }
        else if (c == '"' || c == '\'')
            quote = c;
        else if (c == '>')
            return at;
    }
    return std::string_view::npos;
}

// A plain-text sitemap: each line that is one web address.
TSitemapFile ParseTextSitemap(std::string_view text)
{
    TSitemapFile file;
    std::size_t start = 0;
    while (start < text.size())
    {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string line = Trim(text.substr(start, end - start));
        start = end + 1;
        if (!IsWebURL(line) || line.find_first_of(" \t") != std::string::npos || line.size() > kMaxSitemapLocBytes)
            continue;
        if (file.Locations.size() == kMaxSitemapURLs)
        {
            file.Truncated = true;
            break;
        }
        file.Locations.push_back(line);
    }
    if (!file.Locations.empty())
        file.Kind = TSitemapKind::Text;
    return file;
}

// Received bytes kept up to kMaxSitemapBytes.
class TBoundedText final : public TByteSink
{
public:
    explicit TBoundedText(std::string& text)
        : m_text(text)
    {
    }
    void Write(std::string_view data) override
    {
        const std::size_t room = kMaxSitemapBytes - std::min(kMaxSitemapBytes, m_text.size());
        m_text.append(data.substr(0, std::min(room, data.size())));
        m_full = m_full || data.size() > room;
    }
    std::int64_t Size() const override { return static_cast<std::int64_t>(m_text.size()); }
    std::int64_t Position() const override { return Size(); }
    void Seek(std::int64_t position) override { (void)position; }
    bool Full() const { return m_full; }

private:
    std::string& m_text;
    bool m_full = false;
};

} // namespace

TSitemapFile ParseSitemap(std::string_view text)
{
    TSitemapFile file;
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return file;
    if (text[first] != '<')
        return ParseTextSitemap(text);

    // The open elements' local names, the root first. A <loc> is taken only as the
    // child of an entry of the root (<urlset><url><loc>, <sitemapindex><sitemap><loc>),
    // so the addresses of extensions (<image:image><image:loc>) are left alone.
    std::vector<std::string_view> open;
    std::string_view entryName;
    bool capturing = false;
    std::string value;
    bool valueTooLong = false;
    const auto take = [&](std::string_view data, bool decode)
    {
        if (!capturing || valueTooLong)
            return;
        if (value.size() + data.size() > kMaxSitemapLocBytes)
        {
            valueTooLong = true;
            return;
        }
        if (decode)
            AppendDecoded(value, data);
        else
            value.append(data);
    };

    std::size_t at = first;
    bool finished = false;
    while (at < text.size() && !finished)
    {
        const std::size_t lt = text.find('<', at);
        take(text.substr(at, lt == std::string_view::npos ? std::string_view::npos : lt - at), true);
        if (lt == std::string_view::npos)
            break;
        const std::string_view rest = text.substr(lt);
        std::size_t end = std::string_view::npos;
        if (rest.starts_with("<!--"))
        {
            end = text.find("-->", lt + 4);
            at = end == std::string_view::npos ? end : end + 3;
        }
        else if (rest.starts_with("<![CDATA["))
        {
            end = text.find("]]>", lt + 9);
            if (end != std::string_view::npos)
                take(text.substr(lt + 9, end - lt - 9), false);
            at = end == std::string_view::npos ? end : end + 3;
        }
        else if (rest.starts_with("<?"))
        {
            end = text.find("?>", lt + 2);
            at = end == std::string_view::npos ? end : end + 2;
        }
        else if (rest.starts_with("<!"))
        {
            // A document type: its entities are not expanded (only the predefined ones are).
            end = TagEnd(text, lt + 2);
            at = end == std::string_view::npos ? end : end + 1;
        }
        else
        {
            end = TagEnd(text, lt + 1);
            if (end == std::string_view::npos)
                break;
            at = end + 1;
            std::string_view tag = text.substr(lt + 1, end - lt - 1);
            const bool endTag = tag.starts_with('/');
            if (endTag)
                tag.remove_prefix(1);
            const bool selfClosing = !endTag && tag.ends_with('/');
            const std::size_t nameEnd = std::min(tag.find_first_of(" \t\r\n/"), tag.size());
            const std::string_view name = LocalName(tag.substr(0, nameEnd));
            if (endTag)
            {
                if (capturing && name == "loc" && open.size() == 3)
                {
                    capturing = false;
                    std::string location = Trim(value);
                    if (!valueTooLong && !location.empty())
                    {
                        if (file.Locations.size() == kMaxSitemapURLs)
                        {
                            file.Truncated = true;
                            return file;
                        }
                        file.Locations.push_back(std::move(location));
                    }
                }
                // An end tag closes its element and any left open inside it; a stray
                // one is passed over.
                const auto match = std::find(open.rbegin(), open.rend(), name);
                if (match != open.rend())
                {
                    open.erase(std::prev(match.base()), open.end());
                    capturing = capturing && open.size() == 3;
                    finished = open.empty();
                }
                continue;
            }
            if (open.empty())
            {
                if (name == "urlset")
                {
                    file.Kind = TSitemapKind::URLSet;
                    entryName = "url";
                }
                else if (name == "sitemapindex")
                {
                    file.Kind = TSitemapKind::Index;
                    entryName = "sitemap";
                }
                else
                {
                    return file;
                }
                if (selfClosing)
                    return file;
                open.push_back(name);
                continue;
            }
            if (selfClosing)
                continue;
            if (open.size() >= kMaxSitemapNesting)
            {
                file.Truncated = true;
                return file;
            }
            // <loc> holds text only: an element inside it spoils the address.
            if (capturing)
                valueTooLong = true;
            else if (open.size() == 2 && open[1] == entryName && name == "loc")
            {
                capturing = true;
                value.clear();
                valueTooLong = false;
            }
            open.push_back(name);
        }
        if (end == std::string_view::npos)
            break;
    }
    // A file that ends inside an element was cut short (or is damaged): what came
    // before stays.
    if (!finished && file.Kind != TSitemapKind::None)
        file.Truncated = true;
    return file;
}

std::string SitemapText(std::string bytes)
{
    const bool gzip = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1F &&
                      static_cast<unsigned char>(bytes[1]) == 0x8B;
    if (!gzip)
    {
        if (bytes.size() > kMaxSitemapBytes)
            bytes.resize(kMaxSitemapBytes);
        return bytes;
    }
    std::string text;
    TBoundedText sink(text);
    TContentDecoder decoder(TContentCoding::Gzip, sink);
    for (std::size_t at = 0; at < bytes.size() && !sink.Full() && !decoder.Failed(); at += kInflatePiece)
        decoder.Write(std::string_view(bytes).substr(at, kInflatePiece));
    return text;
}

int QueueSitemapPages(THXTask& task, const TFileTypeGroups& groups, std::string_view sitemapURL,
                      const std::vector<std::string>& locations)
{
    const THXQItem* start = task.Item(0);
    if (start == nullptr)
        return 0;
    // The start item's address as its queue line holds it, without loading its texts.
    const std::string startDirectory = DirectoryURL(Cp1252ToUtf8(task.QueueLine(0)));
    const TFollowRules rules(task.Profile);
    // As a link on the start page: one level below it, in its mode.
    const int level = start->Level + 1;
    const int mode = start->Mode;
    const std::string base = DirectoryURL(sitemapURL);
    int added = 0;
    for (const std::string& location : locations)
    {
        std::string url = ResolveAndNormalize(location, base);
        if (url.empty())
            continue;
        std::string group = GroupOfURL(groups, url);
        if (!rules.ShouldFollow(url, startDirectory, level, group))
            continue;
        url = StripFragment(url);
        if (task.IsKnownURL(url))
            continue;
        auto item = std::make_unique<THXQItem>(&task);
        item->URL = url;
        item->BaseURL = base;
        item->Referrer = std::string(sitemapURL);
        item->Group = group;
        item->Level = level;
        item->Mode = mode;
        if (!item->IsPage() && item->Mode == kModeMap)
            item->Mode = kModeSkip;
        task.SetItemState(*item, kStateNone);
        task.AddItem(std::move(item));
        ++added;
    }
    return added;
}

// ---- THXSitemaps ----

THXSitemaps::THXSitemaps()
{
    m_thread = std::thread([this] { Execute(); });
}

THXSitemaps::~THXSitemaps()
{
    {
        std::unique_lock lock(m_mutex);
        m_ending = true;
        AbandonLocked();
        EndFetchLocked(lock);
    }
    m_handOver.Wake();
    m_thread.join();
}

void THXSitemaps::AbandonLocked()
{
    ++m_generation;
    m_jobs.clear();
    m_busy = false;
    m_wake.notify_all();
}

void THXSitemaps::EndFetchLocked(std::unique_lock<std::mutex>& lock)
{
    // A cancel that arrives just before the client begins its exchange is lost (the
    // exchange starts afresh), so it is repeated until the fetch has ended.
    while (m_current != nullptr)
    {
        m_current->Cancel();
        m_wake.wait_for(lock, kRobotsCancelStep);
    }
}

void THXSitemaps::Start(THXOwnerThread& owner, const std::string& startURL, const TRobotsRequest& request, TFound found,
                        std::function<void()> done)
{
    {
        std::unique_lock lock(m_mutex);
        AbandonLocked();
        EndFetchLocked(lock);
        m_jobs.push_back({&owner, startURL, request, std::move(found), std::move(done), m_generation});
        m_busy = true;
        m_wake.notify_all();
    }
    m_handOver.Wake();
}

void THXSitemaps::Reset()
{
    {
        std::unique_lock lock(m_mutex);
        AbandonLocked();
        EndFetchLocked(lock);
    }
    m_handOver.Wake();
}

bool THXSitemaps::Busy() const
{
    std::lock_guard lock(m_mutex);
    return m_busy;
}

bool THXSitemaps::Current(std::uint64_t generation) const
{
    return !m_ending && m_generation.load() == generation;
}

void THXSitemaps::Execute()
{
    for (;;)
    {
        TJob job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_ending || !m_jobs.empty(); });
            if (m_ending)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        try
        {
            Read(job);
        }
        catch (const std::exception&)
        {
            // A hand-over that failed (the owner loop closing): the reading ends here.
        }
        // Under the lock, so that once Reset or Start has returned no Done of an
        // abandoned reading runs any more (its owner may go away then).
        std::lock_guard lock(m_mutex);
        if (Current(job.Generation))
        {
            m_busy = false;
            if (job.Done)
                job.Done();
        }
    }
}

void THXSitemaps::Read(const TJob& job)
{
    const std::string site = RobotsSite(job.StartURL);
    // The files to read, each with whether an index named it (an index it names is
    // not followed: one level deep).
    std::deque<std::pair<std::string, bool>> files;
    std::set<std::string> named;
    int read = 0;
    const auto add = [&](const std::string& url, bool fromIndex)
    {
        if (read + static_cast<int>(files.size()) < kMaxSitemapFiles && named.insert(url).second)
            files.emplace_back(url, fromIndex);
    };
    std::string robots;
    if (Fetch(job, site + "robots.txt", kMaxRobotsBytes, robots))
    {
        for (const std::string& url : RobotsSitemaps(robots))
            add(url, false);
    }
    add(site + "sitemap.xml", false);

    while (!files.empty() && Current(job.Generation))
    {
        // Named variables, not a structured binding: the hand-over lambda below captures
        // the address, which clang 14 (the fuzz build's compiler) refuses for a binding.
        const std::string url = std::move(files.front().first);
        const bool fromIndex = files.front().second;
        files.pop_front();
        ++read;
        std::string bytes;
        if (!Fetch(job, url, kMaxSitemapBytes, bytes))
            continue;
        const TSitemapFile file = ParseSitemap(SitemapText(std::move(bytes)));
        if (file.Kind == TSitemapKind::Index)
        {
            if (!fromIndex)
            {
                for (const std::string& location : file.Locations)
                {
                    const std::string listed = ResolveAndNormalize(location, DirectoryURL(url));
                    if (IsWebURL(listed))
                        add(listed, true);
                }
            }
            continue;
        }
        if (file.Locations.empty())
            continue;
        const std::uint64_t generation = job.Generation;
        m_handOver.Run(
            *job.Owner, [this, generation] { return Current(generation); }, [&] { job.Found(url, file.Locations); });
    }
}

bool THXSitemaps::Fetch(const TJob& job, const std::string& url, std::size_t limit, std::string& bytes)
{
    TagHTTP http;
    {
        std::lock_guard lock(m_mutex);
        if (!Current(job.Generation))
            return false;
        m_current = &http;
    }
    TSiteFileBody body(limit);
    const bool fetched = FetchSiteFile(http, url, job.Request, body);
    {
        std::lock_guard lock(m_mutex);
        m_current = nullptr;
        m_wake.notify_all();
    }
    if (!fetched || !Current(job.Generation))
        return false;
    bytes = body.TakeBytes();
    return true;
}

} // namespace hx
