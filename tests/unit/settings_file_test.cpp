// The settings files (kalu-upgrade.INI, Kalu.dsn) as the stores' editors write them, read by
// the program's one reader on every system.

#include "platform/settings_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "platform/paths.h"
#include "support/test_support.h"

namespace kalu {
namespace {

// UTF-16LE bytes with their mark, as Notepad's "Unicode" writes them.
std::string Utf16WithMark(std::u16string_view text) {
  std::string bytes("\xFF\xFE", 2);
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

TEST(SettingsFile, ReadsEveryEncodingWithoutRegardToCase) {
  test::WorkFolder folder;
  struct Case {
    const char* encoding;
    const char* file;
    std::string bytes;
    const char* section;  // asked in another case than written
    const char* key;
    const char* value;
  };
  const std::vector<Case> cases = {
      {"Windows-1252", "kalu-upgrade.INI", "[ZQFiles]\r\nDataPath=C:\\Tienda\\A\xF1o\\\r\n",
       "zqfiles", "DATAPATH", "C:\\Tienda\\Año\\"},
      {"UTF-8 with its mark", "kalu-upgrade.INI",
       "\xEF\xBB\xBF[ZQFiles]\r\nDataPath=C:\\Tienda\\Año\\\r\n", "zqfiles", "DATAPATH",
       "C:\\Tienda\\Año\\"},
      {"UTF-16", "kalu-upgrade.INI", Utf16WithMark(u"[ZQFiles]\r\nDataPath=C:\\Tienda\\Año\\\r\n"),
       "zqfiles", "DATAPATH", "C:\\Tienda\\Año\\"},
      // PowerShell 5.1's Out-File and Set-Content -Encoding UTF8 write the mark: the first
      // section is found all the same.
      {"Kalu.dsn, UTF-8 with its mark", "Kalu.dsn",
       "\xEF\xBB\xBF[ODBC]\r\nDRIVER=PostgreSQL Unicode\r\nServername=127.0.0.1\r\n", "odbc",
       "SERVERNAME", "127.0.0.1"},
      {"Kalu.dsn, UTF-16", "Kalu.dsn",
       Utf16WithMark(u"[ODBC]\r\nDRIVER=PostgreSQL Unicode\r\nServername=127.0.0.1\r\n"), "odbc",
       "SERVERNAME", "127.0.0.1"},
      {"Kalu.dsn, blanks, tabs, comments, quotes and LF alone", "Kalu.dsn",
       "; written by hand\n# again\n [ ODBC ] \n\tPort = \"5433\" \n", "ODBC", "port", "5433"},
  };
  for (const Case& c : cases) {
    const std::filesystem::path file = folder.Path() / PathOf(c.file);
    std::ofstream(file, std::ios::binary) << c.bytes;
    EXPECT_EQ(ReadSettingsValue(file, c.section, c.key), c.value) << c.encoding;
    EXPECT_EQ(ReadSettingsValue(file, c.section, "MenuPath"), std::nullopt) << c.encoding;
    EXPECT_EQ(ReadSettingsValue(file, "Otra", c.key), std::nullopt) << c.encoding;
  }
  const std::filesystem::path ini = folder.Path() / PathOf("kalu-upgrade.INI");
  std::ofstream(ini, std::ios::binary)
      << "[ZQFiles]\r\nAuxPath=\r\nDataPath=uno\r\nDataPath=dos\r\n";
  EXPECT_EQ(ReadSettingsValue(ini, "ZQFiles", "AuxPath"), "");
  EXPECT_EQ(ReadSettingsValue(ini, "ZQFiles", "DataPath"), "uno");  // the first one wins
  EXPECT_EQ(ReadSettingsValue(folder.Path() / "NoExiste.INI", "ZQFiles", "DataPath"), std::nullopt);
}

}  // namespace
}  // namespace kalu
