#pragma once

// THXCookieJar: the cookies of one task. Sites that keep a session (a shop, a
// forum, a course site, anything behind a sign-in) answer with Set-Cookie and
// expect the cookie back; the jar stores what each answer sets and gives every
// request the Cookie header the site expects, by the storage model, domain- and
// path-matching of RFC 6265. It is kept beside the task's queue in the Netscape
// cookies.txt format that wget, curl and browser extensions read and write.
//
// Threads: every transfer thread reads and writes the jar while the owner thread
// loads, saves and edits it; each operation takes the jar's lock briefly.

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace hx
{

class THXTask;

struct THXCookie
{
    std::string Name;
    std::string Value;
    // Lower case, without a leading dot: the host for a host-only cookie, the
    // domain (the host and every host below it) otherwise.
    std::string Domain;
    std::string Path;
    // Unix seconds; 0 for a session cookie (kept until the session ends).
    std::int64_t Expires = 0;
    bool HostOnly = true;
    bool Secure = false;
    bool HttpOnly = false;
    // Unix seconds; the oldest cookie is the one evicted when a bound is reached.
    std::int64_t Created = 0;
};

// Bounds against a site (or a file) that sets cookies without end.
inline constexpr std::size_t kMaxCookieBytes = 4096; // name and value together
inline constexpr std::size_t kMaxCookiesPerDomain = 50;
inline constexpr std::size_t kMaxCookies = 3000;

class THXCookieJar
{
public:
    THXCookieJar() = default;
    THXCookieJar(const THXCookieJar&) = delete;
    THXCookieJar& operator=(const THXCookieJar&) = delete;

    // Stores one Set-Cookie header value received for requestUrl, or ignores it
    // when the RFC's storage model refuses it (no name, a domain the request host
    // is not in, a public suffix, a Secure cookie over http, too large).
    // An already expired cookie removes the stored one of the same name, domain and path.
    void SetFromHeader(const std::string& requestUrl, std::string_view setCookie, std::int64_t now);
    // A cookie from a file or a browser: the same checks and bounds. False when
    // refused. Domain may carry a leading dot (then it is a domain cookie).
    bool Add(THXCookie cookie, std::int64_t now);
    // The Cookie header value for a request to requestUrl ("a=1; b=2", longer
    // paths first), empty when no cookie matches.
    std::string CookieHeader(const std::string& requestUrl, std::int64_t now) const;
    // The stored cookies sorted by domain, path and name.
    std::vector<THXCookie> Cookies() const;
    // False when there was no such cookie. The domain may carry a leading dot.
    bool Remove(const std::string& domain, const std::string& path, const std::string& name);
    void Clear();
    bool Empty() const;
    std::size_t Count() const;
    // Drops the cookies without an expiry (a new session: Restart of a task).
    void DropSessionCookies();
    // Drops the cookies whose expiry has passed.
    void DropExpired(std::int64_t now);
    // Counts every change; a saver compares it with the value it last saved.
    std::uint64_t Generation() const;

    // Reads a Netscape cookies.txt (as wget, curl and browser extensions write it,
    // "#HttpOnly_" lines included) and merges its live cookies into the jar.
    // False with a message when the file cannot be read; bad lines are skipped.
    bool LoadFile(const std::string& path, std::string& error, std::int64_t now);
    bool LoadFile(const std::string& path, std::string& error);
    // Writes the live cookies, session cookies included (expiry 0), in the same
    // format, atomically and readable by the user alone (the values are secrets).
    // HttpOnly cookies are written as plain lines, which wget also reads.
    bool SaveFile(const std::string& path, std::string& error, std::int64_t now) const;
    bool SaveFile(const std::string& path, std::string& error) const;
    // The file's text, as SaveFile writes it.
    std::string FileText(std::int64_t now) const;
    // SaveFile when the jar changed since it was last saved or loaded whole
    // (MarkSaved); true when nothing needed writing.
    bool SaveFileIfChanged(const std::string& path, std::string& error);
    // The jar as it is now counts as saved.
    void MarkSaved();

private:
    // Callers hold m_lock.
    bool StoreLocked(THXCookie cookie, std::int64_t now);
    void EvictLocked(const std::string& domain);

    mutable std::mutex m_lock;
    std::vector<THXCookie> m_cookies;
    std::uint64_t m_generation = 0;
    std::uint64_t m_savedGeneration = 0;
};

// The seconds since 1970 of a cookie date (RFC 6265's algorithm: the
// forgiving reading browsers use for Expires), or -1 when it is no date.
std::int64_t ParseCookieDate(std::string_view text);

// True when the host is an IPv4 or IPv6 address (brackets allowed).
bool IsIPAddressHost(std::string_view host);

// True when the name is a public suffix ("com", "co.uk", "github.io"): nobody
// may set a cookie for all sites under it.
bool IsPublicSuffix(const std::string& domain);

// The task's jar file: the task name + ".cookies", beside its queue file.
std::string CookieFileName(THXTask& task);

// When a run starts (owner thread): the task's jar becomes the cookies of its
// file (without the session cookies when the run begins a new session, as Restart
// does) and then the task's CookiesToAdd, which are emptied. False with a message
// when the file exists but cannot be read; the jar then holds the added ones.
bool OpenTaskCookies(THXTask& task, bool newSession, std::string& error);
// Writes the task's jar to its file when it changed (owner thread).
bool SaveTaskCookies(THXTask& task, std::string& error);

// The current time in Unix seconds.
std::int64_t CookieClockNow();

} // namespace hx
