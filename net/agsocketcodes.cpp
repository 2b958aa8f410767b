#include "net/agsocketcodes.h"

#include <algorithm>
#include <cerrno>
#include <iterator>

#include <netdb.h>

namespace hx
{

namespace
{

struct TCodeText
{
    int code;
    const char* text;
};

// The component's own messages.
constexpr TCodeText kComponentTexts[] = {
    {kErrTimedOut, "Operation timed out"},
    {kErrCanceled, "Operation has been canceled"},
    {kErrServerRequired, "Server property is required"},
    {kErrResolvingHost, "Error resolving remote host"},
    {kErrServiceRequired, "Service name is required"},
    {kErrProxyPortRequired, "Proxy port is required"},
    {kErrInvalidURL, "Invalid URL"},
    {kErrNotConnected, "You have to connect to the server first"},
    {kErrLineTooLong, "Line too long"},
    {kErrTooManyHeaders, "Too many header lines"},
    {kErrClosedEarly, "Connection closed before the end of the response"},
    {kErrCertificate, "Certificate rejected"},
    {kErrSecureChannel, "Secure connection failed"},
    {kErrTunnel, "Proxy refused the tunnel"},
    {kErrBadEncoding, "Compressed content could not be decoded"},
};

// Socket library texts, written as "[code] text".
constexpr TCodeText kSocketTexts[] = {
    {10000, "No Error"},
    {10004, "Interrupted function call"},
    {10009, "Bad file number"},
    {10013, "Permission denied."},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Resource temporarily not available"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Cannot assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No Route to Host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc Quota Exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "WINSOCK DLL Version out of range"},
    {10093, "Successful WSAStartup() not yet performed"},
    {10094, "Graceful shutdown in progress"},
    {11001, "Host not found"},
    {11002, "Non-Authoritative Host not found"},
    {11003, "Non-Recoverable errors: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
};

struct TErrnoCode
{
    int error;
    int code;
};

constexpr TErrnoCode kErrnoCodes[] = {
    {EINTR, 10004},
    {EBADF, 10009},
    {EACCES, 10013},
    {EPERM, 10013},
    {EFAULT, 10014},
    {EINVAL, 10022},
    {EMFILE, 10024},
    {ENFILE, 10024},
    {EAGAIN, 10035},
    {EINPROGRESS, 10036},
    {EALREADY, 10037},
    {ENOTSOCK, 10038},
    {EDESTADDRREQ, 10039},
    {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041},
    {ENOPROTOOPT, 10042},
    {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044},
    {EOPNOTSUPP, 10045},
    {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047},
    {EADDRINUSE, 10048},
    {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050},
    {ENETUNREACH, 10051},
    {ENETRESET, 10052},
    {ECONNABORTED, 10053},
    {ECONNRESET, 10054},
    // Writing to a connection the peer has torn down: the same outcome as a reset.
    {EPIPE, 10054},
    {ENOBUFS, 10055},
    {ENOMEM, 10055},
    {EISCONN, 10056},
    {ENOTCONN, 10057},
    {ESHUTDOWN, 10058},
    {ETOOMANYREFS, 10059},
    {ETIMEDOUT, 10060},
    {ECONNREFUSED, 10061},
    {ELOOP, 10062},
    {ENAMETOOLONG, 10063},
    {EHOSTDOWN, 10064},
    {EHOSTUNREACH, 10065},
    {ENOTEMPTY, 10066},
    {EUSERS, 10068},
    {EDQUOT, 10069},
    {ESTALE, 10070},
    {EREMOTE, 10071},
};

const char* FindText(const TCodeText* begin, const TCodeText* end, int code)
{
    const auto found = std::find_if(begin, end, [code](const TCodeText& entry) { return entry.code == code; });
    return found == end ? nullptr : found->text;
}

} // namespace

std::string SocketErrorText(int code)
{
    if (const char* text = FindText(std::begin(kComponentTexts), std::end(kComponentTexts), code))
        return text;
    if (const char* text = FindText(std::begin(kSocketTexts), std::end(kSocketTexts), code))
        return "[" + std::to_string(code == 10000 ? 0 : code) + "] " + text;
    return "Error #" + std::to_string(code);
}

int SocketCodeFromErrno(int error)
{
    if (error == EWOULDBLOCK)
        error = EAGAIN;
    const auto found = std::find_if(std::begin(kErrnoCodes), std::end(kErrnoCodes),
                                    [error](const TErrnoCode& entry) { return entry.error == error; });
    return found == std::end(kErrnoCodes) ? error : found->code;
}

int SocketCodeFromLookup(int lookupError, int systemError)
{
    switch (lookupError)
    {
    case 0:
        return 0;
    case EAI_NONAME:
        return 11001;
    case EAI_AGAIN:
        return 11002;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
        return 11004;
    case EAI_MEMORY:
        return 10055;
    case EAI_SYSTEM:
        return systemError != 0 ? SocketCodeFromErrno(systemError) : 11003;
    default:
        return 11003;
    }
}

} // namespace hx
