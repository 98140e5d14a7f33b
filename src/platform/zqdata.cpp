#include "platform/zqdata.h"

#include <libpq-fe.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <utility>

#include "platform/paths.h"
#include "platform/settings_file.h"
#include "runtime/numbers.h"
#include "runtime/text.h"

namespace kalu {

namespace {

struct PGconnDeleter {
  void operator()(PGconn* c) const { PQfinish(c); }
};
struct PGresultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using ConnPtr = std::unique_ptr<PGconn, PGconnDeleter>;
struct CancelDeleter {
  void operator()(PGcancel* c) const { PQfreeCancel(c); }
};
using CancelPtr = std::unique_ptr<PGcancel, CancelDeleter>;
using ResultPtr = std::unique_ptr<PGresult, PGresultDeleter>;

constexpr int16_t kHandle = 1;  // the one connection this library opens

// How a connection is declared and configured before it opens.
struct ConnDecl {
  std::string fileDsn;
  std::string connData;
  std::string user;
  std::string password;
};

struct Param {
  DbType type = DbType::Char;
  int32_t width = 0;
  std::optional<std::string> value;
  bool cutNoted = false;
};

struct Column {
  DbType type = DbType::Char;
  int32_t width = 0;
};

struct Statement {
  std::string app;
  std::string cursor;
  int16_t flag = 0;
  std::string sql;  // with $n markers
  int paramCount = 0;
  bool prepared = false;
  std::vector<Param> params;
  std::vector<Column> columns;
  ResultPtr result;
  int row = -1;
};

// Turns "?" markers into $1..$n, leaving quoted literals and identifiers alone.
std::string NumberMarkers(std::string_view sql, int& count) {
  std::string out;
  out.reserve(sql.size() + 16);
  count = 0;
  char quote = 0;
  for (char c : sql) {
    if (quote) {
      if (c == quote) quote = 0;
      out += c;
    } else if (c == '\'' || c == '"') {
      quote = c;
      out += c;
    } else if (c == '?') {
      out += '$' + std::to_string(++count);
    } else {
      out += c;
    }
  }
  return out;
}

std::string FirstWord(std::string_view sql) {
  std::string s = ToUpper(Trim(sql));
  auto end = s.find_first_of(" \t\r\n(");
  return s.substr(0, end);
}

// Settings of an ODBC file data source: section [ODBC], keys compared without case.
struct DsnSettings {
  std::string host, port, database, sslmode;
};

// The connection settings of the data source file's section [ODBC], as PostgreSQL's ODBC
// data sources write them; nothing when the file cannot be read.
std::optional<DsnSettings> ReadDsn(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
  const std::optional<std::string> text = ReadSettingsText(file);
  if (!text) return std::nullopt;
  auto value = [&](std::string_view key) {
    return FindSettingsValue(*text, "ODBC", key).value_or("");
  };
  DsnSettings dsn;
  dsn.host = value("Servername");
  if (dsn.host.empty()) dsn.host = value("Server");
  dsn.port = value("Port");
  dsn.database = value("Database");
  dsn.sslmode = value("SSLmode");
  return dsn;
}

std::string ShortestText(double value) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, res.ptr);
}

}  // namespace

std::string DataSourceServer(std::string_view fileDsn) {
  DsnSettings dsn = ReadDsn(NativePath(std::string(fileDsn))).value_or(DsnSettings{});
  std::string host =
      dsn.host.empty() || dsn.host.front() == '/' ? "socket local " + dsn.host : dsn.host;
  return Trim(host) + ":" + (dsn.port.empty() ? "5432" : dsn.port);
}

std::optional<std::string> ConnectionDataValue(std::string_view data, std::string_view key) {
  size_t pos = 0;
  while (pos <= data.size()) {
    size_t end = data.find(';', pos);
    if (end == std::string_view::npos) end = data.size();
    std::string_view pair = data.substr(pos, end - pos);
    size_t eq = pair.find('=');
    if (eq != std::string_view::npos && EqualsIgnoreCase(Trim(pair.substr(0, eq)), key)) {
      return Trim(pair.substr(eq + 1));
    }
    pos = end + 1;
  }
  return std::nullopt;
}

struct ZQData::Impl {
  bool initialized = false;
  std::map<std::string, ConnDecl, std::less<>> decls;
  ConnPtr conn;
  std::vector<Statement> stmts;
  std::map<std::string, int16_t, std::less<>> cursors;
  std::string text1, text2;
  int32_t native = 0;
  int64_t roundTrips = 0;
  int64_t rowsChanged = 0;    // of the last statement run at once
  bool writesBehind = false;  // statements executed go out without waiting
  int queued = 0;             // statements sent in pipeline mode since the last sync
  // The statements whose preparation is on its way in the pipeline, by their index in
  // `stmts`, which may grow while they wait.
  std::vector<int16_t> preparedInPipeline;
  bool unflushedCommits = false;  // commits that did not wait for the disk since the last that did
  std::function<void(std::string_view)> noteSink;
  std::mutex cancelMutex;  // guards `cancel`, which another thread may use
  CancelPtr cancel;        // the open connection's cancel request

  Statement* Stmt(int16_t s) {
    if (s < 0 || static_cast<size_t>(s) >= stmts.size()) return nullptr;
    return &stmts[s];
  }

  int16_t Fail(int32_t nativeCode, std::string t1, std::string t2 = {}) {
    native = nativeCode;
    text1 = std::move(t1);
    text2 = std::move(t2);
    return kDbError;
  }

  // The status of a failed statement: -1 when the connection is gone, else the SQLSTATE
  // class (7 when `alreadyInPlace` says so).
  int16_t FailFrom(const PGresult* res, bool* alreadyInPlace = nullptr,
                   std::string_view firstWord = {}) {
    if (!conn || PQstatus(conn.get()) != CONNECTION_OK || res == nullptr) {
      return Fail(-1, conn ? PQerrorMessage(conn.get()) : "connection is not open");
    }
    const char* state = PQresultErrorField(res, PG_DIAG_SQLSTATE);
    std::string sqlstate = state ? state : "";
    const char* primary = PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY);
    const char* detail = PQresultErrorField(res, PG_DIAG_MESSAGE_DETAIL);
    std::string message = primary ? primary : PQresultErrorMessage(res);
    if (alreadyInPlace) {
      bool created = sqlstate == "42701" || sqlstate == "42P07" || sqlstate == "42710";
      bool dropped = firstWord == "DROP" && (sqlstate == "42P01" || sqlstate == "42704");
      *alreadyInPlace = created || dropped;
      if (*alreadyInPlace) {
        return Fail(kNativeAlreadyInPlace, "SQLSTATE " + sqlstate + ": " + message,
                    detail ? detail : "");
      }
    }
    int32_t cls = 1;
    if (sqlstate.size() >= 2 && isdigit(static_cast<unsigned char>(sqlstate[0])) &&
        isdigit(static_cast<unsigned char>(sqlstate[1]))) {
      cls = (sqlstate[0] - '0') * 10 + (sqlstate[1] - '0');
      // Class 07 would read as "already in place": report it as a plain failure.
      if (cls == kNativeAlreadyInPlace || cls == 0) cls = 1;
    }
    return Fail(cls, "SQLSTATE " + sqlstate + ": " + message, detail ? detail : "");
  }

  // Runs an internal command text (simple protocol), returning whether every part of it
  // succeeded; the failure is recorded. `waiting`, when given, is called while the server
  // works.
  bool Command(const char* text, const std::function<void()>& waiting = {}) {
    if (Flush() != kDbOk) return false;
    ++roundTrips;
    if (!PQsendQuery(conn.get(), text)) {
      Fail(-1, PQerrorMessage(conn.get()));
      return false;
    }
    if (waiting && !AwaitResult(waiting)) return false;
    bool ok = true;
    while (PGresult* raw = PQgetResult(conn.get())) {
      ResultPtr res(raw);
      auto st = PQresultStatus(raw);
      if (ok && st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
        FailFrom(raw);
        ok = false;
      } else if (ok && std::strcmp(PQcmdStatus(raw), "ROLLBACK") == 0 &&
                 std::strstr(text, "COMMIT") != nullptr) {
        // A transaction that failed earlier is rolled back by its COMMIT: nothing of it
        // was committed, and that is a failure.
        Fail(40, "SQLSTATE 40000: the transaction was rolled back, not committed");
        ok = false;
      }
    }
    return ok;
  }

  // Waits for the result of a statement sent, calling `waiting` every few hundredths of a
  // second; false (the failure recorded) when the connection is lost.
  bool AwaitResult(const std::function<void()>& waiting) {
    constexpr std::chrono::milliseconds kWait{30};
    for (;;) {
      if (!PQconsumeInput(conn.get())) {
        Fail(-1, PQerrorMessage(conn.get()));
        return false;
      }
      if (!PQisBusy(conn.get())) return true;
      waiting();
      std::this_thread::sleep_for(kWait);
    }
  }

  // Sends a statement with no rows to read in pipeline mode, without waiting for its result;
  // every so many statements the results come back in one exchange, so that neither side
  // waits on a full socket.
  int16_t Send(int16_t index) {
    Statement& s = stmts[index];
    constexpr int kQueuedPerSync = 256;
    if (!conn) return Fail(-1, "connection is not open");
    if (PQpipelineStatus(conn.get()) == PQ_PIPELINE_OFF && !PQenterPipelineMode(conn.get())) {
      return Fail(-1, PQerrorMessage(conn.get()));
    }
    if (!s.prepared) {
      if (!PQsendPrepare(conn.get(), s.cursor.c_str(), s.sql.c_str(), s.paramCount, nullptr)) {
        return Fail(-1, PQerrorMessage(conn.get()));
      }
      s.prepared = true;
      preparedInPipeline.push_back(index);
    }
    const auto values = ParamValues(s);
    if (!PQsendQueryPrepared(conn.get(), s.cursor.c_str(), s.paramCount, values.data(), nullptr,
                             nullptr, 0)) {
      return Fail(-1, PQerrorMessage(conn.get()));
    }
    return ++queued >= kQueuedPerSync ? Sync() : kDbOk;
  }

  // Reads the results that come back in pipeline mode up to the next sync, handing each to
  // `each`; the failure when the connection is lost on the way.
  int16_t ReadToSync(const std::function<void(ResultPtr)>& each) {
    for (;;) {
      ResultPtr res(PQgetResult(conn.get()));
      if (!res) {
        if (PQstatus(conn.get()) != CONNECTION_OK) return Fail(-1, PQerrorMessage(conn.get()));
        continue;  // the end of one statement's results
      }
      if (PQresultStatus(res.get()) == PGRES_PIPELINE_SYNC) return kDbOk;
      each(std::move(res));
    }
  }

  // Reads the results of the statements sent since the last sync: the first failure among
  // them is the status (the server skips the rest of them).
  int16_t Sync() {
    ++roundTrips;
    queued = 0;
    if (!PQpipelineSync(conn.get())) return Fail(-1, PQerrorMessage(conn.get()));
    int16_t status = kDbOk;
    const int16_t read = ReadToSync([&](ResultPtr res) {
      const auto st = PQresultStatus(res.get());
      if (status == kDbOk && st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK &&
          st != PGRES_PIPELINE_ABORTED) {
        status = FailFrom(res.get());
      }
    });
    if (read != kDbOk) return read;
    // A statement whose preparation the failure skipped is prepared again on its next use.
    if (status != kDbOk) {
      for (int16_t index : preparedInPipeline) stmts[index].prepared = false;
    }
    preparedInPipeline.clear();
    return status;
  }

  // Leaves pipeline mode, reading what is still on its way: every other call of the library
  // waits for its own result, so it sees the statements sent before it.
  int16_t Flush() {
    if (!conn || PQpipelineStatus(conn.get()) == PQ_PIPELINE_OFF) return kDbOk;
    const int16_t status = Sync();
    if (!PQexitPipelineMode(conn.get()) && status == kDbOk) {
      return Fail(-1, PQerrorMessage(conn.get()));
    }
    return status;
  }

  static std::vector<const char*> ParamValues(const Statement& s) {
    std::vector<const char*> values(s.paramCount, nullptr);
    for (int i = 0; i < s.paramCount && i < static_cast<int>(s.params.size()); ++i) {
      if (s.params[i].value) values[i] = s.params[i].value->c_str();
    }
    return values;
  }

  // A statement's first run: its preparation and its execution go out together in pipeline
  // mode and come back in one exchange. The status is the preparation's; the execution's
  // result, a failure included, is left in the statement.
  int16_t PrepareAndExecute(Statement& s, const std::vector<const char*>& values) {
    PGconn* c = conn.get();
    if (!PQenterPipelineMode(c) ||
        !PQsendPrepare(c, s.cursor.c_str(), s.sql.c_str(), s.paramCount, nullptr) ||
        !PQsendQueryPrepared(c, s.cursor.c_str(), s.paramCount, values.data(), nullptr, nullptr,
                             0) ||
        !PQpipelineSync(c)) {
      return Fail(-1, PQerrorMessage(c));
    }
    int16_t status = kDbOk;
    bool preparation = true;
    const int16_t read = ReadToSync([&](ResultPtr res) {
      const auto st = PQresultStatus(res.get());
      if (preparation) {
        preparation = false;
        if (st == PGRES_COMMAND_OK) {
          s.prepared = true;
        } else {
          status = FailFrom(res.get());
        }
      } else if (st != PGRES_PIPELINE_ABORTED) {
        s.result = std::move(res);
      }
    });
    if (read != kDbOk) return read;
    if (!PQexitPipelineMode(c) && status == kDbOk) return Fail(-1, PQerrorMessage(c));
    return status;
  }

  int16_t Run(Statement& s) {
    if (!conn) return Fail(-1, "connection is not open");
    if (const int16_t flushed = Flush(); flushed != kDbOk) return flushed;
    const auto values = ParamValues(s);
    ++roundTrips;
    if (s.prepared) {
      s.result.reset(PQexecPrepared(conn.get(), s.cursor.c_str(), s.paramCount, values.data(),
                                    nullptr, nullptr, 0));
    } else if (const int16_t prepared = PrepareAndExecute(s, values); prepared != kDbOk) {
      return prepared;
    }
    s.row = -1;
    auto st = PQresultStatus(s.result.get());
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) {
      int16_t status = FailFrom(s.result.get());
      s.result.reset();
      return status;
    }
    return kDbOk;
  }

  // Whether `column` is a column of the statement's result (any number when there is no
  // result yet, which reads as no row).
  bool HasColumn(int16_t stmt, int16_t column) {
    Statement* s = Stmt(stmt);
    if (!s) return false;
    return !s->result || (column >= 1 && column <= PQnfields(s->result.get()));
  }

  // The text of a column of the current row, or nullptr for NULL (or no row).
  const char* Value(int16_t stmt, int16_t column) {
    Statement* s = Stmt(stmt);
    if (!s || !s->result || s->row < 0 || s->row >= PQntuples(s->result.get())) return nullptr;
    int c = column - 1;
    if (c < 0 || c >= PQnfields(s->result.get())) return nullptr;
    if (PQgetisnull(s->result.get(), s->row, c)) return nullptr;
    return PQgetvalue(s->result.get(), s->row, c);
  }

  // Sets parameter `number` to the SQL text of its value.
  int16_t SetParam(int16_t stmt, int16_t number, std::string text) {
    Param* p = ParamOf(stmt, number);
    if (!p) return kDbFailure;
    p->value = std::move(text);
    return kDbOk;
  }

  Param* ParamOf(int16_t stmt, int16_t number) {
    Statement* s = Stmt(stmt);
    if (!s || number < 1) return nullptr;
    if (s->params.size() < static_cast<size_t>(number)) s->params.resize(number);
    return &s->params[number - 1];
  }
};

ZQData::ZQData() : impl_(std::make_unique<Impl>()) {}
ZQData::~ZQData() = default;

std::string CutNote(std::string_view app, std::string_view cursor, int parameter, int width) {
  return "Texto recortado a " + std::to_string(width) + " caracteres: " + std::string(app) +
         ", cursor " + std::string(cursor) + ", parametro " + std::to_string(parameter);
}

int16_t ZQData::ZQ_DB_Init(int16_t& value) {
  (void)value;
  impl_->initialized = true;
  return kDbOk;
}

int16_t ZQData::ZQ_DB_End() {
  {
    std::lock_guard<std::mutex> lock(impl_->cancelMutex);
    impl_->cancel.reset();
  }
  impl_->stmts.clear();
  impl_->preparedInPipeline.clear();
  impl_->queued = 0;
  impl_->writesBehind = false;
  impl_->cursors.clear();
  impl_->conn.reset();
  impl_->unflushedCommits = false;
  impl_->decls.clear();
  impl_->initialized = false;
  return kDbOk;
}

int16_t ZQData::ZQ_DB_Declare_Conn(std::string_view name, int16_t kind) {
  (void)kind;
  impl_->decls[std::string(name)] = ConnDecl{};
  return kDbOk;
}

#define KALU_CONN_SETTER(Fn, field)                                   \
  int16_t ZQData::Fn(std::string_view name, std::string_view value) { \
    auto it = impl_->decls.find(name);                                \
    if (it == impl_->decls.end()) return kDbFailure;                  \
    it->second.field = std::string(value);                            \
    return kDbOk;                                                     \
  }
KALU_CONN_SETTER(ZQ_DB_ConnSetFileDSName, fileDsn)
KALU_CONN_SETTER(ZQ_DB_ConnSetConnData, connData)
KALU_CONN_SETTER(ZQ_DB_ConnSetUserId, user)
KALU_CONN_SETTER(ZQ_DB_ConnSetPassword, password)
#undef KALU_CONN_SETTER

// Prompt mode, isolation level and transaction interval are accepted as given: the
// connection never prompts, runs read committed and commits only when told to.
int16_t ZQData::ZQ_DB_ConnSetPrompt(std::string_view name, int16_t) {
  return impl_->decls.count(name) ? kDbOk : kDbFailure;
}
int16_t ZQData::ZQ_DB_ConnSetIsolation(std::string_view name, int16_t) {
  return impl_->decls.count(name) ? kDbOk : kDbFailure;
}
int16_t ZQData::ZQ_DB_ConnSetTrnInt(std::string_view name, int16_t) {
  return impl_->decls.count(name) ? kDbOk : kDbFailure;
}

int16_t ZQData::ZQ_DB_Connect(std::string_view name, int16_t& handle) {
  auto it = impl_->decls.find(name);
  if (it == impl_->decls.end()) return impl_->Fail(-1, "connection is not declared");
  const ConnDecl& decl = it->second;

  std::optional<DsnSettings> read = ReadDsn(NativePath(decl.fileDsn));
  if (!read) return impl_->Fail(-1, "data source file not found: " + decl.fileDsn);
  DsnSettings dsn = std::move(*read);
  if (auto db = ConnectionDataValue(decl.connData, "Database")) dsn.database = *db;

  std::vector<const char*> keys, values;
  auto add = [&](const char* k, const std::string& v) {
    if (!v.empty()) {
      keys.push_back(k);
      values.push_back(v.c_str());
    }
  };
  std::string encoding = "UTF8",
              options =
                  "-c DateStyle=ISO,YMD -c lock_timeout=" + std::to_string(kLockTimeoutSeconds) +
                  "s",
              appName = kApplicationName, timeout = "15";
  add("host", dsn.host);
  add("port", dsn.port);
  add("dbname", dsn.database);
  add("sslmode", dsn.sslmode);
  add("user", decl.user);
  add("password", decl.password);
  add("client_encoding", encoding);
  add("options", options);
  add("application_name", appName);
  add("connect_timeout", timeout);
  keys.push_back(nullptr);
  values.push_back(nullptr);

  ++impl_->roundTrips;
  ConnPtr conn(PQconnectdbParams(keys.data(), values.data(), 0));
  if (PQstatus(conn.get()) != CONNECTION_OK) {
    std::string msg = PQerrorMessage(conn.get());
    while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' ')) msg.pop_back();
    // Windows tries "localhost" at ::1 first; a server that takes only 127.0.0.1 (by its
    // listen_addresses or its pg_hba.conf) then refuses a connection it would accept there.
    if (EqualsIgnoreCase(dsn.host, "localhost")) {
      std::vector<const char*> loopback = values;
      loopback[0] = "127.0.0.1";  // the host comes first
      ConnPtr probe(PQconnectdbParams(keys.data(), loopback.data(), 0));
      if (PQstatus(probe.get()) == CONNECTION_OK) {
        msg +=
            "; el servidor escucha en 127.0.0.1 pero no en ::1: use Servername=127.0.0.1 en "
            "Kalu.dsn";
      }
    }
    return impl_->Fail(-1, msg);
  }
  impl_->conn = std::move(conn);
  // The server's notices ("drop cascades to view …") go to the notes, never to stderr.
  PQsetNoticeProcessor(
      impl_->conn.get(),
      [](void* arg, const char* message) {
        auto* impl = static_cast<Impl*>(arg);
        std::string text = message;
        while (!text.empty() && text.back() == '\n') text.pop_back();
        if (impl->noteSink) impl->noteSink(text);
      },
      impl_.get());
  if (!impl_->Command("BEGIN")) {
    impl_->conn.reset();
    return kDbError;
  }
  {
    std::lock_guard<std::mutex> lock(impl_->cancelMutex);
    impl_->cancel.reset(PQgetCancel(impl_->conn.get()));
  }
  handle = kHandle;
  return kDbOk;
}

int16_t ZQData::ZQ_DB_GetFirstConnError(int16_t, std::string& text1, std::string& text2,
                                        int32_t& native) {
  text1 = impl_->text1;
  text2 = impl_->text2;
  native = impl_->native;
  return kDbOk;
}

int16_t ZQData::ZQ_DB_ExecImm(int16_t handle, std::string_view app, std::string_view sql) {
  (void)app;
  if (handle != kHandle || !impl_->conn) return impl_->Fail(-1, "connection is not open");
  if (const int16_t flushed = impl_->Flush(); flushed != kDbOk) return flushed;
  std::string first = FirstWord(sql);
  bool ddl = first == "CREATE" || first == "ALTER" || first == "DROP";
  // A DDL statement runs under a savepoint, so that one whose effect is already in place
  // can be passed over without losing the transaction.
  if (ddl && !impl_->Command("SAVEPOINT zq_ddl")) return kDbError;
  ++impl_->roundTrips;
  impl_->rowsChanged = 0;
  std::string text(sql);
  ResultPtr res(
      PQexecParams(impl_->conn.get(), text.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0));
  auto st = PQresultStatus(res.get());
  if (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK) {
    impl_->rowsChanged = std::atoll(PQcmdTuples(res.get()));
    if (ddl && !impl_->Command("RELEASE SAVEPOINT zq_ddl")) return kDbError;
    return kDbOk;
  }
  bool inPlace = false;
  int16_t status = impl_->FailFrom(res.get(), ddl ? &inPlace : nullptr, first);
  if (ddl && impl_->native != -1) {
    int32_t native = impl_->native;
    std::string t1 = impl_->text1, t2 = impl_->text2;
    // Rolling back keeps the savepoint: release it too, so none piles up until the commit.
    if (!impl_->Command("ROLLBACK TO SAVEPOINT zq_ddl; RELEASE SAVEPOINT zq_ddl")) {
      return kDbError;
    }
    impl_->Fail(native, t1, t2);
  }
  return status;
}

int16_t ZQData::ZQ_DB_ConnCommit(int16_t handle) {
  if (handle != kHandle || !impl_->conn) return impl_->Fail(-1, "connection is not open");
  bool failed = PQtransactionStatus(impl_->conn.get()) == PQTRANS_INERROR;
  // After commits that did not wait, this one must reach the disk with them: a transaction
  // without a transaction id would commit without writing anything, so it takes one. The
  // next transaction starts in the same round trip.
  const char* text =
      impl_->unflushedCommits && !failed ? "SELECT txid_current(); COMMIT; BEGIN" : "COMMIT; BEGIN";
  if (!impl_->Command(text)) return kDbError;
  impl_->unflushedCommits = false;
  return kDbOk;
}

int16_t ZQData::ZQ_DB_ConnCommitNoWait(int16_t handle) {
  if (handle != kHandle || !impl_->conn) return impl_->Fail(-1, "connection is not open");
  // A failed transaction takes no setting: its COMMIT alone reports the rollback, as the
  // waiting commit does.
  if (PQtransactionStatus(impl_->conn.get()) == PQTRANS_INERROR) return ZQ_DB_ConnCommit(handle);
  if (!impl_->Command("SET LOCAL synchronous_commit TO OFF; COMMIT; BEGIN")) return kDbError;
  impl_->unflushedCommits = true;
  return kDbOk;
}

int16_t ZQData::ZQ_DB_ExecBatch(int16_t handle, std::string_view sql) {
  if (handle != kHandle || !impl_->conn) return impl_->Fail(-1, "connection is not open");
  return impl_->Command(std::string(sql).c_str()) ? kDbOk : kDbError;
}

int16_t ZQData::ZQ_DB_ExecAlone(int16_t handle, std::string_view sql,
                                const std::function<void()>& waiting) {
  if (handle != kHandle || !impl_->conn) return impl_->Fail(-1, "connection is not open");
  if (!impl_->Command("COMMIT")) return kDbError;
  bool ok = impl_->Command(std::string(sql).c_str(), waiting);
  int32_t native = impl_->native;
  std::string t1 = impl_->text1, t2 = impl_->text2;
  if (!impl_->Command("BEGIN")) return kDbError;
  if (ok) return kDbOk;
  return impl_->Fail(native, t1, t2);
}

int16_t ZQData::ZQ_DB_CopyIn(int16_t handle, std::string_view copySql, std::string_view data) {
  if (handle != kHandle || !impl_->conn) return impl_->Fail(-1, "connection is not open");
  if (const int16_t flushed = impl_->Flush(); flushed != kDbOk) return flushed;
  PGconn* conn = impl_->conn.get();
  ++impl_->roundTrips;
  ResultPtr start(PQexec(conn, std::string(copySql).c_str()));
  if (PQresultStatus(start.get()) != PGRES_COPY_IN) return impl_->FailFrom(start.get());
  ++impl_->roundTrips;
  // libpq buffers the data and sends it in pieces of its own choosing.
  constexpr size_t kPiece = 1 << 20;
  for (size_t pos = 0; pos < data.size(); pos += kPiece) {
    size_t n = std::min(kPiece, data.size() - pos);
    if (PQputCopyData(conn, data.data() + pos, static_cast<int>(n)) != 1) break;
  }
  if (PQputCopyEnd(conn, nullptr) != 1) return impl_->Fail(-1, PQerrorMessage(conn));
  int16_t status = kDbOk;
  while (PGresult* raw = PQgetResult(conn)) {
    ResultPtr res(raw);
    if (status == kDbOk && PQresultStatus(raw) != PGRES_COMMAND_OK) status = impl_->FailFrom(raw);
  }
  return status;
}

bool ZQData::ZQ_DB_StmtIsDef(int16_t handle, std::string_view cursor, int16_t& stmt) {
  if (handle != kHandle) return false;
  auto it = impl_->cursors.find(cursor);
  if (it == impl_->cursors.end()) return false;
  stmt = it->second;
  return true;
}

int16_t ZQData::ZQ_DB_Declare_StmtEx(int16_t handle, std::string_view app, std::string_view cursor,
                                     std::string_view, int16_t flag, int16_t& stmt) {
  if (handle != kHandle || !impl_->conn) return impl_->Fail(-1, "connection is not open");
  Statement s;
  s.app = std::string(app);
  s.cursor = std::string(cursor);
  s.flag = flag;
  impl_->stmts.push_back(std::move(s));
  stmt = static_cast<int16_t>(impl_->stmts.size() - 1);
  impl_->cursors[std::string(cursor)] = stmt;
  return kDbOk;
}

int16_t ZQData::ZQ_DB_Set_StmtCmdText(int16_t stmt, std::string_view sql) {
  Statement* s = impl_->Stmt(stmt);
  if (!s) return kDbFailure;
  s->sql = NumberMarkers(sql, s->paramCount);
  s->prepared = false;  // prepared on the server when it first runs
  return kDbOk;
}

int16_t ZQData::ZQ_DB_BindParm(int16_t stmt, int16_t number, DbType type, int32_t width) {
  Param* p = impl_->ParamOf(stmt, number);
  if (!p) return kDbFailure;
  p->type = type;
  p->width = width;
  return kDbOk;
}

int16_t ZQData::ZQ_DB_BindCol(int16_t stmt, int16_t column, DbType type, int32_t width) {
  Statement* s = impl_->Stmt(stmt);
  if (!s || column < 1) return kDbFailure;
  if (s->columns.size() < static_cast<size_t>(column)) s->columns.resize(column);
  s->columns[column - 1] = Column{type, width};
  return kDbOk;
}

bool ZQData::ZQ_DB_StmtIsBound(int16_t stmt) const {
  Statement* s = impl_->Stmt(stmt);
  return s && (!s->params.empty() || !s->columns.empty());
}

int16_t ZQData::ZQ_DB_SetInt(int16_t stmt, int16_t number, int16_t value) {
  return impl_->SetParam(stmt, number, std::to_string(value));
}

int16_t ZQData::ZQ_DB_SetInt64(int16_t stmt, int16_t number, int64_t value) {
  return impl_->SetParam(stmt, number, std::to_string(value));
}

int16_t ZQData::ZQ_DB_SetLong(int16_t stmt, int16_t number, int32_t value) {
  return impl_->SetParam(stmt, number, std::to_string(value));
}

int16_t ZQData::ZQ_DB_SetDouble(int16_t stmt, int16_t number, double value) {
  return impl_->SetParam(stmt, number, ShortestText(value));
}

int16_t ZQData::ZQ_DB_SetDecimalText(int16_t stmt, int16_t number, std::string_view text) {
  return impl_->SetParam(stmt, number, std::string(text));
}

int16_t ZQData::ZQ_DB_SetStr(int16_t stmt, int16_t number, std::string_view text, int32_t width) {
  Param* p = impl_->ParamOf(stmt, number);
  if (!p) return kDbFailure;
  if (width <= 0) width = p->width;
  // The value ends at its first NUL, as the library's texts do.
  text = text.substr(0, text.find('\0'));
  if (width > 0 && CharLength(text) > static_cast<size_t>(width)) {
    if (!p->cutNoted && impl_->noteSink) {
      Statement* s = impl_->Stmt(stmt);
      impl_->noteSink(CutNote(s->app, s->cursor, number, width));
    }
    p->cutNoted = true;
    p->value = CutToChars(text, width);
  } else {
    p->value = std::string(text);
  }
  return kDbOk;
}

int16_t ZQData::ZQ_DB_StmtExecute(int16_t stmt) {
  Statement* s = impl_->Stmt(stmt);
  if (!s) return kDbFailure;
  s->result.reset();
  return impl_->writesBehind ? impl_->Send(stmt) : impl_->Run(*s);
}

bool ZQData::ZQ_DB_WritesBehind(bool on) {
  return std::exchange(impl_->writesBehind, on);
}

int16_t ZQData::ZQ_DB_StmtFetchFirst(int16_t stmt) {
  Statement* s = impl_->Stmt(stmt);
  if (!s) return kDbFailure;
  int16_t status = impl_->Run(*s);
  if (status != kDbOk) return status;
  if (PQntuples(s->result.get()) == 0) return kDbNoRows;
  s->row = 0;
  return kDbOk;
}

int16_t ZQData::ZQ_DB_StmtFetchNext(int16_t stmt) {
  Statement* s = impl_->Stmt(stmt);
  if (!s) return kDbFailure;
  if (!s->result) return kDbNoRows;
  if (s->row + 1 >= PQntuples(s->result.get())) {
    s->row = PQntuples(s->result.get());
    return kDbNoRows;
  }
  ++s->row;
  return kDbOk;
}

int16_t ZQData::ZQ_DB_SetClosable(int16_t stmt) {
  Statement* s = impl_->Stmt(stmt);
  if (!s) return kDbFailure;
  s->result.reset();
  s->row = -1;
  return kDbOk;
}

int64_t ZQData::ZQ_DB_StmtRowCount(int16_t stmt) const {
  Statement* s = impl_->Stmt(stmt);
  return s && s->result ? PQntuples(s->result.get()) : 0;
}

int16_t ZQData::ZQ_DB_GetColInt(int16_t stmt, int16_t column, int16_t& value, int16_t& indicator) {
  if (!impl_->HasColumn(stmt, column)) return kDbFailure;
  const char* v = impl_->Value(stmt, column);
  indicator = v ? 0 : -1;
  value = v ? ToInt16(LeadingNumericValue(v)) : 0;
  return kDbOk;
}

int16_t ZQData::ZQ_DB_GetColLong(int16_t stmt, int16_t column, int32_t& value, int16_t& indicator) {
  if (!impl_->HasColumn(stmt, column)) return kDbFailure;
  const char* v = impl_->Value(stmt, column);
  indicator = v ? 0 : -1;
  value = v ? ToInt32(LeadingNumericValue(v)) : 0;
  return kDbOk;
}

int16_t ZQData::ZQ_DB_GetColDouble(int16_t stmt, int16_t column, double& value,
                                   int16_t& indicator) {
  if (!impl_->HasColumn(stmt, column)) return kDbFailure;
  const char* v = impl_->Value(stmt, column);
  indicator = v ? 0 : -1;
  value = v ? LeadingNumericValue(v) : 0.0;
  return kDbOk;
}

int16_t ZQData::ZQ_DB_GetColStr(int16_t stmt, int16_t column, std::string& value,
                                int16_t& indicator) {
  if (!impl_->HasColumn(stmt, column)) return kDbFailure;
  const char* v = impl_->Value(stmt, column);
  indicator = v ? 0 : -1;
  value = v ? v : "";
  Statement* s = impl_->Stmt(stmt);
  if (s && column >= 1 && static_cast<size_t>(column) <= s->columns.size()) {
    size_t width = s->columns[column - 1].width;
    size_t len = CharLength(value);
    if (s->columns[column - 1].type == DbType::Char && len < width) value.append(width - len, ' ');
  }
  return kDbOk;
}

void ZQData::SetNoteSink(std::function<void(std::string_view)> sink) {
  impl_->noteSink = std::move(sink);
}

int64_t ZQData::RowsChanged() const {
  return impl_->rowsChanged;
}

void ZQData::Note(std::string_view text) {
  if (impl_->noteSink) impl_->noteSink(text);
}

int64_t ZQData::RoundTrips() const {
  return impl_->roundTrips;
}

bool ZQData::CancelRunning() {
  std::lock_guard<std::mutex> lock(impl_->cancelMutex);
  char error[256];
  return impl_->cancel && PQcancel(impl_->cancel.get(), error, sizeof error);
}

int32_t ZQData::BackendPid() const {
  return impl_->conn ? PQbackendPID(impl_->conn.get()) : 0;
}

}  // namespace kalu
