// catalog_gen: writes the postal-code and colonies catalogue packages of any size from the
// tax authority's reference tables (states, municipalities, localities), for demos, tests
// and benchmarks.
//
//   catalog_gen [options] OUTDIR
//     --postal-codes N   postal codes (default 95000, at most 96000)
//     --colonies N       colonies, spread over the postal codes (default 157000)
//     --seed N           the same seed gives the same packages byte for byte (default 20240320)
//     --reference DIR    folder of sat_estados.tsv, sat_municipios.tsv, sat_localidades.tsv
//                        (default $KALU_REFERENCE, else the repository's fixtures/reference)
//     --pack             write CP_SAT_CFDI33.XMZ and CATCOLONIAS.XMZ instead of the .xml
//
// Postal codes follow the national ranges of each state (01000-16999 Ciudad de México,
// 44000-49999 Jalisco, ...); each is written with its five digits, as the authority does.
// The state table "EDO_Rel" sits inside the first "CP_CVEs" element, ahead of its fields.
//
// Exit status: 0 done, 1 a file that cannot be read or written, 2 bad usage.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "gen/catalog.h"

namespace {

using namespace kalu::gen;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Usage() {
  std::fprintf(stderr,
               "usage: catalog_gen [--postal-codes N] [--colonies N] [--seed N] "
               "[--reference DIR] [--pack] OUTDIR\n");
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  size_t postalCodes = 95000;
  size_t colonies = 157000;
  uint64_t seed = 20240320;
  const char* env = std::getenv("KALU_REFERENCE");
  std::filesystem::path reference = env ? env : KALU_REFERENCE_DIR;
  bool pack = false;
  std::filesystem::path out;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (arg == "--pack") {
      pack = true;
    } else if (arg == "--postal-codes" || arg == "--colonies" || arg == "--seed" ||
               arg == "--reference") {
      const char* v = value();
      if (!v) return Usage();
      if (arg == "--reference") {
        reference = v;
      } else {
        char* end = nullptr;
        unsigned long long n = std::strtoull(v, &end, 10);
        if (*v == '\0' || *end != '\0') return Usage();
        (arg == "--seed" ? seed : (arg == "--colonies" ? colonies : postalCodes)) = n;
      }
    } else if (!arg.empty() && arg[0] != '-' && out.empty()) {
      out = arg;
    } else {
      return Usage();
    }
  }
  if (out.empty()) return Usage();

  std::vector<State> states;
  if (!LoadStates(reference, states)) {
    std::fprintf(
        stderr,
        "catalog_gen: cannot read the reference tables in %s, or a state there has no known "
        "postal-code range\n",
        reference.string().c_str());
    return kExitFailure;
  }
  const size_t possible = PossiblePostalCodes(states);
  if (postalCodes == 0 || postalCodes > possible) {
    std::fprintf(stderr, "catalog_gen: --postal-codes must be 1 to %zu\n", possible);
    return kExitUsage;
  }

  Random rng(seed);
  const Catalog catalog = MakeCatalog(std::move(states), postalCodes, colonies, rng);

  std::error_code ec;
  std::filesystem::create_directories(out, ec);
  if (!WriteDocument(out, "CP_SAT_CFDI33", PostalCodeDocument(catalog), pack) ||
      !WriteDocument(out, "CATCOLONIAS", ColonyDocument(catalog), pack)) {
    std::fprintf(stderr, "catalog_gen: cannot write into %s\n", out.string().c_str());
    return kExitFailure;
  }
  std::printf("%zu postal codes, %zu colonies written to %s\n", postalCodes, colonies,
              out.string().c_str());
  return 0;
}
