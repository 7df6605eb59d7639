// TOracleDataSet: locking, checking or refreshing a stored row (the row
// writer reads it back and compares, row_check.cpp); the savepoint around a
// row's work; the messages of failures.
#include "oracle/dataset_messages.h"
#include "oracle/oracle_dataset.h"
#include "oracle/oracle_types.h"
#include "oracle/sql_scan.h"
#include "recordset/database_error.h"

namespace kavo {

using oracle_engine::RowFetch;

namespace {

constexpr const Char* kLockpoint = u"VZO__LOCKPOINT";

}  // namespace

bool TOracleDataSet::OfferApply(Char action, String* new_rowid) {
  if (!OnApplyRecord) return false;
  bool applied = false;
  String rowid;
  OnApplyRecord(*this, action, applied, rowid);
  if (applied && new_rowid != nullptr) *new_rowid = rowid;
  return applied;
}

// ---- transactions -----------------------------------------------------------------------

void TOracleDataSet::Lockpoint() {
  lockpoint_set_ = false;
  if (Logging() || session_ == nullptr || session_->AutoCommit()) return;
  TOracleQuery& q = DMLQuery();
  q.Clear();
  q.SetStatementText(String(u"savepoint ") + kLockpoint);
  q.Execute();
  lockpoint_set_ = true;
}

void TOracleDataSet::RollbackToLockpoint() {
  if (Logging() || session_ == nullptr) return;
  lockpoint_set_ = false;
  if (session_->AutoCommit()) {
    if (commit_on_post_) session_->Rollback();
    return;
  }
  TOracleQuery& q = DMLQuery();
  q.Clear();
  q.SetStatementText(String(u"rollback to savepoint ") + kLockpoint);
  q.Execute();
}

void TOracleDataSet::CommitSession() {
  if (Logging() || !commit_on_post_ || session_ == nullptr || session_->AutoCommit()) return;
  session_->Commit();
}

void TOracleDataSet::RollbackSession() {
  if (Logging() || !commit_on_post_ || session_ == nullptr) return;
  session_->Rollback();
}

void TOracleDataSet::CopyVariablesNamedIn(TOracleQuery& q, const String& text) {
  // Nothing to copy, or no variable named: the text need not be scanned.
  if (main_query_->VariableCount() == 0 || text.find(u':') == String::npos) return;
  for (const TFoundVariable& v : FindVariables(text, false)) {
    int i = main_query_->VariableIndex(v.name);
    if (i < 0 || q.VariableIndex(v.name) >= 0) continue;
    q.DeclareVariable(v.name, main_query_->VariableType(i));
    q.SetVariable(v.name, main_query_->GetVariable(i));
  }
}

// ---- the stored row ---------------------------------------------------------------------

bool TOracleDataSet::FetchRecord(RowFetch what, TRecordBuffer record) {
  return writer_.Fetch(what, record).refreshed;
}

void TOracleDataSet::LockRecord(bool check_only) {
  CheckActive();
  FetchRecord({.lock = !check_only, .check = true}, nullptr);
}

void TOracleDataSet::RefreshRecord() {
  CheckActive();
  if (State() == dsInsert || CurrentStored() == nullptr) return;
  TRecordBuffer stored = CurrentStored();
  FetchRecord({.refresh = true, .all_fields = (refresh_options_ & roAllFields) != 0}, stored);
  if (TRecordBuffer b = ActiveBuffer(); b != nullptr && State() == dsBrowse) {
    CopyToBuffer(stored, b, record_size_);
    Header(b).BookmarkFlag = bfCurrent;
    GetCalcFields(b);
  }
}

// ---- messages ----------------------------------------------------------------------------

String TOracleDataSet::TranslatedMessage(Char action, int error_code, const String& text) {
  String message = text;
  if (error_code >= 20000 && error_code <= 20999) {
    // An application error: its call-stack lines go.
    size_t at = message.find(u"ORA-06512");
    if (at != String::npos) message.resize(at > 0 ? at - 1 : 0);
  }
  String constraint;
  if (error_code == 1 || error_code == 2290 || error_code == 2291 || error_code == 2292) {
    size_t open = 0;
    while ((open = message.find(u'(', open)) != String::npos) {
      size_t close = message.find(u')', open);
      if (close == String::npos) break;
      String group = message.substr(open + 1, close - open - 1);
      size_t dot = group.find(u'.');
      if (dot != String::npos) {
        constraint = group.substr(dot + 1);
        break;
      }
      open = close;
    }
  }
  if (dictionary_.UseMessageTable && session_ != nullptr && !session_->MessageTable().empty() &&
      !constraint.empty()) {
    try {
      String found = LookUpMessageTable(constraint, action, error_code);
      if (!found.empty()) message = found;
    } catch (const Exception& e) {
      message += u"(" + e.Message() + u")";
    }
  }
  if (OnTranslateMessage) OnTranslateMessage(*this, error_code, constraint, action, message);
  return message;
}

String TOracleDataSet::LookUpMessageTable(const String& constraint, Char action, int error_code) {
  TOracleQuery q(nullptr);
  q.SetName(u"MessageQuery");
  q.SetSession(session_);
  String quoted;
  for (Char c : constraint) quoted += c == u'\'' ? String(u"''") : String(1, c);
  TStringList sql;
  sql.Add(u"select actions, parent_child, error_message from " + session_->MessageTable());
  sql.Add(u"where constraint_name = '" + quoted + u"'");
  sql.Add(u"order by actions");
  q.SetStatementText(sql.Text());
  q.Execute();
  String wanted = error_code == 2291 ? u"C" : error_code == 2292 ? u"P" : u"*";
  String by_letter, by_star;
  for (; !q.Eof(); q.Next()) {
    String pc = Trim(q.FieldAsString(1));
    if (pc != u"*" && pc != wanted) continue;
    String actions = Trim(q.FieldAsString(0));
    String text = q.FieldAsString(2);
    if (by_letter.empty() && actions.find(action) != String::npos) by_letter = text;
    if (by_star.empty() && actions == u"*") by_star = text;
  }
  return !by_letter.empty() ? by_letter : by_star;
}

void TOracleDataSet::RaiseTranslated(Char action, int error_code, const String& text) {
  DatabaseError(TranslatedMessage(action, error_code, text), this);
}

void TOracleDataSet::RaiseOracleFailure(Char action, const EOracleError& e) {
  RaiseTranslated(action, e.ErrorCode(), e.Message());
}

}  // namespace kavo
