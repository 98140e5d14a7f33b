#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/registry.h"
#include "platform/wide_text.h"

namespace kalu {

namespace {

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::ClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegistryRoot::LocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegistryRoot::Users:
      return HKEY_USERS;
    case RegistryRoot::CurrentUser:
      break;
  }
  return HKEY_CURRENT_USER;
}

// An open key, closed when it goes.
class OpenKey {
 public:
  OpenKey() = default;
  ~OpenKey() {
    if (key_) RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  HKEY* Out() { return &key_; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// The system's registry: the statuses are the system's own, which the registry statuses
// of the program number alike (0 done, 2 not found, 87 a bad parameter).
class SystemRegistry : public RegistryStore {
 public:
  Status Check() const override { return Status(); }
  std::string Where() const override { return "el registro de Windows"; }

  Status ReadValue(RegistryRoot root, std::string_view key, std::string_view name,
                   RegistryValue& value) const override {
    const std::wstring wideKey = WideOf(key);
    const std::wstring wideName = WideOf(name);
    // The size first, then the data; a value that grows in between is read again.
    for (;;) {
      DWORD type = 0;
      DWORD size = 0;
      LSTATUS status = RegGetValueW(RootKey(root), wideKey.c_str(), wideName.c_str(),
                                    RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size);
      if (status != ERROR_SUCCESS) return StatusFromWindowsError(status, key);
      std::vector<BYTE> data(size + sizeof(wchar_t));
      status = RegGetValueW(RootKey(root), wideKey.c_str(), wideName.c_str(),
                            RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(), &size);
      if (status == ERROR_MORE_DATA) continue;
      if (status != ERROR_SUCCESS) return StatusFromWindowsError(status, key);
      value = RegistryValue();
      value.name = std::string(name);
      if (type == REG_SZ || type == REG_EXPAND_SZ) {
        std::wstring_view text(reinterpret_cast<const wchar_t*>(data.data()),
                               size / sizeof(wchar_t));
        while (!text.empty() && text.back() == L'\0') text.remove_suffix(1);
        value.type = RegistryValue::Type::String;
        value.text = Utf8Of(text);
      } else if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD number = 0;
        std::memcpy(&number, data.data(), sizeof number);
        value.type = RegistryValue::Type::Dword;
        value.dword = number;
      } else {
        value.type = RegistryValue::Type::Other;
      }
      return Status();
    }
  }

  Status WriteValue(RegistryRoot root, std::string_view key, RegistryValue value) override {
    OpenKey opened;
    const std::wstring wideKey = WideOf(key);
    LSTATUS status =
        RegCreateKeyExW(RootKey(root), wideKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, opened.Out(), nullptr);
    if (status != ERROR_SUCCESS) return StatusFromWindowsError(status, key);
    const std::wstring wideName = WideOf(value.name);
    switch (value.type) {
      case RegistryValue::Type::String: {
        const std::wstring text = WideOf(value.text);
        status = RegSetValueExW(opened.Get(), wideName.c_str(), 0, REG_SZ,
                                reinterpret_cast<const BYTE*>(text.c_str()),
                                static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        break;
      }
      case RegistryValue::Type::Dword: {
        const DWORD number = value.dword;
        status = RegSetValueExW(opened.Get(), wideName.c_str(), 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&number), sizeof number);
        break;
      }
      case RegistryValue::Type::Other:
        // the program writes only texts and numbers
        return StatusFromWindowsError(ERROR_INVALID_PARAMETER, key);
    }
    return StatusFromWindowsError(status, key);
  }

  Status CreateKey(RegistryRoot root, std::string_view key) override {
    OpenKey opened;
    const std::wstring wideKey = WideOf(key);
    return StatusFromWindowsError(
        RegCreateKeyExW(RootKey(root), wideKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ, nullptr, opened.Out(), nullptr),
        key);
  }
};

}  // namespace

std::unique_ptr<RegistryStore> ProcessRegistry() {
  return std::make_unique<SystemRegistry>();
}

}  // namespace kalu
