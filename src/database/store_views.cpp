#include "database/store_views.h"

#include <algorithm>

#include "database/cursor.h"

namespace kalu {

namespace {

constexpr const char* kApp = "ZQVISTAS";

// The view of the name and the views whose select rules depend on it, recursively; a view
// reached along several paths takes its longest, so that it comes after all it uses.
constexpr const char* kTakenSql =
    "WITH RECURSIVE taken(oid, depth) AS ("
    " SELECT c.oid, 0 FROM pg_class c WHERE c.oid = to_regclass(?::text) AND c.relkind = 'v'"
    " UNION ALL"
    " SELECT r.ev_class, t.depth + 1 FROM taken t"
    " JOIN pg_depend d ON d.refclassid = 'pg_class'::regclass AND d.refobjid = t.oid"
    " AND d.classid = 'pg_rewrite'::regclass"
    " JOIN pg_rewrite r ON r.oid = d.objid AND r.ev_type = '1' AND r.ev_class <> t.oid)"
    " SELECT c.oid::regclass::text, pg_get_viewdef(c.oid, true), CASE WHEN c.relkind = 'm'"
    " THEN 1 ELSE 0 END FROM (SELECT oid, max(depth) AS depth FROM taken GROUP BY oid) t"
    " JOIN pg_class c ON c.oid = t.oid ORDER BY t.depth, 1";

constexpr const char* kExistsSql =
    "SELECT count(*) FROM pg_class WHERE oid = to_regclass(?::text) AND relkind IN ('v', 'm')";

}  // namespace

std::vector<StoreView> ViewsDroppedWith(Session& session, std::string_view name) {
  std::vector<StoreView> views;
  Cursor taken(session, kApp, "PVISTOMADAS", kTakenSql, CursorKind::Read);
  taken.SetText(1, name, 0);
  for (bool row = taken.FetchFirst(); row; row = taken.FetchNext()) {
    views.push_back({taken.Text(1), taken.Text(2), taken.Int16(3) == 1});
  }
  return views;
}

std::vector<StoreView> MissingViews(Session& session, const std::vector<StoreView>& views) {
  std::vector<StoreView> missing;
  for (const StoreView& view : views) {
    auto same = [&](const StoreView& m) { return m.name == view.name; };
    if (std::any_of(missing.begin(), missing.end(), same)) continue;
    Cursor exists(session, kApp, "PVISEXISTE", kExistsSql, CursorKind::Read);
    exists.SetText(1, view.name, 0);
    if (!exists.FetchFirst() || exists.Int32(1) == 0) missing.push_back(view);
  }
  return missing;
}

std::string CreateStatement(const StoreView& view) {
  return std::string(view.materialized ? "CREATE MATERIALIZED VIEW " : "CREATE VIEW ") + view.name +
         " AS\n" + view.definition;
}

}  // namespace kalu
