// Files and names: every name the program hands to the file system is trimmed and
// lower-cased, "\" separates folders, existing files are found whatever their case, and
// a drive "X:" maps to a folder (environment SPAJAK_DRIVE_X; C: defaults to $HOME).
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace platform {

using Environment = std::map<std::string, std::string>;

// Trims blanks at both ends and lower-cases the letters A-Z, as for every file name.
std::string normalize_name(std::string_view name);
std::string upper_ascii(std::string_view text);
std::string lower_ascii(std::string_view text);

struct DirEntry {
  std::string name;  // as the folder holds it
  uint64_t size = 0;
  DateTime modified;
};

class Files {
 public:
  Files(std::filesystem::path work_dir, Environment env);

  const std::filesystem::path& work_dir() const { return work_dir_; }
  const Environment& env() const { return env_; }

  // The file-system path of a program name: normalised, "\" and "/" as separators,
  // a drive letter mapped, relative names under the working folder, and every
  // component that exists in another letter case matched to it. An unmapped drive
  // gives an empty path (nothing can be opened there).
  std::filesystem::path resolve(std::string_view name) const;

  bool exists(std::string_view name) const;    // a regular file
  bool remove(std::string_view name) const;    // true when no such file is left
  bool make_dir(std::string_view name) const;  // one level; an existing folder is fine
  // Ordinary (not hidden) files of the working folder whose name matches a pattern such
  // as "*.XML", letters compared without regard to case.
  std::vector<DirEntry> list(std::string_view pattern) const;

 private:
  std::filesystem::path work_dir_;
  Environment env_;
};

// "*" and "?" wildcard match without regard to the case of A-Z.
bool wildcard_match(std::string_view pattern, std::string_view name);

}  // namespace platform
