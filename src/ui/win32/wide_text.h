#pragma once
// UTF-8 inside the program, UTF-16 at every call of the window system.

#include <string>
#include <string_view>

namespace kalu {

// The UTF-16 form of UTF-8 `text` (invalid bytes become U+FFFD).
std::wstring WideOf(std::string_view text);
// The UTF-8 form of UTF-16 `text`.
std::string Utf8Of(std::wstring_view text);

}  // namespace kalu
