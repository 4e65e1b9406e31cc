// The table engine's file side: create, open, navigation, record storage with read-ahead and
// buffered appends, record locks, commit and copy.
#include "platform/dbf/table.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace platform::dbf {

namespace {

// Lock layout inside the table file: the offsets DOS-era dBase and Clipper programs use, so
// such programs working on the same folder keep apart from this one. All lie past any data.
//   1 000 000 000                    1 byte   header (held while a record is appended)
//   1 000 000 000 + n                1 byte   record n
//   1 000 000 000, 1 000 000 000 bytes        whole file (not taken by this program)
//   0x7FFFFFFF                       1 byte   open mode: read lock = shared, write = exclusive
constexpr uint64_t kLockBase = 1'000'000'000;
constexpr uint64_t kHeaderLockOffset = kLockBase;
constexpr uint64_t kModeLockOffset = 0x7FFFFFFF;
uint64_t record_lock_offset(long recno) {
  return kLockBase + static_cast<uint64_t>(recno);
}

// Exclusive tables read ahead and collect appends in buffers of this size: large enough that
// sequential work costs few system calls, small enough that memory stays flat.
constexpr size_t kReadBufferBytes = 64 * 1024;
constexpr size_t kAppendBufferBytes = 128 * 1024;

}  // namespace

std::filesystem::path table_file_name(const std::filesystem::path& name) {
  if (name.has_extension()) return name;
  std::filesystem::path result = name;
  result += ".dbf";
  return result;
}

const std::vector<FieldDef>& structure_fields() {
  static const std::vector<FieldDef> fields = {{"FIELD_NAME", 'C', 10, 0},
                                               {"FIELD_TYPE", 'C', 1, 0},
                                               {"FIELD_LEN", 'N', 3, 0},
                                               {"FIELD_DEC", 'N', 3, 0}};
  return fields;
}

bool Table::write_new(const std::filesystem::path& file, Layout layout, Ymd today,
                      std::string* error) {
  std::string message;
  std::unique_ptr<OsFile> f = OsFile::open_or_create(file, &message);
  bool conflict = false;
  if (f && !f->try_lock(kModeLockOffset, 1, LockKind::kWrite, &conflict)) {
    message = conflict ? "cannot replace " + file.string() + ": it is in use" : f->error();
    f.reset();
  }
  if (f) {
    layout.record_count = 0;
    std::string bytes = encode_header(layout, today);
    bytes.push_back(kEndOfFile);
    if (f->truncate(0) && f->write_at(0, bytes.data(), bytes.size())) return true;
    message = f->error();
  }
  if (error) *error = message;
  return false;
}

bool Table::create(const std::filesystem::path& file, const std::vector<FieldDef>& fields,
                   Ymd today, std::string* error) {
  std::filesystem::path name = table_file_name(file);
  std::vector<FieldDef> normal;
  std::string message;
  if (!normalize_fields(fields, &normal, &message)) {
    if (error) *error = "cannot create " + name.string() + ": " + message;
    return false;
  }
  return write_new(name, make_layout(normal), today, error);
}

std::unique_ptr<Table> Table::open(const std::filesystem::path& file, Mode mode, Ymd today,
                                   OpenStatus* status, std::string* error) {
  std::filesystem::path name = table_file_name(file);
  OpenStatus ignored;
  if (!status) status = &ignored;
  std::string message;
  OsOpenStatus os_status;
  std::unique_ptr<OsFile> f = OsFile::open_existing(name, &os_status, &message);
  if (!f) {
    *status = os_status == OsOpenStatus::kMissing ? OpenStatus::kMissing : OpenStatus::kIoError;
    if (error) *error = message;
    return nullptr;
  }
  bool conflict = false;
  LockKind kind = mode == Mode::kShared ? LockKind::kRead : LockKind::kWrite;
  if (!f->try_lock(kModeLockOffset, 1, kind, &conflict)) {
    *status = conflict ? OpenStatus::kConflict : OpenStatus::kIoError;
    if (error) *error = conflict ? name.string() + " is in use by another program" : f->error();
    return nullptr;
  }
  uint64_t size = 0;
  std::string head;
  size_t got = 0;
  if (f->size(&size)) {
    head.resize(static_cast<size_t>(std::min<uint64_t>(size, kMaxHeaderBytes)));
    if (!f->read_at(0, head.data(), head.size(), &got)) {
      *status = OpenStatus::kIoError;
      if (error) *error = f->error();
      return nullptr;
    }
    head.resize(got);
  } else {
    *status = OpenStatus::kIoError;
    if (error) *error = f->error();
    return nullptr;
  }
  Layout layout;
  if (!parse_header(head, &layout, &message)) {
    *status = OpenStatus::kCorrupt;
    if (error) *error = name.string() + ": " + message;
    return nullptr;
  }
  std::unique_ptr<Table> table(
      new Table(std::move(f), std::move(name), mode, today, std::move(layout), size));
  table->go_top();
  *status = OpenStatus::kOk;
  return table;
}

Table::Table(std::unique_ptr<OsFile> file, std::filesystem::path path, Mode mode, Ymd today,
             Layout layout, uint64_t file_size)
    : file_(std::move(file)),
      path_(std::move(path)),
      mode_(mode),
      today_(today),
      layout_(std::move(layout)) {
  // A crash may leave the count ahead of the records really there: use those that are.
  count_ = on_disk_ = records_present(layout_.record_count, file_size);
  for (const FieldDef& f : layout_.fields) {
    NameKey key;
    make_key(f.name, &key);  // names are at most 11 characters
    keys_.push_back(key);
  }
  record_.assign(layout_.record_length, ' ');
  size_t records =
      mode_ == Mode::kExclusive ? std::max<size_t>(1, kReadBufferBytes / layout_.record_length) : 1;
  read_buffer_.resize(records * layout_.record_length);
  if (mode_ == Mode::kExclusive) append_buffer_.reserve(kAppendBufferBytes + 1);
}

Table::~Table() {
  commit();
  unlock();
}

uint64_t Table::record_offset(long recno) const {
  return layout_.header_length + static_cast<uint64_t>(recno - 1) * layout_.record_length;
}

// The records a table really has: the header's count, but no more than the file holds.
long Table::records_present(uint32_t header_count, uint64_t file_size) const {
  uint64_t in_file = file_size < layout_.header_length
                         ? 0
                         : (file_size - layout_.header_length) / layout_.record_length;
  uint64_t n = std::min<uint64_t>(header_count, in_file);
  return static_cast<long>(std::min<uint64_t>(n, std::numeric_limits<long>::max() - 1));
}

bool Table::note_write_error() {
  write_failed_ = true;
  error_ = file_->error();
  return false;
}

// Shared tables: another program may have appended since, so the count is taken afresh.
bool Table::refresh_count() {
  char bytes[4];
  size_t got = 0;
  uint64_t size = 0;
  if (!file_->read_at(kCountOffset, bytes, sizeof bytes, &got) || got != sizeof bytes ||
      !file_->size(&size)) {
    error_ = file_->error().empty() ? path_.string() + ": header cut short" : file_->error();
    return false;
  }
  count_ = on_disk_ = records_present(decode_u32(bytes), size);
  read_n_ = 0;
  return true;
}

bool Table::read_record(long recno, char* out) {
  size_t got = 0;
  if (file_->read_at(record_offset(recno), out, layout_.record_length, &got) &&
      got == layout_.record_length) {
    return true;
  }
  error_ =
      file_->error().empty() ? "record " + std::to_string(recno) + " cut short" : file_->error();
  std::memset(out, ' ', layout_.record_length);
  return false;
}

void Table::load(long recno, bool backward) {
  recno_ = recno;
  record_dirty_ = false;
  size_t len = layout_.record_length;
  if (recno > on_disk_) {  // still in the append buffer
    std::memcpy(record_.data(), append_buffer_.data() + (recno - on_disk_ - 1) * len, len);
    return;
  }
  if (mode_ == Mode::kShared) {
    read_record(recno, record_.data());
    return;
  }
  if (recno < read_first_ || recno >= read_first_ + read_n_) {
    long capacity = static_cast<long>(read_buffer_.size() / len);
    long first = backward ? std::max(1L, recno - capacity + 1) : recno;
    long n = std::min(capacity, on_disk_ - first + 1);
    size_t got = 0;
    if (!file_->read_at(record_offset(first), read_buffer_.data(), n * len, &got)) got = 0;
    read_first_ = first;
    read_n_ = static_cast<long>(got / len);
    if (recno >= read_first_ + read_n_) {
      read_n_ = 0;
      read_record(recno, record_.data());
      return;
    }
  }
  std::memcpy(record_.data(), read_buffer_.data() + (recno - read_first_) * len, len);
}

void Table::position_eof() {
  recno_ = count_ + 1;
  record_dirty_ = false;
  record_.assign(layout_.record_length, ' ');
}

// Writes the current record where it belongs: the append buffer or the file.
bool Table::store_current() {
  if (!record_dirty_) return true;
  record_dirty_ = false;
  header_dirty_ = true;
  size_t len = layout_.record_length;
  if (recno_ > on_disk_) {
    std::memcpy(append_buffer_.data() + (recno_ - on_disk_ - 1) * len, record_.data(), len);
    return true;
  }
  if (recno_ >= read_first_ && recno_ < read_first_ + read_n_) {
    std::memcpy(read_buffer_.data() + (recno_ - read_first_) * len, record_.data(), len);
  }
  if (!file_->write_at(record_offset(recno_), record_.data(), len)) return note_write_error();
  return true;
}

// Writes buffered appends with the end-of-file byte behind them, then the header count, so
// the count on disk never runs ahead of the records there.
bool Table::flush_appends() {
  if (appended_ == 0) return true;
  append_buffer_.push_back(kEndOfFile);
  bool ok =
      file_->write_at(record_offset(on_disk_ + 1), append_buffer_.data(), append_buffer_.size());
  append_buffer_.clear();
  if (ok) {
    on_disk_ += appended_;
    appended_ = 0;
    return write_header();
  }
  // The records could not be written: the table ends where the file does.
  appended_ = 0;
  count_ = on_disk_;
  if (recno_ > count_) position_eof();
  return note_write_error();
}

bool Table::write_header() {
  header_dirty_ = false;
  std::string bytes = mode_ == Mode::kExclusive
                          ? encode_date_and_count(today_, static_cast<uint32_t>(on_disk_))
                          : encode_date(today_);
  if (!file_->write_at(kDateOffset, bytes.data(), bytes.size())) return note_write_error();
  return true;
}

bool Table::commit() {
  store_current();
  flush_appends();
  if (header_dirty_) write_header();
  return !write_failed_;
}

void Table::prepare_move() {
  store_current();
  flush_appends();
  if (mode_ == Mode::kShared) refresh_count();
  bof_ = false;
}

long Table::next_visible(long from, int step) {
  for (long n = from; n >= 1 && n <= count_; n += step) {
    load(n, step < 0);
    if (record_[0] != kDeletedFlag) return n;
  }
  return 0;
}

void Table::go_top() {
  prepare_move();
  if (next_visible(1, 1) == 0) {
    position_eof();
    bof_ = true;
  }
}

void Table::go_bottom() {
  prepare_move();
  if (next_visible(count_, -1) == 0) {
    position_eof();
    bof_ = true;
  }
}

void Table::go(long recno) {
  prepare_move();
  if (recno < 1 || recno > count_) {
    position_eof();
  } else {
    load(recno, recno < recno_);
  }
}

void Table::skip(long n) {
  long from = recno_;
  prepare_move();
  if (n == 0) {
    if (from <= count_)
      load(from, false);
    else
      position_eof();
    return;
  }
  if (n > 0) {
    for (long at = from; n > 0; --n) {
      at = next_visible(at + 1, 1);
      if (at == 0) {
        position_eof();
        return;
      }
    }
    return;
  }
  // Backwards; from end of file the first step lands on the last record.
  for (long at = std::min(from, count_ + 1); n < 0; ++n) {
    at = next_visible(at - 1, -1);
    if (at == 0) {
      if (next_visible(1, 1) == 0) position_eof();
      bof_ = true;
      return;
    }
  }
}

bool Table::append_buffered(std::string_view fields) {
  size_t len = layout_.record_length;
  // A buffer that cannot be written means records already appended are lost: say so
  // rather than go on appending as if they were there.
  if (!store_current()) return false;
  if (append_buffer_.size() + len > kAppendBufferBytes && !flush_appends()) return false;
  record_.assign(len, ' ');
  if (!fields.empty()) std::memcpy(record_.data() + 1, fields.data(), len - 1);
  append_buffer_.insert(append_buffer_.end(), record_.begin(), record_.end());
  ++appended_;
  ++count_;
  recno_ = count_;
  record_dirty_ = false;
  header_dirty_ = true;
  bof_ = false;
  return true;
}

bool Table::append_blank() {
  size_t len = layout_.record_length;
  if (mode_ == Mode::kExclusive) return append_buffered({});
  if (!store_current()) return false;
  bool conflict = false;
  if (!file_->try_lock(kHeaderLockOffset, 1, LockKind::kWrite, &conflict)) {
    error_ = conflict ? path_.string() + ": another program is appending" : file_->error();
    return false;
  }
  bool ok = refresh_count();
  long recno = count_ + 1;
  bool had_lock = locked_ == recno;
  if (ok && !had_lock) {
    ok = file_->try_lock(record_lock_offset(recno), 1, LockKind::kWrite, &conflict);
    if (!ok) error_ = path_.string() + ": record " + std::to_string(recno) + " is locked";
  }
  if (ok) {
    std::string bytes(len, ' ');
    bytes.push_back(kEndOfFile);
    ok = file_->write_at(record_offset(recno), bytes.data(), bytes.size());
    if (ok) {
      std::string head = encode_date_and_count(today_, static_cast<uint32_t>(recno));
      ok = file_->write_at(kDateOffset, head.data(), head.size());
    }
    if (!ok) {
      note_write_error();
      if (!had_lock) file_->unlock(record_lock_offset(recno), 1);
    }
  }
  file_->unlock(kHeaderLockOffset, 1);
  if (!ok) return false;
  if (locked_ != 0 && locked_ != recno) file_->unlock(record_lock_offset(locked_), 1);
  locked_ = recno;
  count_ = on_disk_ = recno;
  recno_ = recno;
  record_.assign(len, ' ');
  record_dirty_ = false;
  bof_ = false;
  return true;
}

bool Table::append_record(std::string_view fields) {
  if (fields.size() + 1 != layout_.record_length) {
    error_ = path_.string() + ": a record of " + std::to_string(fields.size() + 1) +
             " bytes does not fit records of " + std::to_string(layout_.record_length);
    return false;
  }
  if (mode_ == Mode::kExclusive) return append_buffered(fields);
  if (!append_blank()) return false;
  std::memcpy(record_.data() + 1, fields.data(), fields.size());
  record_dirty_ = true;
  return true;
}

bool Table::lock_record() {
  if (mode_ == Mode::kExclusive) return true;
  if (eof()) {
    error_ = path_.string() + ": no record to lock at end of file";
    return false;
  }
  if (locked_ == recno_) return true;
  bool conflict = false;
  if (!file_->try_lock(record_lock_offset(recno_), 1, LockKind::kWrite, &conflict)) {
    error_ = conflict ? path_.string() + ": record " + std::to_string(recno_) +
                            " is locked by another program"
                      : file_->error();
    return false;
  }
  if (locked_ != 0) file_->unlock(record_lock_offset(locked_), 1);
  locked_ = recno_;
  // Another program may have changed the record before the lock was had.
  read_record(recno_, record_.data());
  record_dirty_ = false;
  return true;
}

bool Table::is_locked() const {
  if (eof()) return false;
  return mode_ == Mode::kExclusive || locked_ == recno_;
}

void Table::unlock() {
  if (mode_ == Mode::kExclusive || locked_ == 0) return;
  store_current();
  file_->unlock(record_lock_offset(locked_), 1);
  locked_ = 0;
}

bool Table::copy_to(const std::filesystem::path& target, Ymd today, std::string* error) {
  std::filesystem::path name = table_file_name(target);
  long saved = recno_;
  commit();
  std::string message;
  bool ok = write_new(name, make_layout(layout_.fields), today, &message);
  std::unique_ptr<Table> out;
  if (ok) {
    OpenStatus status;
    out = open(name, Mode::kExclusive, today, &status, &message);
    ok = out != nullptr;
  }
  if (ok) {
    if (mode_ == Mode::kShared) refresh_count();
    for (long n = 1; n <= count_; ++n) {
      load(n, false);
      if (record_[0] == kDeletedFlag) continue;
      out->append_blank();
      std::memcpy(out->record_.data() + 1, record_.data() + 1, layout_.record_length - 1);
      out->record_dirty_ = true;
    }
    ok = out->commit();
    if (!ok) message = out->last_error();
    out.reset();
  }
  go(saved);
  if (!ok) {
    error_ = message;
    if (error) *error = message;
  }
  return ok;
}

}  // namespace platform::dbf
