// The editing buffer of one form field: its picture taken apart, the text being edited,
// the cursor and the scrolled window of an "@S" field. The modal edit (form.cpp) drives it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/form_state.h"

namespace platform {

// A picture taken apart: the "@" functions and the per-position template.
struct Picture {
  bool upper_all = false;  // "@!": every letter upper-cased
  int scroll = 0;          // "@S30": columns shown, 0 when the field is not scrolled
  std::string tmpl;        // "99-999", "XXX"; empty when the picture has no template
};
Picture parse_picture(std::string_view picture);

// A number right-aligned in `width` columns with `decimals`; asterisks when it does not fit.
std::string format_number(double value, int width, int decimals);

// The upper-case form of a code page 852 character (Polish letters included).
unsigned char upper_cp852(unsigned char c);

class FieldEditor {
 public:
  explicit FieldEditor(const FormField& field);

  // Fills the buffer from the variable. load() puts the cursor on the first editable
  // position; reload() keeps it where it was (after a hot key changed the variable).
  void load();
  void reload();

  // Types one character at the cursor; false when the position refuses it (a digit
  // position, a field typed full, no room left to insert).
  bool type(unsigned char c, bool insert);
  void left();
  void right();
  void home();
  void end();
  void backspace();
  void del();

  int length() const { return static_cast<int>(buf_.size()); }
  int shown_width() const { return shown_; }
  int pos() const { return pos_; }
  const std::string& text() const { return buf_; }
  // The buffer differs from the variable: something was typed or deleted.
  bool dirty() const { return dirty_; }

  // The columns shown: scrolled to the cursor while edited, from the start otherwise.
  std::string shown(bool editing) const;
  // Where the cursor shows, counted from the field's first column.
  int cursor_offset() const { return pos_ - off_; }

  // What leaving writes. A text keeps whatever part of the variable lies beyond the
  // field; a number is parsed and rounded to its decimals (nullopt: not a number, or
  // too wide for the field).
  std::string text_value() const;
  std::optional<double> number_value() const;

 private:
  bool number() const { return field_.kind == FormField::Kind::kNumber; }
  bool editable(int i) const { return classes_[static_cast<size_t>(i)] != ' '; }
  int next_editable(int i) const;
  int prev_editable(int i) const;
  int section_end(int i) const;
  bool accepts(int i, unsigned char c) const;
  unsigned char shaped(int i, unsigned char c) const;
  std::string rendered() const;
  std::string variable_text() const;
  void follow_cursor();

  const FormField& field_;
  bool upper_all_ = false;
  std::string classes_;   // per position: 'X' any, '!' upper, '9' digit, '#' number, ' ' literal
  std::string literals_;  // the template's characters, shown at literal positions
  std::string buf_;
  int shown_ = 0;
  int pos_ = 0;  // 0 .. length(); length() once the last position was typed
  int off_ = 0;  // first position shown of a scrolled field
  bool dirty_ = false;
  bool fresh_ = false;  // a number field not yet touched: the first character typed clears it
};

}  // namespace platform
