// The Windows parts of the platform layer under the system's own calls: the registry of the
// current user, the settings file read by the system's profile functions, file names with
// accents, the names and text output of the process, and what a run asks of the system.

#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <fstream>
#include <optional>
#include <vector>

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/replacement_file.h"
#include "platform/run_guard.h"
#include "platform/settings_file.h"
#include "platform/wide_text.h"
#include "platform/xml.h"
#include "platform/zqregacc.h"
#include "runtime/text.h"
#include "support/process.h"
#include "support/test_support.h"

namespace kalu {
namespace {

constexpr const char* kTestKey = "HKEY_CURRENT_USER\\Software\\KaluPruebas\\Administración";

// The test's registry key, removed before and after.
class TestKey {
 public:
  TestKey() { Remove(); }
  ~TestKey() { Remove(); }
  static void Remove() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\KaluPruebas"); }
};

TEST(WindowsRegistry, ReadsAndWritesTheCurrentUsersRegistry) {
  TestKey key;
  ZQRegAcc registry;
  EXPECT_EQ(registry.Check(), kRegOk);
  const std::string value = std::string(kTestKey) + "\\";
  struct Case {
    std::string name;
    std::optional<std::string> text;  // a string value, else the number
    int32_t number;
    std::string read;
  };
  const std::vector<Case> cases = {
      {"Sucursal", std::nullopt, 12, "12"},
      {"Saldo", std::nullopt, -5, "-5"},
      {"UserLogin", "CAJERO01", 0, "CAJERO01"},
      {"Tienda", "Panadería Ñandú €", 0, "Panadería Ñandú €"},
      {"Vacío", "", 0, ""},
  };
  for (const Case& c : cases) {
    const int32_t status = c.text ? registry.WriteRegKey(value + c.name, *c.text)
                                  : registry.WriteRegKey(value + c.name, c.number);
    EXPECT_EQ(status, kRegOk) << c.name;
    EXPECT_EQ(registry.ReadRegKey(value + c.name), c.read) << c.name;
    // Value names are matched without regard to case, as the system does.
    EXPECT_EQ(registry.ReadRegKey(value + ToUpper(c.name)), c.read) << c.name;
  }
  // What another program (the registry editor) sees: the same texts, in UTF-16.
  wchar_t text[64] = {};
  DWORD size = sizeof text;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, L"Software\\KaluPruebas\\Administración", L"Tienda",
                         RRF_RT_REG_SZ, nullptr, text, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(text), L"Panadería Ñandú €");

  EXPECT_EQ(registry.ReadRegKey(value + "NoExiste"), "");
  EXPECT_EQ(registry.ReadRegKey("HKEY_CURRENT_USER\\Software\\KaluPruebas\\NoExiste\\Sistema"), "");
  EXPECT_EQ(registry.WriteRegKey("HKEY_NADA\\Software\\X\\Y", "z"), kRegInvalidParameter);
  EXPECT_EQ(registry.ReadRegKey("Software\\X\\Y"), "");

  RegistryKeyHandle handle;
  EXPECT_EQ(registry.CreateRegKeyNoCl(std::string(kTestKey) + "\\Nueva\\Valor", handle), kRegOk);
  EXPECT_TRUE(handle.open);
  HKEY created = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\KaluPruebas\\Administración\\Nueva", 0,
                          KEY_READ, &created),
            ERROR_SUCCESS);
  if (created) RegCloseKey(created);
}

// Writes `bytes` to the settings file of the test.
void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TEST(WindowsSettingsFile, ReadsEveryEncodingWithoutRegardToCase) {
  test::WorkFolder folder;
  const std::filesystem::path ini = folder.Path() / PathOf("kalu-upgrade.INI");
  struct Case {
    const char* encoding;
    std::string bytes;
  };
  const std::wstring wide = L"[ZQFiles]\r\nDataPath=C:\\Tienda\\Año\\\r\n";
  const std::string utf16 =
      std::string("\xFF\xFE", 2) +
      std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
  const std::vector<Case> cases = {
      {"Windows-1252", "[ZQFiles]\r\nDataPath=C:\\Tienda\\A\xF1o\\\r\n"},
      {"UTF-8 with its mark", "\xEF\xBB\xBF[ZQFiles]\r\nDataPath=C:\\Tienda\\Año\\\r\n"},
      {"UTF-16", utf16},
  };
  for (const Case& c : cases) {
    WriteFile(ini, c.bytes);
    EXPECT_EQ(ReadSettingsValue(ini, "zqfiles", "DATAPATH"), "C:\\Tienda\\Año\\") << c.encoding;
    EXPECT_EQ(ReadSettingsValue(ini, "ZQFiles", "MenuPath"), std::nullopt) << c.encoding;
    EXPECT_EQ(ReadSettingsValue(ini, "Otra", "DataPath"), std::nullopt) << c.encoding;
  }
  WriteFile(ini, "[ZQFiles]\r\nAuxPath=\r\nDataPath=uno\r\nDataPath=dos\r\n");
  EXPECT_EQ(ReadSettingsValue(ini, "ZQFiles", "AuxPath"), "");
  EXPECT_EQ(ReadSettingsValue(ini, "ZQFiles", "DataPath"), "uno");  // the first one wins
  EXPECT_EQ(ReadSettingsValue(folder.Path() / "NoExiste.INI", "ZQFiles", "DataPath"), std::nullopt);
}

TEST(WindowsPaths, NamesWithAccentsReachTheFilesAsNamed) {
  test::WorkFolder folder;
  std::filesystem::create_directories(NativePath(".\\Importar\\Año Ñandú\\"));
  const std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r><a>Códigos</a></r>";
  std::string error;
  ASSERT_TRUE(ReplaceFileContent(NativePath(".\\Importar\\Año Ñandú\\Árbol €.xml"), xml.data(),
                                 xml.size(), error))
      << error;
  std::vector<std::string> names;
  for (const auto& entry :
       std::filesystem::directory_iterator(folder.Path() / L"Importar" / L"Año Ñandú")) {
    names.push_back(TextOf(entry.path().filename()));
  }
  EXPECT_EQ(names, std::vector<std::string>{"Árbol €.xml"});
  EXPECT_EQ(NativePath(".\\Importar\\Año Ñandú\\Árbol €.xml"),
            std::filesystem::path(L".\\Importar\\Año Ñandú\\Árbol €.xml"));
  EXPECT_EQ(TextOf(PathOf("C:\\Año\\Ñ.txt")), "C:\\Año\\Ñ.txt");

  std::vector<uint8_t> bytes;
  EXPECT_EQ(ReadWholeFile(NativePath(".\\importar\\AÑO ÑANDÚ\\árbol €.XML"), bytes), 0);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), xml);
  XmlReader reader;
  reader.Open(".\\Importar\\Año Ñandú\\Árbol €.xml");
  ASSERT_EQ(reader.ErrCode(), 0) << reader.ErrDescription();
  ASSERT_GT(reader.ReadType(XmlReader::kElement, "a"), 0);
  EXPECT_EQ(reader.Value(), "Códigos");

  std::FILE* file = OpenFile(NativePath(".\\Importar\\Año Ñandú\\Árbol €.xml"), "rb");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_EQ(OpenFile(NativePath(".\\Importar\\No existe.xml"), "rb"), nullptr);
}

TEST(WindowsProcess, NamesOfTheMachineAndTheUserAndTextOut) {
  wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  ASSERT_TRUE(GetComputerNameW(computer, &size));
  EXPECT_EQ(WorkstationName(255), Utf8Of(computer));
  EXPECT_EQ(WorkstationName(2), Utf8Of(std::wstring(computer).substr(0, 2)));
  EXPECT_EQ(WorkstationName(0), "");
  wchar_t user[256] = {};
  size = 256;
  ASSERT_TRUE(GetUserNameW(user, &size));
  EXPECT_EQ(LoginName(), Utf8Of(user));
  EXPECT_TRUE(ProgramPath("x").ends_with("windows_platform_test.exe")) << ProgramPath("x");

  // A file or a pipe takes the UTF-8 bytes as they are; neither is a terminal.
  test::WorkFolder folder;
  std::FILE* out = OpenFile(folder.Path() / L"salida.txt", "wb");
  ASSERT_NE(out, nullptr);
  EXPECT_FALSE(IsTerminal(out));
  EXPECT_TRUE(WriteText(out, "Actualizacion Versión 24.03.20 — Ñ €\n"));
  std::fclose(out);
  EXPECT_EQ(test::ReadText(folder.Path() / L"salida.txt"),
            "Actualizacion Versión 24.03.20 — Ñ €\n");
}

// One run per store folder on the machine: a second mark of the same folder, whatever the
// case of its name, is refused until the first goes; another folder is free.
TEST(WindowsRunGuard, OneRunPerStoreFolderOnTheMachine) {
  std::optional<MachineRunMark> first(std::in_place, "D:\\Tiendas\\Sucursal Ñuñoa");
  EXPECT_TRUE(first->Taken());
  EXPECT_FALSE(MachineRunMark("d:\\TIENDAS\\sucursal ñuñoa").Taken());
  EXPECT_TRUE(MachineRunMark("D:\\Tiendas\\Otra").Taken());
  first.reset();
  EXPECT_TRUE(MachineRunMark("D:\\Tiendas\\Sucursal Ñuñoa").Taken());
}

// The tests run with standard input that is not a console, as a scheduled task does: the
// console program goes unattended.
TEST(WindowsRunGuard, StandardInputThatIsNoConsoleMeansNobodyAnswers) {
  ASSERT_FALSE(IsTerminal(stdin));
  EXPECT_NE(ProgramAttendance(), Attendance::Present);
}

TEST(WindowsConsole, TextReachesTheConsoleAsCharactersNotBytes) {
  FreeConsole();
  ASSERT_TRUE(AllocConsole());
  std::FILE* console = _wfopen(L"CONOUT$", L"r+");
  ASSERT_NE(console, nullptr);
  EXPECT_TRUE(IsTerminal(console));
  EXPECT_TRUE(WriteText(console, "Versión Ñandú €\n"));
  // What the console's screen holds on the line just written.
  HANDLE screen = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(console)));
  CONSOLE_SCREEN_BUFFER_INFO info{};
  ASSERT_TRUE(GetConsoleScreenBufferInfo(screen, &info));
  wchar_t line[15] = {};
  DWORD read = 0;
  const COORD start{0, static_cast<SHORT>(info.dwCursorPosition.Y - 1)};
  ASSERT_TRUE(ReadConsoleOutputCharacterW(screen, line, 15, start, &read));
  EXPECT_EQ(std::wstring(line, read), L"Versión Ñandú €");
  std::fclose(console);
  FreeConsole();
}

TEST(WindowsProcess, ArgumentsWithAccentsReachTheProgramAsNamed) {
  // The program's own arguments, from the system's command line.
  const std::vector<std::string> args = ProgramArguments(0, nullptr);
  ASSERT_FALSE(args.empty());
  EXPECT_TRUE(args[0].ends_with("windows_platform_test.exe")) << args[0];
  // A report named with accents, given on the command line, is written under that name.
  test::WorkFolder folder;
  const test::ProcessResult check = test::RunProcess(
      {TextOf(test::BinaryDir() / "kalu-upgrade.exe"), "--check", "--report", "revisión_ñ.json"});
  EXPECT_EQ(check.status, 1) << check.output;  // an empty folder is no store
  EXPECT_TRUE(std::filesystem::exists(folder.Path() / L"revisión_ñ.json")) << check.output;
}

// What Windows shows in a program's properties, read as Windows reads it.
std::string VersionValue(const std::vector<char>& info, const wchar_t* name) {
  void* value = nullptr;
  UINT length = 0;
  const std::wstring path = std::wstring(L"\\StringFileInfo\\080a04b0\\") + name;
  if (!VerQueryValueW(info.data(), path.c_str(), &value, &length) || length == 0) return "";
  return Utf8Of(std::wstring_view(static_cast<const wchar_t*>(value), length - 1));
}

TEST(WindowsPrograms, EveryProgramCarriesItsVersion) {
  const struct {
    const wchar_t* program;
    const char* description;
  } kPrograms[] = {
      {L"kalu-upgrade.exe", "Actualización de la tienda Kalu a 24.03.20 (consola)"},
      {L"kalu-upgradew.exe", "Actualización de la tienda Kalu a 24.03.20"},
      {L"xmz.exe", "Paquetes .XMZ de la tienda Kalu"},
  };
  for (const auto& p : kPrograms) {
    const std::wstring file = (test::BinaryDir() / p.program).wstring();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    ASSERT_NE(size, 0u) << Utf8Of(file);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(file.c_str(), 0, size, info.data())) << Utf8Of(file);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(3, 24)) << Utf8Of(file);
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, 20)) << Utf8Of(file);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(VersionValue(info, L"CompanyName"), "Kalu");
    EXPECT_EQ(VersionValue(info, L"ProductName"), "kalu-upgrade");
    EXPECT_EQ(VersionValue(info, L"FileDescription"), p.description);
    EXPECT_EQ(VersionValue(info, L"FileVersion"), "24.03.20");
    EXPECT_EQ(VersionValue(info, L"ProductVersion"), "24.03.20");
  }
}

}  // namespace
}  // namespace kalu
