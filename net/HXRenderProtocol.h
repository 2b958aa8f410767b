#pragma once

// The framed protocol between the parse worker and harbex-render, the offscreen
// browser that renders pages built by scripts. Both ends speak it over a pipe: a
// frame is a four-byte big-endian length and that many bytes; the bytes are a list
// of fields, each again a four-byte length and its bytes. One request frame asks
// for one page; the renderer answers it with one reply frame before it reads the next.
//
// No Qt here: the engine builds and reads the frames, and so does harbex-render.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hx
{

// A frame larger than this is refused (a rendered document, its addresses and the
// cookies fit well below it); a peer that announces more is broken.
inline constexpr std::uint32_t kMaxRenderFrame = 64u * 1024 * 1024;

// What the parse worker asks of the renderer.
struct TRenderRequest
{
    std::string URL;
    int TimeOutMs = 10000;
    // The page's own <script> elements stay in the rendered document.
    bool KeepScripts = false;
    // Host names the page may load from (lower case); every other host is blocked.
    std::vector<std::string> Sites;
    // The task's cookies, as a Netscape cookies.txt text.
    std::string Cookies;
};

// What the renderer answers.
struct TRenderReply
{
    bool Loaded = false; // false: the page could not be loaded (Status says why)
    std::string Status;  // a short text for the page's status
    std::string Document;
    std::vector<std::string> Requested; // every address the page asked for, in order, each once
    std::vector<std::string> Blocked;   // those of them that were refused
};

// The fields as one frame: length prefix included.
std::string PackFrame(const std::vector<std::string>& fields);
// The fields of a frame's payload (without its length prefix); none when it is malformed.
std::optional<std::vector<std::string>> UnpackFields(std::string_view payload);
// The payload length a frame's four-byte prefix announces.
std::uint32_t FrameLength(const unsigned char prefix[4]);

std::string PackRequest(const TRenderRequest& request);
std::optional<TRenderRequest> UnpackRequest(std::string_view payload);
std::string PackReply(const TRenderReply& reply);
std::optional<TRenderReply> UnpackReply(std::string_view payload);

// Lines of a text (the lists travel one address a line); empty lines dropped.
std::vector<std::string> SplitLines(std::string_view text);
std::string JoinLines(const std::vector<std::string>& lines);

// Whether a renderer may load the address for a page of these sites: http(s) only,
// never a local file, and only on one of the sites' hosts.
bool RenderAllowed(std::string_view url, const std::vector<std::string>& sites);

} // namespace hx
