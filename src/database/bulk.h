#pragma once
// The bulk path of the data-access module: where a phase writes rows by the ten thousand,
// they travel in batches instead of one statement per row.
//
//   BatchWriter cp(ctx.session, "PCARGACP_SAT", "P13465",
//                  "cpcve integer, edocve smallint, muncve smallint",
//                  "INSERT INTO codigopostal (cpcve, edocve, muncve) SELECT * FROM {batch}");
//   for (...) cp.Int32(code).Int16(state).Int16(municipality).EndRow();
//   cp.Flush();
//   ctx.session.Commit();
//
// A writer stands in for the cursor that wrote its rows one by one, and its temporary
// table is named after that cursor: a text cut to its width is noted once per column as
// "Texto recortado a 80 caracteres: PCARGACATCOLONIAS, cursor P14944, parametro 3".

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "database/session.h"
#include "runtime/convert.h"
#include "runtime/numbers.h"

namespace kalu {

// A writer whose apply statement finds each of its rows by key in a large table sends a
// thousand rows a batch: a few hundredths of a second, so the progress display keeps moving.
constexpr size_t kRowsPerKeyedBatch = 1000;
// Put before such an apply statement: each batch row is looked up by the table's key.
// With statistics the planner would rather hash the whole table for every batch of a
// thousand, which makes the phase grow with the square of the store.
constexpr const char* kLookUpByKey =
    "SET LOCAL enable_hashjoin = off; SET LOCAL enable_mergejoin = off; ";

// Collects rows a procedure decided to write and sends them in batches: COPY into a
// session-temporary table, then one statement that applies the batch to the store's
// tables, then a commit that does not wait for the disk. A failure ends the run with the
// session's DatabaseError.
class BatchWriter {
 public:
  // `table`: name of the temporary table (created ON COMMIT PRESERVE ROWS if missing,
  // emptied after each batch); `columns`: its column definitions ("regcve smallint,
  // cpcve numeric(5,0), nombre varchar(80)"); `apply`: the statement(s) that move the
  // batch into the store's tables (INSERT ... SELECT / UPDATE ... FROM), naming the
  // temporary table `{batch}`.
  BatchWriter(Session& session, std::string_view app, std::string_view table,
              std::string_view columns, std::string_view apply, size_t rowsPerBatch = 5000);
  // Does not flush: a procedure calls Flush() at its end. A writer that goes away with
  // rows not sent, other than by an error, is a fault of the procedure: the program stops.
  ~BatchWriter();
  BatchWriter(const BatchWriter&) = delete;
  BatchWriter& operator=(const BatchWriter&) = delete;

  BatchWriter& Int16(int16_t v);
  BatchWriter& Int32(int32_t v);
  BatchWriter& Decimal(Fixed4 v);
  BatchWriter& Text(std::string_view v, int width);  // cut to width in characters, as cursors do
  BatchWriter& Date(DateValue v);
  BatchWriter& DateTime(DateValue v);
  BatchWriter& Null();
  void EndRow();         // flushes when the batch is full
  void Flush();          // sends what is pending (nothing when empty); commits asynchronously
  int64_t Rows() const;  // rows written so far

 private:
  // Appends one value of the row being built, escaped for COPY's text format.
  BatchWriter& Value(std::string_view text);

  Session& session_;
  std::string app_;
  std::string table_;
  std::string columns_;
  std::string apply_;
  size_t rowsPerBatch_;
  std::string pending_;  // the batch in COPY text format
  size_t pendingRows_ = 0;
  bool rowOpen_ = false;  // a value of the current row is written
  int column_ = 0;        // values written in the current row
  bool tableReady_ = false;
  bool analyzed_ = false;
  int64_t rows_ = 0;
  int64_t batches_ = 0;  // batches sent so far
};

// Runs `work`, which decides the rows of `writer` (made by `work` itself or before it).
// When it fails with a run-time error while the session is still connected (an overflow
// in a package, not a database failure), the rows decided before the failure are written
// and what the call did is committed before the error goes on, as the row-by-row cursors
// left it.
void WriteDecidedOnFailure(Session& session, std::optional<BatchWriter>& writer,
                           const std::function<void()>& work);

}  // namespace kalu
