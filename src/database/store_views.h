#pragma once
// What the catalog says about the store's views: the views that a DROP VIEW ... CASCADE
// takes with it, read before the drop together with their definitions, and which of them
// exist afterwards. The catalog queries follow the dependencies of the views' rules
// (pg_depend, pg_rewrite), which every server from PostgreSQL 10 on keeps alike.
//
//   std::vector<StoreView> taken = ViewsDroppedWith(session, "edocta_view");
//   ... DROP VIEW edocta_view CASCADE, CREATE OR REPLACE VIEW ...
//   for (const StoreView& view : MissingViews(session, taken)) log(CreateStatement(view));

#include <string>
#include <string_view>
#include <vector>

#include "database/session.h"

namespace kalu {

struct StoreView {
  std::string name;        // as the server names it, qualified or quoted where it must be
  std::string definition;  // its query, as pg_get_viewdef gives it
  bool materialized = false;
};

// The view `name` (a name as DROP VIEW reads it) and every view that depends on it,
// directly or through others, each after the views it uses, so that they can be created
// again in this order. Empty when no view has that name.
std::vector<StoreView> ViewsDroppedWith(Session& session, std::string_view name);

// Of `views`, those that do not exist now, in their order, each name once.
std::vector<StoreView> MissingViews(Session& session, const std::vector<StoreView>& views);

// The statement that creates `view` again as it was.
std::string CreateStatement(const StoreView& view);

}  // namespace kalu
