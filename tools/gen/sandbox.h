#pragma once
// Where a store runs in the throwaway PostgreSQL of scripts/pg-sandbox: the connection text
// of one of its databases, a database created afresh from the store template, and the files
// of the store's folder that name the server (Kalu.dsn) and the services (location.xml).

#include <libpq-fe.h>

#include <filesystem>
#include <memory>
#include <string>

namespace kalu::gen {

// The server of the sandbox whose sandbox.env sits in `folder` (KALU_PGHOST, KALU_PGPORT);
// empty host when it is not running there.
struct Sandbox {
  std::string host;
  std::string port;
  static Sandbox In(const std::filesystem::path& folder);
  bool Running() const { return !host.empty(); }
  // libpq connection text for `database` as the store's role.
  std::string ConnInfo(const std::string& database) const;
  // The text of ".\Kalu.dsn" pointing at this server (the database is named by the
  // program's own connection data).
  std::string DsnText() const;
  // Creates `database` afresh from the store template "kalu_template"; empty on success,
  // otherwise what went wrong.
  std::string CreateFromTemplate(const std::string& database) const;
  // Drops `database` when it exists, ending the sessions still on it; empty on success,
  // otherwise what went wrong.
  std::string Drop(const std::string& database) const;
};

// A connection to one database; each call gives empty on success, otherwise what went wrong.
class Connection {
 public:
  explicit Connection(const std::string& conninfo);
  // Why the connection failed, or empty.
  std::string Error() const;
  // Runs statements (several allowed) and reads whatever they return.
  std::string Exec(const std::string& sql);
  // COPY of `rows` (the text form of COPY) into `table`, into `columns` when not empty.
  std::string Copy(const std::string& table, const std::string& columns, const std::string& rows);

 private:
  struct Closer {
    void operator()(PGconn* c) const { PQfinish(c); }
  };
  std::unique_ptr<PGconn, Closer> conn_;
};

// A location.xml pointing the vehicle and the operator service at two loopback ports;
// `more` goes into each entry's HTTP section.
std::string LocationXml(int vehiclesPort, int operatorsPort, const std::string& more = "");

}  // namespace kalu::gen
