// The settings-file reader (kalu-upgrade.INI, Kalu.dsn) on any bytes. What must hold:
//  - the decoded text is UTF-8: decoding it again changes nothing;
//  - no value found spans lines;
//  - a key a writer appends to the file, in the file's own encoding, in a section of its
//    own, reads back as written (unless the file already held that key).

#include "platform/settings_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "check.h"

namespace {

using kalu::fuzz::Check;

constexpr std::string_view kSection = "KaluFuzz";
constexpr std::string_view kKey = "Clave";

// The value the writer puts: printable ASCII from the input, then letters with accents.
std::string ValueFrom(std::string_view input) {
  std::string value;
  for (char c : input.substr(0, 24)) {
    if (c > ' ' && c < 0x7F && c != '"') value += c;
  }
  return value + "Año";
}

std::string Utf16(std::string_view ascii) {
  std::string bytes;
  for (char c : ascii) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

// Each key line of the text, looked up as the reader finds it: its value holds no line end.
void ValuesStayOnTheirLines(const std::string_view whole) {
  std::string_view text = whole;
  std::string section;
  int keys = 0;
  while (!text.empty() && keys < 32) {
    const std::size_t end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string_view::npos) continue;
    line.remove_prefix(start);
    if (line[0] == '[') {
      const std::size_t close = line.find(']');
      section =
          std::string(line.substr(1, close == std::string_view::npos ? line.npos : close - 1));
    } else if (const std::size_t equals = line.find('='); equals != std::string_view::npos) {
      ++keys;
      const auto value = kalu::FindSettingsValue(whole, section, line.substr(0, equals));
      Check(!value || value->find_first_of("\r\n") == std::string::npos, "no value spans lines");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string text = kalu::SettingsText(input);
  if (!text.starts_with("\xEF\xBB\xBF")) {
    Check(kalu::SettingsText(text) == text, "the decoded text is UTF-8");
  }
  ValuesStayOnTheirLines(text);
  kalu::HasSettingsSection(text, kSection);

  // A writer appends its section and key in the file's encoding.
  const std::string value = ValueFrom(input);
  std::string file(input);
  if (input.starts_with("\xFF\xFE")) {
    if (file.size() % 2 != 0) file += '\0';
    file += Utf16("\r\n[" + std::string(kSection) + "]\r\n" + std::string(kKey) + "=" +
                  value.substr(0, value.size() - 4) + "A") +
            std::string("\xF1\x00o\x00\r\x00\n\x00", 8);
  } else if (input.starts_with("\xFE\xFF")) {
    return 0;  // big-endian UTF-16 is read but written by no editor of the stores
  } else {
    file += "\r\n[" + std::string(kSection) + "]\r\n" + std::string(kKey) + "=" + value + "\r\n";
  }
  if (kalu::FindSettingsValue(text, kSection, kKey)) return 0;  // the file's own key wins
  const auto read = kalu::FindSettingsValue(kalu::SettingsText(file), "kalufuzz", "CLAVE");
  Check(read && *read == value, "a value a writer put reads back as written");
  Check(kalu::HasSettingsSection(kalu::SettingsText(file), "KALUFUZZ"), "the section is there");
  return 0;
}
