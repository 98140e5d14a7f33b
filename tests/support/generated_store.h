#pragma once
// A generated store (tools/gen/store.h) of any shape and size laid out for a run of the
// program: its rows loaded into a database cloned from the store template, and the working
// folder with Kalu.dsn, Importar/ and its packages, SQLPG.XMZ, the registry file
// (KALU_REGISTRY names it) and location.xml pointing at the services' stand-in, which
// answers from fixtures/services/standin.json.

#include <cstdint>
#include <string>

#include "gen/store.h"
#include "support/standin.h"
#include "support/store_under_test.h"
#include "support/test_support.h"

namespace kalu::test {

class GeneratedStore : public StoreUnderTest {
 public:
  // The store of `shape` ("plain", "packages", "stores", "sparse", "mixed") at `factor`
  // (1: a store of real size) in `db` and the working folder.
  GeneratedStore(const TestDatabase& db, const std::string& shape, double factor,
                 uint64_t seed = 20240320, gen::Statistics statistics = gen::Statistics::Analysed);
  // Packs the catalogue packages again (a run inflates them in place).
  void WritePackages() const override;
  ServicesStandIn& Services() override { return services_; }
  const gen::Store& Store() const { return store_; }

 private:
  std::filesystem::path folder_;
  gen::Store store_;
  ServicesStandIn services_;
};

}  // namespace kalu::test
