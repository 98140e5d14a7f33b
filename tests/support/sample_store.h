#pragma once
// The sample store of the demo, laid out in the working folder: Kalu.dsn, Importar/ with
// the four packages packed from fixtures/packages, SQLPG.XMZ in plain XML beside it, the
// login system's registry file (KALU_REGISTRY names it) and location.xml pointing at the
// services' stand-in, which answers from fixtures/services/standin.json.

#include <filesystem>
#include <string>

#include "support/standin.h"
#include "support/store_under_test.h"
#include "support/test_support.h"

namespace kalu::test {

class SampleStore : public StoreUnderTest {
 public:
  SampleStore();
  // Packs the four packages again from their sources (a run inflates them in place).
  void WritePackages() const override;
  ServicesStandIn& Services() override { return services_; }

 private:
  std::filesystem::path folder_;
  ServicesStandIn services_;
};

// The registry of the login system for a test: "Sistema" names the back-office key, below
// it the logged-in user; the program reads it from the work folder.
void PutLoginRegistry(const WorkFolder& wf, const std::string& user);

// The workstation name the login system's log records for this machine.
std::string LogStation();

}  // namespace kalu::test
