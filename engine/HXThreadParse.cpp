#include "engine/HXThreadParse.h"

#include <cerrno>
#include <exception>
#include <filesystem>
#include <utility>
#include <vector>

#include <unistd.h>

#include "core/HXApp.h"
#include "core/HXEncoding.h"
#include "core/HXFileTypes.h"
#include "core/HXFiles.h"
#include "core/HXOwner.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "engine/HXRenderStep.h"
#include "engine/HXThreadParseRewrite.h"
#include "engine/HXThreadParseScan.h"
#include "engine/HXThreadParseStyle.h"
#include "net/HXPartFile.h"

namespace hx
{

namespace
{

// New items are handed to the owner thread at least this many at a time when the
// progress interval has not passed yet.
constexpr std::size_t kItemBatch = 256;
// Record field of an item's title.
constexpr int kTitleField = 8;

std::string ParsingText(const TPageScan& scan)
{
    return "Parsing... Links: " + std::to_string(scan.LinksFound) + "  New Links: " + std::to_string(scan.NewLinks);
}

bool IsEmptyFile(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return !error && size == 0;
}

} // namespace

TParsePacing TParsePacing::Fast()
{
    TParsePacing pacing;
    pacing.StatusWait = std::chrono::milliseconds(0);
    pacing.SleepOnlyWhenIdle = true;
    pacing.StatusWithHandOver = true;
    pacing.ReadAheadWithSave = true;
    return pacing;
}

TThreadParse::TThreadParse(THXApp& app, TParsePacing pacing)
    : m_app(app)
    , m_pacing(pacing)
{
    m_thread = std::thread([this] { Execute(); });
}

TThreadParse::~TThreadParse()
{
    m_worker.End();
    m_thread.join();
}

void TThreadParse::SetTask(std::shared_ptr<THXTask> task)
{
    {
        std::lock_guard lock(m_mutex);
        m_task = std::move(task);
        m_refused.clear();
    }
    EndRun();
}

std::shared_ptr<THXTask> TThreadParse::Task() const
{
    std::lock_guard lock(m_mutex);
    return m_task;
}

void TThreadParse::SetStatusView(THXParseStatus* view)
{
    std::lock_guard lock(m_mutex);
    m_statusView = view;
}

void TThreadParse::SetPacing(const TParsePacing& pacing)
{
    std::lock_guard lock(m_mutex);
    m_pacing = pacing;
}

TParsePacing TThreadParse::Pacing() const
{
    std::lock_guard lock(m_mutex);
    return m_pacing;
}

void TThreadParse::Wake()
{
    m_worker.Wake();
}

void TThreadParse::SetOnDiskFull(std::function<void(const std::string& text)> onDiskFull)
{
    std::lock_guard lock(m_mutex);
    m_onDiskFull = std::move(onDiskFull);
}

void TThreadParse::SetGivenUp(TPageScan::TGivenUpTest givenUp)
{
    std::lock_guard lock(m_mutex);
    m_givenUp = std::move(givenUp);
}

void TThreadParse::SetOnPageDone(std::function<void()> onPageDone)
{
    std::lock_guard lock(m_mutex);
    m_onPageDone = std::move(onPageDone);
}

void TThreadParse::Halt()
{
    if (m_worker.Halt())
        ForgetKeptStatus();
}

void TThreadParse::Resume()
{
    if (!m_worker.Halted())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_refused.clear();
    }
    m_worker.Resume();
}

bool TThreadParse::Halted() const
{
    return m_worker.Halted();
}

bool TThreadParse::Paused() const
{
    return m_worker.Paused();
}

bool TThreadParse::PageWaiting(THXTask& task) const
{
    return NextPageToParse(task) != nullptr || NextSheetToParse(task, m_worker.Number()) != nullptr;
}

THXQItem* TThreadParse::NextSheetToParse(THXTask& task, std::uint64_t run) const
{
    TSheetWatch& watch = m_sheets;
    const int count = task.ItemCount();
    if (watch.Task != &task || watch.Run != run || count < watch.ScannedPairs)
        watch = TSheetWatch{&task, run, 0, {}};
    for (int pair = watch.ScannedPairs; pair < count; ++pair)
    {
        const THXQItem* item = task.Item(pair);
        // The queue line holds the address; the item's own copy may have been released.
        if (item != nullptr && !item->IsPage() && IsStyleSheetURL(task.QueueLine(2 * pair)))
            watch.Pairs.push_back(pair);
    }
    watch.ScannedPairs = count;
    // A sheet fetched in another way (not modified, zipped) or rewritten is done.
    std::erase_if(watch.Pairs,
                  [&task](int pair)
                  {
                      const THXQItem* item = task.Item(pair);
                      return item == nullptr || (IsFetchedState(item->State) && item->State != kStateSaved);
                  });
    std::set<const THXQItem*> refused;
    {
        std::lock_guard lock(m_mutex);
        refused = m_refused;
    }
    THXQItem* found = nullptr;
    for (const int pair : watch.Pairs)
    {
        THXQItem* item = task.Item(pair);
        if (item->State == kStateSaved && !refused.contains(item))
        {
            found = item;
            break;
        }
    }
    m_sheetsScanned = count;
    m_sheetsWaiting = !watch.Pairs.empty();
    return found;
}

void TThreadParse::SettleParsed(THXTask& task, THXQItem& item, bool styleSheet) const
{
    if (!styleSheet || item.IsPage())
    {
        task.SetItemState(item, kStateParsed);
        return;
    }
    // A style sheet stays a fetched resource; this run does not offer it again.
    if (m_sheets.Task == &task)
        std::erase(m_sheets.Pairs, item.Index / 2);
}

bool TThreadParse::SheetsMayWait(THXTask& task) const
{
    return m_sheetsWaiting || task.ItemCount() != m_sheetsScanned;
}

THXQItem* TThreadParse::NextPageToParse(THXTask& task) const
{
    THXQItem* first = task.NextSavedPage();
    if (first == nullptr)
        return nullptr;
    std::set<const THXQItem*> refused;
    {
        std::lock_guard lock(m_mutex);
        if (!m_refused.contains(first))
            return first;
        refused = m_refused;
    }
    const int count = task.ItemCount();
    for (int pair = first->Index / 2 + 1; pair < count; ++pair)
    {
        THXQItem* candidate = task.Item(pair);
        if (candidate && candidate->IsPage() && candidate->State == kStateSaved && !refused.contains(candidate))
            return candidate;
    }
    return nullptr;
}

int TThreadParse::PagesDone() const
{
    return m_pagesDone;
}

void TThreadParse::EndRun()
{
    m_worker.EndRun();
    ForgetKeptStatus();
}

void TThreadParse::ForgetKeptStatus()
{
    // A text kept for the ended run's next hand-over is never shown (as a status
    // hand-over of an ended run never runs).
    std::lock_guard lock(m_mutex);
    m_keptStatus.reset();
}

bool TThreadParse::Current(std::uint64_t run) const
{
    return m_worker.Current(run);
}

bool TThreadParse::OnOwner(std::uint64_t run, const std::function<void()>& fn)
{
    return m_worker.OnOwner(m_app.Owner(), run,
                            [this, &fn]
                            {
                                ShowKeptStatus();
                                fn();
                            });
}

bool TThreadParse::Status(std::uint64_t run, const std::string& text)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_pacing.StatusWithHandOver)
        {
            m_keptStatus = text;
            return Current(run);
        }
    }
    return OnOwner(run, [this, &text] { ShowStatusNow(text); });
}

void TThreadParse::ShowKeptStatus()
{
    std::optional<std::string> text;
    {
        std::lock_guard lock(m_mutex);
        text.swap(m_keptStatus);
    }
    if (text)
        ShowStatusNow(*text);
}

void TThreadParse::RemoveReplacedFiles()
{
    std::vector<std::string> files;
    {
        std::lock_guard lock(m_replacedLock);
        files.swap(m_replacedFiles);
    }
    for (const std::string& path : files)
        ::unlink(path.c_str());
}

bool TThreadParse::HasKeptStatus() const
{
    std::lock_guard lock(m_mutex);
    return m_keptStatus.has_value();
}

void TThreadParse::ShowStatusNow(const std::string& text)
{
    THXParseStatus* view = nullptr;
    {
        std::lock_guard lock(m_mutex);
        view = m_statusView;
    }
    if (view)
        view->ShowStatus(text);
}

bool TThreadParse::Pause(std::uint64_t run, std::chrono::milliseconds wait)
{
    if (wait <= std::chrono::milliseconds(0))
        return Current(run);
    return m_worker.Sleep(run, wait);
}

void TThreadParse::Execute()
{
    for (;;)
    {
        std::shared_ptr<THXTask> task;
        std::uint64_t run = 0;
        bool foundPage = false;
        if (m_worker.Ending() || m_worker.Halted())
            RemoveReplacedFiles();
        const std::optional<std::uint64_t> begun = m_worker.Begin();
        if (!begun)
            return;
        run = *begun;
        task = Task();
        if (task)
        {
            THXQItem* item = nullptr;
            try
            {
                // The save of the last page may have read the next one already.
                std::unique_ptr<TPageRead> ahead = std::move(m_readAhead);
                if (ahead && ahead->Run != run)
                    ahead.reset();
                item = ahead ? ahead->Item : NextSavedPage(*task, run);
                foundPage = item != nullptr;
                if (item && ParsePage(*task, *item, run, std::move(ahead)) != TParseOutcome::Abandoned)
                {
                    ++m_pagesDone;
                    std::function<void()> onPageDone;
                    {
                        std::lock_guard lock(m_mutex);
                        onPageDone = m_onPageDone;
                    }
                    if (onPageDone)
                        onPageDone();
                }
            }
            catch (const std::exception& error)
            {
                // A page that fails in an unforeseen way is not offered again in this run,
                // so the loop never spins on it.
                {
                    std::lock_guard lock(m_mutex);
                    if (item)
                        m_refused.insert(item);
                }
                try
                {
                    Status(run, std::string("Unable to parse page: ") + error.what());
                }
                catch (const std::exception&)
                {
                }
            }
        }
        // Between two pages; no sleep while halted, nor (fast pacing) while pages wait.
        const TParsePacing pacing = Pacing();
        if (pacing.SleepOnlyWhenIdle && foundPage)
            continue;
        // Out of pages: the fetched files the rewritten pages replaced go, and a status
        // text kept for the next hand-over is shown now.
        if (!foundPage)
            RemoveReplacedFiles();
        if (task && !foundPage && HasKeptStatus())
        {
            try
            {
                OnOwner(run, [] {});
            }
            catch (const std::exception&)
            {
            }
        }
        // The sleep ends with the run (a halt, a new task, the end) and, when the
        // worker sleeps only while idle, at a wake-up.
        if (pacing.SleepOnlyWhenIdle)
            m_worker.AwaitWake(run, pacing.SleepStep * pacing.SleepSteps);
        else
            m_worker.Sleep(run, pacing.SleepStep, pacing.SleepSteps);
        m_worker.ClearWake();
    }
}

THXQItem* TThreadParse::NextSavedPage(THXTask& task, std::uint64_t run)
{
    THXQItem* first = task.NextSavedPage();
    {
        std::lock_guard lock(m_mutex);
        if (first != nullptr && !m_refused.contains(first))
            return first;
    }
    if (first == nullptr && !SheetsMayWait(task))
        return nullptr;
    // Out of pages: the fetched files the rewritten pages replaced go before the worker
    // waits for the owner thread.
    if (first == nullptr)
        RemoveReplacedFiles();
    // The first saved page could not be written back in this run, or no page waits
    // and a style sheet may. The items are looked at on the owner thread, where their
    // states change; pages go before style sheets.
    THXQItem* next = nullptr;
    OnOwner(run,
            [&]
            {
                next = NextPageToParse(task);
                if (next == nullptr)
                    next = NextSheetToParse(task, run);
            });
    return next;
}

TParseOutcome TThreadParse::ParsePage(THXQItem& item)
{
    std::shared_ptr<THXTask> task;
    std::uint64_t run = 0;
    {
        std::lock_guard lock(m_mutex);
        task = m_task;
        run = m_worker.Number();
    }
    if (!task)
        return TParseOutcome::Abandoned;
    return ParsePage(*task, item, run, nullptr);
}

void TThreadParse::NoteUnfetchedLinks(THXTask& task, const THXQItem& page, const std::vector<std::string>& linkedURLs,
                                      const std::vector<std::string>& addressedURLs)
{
    if (page.Index < 0)
        return;
    const auto pagePair = static_cast<THXLinkBook::TPair>(page.Index / 2);
    for (const std::string& url : linkedURLs)
    {
        const THXQItem* target = task.FindItem(url);
        if (target != nullptr && target->Index >= 0 && !IsFetchedState(target->State))
            task.LinkBook.Note(pagePair, static_cast<THXLinkBook::TPair>(target->Index / 2));
    }
    // Links saved with the address: made local once their item is fetched, in a later
    // run (or in this one, if it is fetched after all).
    for (const std::string& url : addressedURLs)
    {
        const THXQItem* target = task.FindItem(url);
        if (target != nullptr && target->Index >= 0)
            task.LinkBook.NoteAddressed(pagePair, static_cast<THXLinkBook::TPair>(target->Index / 2));
    }
}

TThreadParse::TPageRead TThreadParse::ReadPage(THXTask& task, THXQItem& item, std::uint64_t run) const
{
    TPageRead read;
    read.Item = &item;
    read.Run = run;
    task.ReloadItem(item);
    // A style sheet is rewritten like a page; its links resolve against its own address.
    const bool styleSheet = IsStyleSheetURL(item.URL);
    read.PageItem = item.IsPage();
    read.SavedPage = (item.IsPage() || styleSheet) && item.State == kStateSaved;
    read.Facts.URL = item.URL;
    read.Facts.StyleSheet = styleSheet;
    read.Facts.ContentDirectory = item.IsPage() ? item.BaseURL : std::string();
    read.Facts.Level = item.Level;
    read.Facts.Mode = item.Mode;
    read.Facts.SignedIn = !task.Cookies.Empty();
    read.FrameFlag = item.FrameFlag;
    // A page fetched before the queue was last loaded has no local file in memory: it
    // lies where the transfer put it.
    if (item.LocalFile.empty())
        item.LocalFile = LocalFileName(task.WorkingFolder(), DirectoryURL(item.URL), item.URL);
    read.LocalFile = item.LocalFile;
    // The start item's URL as ReloadItem would read it, without loading that item's strings.
    read.Facts.StartDirectory = DirectoryURL(Cp1252ToUtf8(task.QueueLine(0)));
    read.Profile = task.Profile;
    read.Intranet = task.IntranetMode;
    read.Groups = ReadGroups(m_app.Store());
    read.NoAds = m_app.NoAds();
    read.BannerPage = m_app.BannerPage();
    read.MaxPageBytes = static_cast<std::uint64_t>(m_app.MaxPageSize()) * 1024 * 1024;
    return read;
}

TParseOutcome TThreadParse::ParsePage(THXTask& task, THXQItem& item, std::uint64_t run,
                                      std::unique_ptr<TPageRead> ahead)
{
    std::optional<TPageRead> read = ReadOrReuse(task, item, run, std::move(ahead));
    if (!read || !read->SavedPage)
        return TParseOutcome::Abandoned;
    TPageRead& page = *read;
    const TParsePacing pacing = Pacing();
    if (!Status(run, "Loading Page: " + page.LocalFile) || !Pause(run, pacing.StatusWait))
        return TParseOutcome::Abandoned;
    if (TooLarge(page))
        return SettleTooLarge(task, page);
    std::string text = LoadPageText(page);
    if (text.empty())
        return SettleEmptyOrRefetch(task, page);
    if (RewrittenEarlier(page, text))
        return SettleRewrittenSheet(task, page);
    // The render step may replace the text by the page as its scripts built it.
    const TRendered rendered =
        m_renderStep ? m_renderStep.load()->Render(task, page.Facts, page.Profile, text) : TRendered{};
    if (!rendered.StatusText.empty() && !OnOwner(run, [&] { page.Item->StatusText = rendered.StatusText; }))
        return TParseOutcome::Abandoned;
    TPageScan scan(std::move(text), page.Facts, page.Profile, std::move(page.Groups));
    rendered.QueueRequested(scan);
    if (!ScanPage(task, page, scan, pacing))
        return TParseOutcome::Abandoned;
    return SavePage(task, page, scan, pacing);
}

std::optional<TThreadParse::TPageRead> TThreadParse::ReadOrReuse(THXTask& task, THXQItem& item, std::uint64_t run,
                                                                 std::unique_ptr<TPageRead> ahead)
{
    // What the page work needs, read on the owner thread (or by the last page's save):
    // the item as its record holds it, the start directory, the profile, the file type
    // groups and the banner settings.
    if (ahead && ahead->Item == &item && ahead->Run == run)
        return std::move(*ahead);
    std::optional<TPageRead> page;
    if (!OnOwner(run, [&] { page = ReadPage(task, item, run); }))
        return std::nullopt;
    return page;
}

bool TThreadParse::TooLarge(const TPageRead& page)
{
    std::error_code sizeError;
    const std::uint64_t fileSize = page.LocalFile.empty() ? 0 : std::filesystem::file_size(page.LocalFile, sizeError);
    return !sizeError && fileSize > page.MaxPageBytes;
}

void TThreadParse::SettleAsItIs(THXTask& task, const TPageRead& page) const
{
    SettleParsed(task, *page.Item, page.Facts.StyleSheet);
    task.CommitItem(*page.Item, true);
    if (!page.Intranet)
        task.AddZipPending(page.LocalFile, page.Item);
}

TParseOutcome TThreadParse::SettleTooLarge(THXTask& task, const TPageRead& page)
{
    // A page above the "Max Page Size" is kept as it was fetched: it is not loaded, its
    // links are not followed, and its status text says why.
    const std::string limit = std::to_string(page.MaxPageBytes / (1024 * 1024)) + " MB";
    const bool settled = OnOwner(page.Run,
                                 [&]
                                 {
                                     page.Item->StatusText = "Not parsed: larger than Max Page Size (" + limit + ")";
                                     SettleAsItIs(task, page);
                                 });
    if (!settled)
        return TParseOutcome::Abandoned;
    Status(page.Run, "Page not parsed, larger than Max Page Size (" + limit + "): " + page.LocalFile);
    return TParseOutcome::TooLarge;
}

std::string TThreadParse::LoadPageText(const TPageRead& page)
{
    // Load, on this thread: while the page is in state 5 no transfer writes its file,
    // and a file is only ever replaced whole.
    if (page.LocalFile.empty() || !FileExists(page.LocalFile))
        return {};
    // A style sheet keeps its bytes (and line ends) but for the rewritten links.
    if (page.Facts.StyleSheet)
        return ReadWholeFile(page.LocalFile).value_or(std::string());
    return LoadTextFile(page.LocalFile);
}

TParseOutcome TThreadParse::SettleEmptyOrRefetch(THXTask& task, const TPageRead& page)
{
    // A missing (or unreadable) file sends the page back to be fetched; a file without
    // text is taken as it is, so the task can complete.
    TParseOutcome outcome = TParseOutcome::Refetch;
    const bool settled = OnOwner(page.Run,
                                 [&]
                                 {
                                     const std::string& localFile = page.LocalFile;
                                     if (!localFile.empty() && FileExists(localFile) && IsEmptyFile(localFile))
                                     {
                                         outcome = TParseOutcome::Empty;
                                         SettleAsItIs(task, page);
                                         return;
                                     }
                                     task.SetItemState(*page.Item, kStateNone);
                                     task.CommitItem(*page.Item, true);
                                 });
    if (!settled)
        return TParseOutcome::Abandoned;
    Status(page.Run, "");
    return outcome;
}

bool TThreadParse::RewrittenEarlier(const TPageRead& page, const std::string& text)
{
    return page.Facts.StyleSheet && !page.PageItem && text.ends_with(kSheetRewrittenMark);
}

TParseOutcome TThreadParse::SettleRewrittenSheet(THXTask& task, const TPageRead& page)
{
    // A style sheet rewritten in an earlier run keeps its text: its links are local
    // already and would not lead back to their addresses.
    if (!OnOwner(page.Run, [&] { SettleParsed(task, *page.Item, true); }))
        return TParseOutcome::Abandoned;
    Status(page.Run, "");
    return TParseOutcome::Parsed;
}

void TThreadParse::AddFoundItems(THXTask& task, std::vector<THXQItem> items)
{
    for (THXQItem& found : items)
    {
        if (task.IsKnownURL(found.URL))
            continue;
        auto added = std::make_unique<THXQItem>(std::move(found));
        added->Task = &task;
        task.SetItemState(*added, kStateNone);
        task.AddItem(std::move(added));
    }
}

bool TThreadParse::ScanPage(THXTask& task, const TPageRead& page, TPageScan& scan, const TParsePacing& pacing)
{
    // The scans, on this thread. New items and progress texts go to the owner thread
    // in batches; the end of the run ends the page.
    const std::uint64_t run = page.Run;
    const bool sheetResource = page.Facts.StyleSheet && !page.PageItem;
    const std::string originalText = sheetResource ? scan.PageText : std::string();
    scan.IsKnown = [&task](std::string_view url) { return task.IsKnownURL(url); };
    // A style sheet's links are not booked (a rewritten sheet keeps its text): they stay
    // local names, to be right once a later run fetches their items.
    if (!page.Facts.StyleSheet)
    {
        std::lock_guard lock(m_mutex);
        scan.IsGivenUp = m_givenUp;
    }
    // The first "Parsing..." text and batch go at once, unless status texts wait for
    // a hand-over: then a page scanned within the interval needs no batch of its own.
    auto nextProgress = std::chrono::steady_clock::now();
    if (pacing.StatusWithHandOver)
        nextProgress += pacing.ProgressInterval;
    scan.AfterFind = [&](TPageScan& current)
    {
        if (!Current(run))
            return false;
        const auto now = std::chrono::steady_clock::now();
        if (now < nextProgress && current.PendingItems() < kItemBatch)
            return true;
        nextProgress = now + pacing.ProgressInterval;
        const std::string statusText = ParsingText(current);
        std::vector<THXQItem> items = current.TakeNewItems();
        return OnOwner(run,
                       [&]
                       {
                           AddFoundItems(task, std::move(items));
                           ShowStatusNow(statusText);
                       });
    };
    // The items found after the last batch join the queue with the save, in the same
    // hand-over and before it.
    scan.AfterScan = [this, run](TPageScan&) { return Current(run); };
    const bool scanned = scan.ScanLinks();
    // The hooks hold this step's locals: none is called after it.
    scan.AfterFind = nullptr;
    scan.AfterScan = nullptr;
    if (!scanned)
        return false;

    // Only a configured banner page is inserted: without one the banner would be an
    // empty frame on top of every saved page.
    if (page.FrameFlag != "Y" && !page.NoAds && !page.Facts.StyleSheet && !page.BannerPage.empty())
        InsertAdBanner(scan.PageText, page.BannerPage);
    // A style sheet whose links were made local says so at its end (it stays a fetched
    // resource, so its state cannot tell a later run).
    if (sheetResource && scan.PageText != originalText)
        scan.PageText += kSheetRewrittenMark;
    return true;
}

TParseOutcome TThreadParse::SavePage(THXTask& task, const TPageRead& page, TPageScan& scan, const TParsePacing& pacing)
{
    // Save: the rewritten page replaces the fetched file and the page is parsed, in one
    // step on the owner thread; the new text is written beside the file on this thread
    // first. A page that cannot be written keeps state 5 and is reported once.
    TPageSave save = PrepareSave(page, scan);
    if (!OnOwner(page.Run, [&] { CommitSave(task, page, save, pacing); }))
        return TParseOutcome::Abandoned;
    if (!save.Written)
    {
        std::lock_guard lock(m_mutex);
        m_refused.insert(page.Item);
    }
    if (Pause(page.Run, pacing.StatusWait))
        Status(page.Run, "");
    return save.Written ? TParseOutcome::Parsed : TParseOutcome::NotSaved;
}

TThreadParse::TPageSave TThreadParse::PrepareSave(const TPageRead& page, TPageScan& scan)
{
    TPageSave save;
    // The fetched file an earlier page replaced serves as this page's temporary, so a
    // crawl neither creates nor removes a file per rewritten page.
    std::string spare;
    {
        std::lock_guard lock(m_replacedLock);
        if (!m_replacedFiles.empty())
        {
            spare = std::move(m_replacedFiles.back());
            m_replacedFiles.pop_back();
        }
    }
    save.Prepared = save.Rewritten.Prepare(page.LocalFile, scan.PageText, TDurability::kAtomicOnly, &spare);
    save.Error = save.Prepared ? 0 : errno;
    if (!spare.empty())
    {
        std::lock_guard lock(m_replacedLock);
        m_replacedFiles.push_back(std::move(spare));
    }
    std::string().swap(scan.PageText);
    save.Title = scan.Title;
    save.NewItems = scan.TakeNewItems();
    save.LinkedURLs = scan.LinkedURLs();
    std::erase_if(save.LinkedURLs,
                  [&](const std::string& url)
                  {
                      if (!scan.Addressed(url))
                          return false;
                      save.AddressedURLs.push_back(url);
                      return true;
                  });
    return save;
}

void TThreadParse::CommitSave(THXTask& task, const TPageRead& page, TPageSave& save, const TParsePacing& pacing)
{
    THXQItem& item = *page.Item;
    const bool styleSheet = page.Facts.StyleSheet;
    AddFoundItems(task, std::move(save.NewItems));
    THXParseStatus* view = nullptr;
    {
        std::lock_guard lock(m_mutex);
        view = m_statusView;
    }
    if (view)
        view->ShowStatus("Saving Changes: " + page.LocalFile);
    if (!save.Title.empty())
        item.Title = save.Title;
    if (page.Facts.Level == 0 && !styleSheet)
        task.StartPageTitle = !save.Title.empty() ? save.Title : task.RecordField(item.Index / 2, kTitleField);
    std::string replaced;
    save.Written = save.Prepared && save.Rewritten.Commit(&replaced);
    if (save.Prepared && !save.Written)
        save.Error = errno;
    if (!replaced.empty())
    {
        std::lock_guard lock(m_replacedLock);
        m_replacedFiles.push_back(std::move(replaced));
    }
    if (save.Written)
        SettleAsItIs(task, page);
    else
        task.CommitItem(item, true);
    if (save.Written && !styleSheet)
        NoteUnfetchedLinks(task, item, save.LinkedURLs, save.AddressedURLs);
    std::function<void(const std::string&)> onDiskFull;
    {
        std::lock_guard lock(m_mutex);
        onDiskFull = m_onDiskFull;
    }
    // A full disk stops the run; the page is parsed again when it resumes.
    if (!save.Written && IsDiskFullError(save.Error) && onDiskFull)
        onDiskFull(DiskFullText(page.LocalFile, save.Error));
    else if (!save.Written && view)
        view->PageNotSaved(page.LocalFile);
    // The next page's read rides along, saving it a trip.
    if (pacing.ReadAheadWithSave)
    {
        THXQItem* next = NextPageToParse(task);
        if (next == nullptr)
            next = NextSheetToParse(task, page.Run);
        if (next && next != &item)
            m_readAhead = std::make_unique<TPageRead>(ReadPage(task, *next, page.Run));
    }
}

} // namespace hx
