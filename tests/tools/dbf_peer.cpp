// A second process for the table lock tests: opens, locks or appends to a table as told on
// its command line, reports on stdout ("ready", "ok", "conflict", ...) and waits on stdin.
//   dbf_peer TABLE hold shared|exclusive   open, say "ready", keep it open until stdin ends
//   dbf_peer TABLE hold-record N           open shared, lock record N, "ready", wait likewise
//   dbf_peer TABLE try-open shared|exclusive   say "ok" or "conflict" and exit
//   dbf_peer TABLE try-lock N              open shared, say "locked" or "busy" and exit
//   dbf_peer TABLE append N TAG            open shared, "ready", wait for a line, append N
//                                          records (TAG, SEQ 1..N) retrying, say "done"
//   dbf_peer TABLE hold-byte OFFSET        write-lock one byte as another dBase program
//                                          would, without the engine; "ready", wait
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/dbf/table.h"

namespace dbf = platform::dbf;

namespace {

constexpr dbf::Ymd kToday{2026, 1, 5};
constexpr long kMaxAttempts = 50'000'000;

void say(const std::string& line) {
  std::string out = line + "\n";
  if (::write(1, out.data(), out.size()) < 0) std::exit(3);
}

void wait_for_stdin_line_or_end() {
  char c;
  while (::read(0, &c, 1) == 1 && c != '\n') {
  }
}

void wait_for_stdin_end() {
  char buffer[64];
  while (::read(0, buffer, sizeof buffer) > 0) {
  }
}

dbf::Mode mode_of(const std::string& word) {
  return word == "exclusive" ? dbf::Mode::kExclusive : dbf::Mode::kShared;
}

std::unique_ptr<dbf::Table> open_or_report(const std::string& file, dbf::Mode mode) {
  dbf::OpenStatus status;
  std::string error;
  auto table = dbf::Table::open(file, mode, kToday, &status, &error);
  if (!table) say(status == dbf::OpenStatus::kConflict ? "conflict" : "fail " + error);
  return table;
}

int append(dbf::Table& table, long count, const std::string& tag) {
  say("ready");
  wait_for_stdin_line_or_end();
  for (long seq = 1; seq <= count; ++seq) {
    long attempts = 0;
    while (!table.append_blank()) {
      if (++attempts > kMaxAttempts) {
        say("fail " + table.last_error());
        return 1;
      }
      sched_yield();
    }
    if (!table.put("TAG", tag) || !table.put("SEQ", std::to_string(seq))) {
      say("fail " + table.last_error());
      return 1;
    }
    table.unlock();
  }
  if (!table.commit()) {
    say("fail " + table.last_error());
    return 1;
  }
  say("done");
  return 0;
}

int hold_byte(const std::string& file, long long offset) {
  int fd = ::open(file.c_str(), O_RDWR);
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = 1;
  if (fd < 0 || ::fcntl(fd, F_OFD_SETLK, &fl) != 0) {
    say(std::string("fail ") + std::strerror(errno));
    return 1;
  }
  say("ready");
  wait_for_stdin_end();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: dbf_peer TABLE COMMAND ARG...\n");
    return 2;
  }
  std::string file = argv[1], command = argv[2], arg = argv[3];
  if (command == "hold" || command == "try-open") {
    auto table = open_or_report(file, mode_of(arg));
    if (!table) return 0;
    say(command == "hold" ? "ready" : "ok");
    if (command == "hold") wait_for_stdin_end();
    return 0;
  }
  if (command == "hold-record" || command == "try-lock") {
    auto table = open_or_report(file, dbf::Mode::kShared);
    if (!table) return 1;
    table->go(std::atol(arg.c_str()));
    bool locked = table->lock_record();
    if (command == "try-lock") {
      say(locked ? "locked" : "busy");
      return 0;
    }
    if (!locked) {
      say("fail " + table->last_error());
      return 1;
    }
    say("ready");
    wait_for_stdin_end();
    return 0;
  }
  if (command == "hold-byte") return hold_byte(file, std::atoll(arg.c_str()));
  if (command == "append" && argc >= 5) {
    auto table = open_or_report(file, dbf::Mode::kShared);
    if (!table) return 1;
    return append(*table, std::atol(arg.c_str()), argv[4]);
  }
  std::fprintf(stderr, "dbf_peer: unknown command %s\n", command.c_str());
  return 2;
}
