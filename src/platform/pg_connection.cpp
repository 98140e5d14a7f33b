#include "platform/pg_connection.h"

#include <libpq-fe.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace kalu {

namespace {
std::string Field(const PGresult* result, int field) {
  const char* text = result ? PQresultErrorField(result, field) : nullptr;
  return text ? text : "";
}
}  // namespace

void PgResult::Clear::operator()(pg_result* result) const {
  PQclear(result);
}

bool PgResult::Succeeded() const {
  const ExecStatusType status = PQresultStatus(result_.get());
  return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}
bool PgResult::WantsCopyData() const {
  return PQresultStatus(result_.get()) == PGRES_COPY_IN;
}
bool PgResult::IsSync() const {
  return PQresultStatus(result_.get()) == PGRES_PIPELINE_SYNC;
}
bool PgResult::WasSkipped() const {
  return PQresultStatus(result_.get()) == PGRES_PIPELINE_ABORTED;
}

int PgResult::Rows() const {
  return result_ ? PQntuples(result_.get()) : 0;
}
int PgResult::Columns() const {
  return result_ ? PQnfields(result_.get()) : 0;
}

const char* PgResult::Value(int row, int column) const {
  if (row < 0 || row >= Rows() || column < 0 || column >= Columns()) return nullptr;
  return PQgetisnull(result_.get(), row, column) ? nullptr : PQgetvalue(result_.get(), row, column);
}

std::string PgResult::CommandTag() const {
  return result_ ? PQcmdStatus(result_.get()) : "";
}
int64_t PgResult::RowsChanged() const {
  return result_ ? std::atoll(PQcmdTuples(result_.get())) : 0;
}

std::string PgResult::SqlState() const {
  return Field(result_.get(), PG_DIAG_SQLSTATE);
}
std::string PgResult::Message() const {
  std::string primary = Field(result_.get(), PG_DIAG_MESSAGE_PRIMARY);
  return primary.empty() && result_ ? PQresultErrorMessage(result_.get()) : primary;
}
std::string PgResult::Detail() const {
  return Field(result_.get(), PG_DIAG_MESSAGE_DETAIL);
}

void PgCanceller::Free::operator()(pg_cancel* cancel) const {
  PQfreeCancel(cancel);
}

bool PgCanceller::Cancel() const {
  char error[256];
  return cancel_ && PQcancel(cancel_.get(), error, sizeof error);
}

PgConnection::PgConnection(const PgSettings& settings) {
  std::vector<const char*> keys, values;
  for (const auto& [key, value] : settings) {
    keys.push_back(key.c_str());
    values.push_back(value.c_str());
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  conn_ = PQconnectdbParams(keys.data(), values.data(), 0);
  // The server's notices ("drop cascades to view …") go to the sink, never to stderr.
  PQsetNoticeProcessor(
      conn_,
      [](void* arg, const char* message) {
        auto* self = static_cast<PgConnection*>(arg);
        std::string_view text = message;
        while (!text.empty() && text.back() == '\n') text.remove_suffix(1);
        if (self->noticeSink_) self->noticeSink_(text);
      },
      this);
}

PgConnection::~PgConnection() {
  PQfinish(conn_);
}

bool PgConnection::Ok() const {
  return PQstatus(conn_) == CONNECTION_OK;
}

std::string PgConnection::Error() const {
  std::string message = PQerrorMessage(conn_);
  while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  return message;
}

PgResult PgConnection::Exec(std::string_view sql) {
  const std::string text(sql);
  return PgResult(PQexecParams(conn_, text.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0));
}

PgResult PgConnection::ExecPrepared(const std::string& name, std::span<const char* const> values) {
  return PgResult(PQexecPrepared(conn_, name.c_str(), static_cast<int>(values.size()),
                                 values.data(), nullptr, nullptr, 0));
}

bool PgConnection::Send(std::string_view sql) {
  return PQsendQuery(conn_, std::string(sql).c_str()) == 1;
}

bool PgConnection::AwaitResult(const std::function<void()>& waiting) {
  constexpr std::chrono::milliseconds kWait{30};
  for (;;) {
    if (!PQconsumeInput(conn_)) return false;
    if (!PQisBusy(conn_)) return true;
    waiting();
    std::this_thread::sleep_for(kWait);
  }
}

PgResult PgConnection::Next() {
  return PgResult(PQgetResult(conn_));
}

bool PgConnection::PutCopyData(std::string_view data) {
  // libpq buffers the data and sends it in pieces of its own choosing.
  constexpr size_t kPiece = 1 << 20;
  for (size_t pos = 0; pos < data.size(); pos += kPiece) {
    const size_t n = std::min(kPiece, data.size() - pos);
    if (PQputCopyData(conn_, data.data() + pos, static_cast<int>(n)) != 1) return false;
  }
  return true;
}

bool PgConnection::EndCopy() {
  return PQputCopyEnd(conn_, nullptr) == 1;
}

bool PgConnection::TransactionFailed() const {
  return PQtransactionStatus(conn_) == PQTRANS_INERROR;
}

int32_t PgConnection::BackendPid() const {
  return PQbackendPID(conn_);
}

PgCanceller PgConnection::Canceller() const {
  return PgCanceller(PQgetCancel(conn_));
}

void PgConnection::SetNoticeSink(std::function<void(std::string_view)> sink) {
  noticeSink_ = std::move(sink);
}

PgPipeline::PgPipeline(PgConnection& connection)
    : connection_(connection), entered_(PQenterPipelineMode(connection.conn_) == 1) {}

PgPipeline::~PgPipeline() {
  Leave();
}

bool PgPipeline::SendPrepare(const std::string& name, const std::string& sql, int parameters) {
  return PQsendPrepare(connection_.conn_, name.c_str(), sql.c_str(), parameters, nullptr) == 1;
}

bool PgPipeline::SendPrepared(const std::string& name, std::span<const char* const> values) {
  return PQsendQueryPrepared(connection_.conn_, name.c_str(), static_cast<int>(values.size()),
                             values.data(), nullptr, nullptr, 0) == 1;
}

bool PgPipeline::Sync() {
  return PQpipelineSync(connection_.conn_) == 1;
}

bool PgPipeline::ReadToSync(const std::function<void(PgResult)>& each) {
  for (;;) {
    PgResult result = connection_.Next();
    if (!result) {
      if (!connection_.Ok()) return false;
      continue;  // the end of one statement's results
    }
    if (result.IsSync()) return true;
    each(std::move(result));
  }
}

bool PgPipeline::Leave() {
  if (!entered_) return true;
  if (PQexitPipelineMode(connection_.conn_) != 1) return false;
  entered_ = false;
  return true;
}

}  // namespace kalu
