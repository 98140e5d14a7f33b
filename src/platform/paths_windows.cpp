// windows.h first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <knownfolders.h>
#include <shlobj.h>
// clang-format on

#include <memory>

#include "platform/paths.h"
#include "platform/wide_text.h"

namespace kalu {

// The system's own paths: "\" and "/" both separate, names are matched without regard to
// case by the file system itself, and a drive stays a drive.
std::filesystem::path NativePath(std::string_view systemPath) {
  std::filesystem::path path = PathOf(systemPath);
  path.make_preferred();
  return path;
}

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
  return _wfopen(path.c_str(), WideOf(mode).c_str());
}

int OpenForReading(const std::filesystem::path& path) {
  return _wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

int ReadDescriptor(int fd, void* buffer, int size) {
  return static_cast<int>(_read(fd, buffer, static_cast<unsigned>(size)));
}

void CloseDescriptor(int fd) {
  _close(fd);
}

std::filesystem::path UserStateFolder(std::string_view program) {
  PWSTR folder = nullptr;
  const HRESULT found =
      SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &folder);
  // The system allocates the text even when it fails; it is freed either way.
  const std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)> owned(folder, CoTaskMemFree);
  if (FAILED(found) || !folder) return {};
  return std::filesystem::path(folder) / PathOf(program);
}

}  // namespace kalu
