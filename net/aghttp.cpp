#include "net/aghttp.h"

#include <algorithm>
#include <chrono>

#include <limits>
#include <optional>
#include <utility>

#include "core/HXCookieJar.h"
#include "core/HXFiles.h"
#include "core/HXPacing.h"
#include "core/HXStrings.h"
#include "core/HXExchangeRecorder.h"
#include "net/HXExchangeCapture.h"
#include "net/HXHostNames.h"
#include "net/HXHttp2.h"
#include "net/agtlsstream.h"
#include "net/agtunnelstream.h"

namespace hx
{

namespace
{

constexpr std::string_view kScheme = "HTTP://";
constexpr std::string_view kSecureScheme = "HTTPS://";
constexpr std::uint16_t kSecurePort = 443;
// How often one request is sent over a shared connection's streams before its
// failure counts: refusals before any answer (RST_STREAM, GOAWAY) are tried again.
constexpr int kSharedStreamTries = 10;

// The host of "host:port" or "[v6 address]:port", without the port and brackets.
std::string_view HostOf(std::string_view hostAndPort)
{
    if (!hostAndPort.empty() && hostAndPort.front() == '[')
    {
        const std::size_t close = hostAndPort.find(']');
        return hostAndPort.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
    }
    return hostAndPort.substr(0, hostAndPort.find(':'));
}

// Bytes that cannot stand in a request line as they are (blanks, control bytes,
// bytes above 0x7E) are sent percent-encoded; everything else goes unchanged.
std::string RequestTarget(std::string_view target)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(target.size());
    for (const char c : target)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F)
        {
            encoded.push_back('%');
            encoded.push_back(kHex[byte >> 4]);
            encoded.push_back(kHex[byte & 0x0F]);
        }
        else
        {
            encoded.push_back(c);
        }
    }
    return encoded;
}

// A header value never carries a line break into the request.
std::string HeaderText(std::string_view value)
{
    std::string text;
    text.reserve(value.size());
    for (const char c : value)
    {
        if (c != '\r' && c != '\n')
            text.push_back(c);
    }
    return text;
}

void WriteLine(TByteStream& stream, std::string_view line)
{
    stream.Write(line);
    stream.Write("\r\n");
}

// The size line of a chunk: "$" and the upper-cased line, trimmed, read as a
// hexadecimal number. Anything else, and any size beyond the 32-bit range, is -1,
// so a size line with an extension or inner blanks ends the body.
std::int64_t ChunkSize(std::string_view line)
{
    const std::string text = Trim("$" + UpperCase(line));
    if (text.size() < 2 || text.front() != '$')
        return -1;
    std::int64_t value = 0;
    for (std::size_t i = 1; i < text.size(); ++i)
    {
        const char c = text[i];
        int digit = 0;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return -1;
        value = value * 16 + digit;
        if (value > std::numeric_limits<std::int32_t>::max())
            return -1;
    }
    return value;
}

} // namespace

std::string EncodeBase64(std::string_view bytes)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    encoded.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3)
    {
        const std::uint32_t group = (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16) |
                                    (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8) |
                                    static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 2]));
        encoded.push_back(kAlphabet[(group >> 18) & 0x3F]);
        encoded.push_back(kAlphabet[(group >> 12) & 0x3F]);
        encoded.push_back(kAlphabet[(group >> 6) & 0x3F]);
        encoded.push_back(kAlphabet[group & 0x3F]);
    }
    const std::size_t left = bytes.size() - i;
    if (left > 0)
    {
        std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
        if (left == 2)
            group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        encoded.push_back(kAlphabet[(group >> 18) & 0x3F]);
        encoded.push_back(kAlphabet[(group >> 12) & 0x3F]);
        encoded.push_back(left == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=');
        encoded.push_back('=');
    }
    return encoded;
}

std::string ExtraHeaderProblem(std::string_view line)
{
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return "a header is \"Name: value\"";
    const std::string_view name = line.substr(0, colon);
    constexpr std::string_view kTokenMarks = "!#$%&'*+-.^_`|~";
    for (const char c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              kTokenMarks.find(c) != std::string_view::npos))
            return "the header name \"" + std::string(name) + "\" holds a character a name cannot have";
    for (const char c : line)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == '\x7F')
            return "a header holds no line breaks or control characters";
    for (const std::string_view refused : {"Host", "Content-Length", "Transfer-Encoding", "Cookie"})
        if (SameTextNoCase(name, refused))
            return "the header " + std::string(refused) +
                   " is set by the program itself (the address gives Host, the body its length, and the task's "
                   "cookies go as Cookie)";
    return {};
}

TagHTTP::TagHTTP()
{
    SetService("http");
    SetDefaultPort(80);
}

TagHTTP::~TagHTTP() = default;

void TagHTTP::SetRecorder(std::shared_ptr<THXExchangeRecorder> recorder)
{
    m_recorder = std::move(recorder);
    if (m_recorder && !m_capture)
        m_capture = std::make_unique<TExchangeCapture>();
}

void TagHTTP::RecordExchange(std::string_view method, bool bodyRead)
{
    if (!m_recorder)
        return;
    const THXExchange exchange = m_capture->Exchange(m_url, std::string(method), Address(), bodyRead);
    m_recorder->Record(exchange);
}

void TagHTTP::SetURL(const std::string& url)
{
    const bool secure = UpperCase(std::string_view(url).substr(0, kSecureScheme.size())) == kSecureScheme;
    if (!secure && UpperCase(std::string_view(url).substr(0, kScheme.size())) != kScheme)
    {
        if (OnMessage)
            OnMessage("Invalid URL" + url);
        SocketError(kErrInvalidURL);
    }
    m_url = url;
    m_secure = secure;
    SetService(secure ? "https" : "http");
    SetDefaultPort(secure ? kSecurePort : 80);

    // The host (with its port) ends at the first "/"; a query straight after the
    // host also ends it. The fragment belongs to the page, never to the request.
    std::string_view rest = std::string_view(url).substr(secure ? kSecureScheme.size() : kScheme.size());
    rest = rest.substr(0, rest.find('#'));
    const std::size_t hostEnd = rest.find_first_of("/?");
    if (hostEnd == std::string_view::npos)
    {
        m_urlHost = std::string(rest);
        m_path = "/";
    }
    else
    {
        m_urlHost = std::string(rest.substr(0, hostEnd));
        m_path = rest[hostEnd] == '/' ? std::string(rest.substr(hostEnd)) : "/" + std::string(rest.substr(hostEnd));
    }
    // A host with letters beyond ASCII is asked for in its ASCII form.
    const std::string_view host = HostOf(m_urlHost);
    m_requestHostName = RequestHostName(host);
    m_requestHost = m_urlHost;
    if (m_requestHostName != host)
        m_requestHost.replace(static_cast<std::size_t>(host.data() - m_urlHost.data()), host.size(), m_requestHostName);
    SetServer(m_requestHost);
    if (!m_proxy.empty())
        SetProxy(m_proxy);
}

std::shared_ptr<TNetStream> TagHTTP::LayerStream(std::shared_ptr<TNetStream> transport)
{
    if (!m_secure)
        return transport;
    // "host:port" of the server, the port always written.
    std::string target = m_requestHost;
    if (target.find(':', target.empty() || target.front() != '[' ? 0 : target.find(']')) == std::string::npos)
        target += ":" + std::to_string(kSecurePort);
    // Through a proxy the secure connection runs inside a tunnel to the server; the
    // proxy's credentials go with the tunnel's request, never to the server.
    if (!Proxy().empty())
    {
        std::string authorization;
        if (!m_proxyUserName.empty())
            authorization = "Basic " + EncodeBase64(m_proxyUserName + ":" + m_proxyPassword);
        transport = std::make_shared<TTunnelStream>(std::move(transport), HeaderText(target), authorization);
    }
    auto secure =
        std::make_shared<TTLSStream>(std::move(transport), TLSContextFor(m_tlsOptions), m_requestHostName, target);
    if (m_http2Claim)
        return m_http2Pool->Negotiate(std::move(secure), std::exchange(m_http2Claim, nullptr));
    return secure;
}

bool TagHTTP::OffersHttp2() const
{
    return m_features.Http2 && m_features.KeepAlive && m_http2Pool != nullptr && m_secure && Proxy().empty();
}

std::shared_ptr<TNetStream> TagHTTP::SharedStream()
{
    m_http2Claim.reset();
    if (!OffersHttp2())
        return nullptr;
    // While another slot makes the server's connection, this one waits for it as
    // long as a connection may take to be made.
    const int seconds = ConnectTimeOut() > 0 ? ConnectTimeOut() : TimeOut();
    THXHttp2Pool::TAttach found = m_http2Pool->Attach(ConnectionKey(), std::chrono::seconds(std::max(seconds, 1)),
                                                      [this] { return Cancelled(); });
    m_http2Claim = std::move(found.Claim);
    return std::move(found.Stream);
}

void TagHTTP::SetProxy(const std::string& proxy)
{
    if (!proxy.empty() && proxy.find(':') == std::string::npos)
        SocketError(kErrProxyPortRequired);
    m_proxy = proxy;
    SetServer(proxy);
}

int TagHTTP::Head()
{
    return Exchange("HEAD", nullptr);
}

int TagHTTP::Head(const std::string& userName, const std::string& password)
{
    const TCredentials credentials{userName, password};
    return Exchange("HEAD", &credentials);
}

int TagHTTP::Get()
{
    return Exchange("GET", nullptr);
}

int TagHTTP::Get(const std::string& userName, const std::string& password)
{
    const TCredentials credentials{userName, password};
    return Exchange("GET", &credentials);
}

int TagHTTP::Post(std::string_view contentType, std::string body)
{
    struct TPostScope
    {
        TagHTTP& http;
        ~TPostScope()
        {
            http.m_postBody.clear();
            http.m_postType.clear();
        }
    } scope{*this};
    m_postBody = std::move(body);
    m_postType = std::string(contentType);
    return Exchange("POST", nullptr);
}

void TagHTTP::StoreCookies() const
{
    if (m_cookieJar == nullptr)
        return;
    const std::int64_t now = CookieClockNow();
    for (const std::string& line : m_headers)
    {
        if (StartsWithNoCase(line, "Set-Cookie:"))
            m_cookieJar->SetFromHeader(m_url, std::string_view(line).substr(11), now);
    }
}

int TagHTTP::Exchange(std::string_view method, const TCredentials* credentials)
{
    // A POST's answer is read as a GET's: only HEAD has no body.
    const bool isGet = method != "HEAD";
    // What a failed exchange leaves behind belongs to this exchange only.
    m_headers.clear();
    m_decoding = TContentCoding::Identity;
    if (isGet)
    {
        m_resumed = false;
        m_body.Clear();
        if (m_bodyTarget != nullptr)
            m_bodyTarget->Clear();
    }
    const std::string key = ConnectionKey();
    // The socket shows the capture what it reads, for this exchange only.
    struct TTapScope
    {
        TagHTTP& http;
        ~TTapScope() { http.SetReceiveTap(nullptr); }
    } tapScope{*this};
    try
    {
        ResetState();
        // A connection kept from the last exchange carries this one when it leads to
        // the same server and is still open and quiet; any other is closed by Open.
        const bool reusing = m_features.KeepAlive && !m_keptKey.empty() && m_keptKey == key && StreamIdle();
        m_keptKey.clear();
        if (!reusing)
        {
            Open();
            Connect();
        }
        // A stream of a shared connection is like a kept connection: the server may
        // refuse it, or end the connection, before answering.
        const bool mayRetry = reusing || StreamShared();
        TByteStream request = ComposeRequest(method, credentials);
        if (m_recorder)
        {
            const auto now = std::chrono::system_clock::now().time_since_epoch();
            m_capture->Begin(request.Bytes(), std::chrono::duration_cast<std::chrono::seconds>(now).count());
            SetReceiveTap(m_capture.get());
        }
        bool answered = mayRetry && AskOverKeptConnection(request);
        for (int tries = 1; !answered && mayRetry; ++tries)
        {
            // The server closed the kept connection before answering (it had been
            // idle too long, or served its share of requests): once more, fresh. A
            // shared connection's server may refuse the stream again on the next
            // connection (one that ends each after a few answers): a few more tries.
            if (m_recorder)
                m_capture->Restart();
            Open();
            Connect();
            // The last try, and any over a connection of its own, reports its failures.
            if (!StreamShared() || tries + 1 >= kSharedStreamTries)
                break;
            answered = AskOverKeptConnection(request);
        }
        if (!answered)
        {
            SendStream(request);
            ReadHeaders();
        }
        m_usedHttp2 = StreamShared();
        const int status = StatusCode();
        // Every answer may set cookies: a HEAD, a GET, each redirect on the way.
        StoreCookies();
        if (m_askedCompression)
        {
            m_decoding = ContentCodingOf(HeaderValue("Content-Encoding"));
            if (KeepsContentCoding(m_path, HeaderValue("Content-Type")))
                m_decoding = TContentCoding::Identity;
        }
        bool bodyEnded = !isGet;
        bool bodyRead = !isGet;
        if (isGet && (!BodyWanted || BodyWanted()))
        {
            bodyEnded = ReadBody();
            bodyRead = true;
        }
        else if (isGet && m_features.KeepAlive && !StreamShared())
        {
            bodyEnded = SkipUnwantedBody();
            bodyRead = bodyEnded;
        }
        SetReceiveTap(nullptr);
        RecordExchange(method, bodyRead);
        if (m_features.KeepAlive && ConnectionStaysOpen(bodyEnded))
        {
            // The exchange is over as if the connection had closed; the connection
            // waits for the next one.
            m_keptKey = key;
            if (OnClosed)
                OnClosed(*this);
        }
        else
        {
            Close();
        }
        return status;
    }
    catch (...)
    {
        m_keptKey.clear();
        m_http2Claim.reset();
        Close();
        throw;
    }
}

bool TagHTTP::AskOverKeptConnection(TByteStream& request)
{
    // A failure here may only mean that the server let the connection go: the
    // slot hears of it only when it is not that (or when the fresh one fails too).
    struct TQuietErrors
    {
        TmsErrorEvent& event;
        TmsErrorEvent saved;
        explicit TQuietErrors(TmsErrorEvent& e)
            : event(e)
            , saved(std::exchange(e, nullptr))
        {
        }
        ~TQuietErrors() { event = std::move(saved); }
        TQuietErrors(const TQuietErrors&) = delete;
        TQuietErrors& operator=(const TQuietErrors&) = delete;
    };
    const std::int64_t before = ReceivedSinceOpen();
    try
    {
        const TQuietErrors quiet(OnError);
        SendStream(request);
        ReadHeaders();
    }
    catch (const ESocketError& error)
    {
        const bool stopped = dynamic_cast<const ECanceledError*>(&error) != nullptr ||
                             dynamic_cast<const ETimedOutError*>(&error) != nullptr;
        if (stopped || ReceivedSinceOpen() != before)
        {
            if (OnError)
            {
                std::string message = error.what();
                OnError(*this, message);
            }
            throw;
        }
        return false;
    }
    // The connection ended before the status line: nothing of an answer came.
    return !(ReceivedSinceOpen() == before && m_headers.size() == 1 && m_headers.front().empty());
}

std::string TagHTTP::ConnectionKey() const
{
    return std::string(m_secure ? "https " : "http ") + m_requestHost + " via " + m_proxy +
           (m_tlsOptions.CheckCertificates ? " checked " : " unchecked ") + m_tlsOptions.CAFile;
}

bool TagHTTP::ConnectionStaysOpen(bool bodyEnded) const
{
    // A shared connection's stream ends with its exchange; the next one opens another.
    if (!bodyEnded || HasUnreadBytes() || !StreamOpen() || StreamShared() || m_headers.empty())
        return false;
    // Only an HTTP/1.1 server keeps a connection open unless it says otherwise.
    if (!StartsWithNoCase(m_headers.front(), "HTTP/1.1 "))
        return false;
    const bool toProxy = !Proxy().empty() && !m_secure;
    for (const std::string_view field : {std::string_view("Connection"), std::string_view("Proxy-Connection")})
    {
        if (field == "Proxy-Connection" && !toProxy)
            continue;
        const std::string tokens = LowerCase(HeaderValue(field));
        std::size_t at = 0;
        while (at <= tokens.size())
        {
            const std::size_t comma = tokens.find(',', at);
            const std::string token =
                Trim(tokens.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
            if (token == "close")
                return false;
            if (comma == std::string::npos)
                break;
            at = comma + 1;
        }
    }
    return true;
}

bool TagHTTP::SkipUnwantedBody()
{
    const int status = StatusCode();
    if ((status >= 100 && status < 200) || status == 204 || status == 304)
        return true;
    if (!HeaderValue("Transfer-Encoding").empty())
        return false;
    std::int64_t length = -1;
    if (!TryStrToInt64(HeaderValue("Content-Length"), length) || length < 0 || length > kMaxSkippedBody)
        return false;
    // Read past, not counted: an unwanted body is no part of the transfer's bytes.
    const TmsProgressEvent progress = std::exchange(OnProgress, nullptr);
    TByteStream discarded;
    std::int64_t received = 0;
    try
    {
        received = ReadData(discarded, length);
    }
    catch (...)
    {
        OnProgress = progress;
        throw;
    }
    OnProgress = progress;
    return received == length;
}

TByteStream TagHTTP::ComposeRequest(std::string_view method, const TCredentials* credentials)
{
    if (OnSending)
        OnSending(*this);
    // Through a proxy the target is the whole URL (with "/" for a URL without a
    // path); directly, and inside a tunnel, it is the path. Lines are written whole,
    // however long.
    const bool toProxy = !Proxy().empty() && !m_secure;
    const std::string target = toProxy ? m_url.substr(0, kScheme.size()) + m_requestHost + m_path : m_path;

    TByteStream request;
    WriteLine(request,
              UpperCase(method) + " " + RequestTarget(target) + (m_features.KeepAlive ? " HTTP/1.1" : " HTTP/1.0"));
    WriteLine(request, "Host: " + HeaderText(m_requestHost));
    if (credentials != nullptr)
        WriteLine(request, "Authorization: Basic " + EncodeBase64(credentials->userName + ":" + credentials->password));
    // The proxy's credentials go to the proxy only, never to a web server.
    if (!m_proxyUserName.empty() && toProxy)
        WriteLine(request, "Proxy-Authorization: Basic " + EncodeBase64(m_proxyUserName + ":" + m_proxyPassword));
    WriteLine(request, "Accept: */*");
    if (!m_userAgent.empty())
        WriteLine(request, "User-Agent: " + HeaderText(m_userAgent));
    // A task file edited by hand may hold anything: only well-formed lines go out.
    for (const std::string& line : m_extraHeaders)
        if (ExtraHeaderProblem(line).empty())
            WriteLine(request, line);
    if (m_range > 0)
    {
        WriteLine(request, "Range:Bytes=" + std::to_string(m_range) + "-");
        if (!m_ifRange.empty())
            WriteLine(request, "If-Range: " + HeaderText(m_ifRange));
    }
    if (!m_ifModifiedSince.empty())
        WriteLine(request, "If-Modified-Since: " + HeaderText(m_ifModifiedSince));
    if (!m_ifNoneMatch.empty())
        WriteLine(request, "If-None-Match: " + HeaderText(m_ifNoneMatch));
    // Only when the jar has a cookie for this address: requests without one stay
    // byte for byte what they were.
    if (m_cookieJar != nullptr)
    {
        const std::string cookies = m_cookieJar->CookieHeader(m_url, CookieClockNow());
        if (!cookies.empty())
            WriteLine(request, "Cookie: " + HeaderText(cookies));
    }
    if (!m_postType.empty())
    {
        WriteLine(request, "Content-Type: " + HeaderText(m_postType));
        WriteLine(request, "Content-Length: " + std::to_string(m_postBody.size()));
    }
    // A range counts bytes of the resource as stored, so it is never asked compressed.
    m_askedCompression = m_features.Compression && m_range <= 0;
    if (m_askedCompression)
        WriteLine(request, "Accept-Encoding: gzip, deflate");
    WriteLine(request, m_features.KeepAlive ? "Connection: keep-alive" : "Connection: close");
    WriteLine(request, "");
    if (!m_postType.empty())
        request.Write(m_postBody);
    request.Seek(0);
    return request;
}

void TagHTTP::ReadHeaders()
{
    m_headers.clear();
    for (;;)
    {
        std::string line;
        ReadLine(line);
        // A close between two lines ends the header lines; one inside a line leaves a
        // response cut short, whose piece of a line is never taken for body bytes.
        if (LastLineEnd() == TLineEnd::ClosedInsideLine)
            SocketError(kErrClosedEarly);
        const bool last = line.empty();
        m_headers.push_back(std::move(line));
        if (last)
            break;
        if (m_headers.size() >= kMaxHeaderLines)
            SocketError(kErrTooManyHeaders);
        PauseForData(pacing::kHeaderLinePause);
    }
}

int TagHTTP::StatusCode() const
{
    if (m_headers.empty())
        return -1;
    const std::string& statusLine = m_headers.front();
    const std::size_t space = statusLine.find(' ');
    std::string code = Trim(space == std::string::npos ? statusLine : statusLine.substr(space + 1));
    code = Trim(code.substr(0, code.find(' ')));
    // A status code is three digits: a sign, a fourth digit or anything else makes
    // the line no status line ("HTTP/1.1 -204" is not a success).
    if (code.size() != 3 || !std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return -1;
    return (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
}

std::int64_t TagHTTP::ContentRangeStart() const
{
    // "bytes 999-4999/5000" (some servers write "bytes=999-...").
    const std::string value = LowerCase(HeaderValue("Content-Range"));
    if (value.compare(0, 5, "bytes") != 0)
        return -1;
    std::size_t at = 5;
    while (at < value.size() && (value[at] == ' ' || value[at] == '='))
        ++at;
    const std::size_t dash = value.find('-', at);
    std::int64_t start = -1;
    if (dash == std::string::npos || !TryStrToInt64(value.substr(at, dash - at), start) || start < 0)
        return -1;
    return start;
}

std::string TagHTTP::HeaderValue(std::string_view name) const
{
    std::string key(name);
    if (key.empty() || key.back() != ':')
        key.push_back(':');
    for (std::size_t i = 0; i < m_headers.size(); ++i)
    {
        if (!StartsWithNoCase(m_headers[i], key))
            continue;
        const std::string& line = m_headers[i];
        std::string value = Trim(std::string_view(line).substr(line.find(':') + 1));
        for (std::size_t next = i + 1; next < m_headers.size(); ++next)
        {
            const std::string& continuation = m_headers[next];
            if (continuation.empty() || (continuation.front() != ' ' && continuation.front() != '\t'))
                break;
            value += " " + Trim(continuation);
        }
        return value;
    }
    return {};
}

bool TagHTTP::ReadBody()
{
    m_body.Clear();
    m_resumed = false;
    // Only an answer that carries on where the file ends is written after it; a
    // server that ignores the range (200) or sends another one has sent the body
    // from its first byte.
    const bool continues =
        m_range > 0 && !m_resumeFile.empty() && StatusCode() == 206 && ContentRangeStart() == m_range;
    TByteSink* sink = &m_body;
    if (m_bodyTarget != nullptr)
    {
        m_resumed = m_bodyTarget->BeginBody(continues ? m_resumeFile : std::string(), continues ? m_range : 0);
        sink = m_bodyTarget;
    }
    else if (continues)
    {
        if (auto existing = ReadWholeFile(m_resumeFile))
        {
            m_body.Assign(std::move(*existing));
            m_body.Seek(m_range);
            m_resumed = true;
        }
    }
    // A compressed body is decoded on its way into the sink.
    std::optional<TContentDecoder> decoder;
    if (m_decoding != TContentCoding::Identity)
    {
        decoder.emplace(m_decoding, *sink);
        sink = &*decoder;
    }

    bool ended = true;
    const int status = StatusCode();
    if (m_features.KeepAlive && ((status >= 100 && status < 200) || status == 204 || status == 304))
    {
        // These answers have no body: on a kept connection nothing is waited for.
    }
    else if (LowerCase(HeaderValue("Transfer-Encoding")).find("chunked") != std::string::npos)
    {
        for (;;)
        {
            // The line after a chunk's data is empty; the size line follows it.
            // A body that ends before its last chunk is cut short.
            std::string line;
            ReadLine(line);
            if (line.empty() && LastLineEnd() == TLineEnd::Ended)
                ReadLine(line);
            if (LastLineEnd() != TLineEnd::Ended)
                SocketError(kErrClosedEarly);
            const std::int64_t size = ChunkSize(line);
            if (size < 0)
                ended = false;
            if (size <= 0)
                break;
            if (ReadData(*sink, size) < size)
                SocketError(kErrClosedEarly);
        }
        // On a kept connection the trailer lines after the last chunk, up to the
        // empty line, belong to this answer too.
        while (m_features.KeepAlive && ended)
        {
            std::string line;
            ReadLine(line);
            if (LastLineEnd() != TLineEnd::Ended)
                ended = false;
            if (line.empty())
                break;
        }
    }
    else
    {
        std::int64_t length = -1;
        if (!TryStrToInt64(HeaderValue("Content-Length"), length))
            length = -1;
        // Fewer bytes than announced: the server closed early, and the body is not whole.
        if (ReadData(*sink, length) < length)
            SocketError(kErrClosedEarly);
        // Without a length the body ended with the connection.
        ended = length >= 0;
    }
    if (decoder && !decoder->Complete())
        SocketError(kErrBadEncoding);
    m_body.Seek(0);
    return ended;
}

} // namespace hx
