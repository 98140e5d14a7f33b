// Repairs the fiscal data of a generated store of many customers, each with two address
// history rows, in a database of the throwaway PostgreSQL, and prints the rows per second,
// the round trips per customer and the peak memory, with the server's synchronous_commit,
// and a digest of the customers and their history rows afterwards.
//
//   bench_fiscal_repair [customers]     (default 20000)
//
// Needs the throwaway PostgreSQL of the build folder (scripts/pg-sandbox start BUILD/pg).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "database/session.h"
#include "procedures/pcardatosfiscal.h"
#include "support/test_support.h"

using namespace kalu;

int main(int argc, char** argv) {
  const long customers = argc > 1 ? std::atol(argv[1]) : 20000;
  const std::string n = std::to_string(customers);

  test::WorkFolder folder;
  test::TestDatabase db;
  db.UpgradeSchema();
  test::TestDatabase::WriteDsn();
  // Customers of store 12-1-5 (beside the sample's own) on the channels of the sample store, two
  // history rows each (the latest is the current one), postal codes with three colonies each, one
  // in ten without colonies; every tenth customer without its current history row.
  db.Exec(
      "INSERT INTO colonias (cpcve, colonia, colonianombre) SELECT 10000 + cp, c, 'Colonia' FROM "
      "generate_series(1, 9000) cp, generate_series(1, 3) c WHERE cp % 10 <> 0 "
      "ON CONFLICT DO NOTHING;"
      "INSERT INTO clientes (regcve, unicve, almcve, cancve, ctecve, ctenom, cteulthist) SELECT "
      "12, 1, 5, (ARRAY[1, 2, 5, 7, 49, 50, 54, 57, 60])[1 + i % 9], 1000000 + i, 'Cliente', 2 "
      "FROM "
      "generate_series(1, " +
      n +
      ") i;"
      "INSERT INTO histcli (regcve, unicve, almcve, cancve, ctecve, ctehist, ctedomicilio, ctecp, "
      "cterfc) SELECT c.regcve, c.unicve, c.almcve, c.cancve, c.ctecve, h, 'Calle', "
      "10000 + c.ctecve % 9000, CASE c.ctecve % 3 WHEN 0 THEN '' WHEN 1 THEN 'ABC010101AB1' "
      "ELSE 'ABCD010101AB1' END FROM clientes c, generate_series(1, 2) h WHERE c.ctecve > "
      "1000000 AND (h = 1 OR c.ctecve % 10 <> 0);"
      "ANALYZE clientes; ANALYZE histcli; ANALYZE colonias");
  std::printf("synchronous_commit = %s, fsync = %s\n", db.Value("show synchronous_commit").c_str(),
              db.Value("show fsync").c_str());

  test::TestContext t(db.Name());
  Session& session = t.session;
  session.EnsureConnected();

  for (int run = 1; run <= 2; ++run) {
    const int64_t trips = session.Library().RoundTrips();
    const auto start = std::chrono::steady_clock::now();
    int16_t reg = 12, uni = 1, alm = 5;
    PCARDATOSFISCAL(*t).Run(reg, uni, alm);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const int64_t used = session.Library().RoundTrips() - trips;
    std::printf(
        "PCARDATOSFISCAL (run %d) %8ld customers %8.2f s %9.0f rows/s %6.3f round "
        "trips/row %7.1f MB peak\n",
        run, customers, seconds, customers / seconds,
        static_cast<double>(used) / static_cast<double>(customers), test::PeakMegabytes());
  }
  std::printf("repaired: %s customers, %s history rows with a colony\n",
              db.Value("select count(*) from clientes where cteregfisdat = 'RegiFiscal' and "
                       "regcve = 12")
                  .c_str(),
              db.Value("select count(*) from histcli where ctecolonia > 0").c_str());
  // Equal digests on two builds: the repair left the same rows.
  std::printf("digest: %s %s\n",
              db.Digest("clientes", "regcve, unicve, almcve, cancve, ctecve").c_str(),
              db.Digest("histcli", "regcve, unicve, almcve, cancve, ctecve, ctehist").c_str());
  return 0;
}
