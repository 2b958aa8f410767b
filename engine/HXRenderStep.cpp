#include "engine/HXRenderStep.h"

#include <algorithm>

#include "core/HXCookieJar.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"
#include "core/HXURL.h"

namespace hx
{

namespace
{

// Blocked addresses named in a page's status text; the rest are counted.
constexpr std::size_t kBlockedNamed = 3;

constexpr std::string_view kKeptText = "; the fetched text is kept";

std::string BlockedText(const std::vector<std::string>& blocked)
{
    std::string text = "Rendered; blocked " + std::to_string(blocked.size()) + " address" +
                       (blocked.size() == 1 ? "" : "es") + " outside the task's sites:";
    for (std::size_t n = 0; n < blocked.size() && n < kBlockedNamed; ++n)
        text += " " + blocked[n];
    if (blocked.size() > kBlockedNamed)
        text += " ...";
    return text;
}

// The hosts the renderer may load from: the page's and the start address's.
std::vector<std::string> TaskSites(const TPageFacts& facts)
{
    std::vector<std::string> sites;
    for (const std::string& url : {facts.URL, facts.StartDirectory})
    {
        std::string host = LowerCase(URLHost(url));
        if (!host.empty() && std::find(sites.begin(), sites.end(), host) == sites.end())
            sites.push_back(std::move(host));
    }
    return sites;
}

} // namespace

void TRendered::QueueRequested(TPageScan& scan) const
{
    for (const std::string& url : Requested)
        scan.FollowUsedAddress(url);
}

std::string SavedRenderedDocument(std::string document)
{
    // The browser's document is text; it is handed over (and saved) as UTF-8, so a
    // charset the page declared for its fetched bytes no longer holds. The first
    // declaration in the head is the one a browser takes.
    for (int found = FindNoCase("<head", document, 1); found > 0; found = FindNoCase("<head", document, found + 1))
    {
        const std::size_t after = static_cast<std::size_t>(found - 1) + 5;
        if (after < document.size() && document[after] != '>' && document[after] != ' ')
            continue; // <header>
        const std::size_t headEnd = document.find('>', after);
        if (headEnd != std::string::npos)
            document.insert(headEnd + 1, "<meta charset=\"utf-8\">");
        break;
    }
    if (!StartsWithNoCase(document, "<!doctype"))
        document.insert(0, "<!DOCTYPE html>\n");
    return document;
}

TRenderStep::TRenderStep(std::string program)
    : m_program(std::move(program))
{
}

TRenderStep::~TRenderStep()
{
    EndRun();
}

void TRenderStep::BeginRun(int renderers)
{
    std::shared_ptr<THXRenderPool> ended;
    {
        std::lock_guard lock(m_lock);
        m_renderers = std::max(1, renderers);
        ended = std::move(m_pool);
    }
    if (ended)
        ended->Stop();
}

void TRenderStep::EndRun()
{
    std::shared_ptr<THXRenderPool> ended;
    {
        std::lock_guard lock(m_lock);
        ended = std::move(m_pool);
    }
    if (ended)
        ended->Stop();
}

bool TRenderStep::Available() const
{
    return RenderProgramPresent(m_program);
}

int TRenderStep::Starts() const
{
    std::lock_guard lock(m_lock);
    return m_pool ? m_pool->Starts() : 0;
}

std::shared_ptr<THXRenderPool> TRenderStep::Pool()
{
    std::lock_guard lock(m_lock);
    if (!m_pool)
        m_pool = std::make_shared<THXRenderPool>(m_program, m_renderers);
    return m_pool;
}

TRendered TRenderStep::Render(THXTask& task, const TPageFacts& facts, const THXProfile& profile, std::string& text)
{
    TRendered rendered;
    if (!profile.RenderPages || facts.StyleSheet || !IsWebURL(facts.URL))
        return rendered;
    if (!Available())
    {
        rendered.StatusText = "Not rendered: " + std::string(kRenderUnavailableText) + std::string(kKeptText);
        return rendered;
    }
    TRenderRequest request;
    request.URL = facts.URL;
    request.TimeOutMs = std::clamp(profile.RenderTimeOut, kMinRenderTimeOut, kMaxRenderTimeOut) * 1000;
    request.KeepScripts = profile.KeepScripts;
    request.Sites = TaskSites(facts);
    request.Cookies = task.Cookies.FileText(CookieClockNow());

    TRenderReply reply;
    switch (Pool()->Render(request, reply))
    {
    case TRenderOutcome::Rendered:
        break;
    case TRenderOutcome::Crashed:
        rendered.StatusText = "Not rendered: the renderer crashed" + std::string(kKeptText);
        return rendered;
    case TRenderOutcome::Hung:
        rendered.StatusText = "Not rendered: the renderer did not answer in time" + std::string(kKeptText);
        return rendered;
    case TRenderOutcome::GivenUp:
        rendered.StatusText =
            "Not rendered: the renderers failed twice and are not started again in this run" + std::string(kKeptText);
        return rendered;
    case TRenderOutcome::Unavailable:
        rendered.StatusText = "Not rendered: " + std::string(kRenderUnavailableText) + std::string(kKeptText);
        return rendered;
    case TRenderOutcome::Stopped:
        return rendered;
    }
    if (!reply.Loaded || reply.Document.empty())
    {
        rendered.StatusText =
            "Not rendered: " + (reply.Status.empty() ? std::string("the page did not load") : reply.Status) +
            std::string(kKeptText);
        return rendered;
    }
    text = SavedRenderedDocument(std::move(reply.Document));
    for (std::string& url : reply.Requested)
    {
        if (std::find(reply.Blocked.begin(), reply.Blocked.end(), url) == reply.Blocked.end() &&
            RenderAllowed(url, request.Sites) && StripFragment(url) != StripFragment(facts.URL))
            rendered.Requested.push_back(std::move(url));
    }
    if (!reply.Blocked.empty())
        rendered.StatusText = BlockedText(reply.Blocked);
    return rendered;
}

} // namespace hx
