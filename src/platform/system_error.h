#pragma once
// The system's text of an error, in UTF-8. On Windows the texts come from FormatMessageW,
// in the language of the system, whatever the code page of the process is (Windows 10
// LTSC ignores the UTF-8 code page that the program's manifest asks for).

#include <string>
#include <system_error>

namespace kalu {

std::string ErrorText(const std::error_code& error);

}  // namespace kalu
