#include "support/test_support.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <thread>

#include "gen/sandbox.h"
#include "packages/package_format.h"
#include "runtime/convert.h"
#include "support/process.h"
#include "upgrade/azt903114.h"
#include "upgrade/schema_changes.h"

namespace kalu::test {

std::filesystem::path SourceDir() {
  return KALU_SOURCE_DIR;
}
std::filesystem::path BinaryDir() {
  return KALU_BINARY_DIR;
}
std::filesystem::path SandboxDir() {
  const char* folder = std::getenv("KALU_TEST_SANDBOX");
  return folder && *folder ? std::filesystem::path(folder) : BinaryDir() / "pg";
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string JsonSchemaProblems(const std::string& schema, const std::filesystem::path& document) {
  ProcessResult check =
      RunProcess({"/usr/bin/python3", (SourceDir() / "tests/support/validate_json.py").string(),
                  (SourceDir() / "schemas" / schema).string(), document.string()});
  if (check.status == 0) return "";
  return check.output.empty() ? "the validator ended with status " + std::to_string(check.status)
                              : check.output;
}

std::string PackageFixture(const std::string& name) {
  return ReadText(SourceDir() / "fixtures" / "packages" / name);
}

WorkFolder::WorkFolder() {
  std::random_device rd;
  previous_ = std::filesystem::current_path();
  path_ = std::filesystem::temp_directory_path() /
          ("kalu-test-" + std::to_string(getpid()) + "-" + std::to_string(rd()));
  std::filesystem::create_directories(path_);
  std::filesystem::current_path(path_);
}

WorkFolder::~WorkFolder() {
  std::error_code ec;
  std::filesystem::current_path(previous_, ec);
  std::filesystem::remove_all(path_, ec);
}

void WorkFolder::Write(const std::string& relative, const std::string& content) const {
  auto target = path_ / relative;
  std::filesystem::create_directories(target.parent_path());
  std::ofstream(target, std::ios::binary) << content;
}

namespace {

struct ConnCloser {
  void operator()(PGconn* c) const { PQfinish(c); }
};
struct ResultCloser {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Conn = std::unique_ptr<PGconn, ConnCloser>;
using Result = std::unique_ptr<PGresult, ResultCloser>;

Conn Connect(const std::string& database) {
  const auto sandbox = gen::Sandbox::In(SandboxDir());
  if (!sandbox.Running()) {
    ADD_FAILURE() << "the throwaway PostgreSQL is not running (scripts/pg-sandbox start "
                  << SandboxDir().string() << ")";
    return nullptr;
  }
  Conn c(PQconnectdb(sandbox.ConnInfo(database).c_str()));
  if (PQstatus(c.get()) != CONNECTION_OK) {
    ADD_FAILURE() << "cannot connect to " << database << ": " << PQerrorMessage(c.get());
    return nullptr;
  }
  return c;
}

Result Run(PGconn* c, const std::string& sql) {
  Result r(PQexec(c, sql.c_str()));
  auto st = PQresultStatus(r.get());
  if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
    ADD_FAILURE() << "statement failed: " << PQresultErrorMessage(r.get()) << "\n" << sql;
  }
  return r;
}

// Drops the copies and failed databases the way back kept of `database`.
void DropKept(PGconn* c, const std::string& database) {
  Result kept = Run(c, "SELECT datname FROM pg_database WHERE strpos(datname, '" + database +
                           "_antes_') = 1 OR strpos(datname, '" + database + "_fallida_') = 1");
  for (int i = 0; i < PQntuples(kept.get()); ++i) {
    gen::Sandbox::In(SandboxDir()).Drop(PQgetvalue(kept.get(), i, 0));
  }
}

}  // namespace

TestDatabase::TestDatabase()
    : TestDatabase([] {
        static std::atomic<int> counter{0};
        return "kalu_test_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
      }()) {}

TestDatabase::TestDatabase(std::string name) : name_(std::move(name)) {
  if (auto c = Connect("postgres")) DropKept(c.get(), name_);
  const std::string error = gen::Sandbox::In(SandboxDir()).CreateFromTemplate(name_);
  if (!error.empty()) ADD_FAILURE() << "cannot create " << name_ << ": " << error;
}

TestDatabase::~TestDatabase() {
  const std::string error = gen::Sandbox::In(SandboxDir()).Drop(name_);
  if (!error.empty()) ADD_FAILURE() << "cannot drop " << name_ << ": " << error;
  if (auto c = Connect("postgres")) DropKept(c.get(), name_);
}

std::string TestDatabase::DsnText() {
  return gen::Sandbox::In(SandboxDir()).DsnText();
}

std::string TestDatabase::ConnInfo() const {
  return gen::Sandbox::In(SandboxDir()).ConnInfo(name_);
}

void TestDatabase::WriteDsn() {
  std::ofstream("Kalu.dsn") << DsnText();
}

void TestDatabase::Exec(const std::string& sql) const {
  if (auto c = Connect(name_)) Run(c.get(), sql);
}

std::vector<std::string> TestDatabase::Rows(const std::string& sql) const {
  std::vector<std::string> rows;
  auto c = Connect(name_);
  if (!c) return rows;
  Result r = Run(c.get(), sql);
  for (int i = 0; i < PQntuples(r.get()); ++i) {
    std::string row;
    for (int j = 0; j < PQnfields(r.get()); ++j) {
      if (j) row += "|";
      row += PQgetisnull(r.get(), i, j) ? "<null>" : PQgetvalue(r.get(), i, j);
    }
    rows.push_back(row);
  }
  return rows;
}

void TestDatabase::UpgradeSchema() const {
  std::string sql;
  for (const SchemaChange& change : SchemaChanges()) sql += std::string(change.statement) + "\n";
  sql += "DROP VIEW IF EXISTS EdoCtaFolios_View CASCADE;\n" + EdoCtaFoliosViewStatement() + ";\n";
  for (const char* st : DataFixStatements()) sql += std::string(st) + "\n";
  Exec(sql);
}

std::string TestDatabase::Value(const std::string& sql) const {
  auto rows = Rows(sql);
  return rows.empty() ? std::string() : rows.front();
}

std::string TestDatabase::Dump() const {
  const auto sandbox = gen::Sandbox::In(SandboxDir());
  std::vector<std::filesystem::path> bins;
  for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql")) {
    bins.push_back(entry.path() / "bin" / "pg_dump");
  }
  std::sort(bins.begin(), bins.end());
  if (bins.empty()) {
    ADD_FAILURE() << "pg_dump is not installed";
    return "";
  }
  ProcessResult dump =
      RunProcess({"/usr/bin/env", "PGPASSWORD=t29r$HHvb", bins.back().string(), "--no-sync", "-h",
                  sandbox.host, "-p", sandbox.port, "-U", "zovizazir", "-d", name_});
  EXPECT_EQ(dump.status, 0) << dump.output;
  // Newer pg_dump fences its output with a key of its own, different on every dump.
  std::istringstream in(dump.output);
  std::string text;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("\\restrict ", 0) != 0 && line.rfind("\\unrestrict ", 0) != 0)
      text += line + "\n";
  }
  return text;
}

double PeakMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  }
  return 0;
}

bool TestDatabase::WaitForSession(const std::string& database, const std::string& application) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  auto c = Connect("postgres");
  while (c && std::chrono::steady_clock::now() < until) {
    Result r = Run(c.get(), "SELECT count(*) FROM pg_stat_activity WHERE datname = '" + database +
                                "' AND application_name = '" + application + "'");
    if (std::atoi(PQgetvalue(r.get(), 0, 0)) > 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ADD_FAILURE() << "no session " << application << " on " << database;
  return false;
}

std::string TestDatabase::Digest(const std::string& table, const std::string& order) const {
  return Value("select md5(string_agg(t::text, ',' order by " + order + ")) from " + table + " t");
}

void WorkFolder::PutPackage(const std::string& name, const std::string& xml) const {
  std::vector<uint8_t> bytes = PackDocument(xml);
  Write("Importar/" + name, std::string(bytes.begin(), bytes.end()));
}

static std::string ConnectionDataFor(const std::string& database) {
  if (database.empty()) return Session::kConnectionData;
  return ";Database=" + database + ";Readonly=No;";
}

TestContext::TestContext(const std::string& database)
    : clock(MakeDate(2024, 3, 20, 13, 5, 9)),
      session(ConnectionDataFor(database)),
      ctx{display, session, clock, log} {}

}  // namespace kalu::test
