// The registry file of the login system and ZQRegAcc: reading values by full path, roots
// in any case, writing and creating keys, and writes that never leave half a file.

#include "platform/registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/zqregacc.h"
#include "support/test_support.h"

namespace kalu {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

constexpr const char* kStoreRegistry =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Tellmark\\Administracion]\r\n"
    "\"Sistema\"=\"KaluBO\"\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\SOFTWARE\\KaluBO\\Administracion]\r\n"
    "\"UserLogin\"=\"CAJERO01\"\r\n"
    "\"Sucursal\"=dword:0000000c\r\n"
    "\"Negativo\"=dword:ffffffff\r\n"
    "\"Ruta\"=\"C:\\\\Kalu\\\\\\\"datos\\\"\"\r\n"
    "\"Binario\"=hex:01,02,\\\r\n"
    "  03,04\r\n"
    "@=\"predeterminado\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Kalu]\r\n"
    "\"Version\"=\"24.03.20\"\r\n";

TEST(RegistryTest, ReadsValuesByFullPath) {
  test::WorkFolder wf;
  WriteFile("registry.reg", kStoreRegistry);
  ZQRegAcc registry("registry.reg");
  struct Case {
    const char* path;
    const char* expected;
  };
  const Case cases[] = {
      {"HKEY_CURRENT_USER\\Software\\Tellmark\\Administracion\\Sistema", "KaluBO"},
      {"hkey_current_user\\software\\tellmark\\administracion\\sistema", "KaluBO"},
      {"  Hkey_Current_User\\Software\\KaluBO\\Administracion\\UserLogin  ", "CAJERO01"},
      {"HKEY_CURRENT_USER\\Software\\KaluBO\\Administracion\\Sucursal", "12"},
      {"HKEY_CURRENT_USER\\Software\\KaluBO\\Administracion\\Negativo", "-1"},
      {"HKEY_CURRENT_USER\\Software\\KaluBO\\Administracion\\Ruta", "C:\\Kalu\\\"datos\""},
      {"HKEY_CURRENT_USER\\Software\\KaluBO\\Administracion\\Binario", ""},
      {"HKEY_CURRENT_USER\\Software\\KaluBO\\Administracion\\", "predeterminado"},
      {"HKEY_CURRENT_USER\\Software\\KaluBO\\Administracion\\Falta", ""},
      {"HKEY_CURRENT_USER\\Software\\Otro\\Administracion\\UserLogin", ""},
      {"HKEY_LOCAL_MACHINE\\Software\\Kalu\\Version", "24.03.20"},
      {"HKEY_USERS\\Software\\Kalu\\Version", ""},
      {"HKCU\\Software\\Tellmark\\Administracion\\Sistema", ""},
      {"HKEY_CURRENT_USERX\\Software\\Tellmark\\Administracion\\Sistema", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(registry.ReadRegKey(c.path), c.expected) << c.path;
  }
}

TEST(RegistryTest, FullPathsTakenApart) {
  struct Case {
    const char* path;
    bool ok;
    RegistryRoot root;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"HKEY_CURRENT_USER\\Software\\Tellmark\\Administracion\\Sistema", true,
       RegistryRoot::CurrentUser, "Software\\Tellmark\\Administracion", "Sistema"},
      {"hkey_classes_root\\.xmz\\Content Type", true, RegistryRoot::ClassesRoot, ".xmz",
       "Content Type"},
      {"HKEY_LOCAL_MACHINE\\Software\\Kalu\\", true, RegistryRoot::LocalMachine, "Software\\Kalu",
       ""},
      {"HKEY_USERS\\Sistema", true, RegistryRoot::Users, "", "Sistema"},
      {"HKEY_CURRENT_USER", false, RegistryRoot::CurrentUser, "", ""},
      {"C:\\Kalu\\Sistema", false, RegistryRoot::CurrentUser, "", ""},
  };
  for (const Case& c : cases) {
    RegistryPath path;
    ASSERT_EQ(ParseRegistryPath(c.path, path).ok(), c.ok) << c.path;
    if (!c.ok) continue;
    EXPECT_EQ(path.root, c.root) << c.path;
    EXPECT_EQ(path.key, c.key) << c.path;
    EXPECT_EQ(path.value, c.value) << c.path;
  }
}

TEST(RegistryTest, WritesReadBackAndKeepTheExportFormat) {
  test::WorkFolder wf;
  const auto file = wf.Path() / "config" / "kalu" / "registry.reg";  // folder not there yet
  ZQRegAcc registry(file);
  EXPECT_EQ(registry.ReadRegKey("HKEY_CURRENT_USER\\Software\\Tellmark\\Administracion\\Sistema"),
            "");
  ASSERT_EQ(
      registry
          .WriteRegKey("HKEY_CURRENT_USER\\Software\\Tellmark\\Administracion\\Sistema", "KaluBO")
          .code(),
      kRegOk);
  ASSERT_EQ(registry
                .WriteRegKey("HKEY_CURRENT_USER\\Software\\KaluBO\\Administracion\\UserLogin",
                             "CAJERO \"01\" \\ Ñandú")
                .code(),
            kRegOk);
  ASSERT_EQ(
      registry.WriteRegKey("HKEY_CURRENT_USER\\Software\\KaluBO\\Administracion\\Intentos", 42)
          .code(),
      kRegOk);
  // A second write of a value replaces it, whatever the case of its path.
  ASSERT_EQ(
      registry.WriteRegKey("hkey_current_user\\software\\kalubo\\administracion\\intentos", 43)
          .code(),
      kRegOk);
  EXPECT_EQ(registry.WriteRegKey("HKEY_NOWHERE\\Software\\X", 1).code(), kRegInvalidParameter);

  EXPECT_EQ(registry.ReadRegKey("HKEY_CURRENT_USER\\Software\\Tellmark\\Administracion\\Sistema"),
            "KaluBO");
  EXPECT_EQ(registry.ReadRegKey("HKEY_CURRENT_USER\\Software\\KaluBO\\Administracion\\UserLogin"),
            "CAJERO \"01\" \\ Ñandú");
  EXPECT_EQ(registry.ReadRegKey("HKEY_CURRENT_USER\\Software\\KaluBO\\Administracion\\Intentos"),
            "43");
  EXPECT_EQ(ReadFile(file),
            "Windows Registry Editor Version 5.00\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\Tellmark\\Administracion]\r\n"
            "\"Sistema\"=\"KaluBO\"\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\KaluBO\\Administracion]\r\n"
            "\"UserLogin\"=\"CAJERO \\\"01\\\" \\\\ Ñandú\"\r\n"
            "\"Intentos\"=dword:0000002b\r\n"
            "\r\n");
  // Only the registry file is left in its folder: no temporary file stays behind.
  EXPECT_EQ(FolderEntries(file.parent_path()), std::vector<std::string>{"registry.reg"});
}

TEST(RegistryTest, WritingKeepsWhatOthersWrote) {
  test::WorkFolder wf;
  WriteFile("registry.reg", kStoreRegistry);
  ZQRegAcc registry("registry.reg");
  ASSERT_EQ(
      registry
          .WriteRegKey("HKEY_CURRENT_USER\\Software\\KaluBO\\Administracion\\UserLogin", "GERENTE")
          .code(),
      kRegOk);
  EXPECT_EQ(registry.ReadRegKey("HKEY_CURRENT_USER\\Software\\KaluBO\\Administracion\\UserLogin"),
            "GERENTE");
  EXPECT_EQ(registry.ReadRegKey("HKEY_CURRENT_USER\\Software\\KaluBO\\Administracion\\Ruta"),
            "C:\\Kalu\\\"datos\"");
  EXPECT_EQ(registry.ReadRegKey("HKEY_LOCAL_MACHINE\\Software\\Kalu\\Version"), "24.03.20");
  EXPECT_NE(ReadFile("registry.reg").find("\"Binario\"=hex:01,02,03,04\r\n"), std::string::npos);
}

TEST(RegistryTest, AFileCutShortAfterAContinuedLineLosesNothingSavedInIt) {
  test::WorkFolder wf;
  WriteFile("registry.reg",
            "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER]\n\"\"=hex\\\n");
  ZQRegAcc registry("registry.reg");
  ASSERT_EQ(registry.WriteRegKey("HKEY_CURRENT_USER\\Usuario", "ana").code(), kRegOk);
  EXPECT_EQ(registry.ReadRegKey("HKEY_CURRENT_USER\\Usuario"), "ana");
  EXPECT_EQ(ReadFile("registry.reg"),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER]\r\n@=hex\r\n\"Usuario\"=\"ana\"\r\n\r\n");
}

TEST(RegistryTest, EveryFileOfTheFuzzCorpusWritesBackByteForByte) {
  const auto corpus =
      std::filesystem::path(KALU_SOURCE_DIR) / "tests" / "fuzz" / "corpus" / "registry";
  int read = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    RegistryDocument first;
    std::string error;
    if (!first.Parse(ReadFile(entry.path()), error)) continue;
    ++read;
    RegistryDocument second;
    ASSERT_TRUE(second.Parse(first.Text(), error)) << entry.path() << ": " << error;
    EXPECT_EQ(second.Text(), first.Text()) << entry.path();
  }
  EXPECT_GT(read, 0);
}

TEST(RegistryTest, CreatesKeys) {
  test::WorkFolder wf;
  ZQRegAcc registry("registry.reg");
  RegistryKeyHandle key;
  ASSERT_EQ(
      registry.CreateRegKeyNoCl("HKEY_CURRENT_USER\\Software\\KaluBO\\Caja\\Valor", key).code(),
      kRegOk);
  EXPECT_TRUE(key.open);
  EXPECT_EQ(key.key, "Software\\KaluBO\\Caja");
  ASSERT_EQ(registry.CreateRegKey("HKEY_CURRENT_USER\\Software\\KaluBO\\Reportes\\Valor").code(),
            kRegOk);
  // Creating a key that exists changes nothing.
  ASSERT_EQ(registry.CreateRegKey("HKEY_CURRENT_USER\\software\\kalubo\\caja\\Otro").code(),
            kRegOk);
  EXPECT_EQ(registry.CreateRegKey("Software\\KaluBO\\Valor").code(), kRegInvalidParameter);
  EXPECT_EQ(ReadFile("registry.reg"),
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\KaluBO\\Caja]\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\KaluBO\\Reportes]\r\n\r\n");
}

TEST(RegistryTest, ReadsTheEditorsUtf16Export) {
  test::WorkFolder wf;
  std::string utf8 =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Tellmark\\Administracion]\r\n\"Sistema\"=\"Kalú\"\r\n";
  std::string utf16 = "\xFF\xFE";
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c == 0xC3) {  // the one two-byte character of the text: "ú" (U+00FA)
      utf16 += static_cast<char>(0xFA);
      utf16 += '\0';
      ++i;
      continue;
    }
    utf16 += static_cast<char>(c);
    utf16 += '\0';
  }
  WriteFile("registry.reg", utf16);
  EXPECT_EQ(ZQRegAcc("registry.reg")
                .ReadRegKey("HKEY_CURRENT_USER\\Software\\Tellmark\\Administracion\\Sistema"),
            "Kalú");
}

TEST(RegistryTest, AFileInAnotherFormatIsNeitherReadNorOverwritten) {
  test::WorkFolder wf;
  const std::string foreign = "[HKEY_CURRENT_USER\\Software\\X]\r\n\"A\"=\"1\"\r\n";
  WriteFile("registry.reg", foreign);
  ZQRegAcc registry("registry.reg");
  EXPECT_EQ(registry.ReadRegKey("HKEY_CURRENT_USER\\Software\\X\\A"), "");
  EXPECT_EQ(registry.WriteRegKey("HKEY_CURRENT_USER\\Software\\X\\A", "2").code(), kRegCorrupt);
  EXPECT_EQ(ReadFile("registry.reg"), foreign);
}

TEST(RegistryTest, AFailedWriteLeavesTheFormerFileWhole) {
  test::WorkFolder wf;
  WriteFile("registry.reg", kStoreRegistry);
  ZQRegAcc registry("registry.reg");

  // Files may not grow past 4 KB while the value is written: the write fails half-way.
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous);
  rlimit former{};
  getrlimit(RLIMIT_FSIZE, &former);
  rlimit small = former;
  small.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &small);
  int32_t status =
      registry
          .WriteRegKey("HKEY_CURRENT_USER\\Software\\KaluBO\\Administracion\\UserLogin",
                       std::string(100000, 'x'))
          .code();
  setrlimit(RLIMIT_FSIZE, &former);
  sigaction(SIGXFSZ, &previous, nullptr);

  EXPECT_EQ(status, kRegIoFailed);
  EXPECT_EQ(ReadFile("registry.reg"), kStoreRegistry);
  EXPECT_EQ(registry.ReadRegKey("HKEY_CURRENT_USER\\Software\\KaluBO\\Administracion\\UserLogin"),
            "CAJERO01");
  EXPECT_EQ(FolderEntries(wf.Path()), std::vector<std::string>{"registry.reg"});
}

TEST(RegistryTest, TheFileComesFromTheEnvironment) {
  const char* former = std::getenv("KALU_REGISTRY");
  std::string saved = former ? former : "";
  setenv("KALU_REGISTRY", "/tmp/elsewhere/registry.reg", 1);
  EXPECT_EQ(DefaultRegistryPath(), std::filesystem::path("/tmp/elsewhere/registry.reg"));
  unsetenv("KALU_REGISTRY");
  const char* home = std::getenv("HOME");
  if (home && *home) {
    EXPECT_EQ(DefaultRegistryPath(),
              std::filesystem::path(home) / ".config" / "kalu" / "registry.reg");
  }
  if (former) setenv("KALU_REGISTRY", saved.c_str(), 1);
}

}  // namespace
}  // namespace kalu
