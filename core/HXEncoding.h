#pragma once

// Text encodings at the edges of the program. In memory all text is UTF-8. Task,
// profile and queue files are written in Windows-1252: characters that code page
// cannot hold are written as "&#N;" (N the decimal code point) and turned back
// when read, so the round trip is lossless and no UTF-8 byte (which could be 0xB6,
// the queue's record separator) ever reaches a file.

#include <string>
#include <string_view>

namespace hx
{

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates, <= U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// UTF-8 → Windows-1252 bytes. Characters outside the code page, and a literal
// "&#" that would otherwise read back as an escape, become "&#N;" (the "&" of "&#"
// is written as "&#38;"). The pilcrow (U+00B6) is always written as "&#182;", so a
// raw 0xB6 byte in the output is only ever a record separator the caller put there
// as a raw byte. Invalid UTF-8 bytes (a raw 0xB6 among them) are taken as
// Windows-1252 characters and copied unchanged so nothing is dropped. NUL and other
// control bytes pass through unchanged. The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for U+0081, U+008D ... both ways.
std::string Utf8ToCp1252(std::string_view utf8);

// Windows-1252 bytes → UTF-8, turning every well-formed "&#N;" (N a valid code
// point other than 0) back into its character.
std::string Cp1252ToUtf8(std::string_view cp1252);

// File text that announced itself as UTF-8 (a byte order mark, already removed) →
// UTF-8: "&#N;" escapes turned back as Cp1252ToUtf8 does; bytes that are not
// valid UTF-8 are read as Windows-1252.
std::string Utf8FileTextToUtf8(std::string_view bytes);

// Windows-1252 bytes → UTF-8 without looking at "&#N;" escapes (page text).
std::string Cp1252ToUtf8Plain(std::string_view cp1252);

// Text taken from a page (a title, a link text): UTF-8 when it is valid UTF-8,
// else read as Windows-1252.
std::string PageTextToUtf8(std::string_view bytes);

// Appends the UTF-8 form of a code point (invalid code points become U+FFFD).
void AppendUtf8(std::string& out, char32_t codePoint);

} // namespace hx
