#pragma once

// A temporary folder for one test, removed when the test ends. THXSandboxTest
// also points HARBEX_HOME at it, so the settings file and every program folder
// of the code under test live inside the sandbox.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace hx::test
{

class TTempFolder
{
public:
    TTempFolder();
    ~TTempFolder();
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    // The folder as text ending with "/".
    std::string Folder() const { return m_path.string() + "/"; }
    // Writes a file below the folder (creating parents) and returns its path.
    std::string WriteFile(const std::string& relativePath, const std::string& bytes) const;
    std::string ReadFile(const std::string& relativePath) const;

private:
    std::filesystem::path m_path;
};

class THXSandboxTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    const TTempFolder& Home() const { return m_home; }

private:
    TTempFolder m_home;
    std::string m_previousHome;
    bool m_hadHome = false;
};

} // namespace hx::test
