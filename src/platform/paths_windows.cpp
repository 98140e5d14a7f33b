#include <fcntl.h>
#include <io.h>

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

}  // namespace kalu
