// The database session against a real PostgreSQL: connection, the one way a failure is
// raised, the fatal text, immediate statements, commits and transactions.

#include <gtest/gtest.h>

#include "runtime/convert.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "support/test_support.h"

namespace kalu {
namespace {

using test::Raised;
using test::RaisedByDatabase;
using test::TestContext;
using test::TestDatabase;
using test::WorkFolder;

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

}  // namespace
}  // namespace kalu
