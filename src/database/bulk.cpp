#include "database/bulk.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "database/sql_text.h"
#include "runtime/errors.h"
#include "runtime/failure_point.h"

namespace kalu {

namespace {

// The apply statement with the batch's table in place of each "{batch}".
std::string WithTable(std::string_view apply, std::string_view table) {
  constexpr std::string_view kMarker = "{batch}";
  std::string sql;
  for (std::size_t at = 0;;) {
    std::size_t found = apply.find(kMarker, at);
    sql += apply.substr(at, found - at);
    if (found == std::string_view::npos) return sql;
    sql += table;
    at = found + kMarker.size();
  }
}

}  // namespace

BatchWriter::BatchWriter(Session& session, std::string_view app, std::string_view table,
                         std::string_view columns, std::string_view apply, size_t rowsPerBatch)
    : session_(session),
      app_(app),
      table_(table),
      columns_(columns),
      apply_(WithTable(apply, table)),
      rowsPerBatch_(rowsPerBatch == 0 ? 1 : rowsPerBatch) {
  session_.EnsureConnected();
}

BatchWriter::~BatchWriter() {
  if (pendingRows_ == 0 || std::uncaught_exceptions() > 0) return;
  std::fprintf(stderr, "BatchWriter %s: %zu filas sin enviar al terminar\n", table_.c_str(),
               pendingRows_);
  std::abort();
}

BatchWriter& BatchWriter::Value(std::string_view text) {
  if (rowOpen_) pending_ += '\t';
  rowOpen_ = true;
  ++column_;
  for (char c : text) {
    switch (c) {
      case '\\':
        pending_ += "\\\\";
        break;
      case '\t':
        pending_ += "\\t";
        break;
      case '\n':
        pending_ += "\\n";
        break;
      case '\r':
        pending_ += "\\r";
        break;
      default:
        pending_ += c;
        break;
    }
  }
  return *this;
}

BatchWriter& BatchWriter::Int16(int16_t v) {
  return Value(SqlText(v));
}
BatchWriter& BatchWriter::Int32(int32_t v) {
  return Value(SqlText(v));
}
BatchWriter& BatchWriter::Decimal(Fixed4 v) {
  return Value(SqlText(v));
}
BatchWriter& BatchWriter::Date(DateValue v) {
  return Value(SqlText(SqlDate{v}));
}
BatchWriter& BatchWriter::DateTime(DateValue v) {
  return Value(SqlText(SqlDateTime{v}));
}

BatchWriter& BatchWriter::Null() {
  if (rowOpen_) pending_ += '\t';
  rowOpen_ = true;
  ++column_;
  pending_ += "\\N";
  return *this;
}

BatchWriter& BatchWriter::Text(std::string_view v, int width) {
  return Value(session_.CutParameter(app_, table_, column_ + 1, v, width));
}

void BatchWriter::EndRow() {
  pending_ += '\n';
  rowOpen_ = false;
  column_ = 0;
  ++pendingRows_;
  ++rows_;
  if (pendingRows_ >= rowsPerBatch_) Flush();
}

void BatchWriter::Flush() {
  if (pendingRows_ == 0) return;
  if (!tableReady_) {
    // A table left by an earlier writer of the session is emptied too.
    session_.ExecuteBatch(
        "SET LOCAL client_min_messages TO WARNING; CREATE TEMPORARY TABLE IF NOT EXISTS " + table_ +
        " (" + columns_ + ") ON COMMIT PRESERVE ROWS; TRUNCATE " + table_);
    tableReady_ = true;
  }
  ++batches_;
  session_.CopyIn("COPY " + table_ + " FROM STDIN", pending_);
  if (!analyzed_) {
    // The planner knows the batch table from its first batch on, so that the apply
    // statement finds each row's target by its key whatever the store's statistics.
    session_.ExecuteBatch("ANALYZE " + table_);
    analyzed_ = true;
  }
  pending_.clear();
  pendingRows_ = 0;
  FailurePoint("batch-copied", table_, batches_);
  session_.ExecuteBatch(apply_ + "; TRUNCATE " + table_);
  FailurePoint("batch-applied", table_, batches_);
  session_.CommitAsync();
}

int64_t BatchWriter::Rows() const {
  return rows_;
}

void WriteDecidedOnFailure(Session& session, std::optional<BatchWriter>& writer,
                           const std::function<void()>& work) {
  try {
    work();
  } catch (const RuntimeError&) {
    if (session.IsConnected()) {
      if (writer) writer->Flush();
      session.Commit();
    }
    throw;
  }
}

}  // namespace kalu
