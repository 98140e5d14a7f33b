#include "platform/registry.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <utility>

#include "platform/paths.h"
#include "platform/replacement_file.h"
#include "runtime/text.h"

namespace kalu {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeaderV4 = "REGEDIT4";

constexpr std::array<std::pair<RegistryRoot, std::string_view>, 4> kRoots = {{
    {RegistryRoot::ClassesRoot, "HKEY_CLASSES_ROOT"},
    {RegistryRoot::CurrentUser, "HKEY_CURRENT_USER"},
    {RegistryRoot::LocalMachine, "HKEY_LOCAL_MACHINE"},
    {RegistryRoot::Users, "HKEY_USERS"},
}};

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// A quoted text at the start of `s` with the escapes "\\" and "\""; `s` moves past it.
bool ParseQuoted(std::string_view& s, std::string& out) {
  if (s.empty() || s.front() != '"') return false;
  out.clear();
  for (std::size_t i = 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '\\' && i + 1 < s.size()) {
      out += s[++i];
    } else if (c == '"') {
      s.remove_prefix(i + 1);
      return true;
    } else {
      out += c;
    }
  }
  return false;
}

std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

bool SamePath(std::string_view a, std::string_view b) {
  return EqualsIgnoreCase(a, b);
}

// "HKEY_CURRENT_USER\Software\X" split into its root and the path below it.
bool SplitKeyName(std::string_view name, RegistryRoot& root, std::string& path) {
  for (const auto& [r, rootName] : kRoots) {
    if (name.size() < rootName.size() ||
        !EqualsIgnoreCase(name.substr(0, rootName.size()), rootName))
      continue;
    std::string_view rest = name.substr(rootName.size());
    if (!rest.empty() && rest.front() != '\\') continue;
    if (!rest.empty()) rest.remove_prefix(1);
    while (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
    root = r;
    path = std::string(rest);
    return true;
  }
  return false;
}

// "hex:01,02" or "hex(2):41,00": data the editor may spread over several lines.
bool IsBinaryData(std::string_view data) {
  return data.size() >= 3 && EqualsIgnoreCase(data.substr(0, 3), "hex");
}

bool ParseData(std::string_view data, RegistryValue& value) {
  if (!data.empty() && data.front() == '"') {
    std::string text;
    if (!ParseQuoted(data, text) || !Trim(data).empty()) return false;
    value.type = RegistryValue::Type::String;
    value.text = std::move(text);
    return true;
  }
  if (data.size() > 6 && EqualsIgnoreCase(data.substr(0, 6), "dword:")) {
    std::string digits(data.substr(6));
    char* end = nullptr;
    unsigned long number = std::strtoul(digits.c_str(), &end, 16);
    if (digits.empty() || digits.size() > 8 || *end != '\0') return false;
    value.type = RegistryValue::Type::Dword;
    value.dword = static_cast<uint32_t>(number);
    return true;
  }
  value.type = RegistryValue::Type::Other;
  value.raw = std::string(data);
  return true;
}

}  // namespace

std::string_view RootName(RegistryRoot root) {
  for (const auto& [r, name] : kRoots) {
    if (r == root) return name;
  }
  return {};
}

bool RegistryDocument::Parse(std::string_view content, std::string& error) {
  keys_.clear();
  std::string converted;
  if (content.size() >= 2 && static_cast<uint8_t>(content[0]) == 0xFF &&
      static_cast<uint8_t>(content[1]) == 0xFE) {
    converted = Utf16ToUtf8(content.substr(2));  // the registry editor's exports
    content = converted;
  } else if (content.starts_with("\xEF\xBB\xBF")) {
    content.remove_prefix(3);
  }

  std::vector<std::string_view> lines = SplitLines(content);
  std::size_t i = 0;
  while (i < lines.size() && Trim(lines[i]).empty()) ++i;
  if (i == lines.size() || (Trim(lines[i]) != kHeader && Trim(lines[i]) != kHeaderV4)) {
    error = "the file does not begin with \"" + std::string(kHeader) + "\"";
    return false;
  }

  RegistryKey* current = nullptr;
  bool skipping = false;  // inside a section that is deleted or has an unknown root
  for (++i; i < lines.size(); ++i) {
    std::string line = Trim(lines[i]);
    const std::size_t lineNumber = i + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      if (line.back() != ']') {
        error = "line " + std::to_string(lineNumber) + ": a key name without \"]\"";
        return false;
      }
      std::string_view name = std::string_view(line).substr(1, line.size() - 2);
      bool remove = !name.empty() && name.front() == '-';
      if (remove) name.remove_prefix(1);
      RegistryRoot root;
      std::string path;
      current = nullptr;
      skipping = true;
      if (!SplitKeyName(name, root, path)) continue;
      if (remove) {
        std::erase_if(keys_, [&](const RegistryKey& k) {
          return k.root == root &&
                 (SamePath(k.path, path) ||
                  (k.path.size() > path.size() && k.path[path.size()] == '\\' &&
                   SamePath(std::string_view(k.path).substr(0, path.size()), path)));
        });
        continue;
      }
      current = &CreateKey(root, path);
      skipping = false;
      continue;
    }
    if (skipping) continue;
    if (!current) {
      error = "line " + std::to_string(lineNumber) + ": a value outside any key";
      return false;
    }
    std::string_view rest = line;
    RegistryValue value;
    if (rest.front() == '@') {
      rest.remove_prefix(1);
    } else if (!ParseQuoted(rest, value.name)) {
      error = "line " + std::to_string(lineNumber) + ": a value name that is not quoted";
      return false;
    }
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    if (rest.empty() || rest.front() != '=') {
      error = "line " + std::to_string(lineNumber) + ": a value without \"=\"";
      return false;
    }
    std::string data = Trim(rest.substr(1));
    // Binary data goes on over lines that end in "\". A "\" on the last line of a file
    // cut short ends the data: it is never kept, so what is written back reads back alike.
    while (IsBinaryData(data) && data.back() == '\\') {
      data.pop_back();
      if (i + 1 < lines.size()) data += Trim(lines[++i]);
      data = RTrim(data);  // as a line of its own would be
    }
    if (data == "-") {
      std::erase_if(current->values,
                    [&](const RegistryValue& v) { return EqualsIgnoreCase(v.name, value.name); });
      continue;
    }
    if (!ParseData(data, value)) {
      error = "line " + std::to_string(lineNumber) + ": data that cannot be read";
      return false;
    }
    SetValue(current->root, current->path, std::move(value));
  }
  return true;
}

std::string RegistryDocument::Text() const {
  std::string out = std::string(kHeader) + "\r\n\r\n";
  for (const RegistryKey& key : keys_) {
    out += "[" + std::string(RootName(key.root));
    if (!key.path.empty()) out += "\\" + key.path;
    out += "]\r\n";
    for (const RegistryValue& v : key.values) {
      out += v.name.empty() ? std::string("@") : Quoted(v.name);
      out += "=";
      switch (v.type) {
        case RegistryValue::Type::String:
          out += Quoted(v.text);
          break;
        case RegistryValue::Type::Dword: {
          char hex[16];
          std::snprintf(hex, sizeof hex, "dword:%08x", v.dword);
          out += hex;
          break;
        }
        case RegistryValue::Type::Other:
          out += v.raw;
          break;
      }
      out += "\r\n";
    }
    out += "\r\n";
  }
  return out;
}

const RegistryKey* RegistryDocument::FindKey(RegistryRoot root, std::string_view path) const {
  for (const RegistryKey& k : keys_) {
    if (k.root == root && SamePath(k.path, path)) return &k;
  }
  return nullptr;
}

RegistryKey* RegistryDocument::FindKey(RegistryRoot root, std::string_view path) {
  return const_cast<RegistryKey*>(std::as_const(*this).FindKey(root, path));
}

bool RegistryDocument::KeyExists(RegistryRoot root, std::string_view path) const {
  if (path.empty()) return true;
  for (const RegistryKey& k : keys_) {
    if (k.root != root) continue;
    if (SamePath(k.path, path)) return true;
    if (k.path.size() > path.size() && k.path[path.size()] == '\\' &&
        SamePath(std::string_view(k.path).substr(0, path.size()), path))
      return true;
  }
  return false;
}

const RegistryValue* RegistryDocument::FindValue(RegistryRoot root, std::string_view path,
                                                 std::string_view name) const {
  const RegistryKey* key = FindKey(root, path);
  if (!key) return nullptr;
  for (const RegistryValue& v : key->values) {
    if (EqualsIgnoreCase(v.name, name)) return &v;
  }
  return nullptr;
}

RegistryKey& RegistryDocument::CreateKey(RegistryRoot root, std::string_view path) {
  if (RegistryKey* key = FindKey(root, path)) return *key;
  RegistryKey key;
  key.root = root;
  key.path = std::string(path);
  keys_.push_back(std::move(key));
  return keys_.back();
}

void RegistryDocument::SetValue(RegistryRoot root, std::string_view path, RegistryValue value) {
  RegistryKey& key = CreateKey(root, path);
  for (RegistryValue& v : key.values) {
    if (EqualsIgnoreCase(v.name, value.name)) {
      value.name = v.name;  // the name keeps the spelling it was created with
      v = std::move(value);
      return;
    }
  }
  key.values.push_back(std::move(value));
}

std::filesystem::path DefaultRegistryPath() {
  if (const char* env = std::getenv("KALU_REGISTRY"); env && *env) return PathOf(env);
  const char* home = std::getenv("HOME");
  std::filesystem::path base = home && *home ? PathOf(home) : std::filesystem::path(".");
  return base / ".config" / "kalu" / "registry.reg";
}

Status LoadRegistry(const std::filesystem::path& path, RegistryDocument& document) {
  document = RegistryDocument();
  std::vector<uint8_t> bytes;
  const Status read = ReadWholeFile(path, bytes);
  if (read.code() == ENOENT || read.code() == ENOTDIR) return Status();  // an empty registry
  if (!read.ok()) return Status(kRegIoFailed, "no se puede leer " + TextOf(path));
  std::string error;
  if (document.Parse(std::string(bytes.begin(), bytes.end()), error)) return Status();
  return Status(kRegCorrupt, "formato no válido en " + TextOf(path));
}

Status SaveRegistry(const std::filesystem::path& path, const RegistryDocument& document) {
  std::error_code ec;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  std::string text = document.Text();
  const Status written = ReplaceFileContent(path, text.data(), text.size());
  return written.ok() ? written : Status(kRegIoFailed, written.text());
}

Status RegistryFile::Check() const {
  std::error_code ec;
  if (!std::filesystem::exists(file_, ec) && !ec) {
    return Status(kRegNotFound, "no existe " + TextOf(file_));
  }
  RegistryDocument document;
  return LoadRegistry(file_, document);
}

std::string RegistryFile::Where() const {
  return TextOf(file_);
}

Status RegistryFile::ReadValue(RegistryRoot root, std::string_view key, std::string_view name,
                               RegistryValue& value) const {
  RegistryDocument registry;
  if (Status status = LoadRegistry(file_, registry); !status.ok()) return status;
  const RegistryValue* found = registry.FindValue(root, key, name);
  if (!found) {
    return Status(kRegNotFound, "no existe " + std::string(key) + "\\" + std::string(name));
  }
  value = *found;
  return Status();
}

Status RegistryFile::WriteValue(RegistryRoot root, std::string_view key, RegistryValue value) {
  RegistryDocument registry;
  if (Status status = LoadRegistry(file_, registry); !status.ok()) return status;
  registry.SetValue(root, key, std::move(value));  // creates the key when missing
  return SaveRegistry(file_, registry);
}

Status RegistryFile::CreateKey(RegistryRoot root, std::string_view key) {
  RegistryDocument registry;
  if (Status status = LoadRegistry(file_, registry); !status.ok()) return status;
  if (registry.KeyExists(root, key)) return Status();
  registry.CreateKey(root, key);
  return SaveRegistry(file_, registry);
}

}  // namespace kalu
