// The chain's roll-out (deploy/ansible) run with Ansible's local connection against two
// stores laid out on this machine, each with its own throwaway database: the sound one is
// checked and upgraded, the one with a damaged package stops at the check and its database
// stays as it was; the reports and run logs of both come back.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>

#include "support/process.h"
#include "support/sample_store.h"
#include "support/second_server.h"
#include "support/test_support.h"

namespace kalu {
namespace {

namespace fs = std::filesystem;

nlohmann::json JsonFile(const fs::path& path) {
  return nlohmann::json::parse(test::ReadText(path), nullptr, false);
}

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
  test::SecondServer serverB(test::BinaryDir() / "pg-rollout");
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
                << "\"}'" << (name == names[1] ? " kalu_no_backup=true" : "") << "\n";
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
  // The sound store kept a copy of its database; the other was not to keep any.
  EXPECT_NE(run.output.find("tienda-a: actualizada; copia kalu_antes_24_03_20_"), std::string::npos)
      << run.output;
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
  for (const auto& line : check["checks"]) {
    if (line["id"] == "backup_rights") {
      EXPECT_EQ(line["detail"], "no se hará copia (--no-backup)");
    }
  }
  EXPECT_EQ(serverB.Value("select count(*) from pg_class where relname = 'enviocfdi11'"), "0");
  const std::string logB = test::ReadText(reports / "tienda-b" / "kalu-upgrade.log");
  EXPECT_NE(logB.find("Revisión: problema en Paquete DATOS.XMZ"), std::string::npos) << logB;
  EXPECT_EQ(logB.find("Inicio de kalu-upgrade"), std::string::npos) << logB;
  EXPECT_FALSE(fs::exists(reports / "tienda-b" / "kalu-run.json"));

  auto summary = JsonFile(reports / "resumen.json");
  EXPECT_EQ(summary["tienda-a"].get<std::string>().rfind("actualizada; copia kalu_antes_", 0), 0u)
      << summary;
  EXPECT_EQ(db.Value("select count(*) from pg_database where datname like 'kalu\\_antes\\_%'"),
            "1");
  EXPECT_EQ(summary["tienda-b"].get<std::string>().rfind("detenida en la revisión", 0), 0u);
}

}  // namespace
}  // namespace kalu
