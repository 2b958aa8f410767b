#pragma once

// International host names. A host written with letters beyond ASCII ("bücher.example")
// is asked for, looked up and checked against certificates in its ASCII form
// ("xn--bcher-kva.example", IDNA2008 with the transitional rules of UTS #46 off, as
// browsers do); the local folder keeps the name as the address writes it.

#include <string>
#include <string_view>

namespace hx
{

// The ASCII form of a host name given in UTF-8. A name that is ASCII already comes
// back unchanged (letter case included), and so does one that cannot be converted
// (not UTF-8, or not a valid international name): its lookup then fails as any
// unknown host does. Any thread.
std::string RequestHostName(std::string_view host);

} // namespace hx
