// One open dBase III table: create, open shared or exclusive, navigate, read and write fields,
// append, lock records, copy and commit. Files are read and written in place, never held whole.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dbf/header.h"
#include "platform/dbf/os_file.h"
#include "platform/dbf/types.h"

namespace platform::dbf {

// The file name of a table: ".dbf" is added when the name has no extension.
std::filesystem::path table_file_name(const std::filesystem::path& name);

// The fields of a structure table: FIELD_NAME C 10, FIELD_TYPE C 1, FIELD_LEN N 3, FIELD_DEC N 3.
const std::vector<FieldDef>& structure_fields();

class Table {
 public:
  // Creates (replacing) an empty table file; names upper-cased, trailing blanks dropped, max 10
  // characters. Refused while another open of the file exists. The folder must exist.
  static bool create(const std::filesystem::path& file, const std::vector<FieldDef>& fields,
                     Ymd today, std::string* error);
  // Opens an existing table read-write, positioned on its first record. `today` is written
  // into the header when the table is changed.
  static std::unique_ptr<Table> open(const std::filesystem::path& file, Mode mode, Ymd today,
                                     OpenStatus* status, std::string* error);

  // Writes pending changes (errors end up in last_error()) and releases every lock.
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  const std::vector<FieldDef>& fields() const { return layout_.fields; }
  int field_count() const { return static_cast<int>(layout_.fields.size()); }
  std::string field_name(int pos) const;       // "" when out of range
  int field_pos(std::string_view name) const;  // 1-based, 0 when absent, case ignored
  size_t record_length() const { return layout_.record_length; }

  // In shared mode the count is re-read from the file when navigation reaches the end, so
  // records appended by other programs become visible.
  long reccount() const { return count_; }
  long recno() const { return recno_; }  // reccount() + 1 at end of file
  bool eof() const { return recno_ > count_; }
  bool bof() const { return bof_; }
  bool deleted() const { return !eof() && record_[0] == kDeletedFlag; }

  // Records marked deleted are passed over by go_top, go_bottom and skip; go(n) goes to
  // record n whatever its mark (and to end of file when n is out of range).
  void go_top();
  void go_bottom();
  void skip(long n = 1);
  void go(long recno);

  // Appends a blank record and makes it current. Shared mode: takes the header lock, re-reads
  // the record count, locks the new record (other locks released) and writes the count; false
  // when a lock cannot be had or the write fails.
  bool append_blank();
  // Appends a record holding `fields` (the bytes of every field in order, record length less
  // the deletion flag) and makes it current; otherwise as append_blank. False, with nothing
  // appended, when `fields` has another length.
  bool append_record(std::string_view fields);

  // Field text, blank padded to full width; blanks at end of file; "" for an unknown field.
  std::string get(int pos) const;
  std::string get(std::string_view name) const;
  std::string_view get_view(int pos) const;  // valid until the record changes
  // The current record, flag byte first (blanks at end of file), and where field `pos` (1 to
  // field_count()) begins in it: for readers taking many fields of every record without a
  // call per field. Valid until the record changes.
  std::string_view record() const { return record_; }
  size_t field_offset(int pos) const { return static_cast<size_t>(layout_.offsets[pos - 1]); }

  // Stores text: C cut to width or padded; N trimmed and right-aligned (too long: filled with
  // '*' and false); D "YYYYMMDD" or blank. False at end of file, for an unknown field, and in
  // shared mode when the current record is not locked.
  bool put(int pos, std::string_view value);
  bool put(std::string_view name, std::string_view value);
  double get_number(int pos) const;        // value of the field's text, 0 when blank
  bool put_number(int pos, double value);  // N fields only, rounded to the decimals
  std::string get_date(int pos) const;     // "YYYYMMDD" or blanks; "" for a non-date field

  // Locks the current record at once or fails, without waiting; releases the slot's earlier
  // record lock. The record is re-read after locking. Exclusive mode: always true.
  bool lock_record();
  bool is_locked() const;
  void unlock();  // writes the current record's changes, then releases the lock

  // Writes every pending change (current record, buffered appends, header) to the file. False
  // when this or any earlier write since opening failed.
  bool commit();

  // Copies every record not marked deleted, all fields, into a new table `target` (".dbf"
  // added when it has no extension). The current record stays current.
  bool copy_to(const std::filesystem::path& target, Ymd today, std::string* error);

  Mode mode() const { return mode_; }
  const std::filesystem::path& path() const { return path_; }
  const std::string& last_error() const { return error_; }

 private:
  Table(std::unique_ptr<OsFile> file, std::filesystem::path path, Mode mode, Ymd today,
        Layout layout, uint64_t file_size);
  static bool write_new(const std::filesystem::path& file, Layout layout, Ymd today,
                        std::string* error);

  uint64_t record_offset(long recno) const;
  long records_present(uint32_t header_count, uint64_t file_size) const;
  bool refresh_count();
  void prepare_move();
  void load(long recno, bool backward);
  bool read_record(long recno, char* out);
  void position_eof();
  long next_visible(long from, int step);
  bool store_current();
  // Exclusive mode: a record of `fields` (blank when empty) into the append buffer.
  bool append_buffered(std::string_view fields);
  bool flush_appends();
  bool write_header();
  bool writable(int pos);
  bool note_write_error();

  // A field name upper-cased and zero padded into 16 bytes, so lookups compare two words.
  struct NameKey {
    uint64_t high = 0, low = 0;
    bool operator==(const NameKey&) const = default;
  };
  static bool make_key(std::string_view name, NameKey* key);

  std::unique_ptr<OsFile> file_;
  std::filesystem::path path_;
  Mode mode_;
  Ymd today_;
  Layout layout_;
  std::vector<NameKey> keys_;       // one per field
  mutable size_t lookup_from_ = 0;  // fields are usually named in order: search on from there

  long count_ = 0;    // records in the table, buffered appends included
  long on_disk_ = 0;  // records written to the file; the header count on disk is this
  long recno_ = 1;
  bool bof_ = false;
  std::string record_;         // the current record, flag byte first
  bool record_dirty_ = false;  // record_ differs from its stored copy
  long locked_ = 0;            // record holding this table's record lock, 0 for none
  bool header_dirty_ = false;  // the header date needs writing
  bool write_failed_ = false;  // some write failed since opening (kept for commit)

  // Exclusive mode: appended records on_disk_ + 1 ... wait here until flushed together.
  std::vector<char> append_buffer_;
  long appended_ = 0;
  // Exclusive mode: a window of records read ahead, [read_first_, read_first_ + read_n_).
  std::vector<char> read_buffer_;
  long read_first_ = 0;
  long read_n_ = 0;

  std::string error_;
};

}  // namespace platform::dbf
