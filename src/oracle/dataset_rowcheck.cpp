// TOracleDataSet: reading a stored row back from the server to lock, check or
// refresh it; the savepoint around a row's work; the messages of failures.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <string_view>

#include "oracle/dataset_messages.h"
#include "oracle/oracle_dataset.h"
#include "oracle/oracle_text.h"
#include "oracle/oracle_types.h"
#include "oracle/select_analysis.h"
#include "oracle/sql_scan.h"
#include "recordset/database_error.h"
#include "rtl/code_page.h"

namespace kavo {

using oracle_engine::RowFetch;

namespace {

constexpr const Char* kLockpoint = u"VZO__LOCKPOINT";

bool IsStringForm(TFieldType t) {
  return t == ftString || t == ftWideString || t == ftFixedChar || t == ftFixedWideChar ||
         t == ftMemo || t == ftWideMemo || t == ftOraClob;
}

// TrimRight(text).empty() without the copy.
bool IsBlank(StringView text) {
  for (Char c : text)
    if (c > u' ') return false;
  return true;
}


String KeptText(const TOracleBlob& kept) { return TextOfUtf16Bytes(kept.Bytes); }


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

bool TOracleDataSet::RecordChanged(TOracleQuery& q, const uint8_t* record) {
  for (const Slot& s : slots_) {
    if (s.field->FieldKind() != fkData || s.info <= 0) continue;
    const TOracleFieldInfo& info = infos_[s.info];
    int column = q.FieldIndex(info.ColumnName);
    if (column < 0 || q.FieldType(column) != info.DataType) continue;
    if (!SameValue(record, s, q, column)) return true;
  }
  return false;
}

std::optional<bool> TOracleDataSet::SamePlainText(const uint8_t* record, const Slot& s,
                                                  TOracleQuery& q, int column,
                                                  const TOracleBlob* kept) {
  // Plain ASCII without line ends reads the same in every code page, one
  // byte a character, and no line end is added to it: a text both sides hold
  // so (and that the fetch would not have cut) compares as its bytes.
  if ((s.form == Form::kAnsi || s.form == Form::kUtf8) && kept == nullptr &&
      !IsNullIn(record, s) &&
      q.FieldType(column) == otString && !q.FieldIsUTF16(column) && !q.FieldIsNull(column)) {
    const char* f = reinterpret_cast<const char*>(q.FieldData(column));
    const std::string_view fetched(f, strnlen(f, static_cast<size_t>(q.FieldSize(column)) + 1));
    const char* r = reinterpret_cast<const char*>(DataArea(record) + s.offset + 1);
    const std::string_view stored(r, strnlen(r, s.width));
    if ((s.form != Form::kAnsi || fetched.size() <= static_cast<size_t>(s.field->Size())) &&
        IsPlainAsciiLine(fetched) && IsPlainAsciiLine(stored)) {
      return TrimRightBytes(fetched) == TrimRightBytes(stored);
    }
  }
  return std::nullopt;
}

String TOracleDataSet::FetchedText(TOracleQuery& q, int column, const TOracleFieldInfo& info) const {
  OraVariant v = q.Field(column);
  if (q.FieldType(column) != otLong) return v.AsString();
  return AddCRW(info.IsUTF8 ? Utf8Decode(v.AnsiBytes()) : AnsiToString(v.AnsiBytes()), session_);
}

bool TOracleDataSet::SameValue(const uint8_t* record, const Slot& s, TOracleQuery& q, int column) {
  const TOracleBlob* kept = ServerTextIn(record, s);
  if (std::optional<bool> same = SamePlainText(record, s, q, column, kept)) return *same;
  TFieldType type = s.field->DataType();
  // Each text is read once: the null tests and the comparison use the same.
  const bool string_form = IsStringForm(type);
  const bool stored_null = IsNullIn(record, s);
  const String stored_text = string_form && !stored_null ? TextIn(record, s) : String();
  bool field_null = stored_null || (string_form && IsBlank(stored_text));
  OraVariant fetched = q.Field(column);
  const bool fetched_string = fetched.IsString();
  const String fetched_text = fetched_string ? fetched.AsString() : String();
  bool fetched_null = fetched.IsEmptyOrNull() ||
                      (fetched.Kind() == vkByteArray && fetched.ByteArray().empty()) ||
                      (fetched_string && IsBlank(fetched_text));
  if (field_null || fetched_null) return field_null == fetched_null;
  if (type == ftWideMemo) return true;
  switch (q.FieldType(column)) {
    case otFloat: {
      double a = fetched.AsDouble();
      double b = ValueIn(record, s).AsDouble();
      if (a == 0) return std::fabs(b) < 1e-10;
      return std::fabs((b - a) / a) < 1e-10;
    }
    case otString: {
      String other_fetched, other_stored;
      const String& server_text = fetched_string ? fetched_text : (other_fetched = fetched.AsString());
      const String& stored = string_form ? stored_text : (other_stored = TextIn(record, s));
      if (s.form == Form::kAnsi) {
        // What the server holds, not the code page's copy of it: "??" is not
        // "??" when the server's characters differ. A field with no server
        // text kept showed the server's text as it was.
        bool exact = true;
        const size_t size = s.field->Size() < 0 ? 0 : static_cast<size_t>(s.field->Size());
        const String held = AnsiHeldText(TrimRight(server_text), size, exact);
        if (kept != nullptr) return TrimRight(held) == TrimRight(KeptText(*kept));
        if (!exact) return false;
        // Cut as the fetch cut it: to the field's size, by whole characters.
        std::string server = CutWholeCharacters(StringToAnsi(server_text), size, AnsiCodePage());
        return TrimRightBytes(server) == TrimRightBytes(StringToAnsi(stored));
      }
      return TrimRight(server_text) == TrimRight(stored);
    }
    case otDate: {
      double ms = (fetched.AsDateTime() - ValueIn(record, s).AsDateTime()) * 86400000.0;
      return std::fabs(ms) <= 1000.5;
    }
    case otTimestamp:
    case otTimestampTZ:
    case otTimestampLTZ: {
      double ms = (fetched.AsDateTime() - ValueIn(record, s).AsDateTime()) * 86400000.0;
      return std::fabs(ms) <= 1.5;
    }
    case otLongRaw:
    case otBLOB: {
      // The record holds what the read made of the server's bytes.
      std::string server(fetched.ByteArray().begin(), fetched.ByteArray().end());
      if (compress_blobs_ && OnDecompressBLOB) OnDecompressBLOB(*this, server);
      const OraVariant value = ValueIn(record, s);
      const std::vector<uint8_t>& held = value.ByteArray();
      return std::equal(held.begin(), held.end(), server.begin(), server.end(),
                        [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); });
    }
    case otLong:
    case otCLOB:
      return ValueIn(record, s).AsString() == FetchedText(q, column, infos_[s.info]);
    case otInteger:
      return ValueIn(record, s).AsDouble() == fetched.AsDouble();
    default:
      return ValueIn(record, s) == fetched;
  }
}

bool TOracleDataSet::StoreRefreshedRow(TOracleQuery& q, TRecordBuffer record) {
  bool changed = false;
  for (const Slot& s : slots_) {
    if ((s.field->FieldKind() != fkData && s.field->FieldKind() != fkInternalCalc) || s.info <= 0)
      continue;
    int column = q.FieldIndex(infos_[s.info].ColumnName);
    if (column < 0) continue;
    if (q.FieldType(column) == infos_[s.info].DataType && SameValue(record, s, q, column)) continue;
    OraVariant value = q.Field(column);
    if (q.FieldType(column) == otLong && !value.IsEmptyOrNull())
      value = OraVariant(FetchedText(q, column, infos_[s.info]));
    StoreValue(record, s, value);
    if (s.form == Form::kAnsi) {
      bool trim = session_ == nullptr || session_->Preferences().TrimStringFields();
      String text = value.IsEmptyOrNull() ? String() : value.AsString();
      KeepServerText(record, s, trim ? TrimRight(text) : text);
    }
    changed = true;
  }
  if (AfterRefreshRecord) AfterRefreshRecord(*this);
  return changed;
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
