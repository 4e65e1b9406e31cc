// The form-input state the runtime keeps: fields placed and waiting for the modal edit,
// and the field being edited (its name and value reach hot keys such as the calculator).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/colors.h"

namespace platform {

// One entry field of a form, bound to a variable through accessors.
struct FormField {
  enum class Kind { kText, kNumber };
  int row = 0, col = 0;
  std::string name;     // the bound variable's name, as hot keys see it (upper case)
  std::string picture;  // "@S30 XXXX", "99-999", "!", "@!" ... ; empty: the value's width
  Kind kind = Kind::kText;
  std::function<std::string()> get_text;  // text fields
  std::function<void(const std::string&)> set_text;
  std::function<double()> get_number;  // number fields
  std::function<void(double)> set_number;
  int width = 0;                // text width, when the picture does not give it
  int decimals = 0;             // number fields
  std::function<bool()> valid;  // condition to leave; empty: always
  // Colours taken from the colour string when the field is placed: while it is being
  // edited (enhanced pair) and while it waits (unselected pair, else the standard one).
  Attr edit_attr = make_attr(0, 7);
  Attr idle_attr = make_attr(7, 0);
};

struct FormState {
  std::vector<FormField> pending;     // placed, waiting for the modal edit
  const FormField* active = nullptr;  // the field being edited, or nullptr
  bool stop_requested = false;        // a runner started from a form ends that form
  bool insert_mode = true;            // typing inserts; Ins toggles it for every later field

  // The active field's variable name, upper case; "" outside form input.
  std::string active_name() const { return active ? active->name : std::string(); }
  void clear_pending() { pending.clear(); }

  // The active field's number, for a hot key that reads and replaces it (the calculator).
  bool active_holds_number() const {
    return active && active->kind == FormField::Kind::kNumber && active->get_number &&
           active->set_number;
  }
  double active_number() const { return active_holds_number() ? active->get_number() : 0.0; }
  void set_active_number(double value) {
    if (active_holds_number()) active->set_number(value);
  }
};

}  // namespace platform
