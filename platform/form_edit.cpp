// Field editing: pictures, the edit buffer, cursor movement and number formatting.
#include "platform/form_edit.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/cp852.h"

namespace platform {
namespace {

constexpr int kMaxWidth = 4096;  // a field wider than any screen line is still cut here

bool is_digit(unsigned char c) {
  return c >= '0' && c <= '9';
}

// The template character of an editable position, or ' ' for a literal one.
char position_class(char t) {
  switch (t) {
    case 'X':
    case 'x':
      return 'X';
    case '!':
      return '!';
    case '9':
      return '9';
    default:
      return ' ';
  }
}

char32_t upper_unicode(char32_t cp) {
  if (cp >= U'a' && cp <= U'z') return cp - 0x20;
  if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) return cp - 0x20;  // Latin-1 letters
  // Latin Extended-A: pairs of upper then lower, with the run 0x139-0x148 and the
  // run 0x179-0x17E starting on an odd code.
  bool odd_upper = (cp >= 0x139 && cp <= 0x148) || (cp >= 0x179 && cp <= 0x17E);
  bool even_upper = (cp >= 0x100 && cp <= 0x137) || (cp >= 0x14A && cp <= 0x177);
  if (even_upper && (cp & 1)) return cp - 1;
  if (odd_upper && !(cp & 1)) return cp - 1;
  return cp;
}

// A number as the user typed it: blanks around, a sign, digits and one point.
std::optional<double> parse_number(std::string_view text) {
  size_t b = text.find_first_not_of(' ');
  if (b == std::string_view::npos) return 0.0;
  size_t e = text.find_last_not_of(' ');
  std::string s(text.substr(b, e - b + 1));
  size_t i = 0;
  if (s[i] == '-' || s[i] == '+') ++i;
  int digits = 0, points = 0;
  for (; i < s.size(); ++i) {
    if (is_digit(static_cast<unsigned char>(s[i]))) {
      ++digits;
    } else if (s[i] == '.' && points == 0) {
      ++points;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0) return std::nullopt;
  return std::strtod(s.c_str(), nullptr);
}

double round_to(double value, int decimals) {
  double scale = std::pow(10.0, std::clamp(decimals, 0, 15));
  double r = std::round(value * scale) / scale;
  return r == 0 ? 0.0 : r;  // no "-0.00"
}

}  // namespace

Picture parse_picture(std::string_view picture) {
  Picture out;
  if (!picture.empty() && picture[0] == '@') {
    size_t end = picture.find(' ');
    std::string_view functions = picture.substr(1, end == std::string_view::npos ? end : end - 1);
    for (size_t i = 0; i < functions.size(); ++i) {
      char c = static_cast<char>(std::toupper(static_cast<unsigned char>(functions[i])));
      if (c == '!') {
        out.upper_all = true;
      } else if (c == 'S') {
        int n = 0;
        while (i + 1 < functions.size() && is_digit(static_cast<unsigned char>(functions[i + 1])))
          n = std::min(n * 10 + (functions[++i] - '0'), kMaxWidth);
        out.scroll = n;
      }
    }
    picture = end == std::string_view::npos ? std::string_view() : picture.substr(end + 1);
  }
  out.tmpl = std::string(picture.substr(0, kMaxWidth));
  return out;
}

std::string format_number(double value, int width, int decimals) {
  width = std::clamp(width, 1, kMaxWidth);
  decimals = std::clamp(decimals, 0, 15);
  if (!std::isfinite(value)) return std::string(static_cast<size_t>(width), '*');
  char text[400];
  int n = std::snprintf(text, sizeof text, "%.*f", decimals, round_to(value, decimals));
  if (n < 0 || n > width) return std::string(static_cast<size_t>(width), '*');
  return std::string(static_cast<size_t>(width - n), ' ') + text;
}

unsigned char upper_cp852(unsigned char c) {
  if (c < 0x80) return static_cast<unsigned char>(std::toupper(c));
  int upper = cp852::from_unicode(upper_unicode(cp852::to_unicode(c)));
  return upper < 0 ? c : static_cast<unsigned char>(upper);
}

FieldEditor::FieldEditor(const FormField& field) : field_(field) {
  int len = 0;
  int scroll = 0;
  if (number()) {
    len = std::clamp(field.width, 1, kMaxWidth);
    classes_.assign(static_cast<size_t>(len), '#');
    literals_.assign(static_cast<size_t>(len), ' ');
  } else {
    Picture pic = parse_picture(field.picture);
    upper_all_ = pic.upper_all;
    scroll = pic.scroll;
    if (!pic.tmpl.empty()) {
      literals_ = pic.tmpl;
      for (char t : pic.tmpl) classes_ += position_class(t);
    } else {
      len = field.width > 0 ? field.width : static_cast<int>(variable_text().size());
      len = std::min(len, kMaxWidth);
      classes_.assign(static_cast<size_t>(len), 'X');
      literals_.assign(static_cast<size_t>(len), ' ');
    }
    len = static_cast<int>(classes_.size());
  }
  shown_ = scroll > 0 ? std::min(scroll, len) : len;
  buf_.assign(static_cast<size_t>(len), ' ');
}

std::string FieldEditor::variable_text() const {
  return field_.get_text ? field_.get_text() : std::string();
}

std::string FieldEditor::rendered() const {
  if (number()) {
    double v = field_.get_number ? field_.get_number() : 0.0;
    return format_number(v, length(), field_.decimals);
  }
  std::string value = variable_text();
  std::string out = literals_;
  for (int i = 0; i < length(); ++i) {
    if (!editable(i)) continue;
    size_t k = static_cast<size_t>(i);
    out[k] = static_cast<char>(shaped(i, k < value.size() ? value[k] : ' '));
  }
  return out;
}

void FieldEditor::load() {
  buf_ = rendered();
  pos_ = next_editable(-1);
  off_ = 0;
  dirty_ = false;
  fresh_ = number();
  follow_cursor();
}

void FieldEditor::reload() {
  buf_ = rendered();
  pos_ = std::min(pos_, length());
  dirty_ = false;
  follow_cursor();
}

int FieldEditor::next_editable(int i) const {
  for (int j = i + 1; j < length(); ++j)
    if (editable(j)) return j;
  return length();
}

int FieldEditor::prev_editable(int i) const {
  for (int j = std::min(i, length()) - 1; j >= 0; --j)
    if (editable(j)) return j;
  return -1;
}

// The last position of the run of editable positions holding i: typing and deleting
// shift characters within that run only, so the parts of "99-999" stay apart.
int FieldEditor::section_end(int i) const {
  while (i + 1 < length() && editable(i + 1)) ++i;
  return i;
}

bool FieldEditor::accepts(int i, unsigned char c) const {
  switch (classes_[static_cast<size_t>(i)]) {
    case '9':
      return is_digit(c);
    case '#':
      return is_digit(c) || c == '-' || c == '+' || c == '.' || c == ',';
    default:
      return c >= ' ';
  }
}

unsigned char FieldEditor::shaped(int i, unsigned char c) const {
  char cls = classes_[static_cast<size_t>(i)];
  if (cls == '#' && c == ',') return '.';
  if (cls == '!' || (upper_all_ && cls == 'X')) return upper_cp852(c);
  return c;
}

bool FieldEditor::type(unsigned char c, bool insert) {
  if (pos_ >= length() || !accepts(pos_, c)) return false;
  c = shaped(pos_, c);
  if (fresh_) {  // a number is typed anew rather than edited
    for (int i = 0; i < length(); ++i)
      if (editable(i)) buf_[static_cast<size_t>(i)] = ' ';
    pos_ = next_editable(-1);
    fresh_ = false;
  }
  const size_t p = static_cast<size_t>(pos_);
  const int end = section_end(pos_);
  // At the last position of a full part insert and overwrite are the same: the typed
  // character takes the place (so "2" replaces the "1" of a one-character field).
  if (!insert || (pos_ == end && buf_[p] != ' ' && !number())) {
    buf_[p] = static_cast<char>(c);
  } else if (buf_[static_cast<size_t>(end)] == ' ') {
    for (int i = end; i > pos_; --i)
      buf_[static_cast<size_t>(i)] = buf_[static_cast<size_t>(i - 1)];
    buf_[p] = static_cast<char>(c);
  } else {
    // No room on the right. A number grows to the left into its leading blanks, so the
    // character lands before the cursor; anything else refuses rather than push a
    // character out of the field.
    int blank = -1;
    if (number())
      for (int i = pos_ - 1; i >= 0 && blank < 0; --i)
        if (buf_[static_cast<size_t>(i)] == ' ') blank = i;
    if (blank < 0) return false;
    for (int i = blank; i < pos_ - 1; ++i)
      buf_[static_cast<size_t>(i)] = buf_[static_cast<size_t>(i + 1)];
    buf_[p - 1] = static_cast<char>(c);
    dirty_ = true;
    follow_cursor();
    return true;
  }
  dirty_ = true;
  pos_ = next_editable(pos_);  // past the last position the field stays: confirmation is on
  follow_cursor();
  return true;
}

void FieldEditor::left() {
  fresh_ = false;
  int j = prev_editable(pos_);
  if (j >= 0) pos_ = j;
  follow_cursor();
}

void FieldEditor::right() {
  fresh_ = false;
  int j = next_editable(pos_);
  if (j < length()) pos_ = j;
  follow_cursor();
}

void FieldEditor::home() {
  fresh_ = false;
  pos_ = next_editable(-1);
  follow_cursor();
}

// Just after the last character typed, or on the last position of a full field.
void FieldEditor::end() {
  fresh_ = false;
  int last = -1;
  for (int i = 0; i < length(); ++i)
    if (editable(i) && buf_[static_cast<size_t>(i)] != ' ') last = i;
  int target = next_editable(last);
  if (target >= length()) target = std::max(prev_editable(length()), 0);
  pos_ = std::min(target, length());
  follow_cursor();
}

void FieldEditor::del() {
  fresh_ = false;
  if (pos_ >= length()) return;
  const int end = section_end(pos_);
  for (int i = pos_; i < end; ++i) buf_[static_cast<size_t>(i)] = buf_[static_cast<size_t>(i + 1)];
  buf_[static_cast<size_t>(end)] = ' ';
  dirty_ = true;
  follow_cursor();
}

void FieldEditor::backspace() {
  fresh_ = false;
  int j = prev_editable(pos_);
  if (j < 0) return;
  pos_ = j;
  del();
}

void FieldEditor::follow_cursor() {
  if (shown_ <= 0 || length() == 0) {
    off_ = 0;
    return;
  }
  int at = std::min(pos_, length() - 1);
  if (at < off_) off_ = at;
  if (at >= off_ + shown_) off_ = at - shown_ + 1;
}

std::string FieldEditor::shown(bool editing) const {
  return buf_.substr(static_cast<size_t>(editing ? off_ : 0), static_cast<size_t>(shown_));
}

std::string FieldEditor::text_value() const {
  std::string value = variable_text();
  if (value.size() > buf_.size()) return buf_ + value.substr(buf_.size());
  return buf_;
}

std::optional<double> FieldEditor::number_value() const {
  std::optional<double> v = parse_number(buf_);
  if (!v) return std::nullopt;
  double r = round_to(*v, field_.decimals);
  if (format_number(r, length(), field_.decimals).find('*') != std::string::npos)
    return std::nullopt;
  return r;
}

}  // namespace platform
