// The system log against a real PostgreSQL: one row per user and second, written in the
// caller's transaction, with the user of the login system's registry.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "database/store_views.h"
#include "packages/package_format.h"
#include "packages/pcargadatosdelsistema.h"
#include "packages/pcargavistaspg.h"
#include "packages/pconsultaspg.h"
#include "packages/pguardasesion.h"
#include "packages/preadadmsys.h"
#include "packages/view_package.h"
#include "platform/process.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "support/sample_store.h"
#include "support/test_support.h"
#include "upgrade/azt903114.h"
#include "upgrade/schema_changes.h"

namespace kalu {
namespace {

using test::TestContext;
using test::TestDatabase;
using test::WorkFolder;
using Rows = std::vector<std::string>;

TEST(SystemLogTest, OneRowPerUserAndSecondCommittedByTheCaller) {
  WorkFolder wf;
  TestDatabase db;
  TestDatabase::WriteDsn();
  TestContext t(db.Name());
  struct Step {
    const char* user;  // empty: no registry file
    int second;
    Rows log;  // user|time after the step and the caller's commit
  };
  const Step steps[] = {
      {"CAJERO01", 9, {"CAJERO01|2024-03-20 13:05:09"}},
      {"CAJERO01", 9, {"CAJERO01|2024-03-20 13:05:09"}},
      {"CAJERO01", 10, {"CAJERO01|2024-03-20 13:05:09", "CAJERO01|2024-03-20 13:05:10"}},
      {"GERENTE",
       10,
       {"CAJERO01|2024-03-20 13:05:09", "CAJERO01|2024-03-20 13:05:10",
        "GERENTE|2024-03-20 13:05:10"}},
      {"",
       11,
       {"|2024-03-20 13:05:11", "CAJERO01|2024-03-20 13:05:09", "CAJERO01|2024-03-20 13:05:10",
        "GERENTE|2024-03-20 13:05:10"}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(std::string(s.user) + " at " + std::to_string(s.second));
    if (*s.user) {
      test::PutLoginRegistry(wf, s.user);
    } else {
      setenv("KALU_REGISTRY", (wf.Path() / "none.reg").c_str(), 1);
    }
    t.clock.Set(MakeDate(2024, 3, 20, 13, 5, s.second));
    const PGUARDASESION::Login login = PGUARDASESION(*t).Run("CargaDatosDelSistema", "IMP");
    EXPECT_EQ(login.user, s.user);
    EXPECT_EQ(login.date, MakeDate(2024, 3, 20));
    EXPECT_EQ(login.time, MakeDate(2024, 3, 20, 13, 5, s.second));
    t.session.Commit();
    EXPECT_EQ(db.Rows("select trim(loguser), logtime from logsystem order by 1, 2"), s.log);
  }
  EXPECT_EQ(db.Rows("select distinct logdate, trim(logobjname), logmode, trim(logpc) from "
                    "logsystem"),
            Rows{"2024-03-20|CargaDatosDelSistema|IMP|" + test::LogStation()});
}

TEST(SystemLogTest, TheRowWaitsForTheCallersCommit) {
  WorkFolder wf;
  TestDatabase db;
  TestDatabase::WriteDsn();
  test::PutLoginRegistry(wf, "CAJERO01");
  TestContext t(db.Name());
  PGUARDASESION(*t).Run("CargaDatosDelSistema", "IMP");
  EXPECT_EQ(db.Value("select count(*) from logsystem"), "0");
  t.session.Commit();
  EXPECT_EQ(db.Value("select count(*) from logsystem"), "1");
}

TEST(SystemLogTest, TheLoginSystemsRegistryReadInAnyCase) {
  WorkFolder wf;
  wf.Write("registry.reg",
           "Windows Registry Editor Version 5.00\r\n\r\n"
           "[hkey_current_user\\SOFTWARE\\tellmark\\ADMINISTRACION]\r\n"
           "\"SISTEMA\"=\" KaluBO \"\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\kalubo\\administracion]\r\n"
           "\"userlogin\"=\"CAJERO02\"\r\n");
  setenv("KALU_REGISTRY", (wf.Path() / "registry.reg").c_str(), 1);
  TestContext t;
  EXPECT_EQ(PREADADMSYS(*t).Run("Administracion\\UserLogin"), "CAJERO02");
  EXPECT_FALSE(t.session.IsConnected());
}

}  // namespace
}  // namespace kalu
