#include "support/generated_store.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/sample_store.h"

namespace kalu::test {

namespace {

gen::Store Generate(const std::string& shapeName, double factor, uint64_t seed) {
  std::vector<gen::State> states;
  const gen::Shape* shape = gen::FindShape(shapeName);
  if (!shape || !gen::LoadStates(SourceDir() / "fixtures" / "reference", states)) {
    ADD_FAILURE() << "no store of shape " << shapeName << " can be generated";
    return {};
  }
  return gen::MakeStore(std::move(states), *shape, factor, seed);
}

}  // namespace

GeneratedStore::GeneratedStore(const TestDatabase& db, const std::string& shape, double factor,
                               uint64_t seed, gen::Statistics statistics)
    : folder_(std::filesystem::current_path()),
      store_(Generate(shape, factor, seed)),
      services_(folder_ / "standin",
                ReadText(SourceDir() / "fixtures" / "services" / "standin.json")) {
  const std::string error = gen::LoadStore(db.ConnInfo(), store_, statistics);
  EXPECT_EQ(error, "") << "the generated store could not be loaded";
  TestDatabase::WriteDsn();
  WritePackages();
  setenv("KALU_REGISTRY", (folder_ / "registry.reg").c_str(), 1);
  services_.WriteLocationFile(folder_);
}

void GeneratedStore::WritePackages() const {
  EXPECT_TRUE(gen::WriteStoreFolder(folder_, store_, SourceDir() / "fixtures" / "packages",
                                    SourceDir() / "fixtures" / "store" / "registry.reg"))
      << "the store folder could not be written";
}

std::unique_ptr<StoreUnderTest> LayOutStore(const std::string& name, const TestDatabase& db) {
  if (name == "sample") return std::make_unique<SampleStore>();
  const auto at = name.find('@');
  if (at == std::string::npos) {
    ADD_FAILURE() << "no store is named " << name;
    return std::make_unique<SampleStore>();
  }
  return std::make_unique<GeneratedStore>(db, name.substr(0, at), std::atof(name.c_str() + at + 1));
}

}  // namespace kalu::test
