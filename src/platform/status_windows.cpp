#include <windows.h>

#include <memory>

#include "platform/status.h"
#include "platform/wide_text.h"

namespace kalu {

Status StatusFromWindowsError(unsigned long error, std::string_view context) {
  if (error == ERROR_SUCCESS) return Status();
  LPWSTR buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  std::unique_ptr<wchar_t, decltype(&LocalFree)> owned(buffer, &LocalFree);
  const auto code = static_cast<int32_t>(error);
  if (length == 0 || !buffer) {
    return Status(code, context, "error " + std::to_string(error) + " del sistema");
  }
  std::wstring_view text(buffer, length);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' ||
                           text.back() == L'.')) {
    text.remove_suffix(1);
  }
  return Status(code, context, Utf8Of(text));
}

}  // namespace kalu
