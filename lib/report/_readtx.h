// The report runner (VIEW_DRUK: a named step with its report output in a text file, then
// the file in the viewer), the text report viewer (READTEXT) and the plain copy (KOP_TXT).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime.h"

namespace report {

using platform::Runtime;

// A step the runner can run: it gets the runner's copies of the call's parameters, which
// it may change (a parameter given as a caller's variable receives the change).
using StepProc = std::function<void(Runtime&, std::vector<std::string>& params)>;

// The steps a program offers to the runner, found by name without regard to letter case.
// The caller owns the table and hands it to every runner call.
class StepTable {
 public:
  // Adds a step, or replaces the one of that name.
  void add(std::string_view name, StepProc proc);
  // nullptr when no step has that name.
  const StepProc* find(std::string_view name) const;

 private:
  std::map<std::string, StepProc, std::less<>> steps_;  // keyed by the upper-cased name
};

// One parameter of a runner call: a value, or a caller's variable (`&text`) that gets
// back whatever the step left in its copy.
struct StepArg {
  StepArg(std::string text) : value(std::move(text)) {}
  StepArg(const char* text) : value(text) {}
  StepArg(std::string* variable) : value(*variable), target(variable) {}

  std::string value;
  std::string* target = nullptr;
};

// How a runner call ended.
enum class RunOutcome {
  kShown,        // the output file was written (or, for a show-only call, found) and shown
  kMissing,      // no output file was there afterwards: "Brak pliku " was shown
  kWriteFailed,  // the output file could not be created or written: the user was told so
  kUnknownStep,  // the step table has no step of that name: nothing was run or deleted
};

struct RunResult {
  RunOutcome outcome = RunOutcome::kShown;
  std::string file;   // the output file the call used: the one given or a numbered fallback
  std::string error;  // why writing failed (system detail, for logs), else ""
  bool ok() const { return outcome == RunOutcome::kShown; }
};

// Runs `step` from `steps` with its report output written into `file` (an old file of that
// name is deleted first; one that cannot be deleted is left alone and the output goes to
// the first free numbered fallback name, see fallback_name), then shows the file in the
// viewer until the user leaves it. An empty step name only shows an existing file. The
// step gets the parameters in order, as many as given. A file that could not be created
// or written completely is reported in a message window (waiting for a key) and is not
// shown; the result tells the caller.
RunResult VIEW_DRUK(Runtime& rt, const StepTable& steps, std::string_view step,
                    std::string_view file, std::vector<StepArg> args = {});

// The numbered fallback name n (51 to 99) of an output file: its first L - 6 characters,
// n in two digits, then its last four characters ("ROB\JPK_01.XML", 51 -> "ROB\JPK_51.XML";
// "A.TXT" -> "51.TXT"). Blanks around the name are dropped first.
std::string fallback_name(std::string_view name, int n);

// Shows a text file full-screen, 24 rows of 80 columns, until Esc; returns 0. A file that
// cannot be opened shows nothing. Only the rows on screen are held: scrolling reads forward
// or backward in the file. Lines end at CR LF; a line longer than one row width (748
// characters) is shown as consecutive rows of 748 characters, the last row holding the rest.
int READTEXT(Runtime& rt, std::string_view file);

// The width of one viewer row: the longest line the line reader returns whole.
constexpr int64_t kRowWidth = 748;

// Copies a text file with its CR LF line ends turned into LF: every line (of any length,
// the last one also when it has no line end) is written followed by one LF; other bytes
// are kept. The target is created or truncated. False when the target cannot be written,
// the source cannot be read (the target is then left empty), or both name the same file
// (nothing is touched then).
bool KOP_TXT(Runtime& rt, std::string_view source, std::string_view target);

}  // namespace report
