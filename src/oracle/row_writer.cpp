#include "oracle/row_writer.h"

#include <algorithm>

#include "oracle/dataset_messages.h"
#include "oracle/oracle_dataset.h"
#include "oracle/oracle_types.h"
#include "oracle/select_analysis.h"

namespace kavo {

using oracle_engine::RowWriter;
using oracle_engine::RowWriteResult;
using oracle_engine::RowFetch;

namespace {

// Runs `undo` when the scope is left before Keep: the savepoint a failed
// row's work set is rolled back to before the error passes on.
template <typename F>
class Undo {
 public:
  explicit Undo(F undo) : undo_(std::move(undo)) {}
  ~Undo() { Run(); }
  Undo(const Undo&) = delete;
  Undo& operator=(const Undo&) = delete;
  void Arm(bool armed) { armed_ = armed; }
  // Undoes now (once), before an error is translated and passed on.
  void Run() {
    if (!armed_) return;
    armed_ = false;
    try {
      undo_();
    } catch (const std::exception&) {
    }
  }

 private:
  F undo_;
  bool armed_ = false;
};

}  // namespace

void AddSqlLine(String& text, StringView line) {
  text += line;
  text += TStringList::kLineBreak;
}

RowWriteResult RowWriter::Fetch(RowFetch what, TRecordBuffer record) {
  RowWriteResult result;
  if (record == nullptr) record = ds_.CurrentStored();
  const String rowid = record != nullptr ? RecordRowId(record) : String();
  Undo undo([this] { ds_.RollbackToLockpoint(); });
  try {
    if (what.lock) {
      ds_.Lockpoint();
      undo.Arm(ds_.lockpoint_set_);
    }
    if (what.refresh) {
      // A handler may write the new values into the stored record.
      TRecordBuffer saved = ds_.fetch_record_;
      ds_.fetch_record_ = record;
      bool applied = false;
      try {
        applied = ds_.OfferApply(u'R');
      } catch (...) {
        ds_.fetch_record_ = saved;
        throw;
      }
      ds_.fetch_record_ = saved;
      if (applied) what.refresh = false;
    }
    if (what.lock && ds_.OfferApply(u'L')) what.lock = what.check = false;
    if (what.check && ds_.OfferApply(u'C')) what.check = false;
    if (!what.lock && !what.check && !what.refresh) {
      undo.Arm(false);
      return result;
    }
    if (Trim(rowid).empty()) throw Exception(String(SLockNoRowId) + SNoRowIdTail);

    TOracleQuery& q = ds_.DMLQuery();
    q.SetStringFieldsOnly(ds_.string_fields_only_);
    q.Clear();
    q.DeclareVariable(u"vzo__rowid", otString);
    q.SetVariable(u"vzo__rowid", rowid);
    q.SetStatementText(FetchSQL(q, what));
    q.Execute();
    if ((what.lock || what.check) && q.Eof()) ds_.RaiseTranslated(u'L', 0, SRecordDeleted);
    if (what.refresh && !q.Eof()) result.refreshed = StoreRefreshedRow(q, record);
    if (what.check && RecordChanged(q, record)) {
      undo.Run();
      ds_.RaiseTranslated(u'L', 0, SRecordChanged);
    }
    ds_.CloseDMLQuery();
    undo.Arm(false);
    result.sent = true;
    return result;
  } catch (const EOracleError& e) {
    undo.Run();
    ds_.CloseDMLQuery();
    if (e.ErrorCode() == 54) ds_.RaiseTranslated(u'L', 54, SRecordLocked);
    ds_.RaiseTranslated(u'L', e.ErrorCode(), e.Message());
  } catch (...) {
    undo.Run();
    try {
      ds_.CloseDMLQuery();
    } catch (const std::exception&) {
    }
    throw;
  }
}

String RowWriter::FetchSQL(TOracleQuery& q, const RowFetch& what) {
  if (!what.all_fields) {
    String table = ds_.GetUpdatingTable();
    String text;
    text.reserve(table.size() + 64);
    text.append(u"select * from ").append(table).append(u" where rowid = :vzo__rowid");
    text += TStringList::kLineBreak;
    if (what.lock) text.append(u"for update nowait").append(TStringList::kLineBreak);
    ds_.CopyVariablesNamedIn(q, table);
    return text;
  }
  String select = ds_.SubstitutedSQL();
  size_t end = UpperCase(select).find(u"/* END_REFRESH */");
  if (end != String::npos) select.resize(end);
  TSelectParts parts = SplitSelect(select, false);
  String alias = ds_.GetUpdatingAlias();
  TStringList sql;
  sql.Add(parts.BeforeWhere);
  if (parts.HasWhere) {
    sql.Add(parts.WhereWord + u" (" + parts.WhereClause + u")");
    sql.Add(u"and");
    sql.Add(u"(" + alias + u".rowid = :vzo__rowid)");
  } else {
    sql.Add(parts.WhereWord + u" " + alias + u".rowid = :vzo__rowid");
  }
  if (what.lock) {
    String first;
    for (const RecordSlot& s : ds_.slots_)
      if (s.field->FieldKind() == fkData && s.info > 0) {
        first = ds_.infos_[s.info].ColumnName;
        break;
      }
    sql.Add(u"for update of " + alias + u"." + TOracleDataSet::ColumnNameSQL(first) + u" nowait");
  }
  String text = sql.Text();
  ds_.CopyVariablesNamedIn(q, text);
  return text;
}

std::vector<const RecordSlot*> RowWriter::ColumnsToWrite(bool inserting, const uint8_t* edit,
                                                         const uint8_t* stored) {
  std::vector<const RecordSlot*> columns;  // in select-list order
  for (const RecordSlot& s : ds_.slots_)
    if (s.field->FieldKind() == fkData && s.info > 0 && !s.field->ReadOnly()) columns.push_back(&s);
  std::sort(columns.begin(), columns.end(), [&](const RecordSlot* a, const RecordSlot* b) {
    return ds_.infos_[a->info].FieldIndex < ds_.infos_[b->info].FieldIndex;
  });
  const TSequenceField& seq = ds_.sequence_field_;
  bool server_sequence = inserting && seq.ApplyMoment == amOnServer && !Trim(seq.Field).empty() &&
                         !Trim(seq.Sequence).empty();
  std::vector<const RecordSlot*> written;
  for (const RecordSlot* s : columns) {
    bool include = inserting ? !ds_.IsEmptyValue(edit, *s) : ds_.FieldChanged(*s, stored, edit);
    // The server fills the sequence's column.
    if (server_sequence && SameText(s->field->FieldName(), seq.Field)) include = true;
    if (include) written.push_back(s);
  }
  return written;
}

RowWriteResult RowWriter::Write(bool inserting, TRecordBuffer edit, TRecordBuffer stored,
                                const TChangeLogItem* applying) {
  RowWriteResult result;
  const std::vector<const RecordSlot*> written = ColumnsToWrite(inserting, edit, stored);
  // With cached updates a post only logs; the log is written by ApplyUpdates.
  if (written.empty() || (ds_.cached_updates_ && applying == nullptr)) {
    if (ds_.locking_mode_ == lmLockImmediate && !inserting && !ds_.cached_updates_)
      ds_.CommitSession();
    return result;
  }
  Undo undo([this] { ds_.RollbackToLockpoint(); });
  try {
    const TLockingModeOptions mode = ds_.locking_mode_;
    if (!inserting && (mode == lmCheckImmediate || mode == lmLockDelayed))
      Fetch({.lock = true, .check = true}, stored);
    else
      ds_.Lockpoint();
    undo.Arm(ds_.lockpoint_set_);
    String handler_rowid;
    if (ds_.OfferApply(inserting ? u'I' : u'U', &handler_rowid)) {
      if (inserting) result.rowid = handler_rowid;
    } else {
      SendWrite(inserting, written, edit, stored, result);
    }
    ds_.CommitSession();
    undo.Arm(false);
  } catch (const EOracleError& e) {
    undo.Run();  // the savepoint goes before the message is looked up
    ds_.RaiseOracleFailure(inserting ? u'I' : u'U', e);
  }
  result.sent = true;
  return result;
}

void RowWriter::SendWrite(bool inserting, const std::vector<const RecordSlot*>& written,
                          TRecordBuffer edit, TRecordBuffer stored, RowWriteResult& result) {
  TOracleQuery& q = ds_.DMLQuery();
  q.Clear();
  String sql;
  sql.reserve(512);
  String table = ds_.GetUpdatingTable();
  String names, values;
  for (size_t i = 0; i < written.size(); ++i) {
    if (i > 0) {
      names += u", ";
      values += u", ";
    }
    names += TOracleDataSet::ColumnNameSQL(ds_.infos_[written[i]->info].ColumnName);
    values += ds_.ColumnSQL(q, *written[i], edit, inserting);
  }
  if (inserting) {
    AddSqlLine(sql, u"insert into " + table);
    AddSqlLine(sql, u"  (" + names + u")");
    AddSqlLine(sql, u"values");
    AddSqlLine(sql, u"  (" + values + u")");
  } else {
    AddSqlLine(sql, u"update " + table);
    AddSqlLine(sql, u"set " + values);
  }
  ds_.CopyVariablesNamedIn(q, table);
  bool by_rowid = Trim(ds_.unique_fields_).empty();
  if (!inserting) ds_.AddRowCondition(q, sql, stored);
  bool returning = by_rowid && ds_.session_ != nullptr && ds_.session_->UseOCI80();
  if (returning) {
    if (inserting) q.DeclareVariable(u"vzo__rowid", otString);
    AddSqlLine(sql, u"returning rowid into :vzo__rowid");
  }
  q.SetStatementText(sql);
  q.Execute();
  if (!inserting && q.RowsProcessed() == 0) ds_.RaiseTranslated(u'U', 0, SRecordDeleted);
  if (returning)
    result.rowid = q.GetVariable(u"vzo__rowid").AsString();
  else if (inserting && by_rowid)
    result.rowid = q.RowId();
  ds_.CloseDMLQuery();
  if (inserting && !by_rowid && ds_.rowid_index_ >= 0) result.rowid = ds_.FetchRowId(edit);
}

RowWriteResult RowWriter::Delete(TRecordBuffer stored, bool applying) {
  RowWriteResult result;
  const TLockingModeOptions mode = ds_.locking_mode_;
  bool lock = mode == lmCheckImmediate || mode == lmLockDelayed ||
              (mode == lmLockImmediate && !(ds_.cached_updates_ && applying));
  Undo undo([this] { ds_.RollbackToLockpoint(); });
  try {
    if (lock) {
      Fetch({.lock = true, .check = true}, stored);
      undo.Arm(ds_.lockpoint_set_);
    }
    if (!ds_.OfferApply(u'D')) {
      if (Trim(ds_.unique_fields_).empty() && Trim(RecordRowId(stored)).empty())
        throw Exception(String(SDeleteNoRowId) + SNoRowIdTail);
      TOracleQuery& q = ds_.DMLQuery();
      q.Clear();
      String sql;
      String table = ds_.GetUpdatingTable();
      AddSqlLine(sql, u"delete from " + table);
      ds_.CopyVariablesNamedIn(q, table);
      ds_.AddRowCondition(q, sql, stored);
      q.SetStatementText(sql);
      q.Execute();
      if (q.RowsProcessed() == 0) ds_.RaiseTranslated(u'D', 0, SRecordDeleted);
      ds_.CloseDMLQuery();
    }
    ds_.CommitSession();
    undo.Arm(false);
  } catch (const EOracleError& e) {
    undo.Run();
    ds_.RaiseOracleFailure(u'D', e);
  }
  result.sent = true;
  return result;
}

}  // namespace kavo
