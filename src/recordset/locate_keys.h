// What Locate and Lookup share between the record sets: the key field list
// and how one held value matches one wanted value.
#ifndef KAVO_RECORDSET_LOCATE_KEYS_H_
#define KAVO_RECORDSET_LOCATE_KEYS_H_

#include <vector>

#include "recordset/variant.h"
#include "rtl/ustring.h"

namespace kavo {

// Locate's options (a set).
enum TLocateOption : unsigned { loCaseInsensitive = 1u << 0, loPartialKey = 1u << 1 };

// The names of a list separated by ";", trimmed, empty ones left out.
std::vector<String> SplitFieldNames(const String& list);

// NULL (or empty) matches only NULL; text on either side compares as text,
// upper-cased when `ignore_case`, as a prefix when `partial`; dates compare
// as dates, anything else as numbers.
bool KeyValueMatches(const OraVariant& have, const OraVariant& wanted, bool ignore_case,
                     bool partial);

}  // namespace kavo

#endif  // KAVO_RECORDSET_LOCATE_KEYS_H_
