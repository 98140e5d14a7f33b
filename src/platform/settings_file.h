#pragma once
// Private-profile settings files: the installation's `kalu-upgrade.INI` beside the program,
// and the data source file `Kalu.dsn`. Sections and keys are compared without regard to
// case, as the system's settings reader does.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kalu {

// The value of `key` in `section` of the settings file at `path` (a native path); nothing
// when the file, the section or the key is missing. The first occurrence wins.
std::optional<std::string> ReadSettingsValue(const std::filesystem::path& path,
                                             std::string_view section, std::string_view key);

}  // namespace kalu
