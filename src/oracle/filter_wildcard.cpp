#include "oracle/filter_wildcard.h"

namespace kavo {

bool MatchesWildcard(StringView text, StringView pattern) {
  size_t t = 0, p = 0;
  // The last star seen and the text position its run currently ends at.
  // Retrying only from the last star is enough: an earlier star can absorb
  // whatever a later one would have to give back.
  size_t star = StringView::npos, star_text = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      star_text = t;
    } else if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == text[t])) {
      ++t;
      ++p;
    } else if (star != StringView::npos) {
      p = star + 1;
      t = ++star_text;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == u'*') ++p;
  return p == pattern.size();
}

}  // namespace kavo
