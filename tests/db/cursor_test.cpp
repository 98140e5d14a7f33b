// The cursor against a real PostgreSQL: values both ways, writes behind, rows kept after
// a commit.

#include "database/cursor.h"

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

TEST(Cursor, ValuesCrossTheLibrary) {
  WorkFolder wf;
  TestDatabase db;
  db.Exec(
      "CREATE TABLE t (k smallint primary key, d date, ts timestamp, c character(5), "
      "n numeric(12,4), s numeric(12,2))");
  TestDatabase::WriteDsn();
  TestContext t(db.Name());
  Cursor ins(t.session, "T", "PT1", "INSERT INTO t (k, d, ts, c, n) VALUES (?, ?, ?, ?, ?)",
             CursorKind::Update);
  ins.SetInt16(1, 1).SetDate(2, kEmptyDate).SetDateTime(3, MakeDate(2024, 3, 20, 13, 5, 9));
  ins.SetText(4, "ÑANDÚES", 5).SetDecimal(5, Fixed4::FromText("12.3456"));
  ins.Execute();
  ins.Close();
  ins.SetInt16(1, 2).SetDate(2, MakeDate(2024, 3, 20)).SetDateTime(3, kEmptyDate);
  ins.SetText(4, "ab", 5).SetDecimal(5, Fixed4::FromText("-0.0001"));
  ins.Execute();
  ins.Close();
  t.session.Commit();

  EXPECT_EQ(db.Rows("select k, d, ts, c, n, s from t order by k"),
            (std::vector<std::string>{"1|0001-01-01|2024-03-20 13:05:09|ÑANDÚ|12.3456|<null>",
                                      "2|2024-03-20|0001-01-01 00:00:00|ab   |-0.0001|<null>"}));

  Cursor sel(t.session, "T", "PT2", "SELECT d, ts, c, n, s FROM t WHERE k = ?", CursorKind::Read);
  sel.SetInt16(1, 1);
  ASSERT_TRUE(sel.FetchFirst());
  EXPECT_EQ(sel.Date(1), kEmptyDate);
  EXPECT_EQ(FormatIsoDateTime(sel.DateTime(2)), "2024-03-20 13:05:09");
  EXPECT_EQ(sel.Text(3), "ÑANDÚ");
  EXPECT_EQ(sel.Decimal(4).Raw(), 123456);
  EXPECT_EQ(sel.Decimal(5).Raw(), 0);  // NULL reads as 0
  EXPECT_EQ(sel.Int16(5), 0);
  EXPECT_FALSE(sel.FetchNext());
  // A column the statement does not have is a fault of the procedure, never a silent 0.
  EXPECT_EQ(Raised([&] { sel.Int16(6); }).Number(), kErrFatalDatabase);
  sel.Close();

  sel.SetInt16(1, 3);
  EXPECT_FALSE(sel.FetchFirst());
  EXPECT_EQ(sel.LastCode(), kCodeNotFound);
}

// Writes sent behind are seen by the next read, keys read once match as the server's
// comparison does, and a failure among them reaches the next call's check: the run ends
// and nothing of the transaction is committed.
TEST(Cursor, WritesBehindAreReadBackBeforeAnyOtherCall) {
  WorkFolder wf;
  TestDatabase db;
  db.Exec("CREATE TABLE w (k character(4) primary key, n smallint)");
  TestDatabase::WriteDsn();
  TestContext t(db.Name());
  const int64_t tripsBefore = t.session.Library().RoundTrips();
  {
    WritesBehind writes(t.session);
    for (int16_t i = 0; i < 600; ++i) {
      Cursor ins(t.session, "T", "PW1", "INSERT INTO w (k, n) VALUES (?, ?)", CursorKind::Update);
      ins.SetText(1, std::to_string(i), 4).SetInt16(2, i).Execute();
    }
    Cursor keys(t.session, "T", "PW2", "SELECT k FROM w WHERE k = ANY (CAST(? AS bpchar[]))",
                CursorKind::Read);
    const std::vector<std::string> asked = {"7  ", "599", "a\"b", "600"};
    keys.SetTextList(1, asked, 4);
    std::vector<std::string> found;
    for (bool row = keys.FetchFirst(); row; row = keys.FetchNext()) found.push_back(keys.Text(1));
    EXPECT_EQ(found, (std::vector<std::string>{"7", "599"}));
  }
  EXPECT_LE(t.session.Library().RoundTrips() - tripsBefore, 8);  // 600 rows, a read, the login
  t.session.Commit();
  EXPECT_EQ(db.Value("select count(*) from w"), "600");
  EXPECT_EQ(CharKey("ab  \0cd", 4), "ab");
  EXPECT_EQ(CharKey("Ñandú ", 3), "Ñan");

  {
    WritesBehind writes(t.session);
    Cursor upd(t.session, "T", "PW3", "UPDATE w SET n = n + 1000", CursorKind::Update);
    upd.Execute();
    // Statements declared while others wait in the pipeline: the library's table of
    // statements grows under them.
    for (int i = 0; i < 40; ++i) {
      const std::string id = "PWN" + std::to_string(i);
      Cursor more(t.session, "T", id, "UPDATE w SET n = n WHERE k = ''", CursorKind::Update);
      more.Execute();
    }
    Cursor ins(t.session, "T", "PW1", "INSERT INTO w (k, n) VALUES (?, ?)", CursorKind::Update);
    ins.SetText(1, "7", 4).SetInt16(2, 7).Execute();  // a key already there: sent all the same
    EXPECT_EQ(Raised([&] { t.session.Commit(); }).Number(), kErrFatalDatabase);
  }
  EXPECT_EQ(db.Value("select count(*) from w where n >= 1000"), "0");
}

TEST(Cursor, RowsStayReadableAfterACommit) {
  WorkFolder wf;
  TestDatabase db;
  TestDatabase::WriteDsn();
  TestContext t(db.Name());
  Cursor states(t.session, "T", "PT3", "SELECT EdoCve FROM ESTADOS ORDER BY EdoCve FOR UPDATE",
                CursorKind::Update);
  int rows = 0;
  for (bool row = states.FetchFirst(); row; row = states.FetchNext()) {
    ++rows;
    t.session.Commit();
  }
  states.Close();
  EXPECT_EQ(rows, 32);
}

}  // namespace
}  // namespace kalu
