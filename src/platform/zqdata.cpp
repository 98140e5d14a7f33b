#include "platform/zqdata.h"

#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
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

struct Statement {
  std::string app;
  std::string cursor;
  int16_t flag = 0;
  std::string sql;  // with $n markers
  int paramCount = 0;
  bool prepared = false;
  std::vector<std::optional<std::string>> params;  // the SQL text of each value
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
  std::string text1, text2, sqlstate;
  int32_t native = 0;
  int64_t roundTrips = 0;
  int64_t rowsChanged = 0;  // of the last statement run at once
  int queued = 0;           // statements sent in pipeline mode since the last sync
  // The statements whose preparation is on its way in the pipeline, by their index in
  // `stmts`, which may grow while they wait.
  std::vector<int16_t> preparedInPipeline;
  std::function<void(std::string_view)> noteSink;
  std::mutex cancelMutex;  // guards `cancel`, which another thread may use
  CancelPtr cancel;        // the open connection's cancel request

  Statement* Stmt(int16_t s) {
    if (s < 0 || static_cast<size_t>(s) >= stmts.size()) return nullptr;
    return &stmts[s];
  }

  int16_t Fail(int32_t nativeCode, std::string t1, std::string t2 = {}) {
    native = nativeCode;
    sqlstate.clear();
    text1 = std::move(t1);
    text2 = std::move(t2);
    return kDbError;
  }

  // The status of a failed statement: -1 when the connection is gone, else the SQLSTATE
  // class.
  int16_t FailFrom(const PGresult* res) {
    if (!conn || PQstatus(conn.get()) != CONNECTION_OK || res == nullptr) {
      return Fail(-1, conn ? PQerrorMessage(conn.get()) : "connection is not open");
    }
    const char* state = PQresultErrorField(res, PG_DIAG_SQLSTATE);
    std::string sqlstate = state ? state : "";
    const char* primary = PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY);
    const char* detail = PQresultErrorField(res, PG_DIAG_MESSAGE_DETAIL);
    std::string message = primary ? primary : PQresultErrorMessage(res);
    int32_t cls = 1;
    if (sqlstate.size() >= 2 && isdigit(static_cast<unsigned char>(sqlstate[0])) &&
        isdigit(static_cast<unsigned char>(sqlstate[1]))) {
      cls = (sqlstate[0] - '0') * 10 + (sqlstate[1] - '0');
      if (cls == 0) cls = 1;  // a failure is never native code 0
    }
    const int16_t status = Fail(cls, "SQLSTATE " + sqlstate + ": " + message, detail ? detail : "");
    this->sqlstate = std::move(sqlstate);
    return status;
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

  // Sends a statement with no rows to read in pipeline mode, without waiting for its result.
  int16_t Send(int16_t index) {
    Statement& s = stmts[index];
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
    ++queued;
    return kDbOk;
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
      if (s.params[i]) values[i] = s.params[i]->c_str();
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
};

ZQData::ZQData() : impl_(std::make_unique<Impl>()) {}
ZQData::~ZQData() = default;

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
  impl_->cursors.clear();
  impl_->conn.reset();
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
  ++impl_->roundTrips;
  impl_->rowsChanged = 0;
  std::string text(sql);
  ResultPtr res(
      PQexecParams(impl_->conn.get(), text.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0));
  auto st = PQresultStatus(res.get());
  if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) return impl_->FailFrom(res.get());
  impl_->rowsChanged = std::atoll(PQcmdTuples(res.get()));
  return kDbOk;
}

bool ZQData::TransactionFailed() const {
  return impl_->conn && PQtransactionStatus(impl_->conn.get()) == PQTRANS_INERROR;
}

int16_t ZQData::ZQ_DB_ExecBatch(int16_t handle, std::string_view sql,
                                const std::function<void()>& waiting) {
  if (handle != kHandle || !impl_->conn) return impl_->Fail(-1, "connection is not open");
  return impl_->Command(std::string(sql).c_str(), waiting) ? kDbOk : kDbError;
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

int16_t ZQData::ZQ_DB_SetParm(int16_t stmt, int16_t number, std::string text) {
  Statement* s = impl_->Stmt(stmt);
  if (!s || number < 1) return kDbFailure;
  if (s->params.size() < static_cast<size_t>(number)) s->params.resize(number);
  s->params[number - 1] = std::move(text);
  return kDbOk;
}

int16_t ZQData::ZQ_DB_StmtExecute(int16_t stmt) {
  Statement* s = impl_->Stmt(stmt);
  if (!s) return kDbFailure;
  s->result.reset();
  return impl_->Run(*s);
}

int16_t ZQData::ZQ_DB_StmtSend(int16_t stmt) {
  Statement* s = impl_->Stmt(stmt);
  if (!s) return kDbFailure;
  s->result.reset();
  return impl_->Send(stmt);
}

int ZQData::SentUnread() const {
  return impl_->queued;
}

int16_t ZQData::ZQ_DB_ReadSent() {
  return impl_->conn && PQpipelineStatus(impl_->conn.get()) != PQ_PIPELINE_OFF ? impl_->Sync()
                                                                               : kDbOk;
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
  return kDbOk;
}

void ZQData::SetNoteSink(std::function<void(std::string_view)> sink) {
  impl_->noteSink = std::move(sink);
}

const std::string& ZQData::LastSqlState() const {
  return impl_->sqlstate;
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
