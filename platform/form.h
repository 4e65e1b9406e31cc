// Form input: entry fields placed on the screen and edited modally, with edit masks,
// conditions to leave and hot keys; a light-bar menu and an alert box.
//
// Masks, per position: "X" any character, "!" upper-cased, "9" a digit; any other
// character is shown and skipped ("99-999"). A leading "@!" upper-cases every letter,
// "@S30 " shows 30 columns and scrolls. Without a mask a field is as wide as its value.
//
// Modal edit keys: Up/Down move between fields, Enter moves on (leaving after the last),
// PgUp, PgDn and Ctrl+W leave, Esc leaves at once and drops the current field's edit;
// Left, Right, Home, End, Backspace, Del and Ins edit inside a field. Confirmation is on
// (typing past the last position does not leave), insert mode is on, no bell.
// Inserting never pushes a character out of a full field: the key is refused instead.
// A number field shows its value formatted; the first character typed starts it anew,
// and on leaving the text must be a number that fits, rounded to its decimals.
// A field whose condition to leave fails keeps the cursor and its variable keeps the
// value it had; Esc puts back the value the field began with.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/form_state.h"
#include "platform/runtime.h"

namespace platform {

// A text field bound to a string variable; its width is the mask's or the value's.
FormField text_field(int row, int col, std::string name, std::string* var, std::string picture = "",
                     std::function<bool()> valid = {});
// A number field bound to a double, shown in `width` columns with `decimals`.
FormField number_field(int row, int col, std::string name, double* var, int width, int decimals,
                       std::function<bool()> valid = {});

// Places a field: draws its value (in the colour string's unselected pair, or the
// standard pair when that is not set) and adds it to the pending fields.
void GET(Runtime& rt, FormField field);

// Runs the modal edit over the pending fields, then empties the list. The way it was
// left is the keyboard's last key (27 after Esc). Fields write their variables when
// left; hot keys run with the current field's text stored first and re-read after.
// A hot key that sets rt.forms.stop_requested ends the edit as soon as it returns. The
// cursor shows while the edit runs and gets its earlier state back afterwards.
void READ(Runtime& rt);

// Light-bar menu of prompts at positions; returns the chosen number (1-based) or 0 on
// Esc. Moving past the last item goes to the first and back. Enter, PgUp and PgDn choose
// the highlighted prompt, a prompt's first letter chooses that prompt; hot keys run.
struct MenuItem {
  int row, col;
  std::string prompt;
};
int MENU_TO(Runtime& rt, const std::vector<MenuItem>& items, int initial = 1);

// Alert box: a framed message with buttons; returns the chosen button (1-based), 0 on Esc.
// ";" starts a new line of the message; without buttons there is one, "Ok". Left and
// Right move between the buttons, a button's first letter chooses it.
int ALERT(Runtime& rt, const std::string& message, const std::vector<std::string>& buttons);

}  // namespace platform
