// The package steps of the upgrade against a real PostgreSQL: a package that cannot be
// downloaded loads nothing and changes nothing.

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

TEST(PackageStepsTest, AFailedDownloadLoadsNothingAndChangesNothing) {
  WorkFolder wf;
  TestDatabase db;
  TestDatabase::WriteDsn();
  test::PutLoginRegistry(wf, "CAJERO01");
  TestContext t(db.Name());
  // Downloaded, with no PREFERENCIAS.XML: no server to download from.
  PCARGAVISTASPG(*t).Run(/*inPackageFolder=*/0);
  PCARGADATOSDELSISTEMA(*t).Run(/*inPackageFolder=*/0);
  ASSERT_FALSE(t.display.messages.empty());
  EXPECT_EQ(t.display.messages.back(),
            "Error: No se pudo completar la descarga, intente mas tarde");
  EXPECT_EQ(db.Rows("select vistaid, rtrim(vistaname) from vistapg"), Rows{"1|vista_antigua"});
  EXPECT_EQ(db.Rows("select trim(datnoca) from datos order by 1"), (Rows{"1", "99"}));
  EXPECT_EQ(db.Value("select count(*) from logsystem"), "0");
  const Rows& p = t.display.progress;
  EXPECT_EQ(std::find(p.begin(), p.end(), "Actualización Catalogo de calidades..."), p.end());
  EXPECT_EQ(std::find(p.begin(), p.end(), "Cargando Actualización de Datos del Sistema..."),
            p.end());
}

}  // namespace
}  // namespace kalu
