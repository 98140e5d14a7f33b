#include "platform/zqregacc.h"

#include <array>

#include "runtime/text.h"

namespace kalu {

namespace {

// The root prefixes in the order they are tried.
constexpr std::array<std::pair<std::string_view, RegistryRoot>, 4> kPrefixes = {{
    {"HKEY_CLASSES_ROOT\\", RegistryRoot::ClassesRoot},
    {"HKEY_CURRENT_USER\\", RegistryRoot::CurrentUser},
    {"HKEY_LOCAL_MACHINE\\", RegistryRoot::LocalMachine},
    {"HKEY_USERS\\", RegistryRoot::Users},
}};

}  // namespace

Status ParseRegistryPath(std::string_view fullPath, RegistryPath& path) {
  std::string trimmed = Trim(fullPath);
  for (const auto& [prefix, root] : kPrefixes) {
    if (trimmed.size() < prefix.size() ||
        !EqualsIgnoreCase(std::string_view(trimmed).substr(0, prefix.size()), prefix))
      continue;
    std::string rest = trimmed.substr(prefix.size());
    std::size_t last = rest.rfind('\\');
    path.root = root;
    if (last == std::string::npos) {
      path.key.clear();
      path.value = rest;
    } else {
      path.key = rest.substr(0, last);
      path.value = rest.substr(last + 1);
    }
    return Status();
  }
  return Status(kRegInvalidParameter,
                "ruta del registro sin raíz conocida: " + std::string(fullPath));
}

ZQRegAcc::ZQRegAcc() : store_(ProcessRegistry()) {}
ZQRegAcc::ZQRegAcc(std::filesystem::path file)
    : store_(std::make_unique<RegistryFile>(std::move(file))) {}

std::string ZQRegAcc::ReadRegKey(std::string_view fullPath) {
  RegistryPath path;
  if (!ParseRegistryPath(fullPath, path).ok()) return {};
  RegistryValue value;
  if (!store_->ReadValue(path.root, path.key, path.value, value).ok()) return {};
  switch (value.type) {
    case RegistryValue::Type::String:
      return value.text;
    case RegistryValue::Type::Dword:
      return std::to_string(static_cast<int32_t>(value.dword));
    case RegistryValue::Type::Other:
      break;
  }
  return {};
}

Status ZQRegAcc::WriteRegKey(std::string_view fullPath, std::string_view text) {
  RegistryValue value;
  value.type = RegistryValue::Type::String;
  value.text = std::string(text);
  return Write(fullPath, std::move(value));
}

Status ZQRegAcc::WriteRegKey(std::string_view fullPath, int32_t number) {
  RegistryValue value;
  value.type = RegistryValue::Type::Dword;
  value.dword = static_cast<uint32_t>(number);
  return Write(fullPath, std::move(value));
}

Status ZQRegAcc::Write(std::string_view fullPath, RegistryValue value) {
  RegistryPath path;
  if (Status parsed = ParseRegistryPath(fullPath, path); !parsed.ok()) return parsed;
  value.name = path.value;
  return store_->WriteValue(path.root, path.key, std::move(value));
}

Status ZQRegAcc::CreateRegKeyNoCl(std::string_view fullPath, RegistryKeyHandle& key) {
  key = RegistryKeyHandle();
  RegistryPath path;
  if (Status parsed = ParseRegistryPath(fullPath, path); !parsed.ok()) return parsed;
  if (Status status = store_->CreateKey(path.root, path.key); !status.ok()) return status;
  key.open = true;
  key.root = path.root;
  key.key = path.key;
  return Status();
}

Status ZQRegAcc::CreateRegKey(std::string_view fullPath) {
  RegistryKeyHandle key;
  Status status = CreateRegKeyNoCl(fullPath, key);
  key.open = false;  // the key is closed by the store after every operation
  return status;
}

}  // namespace kalu
