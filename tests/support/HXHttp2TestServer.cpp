#include "support/HXHttp2TestServer.h"

#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <nghttp2/nghttp2.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace hx::test
{

struct THXHttp2TestServer::TConnection
{
    explicit TConnection(THXHttp2TestServer& server)
        : Server(server)
    {
    }
    THXHttp2TestServer& Server;
    nghttp2_session* Session = nullptr;
    std::map<std::int32_t, std::string> Paths;
    std::set<std::int32_t> Heads;
    // Each answer's body and how much of it has gone.
    std::map<std::int32_t, std::pair<std::string, std::size_t>> Bodies;
    int Answered = 0;
    int Open = 0;
    bool GoneAway = false;
    // The last stream answered before GOAWAY: later ones are left unanswered.
    std::int32_t LastStream = 0;
};

namespace
{

using TConnection = THXHttp2TestServer::TConnection;

int SelectHttp2(SSL*, const unsigned char** out, unsigned char* outLength, const unsigned char* in,
                unsigned int inLength, void*)
{
    for (unsigned int at = 0; at < inLength; at += 1 + in[at])
    {
        if (in[at] == 2 && at + 3 <= inLength && std::memcmp(in + at + 1, "h2", 2) == 0)
        {
            *out = in + at + 1;
            *outLength = 2;
            return SSL_TLSEXT_ERR_OK;
        }
    }
    return SSL_TLSEXT_ERR_ALERT_FATAL;
}

ssize_t ReadBody(nghttp2_session*, std::int32_t streamId, std::uint8_t* buffer, std::size_t length,
                 std::uint32_t* flags, nghttp2_data_source*, void* user)
{
    auto& connection = *static_cast<TConnection*>(user);
    auto& [body, sent] = connection.Bodies[streamId];
    const std::size_t taken = std::min(length, body.size() - sent);
    std::memcpy(buffer, body.data() + sent, taken);
    sent += taken;
    if (sent == body.size())
        *flags |= NGHTTP2_DATA_FLAG_EOF;
    return static_cast<ssize_t>(taken);
}

int OnHeader(nghttp2_session*, const nghttp2_frame* frame, const std::uint8_t* name, std::size_t nameLength,
             const std::uint8_t* value, std::size_t valueLength, std::uint8_t, void* user)
{
    auto& connection = *static_cast<TConnection*>(user);
    const std::string_view field(reinterpret_cast<const char*>(name), nameLength);
    const std::string_view text(reinterpret_cast<const char*>(value), valueLength);
    if (frame->hd.type == NGHTTP2_HEADERS && field == ":path")
        connection.Paths[frame->hd.stream_id] = std::string(text);
    if (frame->hd.type == NGHTTP2_HEADERS && field == ":method" && text == "HEAD")
        connection.Heads.insert(frame->hd.stream_id);
    return 0;
}

int OnStreamClose(nghttp2_session*, std::int32_t streamId, std::uint32_t, void* user)
{
    auto& connection = *static_cast<TConnection*>(user);
    connection.Bodies.erase(streamId);
    --connection.Open;
    return 0;
}

int OnBeginHeaders(nghttp2_session*, const nghttp2_frame* frame, void* user)
{
    if (frame->hd.type == NGHTTP2_HEADERS && frame->headers.cat == NGHTTP2_HCAT_REQUEST)
        ++static_cast<TConnection*>(user)->Open;
    return 0;
}

} // namespace

THXHttp2TestServer::THXHttp2TestServer(const TCertificatePair& certificate, std::map<std::string, std::string> pages)
    : m_pages(std::move(pages))
{
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    m_context.reset(context, [](void* made) { SSL_CTX_free(static_cast<SSL_CTX*>(made)); });
    if (context == nullptr || SSL_CTX_use_certificate_chain_file(context, certificate.Certificate.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, certificate.Key.c_str(), SSL_FILETYPE_PEM) != 1)
    {
        m_error = "the test certificate cannot be loaded";
        return;
    }
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_alpn_select_cb(context, SelectHttp2, nullptr);

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(listener, 64) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    {
        if (listener >= 0)
            ::close(listener);
        m_error = "no port to listen on";
        return;
    }
    m_port = ntohs(address.sin_port);
    m_listener = listener;
    m_acceptor = std::thread([this] { Accept(); });
}

THXHttp2TestServer::~THXHttp2TestServer()
{
    m_stop = true;
    if (m_listener >= 0)
        ::shutdown(m_listener, SHUT_RDWR);
    if (m_acceptor.joinable())
        m_acceptor.join();
    {
        const std::lock_guard lock(m_mutex);
        for (const int socket : m_sockets)
            ::shutdown(socket, SHUT_RDWR);
    }
    for (std::thread& thread : m_threads)
        thread.join();
    for (const int socket : m_sockets)
        ::close(socket);
    if (m_listener >= 0)
        ::close(m_listener);
}

std::string THXHttp2TestServer::URL(const std::string& path) const
{
    return "https://127.0.0.1:" + std::to_string(m_port) + path;
}

void THXHttp2TestServer::ResetOnce(const std::string& path)
{
    const std::lock_guard lock(m_mutex);
    m_resetPaths.insert(path);
}

void THXHttp2TestServer::Accept()
{
    while (!m_stop)
    {
        const int socket = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0)
            break;
        const std::lock_guard lock(m_mutex);
        m_sockets.push_back(socket);
        m_threads.emplace_back([this, socket] { Serve(socket); });
    }
}

void THXHttp2TestServer::Serve(int socket)
{
    SSL* ssl = SSL_new(static_cast<SSL_CTX*>(m_context.get()));
    SSL_set_fd(ssl, socket);
    if (SSL_accept(ssl) != 1)
    {
        SSL_free(ssl);
        return;
    }
    ++m_connections;
    TConnection connection(*this);
    nghttp2_session_callbacks* callbacks = nullptr;
    nghttp2_session_callbacks_new(&callbacks);
    nghttp2_session_callbacks_set_on_header_callback(callbacks, OnHeader);
    nghttp2_session_callbacks_set_on_stream_close_callback(callbacks, OnStreamClose);
    nghttp2_session_callbacks_set_on_begin_headers_callback(callbacks, OnBeginHeaders);
    nghttp2_session_callbacks_set_on_frame_recv_callback(
        callbacks,
        [](nghttp2_session* session, const nghttp2_frame* frame, void* user) -> int
        {
            auto& connection = *static_cast<TConnection*>(user);
            THXHttp2TestServer& server = connection.Server;
            // A request is whole once its stream ends: with its header block (GET,
            // HEAD) or with its body (POST).
            if ((frame->hd.type != NGHTTP2_HEADERS && frame->hd.type != NGHTTP2_DATA) ||
                (frame->hd.flags & NGHTTP2_FLAG_END_STREAM) == 0 || connection.Paths.count(frame->hd.stream_id) == 0)
                return 0;
            const std::int32_t id = frame->hd.stream_id;
            ++server.m_streams;
            const std::string path = connection.Paths[id];
            if (connection.GoneAway && id > connection.LastStream)
                return 0;
            {
                const std::lock_guard lock(server.m_mutex);
                if (server.m_resetPaths.erase(path) > 0)
                {
                    ++server.m_resets;
                    nghttp2_submit_rst_stream(session, NGHTTP2_FLAG_NONE, id, NGHTTP2_INTERNAL_ERROR);
                    return 0;
                }
            }
            const auto page = server.m_pages.find(path);
            const bool found = page != server.m_pages.end();
            connection.Bodies[id] = {found ? page->second : std::string("not here"), 0};
            const std::string status = found ? "200" : "404";
            const std::string length = std::to_string(connection.Bodies[id].first.size());
            const auto field = [](std::string_view name, std::string_view value)
            {
                return nghttp2_nv{reinterpret_cast<std::uint8_t*>(const_cast<char*>(name.data())),
                                  reinterpret_cast<std::uint8_t*>(const_cast<char*>(value.data())), name.size(),
                                  value.size(), NGHTTP2_NV_FLAG_NONE};
            };
            const nghttp2_nv headers[] = {field(":status", status), field("content-type", "text/html"),
                                          field("content-length", length)};
            nghttp2_data_provider body{};
            body.read_callback = ReadBody;
            // The answer to HEAD has the fields of the GET's and no body.
            nghttp2_submit_response(session, id, headers, std::size(headers),
                                    connection.Heads.count(id) > 0 ? nullptr : &body);
            if (connection.Heads.count(id) > 0)
                connection.Bodies.erase(id);
            ++server.m_answered;
            if (++connection.Answered == server.m_goAwayAfter)
            {
                // Requests after this one go unanswered: the client is to ask them again.
                nghttp2_submit_goaway(session, NGHTTP2_FLAG_NONE, id, NGHTTP2_NO_ERROR, nullptr, 0);
                connection.GoneAway = true;
                connection.LastStream = id;
            }
            return 0;
        });
    nghttp2_session_server_new(&connection.Session, callbacks, &connection);
    nghttp2_session_callbacks_del(callbacks);
    const nghttp2_settings_entry settings[] = {{NGHTTP2_SETTINGS_MAX_CONCURRENT_STREAMS, 100}};
    nghttp2_submit_settings(connection.Session, NGHTTP2_FLAG_NONE, settings, std::size(settings));

    char buffer[16384];
    while (!m_stop)
    {
        const std::uint8_t* data = nullptr;
        ssize_t length = 0;
        bool failed = false;
        while ((length = nghttp2_session_mem_send(connection.Session, &data)) > 0)
            failed = failed || SSL_write(ssl, data, static_cast<int>(length)) <= 0;
        if (failed || length < 0)
            break;
        // After GOAWAY the connection ends once what it answered has gone.
        if (connection.GoneAway && connection.Bodies.empty())
            break;
        if (nghttp2_session_want_read(connection.Session) == 0 && nghttp2_session_want_write(connection.Session) == 0)
            break;
        const int got = SSL_read(ssl, buffer, sizeof(buffer));
        if (got <= 0 || nghttp2_session_mem_recv(connection.Session, reinterpret_cast<const std::uint8_t*>(buffer),
                                                 static_cast<std::size_t>(got)) < 0)
            break;
    }
    nghttp2_session_del(connection.Session);
    SSL_shutdown(ssl);
    SSL_free(ssl);
    ::shutdown(socket, SHUT_RDWR);
}

} // namespace hx::test
