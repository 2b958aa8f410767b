// Pages rendered per second by harbex-render: a local application on 127.0.0.1 (a
// shell page whose text and picture come from a JSON file through fetch) is
// rendered page after page by a pool of N renderers, one thread per renderer, as
// parse workers would. The renderers' start-up is timed apart.
//
//     hx_render_bench RENDERER_PROGRAM RENDERERS PAGES

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "net/HXRenderClient.h"
#include "support/HXTestServer.h"

namespace
{

constexpr const char* kShell = "<html><head><script src=\"/app.js\"></script></head>"
                               "<body><main id=\"main\">Loading...</main></body></html>";
constexpr const char* kScript = R"JS(
window.addEventListener('DOMContentLoaded', async () => {
  const name = location.pathname.split('/').pop().replace('.html', '');
  const data = await (await fetch('/api/' + name + '.json')).json();
  document.getElementById('main').innerHTML = '<p>' + data.text + '</p><img src="/img/' + name + '.png">';
});
)JS";

hx::test::TReply Typed(std::string body, const char* type)
{
    return hx::test::TReply::Text(200, std::move(body), {{"Content-Type", type}});
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
    {
        std::fprintf(stderr, "usage: hx_render_bench RENDERER_PROGRAM RENDERERS PAGES\n");
        return 2;
    }
    const std::string program = argv[1];
    const int renderers = std::atoi(argv[2]);
    const int pages = std::atoi(argv[3]);
    hx::test::THXTestServer server(
        [](const hx::test::TRecordedRequest& request)
        {
            const std::string& target = request.Target;
            if (target == "/app.js")
                return Typed(kScript, "application/javascript");
            if (target.starts_with("/api/"))
                return Typed("{\"text\": \"Text of " + target.substr(5) + "\"}", "application/json");
            if (target.starts_with("/img/"))
                return Typed("PNG", "image/png");
            return Typed(kShell, "text/html");
        });
    hx::THXRenderPool pool(program, renderers);
    const auto render = [&](int page, bool& rendered)
    {
        hx::TRenderRequest request;
        request.URL = server.URL("/page" + std::to_string(page) + ".html");
        request.Sites = {"127.0.0.1"};
        hx::TRenderReply reply;
        rendered = pool.Render(request, reply) == hx::TRenderOutcome::Rendered && reply.Loaded &&
                   reply.Document.find("Text of page") != std::string::npos;
    };
    // Every renderer started and warmed by one page each.
    const auto startBegin = std::chrono::steady_clock::now();
    {
        std::vector<std::thread> warm;
        std::vector<char> ok(static_cast<std::size_t>(renderers), 0);
        for (int n = 0; n < renderers; ++n)
            warm.emplace_back(
                [&, n]
                {
                    bool rendered = false;
                    render(-1 - n, rendered);
                    ok[static_cast<std::size_t>(n)] = rendered;
                });
        for (std::thread& thread : warm)
            thread.join();
        for (const char rendered : ok)
            if (!rendered)
            {
                std::fprintf(stderr, "hx_render_bench: the renderer did not render the warm-up page\n");
                return 1;
            }
    }
    const double startSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - startBegin).count();

    std::atomic<int> next{0};
    std::atomic<int> good{0};
    const auto begin = std::chrono::steady_clock::now();
    std::vector<std::thread> workers;
    for (int n = 0; n < renderers; ++n)
        workers.emplace_back(
            [&]
            {
                for (int page = next++; page < pages; page = next++)
                {
                    bool rendered = false;
                    render(page, rendered);
                    if (rendered)
                        ++good;
                }
            });
    for (std::thread& thread : workers)
        thread.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    std::printf("renderers %d  pages %d  rendered %d  %.2f s  %.2f pages/s  (start-up %.2f s)\n", renderers, pages,
                good.load(), seconds, pages / seconds, startSeconds);
    return good == pages ? 0 : 1;
}
