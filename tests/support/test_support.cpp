#include "support/test_support.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>

#include "packages/package_format.h"
#include "runtime/convert.h"
#include "upgrade/azt903114.h"

namespace kalu::test {

std::filesystem::path SourceDir() {
  return KALU_SOURCE_DIR;
}
std::filesystem::path BinaryDir() {
  return KALU_BINARY_DIR;
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
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

std::map<std::string, std::string> SandboxEnv() {
  std::map<std::string, std::string> env;
  std::ifstream in(BinaryDir() / "pg" / "sandbox.env");
  std::string line;
  while (std::getline(in, line)) {
    auto eq = line.find('=');
    if (eq != std::string::npos) env[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return env;
}

struct ConnCloser {
  void operator()(PGconn* c) const { PQfinish(c); }
};
struct ResultCloser {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Conn = std::unique_ptr<PGconn, ConnCloser>;
using Result = std::unique_ptr<PGresult, ResultCloser>;

Conn Connect(const std::string& database) {
  auto env = SandboxEnv();
  if (env.empty()) {
    ADD_FAILURE() << "the throwaway PostgreSQL is not running (scripts/pg-sandbox start "
                  << (BinaryDir() / "pg").string() << ")";
    return nullptr;
  }
  std::string info =
      "host='" + env["KALU_PGHOST"] + "' port=" + env["KALU_PGPORT"] + " dbname='" + database +
      "' user=zovizazir password='t29r$HHvb' options='-c client_min_messages=warning'";
  Conn c(PQconnectdb(info.c_str()));
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

}  // namespace

TestDatabase::TestDatabase()
    : TestDatabase([] {
        static std::atomic<int> counter{0};
        return "kalu_test_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
      }()) {}

TestDatabase::TestDatabase(std::string name) : name_(std::move(name)) {
  if (auto c = Connect("postgres")) {
    Run(c.get(), "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    Run(c.get(), "CREATE DATABASE " + name_ + " TEMPLATE kalu_template");
  }
}

TestDatabase::~TestDatabase() {
  if (auto c = Connect("postgres")) {
    Result r(PQexec(c.get(), ("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)").c_str()));
  }
}

std::string TestDatabase::DsnText() {
  auto env = SandboxEnv();
  return "[ODBC]\nDRIVER=PostgreSQL Unicode\nServername=" + env["KALU_PGHOST"] +
         "\nPort=" + env["KALU_PGPORT"] + "\nDatabase=kalu\nSSLmode=disable\n";
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
  for (const char* st : SchemaStatements()) sql += std::string(st) + "\n";
  sql += "DROP VIEW IF EXISTS EdoCtaFolios_View CASCADE;\n" + EdoCtaFoliosViewStatement() + ";\n";
  for (const char* st : DataFixStatements()) sql += std::string(st) + "\n";
  Exec(sql);
}

std::string TestDatabase::Value(const std::string& sql) const {
  auto rows = Rows(sql);
  return rows.empty() ? std::string() : rows.front();
}

double PeakMegabytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  }
  return 0;
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
      ctx{display, session, clock, log, desktopDb} {}

}  // namespace kalu::test
