#pragma once

// TThreadHTTP: the thread that carries out one transfer of a connection slot. It
// asks the server with HEAD (or, when its slot says so, at once with a GET whose
// header lines stand for the HEAD's answer), follows redirects (301, 302, 303,
// 307 and 308, at most kMaxTransferHops of them), decides whether and how to GET
// (the whole resource, a resumed range, or nothing after 304 and 404), writes
// the body into a part file beside the item's local file as it arrives, moves it
// into place when the transfer ends and records the outcome in the item.
//
// Threads: the transfer runs on its slot's job thread (one per slot, kept from
// transfer to transfer). It never touches the
// queue item directly: it works on a copy of the fields it needs (taken on the
// owner thread when the transfer is created) and every change of the item, the
// queue or a file is handed to the owner thread, the transfer waiting for it. The
// owner thread that stops a transfer runs those hand-overs itself while it waits
// (ServiceOwnerCalls), so a stop never waits on a call that is queued behind it.
// The object is RAII: destroying it stops the transfer and waits until it has
// ended on the job thread.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "core/HXCommaList.h"

namespace hx
{

class TagHTTP;
class TPartFile;
class TqkHTTP;
class THXOwnerCall;
class THXOwnerThread;
class THXQItem;
class THXTask;

// Most further requests one transfer makes after its first HEAD: redirects
// followed and repeated attempts together. A longer chain goes round in a loop;
// the transfer ends as an error with kTooManyRedirectsText (or, when the last
// answer was no redirect, kTooManyAttemptsText).
inline constexpr int kMaxTransferHops = 10;
inline constexpr std::string_view kTooManyRedirectsText = "Too many redirects";
inline constexpr std::string_view kTooManyAttemptsText = "Too many attempts";
// The status text of an item whose local file could not be made.
inline constexpr std::string_view kFileNotCreatedText = "Failed to create file";
// The attempt counter after a redirect to a URL the crawl refuses.
inline constexpr int kRefusedRedirectAttempt = 100;

// TResponseFacts::Status of an answer without a status code, and of one whose code
// is not a number.
inline constexpr int kNoStatus = 0;
inline constexpr int kBadStatus = -1;

// The facts of the last response, read from its header lines.
struct TResponseFacts
{
    std::string StatusCode; // as the status line has it: "200"
    std::string ReplyText;  // the status line after the protocol word: "404 Not Found"
    std::string Location;
    std::string Date;
    std::string ContentType;
    std::string ContentLength; // as text
    std::string Server;        // the server's software name
    std::string LastModified;
    std::string ETag;

    // The status code as a number (kNoStatus, kBadStatus): what the transfer decides by.
    int Status() const;
};

// True for the status codes a transfer follows to their Location: 301, 302, 303,
// 307 and 308.
bool IsRedirectStatus(int status);
// True for 2xx: the answers whose body is the item's file.
bool IsSuccessStatus(int status);
// True for the answers a transfer acts on without a GET's body: redirects, 304
// and 404.
bool AnsweredByHead(int status);

// Reads the header lines in order into the facts. A line beginning with "HTTP/"
// gives the status code (its second blank-separated field) and the reply text
// (what follows its first field and one blank). Location, Date, Content-Type,
// Content-Length, Last-Modified, ETag and Server are recognised whatever their letter
// case; Location takes the first word of its value, the others the whole value,
// trimmed. Fields a response does not carry keep their previous values.
void ReadResponseFacts(const TStringList& headers, TResponseFacts& facts);

class TThreadHTTP
{
public:
    // Created on the owner thread (by TqkHTTP::Start), not yet running. Copies the
    // item's URL, mode, status text, Last-Modified and size.
    TThreadHTTP(TqkHTTP& connection, THXQItem& item, std::string userName, std::string password);
    // Stops the transfer when it still runs and waits for its end. On the owner
    // thread it runs the transfer's hand-overs while it waits; elsewhere they are
    // left to the owner's loop (or abandoned when that loop has closed).
    ~TThreadHTTP();
    TThreadHTTP(const TThreadHTTP&) = delete;
    TThreadHTTP& operator=(const TThreadHTTP&) = delete;

    // Starts the transfer on the slot's job thread. With `ready` false (the connection could not be set up,
    // its error already reported) the transfer ends at once without asking.
    void Resume(bool ready = true);
    // Asks the transfer to end: no further request is started, and waits on the
    // owner thread end. The caller also cancels the HTTP client. Any thread.
    void RequestStop();
    bool StopRequested() const { return m_stopRequested; }
    // True from Resume until the transfer has finished (Tag set to 1).
    bool Busy() const { return m_busy; }
    // On the owner thread: runs the hand-over the transfer waits for, if any;
    // otherwise waits up to `limit` for one to arrive or for the transfer to end.
    // On any other thread: waits up to `limit` for the transfer to end.
    void ServiceOwnerCalls(std::chrono::milliseconds limit);

    // A copy of the last response's facts. Any thread.
    TResponseFacts Facts() const;
    THXQItem& Item() const { return m_item; }

private:
    struct TNotModifiedEnd
    {
    };

    // The item fields the transfer reads and sets; copied back into the item on
    // the owner thread whenever it is published.
    struct TWorkItem
    {
        std::string URL;
        int Mode = 0;
        std::string StatusText;
        std::string LastModified;
        std::string ETag;
        std::int64_t Size = 0;
        // The folder of the address the content finally came from, when redirects
        // led elsewhere; empty otherwise.
        std::string ContentFolder;
    };

    // Which request an answer came to.
    enum class TAsked
    {
        Head,
        Get,
    };

    void Execute();
    // The attempts, each in steps: conditional headers, the first request, a GET when
    // the first answer calls for one, each answer disposed of by its status. Empty when
    // the attempts ended normally; the status text of a transfer that ran out of hops
    // otherwise.
    std::string RunAttempts();
    // Clears the last attempt's conditions; an update asks whether the item changed, an
    // interrupted item asks for the rest of its file.
    void SetConditionalHeaders();
    // HEAD, or (the slot's way of asking, when no range is resumed) a GET whose header
    // lines stand for the HEAD's answer. Says which was asked.
    TAsked AskFirst();
    // The GET after a HEAD: the item is published first; a part the file cannot be
    // carried on with is asked for again whole.
    void AskGet();
    // Acts on the last answer by its status, the same way for both ways of asking:
    // follows a redirect, ends an unchanged update, records a missing item, a part or
    // the resource's facts. True when the answer was a HEAD's and a GET follows.
    bool Dispose(TAsked asked, int& attempt);
    void FinishTransfer(const std::string& limitText);
    // Points the client at the answer's Location; a location the crawl refuses
    // sets the attempt counter past its limit.
    void FollowRedirect(const TResponseFacts& facts, int& attempt);
    // 304: the item is marked Updated and the transfer ends with nothing received.
    [[noreturn]] void EndNotModified(const TResponseFacts& facts);
    // Before a GET: the body goes into a part file beside the item's local file.
    void PrepareBodyFile();
    void RecordBrokenTransfer(const std::exception* error);
    // Owner thread hand-over: the item's status text says why its server could not
    // be reached (securely: a refused certificate, a failed handshake or tunnel).
    void RecordSecureFailure(const std::string& text);
    // The disk was full: the part file goes, the owner thread hears of it.
    void RecordDiskFull(const std::string& text);
    void Request(bool get);
    // Reads the last answer's facts (only its own: none carried over from an earlier one).
    void ReadFacts();
    // The size, reply text and Last-Modified of an answer whose body is wanted.
    void TakeContentFacts(const TResponseFacts& facts);
    void CheckStop() const;

    // Runs fn on the owner thread and waits for it; fn's exception reaches here.
    void CallOwner(const std::function<void()>& fn);

    // Owner-thread parts.
    std::string LocalPath() const;
    void ApplyToItem();
    void Publish();
    // Records the outcome of a 2xx answer (its file in place, Saved) or of another
    // (Error). False when the body could not be put in place.
    bool Save();

    TqkHTTP& m_connection;
    TagHTTP& m_http;
    THXQItem& m_item;
    THXTask& m_task;
    THXOwnerThread& m_owner;
    std::string m_userName;
    std::string m_password;
    TWorkItem m_work;
    // The item's Last-Modified when the transfer began: the date every request of
    // the transfer is conditional on, whatever an answer on the way says.
    std::string m_storedLastModified;
    // The item's ETag when the transfer began: an update asks with it too.
    std::string m_storedETag;
    bool m_ready = true;
    bool m_askHeadFirst = true;
    // Taken on the owner thread when the transfer is created: the working folder
    // and the item's local file (the asked-for URL decides it, wherever redirects lead).
    std::string m_workingFolder;
    std::string m_localPath;
    // Whether the body was moved over the local file (tried at most once).
    bool m_commitTried = false;
    bool m_committed = false;
    // Where GET bodies are written; made before the first GET.
    std::unique_ptr<TPartFile> m_part;

    mutable std::mutex m_factsMutex;
    TResponseFacts m_facts;

    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_stopRequested{false};

    // The hand-over the transfer waits for; the stopping owner thread may run it.
    std::mutex m_callMutex;
    std::condition_variable m_callChanged;
    std::shared_ptr<THXOwnerCall> m_pendingCall;

    // Ready once the transfer has returned on the job thread (nothing of it runs after).
    std::future<void> m_ended;
};

} // namespace hx
