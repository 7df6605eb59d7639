// Named parameters in SQL text: ":NAME" markers become the API's "?".
#ifndef KAVO_IB_IB_SQL_PARSER_H_
#define KAVO_IB_IB_SQL_PARSER_H_

#include <vector>

#include "rtl/ustring.h"

namespace kavo {

struct TProcessedSQL {
  String text;                 // with every marker replaced by "?"
  std::vector<String> names;   // one per marker, in text order, as written
};

// Markers are ":" or "?" outside quotes, slash-star comments and line
// comments ("--" to the end of the line); a name is [A-Za-z0-9_$]* or a
// double-quoted text. A marker without a name gets "IBParam<n>" when
// `generate_param_names` is set, else raises ibceSQLParseError "Parameter
// name expected". Text that ends inside a literal or a slash-star comment
// raises ibceSQLParseError as well.
TProcessedSQL PreprocessSQL(StringView sql, bool generate_param_names);

// Identifier normalisation of stored and wanted names: dialect 1 trims and
// upper-cases; dialect 3 trims, then removes the double quotes of a quoted
// name (halving doubled ones) or upper-cases any other.
String FormatIdentifierValue(int dialect, StringView name);

}  // namespace kavo

#endif  // KAVO_IB_IB_SQL_PARSER_H_
