// Counting characters (code points) in UTF-16 text: a pair of surrogates is
// one character, as a server that counts characters sees it.
#ifndef KAVO_RTL_CODE_POINTS_H_
#define KAVO_RTL_CODE_POINTS_H_

#include <cstddef>

#include "rtl/ustring.h"

namespace kavo {

inline bool IsLeadSurrogate(Char c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool IsTrailSurrogate(Char c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The characters of `text`; a lone surrogate counts as one.
inline size_t CharacterCount(StringView text) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); ++i, ++count)
    if (IsLeadSurrogate(text[i]) && i + 1 < text.size() && IsTrailSurrogate(text[i + 1])) ++i;
  return count;
}

// The UTF-16 units of the first `characters` characters of `text`.
inline size_t UnitsOfCharacters(StringView text, size_t characters) {
  size_t i = 0;
  for (size_t n = 0; n < characters && i < text.size(); ++n, ++i)
    if (IsLeadSurrogate(text[i]) && i + 1 < text.size() && IsTrailSurrogate(text[i + 1])) ++i;
  return i;
}

}  // namespace kavo

#endif  // KAVO_RTL_CODE_POINTS_H_
