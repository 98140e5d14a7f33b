#include <limits.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/paths.h"
#include "platform/process.h"
#include "runtime/text.h"

namespace kalu {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::string ProgramPath(const char* argv0) {
  std::error_code ec;
  std::string path = TextOf(std::filesystem::read_symlink("/proc/self/exe", ec));
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

void EnsureConsole() {
  // Every program has its standard streams here, given by whoever started it.
}

bool WriteText(std::FILE* stream, std::string_view text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  return std::fflush(stream) == 0 && written;
}

bool WaitForInput(std::FILE* stream, int ms) {
  pollfd fd{fileno(stream), POLLIN, 0};
  return poll(&fd, 1, ms) > 0;
}

}  // namespace kalu
