// Loads the full-scale postal-code and colonies packages that catalog_gen writes into a
// database of the throwaway PostgreSQL, first into empty tables and then once more (nothing
// to insert), and prints per loader the rows per second, the round trips per row and the
// peak memory, with the server's synchronous_commit, and a digest of the tables loaded.
//
//   bench_catalog_load [postal-codes [colonies]]     (defaults 95000 and 157000)
//
// Needs the catalog_gen tool of the same build folder, the reference tables
// (KALU_REFERENCE, default fixtures/reference of the repository) and the throwaway
// PostgreSQL of the build folder (scripts/pg-sandbox start BUILD/pg).

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "database/session.h"
#include "packages/pcargacatcolonias.h"
#include "packages/pcargacp_sat.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "run/context.h"
#include "run/run_log.h"
#include "support/test_support.h"

namespace {

using namespace kalu;
namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

// A display that keeps nothing, so that the progress texts do not weigh in the memory.
class CountingDisplay : public Display {
 public:
  void SetProgress(std::string_view) override { ++progress; }
  void ShowMessage(std::string_view text) override {
    std::printf("message: %.*s\n", static_cast<int>(text.size()), text.data());
  }
  void PumpMessages() override {}
  int16_t MousePointer() const override { return kPointerDefault; }
  void SetMousePointer(int16_t) override {}
  void ShowMainWindow() override {}
  void HideWindows() override {}
  void WaitForInput(int) override {}
  long progress = 0;
};

void ResetPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

struct Figures {
  long rows = 0;
  double seconds = 0;
  int64_t roundTrips = 0;
  double peakMb = 0;
};

void Print(const char* what, const Figures& f) {
  std::printf("%-34s %8ld rows %8.1f s %9.0f rows/s %6.2f round trips/row %7.1f MB peak\n", what,
              f.rows, f.seconds, f.rows / f.seconds,
              static_cast<double>(f.roundTrips) / static_cast<double>(f.rows), f.peakMb);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string postalCodes = argc > 1 ? argv[1] : "95000";
  const std::string colonies = argc > 2 ? argv[2] : "157000";
  const char* env = std::getenv("KALU_REFERENCE");
  const fs::path reference = env ? fs::path(env) : test::SourceDir() / "fixtures" / "reference";

  test::WorkFolder folder;
  const fs::path generated = folder.Path() / "generated";
  const std::string command = (test::BinaryDir() / "catalog_gen").string() + " --pack" +
                              " --postal-codes " + postalCodes + " --colonies " + colonies +
                              " --reference '" + reference.string() + "' '" + generated.string() +
                              "'";
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "bench_catalog_load: catalog_gen failed (is it built?)\n");
    return 1;
  }
  fs::create_directories(folder.Path() / "Importar");

  test::TestDatabase db;
  db.UpgradeSchema();
  test::TestDatabase::WriteDsn();
  std::printf("synchronous_commit = %s, fsync = %s\n", db.Value("show synchronous_commit").c_str(),
              db.Value("show fsync").c_str());

  CountingDisplay display;
  SystemClock clock;
  RunLog log;
  Session session(";Database=" + db.Name() + ";Readonly=No;");
  Context ctx(display, session, clock, log);

  // One load of a package copied fresh into the package folder (a load inflates it in place).
  auto load = [&](const char* package, const std::function<void()>& run, long rows) {
    fs::copy_file(generated / package, folder.Path() / "Importar" / package,
                  fs::copy_options::overwrite_existing);
    Figures f;
    ResetPeak();
    const int64_t trips = session.IsInitialized() ? session.Library().RoundTrips() : 0;
    const auto start = SteadyClock::now();
    run();
    f.seconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
    f.roundTrips = session.Library().RoundTrips() - trips;
    f.peakMb = test::PeakMegabytes();
    f.rows = rows;
    return f;
  };
  auto postal = [&] {
    int16_t local = 1;
    PCARGACP_SAT(ctx).Run(local);
  };
  auto colony = [&] {
    int16_t local = 1;
    PCARGACATCOLONIAS(ctx).Run(local);
  };
  // Rows of a load: the postal codes (or colonies) of the package, and the 32 state aliases.
  const long states = 32;
  const long codeRows = std::atol(postalCodes.c_str()) + states;
  const long colonyRows = std::atol(colonies.c_str());

  Figures cp = load("CP_SAT_CFDI33.XMZ", postal, codeRows);
  Figures col = load("CATCOLONIAS.XMZ", colony, colonyRows);
  std::printf("stored: %s postal codes, %s colonies\n",
              db.Value("select count(*) from codigopostal").c_str(),
              db.Value("select count(*) from colonias").c_str());
  Print("PCARGACP_SAT (empty tables)", cp);
  Print("PCARGACATCOLONIAS (empty tables)", col);

  Figures cp2 = load("CP_SAT_CFDI33.XMZ", postal, codeRows);
  Figures col2 = load("CATCOLONIAS.XMZ", colony, colonyRows);
  Print("PCARGACP_SAT (second load)", cp2);
  Print("PCARGACATCOLONIAS (second load)", col2);
  std::printf("progress texts written: %ld\n", display.progress);
  // Equal digests on two builds: the loads left the same rows.
  std::printf("digest: %s %s %s\n", db.Digest("estados", "edocve").c_str(),
              db.Digest("codigopostal", "cpcve").c_str(),
              db.Digest("colonias", "cpcve, colonia").c_str());
  return 0;
}
