// Lookup of session texts by name.
#include "platform/session.h"

#include "platform/files.h"

namespace platform {

void NamedTexts::define(std::string_view name, std::string value) {
  int i = index_of(name);
  if (i >= 0) {
    at(i) = std::move(value);
    return;
  }
  std::string key = upper_ascii(name);
  index_.emplace(key, static_cast<int>(items_.size()));
  items_.emplace_back(std::move(key), std::move(value));
}

int NamedTexts::index_of(std::string_view name) const {
  auto it = index_.find(name);
  if (it == index_.end()) {
    bool lower = false;
    for (char c : name) lower = lower || (c >= 'a' && c <= 'z');
    if (!lower) return -1;
    it = index_.find(upper_ascii(name));
    if (it == index_.end()) return -1;
  }
  return it->second;
}

std::string* NamedTexts::find(std::string_view name) {
  int i = index_of(name);
  return i < 0 ? nullptr : &at(i);
}

const std::string* NamedTexts::find(std::string_view name) const {
  int i = index_of(name);
  return i < 0 ? nullptr : &items_[static_cast<size_t>(i)].second;
}

}  // namespace platform
