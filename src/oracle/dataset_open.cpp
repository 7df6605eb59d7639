// TOracleDataSet: properties, the session link, opening (statement, column
// descriptions, record layout), fetching rows into the record store, closing.
#include <algorithm>
#include <cstring>

#include "oracle/dataset_messages.h"
#include "oracle/oracle_dataset.h"
#include "oracle/oracle_date.h"
#include "oracle/oracle_error.h"
#include "oracle/oracle_text.h"
#include "oracle/oracle_types.h"
#include "recordset/database_error.h"
#include "rtl/code_page.h"

namespace kavo {

using oracle_engine::RowStore;

namespace {

// Sets a flag for a scope and clears it however the scope ends.
class FlagScope {
 public:
  explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagScope() { flag_ = false; }

 private:
  bool& flag_;
};

}  // namespace

std::function<void(const Exception&)>& TOracleDataSet::ShowMessageHook() {
  static std::function<void(const Exception&)> hook;
  return hook;
}

TOracleDataSet::TOracleDataSet(TComponent* owner)
    : roles::OracleDataSet(owner), main_query_(std::make_unique<TOracleQuery>(nullptr)) {
  main_query_->SetName(u"MainQuery");
  main_query_->SetReadBuffer(read_buffer_);
  main_query_->SetOptimize(optimize_);
  main_query_->SQL().OnChange = [this] { SQLChanged(); };
  master_source_ = std::make_unique<TDataSource>(nullptr);
  master_link_ = std::make_unique<TMasterDataLink>(this);
  master_link_->OnMasterChange = [this] { MasterChanged(); };
  master_link_->OnMasterDisable = [this] { MasterChanged(); };
  master_link_->SetDataSource(master_source_.get());
}

TOracleDataSet::~TOracleDataSet() {
  try {
    DestroyCursor();
  } catch (const std::exception&) {
  }
  main_query_->SQL().OnChange = nullptr;
  master_link_.reset();
  master_source_.reset();
  if (session_ != nullptr) {
    session_->RemoveDataSet(this);
    RemoveFreeNotification(session_);
  }
  dml_query_.reset();
  main_query_.reset();
}

// ---- properties -----------------------------------------------------------------

TStringList& TOracleDataSet::SQL() { return main_query_->SQL(); }
TVariables& TOracleDataSet::Variables() { return main_query_->Variables(); }
void TOracleDataSet::DeclareVariable(const String& name, int type) {
  main_query_->DeclareVariable(name, type);
}
void TOracleDataSet::SetVariable(const String& name, const OraVariant& value) {
  main_query_->SetVariable(name, value);
}
OraVariant TOracleDataSet::GetVariable(const String& name) { return main_query_->GetVariable(name); }
void TOracleDataSet::DeleteVariables() { main_query_->DeleteVariables(); }
String TOracleDataSet::SubstitutedSQL() { return main_query_->SubstitutedSQL(); }

void TOracleDataSet::SetReadBuffer(int rows) {
  read_buffer_ = rows;
  main_query_->SetReadBuffer(rows);
}

void TOracleDataSet::SetOptimize(bool v) {
  optimize_ = v;
  main_query_->SetOptimize(v);
}

void TOracleDataSet::SetDebug(bool v) {
  debug_ = v;
  main_query_->SetDebug(v);
}

void TOracleDataSet::SetStringFieldsOnly(bool v) {
  if (v == string_fields_only_) return;
  string_fields_only_ = v;
  main_query_->SetStringFieldsOnly(v);
  Reopen();
}

void TOracleDataSet::SetUnidirectional(bool v) {
  if (v != unidirectional_) CheckInactive();
  unidirectional_ = v;
}

void TOracleDataSet::SetUpdatingTable(const String& v) {
  updating_table_ = v;
  updating_table_cached_ = false;
}

void TOracleDataSet::SetQBEMode(bool v) {
  if (v) throw Exception(SQBEModeNotBuilt);
}

bool TOracleDataSet::Detached() const {
  return Active() && (session_ == nullptr || !session_->Connected());
}

void TOracleDataSet::SQLChanged() {
  updating_table_cached_ = false;
  Reopen();
}

void TOracleDataSet::Reopen() {
  if (!Active() || Loading()) return;
  Close();
  Open();
}

// ---- the session ------------------------------------------------------------------

void TOracleDataSet::SetSession(TOracleSession* session) {
  if (session == session_) return;
  if (Active() && !(session == nullptr && detachable_)) Close();
  if (session_ != nullptr) {
    session_->RemoveDataSet(this);
    RemoveFreeNotification(session_);
  }
  session_ = session;
  main_query_->SetSession(session);
  if (dml_query_) dml_query_->SetSession(session);
  if (session_ != nullptr) {
    session_->AddDataSet(this);
    FreeNotification(session_);
  }
}

void TOracleDataSet::Notification(TComponent* component, TOperation operation) {
  roles::OracleDataSet::Notification(component, operation);
  // The session is gone: only its component part is left, so nothing of it
  // may be called. Its statements were already detached by it.
  if (operation == opRemove && session_ != nullptr &&
      component == static_cast<TComponent*>(session_)) {
    session_ = nullptr;
    if (Active() && !detachable_) {
      try {
        Close();
      } catch (const std::exception&) {
      }
    }
  }
}

void TOracleDataSet::SessionClose() { Close(); }

void TOracleDataSet::SessionStateChanged() {
  // A detached record set keeps its rows; GetCanModify asks Detached().
}

void TOracleDataSet::DoSetActive(bool value) {
  if (Loading()) {
    stored_active_ = value;
    return;
  }
  roles::OracleDataSet::DoSetActive(value);
}

void TOracleDataSet::Loaded() {
  roles::OracleDataSet::Loaded();
  if (!stored_active_) return;
  stored_active_ = false;
  if (design_activation_) return;
  if (session_ != nullptr && session_->Connected()) Open();
}

// ---- statements -----------------------------------------------------------------

TOracleQuery& TOracleDataSet::DMLQuery() {
  if (!dml_query_) {
    dml_query_ = std::make_unique<TOracleQuery>(nullptr);
    dml_query_->SetName(u"DMLQuery");
  }
  TOracleQuery& q = *dml_query_;
  q.SetSession(session_);
  q.SetCursor(main_query_->Cursor());
  q.SetOptimize(optimize_);
  q.SetDebug(debug_);
  q.SetReadBuffer(2);
  q.SetStringFieldsOnly(false);
  return q;
}

TOracleQuery& TOracleDataSet::RunStatement(bool fetch) {
  TOracleQuery& main = *main_query_;
  auto run = [fetch](TOracleQuery& q) { fetch ? q.Execute() : q.Describe(); };
  int cursor = -1;
  for (int i = 0; i < main.VariableCount() && cursor < 0; ++i)
    if (main.VariableType(i) == otCursor) cursor = i;
  if (cursor < 0) {
    cursor_query_.reset();
    run(main);
    return main;
  }
  if (!cursor_query_) {
    cursor_query_ = std::make_unique<TOracleQuery>(nullptr);
    cursor_query_->SetName(u"CursorQuery");
  }
  TOracleQuery& q = *cursor_query_;
  q.SetSession(session_);
  q.SetCursor(main.Cursor());
  q.SetOptimize(optimize_);
  q.SetReadBuffer(read_buffer_);
  q.SetStringFieldsOnly(string_fields_only_);
  main.SetComplexVariable(main.VariableName(cursor), &q);
  main.Execute();
  run(q);
  return q;
}

void TOracleDataSet::CloseDMLQuery() {
  if (dml_query_ && !optimize_) dml_query_->Close();
}

// ---- opening --------------------------------------------------------------------

void TOracleDataSet::CheckUnsupportedOptions() {
  const TOracleDictionary& d = dictionary_;
  const std::pair<bool, const Char*> options[] = {
      {d.FieldKinds, u"FieldKinds"},
      {d.DisplayFormats, u"DisplayFormats"},         {d.RangeValues, u"RangeValues"},
      {d.CharacterSize, u"CharacterSize"}};
  for (const auto& [set, name] : options)
    if (set)
      throw Exception(u"OracleDictionary." + String(name) +
                      u" is not supported by this TOracleDataSet");
}

void TOracleDataSet::InternalOpen() {
  FlagScope activating(activating_);
  position_ = -1;
  SetBookmarkSize(4);
  // These options shape only the fields a record set makes itself.
  if (DefaultFields()) CheckUnsupportedOptions();
  InitFieldDefs();
  if (DefaultFields()) CreateFields();
  BindFields(true);
  SetOracleFieldInfo();
  work_blobs_.Clear();
  BuildLayout();
  store_ = std::make_unique<RowStore>(record_size_, read_buffer_, Name());
  store_->SetUnidirectional(unidirectional_);
  store_->SetPacking(packing_);
  if (cached_updates_ && rowid_index_ < 0) throw Exception(SCachedUpdatesRowId);
  if (rowid_index_ >= 0 && !Trim(unique_fields_).empty()) GetIdColumns();
  store_->SetFiltered(filtered_);
  BuildFilter();
  QueryRecords(true);
  counted_ = false;
  added_ = 0;
}

void TOracleDataSet::InternalInitFieldDefs() {
  InstallHooks();
  FieldDefs().Clear();
  TOracleQuery* run = nullptr;
  if (activating_ && !WaitingForMaster()) {
    CopyMasterValues();
    if (BeforeQuery) BeforeQuery(*this);
    run = &RunStatement(true);
    // An empty result lets go of its description with its cursor.
    if (run->FieldCount() == 0 && run->Eof()) run = &RunStatement(false);
  } else {
    run = &RunStatement(false);
  }
  TOracleQuery& q = *run;
  columns_ = DescribeColumns(q);
  rowid_index_ = FindRowIdIndex(columns_);
  std::vector<String> names;
  for (int i = 0; i < static_cast<int>(columns_.size()); ++i)
    if (i != rowid_index_) names.push_back(columns_[static_cast<size_t>(i)].Name);
  names = UniqueColumnNames(names);

  infos_.Clear();
  infos_.Items().emplace_back();  // item 0: the placeholder
  const TSessionPreferences* prefs = session_ ? &session_->Preferences() : nullptr;
  TSessionPreferences defaults(nullptr);
  if (prefs == nullptr) prefs = &defaults;
  size_t n = 0;
  for (int i = 0; i < static_cast<int>(columns_.size()); ++i) {
    if (i == rowid_index_) continue;
    const TColumnDescription& c = columns_[static_cast<size_t>(i)];
    TOracleFieldInfo info;
    info.InfoType = itUnusedField;
    info.FFullName = names[n++];
    info.ColumnName = c.Name;
    info.DataType = c.DataType;
    info.DBType = c.DBType;
    info.TypeName = OracleTypeName(c.DBType);
    info.Size = c.Size;
    info.Scale = c.Scale;
    info.Precision = c.Precision;
    info.FieldIndex = i;
    info.CharSetID = c.CharSetID;
    info.CharSetForm = c.CharSetForm;
    info.IsUTF8 = c.IsUTF8;
    info.IsUTF16 = c.IsUTF16;
    info.IsWide = IsWideColumn(c, *prefs);
    infos_.Items().push_back(info);
    bool required = reader_.Required(c.Optional);
    if (auto def = CreateFieldDef(info, info.FFullName, infos_.Count() - 1, required, *prefs))
      FieldDefs().Add(*def);
  }
  if (Active()) {
    SetOracleFieldInfo();
    BuildLayout();
  } else {
    std::vector<String> def_names;
    for (int i = 0; i < FieldDefs().Count(); ++i) def_names.push_back(FieldDefs()[i].Name);
    qbe_definition_.Synchronize(def_names);
  }
}

void TOracleDataSet::SetOracleFieldInfo() {
  for (int i = 1; i < infos_.Count(); ++i) {
    infos_[i].Field = nullptr;
    infos_[i].InfoType = itUnusedField;
    infos_[i].QBE = nullptr;
  }
  for (int k = 0; k < FieldCount(); ++k) {
    TField* f = Fields(k);
    if (f->FieldKind() != fkData) continue;
    int i = infos_.IndexOfField(f);
    if (i <= 0) continue;
    TOracleFieldInfo& info = infos_[i];
    info.Field = f;
    info.InfoType = itField;
    info.ReadOnly = f->ReadOnly();
    info.Required = f->Required();
    info.QBE = qbe_definition_.FieldByName(f->FieldName());
  }
}

namespace {

SlotRead SlotReadFor(int column_type, bool utf16_column, TFieldType t, SlotForm form) {
  const bool date_field = t == ftDateTime || t == ftDate || t == ftTime;
  switch (column_type) {
    case otInteger:
      if (t == ftSmallint) return SlotRead::kInt16;
      if (t == ftInteger || t == ftAutoInc) return SlotRead::kInt32;
      if (t == ftLargeint) return SlotRead::kInt64;
      break;
    case otFloat:
      if (t == ftFloat) return SlotRead::kFloat;
      break;
    case otString:
    case otReference:
      if (!utf16_column && (form == SlotForm::kAnsi || form == SlotForm::kUtf8))
        return SlotRead::kBytesText;
      if (form != SlotForm::kFixed && form != SlotForm::kNone) return SlotRead::kText;
      break;
    case otDate:
      if (date_field) return SlotRead::kDate;
      break;
    case otTimestamp:
    case otTimestampTZ:
    case otTimestampLTZ:
      if (date_field) return SlotRead::kTimestamp;
      break;
    case otLong:
    case otLongRaw:
    case otCLOB:
    case otBLOB:
      if (form == SlotForm::kBlob) return SlotRead::kLong;
      break;
    default:
      break;
  }
  return SlotRead::kUnexpected;
}

}  // namespace

void TOracleDataSet::BuildLayout() {
  slots_.clear();
  slot_of_.clear();
  size_t offset = 0;
  auto add = [&](TField* f, bool data) {
    Slot s;
    s.field = f;
    if (data) {
      s.info = infos_.IndexOfField(f);
      if (s.info < 0) s.info = 0;
      if (s.info > 0 && f->FieldKind() == fkData) s.column = infos_[s.info].FieldIndex;
    }
    TFieldType t = f->DataType();
    bool utf16_column = s.info > 0 && infos_[s.info].IsUTF16;
    if (f->IsBlob() || t == ftMemo || t == ftWideMemo || t == ftBlob || t == ftOraBlob ||
        t == ftOraClob) {
      s.form = Form::kBlob;
      s.width = 0;
    } else if (t == ftString || t == ftFixedChar) {
      s.form = Form::kAnsi;
      s.width = static_cast<size_t>(f->Size()) + 1;
    } else if (t == ftWideString || t == ftFixedWideChar) {
      // A wide field of a column that is not UTF-16 keeps UTF-8 (or 8-bit)
      // bytes; a calculated one holds UTF-16, its real size.
      s.form = (!data || utf16_column || s.info == 0) ? Form::kUtf16 : Form::kUtf8;
      s.width = s.form == Form::kUtf16 ? static_cast<size_t>(f->GetDataSize())
                                       : static_cast<size_t>(f->Size()) + 1;
    } else if (f->GetDataSize() > 0) {
      s.form = Form::kFixed;
      s.width = static_cast<size_t>(f->GetDataSize());
    } else {
      return;
    }
    s.size = f->Size() < 0 ? 0 : static_cast<size_t>(f->Size());
    if (s.column >= 0) s.read = SlotReadFor(infos_[s.info].DataType, utf16_column, t, s.form);
    s.offset = offset;
    offset += 1 + s.width;
    if (s.info > 0) infos_[s.info].FieldOffset = static_cast<int>(s.offset);
    slot_of_[f] = slots_.size();
    slots_.push_back(s);
  };
  for (int k = 0; k < FieldCount(); ++k) {
    TField* f = Fields(k);
    if (f->FieldKind() == fkData || f->FieldKind() == fkInternalCalc) add(f, true);
  }
  for (int k = 0; k < FieldCount(); ++k) {
    TField* f = Fields(k);
    if (f->FieldKind() == fkCalculated || f->FieldKind() == fkLookup) add(f, false);
  }
  record_size_ = RecInfoSize + offset;
  packing_.Build(slots_, offset);
}

// ---- fetching -------------------------------------------------------------------

void TOracleDataSet::InstallHooks() {
  reader_.SetLogHook(cached_updates_ ? &logged_rows_ : nullptr);
  reader_.SetFilterHook(filtered_ ? &filtered_rows_ : nullptr);
  const TOracleDictionary& d = dictionary_;
  oracle_engine::DictionaryHook* dictionary =
      d.RequiredFields || d.DefaultValues || d.EnforceConstraints ? &dictionary_options_ : nullptr;
  reader_.SetDictionaryHook(dictionary);
  writer_.SetDictionaryHook(dictionary);
}

void TOracleDataSet::QueryRecords(bool opening) {
  store_->FreeRecords();
  for (int i = 0; i < change_log_.Count(); ++i) change_log_.Item(i).Visible = false;
  bookmark_counter_ = 0;
  position_ = -1;
  reader_.Stop();
  if (session_ == nullptr || !session_->Connected()) return;  // detached
  if (WaitingForMaster()) return;
  if (!opening) {
    CopyMasterValues();
    if (BeforeQuery) BeforeQuery(*this);
    RunStatement(true);
  }
  InstallHooks();
  reader_.Start();
  try {
    if (query_all_records_ && !unidirectional_)
      while (QueryRecord()) {
      }
  } catch (...) {
    if (AfterQuery) AfterQuery(*this);
    throw;
  }
  if (AfterQuery) AfterQuery(*this);
}

bool TOracleDataSet::QueryRecord() {
  if (!store_) return false;
  for (;;) {
    TRecordBuffer record = reader_.Next();
    if (record == nullptr) return false;
    const bool accepted = reader_.Accepts(record);
    if (!AfterFetchRecord) {
      if (accepted) return true;
      continue;
    }
    switch (OfferFetchedRecord(record, accepted)) {
      case afContinue:
        if (accepted) return true;
        continue;
      case afPause:
        return false;
      case afStop:
        StopFetching();
        return accepted;
      case afCancel:
        StopFetching();
        store_->FreeRecords();
        position_ = -1;
        return false;
    }
    return accepted;
  }
}

TAfterFetchRecordAction TOracleDataSet::OfferFetchedRecord(TRecordBuffer record, bool accepted) {
  TAfterFetchRecordAction action = afContinue;
  fetch_record_ = record;
  try {
    AfterFetchRecord(*this, accepted, action);
  } catch (const Exception& e) {
    if (ShowMessageHook()) ShowMessageHook()(e);
    action = afCancel;
  }
  fetch_record_ = nullptr;
  return action;
}

void TOracleDataSet::StopFetching() {
  FetchQuery().Cancel();
  FetchQuery().Close();
  reader_.Stop();
}

void TOracleDataSet::MarkNotHeld(TRecordBuffer record, const Slot& s, String why) {
  DataArea(record)[s.offset] = kNotHeld;
  BlobsOf(record).BlobByField(s.field).NotHeld = std::move(why);
}

// ---- closing --------------------------------------------------------------------

void TOracleDataSet::InternalClose() {
  store_.reset();
  position_ = -1;
  bookmark_counter_ = 0;
  reader_.Stop();
  updating_table_cached_ = false;
  try {
    dml_query_.reset();
    // The cursor variable names the statement no longer.
    for (int i = 0; cursor_query_ && i < main_query_->VariableCount(); ++i)
      if (main_query_->VariableType(i) == otCursor &&
          main_query_->GetComplexVariable(main_query_->VariableName(i)) == cursor_query_.get())
        main_query_->SetComplexVariable(main_query_->VariableName(i), nullptr);
    cursor_query_.reset();
  } catch (const std::exception&) {
  }
  work_blobs_.Clear();
  slots_.clear();
  slot_of_.clear();
  record_size_ = RecInfoSize;
  fetch_record_ = nullptr;
  lockpoint_set_ = false;
  // Pending cached updates are lost with the records.
  change_log_.Clear();
  logging_ = false;
  applying_ = false;
}

void TOracleDataSet::InternalHandleException() {
  // No screen: the error passes on to the caller.
}

}  // namespace kavo
