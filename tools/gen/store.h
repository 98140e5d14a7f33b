#pragma once
// A whole store of any size before release 24.03.20, generated from a scale factor, a seed
// and a shape: the rows of its database (loaded into a database cloned from the store
// template, whose store rows they replace) and its working folder (the four packages in
// Importar/, SQLPG.XMZ beside them, the login system's registry file). Factor 1 is a store
// of real size: 95,000 postal codes and 150,000 colonies in the packages, 20,000 customers
// with two address-history rows each, 100,000 documents of three lines, 83,800
// submissions and 30,000 open invoices. The same seed gives the same store.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "gen/catalog.h"

namespace kalu::gen {

// What a store holds besides its ordinary rows.
struct Shape {
  std::string name;
  bool duplicates = false;  // postal codes and colonies that appear twice in their packages
  bool orphans = false;     // colonies of unknown postal codes, addresses whose postal code has
                            // no colony, invoices without a document, submissions of
                            // documents that do not exist
  bool stores = false;      // several stores in the database, some documents shared by two
  bool foreignSubmissions = false;  // stamped submissions of another store for this store's
                                    // document numbers
  bool noLines = false;             // documents without lines or with no line supplied
  bool noHistory = false;           // customers without a current address-history row
};

// "plain" (the store as described above), "packages", "stores", "sparse" and "mixed".
const std::vector<Shape>& Shapes();
const Shape* FindShape(std::string_view name);

// The rows of one table in the text form of COPY.
struct Table {
  std::string name;
  std::string columns;
  std::string rows;
  size_t count = 0;
};

struct Store {
  Catalog catalog;
  std::vector<Table> tables;
};

// `states` as LoadStates reads them.
Store MakeStore(std::vector<State> states, const Shape& shape, double factor, uint64_t seed);

// Whether a loaded store has planner statistics: analysed as a store in daily use, or none
// yet, as right after a restore (its tables also kept from autovacuum, so that none come
// while the store is used).
enum class Statistics { Analysed, None };

// Replaces the store rows of the database that `conninfo` names (a clone of the store
// template) with the generated ones. Empty on success, otherwise what went wrong.
std::string LoadStore(const std::string& conninfo, const Store& store,
                      Statistics statistics = Statistics::Analysed);

// Lays out the store's working folder: Importar/ with the two generated catalogue packages
// and the SQLPG and DATOS packages packed from `packages` (their .xml sources), SQLPG.XMZ as
// plain XML beside it and registry.reg copied from `registry`. Kalu.dsn and location.xml
// depend on where the server and the services run and are the caller's.
bool WriteStoreFolder(const std::filesystem::path& folder, const Store& store,
                      const std::filesystem::path& packages, const std::filesystem::path& registry);

}  // namespace kalu::gen
