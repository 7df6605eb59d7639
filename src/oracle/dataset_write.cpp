// TOracleDataSet: starting an edit, posting an update or insert, deleting,
// cancelling; the generated statements and the updating table.
#include <algorithm>
#include <cstring>

#include "oracle/dataset_messages.h"
#include "oracle/oracle_dataset.h"
#include "oracle/oracle_types.h"
#include "oracle/select_analysis.h"
#include "recordset/database_error.h"
#include "rtl/code_page.h"

namespace kavo {

using oracle_engine::RowWriteResult;

namespace {

bool IsPlainName(const String& name) {
  if (name.empty() || !(name[0] >= u'A' && name[0] <= u'Z')) return false;
  for (Char c : name)
    if (!((c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'$' ||
          c == u'#'))
      return false;
  return true;
}

bool IsTextSlotType(TFieldType t) {
  return t == ftString || t == ftWideString || t == ftFixedChar || t == ftFixedWideChar ||
         t == ftMemo || t == ftWideMemo || t == ftOraClob;
}


}  // namespace

// A column name as the server described it; one that is not a plain
// upper-case name only means that column when quoted.
String TOracleDataSet::ColumnNameSQL(const String& column) {
  return IsPlainName(column) ? column : u"\"" + column + u"\"";
}

String TOracleDataSet::GetUpdatingTable() {
  if (updating_table_cached_) return updating_table_cache_;
  if (!Trim(updating_table_).empty()) {
    updating_table_cache_ = NormaliseTableName(updating_table_);
  } else {
    for (int i = 0; i < main_query_->VariableCount(); ++i)
      if (main_query_->VariableType(i) == otCursor) throw Exception(SUpdatingTableCursor);
    updating_table_cache_ = UpdatingTableFromSQL(SubstitutedSQL());
  }
  updating_table_cached_ = true;
  return updating_table_cache_;
}

String TOracleDataSet::GetUpdatingAlias() {
  return UpdatingAliasFromSQL(SubstitutedSQL(), GetUpdatingTable());
}

bool TOracleDataSet::GetCanModify() {
  if (!Active() || Detached() || read_only_) return false;
  // A detail's records belong to a master record.
  if (TOracleDataSet* m = Master(); m != nullptr && (!m->Active() || (m->Bof() && m->Eof())))
    return false;
  return rowid_index_ >= 0 || static_cast<bool>(OnApplyRecord);
}


// ---- editing ----------------------------------------------------------------------------

void TOracleDataSet::InternalEdit() {
  TRecordBuffer stored = CurrentStored();
  if (stored == nullptr) return;
  work_blobs_.Clear();
  if (Header(stored).BlobList != nullptr) work_blobs_ = *Header(stored).BlobList;
  // A record with a logged change differs from its row until the log is
  // written: it is checked when it is applied, not now.
  if (Logging() && change_log_.FindByBookmark(Header(stored).Bookmark) != nullptr) return;
  bool before_edit = (refresh_options_ & roBeforeEdit) != 0;
  if (locking_mode_ != lmLockImmediate && locking_mode_ != lmCheckImmediate && !before_edit)
    return;
  bool lock = locking_mode_ == lmLockImmediate;
  bool check = lock || locking_mode_ == lmCheckImmediate;
  bool refresh = false, all_fields = false;
  if (before_edit) {
    refresh = true;
    all_fields = (refresh_options_ & roAllFields) != 0;
    check = false;
  }
  bool changed = FetchRecord(
      {.lock = lock, .check = check, .refresh = refresh, .all_fields = all_fields}, stored);
  if (changed) {
    // The edit starts from the row as the server has it now.
    TRecordBuffer edit = ActiveBuffer();
    for (const Slot& s : slots_) {
      if (s.form == Form::kBlob) continue;
      std::memcpy(DataArea(edit) + s.offset, DataArea(stored) + s.offset, 1 + s.width);
    }
    work_blobs_.Clear();
    if (Header(stored).BlobList != nullptr) work_blobs_ = *Header(stored).BlobList;
  }
}

void TOracleDataSet::InternalInsert() {
  work_blobs_.Clear();
  InstallHooks();
  writer_.NewRecord();
  if (sequence_field_.ApplyMoment == amOnNewRecord) ApplySequence();
  FillDetailFields();
}

void TOracleDataSet::InternalCancel() {
  bool was_edit = State() == dsEdit;
  work_blobs_.Clear();
  if (locking_mode_ != lmLockImmediate || cached_updates_ || !was_edit) return;
  try {
    RollbackSession();
  } catch (const Exception& e) {
    DatabaseError(e.Message(), this);
  }
}

void TOracleDataSet::InternalPost() {
  bool inserting = State() == dsInsert;
  InstallHooks();
  writer_.Posting();
  if (inserting && sequence_field_.ApplyMoment == amOnPost) ApplySequence();
  InternalInsertUpdate(inserting);
}

void TOracleDataSet::ApplySequence() {
  if (Trim(sequence_field_.Field).empty() || Trim(sequence_field_.Sequence).empty()) return;
  if (sequence_field_.ApplyMoment == amOnServer) return;
  TField* field = FindField(sequence_field_.Field);
  if (field == nullptr || !field->IsNull()) return;
  TOracleQuery& q = DMLQuery();
  q.Clear();
  q.SetStatementText(u"select " + sequence_field_.Sequence + u".nextval from dual");
  try {
    q.Execute();
    field->SetAsFloat(q.Field(0).AsDouble());
  } catch (...) {
    CloseDMLQuery();
    throw;
  }
  CloseDMLQuery();
}

bool TOracleDataSet::IsEmptyValue(const uint8_t* record, const Slot& s) const {
  if (IsNullIn(record, s)) return true;
  bool trim = session_ == nullptr || session_->Preferences().TrimStringFields();
  if (trim && IsTextSlotType(s.field->DataType()) && s.form != Form::kBlob)
    return TrimRight(TextIn(record, s)).empty();
  return false;
}

bool TOracleDataSet::FieldChanged(const Slot& s, const uint8_t* old_record,
                                  const uint8_t* new_record) {
  if (s.form == Form::kBlob) {
    const TOracleBlob* before = old_record ? BlobIn(old_record, s) : nullptr;
    // While applying, the logged after-image holds the values.
    const TOracleBlob* after = applying_ ? BlobIn(new_record, s) : work_blobs_.FindBlob(s.field);
    return (before ? before->Bytes : std::string()) != (after ? after->Bytes : std::string());
  }
  // Everything below reads only the slot's bytes of each record: where they
  // are the same, as for every field an edit left alone, so is the value.
  if (old_record != nullptr && std::memcmp(DataArea(old_record) + s.offset,
                                           DataArea(new_record) + s.offset, 1 + s.width) == 0)
    return false;
  bool old_null = old_record == nullptr || IsEmptyValue(old_record, s);
  bool new_null = IsEmptyValue(new_record, s);
  if (old_null || new_null) return old_null != new_null;
  if (s.form == Form::kFixed)
    return std::memcmp(DataArea(old_record) + s.offset + 1, DataArea(new_record) + s.offset + 1,
                       s.width) != 0;
  bool trim = session_ == nullptr || session_->Preferences().TrimStringFields();
  String a = TextIn(old_record, s), b = TextIn(new_record, s);
  return trim ? TrimRight(a) != TrimRight(b) : a != b;
}

String TOracleDataSet::ColumnSQL(TOracleQuery& q, const Slot& s, const uint8_t* record,
                                 bool inserting) {
  const TOracleFieldInfo& info = infos_[s.info];
  String name = ColumnNameSQL(info.ColumnName);
  String expr;
  if (IsEmptyValue(record, s)) {
    bool server_sequence = inserting && sequence_field_.ApplyMoment == amOnServer &&
                           !Trim(sequence_field_.Sequence).empty() &&
                           SameText(sequence_field_.Field, s.field->FieldName());
    bool null_lob = session_ != nullptr && session_->Preferences().NullLOBIsEmpty();
    if (server_sequence)
      expr = sequence_field_.Sequence + u".nextval";
    else if (null_lob && info.DataType == otCLOB)
      expr = u"empty_clob()";
    else if (null_lob && info.DataType == otBLOB)
      expr = u"empty_blob()";
    else
      expr = u"null";
  } else {
    String variable = u"v" + IntToStr(s.info);
    q.DeclareVariable(variable, info.DataType);
    if ((info.DataType == otString || info.DataType == otLong) && (info.IsUTF8 || info.IsUTF16))
      q.DeclareVariableCharSet(variable, static_cast<uint8_t>(info.CharSetForm),
                               static_cast<uint16_t>(info.CharSetID));
    OraVariant value = ValueIn(record, s);
    // An 8-bit LONG takes the text in the ANSI code page; a character it
    // cannot hold is refused rather than changed.
    if (info.DataType == otLong && !info.IsUTF8 && !info.IsUTF16 && value.Kind() == vkString) {
      bool lossy = false;
      StringToAnsi(value.AsString(), &lossy);
      if (lossy)
        throw EConvertError(CannotStoreMessage(u"Field '" + s.field->FieldName() + u"'",
                                               value.AsString(), AsciiToString(AnsiCodePage())));
    }
    // What is read back through the decompression is written compressed.
    if ((info.DataType == otLongRaw || info.DataType == otBLOB) && compress_blobs_) {
      if (!OnCompressBLOB) throw Exception(SCompressedNotBuilt + s.field->FieldName());
      std::string bytes(value.ByteArray().begin(), value.ByteArray().end());
      OnCompressBLOB(*this, bytes);
      value = OraVariant::Bytes(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
    q.SetVariable(variable, value);
    expr = u":" + variable;
  }
  return inserting ? expr : name + u" = " + expr;
}

void TOracleDataSet::AddRowCondition(TOracleQuery& q, String& sql, const uint8_t* record) {
  if (Trim(unique_fields_).empty()) {
    q.DeclareVariable(u"vzo__rowid", otString);
    q.SetVariable(u"vzo__rowid", record ? RecordRowId(record) : String());
    AddSqlLine(sql, u"where rowid = :vzo__rowid");
    return;
  }
  std::vector<String> conditions;
  int key = 0;
  size_t start = 0;
  String list = unique_fields_ + u";";
  for (size_t semi; (semi = list.find(u';', start)) != String::npos; start = semi + 1) {
    String name = Trim(list.substr(start, semi - start));
    if (name.empty()) continue;
    TField* f = FindField(name);
    const Slot* s = f ? SlotOf(f) : nullptr;
    if (s == nullptr || s->info <= 0) continue;
    String column = ColumnNameSQL(infos_[s->info].ColumnName);
    if (record == nullptr || IsEmptyValue(record, *s)) {
      conditions.push_back(column + u" is null");
      continue;
    }
    String variable = u"vzo__key" + IntToStr(++key);
    q.DeclareVariable(variable, infos_[s->info].DataType);
    q.SetVariable(variable, ValueIn(record, *s));
    conditions.push_back(column + u" = :" + variable);
  }
  if (conditions.empty()) DatabaseError(SNoUniqueFields, this);
  String text = u"where ";
  for (size_t i = 0; i < conditions.size(); ++i)
    text += (i == 0 ? String() : String(u"\r\nand ")) + conditions[i];
  AddSqlLine(sql, text);
}

void TOracleDataSet::InternalInsertUpdate(bool inserting) {
  TRecordBuffer edit = ActiveBuffer();
  TRecordBuffer stored = inserting ? nullptr : CurrentStored();
  // An 8-bit field given a text of its own: the server is to hold that text,
  // not the one kept because the field could not show it.
  std::vector<const TField*> rewritten;
  if (stored != nullptr && Header(stored).BlobList != nullptr) {
    for (const TOracleBlob& b : Header(stored).BlobList->Items()) {
      const Slot* s = b.ServerText ? SlotOf(b.Field) : nullptr;
      if (s != nullptr && FieldChanged(*s, stored, edit)) rewritten.push_back(b.Field);
    }
    for (const TField* f : rewritten) work_blobs_.RemoveServerText(f);
  }
  const RowWriteResult written = writer_.Write(inserting, edit, stored, nullptr);
  bool server_sequence = inserting && sequence_field_.ApplyMoment == amOnServer &&
                         !Trim(sequence_field_.Field).empty() &&
                         !Trim(sequence_field_.Sequence).empty();

  TRecordBuffer target = stored;
  if (!inserting) {
    if (stored != nullptr) {
      RecordToChangeLog(u'U', stored, edit);
      CopyIntoRecord(edit, stored, record_size_);
      Header(stored).BookmarkFlag = bfCurrent;
    }
  } else {
    const bool at_end = Header(edit).BookmarkFlag == bfEOF;
    if (at_end) position_ = -1;
    target = store_->NewRecord(position_ < 0 ? -1 : position_, filtered_, -1);
    CopyIntoRecord(edit, target, record_size_);
    TRecordHeader& h = Header(target);
    h.Bookmark = ++bookmark_counter_;
    h.BookmarkFlag = bfCurrent;
    h.MasterBookmark = -1;
    if (!cached_updates_) ++added_;
    // The model shows the new record by its bookmark.
    Header(edit).Bookmark = h.Bookmark;
    Header(edit).BookmarkFlag = bfCurrent;
    if (position_ < 0) position_ = store_->RecordCount() - 1;
  }
  if (target != nullptr) {
    if (written.rowid) store_->SetRowId(target, *written.rowid);
    bool any_blob = std::any_of(slots_.begin(), slots_.end(),
                                [](const Slot& s) { return s.form == Form::kBlob; });
    if (any_blob) store_->Blobs(target) = work_blobs_;
    if (TBlobList* list = Header(target).BlobList)
      for (const TField* f : rewritten) list->RemoveServerText(f);
    if (inserting) RecordToChangeLog(u'I', nullptr, target);
    bool reread = written.sent && ((!inserting && (refresh_options_ & roAfterUpdate)) ||
                              (inserting && ((refresh_options_ & roAfterInsert) || server_sequence)));
    if (reread) {
      FetchRecord({.refresh = true, .all_fields = (refresh_options_ & roAllFields) != 0}, target);
      CopyToBuffer(target, edit, record_size_);
      Header(edit).BookmarkFlag = bfCurrent;
    }
  }
}

void TOracleDataSet::InternalDelete() {
  TRecordBuffer stored = CurrentStored();
  if (stored == nullptr) return;
  int32_t bookmark = Header(stored).Bookmark;
  if (!cached_updates_) {
    writer_.Delete(stored, false);
  } else if ((locking_mode_ == lmLockImmediate || locking_mode_ == lmCheckImmediate) &&
             change_log_.FindByBookmark(bookmark) == nullptr) {
    // Cached: the row is locked (or only checked) now, written later.
    try {
      FetchRecord({.lock = locking_mode_ == lmLockImmediate, .check = true}, stored);
    } catch (const EOracleError& e) {
      RaiseOracleFailure(u'D', e);
    }
  }
  int index = IndexOfBookmark(bookmark);
  RecordToChangeLog(u'D', stored, nullptr);
  if (index >= 0) {
    store_->DeleteRecord(DataIndexOf(index), filtered_);
    if (!cached_updates_) --added_;
    position_ = index;
  }
}

}  // namespace kavo
