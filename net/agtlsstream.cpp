#include "net/agtlsstream.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <tuple>

#include <arpa/inet.h>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include "net/agsocketcodes.h"

namespace hx
{

namespace
{

struct TSSLContextDeleter
{
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};

struct TSSLDeleter
{
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};

struct TSSLSessionDeleter
{
    void operator()(SSL_SESSION* session) const { SSL_SESSION_free(session); }
};

using TSessionPointer = std::unique_ptr<SSL_SESSION, TSSLSessionDeleter>;

// Most servers whose last session a context keeps for resumption.
constexpr std::size_t kMaxKeptSessions = 1024;

struct TBIOMethodDeleter
{
    void operator()(BIO_METHOD* method) const { BIO_meth_free(method); }
};

// The newest error OpenSSL queued on this thread, as its reason text; the queue is
// emptied so the next connection starts clean.
std::string TakeOpenSSLError()
{
    unsigned long last = 0;
    for (unsigned long code = ERR_get_error(); code != 0; code = ERR_get_error())
        last = code;
    if (last == 0)
        return {};
    const char* reason = ERR_reason_error_string(last);
    if (reason != nullptr)
        return reason;
    char text[256] = {};
    ERR_error_string_n(last, text, sizeof(text));
    return text;
}

// Why a certificate was refused, in words a user can act on.
std::string CertificateFailureText(long verifyResult, const std::string& hostName)
{
    const std::string reason = X509_verify_cert_error_string(verifyResult);
    switch (verifyResult)
    {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_CERT_REJECTED:
    case X509_V_ERR_INVALID_CA:
        return "Certificate not trusted: " + reason;
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return "Certificate expired: " + reason;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return "Certificate not yet valid: " + reason;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return "Certificate is not for " + hostName + ": " + reason;
    default:
        return "Certificate rejected: " + reason;
    }
}

bool IsNumericAddress(const std::string& host)
{
    unsigned char bytes[16];
    return ::inet_pton(AF_INET, host.c_str(), bytes) == 1 || ::inet_pton(AF_INET6, host.c_str(), bytes) == 1;
}

// ---- The BIO that carries TLS records over a TNetStream ----

// The stream a BIO reads and writes, and the socket code of its last failure.
struct TBIOLink
{
    TNetStream* Stream = nullptr;
    int FailureCode = 0;
};

int LinkRead(BIO* bio, char* buffer, int size)
{
    auto* link = static_cast<TBIOLink*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    if (size <= 0)
        return 0;
    const TIOResult result = link->Stream->Read(buffer, static_cast<std::size_t>(size));
    switch (result.Status)
    {
    case TIOStatus::Done:
        return static_cast<int>(result.Bytes);
    case TIOStatus::WouldBlock:
        BIO_set_retry_read(bio);
        return -1;
    case TIOStatus::Closed:
        return 0;
    case TIOStatus::Failed:
        link->FailureCode = result.Code;
        return -1;
    }
    return -1;
}

int LinkWrite(BIO* bio, const char* data, int size)
{
    auto* link = static_cast<TBIOLink*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    if (size <= 0)
        return 0;
    const TIOResult result = link->Stream->Write(data, static_cast<std::size_t>(size));
    switch (result.Status)
    {
    case TIOStatus::Done:
        if (result.Bytes == 0)
        {
            BIO_set_retry_write(bio);
            return -1;
        }
        return static_cast<int>(result.Bytes);
    case TIOStatus::WouldBlock:
        BIO_set_retry_write(bio);
        return -1;
    case TIOStatus::Closed:
    case TIOStatus::Failed:
        link->FailureCode = result.Code != 0 ? result.Code : kSockConnectionReset;
        return -1;
    }
    return -1;
}

long LinkControl(BIO* /*bio*/, int command, long /*number*/, void* /*pointer*/)
{
    // Writes go straight to the stream: there is never anything to flush.
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int LinkCreate(BIO* bio)
{
    BIO_set_init(bio, 1);
    return 1;
}

const BIO_METHOD* LinkMethod()
{
    static const std::unique_ptr<BIO_METHOD, TBIOMethodDeleter> method = []
    {
        std::unique_ptr<BIO_METHOD, TBIOMethodDeleter> made(
            BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "harbex net stream"));
        if (made)
        {
            BIO_meth_set_read(made.get(), LinkRead);
            BIO_meth_set_write(made.get(), LinkWrite);
            BIO_meth_set_ctrl(made.get(), LinkControl);
            BIO_meth_set_create(made.get(), LinkCreate);
        }
        return made;
    }();
    return method.get();
}

} // namespace

// ---- TTLSContext ----

class TTLSContext
{
public:
    explicit TTLSContext(const TTLSOptions& options)
        : m_options(options)
    {
        m_context.reset(SSL_CTX_new(TLS_client_method()));
        if (!m_context)
        {
            m_error = "Secure connection failed: " + TakeOpenSSLError();
            return;
        }
        SSL_CTX* context = m_context.get();
        SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
        // A server that closes without the TLS farewell has still sent what it sent:
        // the reader sees the end of the connection, as with a plain socket.
        SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
        SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        SSL_CTX_set_verify(context, options.CheckCertificates ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);
        // Sessions are kept by the context itself (see Remember), by server.
        SSL_CTX_set_session_cache_mode(context, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
        SSL_CTX_sess_set_new_cb(context, NewSession);
        if (!options.CheckCertificates)
            return;
        if (SSL_CTX_set_default_verify_paths(context) != 1)
            TakeOpenSSLError(); // no system store: only the CA file is trusted
        if (!options.CAFile.empty() && SSL_CTX_load_verify_locations(context, options.CAFile.c_str(), nullptr) != 1)
        {
            const std::string reason = TakeOpenSSLError();
            m_error = "Secure connection failed: CA File " + options.CAFile + " cannot be read" +
                      (reason.empty() ? std::string() : ": " + reason);
        }
    }

    // OpenSSL's notice of a session the server allows to resume (after the
    // handshake; with TLS 1.3 while reading). Keeps it; 1 says the reference is taken.
    static int NewSession(SSL* ssl, SSL_SESSION* session);

    SSL_CTX* Handle() const { return m_context.get(); }
    const TTLSOptions& Options() const { return m_options; }
    // Why connections with this context cannot be made; empty when they can.
    const std::string& Error() const { return m_error; }

    // Sessions to resume, by server: the next connection to a server resumes its
    // last session, which spares both sides the certificate and its checks. Any thread.
    void Remember(const std::string& server, SSL_SESSION* session)
    {
        const std::lock_guard lock(m_sessionMutex);
        if (m_sessions.size() >= kMaxKeptSessions && !m_sessions.contains(server))
            m_sessions.clear();
        m_sessions[server].reset(session);
    }
    TSessionPointer Recall(const std::string& server)
    {
        const std::lock_guard lock(m_sessionMutex);
        const auto found = m_sessions.find(server);
        if (found == m_sessions.end() || SSL_SESSION_up_ref(found->second.get()) != 1)
            return {};
        return TSessionPointer(found->second.get());
    }

private:
    TTLSOptions m_options;
    std::unique_ptr<SSL_CTX, TSSLContextDeleter> m_context;
    std::string m_error;
    std::mutex m_sessionMutex;
    std::map<std::string, TSessionPointer> m_sessions;
};

std::shared_ptr<TTLSContext> TLSContextFor(const TTLSOptions& options)
{
    // One context per options and CA file version: building one reads the whole
    // trust store, far too slow for every connection.
    using TKey = std::tuple<bool, std::string, std::filesystem::file_time_type, std::uintmax_t>;
    static std::mutex mutex;
    static std::map<TKey, std::shared_ptr<TTLSContext>> contexts;

    std::error_code error;
    std::filesystem::file_time_type changed{};
    std::uintmax_t size = 0;
    if (!options.CAFile.empty())
    {
        changed = std::filesystem::last_write_time(options.CAFile, error);
        size = std::filesystem::file_size(options.CAFile, error);
    }
    const TKey key{options.CheckCertificates, options.CAFile, changed, size};
    const std::lock_guard lock(mutex);
    auto& context = contexts[key];
    if (!context)
        context = std::make_shared<TTLSContext>(options);
    return context;
}

// ---- TTLSStream ----

struct TTLSStream::TState
{
    TBIOLink Link;
    TTLSContext* Context = nullptr;
    std::string Server; // the key of its sessions
    std::unique_ptr<SSL, TSSLDeleter> Connection;
};

// The connection's state rides on its SSL object for NewSession.
constexpr int kStateIndex = 0;

int TTLSContext::NewSession(SSL* ssl, SSL_SESSION* session)
{
    auto* state = static_cast<TTLSStream::TState*>(SSL_get_ex_data(ssl, kStateIndex));
    if (state == nullptr || state->Context == nullptr || state->Server.empty())
        return 0;
    state->Context->Remember(state->Server, session);
    return 1;
}

TTLSStream::TTLSStream(std::shared_ptr<TNetStream> transport, std::shared_ptr<TTLSContext> context,
                       std::string hostName, std::string server)
    : m_transport(std::move(transport))
    , m_context(std::move(context))
    , m_hostName(std::move(hostName))
    , m_state(std::make_unique<TState>())
{
    m_state->Link.Stream = m_transport.get();
    m_state->Context = m_context.get();
    m_state->Server = std::move(server);
}

TTLSStream::~TTLSStream()
{
    // OpenSSL spoils the session of a connection freed without a shutdown, so it
    // could not be resumed. A connection that worked is ended quietly (no farewell
    // is sent: the exchange is over and the server closes on its own); a broken
    // one keeps it from being resumed.
    SSL* ssl = m_state->Connection.get();
    if (ssl != nullptr && m_phase == TPhase::Open && !m_broken)
    {
        SSL_set_quiet_shutdown(ssl, 1);
        SSL_shutdown(ssl);
    }
}

TIOResult TTLSStream::Fail(int code, std::string text)
{
    m_broken = true;
    m_failureText = std::move(text);
    return {TIOStatus::Failed, 0, code};
}

TIOResult TTLSStream::TransportOutcome(const TIOResult& result)
{
    // The transport's failure (a proxy's refusal) is told in the transport's words.
    if (result.Status == TIOStatus::Failed)
        m_failureText = m_transport->FailureText();
    return result;
}

TIOResult TTLSStream::StartConnect()
{
    m_phase = TPhase::Connecting;
    const TIOResult result = m_transport->StartConnect();
    if (result.Status != TIOStatus::Done)
        return TransportOutcome(result);
    m_phase = TPhase::Handshake;
    return Handshake();
}

TIOResult TTLSStream::ConnectResult()
{
    if (m_phase == TPhase::Connecting)
    {
        const TIOResult result = m_transport->ConnectResult();
        if (result.Status != TIOStatus::Done)
            return TransportOutcome(result);
        m_phase = TPhase::Handshake;
    }
    if (m_phase == TPhase::Handshake)
        return Handshake();
    return {};
}

TIOResult TTLSStream::Handshake()
{
    if (!m_state->Connection)
    {
        if (!m_context->Error().empty())
            return Fail(kErrSecureChannel, m_context->Error());
        m_state->Connection.reset(SSL_new(m_context->Handle()));
        BIO* bio = m_state->Connection ? BIO_new(LinkMethod()) : nullptr;
        if (bio == nullptr)
            return Fail(kErrSecureChannel, "Secure connection failed: " + TakeOpenSSLError());
        BIO_set_data(bio, &m_state->Link);
        SSL_set_bio(m_state->Connection.get(), bio, bio); // the SSL owns the BIO from here
        SSL* ssl = m_state->Connection.get();
        const bool numeric = IsNumericAddress(m_hostName);
        // SNI names hosts only; a numeric address is checked as an address.
        if (!numeric)
            SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                     const_cast<char*>(m_hostName.c_str()));
        if (m_context->Options().CheckCertificates)
        {
            const int named = numeric ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), m_hostName.c_str())
                                      : SSL_set1_host(ssl, m_hostName.c_str());
            if (named != 1)
                return Fail(kErrSecureChannel, "Secure connection failed: bad host name " + m_hostName);
        }
        SSL_set_ex_data(ssl, kStateIndex, m_state.get());
        if (!m_state->Server.empty())
        {
            // The server's last session, when it has one: a resumed handshake. A
            // server that no longer knows it makes a full one.
            if (const TSessionPointer session = m_context->Recall(m_state->Server))
                SSL_set_session(ssl, session.get());
        }
        if (!m_offered.empty())
        {
            // The wire form: each name preceded by its length in one byte.
            std::string wire;
            for (const std::string& name : m_offered)
                if (!name.empty() && name.size() < 256)
                    wire += static_cast<char>(name.size()) + name;
            SSL_set_alpn_protos(ssl, reinterpret_cast<const unsigned char*>(wire.data()),
                                static_cast<unsigned int>(wire.size()));
        }
        SSL_set_connect_state(ssl);
    }
    ERR_clear_error();
    const int result = SSL_connect(m_state->Connection.get());
    if (result == 1)
    {
        m_phase = TPhase::Open;
        m_waiting = false;
        return {};
    }
    return Outcome(result, 0, true);
}

TIOResult TTLSStream::Outcome(int sslResult, std::size_t bytes, bool handshake)
{
    SSL* ssl = m_state->Connection.get();
    const int error = SSL_get_error(ssl, sslResult);
    switch (error)
    {
    case SSL_ERROR_NONE:
        m_waiting = false;
        return {TIOStatus::Done, bytes, 0};
    case SSL_ERROR_WANT_READ:
        m_waiting = true;
        m_wants = TWaitFor::Readable;
        return {TIOStatus::WouldBlock, 0, 0};
    case SSL_ERROR_WANT_WRITE:
        m_waiting = true;
        m_wants = TWaitFor::Writable;
        return {TIOStatus::WouldBlock, 0, 0};
    case SSL_ERROR_ZERO_RETURN:
        if (!handshake)
            return {TIOStatus::Closed, 0, 0};
        break;
    default:
        break;
    }

    const std::string reason = TakeOpenSSLError();
    if (handshake && m_context->Options().CheckCertificates)
    {
        const long verified = SSL_get_verify_result(ssl);
        if (verified != X509_V_OK)
            return Fail(kErrCertificate, CertificateFailureText(verified, m_hostName));
    }
    if (m_state->Link.FailureCode != 0)
        return Fail(m_state->Link.FailureCode, std::string());
    if (!handshake && error == SSL_ERROR_SYSCALL && reason.empty())
    {
        m_broken = true;
        return {TIOStatus::Closed, 0, 0};
    }
    if (handshake && reason.empty())
        return Fail(kErrSecureChannel, "Secure connection failed: the server closed the connection");
    return Fail(kErrSecureChannel, "Secure connection failed" + (reason.empty() ? std::string() : ": " + reason));
}

TIOResult TTLSStream::Read(char* buffer, std::size_t size)
{
    if (m_phase != TPhase::Open)
        return Fail(kErrNotConnected, std::string());
    if (size == 0)
        return {TIOStatus::WouldBlock, 0, 0};
    ERR_clear_error();
    std::size_t got = 0;
    const int result = SSL_read_ex(m_state->Connection.get(), buffer, size, &got);
    if (result == 1)
    {
        m_waiting = false;
        return {TIOStatus::Done, got, 0};
    }
    return Outcome(result, 0, false);
}

TIOResult TTLSStream::Write(const char* data, std::size_t size)
{
    if (m_phase != TPhase::Open)
        return Fail(kErrNotConnected, std::string());
    if (size == 0)
        return {TIOStatus::Done, 0, 0};
    ERR_clear_error();
    std::size_t sent = 0;
    const int result = SSL_write_ex(m_state->Connection.get(), data, size, &sent);
    if (result == 1)
    {
        m_waiting = false;
        return {TIOStatus::Done, sent, 0};
    }
    return Outcome(result, 0, false);
}

bool TTLSStream::Wait(TWaitFor what, std::chrono::milliseconds limit)
{
    switch (m_phase)
    {
    case TPhase::Connecting:
        return m_transport->Wait(what, limit);
    case TPhase::Handshake:
        // Connect waits "writable" for the whole set-up; the handshake knows which
        // way its next step goes.
        return m_transport->Wait(m_waiting ? m_wants : TWaitFor::Writable, limit);
    case TPhase::Open:
        break;
    }
    // Decrypted bytes already held need no wait.
    if (what == TWaitFor::Readable && SSL_pending(m_state->Connection.get()) > 0)
        return true;
    return m_transport->Wait(m_waiting ? m_wants : what, limit);
}

void TTLSStream::Shutdown()
{
    m_transport->Shutdown();
}

std::string TTLSStream::Protocol() const
{
    if (m_phase != TPhase::Open)
        return {};
    return SSL_get_version(m_state->Connection.get());
}

bool TTLSStream::Resumed() const
{
    return m_phase == TPhase::Open && SSL_session_reused(m_state->Connection.get()) == 1;
}

std::string TTLSStream::AgreedApplicationProtocol() const
{
    if (m_phase != TPhase::Open)
        return {};
    const unsigned char* name = nullptr;
    unsigned int length = 0;
    SSL_get0_alpn_selected(m_state->Connection.get(), &name, &length);
    return name != nullptr ? std::string(reinterpret_cast<const char*>(name), length) : std::string();
}

} // namespace hx
