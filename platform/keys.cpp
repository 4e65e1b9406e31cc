// Alt+letter key codes: the scan codes of the PC keyboard plus 256.
#include "platform/keys.h"

#include <cctype>

namespace platform::key {

int alt_letter(char letter) {
  static const int kScan[26] = {30, 48, 46, 32, 18, 33, 34, 35, 23, 36, 37, 38, 50,
                                49, 24, 25, 16, 19, 31, 20, 22, 47, 17, 45, 21, 44};
  int c = std::tolower(static_cast<unsigned char>(letter));
  if (c < 'a' || c > 'z') return kNone;
  return 256 + kScan[c - 'a'];
}

}  // namespace platform::key
