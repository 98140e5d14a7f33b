#include <filesystem>

#include "platform/paths.h"
#include "platform/server_disk.h"
#include "platform/system_error.h"

namespace kalu {

std::optional<std::string> LocalServerDataFolder(int32_t /*port*/) {
  return std::nullopt;
}

std::optional<uint64_t> FreeDiskBytes(const std::string& folder, std::string& error) {
  std::error_code ec;
  const std::filesystem::space_info space = std::filesystem::space(PathOf(folder), ec);
  if (ec) {
    error = ErrorText(ec);
    return std::nullopt;
  }
  return space.available;
}

}  // namespace kalu
