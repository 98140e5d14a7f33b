#pragma once
// What the tests share: a process context with a recording display, a throwaway working
// folder, and databases of the throwaway PostgreSQL cloned from the store template.

#include <filesystem>
#include <string>
#include <vector>

#include "database/session.h"
#include "platform/clock.h"
#include "platform/recording_display.h"
#include "run/context.h"
#include "run/run_log.h"
#include "soap/soap_parm.h"

namespace kalu::test {

// Runs `fn` and returns the error of type `Error` it raised (`none` when it raised none).
template <typename Error = RuntimeError, typename Fn>
Error Raised(Fn fn, Error none = Error(0, "")) {
  try {
    fn();
  } catch (const Error& e) {
    return e;
  }
  return none;
}

// The database error `fn` raised (native code 0 and no texts when none).
template <typename Fn>
DatabaseError RaisedByDatabase(Fn fn) {
  return Raised<DatabaseError>(fn, DatabaseError(0, "", "", ""));
}

// The repository's folder and the build folder.
std::filesystem::path SourceDir();
std::filesystem::path BinaryDir();
// The folder of the throwaway PostgreSQL the database tests use: BUILD/pg, or the folder
// that KALU_TEST_SANDBOX names (a sandbox of another PostgreSQL version).
std::filesystem::path SandboxDir();

// The whole content of a file (empty when it cannot be read).
std::string ReadText(const std::filesystem::path& path);
// The problems of the JSON document at `document` against the repository's JSON Schema
// `schemas/<schema>` (one a line), or empty when it validates.
std::string JsonSchemaProblems(const std::string& schema, const std::filesystem::path& document);
// The peak resident memory of the process in megabytes (since the last reset of the
// process's peak, when a benchmark resets it).
double PeakMegabytes();

// The source of a sample package, fixtures/packages/<name>.
std::string PackageFixture(const std::string& name);

// A fresh empty folder that becomes the working folder while the object lives; the
// former working folder comes back and the folder is removed afterwards.
class WorkFolder {
 public:
  WorkFolder();
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  const std::filesystem::path& Path() const { return path_; }
  // Writes a file below the folder (folders created as needed).
  void Write(const std::string& relative, const std::string& content) const;
  // Packs `xml` into the package folder Importar/ under `name`, as the store receives it.
  void PutPackage(const std::string& name, const std::string& xml) const;

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

// A database of the throwaway PostgreSQL, created from the store template (the store
// database before release 24.03.20 with its sample data) and dropped afterwards, with the
// copies and failed databases the program kept of it.
class TestDatabase {
 public:
  TestDatabase();
  // A database of the given name (the store's own is "kalu"), created afresh.
  explicit TestDatabase(std::string name);
  ~TestDatabase();
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  const std::string& Name() const { return name_; }
  // The text of ".\Kalu.dsn" for this sandbox (the database is named by the connection
  // data, as the program does).
  static std::string DsnText();
  // Writes Kalu.dsn into the working folder.
  static void WriteDsn();
  // libpq connection text for this database as the store's role.
  std::string ConnInfo() const;
  // Runs statements (several allowed); fails the test on an error.
  void Exec(const std::string& sql) const;
  // The rows of a query, each as its values joined with "|" (NULL as "<null>").
  std::vector<std::string> Rows(const std::string& sql) const;
  // Applies the release's schema changes and data fixes and creates the open-invoices
  // view, as the upgrade does before it calls the procedures.
  void UpgradeSchema() const;
  // The single value of a query.
  std::string Value(const std::string& sql) const;
  // The whole database as pg_dump writes it (schema and data), to compare before and after.
  std::string Dump() const;
  // Waits (ten seconds at most) until a session named `application` is connected to
  // `database`; false when none came.
  static bool WaitForSession(const std::string& database, const std::string& application);
  // A digest of every row of `table` in the order of `order`: equal digests, equal rows.
  std::string Digest(const std::string& table, const std::string& order) const;

 private:
  std::string name_;
};

// A process context for procedures under test: recording display, a clock standing at
// 2024-03-20 13:05:09, no run log, and a session whose connection data names `database`
// (empty: the store's "kalu"). The session reads ".\Kalu.dsn" of the working folder.
class TestContext {
 public:
  explicit TestContext(const std::string& database = "");
  Context& operator*() { return ctx; }
  Context* operator->() { return &ctx; }

  RecordingDisplay display;
  FixedClock clock;
  RunLog log;
  Session session;
  Context ctx;
  SOAPParm_mod soap;  // the service locations handed to the vehicle and operator imports
};

}  // namespace kalu::test
