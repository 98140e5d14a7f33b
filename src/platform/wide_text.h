#pragma once
// Between the program's UTF-8 texts and the UTF-16 texts of the system's wide calls.
// Invalid UTF-8 becomes U+FFFD, as does an unpaired surrogate going back.

#include <string>
#include <string_view>

namespace kalu {

std::wstring WideOf(std::string_view utf8);
std::string Utf8Of(std::wstring_view wide);

}  // namespace kalu
