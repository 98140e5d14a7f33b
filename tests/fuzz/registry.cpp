// The registry file on any bytes. What must hold for a file that is read:
//  - written and read again it is the same, and written again it gives the same bytes;
//  - a value set in any of its keys and saved is there on the next read, and no other
//    value of that key changes.

#include "platform/registry.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "check.h"
#include "runtime/text.h"

namespace {

using kalu::fuzz::Check;

bool SameValue(const kalu::RegistryValue& a, const kalu::RegistryValue& b) {
  return a.name == b.name && a.type == b.type && a.text == b.text && a.dword == b.dword &&
         a.raw == b.raw;
}

// Sets a new string value in the key and checks what the saved text reads back as.
void SetAndReadBack(const std::string& text, const kalu::RegistryKey& key) {
  kalu::RegistryDocument document;
  std::string error;
  Check(document.Parse(text, error), "a written file reads");
  kalu::RegistryValue value;
  value.name = "KaluFuzzUsuario";
  value.text = "ana";
  document.SetValue(key.root, key.path, value);
  kalu::RegistryDocument saved;
  Check(saved.Parse(document.Text(), error), "a saved file reads");
  const kalu::RegistryValue* found = saved.FindValue(key.root, key.path, value.name);
  Check(found && found->type == kalu::RegistryValue::Type::String && found->text == "ana",
        "a value set and saved is there on the next read");
  for (const kalu::RegistryValue& former : key.values) {
    if (kalu::EqualsIgnoreCase(former.name, value.name)) continue;
    const kalu::RegistryValue* after = saved.FindValue(key.root, key.path, former.name);
    Check(after && SameValue(*after, former), "the other values of the key stay");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view content(reinterpret_cast<const char*>(data), size);
  kalu::RegistryDocument first;
  std::string error;
  if (!first.Parse(content, error)) return 0;
  const std::string written = first.Text();

  kalu::RegistryDocument second;
  Check(second.Parse(written, error), "a written file reads");
  Check(second.Keys().size() == first.Keys().size(), "the keys read back");
  for (std::size_t k = 0; k < first.Keys().size(); ++k) {
    const kalu::RegistryKey& a = first.Keys()[k];
    const kalu::RegistryKey& b = second.Keys()[k];
    Check(a.root == b.root && a.path == b.path && a.values.size() == b.values.size(),
          "a key reads back the same");
    for (std::size_t v = 0; v < a.values.size(); ++v) {
      Check(SameValue(a.values[v], b.values[v]), "a value reads back the same");
    }
  }
  Check(second.Text() == written, "write, read, write gives the same bytes");

  if (!second.Keys().empty()) {
    SetAndReadBack(written, second.Keys().front());
    SetAndReadBack(written, second.Keys().back());
  }
  return 0;
}
