// Table locks between two processes: exclusive and shared opens, record locks and concurrent
// appends, with tests/tools/dbf_peer as the other process, driven over pipes.
#if !defined(_WIN32)

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>

#include "platform/dbf/table.h"
#include "platform/dbf/workareas.h"
#include "tests/support/dbf_peer_process.h"

extern char** environ;

namespace platform::dbf {
namespace {

constexpr Ymd kToday{2026, 1, 5};

using testing_support::Peer;

class DbfLocksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "dbf_locks_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    table_ = dir_ / "shared.dbf";
    std::string error;
    ASSERT_TRUE(Table::create(table_, {{"TAG", 'C', 4, 0}, {"SEQ", 'N', 6, 0}}, kToday, &error))
        << error;
    auto t = open(Mode::kExclusive);
    ASSERT_NE(t, nullptr);
    for (int i = 1; i <= 3; ++i) {
      ASSERT_TRUE(t->append_blank());
      ASSERT_TRUE(t->put(1, "INIT"));
      ASSERT_TRUE(t->put_number(2, i));
    }
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::unique_ptr<Table> open(Mode mode, OpenStatus* status = nullptr) {
    OpenStatus ignored;
    std::string error;
    return Table::open(table_, mode, kToday, status ? status : &ignored, &error);
  }

  std::filesystem::path dir_;
  std::filesystem::path table_;
};

TEST_F(DbfLocksTest, ExclusiveOpenElsewhereKeepsEveryOpenOut) {
  Peer peer({table_.string(), "hold", "exclusive"});
  ASSERT_TRUE(peer.started());
  ASSERT_EQ(peer.line(), "ready");
  for (Mode mode : {Mode::kShared, Mode::kExclusive}) {
    OpenStatus status = OpenStatus::kOk;
    EXPECT_EQ(open(mode, &status), nullptr);
    EXPECT_EQ(status, OpenStatus::kConflict);
  }
  Workareas areas([] { return kToday; });
  EXPECT_FALSE(areas.use(table_, "t", Mode::kShared));
  EXPECT_TRUE(areas.net_err());
  EXPECT_FALSE(areas.used());

  EXPECT_EQ(peer.finish(), 0);  // the peer closes the table and ends
  EXPECT_NE(open(Mode::kExclusive), nullptr);
  EXPECT_TRUE(areas.use(table_, "t", Mode::kShared));
  EXPECT_FALSE(areas.net_err());
}

TEST_F(DbfLocksTest, SharedOpensMixWithSharedOnly) {
  {
    Peer peer({table_.string(), "hold", "shared"});
    ASSERT_EQ(peer.line(), "ready");
    OpenStatus status = OpenStatus::kOk;
    EXPECT_EQ(open(Mode::kExclusive, &status), nullptr);
    EXPECT_EQ(status, OpenStatus::kConflict);
    EXPECT_NE(open(Mode::kShared), nullptr);
  }
  // And the other way round: this process holds, the peer tries.
  auto mine = open(Mode::kShared);
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(Peer({table_.string(), "try-open", "exclusive"}).line(), "conflict");
  EXPECT_EQ(Peer({table_.string(), "try-open", "shared"}).line(), "ok");
  mine = open(Mode::kExclusive);
  EXPECT_EQ(mine, nullptr);  // the first one is still open while the second is made
  mine.reset();
  mine = open(Mode::kExclusive);
  ASSERT_NE(mine, nullptr);
  EXPECT_EQ(Peer({table_.string(), "try-open", "shared"}).line(), "conflict");
  mine.reset();
  EXPECT_EQ(Peer({table_.string(), "try-open", "exclusive"}).line(), "ok");
}

TEST_F(DbfLocksTest, RecordLockElsewhereMakesLockingFail) {
  Peer peer({table_.string(), "hold-record", "2"});
  ASSERT_EQ(peer.line(), "ready");
  auto t = open(Mode::kShared);
  ASSERT_NE(t, nullptr);
  t->go(2);
  EXPECT_FALSE(t->lock_record());
  EXPECT_NE(t->last_error().find("locked"), std::string::npos);
  EXPECT_FALSE(t->put(1, "LOST"));
  t->go(3);
  EXPECT_TRUE(t->lock_record());  // other records are free
  EXPECT_EQ(peer.finish(), 0);
  t->go(2);
  EXPECT_TRUE(t->lock_record());
  EXPECT_TRUE(t->put(1, "MINE"));

  // This process's lock keeps the peer out until it is released.
  EXPECT_EQ(Peer({table_.string(), "try-lock", "2"}).line(), "busy");
  EXPECT_EQ(Peer({table_.string(), "try-lock", "3"}).line(), "locked");  // released by lock 2
  t->unlock();
  EXPECT_EQ(Peer({table_.string(), "try-lock", "2"}).line(), "locked");
}

// Locks taken at the classic offsets by any other program are respected.
TEST_F(DbfLocksTest, ForeignLocksAtTheClassicOffsetsAreRespected) {
  auto t = open(Mode::kShared);
  ASSERT_NE(t, nullptr);
  Workareas areas([] { return kToday; });
  ASSERT_TRUE(areas.use(table_, "t", Mode::kShared));
  {
    Peer header({table_.string(), "hold-byte", "1000000000"});
    ASSERT_EQ(header.line(), "ready");
    EXPECT_FALSE(t->append_blank());  // someone else is appending
    EXPECT_EQ(t->reccount(), 3);
    EXPECT_FALSE(areas.append_blank());
    EXPECT_TRUE(areas.net_err());
    t->go(1);
    EXPECT_TRUE(t->lock_record());  // record locks are separate from the header lock
  }
  ASSERT_TRUE(areas.append_blank());
  EXPECT_FALSE(areas.net_err());
  EXPECT_EQ(areas.current()->recno(), 4);
  {
    Peer record({table_.string(), "hold-byte", "1000000002"});
    ASSERT_EQ(record.line(), "ready");
    t->go(2);
    EXPECT_FALSE(t->lock_record());
  }
  t->go(2);
  EXPECT_TRUE(t->lock_record());
  t.reset();
  areas.close_all();
  Peer mode({table_.string(), "hold-byte", std::to_string(0x7FFFFFFF)});
  ASSERT_EQ(mode.line(), "ready");
  OpenStatus status;
  EXPECT_EQ(open(Mode::kShared, &status), nullptr);
  EXPECT_EQ(status, OpenStatus::kConflict);
}

TEST_F(DbfLocksTest, LocksSurviveClosingAnotherOpenOfTheFile) {
  auto t = open(Mode::kShared);
  ASSERT_NE(t, nullptr);
  t->go(1);
  ASSERT_TRUE(t->lock_record());
  open(Mode::kShared).reset();  // classic fcntl locks would all be dropped here
  { std::ifstream(table_).get(); }
  EXPECT_EQ(Peer({table_.string(), "try-lock", "1"}).line(), "busy");
  EXPECT_EQ(Peer({table_.string(), "try-open", "exclusive"}).line(), "conflict");
}

// The lock bytes are the classic ones, so DOS-era programs on the same folder stay apart.
TEST_F(DbfLocksTest, LocksSitAtTheClassicOffsets) {
  auto held_as = [&](off_t offset) {
    int fd = ::open(table_.c_str(), O_RDWR | O_CLOEXEC);
    struct flock fl;
    std::memset(&fl, 0, sizeof fl);
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = offset;
    fl.l_len = 1;
    EXPECT_EQ(fcntl(fd, F_OFD_GETLK, &fl), 0);
    ::close(fd);
    return fl.l_type;
  };
  auto t = open(Mode::kShared);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(held_as(0x7FFFFFFF), F_RDLCK);
  t->go(3);
  ASSERT_TRUE(t->lock_record());
  EXPECT_EQ(held_as(1'000'000'003), F_WRLCK);
  EXPECT_EQ(held_as(1'000'000'002), F_UNLCK);
  EXPECT_EQ(held_as(1'000'000'000), F_UNLCK);  // the header lock is held only while appending
  t.reset();
  EXPECT_EQ(held_as(0x7FFFFFFF), F_UNLCK);
  t = open(Mode::kExclusive);
  EXPECT_EQ(held_as(0x7FFFFFFF), F_WRLCK);
}

TEST_F(DbfLocksTest, ConcurrentAppendsLoseNothing) {
  constexpr long kEach = 1000;
  Peer peer({table_.string(), "append", std::to_string(kEach), "PEER"});
  ASSERT_EQ(peer.line(), "ready");
  auto t = open(Mode::kShared);
  ASSERT_NE(t, nullptr);
  peer.send("go");
  for (long seq = 1; seq <= kEach; ++seq) {
    long attempts = 0;
    while (!t->append_blank()) {
      ASSERT_LT(++attempts, 50'000'000) << t->last_error();
      sched_yield();
    }
    ASSERT_TRUE(t->put("TAG", "MAIN"));
    ASSERT_TRUE(t->put_number(2, static_cast<double>(seq)));
    t->unlock();
  }
  ASSERT_TRUE(t->commit());
  EXPECT_EQ(peer.line(), "done");
  EXPECT_EQ(peer.finish(), 0);
  t.reset();

  t = open(Mode::kExclusive);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->reccount(), 3 + 2 * kEach);
  std::set<long> main_seqs, peer_seqs;
  for (t->go_top(); !t->eof(); t->skip()) {
    std::string tag = t->get(1);
    long seq = static_cast<long>(t->get_number(2));
    std::set<long>* seen = tag == "MAIN" ? &main_seqs : tag == "PEER" ? &peer_seqs : nullptr;
    if (seen) {
      EXPECT_TRUE(seen->insert(seq).second) << tag << " " << seq << " twice";
    } else {
      EXPECT_EQ(tag, "INIT") << "record " << t->recno();
    }
  }
  EXPECT_EQ(main_seqs.size(), static_cast<size_t>(kEach));
  EXPECT_EQ(peer_seqs.size(), static_cast<size_t>(kEach));
  t.reset();

  // An independent reader agrees, when there is one.
  if (std::system("/usr/bin/python3 -c 'import dbf' >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "/usr/bin/python3 cannot import dbf: independent read skipped";
  }
  std::string cmd =
      "/usr/bin/python3 -c \"import dbf,sys; t=dbf.Table(sys.argv[1]); t.open(); "
      "print(len(t), sum(1 for r in t if r.tag.strip() in ('MAIN','PEER')))\" " +
      table_.string();
  FILE* pipe = popen(cmd.c_str(), "r");
  char buffer[256] = {};
  size_t n = fread(buffer, 1, sizeof buffer - 1, pipe);
  pclose(pipe);
  EXPECT_EQ(std::string(buffer, n), "2003 2000\n");
}

}  // namespace
}  // namespace platform::dbf

#endif  // !_WIN32
