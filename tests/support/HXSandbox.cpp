#include "support/HXSandbox.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <system_error>

namespace hx::test
{

TTempFolder::TTempFolder()
{
    std::random_device device;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        auto candidate = base / ("hx-test-" + std::to_string(device()));
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error))
        {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary test folder");
}

TTempFolder::~TTempFolder()
{
    std::error_code error;
    std::filesystem::remove_all(m_path, error);
}

std::string TTempFolder::WriteFile(const std::string& relativePath, const std::string& bytes) const
{
    const auto path = m_path / relativePath;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

std::string TTempFolder::ReadFile(const std::string& relativePath) const
{
    std::ifstream in(m_path / relativePath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void THXSandboxTest::SetUp()
{
    if (const char* previous = std::getenv("HARBEX_HOME"))
    {
        m_hadHome = true;
        m_previousHome = previous;
    }
    ::setenv("HARBEX_HOME", m_home.Path().c_str(), 1);
}

void THXSandboxTest::TearDown()
{
    if (m_hadHome)
        ::setenv("HARBEX_HOME", m_previousHome.c_str(), 1);
    else
        ::unsetenv("HARBEX_HOME");
}

} // namespace hx::test
