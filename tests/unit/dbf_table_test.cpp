// Tests of the dBase III table engine inside one process: file layout, fields, navigation,
// buffered and shared appends, damaged files, copying, and the numbered table slots.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <set>

#include "platform/dbf/table.h"
#include "platform/dbf/workareas.h"

namespace platform::dbf {
namespace {

constexpr Ymd kToday{2026, 1, 5};

// NAME C 10, AMOUNT N 10.2, DAY D, QTY N 5: record length 1 + 10 + 10 + 8 + 5 = 34.
const std::vector<FieldDef> kFields = {
    {"NAME", 'C', 10, 0}, {"AMOUNT", 'N', 10, 2}, {"DAY", 'D', 8, 0}, {"QTY", 'N', 5, 0}};
constexpr size_t kHeaderLength = 32 + 32 * 4 + 1;
constexpr size_t kRecordLength = 34;

uint32_t u32_at(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes[at + i]);
  return v;
}

uint32_t u16_at(const std::string& bytes, size_t at) {
  return static_cast<uint8_t>(bytes[at]) | (static_cast<uint8_t>(bytes[at + 1]) << 8);
}

void set_u32(std::string& bytes, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void set_u16(std::string& bytes, size_t at, uint32_t v) {
  bytes[at] = static_cast<char>(v & 0xFF);
  bytes[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

class DbfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "dbf_table_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::filesystem::path file(const std::string& name) const { return dir_ / name; }

  static std::string read_bytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void write_bytes(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
  }

  std::unique_ptr<Table> open(const std::filesystem::path& p, Mode mode = Mode::kExclusive,
                              OpenStatus* status = nullptr, Ymd today = kToday) {
    OpenStatus ignored;
    std::string error;
    auto t = Table::open(p, mode, today, status ? status : &ignored, &error);
    last_open_error_ = error;
    return t;
  }

  // A table of kFields with one record per name; QTY holds the record's number.
  std::filesystem::path make_table(const std::string& name, const std::vector<std::string>& rows) {
    std::filesystem::path p = file(name);
    std::string error;
    EXPECT_TRUE(Table::create(p, kFields, kToday, &error)) << error;
    auto t = open(p);
    EXPECT_NE(t, nullptr) << last_open_error_;
    for (size_t i = 0; i < rows.size(); ++i) {
      EXPECT_TRUE(t->append_blank());
      EXPECT_TRUE(t->put("NAME", rows[i]));
      EXPECT_TRUE(t->put_number(4, static_cast<double>(i + 1)));
    }
    EXPECT_TRUE(t->commit()) << t->last_error();
    return p;
  }

  // Marks records deleted directly in the file, as another program would.
  static void mark_deleted(const std::filesystem::path& p, std::initializer_list<long> recnos) {
    std::string bytes = read_bytes(p);
    for (long n : recnos) bytes[kHeaderLength + (n - 1) * kRecordLength] = '*';
    write_bytes(p, bytes);
  }

  std::filesystem::path dir_;
  std::string last_open_error_;
};

// ---- Creating tables ----

TEST_F(DbfTest, CreateWritesThePublishedLayout) {
  std::string error;
  ASSERT_TRUE(Table::create(file("t.dbf"), kFields, kToday, &error)) << error;
  std::string b = read_bytes(file("t.dbf"));
  ASSERT_EQ(b.size(), kHeaderLength + 1);
  EXPECT_EQ(static_cast<uint8_t>(b[0]), 0x03);
  EXPECT_EQ(static_cast<uint8_t>(b[1]), 126);  // years since 1900
  EXPECT_EQ(b[2], 1);
  EXPECT_EQ(b[3], 5);
  EXPECT_EQ(u32_at(b, 4), 0u);
  EXPECT_EQ(u16_at(b, 8), kHeaderLength);
  EXPECT_EQ(u16_at(b, 10), kRecordLength);
  const char* names[] = {"NAME", "AMOUNT", "DAY", "QTY"};
  for (size_t i = 0; i < 4; ++i) {
    std::string d = b.substr(32 + 32 * i, 32);
    EXPECT_EQ(d.substr(0, 11), std::string(names[i]) + std::string(11 - strlen(names[i]), '\0'));
    EXPECT_EQ(d[11], kFields[i].type);
    EXPECT_EQ(d[16], kFields[i].length);
    EXPECT_EQ(d[17], kFields[i].decimals);
  }
  EXPECT_EQ(b[kHeaderLength - 1], 0x0D);
  EXPECT_EQ(b[kHeaderLength], 0x1A);
}

TEST_F(DbfTest, CreateNormalisesNamesAndTypes) {
  std::string error;
  ASSERT_TRUE(Table::create(
      file("t"), {{" name  ", 'c', 5, 3}, {"longfieldname", 'N', 4, 0}, {"d", 'd', 3, 2}}, kToday,
      &error))
      << error;
  auto t = open(file("t.dbf"));
  ASSERT_NE(t, nullptr) << last_open_error_;
  std::vector<FieldDef> expected = {
      {"NAME", 'C', 5, 0}, {"LONGFIELDN", 'N', 4, 0}, {"D", 'D', 8, 0}};
  EXPECT_EQ(t->fields(), expected);
  EXPECT_EQ(t->field_count(), 3);
  EXPECT_EQ(t->field_name(2), "LONGFIELDN");
  EXPECT_EQ(t->field_name(4), "");
}

TEST_F(DbfTest, CreateRefusesBadDefinitions) {
  struct Case {
    const char* what;
    std::vector<FieldDef> fields;
  };
  const Case cases[] = {
      {"no fields", {}},
      {"empty name", {{"  ", 'C', 5, 0}}},
      {"blank inside name", {{"A B", 'C', 5, 0}}},
      {"name starts with digit", {{"1A", 'C', 5, 0}}},
      {"duplicate", {{"A", 'C', 5, 0}, {"a", 'N', 3, 0}}},
      {"duplicate after cut to 10", {{"ABCDEFGHIJ1", 'C', 1, 0}, {"ABCDEFGHIJ2", 'C', 1, 0}}},
      {"unknown type", {{"A", 'X', 5, 0}}},
      {"memo type", {{"A", 'M', 10, 0}}},
      {"C length 0", {{"A", 'C', 0, 0}}},
      {"C length 255", {{"A", 'C', 255, 0}}},
      {"N length 20", {{"A", 'N', 20, 0}}},
      {"N decimals do not fit", {{"A", 'N', 4, 3}}},
      {"negative length", {{"A", 'C', -1, 0}}},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(Table::create(file("bad.dbf"), c.fields, kToday, &error)) << c.what;
    EXPECT_NE(error.find("bad.dbf"), std::string::npos) << c.what << ": " << error;
    EXPECT_FALSE(std::filesystem::exists(file("bad.dbf"))) << c.what;
  }
}

TEST_F(DbfTest, CreateReplacesAnExistingTable) {
  std::filesystem::path p = make_table("t.dbf", {"a", "b"});
  std::string error;
  ASSERT_TRUE(Table::create(p, {{"OTHER", 'C', 3, 0}}, kToday, &error)) << error;
  auto t = open(p);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->reccount(), 0);
  EXPECT_EQ(t->field_pos("OTHER"), 1);
  EXPECT_EQ(read_bytes(p).size(), 32u + 32 + 1 + 1);
}

TEST_F(DbfTest, CreateFailsClearly) {
  std::string error;
  EXPECT_FALSE(Table::create(file("nofolder/t.dbf"), kFields, kToday, &error));
  EXPECT_NE(error.find("nofolder"), std::string::npos) << error;

  // A table open elsewhere is not pulled away from under its user.
  std::filesystem::path p = make_table("busy.dbf", {"keep"});
  auto holder = open(p, Mode::kShared);
  ASSERT_NE(holder, nullptr);
  error.clear();
  EXPECT_FALSE(Table::create(p, kFields, kToday, &error));
  EXPECT_NE(error.find("in use"), std::string::npos) << error;
  holder.reset();
  auto t = open(p);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->reccount(), 1);
}

TEST_F(DbfTest, NamesWithoutExtensionGetDbf) {
  std::string error;
  ASSERT_TRUE(Table::create(file("plain"), kFields, kToday, &error)) << error;
  EXPECT_TRUE(std::filesystem::exists(file("plain.dbf")));
  auto t = open(file("plain"));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->path(), file("plain.dbf"));
  EXPECT_EQ(table_file_name("a/b.DBF"), std::filesystem::path("a/b.DBF"));
}

// ---- Fields ----

TEST_F(DbfTest, FieldsRoundTripThroughTheFile) {
  std::filesystem::path p = file("t.dbf");
  ASSERT_TRUE(Table::create(p, kFields, kToday, nullptr));
  {
    auto t = open(p);
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(t->append_blank());
    EXPECT_EQ(t->recno(), 1);
    EXPECT_TRUE(t->put("name", "Za\xBE\xA2\x88\x86"));  // CP852 bytes are kept as they are
    EXPECT_TRUE(t->put_number(2, -1234.5));
    EXPECT_TRUE(t->put("DAY", "20260105"));
    EXPECT_TRUE(t->put("Qty", "42"));
    ASSERT_TRUE(t->append_blank());
    EXPECT_TRUE(t->put(1, "second"));
  }
  auto t = open(p);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->reccount(), 2);
  EXPECT_EQ(t->get("NAME"), "Za\xBE\xA2\x88\x86    ");
  EXPECT_EQ(t->get("amount"), "  -1234.50");
  EXPECT_DOUBLE_EQ(t->get_number(2), -1234.5);
  EXPECT_EQ(t->get_date(3), "20260105");
  EXPECT_EQ(t->get(4), "   42");
  EXPECT_EQ(t->get("NOSUCH"), "");
  EXPECT_EQ(t->get(0), "");
  EXPECT_EQ(t->get(5), "");
  t->skip();
  EXPECT_EQ(t->get(1), "second    ");
  EXPECT_EQ(t->get(2), std::string(10, ' '));
  EXPECT_EQ(t->get_number(2), 0);
  EXPECT_EQ(t->get_date(3), "        ");
  EXPECT_EQ(t->get_date(1), "");  // not a date field
}

TEST_F(DbfTest, PutFollowsTheFieldType) {
  struct Case {
    const char* field;
    std::string value;
    std::string stored;
    bool ok;
  };
  const Case cases[] = {
      {"NAME", "ABCDEFGHIJKLMN", "ABCDEFGHIJ", true},  // cut to width
      {"NAME", " x", " x        ", true},              // leading blanks kept
      {"AMOUNT", "12.5", "      12.5", true},          // right-aligned
      {"QTY", "  7 ", "    7", true},
      {"QTY", "", "     ", true},
      {"QTY", "123456", "*****", false},  // does not fit: overflow marks
      {"DAY", "20260105", "20260105", true},
      {"DAY", "", "        ", true},
      {"DAY", "2026-01-05", "19991231", false},  // refused, value kept
      {"DAY", "2026010", "19991231", false},
  };
  std::filesystem::path p = file("t.dbf");
  ASSERT_TRUE(Table::create(p, kFields, kToday, nullptr));
  auto t = open(p);
  ASSERT_NE(t, nullptr);
  ASSERT_TRUE(t->append_blank());
  for (const Case& c : cases) {
    ASSERT_TRUE(t->put("DAY", "19991231"));
    EXPECT_EQ(t->put(c.field, c.value), c.ok) << c.field << " <- " << c.value;
    EXPECT_EQ(t->get(c.field), c.stored) << c.field << " <- " << c.value;
  }
  EXPECT_FALSE(t->put("NOSUCH", "x"));
  EXPECT_FALSE(t->put(9, "x"));
}

TEST_F(DbfTest, NumbersAreRoundedToTheDecimals) {
  struct Case {
    int pos;
    double value;
    std::string stored;
    bool ok;
  };
  const Case cases[] = {
      {2, 12.5, "     12.50", true},
      {2, -3.256, "     -3.26", true},
      {2, 0.005, "      0.01", true},
      {2, -0.001, "      0.00", true},
      {2, 1234567.891, "1234567.89", true},
      {2, 12345678.0, "**********", false},
      {4, 42, "   42", true},
      {4, 41.5, "   42", true},
      {4, -9999, "-9999", true},
      {4, 100000, "*****", false},
  };
  std::filesystem::path p = file("t.dbf");
  ASSERT_TRUE(Table::create(p, kFields, kToday, nullptr));
  auto t = open(p);
  ASSERT_NE(t, nullptr);
  ASSERT_TRUE(t->append_blank());
  for (const Case& c : cases) {
    EXPECT_EQ(t->put_number(c.pos, c.value), c.ok) << c.value;
    EXPECT_EQ(t->get(c.pos), c.stored) << c.value;
  }
  EXPECT_FALSE(t->put_number(1, 5));  // not a numeric field
  EXPECT_FALSE(t->put_number(2, std::nan("")));
  ASSERT_TRUE(t->put(2, "  +7.25"));
  EXPECT_DOUBLE_EQ(t->get_number(2), 7.25);
  ASSERT_TRUE(t->put(1, "3.5 kg"));
  EXPECT_DOUBLE_EQ(t->get_number(1), 3.5);  // leading number of any text
}

// ---- Navigation ----

TEST_F(DbfTest, EmptyTableIsAtEndAndBeginning) {
  std::filesystem::path p = file("t.dbf");
  ASSERT_TRUE(Table::create(p, kFields, kToday, nullptr));
  auto t = open(p);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->reccount(), 0);
  EXPECT_TRUE(t->eof());
  EXPECT_TRUE(t->bof());
  EXPECT_EQ(t->recno(), 1);
  t->go_top();
  EXPECT_TRUE(t->eof());
  EXPECT_TRUE(t->bof());
  t->skip();
  t->skip(-1);
  t->go_bottom();
  EXPECT_TRUE(t->eof());
  EXPECT_EQ(t->recno(), 1);
  EXPECT_EQ(t->get(1), std::string(10, ' '));
  EXPECT_FALSE(t->put(1, "x"));
}

TEST_F(DbfTest, NavigationMovesAndStops) {
  auto t = open(make_table("t.dbf", {"one", "two", "three"}));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->recno(), 1);
  EXPECT_FALSE(t->eof());
  EXPECT_FALSE(t->bof());
  t->skip();
  EXPECT_EQ(t->get(1), "two       ");
  t->skip(2);
  EXPECT_TRUE(t->eof());
  EXPECT_EQ(t->recno(), 4);
  EXPECT_EQ(t->get(1), std::string(10, ' '));
  t->skip();
  EXPECT_EQ(t->recno(), 4);
  t->skip(-1);  // from the end: the last record
  EXPECT_EQ(t->recno(), 3);
  t->skip(-5);
  EXPECT_TRUE(t->bof());
  EXPECT_EQ(t->recno(), 1);
  EXPECT_EQ(t->get(1), "one       ");
  t->skip(0);
  EXPECT_FALSE(t->bof());
  t->go_bottom();
  EXPECT_EQ(t->recno(), 3);
  t->go(2);
  EXPECT_EQ(t->get(1), "two       ");
  for (long out_of_range : {0L, -1L, 4L, 99L}) {
    t->go(out_of_range);
    EXPECT_TRUE(t->eof()) << out_of_range;
    EXPECT_EQ(t->recno(), 4) << out_of_range;
  }
}

TEST_F(DbfTest, DeletedRecordsArePassedOver) {
  std::filesystem::path p = make_table("t.dbf", {"r1", "r2", "r3", "r4"});
  mark_deleted(p, {1, 3});
  auto t = open(p);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->reccount(), 4);
  EXPECT_EQ(t->recno(), 2);
  t->skip();
  EXPECT_EQ(t->recno(), 4);
  t->skip();
  EXPECT_TRUE(t->eof());
  t->go_bottom();
  EXPECT_EQ(t->recno(), 4);
  t->skip(-1);
  EXPECT_EQ(t->recno(), 2);
  t->skip(-1);
  EXPECT_TRUE(t->bof());
  EXPECT_EQ(t->recno(), 2);
  t->go(3);  // a direct go reaches a deleted record, and says so
  EXPECT_EQ(t->recno(), 3);
  EXPECT_TRUE(t->deleted());

  t.reset();
  mark_deleted(p, {2, 4});
  t = open(p);
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(t->eof());
  EXPECT_TRUE(t->bof());
  t->go_bottom();
  EXPECT_TRUE(t->eof());
}

// ---- Appending ----

TEST_F(DbfTest, BufferedAppendsKeepTheFileReadable) {
  constexpr long kRecords = 20000;  // many times the append and read buffers
  std::filesystem::path p = file("big.dbf");
  ASSERT_TRUE(Table::create(p, kFields, kToday, nullptr));
  Ymd later{2027, 2, 3};
  auto t = open(p, Mode::kExclusive, nullptr, later);
  ASSERT_NE(t, nullptr);
  for (long n = 1; n <= kRecords; ++n) {
    ASSERT_TRUE(t->append_blank());
    ASSERT_TRUE(t->put_number(4, static_cast<double>(n % 100000)));
    ASSERT_TRUE(t->put(1, "row" + std::to_string(n)));
    if (n % 4999 == 0) {
      // Whatever is on disk meanwhile is a complete table: the count never runs ahead.
      std::string b = read_bytes(p);
      uint32_t on_disk = u32_at(b, 4);
      EXPECT_LE(kHeaderLength + on_disk * kRecordLength + 1, b.size()) << n;
      EXPECT_EQ(b[kHeaderLength + on_disk * kRecordLength], 0x1A) << n;
      EXPECT_GT(on_disk, 0u);
    }
  }
  EXPECT_EQ(t->reccount(), kRecords);
  ASSERT_TRUE(t->commit());
  std::string b = read_bytes(p);
  EXPECT_EQ(u32_at(b, 4), static_cast<uint32_t>(kRecords));
  EXPECT_EQ(b.size(), kHeaderLength + kRecords * kRecordLength + 1);
  EXPECT_EQ(b.back(), 0x1A);
  EXPECT_EQ(static_cast<uint8_t>(b[1]), 127);
  EXPECT_EQ(b[2], 2);
  EXPECT_EQ(b[3], 3);

  // Navigation alone brings the count on disk up to date as well.
  ASSERT_TRUE(t->append_blank());
  ASSERT_TRUE(t->put(1, "extra"));
  t->go_top();
  EXPECT_EQ(u32_at(read_bytes(p), 4), static_cast<uint32_t>(kRecords + 1));

  // Sequential reading forward and backward across the read-ahead windows.
  long n = 0;
  for (t->go_top(); !t->eof(); t->skip()) {
    ++n;
    ASSERT_EQ(t->recno(), n);
    std::string name = "row" + std::to_string(n);
    if (n <= kRecords) {
      ASSERT_EQ(t->get(1), name + std::string(10 - name.size(), ' '));
    }
  }
  EXPECT_EQ(n, kRecords + 1);
  for (t->go_bottom(); !t->bof(); t->skip(-1)) {
    ASSERT_EQ(t->recno(), n);
    if (n <= kRecords) {
      ASSERT_EQ(t->get_number(4), static_cast<double>(n));
    }
    --n;
  }
  EXPECT_EQ(n, 0);
}

TEST_F(DbfTest, AppendRecordStoresWholeRecordsInBothModes) {
  // NAME, AMOUNT, DAY, QTY as the record holds them, without the deletion flag.
  const auto fields = [](long n) {
    std::string name = "r" + std::to_string(n), qty = std::to_string(n % 100000);
    return name + std::string(10 - name.size(), ' ') + "      1.50" + "20261211" +
           std::string(5 - qty.size(), ' ') + qty;
  };
  for (Mode mode : {Mode::kExclusive, Mode::kShared}) {
    std::filesystem::path p = file(mode == Mode::kShared ? "shared.dbf" : "exclusive.dbf");
    ASSERT_TRUE(Table::create(p, kFields, kToday, nullptr));
    constexpr long kRecords = 5000;  // several times the append buffer
    {
      auto t = open(p, mode);
      ASSERT_NE(t, nullptr);
      EXPECT_FALSE(t->append_record("too short"));
      EXPECT_EQ(t->reccount(), 0);
      for (long n = 1; n <= (mode == Mode::kShared ? 3 : kRecords); ++n) {
        ASSERT_TRUE(t->append_record(fields(n))) << t->last_error();
        ASSERT_EQ(t->recno(), n);
        ASSERT_EQ(t->get(1), fields(n).substr(0, 10));  // the new record is current
        ASSERT_EQ(t->is_locked(), true);
      }
      // Changed after the append, like any record.
      ASSERT_TRUE(t->put("NAME", "changed"));
      ASSERT_TRUE(t->commit()) << t->last_error();
    }
    auto t = open(p);
    ASSERT_NE(t, nullptr);
    const long count = mode == Mode::kShared ? 3 : kRecords;
    ASSERT_EQ(t->reccount(), count);
    for (long n : {1L, 2L, count / 2, count - 1}) {
      t->go(n);
      EXPECT_EQ(t->get(1), fields(n).substr(0, 10)) << n;
      EXPECT_EQ(t->get_number(4), static_cast<double>(n)) << n;
      EXPECT_EQ(t->get_date(3), "20261211");
      EXPECT_FALSE(t->deleted());
    }
    t->go(count);
    EXPECT_EQ(t->get(1), "changed   ");
  }
}

TEST_F(DbfTest, ChangesToEarlierRecordsReachTheFile) {
  std::filesystem::path p = make_table("t.dbf", {"a", "b", "c"});
  {
    auto t = open(p);
    ASSERT_NE(t, nullptr);
    t->go(2);
    ASSERT_TRUE(t->put(1, "changed"));
    t->go(1);  // read-ahead window covers record 2: it must see the change
    t->skip();
    EXPECT_EQ(t->get(1), "changed   ");
    t->go(3);
    ASSERT_TRUE(t->put(1, "last"));
  }  // closing writes the pending change
  auto t = open(p);
  t->go(3);
  EXPECT_EQ(t->get(1), "last      ");
}

TEST_F(DbfTest, SharedAppendsWriteTheCountAtOnce) {
  std::filesystem::path p = make_table("t.dbf", {"a"});
  auto t = open(p, Mode::kShared);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->mode(), Mode::kShared);
  EXPECT_FALSE(t->put(1, "x"));  // not locked
  EXPECT_NE(t->last_error().find("not locked"), std::string::npos) << t->last_error();
  ASSERT_TRUE(t->append_blank());
  EXPECT_EQ(t->recno(), 2);
  EXPECT_TRUE(t->is_locked());
  std::string b = read_bytes(p);
  EXPECT_EQ(u32_at(b, 4), 2u);
  EXPECT_EQ(b.size(), kHeaderLength + 2 * kRecordLength + 1);
  EXPECT_EQ(b.back(), 0x1A);
  ASSERT_TRUE(t->put(1, "new"));
  t->unlock();  // the change is written before the lock goes
  EXPECT_EQ(read_bytes(p).substr(kHeaderLength + kRecordLength + 1, 3), "new");
  EXPECT_FALSE(t->is_locked());
  EXPECT_FALSE(t->put(1, "y"));
  ASSERT_TRUE(t->lock_record());
  EXPECT_TRUE(t->put(1, "y"));
  t->go(t->reccount() + 1);
  EXPECT_FALSE(t->lock_record());  // no record at end of file
}

TEST_F(DbfTest, SharedTableSeesRecordsAppendedByAnotherOpen) {
  std::filesystem::path p = make_table("t.dbf", {"a"});
  auto reader = open(p, Mode::kShared);
  auto writer = open(p, Mode::kShared);
  ASSERT_NE(reader, nullptr);
  ASSERT_NE(writer, nullptr);
  ASSERT_TRUE(writer->append_blank());
  ASSERT_TRUE(writer->put(1, "from other"));
  writer->unlock();
  reader->skip();  // past the last record it knew: the count is read again
  EXPECT_FALSE(reader->eof());
  EXPECT_EQ(reader->get(1), "from other");
  EXPECT_EQ(reader->reccount(), 2);
  // The record lock of one open keeps the other out.
  ASSERT_TRUE(writer->lock_record());
  EXPECT_FALSE(reader->lock_record());
  writer->unlock();
  EXPECT_TRUE(reader->lock_record());
}

TEST_F(DbfTest, ExclusiveLocksAlwaysSucceed) {
  auto t = open(make_table("t.dbf", {"a"}));
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(t->lock_record());
  EXPECT_TRUE(t->is_locked());
  t->unlock();
  EXPECT_TRUE(t->put(1, "still"));
}

// ---- Damaged and foreign files ----

TEST_F(DbfTest, OpenToleratesSizeAndCountDisagreeing) {
  std::filesystem::path p = make_table("t.dbf", {"r1", "r2", "r3"});
  const std::string good = read_bytes(p);
  struct Case {
    const char* what;
    std::string bytes;
    long records;
  };
  std::string count_ahead = good;
  set_u32(count_ahead, 4, 7);
  std::string cut_mid_record = good.substr(0, kHeaderLength + 2 * kRecordLength + 10);
  std::string no_eof_byte = good.substr(0, good.size() - 1);
  std::string junk_after = good + std::string(100, 'x');
  std::string count_behind = good;
  set_u32(count_behind, 4, 2);
  std::string header_only = good.substr(0, kHeaderLength);
  const Case cases[] = {
      {"count ahead of records", count_ahead, 3}, {"cut inside record 3", cut_mid_record, 2},
      {"no end-of-file byte", no_eof_byte, 3},    {"junk after the end", junk_after, 3},
      {"count behind records", count_behind, 2},  {"header only", header_only, 0},
  };
  for (const Case& c : cases) {
    write_bytes(p, c.bytes);
    OpenStatus status;
    auto t = open(p, Mode::kShared, &status);
    ASSERT_NE(t, nullptr) << c.what << ": " << last_open_error_;
    EXPECT_EQ(status, OpenStatus::kOk);
    EXPECT_EQ(t->reccount(), c.records) << c.what;
    long seen = 0;
    for (t->go_top(); !t->eof(); t->skip()) {
      ++seen;
      EXPECT_EQ(t->get(1), "r" + std::to_string(seen) + "        ") << c.what;
    }
    EXPECT_EQ(seen, c.records) << c.what;
  }
}

TEST_F(DbfTest, AppendAfterACrashContinuesWhereTheRecordsEnd) {
  std::filesystem::path p = make_table("t.dbf", {"r1", "r2", "r3"});
  std::string b = read_bytes(p);
  b = b.substr(0, kHeaderLength + 2 * kRecordLength + 10);  // third record half written
  write_bytes(p, b);
  for (Mode mode : {Mode::kExclusive, Mode::kShared}) {
    auto t = open(p, mode);
    ASSERT_NE(t, nullptr);
    long before = t->reccount();
    ASSERT_TRUE(t->append_blank());
    ASSERT_TRUE(t->put(1, "again"));
    ASSERT_TRUE(t->commit());
    t.reset();
    b = read_bytes(p);
    EXPECT_EQ(u32_at(b, 4), static_cast<uint32_t>(before + 1));
    EXPECT_EQ(b.substr(kHeaderLength + before * kRecordLength, 6), " again");
    EXPECT_EQ(b[kHeaderLength + (before + 1) * kRecordLength], 0x1A);
  }
}

TEST_F(DbfTest, OpenRefusesCorruptHeaders) {
  std::filesystem::path p = make_table("t.dbf", {"r1"});
  const std::string good = read_bytes(p);
  auto patched = [&](size_t at, char value) {
    std::string b = good;
    b[at] = value;
    return b;
  };
  auto with_u16 = [&](size_t at, uint32_t value) {
    std::string b = good;
    set_u16(b, at, value);
    return b;
  };
  std::string no_fields = good.substr(0, 32) + "\x0D";
  set_u16(no_fields, 8, 33);
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;
  };
  const Case cases[] = {
      {"empty file", "", "truncated"},
      {"20 bytes", good.substr(0, 20), "truncated"},
      {"dBase IV memo version", patched(0, static_cast<char>(0x8B)), "version"},
      {"FoxPro version", patched(0, 0x30), "version"},
      {"record length too long", with_u16(10, kRecordLength + 1), "record length"},
      {"record length too short", with_u16(10, kRecordLength - 1), "record length"},
      {"header length one field more", with_u16(8, kHeaderLength + 32), "header length"},
      {"header length one field less", with_u16(8, kHeaderLength - 32), "terminator"},
      {"header length zero", with_u16(8, 0), "header length"},
      {"no fields", no_fields, "no fields"},
      {"header cut inside descriptors", good.substr(0, 80), "truncated"},
      {"memo field type", patched(32 + 11, 'M'), "type"},
      {"field length zero", patched(32 + 16, 0), "length"},
      {"no terminator", patched(kHeaderLength - 1, ' '), "terminator"},
  };
  for (const Case& c : cases) {
    write_bytes(p, c.bytes);
    OpenStatus status = OpenStatus::kOk;
    EXPECT_EQ(open(p, Mode::kExclusive, &status), nullptr) << c.what;
    EXPECT_EQ(status, OpenStatus::kCorrupt) << c.what;
    EXPECT_NE(last_open_error_.find("t.dbf"), std::string::npos) << c.what;
    EXPECT_NE(last_open_error_.find(c.message), std::string::npos)
        << c.what << ": " << last_open_error_;
  }
}

TEST_F(DbfTest, OpenReportsMissingFilesAndFolders) {
  OpenStatus status = OpenStatus::kOk;
  EXPECT_EQ(open(file("none.dbf"), Mode::kShared, &status), nullptr);
  EXPECT_EQ(status, OpenStatus::kMissing);
  EXPECT_NE(last_open_error_.find("none.dbf"), std::string::npos);

  std::filesystem::create_directory(file("folder.dbf"));
  EXPECT_EQ(open(file("folder.dbf"), Mode::kShared, &status), nullptr);
  EXPECT_EQ(status, OpenStatus::kIoError);
}

TEST_F(DbfTest, OpenReportsUnreadableFiles) {
  OpenStatus status = OpenStatus::kOk;
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  std::filesystem::path p = make_table("ro.dbf", {"a"});
  chmod(p.c_str(), 0444);
  EXPECT_EQ(open(p, Mode::kShared, &status), nullptr);
  EXPECT_EQ(status, OpenStatus::kIoError);
  EXPECT_FALSE(last_open_error_.empty());
}

TEST_F(DbfTest, GarbageNeverCrashes) {
  std::filesystem::path p = make_table("t.dbf", {"r1", "r2"});
  const std::string good = read_bytes(p);
  std::mt19937 random(20260105);
  for (int round = 0; round < 400; ++round) {
    std::string b;
    if (round % 2 == 0) {  // a valid table with a few bytes of its header changed
      b = good;
      for (int k = 0; k < 3; ++k) b[random() % (kHeaderLength + 1)] = static_cast<char>(random());
    } else {  // pure noise that begins like a table
      b.resize(random() % 400);
      for (char& c : b) c = static_cast<char>(random());
      if (!b.empty()) b[0] = 0x03;
    }
    write_bytes(p, b);
    OpenStatus status;
    auto t = open(p, round % 4 < 2 ? Mode::kExclusive : Mode::kShared, &status);
    if (!t) {
      EXPECT_NE(status, OpenStatus::kOk);
      EXPECT_FALSE(last_open_error_.empty());
      continue;
    }
    for (t->go_top(); !t->eof(); t->skip()) {
      for (int f = 1; f <= t->field_count(); ++f) {
        t->get(f);
        t->get_number(f);
      }
    }
    ASSERT_TRUE(t->append_blank()) << t->last_error();
    EXPECT_TRUE(t->commit());
  }
}

// A full disk (here: a file size limit) makes writes fail; the failure is reported by commit,
// nothing is thrown, and what reached the file is still a readable table.
TEST_F(DbfTest, WriteFailuresAreReportedAndLeaveAReadableTable) {
  for (Mode mode : {Mode::kExclusive, Mode::kShared}) {
    std::filesystem::path p = make_table(mode == Mode::kShared ? "s.dbf" : "x.dbf", {"a"});
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {  // only the child gets the limit
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit = {400000, 400000};  // a few append buffers
      setrlimit(RLIMIT_FSIZE, &limit);
      OpenStatus status;
      std::string error;
      auto t = Table::open(p, mode, kToday, &status, &error);
      if (!t) _exit(10);
      bool append_failed = false;
      for (int i = 0; i < 20000 && !append_failed; ++i) {
        append_failed = !t->append_blank();
        if (!append_failed) t->put(1, "filler");
        t->unlock();
      }
      if (!append_failed) _exit(11);  // in both modes a write that fails stops the appends
      if (t->commit()) _exit(12);
      if (t->last_error().empty()) _exit(13);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::string b = read_bytes(p);
    uint32_t count = u32_at(b, 4);
    EXPECT_GT(count, 1u);
    EXPECT_LE(kHeaderLength + count * kRecordLength, b.size());
    auto t = open(p);
    ASSERT_NE(t, nullptr) << last_open_error_;
    EXPECT_EQ(t->reccount(), static_cast<long>(count));
  }
}

// ---- Copying ----

TEST_F(DbfTest, CopyTakesEveryLiveRecordAndKeepsThePosition) {
  std::filesystem::path p = make_table("src.dbf", {"r1", "r2", "r3", "r4", "r5"});
  mark_deleted(p, {2});
  auto t = open(p, Mode::kShared);
  ASSERT_NE(t, nullptr);
  t->go(4);
  std::string error;
  ASSERT_TRUE(t->copy_to(file("copy"), kToday, &error)) << error;
  EXPECT_EQ(t->recno(), 4);
  EXPECT_EQ(t->get(1), "r4        ");

  auto c = open(file("copy.dbf"));
  ASSERT_NE(c, nullptr) << last_open_error_;
  EXPECT_EQ(c->fields(), t->fields());
  EXPECT_EQ(c->reccount(), 4);
  std::vector<std::string> names;
  for (c->go_top(); !c->eof(); c->skip()) names.push_back(c->get(1) + c->get(4));
  EXPECT_EQ(names, (std::vector<std::string>{"r1            1", "r3            3",
                                             "r4            4", "r5            5"}));
  c.reset();
  EXPECT_EQ(read_bytes(file("copy.dbf")).size(), kHeaderLength + 4 * kRecordLength + 1);

  EXPECT_FALSE(t->copy_to(file("nofolder/copy"), kToday, &error));
  EXPECT_NE(error.find("nofolder"), std::string::npos);
  EXPECT_EQ(t->recno(), 4);
  EXPECT_FALSE(t->copy_to(p, kToday, &error));  // onto itself: refused, table intact
  EXPECT_EQ(t->reccount(), 5);
}

TEST_F(DbfTest, CommitStampsTheHeaderDate) {
  std::filesystem::path p = make_table("t.dbf", {"a"});
  auto t = open(p, Mode::kExclusive, nullptr, Ymd{2030, 12, 31});
  ASSERT_NE(t, nullptr);
  ASSERT_TRUE(t->commit());
  EXPECT_EQ(static_cast<uint8_t>(read_bytes(p)[1]), 126);  // nothing changed, nothing written
  ASSERT_TRUE(t->put(1, "b"));
  ASSERT_TRUE(t->commit());
  std::string b = read_bytes(p);
  EXPECT_EQ(static_cast<uint8_t>(b[1]), 130);
  EXPECT_EQ(b[2], 12);
  EXPECT_EQ(b[3], 31);
  EXPECT_EQ(u32_at(b, 4), 1u);
}

// ---- Table slots ----

class WorkareasTest : public DbfTest {
 protected:
  Workareas areas_{[] { return kToday; }};
};

TEST_F(WorkareasTest, SlotsHoldTablesUnderAliases) {
  EXPECT_EQ(areas_.selected(), 1);
  EXPECT_FALSE(areas_.used());
  EXPECT_EQ(areas_.alias(), "");
  EXPECT_EQ(areas_.current(), nullptr);
  std::filesystem::path a = make_table("aa01.dbf", {"x"});
  std::filesystem::path f = make_table("firma.dbf", {"y", "z"});

  areas_.select(50);
  ASSERT_TRUE(areas_.use(a, "aa", Mode::kExclusive)) << areas_.last_error();
  EXPECT_TRUE(areas_.used());
  EXPECT_EQ(areas_.alias(), "AA");
  ASSERT_NE(areas_.current(), nullptr);
  EXPECT_EQ(areas_.by_alias("Aa"), areas_.current());
  EXPECT_EQ(areas_.slot(50), areas_.current());
  EXPECT_EQ(areas_.slot_of_alias("aa"), 50);

  areas_.select(1);
  EXPECT_FALSE(areas_.used());
  ASSERT_TRUE(areas_.use(f, "", Mode::kShared));  // no alias: the file's name
  EXPECT_EQ(areas_.alias(), "FIRMA");
  EXPECT_EQ(areas_.current()->reccount(), 2);
  EXPECT_EQ(areas_.by_alias("aa")->get(1), "x         ");
  EXPECT_EQ(areas_.by_alias("nosuch"), nullptr);
  EXPECT_EQ(areas_.slot_of_alias("nosuch"), 0);
  EXPECT_EQ(areas_.slot(2), nullptr);

  areas_.select(0);  // not a slot: ignored
  EXPECT_EQ(areas_.selected(), 1);

  // Another alias in a slot replaces (and closes) what was there.
  areas_.select(50);
  ASSERT_TRUE(areas_.use(f, "other", Mode::kShared));
  EXPECT_EQ(areas_.slot_of_alias("aa"), 0);
  EXPECT_NE(open(a, Mode::kExclusive), nullptr) << "the first table was not closed";
}

TEST_F(WorkareasTest, FailedOpensLeaveTheSlotEmptyAndSetTheFlag) {
  std::filesystem::path a = make_table("a.dbf", {"x"});
  std::filesystem::path b = make_table("b.dbf", {"x"});
  ASSERT_TRUE(areas_.use(a, "a", Mode::kExclusive));

  EXPECT_FALSE(areas_.use(file("missing"), "m", Mode::kShared));
  EXPECT_TRUE(areas_.net_err());
  EXPECT_FALSE(areas_.used());
  EXPECT_NE(areas_.last_error().find("missing"), std::string::npos);

  ASSERT_TRUE(areas_.use(a, "a", Mode::kShared));
  EXPECT_FALSE(areas_.net_err());  // each open clears the flag

  auto holder = open(b, Mode::kExclusive);  // held by "another program"
  ASSERT_NE(holder, nullptr);
  areas_.select(2);
  EXPECT_FALSE(areas_.use(b, "b", Mode::kShared));
  EXPECT_TRUE(areas_.net_err());
  EXPECT_FALSE(areas_.used());
  EXPECT_NE(areas_.last_error().find("in use"), std::string::npos) << areas_.last_error();
  holder.reset();
  EXPECT_TRUE(areas_.use(b, "b", Mode::kShared));

  areas_.select(3);
  EXPECT_FALSE(areas_.use(b, "A", Mode::kShared));  // alias taken by slot 1
  EXPECT_TRUE(areas_.net_err());
  EXPECT_NE(areas_.last_error().find("slot 1"), std::string::npos) << areas_.last_error();
}

TEST_F(WorkareasTest, AppendSetsTheFlag) {
  EXPECT_FALSE(areas_.append_blank());  // nothing open
  EXPECT_TRUE(areas_.net_err());
  ASSERT_TRUE(areas_.use(make_table("a.dbf", {}), "a", Mode::kShared));
  ASSERT_TRUE(areas_.append_blank());
  EXPECT_FALSE(areas_.net_err());
  EXPECT_EQ(areas_.current()->recno(), 1);
  EXPECT_TRUE(areas_.current()->is_locked());
}

TEST_F(WorkareasTest, AppendRecordSetsTheFlag) {
  EXPECT_FALSE(areas_.append_record(std::string(33, ' ')));  // nothing open
  EXPECT_TRUE(areas_.net_err());
  ASSERT_TRUE(areas_.use(make_table("a.dbf", {}), "a", Mode::kExclusive));
  EXPECT_FALSE(areas_.append_record("short"));
  EXPECT_TRUE(areas_.net_err());
  ASSERT_TRUE(areas_.append_record(std::string(33, 'x')));
  EXPECT_FALSE(areas_.net_err());
  EXPECT_EQ(areas_.current()->get(1), std::string(10, 'x'));
}

TEST_F(WorkareasTest, StructureTableIsLeftOpenShared) {
  areas_.select(88);
  ASSERT_TRUE(areas_.create_structure(file("strukt01"))) << areas_.last_error();
  ASSERT_TRUE(areas_.used());
  EXPECT_EQ(areas_.alias(), "STRUKT01");
  EXPECT_EQ(areas_.current()->mode(), Mode::kShared);
  EXPECT_EQ(areas_.current()->reccount(), 0);
  std::vector<FieldDef> expected = {{"FIELD_NAME", 'C', 10, 0},
                                    {"FIELD_TYPE", 'C', 1, 0},
                                    {"FIELD_LEN", 'N', 3, 0},
                                    {"FIELD_DEC", 'N', 3, 0}};
  EXPECT_EQ(areas_.current()->fields(), expected);
  EXPECT_FALSE(areas_.create_structure(file("nofolder/strukt02")));
  EXPECT_TRUE(areas_.net_err());
  EXPECT_FALSE(areas_.used());
}

TEST_F(WorkareasTest, FreeSlotsCloseAndCommit) {
  std::filesystem::path p = make_table("s.dbf", {});
  EXPECT_EQ(areas_.first_free_slot(88, 98), 88);
  for (int n = 88; n <= 98; ++n) {
    areas_.select(n);
    ASSERT_TRUE(areas_.use(p, "s" + std::to_string(n), Mode::kShared));
    EXPECT_EQ(areas_.first_free_slot(88, 98), n == 98 ? 0 : n + 1);
  }
  areas_.select(90);
  areas_.close();
  EXPECT_FALSE(areas_.used());
  EXPECT_EQ(areas_.first_free_slot(88, 98), 90);

  areas_.select(1);
  std::filesystem::path w = make_table("w.dbf", {});
  ASSERT_TRUE(areas_.use(w, "w", Mode::kExclusive));
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(areas_.append_blank());
    ASSERT_TRUE(areas_.current()->put(1, "n" + std::to_string(i)));
  }
  EXPECT_TRUE(areas_.commit_all());
  EXPECT_EQ(u32_at(read_bytes(w), 4), 3u);
  areas_.close_all();
  for (int n : {1, 88, 98}) EXPECT_EQ(areas_.slot(n), nullptr);
  EXPECT_NE(open(w, Mode::kExclusive), nullptr);
}

}  // namespace
}  // namespace platform::dbf
