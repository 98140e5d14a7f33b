#include <ini.h>

#include "platform/settings_file.h"
#include "runtime/text.h"

namespace kalu {

namespace {

struct KeyLookup {
  std::string_view section;
  std::string_view key;
  std::optional<std::string> value;
};

int FindKey(void* user, const char* section, const char* name, const char* value) {
  auto* lookup = static_cast<KeyLookup*>(user);
  if (!lookup->value && EqualsIgnoreCase(section, lookup->section) &&
      EqualsIgnoreCase(name, lookup->key)) {
    lookup->value = value;
  }
  return 1;
}

}  // namespace

std::optional<std::string> ReadSettingsValue(const std::filesystem::path& path,
                                             std::string_view section, std::string_view key) {
  KeyLookup lookup{section, key, std::nullopt};
  ini_parse(path.c_str(), FindKey, &lookup);
  return lookup.value;
}

}  // namespace kalu
