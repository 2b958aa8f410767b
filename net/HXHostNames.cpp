#include "net/HXHostNames.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include <idn2.h>

namespace hx
{

namespace
{

struct TIdnFree
{
    void operator()(char* text) const { idn2_free(text); }
};

} // namespace

std::string RequestHostName(std::string_view host)
{
    if (std::all_of(host.begin(), host.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(host);
    const std::string text(host);
    char* converted = nullptr;
    const int result = idn2_to_ascii_8z(text.c_str(), &converted, IDN2_NONTRANSITIONAL | IDN2_NFC_INPUT);
    const std::unique_ptr<char, TIdnFree> owned(converted);
    if (result != IDN2_OK || converted == nullptr)
        return text;
    return converted;
}

} // namespace hx
