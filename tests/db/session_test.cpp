// The database session against a real PostgreSQL: connection, the one way a failure is
// raised, the fatal text, immediate statements, cursor values, commits and transactions.

#include <gtest/gtest.h>

#include "database/bulk.h"
#include "database/cursor.h"
#include "runtime/convert.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "support/test_support.h"

namespace kalu {
namespace {

using test::TestContext;
using test::TestDatabase;
using test::WorkFolder;

// Runs `fn` and returns the error of type `Error` it raised (`none` when it raised none).
template <typename Error = RuntimeError, typename Fn>
Error Raised(Fn fn, Error none = Error(0, "")) {
  try {
    fn();
  } catch (const Error& e) {
    return e;
  }
  return none;
}

// The database error `fn` raised (native code 0 and no texts when none).
template <typename Fn>
DatabaseError RaisedByDatabase(Fn fn) {
  return Raised<DatabaseError>(fn, DatabaseError(0, "", "", ""));
}

TEST(FatalText, NativeCodeSpacing) {
  struct Case {
    int32_t native;
    std::string expected;
  } cases[] = {
      {42, "Error code:  42 in  Text is: 'syntax'."},
      {-1, "Error code: -1 in  Text is: 'syntax'."},
      {0, "Error code:  0 in  Text is: 'syntax'."},
  };
  for (const auto& c : cases) EXPECT_EQ(Session::FatalText(c.native, "syntax"), c.expected);
}

TEST(DatabaseCheck, ClassifiesStatuses) {
  Session session;
  struct Case {
    int16_t status;
    bool found;
    const char* fatal;  // the fatal text raised, or nullptr
  } cases[] = {{0, true, nullptr},
               {100, false, nullptr},  // not found is an ordinary result
               {-1, false, "Error code:  0 in  Text is: ''."},
               {110, false, "Error code:  0 in  Text is: ''."},
               {55, false, "Error code:  55 in  Text is: ''."}};
  for (const auto& c : cases) {
    if (c.fatal == nullptr) {
      EXPECT_EQ(session.Require(c.status), c.found) << c.status;
      continue;
    }
    RuntimeError e = Raised([&] { session.Require(c.status); });
    EXPECT_EQ(e.Number(), kErrFatalDatabase) << c.status;
    EXPECT_EQ(e.Description(), c.fatal) << c.status;
  }
}

TEST(Session, ServerThatDoesNotListenEndsTheRunWithNativeCodeMinusOne) {
  WorkFolder wf;
  wf.Write("Kalu.dsn", "[ODBC]\nServername=" + wf.Path().string() + "\nPort=1\n");
  TestContext t;
  RuntimeError e = Raised([&] { t.session.EnsureConnected(); });
  EXPECT_EQ(e.Number(), kErrFatalDatabase);
  EXPECT_EQ(e.Description().rfind("Error code: -1 in  Text is: '", 0), 0u) << e.Description();
  std::string inner = e.Description().substr(e.Description().find('\'') + 1);
  EXPECT_FALSE(inner.empty());
  EXPECT_EQ(inner, ToLower(inner));
  EXPECT_FALSE(t.session.IsConnected());
  EXPECT_FALSE(t.session.IsInitialized());
}

TEST(Session, EnsureConnectedTwiceConnectsOnce) {
  WorkFolder wf;
  TestDatabase db;
  TestDatabase::WriteDsn();
  TestContext t(db.Name());
  t.session.EnsureConnected();
  int16_t handle = t.session.Handle();
  int64_t trips = t.session.Library().RoundTrips();
  t.session.EnsureConnected();
  EXPECT_EQ(t.session.Handle(), handle);
  EXPECT_EQ(t.session.Library().RoundTrips(), trips);
}

TEST(Session, CommitIsSkippedWhenNeverConnected) {
  WorkFolder wf;  // no Kalu.dsn: a connection attempt would fail
  TestContext t;
  EXPECT_NO_THROW(t.session.Commit());
  EXPECT_NO_THROW(t.session.CommitAsync());
  EXPECT_FALSE(t.session.IsConnected());
}

TEST(Session, RejectedStatementsGiveTheSqlstateClass) {
  WorkFolder wf;
  TestDatabase db;
  TestDatabase::WriteDsn();
  TestContext t(db.Name());
  t.session.EnsureConnected();
  ZQData& lib = t.session.Library();
  // Each statement sent as it is, and as a cursor's prepared statement, whose preparation
  // and first execution travel together: a failure of either is the statement's.
  enum class Sent { Immediate, Prepared };
  struct Case {
    const char* sql;
    Sent sent;
    int32_t native;
    const char* sqlstate;
  } cases[] = {
      {"SELEC 1", Sent::Immediate, 42, "SQLSTATE 42601"},
      {"select 1; select 2", Sent::Immediate, 42, "SQLSTATE 42601"},  // one statement only
      {"INSERT INTO movimientos (movcve) VALUES (51)", Sent::Immediate, 23, "SQLSTATE 23505"},
      {"ALTER TABLE nowhere ADD COLUMN x smallint", Sent::Immediate, 42, "SQLSTATE 42P01"},
      {"SELEC 1", Sent::Prepared, 42, "SQLSTATE 42601"},
      {"SELECT movcve FROM nowhere", Sent::Prepared, 42, "SQLSTATE 42P01"},
      {"INSERT INTO movimientos (movcve) VALUES (51)", Sent::Prepared, 23, "SQLSTATE 23505"},
  };
  for (const auto& c : cases) {
    TestContext fresh(db.Name());
    fresh.session.EnsureConnected();
    ZQData& library = fresh.session.Library();
    const int64_t tripsBefore = library.RoundTrips();
    int16_t status = kDbOk;
    if (c.sent == Sent::Immediate) {
      status = library.ZQ_DB_ExecImm(fresh.session.Handle(), "T", c.sql);
    } else {
      int16_t stmt = 0;
      ASSERT_EQ(library.ZQ_DB_Declare_StmtEx(fresh.session.Handle(), "T", "PX", "", 1, stmt),
                kDbOk);
      ASSERT_EQ(library.ZQ_DB_Set_StmtCmdText(stmt, c.sql), kDbOk);
      status = library.ZQ_DB_StmtExecute(stmt);
      EXPECT_EQ(library.RoundTrips() - tripsBefore, 1) << c.sql;
    }
    DatabaseError e = RaisedByDatabase([&] { fresh.session.Require(status); });
    EXPECT_EQ(e.NativeCode(), c.native) << c.sql;
    EXPECT_NE(e.ErrorText().find(c.sqlstate), std::string::npos) << e.ErrorText();
    EXPECT_EQ("SQLSTATE " + e.SqlState(), c.sqlstate) << c.sql;
    EXPECT_EQ(e.Number(), kErrFatalDatabase);
    EXPECT_NE(e.Description().find(c.sqlstate), std::string::npos) << e.Description();
    EXPECT_FALSE(fresh.session.IsConnected());
  }
  (void)lib;
}

TEST(Session, SchemaChangesAlreadyInPlaceArePassedOver) {
  WorkFolder wf;
  TestDatabase db;
  TestDatabase::WriteDsn();
  TestContext t(db.Name());
  t.session.EnsureConnected();
  ZQData& lib = t.session.Library();
  const char* inPlace[] = {
      "ALTER TABLE clientes ADD COLUMN ctenom text",
      "CREATE TABLE estados (x int)",
      "DROP TABLE no_such_table",
      "DROP VIEW no_such_view CASCADE",
  };
  for (const char* sql : inPlace) {
    {
      Transaction probe(t.session);  // the server's own answer, undone
      EXPECT_EQ(lib.ZQ_DB_ExecImm(t.session.Handle(), "T", sql), kDbError) << sql;
      probe.Rollback();
    }
    EXPECT_NO_THROW(t.session.Execute("T", sql)) << sql;
  }
  // The transaction goes on: a later statement and the commit take effect, but for what a
  // part of it left uncommitted.
  {
    Transaction kept(t.session);
    t.session.Execute("T", "UPDATE estados SET edoalias = 'XX' WHERE edocve = 1");
    kept.Commit();
  }
  {
    Transaction undone(t.session);
    t.session.Execute("T", "UPDATE estados SET edoalias = 'YY' WHERE edocve = 2");
  }
  t.session.Commit();
  EXPECT_EQ(db.Value("select edoalias from estados where edocve = 1"), "XX ");
  EXPECT_NE(db.Value("select edoalias from estados where edocve = 2"), "YY ");
}

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

namespace kalu {
namespace {

TEST(Session, CommitOfAFailedTransactionIsAFailure) {
  test::WorkFolder wf;
  test::TestDatabase db;
  test::TestDatabase::WriteDsn();
  test::TestContext t(db.Name());
  t.session.EnsureConnected();
  ZQData& lib = t.session.Library();
  lib.ZQ_DB_ExecImm(t.session.Handle(), "T", "UPDATE estados SET edoalias = 'XX'");
  EXPECT_EQ(lib.ZQ_DB_ExecImm(t.session.Handle(), "T", "SELEC 1"), kDbError);
  DatabaseError e = RaisedByDatabase([&] { t.session.Commit(); });
  EXPECT_EQ(e.Number(), kErrFatalDatabase);
  EXPECT_EQ(e.NativeCode(), 40);
  EXPECT_EQ(db.Value("select count(*) from estados where edoalias = 'XX'"), "0");
}

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
}

}  // namespace
}  // namespace kalu
