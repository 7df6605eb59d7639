// Wildcard matching for the filter language's "=" and "<>".
#ifndef KAVO_ORACLE_FILTER_WILDCARD_H_
#define KAVO_ORACLE_FILTER_WILDCARD_H_

#include "rtl/ustring.h"

namespace kavo {

// Whether the whole `text` matches `pattern`, in which "*" stands for any
// run of characters (also none) and "?" for any one character. Each star
// only ever moves forward, so the cost is at most length(text) times
// length(pattern) steps, whatever the input.
bool MatchesWildcard(StringView text, StringView pattern);

}  // namespace kavo

#endif  // KAVO_ORACLE_FILTER_WILDCARD_H_
