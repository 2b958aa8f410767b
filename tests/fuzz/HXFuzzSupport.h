#pragma once

// What the fuzz targets share: the check that ends a run when something that must
// hold does not, a scratch folder for the readers that take a file, and the cutting
// of one input into the pieces a target hands to a reader.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace hx::fuzz
{

// Ends the run with the reason on stderr and an abort, which libFuzzer (and the
// replay driver) reports with the input that caused it.
void Check(bool condition, const char* what);

// The input as text.
std::string_view InputText(const std::uint8_t* data, std::size_t size);

// The input cut at each of the first `pieces - 1` zero bytes: exactly `pieces`
// pieces, the last ones empty when the input has fewer zero bytes.
std::vector<std::string_view> SplitInput(std::string_view input, std::size_t pieces);

// A folder of this process's own (below $TMPDIR), emptied on every call, removed
// when the process ends normally.
std::filesystem::path FreshFolder();

// Writes the bytes to the file (creating its folder) and returns its path as text.
std::string WriteFile(const std::filesystem::path& path, std::string_view bytes);

} // namespace hx::fuzz

// The entry point every target defines: libFuzzer's, also called by the replay driver.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
