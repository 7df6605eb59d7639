// The texts the trace hook publishes for each event, before the
// "[Application: ...]" prefix that every record gets.
#ifndef KAVO_IB_IB_TRACE_TEXTS_H_
#define KAVO_IB_IB_TRACE_TEXTS_H_

#include "rtl/ustring.h"

namespace kavo {

class TIBDatabase;
class TIBSQL;
class TIBTransaction;

// The name a statement's texts carry: the component name of the dataset that
// owns it, else its own.
String TraceName(const TIBSQL& sql);

// name ": [Prepare] " SQL, a line break, "  Plan: " and the plan (or the
// text that says it could not be read).
String PrepareTraceText(TIBSQL& sql);
// name ": [Execute] " SQL, then per parameter a line break, two blanks,
// name " = " value ("<NULL>", "<BLOB>", "<Cannot print value>").
String ExecuteTraceText(TIBSQL& sql);
// name ": [Fetch] " SQL, and at the end of the rows a line break, two blanks
// and "SEOFReached".
String FetchTraceText(const TIBSQL& sql);

String ConnectTraceText(const TIBDatabase& db);
String DisconnectTraceText(const TIBDatabase& db);
// `what`: "Start transaction", "Commit (Hard commit)", ...
String TransactionTraceText(const TIBTransaction& tr, StringView what);

}  // namespace kavo

#endif  // KAVO_IB_IB_TRACE_TEXTS_H_
