#include "platform/settings_file.h"

#include <cstdint>
#include <vector>

#include "platform/replacement_file.h"
#include "runtime/text.h"

namespace kalu {

namespace {

// The characters of windows-1252's bytes 0x80 to 0x9F; its five unassigned bytes keep the
// control characters of the same number, as Windows' own conversion does.
constexpr uint16_t kWindows1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The length of the well-formed UTF-8 character at `i` (shortest form, no surrogates, at
// most U+10FFFF), or 0 when the bytes there are not one.
std::size_t Utf8CharLength(std::string_view s, std::size_t i) {
  const auto lead = static_cast<uint8_t>(s[i]);
  if (lead < 0x80) return 1;
  std::size_t length;
  uint32_t code;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > s.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<uint8_t>(s[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    code = code << 6 | (next & 0x3F);
  }
  const bool shortest =
      (length == 3 && code >= 0x800) || (length == 4 && code >= 0x10000) || length == 2;
  if (!shortest || (code >= 0xD800 && code < 0xE000) || code > 0x10FFFF) return 0;
  return length;
}

// UTF-8 as it is; a byte that is not part of a UTF-8 character read as windows-1252.
std::string FromUtf8Or1252(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    if (std::size_t length = Utf8CharLength(bytes, i); length > 0) {
      out.append(bytes.substr(i, length));
      i += length;
      continue;
    }
    const auto byte = static_cast<uint8_t>(bytes[i++]);
    AppendUtf8(out, byte < 0xA0 ? kWindows1252[byte - 0x80] : byte);
  }
  return out;
}

std::string_view TrimBlanks(std::string_view s) {
  const std::size_t start = s.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  return s.substr(start, s.find_last_not_of(" \t") - start + 1);
}

// Walks the lines of a settings text: `onSection(name)` at each section heading,
// `onKey(name, value)` at each key of a section; a callback returning true ends the walk.
template <typename OnSection, typename OnKey>
void WalkSettings(std::string_view text, OnSection onSection, OnKey onKey) {
  bool inSection = false;
  while (!text.empty()) {
    const std::size_t end = text.find_first_of("\r\n");
    const std::string_view line = TrimBlanks(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      const std::size_t close = line.find(']');
      inSection = true;
      if (onSection(TrimBlanks(
              line.substr(1, close == std::string_view::npos ? line.npos : close - 1)))) {
        return;
      }
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!inSection || equals == std::string_view::npos) continue;
    std::string_view value = TrimBlanks(line.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    if (onKey(TrimBlanks(line.substr(0, equals)), value)) return;
  }
}

}  // namespace

std::string SettingsText(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return FromUtf8Or1252(bytes.substr(3));
  if (bytes.starts_with("\xFF\xFE")) return Utf16ToUtf8(bytes.substr(2));
  if (bytes.starts_with("\xFE\xFF")) return Utf16ToUtf8(bytes.substr(2), true);
  return FromUtf8Or1252(bytes);
}

std::optional<std::string> FindSettingsValue(std::string_view text, std::string_view section,
                                             std::string_view key) {
  bool wanted = false;
  std::optional<std::string> found;
  WalkSettings(
      text,
      [&](std::string_view name) {
        wanted = EqualsIgnoreCase(name, section);
        return false;
      },
      [&](std::string_view name, std::string_view value) {
        if (wanted && EqualsIgnoreCase(name, key)) found = std::string(value);
        return found.has_value();
      });
  return found;
}

bool HasSettingsSection(std::string_view text, std::string_view section) {
  bool found = false;
  WalkSettings(
      text, [&](std::string_view name) { return found = EqualsIgnoreCase(name, section); },
      [](std::string_view, std::string_view) { return false; });
  return found;
}

std::optional<std::string> ReadSettingsText(const std::filesystem::path& path) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, bytes).ok()) return std::nullopt;
  return SettingsText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::optional<std::string> ReadSettingsValue(const std::filesystem::path& path,
                                             std::string_view section, std::string_view key) {
  const std::optional<std::string> text = ReadSettingsText(path);
  if (!text) return std::nullopt;
  return FindSettingsValue(*text, section, key);
}

}  // namespace kalu
