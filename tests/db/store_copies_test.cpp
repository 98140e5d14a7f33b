// The copies of a store database as the maintenance database sees them: made, listed,
// restored in the store's place and dropped; the sessions connected to the store and the
// rights of the store's role.

#include "database/store_copies.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>

#include "gen/sandbox.h"
#include "support/test_support.h"

namespace kalu {
namespace {

using std::chrono::system_clock;

gen::Sandbox Server() {
  return gen::Sandbox::In(test::SandboxDir());
}

// Whether `holds` comes true within two seconds.
bool Eventually(const std::function<bool()>& holds) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (!holds()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

TEST(StoreCopies, ACopyIsRestoredInTheStoresPlaceAndTheStoreKeptAside) {
  test::WorkFolder wf;
  test::TestDatabase::WriteDsn();
  test::TestDatabase db;
  const std::string before = db.Dump();
  StoreCopies copies(db.Name());
  const uint32_t oid = copies.StoreOid();
  ASSERT_NE(oid, 0u);
  EXPECT_FALSE(copies.NewestCopyOfStore());

  const auto made = system_clock::now();
  KeptDatabase copy = copies.MakeCopy("24.03.20", made);
  EXPECT_EQ(copy.name, CopyName(db.Name(), "24.03.20", made));
  EXPECT_GT(copy.bytes, 0);
  // Another copy in the same second takes the next free name.
  KeptDatabase second = copies.MakeCopy("24.03.20", made);
  EXPECT_EQ(second.name, copy.name + "_2");
  copies.Drop(second);
  db.UpgradeSchema();

  std::vector<KeptDatabase> kept = copies.Kept();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].name, copy.name);
  EXPECT_EQ(kept[0].kind, KeptKind::Copy);
  EXPECT_EQ(kept[0].sourceOid, oid);
  EXPECT_EQ(kept[0].release, "24.03.20");
  EXPECT_FALSE(kept[0].runFinished);
  const RunEndMark end = copies.MarkStore();
  copies.MarkRunFinished(copy, end);
  ASSERT_TRUE(copies.NewestCopyOfStore());
  EXPECT_TRUE(copies.NewestCopyOfStore()->runFinished);
  // A row removed after the run is business after it; reading is none.
  EXPECT_TRUE(copies.ChangesSince(end).empty());
  db.Exec("DELETE FROM estados WHERE edocve = (SELECT min(edocve) FROM estados)");
  const std::vector<LaterChange> later = copies.ChangesSince(end);
  ASSERT_EQ(later.size(), 1u);
  EXPECT_EQ(later[0].table, "estados");
  EXPECT_EQ(later[0].rows, 1);

  const std::string failed = copies.Restore(copy, system_clock::now());
  EXPECT_EQ(db.Dump(), before);
  EXPECT_NE(copies.StoreOid(), oid);
  // The store is now the copy: no copy was made of it.
  EXPECT_FALSE(copies.NewestCopyOfStore());
  kept = copies.Kept();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].name, failed);
  EXPECT_EQ(kept[0].kind, KeptKind::Failed);
  EXPECT_EQ(kept[0].copy, copy.name);
  EXPECT_TRUE(kept[0].copyMoment);
  EXPECT_GT(kept[0].bytes, 0);
  // The failed database is the upgraded one.
  EXPECT_EQ(gen::Connection(Server().ConnInfo(failed)).Exec("SELECT 'enviocfdi11'::regclass"), "");

  copies.Drop(kept[0]);
  EXPECT_TRUE(copies.Kept().empty());
}

TEST(StoreCopies, SessionsRightsAndWhatIsNotACopy) {
  test::WorkFolder wf;
  test::TestDatabase::WriteDsn();
  test::TestDatabase db;
  StoreCopies copies(db.Name());

  StoreRights rights = copies.Rights();
  EXPECT_EQ(rights.user, "zovizazir");
  EXPECT_EQ(rights.owner, "zovizazir");
  EXPECT_TRUE(rights.createDb && rights.ownerRights);
  EXPECT_TRUE(rights.CanCopy() && rights.CanRename());
  EXPECT_TRUE(copies.Files().serverLocal);  // a Unix socket
  EXPECT_TRUE(copies.Sessions().empty());

  {
    gen::Connection held(Server().ConnInfo(db.Name()) + " application_name='psql'");
    ASSERT_EQ(held.Error(), "");
    std::vector<DatabaseSession> sessions = copies.Sessions();
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0].application, "psql");
    EXPECT_EQ(sessions[0].user, "zovizazir");
    EXPECT_EQ(sessions[0].client, "");  // a Unix socket
    EXPECT_EQ(sessions[0].since.size(), 19u);
  }
  // A session closed ends on the server a moment later.
  EXPECT_TRUE(Eventually([&] { return copies.Sessions().empty(); }));

  // A session of this program is waited for, a few seconds at most.
  {
    gen::Connection lasting(Server().ConnInfo(db.Name()) + " application_name='kalu-upgrade'");
    EXPECT_FALSE(copies.WaitForOwnSessions(std::chrono::milliseconds(300)));
  }
  auto killed = std::make_unique<gen::Connection>(Server().ConnInfo(db.Name()) +
                                                  " application_name='kalu-upgrade'");
  std::thread ending([ending = std::move(killed)]() mutable {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ending.reset();
  });
  EXPECT_TRUE(copies.WaitForOwnSessions(std::chrono::seconds(5)));
  ending.join();

  // A database named as a copy without the program's comment is an incomplete copy: listed,
  // never restored.
  gen::Connection maintenance(Server().ConnInfo("postgres"));
  ASSERT_EQ(maintenance.Exec("CREATE DATABASE " + db.Name() + "_antes_rota"), "");
  std::vector<KeptDatabase> kept = copies.Kept();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].kind, KeptKind::Incomplete);
  EXPECT_FALSE(copies.NewestCopyOfStore());
}

}  // namespace
}  // namespace kalu
