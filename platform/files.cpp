// File names and simple file operations of the program.
#include "platform/files.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <ctime>
#include <system_error>

namespace fs = std::filesystem;

namespace platform {

std::string upper_ascii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string lower_ascii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string normalize_name(std::string_view name) {
  size_t b = name.find_first_not_of(' ');
  if (b == std::string_view::npos) return "";
  size_t e = name.find_last_not_of(' ');
  return lower_ascii(name.substr(b, e - b + 1));
}

bool wildcard_match(std::string_view p, std::string_view n) {
  size_t pi = 0, ni = 0, star = std::string_view::npos, mark = 0;
  auto same = [](char a, char b) {
    return lower_ascii(std::string(1, a)) == lower_ascii(std::string(1, b));
  };
  while (ni < n.size()) {
    if (pi < p.size() && (p[pi] == '?' || same(p[pi], n[ni]))) {
      ++pi;
      ++ni;
    } else if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = ni;
    } else if (star != std::string_view::npos) {
      pi = star + 1;
      ni = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

Files::Files(fs::path work_dir, Environment env)
    : work_dir_(std::move(work_dir)), env_(std::move(env)) {}

namespace {

// Finds an existing entry of `dir` whose name equals `component` without regard to case;
// prefers an exact match.
std::string match_component(const fs::path& dir, const std::string& component) {
  std::error_code ec;
  if (fs::exists(dir / component, ec)) return component;
  std::string wanted = lower_ascii(component);
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    std::string name = entry.path().filename().string();
    if (lower_ascii(name) == wanted) return name;
  }
  return component;
}

}  // namespace

fs::path Files::resolve(std::string_view raw) const {
  std::string name = normalize_name(raw);
  fs::path base = work_dir_;
  size_t pos = 0;
  if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]))) {
    std::string key = "SPAJAK_DRIVE_" + upper_ascii(name.substr(0, 1));
    auto it = env_.find(key);
    if (it != env_.end() && !it->second.empty()) {
      base = it->second;
    } else if (name[0] == 'c' && env_.count("HOME")) {
      base = env_.at("HOME");
    } else {
      return {};
    }
    pos = 2;
  }
  if (pos < name.size() && (name[pos] == '\\' || name[pos] == '/')) ++pos;  // root of the drive
  fs::path out = base;
  while (pos <= name.size()) {
    size_t next = name.find_first_of("\\/", pos);
    std::string part = name.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
    if (!part.empty() && part != ".") out /= match_component(out, part);
    if (next == std::string::npos) break;
    pos = next + 1;
  }
  return out;
}

bool Files::exists(std::string_view name) const {
  fs::path p = resolve(name);
  std::error_code ec;
  return !p.empty() && fs::is_regular_file(p, ec);
}

bool Files::remove(std::string_view name) const {
  fs::path p = resolve(name);
  if (p.empty()) return true;
  std::error_code ec;
  fs::remove(p, ec);
  return !fs::exists(p, ec);
}

bool Files::make_dir(std::string_view name) const {
  fs::path p = resolve(name);
  if (p.empty()) return false;
  std::error_code ec;
  fs::create_directory(p, ec);
  return fs::is_directory(p, ec);
}

std::vector<DirEntry> Files::list(std::string_view pattern) const {
  std::vector<DirEntry> out;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(work_dir_, ec)) {
    std::string name = entry.path().filename().string();
    if (name.empty() || name[0] == '.' || !entry.is_regular_file(ec)) continue;
    if (!wildcard_match(pattern, name)) continue;
    struct stat st {};
    if (::stat(entry.path().c_str(), &st) != 0) continue;
    std::tm local{};
    localtime_r(&st.st_mtime, &local);
    DirEntry e;
    e.name = name;
    e.size = static_cast<uint64_t>(st.st_size);
    e.modified = DateTime{local.tm_year + 1900,
                          local.tm_mon + 1,
                          local.tm_mday,
                          local.tm_hour,
                          local.tm_min,
                          local.tm_sec,
                          0};
    out.push_back(e);
  }
  // Folder order differs between file systems; name order keeps the listing repeatable.
  std::sort(out.begin(), out.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return out;
}

}  // namespace platform
