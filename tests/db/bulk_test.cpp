// The batch writer against a real PostgreSQL: rows in batches through COPY, texts cut to
// their width, a failure raised.

#include "database/bulk.h"

#include <gtest/gtest.h>

#include "runtime/convert.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "support/test_support.h"

namespace kalu {
namespace {

using test::Raised;
using test::TestContext;
using test::TestDatabase;
using test::WorkFolder;

TEST(BatchWriter, RowsReachTheTablesInBatches) {
  WorkFolder wf;
  TestDatabase db;
  db.Exec(
      "CREATE TABLE t (k smallint primary key, l integer, d date, ts timestamp, "
      "c character(5), v varchar(20), n numeric(12,4))");
  TestDatabase::WriteDsn();
  TestContext t(db.Name());
  std::vector<std::string> notes;
  t.session.Library().SetNoteSink([&](std::string_view n) { notes.emplace_back(n); });
  const char* columns =
      "k smallint, l integer, d date, ts timestamp, c varchar(5), v varchar(20), "
      "n numeric(12,4)";
  {
    BatchWriter w(t.session, "T", "kalu_t", columns, "INSERT INTO t SELECT * FROM {batch}", 2);
    w.Int16(1).Int32(-70000).Date(kEmptyDate).DateTime(MakeDate(2024, 3, 20, 13, 5, 9));
    w.Text("ÑANDÚES", 5).Text("a\tb\\c\nd\re", 20).Decimal(Fixed4::FromText("12.3456")).EndRow();
    w.Int16(2).Null().Date(MakeDate(2024, 3, 20)).DateTime(kEmptyDate);
    w.Text("ab", 5).Text("\\N", 20).Decimal(Fixed4::FromText("-0.0001")).EndRow();
    // The batch of two went with its commit: a second session sees it.
    EXPECT_EQ(db.Value("select count(*) from t"), "2");
    w.Int16(3).Null().Null().Null().Text("xyzxyzxyz", 5).Null().Null().EndRow();
    EXPECT_EQ(db.Value("select count(*) from t"), "2");
    int64_t before = t.session.Library().RoundTrips();
    w.Flush();
    EXPECT_EQ(t.session.Library().RoundTrips() - before, 4);  // copy (2), apply, commit
    w.Flush();                                                // nothing pending: no round trip
    EXPECT_EQ(t.session.Library().RoundTrips() - before, 4);
    EXPECT_EQ(w.Rows(), 3);
  }
  // A writer that goes away with a row it never sent is a fault of the procedure: the
  // program stops rather than lose the row without a word.
  EXPECT_DEATH(
      {
        BatchWriter lost(t.session, "T", "kalu_t", columns, "INSERT INTO t SELECT * FROM {batch}");
        lost.Int16(4).Null().Null().Null().Null().Null().Null().EndRow();
      },
      "kalu_t: 1 filas sin enviar");
  t.session.Commit();
  EXPECT_EQ(db.Rows("select * from t order by k"),
            (std::vector<std::string>{
                "1|-70000|0001-01-01|2024-03-20 13:05:09|ÑANDÚ|a\tb\\c\nd\re|12.3456",
                "2|<null>|2024-03-20|0001-01-01 00:00:00|ab   |\\N|-0.0001",
                "3|<null>|<null>|<null>|xyzxy|<null>|<null>"}));
  EXPECT_EQ(notes, (std::vector<std::string>{"Texto recortado a 5 caracteres: T, cursor kalu_t, "
                                             "parametro 5"}));

  // A second writer of the session on the same table starts from an empty one; a batch
  // the store rejects ends the run with the fatal database error and keeps what was
  // committed before it.
  BatchWriter again(t.session, "T", "kalu_t", columns, "INSERT INTO t SELECT * FROM kalu_t", 10);
  again.Int16(1).Null().Null().Null().Null().Null().Null().EndRow();
  RuntimeError e = Raised([&] { again.Flush(); });
  EXPECT_EQ(e.Number(), kErrFatalDatabase);
  EXPECT_NE(e.Description().find("SQLSTATE 23505"), std::string::npos) << e.Description();
  EXPECT_EQ(db.Value("select count(*) from t"), "3");

  // A row the COPY itself rejects fails the same way, and the session opens anew after it.
  e = Raised([&] {
    BatchWriter wide(t.session, "T", "kalu_t", columns, "INSERT INTO t SELECT * FROM kalu_t");
    wide.Int32(70000).Null().Null().Null().Null().Null().Null().EndRow();
    wide.Flush();
  });
  EXPECT_NE(e.Description().find("SQLSTATE 22003"), std::string::npos) << e.Description();
  t.session.Execute("T", "DELETE FROM t WHERE k = 3");
  t.session.Commit();
  EXPECT_EQ(db.Value("select count(*) from t"), "2");
}

}  // namespace
}  // namespace kalu
