// The report runner: steps found by name, output redirected into the file and shown, the
// marker files, the numbered fallback names and the failures a caller must learn about.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include "lib/report/_readtx.h"
#include "platform/keys.h"
#include "platform/scripted_terminal.h"
#include "tests/support/test_runtime.h"

namespace {

namespace key = platform::key;
using report::RunOutcome;
using report::StepTable;
using testing_support::read_file;
using testing_support::write_file;

// A test runtime with a step table for its runner calls.
struct Rig : testing_support::TestRuntime {
  StepTable steps;

  Rig() {
    // A step that writes its parameters as report lines, ending with an empty new line.
    steps.add("Pisz", [](platform::Runtime& rt, std::vector<std::string>& params) {
      for (const auto& p : params) rt.out.new_line({p});
      rt.out.new_line();
    });
    std::filesystem::create_directory(file("rob"));
  }

  // Runs a step and leaves the viewer at once, noting row 24 (the status line) meanwhile.
  report::RunResult run(std::string_view step, std::string_view name,
                        std::vector<report::StepArg> args = {}) {
    term.at_next_wait([this](const platform::Screen& s) { status_line = s.text(24); });
    term.type(key::kEsc);
    return report::VIEW_DRUK(rt, steps, step, name, std::move(args));
  }
  std::string status_line;
};

TEST(StepTable, FindsStepsWithoutRegardToCase) {
  StepTable t;
  int which = 0;
  t.add("Czyt_XML_JPK", [&](platform::Runtime&, std::vector<std::string>&) { which = 1; });
  t.add("Export_jpk_vat", [&](platform::Runtime&, std::vector<std::string>&) { which = 2; });
  ASSERT_NE(t.find("CZYT_xml_jpk"), nullptr);
  ASSERT_NE(t.find("export_JPK_VAT"), nullptr);
  EXPECT_EQ(t.find("Czyt"), nullptr);
  EXPECT_EQ(t.find(""), nullptr);
  testing_support::TestRuntime rt;
  std::vector<std::string> none;
  (*t.find("EXPORT_JPK_VAT"))(rt.rt, none);
  EXPECT_EQ(which, 2);
}

TEST(Runner, StepOutputGoesIntoTheFileAndIsShown) {
  Rig g;
  write_file(g.file("rob/jpk_01.xml"), "old contents that must go\r\n");
  bool echo_during_step = true;
  std::string message_during_step;
  g.steps.add("Czyt_XML_JPK", [&](platform::Runtime& rt, std::vector<std::string>& params) {
    echo_during_step = rt.out.echo();
    message_during_step = rt.screen.text(17);
    rt.out.new_line({"<?xml", params.at(0)});
    rt.out.new_line();
  });
  std::vector<std::string> shown;
  g.term.at_next_wait([&](const platform::Screen& s) {
    for (int r = 0; r < 3; ++r) shown.push_back(s.text(r, 0, 20));
  });
  g.term.type(key::kEsc);
  auto result = report::VIEW_DRUK(g.rt, g.steps, "czyt_xml_jpk", "ROB\\JPK_01.XML", {"A.XML"});
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.file, "ROB\\JPK_01.XML");
  EXPECT_EQ(read_file(g.file("rob/jpk_01.xml")), "\r\n<?xml A.XML\r\n");
  EXPECT_FALSE(echo_during_step);
  EXPECT_NE(message_during_step.find("PROSZE CZEKAC ..."), std::string::npos);
  EXPECT_EQ(shown,
            (std::vector<std::string>{std::string(20, ' '), "<?xml A.XML" + std::string(9, ' '),
                                      std::string(20, ' ')}));
  // Afterwards the report output is back on the screen and the message area restored.
  EXPECT_TRUE(g.rt.out.echo());
  EXPECT_FALSE(g.rt.out.printer());
  EXPECT_FALSE(g.rt.out.has_printer_file());
  EXPECT_EQ(g.rt.screen.text(17).find("PROSZE"), std::string::npos);
}

TEST(Runner, ParametersAreCopiesUnlessGivenAsVariables) {
  Rig g;
  size_t count = 99;
  g.steps.add("Zmien", [&](platform::Runtime&, std::vector<std::string>& params) {
    count = params.size();
    for (auto& p : params) p += "!";
  });
  std::string by_value = "a", by_reference = "b";
  g.run("Zmien", "R.TXT", {by_value, &by_reference, "c"});
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(by_value, "a");
  EXPECT_EQ(by_reference, "b!");
  g.run("Zmien", "R.TXT");
  EXPECT_EQ(count, 0u);
}

TEST(Runner, ScreenColoursAndCursorAreSetBack) {
  Rig g;
  g.rt.screen.set_color("B/W");
  g.rt.screen.set_cursor_on(true);
  g.rt.screen.say(16, 35, "underneath");
  g.run("Pisz", "R.TXT", {"x"});
  EXPECT_EQ(g.rt.screen.color(), "");
  EXPECT_FALSE(g.rt.screen.cursor_on());
  EXPECT_EQ(g.rt.screen.text(16, 35, 10), "underneath");
}

TEST(Runner, StepNameLineWithAaa111) {
  Rig g;
  write_file(g.file("aaa.111"), "");
  g.steps.add("Export_jpk_vat", [](platform::Runtime& rt, std::vector<std::string>&) {
    rt.out.append({"<?xml version=\"1.0\"?>"});
    rt.out.new_line();
  });
  EXPECT_TRUE(g.run("Export_jpk_vat", "JPK_VAT.XML").ok());
  EXPECT_EQ(read_file(g.file("jpk_vat.xml")), "Export_jpk_vat\r\n<?xml version=\"1.0\"?>\r\n");
}

TEST(Runner, WorkingOnACopyIsSaidOnEveryCall) {
  Rig g;
  write_file(g.file("KOPIA.TXT"), "");
  write_file(g.file("r.txt"), "x\r\n");
  g.run("Pisz", "R.TXT");
  g.run("", "R.TXT");
  g.run("", "BRAK.TXT");
  EXPECT_EQ(g.term.count("PRACUJESZ NA KOPII"), 3);
}

TEST(Runner, ShowOnlyCall) {
  Rig g;
  write_file(g.file("r.txt"), "shown\r\n");
  bool ran = false;
  g.steps.add("Pisz", [&](platform::Runtime&, std::vector<std::string>&) { ran = true; });
  auto result = g.run("", "R.TXT", {"x"});
  EXPECT_TRUE(result.ok());
  EXPECT_FALSE(ran);
  EXPECT_EQ(read_file(g.file("r.txt")), "shown\r\n");
  EXPECT_EQ(g.status_line.substr(0, 5), "R.TXT");
  EXPECT_FALSE(g.term.showed("PROSZE CZEKAC"));
}

TEST(Runner, MissingFileIsSaidAndNoViewerFollows) {
  Rig g;
  auto result = report::VIEW_DRUK(g.rt, g.steps, "", "ROB\\BRAK.XML");  // no key is needed
  EXPECT_EQ(result.outcome, RunOutcome::kMissing);
  EXPECT_TRUE(g.term.showed("Brak pliku ROB\\BRAK.XML"));
  EXPECT_FALSE(std::filesystem::exists(g.file("rob/brak.xml")));

  // A step that leaves no file behind.
  g.steps.add("Usun", [](platform::Runtime& rt, std::vector<std::string>& params) {
    rt.files.remove(params[0]);
  });
  result = report::VIEW_DRUK(g.rt, g.steps, "Usun", "ROB\\X.TXT", {"ROB\\X.TXT"});
  EXPECT_EQ(result.outcome, RunOutcome::kMissing);
  EXPECT_TRUE(g.term.showed("Brak pliku ROB\\X.TXT"));
}

TEST(Runner, UnknownStepRunsNothingAndDeletesNothing) {
  Rig g;
  write_file(g.file("r.txt"), "keep\r\n");
  g.term.type(key::kSpace);  // the message waits for a key
  auto result = report::VIEW_DRUK(g.rt, g.steps, "Nieznany", "R.TXT");
  EXPECT_EQ(result.outcome, RunOutcome::kUnknownStep);
  EXPECT_TRUE(g.term.showed("Brak procedury Nieznany"));
  EXPECT_EQ(read_file(g.file("r.txt")), "keep\r\n");
}

TEST(Runner, StartedFromAFormEndsThatForm) {
  Rig g;
  platform::FormField field;
  g.rt.forms.pending.push_back(field);
  g.run("Pisz", "R.TXT");
  EXPECT_TRUE(g.rt.forms.pending.empty());
  EXPECT_FALSE(g.rt.forms.stop_requested);  // no form was being edited

  g.rt.forms.pending.push_back(field);
  g.rt.forms.active = &field;
  g.run("Pisz", "R.TXT");
  EXPECT_TRUE(g.rt.forms.pending.empty());
  EXPECT_TRUE(g.rt.forms.stop_requested);
}

TEST(Runner, StepThatThrowsStillGivesTheScreenBack) {
  Rig g;
  g.steps.add("Zly",
              [](platform::Runtime&, std::vector<std::string>&) { throw std::runtime_error("x"); });
  EXPECT_THROW(report::VIEW_DRUK(g.rt, g.steps, "Zly", "R.TXT"), std::runtime_error);
  EXPECT_TRUE(g.rt.out.echo());
  EXPECT_FALSE(g.rt.out.printer());
  EXPECT_FALSE(g.rt.out.has_printer_file());
}

TEST(FallbackName, KeepsTheHeadAndTheExtension) {
  struct Case {
    const char* name;
    int n;
    const char* want;
  } cases[] = {
      {"ROB\\JPK_01.XML", 51, "ROB\\JPK_51.XML"},
      {"ROB\\JPK_01.XML", 99, "ROB\\JPK_99.XML"},
      {"C:\\JPK_VAT\\JPK_VAT.XML", 51, "C:\\JPK_VAT\\JPK_V51.XML"},
      {"A.TXT", 51, "51.TXT"},
      {"AB.TXT", 52, "52.TXT"},
      {"ABC.TXT", 53, "A53.TXT"},
      {" A.TXT ", 51, "51.TXT"},
      {"AB", 51, "51AB"},
  };
  for (const auto& c : cases) EXPECT_EQ(report::fallback_name(c.name, c.n), c.want) << c.name;
}

// A folder that holds a file cannot be deleted: it stands for an output file that another
// program keeps open.
void block(const std::filesystem::path& p) {
  write_file(p / "inside", "x");
}

TEST(Runner, UndeletableOutputFallsBackToANumberedName) {
  struct Case {
    const char* name;
    std::vector<std::string> blocked;  // paths on disk
    std::vector<std::string> old_files;
    const char* used;
    const char* on_disk;
  } cases[] = {
      {"ROB\\JPK_01.XML", {"rob/jpk_01.xml"}, {}, "ROB\\JPK_51.XML", "rob/jpk_51.xml"},
      {"ROB\\JPK_01.XML",
       {"rob/jpk_01.xml", "rob/jpk_51.xml"},
       {"rob/jpk_52.xml"},
       "ROB\\JPK_52.XML",
       "rob/jpk_52.xml"},
      {"A.TXT", {"a.txt"}, {}, "51.TXT", "51.txt"},
      {"C:\\JPK_VAT\\JPK_VAT.XML",
       {"jpk_vat/jpk_vat.xml"},
       {},
       "C:\\JPK_VAT\\JPK_V51.XML",
       "jpk_vat/jpk_v51.xml"},
  };
  for (const auto& c : cases) {
    Rig g;
    for (const auto& b : c.blocked) block(g.file(b));
    for (const auto& o : c.old_files) write_file(g.file(o), "old");
    auto result = g.run("Pisz", c.name, {"new"});
    EXPECT_TRUE(result.ok()) << c.name;
    EXPECT_EQ(result.file, c.used) << c.name;
    EXPECT_EQ(read_file(g.file(c.on_disk)), "\r\nnew\r\n") << c.name;
    EXPECT_EQ(g.status_line.substr(0, result.file.size()), result.file) << c.name;
    for (const auto& b : c.blocked) EXPECT_TRUE(std::filesystem::exists(g.file(b) / "inside"));
  }
}

TEST(Runner, NoFreeNameIsAFailedWrite) {
  Rig g;
  block(g.file("rob/jpk_01.xml"));
  for (int n = 51; n <= 99; ++n) block(g.file("rob/jpk_" + std::to_string(n) + ".xml"));
  g.term.at_next_wait([](const platform::Screen& s) {
    EXPECT_NE(s.text(17).find("Nie mozna zapisac ROB\\JPK_01.XML"), std::string::npos);
  });
  g.term.type(key::kSpace);
  auto result = report::VIEW_DRUK(g.rt, g.steps, "Pisz", "ROB\\JPK_01.XML", {"x"});
  EXPECT_EQ(result.outcome, RunOutcome::kWriteFailed);
  EXPECT_EQ(result.file, "ROB\\JPK_01.XML");
  EXPECT_FALSE(result.error.empty());
}

TEST(Runner, OutputThatCannotBeCreatedIsReported) {
  struct Case {
    const char* why;
    const char* name;
    bool needs_permissions;
  } cases[] = {
      {"missing folder", "BRAK\\JPK_VAT.XML", false},
      {"a file where the folder should be", "PLIK.TXT\\JPK_VAT.XML", false},
      {"unmapped drive", "Q:\\JPK_VAT.XML", false},
      {"read-only folder", "TYLKO\\JPK_VAT.XML", true},
  };
  for (const auto& c : cases) {
    if (c.needs_permissions && geteuid() == 0) continue;  // permissions do not bind root
    Rig g;
    write_file(g.file("plik.txt"), "x");
    std::filesystem::create_directory(g.file("tylko"));
    std::filesystem::permissions(
        g.file("tylko"), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    bool ran = false;
    g.steps.add("Export_jpk_vat", [&](platform::Runtime& rt, std::vector<std::string>&) {
      ran = true;
      rt.out.new_line({"<JPK>"});
    });
    g.term.at_next_wait([&](const platform::Screen& s) {
      EXPECT_NE(s.text(17).find(std::string("Nie mozna zapisac ") + c.name), std::string::npos)
          << c.why;
    });
    g.term.type(key::kSpace);  // the message waits for a key; no viewer follows
    auto result = report::VIEW_DRUK(g.rt, g.steps, "Export_jpk_vat", c.name);
    EXPECT_EQ(result.outcome, RunOutcome::kWriteFailed) << c.why;
    EXPECT_FALSE(result.ok()) << c.why;
    EXPECT_TRUE(ran) << c.why;  // the step's other work is not skipped
    EXPECT_EQ(g.term.keys_left(), 0u) << c.why;
    EXPECT_TRUE(g.rt.out.echo()) << c.why;
    EXPECT_FALSE(g.rt.out.failed()) << c.why;  // the next call starts clean
    std::filesystem::permissions(g.file("tylko"), std::filesystem::perms::owner_all);
  }
}

// Limits the size of files this process writes, as a full disk would.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &old_);
    rlimit lim = old_;
    lim.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lim);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit old_{};
  void (*old_handler_)(int) = nullptr;
};

TEST(Runner, WriteFailureWhileTheStepRunsIsReported) {
  Rig g;
  g.steps.add("Duzo", [](platform::Runtime& rt, std::vector<std::string>&) {
    const std::string line(100, 'd');
    for (int i = 0; i < 3000; ++i) rt.out.new_line({line});
    rt.out.new_line();
  });
  g.term.at_next_wait([](const platform::Screen& s) {
    EXPECT_NE(s.text(17).find("Nie mozna zapisac JPK_VAT.XML"), std::string::npos);
  });
  g.term.type(key::kSpace);
  report::RunResult result;
  {
    FileSizeLimit limit(16 * 1024);
    result = report::VIEW_DRUK(g.rt, g.steps, "Duzo", "JPK_VAT.XML");
  }
  EXPECT_EQ(result.outcome, RunOutcome::kWriteFailed);
  EXPECT_FALSE(result.error.empty());
  EXPECT_EQ(g.term.keys_left(), 0u);  // no viewer on a document known to be cut short
}

}  // namespace
