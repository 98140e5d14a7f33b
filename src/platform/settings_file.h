#pragma once
// Private-profile settings files: the installation's `kalu-upgrade.INI` beside the program,
// and the data source file `Kalu.dsn`. One reader on every system, as tolerant as the
// stores' files need:
//  - the encodings the stores' editors write: UTF-8 (with or without its byte-order mark,
//    which PowerShell 5.1 writes), UTF-16 with its mark (Notepad's "Unicode"), and
//    windows-1252 for every byte that is not part of a UTF-8 character;
//  - lines ended by CR, LF or both; blanks and tabs around names and values are dropped;
//    a value in double quotes loses them, as the system's profile functions do;
//  - a line whose first character is ';' or '#' is a comment (nothing after a value is);
//  - sections and keys compared without regard to case, as the system's settings reader
//    does; the first occurrence of a key in its section wins.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kalu {

// The file's bytes as UTF-8 text, the byte-order mark removed.
std::string SettingsText(std::string_view bytes);

// The value of `key` in `section` of a settings text (as SettingsText gives it); nothing
// when the section or the key is missing.
std::optional<std::string> FindSettingsValue(std::string_view text, std::string_view section,
                                             std::string_view key);
// Whether the settings text has the section (empty or not).
bool HasSettingsSection(std::string_view text, std::string_view section);

// The value of `key` in `section` of the settings file at `path` (a native path); nothing
// when the file, the section or the key is missing.
std::optional<std::string> ReadSettingsValue(const std::filesystem::path& path,
                                             std::string_view section, std::string_view key);
// The settings file at `path` as text; nothing when it cannot be read.
std::optional<std::string> ReadSettingsText(const std::filesystem::path& path);

}  // namespace kalu
