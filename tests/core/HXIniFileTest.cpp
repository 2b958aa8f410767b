#include "core/HXIniFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "core/HXFiles.h"
#include "support/HXSandbox.h"

namespace hx
{
namespace
{

using namespace std::string_literals;
using TNames = std::vector<std::string>;

// A document parsed from bytes, without any file behind it.
TIniFile Parsed(std::string_view bytes)
{
    TIniFile ini("");
    ini.FromFileText(bytes);
    return ini;
}

TEST(HXIniFile, WritesInFirstSetOrderWithCodePageAndCrLf)
{
    TIniFile ini("");
    ini.WriteString("Task", "Name", "Caf\xC3\xA9 \xE2\x98\x83");
    ini.WriteInteger("Task", "Depth", -3);
    ini.WriteString("Profile", "Profile Name", "");
    ini.WriteBool("Task", "Zip", true);
    ini.WriteString("TASK", "name", "second"); // updates in place, keeps the first spelling
    ini.WriteBool("Profile", "Aggressive Parser", false);

    EXPECT_EQ(ini.ToFileText(), "[Task]\r\nName=second\r\nDepth=-3\r\nZip=1\r\n\r\n"
                                "[Profile]\r\nProfile Name=\r\nAggressive Parser=0\r\n\r\n");
    ini.WriteString("Task", "Name", "Caf\xC3\xA9 \xE2\x98\x83");
    const std::string head = "[Task]\r\nName=Caf\xE9 &#9731;\r\n";
    EXPECT_EQ(ini.ToFileText().substr(0, head.size()), head);
    EXPECT_EQ(ini.Sections(), (TNames{"Task", "Profile"}));
    EXPECT_EQ(ini.Keys("task"), (TNames{"Name", "Depth", "Zip"}));
    EXPECT_TRUE(ini.Keys("none").empty());
}

TEST(HXIniFile, TypedReadsAndDefaults)
{
    const TIniFile ini = Parsed("[Task]\nDepth= 12 \nBad=12x\nOn=7\nOff=0\nEmpty=\nBig=99999999999\n");
    EXPECT_EQ(ini.ReadInteger("task", "DEPTH", -1), 12);
    EXPECT_EQ(ini.ReadInteger("Task", "Bad", -1), -1);
    EXPECT_EQ(ini.ReadInteger("Task", "Big", -1), -1);
    EXPECT_EQ(ini.ReadInteger("Task", "Missing", 5), 5);
    EXPECT_EQ(ini.ReadInteger("Other", "Depth", 5), 5);
    EXPECT_TRUE(ini.ReadBool("Task", "On", false));
    EXPECT_FALSE(ini.ReadBool("Task", "Off", true));
    EXPECT_TRUE(ini.ReadBool("Task", "Bad", true));
    EXPECT_FALSE(ini.ReadBool("Task", "Empty", false));
    EXPECT_EQ(ini.ReadString("Task", "Empty", "default"), "");
    EXPECT_EQ(ini.ReadString("Task", "Missing", "default"), "default");
    EXPECT_TRUE(ini.ValueExists("TASK", "empty"));
    EXPECT_FALSE(ini.ValueExists("Task", "Missing"));
}

TEST(HXIniFile, ReadingIsTolerant)
{
    const std::string bytes = "\xEF\xBB\xBF; comment\r\n"
                              "orphan=before any section\n"
                              "\n"
                              "  [ Task ]  \r\n"
                              "  Name  =  two  blanks kept \r\n"
                              "URL=http://h/?a=b&c=d\r\r\n"
                              "Title=caf\xC3\xA9 &#9731; \xE9\n"
                              "no equals sign\n"
                              "Name=duplicate ignored\n"
                              "[broken\n"
                              "Lost=1\n"
                              "[task]\n"
                              "Depth=4";
    const TIniFile ini = Parsed(bytes);
    EXPECT_EQ(ini.Sections(), TNames{"Task"});
    EXPECT_EQ(ini.Keys("Task"), (TNames{"Name", "URL", "Title", "Depth"}));
    EXPECT_EQ(ini.ReadString("Task", "Name", ""), "  two  blanks kept ");
    EXPECT_EQ(ini.ReadString("Task", "URL", ""), "http://h/?a=b&c=d");
    EXPECT_EQ(ini.ReadString("Task", "Title", ""), "caf\xC3\xA9 \xE2\x98\x83 \xC3\xA9");
    EXPECT_EQ(ini.ReadInteger("Task", "Depth", 0), 4);

    // Without a byte order mark the bytes are Windows-1252.
    EXPECT_EQ(Parsed("[S]\nK=caf\xC3\xA9\n").ReadString("S", "K", ""), "caf\xC3\x83\xC2\xA9");
}

TEST(HXIniFile, HostileValuesReadBackUnchanged)
{
    const std::vector<std::string> values = {
        "line\r\nInjected=1",
        "\r\n[Evil]\r\n",
        "trailing CR\r",
        "literal &#13; and &#10; and &#38;",
        "=starts with equals; [and] more",
        "  leading and trailing  ",
        "nul\0byte and \x01 control"s,
        "pilcrow \xC2\xB6 raw \xB6 and invalid \xC3",
        std::string(1 << 20, 'L'),
    };
    TIniFile ini("");
    for (std::size_t i = 0; i < values.size(); ++i)
        ini.WriteString("S", "K" + std::to_string(i), values[i]);
    ini.WriteString("S", "key=with=equals", "v");
    ini.WriteString("S", "[not a section]", "v");
    ini.WriteString("S", ";not a comment", "v");

    const TIniFile back = Parsed(ini.ToFileText());
    EXPECT_EQ(back.Sections(), TNames{"S"});
    ASSERT_EQ(back.Keys("S"), ini.Keys("S"));
    for (std::size_t i = 0; i < values.size() - 1; ++i)
        EXPECT_EQ(back.ReadString("S", "K" + std::to_string(i), "?"),
                  i == 7 ? "pilcrow ¶ raw ¶ and invalid Ã" : values[i]);
    EXPECT_EQ(back.ReadString("S", "K8", "?"), values[8]);
    EXPECT_FALSE(back.ValueExists("S", "Injected"));
    EXPECT_EQ(back.ReadString("S", "key=with=equals", ""), "v");
}

TEST(HXIniFile, GarbageAndTruncationNeverBreakReading)
{
    std::mt19937 random(99);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string garbage;
    for (int i = 0; i < 65536; ++i)
    {
        const int b = byte(random);
        garbage.push_back(static_cast<char>(b < 20 ? "[]=\n\r;&#"[b % 9] : b));
    }
    const TIniFile fromGarbage = Parsed(garbage);
    // Whatever was read is written so that it reads back the same.
    const TIniFile again = Parsed(fromGarbage.ToFileText());
    ASSERT_EQ(again.Sections(), fromGarbage.Sections());
    for (const std::string& section : fromGarbage.Sections())
    {
        ASSERT_EQ(again.Keys(section), fromGarbage.Keys(section));
        for (const std::string& key : fromGarbage.Keys(section))
            EXPECT_EQ(again.ReadString(section, key, "?"), fromGarbage.ReadString(section, key, "!"));
    }

    TIniFile full("");
    for (int i = 0; i < 20; ++i)
        full.WriteString("Task", "Key" + std::to_string(i), "value \xE2\x98\x83 " + std::to_string(i));
    const std::string text = full.ToFileText();
    for (std::size_t cut = 0; cut <= text.size(); ++cut)
    {
        const TIniFile truncated = Parsed(text.substr(0, cut));
        for (int i = 0; i < 20; ++i)
        {
            const std::string key = "Key" + std::to_string(i);
            const std::string line = key + "=value &#9731; " + std::to_string(i) + "\r\n";
            const std::size_t start = text.find(line);
            ASSERT_NE(start, std::string::npos);
            if (start + line.size() <= cut)
            {
                ASSERT_EQ(truncated.ReadString("Task", key, ""), full.ReadString("Task", key, "")) << cut;
            }
            else if (start + key.size() >= cut)
            {
                ASSERT_FALSE(truncated.ValueExists("Task", key)) << cut;
            }
        }
    }
}

TEST(HXIniFile, RewriteSectionFixesTheKeyOrder)
{
    TIniFile ini = Parsed("[Task]\nStatus=2\nCustom=kept\nname=old\n[Profile]\nDepth=1\n");
    ini.RewriteSection("TASK", {{"Name", "new"}, {"URL", "http://h/"}, {"Status", "1"}, {"url", "http://x/"}});
    ini.RewriteSection("Extra", {{"A", "1"}});
    EXPECT_EQ(ini.Sections(), (TNames{"Task", "Profile", "Extra"}));
    EXPECT_EQ(ini.Keys("Task"), (TNames{"Name", "URL", "Status", "Custom"}));
    EXPECT_EQ(ini.ReadString("Task", "Name", ""), "new");
    EXPECT_EQ(ini.ReadString("Task", "URL", ""), "http://x/");
    EXPECT_EQ(ini.ReadString("Task", "Custom", ""), "kept");
    EXPECT_EQ(ini.ReadInteger("Profile", "Depth", 0), 1);
}

TEST(HXIniFile, EraseAndDelete)
{
    TIniFile ini("");
    ini.WriteString("A", "x", "1");
    ini.WriteString("A", "y", "2");
    ini.WriteString("B", "z", "3");
    ini.DeleteKey("a", "X");
    ini.DeleteKey("A", "missing");
    EXPECT_EQ(ini.Keys("A"), TNames{"y"});
    ini.EraseSection("b");
    EXPECT_FALSE(ini.SectionExists("B"));
    EXPECT_TRUE(ini.SectionExists("a"));
    EXPECT_EQ(ini.ToFileText(), "[A]\r\ny=2\r\n\r\n");
    ini.WriteString("B", "z", "again");
    ini.EraseSection("A");
    ini.WriteString("a", "x", "back"); // a section erased and set again goes last
    EXPECT_EQ(ini.Sections(), (TNames{"B", "a"}));
    EXPECT_EQ(ini.ReadString("A", "y", "gone"), "gone");
}

TEST(HXIniFile, UpdateFileSavesAndReportsFailures)
{
    const test::TTempFolder folder;
    const std::string path = folder.Folder() + "Tasks/Sites/My Site.hxt";
    EXPECT_TRUE(TIniFile(path).Sections().empty()); // a missing file is an empty document
    {
        TIniFile ini(path);
        ini.WriteString("Task", "URL", "http://h/\xE2\x82\xAC");
        ini.UpdateFile();
    }
    EXPECT_EQ(folder.ReadFile("Tasks/Sites/My Site.hxt"), "[Task]\r\nURL=http://h/\x80\r\n\r\n");
    EXPECT_EQ(TIniFile(path).ReadString("Task", "URL", ""), "http://h/\xE2\x82\xAC");

    const std::string blocker = folder.WriteFile("blocker", "keep");
    TIniFile belowFile(blocker + "/sub/a.hxt");
    belowFile.WriteString("S", "K", "V");
    try
    {
        belowFile.UpdateFile();
        ADD_FAILURE() << "expected EFileError";
    }
    catch (const EFileError& error)
    {
        EXPECT_STREQ(error.what(), "Unable to create directory");
    }

    std::filesystem::create_directory(folder.Path() / "folder.hxt");
    const TIniFile onFolder(folder.Folder() + "folder.hxt");
    try
    {
        onFolder.UpdateFile();
        ADD_FAILURE() << "expected EFileError";
    }
    catch (const EFileError& error)
    {
        EXPECT_EQ(std::string(error.what()), "Unable to write file: " + folder.Folder() + "folder.hxt");
    }
    EXPECT_EQ(folder.ReadFile("blocker"), "keep");
}

} // namespace
} // namespace hx
