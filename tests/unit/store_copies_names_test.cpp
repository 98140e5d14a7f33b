// The names and comments by which the program knows the copies of a store and the failed
// databases a rollback sets aside, and the rights a copy and a rollback need.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "database/store_copies.h"

namespace kalu {
namespace {

using std::chrono::system_clock;

// 2026-12-07 04:10:05.123456 UTC.
Moment At() {
  std::tm utc{};
  utc.tm_year = 2026 - 1900;
  utc.tm_mon = 11;
  utc.tm_mday = 7;
  utc.tm_hour = 4;
  utc.tm_min = 10;
  utc.tm_sec = 5;
  return system_clock::from_time_t(timegm(&utc)) + std::chrono::microseconds(123456);
}

TEST(StoreCopyNames, NamesMomentsAndQuotes) {
  setenv("TZ", "CST6", 1);  // the local time of the names: UTC-6
  tzset();
  EXPECT_EQ(CopyName("kalu", "24.03.20", At()), "kalu_antes_24_03_20_20261206_221005");
  EXPECT_EQ(FailedName("kalu", At()), "kalu_fallida_20261206_221005");
  EXPECT_EQ(LocalText(At()), "2026-12-06 22:10:05");
  EXPECT_EQ(UtcText(At()), "2026-12-07T04:10:05.123456Z");
  EXPECT_EQ(FromUtcText(UtcText(At())), At());
  for (const char* bad : {"", "2026-12-07T04:10:05Z", "2026-12-07 04:10:05.123456Z",
                          "2026-12-07T04:10:05.12345xZ", "2026-12-07T04:10:05.123456+"}) {
    EXPECT_FALSE(FromUtcText(bad)) << bad;
  }
  EXPECT_EQ(QuotedName("kalu\"x"), "\"kalu\"\"x\"");
  EXPECT_EQ(QuotedText("d'Ávila"), "'d''Ávila'");
  unsetenv("TZ");
  tzset();
}

TEST(StoreCopyNames, CommentsTellWhatADatabaseIs) {
  KeptDatabase made;
  made.sourceOid = 16384;
  made.release = "24.03.20";
  made.moment = At();
  KeptDatabase copy =
      ReadComment("kalu_antes_24_03_20_20261206_221005", KeptKind::Copy, CopyComment(made));
  EXPECT_EQ(copy.kind, KeptKind::Copy);
  EXPECT_EQ(copy.sourceOid, 16384u);
  EXPECT_EQ(copy.release, "24.03.20");
  EXPECT_EQ(copy.moment, At());
  EXPECT_FALSE(copy.runFinished);
  EXPECT_FALSE(copy.runEnd);
  // How the run left the store, and what had changed before a later run, come back whole.
  made.runFinished = true;
  made.runEnd = RunEndMark{4294967301, {{16390, 20000}, {16402, 0}}};
  made.earlier = {{"clientes", 1}, {"ventas;2", 30}};
  KeptDatabase finished = ReadComment(copy.name, KeptKind::Copy, CopyComment(made));
  EXPECT_TRUE(finished.runFinished);
  ASSERT_TRUE(finished.runEnd);
  EXPECT_EQ(finished.runEnd->xid, 4294967301u);
  EXPECT_EQ(finished.runEnd->rows, made.runEnd->rows);
  ASSERT_EQ(finished.earlier.size(), 2u);
  EXPECT_EQ(finished.earlier[1].table, "ventas_2");
  EXPECT_EQ(finished.earlier[1].rows, 30);

  KeptDatabase failed = ReadComment("kalu_fallida_20261207_000000", KeptKind::Failed,
                                    FailedComment(copy, At() + std::chrono::hours(2)));
  EXPECT_EQ(failed.kind, KeptKind::Failed);
  EXPECT_EQ(failed.copy, copy.name);
  EXPECT_EQ(failed.copyMoment, At());
  EXPECT_EQ(failed.moment, At() + std::chrono::hours(2));

  // What the program did not write, or wrote only in part, is not a copy to count on.
  struct Case {
    const char* comment;
    KeptKind kind;
  };
  const Case cases[] = {
      {"", KeptKind::Incomplete},
      {"copia hecha a mano", KeptKind::Incomplete},
      {"kalu-upgrade copia; version=24.03.20; corrida=pendiente", KeptKind::Incomplete},
      {"kalu-upgrade copia; de=16384; hecha=ayer", KeptKind::Incomplete},
      {"kalu-upgrade copia; de=16384; hecha=2026-12-07T04:10:05.123456Z", KeptKind::Copy},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadComment("kalu_antes_x", KeptKind::Copy, c.comment).kind, c.kind) << c.comment;
  }
  EXPECT_EQ(ReadComment("kalu_fallida_x", KeptKind::Failed, "").kind, KeptKind::Failed);
}

TEST(StoreCopyNames, RightsToCopyAndToRename) {
  struct Case {
    bool superuser, createDb, ownerRights, isTemplate;
    bool copy, rename;
  };
  const Case cases[] = {
      {false, true, true, false, true, true},     // CREATEDB and the store's owner
      {false, false, true, false, false, false},  // the owner without CREATEDB
      {false, true, false, false, false, false},  // CREATEDB, another role's store
      {false, true, false, true, true, false},    // ... marked as a template
      {true, false, false, false, true, true},    // a superuser
  };
  for (const Case& c : cases) {
    StoreRights r;
    r.superuser = c.superuser;
    r.createDb = c.createDb;
    r.ownerRights = c.ownerRights;
    r.isTemplate = c.isTemplate;
    EXPECT_EQ(r.CanCopy(), c.copy) << c.superuser << c.createDb << c.ownerRights << c.isTemplate;
    EXPECT_EQ(r.CanRename(), c.rename) << c.superuser << c.createDb << c.ownerRights;
  }
}

}  // namespace
}  // namespace kalu
