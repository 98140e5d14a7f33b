// Benchmark of the invoice stamp records: open invoices of one store, each with its
// document of three lines; two of three documents have a stamped submission, the rest are
// marked as paper invoices. Prints the invoices per second, the round trips and the peak
// memory of the process.
//
//   bench_invoice_stamps [invoices]   (the throwaway PostgreSQL of the build folder must run)

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "procedures/pobtfacstimbre.h"
#include "support/test_support.h"

int main(int argc, char** argv) {
  using namespace kalu;
  int invoices = argc > 1 ? std::atoi(argv[1]) : 30000;
  test::WorkFolder wf;
  test::TestDatabase db;
  db.UpgradeSchema();
  std::string n = std::to_string(invoices);
  db.Exec(
      "INSERT INTO edocta (regcve, unicve, almcve, cancve, ctecve, grupo, subgrp, documento, "
      "fecha, movcve, cargo, abono) SELECT 12, 1, 5, 7, 1000 + i % 5000, 100 + i, 1, 100000 + "
      "i, date '2024-01-01' + (i % 60), 51 + i % 2, 116, 0 FROM generate_series(1, " +
      n +
      ") i;"
      "INSERT INTO edocta SELECT 12, 1, 5, 7, 1000 + i % 5000, 100 + i, 2, 500000 + i, date "
      "'2024-01-01' + (i % 60) + 3, 60, 0, 50 FROM generate_series(1, " +
      n +
      ") i WHERE i % 2 "
      "= 0;"
      "INSERT INTO documentos (regcve, unicve, almcve, docord, movcve, docnumdoc, docfec, "
      "cancve, ctecve, dockey, docseriefiscal) SELECT 12, 1, 5, 100000 + i, 51 + i % 2, 100000 "
      "+ i, date '2024-01-01' + (i % 60), 7, 1000 + i % 5000, '', 'BEN' FROM "
      "generate_series(1, " +
      n +
      ") i;"
      "INSERT INTO docdeta (regcve, unicve, almcve, docord, docren, doccansur, docpagar, "
      "docimpiva, docimpieps, docbasiva, docbasieps) SELECT 12, 1, 5, 100000 + i, r, r - 1, "
      "116, 16, 8, 100, 100 FROM generate_series(1, " +
      n +
      ") i, generate_series(1, 3) r;"
      "INSERT INTO enviocfdi (regcve, unicve, almcve, envioord, enviomovcve, envioserie, "
      "enviofolio, enviotimbre, enviook) SELECT 12, 1, 5, 100000 + i, 51 + i % 2, 'BEN', i, "
      "'a1b2c3d4-e5f6-4711-8899-' || lpad(i::text, 12, '0'), 1 FROM generate_series(1, " +
      n +
      ") i WHERE i % 3 <> 0;"
      "ANALYZE edocta; ANALYZE documentos; ANALYZE docdeta; ANALYZE enviocfdi;");
  test::TestDatabase::WriteDsn();
  test::TestContext t(db.Name());
  int16_t reg = 12, uni = 1, alm = 5;
  int64_t tripsBefore = t.session.Library().RoundTrips();
  auto start = std::chrono::steady_clock::now();
  POBTFACSTIMBRE(*t).Run(reg, uni, alm);
  std::chrono::duration<double> secs = std::chrono::steady_clock::now() - start;
  int64_t trips = t.session.Library().RoundTrips() - tripsBefore;
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf(
      "invoice stamp records: %d open invoices in %.2f s = %.0f invoices/s, %lld round "
      "trips, peak memory %.1f MB\n",
      invoices, secs.count(), invoices / secs.count(), static_cast<long long>(trips),
      usage.ru_maxrss / 1024.0);
  std::printf("check: %s\n",
              db.Value("select count(*) || ' paper / ' || sum(envioiva) from enviocfdi where "
                       "enviotimbre = '00000000-0000-0000-0000-000000000000'")
                  .c_str());
  return 0;
}
