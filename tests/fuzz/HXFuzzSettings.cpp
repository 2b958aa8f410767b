// Fuzz target: the settings store. The input is the settings file; the store reads
// it as the program does at start-up, its values are read, and a file the store has
// written reads back as the same store (nothing is lost or changed by a save). The
// input is also imported into a store, as a file of settings merged in.

#include <cstddef>
#include <cstdint>
#include <string>

#include "HXFuzzSupport.h"
#include "core/HXApp.h"
#include "core/HXSettingsStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using hx::fuzz::Check;
    const auto folder = hx::fuzz::FreshFolder();
    const std::string file = hx::fuzz::WriteFile(folder / "Harbex.reg", hx::fuzz::InputText(data, size));

    std::string exported;
    {
        hx::THXSettingsStore store(file);
        (void)store.ReadString(hx::kSettingsKey, "Skin", "Default");
        (void)store.ReadInteger(hx::kSettingsKey, "Connections", 4);
        (void)store.ReadBool(hx::kSettingsKey, "Beep", false);
        for (const auto& key : store.SubKeys("\\Software\\Tavrolin\\Harbex"))
            (void)store.StringValues("\\Software\\Tavrolin\\Harbex\\" + key);
        (void)store.TakeProblems();
        exported = store.ExportText();
    }
    {
        hx::THXSettingsStore again(hx::fuzz::WriteFile(folder / "Again.reg", exported));
        Check(again.ExportText() == exported, "the written settings do not read back the same");
    }
    {
        hx::THXSettingsStore merged;
        std::string error;
        (void)merged.Import(file, &error);
        (void)merged.ExportText();
    }
    return 0;
}
