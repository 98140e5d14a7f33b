#pragma once
// Text helpers of the runtime. Texts are UTF-8; widths and lengths count characters.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kalu {

std::string Trim(std::string_view s);     // leading and trailing blanks removed
std::string RTrim(std::string_view s);    // trailing blanks removed
std::string LTrim(std::string_view s);    // leading blanks removed
std::string ToLower(std::string_view s);  // ASCII letters only
std::string ToUpper(std::string_view s);  // ASCII letters only
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// Number of characters of a UTF-8 text.
std::size_t CharLength(std::string_view s);
// The first `chars` characters of a UTF-8 text.
std::string CutToChars(std::string_view s, std::size_t chars);
// The text followed by blanks up to `chars` characters (as it is when it is that long).
std::string PadRight(std::string_view s, std::size_t chars);

// Converts ISO-8859-1 bytes to UTF-8 (used where a file declares no UTF-8).
std::string Latin1ToUtf8(std::string_view s);

// Appends the UTF-8 bytes of the character `code`.
void AppendUtf8(std::string& out, uint32_t code);
// UTF-16 bytes (little-endian unless `bigEndian`), without their mark, as UTF-8; an unpaired
// surrogate becomes U+FFFD and an odd last byte is dropped.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian = false);

}  // namespace kalu
