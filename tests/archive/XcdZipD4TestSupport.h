#pragma once

// Helpers of the Zip component tests: a fixture with a temporary folder and a
// component pointed into it, the Info-ZIP programs run on archives, and archives
// made directly with libzip (for entries the component would never write).

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/XcdZipD4.h"
#include "support/HXSandbox.h"

namespace hx::test
{

// Output (stdout and stderr) and exit status of a shell command.
struct TCommandResult
{
    std::string output;
    int status = -1;
};
TCommandResult RunCommand(const std::string& command);
std::string ShellQuote(const std::string& text);
// True when the program is found on PATH.
bool HaveProgram(const std::string& name);
// The lines of a text, without line ends.
std::vector<std::string> Lines(const std::string& text);

// An entry written by MakeRawArchive.
struct TRawEntry
{
    std::string name;
    std::string data;
    // Unix mode in the external attributes (0: leave libzip's default).
    unsigned mode = 0;
    bool stored = false;
};
// Writes an archive with exactly these entries (names taken as they are).
void MakeRawArchive(const std::string& path, const std::vector<TRawEntry>& entries);

// Bytes that deflate cannot shrink.
std::string RandomBytes(std::size_t size, unsigned seed);

// Every file and folder below a folder, relative, sorted ("a", "a/b.txt").
std::vector<std::string> TreeOf(const std::string& folder);

class TXcdZipTest : public ::testing::Test
{
protected:
    TTempFolder folder;
    TXceedZip zip;

    std::string PathOf(const std::string& relative) const { return folder.Folder() + relative; }
    std::string Write(const std::string& relative, const std::string& bytes) const
    {
        return folder.WriteFile(relative, bytes);
    }
    // All entries as OnListing reports them.
    std::vector<TXcdFileStats> ListAll(const std::string& mask = "*.*");
    std::vector<std::string> ListNames(const std::string& mask = "*.*");
    // Adds the files (relative to the temporary folder) with paths.
    int AddFiles(const std::vector<std::string>& files);
    // True when zip, unzip or zipinfo is missing (the test then skips).
    static bool InfoZipMissing();
};

} // namespace hx::test
