#pragma once

// TRenderStep: the render step of the parse worker. A page fetched for a task whose
// profile has "Render Pages" on is loaded again from the live site in an offscreen
// browser (harbex-render, through THXRenderPool) before it is scanned: the rendered
// document replaces the fetched text, so what the page's scripts built is scanned,
// rewritten and saved, and links that exist only in the rendered document are
// followed; the addresses the page requested while rendering join the queue as
// resources under the profile's rules.
//
// A page that cannot be rendered keeps its fetched text, and its status text says why.
//
// Threads: Render runs on parse workers (several at once); BeginRun and EndRun on
// the owner thread. The renderers of a run start when a page first needs one and end
// with EndRun.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/HXProfile.h"
#include "engine/HXThreadParseScan.h"
#include "net/HXRenderClient.h"

namespace hx
{

class THXTask;

// What a render gives the page's scan.
struct TRendered
{
    // Addresses the page requested while rendering (those of the task's sites).
    std::vector<std::string> Requested;
    // A text for the page's status (empty: none to show).
    std::string StatusText;

    // The requested addresses become new items of the scan, as the page's pictures do.
    void QueueRequested(TPageScan& scan) const;
};

class TRenderStep
{
public:
    explicit TRenderStep(std::string program = RenderProgramPath());
    ~TRenderStep();
    TRenderStep(const TRenderStep&) = delete;
    TRenderStep& operator=(const TRenderStep&) = delete;

    // A run begins: at most this many renderers at once (started when needed).
    void BeginRun(int renderers);
    // The run ends: its renderers end, renders under way return at once (their pages
    // keep their fetched text).
    void EndRun();
    // Whether the program exists (a build without Qt WebEngine has none).
    bool Available() const;
    // Renderers started in this run so far (restarts included).
    int Starts() const;

    // The page's text is replaced by its rendered document when the profile asks for
    // rendering and the render succeeds; otherwise the text stays as fetched.
    TRendered Render(THXTask& task, const TPageFacts& facts, const THXProfile& profile, std::string& text);

private:
    std::shared_ptr<THXRenderPool> Pool();

    const std::string m_program;
    mutable std::mutex m_lock;
    int m_renderers = 2;
    std::shared_ptr<THXRenderPool> m_pool;
};

// The text shown instead of rendering when the renderer cannot be started.
inline constexpr std::string_view kRenderUnavailableText =
    "Render Pages needs harbex-render (Qt WebEngine), which could not be started";

// The rendered document as it is saved: a doctype first, and a UTF-8 charset
// declaration first in its head (the document is UTF-8 whatever the page was sent in).
std::string SavedRenderedDocument(std::string document);

} // namespace hx
