// The chain's roll-out (deploy/ansible) run with Ansible's local connection against two
// stores laid out on this machine, each with its own throwaway database: the sound one is
// checked and upgraded, the one with a damaged package stops at the check and its database
// stays as it was; the reports and run logs of both come back.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/process.h"
#include "support/sample_store.h"
#include "support/test_support.h"

namespace kalu {
namespace {

namespace fs = std::filesystem;

nlohmann::json JsonFile(const fs::path& path) {
  return nlohmann::json::parse(test::ReadText(path), nullptr, false);
}

// A second throwaway PostgreSQL with a store database of its own: the system names its
// database "kalu" on every server, so each store of the roll-out has its own server.
class SecondServer {
 public:
  explicit SecondServer(fs::path dir) : dir_(std::move(dir)) {
    auto made = test::RunProcess({Script(), "db", dir_.string(), "kalu"});
    EXPECT_EQ(made.status, 0) << made.output;
  }
  ~SecondServer() { test::RunProcess({Script(), "destroy", dir_.string()}); }
  SecondServer(const SecondServer&) = delete;
  SecondServer& operator=(const SecondServer&) = delete;

  // Kalu.dsn of a store on this server.
  std::string DsnText() const {
    std::string env = test::ReadText(dir_ / "sandbox.env"), host, port;
    std::istringstream in(env);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("KALU_PGHOST=", 0) == 0) host = line.substr(12);
      if (line.rfind("KALU_PGPORT=", 0) == 0) port = line.substr(12);
    }
    return "[ODBC]\nServername=" + host + "\nPort=" + port + "\nDatabase=kalu\n";
  }
  std::string Value(const std::string& sql) const {
    auto run = test::RunProcess({Script(), "psql", dir_.string(), "kalu", "-tAc", sql});
    return run.output.substr(0, run.output.find('\n'));
  }

 private:
  static std::string Script() { return (test::SourceDir() / "scripts" / "pg-sandbox").string(); }
  fs::path dir_;
};

TEST(Rollout, OneStoreUpgradesAndTheOtherStopsAtTheCheck) {
  test::WorkFolder wf;
  test::TestDatabase db("kalu");
  const fs::path root = wf.Path();
  const char* const names[] = {"tienda-a", "tienda-b"};
  std::vector<std::unique_ptr<test::SampleStore>> stores;
  for (const char* name : names) {
    fs::create_directories(root / name);
    fs::current_path(root / name);
    stores.push_back(std::make_unique<test::SampleStore>());
  }
  fs::current_path(root);
  SecondServer serverB(test::BinaryDir() / "pg-rollout");
  std::ofstream(root / "tienda-b" / "Kalu.dsn") << serverB.DsnText();
  std::ofstream(root / "tienda-b" / "Importar" / "DATOS.XMZ", std::ios::binary)
      << std::string("\x10\x27\x00\x00", 4) + "dañado en el camino";

  {
    std::ofstream inventory("inventario.ini");
    inventory << "[tiendas]\n";
    for (const char* name : names) {
      const fs::path dir = root / name;
      inventory << name << " kalu_store_dir=" << dir.string()
                << " kalu_environment='{\"KALU_REGISTRY\": \"" << (dir / "registry.reg").string()
                << "\"}'\n";
    }
    inventory << "[tiendas:vars]\nansible_connection=local\n"
              << "ansible_python_interpreter={{ ansible_playbook_python }}\n"
              << "kalu_program=" << (test::BinaryDir() / "kalu-upgrade").string() << "\n";
  }
  const fs::path reports = root / "reportes";
  auto run = test::RunProcess(
      {"/usr/bin/env", "ANSIBLE_NOCOLOR=1", "ANSIBLE_RETRY_FILES_ENABLED=0",
       "ANSIBLE_LOCAL_TEMP=" + (root / ".ansible").string(),
       "ANSIBLE_REMOTE_TEMP=" + (root / ".ansible").string(), "ansible-playbook", "-i",
       "inventario.ini", (test::SourceDir() / "deploy" / "ansible" / "kalu-upgrade.yml").string(),
       "-e", "kalu_reports_dir=" + reports.string()});
  // Ansible ends with 2 when a host failed: the store that did not upgrade.
  EXPECT_EQ(run.status, 2) << run.output;
  EXPECT_NE(run.output.find("tienda-a: actualizada"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("tienda-b: detenida en la revisión: Paquete DATOS.XMZ: no se puede "
                            "descomprimir"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("failed=1"), std::string::npos) << run.output;

  // The sound store: checked, upgraded, its reports and log here.
  EXPECT_EQ(JsonFile(reports / "tienda-a" / "kalu-check.json")["ok"], true);
  EXPECT_NE(test::ReadText(reports / "tienda-a" / "kalu-upgrade.log")
                .find("Fin: actualización terminada (estado 0)"),
            std::string::npos);
  EXPECT_EQ(db.Value("select count(*) from pg_class where relname = 'enviocfdi11'"), "1");

  // The damaged one: stopped at the check, never run.
  auto check = JsonFile(reports / "tienda-b" / "kalu-check.json");
  EXPECT_EQ(check["ok"], false);
  EXPECT_EQ(check["checks"][1]["id"], "database");
  EXPECT_EQ(check["checks"][1]["status"], "ok");
  EXPECT_EQ(serverB.Value("select count(*) from pg_class where relname = 'enviocfdi11'"), "0");
  const std::string logB = test::ReadText(reports / "tienda-b" / "kalu-upgrade.log");
  EXPECT_NE(logB.find("Revisión: problema en Paquete DATOS.XMZ"), std::string::npos) << logB;
  EXPECT_EQ(logB.find("Inicio de kalu-upgrade"), std::string::npos) << logB;
  EXPECT_FALSE(fs::exists(reports / "tienda-b" / "kalu-run.json"));

  auto summary = JsonFile(reports / "resumen.json");
  EXPECT_EQ(summary["tienda-a"], "actualizada");
  EXPECT_EQ(summary["tienda-b"].get<std::string>().rfind("detenida en la revisión", 0), 0u);
}

}  // namespace
}  // namespace kalu
