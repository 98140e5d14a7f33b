// store_gen: generates a whole store before release 24.03.20 of any size and shape into a
// database of the throwaway PostgreSQL (created afresh from the store template) and lays
// out its working folder, ready for a run of the program.
//
//   store_gen [options] --sandbox DIR OUTDIR
//     --factor F          size of the store; 1 is a store of real size: 95,000 postal codes
//                         and 150,000 colonies, 20,000 customers with two address-history
//                         rows each, 100,000 documents of three lines, 83,800 submissions and
//                         30,000 open invoices (default 1)
//     --shape NAME        plain, packages, stores, sparse or mixed (default plain)
//     --seed N            the same seed gives the same store (default 20240320)
//     --sandbox DIR       folder of the sandbox's sandbox.env (scripts/pg-sandbox start DIR)
//     --database NAME     the database to create (default kalu, the program's own)
//     --services-port N   write location.xml pointing both services at 127.0.0.1:N
//     --reference DIR     folder of the reference tables (default $KALU_REFERENCE, else the
//                         repository's fixtures/reference; the sample packages and registry
//                         file are taken from its neighbours packages/ and store/)
//
// OUTDIR receives Kalu.dsn, Importar/ with the four packages, SQLPG.XMZ and registry.reg
// (point KALU_REGISTRY at it before running the program there).
//
// Exit status: 0 done, 1 the store could not be written, 2 bad usage.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "gen/catalog.h"
#include "gen/sandbox.h"
#include "gen/store.h"

namespace {

using namespace kalu::gen;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Usage() {
  std::fprintf(stderr,
               "usage: store_gen [--factor F] [--shape NAME] [--seed N] [--database NAME] "
               "[--services-port N] [--reference DIR] --sandbox DIR OUTDIR\n");
  return kExitUsage;
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "store_gen: %s\n", what.c_str());
  return kExitFailure;
}

}  // namespace

int main(int argc, char** argv) {
  double factor = 1;
  std::string shapeName = "plain";
  uint64_t seed = 20240320;
  std::string database = "kalu";
  long servicesPort = 0;
  const char* env = std::getenv("KALU_REFERENCE");
  std::filesystem::path reference = env ? env : KALU_REFERENCE_DIR;
  std::filesystem::path sandboxDir, out;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (!arg.empty() && arg[0] != '-') {
      if (!out.empty()) return Usage();
      out = arg;
      continue;
    }
    if (i + 1 >= argc) return Usage();
    const char* v = argv[++i];
    char* end = nullptr;
    if (arg == "--factor") {
      factor = std::strtod(v, &end);
      if (*end != '\0' || !(factor > 0)) return Usage();
    } else if (arg == "--seed") {
      seed = std::strtoull(v, &end, 10);
      if (*v == '\0' || *end != '\0') return Usage();
    } else if (arg == "--services-port") {
      servicesPort = std::strtol(v, &end, 10);
      if (*end != '\0' || servicesPort <= 0 || servicesPort > 65535) return Usage();
    } else if (arg == "--shape") {
      shapeName = v;
    } else if (arg == "--database") {
      database = v;
    } else if (arg == "--sandbox") {
      sandboxDir = v;
    } else if (arg == "--reference") {
      reference = v;
    } else {
      return Usage();
    }
  }
  const Shape* shape = FindShape(shapeName);
  if (out.empty() || sandboxDir.empty() || !shape) return Usage();

  std::vector<State> states;
  if (!LoadStates(reference, states)) {
    return Fail("cannot read the reference tables in " + reference.string());
  }
  const Sandbox sandbox = Sandbox::In(sandboxDir);
  if (!sandbox.Running()) {
    return Fail("no sandbox.env in " + sandboxDir.string() + " (scripts/pg-sandbox start DIR)");
  }
  const Store store = MakeStore(std::move(states), *shape, factor, seed);
  std::string error = sandbox.CreateFromTemplate(database);
  if (error.empty()) error = LoadStore(sandbox.ConnInfo(database), store);
  if (!error.empty()) return Fail(error);

  const auto fixtures = reference.parent_path();
  std::error_code ec;
  std::filesystem::create_directories(out, ec);
  if (!WriteStoreFolder(out, store, fixtures / "packages", fixtures / "store" / "registry.reg") ||
      !WriteFile(out / "Kalu.dsn", sandbox.DsnText()) ||
      (servicesPort > 0 &&
       !WriteFile(out / "location.xml",
                  LocationXml(static_cast<int>(servicesPort), static_cast<int>(servicesPort))))) {
    return Fail("cannot write into " + out.string());
  }
  std::printf("store \"%s\" of factor %g in database %s:", shape->name.c_str(), factor,
              database.c_str());
  for (const auto& table : store.tables) std::printf(" %s %zu", table.name.c_str(), table.count);
  std::printf("; %zu postal codes and %zu colonies in %s\n", store.catalog.postalCodes.size(),
              store.catalog.colonies.size(), out.string().c_str());
  return 0;
}
