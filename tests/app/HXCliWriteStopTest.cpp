// A copy whose destination may not be written stops with one message instead of
// failing file after file, and can be resumed once the folder is writable.

#include <gtest/gtest.h>

#include <string>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/HXCliProgram.h"
#include "core/HXFiles.h"
#include "support/HXTestServer.h"

namespace hx::test
{
namespace
{

class HXCliWriteStopTest : public THXCliTest
{
protected:
    void TearDown() override
    {
        if (!m_mounted.empty())
            ::umount2(m_mounted.c_str(), MNT_DETACH);
        THXCliTest::TearDown();
    }

    // Read-only by its permission bits, and for root (whom they do not stop) bound
    // read-only onto itself; false when neither can be done here.
    bool MakeReadOnly(const std::string& folder)
    {
        ForceDirectories(folder);
        ::chmod(folder.c_str(), 0555);
        if (::access(folder.c_str(), W_OK) != 0)
            return true;
        if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0)
            return false;
        m_mounted = folder;
        return ::mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

    void MakeWritable(const std::string& folder)
    {
        if (!m_mounted.empty())
            ::umount2(m_mounted.c_str(), MNT_DETACH);
        m_mounted.clear();
        ::chmod(folder.c_str(), 0755);
    }

    std::string m_mounted;
};

TEST_F(HXCliWriteStopTest, ReadOnlyDestinationStopsTheRunWithAMessage)
{
    THXTestServer server(Routes({
        {"/", TReply::Text(200, "<html><body><a href=\"a.html\">a</a></body></html>", {{"Content-Type", "text/html"}})},
        {"/a.html", TReply::Text(200, "<html><body>a</body></html>", {{"Content-Type", "text/html"}})},
    }));
    const std::string folder = HomeFolder() + "/locked/";
    if (!MakeReadOnly(folder))
        GTEST_SKIP() << "no read-only folder can be made here (root without mount permission)";
    std::string output;
    EXPECT_EQ(RunProgram({"copy", server.URL("/"), "--folder", folder, "--name", "Locked"}, output), 1) << output;
    EXPECT_NE(output.find("Stopped: Unable to write " + folder), std::string::npos) << output;
    EXPECT_TRUE(output.find("(Read-only file system)") != std::string::npos ||
                output.find("(Permission denied)") != std::string::npos)
        << output;
    EXPECT_NE(ReadText(HomeFolder() + "/Tasks/General/Locked.hxt").find("Status=3"), std::string::npos);

    MakeWritable(folder);
    EXPECT_EQ(RunProgram({"run", "Locked", "--resume"}, output), 0) << output;
    EXPECT_TRUE(FileExists(folder + "127.0.0.1/a.html")) << output;
}

} // namespace
} // namespace hx::test
