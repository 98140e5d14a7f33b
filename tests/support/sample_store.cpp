#include "support/sample_store.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "packages/package_format.h"
#include "platform/process.h"
#include "support/test_support.h"

namespace kalu::test {

namespace {

std::filesystem::path Fixture(const std::string& relative) {
  return SourceDir() / "fixtures" / relative;
}

}  // namespace

SampleStore::SampleStore()
    : folder_(std::filesystem::current_path()),
      services_(folder_ / "standin", ReadText(Fixture("services/standin.json"))) {
  TestDatabase::WriteDsn();
  WritePackages();
  std::filesystem::copy_file(Fixture("packages/SQLPG.xml"), folder_ / "SQLPG.XMZ",
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::copy_file(Fixture("store/registry.reg"), folder_ / "registry.reg",
                             std::filesystem::copy_options::overwrite_existing);
  setenv("KALU_REGISTRY", (folder_ / "registry.reg").c_str(), 1);
  services_.WriteLocationFile(folder_);
}

void SampleStore::WritePackages() const {
  std::filesystem::create_directories(folder_ / "Importar");
  for (const char* name : {"CP_SAT_CFDI33", "CATCOLONIAS", "SQLPG", "DATOS"}) {
    auto package = PackDocument(ReadText(Fixture(std::string("packages/") + name + ".xml")));
    std::ofstream(folder_ / "Importar" / (std::string(name) + ".XMZ"), std::ios::binary)
        .write(reinterpret_cast<const char*>(package.data()),
               static_cast<std::streamsize>(package.size()));
  }
}

void PutLoginRegistry(const WorkFolder& wf, const std::string& user) {
  wf.Write("registry.reg",
           "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Tellmark\\Administracion]\r\n"
           "\"Sistema\"=\"KaluBO\"\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\KaluBO\\Administracion]\r\n"
           "\"UserLogin\"=\"" +
               user + "\"\r\n");
  setenv("KALU_REGISTRY", (wf.Path() / "registry.reg").c_str(), 1);
}

std::string LogStation() {
  return WorkstationName(254);
}

}  // namespace kalu::test
