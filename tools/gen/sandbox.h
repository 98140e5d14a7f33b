#pragma once
// Where a store runs in the throwaway PostgreSQL of scripts/pg-sandbox: the connection text
// of one of its databases, a database created afresh from the store template, and the files
// of the store's folder that name the server (Kalu.dsn) and the services (location.xml).

#include <filesystem>
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
};

// A location.xml pointing the vehicle and the operator service at two loopback ports;
// `more` goes into each entry's HTTP section.
std::string LocationXml(int vehiclesPort, int operatorsPort, const std::string& more = "");

}  // namespace kalu::gen
