#include <windows.h>

#include <fstream>
#include <vector>

#include "platform/paths.h"
#include "platform/server_disk.h"
#include "platform/wide_text.h"
#include "runtime/text.h"

namespace kalu {

namespace {

constexpr int32_t kDefaultPort = 5432;

struct KeyCloser {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using KeyHandle = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

// The folder after "-D" in a service's command line ("-D \"C:\\…\\data\"" or "-D C:\\data").
std::optional<std::string> DataFolderOf(std::string_view command) {
  for (std::size_t at = command.find("-D"); at != std::string_view::npos;
       at = command.find("-D", at + 2)) {
    if (at > 0 && command[at - 1] != ' ' && command[at - 1] != '"') continue;
    std::string_view rest = command.substr(at + 2);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    if (rest.starts_with('"')) {
      rest.remove_prefix(1);
      return std::string(rest.substr(0, rest.find('"')));
    }
    if (!rest.empty()) return std::string(rest.substr(0, rest.find(' ')));
  }
  return std::nullopt;
}

// The last "port = N" of a configuration file, 0 when it sets none.
int32_t PortOf(const std::filesystem::path& file) {
  std::ifstream in(file);
  int32_t port = 0;
  for (std::string line; std::getline(in, line);) {
    std::string_view text = line;
    text = text.substr(0, text.find('#'));
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos || !EqualsIgnoreCase(Trim(text.substr(0, equals)), "port"))
      continue;
    std::string value = Trim(text.substr(equals + 1));
    if (!value.empty() && value.front() == '\'') value = value.substr(1);
    int32_t number = 0;
    for (char c : value) {
      if (c < '0' || c > '9' || number > 65535) break;
      number = number * 10 + (c - '0');
    }
    if (number > 0) port = number;
  }
  return port;
}

// The port the server of a data folder listens on: postgresql.auto.conf (ALTER SYSTEM) over
// postgresql.conf, else the default.
int32_t ServerPort(const std::string& folder) {
  const std::filesystem::path dir = PathOf(folder);
  if (int32_t port = PortOf(dir / L"postgresql.auto.conf")) return port;
  if (int32_t port = PortOf(dir / L"postgresql.conf")) return port;
  return kDefaultPort;
}

}  // namespace

std::optional<std::string> LocalServerDataFolder(int32_t port) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services", 0, KEY_READ,
                    &opened) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  KeyHandle services(opened);
  std::vector<std::string> folders;
  std::vector<std::string> matching;
  wchar_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = 256;
    const LSTATUS status =
        RegEnumKeyExW(services.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS) continue;
    if (!ToLower(Utf8Of(std::wstring_view(name, length))).starts_with("postgresql")) continue;
    // The command line, its %variables% expanded.
    DWORD size = 0;
    if (RegGetValueW(services.get(), name, L"ImagePath", RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
        ERROR_SUCCESS) {
      continue;
    }
    std::wstring command(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(command.size() * sizeof(wchar_t));
    if (RegGetValueW(services.get(), name, L"ImagePath", RRF_RT_REG_SZ, nullptr, command.data(),
                     &size) != ERROR_SUCCESS) {
      continue;
    }
    command.resize(wcsnlen(command.c_str(), command.size()));
    const std::optional<std::string> folder = DataFolderOf(Utf8Of(command));
    if (!folder) continue;
    folders.push_back(*folder);
    if (ServerPort(*folder) == port) matching.push_back(*folder);
  }
  if (matching.size() == 1) return matching.front();
  if (matching.empty() && folders.size() == 1) return folders.front();
  return std::nullopt;
}

Status FreeDiskBytes(const std::string& folder, uint64_t& bytes) {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW(WideOf(folder).c_str(), &available, nullptr, nullptr)) {
    return StatusFromWindowsError(GetLastError(), "");
  }
  bytes = available.QuadPart;
  return Status();
}

}  // namespace kalu
