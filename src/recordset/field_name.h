// Field and column names compare without regard to case, as SameText does.
// They are looked up per field of every row and are nearly always ASCII, so
// an ASCII pair is compared here without a call per character.
#ifndef KAVO_RECORDSET_FIELD_NAME_H_
#define KAVO_RECORDSET_FIELD_NAME_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

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

// The same name spelled the same way: memcmp, where the character-wise
// compare of UTF-16 costs a loop per unit.
inline bool SameSpelling(StringView a, StringView b) {
  return a.size() == b.size() && !a.empty() &&
         std::memcmp(a.data(), b.data(), a.size() * sizeof(Char)) == 0;
}

// What FindFieldName keeps between look-ups of one owner's names. The owner
// calls Invalidate() whenever a name changes.
struct FieldNameIndex {
  void Invalidate() { unique = -1; }

  int8_t unique = -1;          // no two names the same; -1 until known
  size_t next = 0;             // after the last one found
  std::vector<uint64_t> keys;  // per name: its length and upper-cased first unit
};

inline uint64_t FieldNameKey(StringView name) {
  return name.empty() ? 0 : (static_cast<uint64_t>(name.size()) << 16) | UpCase(name[0]);
}

// The search of FindFieldName beyond its first guess.
template <typename NameAt>
size_t FindFieldNameFrom(size_t n, NameAt name_at, StringView wanted, FieldNameIndex& index) {
  if (index.unique < 0 || index.keys.size() != n) {
    index.keys.resize(n);
    for (size_t i = 0; i < n; ++i) index.keys[i] = FieldNameKey(name_at(i));
    index.unique = 1;
    for (size_t i = 0; i < n && index.unique == 1; ++i)
      for (size_t j = i + 1; j < n && index.unique == 1; ++j)
        if (index.keys[i] == index.keys[j] && SameFieldName(name_at(i), name_at(j)))
          index.unique = 0;
  }
  size_t i = index.unique == 1 && index.next < n ? index.next : 0;
  const uint64_t key = FieldNameKey(wanted);
  for (size_t k = 0; k < n; ++k) {
    if (index.keys[i] == key && (SameSpelling(name_at(i), wanted) ||
                                 SameFieldName(name_at(i), wanted))) {
      index.next = i + 1;
      return i;
    }
    if (++i == n) i = 0;
  }
  return n;
}

// The index of the first of `n` names (`name_at(i)`) that is `wanted`, or
// `n`. Names are mostly asked for in their order, row after row: while no
// two names are the same, the search starts after the last one found and
// wraps around; only a name of the same length and first letter is compared.
// The first guess, the name after the last one found spelled as asked, is
// inline, with nothing to fold.
template <typename NameAt>
inline size_t FindFieldName(size_t n, NameAt name_at, StringView wanted, FieldNameIndex& index) {
  const size_t i = index.next;
  if (index.unique == 1 && i < n && index.keys.size() == n) {
    if (SameSpelling(name_at(i), wanted)) {
      index.next = i + 1;
      return i;
    }
  }
  return FindFieldNameFrom(n, name_at, wanted, index);
}

}  // namespace kavo

#endif  // KAVO_RECORDSET_FIELD_NAME_H_
