// NET_USE, REC_LOCK, ADD_REC and TWORZ: attempt schedules, messages and scratch tables.
#include <gtest/gtest.h>

#include "lib/tables/_fun3.h"
#include "lib/tables/locks.h"
#include "platform/keys.h"
#include "tests/support/dbf_peer_process.h"
#include "tests/support/test_runtime.h"

using namespace tables;
using platform::dbf::Mode;
using platform::dbf::Table;
using testing_support::TestRuntime;

namespace {

const char* kSpec = "firmajpk,KOD_US    ,C,  4,  0,REGON     ,C, 20,  0,X,C,1,0";

// Another holder of a table: an open of its own, which the OS locks keep apart from
// the runtime's opens as they keep two programs apart.
std::unique_ptr<Table> hold(TestRuntime& t, const std::string& name, Mode mode) {
  platform::dbf::OpenStatus status;
  std::string err;
  return Table::open(t.rt.files.resolve(name + ".dbf"), mode, t.rt.today(), &status, &err);
}

}  // namespace

TEST(Tworz, CreatesFromASpecStringAndRemovesTheScratchTable) {
  TestRuntime t;
  t.rt.tables.select(7);
  ASSERT_TRUE(TWORZ(t.rt, kSpec, true, 1));
  EXPECT_EQ(t.rt.tables.selected(), 7);
  EXPECT_FALSE(std::filesystem::exists(t.file("strukt01.dbf")));
  ASSERT_TRUE(NET_USE(t.rt, "firmajpk", "firmajpk", false, 1));
  auto* table = t.rt.tables.current();
  ASSERT_EQ(table->field_count(), 3);
  EXPECT_EQ(table->fields()[0].name, "KOD_US");
  EXPECT_EQ(table->fields()[1].length, 20);
  EXPECT_EQ(table->reccount(), 0);
}

TEST(Tworz, ATrailingCommaMakesNoDifference) {
  auto a = parse_table_spec("t,A,C,1,0,B,N,7,2");
  auto b = parse_table_spec("t,A,C,1,0,B,N,7,2,");
  ASSERT_EQ(a.fields.size(), 2u);
  ASSERT_EQ(b.fields.size(), 2u);
  EXPECT_EQ(b.fields[1].name, "B");
  EXPECT_EQ(b.fields[1].type, 'N');
  EXPECT_EQ(b.fields[1].length, 7);
  EXPECT_EQ(b.fields[1].decimals, 2);
}

TEST(Tworz, ReplacesAnExistingTableWithAnEmptyOne) {
  TestRuntime t;
  ASSERT_TRUE(TWORZ(t.rt, "old,A,C,5,0", true, 1));
  ASSERT_TRUE(NET_USE(t.rt, "old", "old", true, 1));
  ASSERT_TRUE(t.rt.tables.append_blank());
  t.rt.tables.close();
  ASSERT_TRUE(TWORZ(t.rt, "old,B,C,9,0,C,C,1,0", true, 1));
  ASSERT_TRUE(NET_USE(t.rt, "old", "old", true, 1));
  EXPECT_EQ(t.rt.tables.current()->reccount(), 0);
  EXPECT_EQ(t.rt.tables.current()->field_count(), 2);
}

TEST(Tworz, AStaleScratchTableIsErasedFirst) {
  TestRuntime t;
  testing_support::write_file(t.file("STRUKT01.DBF"), "left over by a crash");
  ASSERT_TRUE(TWORZ(t.rt, "t1,A,C,1,0", true, 1));
  EXPECT_TRUE(std::filesystem::exists(t.file("t1.dbf")));
  EXPECT_FALSE(std::filesystem::exists(t.file("STRUKT01.DBF")));
}

TEST(Tworz, WithoutANumberTheSecondsNameTheScratchTable) {
  TestRuntime t;  // the clock stands at 23:43:41
  ASSERT_TRUE(TWORZ(t.rt, "t2,A,C,1,0"));
  EXPECT_TRUE(std::filesystem::exists(t.file("t2.dbf")));
}

TEST(NetUse, ExclusiveOpenShowsItsMessageWhileTrying) {
  TestRuntime t;
  ASSERT_TRUE(TWORZ(t.rt, "firma,A,C,1,0", true, 1));
  auto holder = hold(t, "firma", Mode::kExclusive);
  ASSERT_NE(holder, nullptr);
  std::string seen;
  t.rt.screen.say(17, 40, "before");
  EXPECT_FALSE(NET_USE(t.rt, "firma", "firma", true, 3));
  EXPECT_EQ(t.term.timeouts(), 3);  // three attempts, a second's pause after each
  EXPECT_EQ(t.term.waited_ms(), 3000);
  EXPECT_NE(t.term.shown().text(17, 30, 43).find("Otwieram plik firma.dbf"), std::string::npos);
  EXPECT_EQ(t.rt.screen.text(17, 40, 6), "before");
  EXPECT_FALSE(t.rt.tables.used());
  EXPECT_TRUE(t.rt.tables.net_err());
}

TEST(NetUse, SharedOpensAndWorkTablesShowNothing) {
  TestRuntime t;
  std::filesystem::create_directories(t.file("rob"));
  ASSERT_TRUE(TWORZ(t.rt, "rob\\aa01,A,C,1,0", true, 1));
  ASSERT_TRUE(TWORZ(t.rt, "firmajpk,A,C,1,0", true, 1));
  ASSERT_TRUE(NET_USE(t.rt, "rob\\aa01", "aa", true, 20));
  t.rt.tables.select(2);
  ASSERT_TRUE(NET_USE(t.rt, "firmajpk", "firmajpk", false, 1));
  EXPECT_EQ(t.term.shown().text(17, 30, 43).find("Otwieram"), std::string::npos);
  EXPECT_EQ(t.rt.tables.alias(), "FIRMAJPK");
}

TEST(NetUse, TriesUntilTheHolderLetsGo) {
  TestRuntime t;
  ASSERT_TRUE(TWORZ(t.rt, "firma,A,C,1,0", true, 1));
  auto holder = hold(t, "firma", Mode::kExclusive);
  t.term.type_now(' ');  // a key shortens the first wait
  EXPECT_FALSE(NET_USE(t.rt, "firma", "firma", true, 2));
  EXPECT_EQ(t.term.timeouts(), 1);
  holder.reset();
  EXPECT_TRUE(NET_USE(t.rt, "firma", "firma", true, 2));
}

TEST(RecLock, SchedulesInHalfSecondSteps) {
  struct Case {
    double seconds;
    int waits;
  } cases[] = {{1, 2}, {5, 10}, {10, 20}};
  for (const auto& c : cases) {
    TestRuntime t;
    ASSERT_TRUE(TWORZ(t.rt, "firmajpk,A,C,1,0", true, 1));
    ASSERT_TRUE(NET_USE(t.rt, "firmajpk", "firmajpk", false, 1));
    ASSERT_TRUE(ADD_REC(t.rt, 1));
    t.rt.tables.current()->unlock();
    auto other = hold(t, "firmajpk", Mode::kShared);
    ASSERT_NE(other, nullptr);
    other->go_top();
    ASSERT_TRUE(other->lock_record());
    EXPECT_FALSE(REC_LOCK(t.rt, c.seconds));
    // 2 + 2s attempts: the first two back to back, a pause after each later one.
    EXPECT_EQ(t.term.timeouts(), c.waits) << c.seconds;
    other->unlock();
    EXPECT_TRUE(REC_LOCK(t.rt, c.seconds));
  }
}

TEST(AddRec, AppendsALockedBlankRecordInASharedTable) {
  TestRuntime t;
  ASSERT_TRUE(TWORZ(t.rt, "firmajpk,A,C,3,0", true, 1));
  ASSERT_TRUE(NET_USE(t.rt, "firmajpk", "firmajpk", false, 1));
  ASSERT_TRUE(ADD_REC(t.rt, 1));
  EXPECT_EQ(t.rt.tables.current()->reccount(), 1);
  EXPECT_EQ(t.rt.tables.current()->recno(), 1);
  EXPECT_EQ(t.rt.tables.current()->get(1), "   ");
  auto other = hold(t, "firmajpk", Mode::kShared);
  other->go_top();
  EXPECT_FALSE(other->lock_record());
}

TEST(NetUse, AnotherProcessHoldingTheTableExclusivelyMakesEveryAttemptFail) {
  TestRuntime t;
  ASSERT_TRUE(TWORZ(t.rt, "firma,A,C,1,0", true, 1));
  testing_support::Peer peer({t.file("firma.dbf").string(), "hold", "exclusive"});
  ASSERT_EQ(peer.line(), "ready");
  EXPECT_FALSE(NET_USE(t.rt, "firma", "firma", true, 4));
  EXPECT_EQ(t.term.timeouts(), 4);
  peer.finish();
  EXPECT_TRUE(NET_USE(t.rt, "firma", "firma", true, 4));
}

TEST(RecLock, ARecordLockedInAnotherProcessMakesThreeAttemptsInOneSecond) {
  TestRuntime t;
  ASSERT_TRUE(TWORZ(t.rt, "firmajpk,A,C,1,0", true, 1));
  ASSERT_TRUE(NET_USE(t.rt, "firmajpk", "firmajpk", false, 1));
  ASSERT_TRUE(ADD_REC(t.rt, 1));
  t.rt.tables.current()->unlock();
  testing_support::Peer peer({t.file("firmajpk.dbf").string(), "hold-record", "1"});
  ASSERT_EQ(peer.line(), "ready");
  EXPECT_FALSE(REC_LOCK(t.rt, 1));
  EXPECT_EQ(t.term.waited_ms(), 1000);  // two half-second pauses: three attempts
  peer.finish();
  EXPECT_TRUE(REC_LOCK(t.rt, 1));
}
