// Replays saved inputs through a fuzz target's entry point, so the normal build (any
// compiler, no libFuzzer) runs the seed corpus and every input that once made a target
// fail. Arguments are files or folders (every file in a folder, in name order; a
// missing folder holds nothing). A failing input aborts, as it does under libFuzzer.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "HXFuzzSupport.h"

namespace
{

std::vector<std::filesystem::path> InputsOf(const std::filesystem::path& argument)
{
    std::vector<std::filesystem::path> inputs;
    std::error_code error;
    if (std::filesystem::is_directory(argument, error))
    {
        for (const auto& entry : std::filesystem::directory_iterator(argument, error))
            if (entry.is_regular_file())
                inputs.push_back(entry.path());
        std::sort(inputs.begin(), inputs.end());
    }
    else if (std::filesystem::is_regular_file(argument, error))
        inputs.push_back(argument);
    return inputs;
}

} // namespace

int main(int argc, char** argv)
{
    int replayed = 0;
    for (int i = 1; i < argc; ++i)
        for (const auto& path : InputsOf(argv[i]))
        {
            std::ifstream in(path, std::ios::binary);
            const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            std::fprintf(stderr, "replaying %s\n", path.string().c_str());
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
    std::printf("%d inputs replayed\n", replayed);
    return 0;
}
