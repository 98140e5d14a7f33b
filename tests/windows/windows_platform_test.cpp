// The Windows parts of the platform layer under the system's own calls: the registry of the
// current user, file names with accents, the names and text output of the process, what a
// run asks of the system, and the proxy of Windows' Internet settings (the settings files
// are read by the reader both systems share: tests/unit/settings_file_test).

#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2.h first
#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <fstream>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/proxy.h"
#include "platform/replacement_file.h"
#include "platform/run_guard.h"
#include "platform/server_disk.h"
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
  EXPECT_EQ(registry.Check().code(), kRegOk);
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
    const int32_t status = c.text ? registry.WriteRegKey(value + c.name, *c.text).code()
                                  : registry.WriteRegKey(value + c.name, c.number).code();
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
  EXPECT_EQ(registry.WriteRegKey("HKEY_NADA\\Software\\X\\Y", "z").code(), kRegInvalidParameter);
  EXPECT_EQ(registry.ReadRegKey("Software\\X\\Y"), "");

  RegistryKeyHandle handle;
  EXPECT_EQ(registry.CreateRegKeyNoCl(std::string(kTestKey) + "\\Nueva\\Valor", handle).code(),
            kRegOk);
  EXPECT_TRUE(handle.open);
  HKEY created = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\KaluPruebas\\Administración\\Nueva", 0,
                          KEY_READ, &created),
            ERROR_SUCCESS);
  if (created) RegCloseKey(created);
}

// A proxy on loopback that answers every request itself with a small XML reply: the hosts
// the test asks for exist nowhere, so an answer shows the request went through it.
class AnsweringProxy {
 public:
  AnsweringProxy() {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~AnsweringProxy() {
    closesocket(listener_);  // ends the accept
    if (thread_.joinable()) thread_.join();
    if (started_) WSACleanup();
  }
  AnsweringProxy(const AnsweringProxy&) = delete;
  AnsweringProxy& operator=(const AnsweringProxy&) = delete;

  int Port() const { return port_; }
  std::vector<std::string> RequestLines() {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  void Serve() {
    for (;;) {
      SOCKET client = accept(listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET) return;
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const int got = recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        request.append(buffer, got);
      }
      {
        std::lock_guard lock(mutex_);
        lines_.push_back(request.substr(0, request.find("\r\n")));
      }
      const std::string reply =
          "HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: 5\r\nConnection: "
          "close\r\n\r\n<a/>\n";
      send(client, reply.data(), static_cast<int>(reply.size()), 0);
      shutdown(client, SD_SEND);
      closesocket(client);
    }
  }

  bool started_ = false;
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

// The proxy settings of the current user, as the Settings app and the chain's group
// policy leave them, put back as they were afterwards.
class InternetSettings {
 public:
  static constexpr const wchar_t* kKey =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
  // With `record`, the connection's record as well as the key's values.
  InternetSettings(const std::string& proxy, const std::string& bypass, bool record) {
    const DWORD enable = 1;
    const std::wstring server = WideOf(proxy), exceptions = WideOf(bypass);
    RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"ProxyEnable", REG_DWORD, &enable, sizeof enable);
    RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"ProxyServer", REG_SZ, server.c_str(),
                    static_cast<DWORD>((server.size() + 1) * sizeof(wchar_t)));
    RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"ProxyOverride", REG_SZ, exceptions.c_str(),
                    static_cast<DWORD>((exceptions.size() + 1) * sizeof(wchar_t)));
    if (!record) return;
    // The connection's own record, which WinHTTP reads: version, counter, flags (a manual
    // proxy), the proxy and the exceptions, then an empty script address.
    std::string blob;
    auto dword = [&](uint32_t value) { blob.append(reinterpret_cast<const char*>(&value), 4); };
    dword(0x46), dword(1), dword(0x03);
    dword(static_cast<uint32_t>(proxy.size())), blob += proxy;
    dword(static_cast<uint32_t>(bypass.size())), blob += bypass;
    dword(0);
    blob.append(32, '\0');
    RegSetKeyValueW(HKEY_CURRENT_USER, (std::wstring(kKey) + L"\\Connections").c_str(),
                    L"DefaultConnectionSettings", REG_BINARY, blob.data(),
                    static_cast<DWORD>(blob.size()));
  }
  ~InternetSettings() {
    const DWORD disable = 0;
    RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"ProxyEnable", REG_DWORD, &disable, sizeof disable);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, L"ProxyServer");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, L"ProxyOverride");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, (std::wstring(kKey) + L"\\Connections").c_str(),
                       L"DefaultConnectionSettings");
  }
  InternetSettings(const InternetSettings&) = delete;
  InternetSettings& operator=(const InternetSettings&) = delete;
};

TEST(WindowsProxy, ServicesReachedThroughTheProxyOfTheInternetSettings) {
  AnsweringProxy proxy;
  ASSERT_GT(proxy.Port(), 0);
  const std::string server = "127.0.0.1:" + std::to_string(proxy.Port());
  // As the Settings app leaves them (WinHTTP reads the connection's record), and as a
  // policy that sets only the key's values leaves them.
  for (bool record : {true, false}) {
    InternetSettings settings(server, "*.local.kalu.mx;<local>", record);
    EXPECT_EQ(SystemProxyFor(
                  {"http://transporte.prueba.invalid:8080/x", "http", "transporte.prueba.invalid"}),
              "http://" + server)
        << record;
    EXPECT_EQ(SystemProxyFor({"http://a.local.kalu.mx/x", "http", "a.local.kalu.mx"}), "")
        << record;
    EXPECT_EQ(SystemProxyFor({"http://127.0.0.1:8080/x", "http", "127.0.0.1"}), "") << record;
  }
  InternetSettings settings(server, "", false);

  // The program's check: both services at a host only the proxy answers for.
  test::WorkFolder folder;
  std::ofstream("location.xml")
      << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ZQLocations>\n"
         "<ZQLocation name=\"morvel25_ws_vehiculos_cartaporte_v3\"><HTTP><host>"
         "transporte.prueba.invalid</host><port>8080</port></HTTP></ZQLocation>\n"
         "<ZQLocation name=\"morvel25_ws_operadores_cartaporte_v2\"><HTTP><host>"
         "transporte.prueba.invalid</host><port>8080</port></HTTP></ZQLocation>\n"
         "</ZQLocations>\n";
  const test::ProcessResult check =
      test::RunProcess({TextOf(test::BinaryDir() / "kalu-upgrade.exe"), "--check"});
  EXPECT_EQ(check.status, 1) << check.output;  // no database here
  for (const char* service : {"Servicio de vehículos", "Servicio de operadores"}) {
    const std::size_t at = check.output.find(service);
    ASSERT_NE(at, std::string::npos) << check.output;
    const std::string line = check.output.substr(at, check.output.find('\n', at) - at);
    EXPECT_NE(line.find("responde (HTTP 200)"), std::string::npos) << line;
    EXPECT_NE(line.find("por el proxy http://" + server), std::string::npos) << line;
  }
  const std::vector<std::string> lines = proxy.RequestLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("GET http://transporte.prueba.invalid:8080/", 0), 0u) << lines[0];
}

// PostgreSQL services of this machine, as the installer enters them, removed afterwards.
class PostgresServices {
 public:
  static constexpr const wchar_t* kServices = L"SYSTEM\\CurrentControlSet\\Services\\";
  ~PostgresServices() {
    for (const std::wstring& name : names_) {
      RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(kServices) + name).c_str());
    }
  }
  // A service whose data folder `folder` listens on `port` (0: the configuration sets none).
  void Add(const std::wstring& name, const std::filesystem::path& folder, int port) {
    std::filesystem::create_directories(folder);
    std::ofstream(folder / L"postgresql.conf")
        << "#port = 1\nlisten_addresses = '*'\n"
        << (port ? "port = " + std::to_string(port) + "\t\t# (change requires restart)\n" : "");
    const std::wstring command =
        L"\"C:\\Program Files\\PostgreSQL\\15\\bin\\pg_ctl.exe\" "
        L"runservice -N \"" +
        name + L"\" -D \"" + folder.wstring() + L"\" -w";
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, (std::wstring(kServices) + name).c_str(), L"ImagePath",
                    REG_EXPAND_SZ, command.c_str(),
                    static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    names_.push_back(name);
  }

 private:
  std::vector<std::wstring> names_;
};

TEST(WindowsServerDisk, TheDataFolderOfThePostgresServiceOfThePortAndItsFreeSpace) {
  test::WorkFolder folder;
  const std::filesystem::path first = folder.Path() / L"PostgreSQL 15" / L"data";
  const std::filesystem::path second = folder.Path() / L"Año" / L"data";
  {
    PostgresServices services;
    services.Add(L"postgresql-x64-15", first, 0);
    EXPECT_EQ(LocalServerDataFolder(5432), TextOf(first));  // the default port
    EXPECT_EQ(LocalServerDataFolder(5433), TextOf(first));  // the only one
    services.Add(L"PostgreSQL-x64-16", second, 5433);
    EXPECT_EQ(LocalServerDataFolder(5433), TextOf(second));
    EXPECT_EQ(LocalServerDataFolder(5432), TextOf(first));
    EXPECT_EQ(LocalServerDataFolder(6000), std::nullopt);  // two, and neither listens there
  }
  EXPECT_EQ(LocalServerDataFolder(5432), std::nullopt);

  uint64_t bytes = 0;
  const Status disk = FreeDiskBytes(TextOf(folder.Path()), bytes);
  EXPECT_TRUE(disk.ok()) << disk.text();
  EXPECT_GT(bytes, 0u);
  // A folder that does not exist: the system's reason, in its words.
  const Status missing = FreeDiskBytes("Q:\\No\\Existe", bytes);
  EXPECT_FALSE(missing.ok());
  EXPECT_FALSE(missing.text().empty());
  EXPECT_EQ(missing.text().find('\n'), std::string::npos) << missing.text();
}

TEST(WindowsPaths, NamesWithAccentsReachTheFilesAsNamed) {
  test::WorkFolder folder;
  std::filesystem::create_directories(NativePath(".\\Importar\\Año Ñandú\\"));
  const std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><r><a>Códigos</a></r>";
  const Status written =
      ReplaceFileContent(NativePath(".\\Importar\\Año Ñandú\\Árbol €.xml"), xml.data(), xml.size());
  ASSERT_TRUE(written.ok()) << written.text();
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
  EXPECT_TRUE(ReadWholeFile(NativePath(".\\importar\\AÑO ÑANDÚ\\árbol €.XML"), bytes).ok());
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), xml);
  XmlReader reader;
  reader.Open(".\\Importar\\Año Ñandú\\Árbol €.xml");
  ASSERT_EQ(reader.status().code(), 0) << reader.status().text();
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
