// Scanning SQL text: the bind variables it names and its comments.
#ifndef KAVO_ORACLE_SQL_SCAN_H_
#define KAVO_ORACLE_SQL_SCAN_H_

#include <vector>

#include "rtl/ustring.h"

namespace kavo {

struct TFoundVariable {
  String name;   // upper-cased, without the colon
  int position;  // 1-based position of the colon in the text
};

// Names following a colon outside string literals, double-quoted names and
// comments. ":=" and "::"
// name nothing; a name is letters, digits, "_", "#", "$" and any character
// from U+0080 up.
std::vector<TFoundVariable> FindVariables(const String& text, bool allow_duplicates);

// The text without its comments (optimizer hints kept when asked), trimmed;
// comment marks inside literals and double-quoted names are text.
// Each removed comment leaves one blank; a "--" comment ends with its line
// (LF, CR or CR LF), which goes with it.
String RemoveSQLComment(const String& text, bool keep_hints);

}  // namespace kavo

#endif  // KAVO_ORACLE_SQL_SCAN_H_
