#include <windows.h>

#include <vector>

#include "platform/settings_file.h"
#include "platform/wide_text.h"

namespace kalu {

std::optional<std::string> ReadSettingsValue(const std::filesystem::path& path,
                                             std::string_view section, std::string_view key) {
  // The system looks for a file named without a folder in the Windows folder.
  std::error_code ec;
  const std::filesystem::path file = std::filesystem::absolute(path, ec);
  if (ec || !std::filesystem::is_regular_file(file, ec)) return std::nullopt;
  // A missing key gives the default: one no file can hold (a value ends at its line).
  const wchar_t* const missing = L"\n";
  const std::wstring wideSection = WideOf(section);
  const std::wstring wideKey = WideOf(key);
  std::vector<wchar_t> value(256);
  for (;;) {
    const DWORD length =
        GetPrivateProfileStringW(wideSection.c_str(), wideKey.c_str(), missing, value.data(),
                                 static_cast<DWORD>(value.size()), file.c_str());
    // A value that fills the buffer may have been cut: read it again into a larger one.
    if (length + 1 < value.size() || value.size() >= 1u << 20) {
      std::wstring_view text(value.data(), length);
      if (text == missing) return std::nullopt;
      return Utf8Of(text);
    }
    value.resize(value.size() * 4);
  }
}

}  // namespace kalu
