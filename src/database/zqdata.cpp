#include "database/zqdata.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "database/data_source.h"
#include "platform/pg_connection.h"
#include "runtime/numbers.h"
#include "runtime/text.h"

namespace kalu {

namespace {

constexpr int16_t kHandle = 1;  // the one connection this library opens

// How a connection is declared and configured before it opens.
struct ConnDecl {
  std::string fileDsn;
  std::string connData;
  std::string user;
  std::string password;
};

struct Statement {
  std::string cursor;
  std::string sql;  // with $n markers
  int paramCount = 0;
  bool prepared = false;
  std::vector<std::optional<std::string>> params;  // the SQL text of each value
  PgResult result;
  int row = -1;

  // The values of its parameters, nullptr for one not set.
  std::vector<const char*> Values() const {
    std::vector<const char*> values(paramCount, nullptr);
    for (int i = 0; i < paramCount && i < static_cast<int>(params.size()); ++i) {
      if (params[i]) values[i] = params[i]->c_str();
    }
    return values;
  }
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

}  // namespace

struct ZQData::Impl {
  std::map<std::string, ConnDecl, std::less<>> decls;
  std::unique_ptr<PgConnection> conn;
  // While statements are sent without waiting: the pipeline they travel in.
  std::optional<PgPipeline> pipeline;
  std::vector<Statement> stmts;
  std::map<std::string, int16_t, std::less<>> cursors;
  std::string text1, text2, sqlstate;
  int32_t native = 0;
  int64_t roundTrips = 0;
  int64_t rowsChanged = 0;  // of the last statement run at once
  // What went into the pipeline since the last sync, in order: each statement's
  // preparation (on its first run) and execution, by its index in `stmts`.
  struct Sent {
    int16_t stmt;
    bool preparation;
  };
  std::vector<Sent> sent;
  int queued = 0;  // statements sent since the last sync
  std::function<void(std::string_view)> noteSink;
  std::mutex cancelMutex;  // guards `cancel`, which another thread may use
  PgCanceller cancel;      // the open connection's cancel request

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

  // A failure of the connection itself: libpq's message.
  int16_t Lost() { return Fail(-1, conn ? conn->Error() : "connection is not open"); }

  // The status of a failed statement: -1 when the connection is gone, else the SQLSTATE
  // class.
  int16_t FailFrom(const PgResult& res) {
    if (!conn || !conn->Ok() || !res) return Lost();
    std::string state = res.SqlState();
    int32_t cls = 1;
    if (state.size() >= 2 && isdigit(static_cast<unsigned char>(state[0])) &&
        isdigit(static_cast<unsigned char>(state[1]))) {
      cls = (state[0] - '0') * 10 + (state[1] - '0');
      if (cls == 0) cls = 1;  // a failure is never native code 0
    }
    const int16_t status = Fail(cls, "SQLSTATE " + state + ": " + res.Message(), res.Detail());
    sqlstate = std::move(state);
    return status;
  }

  // Sends a statement with no rows to read in pipeline mode, without waiting for its result.
  int16_t Send(int16_t index) {
    Statement& s = stmts[index];
    if (!conn) return Lost();
    if (!pipeline && !pipeline.emplace(*conn).Ok()) {
      pipeline.reset();
      return Lost();
    }
    if (!s.prepared) {
      if (!pipeline->SendPrepare(s.cursor, s.sql, s.paramCount)) return Lost();
      s.prepared = true;
      sent.push_back({index, true});
    }
    if (!pipeline->SendPrepared(s.cursor, s.Values())) return Lost();
    sent.push_back({index, false});
    ++queued;
    return kDbOk;
  }

  // Reads the results of what was sent since the last sync: the first failure among them
  // is the status (the server skips the rest of them). A statement whose preparation did
  // not succeed is prepared again on its next use; `keep`, when given, keeps the result of
  // its execution.
  int16_t Sync(Statement* keep = nullptr) {
    ++roundTrips;
    queued = 0;
    const std::vector<Sent> what = std::exchange(sent, {});
    if (!pipeline->Sync()) return Lost();
    int16_t status = kDbOk;
    size_t next = 0;
    const bool read = pipeline->ReadToSync([&](PgResult res) {
      if (status == kDbOk && !res.Succeeded() && !res.WasSkipped()) status = FailFrom(res);
      if (next >= what.size()) return;
      Statement& s = stmts[what[next].stmt];
      if (what[next++].preparation) {
        s.prepared = res.Succeeded();
      } else if (&s == keep) {
        s.result = std::move(res);
      }
    });
    return read ? status : Lost();
  }

  // Leaves pipeline mode, reading what is still on its way: every other call of the library
  // waits for its own result, so it sees the statements sent before it.
  int16_t Flush(Statement* keep = nullptr) {
    if (!pipeline) return kDbOk;
    const int16_t status = Sync(keep);
    const bool left = pipeline->Leave();
    pipeline.reset();
    if (!left && status == kDbOk) return Lost();
    return status;
  }

  // Runs a statement and keeps its result. Its first run sends its preparation and its
  // execution together in pipeline mode, to come back in one exchange.
  int16_t Run(int16_t index) {
    Statement& s = stmts[index];
    if (!conn) return Lost();
    if (const int16_t flushed = Flush(); flushed != kDbOk) return flushed;
    s.row = -1;
    int16_t status = kDbOk;
    if (!s.prepared) {
      status = Send(index);
      if (status == kDbOk) status = Flush(&s);
    } else {
      ++roundTrips;
      s.result = conn->ExecPrepared(s.cursor, s.Values());
      if (!s.result.Succeeded()) status = FailFrom(s.result);
    }
    if (status != kDbOk) s.result = PgResult();
    return status;
  }

  // Reads a column of the statement's current row through `convert`: a NULL (or no row)
  // reads as T's zero with indicator -1. Any column number reads so while the statement has
  // no result; once it has one, a number beyond it is a failure.
  template <typename T, typename Convert>
  int16_t Column(int16_t stmt, int16_t column, T& value, int16_t& indicator, Convert convert) {
    const Statement* s = Stmt(stmt);
    if (!s || (s->result && (column < 1 || column > s->result.Columns()))) return kDbFailure;
    const char* text = s->result.Value(s->row, column - 1);
    indicator = text ? 0 : -1;
    value = text ? convert(text) : T{};
    return kDbOk;
  }
};

ZQData::ZQData() : impl_(std::make_unique<Impl>()) {}
ZQData::~ZQData() = default;

// Nothing to initialise: libpq needs no set-up.
int16_t ZQData::ZQ_DB_Init(int16_t&) {
  return kDbOk;
}

int16_t ZQData::ZQ_DB_End() {
  {
    std::lock_guard<std::mutex> lock(impl_->cancelMutex);
    impl_->cancel = PgCanceller();
  }
  impl_->stmts.clear();
  impl_->sent.clear();
  impl_->queued = 0;
  impl_->cursors.clear();
  impl_->pipeline.reset();
  impl_->conn.reset();
  impl_->decls.clear();
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
  std::optional<PgSettings> settings =
      DataSourceSettings(decl.fileDsn, decl.connData, decl.user, decl.password);
  if (!settings) return impl_->Fail(-1, "data source file not found: " + decl.fileDsn);

  ++impl_->roundTrips;
  auto conn = std::make_unique<PgConnection>(*settings);
  if (!conn->Ok()) {
    std::string msg = conn->Error();
    // Windows tries "localhost" at ::1 first; a server that takes only 127.0.0.1 (by its
    // listen_addresses or its pg_hba.conf) then refuses a connection it would accept there.
    auto host = std::find_if(settings->begin(), settings->end(),
                             [](const auto& setting) { return setting.first == "host"; });
    if (host != settings->end() && EqualsIgnoreCase(host->second, "localhost")) {
      host->second = "127.0.0.1";
      if (PgConnection(*settings).Ok()) {
        msg +=
            "; el servidor escucha en 127.0.0.1 pero no en ::1: use Servername=127.0.0.1 en "
            "Kalu.dsn";
      }
    }
    return impl_->Fail(-1, msg);
  }
  // The server's notices ("drop cascades to view …") go to the notes.
  conn->SetNoticeSink([impl = impl_.get()](std::string_view text) {
    if (impl->noteSink) impl->noteSink(text);
  });
  impl_->conn = std::move(conn);
  {
    std::lock_guard<std::mutex> lock(impl_->cancelMutex);
    impl_->cancel = impl_->conn->Canceller();
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
  const PgResult res = impl_->conn->Exec(sql);
  if (!res.Succeeded()) return impl_->FailFrom(res);
  impl_->rowsChanged = res.RowsChanged();
  return kDbOk;
}

bool ZQData::TransactionFailed() const {
  return impl_->conn && impl_->conn->TransactionFailed();
}

int16_t ZQData::ZQ_DB_ExecBatch(int16_t handle, std::string_view sql,
                                const std::function<void()>& waiting) {
  if (handle != kHandle || !impl_->conn) return impl_->Fail(-1, "connection is not open");
  if (const int16_t flushed = impl_->Flush(); flushed != kDbOk) return flushed;
  PgConnection& conn = *impl_->conn;
  ++impl_->roundTrips;
  if (!conn.Send(sql) || (waiting && !conn.AwaitResult(waiting))) return impl_->Lost();
  const bool commits = sql.find("COMMIT") != std::string_view::npos;
  int16_t status = kDbOk;
  while (PgResult res = conn.Next()) {
    if (status != kDbOk) continue;
    if (!res.Succeeded()) {
      status = impl_->FailFrom(res);
    } else if (commits && res.CommandTag() == "ROLLBACK") {
      // A transaction that failed earlier is rolled back by its COMMIT: nothing of it was
      // committed, and that is a failure.
      status = impl_->Fail(40, "SQLSTATE 40000: the transaction was rolled back, not committed");
    }
  }
  return status;
}

int16_t ZQData::ZQ_DB_CopyIn(int16_t handle, std::string_view copySql, std::string_view data) {
  if (handle != kHandle || !impl_->conn) return impl_->Fail(-1, "connection is not open");
  if (const int16_t flushed = impl_->Flush(); flushed != kDbOk) return flushed;
  PgConnection& conn = *impl_->conn;
  ++impl_->roundTrips;
  const PgResult start = conn.Exec(copySql);
  if (!start.WantsCopyData()) return impl_->FailFrom(start);
  ++impl_->roundTrips;
  const bool sent = conn.PutCopyData(data);
  if (!conn.EndCopy()) return impl_->Lost();
  int16_t status = sent ? kDbOk : impl_->Lost();
  while (PgResult res = conn.Next()) {
    if (status == kDbOk && !res.Succeeded()) status = impl_->FailFrom(res);
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
  (void)app;
  (void)flag;
  impl_->stmts.emplace_back().cursor = std::string(cursor);
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
  s->result = PgResult();
  return impl_->Run(stmt);
}

int16_t ZQData::ZQ_DB_StmtSend(int16_t stmt) {
  Statement* s = impl_->Stmt(stmt);
  if (!s) return kDbFailure;
  s->result = PgResult();
  return impl_->Send(stmt);
}

int ZQData::SentUnread() const {
  return impl_->queued;
}

int16_t ZQData::ZQ_DB_ReadSent() {
  return impl_->pipeline ? impl_->Sync() : kDbOk;
}

int16_t ZQData::ZQ_DB_StmtFetchFirst(int16_t stmt) {
  Statement* s = impl_->Stmt(stmt);
  if (!s) return kDbFailure;
  if (const int16_t status = impl_->Run(stmt); status != kDbOk) return status;
  s->row = 0;
  return s->row < s->result.Rows() ? kDbOk : kDbNoRows;
}

int16_t ZQData::ZQ_DB_StmtFetchNext(int16_t stmt) {
  Statement* s = impl_->Stmt(stmt);
  if (!s) return kDbFailure;
  // Past the last row the statement stays there.
  s->row = std::min(s->row + 1, s->result.Rows());
  return s->row < s->result.Rows() ? kDbOk : kDbNoRows;
}

int16_t ZQData::ZQ_DB_SetClosable(int16_t stmt) {
  Statement* s = impl_->Stmt(stmt);
  if (!s) return kDbFailure;
  s->result = PgResult();
  s->row = -1;
  return kDbOk;
}

int64_t ZQData::ZQ_DB_StmtRowCount(int16_t stmt) const {
  Statement* s = impl_->Stmt(stmt);
  return s ? s->result.Rows() : 0;
}

int16_t ZQData::ZQ_DB_GetColInt(int16_t stmt, int16_t column, int16_t& value, int16_t& indicator) {
  return impl_->Column(stmt, column, value, indicator,
                       [](const char* text) { return ToInt16(LeadingNumericValue(text)); });
}

int16_t ZQData::ZQ_DB_GetColLong(int16_t stmt, int16_t column, int32_t& value, int16_t& indicator) {
  return impl_->Column(stmt, column, value, indicator,
                       [](const char* text) { return ToInt32(LeadingNumericValue(text)); });
}

int16_t ZQData::ZQ_DB_GetColStr(int16_t stmt, int16_t column, std::string& value,
                                int16_t& indicator) {
  return impl_->Column(stmt, column, value, indicator,
                       [](const char* text) { return std::string(text); });
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
  return impl_->cancel.Cancel();
}

int32_t ZQData::BackendPid() const {
  return impl_->conn ? impl_->conn->BackendPid() : 0;
}

}  // namespace kalu
