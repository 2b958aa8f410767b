#pragma once

// The secure layer of an https exchange: TLS (1.2 or newer) over any TNetStream,
// with OpenSSL doing the protocol.
//
// TTLSStream wraps the transport it is given (a TCP socket, or a tunnel through a
// proxy) and is itself a TNetStream, so the socket component and the HTTP client
// read and write it exactly as they read and write a plain socket. Connecting it
// connects the transport first and then runs the handshake: the server's
// certificate is checked against the system's trust store (and the extra
// certificates of "CA File"), for the host the address names (SNI is sent for a
// host name, never for a numeric address), unless checking is switched off. A
// refused certificate fails the connection with kErrCertificate and a text that
// says why ("Certificate not trusted: self-signed certificate"), read through
// FailureText.
//
// The stream holds one TLS session from handshake to close; it is not tied to one
// request, so a connection kept open can carry the next exchange as it is.
//
// Threads: as every TNetStream. One thread connects, reads and writes; Shutdown
// may come from any thread and only shuts the transport down (OpenSSL's state is
// touched by the operating thread alone).

#include <memory>
#include <string>
#include <vector>

#include "net/agsocketstream.h"

namespace hx
{

// How certificates are checked.
struct TTLSOptions
{
    // "Check Certificates": refuse a server whose certificate does not check out.
    bool CheckCertificates = true;
    // "CA File": a PEM file of certificates trusted besides the system's; empty: none.
    std::string CAFile;

    bool operator==(const TTLSOptions&) const = default;
};

// The OpenSSL settings every connection with the same options shares: the
// protocol versions, the trust store with the extra certificates loaded once.
// Made on first use and kept; a CA file that changes on disk is read again.
class TTLSContext;

// The shared context of these options. Never null; a CA file that cannot be read
// makes a context whose connections fail with that reason. Any thread.
std::shared_ptr<TTLSContext> TLSContextFor(const TTLSOptions& options);

class TTLSStream final : public TNetStream
{
public:
    // `hostName` is the server's host as the request names it (ASCII; an IPv6
    // address without brackets): the name sent with SNI and checked against the
    // certificate. `server` ("host:port") names the server whose sessions are
    // resumed; empty: never resume.
    TTLSStream(std::shared_ptr<TNetStream> transport, std::shared_ptr<TTLSContext> context, std::string hostName,
               std::string server = {});
    ~TTLSStream() override;
    TTLSStream(const TTLSStream&) = delete;
    TTLSStream& operator=(const TTLSStream&) = delete;

    TIOResult StartConnect() override;
    TIOResult ConnectResult() override;
    TIOResult Read(char* buffer, std::size_t size) override;
    TIOResult Write(const char* data, std::size_t size) override;
    bool Wait(TWaitFor what, std::chrono::milliseconds limit) override;
    void Shutdown() override;
    int Handle() const override { return m_transport->Handle(); }
    std::string FailureText() const override { return m_failureText; }

    // The protocol the handshake agreed on ("TLSv1.3"); empty before it.
    std::string Protocol() const;
    // Whether the handshake resumed an earlier session with the server.
    bool Resumed() const;
    // Offers the application protocols by their ALPN names ("h2", "http/1.1"), most
    // wanted first, with the handshake; set before connecting. None by default.
    void OfferProtocols(std::vector<std::string> protocols) { m_offered = std::move(protocols); }
    // The protocol the server chose from those offered; empty when it chose none
    // (or before the handshake).
    std::string AgreedApplicationProtocol() const;

    // What a connection's OpenSSL callbacks reach (private to the source).
    struct TState;

private:
    enum class TPhase
    {
        Connecting, // the transport is connecting
        Handshake,
        Open
    };

    TIOResult Handshake();
    // Turns an OpenSSL result into a stream result, remembering which way a
    // would-block waits.
    TIOResult Outcome(int sslResult, std::size_t bytes, bool handshake);
    TIOResult Fail(int code, std::string text);
    TIOResult TransportOutcome(const TIOResult& result);

    std::shared_ptr<TNetStream> m_transport;
    std::shared_ptr<TTLSContext> m_context;
    std::string m_hostName;
    std::unique_ptr<TState> m_state;
    TPhase m_phase = TPhase::Connecting;
    // The way the last would-block waits (OpenSSL may need to write to read).
    TWaitFor m_wants = TWaitFor::Writable;
    bool m_waiting = false;
    // A failure ended the connection: its session is not to be resumed.
    bool m_broken = false;
    std::string m_failureText;
    std::vector<std::string> m_offered;
};

} // namespace hx
