#include <filesystem>

#include "platform/paths.h"
#include "platform/server_disk.h"

namespace kalu {

std::optional<std::string> LocalServerDataFolder(int32_t /*port*/) {
  return std::nullopt;
}

Status FreeDiskBytes(const std::string& folder, uint64_t& bytes) {
  std::error_code ec;
  bytes = std::filesystem::space(PathOf(folder), ec).available;
  return ec ? StatusFromErrno(ec.value(), "") : Status();
}

}  // namespace kalu
