// Whole-site copies over https through the real pipeline, against nginx on
// 127.0.0.1 with certificates made at test time by a test authority: the https
// copy equals the http copy of the same site, refused certificates copy nothing,
// and harbex-cli --no-check-certificate copies anyway. Without nginx or openssl the
// tests skip.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

#include "app/HXCli.h"
#include "app/HXCliSession.h"
#include "core/HXApp.h"
#include "core/HXFiles.h"
#include "core/HXStrings.h"
#include "core/HXTask.h"
#include "shell/HXFirstRun.h"
#include "support/HXSandbox.h"
#include "support/HXTLSFixture.h"
#include "support/HXTestSite.h"

namespace hx::test
{
namespace
{

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Every file of a copy below `root` by its path relative to it, the run's reports
// ("!" names, which hold times) left out. The server's own address in the bytes is
// written as `origin` so copies from two addresses can be compared.
std::map<std::string, std::string> CopyFiles(const fs::path& root, const std::string& address,
                                             const std::string& origin)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
    {
        if (!entry.is_regular_file() || entry.path().filename().string().starts_with("!"))
            continue;
        std::string bytes = ReadWholeFile(entry.path().string()).value_or("<unreadable>");
        bytes = ReplaceText(bytes, address, origin, true);
        files[fs::relative(entry.path(), root).string()] = std::move(bytes);
    }
    return files;
}

// What became of each item: its URL (with the server's address written as
// `origin`), state, group and local file relative to the copy's root.
std::map<std::string, std::string> ItemOutcomes(THXTask& task, const std::string& root, const std::string& address,
                                                const std::string& origin)
{
    std::map<std::string, std::string> outcomes;
    for (int pair = 0; pair < task.ItemCount(); ++pair)
    {
        THXQItem* item = task.Item(pair);
        task.ReloadItem(*item);
        const std::string local =
            item->LocalFile.starts_with(root) ? item->LocalFile.substr(root.size()) : item->LocalFile;
        outcomes[ReplaceText(item->URL, address, origin, true)] =
            std::to_string(item->State) + " " + item->Group + " " + local + " " + item->StatusText;
    }
    return outcomes;
}

class HXSecureCrawlTest : public THXSandboxTest
{
protected:
    static void SetUpTestSuite() { s_certificates = std::make_unique<THXTestCertificates>(); }
    static void TearDownTestSuite() { s_certificates.reset(); }

    void SetUp() override
    {
        THXSandboxTest::SetUp();
        if (!s_certificates->Ready())
            GTEST_SKIP() << s_certificates->Error();
        setenv("HARBEX_DATA_DIR", HX_SOURCE_DATA_DIR, 1);
        m_app = std::make_unique<THXApp>(THXEnvironment::FromProcess());
        FirstRunSetup(*m_app);
        m_app->SetCAFile(s_certificates->CAFile());
    }
    void TearDown() override
    {
        m_app.reset();
        THXSandboxTest::TearDown();
    }

    const THXTestCertificates& Certificates() const { return *s_certificates; }

    std::shared_ptr<THXTask> NewTask(const std::string& url, const std::string& folder)
    {
        std::vector<std::string> arguments = {"--folder", folder};
        cli::TCliArgs args(arguments, {"--folder"}, {});
        auto task = cli::NewTaskFromURL(*m_app, args, url);
        task->Save();
        return task;
    }

    cli::TRunResult Run(const std::shared_ptr<THXTask>& task)
    {
        cli::TSessionOptions options;
        options.Progress = cli::TProgressStyle::Quiet;
        cli::THXCliSession session(*m_app, m_out, m_err, options);
        task->RunMode = kRunRestart;
        return session.RunTask(task, 120000ms);
    }

    int Copy(std::vector<std::string> arguments) { return cli::CommandCopy(*m_app, arguments, m_out, m_err); }

    std::unique_ptr<THXApp> m_app;
    std::ostringstream m_out;
    std::ostringstream m_err;

    static std::unique_ptr<THXTestCertificates> s_certificates;
};

std::unique_ptr<THXTestCertificates> HXSecureCrawlTest::s_certificates;

TEST_F(HXSecureCrawlTest, HttpsCopyEqualsHttpCopy)
{
    TTempFolder siteFolder;
    const TTestSite site = GenerateTestSite(siteFolder.Path() / "site");
    THXSecureNginx nginx(site.Folder.string(), {Certificates().Good()}, NginxExtraForSite(site));
    if (!nginx.Started())
        GTEST_SKIP() << nginx.Error();

    const std::string plainAddress = nginx.URL("");
    const std::string secureAddress = nginx.SecureURL(0, "");
    const std::string plainRoot = Home().Folder() + "plain/";
    const std::string secureRoot = Home().Folder() + "secure/";
    auto plain = NewTask(nginx.URL("/" + site.StartPage), plainRoot);
    auto secure = NewTask(nginx.SecureURL(0, "/" + site.StartPage), secureRoot);
    // Read each task's items before the next run: a run takes the queue of the one before.
    ASSERT_TRUE(Run(plain).Completed) << m_err.str();
    const auto plainItems = ItemOutcomes(*plain, plainRoot, plainAddress, "ORIGIN");
    const int plainCount = plain->ItemCount();
    ASSERT_TRUE(Run(secure).Completed) << m_err.str();
    const auto secureItems = ItemOutcomes(*secure, secureRoot, secureAddress, "ORIGIN");

    // A real copy: every page of the site is there.
    EXPECT_GE(plain->PagesSaved, static_cast<int>(site.Pages.size()));
    EXPECT_TRUE(CheckLocalLinks(secureRoot).empty());

    // Files byte for byte (the server's address written the same way in both).
    const auto plainFiles = CopyFiles(plainRoot, plainAddress, "ORIGIN");
    const auto secureFiles = CopyFiles(secureRoot, secureAddress, "ORIGIN");
    EXPECT_GE(plainFiles.size(), site.Paths.size());
    EXPECT_EQ(plainFiles.size(), secureFiles.size());
    for (const auto& [path, bytes] : plainFiles)
    {
        const auto found = secureFiles.find(path);
        ASSERT_NE(found, secureFiles.end()) << path << " is missing from the https copy";
        EXPECT_TRUE(found->second == bytes) << path << " differs";
    }

    // Item states, groups and local files; the counters.
    EXPECT_GE(plainCount, static_cast<int>(site.Paths.size()));
    EXPECT_EQ(plainItems, secureItems);
    EXPECT_EQ(plain->PagesSaved, secure->PagesSaved);
    EXPECT_EQ(plain->ResourcesSaved, secure->ResourcesSaved);
    EXPECT_EQ(plain->PageErrors, secure->PageErrors);
    EXPECT_EQ(plain->ResourceErrors, secure->ResourceErrors);
    EXPECT_EQ(plain->TotalBytes, secure->TotalBytes);
    EXPECT_EQ(plainCount, secure->ItemCount());
}

TEST_F(HXSecureCrawlTest, RefusedCertificatesCopyNothingUnlessNotChecked)
{
    TTempFolder siteFolder;
    const fs::path root = siteFolder.Path() / "site";
    ASSERT_TRUE(WriteFileAtomic((root / "index.html").string(),
                                "<html><body><a href=\"a.html\">a</a><img src=\"p.gif\"></body></html>"));
    ASSERT_TRUE(WriteFileAtomic((root / "a.html").string(), "<html><body>a</body></html>"));
    ASSERT_TRUE(WriteFileAtomic((root / "p.gif").string(), "GIF89a-not-really"));
    THXSecureNginx nginx(root.string(),
                         {Certificates().WrongHost(), Certificates().Expired(), Certificates().Untrusted()});
    if (!nginx.Started())
        GTEST_SKIP() << nginx.Error();

    for (std::size_t server = 0; server < 3; ++server)
    {
        const std::string folder = Home().Folder() + "refused" + std::to_string(server) + "/";
        const std::string url = nginx.SecureURL(server, "/index.html");
        EXPECT_EQ(Copy({url, "--folder", folder}), cli::kExitFailed) << url;
        bool saved = false;
        if (fs::exists(folder + "127.0.0.1"))
            for (const auto& entry : fs::recursive_directory_iterator(folder + "127.0.0.1"))
                saved = saved || entry.is_regular_file();
        EXPECT_FALSE(saved) << url;

        const std::string anyway = Home().Folder() + "anyway" + std::to_string(server) + "/";
        EXPECT_EQ(Copy({url, "--folder", anyway, "--no-check-certificate"}), cli::kExitOk) << m_err.str();
        // Pages are saved rewritten, files as served.
        EXPECT_TRUE(fs::is_regular_file(anyway + "127.0.0.1/index.html"));
        EXPECT_TRUE(fs::is_regular_file(anyway + "127.0.0.1/a.html"));
        EXPECT_EQ(ReadWholeFile(anyway + "127.0.0.1/p.gif"), ReadWholeFile((root / "p.gif").string()));
        // The flag is for that run only: the stored setting still checks.
        m_app = std::make_unique<THXApp>(THXEnvironment::FromProcess());
        EXPECT_TRUE(m_app->CheckCertificates());
    }
}

} // namespace
} // namespace hx::test
