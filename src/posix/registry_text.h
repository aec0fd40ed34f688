#pragma once
// The registry export format, one line at a time: quoted names and texts, dword: numbers,
// hex(N): data, and the tests a line must pass to be read as such.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Tevrand\Pelmar2]
//   "Nick"="Up %d day[s]"
//   "Count"=dword:0000000a
//   "Path"=hex(2):25,00,41,00,25,00,00,00
//   "Memo"=hex(1):61,00,0a,00,62,00,00,00
//
// Text that a line cannot show plainly (control characters, line breaks, NULs, lone
// surrogates) is written as hex(1): UTF-16LE bytes, as an export writes it, with the
// terminating NUL; the data reads back exactly as it was given.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ports/registry.h"

namespace velmora::reg_text {

inline constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
inline constexpr std::uint32_t kRegBinary = 3;

bool IsSpace(char c);  // blank, tab or a stray carriage return
std::string_view Trim(std::string_view text);
// `lowerPrefix` in lower case; the text's ASCII letters in either case.
bool StartsWithIgnoringCase(std::string_view text, std::string_view lowerPrefix);
// Bytes that decode as UTF-8 and encode back the same.
bool IsUtf8(std::string_view text);
// Text that a line shows as it is: no line breaks, no other control characters, no lone
// surrogates (UTF-8 cannot carry them).
bool IsPlain(std::u16string_view text);

// A name or text in the file's double quotes, \\ and \" escaped; nullopt when not plain.
std::optional<std::string> QuotedText(std::u16string_view text);
// Reads a quoted text at the start of `text`, where only \\ and \" are escapes, and moves
// past it.
std::optional<std::u16string> Unquote(std::string_view& text);

// UTF-16LE; an odd last byte stands as a unit of its own.
std::u16string Utf16FromBytes(std::string_view bytes);

// The data after "=": a quoted text, dword:, hex: or hex(N):. nullopt when the value cannot
// be written (a dword that is not a 32-bit number).
std::optional<std::string> ValueData(const RegistryValue& value);
std::optional<RegistryValue> ParseData(std::string_view data);

// A line that goes on with hex bytes. Anything else, a section header above all, is never
// swallowed by a value cut short before it.
bool IsHexContinuation(std::string_view line);
// Splits a value line into its name token ("\"name\"" or "@" as written), the name, and the
// data after "=".
bool SplitValueLine(std::string_view line, std::string& nameToken, std::u16string& name,
                    std::string_view& data);

}  // namespace velmora::reg_text
