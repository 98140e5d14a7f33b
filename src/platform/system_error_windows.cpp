#include <windows.h>

#include <memory>

#include "platform/system_error.h"
#include "platform/wide_text.h"

namespace kalu {

std::string ErrorText(const std::error_code& error) {
  // The C runtime's numbers (std::errc) have texts of their own; the system's numbers are
  // the system category (MinGW's std::filesystem reports the system's).
  if (error.category() != std::system_category()) return error.message();
  LPWSTR buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error.value()), 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  std::unique_ptr<wchar_t, decltype(&LocalFree)> owned(buffer, &LocalFree);
  if (length == 0 || !buffer) return "error " + std::to_string(error.value()) + " del sistema";
  std::wstring_view text(buffer, length);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                           text.back() == L'.')) {
    text.remove_suffix(1);
  }
  return Utf8Of(text);
}

}  // namespace kalu
