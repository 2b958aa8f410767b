#include "HXFuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace hx::fuzz
{

namespace
{

// The scratch folder: made on first use, removed with everything in it at exit.
class TScratch
{
public:
    TScratch()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/hx-fuzz-XXXXXX";
        Check(::mkdtemp(pattern.data()) != nullptr, "cannot make the scratch folder");
        m_path = pattern;
    }
    ~TScratch()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TScratch(const TScratch&) = delete;
    TScratch& operator=(const TScratch&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

} // namespace

void Check(bool condition, const char* what)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

std::string_view InputText(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

std::vector<std::string_view> SplitInput(std::string_view input, std::size_t pieces)
{
    std::vector<std::string_view> result;
    while (result.size() + 1 < pieces)
    {
        const std::size_t zero = input.find('\0');
        if (zero == std::string_view::npos)
            break;
        result.push_back(input.substr(0, zero));
        input.remove_prefix(zero + 1);
    }
    result.push_back(input);
    result.resize(pieces);
    return result;
}

std::filesystem::path FreshFolder()
{
    static const TScratch scratch;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(scratch.Path(), error))
    {
        std::error_code ignored;
        // A reader may have left a folder without write permission: open it first.
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(entry.path(), ignored);
    }
    return scratch.Path();
}

std::string WriteFile(const std::filesystem::path& path, std::string_view bytes)
{
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    Check(static_cast<bool>(out), "cannot write the input file");
    return path.string();
}

} // namespace hx::fuzz
