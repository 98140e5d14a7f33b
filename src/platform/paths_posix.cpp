#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <optional>
#include <string>
#include <system_error>

#include "platform/paths.h"
#include "runtime/text.h"

namespace kalu {

namespace {

// The name of the entry of `folder` that is `name` without regard to case: the exact name
// when it exists, else the first such entry in name order; nothing when there is none.
std::optional<std::string> ExistingEntry(const std::filesystem::path& folder,
                                         const std::string& name) {
  const std::filesystem::path where = folder.empty() ? "." : folder;
  std::error_code ec;
  std::optional<std::string> found;
  std::filesystem::directory_iterator it(where, ec);
  for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    std::string entry = TextOf(it->path().filename());
    if (entry == name) return entry;
    if (EqualsIgnoreCase(entry, name) && (!found || entry < *found)) found = entry;
  }
  return found;
}

}  // namespace

std::filesystem::path NativePath(std::string_view systemPath) {
  std::string text(systemPath);
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  // A drive stands for the root of the file system.
  if (text.size() >= 2 && text[1] == ':' && std::isalpha(static_cast<unsigned char>(text[0]))) {
    text.erase(0, 2);
    if (!text.starts_with('/')) text.insert(0, "/");
  }

  std::filesystem::path result = text.starts_with('/') ? "/" : "";
  bool matching = true;  // below a component that does not exist nothing can be found
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('/', start);
    if (end == std::string::npos) end = text.size();
    std::string name = text.substr(start, end - start);
    start = end + 1;
    if (name.empty() || name == ".") continue;  // ".\" is the working folder
    if (name != ".." && matching) {
      std::optional<std::string> entry = ExistingEntry(result, name);
      matching = entry.has_value();
      if (entry) name = *entry;
    }
    result /= name;
  }
  if (text.ends_with('/') && !result.empty() && result != "/") result += "/";
  return result;
}

std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

int OpenForReading(const std::filesystem::path& path) {
  return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

int ReadDescriptor(int fd, void* buffer, int size) {
  return static_cast<int>(::read(fd, buffer, static_cast<std::size_t>(size)));
}

void CloseDescriptor(int fd) {
  ::close(fd);
}

std::filesystem::path UserStateFolder(std::string_view program) {
  // A relative XDG_STATE_HOME is not one: the base directories take absolute paths only.
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && state[0] == '/') return PathOf(state) / PathOf(program);
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return PathOf(home) / ".local" / "state" / PathOf(program);
  return {};
}

}  // namespace kalu
