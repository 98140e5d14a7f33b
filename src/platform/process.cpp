#include "platform/process.h"

#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "runtime/text.h"

namespace kalu {

std::string ProgramPath(const char* argv0) {
  std::error_code ec;
  std::string path = std::filesystem::read_symlink("/proc/self/exe", ec).string();
  return path.empty() ? std::string(argv0) : path;
}

std::string WorkstationName(int16_t length) {
  char name[HOST_NAME_MAX + 1] = {};
  if (length <= 0 || gethostname(name, sizeof name - 1) != 0) return "";
  return Trim(std::string_view(name, std::min<std::size_t>(std::strlen(name), length)));
}

std::string LoginName() {
  const char* name = std::getenv("LOGNAME");
  return name ? name : "";
}

bool IsTerminal(std::FILE* stream) {
  return isatty(fileno(stream)) != 0;
}

}  // namespace kalu
