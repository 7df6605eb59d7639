// TOracleDataSet: the data-dictionary options. Rows identified by key
// columns (UniqueFields), the client-side constraint check
// (EnforceConstraints) and column defaults (DefaultValues, DynamicDefaults),
// all through the session's description of the updating table.
#include "oracle/dataset_messages.h"
#include "oracle/oracle_dataset.h"
#include "recordset/database_error.h"

namespace kavo {

TOracleTableInfo& TOracleDataSet::TableInfo() {
  if (session_ == nullptr) throw Exception(SSessionUndefined);
  return session_->TableInfos().Find(GetUpdatingTable());
}

void TOracleDataSet::GetIdColumns() {
  id_slots_.clear();
  String list = unique_fields_ + u";";
  size_t start = 0;
  for (size_t semi; (semi = list.find(u';', start)) != String::npos; start = semi + 1) {
    String name = Trim(list.substr(start, semi - start));
    TField* f = name.empty() ? nullptr : FindField(name);
    const Slot* s = f ? SlotOf(f) : nullptr;
    if (s != nullptr && s->info > 0) id_slots_.push_back(s);
  }
  if (id_slots_.empty()) DatabaseError(SNoKeyColumns, this);
}

String TOracleDataSet::FetchRowId(const uint8_t* record) {
  std::vector<String> columns;
  std::vector<OraVariant> values;
  for (const Slot* s : id_slots_) {
    columns.push_back(ColumnNameSQL(infos_[s->info].ColumnName));
    values.push_back(ValueIn(record, *s));
  }
  TOracleQuery& q = DMLQuery();
  try {
    String rowid = FetchRowIdByKey(q, GetUpdatingTable(), columns, values);
    CloseDMLQuery();
    return rowid;
  } catch (...) {
    CloseDMLQuery();
    throw;
  }
}

void TOracleDataSet::CheckConstraints(TField* field) {
  TRecordBuffer record = ActiveBuffer();
  if (record == nullptr) return;
  const Slot* changed = field != nullptr ? SlotOf(field) : nullptr;
  if (field != nullptr && (changed == nullptr || changed->info <= 0)) return;
  TConstraintRecord check;
  check.Inserting = State() == dsInsert;
  if (!check.Inserting)
    if (TRecordBuffer stored = CurrentStored(/*header_only=*/true)) check.RowId = RecordRowId(stored);
  check.Value = [&](const String& column, OraVariant& value) {
    for (const Slot& s : slots_)
      if (s.info > 0 && s.field->FieldKind() == fkData &&
          SameText(infos_[s.info].ColumnName, column)) {
        value = ValueIn(record, s);
        return true;
      }
    return false;
  };
  String column = changed != nullptr ? infos_[changed->info].ColumnName : String();
  std::optional<TConstraintViolation> violation;
  try {
    violation = TableInfo().CheckConstraints(check, column, dictionary_.DisabledConstraints);
  } catch (const EOracleError& e) {
    RaiseOracleFailure(check.Inserting ? u'I' : u'U', e);
  }
  if (!violation) return;
  String message = ConstraintMessage(violation->ErrorCode, violation->Constraint);
  DatabaseError(TranslatedMessage(check.Inserting ? u'I' : u'U', violation->ErrorCode, message),
                this);
}

bool TOracleDataSet::DictionaryOptions::Required(bool optional_column) {
  return ds_.dictionary_.RequiredFields && !optional_column;
}

void TOracleDataSet::DictionaryOptions::NewRecord() {
  if (ds_.dictionary_.DefaultValues) ds_.ApplyDefaultValues();
}

void TOracleDataSet::DictionaryOptions::Posting() {
  // Without cached updates the server checks the post itself.
  if (ds_.cached_updates_ && ds_.dictionary_.EnforceConstraints) ds_.CheckConstraints(nullptr);
}

void TOracleDataSet::DictionaryOptions::FieldWritten(TField* field, const unsigned char* record) {
  const TDataSetState state = ds_.State();
  if (ds_.dictionary_.EnforceConstraints && (state == dsEdit || state == dsInsert) &&
      record == ds_.ActiveBuffer())
    ds_.CheckConstraints(field);
}

void TOracleDataSet::ApplyDefaultValues() {
  TOracleTableInfo& info = TableInfo();
  info.Columns([](const Exception& e) {
    if (ShowMessageHook()) ShowMessageHook()(e);
  });
  TRecordBuffer record = ActiveBuffer();
  if (record == nullptr) return;
  for (const TOracleColumnInfo* c : info.EvaluateDefaults(dictionary_.DynamicDefaults)) {
    TField* f = FindField(c->ColumnName);
    const Slot* s = f != nullptr ? SlotOf(f) : nullptr;
    if (s != nullptr) StoreValue(record, *s, c->DefaultValue);
  }
}

}  // namespace kavo
