#pragma once

// TagHTTP: the HTTP client of the crawl. By default it speaks HTTP/1.0, one HEAD
// or one GET per connection ("Connection: close"; no POST): open, connect, send
// the request, read the header lines, read the body (GET only), close. With the
// features of THTTPFeatures switched on (Fast pacing) it speaks HTTP/1.1, keeps
// the connection open for the next exchange with the same server, and asks for
// compressed bodies, which it decodes as they arrive. An https URL is asked
// over TLS (see TTLSStream), through a proxy inside a CONNECT tunnel (see
// TTunnelStream). A host with letters beyond ASCII is asked for in its ASCII form.
// A proxy, site and proxy credentials, a user agent, a resume offset and a
// conditional date are optional. Failures are the socket exceptions (ESocketError, ETimedOutError,
// ECanceledError), raised after the connection has been closed; Headers and Body
// keep what had arrived.
//
// Threads: as TagSocket. The exchange runs on one thread; Cancel may come from any.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/HXCommaList.h"
#include "net/HXContentDecoder.h"
#include "net/agsocket.h"
#include "net/agtlsstream.h"

namespace hx
{

class THXCookieJar;
class THXHttp2Claim;
class THXHttp2Pool;
class THXExchangeRecorder;
class TExchangeCapture;

// Base64 of RFC 2045: the standard alphabet, "=" padding, no line breaks.
std::string EncodeBase64(std::string_view bytes);

// Most header lines a response may have, its status line and closing empty line
// included; more end the exchange with "Too many header lines".
inline constexpr std::size_t kMaxHeaderLines = 256;

// Where a GET's body goes instead of the in-memory Body (a transfer writes it
// into a file as it arrives, see TPartFile).
class TBodyTarget : public TByteSink
{
public:
    // At the start of every GET: forget the previous body.
    virtual void Clear() = 0;
    // When the header lines have been read and the body begins. `resumeFile` is the
    // file whose contents the body starts as (empty unless the answer continues it),
    // and `offset` the position the received bytes are written from when it exists.
    // True when the body does start as that file.
    virtual bool BeginBody(const std::string& resumeFile, std::int64_t offset) = 0;
};

// What the client may use beyond the plain HTTP/1.0 exchange.
struct THTTPFeatures
{
    // HTTP/1.1 with persistent connections: a connection whose answer was whole and
    // whose server keeps it open carries the next exchange with the same server
    // (same scheme, host, port and proxy). An answer with "Connection: close", an
    // HTTP/1.0 answer, a body that ends with the connection and any failure drop
    // it. A kept connection the server closed before answering is replaced by a
    // fresh one once, the request sent again.
    bool KeepAlive = false;
    // "Accept-Encoding: gzip, deflate" on requests from the first byte; a gzip or
    // deflate body is decoded while it is received, so the body (in memory or in
    // the body target) is the decoded resource. A gzip archive the server labelled
    // as compressed is kept as served (see KeepsContentCoding).
    bool Compression = false;
    // With KeepAlive, over https without a proxy: HTTP/2 offered with the TLS
    // handshake, and used when the server chooses it. One connection per server then
    // carries the exchanges of every slot, each on a stream of its own (see
    // THXHttp2Pool, which the client must be given); a server that does not choose
    // it is asked over HTTP/1.1 as before.
    bool Http2 = false;

    bool operator==(const THTTPFeatures&) const = default;
};

// An unwanted body at most this long is read past (not stored, not counted) so
// that its connection can be kept; a longer one drops the connection.
inline constexpr std::int64_t kMaxSkippedBody = 64 * 1024;

// Why a header line given by the user cannot go into a request, "" when it can:
// it must be "Name: value" with a token for a name and no control characters, and
// it may not name a field the client itself frames or keeps (Host, Content-Length,
// Transfer-Encoding, Cookie), which would break the exchange or the cookie jar.
std::string ExtraHeaderProblem(std::string_view line);

class TagHTTP : public TagSocket
{
public:
    // Shows the user a message. Fired on the thread that sets the URL (a transfer
    // thread on a redirect): a window hands it over to its own thread.
    using TMessageEvent = std::function<void(const std::string& message)>;

    TagHTTP();
    ~TagHTTP() override;
    TagHTTP(const TagHTTP&) = delete;
    TagHTTP& operator=(const TagHTTP&) = delete;

    // Fired at the start of composing each request.
    TNotifyEvent OnSending;
    // "Invalid URL" immediately followed by the refused URL.
    TMessageEvent OnMessage;

    // An absolute http or https URL. Anything else shows the message, then fails
    // with "Invalid URL" (57007) and keeps the previous URL.
    const std::string& URL() const { return m_url; }
    void SetURL(const std::string& url);
    // "host:port" of an HTTP proxy, empty for a direct connection. A value without
    // ":" fails with "Proxy port is required" (57006) and keeps the previous proxy.
    const std::string& Proxy() const { return m_proxy; }
    void SetProxy(const std::string& proxy);
    // Sent as a Proxy-Authorization line when not empty and a proxy is set (for an
    // https URL, with the tunnel's CONNECT request); a direct request never carries it.
    const std::string& ProxyUserName() const { return m_proxyUserName; }
    void SetProxyUserName(std::string name) { m_proxyUserName = std::move(name); }
    const std::string& ProxyPassword() const { return m_proxyPassword; }
    void SetProxyPassword(std::string password) { m_proxyPassword = std::move(password); }
    const std::string& UserAgent() const { return m_userAgent; }
    void SetUserAgent(std::string agent) { m_userAgent = std::move(agent); }
    // Header lines ("Name: value") every request carries after the agent line; a
    // line ExtraHeaderProblem refuses is left out. Set between exchanges only.
    void SetExtraHeaders(std::vector<std::string> lines) { m_extraHeaders = std::move(lines); }
    // Resume offset in bytes; a range line is sent when it is above 0.
    std::int64_t Range() const { return m_range; }
    void SetRange(std::int64_t offset) { m_range = offset; }
    // Sent verbatim as the If-Modified-Since value when not empty.
    void SetIfModifiedSince(std::string date) { m_ifModifiedSince = std::move(date); }
    // Sent as the If-None-Match value, after If-Modified-Since, when not empty.
    void SetIfNoneMatch(std::string etag) { m_ifNoneMatch = std::move(etag); }
    // Sent as the If-Range value with a range line when not empty (the resource's
    // Last-Modified), so a changed resource is answered whole.
    void SetIfRange(std::string date) { m_ifRange = std::move(date); }
    // When Range is above 0 and this file exists, a GET's body starts as the file
    // and the received bytes overwrite it from offset Range on, provided the answer
    // continues it: 206 with a Content-Range starting at Range. Any other answer's
    // body is the resource from byte 0.
    void SetResumeFile(std::string path) { m_resumeFile = std::move(path); }
    // Whether the last GET's body continued the resume file.
    bool Resumed() const { return m_resumed; }
    // The cookies of the task the client fetches for: each request carries the
    // Cookie line of the jar's matching cookies (none when nothing matches), and
    // each answer's Set-Cookie lines go into it. Not owned; null for none. Set
    // between exchanges only.
    void SetCookieJar(THXCookieJar* jar) { m_cookieJar = jar; }

    // Where every completed exchange goes, byte for byte as sent and received (the
    // task's archive file); null for none. Set between exchanges only. A recorder
    // that fails ends the exchange with its exception.
    void SetRecorder(std::shared_ptr<THXExchangeRecorder> recorder);

    // Set between exchanges only; switching keep-alive off closes a kept connection
    // at the next exchange.
    void SetFeatures(THTTPFeatures features) { m_features = features; }
    // The run's HTTP/2 connections, shared by its slots; null: HTTP/2 is never
    // offered. Not owned; set between exchanges only.
    void SetHttp2Pool(THXHttp2Pool* pool) { m_http2Pool = pool; }
    // Whether the last exchange went over HTTP/2. Operation thread.
    bool UsedHttp2() const { return m_usedHttp2; }

    // Whether the last answer's body is decoded as it arrives (it was compressed and
    // compression was asked for). Known once the header lines have been read.
    bool DecodesBody() const { return m_decoding != TContentCoding::Identity; }

    // The URL's path with its query, "/" when it has none.
    const std::string& Path() const { return m_path; }
    // Whether the URL is an https one.
    bool Secure() const { return m_secure; }
    // How https servers' certificates are checked. Set between exchanges only.
    const TTLSOptions& TLSOptions() const { return m_tlsOptions; }
    void SetTLSOptions(TTLSOptions options) { m_tlsOptions = std::move(options); }

    // The last response's header lines in arrival order: the status line first,
    // the empty line that ended them last.
    const TStringList& Headers() const { return m_headers; }
    // The last GET's body, read position at its start; empty while a body target
    // is set.
    TByteStream& Body() { return m_body; }
    const TByteStream& Body() const { return m_body; }
    // When set, GET bodies go to the target instead of Body. Not owned; set
    // between exchanges only.
    void SetBodyTarget(TBodyTarget* target) { m_bodyTarget = target; }
    // Size of the last GET's body, wherever it went.
    std::int64_t BodySize() const { return m_bodyTarget != nullptr ? m_bodyTarget->Size() : m_body.Size(); }

    // GET only: asked once the header lines have been read. False ends the exchange
    // there, as a HEAD would: nothing of the body is read, stored or counted. When
    // empty every body is read. Set between exchanges only.
    std::function<bool()> BodyWanted;

    // One exchange each; the status code of the response, -1 when the status line
    // carries no number. The forms with credentials send an Authorization line.
    int Head();
    int Head(const std::string& userName, const std::string& password);
    int Get();
    int Get(const std::string& userName, const std::string& password);
    // One POST with the body given (a sign-in form), "Content-Type" saying what it
    // is. The answer's body is read as a GET's is (BodyWanted, body target).
    int Post(std::string_view contentType, std::string body);

    // Value of the first header line with this name (":" added unless the name ends
    // with it), compared without case and trimmed; continuation lines (starting
    // with a blank or tab) are joined with one space. Empty when there is none.
    std::string HeaderValue(std::string_view name) const;

protected:
    std::shared_ptr<TNetStream> LayerStream(std::shared_ptr<TNetStream> transport) override;
    std::shared_ptr<TNetStream> SharedStream() override;

private:
    struct TCredentials
    {
        const std::string& userName;
        const std::string& password;
    };

    int Exchange(std::string_view method, const TCredentials* credentials);
    // Hands the exchange just completed to the recorder, if any.
    void RecordExchange(std::string_view method, bool bodyRead);
    TByteStream ComposeRequest(std::string_view method, const TCredentials* credentials);
    // Sends the request over the kept connection and reads the answer's header
    // lines. False when the server had closed the connection before a byte of the
    // answer came (the request is then to go over a fresh one).
    bool AskOverKeptConnection(TByteStream& request);
    void ReadHeaders();
    // The answer's Set-Cookie lines into the cookie jar, if any.
    void StoreCookies() const;
    int StatusCode() const;
    // Scheme, server, proxy and certificate checks: what a kept connection must
    // match to carry an exchange.
    std::string ConnectionKey() const;
    // Whether HTTP/2 is offered to the URL's server.
    bool OffersHttp2() const;
    // Whether the connection may carry the next exchange, once this one's body
    // has been dealt with (`bodyEnded`: its end was found without the connection's).
    bool ConnectionStaysOpen(bool bodyEnded) const;
    // Keep-alive only: reads past a short unwanted body; true when it ended where
    // its length said.
    bool SkipUnwantedBody();
    // The first byte position of the answer's Content-Range, -1 when there is none.
    std::int64_t ContentRangeStart() const;
    // True when the body's end was found without the connection closing (a length
    // read whole, the last chunk and its trailer, or an answer without a body).
    bool ReadBody();

    std::string m_url;
    std::string m_proxy;
    std::string m_proxyUserName;
    std::string m_proxyPassword;
    std::vector<std::string> m_extraHeaders;
    std::string m_userAgent;
    std::int64_t m_range = 0;
    std::string m_ifModifiedSince;
    std::string m_ifNoneMatch;
    std::string m_ifRange;
    std::string m_resumeFile;
    bool m_resumed = false;
    THXCookieJar* m_cookieJar = nullptr;
    // The POST's body and its type; empty outside Post.
    std::string m_postBody;
    std::string m_postType;

    bool m_secure = false;
    TTLSOptions m_tlsOptions;
    // Host and port as the URL gives them, the same as they are asked for (the
    // host in ASCII), the host alone as asked for, and the path with its query.
    std::string m_urlHost;
    std::string m_requestHost;
    std::string m_requestHostName;
    std::string m_path = "/";

    TStringList m_headers;
    TByteStream m_body;
    TBodyTarget* m_bodyTarget = nullptr;

    THTTPFeatures m_features;
    // The key of the connection kept open after the last exchange; empty when none.
    std::string m_keptKey;
    // Whether the last request asked for compression, and what the answer's body needs.
    bool m_askedCompression = false;
    TContentCoding m_decoding = TContentCoding::Identity;

    THXHttp2Pool* m_http2Pool = nullptr;
    // Held from Open's look for a shared connection until the secure layer takes it.
    std::shared_ptr<THXHttp2Claim> m_http2Claim;
    bool m_usedHttp2 = false;

    std::shared_ptr<THXExchangeRecorder> m_recorder;
    // What the recorder is given of the exchange in progress; made with the recorder.
    std::unique_ptr<TExchangeCapture> m_capture;
};

} // namespace hx
