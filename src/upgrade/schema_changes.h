#pragma once
// The release's schema changes and data fixes as one table: the driver sends each statement
// as it stands, in this order, and `--check` reads the tables, columns and types the
// statements leave in place to tell how far a store is.

#include <span>
#include <string_view>
#include <vector>

namespace kalu {

struct SchemaChange {
  const char* statement;  // sent as it stands
  // What the statement leaves in the catalogue, lower case: the table, its columns
  // (comma-separated; several for a table the release creates) and a column's new type.
  // Empty for a statement that drops a table or changes data.
  const char* table;
  const char* columns;
  const char* type;

  bool LeavesFact() const { return *table != '\0'; }
  // The columns, one name each.
  std::vector<std::string_view> Columns() const;
  // A table the release creates: its statement names every column.
  bool CreatesTable() const;
};

// The schema changes and data fixes sent before the Carta Porte refresh.
std::span<const SchemaChange> SchemaChanges();
// The data fixes of channels, customers and states, sent after the Carta Porte refresh.
std::span<const char* const> DataFixStatements();
// The tables whose rows an upgrade run changes, as the run summary counts them before and
// after.
std::span<const char* const> ChangedTables();

}  // namespace kalu
