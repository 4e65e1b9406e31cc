// The merge run: one start of the program is one merge.
#include "app/merge_run.h"

#include "app/EXPORT.h"
#include "app/company_forms.h"
#include "app/czyt_xml_jpk.h"
#include "app/dbu_jpk.h"
#include "app/jpk_dbf.h"
#include "lib/tables/_fun1.h"
#include "lib/tables/_fun3.h"
#include "platform/form.h"

namespace app {
namespace {

constexpr int kSourceListSlot = 50;
const char* const kDocumentName = "JPK_VAT.XML";

std::string trim(std::string_view t) {
  size_t b = t.find_first_not_of(' ');
  if (b == std::string_view::npos) return "";
  size_t e = t.find_last_not_of(' ');
  return std::string(t.substr(b, e - b + 1));
}

// Reads every marked file of the source list, in list order, into the merge work table.
void read_marked_files(platform::Runtime& rt, const report::StepTable& steps) {
  auto& v = rt.vars;
  rt.tables.select(kSourceListSlot);
  platform::dbf::Table* list = rt.tables.current();
  if (!list) return;
  list->go_top();
  v.J = 0;
  while (!list->eof()) {
    if (list->get("X_X") == "X") {
      v.PLIK2 = trim(list->get("NAZWA"));
      ++v.J;
      std::string number = v.J < 10 ? std::to_string(v.J) : "*";
      tables::_OKNO_(rt, number + ". " + v.PLIK2);
      report::VIEW_DRUK(rt, steps, "Czyt_XML_JPK", v.PLIK, {v.PLIK2});
    }
    rt.tables.select(kSourceListSlot);
    list = rt.tables.current();
    if (!list) return;
    list->skip();
  }
}

// The output folder prompt: one upper-case field of 20 characters; Esc keeps the default.
void ask_output_folder(platform::Runtime& rt) {
  auto& s = rt.screen;
  s.set_color("RB+/N,W+/RB");
  s.say(20, 5, "Plik: " + rt.vars.PLIK);
  rt.vars.M_FOLDER = "C:\\JPK_VAT";
  rt.vars.M_FOLDER.resize(20, ' ');
  s.say(21, 5, "zapisac w folderze:");
  platform::GET(rt, platform::text_field(21, 25, "M_FOLDER", &rt.vars.M_FOLDER, "@!"));
  platform::READ(rt);
  s.set_color("");
}

}  // namespace

report::StepTable merge_steps() {
  report::StepTable steps;
  steps.add("Czyt_XML_JPK", [](platform::Runtime& rt, std::vector<std::string>& params) {
    CZYT_XML_JPK(rt, params.empty() ? std::string() : params[0]);
  });
  steps.add("Export_jpk_vat",
            [](platform::Runtime& rt, std::vector<std::string>&) { EXPORT_JPK_VAT(rt); });
  return steps;
}

std::string output_path(std::string_view typed, bool* make_folder) {
  std::string folder = trim(typed);
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  *make_folder = false;
  if (folder.empty()) return kDocumentName;
  if (folder.back() != ':') *make_folder = true;
  return folder + "\\" + kDocumentName;
}

void merge_run(platform::Runtime& rt) {
  auto& v = rt.vars;
  const report::StepTable steps = merge_steps();

  v.II = DBU_JPK(rt);
  if (v.II <= 1) return;
  rt.files.make_dir("ROB");
  // Without the work table nothing can be merged; its own message has said why.
  if (!TWORZ_JPK_DBF(rt)) return;
  v.PLIK = "ROB\\JPK_" + tables::STR2(v.STACJA) + ".XML";
  read_marked_files(rt, steps);

  if (!INIT_FIRMA(rt)) return;
  rt.files.make_dir("JPK_XML");
  if (!DANE_FIRMAJPK(rt)) return;
  rt.forms.clear_pending();

  v.PLIK = kDocumentName;
  ask_output_folder(rt);
  bool make_folder = false;
  v.PLIK = output_path(v.M_FOLDER, &make_folder);
  if (make_folder)
    rt.files.make_dir(v.PLIK.substr(0, v.PLIK.size() - std::string(kDocumentName).size() - 1));

  report::RunResult written = report::VIEW_DRUK(rt, steps, "Export_jpk_vat", v.PLIK);
  // A document that could not be written has been reported by the runner; announcing its
  // path would tell the user it is there.
  if (!written.ok()) return;
  // Where the runner had to use a numbered name, that is where the document is.
  tables::_OKNO_(rt, written.file.empty() ? v.PLIK : written.file);
}

}  // namespace app
