// The report runner: the step table, the numbered fallback names of an output file that
// cannot be replaced, and VIEW_DRUK, which runs a step into a file and shows that file.
#include <filesystem>
#include <system_error>

#include "lib/report/_readtx.h"
#include "lib/tables/_fun1.h"
#include "lib/tables/_fun3.h"

namespace report {
namespace {

using tables::_OKNO_;
using tables::FILE_X;

std::string trimmed(std::string_view text) {
  size_t b = text.find_first_not_of(' ');
  if (b == std::string_view::npos) return "";
  size_t e = text.find_last_not_of(' ');
  return std::string(text.substr(b, e - b + 1));
}

// Whether anything (a file, a folder, a link) stands under that name.
bool present(Runtime& rt, std::string_view name) {
  const std::filesystem::path p = rt.files.resolve(name);
  std::error_code ec;
  return !p.empty() && std::filesystem::exists(std::filesystem::symlink_status(p, ec));
}

// Deletes an old output file. When it cannot be deleted (another program holds it, or a
// folder of that name is in the way) the first fallback name that is free or can be freed
// is taken; when none can, the name stays and opening it will fail and be reported.
std::string free_output_name(Runtime& rt, const std::string& name) {
  if (!present(rt, name)) return name;
  rt.files.remove(name);
  if (!present(rt, name)) return name;
  for (int n = 51; n <= 99; ++n) {
    std::string candidate = fallback_name(name, n);
    if (present(rt, candidate)) rt.files.remove(candidate);
    if (!present(rt, candidate)) return candidate;
  }
  return name;
}

// Sends the report output into the output file for the life of the object; whatever way
// the step ends, the screen echo comes back and the file is closed.
class Redirect {
 public:
  Redirect(Runtime& rt, const std::string& file) : rt_(rt) {
    rt_.out.clear_error();
    opened_ = rt_.out.set_printer_file(file);
    rt_.out.set_echo(false);
    rt_.out.set_printer(true);
  }
  ~Redirect() {
    if (active_) finish();
  }
  Redirect(const Redirect&) = delete;
  Redirect& operator=(const Redirect&) = delete;

  // Ends the redirection; true when the file was opened and everything reached it.
  bool finish() {
    active_ = false;
    rt_.out.set_echo(true);
    rt_.out.set_printer(false);
    const bool closed = rt_.out.close_printer_file();
    error_ = rt_.out.error();
    rt_.out.clear_error();
    return opened_ && closed;
  }
  const std::string& error() const { return error_; }

 private:
  Runtime& rt_;
  bool opened_ = false;
  bool active_ = true;
  std::string error_;
};

// Runs the step into the output file; false (with the reason) when the file could not be
// created or written completely.
bool run_step(Runtime& rt, const StepProc& proc, std::string_view step, const std::string& file,
              std::vector<StepArg>& args, std::string* error) {
  Redirect redirect(rt, file);
  if (FILE_X(rt, "AAA.111")) {
    rt.out.append({step});
    rt.out.new_line();
  }
  std::vector<std::string> params;
  params.reserve(args.size());
  for (const StepArg& a : args) params.push_back(a.value);
  proc(rt, params);
  for (size_t i = 0; i < args.size(); ++i)
    if (args[i].target) *args[i].target = params[i];
  const bool ok = redirect.finish();
  *error = redirect.error();
  rt.screen.set_cursor_on(true);
  return ok;
}

}  // namespace

void StepTable::add(std::string_view name, StepProc proc) {
  steps_[platform::upper_ascii(name)] = std::move(proc);
}

const StepProc* StepTable::find(std::string_view name) const {
  auto it = steps_.find(platform::upper_ascii(name));
  return it == steps_.end() ? nullptr : &it->second;
}

std::string fallback_name(std::string_view raw, int n) {
  const std::string name = trimmed(raw);
  const size_t len = name.size();
  const std::string head = len > 6 ? name.substr(0, len - 6) : std::string();
  const std::string tail = len > 4 ? name.substr(len - 4) : name;
  return head + tables::STR2(n) + tail;
}

RunResult VIEW_DRUK(Runtime& rt, const StepTable& steps, std::string_view step,
                    std::string_view file, std::vector<StepArg> args) {
  auto& s = rt.screen;
  const platform::SavedRect saved = s.save(15, 30, 20, 72);
  // A runner started from a form's hot key ends that form once it returns.
  rt.forms.clear_pending();
  if (rt.forms.active) rt.forms.stop_requested = true;

  if (FILE_X(rt, "KOPIA.TXT")) _OKNO_(rt, "PRACUJESZ NA KOPII");

  RunResult result;
  result.file = std::string(file);
  const bool runs_step = !trimmed(step).empty();
  const StepProc* proc = runs_step ? steps.find(trimmed(step)) : nullptr;
  if (runs_step && !proc) {
    result.outcome = RunOutcome::kUnknownStep;
    _OKNO_(rt, "Brak procedury " + trimmed(step), 0);
  } else if (runs_step) {
    _OKNO_(rt, "PROSZE CZEKAC ...", "standing");
    result.file = free_output_name(rt, result.file);
    if (!run_step(rt, *proc, step, result.file, args, &result.error)) {
      result.outcome = RunOutcome::kWriteFailed;
      _OKNO_(rt, "Nie mozna zapisac " + result.file, 0);
    }
  }

  if (result.outcome == RunOutcome::kShown) {
    if (rt.files.exists(result.file)) {
      READTEXT(rt, result.file);
    } else {
      result.outcome = RunOutcome::kMissing;
      _OKNO_(rt, "Brak pliku " + result.file);
    }
  }

  s.set_color("");
  s.set_cursor_on(false);
  s.restore(saved);
  return result;
}

}  // namespace report
