// Form input: placing fields (GET) and the modal edit over them (READ).
#include "platform/form.h"

#include <algorithm>
#include <cctype>

#include "platform/form_edit.h"
#include "platform/keys.h"

namespace platform {
namespace {

std::string upper_ascii(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Whether the colour string names its fifth pair (unselected fields).
bool names_unselected_pair(std::string_view spec) {
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    size_t comma = spec.find(',', start);
    if (comma == std::string_view::npos) return false;
    start = comma + 1;
  }
  std::string_view pair = spec.substr(start, spec.find(',', start) - start);
  return pair.find_first_not_of(" \"'") != std::string_view::npos;
}

// How the edit of one field ended.
enum class Leave { kNext, kPrevious, kForm, kEscape, kStopped };

// The variable's value when the field was entered, put back by Esc.
struct EntryValue {
  std::string text;
  double number = 0;
};

EntryValue entry_value(const FormField& f) {
  EntryValue v;
  if (f.kind == FormField::Kind::kNumber) {
    if (f.get_number) v.number = f.get_number();
  } else if (f.get_text) {
    v.text = f.get_text();
  }
  return v;
}

void put_back(const FormField& f, const EntryValue& v) {
  if (f.kind == FormField::Kind::kNumber) {
    if (f.set_number) f.set_number(v.number);
  } else if (f.set_text) {
    f.set_text(v.text);
  }
}

// Writes the edited text into the variable, when it was edited; false when a number
// field does not hold a number that fits.
bool store(const FormField& f, const FieldEditor& ed) {
  if (!ed.dirty()) return true;
  if (f.kind == FormField::Kind::kNumber) {
    std::optional<double> v = ed.number_value();
    if (!v) return false;
    if (f.set_number) f.set_number(*v);
  } else if (f.set_text) {
    f.set_text(ed.text_value());
  }
  return true;
}

// Writes the field and checks its condition to leave. A condition that fails puts the
// variable back, so a value refused here never outlives the field (Esc included).
bool try_leave(const FormField& f, const FieldEditor& ed) {
  EntryValue before = entry_value(f);
  if (!store(f, ed)) return false;
  if (f.valid && !f.valid()) {
    if (ed.dirty()) put_back(f, before);
    return false;
  }
  return true;
}

void draw(Runtime& rt, const FormField& f, const FieldEditor& ed, bool editing) {
  rt.screen.say(f.row, f.col, ed.shown(editing), editing ? f.edit_attr : f.idle_attr);
  if (editing) rt.screen.set_cursor(f.row, std::min(f.col + ed.cursor_offset(), kCols - 1));
}

// Edits one field until a key leaves it.
Leave edit_field(Runtime& rt, const FormField& f, bool first, bool last) {
  FieldEditor ed(f);
  ed.load();
  const EntryValue entry = entry_value(f);
  bool hotkey_ran = false;
  for (;;) {
    draw(rt, f, ed, true);
    const int k = rt.keys.wait(0);
    if (const HotkeyProc* bound = rt.keys.hotkey(k)) {
      // A number field's text that is no number yet cannot be stored; it stays on
      // screen unless the procedure gave the variable a new value.
      const bool unstored = !store(f, ed);
      const EntryValue before = entry_value(f);
      hotkey_ran = true;
      HotkeyProc proc = *bound;  // the procedure may unbind its own key while it runs
      proc(rt);
      rt.forms.active = &f;
      if (rt.forms.stop_requested) return Leave::kStopped;
      if (!unstored || entry_value(f).number != before.number) ed.reload();
      continue;
    }
    Leave leave = Leave::kNext;
    switch (k) {
      case key::kEnter:
        leave = last ? Leave::kForm : Leave::kNext;
        break;
      case key::kDown:
        if (last) continue;
        leave = Leave::kNext;
        break;
      case key::kUp:
        if (first) continue;
        leave = Leave::kPrevious;
        break;
      case key::kPgUp:
      case key::kPgDn:
      case key::kCtrlW:
        leave = Leave::kForm;
        break;
      case key::kEsc:
        if (hotkey_ran) put_back(f, entry);
        ed.load();
        draw(rt, f, ed, false);
        return Leave::kEscape;
      case key::kLeft:
        ed.left();
        continue;
      case key::kRight:
        ed.right();
        continue;
      case key::kHome:
        ed.home();
        continue;
      case key::kEnd:
        ed.end();
        continue;
      case key::kBackspace:
        ed.backspace();
        continue;
      case key::kDel:
        ed.del();
        continue;
      case key::kIns:
        rt.forms.insert_mode = !rt.forms.insert_mode;
        continue;
      default:
        if (k >= 32 && k <= 255) ed.type(static_cast<unsigned char>(k), rt.forms.insert_mode);
        continue;
    }
    if (!try_leave(f, ed)) continue;
    ed.load();
    draw(rt, f, ed, false);
    return leave;
  }
}

// Gives back the form-input state of an enclosing form (or none) when a READ ends,
// also when a hot key procedure throws.
class OuterFormState {
 public:
  explicit OuterFormState(Runtime& rt)
      : rt_(rt),
        active_(rt.forms.active),
        stop_(rt.forms.stop_requested),
        cursor_on_(rt.screen.cursor_on()) {}
  ~OuterFormState() {
    rt_.forms.active = active_;
    rt_.forms.stop_requested = stop_;
    rt_.forms.pending.clear();
    rt_.screen.set_cursor_on(cursor_on_);
  }
  OuterFormState(const OuterFormState&) = delete;
  OuterFormState& operator=(const OuterFormState&) = delete;

 private:
  Runtime& rt_;
  const FormField* active_;
  bool stop_;
  bool cursor_on_;
};

}  // namespace

FormField text_field(int row, int col, std::string name, std::string* var, std::string picture,
                     std::function<bool()> valid) {
  FormField f;
  f.row = row;
  f.col = col;
  f.name = upper_ascii(std::move(name));
  f.picture = std::move(picture);
  f.kind = FormField::Kind::kText;
  f.get_text = [var] { return *var; };
  f.set_text = [var](const std::string& s) { *var = s; };
  f.valid = std::move(valid);
  return f;
}

FormField number_field(int row, int col, std::string name, double* var, int width, int decimals,
                       std::function<bool()> valid) {
  FormField f;
  f.row = row;
  f.col = col;
  f.name = upper_ascii(std::move(name));
  f.kind = FormField::Kind::kNumber;
  f.get_number = [var] { return *var; };
  f.set_number = [var](double v) { *var = v; };
  f.width = width;
  f.decimals = decimals;
  f.valid = std::move(valid);
  return f;
}

void GET(Runtime& rt, FormField field) {
  field.name = upper_ascii(std::move(field.name));
  // A field without a template is as wide as its value is now.
  if (field.kind == FormField::Kind::kText && field.width <= 0 &&
      parse_picture(field.picture).tmpl.empty() && field.get_text)
    field.width = static_cast<int>(field.get_text().size());
  const ColorSet& colors = rt.screen.colors();
  field.edit_attr = colors.enhanced;
  field.idle_attr = names_unselected_pair(rt.screen.color()) ? colors.unselected : colors.standard;
  FieldEditor ed(field);
  ed.load();
  draw(rt, field, ed, false);
  rt.forms.pending.push_back(std::move(field));
}

void READ(Runtime& rt) {
  // The fields are taken out of the pending list, so a hot key may place and read a
  // form of its own.
  std::vector<FormField> fields = std::move(rt.forms.pending);
  rt.forms.pending.clear();
  if (fields.empty()) return;
  OuterFormState outer(rt);
  rt.forms.stop_requested = false;
  rt.screen.set_cursor_on(true);

  size_t i = 0;
  for (bool done = false; !done;) {
    rt.forms.active = &fields[i];
    switch (edit_field(rt, fields[i], i == 0, i + 1 == fields.size())) {
      case Leave::kNext:
        ++i;
        break;
      case Leave::kPrevious:
        --i;
        break;
      default:
        done = true;
    }
    done = done || i >= fields.size();
  }
}

}  // namespace platform
