// Field and column names compare without regard to case, as SameText does.
// They are looked up per field of every row and are nearly always ASCII, so
// an ASCII pair is compared here without a call per character.
#pragma once

#include "rtl/ustring.h"

namespace kavo {

inline bool SameFieldName(StringView a, StringView b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const Char x = a[i], y = b[i];
    if (x == y) continue;
    if (x < 0x80 && y < 0x80) {
      const Char ux = x >= u'a' && x <= u'z' ? static_cast<Char>(x - 32) : x;
      const Char uy = y >= u'a' && y <= u'z' ? static_cast<Char>(y - 32) : y;
      if (ux != uy) return false;
    } else if (UpCase(x) != UpCase(y)) {
      // Not only two non-ASCII characters: some fold onto an ASCII one.
      return false;
    }
  }
  return true;
}

}  // namespace kavo
