#include "ib/ib_trace_texts.h"

#include "ib/ib_database.h"
#include "ib/ib_sql.h"
#include "ib/ib_transaction.h"
#include "recordset/dataset.h"

namespace kavo {

namespace {

constexpr StringView kLineBreak = u"\r\n";

}  // namespace

String TraceName(const TIBSQL& sql) {
  if (auto* owner = dynamic_cast<const TDataSet*>(sql.Owner())) return owner->Name();
  return sql.Name();
}

String PrepareTraceText(TIBSQL& sql) {
  String plan;
  try {
    plan = sql.Plan();
  } catch (...) {
    plan = u"Can't retrieve plan - too large";
  }
  return TraceName(sql) + u": [Prepare] " + sql.SQL().Text() + String(kLineBreak) + u"  Plan: " +
         plan;
}

String ExecuteTraceText(TIBSQL& sql) {
  String text = TraceName(sql) + u": [Execute] " + sql.SQL().Text();
  TIBXSQLDA& params = sql.Params();
  for (int i = 0; i < params.Count(); ++i) {
    TIBXSQLVAR& p = params[i];
    String value;
    if (p.IsNull()) {
      value = u"<NULL>";
    } else if (p.SQLType() == SQL_BLOB) {
      value = u"<BLOB>";
    } else {
      try {
        value = p.AsString();
      } catch (...) {
        value = u"<Cannot print value>";
      }
    }
    text += String(kLineBreak) + u"  " + p.Name() + u" = " + value;
  }
  return text;
}

String FetchTraceText(const TIBSQL& sql) {
  String text = TraceName(sql) + u": [Fetch] " + const_cast<TIBSQL&>(sql).SQL().Text();
  if (sql.Eof()) text += String(kLineBreak) + u"  SEOFReached";
  return text;
}

String ConnectTraceText(const TIBDatabase& db) { return db.Name() + u": [Connect]"; }

String DisconnectTraceText(const TIBDatabase& db) { return db.Name() + u": [Disconnect]"; }

String TransactionTraceText(const TIBTransaction& tr, StringView what) {
  return tr.Name() + u": [" + String(what) + u"]";
}

}  // namespace kavo
