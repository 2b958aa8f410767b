#pragma once

// Small string rules shared by the queue records, the tag scanner and the URL
// functions. Text is a byte string (UTF-8 in memory, raw page bytes while a
// page is scanned). Positions are 1-based; 0 means "not found".

#include <cstdint>
#include <string>
#include <string_view>

namespace hx
{

// The record separator of queue lines: the pilcrow byte of Windows-1252.
inline constexpr char kFieldSeparator = '\xB6';

// ASCII-only case mapping: page bytes and UTF-8 sequences above 0x7F are left alone.
std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
bool SameTextNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

// Characters after the n-th separator (counting from 0) and before the next one;
// empty when there are fewer separators.
std::string NthField(std::string_view text, char separator, int n);

// Text after the first start marker and before the next end marker; empty when either is missing.
std::string TextBetween(std::string_view text, std::string_view startMarker, std::string_view endMarker);

// As TextBetween, searching the markers without regard to ASCII letter case; the
// result is taken from the given text. Both markers are searched from the start of
// the text: empty when the first end marker does not follow the first start marker.
std::string TextBetweenNoCase(std::string_view text, std::string_view startMarker, std::string_view endMarker);

// Case-insensitive, left-to-right replacement of the first or every occurrence;
// replaced text is not searched again. An empty find text changes nothing.
std::string ReplaceText(std::string_view text, std::string_view find, std::string_view replacement, bool all);

// ReplaceText applied to the text from the 1-based position on; the text before it is kept.
std::string ReplaceFrom(std::string_view text, int position, std::string_view find, std::string_view replacement,
                        bool all);

// Removes every CR and LF byte, then trims bytes up to 0x20 at both ends. The
// record separator 0xB6 is left alone: in UTF-8 it is part of characters such as
// "ö", so it is escaped (or, in a status text, removed) only where the text is
// turned into the code page of the queue file.
std::string SanitizeField(std::string_view text);

// Bytes up to 0x20 trimmed at both ends.
std::string Trim(std::string_view text);

// ASCII letters compared without case; false for an empty part.
bool ContainsNoCase(std::string_view text, std::string_view part);

// 1-based position of the last occurrence of part in text, 0 when none (or part is empty).
int LastPos(std::string_view part, std::string_view text);

// The file's lines joined with CR LF, with a CR LF after the last line (lines may
// end with LF, CR LF or a lone CR). Empty when the file is empty or cannot be read.
std::string LoadTextFile(const std::string& path);

// Creates or replaces the file with the text's bytes. Written through a temporary
// file and a rename so a crash never leaves a half-written file. False on failure.
bool SaveTextFile(const std::string& path, std::string_view text);

// "H Hrs M Min S Sec" when the hours are not 0, else "M Min S Sec". The argument
// is a time of day as a fraction of a day (whole days are ignored).
std::string FormatDuration(double timeOfDay);

// Decimal value after removing every ","; 0 for text that is not a number
// (leading and trailing blanks allowed, values clamped to the 32-bit range).
std::int32_t StrToIntNoCommas(std::string_view text);

// Strict decimal conversion used where the design raises a conversion error:
// optional sign, digits, blanks around allowed. False for anything else or overflow.
bool TryStrToInt(std::string_view text, std::int32_t& value);

// Lenient conversion used by readers with defaults: the value, or the default
// when the text is not a decimal integer.
std::int32_t StrToIntDef(std::string_view text, std::int32_t defaultValue);

// TryStrToInt for 64-bit values (byte counts).
bool TryStrToInt64(std::string_view text, std::int64_t& value);

// Search primitives of the tag scanner (1-based positions, 0 = not found; an empty
// pattern is never found; a start below 1 means the start of the text).
// First occurrence of pattern at or after `from`, ASCII letters compared without case.
int FindNoCase(std::string_view pattern, std::string_view text, int from);
// First occurrence of pattern at or after `from`, exact bytes.
int FindExact(std::string_view pattern, std::string_view text, int from);
// First occurrence at or after |start|; negative start compares without case; "?" in
// the pattern matches any byte.
int FindForward(std::string_view text, std::string_view pattern, int start);
// Last occurrence ending at or before |end| (0 = end of text); negative end compares
// without case; "?" in the pattern matches any byte.
int FindBackward(std::string_view text, std::string_view pattern, int end);

} // namespace hx
