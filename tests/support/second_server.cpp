#include "support/second_server.h"

#include <gtest/gtest.h>

#include "gen/sandbox.h"
#include "support/process.h"
#include "support/test_support.h"

namespace kalu::test {

namespace {

std::string Script() {
  return (SourceDir() / "scripts" / "pg-sandbox").string();
}

}  // namespace

SecondServer::SecondServer(std::filesystem::path dir) : dir_(std::move(dir)) {
  auto made = RunProcess({Script(), "db", dir_.string(), "kalu"});
  EXPECT_EQ(made.status, 0) << made.output;
}

SecondServer::~SecondServer() {
  RunProcess({Script(), "destroy", dir_.string()});
}

std::string SecondServer::DsnText() const {
  return gen::Sandbox::In(dir_).DsnText();
}

std::string SecondServer::Value(const std::string& sql) const {
  auto run = RunProcess({Script(), "psql", dir_.string(), "kalu", "-tAc", sql});
  return run.output.substr(0, run.output.find('\n'));
}

std::string SecondServer::Admin(const std::string& sql) const {
  const gen::Sandbox server = gen::Sandbox::In(dir_);
  gen::Connection admin("host='" + server.host + "' port=" + server.port +
                        " dbname=postgres user=kalu_admin");
  return admin.Exec(sql);
}

}  // namespace kalu::test
