// Text encodings: UTF-8 checked, Windows-1252 read and written.
#pragma once

#include <string>
#include <string_view>

namespace tables {

// True when the text is well-formed UTF-8 (ASCII included).
bool IsUtf8(std::string_view text);

// A line that is not UTF-8, read as Windows-1252 (Latin-1 with the typographic quotes of
// 0x80-0x9F), in UTF-8: the byte 0xBA is "º". Bytes Windows-1252 leaves undefined become
// U+FFFD.
std::string FromWindows1252(std::string_view text);

// UTF-8 text in Windows-1252, for an output that keeps its input's encoding; what
// Windows-1252 cannot hold becomes "?".
std::string ToWindows1252(std::string_view utf8);

// `text` as valid UTF-8: itself when it is, else read as Windows-1252, the encoding of
// most Spanish files that are not UTF-8. `replaced` (when given) grows by the bytes
// Windows-1252 leaves undefined, which become U+FFFD.
std::string ValidUtf8(std::string_view text, int* replaced = nullptr);

// Appends the code point `c` (up to U+10FFFF) to `out` in UTF-8.
void AppendUtf8(std::string& out, char32_t c);

// `text` with its ASCII capitals in lower case, the rest as it is: for extensions and
// names compared without case.
std::string AsciiLower(std::string_view text);

}  // namespace tables
