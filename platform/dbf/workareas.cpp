// The numbered table slots: selecting, opening under an alias, closing and committing.
#include "platform/dbf/workareas.h"

#include <algorithm>

namespace platform::dbf {

namespace {

std::string upper_alias(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  size_t e = s.find_last_not_of(' ');
  std::string out =
      b == std::string_view::npos ? std::string() : std::string(s.substr(b, e - b + 1));
  std::transform(out.begin(), out.end(), out.begin(),
                 [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
  return out;
}

}  // namespace

Workareas::Workareas(std::function<Ymd()> today) : today_(std::move(today)) {}

Workareas::~Workareas() {
  close_all();
}

void Workareas::select(int slot) {
  if (slot >= 1) selected_ = slot;
}

bool Workareas::used() const {
  return slots_.count(selected_) != 0;
}

std::string Workareas::alias() const {
  auto it = slots_.find(selected_);
  return it == slots_.end() ? std::string() : it->second.alias;
}

Table* Workareas::current() {
  return slot(selected_);
}

Table* Workareas::slot(int n) {
  auto it = slots_.find(n);
  return it == slots_.end() ? nullptr : it->second.table.get();
}

Table* Workareas::by_alias(std::string_view alias) {
  return slot(slot_of_alias(alias));
}

int Workareas::slot_of_alias(std::string_view alias) const {
  std::string wanted = upper_alias(alias);
  if (wanted.empty()) return 0;
  for (const auto& [n, s] : slots_) {
    if (s.alias == wanted) return n;
  }
  return 0;
}

void Workareas::close_slot(int n) {
  auto it = slots_.find(n);
  if (it == slots_.end()) return;
  if (!it->second.table->commit()) error_ = it->second.table->last_error();
  slots_.erase(it);
}

bool Workareas::use(const std::filesystem::path& file, std::string_view alias, Mode mode) {
  net_err_ = false;
  status_ = OpenStatus::kOk;
  close_slot(selected_);
  std::string name = upper_alias(alias);
  if (name.empty()) name = upper_alias(file.stem().string());
  int other = slot_of_alias(name);
  if (other != 0) {
    error_ = "alias " + name + " is already in use in slot " + std::to_string(other);
    net_err_ = true;
    status_ = OpenStatus::kConflict;
    return false;
  }
  OpenStatus status;
  std::string message;
  std::unique_ptr<Table> table = Table::open(file, mode, today_(), &status, &message);
  if (!table) {
    status_ = status;
    error_ = message;
    net_err_ = true;
    return false;
  }
  slots_[selected_] = Slot{std::move(table), std::move(name)};
  return true;
}

bool Workareas::create_structure(const std::filesystem::path& file) {
  close_slot(selected_);
  std::string message;
  if (!Table::create(file, structure_fields(), today_(), &message)) {
    error_ = message;
    net_err_ = true;
    return false;
  }
  return use(file, "", Mode::kShared);
}

Table* Workareas::table_to_append() {
  Table* table = current();
  if (!table) {
    error_ = "no table is open in slot " + std::to_string(selected_);
    net_err_ = true;
  }
  return table;
}

bool Workareas::appended(const Table& table, bool ok) {
  net_err_ = !ok;
  if (!ok) error_ = table.last_error();
  return ok;
}

bool Workareas::append_blank() {
  Table* table = table_to_append();
  return table && appended(*table, table->append_blank());
}

bool Workareas::append_record(std::string_view fields) {
  Table* table = table_to_append();
  return table && appended(*table, table->append_record(fields));
}

void Workareas::close() {
  close_slot(selected_);
}

void Workareas::close_all() {
  while (!slots_.empty()) close_slot(slots_.begin()->first);
}

bool Workareas::commit_all() {
  bool ok = true;
  for (auto& [n, s] : slots_) {
    if (!s.table->commit()) {
      error_ = s.table->last_error();
      ok = false;
    }
  }
  return ok;
}

int Workareas::first_free_slot(int from, int to) const {
  for (int n = std::max(from, 1); n <= to; ++n) {
    if (slots_.count(n) == 0) return n;
  }
  return 0;
}

}  // namespace platform::dbf
