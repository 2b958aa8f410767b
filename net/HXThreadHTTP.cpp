#include "net/HXThreadHTTP.h"

#include <exception>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXOwner.h"
#include "core/HXOwnerCall.h"
#include "core/HXPacing.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"
#include "core/HXURL.h"
#include "net/HXHostGate.h"
#include "net/HXHostHealth.h"
#include "net/HXPartFile.h"
#include "net/qkHTTP.h"

namespace hx
{

namespace
{

// The text after the first blank ("" when there is none).
std::string AfterFirstBlank(const std::string& line)
{
    const std::size_t blank = line.find(' ');
    return blank == std::string::npos ? std::string() : line.substr(blank + 1);
}

// The value of a header line when its name (with the colon) starts it, any case.
bool HeaderLineValue(const std::string& line, std::string_view name, std::string& value)
{
    if (!StartsWithNoCase(line, name))
        return false;
    value = Trim(std::string_view(line).substr(name.size()));
    return true;
}

} // namespace

int TResponseFacts::Status() const
{
    if (StatusCode.empty())
        return kNoStatus;
    std::int32_t value = 0;
    return TryStrToInt(StatusCode, value) && value > 0 ? value : kBadStatus;
}

bool IsRedirectStatus(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsSuccessStatus(int status)
{
    return status >= 200 && status <= 299;
}

bool AnsweredByHead(int status)
{
    return IsRedirectStatus(status) || status == 304 || status == 404;
}

void ReadResponseFacts(const TStringList& headers, TResponseFacts& facts)
{
    for (const std::string& line : headers)
    {
        if (line.compare(0, 5, "HTTP/") == 0)
        {
            facts.StatusCode = NthField(line, ' ', 1);
            facts.ReplyText = AfterFirstBlank(line);
            continue;
        }
        std::string value;
        if (HeaderLineValue(line, "Location:", value))
            facts.Location = value.substr(0, value.find_first_of(" \t"));
        else if (HeaderLineValue(line, "Date:", value))
            facts.Date = value;
        else if (HeaderLineValue(line, "Content-Type:", value))
            facts.ContentType = value;
        else if (HeaderLineValue(line, "Content-Length:", value))
            facts.ContentLength = value;
        else if (HeaderLineValue(line, "Last-Modified:", value))
            facts.LastModified = value;
        else if (HeaderLineValue(line, "ETag:", value))
            facts.ETag = value;
        else if (HeaderLineValue(line, "Server:", value))
            facts.Server = value;
    }
}

// ---- TThreadHTTP ----

TThreadHTTP::TThreadHTTP(TqkHTTP& connection, THXQItem& item, std::string userName, std::string password)
    : m_connection(connection)
    , m_http(connection.HTTP())
    , m_item(item)
    , m_task(*item.Task)
    , m_owner(item.Task->App().Owner())
    , m_userName(std::move(userName))
    , m_password(std::move(password))
{
    m_askHeadFirst = connection.AskHeadFirst.load();
    // Every request of the transfer carries the task's cookies and keeps what it is given.
    m_http.SetCookieJar(&m_task.Cookies);
    m_workingFolder = m_task.WorkingFolder();
    m_work.URL = item.URL;
    m_localPath = LocalFileName(m_workingFolder, DirectoryURL(m_work.URL), m_work.URL);
    m_work.Mode = item.Mode;
    m_work.StatusText = item.StatusText;
    m_work.LastModified = item.LastModified;
    m_storedLastModified = item.LastModified;
    m_storedETag = item.ETag;
    m_work.Size = item.Size;
}

TThreadHTTP::~TThreadHTTP()
{
    if (!m_ended.valid())
        return;
    if (m_busy)
    {
        RequestStop();
        while (m_busy)
        {
            m_http.Cancel();
            ServiceOwnerCalls(pacing::kTransferServiceStep);
        }
    }
    m_ended.wait();
}

void TThreadHTTP::Resume(bool ready)
{
    if (m_ended.valid())
        return;
    m_ready = ready;
    // Busy from here, so a stop that comes before the thread has run still waits
    // for it.
    m_busy = true;
    // The promise travels with the job: setting it is the job's last touch, and the
    // object may go as soon as it is set.
    auto ended = std::make_shared<std::promise<void>>();
    m_ended = ended->get_future();
    m_connection.RunTransfer(
        [this, ended]
        {
            Execute();
            ended->set_value();
        });
}

void TThreadHTTP::RequestStop()
{
    m_stopRequested = true;
}

void TThreadHTTP::ServiceOwnerCalls(std::chrono::milliseconds limit)
{
    // Elsewhere than on the owner thread this only waits: the hand-overs are the
    // owner's to run (its loop, or its own stop).
    const bool onOwner = m_owner.IsOwnerThread();
    std::shared_ptr<THXOwnerCall> call;
    {
        std::unique_lock lock(m_callMutex);
        if (onOwner)
        {
            if (!m_pendingCall && m_busy)
                m_callChanged.wait_for(lock, limit, [this] { return m_pendingCall != nullptr || !m_busy; });
            call = m_pendingCall;
        }
        else if (m_busy)
        {
            m_callChanged.wait_for(lock, limit, [this] { return !m_busy; });
        }
    }
    if (call)
        call->Run();
}

TResponseFacts TThreadHTTP::Facts() const
{
    std::lock_guard lock(m_factsMutex);
    return m_facts;
}

void TThreadHTTP::CallOwner(const std::function<void()>& fn)
{
    auto call = std::make_shared<THXOwnerCall>(fn);
    // On the owner thread (an owner that runs everything inline) there is nothing
    // for a stop to serve.
    if (m_owner.IsOwnerThread())
    {
        THXOwnerCall::Hand(m_owner, call);
        return;
    }
    {
        std::lock_guard lock(m_callMutex);
        m_pendingCall = call;
    }
    m_callChanged.notify_all();
    struct TClearPending
    {
        TThreadHTTP& thread;
        ~TClearPending()
        {
            std::lock_guard lock(thread.m_callMutex);
            thread.m_pendingCall.reset();
        }
    } clearPending{*this};
    THXOwnerCall::Hand(m_owner, call);
}

void TThreadHTTP::CheckStop() const
{
    if (m_stopRequested)
        throw ECanceledError(SocketErrorText(kErrCanceled));
}

void TThreadHTTP::Request(bool get)
{
    CheckStop();
    if (THXHostGate* gate = m_connection.HostGate)
        gate->Pass(URLHost(m_http.URL()), [this] { return m_stopRequested.load(); });
    CheckStop();
    const bool withCredentials = !m_userName.empty() && !m_password.empty();
    if (get)
    {
        PrepareBodyFile();
        if (withCredentials)
            m_http.Get(m_userName, m_password);
        else
            m_http.Get();
    }
    else
    {
        if (withCredentials)
            m_http.Head(m_userName, m_password);
        else
            m_http.Head();
    }
}

void TThreadHTTP::PrepareBodyFile()
{
    if (m_part)
        return;
    // Only a 2xx answer's body is stored; any other is counted and dropped.
    m_part = std::make_unique<TPartFile>(
        m_workingFolder, m_localPath,
        [this]
        {
            ReadFacts();
            return IsSuccessStatus(Facts().Status());
        },
        m_connection.PartWriter);
    m_http.SetBodyTarget(m_part.get());
}

void TThreadHTTP::ReadFacts()
{
    // Each answer's facts are its own: a redirect's length or date must not stand
    // for the page it leads to when that page's answer leaves them out.
    TResponseFacts facts;
    ReadResponseFacts(m_http.Headers(), facts);
    std::lock_guard lock(m_factsMutex);
    m_facts = std::move(facts);
}

void TThreadHTTP::TakeContentFacts(const TResponseFacts& facts)
{
    std::int64_t size = 0;
    // A body decoded on arrival has the size it turns out to have once decoded (the
    // length on the wire is the compressed one): taken when the transfer ends.
    if (m_http.DecodesBody() || !TryStrToInt64(facts.ContentLength, size) || size < 0)
        size = 0;
    m_work.Size = size;
    m_work.StatusText = facts.ReplyText;
    m_work.LastModified = facts.LastModified;
    m_work.ETag = facts.ETag;
}

void TThreadHTTP::Execute()
{
    m_connection.SetTag(0);
    m_http.Body().Clear();
    m_http.SetBodyTarget(nullptr);
    m_http.BodyWanted = nullptr;
    try
    {
        if (!m_ready)
            throw ECanceledError("The connection could not be set up");
        const std::string limitText = RunAttempts();
        FinishTransfer(limitText);
        if (!limitText.empty())
            m_connection.SetErrorStatus(limitText);
    }
    catch (const TNotModifiedEnd&)
    {
        // Nothing was received: the item keeps its file and its Updated state.
    }
    catch (const EDiskFull& error)
    {
        RecordDiskFull(error.what());
    }
    catch (const std::exception& error)
    {
        RecordBrokenTransfer(&error);
    }
    catch (...)
    {
        RecordBrokenTransfer(nullptr);
    }
    // A part file that was not moved into place goes with it.
    m_http.SetBodyTarget(nullptr);
    m_http.BodyWanted = nullptr;
    m_part.reset();
    // The archive file closes when its run ends, not when this slot is next used.
    m_http.SetRecorder(nullptr);
    m_connection.SetTag(1);
    {
        std::lock_guard lock(m_callMutex);
        m_busy = false;
    }
    m_callChanged.notify_all();
    if (m_connection.OnTransferEnded)
        m_connection.OnTransferEnded();
}

std::string TThreadHTTP::RunAttempts()
{
    int attempt = 1;
    for (int hops = 0;; ++hops)
    {
        CheckStop();
        SetConditionalHeaders();
        if (Dispose(AskFirst(), attempt))
        {
            AskGet();
            Dispose(TAsked::Get, attempt);
        }
        // Another attempt only after a redirect or an answer without a status code.
        const TResponseFacts last = Facts();
        const int status = last.Status();
        if (status == 404)
            ++attempt;
        if (!((IsRedirectStatus(status) || status == kNoStatus) && attempt <= 2))
            return {};
        // A chain this long goes round in a loop: it ends as an error that says so.
        if (hops >= kMaxTransferHops)
        {
            if (status == kNoStatus)
                return std::string(kTooManyAttemptsText);
            return std::string(kTooManyRedirectsText) + " (" + last.ReplyText + ")";
        }
    }
}

void TThreadHTTP::SetConditionalHeaders()
{
    m_http.SetIfModifiedSince("");
    m_http.SetIfNoneMatch("");
    m_http.SetRange(0);
    m_http.SetIfRange("");
    m_http.SetResumeFile("");
    if (m_work.Mode == kModeUpdate)
    {
        m_http.SetIfModifiedSince(m_storedLastModified);
        m_http.SetIfNoneMatch(m_storedETag);
    }
    if (!StartsWithNoCase(m_work.StatusText, "Incomplete"))
        return;
    // The bytes on disk stay; the request starts on the last of them. A file that has
    // gone (or lost bytes) has nothing to continue: it starts over.
    std::int64_t received = 0;
    if (!TryStrToInt64(TextBetween(m_work.StatusText, "Incomplete (", " bytes)"), received))
        received = 1;
    std::error_code error;
    const auto onDisk = std::filesystem::file_size(m_localPath, error);
    if (!error && received > 1 && static_cast<std::int64_t>(onDisk) >= received - 1)
    {
        m_http.SetRange(received - 1);
        m_http.SetResumeFile(m_localPath);
        // A resource changed since is answered whole.
        m_http.SetIfRange(m_storedLastModified);
    }
}

TThreadHTTP::TAsked TThreadHTTP::AskFirst()
{
    // Without the HEAD the GET's header lines decide what the HEAD's would have, and
    // its body is read only where a GET would have followed. A resumed range keeps
    // the HEAD: its answer decides whether the range is asked.
    if (m_askHeadFirst || m_http.Range() > 0)
    {
        Request(false);
        ReadFacts();
        return TAsked::Head;
    }
    m_http.BodyWanted = [this]
    {
        ReadFacts();
        const TResponseFacts facts = Facts();
        if (AnsweredByHead(facts.Status()))
            return false;
        // What a HEAD would have given is known before the body, so a body that
        // breaks off leaves the item as it would with the HEAD.
        TakeContentFacts(facts);
        return true;
    };
    Request(true);
    m_http.BodyWanted = nullptr;
    ReadFacts();
    return TAsked::Get;
}

void TThreadHTTP::AskGet()
{
    Publish();
    // The GET's body is read only where the one-GET way reads it, so both ways
    // receive and count the same bytes.
    m_http.BodyWanted = [this]
    {
        ReadFacts();
        return !AnsweredByHead(Facts().Status());
    };
    Request(true);
    ReadFacts();
    if (Facts().Status() == 206 && m_http.Range() > 0 && !m_http.Resumed())
    {
        // A part that does not carry on where the file ends cannot be placed: the
        // whole resource, from its first byte.
        m_http.SetRange(0);
        Request(true);
        ReadFacts();
    }
    m_http.BodyWanted = nullptr;
}

bool TThreadHTTP::Dispose(TAsked asked, int& attempt)
{
    // Servers answer HEAD and GET differently; after a GET, what the GET says is what
    // happened, whether a HEAD came before it or not.
    const TResponseFacts facts = Facts();
    const int status = facts.Status();
    const bool head = asked == TAsked::Head;
    if (IsRedirectStatus(status))
    {
        FollowRedirect(facts, attempt);
        return false;
    }
    if (status == 304)
        EndNotModified(facts);
    if (status == 404)
    {
        m_work.StatusText = facts.ReplyText;
        if (head)
            Publish();
        return false;
    }
    // A part of the resource, asked for (or carried on) after the bytes on disk.
    if (status == 206 && (head || m_http.Resumed()))
    {
        m_work.StatusText = facts.ReplyText;
        m_work.LastModified = facts.LastModified;
        return head;
    }
    // Anything else is the resource itself (or an error page): a GET after a HEAD
    // asks for it whole.
    if (head)
        m_http.SetRange(0);
    TakeContentFacts(facts);
    return head;
}

void TThreadHTTP::FollowRedirect(const TResponseFacts& facts, int& attempt)
{
    // A relative location is relative to the address that answered with it,
    // which after earlier redirects is no longer the item's own. An absolute one is
    // taken as it is: a redirect between http and https is the server's choice, not
    // a link whose scheme follows its page's.
    const bool absolute = IsWebURL(facts.Location);
    std::string location = ResolveAndNormalize(facts.Location, absolute ? std::string_view()
                                                                        : std::string_view(DirectoryURL(m_http.URL())));
    // A refused location stays as it was (empty): NormalizeURL would complete it to
    // a bare "http://" that the client accepts.
    std::string checked = location;
    if (NormalizeURL(checked))
        location = checked;
    else
        attempt = kRefusedRedirectAttempt;
    // An empty or non-web location fails here with "Invalid URL".
    m_http.SetURL(location);
}

void TThreadHTTP::EndNotModified(const TResponseFacts& facts)
{
    m_work.StatusText = facts.ReplyText;
    CallOwner(
        [this]
        {
            ApplyToItem();
            m_task.SetItemState(m_item, kStateUpdated);
            m_task.CommitItem(m_item, false);
        });
    throw TNotModifiedEnd{};
}

void TThreadHTTP::FinishTransfer(const std::string& limitText)
{
    // A page that came from another folder through redirects has its relative links
    // resolved against that folder when it is parsed.
    const std::string contentFolder = DirectoryURL(m_http.URL());
    m_work.ContentFolder = contentFolder != DirectoryURL(m_work.URL) ? contentFolder : std::string();
    m_http.SetURL(m_work.URL);
    const TResponseFacts facts = Facts();
    if (m_work.Size == 0)
        m_work.Size = m_http.BodySize();
    m_work.StatusText = limitText.empty() ? facts.ReplyText : limitText;
    m_work.LastModified = facts.LastModified;
    m_work.ETag = facts.ETag;
    // A kept body moves into place here, on this thread; the owner thread records the
    // outcome. (A 2xx answer without a GET leaves an empty file.)
    if (IsSuccessStatus(facts.Status()))
    {
        if (!m_part)
            m_part = std::make_unique<TPartFile>(m_workingFolder, m_localPath);
        m_committed = m_part->Commit();
        m_commitTried = true;
        if (!m_committed && StopsTheRun(m_part->Error()))
            throw EDiskFull(WriteStopText(m_localPath, m_part->Error()));
    }
    CallOwner(
        [this]
        {
            ApplyToItem();
            Save();
            // The record holds the texts now; the object lets go of them.
            m_task.CommitItem(m_item, true);
        });
}

void TThreadHTTP::RecordBrokenTransfer(const std::exception* error)
{
    // Socket and HTTP failures have reported themselves through OnError; anything
    // else still has to show on the slot so the dispatcher counts an error.
    if (m_connection.State() != TqkHTTPState::hsStopping && dynamic_cast<const ESocketError*>(error) == nullptr)
        m_connection.SetErrorStatus(error != nullptr ? error->what() : "Transfer failed");

    // An https server that could not be reached securely: the item says why.
    const auto* socketError = dynamic_cast<const ESocketError*>(error);
    if (socketError != nullptr && (socketError->Code() == kErrCertificate || socketError->Code() == kErrSecureChannel ||
                                   socketError->Code() == kErrTunnel))
        RecordSecureFailure(socketError->what());
    // A server that is not there (its name unknown, the connection refused): the
    // item says so and names the server, so the error report shows which one. An
    // interrupted item keeps its text, which says where the next run resumes.
    else if (socketError != nullptr && socketError->Code() != kErrTimedOut &&
             IsUnreachableFailure(socketError->Code()) && !StartsWithNoCase(m_work.StatusText, "Incomplete"))
        RecordSecureFailure(std::string(socketError->what()) + ": " + m_http.Server());

    const std::int64_t received = m_http.BodySize();
    if (received <= 0)
        return;
    try
    {
        CallOwner(
            [this, received]
            {
                ApplyToItem();
                // Bytes that could not be put in place are not there to resume from.
                if (!Save())
                    return;
                m_item.StatusText = "Incomplete (" + std::to_string(received) + " bytes)";
                m_task.SetItemState(m_item, kStateDownloading);
                m_task.CommitItem(m_item, false);
            });
    }
    catch (...)
    {
        // The owner thread is gone (the program is closing): nothing can be recorded.
    }
}

void TThreadHTTP::RecordSecureFailure(const std::string& text)
{
    try
    {
        CallOwner(
            [this, &text]
            {
                m_item.StatusText = text;
                m_task.CommitItem(m_item, false);
            });
    }
    catch (...)
    {
        // The owner thread is gone (the program is closing): nothing can be recorded.
    }
}

void TThreadHTTP::RecordDiskFull(const std::string& text)
{
    // Not an ended transfer: the run stops for the full disk, and the item, left
    // interrupted with its earlier file, is fetched again when the task resumes.
    m_connection.SetState(TqkHTTPState::hsStopping);
    if (m_part)
        m_part->Discard();
    try
    {
        CallOwner(
            [this, &text]
            {
                m_connection.AccountBytes();
                if (m_connection.OnDiskFull)
                    m_connection.OnDiskFull(text);
            });
    }
    catch (...)
    {
        // The owner thread is gone (the program is closing): nothing can be told.
    }
}

// ---- Owner-thread parts ----

std::string TThreadHTTP::LocalPath() const
{
    return m_localPath;
}

void TThreadHTTP::ApplyToItem()
{
    m_item.BaseURL = m_work.ContentFolder;
    m_item.StatusText = m_work.StatusText;
    m_item.LastModified = m_work.LastModified;
    m_item.ETag = m_work.ETag;
    m_item.Size = m_work.Size;
    m_connection.AccountBytes();
}

void TThreadHTTP::Publish()
{
    CallOwner(
        [this]
        {
            ApplyToItem();
            m_task.CommitItem(m_item, false);
        });
}

bool TThreadHTTP::Save()
{
    const TResponseFacts facts = Facts();
    if (!IsSuccessStatus(facts.Status()))
    {
        if (m_part)
            m_part->Discard();
        m_task.SetItemState(m_item, kStateError);
        return true;
    }
    const std::string path = LocalPath();
    m_item.LocalFile = path;
    // The body is in the part file beside the target (a 2xx answer without a GET
    // leaves an empty file); moving it over the target means a file is either the
    // previous one or what this transfer received, never a half-written mix. A
    // finished transfer has moved it already.
    if (!m_commitTried)
    {
        if (!m_part)
            m_part = std::make_unique<TPartFile>(m_workingFolder, path);
        m_committed = m_part->Commit();
        m_commitTried = true;
    }
    if (!m_committed)
    {
        m_item.LocalFile.clear();
        if (m_part && StopsTheRun(m_part->Error()))
        {
            // The item stays interrupted, to be fetched again when the task resumes;
            // the slot ends as a stopped one, not as a failed transfer.
            m_connection.SetState(TqkHTTPState::hsStopping);
            if (m_connection.OnDiskFull)
                m_connection.OnDiskFull(WriteStopText(path, m_part->Error()));
            return false;
        }
        // An item whose file cannot be made failed: it is counted as an error and
        // not asked for again in this run.
        m_item.StatusText = std::string(kFileNotCreatedText);
        m_task.SetItemState(m_item, kStateError);
        m_connection.RaiseMessage("Error: Failed to create file: " + path, true);
        return false;
    }
    m_task.SetItemState(m_item, kStateSaved);
    return true;
}

} // namespace hx
