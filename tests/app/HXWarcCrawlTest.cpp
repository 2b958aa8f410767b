// "harbex-cli copy --warc": a copy of a site on 127.0.0.1 kept in a WARC file,
// read back by webrecorder's warcio (the reader replay tools use) with the
// checks of tests/warc/check_warc.mjs, then a Smart Update whose 304 answers
// become revisit records appended to the same file.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include <sys/wait.h>

#include <zlib.h>

#include "app/HXCliProgram.h"
#include "core/HXFiles.h"
#include "support/HXTestServer.h"

namespace hx::test
{
namespace
{

namespace fs = std::filesystem;

constexpr const char* kLastModified = "Sat, 01 Jun 2024 12:00:00 GMT";

std::string Gzip(const std::string& text)
{
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, text.size()) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// Runs the command line; its exit status and what it printed.
int RunCommand(const std::string& command, std::string& output)
{
    output.clear();
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return -1;
    char buffer[4096];
    while (const std::size_t got = std::fread(buffer, 1, sizeof(buffer), pipe))
        output.append(buffer, got);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class HXWarcCrawlTest : public THXCliTest
{
};

TEST_F(HXWarcCrawlTest, ACopyKeptInAWarcFileReadsBackWithWarcioAndAnUpdateAddsRevisits)
{
    const std::string node = HX_NODE_PROGRAM;
    if (node.empty() || !fs::exists(node))
        GTEST_SKIP() << "node is not installed (scripts/setup.sh installs nodejs): the WARC file cannot be read "
                        "back with warcio";
    ASSERT_TRUE(fs::exists(HX_WARC_CHECK_DIR "/node_modules/warcio/package.json"))
        << "warcio is missing: run scripts/setup.sh (npm ci in tests/warc)";

    // The site as served: a page sent in chunks, a style sheet sent gzip-compressed
    // to a client that asks for it, an image with bytes that look like line ends.
    std::map<std::string, std::string> files = {
        {"index.html", "<html><head><title>W</title><link rel=\"stylesheet\" href=\"z.css\"></head><body>"
                       "<a href=\"a.html\">A</a> <a href=\"chunked.html\">C</a><img src=\"p.gif\"></body></html>"},
        {"a.html", "<html><body><a href=\"./\">home</a></body></html>"},
        {"chunked.html", "<html><body>first piece, second piece <a href=\"a.html\">A</a></body></html>"},
        {"z.css", "body { color: #123456; background: #fefefe; }\nh1 { color: #123456; }\n"},
        {"p.gif", std::string("GIF89a\r\n\0\x01\x02\r\n\n\xff", 16)},
    };
    const std::string siteFolder = HomeFolder() + "/site";
    fs::create_directories(siteFolder);
    for (const auto& [name, bytes] : files)
        ASSERT_TRUE(WriteFileAtomic(siteFolder + "/" + name, bytes));

    THXTestServer server(
        [&files](const TRecordedRequest& request) -> TReply
        {
            const std::string name = request.Target == "/" ? "index.html" : request.Target.substr(1);
            const auto found = files.find(name);
            if (found == files.end())
                return TReply::Text(404, "missing");
            const std::string& body = found->second;
            const std::string type = name.ends_with(".css")   ? "text/css"
                                     : name.ends_with(".gif") ? "image/gif"
                                                              : "text/html";
            if (request.Header("If-Modified-Since") == kLastModified)
                return TReply::NotModified();
            const THeaderFields fields = {{"Content-Type", type}, {"Last-Modified", kLastModified}};
            if (request.Method == "HEAD")
                return TReply::Raw(ResponseHead(200, fields));
            if (name == "chunked.html")
                return TReply::Chunked(200, {body.substr(0, 20), body.substr(20, 17), body.substr(37)}, fields);
            if (name == "z.css" && request.Header("Accept-Encoding").find("gzip") != std::string::npos)
            {
                THeaderFields gzipFields = fields;
                gzipFields.emplace_back("Content-Encoding", "gzip");
                return TReply::Text(200, Gzip(body), gzipFields);
            }
            return TReply::Text(200, body, fields);
        });

    const std::string copy = HomeFolder() + "/copy";
    const std::string warc = HomeFolder() + "/archive/site.warc.gz";
    std::string output;
    ASSERT_EQ(RunProgram({"copy", server.URL("/"), "--folder", copy, "--name", "Warc", "--warc", warc}, output), 0)
        << output;
    ASSERT_TRUE(fs::is_regular_file(warc)) << output;
    const std::string index = HomeFolder() + "/archive/site.cdxj";
    ASSERT_TRUE(fs::is_regular_file(index));
    // The task keeps its archive file for the next runs.
    EXPECT_NE(ReadWholeFile(HomeFolder() + "/Tasks/General/Warc.hxt").value_or("").find("WARC File=" + warc),
              std::string::npos);

    const std::string check = node + " " + Quoted(HX_WARC_CHECK_DIR "/check_warc.mjs") + " --site " +
                              Quoted(siteFolder) + " --copy " + Quoted(copy + "/127.0.0.1") + " --index " +
                              Quoted(index) + " ";
    ASSERT_EQ(RunCommand(check + Quoted(warc), output), 0) << output;
    // Every file of the site came in an answer equal to it; the three that are not
    // rewritten pages equal the saved files too.
    EXPECT_NE(output.find("5 bodies equal the site's files, 2 the saved files"), std::string::npos) << output;
    EXPECT_NE(output.find("1 warcinfo"), std::string::npos) << output;
    EXPECT_NE(output.find(" 0 revisit"), std::string::npos) << output;
    const auto sizeAfterCopy = fs::file_size(warc);

    // A Smart Update asks with the dates it has: the 304 answers become revisits,
    // appended to the same file after a warcinfo record of their own.
    ASSERT_EQ(RunProgram({"run", "Warc", "--update"}, output), 0) << output;
    EXPECT_GT(fs::file_size(warc), sizeAfterCopy);
    EXPECT_FALSE(fs::exists(HomeFolder() + "/archive/site-1.warc.gz"));
    ASSERT_EQ(RunCommand(check + "--min-revisits 5 " + Quoted(warc), output), 0) << output;
    EXPECT_NE(output.find("2 warcinfo"), std::string::npos) << output;
}

} // namespace
} // namespace hx::test
