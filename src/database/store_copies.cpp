#include "database/store_copies.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <thread>

#include "database/cursor.h"
#include "platform/clock.h"
#include "runtime/errors.h"
#include "runtime/text.h"

namespace kalu {

namespace {

constexpr const char* kApp = "KALUCOPIAS";
constexpr int kNameWidth = 63;  // a PostgreSQL identifier
constexpr std::chrono::milliseconds kPollInterval{100};

constexpr const char* kCopyTag = "kalu-upgrade copia";
constexpr const char* kFailedTag = "kalu-upgrade fallida";

constexpr const char* kStoreSql =
    "SELECT d.oid, CASE WHEN has_database_privilege(d.oid, 'CONNECT') THEN "
    "pg_database_size(d.oid) ELSE -1 END, coalesce(shobj_description(d.oid, 'pg_database'), '') "
    "FROM pg_database d WHERE d.datname = ?";
constexpr const char* kRightsSql =
    "SELECT current_user, pg_get_userbyid(d.datdba), r.rolsuper, r.rolcreatedb, "
    "pg_has_role(d.datdba, 'USAGE'), d.datistemplate FROM pg_database d, pg_roles r WHERE "
    "d.datname = ? AND r.rolname = current_user";
// The data directory is shown only to roles that may read every setting; a store kept in
// a tablespace of its own is where the tablespace is.
constexpr const char* kFilesSql =
    "SELECT coalesce(host(inet_server_addr()), ''), CASE WHEN t.spcname <> 'pg_default' THEN "
    "pg_tablespace_location(t.oid) WHEN (SELECT rolsuper FROM pg_roles WHERE rolname = "
    "current_user) OR pg_has_role('pg_read_all_settings', 'USAGE') THEN "
    "current_setting('data_directory') ELSE '' END, current_setting('port')::integer FROM "
    "pg_database d JOIN pg_tablespace t ON "
    "t.oid = d.dattablespace WHERE d.datname = ?";
// Client sessions only: the server's workers (autovacuum among them) end by themselves. A
// session of another role shows no backend type to a role that may not read all
// statistics; such a one counts when it has an application name, as clients set one and
// the workers do not.
constexpr const char* kSessionsSql =
    "SELECT pid, coalesce(usename, ''), coalesce(application_name, ''), "
    "coalesce(host(client_addr), ''), coalesce(to_char(backend_start, 'YYYY-MM-DD HH24:MI:SS'), "
    "'') FROM pg_stat_activity WHERE datname = ? AND pid <> pg_backend_pid() AND "
    "coalesce(backend_type, 'client backend') = 'client backend' AND (backend_type IS NOT NULL "
    "OR application_name <> '') ORDER BY backend_start, pid";
// On the maintenance database only a statement still running counts: an idle session
// there holds nothing of the store's.
constexpr const char* kOwnSessionsSql =
    "SELECT count(*) FROM pg_stat_activity WHERE application_name = ? AND (datname = ? OR "
    "(datname = ? AND state = 'active')) AND pid <> pg_backend_pid() AND pid <> ?";
// An interrupted DROP DATABASE leaves a database marked invalid (connection limit -2)
// that cannot be measured.
constexpr const char* kKeptSql =
    "SELECT d.datname, coalesce(shobj_description(d.oid, 'pg_database'), ''), CASE WHEN "
    "has_database_privilege(d.oid, 'CONNECT') AND d.datconnlimit <> -2 THEN "
    "pg_database_size(d.oid) ELSE -1 END FROM pg_database d WHERE strpos(d.datname, ?) = 1 OR "
    "strpos(d.datname, ?) = 1";
// The store's own tables: those of the server's schemas left out.
constexpr const char* kStoreTablesSql =
    "SELECT c.oid, n.nspname, c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = "
    "c.relnamespace WHERE c.relkind = 'r' AND n.nspname <> 'information_schema' AND n.nspname "
    "NOT LIKE 'pg\\_%' ORDER BY c.oid";
// The next transaction id, without taking one: the check's session may be read-only.
constexpr const char* kNextXidSql = "SELECT txid_snapshot_xmax(txid_current_snapshot())";
// A transaction id of its own, newer than every one committed before it.
constexpr const char* kOwnXidSql = "SELECT txid_current()";
constexpr const char* kNameTakenSql = "SELECT 1 FROM pg_database WHERE datname = ?";
// The store's database-level grants, as statements that give them to another database.
constexpr const char* kGrantsSql =
    "SELECT 'GRANT ' || a.privilege_type || ' ON DATABASE ' || quote_ident(?) || ' TO ' || CASE "
    "WHEN a.grantee = 0 THEN 'PUBLIC' ELSE quote_ident(pg_get_userbyid(a.grantee)) END || CASE "
    "WHEN a.is_grantable THEN ' WITH GRANT OPTION' ELSE '' END FROM pg_database d, "
    "aclexplode(d.datacl) a WHERE d.datname = ?";

bool Flag(const std::string& text) {
  return text == "t" || text == "true";
}

int64_t Number(const std::string& text) {
  return text.empty() ? -1 : std::stoll(text);
}

std::string Stamp(Moment moment, const char* format) {
  std::tm local = LocalTime(std::chrono::system_clock::to_time_t(moment));
  char text[40];
  std::strftime(text, sizeof text, format, &local);
  return text;
}

std::string ReleaseTag(std::string_view release) {
  std::string tag(release);
  std::replace(tag.begin(), tag.end(), '.', '_');
  return tag;
}

// The "key=value" parts of a comment after its tag, or nothing when `tag` does not open it.
std::optional<std::vector<std::pair<std::string, std::string>>> Fields(std::string_view comment,
                                                                       std::string_view tag) {
  if (comment.substr(0, tag.size()) != tag) return std::nullopt;
  std::vector<std::pair<std::string, std::string>> fields;
  size_t pos = tag.size();
  while (pos < comment.size()) {
    size_t end = comment.find(';', pos);
    if (end == std::string_view::npos) end = comment.size();
    std::string part = Trim(comment.substr(pos, end - pos));
    if (size_t eq = part.find('='); eq != std::string::npos) {
      fields.emplace_back(part.substr(0, eq), part.substr(eq + 1));
    }
    pos = end + 1;
  }
  return fields;
}

}  // namespace

std::string QuotedName(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string QuotedText(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

std::string UtcText(Moment moment) {
  using namespace std::chrono;
  const auto micros = floor<microseconds>(moment);
  const auto day = floor<days>(micros);
  const year_month_day date(day);
  const hh_mm_ss time(micros - day);
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%06lldZ",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()),
                static_cast<long long>(time.subseconds().count()));
  return text;
}

std::optional<Moment> FromUtcText(std::string_view text) {
  using namespace std::chrono;
  constexpr size_t kLength = 27;  // 2026-12-07T04:10:05.123456Z
  if (text.size() != kLength || text.back() != 'Z') return std::nullopt;
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, micros = 0, used = 0;
  std::string copy(text);
  if (std::sscanf(copy.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%6dZ%n", &y, &mo, &d, &h, &mi, &s, &micros,
                  &used) != 7 ||
      used != static_cast<int>(kLength)) {
    return std::nullopt;
  }
  const year_month_day date(year(y), month(static_cast<unsigned>(mo)),
                            day(static_cast<unsigned>(d)));
  if (!date.ok()) return std::nullopt;
  return time_point_cast<Moment::duration>(sys_days(date) + hours(h) + minutes(mi) + seconds(s) +
                                           microseconds(micros));
}

std::string LocalText(Moment moment) {
  return Stamp(moment, "%Y-%m-%d %H:%M:%S");
}

std::string CopyName(std::string_view store, std::string_view release, Moment now) {
  return std::string(store) + StoreCopies::kCopyInfix + ReleaseTag(release) + "_" +
         Stamp(now, "%Y%m%d_%H%M%S");
}

std::string FailedName(std::string_view store, Moment now) {
  return std::string(store) + StoreCopies::kFailedInfix + Stamp(now, "%Y%m%d_%H%M%S");
}

std::string CopyComment(const KeptDatabase& copy) {
  std::string comment = std::string(kCopyTag) + "; de=" + std::to_string(copy.sourceOid) +
                        "; version=" + copy.release +
                        "; hecha=" + UtcText(copy.moment.value_or(Moment())) +
                        "; corrida=" + (copy.runFinished ? "terminada" : "pendiente");
  if (copy.runEnd) {
    comment += "; fin=" + std::to_string(copy.runEnd->xid) + "; filas=";
    for (size_t i = 0; i < copy.runEnd->rows.size(); ++i) {
      const auto& [oid, rows] = copy.runEnd->rows[i];
      comment += (i ? "," : "") + std::to_string(oid) + ":" + std::to_string(rows);
    }
  }
  if (!copy.earlier.empty()) {
    comment += "; previos=";
    for (size_t i = 0; i < copy.earlier.size(); ++i) {
      std::string table = copy.earlier[i].table;
      std::replace_if(
          table.begin(), table.end(), [](char c) { return c == ';' || c == ',' || c == ':'; }, '_');
      comment += (i ? "," : "") + table + ":" + std::to_string(copy.earlier[i].rows);
    }
  }
  return comment;
}

std::string FailedComment(const KeptDatabase& copy, Moment setAside) {
  std::string comment =
      std::string(kFailedTag) + "; apartada=" + UtcText(setAside) + "; copia=" + copy.name;
  if (copy.moment) comment += "; hecha=" + UtcText(*copy.moment);
  return comment;
}

KeptDatabase ReadComment(std::string name, KeptKind kindByName, std::string_view comment) {
  KeptDatabase kept;
  kept.name = std::move(name);
  kept.kind = kindByName == KeptKind::Failed ? KeptKind::Failed : KeptKind::Incomplete;
  if (kindByName == KeptKind::Failed) {
    if (auto fields = Fields(comment, kFailedTag)) {
      for (const auto& [key, value] : *fields) {
        if (key == "apartada") kept.moment = FromUtcText(value);
        if (key == "copia") kept.copy = value;
        if (key == "hecha") kept.copyMoment = FromUtcText(value);
      }
    }
    return kept;
  }
  auto fields = Fields(comment, kCopyTag);
  if (!fields) return kept;
  // "a:1,b:2" as its pairs; a part that is not such a pair is passed over.
  auto pairs = [](const std::string& list, auto add) {
    for (size_t pos = 0; pos < list.size();) {
      size_t end = std::min(list.find(',', pos), list.size());
      std::string part = list.substr(pos, end - pos);
      if (size_t colon = part.rfind(':'); colon != std::string::npos && colon > 0) {
        add(part.substr(0, colon), std::strtoll(part.c_str() + colon + 1, nullptr, 10));
      }
      pos = end + 1;
    }
  };
  std::optional<uint64_t> endXid;
  std::string endRows;
  for (const auto& [key, value] : *fields) {
    if (key == "de")
      kept.sourceOid = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
    if (key == "version") kept.release = value;
    if (key == "hecha") kept.moment = FromUtcText(value);
    if (key == "corrida") kept.runFinished = value == "terminada";
    if (key == "fin") endXid = std::strtoull(value.c_str(), nullptr, 10);
    if (key == "filas") endRows = value;
    if (key == "previos") {
      pairs(value, [&](std::string table, int64_t rows) {
        kept.earlier.push_back({std::move(table), rows});
      });
    }
  }
  if (endXid && *endXid != 0) {
    kept.runEnd = RunEndMark{*endXid, {}};
    pairs(endRows, [&](const std::string& oid, int64_t rows) {
      kept.runEnd->rows.emplace_back(static_cast<uint32_t>(std::strtoul(oid.c_str(), nullptr, 10)),
                                     rows);
    });
  }
  if (kept.sourceOid != 0 && kept.moment) kept.kind = KeptKind::Copy;
  return kept;
}

StoreCopies::StoreCopies(std::string store, std::string fileDsn)
    : session_(std::string(";Database=") + kMaintenanceDatabase + ";Readonly=No;",
               std::move(fileDsn)),
      store_(std::move(store)) {}

void StoreCopies::Connect() {
  session_.EnsureConnected();
}

StoreCopies::DatabaseFacts StoreCopies::Facts(const std::string& database) {
  Cursor facts(session_, kApp, "KCOP01", kStoreSql, CursorKind::Read);
  facts.SetText(1, database, kNameWidth);
  DatabaseFacts f;
  if (facts.FetchFirst()) {
    f.oid = static_cast<uint32_t>(Number(facts.Text(1)));
    f.bytes = Number(facts.Text(2));
    f.comment = facts.Text(3);
  }
  return f;
}

uint32_t StoreCopies::StoreOid() {
  return Facts(store_).oid;
}

int64_t StoreCopies::StoreBytes() {
  return Facts(store_).bytes;
}

StoreRights StoreCopies::Rights() {
  Cursor rights(session_, kApp, "KCOP02", kRightsSql, CursorKind::Read);
  rights.SetText(1, store_, kNameWidth);
  StoreRights r;
  if (rights.FetchFirst()) {
    r.user = rights.Text(1);
    r.owner = rights.Text(2);
    r.superuser = Flag(rights.Text(3));
    r.createDb = Flag(rights.Text(4));
    r.ownerRights = Flag(rights.Text(5));
    r.isTemplate = Flag(rights.Text(6));
  }
  return r;
}

StoreFiles StoreCopies::Files() {
  Cursor files(session_, kApp, "KCOP03", kFilesSql, CursorKind::Read);
  files.SetText(1, store_, kNameWidth);
  StoreFiles f;
  if (files.FetchFirst()) {
    const std::string address = files.Text(1);
    f.serverLocal = address.empty() || address.rfind("127.", 0) == 0 || address == "::1";
    f.directory = files.Text(2);
    f.port = files.Int32(3);
  }
  return f;
}

std::vector<DatabaseSession> StoreCopies::Sessions(const std::string& database) {
  std::vector<DatabaseSession> sessions;
  {
    Cursor list(session_, kApp, "KCOP04", kSessionsSql, CursorKind::Read);
    list.SetText(1, database.empty() ? store_ : database, kNameWidth);
    for (bool row = list.FetchFirst(); row; row = list.FetchNext()) {
      sessions.push_back({list.Int32(1), list.Text(2), list.Text(3), list.Text(4), list.Text(5)});
    }
  }
  // The server keeps what a transaction saw of the sessions until it ends.
  session_.Commit();
  return sessions;
}

bool StoreCopies::WaitForOwnSessions(std::chrono::milliseconds patience, int32_t besides) {
  const auto until = std::chrono::steady_clock::now() + patience;
  for (;;) {
    Cursor own(session_, kApp, "KCOP05", kOwnSessionsSql, CursorKind::Read);
    own.SetText(1, kApplicationName, kNameWidth)
        .SetText(2, store_, kNameWidth)
        .SetText(3, kMaintenanceDatabase, kNameWidth)
        .SetInt32(4, besides);
    int32_t count = own.FetchFirst() ? own.Int32(1) : 0;
    session_.Commit();
    if (count == 0) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
}

std::vector<KeptDatabase> StoreCopies::Kept() {
  std::vector<KeptDatabase> kept;
  const std::string copies = store_ + kCopyInfix, failed = store_ + kFailedInfix;
  Cursor list(session_, kApp, "KCOP06", kKeptSql, CursorKind::Read);
  list.SetText(1, copies, kNameWidth).SetText(2, failed, kNameWidth);
  for (bool row = list.FetchFirst(); row; row = list.FetchNext()) {
    std::string name = list.Text(1);
    KeptKind byName = name.rfind(failed, 0) == 0 ? KeptKind::Failed : KeptKind::Copy;
    KeptDatabase one = ReadComment(std::move(name), byName, list.Text(2));
    one.bytes = Number(list.Text(3));
    kept.push_back(std::move(one));
  }
  // In the order they were made; those of unknown moment first, by name.
  std::stable_sort(kept.begin(), kept.end(), [](const KeptDatabase& a, const KeptDatabase& b) {
    if (a.moment.has_value() != b.moment.has_value()) return !a.moment.has_value();
    if (a.moment && *a.moment != *b.moment) return *a.moment < *b.moment;
    return a.name < b.name;
  });
  return kept;
}

std::optional<KeptDatabase> StoreCopies::NewestCopyOfStore() {
  const uint32_t oid = StoreOid();
  if (oid == 0) return std::nullopt;
  std::vector<KeptDatabase> ofStore;
  for (KeptDatabase& kept : Kept()) {
    if (kept.kind == KeptKind::Copy && kept.sourceOid == oid) ofStore.push_back(std::move(kept));
  }
  if (ofStore.empty()) return std::nullopt;
  // In the order they were made: the first copy of the newest one's release.
  const std::string release = ofStore.back().release;
  for (KeptDatabase& kept : ofStore) {
    if (kept.release == release) return std::move(kept);
  }
  return std::nullopt;
}

StoreCopies::StoreRows StoreCopies::CountStoreRows(const RunEndMark* mark) {
  Session store(";Database=" + store_ + ";Readonly=No;", session_.FileDsn());
  StoreRows counted;
  std::vector<TableRows>& tables = counted.tables;
  {
    Cursor list(store, kApp, "KCOP09", kStoreTablesSql, CursorKind::Read);
    for (bool row = list.FetchFirst(); row; row = list.FetchNext()) {
      const std::string schema = list.Text(2);
      const std::string table = list.Text(3);
      tables.push_back({static_cast<uint32_t>(Number(list.Text(1))),
                        schema == "public" ? table : schema + "." + table,
                        QuotedName(schema) + "." + QuotedName(table), 0, 0});
    }
  }
  // The rows written since the mark are those whose transaction id is newer than the mark's
  // (compared as the server's 32-bit ids, which wrap around) and older than the next one.
  uint64_t& next = counted.xid;
  {
    Cursor ids(store, kApp, "KCOP10", mark ? kNextXidSql : kOwnXidSql, CursorKind::Read);
    if (ids.FetchFirst()) next = static_cast<uint64_t>(Number(ids.Text(1)));
  }
  const uint64_t since = mark ? mark->xid : next;
  const uint64_t span = next > since ? std::min<uint64_t>(next - since, 0x7FFFFFFF) : 0;
  std::string sql;
  for (const TableRows& t : tables) {
    if (!sql.empty()) sql += " UNION ALL ";
    sql += "SELECT " + std::to_string(t.oid) +
           ", count(*), count(*) FILTER (WHERE (xmin::text::bigint - " +
           std::to_string(since & 0xFFFFFFFF) + " + 4294967296) % 4294967296 < " +
           std::to_string(span) + ") FROM " + t.from;
  }
  if (!sql.empty()) {
    // Each row names its table: the parts of a UNION ALL come back in no promised order.
    Cursor counts(store, kApp, "KCOP11", sql, CursorKind::Read);
    for (bool row = counts.FetchFirst(); row; row = counts.FetchNext()) {
      const auto oid = static_cast<uint32_t>(Number(counts.Text(1)));
      auto t = std::find_if(tables.begin(), tables.end(),
                            [&](const TableRows& one) { return one.oid == oid; });
      if (t == tables.end()) continue;
      t->rows = Number(counts.Text(2));
      t->later = Number(counts.Text(3));
    }
  }
  store.Commit();
  return counted;
}

RunEndMark StoreCopies::MarkStore() {
  RunEndMark mark;
  StoreRows counted = CountStoreRows(nullptr);
  mark.xid = counted.xid;
  for (const TableRows& t : counted.tables) mark.rows.emplace_back(t.oid, t.rows);
  return mark;
}

std::vector<LaterChange> StoreCopies::ChangesSince(const RunEndMark& mark) {
  std::vector<LaterChange> changes;
  const std::vector<TableRows> now = CountStoreRows(&mark).tables;
  for (const TableRows& t : now) {
    // Rows then, less those still there untouched, were changed or removed; rows written
    // since were inserted or changed.
    auto then = std::find_if(mark.rows.begin(), mark.rows.end(),
                             [&](const auto& r) { return r.first == t.oid; });
    const int64_t gone = then == mark.rows.end() ? 0 : then->second - (t.rows - t.later);
    const int64_t changed = std::max(t.later, gone);
    if (changed > 0) changes.push_back({t.name, changed});
  }
  for (const auto& [oid, rows] : mark.rows) {
    if (rows > 0 &&
        std::none_of(now.begin(), now.end(), [&](const TableRows& t) { return t.oid == oid; })) {
      changes.push_back({"tabla borrada (oid " + std::to_string(oid) + ")", rows});
    }
  }
  return changes;
}

std::string StoreCopies::FreeName(const std::string& base) {
  Cursor taken(session_, kApp, "KCOP07", kNameTakenSql, CursorKind::Read);
  for (int n = 1;; ++n) {
    std::string name = n == 1 ? base : base + "_" + std::to_string(n);
    taken.SetText(1, name, kNameWidth);
    bool exists = taken.FetchFirst();
    taken.Close();
    if (!exists) return name;
  }
}

KeptDatabase StoreCopies::MakeCopy(std::string_view release, Moment now,
                                   const std::function<void()>& waiting) {
  session_.EnsureConnected();
  KeptDatabase copy;
  copy.name = FreeName(CopyName(store_, release, now));
  copy.kind = KeptKind::Copy;
  copy.moment = now;
  copy.release = std::string(release);
  copy.sourceOid = StoreOid();
  session_.ExecuteAlone(
      "CREATE DATABASE " + QuotedName(copy.name) + " TEMPLATE " + QuotedName(store_), waiting);
  try {
    std::vector<std::string> grants;
    {
      Cursor acl(session_, kApp, "KCOP08", kGrantsSql, CursorKind::Read);
      acl.SetText(1, copy.name, kNameWidth).SetText(2, store_, kNameWidth);
      for (bool row = acl.FetchFirst(); row; row = acl.FetchNext()) grants.push_back(acl.Text(1));
    }
    // A store with grants of its own gives PUBLIC only what they say.
    if (!grants.empty())
      session_.Execute(kApp, "REVOKE ALL ON DATABASE " + QuotedName(copy.name) + " FROM PUBLIC");
    for (const std::string& grant : grants) session_.Execute(kApp, grant);
    session_.Execute(kApp, "COMMENT ON DATABASE " + QuotedName(copy.name) + " IS " +
                               QuotedText(CopyComment(copy)));
    session_.Commit();
  } catch (const RuntimeError&) {
    // The fatal error ended the session; a new one drops the half-made copy. Should that
    // fail too, the copy stays without its comment (an incomplete copy, listed as such) and
    // the first error is the one told.
    try {
      session_.ExecuteAlone("DROP DATABASE IF EXISTS " + QuotedName(copy.name));
    } catch (const RuntimeError&) {
    }
    throw;
  }
  copy.bytes = Facts(copy.name).bytes;
  session_.Commit();
  return copy;
}

void StoreCopies::Record(const KeptDatabase& copy) {
  session_.Execute(kApp, "COMMENT ON DATABASE " + QuotedName(copy.name) + " IS " +
                             QuotedText(CopyComment(copy)));
  session_.Commit();
}

void StoreCopies::MarkRunFinished(const KeptDatabase& copy, const RunEndMark& end) {
  KeptDatabase finished = copy;
  finished.runFinished = true;
  finished.runEnd = end;
  Record(finished);
}

std::string StoreCopies::Restore(const KeptDatabase& copy, Moment now) {
  session_.EnsureConnected();
  const std::string storeComment = Facts(store_).comment;
  const std::string failed = FreeName(FailedName(store_, now));
  // Both renames and both comments in one transaction: all of it or nothing.
  const std::string sql = "ALTER DATABASE " + QuotedName(store_) + " RENAME TO " +
                          QuotedName(failed) + "; COMMENT ON DATABASE " + QuotedName(failed) +
                          " IS " + QuotedText(FailedComment(copy, now)) + "; ALTER DATABASE " +
                          QuotedName(copy.name) + " RENAME TO " + QuotedName(store_) +
                          "; COMMENT ON DATABASE " + QuotedName(store_) + " IS " +
                          (storeComment.empty() ? std::string("NULL") : QuotedText(storeComment));
  session_.ExecuteBatch(sql);
  session_.Commit();
  return failed;
}

void StoreCopies::Drop(const KeptDatabase& kept) {
  session_.ExecuteAlone("DROP DATABASE " + QuotedName(kept.name));
}

}  // namespace kalu
