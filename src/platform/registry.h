#pragma once
// The registry of the current user. A program reads and writes it through a RegistryStore:
// the system's own registry where the system has one, and elsewhere a file in the registry
// editor's export format:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Tellmark\Administracion]
//   "Sistema"="KaluBO"
//   "Intentos"=dword:0000002a
//
// The file is named by the environment variable KALU_REGISTRY, or else
// ~/.config/kalu/registry.reg. Key and value names are matched without regard to case, as
// the registry does. Every change is written through a temporary file and a rename, so
// that the file holds either its former or its new content at every moment. The file is
// read afresh for every operation: the store's login system writes it too.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace kalu {

// The codes of the registry's statuses, as the registry functions number them.
constexpr int32_t kRegOk = 0;
constexpr int32_t kRegNotFound = 2;           // the key or value does not exist
constexpr int32_t kRegInvalidParameter = 87;  // a path without a known root
constexpr int32_t kRegCorrupt = 1015;         // the file is not in the export format
constexpr int32_t kRegIoFailed = 1016;        // the file could not be read or written

enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine, Users };

// The header name of a root ("HKEY_CURRENT_USER").
std::string_view RootName(RegistryRoot root);

struct RegistryValue {
  enum class Type { String, Dword, Other };
  std::string name;  // empty: the key's default value ("@")
  Type type = Type::String;
  std::string text;    // String: the text
  uint32_t dword = 0;  // Dword: the number
  std::string raw;     // Other: the data as written after "=" (kept unchanged)
};

struct RegistryKey {
  RegistryRoot root = RegistryRoot::CurrentUser;
  std::string path;  // below the root, "Software\Tellmark\Administracion"; empty: the root
  std::vector<RegistryValue> values;
};

// The whole content of a registry file.
class RegistryDocument {
 public:
  // Parses the export format (UTF-8, or UTF-16LE with its byte-order mark). False with a
  // reason when the text is not in that format.
  bool Parse(std::string_view content, std::string& error);
  // The export format, UTF-8, lines ending in "\r\n".
  std::string Text() const;

  // A key exists when it has a section of its own or a key below it has one.
  bool KeyExists(RegistryRoot root, std::string_view path) const;
  const RegistryValue* FindValue(RegistryRoot root, std::string_view path,
                                 std::string_view name) const;
  // The key's section, created (at the end) when missing.
  RegistryKey& CreateKey(RegistryRoot root, std::string_view path);
  // Sets a value of an existing or new key.
  void SetValue(RegistryRoot root, std::string_view path, RegistryValue value);

  const std::vector<RegistryKey>& Keys() const { return keys_; }

 private:
  RegistryKey* FindKey(RegistryRoot root, std::string_view path);
  const RegistryKey* FindKey(RegistryRoot root, std::string_view path) const;

  std::vector<RegistryKey> keys_;
};

// The registry file where the system has no registry: KALU_REGISTRY, or
// ~/.config/kalu/registry.reg.
std::filesystem::path DefaultRegistryPath();

// Reads a registry file: ok (a missing file is an empty registry), kRegIoFailed ("no se
// puede leer <file>") or kRegCorrupt ("formato no válido en <file>").
Status LoadRegistry(const std::filesystem::path& path, RegistryDocument& document);
// Writes a registry file atomically, creating its folder when needed: ok or kRegIoFailed.
Status SaveRegistry(const std::filesystem::path& path, const RegistryDocument& document);

// Values of the registry by root, key and value name (names without regard to case). The
// statuses' codes are those above, the system's own for the system's registry; their texts
// name the registry.
class RegistryStore {
 public:
  virtual ~RegistryStore() = default;
  // Ok when the registry can be read; kRegNotFound ("no existe <file>") when it does not
  // exist (a registry file that is not there), kRegIoFailed or kRegCorrupt.
  virtual Status Check() const = 0;
  // What the operator is told the registry is: a file's path, or the system's registry.
  virtual std::string Where() const = 0;
  // Ok with the value; kRegNotFound when the key or the value is missing; or the status of
  // a registry that cannot be read.
  virtual Status ReadValue(RegistryRoot root, std::string_view key, std::string_view name,
                           RegistryValue& value) const = 0;
  // Sets the value (named by value.name), creating the key when it is missing.
  virtual Status WriteValue(RegistryRoot root, std::string_view key, RegistryValue value) = 0;
  // Creates the key when it is missing.
  virtual Status CreateKey(RegistryRoot root, std::string_view key) = 0;
};

// A registry file as a RegistryStore: read afresh for every operation, written atomically.
class RegistryFile : public RegistryStore {
 public:
  explicit RegistryFile(std::filesystem::path file) : file_(std::move(file)) {}
  Status Check() const override;
  std::string Where() const override;
  Status ReadValue(RegistryRoot root, std::string_view key, std::string_view name,
                   RegistryValue& value) const override;
  Status WriteValue(RegistryRoot root, std::string_view key, RegistryValue value) override;
  Status CreateKey(RegistryRoot root, std::string_view key) override;

 private:
  std::filesystem::path file_;
};

// The registry of the process: the system's registry of the current user where the system
// has one, else the registry file of DefaultRegistryPath().
std::unique_ptr<RegistryStore> ProcessRegistry();

}  // namespace kalu
