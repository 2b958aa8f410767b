#include "core/HXSettingsStore.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include "support/HXSandbox.h"

namespace hx
{
namespace
{

using namespace std::string_literals;

const std::string kSettings = "\\Software\\Tavrolin\\Harbex\\Settings";
const std::string kSection = "[HKEY_CURRENT_USER\\Software\\Tavrolin\\Harbex\\Settings]";

std::string SettingsFile(const test::TTempFolder& folder)
{
    return (folder.Path() / "Harbex.reg").string();
}

ino_t InodeOf(const std::string& path)
{
    struct stat status = {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0);
    return status.st_ino;
}

TEST(HXSettingsStore, EveryTypeRoundTripsThroughTheFile)
{
    test::TTempFolder folder;
    {
        THXSettingsStore store(SettingsFile(folder));
        EXPECT_TRUE(store.WriteString(kSettings, "Skin", "Default"));
        EXPECT_TRUE(store.WriteInteger(kSettings, "Connections", 10));
        EXPECT_TRUE(store.WriteInteger(kSettings, "Minus One", -1));
        EXPECT_TRUE(store.WriteInteger(kSettings, "Lowest", INT32_MIN));
        EXPECT_TRUE(store.WriteInteger(kSettings, "Highest", INT32_MAX));
        EXPECT_TRUE(store.WriteBool(kSettings, "Use Proxy", true));
        EXPECT_TRUE(store.WriteBool(kSettings, "No Ads", false));
        EXPECT_TRUE(store.WriteString(kSettings, "Empty", ""));
        EXPECT_TRUE(store.WriteString("Software\\Tavrolin\\Harbex", "Version", "2.60"));
        EXPECT_TRUE(store.WriteString(kSettings, "", "the default value"));
    }
    const std::string text = folder.ReadFile("Harbex.reg");
    EXPECT_EQ(text.rfind("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n", 0), 0u) << text;
    EXPECT_NE(text.find(kSection + "\n\"Skin\"=\"Default\"\n\"Connections\"=dword:0000000a\n"
                                   "\"Minus One\"=dword:ffffffff\n\"Lowest\"=dword:80000000\n"
                                   "\"Highest\"=dword:7fffffff\n\"Use Proxy\"=dword:00000001\n"
                                   "\"No Ads\"=dword:00000000\n\"Empty\"=\"\"\n@=\"the default value\"\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find('\r'), std::string::npos);

    THXSettingsStore reread(SettingsFile(folder));
    EXPECT_EQ(reread.ReadString(kSettings, "Skin", "x"), "Default");
    EXPECT_EQ(reread.ReadInteger(kSettings, "Connections", 0), 10);
    EXPECT_EQ(reread.ReadInteger(kSettings, "Minus One", 0), -1);
    EXPECT_EQ(reread.ReadInteger(kSettings, "Lowest", 0), INT32_MIN);
    EXPECT_EQ(reread.ReadInteger(kSettings, "Highest", 0), INT32_MAX);
    EXPECT_TRUE(reread.ReadBool(kSettings, "Use Proxy", false));
    EXPECT_FALSE(reread.ReadBool(kSettings, "No Ads", true));
    EXPECT_EQ(reread.ReadString(kSettings, "Empty", "x"), "");
    EXPECT_EQ(reread.ReadString("\\Software\\Tavrolin\\Harbex", "Version", ""), "2.60");
    EXPECT_EQ(reread.ReadString(kSettings, "", ""), "the default value");
    EXPECT_TRUE(reread.TakeProblems().empty());
    // What the store writes is what the file holds.
    EXPECT_EQ(reread.ExportText(), text);
}

TEST(HXSettingsStore, AbsentValuesGiveTheDefaultAndWrongTypesAreNotConverted)
{
    THXSettingsStore store;
    EXPECT_EQ(store.ReadString(kSettings, "Skin", "Default"), "Default");
    EXPECT_EQ(store.ReadInteger(kSettings, "Connections", 10), 10);
    EXPECT_TRUE(store.ReadBool(kSettings, "Beep On Completion", true));
    EXPECT_TRUE(store.TakeProblems().empty());

    store.WriteString(kSettings, "Priority", "7");
    store.WriteInteger(kSettings, "Skin", 3);
    EXPECT_EQ(store.ReadInteger(kSettings, "Priority", 5), 5);
    EXPECT_EQ(store.ReadInteger(kSettings, "Priority", 5), 5);
    EXPECT_FALSE(store.ReadBool(kSettings, "Priority", false));
    EXPECT_EQ(store.ReadString(kSettings, "Skin", "Default"), "Default");
    const auto problems = store.TakeProblems();
    // One problem per value and expected type, however often it is read.
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_NE(problems[0].find("Priority"), std::string::npos);
    EXPECT_NE(problems[2].find("Skin"), std::string::npos);
    EXPECT_TRUE(store.TakeProblems().empty());
    // A write of the other type replaces the value and its type.
    store.WriteInteger(kSettings, "Priority", 7);
    EXPECT_EQ(store.ReadInteger(kSettings, "Priority", 5), 7);
}

TEST(HXSettingsStore, EscapesAndTextThatCannotStandOnOneLine)
{
    test::TTempFolder folder;
    const std::string path = "C:\\Program Files\\\"Harbex\"\\";
    const std::string nonAscii = "Gr\xC3\xB6\xC3\x9F"
                                 "e \xE6\x97\xA5\xE6\x9C\xAC \xE2\x9C\x93";
    const std::string injected = "x\n[HKEY_CURRENT_USER\\Evil]\n\"Connections\"=dword:00000001\r\nend";
    const std::string withNul = "a\0b"s;
    const std::string notUtf8 = "caf\xE9";
    {
        THXSettingsStore store(SettingsFile(folder));
        store.WriteString(kSettings, "Browser", path);
        store.WriteString(kSettings, "Quote \"in\" \\name", "v");
        store.WriteString(kSettings + "\\" + nonAscii, nonAscii, nonAscii);
        store.WriteString(kSettings, "Injected", injected);
        store.WriteString(kSettings, "Nul", withNul);
        store.WriteString(kSettings, "Latin", notUtf8);
        store.WriteInteger(kSettings, "Connections", 10);
    }
    const std::string text = folder.ReadFile("Harbex.reg");
    EXPECT_NE(text.find("\"Browser\"=\"C:\\\\Program Files\\\\\\\"Harbex\\\"\\\\\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Quote \\\"in\\\" \\\\name\"=\"v\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"" + nonAscii + "\"=\"" + nonAscii + "\""), std::string::npos) << text;
    EXPECT_EQ(text.find("Evil"), std::string::npos) << text;

    THXSettingsStore reread(SettingsFile(folder));
    EXPECT_EQ(reread.ReadString(kSettings, "Browser", ""), path);
    EXPECT_EQ(reread.ReadString(kSettings, "quote \"IN\" \\NAME", ""), "v");
    EXPECT_EQ(reread.ReadString(kSettings + "\\" + nonAscii, nonAscii, ""), nonAscii);
    EXPECT_EQ(reread.ReadString(kSettings, "Injected", ""), injected);
    EXPECT_EQ(reread.ReadString(kSettings, "Nul", ""), withNul);
    EXPECT_EQ(reread.ReadString(kSettings, "Latin", ""), notUtf8);
    EXPECT_EQ(reread.ReadInteger(kSettings, "Connections", 0), 10);
    EXPECT_FALSE(reread.KeyExists("\\Evil"));
    EXPECT_TRUE(reread.TakeProblems().empty());

    // Names that cannot be written as one line are refused, nothing else changes.
    EXPECT_FALSE(reread.WriteString(kSettings, "two\nlines", "v"));
    EXPECT_FALSE(reread.WriteInteger(kSettings + "\\bad\rkey", "n", 1));
    EXPECT_EQ(reread.ValueNames(kSettings).size(), 6u);
    EXPECT_EQ(reread.TakeProblems().size(), 2u);
}

TEST(HXSettingsStore, NamesMatchWithoutCaseAndKeepTheirFirstSpellingAndOrder)
{
    THXSettingsStore store;
    store.WriteString("Software\\Tavrolin\\Harbex\\Settings", "Skin", "Default");
    store.WriteInteger(kSettings, "Connections", 10);
    store.WriteString(kSettings, "Browser", "/usr/bin/firefox");
    store.WriteInteger("\\SOFTWARE\\tavrolin\\HARBEX\\settings\\", "CONNECTIONS", 4);
    EXPECT_EQ(store.ReadInteger(kSettings, "connections", 0), 4);
    EXPECT_EQ(store.ValueNames(kSettings), (std::vector<std::string>{"Skin", "Connections", "Browser"}));
    EXPECT_EQ(store.SubKeys("\\Software\\Tavrolin"), std::vector<std::string>{"Harbex"});
    EXPECT_NE(store.ExportText().find(kSection + "\n\"Skin\"=\"Default\"\n\"Connections\"=dword:00000004\n"),
              std::string::npos);

    // Removing a value and writing it again puts it last.
    EXPECT_TRUE(store.DeleteValue(kSettings, "SKIN"));
    EXPECT_FALSE(store.DeleteValue(kSettings, "Skin"));
    EXPECT_FALSE(store.ValueExists(kSettings, "Skin"));
    store.WriteString(kSettings, "Skin", "Blue");
    EXPECT_EQ(store.ValueNames(kSettings), (std::vector<std::string>{"Connections", "Browser", "Skin"}));
    EXPECT_EQ(store.ReadString(kSettings, "Browser", ""), "/usr/bin/firefox");
}

TEST(HXSettingsStore, KeysComeWithTheirParentsAndGoWithTheirChildren)
{
    THXSettingsStore store;
    EXPECT_FALSE(store.KeyExists("\\Software"));
    store.WriteString(kSettings + "\\FormHarbex", "Left", "0");
    store.WriteString("\\Software\\Tavrolin\\Harbex\\Recent URLs", "F0", "http://a/");
    store.WriteString(kSettings + "Old", "x", "kept"); // a sibling whose name starts like the key
    store.WriteString(kSettings, "Skin", "Default");
    EXPECT_TRUE(store.KeyExists("\\Software"));
    EXPECT_TRUE(store.KeyExists("\\software\\tavrolin\\harbex\\settings"));
    EXPECT_TRUE(store.ValueNames("\\Software\\Tavrolin").empty());
    EXPECT_EQ(store.SubKeys("\\Software\\Tavrolin\\Harbex"),
              (std::vector<std::string>{"Settings", "Recent URLs", "SettingsOld"}));
    EXPECT_EQ(store.SubKeys(kSettings), std::vector<std::string>{"FormHarbex"});
    EXPECT_TRUE(store.SubKeys(kSettings + "\\FormHarbex").empty());
    EXPECT_TRUE(store.SubKeys("\\Nowhere").empty());
    EXPECT_EQ(store.SubKeys(""), std::vector<std::string>{"Software"});

    EXPECT_TRUE(store.DeleteKey("\\SOFTWARE\\Tavrolin\\Harbex\\Settings"));
    EXPECT_FALSE(store.DeleteKey(kSettings));
    EXPECT_FALSE(store.KeyExists(kSettings + "\\FormHarbex"));
    EXPECT_FALSE(store.ValueExists(kSettings, "Skin"));
    EXPECT_EQ(store.ReadString(kSettings + "Old", "x", ""), "kept");
    EXPECT_EQ(store.SubKeys("\\Software\\Tavrolin\\Harbex"), (std::vector<std::string>{"Recent URLs", "SettingsOld"}));
    // An empty key path never wipes the store.
    EXPECT_FALSE(store.DeleteKey(""));
    EXPECT_FALSE(store.DeleteKey("\\"));
    EXPECT_TRUE(store.KeyExists("\\Software\\Tavrolin\\Harbex\\Recent URLs"));

    // A key recreated after deletion is empty.
    store.WriteString(kSettings, "Skin", "Blue");
    EXPECT_EQ(store.ValueNames(kSettings), std::vector<std::string>{"Skin"});
    EXPECT_TRUE(store.SubKeys(kSettings).empty());
}

TEST(HXSettingsStore, ImportMergesAddsAndRemoves)
{
    test::TTempFolder folder;
    THXSettingsStore store(SettingsFile(folder));
    store.WriteString(kSettings, "Skin", "Default");
    store.WriteString(kSettings, "Gone", "soon");
    store.WriteString("\\Software\\Tavrolin\\Harbex\\File Types\\Old", "Ext", "x");
    store.WriteString("\\Software\\Tavrolin\\Harbex\\File Types\\Old\\Deeper", "Ext", "y");

    const std::string reg =
        folder.WriteFile("FTypes.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
                                       "[-HKEY_CURRENT_USER\\Software\\Tavrolin\\Harbex\\File Types\\Old]\r\n"
                                       "\"Ignored\"=\"values of a removed key are not taken\"\r\n\r\n"
                                       "[HKEY_LOCAL_MACHINE\\Software\\Tavrolin\\Harbex\\Settings]\r\n"
                                       "\"Skin\"=\"from the machine\"\r\n\r\n"
                                       "[HKEY_CURRENT_USER\\Software\\Tavrolin\\Harbex\\File Types\\Images]\r\n"
                                       "\"Extensions\"=\"gif,jpg,png\"\r\n"
                                       "\"Count\"=dword:00000003\r\n\r\n"
                                       "[HKEY_CURRENT_USER\\Software\\Tavrolin\\Harbex\\Settings]\r\n"
                                       "\"Gone\"=-\r\n"
                                       "\"Connections\"=dword:00000004\r\n");
    const ino_t before = InodeOf(SettingsFile(folder));
    std::string error;
    ASSERT_TRUE(store.Import(reg, &error)) << error;
    EXPECT_NE(InodeOf(SettingsFile(folder)), before);

    // Another instance sees the merged file, so the import was saved.
    THXSettingsStore reread(SettingsFile(folder));
    EXPECT_EQ(reread.ReadString(kSettings, "Skin", ""), "Default");
    EXPECT_FALSE(reread.ValueExists(kSettings, "Gone"));
    EXPECT_EQ(reread.ReadInteger(kSettings, "Connections", 0), 4);
    EXPECT_FALSE(reread.KeyExists("\\Software\\Tavrolin\\Harbex\\File Types\\Old"));
    EXPECT_FALSE(reread.KeyExists("\\Software\\Tavrolin\\Harbex\\File Types\\Old\\Deeper"));
    EXPECT_EQ(reread.ReadString("\\Software\\Tavrolin\\Harbex\\File Types\\Images", "Extensions", ""), "gif,jpg,png");
    EXPECT_EQ(reread.ReadInteger("\\Software\\Tavrolin\\Harbex\\File Types\\Images", "Count", 0), 3);
    EXPECT_EQ(reread.SubKeys("\\Software\\Tavrolin\\Harbex\\File Types"), std::vector<std::string>{"Images"});
    EXPECT_TRUE(reread.TakeProblems().empty());
    EXPECT_TRUE(store.TakeProblems().empty());
}

TEST(HXSettingsStore, ImportRefusesWhatIsNotARegistryFileAndReadsOtherEncodings)
{
    test::TTempFolder folder;
    THXSettingsStore store;
    std::string error;
    EXPECT_FALSE(store.Import(folder.Path() / "missing.reg", &error));
    EXPECT_NE(error.find("missing.reg"), std::string::npos);
    error.clear();
    const std::string ini = folder.WriteFile("types.ini", "[HKEY_CURRENT_USER\\Software]\n\"a\"=\"b\"\n");
    EXPECT_FALSE(store.Import(ini, &error));
    EXPECT_NE(error.find("not a registry file"), std::string::npos);
    EXPECT_FALSE(store.KeyExists("\\Software"));
    EXPECT_FALSE(store.Import(folder.WriteFile("empty.reg", ""), nullptr));

    // UTF-16LE with byte order mark, as the desktop registry editor exports.
    const std::u16string wide = u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n"
                                u"\"Name\"=\"Gr\u00f6\u00dfe \U0001F600\"\r\n";
    std::string utf16 = "\xff\xfe";
    for (char16_t unit : wide)
    {
        utf16 += static_cast<char>(unit & 0xff);
        utf16 += static_cast<char>(unit >> 8);
    }
    ASSERT_TRUE(store.Import(folder.WriteFile("wide.reg", utf16), &error)) << error;
    EXPECT_EQ(store.ReadString("\\Software\\X", "Name", ""), "Gr\xC3\xB6\xC3\x9F"
                                                             "e \xF0\x9F\x98\x80");

    // UTF-8 with byte order mark; a line in Windows-1252 among UTF-8 lines.
    ASSERT_TRUE(store.Import(folder.WriteFile("bom.reg", "\xEF\xBB\xBFREGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Y]\n"
                                                         "\"Utf8\"=\"\xC3\xA9t\xC3\xA9\"\n"
                                                         "\"Latin\"=\"\xE9t\xE9\"\n"),
                             &error))
        << error;
    EXPECT_EQ(store.ReadString("\\Software\\Y", "Utf8", ""), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(store.ReadString("\\Software\\Y", "Latin", ""), "\xC3\xA9t\xC3\xA9");

    // A damaged import merges what it can and reports the rest once.
    EXPECT_TRUE(store.Import(folder.WriteFile("damaged.reg", "REGEDIT4\n[HKEY_CURRENT_USER\\Software\\Z]\n"
                                                             "\"a\"=\"1\"\n\"b\"=dword:xyz\n\"c\"=\"3\"\n"),
                             &error));
    EXPECT_EQ(store.ReadString("\\Software\\Z", "a", ""), "1");
    EXPECT_EQ(store.ReadString("\\Software\\Z", "c", ""), "3");
    EXPECT_FALSE(store.ValueExists("\\Software\\Z", "b"));
    const auto problems = store.TakeProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("line 4"), std::string::npos) << problems[0];
}

TEST(HXSettingsStore, UnknownValueTypesAreWrittenBackUnchanged)
{
    test::TTempFolder folder;
    const std::string binary = "\"Binary\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,\\\n"
                               "  15,16,17\n";
    const std::string expandable = "\"Path\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,00,00\n";
    folder.WriteFile("Harbex.reg",
                     "REGEDIT4\r\n\r\n" + kSection + "\r\n" + "\"Before\"=\"1\"\r\n" +
                         "\"Binary\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,\\\r\n"
                         "  15,16,17\r\n" +
                         expandable + "\"After\"=\"2\"\r\n");
    THXSettingsStore store(SettingsFile(folder));
    EXPECT_TRUE(store.TakeProblems().empty());
    EXPECT_EQ(store.ReadString(kSettings, "After", ""), "2");
    EXPECT_TRUE(store.ValueExists(kSettings, "Binary"));
    EXPECT_EQ(store.ReadString(kSettings, "Binary", "not text"), "not text");
    EXPECT_EQ(store.ReadInteger(kSettings, "Path", -5), -5);
    store.WriteString(kSettings, "New", "3");
    const std::string text = folder.ReadFile("Harbex.reg");
    EXPECT_NE(text.find(kSection + "\n\"Before\"=\"1\"\n" + binary + expandable + "\"After\"=\"2\"\n\"New\"=\"3\"\n"),
              std::string::npos)
        << text;
}

TEST(HXSettingsStore, DamagedFilesKeepTheirReadableLines)
{
    struct TCase
    {
        const char* what;
        std::string badLine;
    };
    const std::vector<TCase> cases = {
        {"missing closing bracket", "[HKEY_CURRENT_USER\\Software\\Tavrolin\\Harbex\\Broken"},
        {"binary garbage", "\x89PNG\r\x1a\xff\xfe\x01\x80garbage\x7f"},
        {"NULs", "\"Nul\0\"=\"\0\0\"\0"s},
        {"1 MB line", std::string(1 << 20, 'x')},
        {"1 MB unterminated quote", "\"Long\"=\"" + std::string(1 << 20, 'y')},
        {"bad hex in a dword", "\"Bad\"=dword:0000000g"},
        {"dword with nine digits", "\"Bad\"=dword:000000001"},
        {"empty dword", "\"Bad\"=dword:"},
        {"text after a quoted value", "\"Bad\"=\"ok\" trailing"},
        {"no equals sign", "\"Bad\" \"ok\""},
        {"unknown root without a key", "[SOMEWHERE\\Else]"},
    };
    for (const TCase& badCase : cases)
    {
        SCOPED_TRACE(badCase.what);
        test::TTempFolder folder;
        // Line 5 is the bad one; the key is named again after it, so a bad key
        // line does not take the following values with it.
        folder.WriteFile("Harbex.reg", "REGEDIT4\n\n" + kSection + "\n\"Before\"=\"ok\"\n" + badCase.badLine + "\n" +
                                           kSection + "\n\"After\"=dword:00000007\n");
        THXSettingsStore store(SettingsFile(folder));
        EXPECT_EQ(store.ReadString(kSettings, "Before", ""), "ok");
        EXPECT_EQ(store.ReadInteger(kSettings, "After", 0), 7);
        EXPECT_FALSE(store.ValueExists(kSettings, "Bad"));
        const auto problems = store.TakeProblems();
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_NE(problems[0].find(SettingsFile(folder)), std::string::npos) << problems[0];
        EXPECT_NE(problems[0].find("line 5 "), std::string::npos) << problems[0];

        // Saving writes a clean file that reads without problems.
        EXPECT_TRUE(store.WriteInteger(kSettings, "Connections", 3));
        THXSettingsStore reread(SettingsFile(folder));
        EXPECT_EQ(reread.ReadString(kSettings, "Before", ""), "ok");
        EXPECT_EQ(reread.ReadInteger(kSettings, "Connections", 0), 3);
        EXPECT_TRUE(reread.TakeProblems().empty());
    }
}

TEST(HXSettingsStore, TruncatedAndHeaderlessFilesAreReportedOncePerLoad)
{
    test::TTempFolder folder;
    folder.WriteFile("Harbex.reg", "REGEDIT4\n\n" + kSection + "\n\"Skin\"=\"Blue\"\n\"Browser\"=\"/usr/bin/fire");
    {
        THXSettingsStore store(SettingsFile(folder));
        EXPECT_EQ(store.ReadString(kSettings, "Skin", ""), "Blue");
        EXPECT_EQ(store.ReadString(kSettings, "Browser", "none"), "none");
        const auto problems = store.TakeProblems();
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_NE(problems[0].find("line 5"), std::string::npos) << problems[0];
    }

    folder.WriteFile("Harbex.reg", kSection + "\n\"Skin\"=\"Blue\"\nnonsense\n\"Connections\"=dword:00000002\n"
                                              "more nonsense\n");
    THXSettingsStore store(SettingsFile(folder));
    EXPECT_EQ(store.ReadString(kSettings, "Skin", ""), "Blue");
    EXPECT_EQ(store.ReadInteger(kSettings, "Connections", 0), 2);
    auto problems = store.TakeProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("header"), std::string::npos) << problems[0];
    EXPECT_NE(problems[0].find("lines 3, 5"), std::string::npos) << problems[0];
    // Reading again does not report again.
    EXPECT_EQ(store.ReadString(kSettings, "Skin", ""), "Blue");
    EXPECT_TRUE(store.TakeProblems().empty());

    // Values before any key, and an empty file.
    folder.WriteFile("Harbex.reg", "REGEDIT4\n\"Orphan\"=\"x\"\n");
    THXSettingsStore orphan(SettingsFile(folder));
    EXPECT_TRUE(orphan.ValueNames("").empty());
    EXPECT_EQ(orphan.TakeProblems().size(), 1u);
    folder.WriteFile("Harbex.reg", "");
    THXSettingsStore empty(SettingsFile(folder));
    EXPECT_FALSE(empty.KeyExists("\\Software"));
    EXPECT_TRUE(empty.TakeProblems().empty());
}

TEST(HXSettingsStore, ChangesOfAnotherInstanceAreNotLost)
{
    test::TTempFolder folder;
    THXSettingsStore first(SettingsFile(folder));
    THXSettingsStore second(SettingsFile(folder));
    EXPECT_TRUE(first.WriteString(kSettings, "A", "1"));
    EXPECT_TRUE(second.WriteString(kSettings, "B", "2"));
    EXPECT_TRUE(first.WriteString(kSettings, "C", "3"));
    EXPECT_TRUE(second.WriteInteger(kSettings, "D", 4));
    EXPECT_TRUE(first.DeleteValue(kSettings, "B"));
    EXPECT_TRUE(second.WriteString(kSettings, "E", "5"));

    // Each sees the other's writes when reading, too.
    EXPECT_EQ(first.ReadString(kSettings, "E", ""), "5");
    EXPECT_FALSE(second.ValueExists(kSettings, "B"));
    THXSettingsStore third(SettingsFile(folder));
    EXPECT_EQ(third.ValueNames(kSettings), (std::vector<std::string>{"A", "C", "D", "E"}));
    EXPECT_EQ(third.ReadInteger(kSettings, "D", 0), 4);

    // An edit made by hand outside the program is read too.
    folder.WriteFile("Harbex.reg", "REGEDIT4\n\n" + kSection + "\n\"Skin\"=\"edited by hand\"\n");
    EXPECT_EQ(first.ReadString(kSettings, "Skin", ""), "edited by hand");
    EXPECT_FALSE(first.ValueExists(kSettings, "A"));
}

TEST(HXSettingsStore, TwoThreadsWithTheirOwnInstancesLoseNothing)
{
    test::TTempFolder folder;
    constexpr int kPerThread = 200;
    std::vector<int> failures(2, 0);
    std::vector<std::thread> writers;
    for (int thread = 0; thread < 2; ++thread)
    {
        writers.emplace_back(
            [&, thread]
            {
                THXSettingsStore store(SettingsFile(folder));
                for (int i = 0; i < kPerThread; ++i)
                {
                    const std::string name = "T" + std::to_string(thread) + "-" + std::to_string(i);
                    const bool ok = (i % 2 == 0) ? store.WriteString(kSettings, name, name)
                                                 : store.WriteInteger(kSettings, name, thread * 1000 + i);
                    if (!ok)
                        ++failures[static_cast<std::size_t>(thread)];
                }
            });
    }
    for (std::thread& writer : writers)
        writer.join();
    EXPECT_EQ(failures, (std::vector<int>{0, 0}));

    THXSettingsStore store(SettingsFile(folder));
    EXPECT_EQ(store.ValueNames(kSettings).size(), 2u * kPerThread);
    for (int thread = 0; thread < 2; ++thread)
    {
        for (int i = 0; i < kPerThread; ++i)
        {
            const std::string name = "T" + std::to_string(thread) + "-" + std::to_string(i);
            if (i % 2 == 0)
                EXPECT_EQ(store.ReadString(kSettings, name, ""), name);
            else
                EXPECT_EQ(store.ReadInteger(kSettings, name, -1), thread * 1000 + i);
        }
    }
    EXPECT_TRUE(store.TakeProblems().empty());
}

TEST(HXSettingsStore, UnchangedValuesAreNotRewritten)
{
    test::TTempFolder folder;
    THXSettingsStore store(SettingsFile(folder));
    store.WriteInteger(kSettings, "Connections", 10);
    const ino_t written = InodeOf(SettingsFile(folder));
    EXPECT_TRUE(store.WriteInteger(kSettings, "Connections", 10));
    EXPECT_TRUE(store.WriteInteger(kSettings, "CONNECTIONS", 10));
    EXPECT_FALSE(store.DeleteValue(kSettings, "Missing"));
    EXPECT_EQ(InodeOf(SettingsFile(folder)), written);
    EXPECT_TRUE(store.WriteInteger(kSettings, "Connections", 11));
    EXPECT_NE(InodeOf(SettingsFile(folder)), written);
}

TEST(HXSettingsStore, AFileThatCannotBeWrittenKeepsChangesInMemory)
{
    test::TTempFolder folder;
    // The settings folder cannot be created: a plain file has its name.
    folder.WriteFile("config", "not a folder");
    const std::string file = (folder.Path() / "config" / "Harbex.reg").string();
    THXSettingsStore store(file);
    EXPECT_EQ(store.FileName(), file);
    EXPECT_FALSE(store.WriteString(kSettings, "Skin", "Blue"));
    EXPECT_FALSE(store.WriteInteger(kSettings, "Connections", 3));
    EXPECT_EQ(store.ReadString(kSettings, "Skin", ""), "Blue");
    EXPECT_EQ(store.ReadInteger(kSettings, "Connections", 0), 3);
    const auto problems = store.TakeProblems();
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("could not be written"), std::string::npos) << problems[0];

    // The folder becomes possible and another instance writes first: its value is
    // read, and the unsaved values survive that re-read and reach the file with
    // the next successful write.
    std::filesystem::remove(folder.Path() / "config");
    THXSettingsStore other(file);
    EXPECT_TRUE(other.WriteString(kSettings, "Browser", "/usr/bin/firefox"));
    EXPECT_EQ(store.ReadString(kSettings, "Browser", ""), "/usr/bin/firefox");
    EXPECT_EQ(store.ReadString(kSettings, "Skin", ""), "Blue");
    EXPECT_TRUE(store.WriteBool(kSettings, "No Ads", true));
    THXSettingsStore reread(file);
    EXPECT_EQ(reread.ValueNames(kSettings), (std::vector<std::string>{"Browser", "Skin", "Connections", "No Ads"}));
}

mode_t ModeOf(const std::filesystem::path& path)
{
    struct stat status = {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

TEST(HXSettingsStore, TheFileAndItsNewFolderAreTheUsersAlone)
{
    test::TTempFolder folder;
    // Proxy credentials live in the file: created 0600 in a new folder made 0700.
    const std::filesystem::path file = folder.Path() / "config" / "harbex" / "Harbex.reg";
    THXSettingsStore store(file);
    ASSERT_TRUE(store.WriteString(kSettings, "Proxy Authorization", "user:secret"));
    EXPECT_EQ(ModeOf(file), 0600u);
    EXPECT_EQ(ModeOf(file.parent_path()), 0700u);

    // A file left readable by others is tightened at the next write.
    ::chmod(file.c_str(), 0644);
    ASSERT_TRUE(store.WriteString(kSettings, "Proxy Authorization", "user:other"));
    EXPECT_EQ(ModeOf(file), 0600u);
}

TEST(HXSettingsStore, ADamagedFileIsKeptBesideTheNewOne)
{
    test::TTempFolder folder;
    const std::string file = SettingsFile(folder);
    const std::string damaged = "REGEDIT4\n\n" + kSection + "\n\"Skin\"=\"Blue\"\n\x89PNG\x01\xff garbage\n";
    folder.WriteFile("Harbex.reg", damaged);
    THXSettingsStore store(file);
    EXPECT_EQ(store.ReadString(kSettings, "Skin", ""), "Blue");
    ASSERT_TRUE(store.WriteInteger(kSettings, "Connections", 4));
    EXPECT_EQ(folder.ReadFile("Harbex.reg.bad"), damaged);
    const auto problems = store.TakeProblems();
    ASSERT_EQ(problems.size(), 1u) << "one warning";
    EXPECT_NE(problems[0].find("line 5"), std::string::npos) << problems[0];
    EXPECT_NE(problems[0].find(file + ".bad"), std::string::npos) << problems[0];
    THXSettingsStore reread(file);
    EXPECT_EQ(reread.ReadInteger(kSettings, "Connections", 0), 4);
    EXPECT_TRUE(reread.TakeProblems().empty());

    // A file too large to read is not replaced unseen either: it is moved aside.
    test::TTempFolder other;
    const std::string huge = SettingsFile(other);
    other.WriteFile("Harbex.reg", "REGEDIT4\n");
    std::filesystem::resize_file(huge, 65LL * 1024 * 1024);
    THXSettingsStore big(huge);
    ASSERT_TRUE(big.WriteString(kSettings, "Skin", "Green"));
    EXPECT_EQ(std::filesystem::file_size(huge + ".bad"), 65ULL * 1024 * 1024);
    EXPECT_LT(std::filesystem::file_size(huge), 1024u);
    const auto bigProblems = big.TakeProblems();
    ASSERT_EQ(bigProblems.size(), 1u);
    EXPECT_NE(bigProblems[0].find(huge + ".bad"), std::string::npos) << bigProblems[0];
}

TEST(HXSettingsStore, InMemoryStoreNeedsNoFile)
{
    THXSettingsStore store;
    EXPECT_TRUE(store.FileName().empty());
    EXPECT_TRUE(store.WriteString(kSettings, "Skin", "Default"));
    EXPECT_TRUE(store.WriteBool(kSettings, "Use Proxy", true));
    EXPECT_TRUE(store.ReadBool(kSettings, "Use Proxy", false));
    EXPECT_EQ(store.ExportText(), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software]\n\n"
                                  "[HKEY_CURRENT_USER\\Software\\Tavrolin]\n\n"
                                  "[HKEY_CURRENT_USER\\Software\\Tavrolin\\Harbex]\n\n" +
                                      kSection + "\n\"Skin\"=\"Default\"\n\"Use Proxy\"=dword:00000001\n\n");
    EXPECT_TRUE(store.TakeProblems().empty());
}

} // namespace
} // namespace hx
