// Upgrades a whole generated store through the program, as an operator's unattended run
// does, and prints per procedure its seconds, rows and round trips (from the run log's
// summary) and, for the five heavy ones, the ratio to a set-based floor measured on the same
// server right after the run (for the two catalogue loads: one walk over the package with the
// program's reader, and a COPY of its rows); then the time of the copy of the store database
// the run makes first, beside the database's size; then the total and the program's peak
// memory.
//
//   bench_full_store [factor] [--shape NAME] [--no-stats] [--limit SECONDS] [--windows EXE]
//     factor     size of the store, 1 being a store of real size (default 1)
//     --shape    plain, packages, stores, sparse or mixed (default plain)
//     --no-stats the store has no planner statistics, as right after a restore: its tables
//                are loaded with autovacuum off and never analysed (default: analysed, as a
//                store in daily use)
//     --limit    stop the program (kill -9) after that many seconds; the procedures it
//                finished are shown, the one it was in with the time it had run
//     --windows  run the Windows build's program EXE (build-win/kalu-upgrade.exe) under Wine
//                instead: against the sandbox BUILD/pgwin, which listens on 127.0.0.1 too,
//                with the store's registry imported into the Wine prefix beside EXE
//
// The store's system data package and the services' fleet grow with the factor too (at
// factor 1: 50 catalogues with 2,000 entries, 220 vehicles and 220 operators of the
// store's own fleet), so that their round trips per row show.
//
// Uses the throwaway PostgreSQL of the build folder (started when it is not running) and the
// program and the services' stand-in of the same build; the store database is "kalu".

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gen/catalog.h"
#include "gen/sandbox.h"
#include "platform/xml.h"
#include "support/generated_store.h"
#include "support/test_support.h"

namespace {

using namespace kalu;
using SteadyClock = std::chrono::steady_clock;

double Since(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// One procedure as the run log tells it.
struct Phase {
  std::string name;
  double seconds = 0;
  std::optional<long long> rows;
  std::optional<long long> roundTrips;
  bool finished = true;
};

// The procedures of the run: from the summary (with rows and round trips when it gives
// them), else from the "terminado en" lines; a procedure begun and not finished last.
std::vector<Phase> ReadPhases(const std::string& log, double stoppedAfter) {
  static const std::regex summary(
      R"(^\S+ \S+   (\S.{0,23}?) +([0-9.]+) s(?: +(\d+) filas +[0-9.]+ filas/s +(\d+) viajes)?\s*$)");
  static const std::regex finished(R"(^\S+ \S+ (.+): terminado en ([0-9.]+) s$)");
  static const std::regex begun(R"(^\S+ \S+ (.+): inicio$)");
  // The summary's lines are indented; its notices come before the procedures.
  static const std::regex indented(R"(^\S+ \S+   \S.*$)");
  std::vector<Phase> fromSummary, fromLines;
  std::string open;
  double openSince = 0;
  bool inSummary = false;
  std::istringstream in(log);
  std::string line;
  double elapsed = 0;
  while (std::getline(in, line)) {
    std::smatch m;
    if (line.find(" Resumen de la corrida:") != std::string::npos) {
      inSummary = true;
      fromSummary.clear();
    } else if (inSummary && std::regex_match(line, m, summary)) {
      Phase p{m[1], std::stod(m[2]), {}, {}, true};
      if (m[3].matched) p.rows = std::stoll(m[3]), p.roundTrips = std::stoll(m[4]);
      fromSummary.push_back(p);
    } else if (std::regex_match(line, m, finished)) {
      inSummary = false;
      fromLines.push_back({m[1], std::stod(m[2]), {}, {}, true});
      elapsed += std::stod(m[2]);
      open.clear();
    } else if (std::regex_match(line, m, begun)) {
      inSummary = false;
      open = m[1];
      openSince = elapsed;
    } else if (!std::regex_match(line, indented)) {
      inSummary = false;
    }
  }
  if (!fromSummary.empty()) return fromSummary;
  if (!open.empty()) fromLines.push_back({open, stoppedAfter - openSince, {}, {}, false});
  return fromLines;
}

struct Child {
  int status = -1;
  double seconds = 0;
  long peakKb = 0;
  bool killed = false;
};

// Runs the program (`command` with its arguments) in the working folder, its output into
// `output`, and waits for it (or kills it after `limit` seconds).
Child RunProgram(const std::vector<std::string>& command, const std::string& output, double limit) {
  std::vector<char*> argv;
  for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  Child child;
  const auto start = SteadyClock::now();
  pid_t pid = fork();
  if (pid == 0) {
    int in = open("/dev/null", O_RDONLY);
    int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  // The peak is the program's own: the high-water mark of its memory as /proc shows it while
  // it runs (the rusage of a child also counts what the parent held when it forked).
  const std::string statusFile = "/proc/" + std::to_string(pid) + "/status";
  int status = 0;
  while (true) {
    // Until the exec the child is a copy of this process, with its high-water mark.
    std::ifstream procStatus(statusFile);
    bool program = false;
    for (std::string line; std::getline(procStatus, line);) {
      if (line.rfind("Name:", 0) == 0) program = line.find("kalu-upgrade") != std::string::npos;
      if (program && line.rfind("VmHWM:", 0) == 0) {
        child.peakKb = std::max(child.peakKb, std::atol(&line[6]));
      }
    }
    if (waitpid(pid, &status, WNOHANG) == pid) break;
    if (limit > 0 && Since(start) > limit && !child.killed) {
      kill(pid, SIGKILL);
      child.killed = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  child.seconds = Since(start);
  child.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return child;
}

// A system data package of `catalogues` catalogues holding `entries` entries in all.
std::string SystemDataDocument(int catalogues, int entries) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<DATOS><Modo>0</Modo><TABLA_DATOS>";
  for (int c = 1; c <= catalogues; ++c) {
    xml += "<CAMPO><DatNoCa>" + std::to_string(c) + "</DatNoCa><DatDesCa>Catálogo " +
           std::to_string(c) + "</DatDesCa></CAMPO>";
  }
  xml += "</TABLA_DATOS><TABLA_DATOS1>";
  for (int e = 0; e < entries; ++e) {
    xml += "<DATO><DatNoCa>" + std::to_string(1 + e % catalogues) + "</DatNoCa><DatCve>" +
           std::to_string(1 + e / catalogues) + "</DatCve><DatDes>Entrada " + std::to_string(e) +
           "</DatDes></DATO>";
  }
  return xml + "</TABLA_DATOS1></DATOS>\n";
}

// The stand-in's data with `count` more vehicles and operators of the store's own fleet,
// copies of the first of each with keys of their own.
std::string WideFleet(const std::string& dataJson, int count) {
  auto data = nlohmann::json::parse(dataJson);
  const auto vehicle = data["vehicles"][0];
  const auto driver = data["operators"][0];
  for (int i = 0; i < count; ++i) {
    char plates[16], rfc[24];
    std::snprintf(plates, sizeof plates, "BQ%05d", i);
    std::snprintf(rfc, sizeof rfc, "BENC%09d", i);
    auto v = vehicle;
    v["VehPlacas"] = plates;
    v["VehNumEco"] = 5000 + i;
    data["vehicles"].push_back(v);
    auto d = driver;
    d["EmpRFC"] = rfc;
    d["EmpNum"] = 50000 + i;
    data["operators"].push_back(d);
  }
  return data.dump();
}

// The set-based floors: the same work done in a few statements on the same server.
class Floors {
 public:
  // One connection serves every floor, so that none of them pays for a log-in.
  Floors(const test::TestDatabase& db, const gen::Store& store)
      : conn_(db.ConnInfo()), store_(store) {}

  std::map<std::string, double> Measure() {
    std::map<std::string, double> floors;
    floors["PCARGACP_SAT"] =
        ReadPackage("CP_SAT_CFDI33.XMZ") +
        Time(
            "CREATE TEMP TABLE piso_cp (cpcve int, edoalias char(3), muncve smallint, loccve "
            "smallint)",
            "piso_cp", PostalCodeRows());
    floors["PCARGACATCOLONIAS"] =
        ReadPackage("CATCOLONIAS.XMZ") +
        Time("CREATE TEMP TABLE piso_col (cpcve int, colonia smallint, nombre varchar(80))",
             "piso_col", ColonyRows());
    floors["POBTFACSTIMBRE"] = Time(kGatherInvoices);
    floors["U1315S1"] = Time(kTaxBases);
    floors["PCARDATOSFISCAL"] = Time(kFiscal);
    return floors;
  }

 private:
  // Every open invoice of the store with its documents, their line sums and whether a
  // stamped submission of their internal number exists.
  static constexpr const char* kGatherInvoices =
      "SELECT f.*, d.regcve, d.unicve, d.almcve, d.docord, d.dockey, d.docseriefiscal, s.pagar, "
      "s.iva, s.ieps, st.timbrado FROM edoctafolios_view f JOIN documentos d ON d.docnumdoc = "
      "f.documento AND d.docfec = f.fecha AND d.movcve = f.movcve AND d.cancve = f.cancve AND "
      "d.ctecve = f.ctecve LEFT JOIN (SELECT regcve, unicve, almcve, docord, sum(docpagar) AS "
      "pagar, sum(docimpiva) AS iva, sum(docimpieps) AS ieps FROM docdeta WHERE doccansur > 0 "
      "GROUP BY 1, 2, 3, 4) s ON s.regcve = d.regcve AND s.unicve = d.unicve AND s.almcve = "
      "d.almcve AND s.docord = d.docord LEFT JOIN (SELECT envioord, bool_or(enviook = 1 AND "
      "trim(enviotimbre) <> '') AS timbrado FROM enviocfdi GROUP BY envioord) st ON "
      "st.envioord = d.docord WHERE f.regcve = 12 AND f.unicve = 1 AND f.almcve = 5";
  // The grouped base sums of every submission of movements 51 and 52, in one UPDATE.
  static constexpr const char* kTaxBases =
      "UPDATE enviocfdi e SET enviobasieps = coalesce(s.ieps, 0), enviobasiva = "
      "coalesce(s.iva, 0) FROM (SELECT e.regcve, e.unicve, e.almcve, e.envioord, "
      "sum(l.docbasieps) AS ieps, sum(l.docbasiva) AS iva FROM enviocfdi e LEFT JOIN documentos "
      "d ON d.regcve = e.regcve AND d.unicve = e.unicve AND d.almcve = e.almcve AND d.docord = "
      "e.envioord AND d.movcve IN (51, 52) LEFT JOIN docdeta l ON l.regcve = d.regcve AND "
      "l.unicve = d.unicve AND l.almcve = d.almcve AND l.docord = d.docord AND l.doccansur > 0 "
      "WHERE e.regcve = 12 AND e.unicve = 1 AND e.almcve = 5 AND e.enviomovcve IN (51, 52) "
      "GROUP BY 1, 2, 3, 4) s WHERE e.regcve = s.regcve AND e.unicve = s.unicve AND e.almcve = "
      "s.almcve AND e.envioord = s.envioord";
  // Every customer's latest history row gets its postal code's first colony, and every
  // customer its regime from the channel's or the address's RFC.
  static constexpr const char* kFiscal =
      "BEGIN; UPDATE histcli h SET ctecolonia = coalesce((SELECT min(colonia) FROM colonias k "
      "WHERE k.cpcve = h.ctecp), 0) FROM clientes c WHERE c.regcve = 12 AND c.unicve = 1 AND "
      "c.almcve = 5 AND h.regcve = c.regcve AND h.unicve = c.unicve AND h.almcve = c.almcve AND "
      "h.cancve = c.cancve AND h.ctecve = c.ctecve AND h.ctehist = c.cteulthist; "
      "UPDATE clientes c SET cteregfisdat = 'RegiFiscal', cteregfiscve = CASE WHEN r.rfc = "
      "'XAXX010101000' THEN 616 WHEN length(r.rfc) = 12 AND c.cancve IN (5, 49, 50) THEN 601 "
      "WHEN length(r.rfc) = 12 THEN 603 ELSE 612 END FROM (SELECT c.cancve, c.ctecve, "
      "coalesce(nullif(trim(k.canrfc), ''), nullif(trim(h.cterfc), ''), 'XAXX010101000') AS rfc "
      "FROM clientes c LEFT JOIN canales k ON k.cancve = c.cancve LEFT JOIN histcli h ON "
      "h.regcve = c.regcve AND h.unicve = c.unicve AND h.almcve = c.almcve AND h.cancve = "
      "c.cancve AND h.ctecve = c.ctecve AND h.ctehist = c.cteulthist WHERE c.regcve = 12 AND "
      "c.unicve = 1 AND c.almcve = 5) r WHERE c.regcve = 12 AND c.unicve = 1 AND c.almcve = 5 "
      "AND c.cancve = r.cancve AND c.ctecve = r.ctecve; COMMIT";

  // A load of a package cannot do less than read it: the seconds of one walk over every
  // node of the package (inflated in place by the run) with the program's reader.
  static double ReadPackage(const std::string& name) {
    const auto start = SteadyClock::now();
    XmlReader reader;
    reader.Open(std::string(".\\Importar\\") + name);
    size_t bytes = 0;
    while (reader.Read() > 0) bytes += reader.Value().size();
    reader.Close();
    if (bytes == 0) std::printf("floor: %s read nothing\n", name.c_str());
    return Since(start);
  }

  // The seconds of `sql`, and of a COPY of `rows` into `table` when given.
  double Time(const std::string& sql, const std::string& table = "", const std::string& rows = "") {
    const auto start = SteadyClock::now();
    std::string error = conn_.Exec(sql);
    if (error.empty() && !table.empty()) error = conn_.Copy(table, "", rows);
    const double seconds = Since(start);
    if (!error.empty()) std::printf("floor: %s\n", error.c_str());
    return seconds;
  }

  std::string PostalCodeRows() const {
    std::string rows;
    for (const auto& pc : store_.catalog.postalCodes) {
      rows += std::to_string(pc.code) + "\t" + pc.alias + "\t" + std::to_string(pc.municipality) +
              "\t" + std::to_string(pc.locality) + "\n";
    }
    return rows;
  }
  std::string ColonyRows() const {
    std::string rows;
    for (const auto& c : store_.catalog.colonies) {
      rows += std::to_string(c.postalCode) + "\t" + std::to_string(c.colony) + "\t" + c.name + "\n";
    }
    return rows;
  }

  gen::Connection conn_;
  const gen::Store& store_;
};

std::string Optional(const std::optional<long long>& value) {
  return value ? std::to_string(*value) : "-";
}

}  // namespace

int main(int argc, char** argv) {
  double factor = 1;
  std::string shape = "plain";
  double limit = 0;
  std::string windowsProgram;
  auto statistics = gen::Statistics::Analysed;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--shape" && i + 1 < argc) {
      shape = argv[++i];
    } else if (arg == "--limit" && i + 1 < argc) {
      limit = std::atof(argv[++i]);
    } else if (arg == "--windows" && i + 1 < argc) {
      windowsProgram = std::filesystem::absolute(argv[++i]).string();
    } else if (arg == "--no-stats") {
      statistics = gen::Statistics::None;
    } else if (std::atof(arg.c_str()) > 0) {
      factor = std::atof(arg.c_str());
    } else {
      std::fprintf(stderr,
                   "usage: bench_full_store [factor] [--shape NAME] [--no-stats] [--limit SECONDS] "
                   "[--windows EXE]\n");
      return 2;
    }
  }
  const bool windows = !windowsProgram.empty();
  const auto pg = test::BinaryDir() / (windows ? "pgwin" : "pg");
  if (windows) {
    // The Windows program reaches the server from Wine over TCP (as the CTest test
    // CompleteUpgrade.SampleStoreOnWindowsUnderWine does).
    setenv("KALU_PG_TCP", "1", 1);
    setenv("KALU_PGPORT", "54331", 1);
    setenv("KALU_TEST_SANDBOX", pg.c_str(), 1);
    setenv("WINEPREFIX", (std::filesystem::path(windowsProgram).parent_path() / "wine").c_str(), 1);
  }
  // Starts the server unless it runs already.
  if (std::system(
          ((test::SourceDir() / "scripts" / "pg-sandbox").string() + " start " + pg.string())
              .c_str()) != 0) {
    std::fprintf(stderr, "the throwaway PostgreSQL did not start\n");
    return 1;
  }

  test::WorkFolder wf;
  test::TestDatabase db("kalu");
  std::printf("server: PostgreSQL %s, fsync = %s, synchronous_commit = %s\n",
              db.Value("SHOW server_version").c_str(), db.Value("SHOW fsync").c_str(),
              db.Value("SHOW synchronous_commit").c_str());
  auto start = SteadyClock::now();
  test::GeneratedStore store(db, shape, factor, 20240320, statistics);
  const int wide = static_cast<int>(factor * 2000);
  const bool widened =
      gen::WriteDocument(wf.Path() / "Importar", "DATOS", SystemDataDocument(50, wide), true);
  store.Services().SetData(
      WideFleet(test::ReadText(test::SourceDir() / "fixtures" / "services" / "standin.json"),
                static_cast<int>(factor * 220)));
  if (!widened) std::printf("the system data package could not be written\n");
  std::printf("store \"%s\" of factor %g generated and loaded in %.1f s:", shape.c_str(), factor,
              Since(start));
  for (const auto& t : store.Store().tables) std::printf(" %s %zu", t.name.c_str(), t.count);
  std::printf("; packages: %zu postal codes, %zu colonies\n",
              store.Store().catalog.postalCodes.size(), store.Store().catalog.colonies.size());
  std::printf("planner statistics before the run: %s columns of the store's tables\n",
              db.Value("SELECT count(*) FROM pg_stats WHERE schemaname = 'public'").c_str());
  std::fflush(stdout);

  const double storeMegabytes =
      std::atof(db.Value("SELECT pg_database_size('kalu')").c_str()) / 1048576;
  std::vector<std::string> command = {(test::BinaryDir() / "kalu-upgrade").string(),
                                      "--unattended"};
  if (windows) {
    const std::string wineRun = (test::SourceDir() / "scripts" / "wine-run").string();
    wf.Write("Kalu.dsn", "[ODBC]\nServername=127.0.0.1\nPort=54331\n");
    if (std::system((wineRun + " reg import registry.reg >/dev/null 2>&1").c_str()) != 0) {
      std::fprintf(stderr, "the store's registry could not be imported into Wine\n");
      return 1;
    }
    command = {wineRun, windowsProgram, "--unattended"};
  }
  const Child run = RunProgram(command, (wf.Path() / "salida.txt").string(), limit);
  // The Windows program writes its log with the system's line ends ("\r\n").
  std::string log = test::ReadText(wf.Path() / "kalu-upgrade.log");
  std::erase(log, '\r');
  const auto phases = ReadPhases(log, run.seconds);
  Floors floors(db, store.Store());
  const auto floor = floors.Measure();

  std::printf("\n%-24s %9s %10s %10s %10s %9s %9s\n", "procedimiento", "segundos", "filas",
              "filas/s", "viajes", "piso s", "veces");
  for (const auto& p : phases) {
    auto f = floor.find(p.name);
    char rate[32] = "-", ratio[32] = "-", floorText[32] = "-";
    if (p.rows && p.seconds > 0) std::snprintf(rate, sizeof rate, "%.0f", *p.rows / p.seconds);
    if (f != floor.end()) {
      std::snprintf(floorText, sizeof floorText, "%.3f", f->second);
      std::snprintf(ratio, sizeof ratio, "%.1f", p.seconds / f->second);
    }
    std::printf("%-24s %9.3f %10s %10s %10s %9s %9s%s\n", p.name.c_str(), p.seconds,
                Optional(p.rows).c_str(), rate, Optional(p.roundTrips).c_str(), floorText, ratio,
                p.finished ? "" : "  (interrumpido)");
  }
  // The copy of the store the run makes before it changes anything (the step "Respaldo").
  static const std::regex copied(R"(Respaldo: copia (\S+) de .+ hecha en ([0-9.]+) s)");
  std::smatch copy;
  if (std::regex_search(log, copy, copied)) {
    std::printf("\ncopy before the run: %s, %s s for a database of %.1f MB (pg_database_size)\n",
                copy[1].str().c_str(), copy[2].str().c_str(), storeMegabytes);
  } else {
    std::printf("\nno copy before the run (see the run log)\n");
  }
  double floorTotal = 0;
  for (const auto& [name, seconds] : floor) floorTotal += seconds;
  // The packages were inflated in place by the run.
  uintmax_t largest = 0;
  for (const auto& entry : std::filesystem::directory_iterator(wf.Path() / "Importar")) {
    if (entry.is_regular_file()) largest = std::max(largest, entry.file_size());
  }
  const double largestMb = largest / 1048576.0;
  std::printf("\ntotal %.3f s, exit status %d%s; floors %.3f s in all, %.1f times\n", run.seconds,
              run.status, run.killed ? " (stopped by --limit)" : "", floorTotal,
              run.seconds / floorTotal);
  std::printf(
      "peak memory %.1f MB; largest inflated package %.1f MB (2.5 times it + 50 MB: "
      "%.1f MB)\n",
      run.peakKb / 1024.0, largestMb, 2.5 * largestMb + 50);
  return 0;
}
