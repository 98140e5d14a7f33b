// File names in the system's own form find the files that exist, whatever their case.

#include "platform/paths.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/test_support.h"

namespace kalu {
namespace {

std::string ContentOf(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

TEST(NativePath, MatchesExistingComponentsWithoutRegardToCase) {
  test::WorkFolder folder;
  folder.Write("Importar/datos.xmz", "package");
  folder.Write("kalu.mdb", "desktop");
  folder.Write("Importar/Sub/CP_SAT.xml", "postal codes");

  struct Case {
    const char* systemPath;
    const char* expected;
  };
  const Case cases[] = {
      {".\\importar\\DATOS.XMZ", "Importar/datos.xmz"},
      {"Kalu.MDB", "kalu.mdb"},
      {".\\IMPORTAR\\sub\\cp_sat.XML", "Importar/Sub/CP_SAT.xml"},
      {"importar/Datos.Xmz", "Importar/datos.xmz"},
      // what does not exist is kept as written, and so is everything below it
      {".\\importar\\NUEVO.XMZ", "Importar/NUEVO.XMZ"},
      {".\\Exportar\\importar\\datos.xmz", "Exportar/importar/datos.xmz"},
      {".\\importar\\", "Importar/"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NativePath(c.systemPath).generic_string(), c.expected) << c.systemPath;
  }
  EXPECT_EQ(ContentOf(NativePath(".\\importar\\DATOS.XMZ")), "package");
}

TEST(NativePath, PrefersTheExactNameAndTakesAbsolutePaths) {
  test::WorkFolder folder;
  folder.Write("Datos/a.txt", "upper");
  folder.Write("datos/a.txt", "lower");
  EXPECT_EQ(NativePath("datos\\A.TXT").generic_string(), "datos/a.txt");
  EXPECT_EQ(NativePath("Datos\\A.TXT").generic_string(), "Datos/a.txt");

  const std::string root = folder.Path().generic_string();
  EXPECT_EQ(NativePath(root + "/DATOS/A.txt").generic_string(), root + "/Datos/a.txt");
  std::string windowsForm = root + "\\datos\\A.TXT";
  for (char& c : windowsForm) {
    if (c == '/') c = '\\';
  }
  EXPECT_EQ(NativePath(windowsForm).generic_string(), root + "/datos/a.txt");
  EXPECT_EQ(NativePath("C:" + windowsForm).generic_string(), root + "/datos/a.txt");
}

}  // namespace
}  // namespace kalu
