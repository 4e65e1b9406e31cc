// Interoperability of the table engine with an independent dBase reader and writer, Debian's
// python3-dbf: tables written here are read there identically, and the other way round.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/dbf/table.h"

namespace platform::dbf {
namespace {

constexpr Ymd kToday{2026, 1, 5};
constexpr const char* kPython = "/usr/bin/python3";

const std::vector<FieldDef> kFields = {
    {"NAME", 'C', 12, 0}, {"AMOUNT", 'N', 12, 2}, {"QTY", 'N', 6, 0}, {"DAY", 'D', 8, 0}};

// The same rows are generated here and by the Python script below.
struct Row {
  std::string name_cp852, name_utf8;
  long cents;
  long qty;  // -1: blank
  int day;   // 0: blank, else day of January 2026
};

Row row(long i) {
  Row r;
  if (i % 7 == 0) {
    r.name_cp852 =
        "Za\xBE\xA2\x88\x86 \x9D\xA2"
        "d\xAB";  // Zażółć Łódź in code page 852
    r.name_utf8 = "Zażółć Łódź";
  } else {
    r.name_cp852 = r.name_utf8 = "n" + std::to_string(i);
  }
  r.cents = (i * 3737 % 10000000) * (i % 3 == 0 ? -1 : 1);
  r.qty = i % 5 == 0 ? -1 : i % 1000;
  r.day = i % 4 == 0 ? 0 : static_cast<int>(i % 28 + 1);
  return r;
}

const char* kRowsPython = R"(
def row(i):
    name = 'Zażółć Łódź' if i % 7 == 0 else 'n%d' % i
    cents = (i * 3737 % 10000000) * (-1 if i % 3 == 0 else 1)
    qty = None if i % 5 == 0 else i % 1000
    day = None if i % 4 == 0 else datetime.date(2026, 1, i % 28 + 1)
    return name, cents, qty, day
)";

// One line per record as the dump script prints it.
std::string dump_line(const Row& r) {
  std::string amount = (r.cents < 0 ? "-" : "") + std::to_string(std::labs(r.cents) / 100) + "." +
                       (std::labs(r.cents) % 100 < 10 ? "0" : "") +
                       std::to_string(std::labs(r.cents) % 100);
  char day[16] = "-";
  if (r.day) std::snprintf(day, sizeof day, "2026-01-%02d", r.day);
  return r.name_utf8 + "|" + amount + "|" + (r.qty < 0 ? "-" : std::to_string(r.qty)) + "|" + day;
}

const char* kDumpPython = R"(
import sys, dbf
sys.stdout.reconfigure(encoding='utf-8')
t = dbf.Table(sys.argv[1])
t.open(dbf.READ_ONLY)
print('count', len(t))
print('fields', ';'.join(t.structure()))
for r in t:
    if dbf.is_deleted(r):
        continue
    out = []
    for name in t.field_names:
        v = r[name]
        if v is None:
            out.append('-')
        elif isinstance(v, float):
            out.append('%.2f' % v)
        elif isinstance(v, str):
            out.append(v.rstrip())
        else:
            out.append(str(v))
    print('|'.join(out))
)";

class DbfInteropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string cmd = std::string(kPython) + " -c 'import dbf' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) {
      GTEST_SKIP() << kPython << " cannot import dbf (install Debian's python3-dbf)";
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "dbf_interop_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  // Runs a Python script with arguments; returns its standard output, stderr joined.
  std::string python(const std::string& script, const std::string& args, int* status) {
    std::filesystem::path file = dir_ / "script.py";
    std::ofstream(file) << "import datetime\n" << kRowsPython << script;
    std::string cmd = std::string(kPython) + " " + file.string() + " " + args + " 2>&1";
    FILE* pipe = popen(cmd.c_str(), "r");
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    int rc = pclose(pipe);
    *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
  }

  std::string dump(const std::filesystem::path& table) {
    int status;
    std::string out = python(kDumpPython, table.string(), &status);
    EXPECT_EQ(status, 0) << out;
    return out;
  }

  static std::string expected_dump(long first, long last, long skipped = 0) {
    std::string out = "count " + std::to_string(last - first + 1) +
                      "\nfields name C(12);amount N(12,2);qty N(6,0);day D\n";
    for (long i = first; i <= last; ++i) {
      if (i != skipped) out += dump_line(row(i)) + "\n";
    }
    return out;
  }

  static void fill(Table& t, long first, long last) {
    for (long i = first; i <= last; ++i) {
      Row r = row(i);
      ASSERT_TRUE(t.append_blank()) << t.last_error();
      ASSERT_TRUE(t.put("NAME", r.name_cp852));
      ASSERT_TRUE(t.put_number(2, r.cents / 100.0));
      if (r.qty >= 0) {
        ASSERT_TRUE(t.put_number(3, static_cast<double>(r.qty)));
      }
      if (r.day) {
        char day[16];
        std::snprintf(day, sizeof day, "202601%02d", r.day);
        ASSERT_TRUE(t.put("DAY", day));
      }
      t.unlock();
    }
  }

  std::filesystem::path dir_;
};

TEST_F(DbfInteropTest, TablesWrittenHereAreReadIdentically) {
  for (long count : {0L, 1L, 2500L}) {
    std::filesystem::path p = dir_ / ("engine" + std::to_string(count) + ".dbf");
    std::string error;
    ASSERT_TRUE(Table::create(p, kFields, kToday, &error)) << error;
    {
      OpenStatus status;
      auto t = Table::open(p, Mode::kExclusive, kToday, &status, &error);
      ASSERT_NE(t, nullptr) << error;
      fill(*t, 1, count);
    }
    EXPECT_EQ(dump(p), expected_dump(1, count)) << count << " records";
  }
}

TEST_F(DbfInteropTest, TablesWrittenByPythonAreReadHere) {
  const long kCount = 300;
  int status;
  std::string out = python(R"(
import sys, dbf
t = dbf.Table(sys.argv[1], 'name C(12); amount N(12,2); qty N(6,0); day D',
              dbf_type='db3', codepage='cp852')
t.open(dbf.READ_WRITE)
for i in range(1, int(sys.argv[2]) + 1):
    name, cents, qty, day = row(i)
    t.append((name, cents / 100.0, qty, day))
dbf.delete(t[2])
t.close()
)",
                           (dir_ / "py.dbf").string() + " " + std::to_string(kCount), &status);
  ASSERT_EQ(status, 0) << out;

  OpenStatus open_status;
  std::string error;
  auto t = Table::open(dir_ / "py.dbf", Mode::kShared, kToday, &open_status, &error);
  ASSERT_NE(t, nullptr) << error;
  EXPECT_EQ(t->fields(), kFields);
  EXPECT_EQ(t->reccount(), kCount);
  long seen = 0;
  for (t->go_top(); !t->eof(); t->skip()) {
    ++seen;
    long i = t->recno();
    ASSERT_NE(i, 3) << "deleted record shown";
    Row r = row(i);
    EXPECT_EQ(t->get("NAME"), r.name_cp852 + std::string(12 - r.name_cp852.size(), ' ')) << i;
    EXPECT_DOUBLE_EQ(t->get_number(2), r.cents / 100.0) << i;
    if (r.qty < 0) {
      EXPECT_EQ(t->get(3), "      ") << i;
    } else {
      EXPECT_EQ(t->get_number(3), r.qty) << i;
    }
    char day[16] = "        ";
    if (r.day) std::snprintf(day, sizeof day, "202601%02d", r.day);
    EXPECT_EQ(t->get_date(4), day) << i;
  }
  EXPECT_EQ(seen, kCount - 1);

  // Records added here to the foreign table are read there as well.
  t.reset();
  t = Table::open(dir_ / "py.dbf", Mode::kShared, kToday, &open_status, &error);
  ASSERT_NE(t, nullptr) << error;
  fill(*t, kCount + 1, kCount + 20);
  t.reset();
  EXPECT_EQ(dump(dir_ / "py.dbf"), expected_dump(1, kCount + 20, 3));
}

}  // namespace
}  // namespace platform::dbf
