#pragma once
// ZQRegAcc: reads and writes registry values by full path, such as
// "HKEY_CURRENT_USER\Software\Tellmark\Administracion\Sistema" (root prefix, key path, and
// after the last "\" the value name). The roots are matched without regard to case.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace kalu {

// A full path taken apart.
struct RegistryPath {
  RegistryRoot root = RegistryRoot::CurrentUser;
  std::string key;    // "Software\Tellmark\Administracion"
  std::string value;  // "Sistema"
};

// Trims the path, finds the first root prefix it begins with ("HKEY_CLASSES_ROOT\",
// "HKEY_CURRENT_USER\", "HKEY_LOCAL_MACHINE\", "HKEY_USERS\", case-insensitive) and splits
// the rest at its last "\". A rest without "\" names a value of the root key itself. A path
// without a known root is kRegInvalidParameter.
Status ParseRegistryPath(std::string_view fullPath, RegistryPath& path);

// A key created or opened and left open by CreateRegKeyNoCl.
struct RegistryKeyHandle {
  bool open = false;
  RegistryRoot root = RegistryRoot::CurrentUser;
  std::string key;
};

class ZQRegAcc {
 public:
  // The registry of the process (ProcessRegistry()).
  ZQRegAcc();
  // The registry file `file`.
  explicit ZQRegAcc(std::filesystem::path file);

  // A string value as stored, a double-word value as its signed 32-bit number in decimal
  // digits; empty for a missing key or value, a value of another type, or a bad path.
  std::string ReadRegKey(std::string_view fullPath);
  // Writes a string value (text) or a double-word value (number), creating the key when
  // it is missing. A path without a known root is kRegInvalidParameter.
  Status WriteRegKey(std::string_view fullPath, std::string_view text);
  Status WriteRegKey(std::string_view fullPath, int32_t number);
  // Creates (or opens) the key of the path; the key stays open in `key`.
  Status CreateRegKeyNoCl(std::string_view fullPath, RegistryKeyHandle& key);
  // Creates (or opens) the key of the path and closes it.
  Status CreateRegKey(std::string_view fullPath);

  // Whether the registry can be read, and what it is, for the operator (RegistryStore).
  Status Check() const { return store_->Check(); }
  std::string Where() const { return store_->Where(); }

 private:
  Status Write(std::string_view fullPath, RegistryValue value);

  std::unique_ptr<RegistryStore> store_;
};

}  // namespace kalu
