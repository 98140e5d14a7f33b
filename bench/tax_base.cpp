// Benchmark of the tax base recalculation: 100,000 ENVIOCFDI rows of movements 51 and 52
// of one store, each with its document and three lines, recomputed in one pass. Prints the
// rows per second, the round trips per row and the peak memory of the process.
//
//   bench_tax_base [rows]      (the throwaway PostgreSQL of the build folder must run)

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/test_support.h"
#include "upgrade/azt903114.h"

int main(int argc, char** argv) {
  using namespace kalu;
  int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  test::WorkFolder wf;
  test::TestDatabase db;
  db.UpgradeSchema();
  std::string n = std::to_string(rows);
  db.Exec(
      "INSERT INTO documentos (regcve, unicve, almcve, docord, movcve, docnumdoc, docfec, "
      "cancve, ctecve, dockey, docseriefiscal) SELECT 12, 1, 5, 100000 + i, 51 + i % 2, i, "
      "date '2024-01-01' + (i % 60), 7, 1, '', 'BEN' FROM generate_series(1, " +
      n +
      ") i;"
      "INSERT INTO docdeta (regcve, unicve, almcve, docord, docren, doccansur, docpagar, "
      "docimpiva, docimpieps, docbasiva, docbasieps) SELECT 12, 1, 5, 100000 + i, r, r - 1, "
      "116, 16, 8, 100, 100 FROM generate_series(1, " +
      n +
      ") i, generate_series(1, 3) r;"
      "INSERT INTO enviocfdi (regcve, unicve, almcve, envioord, enviomovcve, envioserie, "
      "enviofolio) SELECT 12, 1, 5, 100000 + i, 51 + i % 2, 'BEN', i FROM generate_series(1, " +
      n +
      ") i;"
      "ANALYZE documentos; ANALYZE docdeta; ANALYZE enviocfdi;");
  test::TestDatabase::WriteDsn();
  test::TestContext t(db.Name());
  AZT903114 driver(*t);
  driver.ReadStoreKey();
  int64_t tripsBefore = t.session.Library().RoundTrips();
  auto start = std::chrono::steady_clock::now();
  driver.RecalculateInvoiceBases();
  std::chrono::duration<double> secs = std::chrono::steady_clock::now() - start;
  int64_t trips = t.session.Library().RoundTrips() - tripsBefore;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "tax base recalculation: %d rows in %.2f s = %.0f rows/s, %.2f round trips/row, "
      "peak memory %.1f MB\n",
      rows, secs.count(), rows / secs.count(), static_cast<double>(trips) / rows,
      usage.ru_maxrss / 1024.0);
  std::printf("check: %s\n",
              db.Value("select sum(enviobasiva) || ' / ' || sum(enviobasieps) "
                       "from enviocfdi where enviodesc is null and envioserie = 'BEN'")
                  .c_str());
  return 0;
}
