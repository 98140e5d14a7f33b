#pragma once
// File names stay texts in the system's own form (".\importar\DATOS.XMZ", folders ending
// in "\"). NativePath turns such a text into a native path at the moment a file is opened,
// created or deleted. Where the file system tells case and takes "/" ("\" being a letter
// of a name), "\" becomes "/" and each component is matched without regard to case against
// what exists in its folder, so ".\importar" and "Importar" are one folder.
//
// Texts are UTF-8 throughout the program, whatever the system's own encoding of file
// names: PathOf and TextOf are the only way between a text and a std::filesystem::path
// (a path built straight from a std::string takes the system's code page, not UTF-8).

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace kalu {

std::filesystem::path NativePath(std::string_view systemPath);

// The path named by a UTF-8 text, as it is (no matching of names).
std::filesystem::path PathOf(std::string_view utf8);
// The UTF-8 text of a path.
std::string TextOf(const std::filesystem::path& path);

// std::fopen of a native path; null (errno set) when the file cannot be opened. The caller
// closes the file.
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);
// A read-only file descriptor of a native path, -1 (errno set) when it cannot be opened;
// the caller closes it with CloseDescriptor.
int OpenForReading(const std::filesystem::path& path);
// Reads up to `size` bytes: how many were read, 0 at the end, -1 (errno set) on a failure.
int ReadDescriptor(int fd, void* buffer, int size);
void CloseDescriptor(int fd);

// The folder of the user's own where `program` keeps its files when the working folder
// cannot take them: on Windows the local application data folder
// (FOLDERID_LocalAppData, "%LOCALAPPDATA%\<program>"), which stays on the machine and
// follows no roaming profile; on Linux the state folder of the XDG base directories
// ("$XDG_STATE_HOME/<program>", "~/.local/state/<program>" when that is unset), the one
// they name for logs and histories. Empty when the system cannot tell; not created here.
std::filesystem::path UserStateFolder(std::string_view program);

}  // namespace kalu
