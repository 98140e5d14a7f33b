// The program in a terminal: messages wait for Enter and the progress line is rewritten in
// place; without a terminal on standard input the run is unattended and logs every message.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/process.h"
#include "support/sample_store.h"
#include "support/test_support.h"

namespace kalu {
namespace {

using namespace std::chrono_literals;

std::string Program() {
  return (test::BinaryDir() / "kalu-upgrade").string();
}

TEST(Console, MessagesWaitForEnterAndProgressIsRewrittenInPlace) {
  test::WorkFolder wf;
  test::TestDatabase db("kalu");
  test::SampleStore store;
  test::PtyProcess run({Program(), "--console"});

  ASSERT_TRUE(run.WaitFor("Presione ACEPTAR para iniciar la REORGANIZACION", 20s)) << run.Output();
  ASSERT_TRUE(run.WaitFor("Presione Enter para ACEPTAR", 5s));
  // Nothing happens until the operator presses Enter.
  EXPECT_FALSE(run.WaitFor("Borrando Consulta", 1s));
  EXPECT_EQ(db.Value("select count(*) from information_schema.columns where column_name = "
                     "'cteregfisdat'"),
            "0");
  run.Type("\n");

  ASSERT_TRUE(run.WaitFor("Reorganización Versión ZIDEVURO 24.03.20 Terminada", 60s))
      << run.Output();
  run.Type("\n");
  EXPECT_EQ(run.Wait(20s), 0) << run.Output();

  const std::string& screen = run.Output();
  // Progress texts rewrite one line: a carriage return and an erase before each.
  EXPECT_NE(screen.find("\r\x1b[K\x1b[36mBorrando Consulta EdoCtaFolios_View ..."),
            std::string::npos);
  EXPECT_NE(screen.find("\r\x1b[K\x1b[36mActualización de Códigos Postales..."), std::string::npos);
}

TEST(Console, UnattendedRunShowsAndLogsEveryMessageWithoutWaiting) {
  test::WorkFolder wf;
  test::TestDatabase db("kalu");
  test::SampleStore store;
  auto run = test::RunProcess({Program()});  // standard input is not a terminal
  EXPECT_EQ(run.status, 0) << run.output;
  // A line per phase, no colours, no rewriting.
  EXPECT_NE(run.output.find("[ACEPTAR] Presione ACEPTAR para iniciar la REORGANIZACION\n"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("\nBorrando Consulta EdoCtaFolios_View ...\n"), std::string::npos);
  EXPECT_NE(run.output.find("[ACEPTAR] Reorganización Versión ZIDEVURO 24.03.20 Terminada\n"),
            std::string::npos);
  EXPECT_EQ(run.output.find('\x1b'), std::string::npos);
  EXPECT_EQ(run.output.find("Presione Enter"), std::string::npos);
  std::string log = test::ReadText("kalu-upgrade.log");
  EXPECT_NE(log.find("Pantalla: terminal, desatendida"), std::string::npos);
  EXPECT_NE(log.find("Mensaje: Presione ACEPTAR para iniciar la REORGANIZACION"),
            std::string::npos);
  EXPECT_NE(log.find("Mensaje: Reorganización Versión ZIDEVURO 24.03.20 Terminada"),
            std::string::npos);
}

}  // namespace
}  // namespace kalu
