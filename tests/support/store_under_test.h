#pragma once
// A store laid out in the working folder for a run of the program, whichever it is: the
// sample store of the demo or a generated one. Tests that hold for any store take its name.

#include <memory>
#include <string>

#include "support/standin.h"

namespace kalu::test {

class TestDatabase;

class StoreUnderTest {
 public:
  virtual ~StoreUnderTest() = default;
  // Packs the packages again from their sources (a run inflates them in place).
  virtual void WritePackages() const = 0;
  virtual ServicesStandIn& Services() = 0;
};

// "sample": the sample store (the rows of the store template, which `db` was cloned from);
// "<shape>@<factor>", for example "plain@0.1": the generated store of that shape and factor
// loaded into `db`. Both in the working folder.
std::unique_ptr<StoreUnderTest> LayOutStore(const std::string& name, const TestDatabase& db);

}  // namespace kalu::test
