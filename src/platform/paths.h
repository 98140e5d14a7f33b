#pragma once
// File names stay texts in the system's own form (".\importar\DATOS.XMZ", folders ending
// in "\"). NativePath turns such a text into a native path at the moment a file is opened,
// created or deleted: "\" becomes "/", and each component is matched without regard to
// case against what exists in its folder, so ".\importar" and "Importar" are one folder.

#include <filesystem>
#include <string_view>

namespace kalu {

std::filesystem::path NativePath(std::string_view systemPath);

}  // namespace kalu
