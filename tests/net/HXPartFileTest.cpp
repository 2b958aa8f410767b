#include "net/HXPartFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "TransferFixture.h"
#include "net/HXThreadHTTP.h"

namespace hx::test
{
namespace
{

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// Files whose name marks them as part files, anywhere below the folder.
std::vector<std::string> PartFilesBelow(const std::string& folder)
{
    std::vector<std::string> found;
    std::error_code error;
    if (!fs::exists(folder, error))
        return found;
    for (const auto& entry : fs::recursive_directory_iterator(folder, error))
    {
        if (entry.path().filename().string().ends_with(".hxpart"))
            found.push_back(entry.path().string());
    }
    return found;
}

// Peak resident memory since the last reset, in KB; -1 when it cannot be read.
long PeakResidentKB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
    {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

// Lowers the peak to the present use; false when the system does not allow it.
bool ResetPeakResident()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return clear.good();
}

class TPartFileTest : public THXSandboxTest
{
protected:
    std::string Root() const { return Home().Folder() + "work/"; }
};

TEST_F(TPartFileTest, StoresCommitsAndDiscardsBesideTheTarget)
{
    const std::string target = Root() + "a/b/page.html";
    {
        TPartFile part(Root(), target);
        part.Clear();
        part.BeginBody("", 0);
        ASSERT_TRUE(part.Stored());
        part.Write("hello ");
        part.Write("world");
        EXPECT_EQ(part.Size(), 11);
        EXPECT_EQ(PartFilesBelow(Root()), (Lines{Root() + "a/b/" + PartFileName("page.html")}));
        EXPECT_FALSE(FileExists(target)); // nothing in place before the end
        ASSERT_TRUE(part.Commit());
    }
    EXPECT_EQ(ReadWholeFile(target).value_or("<missing>"), "hello world");
    EXPECT_TRUE(PartFilesBelow(Root()).empty());

    // Dropped (or destroyed unfinished): the target keeps what it had.
    {
        TPartFile part(Root(), target);
        part.BeginBody("", 0);
        part.Write("replacement");
        part.Discard();
        EXPECT_FALSE(part.Commit());
    }
    {
        TPartFile part(Root(), target);
        part.BeginBody("", 0);
        part.Write("replacement");
    }
    EXPECT_EQ(ReadWholeFile(target).value_or("<missing>"), "hello world");
    EXPECT_TRUE(PartFilesBelow(Root()).empty());

    // A resumed body starts as the target; bytes land from the offset on, and a
    // gap past the end is filled with zero bytes.
    {
        TPartFile part(Root(), target);
        part.BeginBody(target, 6);
        EXPECT_EQ(part.Size(), 11);
        part.Write("WORLD!");
        EXPECT_EQ(part.Size(), 12);
        ASSERT_TRUE(part.Commit());
    }
    EXPECT_EQ(ReadWholeFile(target).value_or(""), "hello WORLD!");
    {
        TPartFile part(Root(), target);
        part.BeginBody(target, 14);
        part.Write("xy");
        ASSERT_TRUE(part.Commit());
    }
    EXPECT_EQ(ReadWholeFile(target).value_or(""), std::string("hello WORLD!\0\0xy", 16));

    // Clear forgets the body of an earlier exchange.
    {
        TPartFile part(Root(), target);
        part.BeginBody("", 0);
        part.Write("first answer");
        part.Clear();
        EXPECT_EQ(part.Size(), 0);
        part.BeginBody("", 0);
        part.Write("second");
        ASSERT_TRUE(part.Commit());
    }
    EXPECT_EQ(ReadWholeFile(target).value_or(""), "second");
}

TEST_F(TPartFileTest, BodiesNotKeptAreOnlyCounted)
{
    const std::string target = Root() + "c/kept.bin";
    ASSERT_TRUE(WriteFileAtomic(target, "0123456789"));
    TPartFile part(Root(), target, [] { return false; });
    part.BeginBody(target, 4);
    EXPECT_FALSE(part.Stored());
    EXPECT_EQ(part.Size(), 10);
    EXPECT_EQ(part.Position(), 4);
    part.Write("abcdefghij");
    EXPECT_EQ(part.Size(), 14);
    EXPECT_FALSE(part.Commit());
    EXPECT_EQ(ReadWholeFile(target).value_or(""), "0123456789");
    EXPECT_TRUE(PartFilesBelow(Root()).empty());

    // A body that began without a folder does not create one.
    TPartFile other(Root(), Root() + "never/made.bin", [] { return false; });
    other.BeginBody("", 0);
    other.Write("x");
    EXPECT_FALSE(DirectoryExists(Root() + "never"));
}

TEST_F(TPartFileTest, NothingIsWrittenOutsideTheWorkingFolder)
{
    const std::string outside = Home().Folder() + "outside/";
    ForceDirectories(outside);
    ASSERT_TRUE(WriteFileAtomic(outside + "page.html", "precious"));
    ForceDirectories(Root());

    // Targets that do not lie below the root.
    for (const std::string& target :
         {outside + "page.html", Root() + "../outside/page.html", Root(), Home().Folder() + "workshop/page.html"})
    {
        TPartFile part(Root(), target);
        part.BeginBody("", 0);
        EXPECT_FALSE(part.Stored()) << target;
        part.Write("evil");
        EXPECT_FALSE(part.Commit()) << target;
    }

    // A folder link planted inside the working folder is not followed.
    ASSERT_EQ(::symlink(outside.c_str(), (Root() + "link").c_str()), 0);
    {
        TPartFile part(Root(), Root() + "link/page.html");
        part.BeginBody(Root() + "link/page.html", 3);
        EXPECT_FALSE(part.Stored());
        EXPECT_EQ(part.Size(), 0); // the file behind the link is not read either
        EXPECT_FALSE(part.Commit());
    }
    // A file link in the target's place is replaced, not written through; a
    // resumed body does not start from what it points at.
    ASSERT_EQ(::symlink((outside + "page.html").c_str(), (Root() + "page.html").c_str()), 0);
    // Nor is a link planted under the part file's name.
    ASSERT_EQ(::symlink((outside + "page.html").c_str(), (Root() + PartFileName("page.html")).c_str()), 0);
    {
        TPartFile part(Root(), Root() + "page.html");
        part.BeginBody(Root() + "page.html", 2);
        ASSERT_TRUE(part.Stored());
        EXPECT_EQ(part.Size(), 0);
        part.Seek(0);
        part.Write("mine");
        ASSERT_TRUE(part.Commit());
    }
    EXPECT_EQ(ReadWholeFile(outside + "page.html").value_or(""), "precious");
    EXPECT_FALSE(fs::is_symlink(Root() + "page.html"));
    EXPECT_EQ(ReadWholeFile(Root() + "page.html").value_or(""), "mine");
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
}

// ---- Whole transfers writing through part files ----

class TTransferFilesTest : public TTransferTest
{
};

TEST_F(TTransferFilesTest, EveryRedirectCodeIsFollowedUpToTenHops)
{
    THXTestServer server(
        [](const TRecordedRequest& request)
        {
            const std::string& target = request.Target;
            for (const int code : {301, 302, 303, 307, 308})
            {
                if (target == "/r" + std::to_string(code))
                    return TReply::Redirect(code, "/landed" + std::to_string(code) + ".html");
            }
            if (target.rfind("/landed", 0) == 0)
                return ResourceReply(request, "landed on " + target);
            // /chain/N.html redirects to /chain/N-1.html; /chain/0.html is the page.
            if (target.rfind("/chain/", 0) == 0)
            {
                const int n = std::stoi(target.substr(7));
                if (n == 0)
                    return ResourceReply(request, "end of chain");
                return TReply::Redirect(n % 2 == 0 ? 301 : 307, "/chain/" + std::to_string(n - 1) + ".html");
            }
            return TReply::Text(404, "");
        });
    for (const int code : {301, 302, 303, 307, 308})
    {
        const std::string url = server.URL("/r" + std::to_string(code));
        THXQItem* item = AddItem(url);
        ASSERT_TRUE(FetchToEnd(*item));
        EXPECT_EQ(item->State, kStateSaved) << code;
        EXPECT_EQ(item->StatusText, "200 OK") << code;
        EXPECT_EQ(ReadWholeFile(LocalPath(url)).value_or(""), "landed on /landed" + std::to_string(code) + ".html");
    }
    EXPECT_EQ(server.RequestCount(), 5u * 3u);

    // Ten redirects are followed; the eleventh ends the transfer.
    const std::size_t before = server.RequestCount();
    THXQItem* ten = AddItem(server.URL("/chain/10.html"));
    ASSERT_TRUE(FetchToEnd(*ten));
    EXPECT_EQ(ten->State, kStateSaved);
    EXPECT_EQ(ReadWholeFile(LocalPath(server.URL("/chain/10.html"))).value_or(""), "end of chain");
    EXPECT_EQ(server.RequestCount() - before, 11u + 1u);

    THXQItem* eleven = AddItem(server.URL("/chain/11.html"));
    Slot().Fetch(*eleven);
    ASSERT_TRUE(RunToEnd(Slot()));
    EXPECT_EQ(Slot().Connection().State(), TqkHTTPState::hsError);
    Reap(Slot());
    EXPECT_EQ(eleven->State, kStateError);
    EXPECT_EQ(eleven->StatusText, "Too many redirects (307 Temporary Redirect)");
    EXPECT_EQ(server.RequestCount() - before, 12u + 11u);
    EXPECT_EQ(RequestLines(server).back(), "HEAD /chain/1.html");

    // An answer without a status line is asked again, but not forever.
    THXTestServer mute([](const TRecordedRequest&) { return TReply::Raw("\r\n"); });
    THXQItem* silent = AddItem(mute.URL("/x.html"));
    Slot().Fetch(*silent);
    ASSERT_TRUE(RunToEnd(Slot()));
    EXPECT_EQ(Slot().Connection().Status(), "Too many attempts");
    Reap(Slot());
    EXPECT_EQ(mute.RequestCount(), 11u * 2u); // each attempt is a HEAD and a GET
    EXPECT_EQ(silent->StatusText, "Too many attempts");
    EXPECT_TRUE(PartFilesBelow(task->WorkingFolder()).empty());
}

TEST_F(TTransferFilesTest, OutcomesOnDiskLeaveNoPartFilesBehind)
{
    std::atomic<bool> breakOff{true};
    const std::string body(30000, 'q');
    THXTestServer server(
        [&](const TRecordedRequest& request)
        {
            if (request.Target == "/error.html")
                return request.Method == "HEAD" ? TReply::Raw(ResponseHead(500, {}))
                                                : TReply().Send(ResponseHead(500, {}) + "oops").Pause(300ms).Reset();
            if (request.Method == "GET" && breakOff)
            {
                TReply reply;
                reply.Send(ResponseHead(200, {{"Content-Length", "30000"}}) + body.substr(0, 700)).Pause(300ms).Reset();
                return reply;
            }
            return ResourceReply(request, body);
        });
    // Broken off: the bytes are in place for resuming, the part file is gone.
    const std::string url = server.URL("/d/file.bin");
    ASSERT_TRUE(WriteFileAtomic(LocalPath(url), "earlier contents, longer than what arrives"));
    THXQItem* item = AddItem(url);
    ASSERT_TRUE(FetchToEnd(*item));
    EXPECT_EQ(item->StatusText, "Incomplete (700 bytes)");
    EXPECT_EQ(ReadWholeFile(LocalPath(url)).value_or(""), body.substr(0, 700));
    EXPECT_TRUE(PartFilesBelow(task->WorkingFolder()).empty());

    // A broken non-2xx answer counts its bytes but writes nothing.
    THXQItem* error = AddItem(server.URL("/error.html"));
    ASSERT_TRUE(FetchToEnd(*error));
    EXPECT_EQ(error->StatusText, "Incomplete (4 bytes)");
    EXPECT_FALSE(FileExists(LocalPath(server.URL("/error.html"))));

    breakOff = false;
    ASSERT_TRUE(FetchToEnd(*item));
    EXPECT_EQ(item->State, kStateSaved);
    EXPECT_EQ(ReadWholeFile(LocalPath(url)).value_or(""), body);
    EXPECT_TRUE(PartFilesBelow(task->WorkingFolder()).empty());
}

TEST_F(TTransferFilesTest, LinksPlantedInTheWorkingFolderAreNotFollowed)
{
    THXTestServer server([](const TRecordedRequest& request) { return ResourceReply(request, "fetched"); });
    const std::string outside = Home().Folder() + "outside/";
    ForceDirectories(outside);
    ASSERT_TRUE(WriteFileAtomic(outside + "keep.txt", "precious"));

    // A folder of the site replaced by a link to a folder outside.
    const std::string url = server.URL("/sub/page.html");
    const std::string path = LocalPath(url);
    const std::string folder = ExtractFilePath(path);
    ForceDirectories(ExtractFilePath(folder.substr(0, folder.size() - 1)));
    ASSERT_EQ(::symlink(outside.c_str(), folder.substr(0, folder.size() - 1).c_str()), 0);
    THXQItem* item = AddItem(url);
    ASSERT_TRUE(FetchToEnd(*item));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Error: Failed to create file: " + path);
    EXPECT_NE(item->State, kStateSaved);

    // A page replaced by a link to a file outside: the link is replaced.
    const std::string pageURL = server.URL("/keep.txt");
    ASSERT_EQ(::symlink((outside + "keep.txt").c_str(), LocalPath(pageURL).c_str()), 0);
    THXQItem* page = AddItem(pageURL);
    ASSERT_TRUE(FetchToEnd(*page));
    EXPECT_EQ(page->State, kStateSaved);
    EXPECT_FALSE(fs::is_symlink(LocalPath(pageURL)));
    EXPECT_EQ(ReadWholeFile(LocalPath(pageURL)).value_or(""), "fetched");

    EXPECT_EQ(ReadWholeFile(outside + "keep.txt").value_or(""), "precious");
    EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);
}

TEST_F(TTransferFilesTest, LargeBodyIsStreamedToDiskWithFlatMemory)
{
    constexpr std::int64_t kPieces = 1024;
    const std::string piece(64 * 1024, 'z');
    const std::int64_t total = kPieces * static_cast<std::int64_t>(piece.size()); // 64 MB
    const std::string head = ResponseHead(200, {{"Content-Length", std::to_string(total)}});
    THXTestServer server(HeadAndGet("/big.bin", TReply::Raw(head), TReply().Send(head).Repeat(piece, kPieces)));
    if (!ResetPeakResident())
        GTEST_SKIP() << "the peak memory of this process cannot be reset here";
    const long before = PeakResidentKB();
    ASSERT_GT(before, 0);

    THXQItem* item = AddItem(server.URL("/big.bin"));
    ASSERT_TRUE(FetchToEnd(*item));
    const long grown = PeakResidentKB() - before;
    EXPECT_EQ(item->State, kStateSaved);
    EXPECT_EQ(item->Size, total);
    EXPECT_EQ(static_cast<std::int64_t>(fs::file_size(LocalPath(server.URL("/big.bin")))), total);
    // The body is 64 MB; holding it would grow the peak by at least as much.
    EXPECT_LT(grown, 16 * 1024) << "peak grew by " << grown << " KB";
}

} // namespace
} // namespace hx::test
