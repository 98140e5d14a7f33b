#pragma once
// The Windows build's program under Wine for end-to-end tests of the Linux build: the
// program KALU_WINDOWS_PROGRAM names, run through scripts/wine-run in the Wine prefix beside
// it ("wine"), reaching the sandbox over TCP 127.0.0.1 (a sandbox started with
// KALU_PG_TCP=1) and reading the store system's values from the prefix's registry.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kalu::test {

// The program KALU_WINDOWS_PROGRAM names, if any.
std::optional<std::filesystem::path> NamedWindowsProgram();

// Readies the working folder, once the sample store is in place there, for `program`:
// Kalu.dsn on TCP 127.0.0.1, the store's registry file imported into the prefix. Returns the
// command that runs the program (arguments follow), or empty with `problem` set when the
// registry could not be imported.
std::vector<std::string> WindowsProgramUnderWine(const std::filesystem::path& program,
                                                 std::string& problem);

}  // namespace kalu::test
