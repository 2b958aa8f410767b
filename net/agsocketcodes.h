#pragma once

// The failure codes of the network layers and their texts: the socket codes (the
// numbers the program shows for system failures, "[10061] Connection refused"), the
// socket component's own codes (57000 and up), and the mapping of errno and
// resolver results to them. The streams, the socket component and everything
// above them report failures with these codes; this header is the bottom of the
// network code and includes nothing of it.

#include <string>

namespace hx
{

// Codes of the component's own failures.
inline constexpr int kErrTimedOut = 57000;
inline constexpr int kErrCanceled = 57001;
inline constexpr int kErrServerRequired = 57002;
inline constexpr int kErrResolvingHost = 57004;
inline constexpr int kErrServiceRequired = 57005;
inline constexpr int kErrProxyPortRequired = 57006;
inline constexpr int kErrInvalidURL = 57007;
inline constexpr int kErrNotConnected = 57008;
// A received line longer than the socket component takes (kMaxLineBytes), a response with more than
// kMaxHeaderLines header lines: what a hostile server gets instead of our memory.
inline constexpr int kErrLineTooLong = 57013;
inline constexpr int kErrTooManyHeaders = 57014;
// The server closed the connection before the response was whole: inside the header
// lines, before the length its header announced, or before a chunked body's last chunk.
inline constexpr int kErrClosedEarly = 57015;
// An https connection that could not be made secure: the server's certificate was
// refused, or the secure handshake failed. A proxy that would not open a tunnel.
inline constexpr int kErrCertificate = 57016;
inline constexpr int kErrSecureChannel = 57017;
inline constexpr int kErrTunnel = 57018;
// A compressed body whose bytes do not decode (corrupt, or cut short).
inline constexpr int kErrBadEncoding = 57019;

// Socket codes that the code reads by number.
inline constexpr int kSockConnectionReset = 10054;
inline constexpr int kSockConnectionRefused = 10061;
inline constexpr int kSockHostNotFound = 11001;

// The message of a code: the component's texts, "[code] text" for socket codes
// ("[10061] Connection refused"; 10000 reads "[0] No Error"), and "Error #code"
// for a code without text.
std::string SocketErrorText(int code);

// The socket code of a system error number (ECONNREFUSED gives 10061). A number
// without a socket counterpart is returned unchanged.
int SocketCodeFromErrno(int error);

// The socket code of a getaddrinfo result (EAI_NONAME gives 11001).
int SocketCodeFromLookup(int lookupError, int systemError);

} // namespace hx
