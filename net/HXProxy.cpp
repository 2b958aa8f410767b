#include "net/HXProxy.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/HXStrings.h"
#include "core/HXPacing.h"

extern char** environ;

namespace hx
{

namespace
{

// The most output read from such a program.
constexpr std::size_t kProgramOutputLimit = 64 * 1024;

struct TDescriptor
{
    int handle = -1;
    TDescriptor() = default;
    explicit TDescriptor(int h)
        : handle(h)
    {
    }
    ~TDescriptor()
    {
        if (handle >= 0)
            ::close(handle);
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
};

struct TSpawnActions
{
    posix_spawn_file_actions_t actions;
    bool ready = false;
    TSpawnActions() { ready = ::posix_spawn_file_actions_init(&actions) == 0; }
    ~TSpawnActions()
    {
        if (ready)
            ::posix_spawn_file_actions_destroy(&actions);
    }
    TSpawnActions(const TSpawnActions&) = delete;
    TSpawnActions& operator=(const TSpawnActions&) = delete;
};

std::optional<std::string> RunSystemProgram(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
        return std::nullopt;
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return std::nullopt;
    TDescriptor readEnd(ends[0]);
    TDescriptor writeEnd(ends[1]);

    TSpawnActions spawnActions;
    if (!spawnActions.ready)
        return std::nullopt;
    ::posix_spawn_file_actions_addopen(&spawnActions.actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&spawnActions.actions, writeEnd.handle, 1);
    ::posix_spawn_file_actions_addopen(&spawnActions.actions, 2, "/dev/null", O_WRONLY, 0);

    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t child = -1;
    // posix_spawnp searches PATH: a program that is not installed simply fails here.
    if (::posix_spawnp(&child, argv[0], &spawnActions.actions, nullptr, argv.data(), environ) != 0)
        return std::nullopt;
    ::close(writeEnd.handle);
    writeEnd.handle = -1;

    std::string output;
    bool finished = false;
    const auto deadline = std::chrono::steady_clock::now() + pacing::kProxyProgramTimeLimit;
    for (;;)
    {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd wait{readEnd.handle, POLLIN, 0};
        const int ready = ::poll(&wait, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char buffer[4096];
        const ssize_t got = ::read(readEnd.handle, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
        {
            finished = got == 0;
            break;
        }
        output.append(buffer, static_cast<std::size_t>(got));
        if (output.size() > kProgramOutputLimit)
            break;
    }
    if (!finished)
        ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR)
    {
    }
    if (!finished || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return output;
}

// A GVariant text as gsettings prints it: "'text'" for a string, "uint32 3128" or
// "3128" for a number. Quotes and a leading type word are removed.
std::string SettingText(std::string_view printed)
{
    std::string text = Trim(printed);
    if (text.size() >= 2 && (text.front() == '\'' || text.front() == '"') && text.back() == text.front())
        return text.substr(1, text.size() - 2);
    const std::size_t space = text.rfind(' ');
    if (space != std::string::npos)
        text = text.substr(space + 1);
    return text;
}

// The host and port of one of GNOME's proxy schemas ("org.gnome.system.proxy.http"),
// empty when either is missing or unusable.
std::string GnomeSchemaProxy(const TProxySources& sources, const std::string& schema)
{
    const auto host = sources.RunProgram({"gsettings", "get", schema, "host"});
    const auto port = sources.RunProgram({"gsettings", "get", schema, "port"});
    if (!host || !port)
        return {};
    std::string hostText = SettingText(*host);
    std::int32_t portNumber = 0;
    if (hostText.empty() || !TryStrToInt(SettingText(*port), portNumber) || portNumber <= 0)
        return {};
    // GNOME stores a v6 address bare; the "host:port" form needs its brackets.
    if (hostText.find(':') != std::string::npos && hostText.front() != '[')
        hostText = "[" + hostText + "]";
    return ProxyFromURLText(hostText + ":" + std::to_string(portNumber));
}

// GNOME's manual proxy: the HTTP one, else the secure one (many desktops set only
// one of the two and use it for both).
std::string GnomeProxy(const TProxySources& sources)
{
    if (!sources.RunProgram)
        return {};
    const auto mode = sources.RunProgram({"gsettings", "get", "org.gnome.system.proxy", "mode"});
    if (!mode || SettingText(*mode) != "manual")
        return {};
    std::string proxy = GnomeSchemaProxy(sources, "org.gnome.system.proxy.http");
    if (proxy.empty())
        proxy = GnomeSchemaProxy(sources, "org.gnome.system.proxy.https");
    return proxy;
}

// "no_proxy=*" (or "NO_PROXY=*") sends every address direct: the environment's
// proxy is then not the one the browsers use.
bool EnvironmentBypassesEveryHost(const TProxySources& sources)
{
    for (const char* name : {"no_proxy", "NO_PROXY"})
    {
        const auto value = sources.Environment(name);
        if (value && Trim(*value) == "*")
            return true;
    }
    return false;
}

std::string EnvironmentProxy(const TProxySources& sources)
{
    if (!sources.Environment || EnvironmentBypassesEveryHost(sources))
        return {};
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY"})
    {
        // A value this client cannot use (another scheme) does not end the search.
        const auto value = sources.Environment(name);
        if (!value)
            continue;
        std::string proxy = ProxyFromURLText(*value);
        if (!proxy.empty())
            return proxy;
    }
    return {};
}

} // namespace

TTransferProxy TransferProxy(bool useProxy, const std::string& address, const std::string& port,
                             const std::string& authorization)
{
    TTransferProxy proxy;
    if (!useProxy || address.empty())
        return proxy;
    proxy.Proxy = address + ":" + port;
    // The credentials are the proxy's: without a proxy they would go to every web server.
    if (!authorization.empty())
    {
        const TProxyCredentials credentials = SplitProxyAuthorization(authorization);
        proxy.UserName = credentials.UserName;
        proxy.Password = credentials.Password;
    }
    return proxy;
}

TTransferProxy TransferProxy(const THXApp& app)
{
    return TransferProxy(app.UseProxy(), app.ProxyAddress(), app.ProxyPort(), app.ProxyAuthorization());
}

TProxyCredentials SplitProxyAuthorization(std::string_view authorization)
{
    const std::size_t colon = authorization.find(':');
    if (colon == std::string_view::npos)
        return {std::string(authorization), {}};
    return {std::string(authorization.substr(0, colon)), std::string(authorization.substr(colon + 1))};
}

std::string StoredProxyAddress(std::string_view typed)
{
    std::string address = Trim(typed);
    constexpr std::string_view kPrefix = "http://";
    if (address.compare(0, kPrefix.size(), kPrefix) == 0)
        address.erase(0, kPrefix.size());
    return address;
}

std::string StoredProxyPort(std::string_view typed)
{
    return Trim(typed);
}

std::string JoinProxyAuthorization(const std::string& userName, const std::string& password)
{
    if (userName.empty() || password.empty())
        return {};
    return userName + ":" + password;
}

TProxyFields SplitDetectedProxy(std::string_view proxy)
{
    // "[v6 address]:port": the address keeps its brackets, the port follows them.
    if (!proxy.empty() && proxy.front() == '[')
    {
        const std::size_t close = proxy.find(']');
        if (close != std::string_view::npos && close + 1 < proxy.size() && proxy[close + 1] == ':')
            return {std::string(proxy.substr(0, close + 1)), std::string(proxy.substr(close + 2))};
    }
    const std::size_t colon = proxy.find(':');
    if (colon == std::string_view::npos)
        return {{}, std::string(proxy)};
    return {std::string(proxy.substr(0, colon)), std::string(proxy.substr(colon + 1))};
}

std::string ProxyFromURLText(std::string_view text)
{
    std::string rest = Trim(text);
    const std::size_t schemeEnd = rest.find("://");
    if (schemeEnd != std::string::npos)
    {
        if (!SameTextNoCase(std::string_view(rest).substr(0, schemeEnd), "http"))
            return {};
        rest.erase(0, schemeEnd + 3);
    }
    rest = rest.substr(0, rest.find_first_of("/?#"));
    const std::size_t at = rest.rfind('@');
    if (at != std::string::npos)
        rest.erase(0, at + 1);
    if (rest.empty())
        return {};

    // "[v6 address]" keeps its brackets; the port follows the closing one.
    std::size_t hostEnd = 0;
    if (rest.front() == '[')
    {
        hostEnd = rest.find(']');
        if (hostEnd == std::string::npos)
            return {};
        ++hostEnd;
    }
    else
    {
        hostEnd = rest.find(':');
        if (hostEnd == std::string::npos)
            hostEnd = rest.size();
    }
    const std::string host = rest.substr(0, hostEnd);
    std::string port = rest.substr(hostEnd);
    if (!port.empty() && port.front() == ':')
        port.erase(0, 1);
    if (host.empty() || host == "[]")
        return {};
    std::int32_t number = 0;
    if (port.empty())
        port = std::string(kDefaultProxyPort);
    else if (!TryStrToInt(port, number) || number <= 0 || number > 65535)
        return {};
    return host + ":" + port;
}

TProxySources SystemProxySources()
{
    TProxySources sources;
    sources.Environment = [](const std::string& name) -> std::optional<std::string>
    {
        const char* value = std::getenv(name.c_str());
        if (value == nullptr)
            return std::nullopt;
        return std::string(value);
    };
    sources.RunProgram = RunSystemProgram;
    return sources;
}

std::string DetectProxy(const TProxySources& sources)
{
    std::string proxy = EnvironmentProxy(sources);
    if (proxy.empty())
        proxy = GnomeProxy(sources);
    return proxy;
}

std::string DetectProxy()
{
    return DetectProxy(SystemProxySources());
}

std::string ProxyToOffer(THXApp& app, std::string_view detected, bool proxyBoxTicked)
{
    if (proxyBoxTicked || detected.empty() || app.ProxyOffered() == detected)
        return {};
    return std::string(detected);
}

} // namespace hx
