#pragma once
// A second throwaway PostgreSQL (scripts/pg-sandbox) with a store database "kalu" of its
// own: the system names its database "kalu" on every server, so a test that needs a
// server set up otherwise (its own stores, a store's role with other rights) starts one.
// Destroyed with the object.

#include <filesystem>
#include <string>

namespace kalu::test {

class SecondServer {
 public:
  explicit SecondServer(std::filesystem::path dir);
  ~SecondServer();
  SecondServer(const SecondServer&) = delete;
  SecondServer& operator=(const SecondServer&) = delete;

  // Kalu.dsn of a store on this server.
  std::string DsnText() const;
  // The first value of a query on the store database, as the store's role.
  std::string Value(const std::string& sql) const;
  // Runs statements on the maintenance database as the server's administrator; empty on
  // success, otherwise what went wrong.
  std::string Admin(const std::string& sql) const;

 private:
  std::filesystem::path dir_;
};

}  // namespace kalu::test
