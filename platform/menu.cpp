// The light-bar menu: prompts at their positions, the current one highlighted.
#include <cctype>

#include "platform/form.h"
#include "platform/keys.h"

namespace platform {
namespace {

int first_letter(const std::string& prompt) {
  for (unsigned char c : prompt)
    if (c != ' ') return std::toupper(c);
  return -1;
}

}  // namespace

int MENU_TO(Runtime& rt, const std::vector<MenuItem>& items, int initial) {
  const int n = static_cast<int>(items.size());
  if (n == 0) return 0;
  const Attr normal = rt.screen.colors().standard;
  const Attr bar = rt.screen.colors().enhanced;
  auto show = [&](int i, Attr attr) {
    const MenuItem& item = items[static_cast<size_t>(i - 1)];
    rt.screen.say(item.row, item.col, item.prompt, attr);
  };
  auto show_all = [&] {
    for (int i = 1; i <= n; ++i) show(i, normal);
  };
  int current = initial >= 1 && initial <= n ? initial : 1;
  show_all();
  for (;;) {
    show(current, bar);
    const MenuItem& item = items[static_cast<size_t>(current - 1)];
    rt.screen.set_cursor(item.row, item.col);
    const int k = rt.keys.wait(0);
    if (const HotkeyProc* bound = rt.keys.hotkey(k)) {
      HotkeyProc proc = *bound;  // the procedure may unbind its own key while it runs
      proc(rt);
      show_all();
      continue;
    }
    int next = current;
    switch (k) {
      case key::kUp:
      case key::kLeft:
        next = current == 1 ? n : current - 1;
        break;
      case key::kDown:
      case key::kRight:
        next = current == n ? 1 : current + 1;
        break;
      case key::kHome:
        next = 1;
        break;
      case key::kEnd:
        next = n;
        break;
      case key::kEnter:
      case key::kPgUp:
      case key::kPgDn:
        return current;
      case key::kEsc:
        return 0;
      default:
        // A prompt's first letter chooses it.
        if (k > 32 && k <= 255) {
          for (int i = 1; i <= n; ++i) {
            if (first_letter(items[static_cast<size_t>(i - 1)].prompt) == std::toupper(k)) {
              show(current, normal);
              show(i, bar);
              return i;
            }
          }
        }
        continue;
    }
    show(current, normal);
    current = next;
  }
}

}  // namespace platform
