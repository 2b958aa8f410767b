#include "net/HXRenderProtocol.h"

#include <algorithm>

#include "core/HXStrings.h"
#include "core/HXURL.h"

namespace hx
{

namespace
{

void AppendLength(std::string& out, std::size_t length)
{
    const auto value = static_cast<std::uint32_t>(length);
    out.push_back(static_cast<char>((value >> 24) & 0xFF));
    out.push_back(static_cast<char>((value >> 16) & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
    out.push_back(static_cast<char>(value & 0xFF));
}

constexpr std::string_view kRequestTag = "render";
constexpr std::string_view kReplyTag = "rendered";

} // namespace

std::uint32_t FrameLength(const unsigned char prefix[4])
{
    return (static_cast<std::uint32_t>(prefix[0]) << 24) | (static_cast<std::uint32_t>(prefix[1]) << 16) |
           (static_cast<std::uint32_t>(prefix[2]) << 8) | static_cast<std::uint32_t>(prefix[3]);
}

std::string PackFrame(const std::vector<std::string>& fields)
{
    std::size_t size = 0;
    for (const std::string& field : fields)
        size += 4 + field.size();
    std::string frame;
    frame.reserve(4 + size);
    AppendLength(frame, size);
    for (const std::string& field : fields)
    {
        AppendLength(frame, field.size());
        frame += field;
    }
    return frame;
}

std::optional<std::vector<std::string>> UnpackFields(std::string_view payload)
{
    std::vector<std::string> fields;
    while (!payload.empty())
    {
        if (payload.size() < 4)
            return std::nullopt;
        const std::uint32_t length = FrameLength(reinterpret_cast<const unsigned char*>(payload.data()));
        payload.remove_prefix(4);
        if (length > payload.size())
            return std::nullopt;
        fields.emplace_back(payload.substr(0, length));
        payload.remove_prefix(length);
    }
    return fields;
}

std::string PackRequest(const TRenderRequest& request)
{
    return PackFrame({std::string(kRequestTag), request.URL, std::to_string(request.TimeOutMs),
                      request.KeepScripts ? "1" : "0", JoinLines(request.Sites), request.Cookies});
}

std::optional<TRenderRequest> UnpackRequest(std::string_view payload)
{
    const std::optional<std::vector<std::string>> fields = UnpackFields(payload);
    if (!fields || fields->size() != 6 || (*fields)[0] != kRequestTag)
        return std::nullopt;
    TRenderRequest request;
    request.URL = (*fields)[1];
    request.TimeOutMs = std::max(0, StrToIntDef((*fields)[2], 0));
    request.KeepScripts = (*fields)[3] == "1";
    request.Sites = SplitLines((*fields)[4]);
    request.Cookies = (*fields)[5];
    return request;
}

std::string PackReply(const TRenderReply& reply)
{
    return PackFrame({std::string(kReplyTag), reply.Loaded ? "1" : "0", reply.Status, reply.Document,
                      JoinLines(reply.Requested), JoinLines(reply.Blocked)});
}

std::optional<TRenderReply> UnpackReply(std::string_view payload)
{
    std::optional<std::vector<std::string>> fields = UnpackFields(payload);
    if (!fields || fields->size() != 6 || (*fields)[0] != kReplyTag)
        return std::nullopt;
    TRenderReply reply;
    reply.Loaded = (*fields)[1] == "1";
    reply.Status = std::move((*fields)[2]);
    reply.Document = std::move((*fields)[3]);
    reply.Requested = SplitLines((*fields)[4]);
    reply.Blocked = SplitLines((*fields)[5]);
    return reply;
}

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    while (!text.empty())
    {
        const std::size_t end = std::min(text.find('\n'), text.size());
        if (end > 0)
            lines.emplace_back(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return lines;
}

std::string JoinLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
    {
        // An address never holds a line end; one that did would split into two.
        if (line.find_first_of("\r\n") != std::string::npos)
            continue;
        text += line;
        text += '\n';
    }
    return text;
}

bool RenderAllowed(std::string_view url, const std::vector<std::string>& sites)
{
    if (!IsWebURL(url))
        return false;
    // An address with user information names its host in an unusual place: refused
    // rather than misread.
    const std::size_t authority = url.find("://");
    const std::string_view rest = url.substr(authority + 3);
    const std::string_view hostPart = rest.substr(0, std::min(rest.find_first_of("/?#"), rest.size()));
    if (hostPart.find('@') != std::string_view::npos)
        return false;
    const std::string host = LowerCase(URLHost(url));
    return !host.empty() && std::find(sites.begin(), sites.end(), host) != sites.end();
}

} // namespace hx
